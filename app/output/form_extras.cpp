#include "form_extras.h"

#include "form_fields.h"
#include "form_totals.h"
#include "page_text.h"
#include "pdf_form.h"
#include "form_scripts.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

// A name or text as a JavaScript string literal.
QString Quoted(const QString &text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

// How many characters of the notice's words show whole in its field, 2
// points clear on either side, in the widest face a reader may use for it
// (DejaVu Sans, whose letters in the notice's words average under 0.65 em).
int Notice_Room()
{
    for (const Form_Field &field : Form_Fields())
        if (field.Kind == Field_Kind::Notice)
            return int(((field.Rect.X2 - field.Rect.X1) / 20.0 - 4) / (Notice_Points * 0.65));
    return 0;
}

// How many characters of a long value show in a field of words at the
// least size a reader may shrink it to (6 points), 2 points clear on either
// side: names and places in the fields' font (Liberation Sans) average
// some 0.5 em a letter, capitals 0.67; 0.55 is taken.
int Words_Room(const Form_Field &field)
{
    constexpr double Least_Points = 6, Letter_Em = 0.55;
    return int(((field.Rect.X2 - field.Rect.X1) / 20.0 - 4) / (Least_Points * Letter_Em));
}

// The form as its scripts know it (amounts.js says what each part is).
QJsonObject Form_Description()
{
    QJsonObject totals;
    QJsonArray order{QString::fromLatin1(Notice_Field)}, rows, alone;
    QSet<QString> in_rows;
    for (const Form_Total &total : Form_Totals()) {
        totals[total.Name] = QJsonObject{{"plus", QJsonArray::fromStringList(total.Plus)},
                                         {"minus", QJsonArray::fromStringList(total.Minus)},
                                         {"onlyAboveZero", total.Above_Zero}};
        order.append(total.Name);
    }
    for (const Form_Row &row : Form_Rows()) {
        rows.append(QJsonObject{{"words", row.Words},
                                {"description", row.Description},
                                {"days", QJsonArray::fromStringList(row.Days)},
                                {"totals", QJsonArray::fromStringList(row.Totals)}});
        for (const QString &cell : row.Days + row.Totals)
            in_rows.insert(cell);
    }
    for (const Form_Field &field : Form_Fields())
        if (field.Kind == Field_Kind::Amount && !totals.contains(field.Name) && !in_rows.contains(field.Name))
            alone.append(QJsonArray{field.Name, field.Words});
    QString notice_name;
    for (const Form_Field &field : Form_Fields())
        if (field.Kind == Field_Kind::Notice)
            notice_name = field.Words;
    return {{"mostTyped", double(Most_Typed_Cents)},
            {"notice", QString::fromLatin1(Notice_Field)},
            {"noticeName", notice_name},
            {"noticeRoom", Notice_Room()},
            {"order", order},
            {"totals", totals},
            {"rows", rows},
            {"alone", alone}};
}

struct Placed_Line {
    QList<int> Drawn; // its places in the order the page draws its lines (two for a heading over two)
    QRectF Box;   // page units
    bool Title;
    QString Text;
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
        lines.push_back({page.drawn[i], box, texts[i].compare(Document_Title(), Qt::CaseInsensitive) == 0, texts[i]});
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
    int Row_Count() const { return int(Rows.size()) - 1; }
    int Column_Count() const { return int(Columns.size()) - 1; }
    // The cell of a box's middle, counted row by row, or -1 outside.
    int Cell(const QRectF &box) const
    {
        const auto index = [](const std::vector<double> &rules, double at) {
            const auto after = std::upper_bound(rules.begin(), rules.end(), at);
            return after == rules.begin() || after == rules.end() ? -1 : int(after - rules.begin()) - 1;
        };
        const int row = index(Rows, box.center().y()), column = index(Columns, box.center().x());
        return row < 0 || column < 0 ? -1 : row * Column_Count() + column;
    }
};

struct Structure {
    std::vector<Pdf_Element> elements;

    int Add(const char *type, int parent)
    {
        elements.push_back({type, parent, {}, {}, -1, {}, {}, {}});
        return int(elements.size()) - 1;
    }
    void Add_Field(int parent, int field) { elements[Add("Form", parent)].Field = field; }
};

} // namespace

