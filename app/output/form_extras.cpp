#include "form_extras.h"

#include "form_fields.h"
#include "form_totals.h"
#include "page_text.h"
#include "pdf_form.h"

#include <QSet>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

// What every script needs, defined once by the document's own script,
// which every reader with form scripts runs first (in MuJS, KJS, QuickJS,
// V8: plain old JavaScript, so KJS too): Cents() reads a value as an
// amount, one character at a time, in whole cents (exact up to the
// cap): digits, commas between groups of three, a point before at most two
// digits of cents, a dollar sign first, blanks around; an empty value is
// null, anything else a sentence that says why it is not an amount. The
// readers' own number conversions differ, so none is used. Shown() writes
// cents as the form shows an amount ("1,234.50"); Sum() adds up fields,
// each name followed by its sign, to cents, null when all are empty, or
// "?" when one is not an amount. Across scripts, Was holds each amount's
// value before it was edited, Told the text last refused, and Texts each
// amount's text as the validation and the format last saw it: pdf.js hands
// a script another field's value as a number wherever its own conversion
// (the first comma a decimal point) reads one, and MuPDF and PDFium do as
// JavaScript's does, so Text() takes the text that the number was read
// from when there is one.
const char *const Helpers = R"js(var Most = %1, Was, Told, Texts;
if (!Was) { Was = {}; Texts = {}; } // kept when pdf.js runs this again
function Blank(c) { return c == " " || c == "\t" || c == "\u00a0"; }
function Quoted(t) { return "\"" + (t.length > 24 ? t.substring(0, 20) + "..." : t) + "\""; }
function Big(t) { return Quoted(t) + " is more than this form takes: " + Shown(Most) + " at most"; }
function Why(t, c) {
  var how = "type it in US dollars, with a point before the cents, as in 1,234.50";
  if (c == "," || c == ".") how = "use a point before the cents, and commas only between thousands, as in 1,234.50";
  else if ("-+()".indexOf(c) >= 0) how = "this form takes no credits: type the amount without a sign or brackets, as in 5.00";
  else if (Blank(c)) how = "leave no space inside an amount, as in 1,234.50";
  return Quoted(t) + " is not an amount: " + how;
}
function Cents(v) {
  var t = String(v), s = 0, e = t.length, d = 0, g = -1, p = -1, x = 0, c;
  while (s < e && Blank(t.charAt(s))) s++;
  while (e > s && Blank(t.charAt(e - 1))) e--;
  if (s == e) return null;
  if (t.charAt(s) == "$") { s++; while (s < e && Blank(t.charAt(s))) s++; }
  for (; s < e; s++) {
    c = t.charAt(s);
    if (c >= "0" && c <= "9") {
      if (p >= 0 ? ++p > 2 : g >= 0 && ++g > 3) return Why(t, p > 2 ? "." : ",");
      x = x * 10 + c.charCodeAt(0) - 48;
      d++;
      if (x > Most) return Big(t);
    } else if (c == "," && p < 0 && d > 0 && (g < 0 ? d <= 3 : g == 3)) g = 0;
    else if (c == "." && p < 0 && (g < 0 || g == 3)) p = 0;
    else return Why(t, c);
  }
  if (d == 0 || p < 0 && g >= 0 && g != 3) return Why(t, d ? "," : "x");
  x *= p > 1 ? 1 : p == 1 ? 10 : 100;
  return x > Most ? Big(t) : x;
}
function Shown(c) {
  var s = String(Math.floor(c / 100));
  for (var i = s.length - 3; i > 0; i -= 3) s = s.substring(0, i) + "," + s.substring(i);
  return s + "." + String(100 + c % 100).substring(1);
}
function Text(doc, n) {
  var v = doc.getField(n).value, t = Texts[n];
  return typeof v == "number" && typeof t == "string" && parseFloat(t.replace(",", ".")) === v ? t : v;
}
function Sum(doc, l) {
  var t = 0, k = 0, c;
  for (var i = 0; i < l.length; i += 2) {
    c = Cents(Text(doc, l[i]));
    if (typeof c == "string") return "?";
    if (c !== null) { t += l[i + 1] * c; k++; }
  }
  return k ? t : null;
}
function Total(t) { return t === null ? "" : t === "?" ? t : Shown(t); }
function Due(t, notice) { return t === "?" || notice !== "" ? "?" : t > 0 ? Shown(t) : ""; }
function Unbalanced(doc, rows) {
  var bad = [], d;
  for (var r = 0; r < rows.length; r++) {
    d = Sum(doc, rows[r][1]);
    if (d === "?" || d) bad.push(rows[r][0]);
  }
  return bad.length ? bad.join(", ") + ": the days do not add up to TOTAL CHARGE + TOTAL CASH" : "";
}
)js";

