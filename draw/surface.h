// A drawing surface: the one set of operations that all drawing goes
// through, offered alike by the preview canvas and by the printer. Units are
// those of the surface (twips on both of ours). Pen, fill and font settings
// and the current position stay on the surface until set again.
#pragma once

#include "runtime.h"

#include <QImage>
#include <QString>

// Twips per screen pixel, as the screen reports them (15 at 96 DPI), and
// the conversions of a length between twips and whole screen pixels, halves
// to even.
struct Screen_Metrics {
    Single TwipsPerPixelX = 15;
    Single TwipsPerPixelY = 15;

    // The metrics of a screen of `dpi_x` by `dpi_y` dots per inch.
    static Screen_Metrics Of_Dpi(double dpi_x, double dpi_y);

    int Pixels_X(Single twips) const { return int(Round_Half_Even(double(twips) / double(TwipsPerPixelX))); }
    int Pixels_Y(Single twips) const { return int(Round_Half_Even(double(twips) / double(TwipsPerPixelY))); }
    Single Twips_X(int pixels) const { return Single(pixels) * TwipsPerPixelX; }
    Single Twips_Y(int pixels) const { return Single(pixels) * TwipsPerPixelY; }
    bool operator==(const Screen_Metrics &) const = default;
};

// The screen a page build draws for: its pens are in that screen's pixels.
// Set by Drawing_Scope (support_routines.h) only, for the build's length.
inline Screen_Metrics Screen;

// DrawStyle: the pen of outlines and segments.
enum Pen_Style : Integer {
    Pen_Solid = 0,
    Pen_Dash = 1,
    Pen_Dot = 2,
    Pen_Dash_Dot = 3,
    Pen_Dash_Dot_Dot = 4,
    Pen_Invisible = 5,
    Pen_Inside_Solid = 6, // a box's outline kept within the box
};

// FillStyle: the interior of a box.
enum Fill_Style : Integer {
    Fill_Solid = 0,
    Fill_Transparent = 1,
    Fill_Horizontal_Lines = 2,
    Fill_Vertical_Lines = 3,
    Fill_Upward_Diagonal = 4,
    Fill_Downward_Diagonal = 5,
    Fill_Cross = 6,
    Fill_Diagonal_Cross = 7,
};

// A picture that PaintPicture can paint; a null image cannot be painted.
using Picture = QImage;

class Surface {
public:
    virtual ~Surface() = default;

    virtual bool Is_Printer() const = 0;

    // Clears the whole surface to its background (the preview's only).
    virtual void Cls() = 0;

    // Size in the surface's units, as the surface really has it.
    virtual Single Width() const = 0;
    virtual Single Height() const = 0;
    virtual void Set_Width(Single width) = 0;
    virtual void Set_Height(Single height) = 0;

    // Pen width in device pixels, at least 1; style a Pen_Style.
    Integer DrawWidth() const { return drawWidth_; }
    virtual void Set_DrawWidth(Integer width);
    Integer DrawStyle() const { return drawStyle_; }
    virtual void Set_DrawStyle(Integer style);

    // Box interior: style a Fill_Style.
    Long FillColor() const { return fillColor_; }
    virtual void Set_FillColor(Long color);
    Integer FillStyle() const { return fillStyle_; }
    virtual void Set_FillStyle(Integer style);

    // A segment from (x1, y1) to (x2, y2), or with `box` the rectangle with
    // those corners: outline with the pen, interior by FillStyle/FillColor.
    virtual void Line(Single x1, Single y1, Single x2, Single y2, Long color, bool box) = 0;

    const QString &FontName() const { return fontName_; }
    virtual void Set_FontName(const QString &name);
    Single FontSize() const { return fontSize_; }
    virtual void Set_FontSize(Single points); // 0 < points <= 2160
    bool FontBold() const { return fontBold_; }
    virtual void Set_FontBold(bool on);
    bool FontItalic() const { return fontItalic_; }
    virtual void Set_FontItalic(bool on);
    bool FontUnderline() const { return fontUnderline_; }
    virtual void Set_FontUnderline(bool on);

    // Extent of a text in the current font; for several lines (separated by
    // CR, LF or CR LF) the widest line and the total height.
    virtual Single TextWidth(const QString &text) = 0;
    virtual Single TextHeight(const QString &text) = 0;

    Single CurrentX() const { return currentX_; }
    virtual void Set_CurrentX(Single x);
    Single CurrentY() const { return currentY_; }
    virtual void Set_CurrentY(Single y);

    // Draws one line of text with its top-left corner at the current
    // position, then moves the position to the start of the next line.
    virtual void Print(const QString &text) = 0;

    // The picture stretched into the rectangle; raises Err_Invalid_Picture
    // for a picture that cannot be painted.
    virtual void PaintPicture(const Picture &picture, Single x, Single y, Single width, Single height) = 0;

    // Finishes the page and hands the document to the printer (printer only).
    virtual void EndDoc() = 0;

protected:
    [[noreturn]] static void Raise_Not_Supported();

    // Called whenever a font property changes.
    virtual void Font_Changed() {}

private:
    Integer drawWidth_ = 1;
    Integer drawStyle_ = Pen_Solid;
    Long fillColor_ = 0;
    Integer fillStyle_ = Fill_Transparent;
    QString fontName_ = QStringLiteral("Arial");
    Single fontSize_ = 8;
    bool fontBold_ = false;
    bool fontItalic_ = false;
    bool fontUnderline_ = false;
    Single currentX_ = 0;
    Single currentY_ = 0;
};

// Splits a text into the lines that TextWidth and TextHeight measure.
QStringList Text_Lines(const QString &text);
