// The fields of the form. None has a position of its own: a field on a rule
// takes the rule's ends and the line of writing above it, a field in a box
// or a grid cell takes the box or cell. The rules come from the tables that
// draw the page (Blank_Rule, Weekly_Grid_Rules).
#include "form_fields.h"

#include <algorithm>
#include <array>

namespace {

// One line of writing above a rule: the form's row pitch.
constexpr Integer Line_Height = 216;

struct Blank_Field {
    const char *Name;
    const char *Words;
    Blank On; // the rule written on, or the box
    Field_Kind Kind = Field_Kind::Text;
};

// The identity block, then the totals block beside it, then the week-ending
// box: one field a rule, so that every line sits on its own rule.
constexpr std::array<Blank_Field, 14> Head{{
    {"name", "Name", Blank::Name},
    {"emp_no", "Employee number", Blank::Emp_No},
    {"mail_station", "Mail station", Blank::Mail_Station},
    {"cc", "CC", Blank::Cc},
    {"mail_address_1", "Mail address, first line", Blank::Mail_Address_1},
    {"mail_address_2", "Mail address, second line", Blank::Mail_Address_2},
    {"purpose_1", "Purpose, line 1", Blank::Purpose_1},
    {"purpose_2", "Purpose, line 2", Blank::Purpose_2},
    {"purpose_3", "Purpose, line 3", Blank::Purpose_3},
    {"travel_advances", "Travel advances received", Blank::Travel_Advances, Field_Kind::Amount},
    {"total_cash_expense", "Total cash expense (this page)", Blank::Total_Cash_Expense, Field_Kind::Amount},
    {"amount_due_employee", "Total amount due employee", Blank::Amount_Due_Employee, Field_Kind::Amount},
    {"amount_due_company", "Total amount due company", Blank::Amount_Due_Company, Field_Kind::Amount},
    {"week_ending", "Week ending", Blank::Week_Ending},
}};

// Below the grid, in reading order. The exchange rate's box holds one rate.
constexpr std::array<Blank_Field, 6> Foot{{
    {"notes_1", "Notes, line 1", Blank::Notes_1},
    {"notes_2", "Notes, line 2", Blank::Notes_2},
    {"exchange_rate", "Exchange rate", Blank::Exchange_Rate},
    {"approved_by_1", "Approved by, first signature", Blank::Approved_By_1},
    {"employee_signature", "Employee signature", Blank::Employee_Signature},
    {"approved_by_2", "Approved by, second signature", Blank::Approved_By_2},
}};

// The grid's rows from the top, the final row last. Rows without a printed
// label take one in their label cell ("description").
struct Grid_Row {
    const char *Name;
    const char *Words;
    bool Amounts = true;   // CITIES OVERNIGHT and COUNTRY take words
    bool Unlabelled = false;
};

constexpr std::array<Grid_Row, 25> Grid_Rows{{
    {"cities_overnight", "Cities overnight", false},
    {"country", "Country", false},
    {"lodging", "Lodging (room and tax)"},
    {"breakfast", "Breakfast"},
    {"lunch", "Lunch"},
    {"dinner", "Dinner"},
    {"total_meals", "Total meals (self)"},
    {"airline", "Airline"},
    {"personal_auto", "Personal auto"},
    {"cab_limo", "Cab, limo., etc."},
    {"auto_rental", "Auto rental"},
    {"total_transportation", "Total transportation"},
    {"blank_1", "Blank row 1", true, true},
    {"phone_telegram", "Phone and telegram"},
    {"laundry_valet", "Laundry and valet"},
    {"porter", "Porter"},
    {"miscellaneous", "Miscellaneous"},
    {"blank_2", "Blank row 2", true, true},
    {"blank_3", "Blank row 3", true, true},
    {"blank_4", "Blank row 4", true, true},
    {"blank_5", "Blank row 5", true, true},
    {"total_incidentals", "Total incidentals"},
    {"blank_6", "Blank row 6", true, true},
    {"entertainment", "Entertainment"},
    {"total_expense", "Total expense (this page)"},
}};

// The label column, then the nine value columns.
constexpr std::array<std::pair<const char *, const char *>, 10> Grid_Columns{{
    {"description", "description"},
    {"mon", "Monday"},
    {"tue", "Tuesday"},
    {"wed", "Wednesday"},
    {"thu", "Thursday"},
    {"fri", "Friday"},
    {"sat", "Saturday"},
    {"sun", "Sunday"},
    {"total_charge", "total charge"},
    {"total_cash", "total cash"},
}};

bool Inside(const Page_Rect &cell, const Page_Rect &block)
{
    return cell.X1 >= block.X1 && cell.X2 <= block.X2 && cell.Y1 >= block.Y1 && cell.Y2 <= block.Y2;
}

template <std::size_t N>
void Add(std::vector<Form_Field> &fields, const std::array<Blank_Field, N> &table)
{
    for (const Blank_Field &blank : table) {
        const Page_Rect on = Blank_Rule(blank.On);
        // A line of writing above a rule reaches no higher than the rule of
        // the same length above it (NOTES has less room than the pitch).
        Integer top = on.Y1 - Line_Height;
        for (const Form_Field &above : fields)
            if (on.Y1 == on.Y2 && above.Rect.X1 == on.X1 && above.Rect.X2 == on.X2 && above.Rect.Y2 < on.Y1)
                top = std::max(top, above.Rect.Y2);
        const Page_Rect rect = on.Y1 != on.Y2 ? on : Page_Rect{on.X1, top, on.X2, on.Y2};
        fields.push_back({QString::fromLatin1(blank.Name), QString::fromLatin1(blank.Words), rect, blank.Kind});
    }
}

void Add_Grid(std::vector<Form_Field> &fields)
{
    const Grid_Rules grid = Weekly_Grid_Rules();
    for (std::size_t row = 0; row + 1 < grid.Rows.size(); ++row) {
        const Grid_Row &names = Grid_Rows.at(row);
        for (std::size_t column = 0; column + 1 < grid.Columns.size(); ++column) {
            const Page_Rect cell{grid.Columns[column], grid.Rows[row], grid.Columns[column + 1], grid.Rows[row + 1]};
            if ((column == 0 && !names.Unlabelled) || Inside(cell, grid.Hatched))
                continue;
            const auto [part, words] = Grid_Columns.at(column);
            const QString said = QString::fromLatin1(names.Words) + QStringLiteral(", ") + QString::fromLatin1(words);
            const Field_Kind kind =
                column == 0 ? Field_Kind::Text : names.Amounts ? Field_Kind::Amount : Field_Kind::Place;
            fields.push_back({QString::fromLatin1(names.Name) + u'.' + QString::fromLatin1(part), said, cell, kind});
        }
    }
}

// The notice: a line of writing across the grid, just over its top rule.
Form_Field Notice()
{
    const Grid_Rules grid = Weekly_Grid_Rules();
    const Page_Rect rect{grid.Columns.front(), Integer(grid.Top - Line_Height), grid.Columns.back(), grid.Top};
    return {QString::fromLatin1(Notice_Field), QStringLiteral("Notice: what does not add up on the form"), rect,
            Field_Kind::Notice};
}

} // namespace

const std::vector<Form_Field> &Form_Fields()
{
    static const std::vector<Form_Field> fields = [] {
        std::vector<Form_Field> made;
        Add(made, Head);
        made.push_back(Notice());
        Add_Grid(made);
        Add(made, Foot);
        return made;
    }();
    return fields;
}
