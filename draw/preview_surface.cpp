#include "preview_surface.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include <sys/mman.h>

namespace {

constexpr std::size_t Spare_Images = 2; // the view's and one more

constexpr quint32 White = 0xffffffff;

// Rows drawn at a time: a quarter of a megabyte of canvas, which the
// processor's cache holds from the band's clearing to its last step.
constexpr qsizetype Band_Bytes = 256 << 10;

// Memory for a canvas of `bytes`, its pages mapped at once. Touched first by
// the fill, a canvas's pages were faulted in one at a time, which on a
// virtual machine cost more than drawing the page (3 MB at 100 %: 4.8
// against 8.5 ms, and a third of a one-shot render). Where the kernel offers
// them, whole 2 MB stretches of the canvas take huge pages: each is one
// mapping instead of 512, and the first fill of a 3 MB canvas costs a third.
void *Mapped(std::size_t bytes)
{
    constexpr std::size_t Huge = 2 << 20;
    if (bytes < Huge)
        return mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    // Mapped with room to start on a 2 MB boundary; the room is given back.
    auto *room =
        static_cast<char *>(mmap(nullptr, bytes + Huge, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    if (room == MAP_FAILED)
        return MAP_FAILED;
    char *start = room + (Huge - reinterpret_cast<std::uintptr_t>(room) % Huge) % Huge;
    if (start > room)
        munmap(room, std::size_t(start - room));
    munmap(start + bytes, std::size_t(room + bytes + Huge - (start + bytes)));
    madvise(start, bytes, MADV_HUGEPAGE);
    madvise(start, bytes, MADV_POPULATE_WRITE); // where refused, the fill maps them
    return start;
}

// An RGB32 image in that memory, given back when the image goes.
QImage Mapped_Image(QSize size)
{
    const qsizetype stride = qsizetype(size.width()) * 4;
    const std::size_t bytes = std::size_t(stride) * std::size_t(size.height());
    void *memory = Mapped(bytes);
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
    Drop_Steps();
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
        Paint(QRectF(old.rect()), [old](QPainter &painter) { painter.drawImage(0, 0, old); });
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
    blank_ = true; // cleared band by band as it is drawn
    return image;
}

void Preview_Surface::Set_Device_Pixel_Ratio(qreal ratio)
{
    if (!(ratio > 0) || ratio == ratio_)
        return;
    Drop_Steps();
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
    // What was drawn since the image was last asked for is never seen: the
    // steps go, undone, with the image.
    Drop_Steps();
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
    Paint(QRectF(Canvas().rect()), std::move(operation));
}

void Preview_Surface::Paint(const QRectF &bounds, std::function<void(QPainter &)> operation)
{
    Add(Step{bounds.toAlignedRect().adjusted(-1, -1, 1, 1), 0, nullptr, {}, std::move(operation)});
}

void Preview_Surface::Add(Step step)
{
    step.bounds &= Canvas().rect();
    if (!step.bounds.isEmpty())
        steps_.push_back(std::move(step));
    ++generation_;
}

void Preview_Surface::Drop_Steps()
{
    steps_.clear();
    blank_ = false;
    Finish();
}

void Preview_Surface::Finish()
{
    if (blank_ || !steps_.empty()) {
        const QImage &canvas = Canvas();
        const int rows = int(std::max<qsizetype>(1, Band_Bytes / canvas.bytesPerLine()));
        for (int top = 0, bottom = 0; top < canvas.height(); top = bottom + 1) {
            bottom = Band_Bottom(std::min(canvas.height(), top + rows) - 1);
            Draw_Band(QRect(0, top, canvas.width(), bottom - top + 1));
        }
        steps_.clear();
        blank_ = false;
    }
    if (painter_.isActive())
        painter_.end();
}

// The last row of a band meant to end at `bottom`: that row, or one further
// down to take in whole every painter's step that reaches it. The painter draws each of its
// steps in one band, unclipped: clipped, it rounds the ends of a fractional
// underline differently.
int Preview_Surface::Band_Bottom(int bottom) const
{
    for (bool grown = true; grown;) {
        grown = false;
        for (const Step &step : steps_) {
            if (step.paint && step.bounds.top() <= bottom && step.bounds.bottom() > bottom) {
                bottom = step.bounds.bottom();
                grown = true;
            }
        }
    }
    return bottom;
}

// The band cleared if the canvas is new, then every step that reaches it,
// in their order, the fills and inks kept to its rows.
void Preview_Surface::Draw_Band(const QRect &band)
{
    QImage &canvas = image_;
    uchar *const bits = canvas.bits();
    const qsizetype stride = canvas.bytesPerLine();
    const std::size_t bytes = std::size_t(band.height()) * std::size_t(stride);
    if (blank_ && back_.rgb() == White)
        std::memset(bits + band.top() * stride, 0xff, bytes); // white is all bits set: the fastest fill there is
    else if (blank_)
        std::fill_n(reinterpret_cast<quint32 *>(bits + band.top() * stride), bytes / 4, back_.rgb() | 0xff000000u);
    for (const Step &step : steps_) {
        // Every step lies within the canvas, and every band spans its width.
        const int top = std::max(step.bounds.top(), band.top()), bottom = std::min(step.bounds.bottom(), band.bottom());
        if (top > bottom)
            continue;
        if (step.ink) {
            Blend_Ink(canvas, *step.ink, step.to, top, bottom);
        } else if (step.paint) {
            if (!painter_.isActive()) {
                painter_.begin(&canvas);
                painter_.setRenderHint(QPainter::NonCosmeticBrushPatterns);
            }
            step.paint(painter_);
        } else {
            for (int y = top; y <= bottom; ++y) {
                quint32 *row = reinterpret_cast<quint32 *>(bits + y * stride) + step.bounds.left();
                std::fill(row, row + step.bounds.width(), step.pixel);
            }
        }
    }
}

const QImage &Preview_Surface::Image()
{
    Canvas();
    Finish();
    return image_;
}

void Preview_Surface::Fill_Pixels(const QRect &rect, const QColor &color)
{
    Add(Step{rect, color.rgb() | 0xff000000u, nullptr, {}, {}}); // opaque
}

// Text is drawn from its ink, found once per face, text and fraction of a
// pixel: a redraw then costs a pass over the ink's pixels instead of the
// painter's glyph lookups and blits, with the same result.
void Preview_Surface::Draw_Text_Line(Font_Entry &entry, const QString &text, QPointF origin)
{
    const double whole = std::floor(origin.x());
    const QPoint to(int(whole), int(origin.y()));
    std::shared_ptr<const Text_Ink> ink = Ink_Of(entry, text, origin.x() - whole, origin);
    if (ink && ink->exact && ink->rect.isEmpty())
        return; // nothing but blanks
    if (!ink || !ink->exact || !Canvas().rect().contains(ink->rect.translated(to))) {
        Painter_Surface::Draw_Text_Line(entry, text, origin);
        return;
    }
    const QRect bounds = ink->rect.translated(to);
    Add(Step{bounds, 0, std::move(ink), to, {}});
}

// Measured only where it pays: a text well inside the canvas (the painter
// clips the rest), of a size the probe takes cheaply (the form's largest
// takes some 0.5 million pixels with the room around it).
std::shared_ptr<const Text_Ink> Preview_Surface::Ink_Of(Font_Entry &entry, const QString &text, qreal fraction,
                                                        QPointF origin)
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
