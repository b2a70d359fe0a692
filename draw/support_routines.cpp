#include "support_routines.h"

Drawing_Scope::Drawing_Scope(Surface &target, Single zoom, const Screen_Metrics &screen)
    : target_(OutputTarget), zoom_(Zoom_Factor), screen_(Screen), charPos_(Char_Pos), lineStart_(Line_Start),
      breakPos_(Break_Pos)
{
    OutputTarget = &target;
    Zoom_Factor = zoom;
    Screen = screen;
}

Drawing_Scope::~Drawing_Scope()
{
    OutputTarget = target_;
    Zoom_Factor = zoom_;
    Screen = screen_;
    Char_Pos = charPos_;
    Line_Start = lineStart_;
    Break_Pos = breakPos_;
}

Integer Scale_Value(Integer Amount)
{
    return Scale_Value(Amount, Zoom_Factor);
}

Integer Scale_Value(Integer Amount, Single zoom)
{
    const Single product = Single(Amount) * zoom;
    const Integer scaled = CInt(product);
    return scaled == 0 ? Integer(1) : scaled;
}

namespace {

struct Corners {
    Integer X1, Y1, X2, Y2;
};

// Offsets first (each tested), then the preview's scaling, in the order the
// coordinates are given.
Corners Offset_Corners(Integer X1, Integer Y1, Integer X2, Integer Y2)
{
    X1 = Add(X1, Page_Offset_X);
    Y1 = Add(Y1, Page_Offset_Y);
    X2 = Add(X2, Page_Offset_X);
    Y2 = Add(Y2, Page_Offset_Y);
    return {X1, Y1, X2, Y2};
}

Corners Scale_Corners(Corners c)
{
    c.X1 = Scale_Value(c.X1);
    c.Y1 = Scale_Value(c.Y1);
    c.X2 = Scale_Value(c.X2);
    c.Y2 = Scale_Value(c.Y2);
    return c;
}

// A page-unit pen width in screen pixels at the current zoom.
Integer Preview_Pen_Width(Integer Line_Width)
{
    const Single mean = (Screen.TwipsPerPixelY + Screen.TwipsPerPixelX) / Single(2);
    return Scale_Value(CInt(Single(Line_Width) / mean));
}

} // namespace

void Draw_Line(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer Line_Width, Integer Line_Style,
               Long Line_Color)
{
    Corners c = Offset_Corners(X1, Y1, X2, Y2);
    Integer W = Line_Width;
    if (!OutputTarget->Is_Printer()) {
        c = Scale_Corners(c);
        W = Preview_Pen_Width(Line_Width);
    }
    OutputTarget->Set_DrawWidth(W);
    OutputTarget->Set_DrawStyle(Line_Style);
    OutputTarget->Line(c.X1, c.Y1, c.X2, c.Y2, Line_Color, false);
}

void Draw_Box(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer Line_Width, Long Line_Color, Long Fill_Color,
              Integer Fill_Style)
{
    Corners c = Offset_Corners(X1, Y1, X2, Y2);
    Integer W = Line_Width;
    Long outline = Line_Color;
    if (OutputTarget->Is_Printer()) {
        if (Line_Width == 0) {
            // A zero width means "no border": the outline takes the fill's colour.
            outline = Fill_Color;
            W = 1;
        }
    } else {
        c = Scale_Corners(c);
        W = Preview_Pen_Width(Line_Width);
    }
    OutputTarget->Set_DrawWidth(W);
    OutputTarget->Set_FillColor(Fill_Color);
    OutputTarget->Set_FillStyle(Fill_Style);
    OutputTarget->Line(c.X1, c.Y1, c.X2, c.Y2, outline, true);
}

