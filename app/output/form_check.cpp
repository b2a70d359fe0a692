#include "form_check.h"

#include "form_amounts.h"
#include "form_fields.h"
#include "form_totals.h"
#include "pdf_form.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <optional>

namespace {

// A sum worked out anew: its cents, none when every term is empty, or
// unknown when a term is no amount (that term is told of itself).
struct Sum {
    std::optional<long long> Cents;
    bool Known = true;
};

QSet<QString> Total_Names()
{
    QSet<QString> names;
    for (const Form_Total &total : Form_Totals())
        names.insert(total.Name);
    return names;
}

class Checker {
public:
    explicit Checker(const Form_Values &values) : values_(values), totals_(Total_Names()) {}

    std::vector<Form_Finding> Findings()
    {
        for (const Form_Field &field : Form_Fields())
            if (field.Kind == Field_Kind::Amount && !totals_.contains(field.Name))
                if (const Amount typed = Typed(field.Name); typed.What == Amount::Refused)
                    found_.push_back({field.Name, typed.Why});
        for (const Form_Row &row : Form_Rows())
            Check_Row(row);
        const bool rows_hold = found_.empty();
        for (const Form_Total &total : Form_Totals())
            Check_Total(total, rows_hold);
        return found_;
    }

private:
    QString Value(const QString &name) const { return values_.at(name); }

    Amount Typed(const QString &name) const { return Read_Amount(Value(name), Most_Typed_Cents); }

    // A term's cents: a typed cell read with its cap, a total as worked out.
    Sum Term(const QString &name) const
    {
        if (totals_.contains(name))
            return worked_.at(name);
        const Amount typed = Typed(name);
        if (typed.What == Amount::Refused)
            return {std::nullopt, false};
        return {typed.What == Amount::Cents ? std::optional<long long>(typed.Value) : std::nullopt, true};
    }

    Sum Added(const QStringList &plus, const QStringList &minus) const
    {
        Sum sum;
        for (const QStringList *terms : {&plus, &minus})
            for (const QString &name : *terms) {
                const Sum term = Term(name);
                if (!term.Known)
                    return {std::nullopt, false};
                if (term.Cents)
                    sum.Cents = sum.Cents.value_or(0) + (terms == &plus ? *term.Cents : -*term.Cents);
            }
        return sum;
    }

    // A row as the person knows it: a blank row by the description typed in it.
    QString Row_Words(const Form_Row &row) const
    {
        const QString described = row.Days.constFirst().section(u'.', 0, 0) + QStringLiteral(".description");
        const auto found = values_.find(described);
        const QString typed = found == values_.end() ? QString() : found->second.trimmed();
        return typed.isEmpty() ? row.Words : QStringLiteral("%1 (%2)").arg(typed, row.Words);
    }

    void Check_Row(const Form_Row &row)
    {
        const Sum days = Added(row.Days, {}), totals = Added(row.Totals, {});
        if (days.Known && totals.Known && days.Cents.value_or(0) != totals.Cents.value_or(0))
            found_.push_back({row.Totals.constFirst(),
                              QStringLiteral("%1: the days add up to %2, TOTAL CHARGE + TOTAL CASH to %3")
                                  .arg(Row_Words(row), Shown_Amount(days.Cents.value_or(0)),
                                       Shown_Amount(totals.Cents.value_or(0)))});
    }

