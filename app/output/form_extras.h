// What the printed form carries beside its fields: the scripts that add it
// up and show its amounts, and the structure that a screen reader reads it
// by.
#pragma once

#include "pdf_form_module.h"

// The notice's and the totals' calculations in the order they are worked
// out, and on every amount typed in a keystroke script and a validation
// that take amounts only, saying why not otherwise, and keep each with two
// decimals and thousands separators ("1,234.50"), and a format that shows
// it so (form_scripts/typing.js, checking.js, showing.js); on every
// computed field and the notice a keystroke script that refuses what is
// typed there, saying so; on every field of words a format that shows a
// long value shortened to what reads at 6 points, "..." where it goes on.
std::vector<Pdf_Script> Form_Scripts();

// The document's own script, run when it is opened: the form described
// for the scripts (a line `var Form = {...};`), what every script uses
// (form_scripts/amounts.js), and the form worked out anew, so that a form
// filled where no script ran adds up at once (form_scripts/open.js).
QString Open_Script();

// The page in reading order, the order of the window's page text but for
// the header, read block by block as its fields are tabbed: the logos as
// one figure, the title as a heading, the other texts as
// paragraphs each followed by the fields it labels, and the weekly grid as
// a table whose header cells are the days, the totals columns and the row
// labels. Fields are counted as Form_Fields() lists them.
std::vector<Pdf_Element> Form_Structure();
