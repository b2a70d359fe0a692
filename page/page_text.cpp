#include "page_text.h"

#include "page_build.h"
#include "page_places.h"
#include "painter_surface.h"

#include <QTextBoundaryFinder>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace {

// Measures as the preview does at 100 %, but in twips, whatever the
// screen, and keeps each line of text instead of drawing anything.
class Text_Collector final : public Painter_Surface {
public:
    std::vector<Text_Line> lines;

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
    double Device_Per_Unit_X() const override { return 1; }
    double Device_Per_Unit_Y() const override { return 1; }
    double Device_Per_Pen_Pixel() const override { return 1; }
    double Hatch_Scale() const override { return 1; }
    bool Snap_To_Pixels() const override { return true; }
    QPaintDevice *Metrics_Device() override { return &metrics_; }
    void Paint(std::function<void(QPainter &)>) override {}
    void Fill_Pixels(const QRect &, const QColor &) override {}

    void Draw_Text_Line(Font_Entry &entry, const QString &text, QPointF origin) override
    {
        Text_Line line{text, {}, {int(lines.size())}};
        // The line shaped once, as it is drawn: each character's box ends
        // where the next one's caret stands.
        QTextLayout layout(text, entry.font, &metrics_);
        layout.beginLayout();
        const QTextLine shaped = layout.createLine();
        layout.endLayout();
        const qreal top = origin.y() - entry.ascent;
        qreal left = origin.x();
        for (qsizetype i = 0; i < text.size(); ++i) {
            const qreal right = origin.x() + shaped.cursorToX(int(i + 1)) * entry.scale;
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
    // The page is drawn here as it is for the PDF: what stops one stops the
    // other, and goes up to whoever asked rather than leaving a PDF with
    // nothing tagged.
    Text_Collector collector;
    {
        const Drawing_Scope scope(collector, 1);
        Build_Page();
    }
    return Reading_Order(std::move(collector.lines));
}

bool Word_Start(const QTextBoundaryFinder &words)
{
    return words.isAtBoundary() && (words.boundaryReasons() & QTextBoundaryFinder::StartOfItem);
}

// The last start of a word at or before `offset`, else 0.
int Word_Start_At(const QString &text, int offset)
{
    QTextBoundaryFinder words(QTextBoundaryFinder::Word, text);
    words.setPosition(offset);
    while (offset > 0 && !Word_Start(words))
        offset = int(words.toPreviousBoundary());
    return std::max(offset, 0);
}

// The first start of a word after `offset`, else the text's end.
int Word_Start_After(const QString &text, int offset)
{
    QTextBoundaryFinder words(QTextBoundaryFinder::Word, text);
    words.setPosition(offset);
    do
        offset = int(words.toNextBoundary());
    while (offset >= 0 && offset < text.size() && !Word_Start(words));
    return offset < 0 ? int(text.size()) : offset;
}

} // namespace

namespace {

using Block = std::vector<const Text_Line *>; // lines read one after the other

QRectF First_Box(const Text_Line &line)
{
    return line.boxes.first();
}

// A heading over two lines: the second starts no more than a line below
// the first (a twentieth more to spare), closer than separate lines ever
// stand, and shares some of its width. `lines` are sorted top down.
void Join_Headings(std::vector<Text_Line> &lines)
{
    const auto span = [](const Text_Line &line) { return line.boxes.first().united(line.boxes.last()); };
    for (std::size_t i = 0; i < lines.size(); ++i)
        for (std::size_t j = i + 1; j < lines.size(); ++j) {
            const QRectF upper = span(lines[i]), lower = span(lines[j]);
            if (lower.top() - upper.top() > upper.height() * 1.05)
                break;
            if (lower.top() > upper.top() && lower.left() < upper.right() && upper.left() < lower.right()) {
                lines[i].text += u' ' + lines[j].text;
                lines[i].boxes.append(QRectF(upper.topRight(), QSizeF(0, upper.height())));
                lines[i].boxes += lines[j].boxes;
                lines[i].drawn += lines[j].drawn;
                lines.erase(lines.begin() + std::ptrdiff_t(j));
                break;
            }
        }
}

// Lines at the same left edge, each at most a line and a half below the one
// before, as blocks; `lines` are sorted by their left edge, then top down.
std::vector<Block> Blocks(const std::vector<Text_Line> &lines)
{
    std::vector<Block> blocks;
    for (const Text_Line &line : lines) {
        const QRectF here = First_Box(line);
        if (!blocks.empty()) {
            const QRectF last = First_Box(*blocks.back().back());
            if (std::abs(here.left() - last.left()) < 1 && here.top() > last.top() &&
                here.top() - last.top() <= 1.5 * last.height()) {
                blocks.back().push_back(&line);
                continue;
            }
        }
        blocks.push_back({&line});
    }
    return blocks;
}

// The blocks top to bottom, in rows of blocks whose tops lie within half a
// line of the row's first, each row left to right.
std::vector<const Block *> Block_Order(std::vector<Block> &blocks)
{
    const auto top = [](const Block &block) { return First_Box(*block.front()).top(); };
    std::stable_sort(blocks.begin(), blocks.end(), [&](const Block &a, const Block &b) { return top(a) < top(b); });
    std::vector<std::pair<int, const Block *>> order; // row of blocks, block
    int row = -1;
    qreal row_top = 0;
    for (const Block &block : blocks) {
        const QRectF first = First_Box(*block.front());
        if (row < 0 || first.top() - row_top > first.height() / 2)
            ++row, row_top = first.top();
        order.emplace_back(row, &block);
    }
    const auto left = [](const Block *block) { return First_Box(*block->front()).left(); };
    std::stable_sort(order.begin(), order.end(), [&](const auto &a, const auto &b) {
        return a.first != b.first ? a.first < b.first : left(a.second) < left(b.second);
    });
    std::vector<const Block *> ordered;
    for (const auto &[row_of_block, block] : order)
        ordered.push_back(block);
    return ordered;
}

} // namespace

Page_Text Reading_Order(std::vector<Text_Line> lines)
{
    std::erase_if(lines, [](const Text_Line &line) {
        return line.boxes.isEmpty() || line.boxes.size() != line.text.size();
    });
    const auto box = First_Box;
    std::stable_sort(lines.begin(), lines.end(),
                     [&](const Text_Line &a, const Text_Line &b) { return box(a).top() < box(b).top(); });
    Join_Headings(lines);
    std::stable_sort(lines.begin(), lines.end(), [&](const Text_Line &a, const Text_Line &b) {
        return std::pair(box(a).left(), box(a).top()) < std::pair(box(b).left(), box(b).top());
    });
    std::vector<Block> blocks = Blocks(lines);

    Page_Text page;
    for (const Block *block : Block_Order(blocks))
        for (const Text_Line *line : *block) {
            page.text += line->text + u'\n';
            page.drawn.push_back(line->drawn);
            page.boxes += line->boxes;
            page.boxes.append(QRectF(line->boxes.last().topRight(), QSizeF(0, line->boxes.last().height())));
        }
    return page;
}

Text_Span Unit_At(const QString &text, int offset, QAccessible::TextBoundaryType type)
{
    const int size = int(text.size());
    offset = std::clamp(offset, 0, size);
    switch (type) {
    case QAccessible::CharBoundary:
        return {offset, std::min(offset + 1, size)};
    case QAccessible::WordBoundary:
        return offset == size ? Text_Span{size, size} : Text_Span{Word_Start_At(text, offset), Word_Start_After(text, offset)};
    case QAccessible::NoBoundary:
        return {0, size};
    default: { // sentences, paragraphs and lines: the form's lines
        const int start = offset == 0 ? 0 : int(text.lastIndexOf(u'\n', offset - 1)) + 1;
        const int newline = int(text.indexOf(u'\n', offset));
        return {start, newline < 0 ? size : newline + 1};
    }
    }
}

Text_Span Unit_Before(const QString &text, int offset, QAccessible::TextBoundaryType type)
{
    const int start = Unit_At(text, offset, type).first;
    return start > 0 ? Unit_At(text, start - 1, type) : Text_Span{0, 0};
}

Text_Span Unit_After(const QString &text, int offset, QAccessible::TextBoundaryType type)
{
    const int end = Unit_At(text, offset, type).second;
    return end < text.size() ? Unit_At(text, end, type) : Text_Span{end, end};
}

int Offset_At(const QList<QRectF> &boxes, QPointF point)
{
    for (qsizetype i = 0; i < boxes.size(); ++i)
        if (boxes[i].contains(point))
            return int(i);
    return -1;
}

int Caret_After_Key(const QString &text, int caret, int key, bool ctrl)
{
    // The caret stays on a line: at most before the last line feed.
    const int size = int(text.size()) - (text.endsWith(u'\n') ? 1 : 0);
    caret = std::clamp(caret, 0, size);
    const Text_Span line = Unit_At(text, caret, QAccessible::LineBoundary);
    // The last place on a line: before its line feed.
    const auto line_end = [&](Text_Span span) { return span.second > span.first && text[span.second - 1] == u'\n' ? span.second - 1 : span.second; };
    switch (key) {
    case Qt::Key_Left:
        return ctrl ? Word_Start_At(text, std::max(caret - 1, 0)) : std::max(caret - 1, 0);
    case Qt::Key_Right:
        return std::min(ctrl ? Word_Start_After(text, caret) : caret + 1, size);
    case Qt::Key_Home:
        return ctrl ? 0 : line.first;
    case Qt::Key_End:
        return ctrl ? size : line_end(line);
    case Qt::Key_Up:
    case Qt::Key_Down: {
        if (key == Qt::Key_Up ? line.first == 0 : line.second >= size)
            return caret;
        const Text_Span next = Unit_At(text, key == Qt::Key_Up ? line.first - 1 : line.second, QAccessible::LineBoundary);
        return std::min(next.first + (caret - line.first), line_end(next));
    }
    default:
        return -1;
    }
}

const Page_Text &The_Page_Text()
{
    static const Page_Text page = Header_In_Blocks(Collect());
    return page;
}
