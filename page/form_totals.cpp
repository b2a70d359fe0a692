// The totals of the form. The grid's totals add rows of their own column,
// in every column that has a field for them (the hatched cells have none).
#include "form_totals.h"

#include "form_fields.h"

#include <QSet>

#include <array>
#include <initializer_list>
#include <utility>

namespace {

struct Column_Total {
    const char *Total;
    std::initializer_list<const char *> Rows;
};

// The grid's totals, each below the rows it adds.
const std::array<Column_Total, 4> Column_Totals{{
    {"total_meals", {"breakfast", "lunch", "dinner"}},
    {"total_transportation", {"airline", "personal_auto", "cab_limo", "auto_rental"}},
    {"total_incidentals",
     {"blank_1", "phone_telegram", "laundry_valet", "porter", "miscellaneous", "blank_2", "blank_3", "blank_4",
      "blank_5"}},
    {"total_expense",
     {"lodging", "total_meals", "total_transportation", "total_incidentals", "blank_6", "entertainment"}},
}};

const std::array<const char *, 9> Value_Columns{"mon", "tue", "wed", "thu", "fri",
                                                "sat", "sun", "total_charge", "total_cash"};

} // namespace

namespace {

std::vector<Form_Total> Made_Totals()
{
    QSet<QString> fields;
    for (const Form_Field &field : Form_Fields())
        fields.insert(field.Name);
    std::vector<Form_Total> totals;
    for (const Column_Total &sum : Column_Totals)
        for (const char *column : Value_Columns) {
            const auto cell = [&](const char *row) {
                return QString::fromLatin1(row) + u'.' + QLatin1StringView(column);
            };
            Form_Total total{cell(sum.Total), {}, {}, false};
            for (const char *row : sum.Rows)
                if (fields.contains(cell(row)))
                    total.Plus << cell(row);
            if (fields.contains(total.Name))
                totals.push_back(total);
        }
    const QString cash = QStringLiteral("total_cash_expense"), advances = QStringLiteral("travel_advances");
    totals.push_back({cash, {QStringLiteral("total_expense.total_cash")}, {}, false});
    totals.push_back({QStringLiteral("amount_due_employee"), {cash}, {advances}, true});
    totals.push_back({QStringLiteral("amount_due_company"), {advances}, {cash}, true});
    return totals;
}

} // namespace

const std::vector<Form_Total> &Form_Totals()
{
    static const std::vector<Form_Total> totals = Made_Totals();
    return totals;
}

std::vector<Form_Row> Form_Rows()
{
    QSet<QString> totals, described;
    for (const Form_Total &total : Form_Totals())
        totals.insert(total.Name);
    for (const Form_Field &field : Form_Fields())
        if (field.Name.endsWith(QStringLiteral(".description")))
            described.insert(field.Name);
    std::vector<Form_Row> rows;
    QString last;
    for (const Form_Field &field : Form_Fields()) {
        const QString row = field.Name.section(u'.', 0, 0), cell = field.Name.section(u'.', 1);
        if (field.Kind != Field_Kind::Amount || totals.contains(field.Name) || cell.isEmpty())
            continue;
        if (std::exchange(last, row) != row) {
            const QString description = row + QStringLiteral(".description");
            rows.push_back({field.Words.left(field.Words.lastIndexOf(QStringLiteral(", "))),
                            described.contains(description) ? description : QString(), {}, {}});
        }
        (cell.startsWith(QStringLiteral("total_")) ? rows.back().Totals : rows.back().Days) << field.Name;
    }
    return rows;
}
