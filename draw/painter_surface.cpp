#include "painter_surface.h"

#include <QPaintDevice>
#include <QPen>

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

QColor Colour(Long color)
{
    return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

Qt::PenStyle Qt_Pen_Style(Integer drawStyle)
{
    switch (drawStyle) {
    case Pen_Dash:
        return Qt::DashLine;
    case Pen_Dot:
        return Qt::DotLine;
    case Pen_Dash_Dot:
        return Qt::DashDotLine;
    case Pen_Dash_Dot_Dot:
        return Qt::DashDotDotLine;
    case Pen_Invisible:
        return Qt::NoPen;
    default:
        return Qt::SolidLine;
    }
}

Qt::BrushStyle Qt_Brush_Style(Integer fillStyle)
{
    switch (fillStyle) {
    case Fill_Solid:
        return Qt::SolidPattern;
    case Fill_Horizontal_Lines:
        return Qt::HorPattern;
    case Fill_Vertical_Lines:
        return Qt::VerPattern;
    case Fill_Upward_Diagonal:
        return Qt::BDiagPattern;
    case Fill_Downward_Diagonal:
        return Qt::FDiagPattern;
    case Fill_Cross:
        return Qt::CrossPattern;
    case Fill_Diagonal_Cross:
        return Qt::DiagCrossPattern;
    default:
        return Qt::NoBrush;
    }
}

// A scaled hatch keeps hard edges: its pattern is not smoothed.
void Fill(QPainter &painter, const QRectF &rect, const QBrush &brush)
{
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.fillRect(rect, brush);
}

} // namespace

Painter_Surface::~Painter_Surface() = default;

void Painter_Surface::Forget_Fonts()
{
    fonts_.clear();
    font_ = nullptr;
}

Painter_Surface::Font_Entry &Painter_Surface::Current_Font()
{
    if (font_)
        return *font_;
    const Font_Key key{FontName(), FontSize(), FontBold(), FontItalic(), FontUnderline()};
    auto found = fonts_.find(key);
    if (found == fonts_.end()) {
        // Large enough that whole-pixel rounding of the reference size does not
        // matter, small enough that the font engine still caches its glyphs.
        constexpr int Reference_Pixels = 64;
        // One point is 20 twips.
        const double pixels = double(FontSize()) * 20.0 * Device_Per_Unit_Y();
        QFont font(FontName());
        font.setPixelSize(Reference_Pixels);
        font.setBold(FontBold());
        font.setItalic(FontItalic());
        font.setUnderline(FontUnderline());
        font.setKerning(false);
        font.setHintingPreference(QFont::PreferNoHinting);
        const QFontMetricsF metrics(font, Metrics_Device());
        const qreal scale = pixels / Reference_Pixels;
        found = fonts_
                    .emplace(key, std::make_unique<Font_Entry>(Font_Entry{
                                      font, metrics, scale, metrics.ascent() * scale, metrics.height() * scale, {}, {}}))
                    .first;
    }
    font_ = found->second.get();
    return *font_;
}

Single Painter_Surface::TextWidth(const QString &text)
{
    Font_Entry &entry = Current_Font();
    const auto cached = entry.widths.constFind(text);
    if (cached != entry.widths.constEnd())
        return *cached;
    qreal widest = 0;
    for (const QString &line : Text_Lines(text))
        widest = std::max(widest, entry.metrics.horizontalAdvance(line));
    const Single width = Single(widest * entry.scale / Device_Per_Unit_X());
    if (entry.widths.size() >= Text_Cache_Limit)
        entry.widths.clear();
    entry.widths.insert(text, width);
    return width;
}

Single Painter_Surface::TextHeight(const QString &text)
{
    Font_Entry &entry = Current_Font();
    return Single(Text_Lines(text).size() * entry.height / Device_Per_Unit_Y());
}

QPointF Painter_Surface::To_Device(Single x, Single y) const
{
    QPointF p(double(x) * Device_Per_Unit_X(), double(y) * Device_Per_Unit_Y());
    if (Snap_To_Pixels()) {
        const double ratio = Pixel_Ratio();
        p = QPointF(Round_Half_Even(p.x() / ratio) * ratio, Round_Half_Even(p.y() / ratio) * ratio);
    }
    return p;
}

namespace {

// The screen pixels that a pen of `width` pixels covers when it is centred
// on pixel `at`: [first, last).
std::pair<int, int> Pen_Span(int at, int width)
{
    const int first = at - (width - 1) / 2;
    return {first, first + width};
}

} // namespace

