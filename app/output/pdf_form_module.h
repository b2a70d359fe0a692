// What the program and its PDF form module (libquorvel-pdf-form.so, loaded
// when a PDF is written) agree on. The module reads a PDF, adds text fields
// to its first page and writes it anew; it knows nothing of the form.
#pragma once

#include <QByteArray>
#include <QRectF>
#include <QString>

#include <vector>

struct Pdf_Field {
    QString Name;  // the fully qualified name, parts joined by '.'
    QString Tooltip;
    // PDF points from the page's lower-left corner, y upwards: x() and y()
    // are the field's lower-left corner.
    QRectF Rect;
    double Font_Size; // points
    bool Right_Aligned;
};

struct Pdf_Names {
    QString Title, Creator;
};

// Puts `fields` on the first page of `pdf` as an interactive form, each
// with an empty value and an appearance of its own that draws nothing, in
// Liberation Sans (read from `font_file` and embedded), and names the
// document in its information and its XMP metadata; the page's own content
// is kept byte for byte. Returns the new PDF in `out`, or the reason why
// not: a `pdf` that is damaged in any way is refused, not repaired.
using Add_Pdf_Form_Function = QString (*)(const QByteArray &pdf, const std::vector<Pdf_Field> &fields,
                                          const Pdf_Names &names, const QString &font_file, QByteArray &out);
constexpr const char *Add_Pdf_Form_Symbol = "Quorvel_Add_Pdf_Form";