// Typing an amount: a character that no amount has is refused as it is
// typed, and a value that is not an amount as it is committed, each with a
// word of why. Refused, the cell goes back to what it held: pdf.js and
// MuPDF take the value the commit leaves in event.value; PDFium keeps its
// own value when the validation refuses, which then says nothing more.
const char *const Typing = R"js(var n = event.target.name, t = String(event.change || ""), c, i;
if (!event.willCommit) {
  if (!(n in Was)) Was[n] = event.value;
  for (i = 0; i < t.length; i++) {
    c = t.charAt(i);
    if ("0123456789,.$".indexOf(c) < 0 && !Blank(c)) { app.alert(Why(t, c)); event.rc = false; break; }
  }
} else {
  c = Cents(event.value);
  if (typeof c == "string") { app.alert(c); Told = event.value; if (n in Was) event.value = Was[n]; }
  delete Was[n];
}
)js";

// An amount is kept as the form shows it: pdf.js reads a typed "1,000" as
// 1 (its comma a decimal point) but leaves "1,000.00" to the scripts.
const char *const Validation = R"js(var c = Cents(event.value);
if (typeof c == "string") { if (Told !== event.value) app.alert(c); event.rc = false; }
else Texts[event.target.name] = event.value = c === null ? "" : Shown(c);
Told = null;
)js";

const char *const Format = R"js(var c = Cents(Texts[event.target.name] = String(event.value));
if (typeof c == "number") event.value = Shown(c);
)js";

// Names and signs, as Sum() takes them.
QString Terms(const QStringList &plus, const QStringList &minus = {})
{
    QStringList terms;
    for (const QString &name : plus)
        terms << QStringLiteral("\"%1\",1").arg(name);
    for (const QString &name : minus)
        terms << QStringLiteral("\"%1\",-1").arg(name);
    return u'[' + terms.join(u',') + u']';
}

// What a computed field shows, as a JavaScript expression. A total adds
// the values that are amounts: empty when there are none, "?" when one is
// not an amount. An amount due shows only when it is above zero, and "?"
// while a row does not add up: the notice says which.
QString Worked_Out(const Form_Total &total)
{
    const QString sum = QStringLiteral("Sum(this, %1)").arg(Terms(total.Plus, total.Minus));
    if (!total.Above_Zero)
        return QStringLiteral("Total(%1)").arg(sum);
    return QStringLiteral("Due(%1, this.getField(\"%2\").value)").arg(sum, QString::fromLatin1(Notice_Field));
}

// The notice: the rows whose days do not add up to their totals, by name.
QString Notice()
{
    QStringList rows;
    for (const Form_Row &row : Form_Rows())
        rows << QStringLiteral("[\"%1\", %2]").arg(row.Words, Terms(row.Days, row.Totals));
    return QStringLiteral("Unbalanced(this, [%1])").arg(rows.join(QStringLiteral(",\n")));
}

// Every computed field and what it shows, in the order they are worked out:
// the notice first, for the amounts due read it.
std::vector<std::pair<QString, QString>> Computed()
{
    std::vector<std::pair<QString, QString>> computed{{QString::fromLatin1(Notice_Field), Notice()}};
    for (const Form_Total &total : Form_Totals())
        computed.emplace_back(total.Name, Worked_Out(total));
    return computed;
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
    std::vector<Pdf_Script> scripts;
    QSet<QString> computed;
    for (const auto &[name, value] : Computed()) {
        scripts.push_back({name, Pdf_Script::Calculate, QStringLiteral("event.value = ") + value + u';'});
        computed.insert(name);
    }
    const QString typing = QString::fromLatin1(Typing), validation = QString::fromLatin1(Validation),
                  format = QString::fromLatin1(Format);
    for (const Form_Field &field : Form_Fields())
        if (field.Kind == Field_Kind::Amount && !computed.contains(field.Name)) {
            scripts.push_back({field.Name, Pdf_Script::Keystroke, typing});
            scripts.push_back({field.Name, Pdf_Script::Validate, validation});
            scripts.push_back({field.Name, Pdf_Script::Format, format});
        }
    return scripts;
}

// The helpers, then the form worked out anew where a computed field does
// not show what it should (values typed where no script ran), each in
// turn, as the calculations would: Okular has no calculateNow(), and pdf.js
// counts every value its scripts set as a change the reader asks to save.
QString Open_Script()
{
    QString script = QString::fromLatin1(Helpers).arg(Most_Typed_Cents) +
                     QStringLiteral("function Set(doc, n, v) { var f = doc.getField(n); if (String(f.value) !== v) "
                                    "f.value = v; }\n");
    for (const auto &[name, value] : Computed())
        script += QStringLiteral("Set(this, \"%1\", %2);\n").arg(name, value);
    return script;
}
