// Where the window goes on its screen, and the screen's measures that the
// window's controls and canvas are made in.
#pragma once

#include "surface.h"

#include <QEvent>

class QScreen;
class QWidget;

// Twips per pixel of a screen, as it reports its dots per inch.
Screen_Metrics Metrics_Of(const QScreen *screen);

// The canvas's device pixel ratio: the window's, up to 4 (the render tool's
// largest), so the canvas never takes more than 16 times its logical size
// in memory.
qreal Canvas_Ratio(const QWidget &window);

// The window kept within its screen's available area, frame included, so
// every button can be reached: before it is first shown, and again once
// the window manager has framed it (the frame is known only then).
class Placement {
public:
    // The window's first show (not a spontaneous one).
    void Shown(QWidget &window);
    // Each of the window's events: a move, resize or activation after the
    // show, with a frame at last, fits the framed window.
    void Event(QWidget &window, QEvent::Type type);

private:
    bool shown_ = false;
    bool framed_ = false;
};

// The design-time size, unless the screen's available area is smaller: then
// the window, frame included, takes that area.
void Fit_On_Screen(QWidget &window);
