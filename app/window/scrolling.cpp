#include "scrolling.h"

#include "page_text.h"

#include <QAccessible>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

void Wheel_Notches::Scroll(const QWheelEvent &wheel, Scroll_Bar &HScroll, Scroll_Bar &VScroll)
{
    const QPoint delta = wheel.angleDelta();
    const bool across = (wheel.modifiers() & Qt::ShiftModifier) || delta.y() == 0;
    rest_ += across ? (delta.y() != 0 ? delta.y() : delta.x()) : delta.y();
    const int notches = rest_ / 120;
    rest_ -= notches * 120;
    Scroll_Bar &bar = across ? HScroll : VScroll;
    if (notches != 0 && bar.Visible())
        bar.Step(-notches, bar.SmallChange());
}

bool Scroll_By_Keys(int key, Scroll_Bar &HScroll, Scroll_Bar &VScroll)
{
    switch (key) {
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Left:
    case Qt::Key_Right:
        break;
    default:
        return false;
    }
    Scroll_Bar &bar = key == Qt::Key_Left || key == Qt::Key_Right ? HScroll : VScroll;
    if (!bar.Visible())
        return true;
    if (key == Qt::Key_PageUp || key == Qt::Key_PageDown)
        bar.Step(key == Qt::Key_PageUp ? -1 : 1, bar.LargeChange());
    else if (key == Qt::Key_Home)
        bar.Set_Value(0);
    else if (key == Qt::Key_End)
        bar.Set_Value(bar.Max());
    else
        bar.Step(key == Qt::Key_Up || key == Qt::Key_Left ? -1 : 1, bar.SmallChange());
    return true;
}

QString Arrow_Keys(bool caret)
{
    return caret ? QStringLiteral("the arrows move the caret, F7 scrolls instead")
                 : QStringLiteral("the arrows scroll, F7 moves a caret instead");
}

QString Caret_Words(const QString &text, int key, bool ctrl, int from, int to)
{
    const bool back = key == Qt::Key_Up || key == Qt::Key_Left;
    if (from == to && (back || key == Qt::Key_Down || key == Qt::Key_Right))
        return back ? QStringLiteral("Top of the page") : QStringLiteral("End of the page");
    if (ctrl && (key == Qt::Key_Home || key == Qt::Key_End)) {
        const auto [start, end] = Unit_At(text, to, QAccessible::LineBoundary);
        return text.mid(start, end - start).trimmed();
    }
    return QString();
}

int Scroll_To_Line(int top, int bottom, int line_height, int length)
{
    const int first = top - line_height, last = bottom + line_height;
    return first < 0 ? first : last > length ? std::min(last - length, first) : 0;
}

int Scroll_To_Caret(int x, int length)
{
    return x < 0 ? x - length / 4 : x > length ? x - length * 3 / 4 : 0;
}

QRect Caret_Line(const Readable_Page &page)
{
    const Page_Text &text = The_Page_Text();
    const auto [start, end] = Unit_At(text.text, page.Caret(), QAccessible::LineBoundary);
    QRectF line;
    for (int i = start; i < end; ++i)
        line |= text.boxes[i];
    return page.On_Canvas(line).toAlignedRect();
}

int Caret_X(const Readable_Page &page, const QRect &line)
{
    const Page_Text &text = The_Page_Text();
    const int caret = page.Caret();
    return caret < text.boxes.size() ? int(std::lround(page.On_Canvas(text.boxes[caret]).left())) : line.right();
}
