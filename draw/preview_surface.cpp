#include "preview_surface.h"

#include <cmath>
#include <cstring>

#include <sys/mman.h>

namespace {

constexpr std::size_t Spare_Images = 2; // the view's and one more

constexpr quint32 White = 0xffffffff;

// An RGB32 image in memory whose pages are all mapped at once. Touched
// first by the fill, a canvas's pages were faulted in one at a time, which on
// a virtual machine cost more than drawing the page (3 MB at 100 %: 4.8
// against 8.5 ms, and a third of a one-shot render).
QImage Mapped_Image(QSize size)
{
    const qsizetype stride = qsizetype(size.width()) * 4;
    const std::size_t bytes = std::size_t(stride) * std::size_t(size.height());
    void *memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (memory == MAP_FAILED)
        return QImage(size, QImage::Format_RGB32);
    struct Mapping {
        void *memory;
        std::size_t bytes;
    };
    return QImage(
        static_cast<uchar *>(memory), size.width(), size.height(), stride, QImage::Format_RGB32,
        [](void *info) {
            const auto *mapping = static_cast<Mapping *>(info);
            munmap(mapping->memory, mapping->bytes);
            delete mapping;
        },
        new Mapping{memory, bytes});
}

} // namespace

Preview_Surface::Preview_Surface() : metricsImage_(1, 1, QImage::Format_RGB32)
{
    metricsImage_.setDotsPerMeterX(Dots_Per_Meter_72_Dpi);
    metricsImage_.setDotsPerMeterY(Dots_Per_Meter_72_Dpi);
}

Preview_Surface::~Preview_Surface()
{
    Finish();
}

double Preview_Surface::Device_Per_Unit_X() const
{
    return ratio_ / double(screen_.TwipsPerPixelX);
}

double Preview_Surface::Device_Per_Unit_Y() const
{
    return ratio_ / double(screen_.TwipsPerPixelY);
}

Single Preview_Surface::Width() const
{
    return screen_.Twips_X(pixels_.width());
}

Single Preview_Surface::Height() const
{
    return screen_.Twips_Y(pixels_.height());
}

void Preview_Surface::Set_Width(Single width)
{
    Resize(QSize(std::max(1, screen_.Pixels_X(width)), pixels_.height()));
}

void Preview_Surface::Set_Height(Single height)
{
    Resize(QSize(pixels_.width(), std::max(1, screen_.Pixels_Y(height))));
}

void Preview_Surface::Resize(QSize pixels)
{
    if (pixels == pixels_)
        return;
    Finish();
    const QImage old = image_;
    pixels_ = pixels;
    image_ = QImage();
    if (!old.isNull()) {
        // Whatever was drawn stays in the top-left corner.
        Paint([&old](QPainter &painter) { painter.drawImage(0, 0, old); });
    }
    ++generation_;
}

QSize Preview_Surface::Device_Size() const
{
    return QSize(std::max(1, int(std::ceil(pixels_.width() * ratio_ - 1e-9))),
                 std::max(1, int(std::ceil(pixels_.height() * ratio_ - 1e-9))));
}

QImage Preview_Surface::Blank_Image()
{
    const QSize device = Device_Size();
    QImage image;
    for (auto spare = spare_.begin(); spare != spare_.end(); ++spare) {
        if (spare->size() == device && spare->isDetached()) {
            image = std::move(*spare);
            spare_.erase(spare);
            break;
        }
    }
    if (image.isNull()) {
        image = Mapped_Image(device);
        image.setDotsPerMeterX(Dots_Per_Meter_72_Dpi);
        image.setDotsPerMeterY(Dots_Per_Meter_72_Dpi);
    }
    // White is all bits set: the C library's fill is the fastest there is.
    if (back_.rgb() == White)
        std::memset(image.bits(), 0xff, std::size_t(image.sizeInBytes()));
    else
        image.fill(back_);
    return image;
}

void Preview_Surface::Set_Device_Pixel_Ratio(qreal ratio)
{
    if (!(ratio > 0) || ratio == ratio_)
        return;
    Finish();
    ratio_ = ratio;
    image_ = QImage();
    spare_.clear();
    inks_.Clear();
    Forget_Fonts();
    ++generation_;
}

