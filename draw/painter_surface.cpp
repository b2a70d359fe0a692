#include "painter_surface.h"

#include <QPaintDevice>
#include <QPen>

#include <algorithm>
#include <cmath>

namespace {

QColor Colour(Long color)
{
    return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

Qt::PenStyle Pen_Style(Integer drawStyle)
{
    switch (drawStyle) {
    case 1:
        return Qt::DashLine;
    case 2:
        return Qt::DotLine;
    case 3:
        return Qt::DashDotLine;
    case 4:
        return Qt::DashDotDotLine;
    case 5:
        return Qt::NoPen;
    default:
        return Qt::SolidLine;
    }
}

Qt::BrushStyle Brush_Style(Integer fillStyle)
{
    switch (fillStyle) {
    case 0:
        return Qt::SolidPattern;
    case 2:
        return Qt::HorPattern;
    case 3:
        return Qt::VerPattern;
    case 4:
        return Qt::BDiagPattern;
    case 5:
        return Qt::FDiagPattern;
    case 6:
        return Qt::CrossPattern;
    case 7:
        return Qt::DiagCrossPattern;
    default:
        return Qt::NoBrush;
    }
}

// Widths are cached per face; a text that is measured once is measured no
// more, but an endless stream of new texts must not grow without bound.
constexpr qsizetype Width_Cache_Limit = 4096;

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
    const QString key = QStringLiteral("%1|%2|%3%4%5")
                            .arg(FontName())
                            .arg(double(FontSize()))
                            .arg(int(FontBold()))
                            .arg(int(FontItalic()))
                            .arg(int(FontUnderline()));
    auto found = fonts_.find(key);
    if (found == fonts_.end()) {
        QPaintDevice *device = Metrics_Device();
        // One point is 20 twips; the font gets its size in device pixels,
        // expressed in points of the device's own resolution.
        const double pixels = double(FontSize()) * 20.0 * Device_Per_Unit_Y();
        QFont font(FontName());
        font.setPointSizeF(pixels * 72.0 / device->logicalDpiY());
        font.setBold(FontBold());
        font.setItalic(FontItalic());
        font.setUnderline(FontUnderline());
        font.setKerning(false);
        QFontMetricsF metrics(font, device);
        const qreal ascent = metrics.ascent();
        found = fonts_.emplace(key, std::make_unique<Font_Entry>(Font_Entry{font, metrics, ascent, {}})).first;
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
    const Single width = Single(widest / Device_Per_Unit_X());
    if (entry.widths.size() >= Width_Cache_Limit)
        entry.widths.clear();
    entry.widths.insert(text, width);
    return width;
}

Single Painter_Surface::TextHeight(const QString &text)
{
    Font_Entry &entry = Current_Font();
    return Single(Text_Lines(text).size() * entry.metrics.height() / Device_Per_Unit_Y());
}

QPointF Painter_Surface::To_Device(Single x, Single y) const
{
    QPointF p(double(x) * Device_Per_Unit_X(), double(y) * Device_Per_Unit_Y());
    if (Snap_To_Pixels())
        p = QPointF(Round_Half_Even(p.x()), Round_Half_Even(p.y()));
    return p;
}

void Painter_Surface::Line(Single x1, Single y1, Single x2, Single y2, Long color, bool box)
{
    const QPointF p1 = To_Device(x1, y1);
    const QPointF p2 = To_Device(x2, y2);
    const double width = DrawWidth() * Device_Per_Pen_Pixel();
    const Integer style = DrawStyle();
    QPen pen(Colour(color), width, Pen_Style(style), Qt::SquareCap, Qt::MiterJoin);

    if (!box) {
        Paint([=](QPainter &painter) {
            painter.setPen(pen);
            painter.drawLine(p1, p2);
        });
        return;
    }

    QRectF rect = QRectF(p1, p2).normalized();
    const Integer fillStyle = FillStyle();
    if (fillStyle != 1) {
        QBrush brush(Colour(FillColor()), Brush_Style(fillStyle));
        if (fillStyle != 0)
            brush.setTransform(QTransform::fromScale(Hatch_Scale(), Hatch_Scale()));
        Paint([=](QPainter &painter) { painter.fillRect(rect, brush); });
    }
    if (style == 6) {
        // Inside solid: the pen stays within the rectangle.
        const double half = width / 2;
        rect.adjust(half, half, -half, -half);
        if (Snap_To_Pixels())
            rect = QRectF(QPointF(std::floor(rect.left()), std::floor(rect.top())),
                          QPointF(std::ceil(rect.right()), std::ceil(rect.bottom())));
    }
    if (style != 5) {
        pen.setCapStyle(Qt::SquareCap);
        Paint([=](QPainter &painter) {
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
        origin.setY(std::round(origin.y()));
    const QFont font = entry.font;
    Paint([=](QPainter &painter) {
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(origin, text);
    });
    Surface::Set_CurrentX(0);
    Surface::Set_CurrentY(CurrentY() + Single(entry.metrics.height() / Device_Per_Unit_Y()));
}

void Painter_Surface::PaintPicture(const Picture &picture, Single x, Single y, Single width, Single height)
{
    if (picture.isNull())
        throw RuntimeError(Err_Invalid_Picture, "Invalid picture");
    const QPointF p1 = To_Device(x, y);
    const QPointF p2 = To_Device(x + width, y + height);
    Paint([=](QPainter &painter) { painter.drawImage(QRectF(p1, p2), picture); });
}
