// The form module's additions beside the fields: the fields' scripts, and
// the structure tree with the page's content marked to match it.
#pragma once

#include "pdf_form_module.h"

#include <qpdf/QPDF.hh>

// The fields' scripts and the document's own; `widgets` are the fields'
// widgets, in the order of `fields`.
void Add_Scripts(QPDF &pdf, const Pdf_Extras &extras, const std::vector<Pdf_Field> &fields,
                 const std::vector<QPDFObjectHandle> &widgets);

// Marks the first page's content and gives the document its structure,
// language and tab order; leaves both as they were when the content does
// not match the structure.
void Add_Structure(QPDF &pdf, const Pdf_Extras &extras, const std::vector<QPDFObjectHandle> &widgets);