void Preview_Surface::Set_Screen(const Screen_Metrics &screen)
{
    if (screen == screen_)
        return;
    screen_ = screen;
    Forget_Fonts();
}

void Preview_Surface::Cls()
{
    Finish();
    if (!image_.isNull()) {
        if (spare_.size() == Spare_Images)
            spare_.erase(spare_.begin());
        spare_.push_back(std::move(image_));
    }
    image_ = QImage();
    Surface::Set_CurrentX(0);
    Surface::Set_CurrentY(0);
    ++generation_;
}

void Preview_Surface::EndDoc()
{
    Raise_Not_Supported();
}

QImage &Preview_Surface::Canvas()
{
    if (image_.isNull())
        image_ = Blank_Image();
    return image_;
}

void Preview_Surface::Paint(std::function<void(QPainter &)> operation)
{
    Canvas();
    if (!painter_.isActive()) {
        painter_.begin(&image_);
        painter_.setRenderHint(QPainter::NonCosmeticBrushPatterns);
    }
    operation(painter_);
    ++generation_;
}

void Preview_Surface::Finish()
{
    if (painter_.isActive())
        painter_.end();
}

const QImage &Preview_Surface::Image()
{
    Finish();
    if (image_.isNull())
        image_ = Blank_Image();
    return image_;
}

void Preview_Surface::Fill_Pixels(const QRect &rect, const QColor &color)
{
    QImage &canvas = Canvas();
    const QRect on = rect.intersected(canvas.rect());
    if (rect.isEmpty() || on.isEmpty())
        return;
    const quint32 pixel = color.rgb() | 0xff000000u; // opaque
    uchar *bits = canvas.bits();
    for (int y = on.top(); y <= on.bottom(); ++y) {
        quint32 *row = reinterpret_cast<quint32 *>(bits + y * canvas.bytesPerLine()) + on.left();
        std::fill(row, row + on.width(), pixel);
    }
    ++generation_;
}

// Text is drawn from its ink, found once per face, text and fraction of a
// pixel: a redraw then costs a pass over the ink's pixels instead of the
// painter's glyph lookups and blits, with the same result.
void Preview_Surface::Draw_Text_Line(Font_Entry &entry, const QString &text, QPointF origin)
{
    const double whole = std::floor(origin.x());
    const QPoint to(int(whole), int(origin.y()));
    const Text_Ink *ink = Ink_Of(entry, text, origin.x() - whole, origin);
    if (ink && ink->exact && ink->rect.isEmpty())
        return; // nothing but blanks
    if (!ink || !ink->exact || !Canvas().rect().contains(ink->rect.translated(to))) {
        Painter_Surface::Draw_Text_Line(entry, text, origin);
        return;
    }
    Blend_Ink(Canvas(), *ink, to);
    ++generation_;
}

// Measured only where it pays: a text well inside the canvas (the painter
// clips the rest), of a size the probe takes cheaply (the form's largest
// takes some 0.5 million pixels with the room around it).
const Text_Ink *Preview_Surface::Ink_Of(Font_Entry &entry, const QString &text, qreal fraction, QPointF origin)
{
    const double advance = double(TextWidth(text)) * Device_Per_Unit_X();
    const QRectF around(origin.x() - entry.height, origin.y() - entry.ascent - entry.height,
                        advance + 2 * entry.height, 3 * entry.height);
    if (!(around.width() * around.height() < Probe_Limit) || !QRectF(Canvas().rect()).contains(around))
        return nullptr;
    const Ink_Face face{entry.font, entry.scale, entry.metrics.ascent(), entry.metrics.height()};
    return inks_.Find(face, text, fraction, [&](QPainter &painter, QPointF at) {
        QStaticText laid_out(text);
        laid_out.setTextFormat(Qt::PlainText);
        Paint_Text_Line(painter, entry.font, entry.scale, entry.metrics.ascent(), laid_out, text, at);
    });
}