namespace {

// Where Draw_Text's block goes, in the target's units.
struct Text_Place {
    Integer X, Y, Wrap_Width;
};

// The font on the target, then the reference point offset and, on the
// preview, it, the wrap width and the font size scaled.
Text_Place Set_Up_Text(Surface &target, bool printer, Text_Place at, const QString &Font_Name, Single Font_Size,
                       bool Font_Bold, bool Font_Italic, bool Font_Underline)
{
    target.Set_FontName(Font_Name.isEmpty() ? QStringLiteral("Arial") : Font_Name);
    if (Font_Size == 0)
        Font_Size = 8;
    target.Set_FontBold(Font_Bold);
    target.Set_FontItalic(Font_Italic);
    target.Set_FontUnderline(Font_Underline);

    at.X = Add(at.X, Page_Offset_X);
    at.Y = Add(at.Y, Page_Offset_Y);
    if (printer) {
        target.Set_FontSize(Font_Size);
    } else {
        at.X = Scale_Value(at.X);
        at.Y = Scale_Value(at.Y);
        at.Wrap_Width = Scale_Value(at.Wrap_Width);
        target.Set_FontSize(Scale_Value(CInt(Font_Size)));
    }
    return at;
}

// The block placed by its widest line and its total height; the current
// position at its top-left corner.
void Align_Text(Surface &target, const QString &Text, Text_Place &at, const QString &H_Align, const QString &V_Align)
{
    const QString h = H_Align.toUpper();
    if (h == QLatin1String("RIGHT"))
        at.X = CInt(Single(at.X) - target.TextWidth(Text));
    else if (h == QLatin1String("CENTER"))
        at.X = CInt(Single(at.X) - target.TextWidth(Text) / Single(2));
    const QString v = V_Align.toUpper();
    if (v == QLatin1String("BOTTOM"))
        at.Y = CInt(Single(at.Y) - target.TextHeight(Text));
    else if (v == QLatin1String("CENTER"))
        at.Y = CInt(Single(at.Y) - target.TextHeight(Text) / Single(2));
    target.Set_CurrentX(at.X);
    target.Set_CurrentY(at.Y);
}

// `count` characters of `s` from the 1-based `start`, as the positions are kept.
QString Mid(const QString &s, Integer start, Integer count)
{
    if (count < 0)
        throw RuntimeError(Err_Invalid_Procedure_Call, "Invalid procedure call or argument");
    return s.mid(start - 1, count);
}

// The wrap search on a candidate line wider than `Wrap_Width`: the last
// space before which the line, space included, is narrower ends it there
// (Char_Pos on that space); without one the line stays whole.
void Find_Wrap(Surface &target, const QString &line, Integer Wrap_Width)
{
    for (Break_Pos = Integer(line.size()); Break_Pos > 1; Break_Pos = Sub(Break_Pos, 1)) {
        if (line.at(Break_Pos - 1) == u' ' && target.TextWidth(line.left(Break_Pos)) < Single(Wrap_Width)) {
            Char_Pos = Sub(Add(Line_Start, Break_Pos), 1);
            return;
        }
    }
}

// The text split at its carriage returns (and wrapped), each line printed
// one pitch below the last, all starting at the block's left edge.
void Print_Lines(Surface &target, bool printer, const QString &Text, Text_Place at)
{
    const auto at_pos = [&Text](int pos) { return Text.at(pos - 1); };
    // The length is taken once; a text longer than an Integer can count
    // overflows the position counter when the scan gets there.
    const qsizetype N = Text.size();
    Line_Start = 1;
    for (Char_Pos = 1; Char_Pos <= N; Char_Pos = Add(Char_Pos, 1)) {
        if (at_pos(Char_Pos) != u'\r' && Char_Pos != N)
            continue;
        if (Char_Pos == N)
            Char_Pos = Add(Char_Pos, 1);

        const QString line = Mid(Text, Line_Start, Sub(Char_Pos, Line_Start));
        if (at.Wrap_Width > 0 && target.TextWidth(line) > Single(at.Wrap_Width))
            Find_Wrap(target, line, at.Wrap_Width);

        target.Print(Mid(Text, Line_Start, Sub(Char_Pos, Line_Start)));

        at.Y = Add(at.Y, printer ? Text_Line_Pitch : Scale_Value(Text_Line_Pitch));
        target.Set_CurrentX(at.X);
        target.Set_CurrentY(at.Y);

        if (Char_Pos < N) {
            const QChar next = at_pos(Add(Char_Pos, 1));
            Line_Start = (next == u' ' || next == u'\n') ? Add(Char_Pos, 2) : Add(Char_Pos, 1);
        } else {
            Line_Start = Char_Pos;
        }
    }
}

} // namespace

void Draw_Text(const QString &Text, Integer X, Integer Y, Integer Wrap_Width, const QString &H_Align,
               const QString &V_Align, const QString &Font_Name, Single Font_Size, bool Font_Bold, bool Font_Italic,
               bool Font_Underline)
{
    Surface &target = *OutputTarget;
    const bool printer = target.Is_Printer();
    Text_Place at = Set_Up_Text(target, printer, {X, Y, Wrap_Width}, Font_Name, Font_Size, Font_Bold, Font_Italic,
                                Font_Underline);
    Align_Text(target, Text, at, H_Align, V_Align);
    Print_Lines(target, printer, Text, at);
}

void Draw_Picture(const Picture &Picture, Integer X, Integer Y, Integer Pic_Width, Integer Pic_Height)
{
    X = Scale_Value(Add(X, Page_Offset_X));
    Y = Scale_Value(Add(Y, Page_Offset_Y));
    Pic_Width = Scale_Value(Pic_Width);
    Pic_Height = Scale_Value(Pic_Height);
    try {
        OutputTarget->PaintPicture(Picture, X, Y, Pic_Width, Pic_Height);
    } catch (const RuntimeError &error) {
        // A picture that cannot be painted leaves the page without it, as
        // the page is meant to be drawn; anything else goes on up.
        if (error.number() != Err_Invalid_Picture)
            throw;
    }
}
