// The printed page as a PDF form: every PDF the programs write carries a
// text field on every blank of the form, and names itself.
#pragma once

#include <QByteArray>
#include <QString>

class QPagedPaintDevice;
class QPageLayout;

// The name the document goes by: the PDF's title and creator, and the name
// of the print job.
QString Document_Title();
QString Document_Creator();

// Turns `pdf`, the page that Printer_Surface drew with `layout` at
// `resolution` dots per inch, into the fillable form. Returns the reason of
// a failure (a PDF that is not whole, a module that cannot be loaded), or
// an empty string; on failure `pdf` is left as it was.
QString Make_Fillable_Form(QByteArray &pdf, const QPageLayout &layout, int resolution);
