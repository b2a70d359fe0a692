#include "form_extras.h"

#include "form_fields.h"
#include "form_totals.h"
#include "page_places.h"
#include "pdf_form.h"
#include "form_scripts.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QStringList>

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

struct Structure {
    std::vector<Pdf_Element> elements;

    int Add(const char *type, int parent)
    {
        elements.push_back({type, parent, {}, {}, -1, {}, {}, {}});
        return int(elements.size()) - 1;
    }
    void Add_Field(int parent, int field) { elements[Add("Form", parent)].Field = field; }
};

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

} // namespace

std::vector<Pdf_Element> Form_Structure()
{
    const std::vector<Placed_Line> lines = Placed_Lines(The_Page_Text());
    if (lines.empty())
        return {}; // the page could not be read: no structure rather than a wrong one
    const Grid grid(Weekly_Grid_Rules());
    const Placement placed = Place(lines, Form_Fields(), grid);
    Structure tree;
    const int document = tree.Add("Document", -1);
    const int logos = tree.Add("Figure", document);
    tree.elements[logos].Pictures = {0, 1};
    tree.elements[logos].Alt = QStringLiteral("HALBEK Incorporated");
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (int(i) == placed.First_In_Grid)
            Add_Table(tree, document, placed, lines, grid);
        if (grid.Cell(lines[i].Box) >= 0)
            continue;
        const bool title = lines[i].Text.compare(Document_Title(), Qt::CaseInsensitive) == 0;
        const int paragraph = tree.Add(title ? "H1" : "P", document);
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
    // A row whose typed totals do not add up is told as the person moves on
    // to a field of another row or outside the rows: as it takes the focus,
    // for pdf.js commits a field only once it has changed (a Tab on through
    // the next row would tell nothing), and as an entry is committed, for
    // readers that run no focus script.
    for (const Form_Field &field : Form_Fields())
        if (!computed.contains(field.Name))
            scripts.push_back({field.Name, Pdf_Script::Focus, QStringLiteral("leavingRow(this, event.target.name);")});
    return scripts;
}

QString Open_Script()
{
    return QStringLiteral("var Form = ") +
           QString::fromUtf8(QJsonDocument(Form_Description()).toJson(QJsonDocument::Compact)) +
           QStringLiteral(";\n") + QString::fromUtf8(Form_Script_amounts) + QString::fromUtf8(Form_Script_open);
}
