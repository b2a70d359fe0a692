#include "text_ink.h"

#include "runtime.h"

#include <QGlyphRun>
#include <QPainter>
#include <QRawFont>
#include <QTextLayout>

#include <algorithm>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr quint32 White = 0xffffffff;
// Antialiasing reaches a pixel beyond an outline; a probe whose edge still
// takes ink is too small, and its text is left to the painter.
constexpr int Pad = 3;

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
        if (four == 0xffffffffu) { // wholly covered: black whatever was there
            _mm_storeu_si128(reinterpret_cast<__m128i *>(pixels + i), opaque);
            continue;
        }
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

quint32 *Row(QImage &image, int y)
{
    return reinterpret_cast<quint32 *>(image.scanLine(y));
}

// One glyph alone, with the box its outline fills in device pixels from the origin.
struct Glyph {
    QGlyphRun run;
    QRectF box;
};

// The glyphs as the text's layout places them (the same layout the painter
// draws the whole text from), and the extent of them all with the line's
// own height, in device pixels from the origin.
std::pair<std::vector<Glyph>, QRectF> Lay_Out_Glyphs(const Ink_Face &face, const QString &text)
{
    QTextLayout layout(text, face.font);
    layout.setCacheEnabled(true);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setLeadingIncluded(true);
    line.setPosition(QPointF(0, 0));
    layout.endLayout();
    const QPointF top_left(0, -face.ascent);
    std::vector<Glyph> glyphs;
    QRectF extent(0, -face.ascent * face.scale, 1, face.height * face.scale);
    for (const QGlyphRun &run : layout.glyphRuns()) {
        const QRawFont raw = run.rawFont();
        const QList<quint32> indexes = run.glyphIndexes();
        const QList<QPointF> positions = run.positions();
        for (qsizetype i = 0; i < indexes.size(); ++i) {
            QGlyphRun one;
            one.setRawFont(raw);
            one.setGlyphIndexes({indexes[i]});
            one.setPositions({positions[i]});
            const QRectF box = raw.boundingRect(indexes[i]).translated(positions[i] + top_left);
            const QRectF device(box.topLeft() * face.scale, box.size() * face.scale);
            extent |= device;
            glyphs.push_back({one, device});
        }
    }
    return {std::move(glyphs), extent};
}

QImage White_Probe(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.setDotsPerMeterX(Dots_Per_Meter_72_Dpi);
    image.setDotsPerMeterY(Dots_Per_Meter_72_Dpi);
    image.fill(White);
    return image;
}

bool Edges_Are_White(QImage &image)
{
    const int width = image.width(), height = image.height();
    for (int x = 0; x < width; ++x)
        if (Row(image, 0)[x] != White || Row(image, height - 1)[x] != White)
            return false;
    for (int y = 0; y < height; ++y)
        if (Row(image, y)[0] != White || Row(image, y)[width - 1] != White)
            return false;
    return true;
}

// On white a pixel of ink coverage c reads 255 - c. Each glyph is drawn
// alone on the probe, in order; per pixel of the probe the coverage of the
// first glyph that reaches it, and for pixels reached again the later
// coverages, by index into the probe.
struct Coverages {
    std::vector<uchar> first;
    std::vector<std::pair<int, uchar>> later;
};

Coverages Glyph_Coverages(const Ink_Face &face, const std::vector<Glyph> &glyphs, QImage &probe, QPointF origin)
{
    const int width = probe.width();
    Coverages found{std::vector<uchar>(std::size_t(width * probe.height()), 0), {}};
    std::vector<uchar> reached(found.first.size(), 0);
    QPainter painter(&probe);
    painter.setRenderHint(QPainter::NonCosmeticBrushPatterns);
    painter.setWorldTransform(QTransform(face.scale, 0, 0, face.scale, origin.x(), origin.y()));
    painter.setPen(Qt::black);
    for (const Glyph &glyph : glyphs) {
        painter.drawGlyphRun(QPointF(0, -face.ascent), glyph.run);
        const QRect window =
            glyph.box.translated(origin).toAlignedRect().adjusted(-Pad, -Pad, Pad, Pad).intersected(probe.rect());
        for (int y = window.top(); y <= window.bottom(); ++y) {
            quint32 *row = Row(probe, y);
            for (int x = window.left(); x <= window.right(); ++x) {
                if (row[x] == White)
                    continue;
                const int index = y * width + x;
                const uchar coverage = uchar(255 - qBlue(row[x]));
                if (reached[std::size_t(index)]++ == 0)
                    found.first[std::size_t(index)] = coverage;
                else
                    found.later.emplace_back(index, coverage);
                row[x] = White;
            }
        }
    }
    return found;
}

