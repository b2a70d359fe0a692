// What the preview canvas and the printer share: drawing with a QPainter in
// device pixels, converted from the surface's units, and fonts resolved and
// measured once per face, size and style.
#pragma once

#include "surface.h"

#include <QFont>
#include <QFontMetricsF>
#include <QHash>
#include <QPainter>
#include <QStaticText>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <tuple>

class Painter_Surface : public Surface {
public:
    ~Painter_Surface() override;

    void Line(Single x1, Single y1, Single x2, Single y2, Long color, bool box) override;
    Single TextWidth(const QString &text) override;
    Single TextHeight(const QString &text) override;
    void Print(const QString &text) override;
    void PaintPicture(const Picture &picture, Single x, Single y, Single width, Single height) override;

protected:
    // Device pixels per surface unit, across and down.
    virtual double Device_Per_Unit_X() const = 0;
    virtual double Device_Per_Unit_Y() const = 0;
    // Device pixels per pixel of DrawWidth.
    virtual double Device_Per_Pen_Pixel() const = 0;
    // Scale of the hatch patterns (1: an 8-device-pixel cell).
    virtual double Hatch_Scale() const = 0;
    // Raster surfaces put every position on a whole screen pixel and draw
    // rules pixel by pixel; vector surfaces keep positions exact.
    virtual bool Snap_To_Pixels() const = 0;
    // Device pixels per screen pixel (the device pixel ratio) when snapping.
    virtual double Pixel_Ratio() const { return 1; }
    // The device whose resolution fonts are measured at.
    virtual QPaintDevice *Metrics_Device() = 0;
    // Runs one drawing operation, now or later.
    virtual void Paint(std::function<void(QPainter &)> operation) = 0;
    // The same, for an operation that changes no device pixel outside
    // `bounds`: a surface that draws later may leave it out where it draws
    // nothing.
    virtual void Paint(const QRectF &bounds, std::function<void(QPainter &)> operation)
    {
        Q_UNUSED(bounds);
        Paint(std::move(operation));
    }

    // Forgets resolved fonts and measured widths (after a change of resolution).
    void Forget_Fonts();
    void Font_Changed() override { font_ = nullptr; }

    // A face is loaded once at a large reference size and drawn scaled
    // down to its exact size: font engines take whole pixel sizes only, and
    // 10.67 pixels drawn as 11 would make every text 3 % too wide.
    struct Font_Entry {
        QFont font;             // at the reference size
        QFontMetricsF metrics;  // at the reference size
        qreal scale;            // device pixels per reference pixel
        qreal ascent;           // device pixels
        qreal height;           // device pixels
        QHash<QString, Single> widths;
        QHash<QString, QStaticText> laid_out; // texts shaped once, drawn many times
    };

    // Draws one line of text in black, its baseline starting at `origin`
    // (device pixels), through the painter.
    virtual void Draw_Text_Line(Font_Entry &entry, const QString &text, QPointF origin);
    // The text laid out once per face; none for an underlined face, which the
    // painter lays out each time (see Draw_Text_Line).
    static std::optional<QStaticText> Laid_Out(Font_Entry &entry, const QString &text);
    // What Draw_Text_Line asks of the painter: the face at its reference
    // size scaled down by `scale`, `ascent` in reference pixels.
    static void Paint_Text_Line(QPainter &painter, const QFont &font, qreal scale, qreal ascent,
                                const std::optional<QStaticText> &prepared, const QString &text, QPointF origin);
    // Fills a rectangle of device pixels with an opaque colour, through the painter.
    virtual void Fill_Pixels(const QRect &rect, const QColor &color);

    // Texts and widths are kept per face until this many, then forgotten.
    static constexpr qsizetype Text_Cache_Limit = 4096;

private:
    Font_Entry &Current_Font();
    QPointF To_Device(Single x, Single y) const;
    void Snapped_Line(Single x1, Single y1, Single x2, Single y2, Long color, bool box);

    // Faces by name, size and style; found again on every change of font.
    struct Font_Key {
        QString name;
        Single size;
        bool bold, italic, underline;
        bool operator<(const Font_Key &other) const
        {
            return std::tie(name, size, bold, italic, underline) <
                   std::tie(other.name, other.size, other.bold, other.italic, other.underline);
        }
    };
    std::map<Font_Key, std::unique_ptr<Font_Entry>> fonts_;
    Font_Entry *font_ = nullptr;
};
