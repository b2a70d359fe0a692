// What the program and its PDF form module (libquorvel-pdf-form.so, loaded
// when a PDF is written) agree on. The module reads a PDF, adds text fields
// to its first page and writes it anew; it knows nothing of the form.
#pragma once

#include "outcome.h"

#include <QByteArray>
#include <QRectF>
#include <QString>

#include <vector>

// What a field is for: typed in; worked out by the form's scripts (read-only
// and no Tab stop); or a notice the scripts write, read-only, in red and on
// screen only.
enum class Pdf_Role { Typed, Computed, Notice };

struct Pdf_Field {
    QString Name;  // the fully qualified name, parts joined by '.'
    QString Tooltip;
    // PDF points from the page's lower-left corner, y upwards: x() and y()
    // are the field's lower-left corner.
    QRectF Rect;
    double Font_Size; // points; 0 lets the reader fit the value to the field
    bool Right_Aligned;
    Pdf_Role Role;
};

struct Pdf_Names {
    QString Title, Creator;
};

// A script a reader runs for a field (JavaScript, as PDF forms carry
// them): a keystroke script sees each change as it is typed and the value
// as it is committed, and may refuse either; a validation may refuse or
// change a committed value; a calculation works the field's value out
// again whenever a value of the form changes, the calculations in the order
// they are listed; a format shows it.
struct Pdf_Script {
    QString Field; // the fully qualified name
    enum Event { Keystroke, Validate, Calculate, Format, Focus } When;
    QString Source;
};

// One element of the document's structure: what a reader reads out, and as
// what.
struct Pdf_Element {
    QByteArray Type; // a standard structure type: "Document", "H1", "P", "Table", "TR", "TH", "TD", "Figure", "Form"
    int Parent;      // the element it belongs to; -1 for the document itself
    // What it holds of the page's content: texts (each BT ... ET) and
    // pictures (each image drawn), counted in the order the page draws them.
    std::vector<int> Texts, Pictures;
    int Field = -1;     // the field it is, by index
    QByteArray Scope;   // of a header cell: "Column" or "Row"
    QString Alt;        // what a figure shows; a field's element takes the field's tooltip
    QString Actual_Text; // the words its texts stand for, where they do not read as drawn (a heading over two lines)
};

struct Pdf_Extras {
    std::vector<Pdf_Script> Scripts;
    QString Open_Script; // run when the document is opened
    // Every element, each after its parent, in reading order; empty for a
    // PDF without structure. What the page draws that no element holds
    // (rules, boxes, hatching) is marked as decoration.
    std::vector<Pdf_Element> Structure;
    QString Language;
};

// Puts `fields` on the first page of `pdf` as an interactive form, each
// with an empty value and an appearance of its own that draws nothing, in
// Liberation Sans (read from `font_file` and embedded), and names the
// document in its information and its XMP metadata; the page's own content
// is kept as drawn, only marked as `extras` describes it (a page whose
// texts do not match the structure is left untagged), with the fields'
// scripts. Gives the new PDF; fails when `pdf` is damaged in any way (it is
// refused, not repaired) or the font cannot be read. A fault of the module
// itself is thrown.
using Add_Pdf_Form_Function = Result<QByteArray> (*)(const QByteArray &pdf, const std::vector<Pdf_Field> &fields,
                                                     const Pdf_Names &names, const QString &font_file,
                                                     const Pdf_Extras &extras);
constexpr const char *Add_Pdf_Form_Symbol = "Quorvel_Add_Pdf_Form";

// A field of a filled-in PDF form, as the file holds it.
struct Pdf_Field_Value {
    QString Name;  // the fully qualified name, parts joined by '.'
    QString Value; // as text: a string as it reads, a number or a name as written; "" for none
};

// Reads every field of a PDF form, whichever reader saved it (incremental
// updates, object streams, fields without appearances, values as text or
// as numbers). Fails, saying why, when the bytes are no PDF or a damaged
// one, hold no form, or hold more than `most_fields` fields. A fault of the
// module itself is thrown.
using Read_Pdf_Fields_Function = Result<std::vector<Pdf_Field_Value>> (*)(const QByteArray &pdf,
                                                                          std::size_t most_fields);
constexpr const char *Read_Pdf_Fields_Symbol = "Quorvel_Read_Pdf_Fields";
