#include "recording_surface.h"

namespace {
QString Num(Single value)
{
    return QString::number(double(value), 'g', 9);
}
} // namespace

QStringList Recording_Surface::Calls_Of(const QString &operation) const
{
    QStringList found;
    const QString prefix = operation + u' ';
    for (const QString &call : calls_)
        if (call == operation || call.startsWith(prefix))
            found.append(call);
    return found;
}

void Recording_Surface::Cls()
{
    Record(QStringLiteral("Cls"));
}

void Recording_Surface::Set_Width(Single width)
{
    Record(QStringLiteral("Width ") + Num(width));
    width_ = width;
}

void Recording_Surface::Set_Height(Single height)
{
    Record(QStringLiteral("Height ") + Num(height));
    height_ = height;
}

void Recording_Surface::Set_DrawWidth(Integer width)
{
    Record(QStringLiteral("DrawWidth ") + Num(width));
    Surface::Set_DrawWidth(width);
}

void Recording_Surface::Set_DrawStyle(Integer style)
{
    Record(QStringLiteral("DrawStyle ") + Num(style));
    Surface::Set_DrawStyle(style);
}

void Recording_Surface::Set_FillColor(Long color)
{
    Record(QStringLiteral("FillColor ") + QString::number(color));
    Surface::Set_FillColor(color);
}

void Recording_Surface::Set_FillStyle(Integer style)
{
    Record(QStringLiteral("FillStyle ") + Num(style));
    Surface::Set_FillStyle(style);
}

void Recording_Surface::Line(Single x1, Single y1, Single x2, Single y2, Long color, bool box)
{
    Record(QStringLiteral("Line %1 %2 %3 %4 %5 %6")
               .arg(Num(x1), Num(y1), Num(x2), Num(y2), QString::number(color),
                    box ? QStringLiteral("box") : QStringLiteral("segment")));
}

void Recording_Surface::Set_FontName(const QString &name)
{
    Record(QStringLiteral("FontName ") + name);
    Surface::Set_FontName(name);
}

void Recording_Surface::Set_FontSize(Single points)
{
    Record(QStringLiteral("FontSize ") + Num(points));
    Surface::Set_FontSize(points);
}

void Recording_Surface::Set_FontBold(bool on)
{
    Record(QStringLiteral("FontBold ") + Num(on));
    Surface::Set_FontBold(on);
}

void Recording_Surface::Set_FontItalic(bool on)
{
    Record(QStringLiteral("FontItalic ") + Num(on));
    Surface::Set_FontItalic(on);
}

void Recording_Surface::Set_FontUnderline(bool on)
{
    Record(QStringLiteral("FontUnderline ") + Num(on));
    Surface::Set_FontUnderline(on);
}

Single Recording_Surface::TextWidth(const QString &text)
{
    Record(QStringLiteral("TextWidth ") + text);
    qsizetype widest = 0;
    for (const QString &line : Text_Lines(text))
        widest = std::max(widest, line.size());
    return Single(widest) * FontSize() * Single(12.5);
}

Single Recording_Surface::TextHeight(const QString &text)
{
    Record(QStringLiteral("TextHeight ") + text);
    return Single(Text_Lines(text).size()) * FontSize() * Single(25);
}

void Recording_Surface::Set_CurrentX(Single x)
{
    Record(QStringLiteral("CurrentX ") + Num(x));
    Surface::Set_CurrentX(x);
}

void Recording_Surface::Set_CurrentY(Single y)
{
    Record(QStringLiteral("CurrentY ") + Num(y));
    Surface::Set_CurrentY(y);
}

void Recording_Surface::Print(const QString &text)
{
    Record(QStringLiteral("Print ") + text);
    Surface::Set_CurrentX(0);
    Surface::Set_CurrentY(CurrentY() + FontSize() * Single(25));
}

void Recording_Surface::PaintPicture(const Picture &picture, Single x, Single y, Single width, Single height)
{
    if (picture.isNull())
        throw RuntimeError(Err_Invalid_Picture, "Invalid picture");
    Record(QStringLiteral("PaintPicture %1x%2 %3 %4 %5 %6")
               .arg(picture.width())
               .arg(picture.height())
               .arg(Num(x), Num(y), Num(width), Num(height)));
}

void Recording_Surface::EndDoc()
{
    Record(QStringLiteral("EndDoc"));
}