    // A total against what its terms add up to. An amount due shows only
    // above zero; where a row does not add up, the form's scripts show "?"
    // in it, which then holds too.
    void Check_Total(const Form_Total &total, bool rows_hold)
    {
        Sum sum = Added(total.Plus, total.Minus);
        worked_[total.Name] = sum;
        if (!sum.Known)
            return;
        if (total.Above_Zero && sum.Cents && *sum.Cents <= 0)
            sum.Cents.reset();
        const QString value = Value(total.Name);
        if (total.Above_Zero && !rows_hold && value.trimmed() == QStringLiteral("?"))
            return;
        const Amount shown = Read_Amount(value);
        const bool holds = sum.Cents ? shown.What == Amount::Cents && shown.Value == *sum.Cents
                                     : shown.What == Amount::Empty;
        if (holds)
            return;
        const QString expected = sum.Cents ? Shown_Amount(*sum.Cents) : QStringLiteral("nothing");
        const QString seen = shown.What == Amount::Empty ? QStringLiteral("nothing")
                             : shown.What == Amount::Cents ? Shown_Amount(shown.Value)
                                                           : u'"' + value + u'"';
        found_.push_back({total.Name, QStringLiteral("shows %1, but worked out anew it is %2 (stale, or typed over)")
                                          .arg(seen, expected)});
    }

    const Form_Values &values_;
    const QSet<QString> totals_;
    std::map<QString, Sum> worked_;
    std::vector<Form_Finding> found_;
};

// A value a spreadsheet would take for a formula, made plain text.
QString Not_A_Formula(const QString &value)
{
    return !value.isEmpty() && QStringLiteral("=+-@\t\r").contains(value[0]) ? u'\'' + value : value;
}

QString Csv_Cell(const QString &text)
{
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') && !text.contains(u'\r'))
        return text;
    return u'"' + QString(text).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

// An amount field's cents, or none.
std::optional<long long> Cents_Of(const Form_Field &field, const QString &value)
{
    if (field.Kind != Field_Kind::Amount)
        return std::nullopt;
    const Amount amount = Read_Amount(value);
    return amount.What == Amount::Cents ? std::optional<long long>(amount.Value) : std::nullopt;
}

} // namespace

Result<Form_Values> Read_Returned_Form(const QByteArray &pdf)
{
    if (pdf.size() > Most_Form_Bytes)
        return Failure{QStringLiteral("it is %1 MB, far more than a filled-in form (about 0.2 MB); it is not read")
                           .arg(pdf.size() >> 20)};
    const std::vector<Form_Field> &form = Form_Fields();
    const Result<std::vector<Pdf_Field_Value>> read = Read_Pdf_Fields(pdf, 4 * form.size());
    if (!read.Ok())
        return Failure{read.Message()};
    Form_Values all;
    for (const Pdf_Field_Value &field : read.Value())
        all.emplace(field.Name, field.Value);
    Form_Values values;
    for (const Form_Field &field : form) {
        const auto found = all.find(field.Name);
        if (found == all.end())
            return Failure{QStringLiteral("it is a PDF form, but not the travel expense report this program makes "
                                          "(it has no field \"%1\")")
                               .arg(field.Name)};
        values.insert(*found);
    }
    return values;
}

std::vector<Form_Finding> Check_Returned_Form(const Form_Values &values)
{
    return Checker(values).Findings();
}

QByteArray Values_Json(const Form_Values &values)
{
    QJsonArray fields;
    for (const Form_Field &field : Form_Fields()) {
        const QString &value = values.at(field.Name);
        QJsonObject line{{QStringLiteral("name"), field.Name},
                         {QStringLiteral("spoken"), field.Words},
                         {QStringLiteral("value"), value}};
        if (field.Kind == Field_Kind::Amount) {
            const std::optional<long long> cents = Cents_Of(field, value);
            line.insert(QStringLiteral("cents"), cents ? QJsonValue(double(*cents)) : QJsonValue());
        }
        fields.append(line);
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("fields"), fields}}).toJson();
}

QByteArray Values_Csv(const Form_Values &values)
{
    QString csv = QStringLiteral("name,spoken name,value,cents\r\n");
    for (const Form_Field &field : Form_Fields()) {
        const QString &value = values.at(field.Name);
        const std::optional<long long> cents = Cents_Of(field, value);
        csv += field.Name + u',' + Csv_Cell(field.Words) + u',' + Csv_Cell(Not_A_Formula(value)) + u',' +
               (cents ? QString::number(*cents) : QString()) + QStringLiteral("\r\n");
    }
    return csv.toUtf8();
}
