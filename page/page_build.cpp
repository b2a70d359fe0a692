// The travel expense report form. Every command of the page is a row of one
// of the tables below, in drawing order, so the code can be read against a
// printed form line by line: logos and title, identity and summary block,
// the weekly grid, then notes, instructions and signatures. Only the runs of
// equally spaced rules, headings and lines are loops over Pos_X / Pos_Y.
#include "page_build.h"

#include "printer_surface.h"

#include <QImageReader>
#include <QStringView>

#include <array>
#include <cmath>
#include <limits>
#include <optional>
#include <stdexcept>
#include <variant>

namespace {

// ---------------------------------------------------------------------------
// Row types. Every rule of the form is 4 wide, solid and black; every text is
// unwrapped, neither italic nor underlined. Those arguments are left out of
// the rows and supplied when the row is drawn.

struct Logo_Row {
    int Picture; // element of picLogo
    Integer X, Y, Pic_Width, Pic_Height;
};

struct Line_Row {
    Integer X1, Y1, X2, Y2;
    Blank On = Blank::None; // the blank written on this rule
};

struct Box_Row {
    Integer X1, Y1, X2, Y2, Line_Width;
    Long Line_Color, Fill_Color;
    Integer Fill_Style;
    Blank On = Blank::None; // the blank written in this box
};

struct Text_Row {
    QStringView Text;
    Integer X, Y;
    QStringView H_Align, V_Align, Font_Name;
    Single Font_Size;
    bool Font_Bold;
};

using Command = std::variant<Logo_Row, Line_Row, Box_Row, Text_Row>;

constexpr Integer Rule_Width = 4;
constexpr Integer Rule_Style = Pen_Solid;
constexpr Long Black = 0;
constexpr Long White = 16777215;
constexpr Integer Solid = Fill_Solid;
constexpr Integer Transparent = Fill_Transparent;
constexpr Integer Cross_Hatch = Fill_Diagonal_Cross;

// The tables hold literals; QString::fromRawData lends them to Draw_Text
// without copying.
QString Str(QStringView text)
{
    return QString::fromRawData(reinterpret_cast<const QChar *>(text.utf16()), text.size());
}

void Draw(const Logo_Row &row)
{
    Draw_Picture(picLogo(row.Picture), row.X, row.Y, row.Pic_Width, row.Pic_Height);
}

void Draw(const Line_Row &row)
{
    Draw_Line(row.X1, row.Y1, row.X2, row.Y2, Rule_Width, Rule_Style, Black);
}

void Draw(const Box_Row &row)
{
    Draw_Box(row.X1, row.Y1, row.X2, row.Y2, row.Line_Width, row.Line_Color, row.Fill_Color, row.Fill_Style);
}

void Draw(const Text_Row &row)
{
    Draw_Text(Str(row.Text), row.X, row.Y, 0, Str(row.H_Align), Str(row.V_Align), Str(row.Font_Name), row.Font_Size,
              row.Font_Bold, false, false);
}

template <std::size_t N>
void Draw(const std::array<Command, N> &table)
{
    for (const Command &command : table)
        std::visit([](const auto &row) { Draw(row); }, command);
}

// ---------------------------------------------------------------------------
// Logos, title block, identity and summary block (commands 1 to 31).

constexpr std::array<Command, 31> Title_And_Identity{{
    //        picLogo     X     Y  Width  Height
    Logo_Row{0, 2000, 10, 790, 790},
    Logo_Row{1, 10, 117, 1843, 566},

    //        Text                       X     Y   H_Align   V_Align Font_Name Size Bold
    Text_Row{u"HALBEK INCORPORATED", 4575, 250, u"center", u"", u"Arial", 8, true},
    Text_Row{u"TRAVEL EXPENSE REPORT", 4575, 450, u"center", u"", u"Arial", 8, false},
    Text_Row{u"(US Currency)", 4575, 650, u"center", u"", u"Arial", 8, true},

    //        X1    Y1    X2    Y2        line of
    Line_Row{1300, 1520, 3680, 1520, Blank::Name}, // NAME:
    Line_Row{4410, 1520, 5200, 1520, Blank::Emp_No}, // EMP NO.:
    Line_Row{8300, 1520, 9150, 1520, Blank::Travel_Advances}, // TRAVEL ADVANCES RECEIVED:
    Line_Row{1300, 1737, 3680, 1737, Blank::Mail_Station}, // MAIL STATION:
    Line_Row{4410, 1737, 5200, 1737, Blank::Cc}, // CC:
    Line_Row{1300, 1953, 5200, 1953, Blank::Mail_Address_1}, // MAIL ADDRESS:, first line
    Line_Row{8300, 1953, 9150, 1953, Blank::Total_Cash_Expense}, // TOTAL CASH EXPENSE (this page):
    Line_Row{1300, 2170, 5200, 2170, Blank::Mail_Address_2}, // MAIL ADDRESS:, second line
    Line_Row{1300, 2387, 5200, 2387, Blank::Purpose_1}, // PURPOSE:, first line
    Line_Row{8300, 2367, 9150, 2367, Blank::Amount_Due_Employee}, // TOTAL AMOUNT DUE EMPLOYEE:, upper rule
    Line_Row{8300, 2407, 9150, 2407}, // TOTAL AMOUNT DUE EMPLOYEE:, lower rule
    Line_Row{1300, 2603, 5200, 2603, Blank::Purpose_2}, // PURPOSE:, second line
    Line_Row{1300, 2820, 5200, 2820, Blank::Purpose_3}, // PURPOSE:, third line
    Line_Row{8300, 2800, 9150, 2800, Blank::Amount_Due_Company}, // TOTAL AMOUNT DUE COMPANY:, upper rule
    Line_Row{8300, 2840, 9150, 2840}, // TOTAL AMOUNT DUE COMPANY:, lower rule

    // Labels end just left of their entry lines.
    Text_Row{u"NAME:", 1260, 1300, u"right", u"", u"", 0, false},
    Text_Row{u"MAIL STATION:", 1260, 1530, u"right", u"", u"", 0, false},
    Text_Row{u"MAIL ADDRESS:", 1260, 1750, u"right", u"", u"", 0, false},
    Text_Row{u"PURPOSE:", 1260, 2160, u"right", u"", u"", 0, false},
    Text_Row{u"EMP NO.:", 4370, 1300, u"right", u"", u"", 0, false},
    Text_Row{u"CC:", 4370, 1530, u"right", u"", u"", 0, false},
    Text_Row{u"TRAVEL ADVANCES RECEIVED:", 8260, 1300, u"right", u"", u"", 0, false},
    Text_Row{u"LESS:", 6400, 1530, u"right", u"", u"", 0, false},
    Text_Row{u"TOTAL CASH EXPENSE (this page):", 8260, 1750, u"right", u"", u"", 0, false},
    Text_Row{u"TOTAL AMOUNT DUE EMPLOYEE:", 8260, 2160, u"right", u"", u"", 0, false},
    Text_Row{u"TOTAL AMOUNT DUE COMPANY:", 8260, 2600, u"right", u"", u"", 0, false},
}};

// ---------------------------------------------------------------------------
// Weekly expense grid (commands 32 to 78).

// Shading first, so that the rules and labels lie on top of it (32 to 37),
// then the top and header double rules (38 to 41).
constexpr std::array<Command, 10> Grid_Shading_And_Header_Rules{{
    //       X1    Y1    X2    Y2  Width Line  Fill               Style
    Box_Row{7594, 3494, 9150, 3906, 0, Black, Black, Cross_Hatch},         // totals of rows 0 and 1
    Box_Row{0, 3906, 9150, 4122, 0, Black, RGB(200, 200, 200), Solid},     // row 2
    Box_Row{0, 4770, 9150, 4986, 0, Black, RGB(200, 200, 200), Solid},     // row 6
    Box_Row{0, 5850, 9150, 6066, 0, Black, RGB(200, 200, 200), Solid},     // row 11
    Box_Row{0, 8010, 9150, 8226, 0, Black, RGB(200, 200, 200), Solid},     // row 21
    Box_Row{0, 8442, 9150, 8658, 0, Black, RGB(200, 200, 200), Solid},     // row 23

    Line_Row{0, 3050, 9150, 3050}, // top double rule
    Line_Row{0, 3090, 9150, 3090},
    Line_Row{0, 3454, 9150, 3454}, // header double rule
    Line_Row{0, 3494, 9150, 3494},
}};

// Body rules (command 42): 3690 to 8658, every 216.
constexpr Integer Body_Rule_First = 3690;
constexpr Integer Body_Rule_Last = 8658;
constexpr Integer Body_Rule_Step = 216;

// Bottom rule and left edge (43, 44).
constexpr std::array<Command, 2> Grid_Bottom_And_Left{{
    Line_Row{0, 8970, 9150, 8970},
    Line_Row{0, 3050, 0, 8970},
}};

// Column rules (command 45): 2148 to 9150, every 778; the last is the right edge.
constexpr Integer Column_Rule_First = 2148;
constexpr Integer Column_Rule_Last = 9150;
constexpr Integer Column_Step = 778;
constexpr Integer Grid_Top = 3050;
constexpr Integer Grid_Bottom = 8970;
constexpr Integer Grid_Right = 9150;

// The week-ending cell (46 to 48).
constexpr std::array<Command, 3> Week_Ending{{
    Text_Row{u"EXPENSES FOR", 40, 3090, u"", u"", u"", 0, false},
    Text_Row{u"WEEK ENDING:", 1330, 3272, u"Right", u"", u"", 0, false},
    Box_Row{1370, 3272, 2148, 3454, 4, Black, White, Transparent, Blank::Week_Ending},
}};

// Column headings (49 to 59), centred on their columns from x 2537 (MON) on,
// the header band's top at 3090; a second line stands 150 lower.
constexpr Integer First_Column_Centre = 2537;
constexpr Integer Header_Top = 3090;
constexpr Integer Second_Heading_Line = 150;

struct Heading {
    QStringView Text;
    bool Second_Line; // under the heading before it, in the same column
};

constexpr std::array<Heading, 11> Column_Headings{{
    {u"MON", false},
    {u"TUE", false},
    {u"WED", false},
    {u"THU", false},
    {u"FRI", false},
    {u"SAT", false},
    {u"SUN", false},
    {u"TOTAL", false},
    {u"CHARGE", true},
    {u"TOTAL", false},
    {u"CASH", true},
}};

// Row labels (60 to 77), each centred vertically on its body row; rows 12,
// 17 to 20 and 22 have none. Left labels start at Pos_X (40), meal labels
// 500 further in, total labels end at 2108.
constexpr Integer Label_Left = 40;
constexpr Integer Label_Centre_Row_0 = 3582;
constexpr Integer Row_Pitch = 216;
constexpr Integer Meal_Indent = 500;
constexpr Integer Total_Label_Right = 2108;

enum class Label_At { Left, Meal, Total };

struct Row_Label {
    Integer Row;
    QStringView Text;
    Label_At At;
    QStringView Font_Name;
    Single Font_Size;
};

constexpr std::array<Row_Label, 18> Row_Labels{{
    {0, u"CITIES OVERNIGHT", Label_At::Left, u"Arial", 8},
    {1, u"COUNTRY", Label_At::Left, u"", 0},
    {2, u"*LODGING (ROOM & TAX):", Label_At::Total, u"", 0},
    {3, u"BREAKFAST", Label_At::Meal, u"", 0},
    {4, u"LUNCH", Label_At::Meal, u"", 0},
    {5, u"DINNER", Label_At::Meal, u"", 0},
    {6, u"TOTAL MEALS (SELF):", Label_At::Total, u"", 0},
    {7, u" * AIRLINE", Label_At::Left, u"", 0},
    {8, u"* * PERSONAL AUTO", Label_At::Left, u"", 0},
    {9, u"    CAB, LIMO., ETC.", Label_At::Left, u"", 0},
    {10, u" * AUTO RENTAL", Label_At::Left, u"", 0},
    {11, u"TOTAL TRANSPORTATION:", Label_At::Total, u"", 0},
    {13, u"PHONE & TELEGRAM", Label_At::Left, u"", 0},
    {14, u"LAUNDRY & VALET", Label_At::Left, u"", 0},
    {15, u"PORTER", Label_At::Left, u"", 0},
    {16, u"MISCELLANEOUS (EXPLAIN)", Label_At::Left, u"", 0},
    {21, u"TOTAL INCIDENTALS:", Label_At::Total, u"", 0},
    {23, u"* * ENTERTAINMENT", Label_At::Left, u"", 0},
}};

// The taller final row (78).
constexpr std::array<Command, 1> Final_Row{{
    Text_Row{u"TOTAL EXPENSE (this pg)", 40, 8814, u"", u"center", u"", 0, false},
}};

// ---------------------------------------------------------------------------
// Notes, exchange-rate box, instructions and signatures (commands 79 to 121).

constexpr std::array<Command, 10> Notes_And_Exchange_Rate{{
    Text_Row{u"NOTES:", 4575, 9180, u"Center", u"", u"", 0, false},
    Line_Row{3075, 9570, 6060, 9570, Blank::Notes_1},
    Line_Row{3075, 9770, 6060, 9770, Blank::Notes_2},
    Text_Row{u"*   RECEIPTS REQUIRED", 0, 9350, u"", u"", u"", 0, false},
    Text_Row{u"* * DETAIL ON PAGE 1A", 0, 9550, u"", u"", u"", 0, false},
    Text_Row{u"Exchange Rate", 7400, 8970, u"", u"", u"", 0, false},
    Box_Row{6816, 9150, 9150, 9978, 4, Black, Black, Transparent, Blank::Exchange_Rate},

    Line_Row{0, 9978, 9150, 9978}, // double rule
    Line_Row{0, 10018, 9150, 10018},
    Text_Row{u"INSTRUCTIONS", 4575, 10018, u"center", u"", u"", 0, false},
}};

// Instruction lines (89 to 113), 7-point, rows 216 apart from 10300; the left
// column at x 0, the right at 5100. Row 12 has only a right-hand line.
constexpr Integer Instructions_Top = 10300;
constexpr Integer Instruction_Left = 0;
constexpr Integer Instruction_Right = 5100;
constexpr Single Instruction_Size = 7;

struct Instruction_Row {
    QStringView Left, Right;
};

constexpr std::array<Instruction_Row, 13> Instructions{{
    {u"1.  Expense Reports are to be submitted weekly.",
     u"Meals - The actual cost of an employee's meals, including tips,"},
    {u"2.  Cash due company must be refunded at end of each trip",
     u"is reimbursable only in an amount reasonable for the area visited."},
    {u"     unless a permanent advance account has been authorized.",
     u"NOTE: Meals for customers, if approved, should be shown under"},
    {u"3.  Receipts must be submitted for the following:",
     u"entertainment. Entertainment expenses for other employees"},
    {u"     - Lodging, airline and auto rental", u"must be shown on their own expense reports."},
    {u"     - Expenses charged on company credit cards",
     u"Air Travel - Unused tickets for refund are to be turned in to the"},
    {u"     - Customer entertainment", u"person or office that prepared the original ticket."},
    {u"     - All expenses $25.00 and over", u"Entertainment - Only those employees whose jobs require it are"},
    {u"4.  Guidelines to follow:", u"permitted to incur entertainment expenses. Prudence should be"},
    {u"     - Lodging - Accomodations should be limited to single",
     u"used as a guideline for incurring this type expense and will be"},
    {u"     room with bath in a good motel or hotel. Luxury lodgings",
     u"allowed only if a direct company benefit can be demonstrated."},
    {u"     should not be used.", u"Entertainment of an unusual nature must be approved in"},
    {u"", u"advance and substantiated."},
}};

constexpr std::array<Command, 8> Closing_Rule_And_Signatures{{
    Line_Row{0, 13180, 9150, 13180}, // double rule
    Line_Row{0, 13220, 9150, 13220},
    Line_Row{4450, 13675, 9150, 13675, Blank::Approved_By_1},
    Text_Row{u"APPROVED BY", 4450, 13675, u"", u"", u"", 0, false},
    Line_Row{4450, 14300, 9150, 14300, Blank::Approved_By_2},
    Text_Row{u"APPROVED BY", 4450, 14300, u"", u"", u"", 0, false},
    Line_Row{0, 14300, 3700, 14300, Blank::Employee_Signature},
    Text_Row{u"EMPLOYEE SIGNATURE", 0, 14300, u"", u"", u"", 0, false},
}};

// ---------------------------------------------------------------------------

void Draw_Weekly_Grid()
{
    Draw(Grid_Shading_And_Header_Rules);

    for (Pos_X = Body_Rule_First; Pos_X <= Body_Rule_Last; Pos_X = Add(Pos_X, Body_Rule_Step))
        Draw(Line_Row{0, Pos_X, Grid_Right, Pos_X});

    Draw(Grid_Bottom_And_Left);

    for (Pos_X = Column_Rule_First; Pos_X <= Column_Rule_Last; Pos_X = Add(Pos_X, Column_Step))
        Draw(Line_Row{Pos_X, Grid_Top, Pos_X, Grid_Bottom});

    Pos_X = First_Column_Centre;
    Pos_Y = Header_Top;
    Draw(Week_Ending);
    bool first = true;
    for (const Heading &heading : Column_Headings) {
        if (!heading.Second_Line && !first)
            Pos_X = Add(Pos_X, Column_Step);
        first = false;
        const Integer y = heading.Second_Line ? Add(Pos_Y, Second_Heading_Line) : Pos_Y;
        Draw(Text_Row{heading.Text, Pos_X, y, u"Center", u"", u"", 0, false});
    }

    Pos_X = Label_Left;
    Pos_Y = Label_Centre_Row_0;
    Integer row = 0;
    for (const Row_Label &label : Row_Labels) {
        for (; row < label.Row; ++row)
            Pos_Y = Add(Pos_Y, Row_Pitch);
        switch (label.At) {
        case Label_At::Left:
            Draw(Text_Row{label.Text, Pos_X, Pos_Y, u"", u"center", label.Font_Name, label.Font_Size, false});
            break;
        case Label_At::Meal:
            Draw(Text_Row{label.Text, Add(Pos_X, Meal_Indent), Pos_Y, u"", u"center", label.Font_Name,
                          label.Font_Size, false});
            break;
        case Label_At::Total:
            Draw(Text_Row{label.Text, Total_Label_Right, Pos_Y, u"right", u"center", label.Font_Name,
                          label.Font_Size, false});
            break;
        }
    }
    Draw(Final_Row);
}

void Draw_Notes_Instructions_And_Signatures()
{
    Draw(Notes_And_Exchange_Rate);

    Pos_X = Instructions_Top;
    bool first = true;
    for (const Instruction_Row &line : Instructions) {
        if (!first)
            Pos_X = Add(Pos_X, Row_Pitch);
        first = false;
        if (!line.Left.isEmpty())
            Draw(Text_Row{line.Left, Instruction_Left, Pos_X, u"", u"", u"", Instruction_Size, false});
        Draw(Text_Row{line.Right, Instruction_Right, Pos_X, u"", u"", u"", Instruction_Size, false});
    }

    Draw(Closing_Rule_And_Signatures);
}

// A bitmap read by Qt's own BMP reader. Left to guess the format, Qt would
// first load every image format plugin installed and ask each.
Picture Bitmap(const QString &file)
{
    QImageReader reader(file, "bmp");
    reader.setAutoDetectImageFormat(false);
    return reader.read();
}

} // namespace

