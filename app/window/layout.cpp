#include "layout.h"

#include "page_build.h"
#include "support_routines.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr Single Fit_Page_Height = 14600; // the fit-page decision only
constexpr Single Margin = 20;
constexpr Single Bar_Room = 6;
constexpr Single Bar_Gap = 3;

// A length as a control keeps it: in whole pixels.
Single Snap_X(const Screen_Metrics &screen, Single twips)
{
    return screen.Twips_X(screen.Pixels_X(twips));
}

Single Snap_Y(const Screen_Metrics &screen, Single twips)
{
    return screen.Twips_Y(screen.Pixels_Y(twips));
}

// Zoom factors above the limit would overflow the canvas size; the page
// stays at the limit instead.
Single Capped(Single zoom)
{
    return std::min(zoom, Zoom_Limit());
}

// Int() of the scroll steps: the floor of a Double, stored as an Integer.
Integer Int_Abs(double value)
{
    return CInt(std::abs(std::floor(value)));
}

} // namespace

void Size_Window(const Screen_Metrics &screen, QSize client, Zoom_Layout &layout)
{
    const Single top = Snap_Y(screen, Toolbar_Height);
    Single width = screen.Twips_X(client.width());
    Single height = Snap_Y(screen, std::max(Single(0), screen.Twips_Y(client.height()) - top));
    if (layout.vertical_bar)
        width = Snap_X(screen, std::abs(width - Snap_X(screen, Bar_Thickness) - Bar_Room));
    if (layout.horizontal_bar)
        height = Snap_Y(screen, std::abs(height - Snap_Y(screen, Bar_Thickness) - Bar_Room));
    layout.viewport = QRectF(0, top, width, height);
}

void Check_Scrollbars(Zoom_Layout &layout)
{
    layout.vertical_bar = Single(layout.zoom * Single(Sheet_Height)) > Single(layout.viewport.height());
    layout.horizontal_bar = Single(layout.zoom * Single(Sheet_Width)) > Single(layout.viewport.width());
}

namespace {

Bar_Layout Place_Bar(const Screen_Metrics &screen, const QRectF &view, Single canvas_length, bool vertical)
{
    Bar_Layout bar;
    bar.shown = true;
    const Single view_width = Single(view.width()), view_height = Single(view.height());
    if (vertical)
        bar.rect = QRectF(Snap_X(screen, view_width + Bar_Gap), view.top(), Snap_X(screen, Bar_Thickness),
                          Snap_Y(screen, view_height));
    else
        bar.rect = QRectF(view.left(), Snap_Y(screen, Single(view.top()) + view_height + Bar_Gap),
                          Snap_X(screen, view_width), Snap_Y(screen, Bar_Thickness));
    const Single length = Single(vertical ? bar.rect.height() : bar.rect.width());
    bar.max = CInt(canvas_length - length);
    bar.large_change = Int_Abs(double(length) - double(length) * 0.1);
    bar.small_change = Int_Abs(double(length) * 0.1);
    return bar;
}

} // namespace

Zoom_Layout Lay_Out_Zoom(const Screen_Metrics &screen, QSize client, Zoom_Mode mode)
{
    Zoom_Layout layout;
    Size_Window(screen, client, layout);
    const auto width = [&] { return Single(layout.viewport.width()); };
    const auto height = [&] { return Single(layout.viewport.height()); };
    if (mode == Zoom_Mode::Actual_Size) {
        layout.zoom = Capped(1);
        Check_Scrollbars(layout);
        if (layout.vertical_bar || layout.horizontal_bar) {
            Size_Window(screen, client, layout);
            Check_Scrollbars(layout);
        }
    } else if (mode == Zoom_Mode::Fit_Width) {
        layout.zoom = Capped(width() / Single(Sheet_Width));
        Check_Scrollbars(layout);
        if (layout.vertical_bar) {
            Size_Window(screen, client, layout);
            layout.zoom = Capped((width() - Margin) / Single(Sheet_Width));
            Check_Scrollbars(layout);
        }
    } else {
        const Single a = (width() - Margin) / Single(Sheet_Width);
        const Single b = (height() - Margin) / Fit_Page_Height;
        layout.zoom = Capped(b > a ? (width() - Margin) / Single(Sheet_Width)
                                   : (height() - Margin) / Single(Sheet_Height));
    }
    return layout;
}

Window_Layout Lay_Out(const Screen_Metrics &screen, QSize client, const Zoom_Layout &zoom, QSizeF canvas)
{
    Window_Layout layout;
    layout.zoom = zoom;
    layout.toolbar = QRectF(0, 0, screen.Twips_X(client.width()), Snap_Y(screen, Toolbar_Height));
    const QRectF &view = zoom.viewport;
    const Single view_width = Single(view.width()), canvas_width = Single(canvas.width());
    const Single left = view_width - Margin > canvas_width ? Snap_X(screen, view_width / 2 - canvas_width / 2) : 0;
    layout.canvas = QRectF(QPointF(left, 0), canvas);
    if (zoom.vertical_bar)
        layout.vertical = Place_Bar(screen, view, Single(canvas.height()), true);
    if (zoom.horizontal_bar)
        layout.horizontal = Place_Bar(screen, view, canvas_width, false);
    return layout;
}