// On a raster surface solid rules and box outlines are filled pixel by pixel
// on the screen's grid, so they look the same at every device pixel ratio:
// a pen of w screen pixels is w x ratio device pixels, starting on a screen
// pixel boundary, and a segment includes both of its end pixels.
void Painter_Surface::Snapped_Line(Single x1, Single y1, Single x2, Single y2, Long color, bool box)
{
    const double ratio = Pixel_Ratio();
    const auto column = [&](Single x) { return int(Round_Half_Even(double(x) * Device_Per_Unit_X() / ratio)); };
    const auto row = [&](Single y) { return int(Round_Half_Even(double(y) * Device_Per_Unit_Y() / ratio)); };
    const auto device = [ratio](int first, int last) {
        const int from = int(Round_Half_Even(first * ratio));
        return std::pair<int, int>(from, int(Round_Half_Even(last * ratio)) - from);
    };
    const auto rect = [&](std::pair<int, int> across, std::pair<int, int> down) {
        const auto [x, w] = device(across.first, across.second);
        const auto [y, h] = device(down.first, down.second);
        return QRect(x, y, w, h);
    };

    const int left = std::min(column(x1), column(x2)), right = std::max(column(x1), column(x2));
    const int top = std::min(row(y1), row(y2)), bottom = std::max(row(y1), row(y2));
    const int width = DrawWidth();
    const QColor pen = Colour(color);

    if (!box) {
        const auto across = Pen_Span(left, width), down = Pen_Span(top, width);
        const QRect r = rect({across.first, Pen_Span(right, width).second}, {down.first, Pen_Span(bottom, width).second});
        Fill_Pixels(r, pen);
        return;
    }

    const Integer fillStyle = FillStyle();
    const QRect interior = rect({left, right}, {top, bottom});
    if (fillStyle == Fill_Solid) {
        Fill_Pixels(interior, Colour(FillColor()));
    } else if (fillStyle != Fill_Transparent) {
        QBrush brush(Colour(FillColor()), Qt_Brush_Style(fillStyle));
        brush.setTransform(QTransform::fromScale(Hatch_Scale(), Hatch_Scale()));
        Paint(interior, [=](QPainter &painter) { Fill(painter, interior, brush); });
    }
    if (DrawStyle() == Pen_Invisible)
        return;
    // Inside solid keeps the pen within the rectangle; otherwise it is
    // centred on the edges.
    const bool inside = DrawStyle() == Pen_Inside_Solid;
    const auto edge = [&](int at, bool far) {
        if (!inside)
            return Pen_Span(at, width);
        return far ? std::pair<int, int>(at + 1 - width, at + 1) : std::pair<int, int>(at, at + width);
    };
    const std::pair<int, int> across{edge(left, false).first, edge(right, true).second};
    const std::pair<int, int> down{edge(top, false).first, edge(bottom, true).second};
    const QRect edges[] = {rect(across, edge(top, false)), rect(across, edge(bottom, true)),
                           rect(edge(left, false), down), rect(edge(right, true), down)};
    for (const QRect &r : edges)
        Fill_Pixels(r, pen);
}

void Painter_Surface::Line(Single x1, Single y1, Single x2, Single y2, Long color, bool box)
{
    // Solid rules and boxes with solid outlines are put on the pixel grid;
    // dashed pens and slanted segments are left to the painter.
    const bool solid = DrawStyle() == Pen_Solid || DrawStyle() == Pen_Inside_Solid || (box && DrawStyle() == Pen_Invisible);
    if (Snap_To_Pixels() && solid && (box || x1 == x2 || y1 == y2)) {
        Snapped_Line(x1, y1, x2, y2, color, box);
        return;
    }

    const QPointF p1 = To_Device(x1, y1);
    const QPointF p2 = To_Device(x2, y2);
    const double width = DrawWidth() * Device_Per_Pen_Pixel();
    const Integer style = DrawStyle();
    QPen pen(Colour(color), width, Qt_Pen_Style(style), Qt::SquareCap, Qt::MiterJoin);
    // The pen reaches half its width beyond the ends and edges, a mitred
    // corner of a box a little more.
    const double reach = width + 1;
    const QRectF pen_bounds = QRectF(p1, p2).normalized().adjusted(-reach, -reach, reach, reach);

    if (!box) {
        Paint(pen_bounds, [=](QPainter &painter) {
            painter.setPen(pen);
            painter.drawLine(p1, p2);
        });
        return;
    }

    QRectF rect = QRectF(p1, p2).normalized();
    const Integer fillStyle = FillStyle();
    if (fillStyle != Fill_Transparent) {
        QBrush brush(Colour(FillColor()), Qt_Brush_Style(fillStyle));
        if (fillStyle != Fill_Solid)
            brush.setTransform(QTransform::fromScale(Hatch_Scale(), Hatch_Scale()));
        Paint(rect, [=](QPainter &painter) { Fill(painter, rect, brush); });
    }
    if (style == Pen_Inside_Solid) {
        // Inside solid: the pen stays within the rectangle.
        const double half = width / 2;
        rect.adjust(half, half, -half, -half);
        if (Snap_To_Pixels())
            rect = QRectF(QPointF(std::floor(rect.left()), std::floor(rect.top())),
                          QPointF(std::ceil(rect.right()), std::ceil(rect.bottom())));
    }
    if (style != Pen_Invisible) {
        pen.setCapStyle(Qt::SquareCap);
        Paint(pen_bounds, [=](QPainter &painter) {
            painter.setPen(pen);
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(rect);
        });
    }
}