const Picture &picLogo(int index)
{
    static const std::array<Picture, 2> logos{
        Bitmap(QStringLiteral(":/assets/logo0.bmp")),
        Bitmap(QStringLiteral(":/assets/logo1.bmp")),
    };
    static const Picture none;
    return index == 0 || index == 1 ? logos[std::size_t(index)] : none;
}

Single Zoom_Limit()
{
    static const Single limit = [] {
        // Scale_Value's own arithmetic: a Single product, rounded halves to even.
        const auto fits = [](Single zoom) {
            const Single product = Single(Sheet_Height) * zoom;
            return Round_Half_Even(product) <= 32767.0;
        };
        Single zoom = Single(32767) / Single(Sheet_Height);
        while (!fits(zoom))
            zoom = std::nextafter(zoom, Single(0));
        while (fits(std::nextafter(zoom, std::numeric_limits<Single>::infinity())))
            zoom = std::nextafter(zoom, std::numeric_limits<Single>::infinity());
        return zoom;
    }();
    return limit;
}

Page_Rect Blank_Rule(Blank blank)
{
    std::optional<Page_Rect> found;
    const auto search = [&](const auto &table) {
        for (const Command &command : table) {
            if (const auto *line = std::get_if<Line_Row>(&command); line && line->On == blank)
                found = Page_Rect{line->X1, line->Y1, line->X2, line->Y2};
            if (const auto *box = std::get_if<Box_Row>(&command); box && box->On == blank)
                found = Page_Rect{box->X1, box->Y1, box->X2, box->Y2};
        }
    };
    search(Title_And_Identity);
    search(Week_Ending);
    search(Notes_And_Exchange_Rate);
    search(Closing_Rule_And_Signatures);
    if (blank == Blank::None || !found)
        throw std::invalid_argument("no rule or box of the form carries this blank");
    return *found;
}

