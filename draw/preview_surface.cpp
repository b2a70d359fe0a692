#include "preview_surface.h"

#include <QGlyphRun>
#include <QTextLayout>

#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Fonts are sized in device pixels; a device of 72 DPI makes one point one pixel.
constexpr int Dots_Per_Meter_72_Dpi = 2835;

int Pixels(Single twips, Single twipsPerPixel)
{
    return std::max(1, int(Round_Half_Even(double(twips) / double(twipsPerPixel))));
}

constexpr std::size_t Spare_Images = 2; // the view's and one more

constexpr quint32 White = 0xffffffff;

// The largest probe for a text's ink, in pixels; the form's largest text
// takes some 0.5 million with the room around it.
constexpr double Probe_Limit = 1 << 21;

// A pixel under black ink of `coverage`, blended as the raster engine
// blends its glyphs: each channel x becomes x * (255 - coverage) / 255,
// rounded to nearest, and the pixel stays opaque.
inline quint32 Inked(quint32 pixel, uint coverage)
{
    constexpr quint64 Channels = 0x00ff00ff00ff00ffULL;
    quint64 t = ((quint64(pixel) | (quint64(pixel) << 24)) & Channels) * (255 - coverage);
    t = ((t + ((t >> 8) & Channels) + 0x0080008000800080ULL) >> 8) & Channels;
    return uint(t) | uint(t >> 24) | 0xff000000u;
}

// Inked() along a row, four pixels at a time where the processor can.
void Ink_Row(quint32 *pixels, const uchar *coverage, int count)
{
    int i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i full = _mm_set1_epi16(255);
    const __m128i half = _mm_set1_epi16(0x80);
    const __m128i opaque = _mm_set1_epi32(int(0xff000000u));
    for (; i + 4 <= count; i += 4) {
        quint32 four;
        std::memcpy(&four, coverage + i, 4);
        if (!four)
            continue;
        __m128i cover = _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(four)), zero);
        cover = _mm_unpacklo_epi16(cover, cover); // each coverage twice
        const __m128i keepLow = _mm_sub_epi16(full, _mm_unpacklo_epi32(cover, cover)); // pixels 0, 1
        const __m128i keepHigh = _mm_sub_epi16(full, _mm_unpackhi_epi32(cover, cover)); // pixels 2, 3
        const __m128i four_pixels = _mm_loadu_si128(reinterpret_cast<const __m128i *>(pixels + i));
        __m128i low = _mm_mullo_epi16(_mm_unpacklo_epi8(four_pixels, zero), keepLow);
        __m128i high = _mm_mullo_epi16(_mm_unpackhi_epi8(four_pixels, zero), keepHigh);
        low = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(low, _mm_srli_epi16(low, 8)), half), 8);
        high = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(high, _mm_srli_epi16(high, 8)), half), 8);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(pixels + i), _mm_or_si128(_mm_packus_epi16(low, high), opaque));
    }
#endif
    for (; i < count; ++i)
        if (coverage[i])
            pixels[i] = Inked(pixels[i], coverage[i]);
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
    return ratio_ / double(Screen.TwipsPerPixelX);
}

double Preview_Surface::Device_Per_Unit_Y() const
{
    return ratio_ / double(Screen.TwipsPerPixelY);
}

Single Preview_Surface::Width() const
{
    return Single(pixels_.width()) * Screen.TwipsPerPixelX;
}

Single Preview_Surface::Height() const
{
    return Single(pixels_.height()) * Screen.TwipsPerPixelY;
}

void Preview_Surface::Set_Width(Single width)
{
    Resize(QSize(Pixels(width, Screen.TwipsPerPixelX), pixels_.height()));
}

void Preview_Surface::Set_Height(Single height)
{
    Resize(QSize(pixels_.width(), Pixels(height, Screen.TwipsPerPixelY)));
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
        image = QImage(device, QImage::Format_RGB32);
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
    inks_.clear();
    inkBytes_ = 0;
    Forget_Fonts();
    ++generation_;
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
    QImage &canvas = Canvas();
    if (!ink || !ink->exact || !canvas.rect().contains(ink->rect.translated(to))) {
        Painter_Surface::Draw_Text_Line(entry, text, origin);
        return;
    }
    uchar *bits = canvas.bits();
    const qsizetype stride = canvas.bytesPerLine();
    const auto row = [&](int y) { return reinterpret_cast<quint32 *>(bits + (to.y() + y) * stride) + to.x(); };
    for (const Text_Ink::Run &run : ink->runs)
        Ink_Row(row(run.y) + run.x, &ink->coverage[run.at], run.length);
    for (const Text_Ink::Shared &shared : ink->later) {
        quint32 &pixel = row(shared.y)[shared.x];
        pixel = Inked(pixel, shared.coverage);
    }
    ++generation_;
}

