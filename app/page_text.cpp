#include "page_text.h"

#include "page_build.h"
#include "painter_surface.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace {

// Measures as the preview does at ratio 1 and keeps each line of text
// instead of drawing anything.
class Text_Collector final : public Painter_Surface {
public:
    struct Line {
        QString text;
        QList<QRectF> boxes;
    };
    std::vector<Line> lines;

    Text_Collector() : metrics_(1, 1, QImage::Format_RGB32)
    {
        // The preview measures fonts at 72 DPI too.
        metrics_.setDotsPerMeterX(Dots_Per_Meter_72_Dpi);
        metrics_.setDotsPerMeterY(Dots_Per_Meter_72_Dpi);
    }

    bool Is_Printer() const override { return false; }
    void Cls() override {}
    Single Width() const override { return width_; }
    Single Height() const override { return height_; }
    void Set_Width(Single width) override { width_ = width; }
    void Set_Height(Single height) override { height_ = height; }
    void EndDoc() override {}

protected:
    double Device_Per_Unit_X() const override { return 1 / double(Screen.TwipsPerPixelX); }
    double Device_Per_Unit_Y() const override { return 1 / double(Screen.TwipsPerPixelY); }
    double Device_Per_Pen_Pixel() const override { return 1; }
    double Hatch_Scale() const override { return 1; }
    bool Snap_To_Pixels() const override { return true; }
    QPaintDevice *Metrics_Device() override { return &metrics_; }
    void Paint(std::function<void(QPainter &)>) override {}
    void Fill_Pixels(const QRect &, const QColor &) override {}

    void Draw_Text_Line(Font_Entry &entry, const QString &text, QPointF origin) override
    {
        Line line{text, {}};
        const qreal top = origin.y() - entry.ascent;
        qreal left = origin.x();
        for (qsizetype i = 0; i < text.size(); ++i) {
            const qreal right = origin.x() + entry.metrics.horizontalAdvance(text.left(i + 1)) * entry.scale;
            line.boxes.append(QRectF(left, top, std::max<qreal>(right - left, 0), entry.height));
            left = right;
        }
        if (!text.trimmed().isEmpty())
            lines.push_back(std::move(line));
    }

private:
    QImage metrics_;
    Single width_ = 0;
    Single height_ = 0;
};

Page_Text Collect()
{
    Text_Collector collector;
    try {
        const Drawing_Scope scope(collector, 1);
        Build_Page();
    } catch (...) {
        collector.lines.clear(); // nothing rather than half a page
    }

    // Reading order. Lines that start at the same left edge, each at most
    // a line and a half below the one before, are one block (a paragraph,
    // a column of labels); blocks are read top to bottom, and left to right
    // when their tops lie within half a line of each other.
    using Line = Text_Collector::Line;
    std::vector<Line> &lines = collector.lines;
    const auto box = [](const Line &line) { return line.boxes.first(); };
    std::stable_sort(lines.begin(), lines.end(), [&](const Line &a, const Line &b) {
        return std::pair(box(a).left(), box(a).top()) < std::pair(box(b).left(), box(b).top());
    });
    std::vector<std::vector<const Line *>> blocks;
    for (const Line &line : lines) {
        const QRectF here = box(line);
        if (!blocks.empty()) {
            const QRectF last = box(*blocks.back().back());
            if (std::abs(here.left() - last.left()) < 1 && here.top() > last.top() &&
                here.top() - last.top() <= 1.5 * last.height()) {
                blocks.back().push_back(&line);
                continue;
            }
        }
        blocks.push_back({&line});
    }
    std::stable_sort(blocks.begin(), blocks.end(), [&](const auto &a, const auto &b) {
        return box(*a.front()).top() < box(*b.front()).top();
    });
    std::vector<std::pair<int, std::size_t>> order; // row of blocks, block
    int row = -1;
    qreal row_top = 0;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const QRectF first = box(*blocks[i].front());
        if (row < 0 || first.top() - row_top > first.height() / 2)
            ++row, row_top = first.top();
        order.emplace_back(row, i);
    }
    std::stable_sort(order.begin(), order.end(), [&](const auto &a, const auto &b) {
        return a.first != b.first ? a.first < b.first
                                  : box(*blocks[a.second].front()).left() < box(*blocks[b.second].front()).left();
    });

    Page_Text page;
    for (const auto &[row_of_block, index] : order)
        for (const Line *line : blocks[index]) {
            page.text += line->text + u'\n';
            page.boxes += line->boxes;
            page.boxes.append(QRectF(line->boxes.last().topRight(), QSizeF(0, line->boxes.last().height())));
        }
    return page;
}

} // namespace

const Page_Text &The_Page_Text()
{
    static const Page_Text page = Collect();
    return page;
}
