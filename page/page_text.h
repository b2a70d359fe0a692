// The form's texts as a reader meets them: every line of text the page
// draws, in reading order, with the box of each character, for the
// accessibility bus. Found by playing the page once onto a surface that
// measures texts and draws nothing, the first time anyone asks.
#pragma once

#include <QList>
#include <QRectF>
#include <QString>

struct Page_Text {
    QString text;       // the lines, each ended by a line feed
    QList<QRectF> boxes; // one per character of `text`, in pixels of the page at 100 %
    QList<int> drawn;    // for each line, its place in the order the page draws its lines
};

const Page_Text &The_Page_Text();
