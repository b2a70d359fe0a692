// The fields that make the printed page a form to fill in on screen: one on
// every blank of the drawing, placed by the rule or box it is written on.
#pragma once

#include "page_build.h"

#include <QString>

#include <vector>

enum class Field_Kind {
    Text,      // one line, left-aligned
    Amount,    // one line, right-aligned
    Multi_Line // several lines, left-aligned
};

struct Form_Field {
    QString Name;    // stable, parts joined by '.': "name", "breakfast.mon"
    QString Words;   // the name as a reader says it: "Breakfast, Monday"
    Page_Rect Rect;  // page units: the left, top, right and bottom edges
    Integer Line;    // the height of one line of writing, page units
    Field_Kind Kind;
};

// Every field of the form in reading order: rows top to bottom, each left
// to right.
std::vector<Form_Field> Form_Fields();
