// The fields that make the printed page a form to fill in on screen: one on
// every blank of the drawing, placed by the rule or box it is written on.
#pragma once

#include "page_build.h"

#include <QString>

#include <vector>

// Every field holds one line.
enum class Field_Kind {
    Text,   // left-aligned
    Amount, // right-aligned
    Place,  // left-aligned, a city or country in a narrow day cell
    Notice  // what the form's scripts say of the page, on screen only
};

// The most an amount typed in may be, in cents (99,999.99): what a day's
// cell shows whole at a readable size. No day's line of an expense report
// comes near it.
constexpr long long Most_Typed_Cents = 9'999'999;

struct Form_Field {
    QString Name;    // stable, parts joined by '.': "name", "breakfast.mon"
    QString Words;   // the name as a reader says it: "Breakfast, Monday"
    Page_Rect Rect;  // page units: the left, top, right and bottom edges
    Field_Kind Kind;
};

// Every field of the form in the order of Tab: the identity block, the
// totals block, the week ending, the notice over the grid, the grid row by
// row, the notes, the signatures. Made once.
const std::vector<Form_Field> &Form_Fields();

// The notice's name: where the form says which rows do not add up.
constexpr const char *Notice_Field = "check";
// Its words' size, in points: the form's own lettering.
constexpr int Notice_Points = 8;
