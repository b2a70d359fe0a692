// The preview canvas: a persistent bitmap addressed in twips at the screen's
// twips per pixel. It keeps its image until the next Cls. On a high-density
// screen it holds device pixels (logical size x device pixel ratio), so text
// and rules are drawn at the screen's own resolution. Solid fills and text go
// straight into the bitmap, with the very pixels the painter would give.
#pragma once

#include "painter_surface.h"

#include <QColor>
#include <QHash>
#include <QImage>
#include <QSize>

#include <utility>
#include <vector>

class Preview_Surface : public Painter_Surface {
public:
    Preview_Surface();
    ~Preview_Surface() override;

    bool Is_Printer() const override { return false; }
    void Cls() override;
    Single Width() const override;
    Single Height() const override;
    void Set_Width(Single width) override;
    void Set_Height(Single height) override;
    void EndDoc() override;

    // Size in logical (screen) pixels.
    QSize Pixel_Size() const { return pixels_; }
    qreal Device_Pixel_Ratio() const { return ratio_; }
    // A new ratio keeps the logical size; the image is blank until drawn again.
    void Set_Device_Pixel_Ratio(qreal ratio);
    void Set_Back_Color(const QColor &color) { back_ = color; }

    // The finished image in device pixels; a view draws it into a rectangle
    // of Pixel_Size() logical pixels, which maps it one to one on the screen.
    const QImage &Image();
    // Counts every change of the image, so a view can tell it is stale.
    quint64 Generation() const { return generation_; }

protected:
    double Device_Per_Unit_X() const override;
    double Device_Per_Unit_Y() const override;
    double Device_Per_Pen_Pixel() const override { return ratio_; }
    double Hatch_Scale() const override { return ratio_; }
    bool Snap_To_Pixels() const override { return true; }
    double Pixel_Ratio() const override { return ratio_; }
    QPaintDevice *Metrics_Device() override { return &metricsImage_; }
    void Paint(std::function<void(QPainter &)> operation) override;
    void Draw_Text_Line(Font_Entry &entry, const QString &text, QPointF origin) override;
    void Fill_Pixels(const QRect &rect, const QColor &color) override;

private:
    // The ink of one line of text, as the painter's glyph blits leave it:
    // runs of coverage along rows, of the first glyph that reaches each
    // pixel, then for the few pixels that glyphs share the later coverages
    // in drawing order. Positions are relative to the whole pixel left of
    // the text's origin.
    struct Text_Ink {
        struct Run {
            int x, y, length;
            std::size_t at; // into coverage
        };
        bool exact = false; // false: the painter draws this text
        QRect rect;         // all of the ink
        std::vector<Run> runs;
        std::vector<uchar> coverage;
        struct Shared {
            int x, y;
            uchar coverage;
        };
        std::vector<Shared> later;
        std::size_t Bytes() const;
    };
    // The ink of a text at `origin`; none when it is not worth measuring there.
    const Text_Ink *Ink_Of(Font_Entry &entry, const QString &text, qreal fraction, QPointF origin);
    Text_Ink Measure_Ink(Font_Entry &entry, const QString &text, qreal fraction);
    QImage &Canvas();

    void Resize(QSize pixels);
    void Finish();
    QSize Device_Size() const;
    QImage Blank_Image();

    // Images dropped by Cls, kept for reuse once no view shows them any more:
    // a new canvas of the same size then needs no fresh memory.
    std::vector<QImage> spare_;

    QSize pixels_{1, 1};
    qreal ratio_ = 1;
    QColor back_ = Qt::white;
    QImage image_;
    QImage metricsImage_;
    // Per face, per text and fraction of a pixel of its origin; all
    // forgotten once they hold more than Ink_Limit bytes.
    QHash<const Font_Entry *, QHash<std::pair<QString, qreal>, Text_Ink>> inks_;
    std::size_t inkBytes_ = 0;
    QPainter painter_;
    quint64 generation_ = 0;
};