Grid_Rules Weekly_Grid_Rules()
{
    // The header's lower rule and the hatched block, as the shading table draws them.
    const auto &header = std::get<Line_Row>(Grid_Shading_And_Header_Rules[9]);
    const auto &hatched = std::get<Box_Row>(Grid_Shading_And_Header_Rules[0]);
    Grid_Rules grid{{header.Y1}, {0}, {hatched.X1, hatched.Y1, hatched.X2, hatched.Y2}, Grid_Top};
    for (Integer y = Body_Rule_First; y <= Body_Rule_Last; y = Add(y, Body_Rule_Step))
        grid.Rows.push_back(y);
    grid.Rows.push_back(Grid_Bottom);
    for (Integer x = Column_Rule_First; x <= Column_Rule_Last; x = Add(x, Column_Step))
        grid.Columns.push_back(x);
    return grid;
}

void Draw_Report_Page()
{
    if (!OutputTarget)
        throw RuntimeError(Err_Object_Not_Set, "Object variable or With block variable not set");
    Surface &target = *OutputTarget;
    if (target.Is_Printer()) {
        Zoom_Factor = 1;
    } else {
        target.Cls();
        target.Set_Height(Scale_Value(Sheet_Height));
        target.Set_Width(Scale_Value(Sheet_Width));
    }

    Draw(Title_And_Identity);
    Draw_Weekly_Grid();
    Draw_Notes_Instructions_And_Signatures();
}

void Build_Page()
{
    try {
        Draw_Report_Page();
        if (OutputTarget->Is_Printer())
            OutputTarget->EndDoc();
    } catch (...) {
        // A page that failed half way never reaches the printer.
        if (auto *printer = dynamic_cast<Printer_Surface *>(OutputTarget))
            printer->Discard();
        throw;
    }
}
