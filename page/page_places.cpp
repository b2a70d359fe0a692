#include "page_places.h"

#include "support_routines.h"

#include <algorithm>
#include <cmath>

namespace {

QRectF Rect(const Page_Rect &rect)
{
    return QRectF(QPointF(rect.X1, rect.Y1), QPointF(rect.X2, rect.Y2));
}

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

} // namespace

std::vector<Placed_Line> Placed_Lines(const Page_Text &page)
{
    const QStringList texts = page.text.split(u'\n', Qt::SkipEmptyParts);
    std::vector<Placed_Line> lines;
    qsizetype at = 0;
    for (qsizetype i = 0; i < texts.size() && i < page.drawn.size(); ++i) {
        const QRectF sheet = page.boxes.at(at).united(page.boxes.at(at + texts[i].size() - 1));
        lines.push_back({page.drawn[i], sheet.translated(-Page_Offset_X, -Page_Offset_Y), texts[i]});
        at += texts[i].size() + 1;
    }
    return lines;
}

Grid::Grid(const Grid_Rules &rules)
    : Rows(rules.Rows.begin(), rules.Rows.end()), Columns(rules.Columns.begin(), rules.Columns.end())
{
    Rows.insert(Rows.begin(), Rows[0] - 2 * (Rows[2] - Rows[1]));
}

int Grid::Cell(const QRectF &box) const
{
    const auto index = [](const std::vector<double> &rules, double at) {
        const auto after = std::upper_bound(rules.begin(), rules.end(), at);
        return after == rules.begin() || after == rules.end() ? -1 : int(after - rules.begin()) - 1;
    };
    const int row = index(Rows, box.center().y()), column = index(Columns, box.center().x());
    return row < 0 || column < 0 ? -1 : row * Column_Count() + column;
}

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

// Each label goes where the first field it labels does; a line that labels
// none (LESS:) goes just before the nearest line under it that shares some
// of its width.
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


Page_Text Header_In_Blocks(const Page_Text &page)
{
    const std::vector<Placed_Line> lines = Placed_Lines(page);
    if (lines.empty())
        return page;
    const std::vector<std::size_t> order = Reading(lines, Place(lines, Form_Fields(), Grid(Weekly_Grid_Rules())));
    std::vector<qsizetype> starts{0}; // where each line starts in `page.text`, and the text's end
    for (const Placed_Line &line : lines)
        starts.push_back(starts.back() + line.Text.size() + 1);
    Page_Text read;
    for (const std::size_t i : order) {
        read.text += page.text.mid(starts[i], starts[i + 1] - starts[i]);
        read.boxes += page.boxes.mid(starts[i], starts[i + 1] - starts[i]);
        read.drawn.push_back(page.drawn[qsizetype(i)]);
    }
    return read;
}
