// The form's texts as a reader meets them: every line of text the page
// draws, in reading order, with the box of each character, for the
// accessibility bus and the page's caret. Found by playing the page once
// onto a surface that measures texts and draws nothing, the first time
// anyone asks. Everything but The_Page_Text is a plain function of its
// arguments.
#pragma once

#include <QAccessible>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <utility>
#include <vector>

// One line of text as the page draws it: a box per character, in twips of
// the sheet (page offsets included), as a 100 % preview would draw it on any
// screen. A window turns them into its pixels where it shows them.
struct Text_Line {
    QString text;
    QList<QRectF> boxes;
    QList<int> drawn; // its place in the order the page draws its lines (two for a joined heading)
};

struct Page_Text {
    QString text;        // the lines, each ended by a line feed
    QList<QRectF> boxes; // one per character of `text`
    QList<QList<int>> drawn; // for each line, the places in the order the page draws its lines
};

// The lines in reading order, a heading drawn over two lines (the second
// touching the first from below, across the same width) joined into one.
// Lines that start at the same left edge, each at most a line and a half
// below the one before, are one block (a paragraph, a column of labels);
// blocks are read top to bottom, and left to right when their tops lie
// within half a line of each other.
Page_Text Reading_Order(std::vector<Text_Line> lines);

// The page's text: its lines in Reading_Order, but for the header, which is
// read in its blocks as its fields are tabbed (Header_In_Blocks).
const Page_Text &The_Page_Text();

// Spans [start, end) of `text` in units of `type`: a character, a word
// (from its start to the next word's), a line (ended by its line feed; also
// for sentences and paragraphs) or all of it. Offsets outside the text are
// taken at its nearest end; before the first or after the last unit the
// span is empty.
using Text_Span = std::pair<int, int>;
Text_Span Unit_At(const QString &text, int offset, QAccessible::TextBoundaryType type);
Text_Span Unit_Before(const QString &text, int offset, QAccessible::TextBoundaryType type);
Text_Span Unit_After(const QString &text, int offset, QAccessible::TextBoundaryType type);

// The character whose box holds `point` (same units as the boxes), or -1.
int Offset_At(const QList<QRectF> &boxes, QPointF point);

// Where a caret at `caret` goes for a key (Qt::Key_Left, _Right, _Up,
// _Down, _Home, _End), with Ctrl held: by word, or to the text's ends. Up
// and Down keep the column as far as the line allows. Other keys: -1.
int Caret_After_Key(const QString &text, int caret, int key, bool ctrl);
