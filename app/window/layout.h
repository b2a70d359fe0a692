// The window's zoom and layout arithmetic, apart from any widget: from the
// client area's size, the zoom mode and the screen's twips per pixel, the
// zoom and the rectangle of every control that the layout moves. Lengths are
// in twips, each a whole number of the screen's pixels, as the controls
// read them back.
#pragma once

#include "runtime.h"
#include "surface.h"

#include <QRectF>
#include <QSize>
#include <QSizeF>

// The toolbar's height and the scroll bars' thickness as designed.
constexpr Single Toolbar_Height = 600;
constexpr Single Bar_Thickness = 250;

enum class Zoom_Mode { Actual_Size, Fit_Width, Fit_Page };

// The zoom and what it leaves for the page: the viewport under the toolbar
// and which scroll bars take room from it.
struct Zoom_Layout {
    Single zoom = 0;
    QRectF viewport;
    bool vertical_bar = false;
    bool horizontal_bar = false;
};

// Form_Resize's two helpers. Size_Window fits the viewport into the client
// area below the toolbar, less the room of the bars `layout` shows;
// Check_Scrollbars decides the bars from the zoom, not from the canvas.
void Size_Window(const Screen_Metrics &screen, QSize client, Zoom_Layout &layout);
void Check_Scrollbars(Zoom_Layout &layout);

// The zoom of a mode in a client area of `client` pixels.
Zoom_Layout Lay_Out_Zoom(const Screen_Metrics &screen, QSize client, Zoom_Mode mode);

// A scroll bar shown along the viewport, ranged over the canvas.
struct Bar_Layout {
    bool shown = false;
    QRectF rect;
    Integer max = 0;
    Integer large_change = 0;
    Integer small_change = 0;
};

// Everything the window places: the zoom's layout, the toolbar, the canvas
// inside the viewport and the bars.
struct Window_Layout {
    Zoom_Layout zoom;
    QRectF toolbar;
    QRectF canvas; // in the viewport's coordinates
    Bar_Layout vertical;
    Bar_Layout horizontal;
};

// The whole layout once the canvas is drawn at the zoom: `canvas` is its
// size in twips as drawn.
Window_Layout Lay_Out(const Screen_Metrics &screen, QSize client, const Zoom_Layout &zoom, QSizeF canvas);
