#include "form_extras.h"

#include "form_fields.h"
#include "form_totals.h"
#include "page_text.h"
#include "pdf_form.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

// What every script needs: n() reads a value as a number, or null when it
// is not one (commas and spaces allowed, as the amounts are shown); f()
// shows a number with two decimals and thousands separators. Neither ever
// throws, so no reader puts up an error box.
const QString Helpers = QStringLiteral(
    "function n(v){var s=String(v).replace(/[\\s,]/g,\"\");"
    "return /^[-+]?(\\d+\\.?\\d*|\\.\\d+)$/.test(s)?Number(s):null}"
    "function f(x){var s=Math.abs(x).toFixed(2),i=s.length-3,o=s.slice(i);"
    "while(i>3){o=\",\"+s.slice(i-3,i)+o;i-=3}return(x<0?\"-\":\"\")+s.slice(0,i)+o}");

QString Quoted(const QStringList &names, int sign)
{
    QStringList quoted;
    for (const QString &name : names)
        quoted << QStringLiteral("[\"%1\",%2]").arg(name).arg(sign);
    return quoted.join(u',');
}

// Adds the values that are numbers; no number at all leaves the total
// empty, and so does an amount due that is not above zero.
QString Calculation(const Form_Total &total)
{
    QStringList terms;
    if (!total.Plus.isEmpty())
        terms << Quoted(total.Plus, 1);
    if (!total.Minus.isEmpty())
        terms << Quoted(total.Minus, -1);
    return Helpers + QStringLiteral("var t=0,k=0,l=[%1];"
                                    "for(var i=0;i<l.length;i++){var v=n(this.getField(l[i][0]).value);"
                                    "if(v!==null){t+=l[i][1]*v;k++}}t=Math.round(t*100)/100;"
                                    "event.value=k&&%2?f(t):\"\";")
                         .arg(terms.join(u','), total.Above_Zero ? QStringLiteral("t>0") : QStringLiteral("true"));
}

// A number is kept and shown as an amount; anything else stays as typed.
// Kept so, and not only shown so, because pdf.js reads a typed "1,000" as
// 1 (its comma a decimal point) but leaves "1,000.00" to the scripts.
QString As_Amount()
{
    return Helpers + QStringLiteral("var x=n(event.value);if(x!==null)event.value=f(x);");
}

struct Placed_Line {
    QList<int> Drawn; // its places in the order the page draws its lines (two for a heading over two)
    QRectF Box;   // page units
    bool Title;
};

// The page's lines in reading order, placed in page units.
std::vector<Placed_Line> Lines()
{
    const Page_Text &page = The_Page_Text();
    const QStringList texts = page.text.split(u'\n', Qt::SkipEmptyParts);
    std::vector<Placed_Line> lines;
    qsizetype at = 0;
    for (qsizetype i = 0; i < texts.size() && i < page.drawn.size(); ++i) {
        const QRectF sheet = page.boxes.at(at).united(page.boxes.at(at + texts[i].size() - 1));
        const QRectF box = sheet.translated(-Page_Offset_X, -Page_Offset_Y);
        lines.push_back({page.drawn[i], box, texts[i].compare(Document_Title(), Qt::CaseInsensitive) == 0});
        at += texts[i].size() + 1;
    }
    return lines;
}

QRectF Rect(const Page_Rect &rect)
{
    return QRectF(QPointF(rect.X1, rect.Y1), QPointF(rect.X2, rect.Y2));
}

// The weekly grid: its header row and body rows by their rules, the
// header as tall as the two lines of writing above the first body rule.
struct Grid {
    std::vector<double> Rows, Columns;

    explicit Grid(const Grid_Rules &rules)
        : Rows(rules.Rows.begin(), rules.Rows.end()), Columns(rules.Columns.begin(), rules.Columns.end())
    {
        Rows.insert(Rows.begin(), Rows[0] - 2 * (Rows[2] - Rows[1]));
    }
    // The row and column of a point, or -1.
    std::pair<int, int> Cell(QPointF point) const
    {
        const auto index = [](const std::vector<double> &rules, double at) {
            const auto after = std::upper_bound(rules.begin(), rules.end(), at);
            return after == rules.begin() || after == rules.end() ? -1 : int(after - rules.begin()) - 1;
        };
        const int row = index(Rows, point.y()), column = index(Columns, point.x());
        return row < 0 || column < 0 ? std::pair(-1, -1) : std::pair(row, column);
    }
};

struct Structure {
    std::vector<Pdf_Element> elements;

    int Add(const char *type, int parent)
    {
        elements.push_back({type, parent, {}, {}, -1, {}, {}});
        return int(elements.size()) - 1;
    }
    void Add_Field(int parent, int field) { elements[Add("Form", parent)].Field = field; }
};

} // namespace

