// Scrolling the page inside the viewport by wheel and keys, and the page's
// caret: where its line lies on the canvas, how far the view must scroll to
// show it, and what a screen reader is told of a caret key.
#pragma once

#include "accessible.h"
#include "controls.h"

#include <QRect>
#include <QString>

class QWheelEvent;

// The wheel's notches, scrolled by the bar's SmallChange each: a wheel that
// reports less than a notch at a time is added up until one is reached.
class Wheel_Notches {
public:
    // Scrolls VScroll, or HScroll for a sideways wheel or one with Shift.
    void Scroll(const QWheelEvent &wheel, Scroll_Bar &HScroll, Scroll_Bar &VScroll);

private:
    int rest_ = 0;
};

// Page Up, Page Down, Home, End and the arrows as the bars' steps; true for
// those keys, even when the bar they move is hidden.
bool Scroll_By_Keys(int key, Scroll_Bar &HScroll, Scroll_Bar &VScroll);

// What the arrows do, as the page's description and F7 tell it.
QString Arrow_Keys(bool caret);

// What a screen reader is told of a caret key beyond the move itself: the
// text's end when the caret could go no further that way, and the whole
// line that Ctrl+Home or Ctrl+End lands on (of a jump, a reader says only
// the character). Empty otherwise.
QString Caret_Words(const QString &text, int key, bool ctrl, int from, int to);

// The caret's line on the page's canvas, in its pixels at the zoom shown,
// and where on the canvas the caret stands on that line.
QRect Caret_Line(const Readable_Page &page);
int Caret_X(const Readable_Page &page, const QRect &line);

// How far, in pixels, a view of `length` must scroll along one axis so that
// [first, last] (where it lies in the view now) shows with a line's room:
// vertically, the line with a line above or below; across, the caret a
// quarter into the view from the side it was beyond.
int Scroll_To_Line(int top, int bottom, int line_height, int length);
int Scroll_To_Caret(int x, int length);