namespace {

// The line that labels field `f`, which lies outside the grid: the line
// just before it on its row; or, for a second line of writing, its first
// line's (`label_of` holds the labels of the fields before it); or the line
// just under its rule or just over it; or else the last line above it.
int Label(const std::vector<Placed_Line> &lines, const std::vector<Form_Field> &fields, std::size_t f,
          const std::vector<int> &label_of, const Grid &grid)
{
    const QRectF rect = Rect(fields[f].Rect);
    const auto find = [&](auto &&is_label) {
        int found = -1;
        for (std::size_t i = 0; i < lines.size(); ++i)
            if (grid.Cell(lines[i].Box) < 0 && is_label(lines[i].Box))
                found = int(i);
        return found;
    };
    const auto across = [&](const QRectF &box) { return box.left() < rect.right() && box.right() > rect.left(); };
    int label = find([&](const QRectF &box) {
        return box.center().y() > rect.top() && box.center().y() < rect.bottom() &&
               box.right() > rect.left() - 600 && box.right() < rect.left() + 40;
    });
    for (std::size_t above = 0; label < 0 && above < f; ++above)
        if (fields[above].Rect.X1 == fields[f].Rect.X1 && std::abs(fields[above].Rect.Y2 - fields[f].Rect.Y1) <= 2)
            label = label_of[above];
    if (label < 0)
        label = find([&](const QRectF &box) { return across(box) && std::abs(box.top() - rect.bottom()) <= 60; });
    if (label < 0)
        label = find([&](const QRectF &box) { return across(box) && std::abs(box.bottom() - rect.top()) <= 60; });
    if (label < 0)
        label = std::max(0, find([&](const QRectF &box) { return box.bottom() <= rect.top(); }));
    return label;
}

// Where the page's lines and the fields go: what each grid cell holds, and
// what each line outside the grid labels.
struct Placement {
    std::vector<std::vector<int>> Cell_Lines, Cell_Fields, Labelled;
    int First_In_Grid = -1; // the first line in the grid
};

Placement Place(const std::vector<Placed_Line> &lines, const std::vector<Form_Field> &fields, const Grid &grid)
{
    const std::size_t cells = std::size_t(grid.Row_Count() * grid.Column_Count());
    Placement placed{std::vector<std::vector<int>>(cells), std::vector<std::vector<int>>(cells),
                     std::vector<std::vector<int>>(lines.size())};
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (const int cell = grid.Cell(lines[i].Box); cell >= 0) {
            placed.Cell_Lines[cell].push_back(int(i));
            if (placed.First_In_Grid < 0)
                placed.First_In_Grid = int(i);
        }
    std::vector<int> label_of(fields.size(), -1);
    for (std::size_t f = 0; f < fields.size(); ++f) {
        if (const int cell = grid.Cell(Rect(fields[f].Rect)); cell >= 0)
            placed.Cell_Fields[cell].push_back(int(f));
        else {
            label_of[f] = Label(lines, fields, f, label_of, grid);
            placed.Labelled[std::size_t(label_of[f])].push_back(int(f));
        }
    }
    return placed;
}

// The weekly grid as a table: the header cells are its top row and its
// label column; the rows under the top one are its body. A heading over
// two lines reads as its words with a space between the lines.
void Add_Table(Structure &tree, int document, const Placement &placed, const std::vector<Placed_Line> &lines,
               const Grid &grid)
{
    const int table = tree.Add("Table", document);
    int body = -1;
    for (int row = 0; row < grid.Row_Count(); ++row) {
        if (row == 1)
            body = tree.Add("TBody", table);
        const int tr = tree.Add("TR", row == 0 ? table : body);
        for (int column = 0; column < grid.Column_Count(); ++column) {
            const bool header = row == 0 || column == 0;
            const int cell = tree.Add(header ? "TH" : "TD", tr);
            if (header)
                tree.elements[cell].Scope = row == 0 ? "Column" : "Row";
            const std::size_t at = std::size_t(row * grid.Column_Count() + column);
            QStringList words;
            for (const int line : placed.Cell_Lines[at]) {
                tree.elements[cell].Texts.insert(tree.elements[cell].Texts.end(), lines[line].Drawn.begin(),
                                                 lines[line].Drawn.end());
                words << lines[line].Text;
            }
            if (tree.elements[cell].Texts.size() > 1)
                tree.elements[cell].Actual_Text = words.join(u' ');
            for (const int field : placed.Cell_Fields[at])
                tree.Add_Field(cell, field);
        }
    }
}

// The order the lines are read in: the page text's, but for the header
// (from the first line that labels a field to the grid), which is read as
// its fields are tabbed, block by block: the identity fields, then the
// money block. Each label goes where the first field it labels does; a line
// that labels none (LESS:) goes just before the nearest line under it that
// shares some of its width.
std::vector<std::size_t> Reading(const std::vector<Placed_Line> &lines, const Placement &placed)
{
    std::vector<std::size_t> order(lines.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    const auto labels = [&](std::size_t i) { return !placed.Labelled[i].empty(); };
    const std::size_t end = placed.First_In_Grid < 0 ? lines.size() : std::size_t(placed.First_In_Grid);
    std::size_t begin = 0;
    while (begin < end && !labels(begin))
        ++begin;
    std::vector<double> key(lines.size());
    for (std::size_t i = begin; i < end; ++i)
        if (labels(i))
            key[i] = *std::min_element(placed.Labelled[i].begin(), placed.Labelled[i].end());
    for (std::size_t i = begin; i < end; ++i) {
        if (labels(i))
            continue;
        const QRectF box = lines[i].Box;
        std::size_t under = i;
        for (std::size_t j = begin; j < end; ++j)
            if (labels(j) && lines[j].Box.top() > box.top() && lines[j].Box.left() < box.right() &&
                box.left() < lines[j].Box.right() && (under == i || lines[j].Box.top() < lines[under].Box.top()))
                under = j;
        key[i] = under == i ? key[i > begin ? i - 1 : i] : key[under] - 0.5;
    }
    std::stable_sort(order.begin() + std::ptrdiff_t(begin), order.begin() + std::ptrdiff_t(end),
                     [&](std::size_t a, std::size_t b) { return key[a] < key[b]; });
    return order;
}

} // namespace

std::vector<Pdf_Element> Form_Structure()
{
    const std::vector<Placed_Line> lines = Lines();
    if (lines.empty())
        return {}; // the page could not be read: no structure rather than a wrong one
    const Grid grid(Weekly_Grid_Rules());
    const Placement placed = Place(lines, Form_Fields(), grid);
    Structure tree;
    const int document = tree.Add("Document", -1);
    const int logos = tree.Add("Figure", document);
    tree.elements[logos].Pictures = {0, 1};
    tree.elements[logos].Alt = QStringLiteral("HALBEK Incorporated");
    for (const std::size_t i : Reading(lines, placed)) {
        if (int(i) == placed.First_In_Grid)
            Add_Table(tree, document, placed, lines, grid);
        if (grid.Cell(lines[i].Box) >= 0)
            continue;
        const int paragraph = tree.Add(lines[i].Title ? "H1" : "P", document);
        tree.elements[paragraph].Texts.assign(lines[i].Drawn.begin(), lines[i].Drawn.end());
        for (const int field : placed.Labelled[i])
            tree.Add_Field(document, field);
    }
    return tree.elements;
}

std::vector<Pdf_Script> Form_Scripts()
{
    // The calculations in the order they are worked out: the notice first,
    // for the amounts due read it.
    QStringList computed{QString::fromLatin1(Notice_Field)};
    for (const Form_Total &total : Form_Totals())
        computed << total.Name;
    std::vector<Pdf_Script> scripts;
    for (const QString &name : computed)
        scripts.push_back({name, Pdf_Script::Calculate,
                           QStringLiteral("event.value = workedOut(this, ") + Quoted(name) + QStringLiteral(");")});
    for (const Form_Field &field : Form_Fields())
        if (computed.contains(field.Name)) {
            scripts.push_back({field.Name, Pdf_Script::Keystroke,
                               QStringLiteral("refuseTyping(event, ") + Quoted(field.Words) + QStringLiteral(");")});
            if (field.Kind == Field_Kind::Notice)
                scripts.push_back({field.Name, Pdf_Script::Focus, QStringLiteral("noticeReached(this);")});
        } else if (field.Kind == Field_Kind::Amount) {
            scripts.push_back({field.Name, Pdf_Script::Keystroke, QString::fromUtf8(Form_Script_typing)});
            scripts.push_back({field.Name, Pdf_Script::Validate, QString::fromUtf8(Form_Script_checking)});
            scripts.push_back({field.Name, Pdf_Script::Format, QString::fromUtf8(Form_Script_showing)});
        } else {
            scripts.push_back({field.Name, Pdf_Script::Format,
                               QStringLiteral("event.value = shortened(event.value, %1);").arg(Words_Room(field))});
        }
    return scripts;
}

QString Open_Script()
{
    return QStringLiteral("var Form = ") +
           QString::fromUtf8(QJsonDocument(Form_Description()).toJson(QJsonDocument::Compact)) +
           QStringLiteral(";\n") + QString::fromUtf8(Form_Script_amounts) + QString::fromUtf8(Form_Script_open);
}
