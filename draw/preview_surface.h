// The preview canvas: a persistent bitmap addressed in twips at its screen's
// twips per pixel. It keeps its image until the next Cls. On a high-density
// screen it holds device pixels (logical size x device pixel ratio), so text
// and rules are drawn at the screen's own resolution. Solid fills and text go
// straight into the bitmap, with the very pixels the painter would give.
//
// A drawing is kept as a list of steps until its image is asked for, and
// then done a band of rows at a time: the band is cleared and every step
// that reaches it drawn there while its pixels are still in the processor's
// cache. A large canvas is otherwise cleared out to memory and read back for
// every text and rule.
#pragma once

#include "painter_surface.h"
#include "text_ink.h"

#include <QColor>
#include <QImage>
#include <QSize>

#include <functional>
#include <memory>
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

    // The screen the canvas is shown on (a 96-DPI one until set); a new one
    // keeps the logical size, and the texts measure anew.
    const Screen_Metrics &Screen_Of() const { return screen_; }
    void Set_Screen(const Screen_Metrics &screen);

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
    // The texts' ink, measured at their second redraw.
    const Ink_Cache &Inks() const { return inks_; }

protected:
    double Device_Per_Unit_X() const override;
    double Device_Per_Unit_Y() const override;
    double Device_Per_Pen_Pixel() const override { return ratio_; }
    double Hatch_Scale() const override { return ratio_; }
    bool Snap_To_Pixels() const override { return true; }
    double Pixel_Ratio() const override { return ratio_; }
    QPaintDevice *Metrics_Device() override { return &metricsImage_; }
    void Paint(std::function<void(QPainter &)> operation) override;
    void Paint(const QRectF &bounds, std::function<void(QPainter &)> operation) override;
    void Draw_Text_Line(Font_Entry &entry, const QString &text, QPointF origin) override;
    void Fill_Pixels(const QRect &rect, const QColor &color) override;

private:
    // One step of a drawing: a solid fill, a text's ink or a painter's
    // operation, and the device pixels it may change.
    struct Step {
        QRect bounds;
        quint32 pixel = 0;                    // a fill's
        std::shared_ptr<const Text_Ink> ink;  // a text's, whose whole pixel is at `to`
        QPoint to;
        std::function<void(QPainter &)> paint; // the painter's
    };

    // The ink of a text at `origin`; none when the painter draws it.
    std::shared_ptr<const Text_Ink> Ink_Of(Font_Entry &entry, const QString &text, qreal fraction, QPointF origin);
    QImage &Canvas();
    void Add(Step step);
    int Band_Bottom(int bottom) const;
    void Draw_Band(const QRect &band);

    void Resize(QSize pixels);
    // Draws the steps kept so far, or drops them undrawn with an image that
    // no one will see.
    void Finish();
    void Drop_Steps();
    QSize Device_Size() const;
    QImage Blank_Image();

    // Images dropped by Cls, kept for reuse once no view shows them any more:
    // a new canvas of the same size then needs no fresh memory.
    std::vector<QImage> spare_;

    Screen_Metrics screen_;
    QSize pixels_{1, 1};
    qreal ratio_ = 1;
    QColor back_ = Qt::white;
    QImage image_;
    bool blank_ = false; // image_ is still to be cleared
    std::vector<Step> steps_;
    QImage metricsImage_;
    // The ink of every text of the form is 0.1 MB at 100 % and 1.6 MB at
    // the largest zoom on a screen of twice the density.
    Ink_Cache inks_{32 << 20};
    QPainter painter_;
    quint64 generation_ = 0;
};