std::size_t Preview_Surface::Text_Ink::Bytes() const
{
    return sizeof(Text_Ink) + runs.size() * sizeof(Run) + coverage.size() + later.size() * sizeof(Shared);
}

const Preview_Surface::Text_Ink *Preview_Surface::Ink_Of(Font_Entry &entry, const QString &text, qreal fraction,
                                                         QPointF origin)
{
    const auto key = std::make_pair(text, fraction);
    auto face = inks_.find(&entry);
    if (face != inks_.end()) {
        const auto found = face->constFind(key);
        if (found != face->constEnd())
            return &*found;
    }
    // Measured only where it pays: a text well inside the canvas (the
    // painter clips the rest), of a size the probe takes cheaply.
    const double advance = double(TextWidth(text)) * Device_Per_Unit_X();
    const QRectF around(origin.x() - entry.height, origin.y() - entry.ascent - entry.height,
                        advance + 2 * entry.height, 3 * entry.height);
    if (!(around.width() * around.height() < Probe_Limit) || !QRectF(Canvas().rect()).contains(around))
        return nullptr;

    // The ink of every text of the form is 0.1 MB at 100 % and 1.6 MB at
    // the largest zoom on a screen of twice the density.
    constexpr std::size_t Ink_Limit = 32 << 20;
    Text_Ink ink = Measure_Ink(entry, text, fraction);
    if (inkBytes_ + ink.Bytes() > Ink_Limit) {
        inks_.clear();
        inkBytes_ = 0;
    }
    inkBytes_ += ink.Bytes();
    return &*inks_[&entry].insert(key, std::move(ink));
}