// Whether the coverages, blended in order on white, give `whole` exactly.
bool Blend_Back_To(const Coverages &found, const QImage &whole)
{
    QImage probe = White_Probe(whole.size());
    const int width = probe.width();
    for (int y = 0; y < probe.height(); ++y)
        Ink_Row(Row(probe, y), &found.first[std::size_t(y * width)], width);
    for (const auto &[index, coverage] : found.later) {
        quint32 &p = Row(probe, index / width)[index % width];
        p = Inked(p, coverage);
    }
    return probe == whole;
}

// Runs of coverage along each row, split where eight or more pixels stay
// clear and padded with clear pixels to whole groups of four, so that a
// redraw blends them four at a time. `at` is the origin's whole pixel.
Text_Ink Runs_Of(const Coverages &found, int width, int height, QPoint at)
{
    constexpr int Gap = 8;
    Text_Ink ink;
    ink.exact = true;
    for (int y = 0; y < height; ++y) {
        const uchar *row = &found.first[std::size_t(y * width)];
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
    for (const auto &[index, coverage] : found.later)
        ink.later.push_back({index % width - at.x(), index / width - at.y(), coverage});
    return ink;
}

} // namespace

std::size_t Text_Ink::Bytes() const
{
    return sizeof(Text_Ink) + runs.size() * sizeof(Run) + coverage.size() + later.size() * sizeof(Shared);
}

Text_Ink Measure_Ink(const Ink_Face &face, const QString &text, qreal fraction, const Paint_Whole_Text &paint_whole)
{
    if (face.font.underline() || text.isEmpty() || text.contains(u'\r') || text.contains(u'\n'))
        return {};
    const auto [glyphs, extent] = Lay_Out_Glyphs(face, text);
    if (!(extent.width() * extent.height() < Probe_Limit))
        return {};

    const QRect probe_rect = extent.toAlignedRect().adjusted(-Pad, -Pad, Pad + 1, Pad);
    const QPoint at = -probe_rect.topLeft(); // the origin's whole pixel on the probe
    const QPointF origin(at.x() + fraction, at.y());

    QImage whole = White_Probe(probe_rect.size());
    {
        QPainter painter(&whole);
        painter.setRenderHint(QPainter::NonCosmeticBrushPatterns);
        paint_whole(painter, origin);
    }
    if (!Edges_Are_White(whole))
        return {};
    QImage probe = White_Probe(probe_rect.size());
    const Coverages found = Glyph_Coverages(face, glyphs, probe, origin);
    if (!Blend_Back_To(found, whole))
        return {};
    return Runs_Of(found, probe_rect.width(), probe_rect.height(), at);
}

void Blend_Ink(QImage &canvas, const Text_Ink &ink, QPoint to, int top, int bottom)
{
    uchar *bits = canvas.bits();
    const qsizetype stride = canvas.bytesPerLine();
    const auto row = [&](int y) { return reinterpret_cast<quint32 *>(bits + (to.y() + y) * stride) + to.x(); };
    const auto within = [&](int y) { return to.y() + y >= top && to.y() + y <= bottom; };
    for (const Text_Ink::Run &run : ink.runs) { // row by row, top down
        if (to.y() + run.y > bottom)
            break;
        if (within(run.y))
            Ink_Row(row(run.y) + run.x, &ink.coverage[run.at], run.length);
    }
    for (const Text_Ink::Shared &shared : ink.later) {
        if (!within(shared.y))
            continue;
        quint32 &pixel = row(shared.y)[shared.x];
        pixel = Inked(pixel, shared.coverage);
    }
}

std::shared_ptr<const Text_Ink> Ink_Cache::Find(const Ink_Face &face, const QString &text, qreal fraction,
                                                const Paint_Whole_Text &paint_whole)
{
    Key key{face.font, face.scale, text, fraction};
    const auto found = inks_.constFind(key);
    if (found != inks_.constEnd() && found->ink)
        return found->ink;
    const std::size_t entry = sizeof(Entry) + std::size_t(text.size()) * sizeof(QChar);
    if (found == inks_.constEnd()) {
        if (bytes_ + entry > limit_)
            Clear();
        bytes_ += entry;
        inks_.insert(std::move(key), Entry{});
        return nullptr;
    }
    Text_Ink ink = Measure_Ink(face, text, fraction, paint_whole);
    if (bytes_ + ink.Bytes() > limit_) {
        Clear();
        bytes_ += entry;
    }
    bytes_ += ink.Bytes();
    Entry &kept = inks_[key];
    kept.ink = std::make_shared<const Text_Ink>(std::move(ink));
    return kept.ink;
}

void Ink_Cache::Clear()
{
    inks_.clear();
    bytes_ = 0;
}

qsizetype Ink_Cache::Exact() const
{
    return std::count_if(inks_.cbegin(), inks_.cend(),
                         [](const Entry &entry) { return entry.ink && entry.ink->exact; });
}
