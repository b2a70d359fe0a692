// The report page: the blank travel expense report form, drawn anew on every
// call from its fixed list of drawing commands onto OutputTarget.
#pragma once

#include "support_routines.h"

#include <vector>

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

// The blanks of the form that a hand fills in on a single rule or box.
enum class Blank {
    None,
    Name,
    Emp_No,
    Travel_Advances,
    Mail_Station,
    Cc,
    Mail_Address_1,
    Total_Cash_Expense,
    Mail_Address_2,
    Purpose_1,
    Purpose_2,
    Purpose_3,
    Amount_Due_Employee,
    Amount_Due_Company,
    Week_Ending,
    Notes_1,
    Notes_2,
    Exchange_Rate,
    Approved_By_1,
    Approved_By_2,
    Employee_Signature,
};

// A rule (Y1 = Y2) or a box of the drawing, in page units.
struct Page_Rect {
    Integer X1, Y1, X2, Y2;
};

// The rule or box that the form's tables mark with `blank`, as they draw it.
Page_Rect Blank_Rule(Blank blank);

// The weekly grid as its rules draw it: the rules between its rows, from
// the header's lower rule to the bottom rule (25 rows: 24 body rows and the
// final one), the rules between its columns, from the left edge to the
// right edge (the label column and nine value columns), the
// cross-hatched block of cells that takes no entry, and its top rule.
struct Grid_Rules {
    std::vector<Integer> Rows, Columns;
    Page_Rect Hatched;
    Integer Top;
};
Grid_Rules Weekly_Grid_Rules();
