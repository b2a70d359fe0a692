// The printed page as a PDF form: every PDF the programs write carries a
// text field on every blank of the form, and names itself.
#pragma once

#include "outcome.h"
#include "pdf_form_module.h"

#include <QByteArray>
#include <QPageLayout>
#include <QString>

#include <chrono>
#include <optional>

// The name the document goes by: the PDF's title and creator, and the name
// of the print job.
QString Document_Title();
QString Document_Creator();

// The resolution the page is drawn at in a PDF, dots per inch (Qt's for a
// printer in high resolution).
constexpr int Pdf_Resolution = 1200;

// The printed page as the fillable form: drawn by Qt's PDF writer on
// `layout` (the printer dialog's; without one US Letter, portrait, with the
// margins Qt keeps clear) and given its fields by the PDF form module. The
// bytes of every PDF the programs make, file or print job.
Result<QByteArray> Page_Pdf(const std::optional<QPageLayout> &layout = std::nullopt);

// The page as Qt's PDF writer draws it on `layout`, without the fields:
// what a print queue gets, which prints it alike.
QByteArray Drawn_Pdf(const std::optional<QPageLayout> &layout);

// Page_Pdf written to the file named by `path` (the name's own bytes) whole
// or not at all (Write_Whole_File, waiting up to `lock_wait` for another
// writer of the file).
Result<> Write_Page_Pdf(const QByteArray &path, const std::optional<QPageLayout> &layout = std::nullopt,
                        std::chrono::milliseconds lock_wait = {});

// Turns `pdf`, the page that Printer_Surface drew with `layout` at
// `resolution` dots per inch, into the fillable form. Fails on a PDF that
// is not whole or a module that cannot be loaded.
Result<QByteArray> Make_Fillable_Form(const QByteArray &pdf, const QPageLayout &layout, int resolution);

// Every field of a filled-in PDF form and its value, read by the PDF form
// module (Read_Pdf_Fields_Function says how).
Result<std::vector<Pdf_Field_Value>> Read_Pdf_Fields(const QByteArray &pdf, std::size_t most_fields);
