// The ink of one line of text, measured once and blended into the canvas on
// every later redraw instead of asking the painter for its glyphs again. The
// ink is kept only when blending it gives exactly the pixels the painter
// gives; otherwise the painter goes on drawing that text.
#pragma once

#include <QFont>
#include <QHash>
#include <QImage>
#include <QRect>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

// Runs of coverage along rows, top down, of the first glyph that reaches
// each pixel, then for the few pixels that glyphs share the later coverages
// in drawing order. Positions are relative to the whole pixel left of the
// text's origin.
struct Text_Ink {
    struct Run {
        int x, y, length;
        std::size_t at; // into coverage
    };
    struct Shared {
        int x, y;
        uchar coverage;
    };
    bool exact = false; // false: the painter draws this text
    QRect rect;         // all of the ink
    std::vector<Run> runs;
    std::vector<uchar> coverage;
    std::vector<Shared> later;
    std::size_t Bytes() const;
};

// A face as the canvas draws it: `font` at its reference size, scaled down
// by `scale` into device pixels; its ascent and height in reference pixels.
struct Ink_Face {
    QFont font;
    qreal scale;
    qreal ascent, height;
};

// Draws the whole line as the painter would, black, its baseline at `origin`.
using Paint_Whole_Text = std::function<void(QPainter &painter, QPointF origin)>;

// Measures the ink of `text` whose origin lies `fraction` of a pixel right of
// a whole pixel. Not exact for an underlined face, several lines, a text too
// large to probe, or glyphs that do not blend back into `paint_whole`'s text.
Text_Ink Measure_Ink(const Ink_Face &face, const QString &text, qreal fraction, const Paint_Whole_Text &paint_whole);

// Blends exact ink, black, into the rows `top` to `bottom` of an RGB32
// canvas with the text's whole pixel at `to`; the ink's rectangle there must
// lie inside the canvas.
void Blend_Ink(QImage &canvas, const Text_Ink &ink, QPoint to, int top, int bottom);

// Inks by face, text and fraction of a pixel. A text is measured the second
// time it is drawn, so a canvas drawn once never pays for it. All is
// forgotten once the inks hold more than `limit` bytes.
class Ink_Cache {
public:
    explicit Ink_Cache(std::size_t limit) : limit_(limit) {}

    // The ink found or measured now; none at a text's first sight. It stays
    // whole for whoever holds it, whatever the cache forgets.
    std::shared_ptr<const Text_Ink> Find(const Ink_Face &face, const QString &text, qreal fraction,
                                         const Paint_Whole_Text &paint_whole);
    void Clear();
    std::size_t Bytes() const { return bytes_; }
    // Texts whose ink is exact.
    qsizetype Exact() const;

private:
    struct Key {
        QFont font;
        qreal scale;
        QString text;
        qreal fraction;
        bool operator==(const Key &) const = default;
    };
    friend size_t qHash(const Key &key, size_t seed)
    {
        return qHashMulti(seed, key.font, key.scale, key.text, key.fraction);
    }
    // Measured, or seen once (no ink).
    struct Entry {
        std::shared_ptr<const Text_Ink> ink;
    };
    QHash<Key, Entry> inks_;
    std::size_t bytes_ = 0;
    std::size_t limit_;
};
