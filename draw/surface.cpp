#include "surface.h"

#include <QRegularExpression>

void Surface::Raise_Not_Supported()
{
    throw RuntimeError(Err_Not_Supported, "Object doesn't support this property or method");
}

void Surface::Set_DrawWidth(Integer width)
{
    if (width < 1)
        Raise_Invalid_Property_Value();
    drawWidth_ = width;
}

void Surface::Set_DrawStyle(Integer style)
{
    if (style < Pen_Solid || style > Pen_Inside_Solid)
        Raise_Invalid_Property_Value();
    drawStyle_ = style;
}

void Surface::Set_FillColor(Long color)
{
    if (color < 0 || color > 0xFFFFFF)
        Raise_Invalid_Property_Value();
    fillColor_ = color;
}

void Surface::Set_FillStyle(Integer style)
{
    if (style < Fill_Solid || style > Fill_Diagonal_Cross)
        Raise_Invalid_Property_Value();
    fillStyle_ = style;
}

void Surface::Set_FontName(const QString &name)
{
    if (name != fontName_) {
        fontName_ = name;
        Font_Changed();
    }
}

void Surface::Set_FontSize(Single points)
{
    if (!(points > 0 && points <= 2160))
        Raise_Invalid_Property_Value();
    if (points != fontSize_) {
        fontSize_ = points;
        Font_Changed();
    }
}

void Surface::Set_FontBold(bool on)
{
    if (on != fontBold_) {
        fontBold_ = on;
        Font_Changed();
    }
}

void Surface::Set_FontItalic(bool on)
{
    if (on != fontItalic_) {
        fontItalic_ = on;
        Font_Changed();
    }
}

void Surface::Set_FontUnderline(bool on)
{
    if (on != fontUnderline_) {
        fontUnderline_ = on;
        Font_Changed();
    }
}

void Surface::Set_CurrentX(Single x)
{
    currentX_ = x;
}

void Surface::Set_CurrentY(Single y)
{
    currentY_ = y;
}

QStringList Text_Lines(const QString &text)
{
    static const QRegularExpression breaks(QStringLiteral("\r\n|\r|\n"));
    if (!text.contains(u'\r') && !text.contains(u'\n'))
        return {text};
    return text.split(breaks);
}

Screen_Metrics Screen_Metrics::Of_Dpi(double dpi_x, double dpi_y)
{
    return {Single(Twips_Per_Inch / dpi_x), Single(Twips_Per_Inch / dpi_y)};
}
