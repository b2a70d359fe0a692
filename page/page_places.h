// Where the page's lines stand against the form's fields and its weekly
// grid: what each grid cell holds, which line labels each field outside
// the grid, and so the order in which the header is read, block by block,
// as its fields are tabbed. The page text and the PDF's structure read
// the page in this one order.
#pragma once

#include "form_fields.h"
#include "page_text.h"

#include <QList>
#include <QRectF>
#include <QString>

#include <vector>

struct Placed_Line {
    QList<int> Drawn; // its places in the order the page draws its lines (two for a heading over two)
    QRectF Box;       // page units
    QString Text;
};

// The page text's lines, in its order, placed in page units.
std::vector<Placed_Line> Placed_Lines(const Page_Text &page);

// The weekly grid: its header row and body rows by their rules, the
// header as tall as the two lines of writing above the first body rule.
struct Grid {
    std::vector<double> Rows, Columns;

    explicit Grid(const Grid_Rules &rules);
    int Row_Count() const { return int(Rows.size()) - 1; }
    int Column_Count() const { return int(Columns.size()) - 1; }
    // The cell of a box's middle, counted row by row, or -1 outside.
    int Cell(const QRectF &box) const;
};

// Where the page's lines and the fields go: what each grid cell holds, and
// what each line outside the grid labels.
struct Placement {
    std::vector<std::vector<int>> Cell_Lines, Cell_Fields, Labelled;
    int First_In_Grid = -1; // the first line in the grid
};

Placement Place(const std::vector<Placed_Line> &lines, const std::vector<Form_Field> &fields, const Grid &grid);

// The order the lines are read in: as they stand, but for the header (from
// the first line that labels a field to the grid), which is read as its
// fields are tabbed, block by block: the identity fields, then the money
// block.
std::vector<std::size_t> Reading(const std::vector<Placed_Line> &lines, const Placement &placed);

// `page` (in reading order) with its header read block by block.
Page_Text Header_In_Blocks(const Page_Text &page);