// The ink is measured on a white probe: the whole text drawn by the painter
// as Draw_Text_Line would draw it, and each of its glyphs alone at the same
// place, in order. On white a pixel of ink coverage c reads 255 - c. The ink
// is used only if its glyphs, blended in order, give back exactly the
// painter's whole text; else the painter goes on drawing this text.
Preview_Surface::Text_Ink Preview_Surface::Measure_Ink(Font_Entry &entry, const QString &text, qreal fraction)
{
    Text_Ink ink;
    if (entry.font.underline() || text.isEmpty() || Text_Lines(text).size() != 1)
        return ink;

    // The glyphs as the text's layout places them (the same layout the
    // painter draws the whole text from), each with the box its outline
    // fills, in device pixels from the origin.
    QTextLayout layout(text, entry.font);
    layout.setCacheEnabled(true);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setLeadingIncluded(true);
    line.setPosition(QPointF(0, 0));
    layout.endLayout();
    const QPointF top_left(0, -entry.metrics.ascent()); // puts the baseline at the origin
    std::vector<std::pair<QGlyphRun, QRectF>> glyphs;
    QRectF extent(0, -entry.ascent, 1, entry.height);
    for (const QGlyphRun &run : layout.glyphRuns()) {
        const QRawFont face = run.rawFont();
        const QList<quint32> indexes = run.glyphIndexes();
        const QList<QPointF> positions = run.positions();
        for (qsizetype i = 0; i < indexes.size(); ++i) {
            QGlyphRun one;
            one.setRawFont(face);
            one.setGlyphIndexes({indexes[i]});
            one.setPositions({positions[i]});
            const QRectF box = face.boundingRect(indexes[i]).translated(positions[i] + top_left);
            const QRectF device(box.topLeft() * entry.scale, box.size() * entry.scale);
            extent |= device;
            glyphs.emplace_back(one, device);
        }
    }

    if (!(extent.width() * extent.height() < Probe_Limit))
        return ink;

    // Antialiasing reaches a pixel beyond an outline; a probe whose edge
    // still takes ink is too small, and its text is left to the painter.
    constexpr int Pad = 3;
    const QRect probe_rect = extent.toAlignedRect().adjusted(-Pad, -Pad, Pad + 1, Pad);
    const int width = probe_rect.width(), height = probe_rect.height();
    const QPoint at = -probe_rect.topLeft(); // the origin's whole pixel on the probe
    const QPointF origin(at.x() + fraction, at.y());
    const auto blank = [&] {
        QImage image(width, height, QImage::Format_RGB32);
        image.setDotsPerMeterX(metricsImage_.dotsPerMeterX());
        image.setDotsPerMeterY(metricsImage_.dotsPerMeterY());
        image.fill(White);
        return image;
    };
    const auto pixel = [](QImage &image, int x, int y) -> quint32 & {
        return reinterpret_cast<quint32 *>(image.scanLine(y))[x];
    };

    QImage whole = blank();
    {
        QStaticText laid_out(text);
        laid_out.setTextFormat(Qt::PlainText);
        QPainter painter(&whole);
        painter.setRenderHint(QPainter::NonCosmeticBrushPatterns);
        Paint_Text_Line(painter, entry.font, entry.scale, entry.metrics.ascent(), laid_out, text, origin);
    }
    for (int x = 0; x < width; ++x)
        if (pixel(whole, x, 0) != White || pixel(whole, x, height - 1) != White)
            return ink;
    for (int y = 0; y < height; ++y)
        if (pixel(whole, 0, y) != White || pixel(whole, width - 1, y) != White)
            return ink;

    std::vector<uchar> first(std::size_t(width * height), 0);
    std::vector<uchar> reached(first.size(), 0);
    std::vector<std::pair<int, uchar>> later;
    QImage probe = blank();
    {
        QPainter painter(&probe);
        painter.setRenderHint(QPainter::NonCosmeticBrushPatterns);
        painter.setWorldTransform(QTransform(entry.scale, 0, 0, entry.scale, origin.x(), origin.y()));
        painter.setPen(Qt::black);
        for (const auto &[one, box] : glyphs) {
            painter.drawGlyphRun(top_left, one);
            const QRect window =
                box.translated(origin).toAlignedRect().adjusted(-Pad, -Pad, Pad, Pad).intersected(probe.rect());
            for (int y = window.top(); y <= window.bottom(); ++y) {
                quint32 *row = reinterpret_cast<quint32 *>(probe.scanLine(y));
                for (int x = window.left(); x <= window.right(); ++x) {
                    if (row[x] == White)
                        continue;
                    const int index = y * width + x;
                    const uchar coverage = uchar(255 - qBlue(row[x]));
                    if (reached[std::size_t(index)]++ == 0)
                        first[std::size_t(index)] = coverage;
                    else
                        later.emplace_back(index, coverage);
                    row[x] = White;
                }
            }
        }
    }

    // The glyphs in order must give the painter's text exactly.
    for (int y = 0; y < height; ++y)
        Ink_Row(reinterpret_cast<quint32 *>(probe.scanLine(y)), &first[std::size_t(y * width)], width);
    for (const auto &[index, coverage] : later) {
        quint32 &p = pixel(probe, index % width, index / width);
        p = Inked(p, coverage);
    }
    if (probe != whole)
        return ink;

    // Kept: runs of coverage along each row, split where eight or more
    // pixels stay clear and padded with clear pixels to whole groups of
    // four, so that a redraw blends them four at a time.
    constexpr int Gap = 8;
    ink.exact = true;
    for (int y = 0; y < height; ++y) {
        const uchar *row = &first[std::size_t(y * width)];
        for (int x = 0; x < width;) {
            if (!row[x]) {
                ++x;
                continue;
            }
            int end = x + 1, clear = 0;
            for (int next = end; next < width && clear < Gap; ++next) {
                if (row[next]) {
                    end = next + 1;
                    clear = 0;
                } else {
                    ++clear;
                }
            }
            const int length = (end - x + 3) / 4 * 4;
            ink.runs.push_back({x - at.x(), y - at.y(), length, ink.coverage.size()});
            ink.coverage.insert(ink.coverage.end(), row + x, row + end);
            ink.coverage.resize(ink.coverage.size() + std::size_t(length - (end - x)), 0);
            ink.rect |= QRect(x - at.x(), y - at.y(), length, 1);
            x = end;
        }
    }
    for (const auto &[index, coverage] : later)
        ink.later.push_back({index % width - at.x(), index / width - at.y(), coverage});
    return ink;
}