void Painter_Surface::Print(const QString &text)
{
    Font_Entry &entry = Current_Font();
    QPointF origin = To_Device(CurrentX(), CurrentY());
    origin.ry() += entry.ascent;
    if (Snap_To_Pixels())
        origin.setY(std::round(origin.y())); // the baseline on a whole device pixel
    Draw_Text_Line(entry, text, origin);
    Surface::Set_CurrentX(0);
    Surface::Set_CurrentY(CurrentY() + Single(entry.height / Device_Per_Unit_Y()));
}

// A laid-out text is kept with its face, so a redraw does not shape it
// again. Not so an underlined text (the form has none): Qt 6.4 reads past
// its glyph arrays when it underlines a QStaticText with a line of no
// glyphs (a lone carriage return) or with right-to-left text next to a
// line feed.
std::optional<QStaticText> Painter_Surface::Laid_Out(Font_Entry &entry, const QString &text)
{
    if (entry.font.underline())
        return std::nullopt;
    auto laid_out = entry.laid_out.constFind(text);
    if (laid_out == entry.laid_out.constEnd()) {
        if (entry.laid_out.size() >= Text_Cache_Limit)
            entry.laid_out.clear();
        QStaticText layout(text);
        layout.setTextFormat(Qt::PlainText);
        layout.prepare(QTransform::fromScale(entry.scale, entry.scale), entry.font);
        laid_out = entry.laid_out.insert(text, layout);
    }
    return *laid_out;
}

void Painter_Surface::Paint_Text_Line(QPainter &painter, const QFont &font, qreal scale, qreal ascent,
                                      const std::optional<QStaticText> &prepared, const QString &text, QPointF origin)
{
    painter.setWorldTransform(QTransform(scale, 0, 0, scale, origin.x(), origin.y()));
    painter.setFont(font);
    painter.setPen(Qt::black);
    if (prepared)
        painter.drawStaticText(QPointF(0, -ascent), *prepared); // the baseline at the origin
    else
        painter.drawText(QPointF(0, 0), text);
    painter.resetTransform();
}

void Painter_Surface::Draw_Text_Line(Font_Entry &entry, const QString &text, QPointF origin)
{
    // A glyph stays within a line's height of the text's advance and baseline.
    const double advance = double(TextWidth(text)) * Device_Per_Unit_X();
    const QRectF bounds(origin.x() - entry.height, origin.y() - entry.ascent - entry.height, advance + 2 * entry.height,
                        3 * entry.height);
    Paint(bounds, [font = entry.font, scale = entry.scale, ascent = entry.metrics.ascent(),
                   prepared = Laid_Out(entry, text), text, origin](QPainter &painter) {
        Paint_Text_Line(painter, font, scale, ascent, prepared, text, origin);
    });
}

void Painter_Surface::Fill_Pixels(const QRect &rect, const QColor &color)
{
    Paint(rect, [=](QPainter &painter) { painter.fillRect(rect, color); });
}

void Painter_Surface::PaintPicture(const Picture &picture, Single x, Single y, Single width, Single height)
{
    if (picture.isNull())
        throw RuntimeError(Err_Invalid_Picture, "Invalid picture");
    const QPointF p1 = To_Device(x, y);
    const QPointF p2 = To_Device(x + width, y + height);
    Paint(QRectF(p1, p2).normalized(), [=](QPainter &painter) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
        painter.drawImage(QRectF(p1, p2), picture);
    });
}