std::vector<Pdf_Element> Form_Structure()
{
    const std::vector<Placed_Line> lines = Lines();
    if (lines.empty())
        return {}; // the page could not be read: no structure rather than a wrong one
    const std::vector<Form_Field> fields = Form_Fields();
    const Grid grid(Weekly_Grid_Rules());
    const std::size_t rows = grid.Rows.size() - 1, columns = grid.Columns.size() - 1;

    // What each grid cell holds, and what each line outside it labels.
    std::vector<std::vector<int>> cell_lines(rows * columns), cell_fields(rows * columns);
    std::vector<std::vector<int>> labelled(lines.size());
    const auto cell_of = [&](const QRectF &box) {
        const auto [row, column] = grid.Cell(box.center());
        return row < 0 ? -1 : row * int(columns) + column;
    };
    int first_in_grid = -1;
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (const int cell = cell_of(lines[i].Box); cell >= 0) {
            cell_lines[cell].push_back(int(i));
            if (first_in_grid < 0)
                first_in_grid = int(i);
        }
    std::vector<int> label_of(fields.size(), -1);
    for (std::size_t f = 0; f < fields.size(); ++f) {
        const QRectF rect = Rect(fields[f].Rect);
        if (const int cell = cell_of(rect); cell >= 0) {
            cell_fields[cell].push_back(int(f));
            continue;
        }
        // A field's label: the line just before it on its row; or, for a
        // second line of writing, its first line's; or the line just under
        // its rule or just over it; or else the last line above it.
        const auto find = [&](auto &&is_label) {
            int found = -1;
            for (std::size_t i = 0; i < lines.size(); ++i)
                if (cell_of(lines[i].Box) < 0 && is_label(lines[i].Box))
                    found = int(i);
            return found;
        };
        const auto across = [&](const QRectF &box) { return box.left() < rect.right() && box.right() > rect.left(); };
        int &label = label_of[f];
        label = find([&](const QRectF &box) {
            return box.center().y() > rect.top() && box.center().y() < rect.bottom() &&
                   box.right() > rect.left() - 600 && box.right() < rect.left() + 40;
        });
        for (std::size_t above = 0; label < 0 && above < f; ++above)
            if (fields[above].Rect.X1 == fields[f].Rect.X1 && std::abs(fields[above].Rect.Y2 - fields[f].Rect.Y1) <= 2)
                label = label_of[above];
        if (label < 0)
            label = find([&](const QRectF &box) {
                return across(box) && std::abs(box.top() - rect.bottom()) <= 60;
            });
        if (label < 0)
            label = find([&](const QRectF &box) {
                return across(box) && std::abs(box.bottom() - rect.top()) <= 60;
            });
        if (label < 0)
            label = std::max(0, find([&](const QRectF &box) { return box.bottom() <= rect.top(); }));
        labelled[label].push_back(int(f));
    }

    Structure tree;
    const int document = tree.Add("Document", -1);
    const int logos = tree.Add("Figure", document);
    tree.elements[logos].Pictures = {0, 1};
    tree.elements[logos].Alt = QStringLiteral("HALBEK Incorporated");
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (int(i) == first_in_grid) {
            const int table = tree.Add("Table", document);
            for (std::size_t row = 0; row < rows; ++row) {
                const int tr = tree.Add("TR", table);
                for (std::size_t column = 0; column < columns; ++column) {
                    const bool header = row == 0 || column == 0;
                    const int cell = tree.Add(header ? "TH" : "TD", tr);
                    if (header)
                        tree.elements[cell].Scope = row == 0 ? "Column" : "Row";
                    for (const int line : cell_lines[row * columns + column])
                        tree.elements[cell].Texts.insert(tree.elements[cell].Texts.end(), lines[line].Drawn.begin(),
                                                         lines[line].Drawn.end());
                    for (const int field : cell_fields[row * columns + column])
                        tree.Add_Field(cell, field);
                }
            }
        }
        if (cell_of(lines[i].Box) >= 0)
            continue;
        const int paragraph = tree.Add(lines[i].Title ? "H1" : "P", document);
        tree.elements[paragraph].Texts.assign(lines[i].Drawn.begin(), lines[i].Drawn.end());
        for (const int field : labelled[i])
            tree.Add_Field(document, field);
    }
    return tree.elements;
}

std::vector<Pdf_Script> Form_Scripts()
{
    std::vector<Pdf_Script> scripts;
    for (const Form_Total &total : Form_Totals())
        scripts.push_back({total.Name, Pdf_Script::Calculate, Calculation(total)});
    const QString amount = As_Amount();
    for (const Form_Field &field : Form_Fields())
        if (field.Kind == Field_Kind::Amount) {
            scripts.push_back({field.Name, Pdf_Script::Validate, amount});
            scripts.push_back({field.Name, Pdf_Script::Format, amount});
        }
    return scripts;
}
