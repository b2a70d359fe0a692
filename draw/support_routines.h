// Page coordinates and the four drawing primitives. Every position the form
// gives is in page units (one twip on paper); the primitives add the page
// offsets, scale by the zoom on the preview and draw on OutputTarget.
#pragma once

#include "surface.h"

// The surface all drawing goes to: the preview canvas or the printer.
inline Surface *OutputTarget = nullptr;

// Scale of the preview, 1 = 100 %; 0 before the first layout.
inline Single Zoom_Factor = 0;

constexpr Integer Page_Offset_X = 1340;
constexpr Integer Page_Offset_Y = 80;
constexpr Integer Text_Line_Pitch = 230;

// Scanning state of Draw_Text, left with their last values after a call.
inline Integer Char_Pos = 0;
inline Integer Line_Start = 0;
inline Integer Break_Pos = 0;

// The drawing state for one page build, and the only place it is set:
// points OutputTarget at `target` and sets Zoom_Factor and Screen; the
// target, the zoom, the screen and Draw_Text's scanning state they replaced
// come back when the scope ends, however it ends, so that nothing is left
// pointing at a surface that is gone. Outside every scope OutputTarget is
// null and Zoom_Factor 0.
class Drawing_Scope {
public:
    Drawing_Scope(Surface &target, Single zoom, const Screen_Metrics &screen = Screen_Metrics{});
    ~Drawing_Scope();
    Drawing_Scope(const Drawing_Scope &) = delete;
    Drawing_Scope &operator=(const Drawing_Scope &) = delete;

private:
    Surface *target_;
    Single zoom_;
    Screen_Metrics screen_;
    Integer charPos_, lineStart_, breakPos_;
};

// Page units to zoomed preview units: Amount x Zoom_Factor in Single,
// rounded halves to even, never 0. The second form asks what a page drawn
// at `zoom` would take, outside any build.
Integer Scale_Value(Integer Amount);
Integer Scale_Value(Integer Amount, Single zoom);

void Draw_Line(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer Line_Width, Integer Line_Style,
               Long Line_Color);

void Draw_Box(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer Line_Width, Long Line_Color, Long Fill_Color,
              Integer Fill_Style);

void Draw_Text(const QString &Text, Integer X, Integer Y, Integer Wrap_Width, const QString &H_Align,
               const QString &V_Align, const QString &Font_Name, Single Font_Size, bool Font_Bold, bool Font_Italic,
               bool Font_Underline);

void Draw_Picture(const Picture &Picture, Integer X, Integer Y, Integer Pic_Width, Integer Pic_Height);
