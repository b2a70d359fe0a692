// The report page: the blank travel expense report form, drawn anew on every
// call from its fixed list of drawing commands onto OutputTarget.
#pragma once

#include "support_routines.h"

// Renders the whole page on OutputTarget; on the printer it also ends the
// document, so that one call is one document of one page.
void Build_Page();

// Prepares the target (preview: cleared and sized to the zoomed sheet;
// printer: zoom 1) and issues the form's commands in drawing order.
void Draw_Report_Page();

// Running positions of Draw_Report_Page.
inline Integer Pos_X = 0;
inline Integer Pos_Y = 0;

// The sheet in twips at 100 %.
constexpr Integer Sheet_Width = 11880;
constexpr Integer Sheet_Height = 14760;

// The largest zoom at which every scaled value of the page still fits an
// Integer. The tallest is the canvas height, Scale_Value(Sheet_Height).
Single Zoom_Limit();

// The two logo bitmaps the form paints: 0 the 76 x 75 mark, 1 the
// 189 x 58 wordmark. Decoded once, on first use.
const Picture &picLogo(int index);
