// Reading a printed page back: its words and where they sit (pdftotext
// -bbox), its page count (pdfinfo) and its pixels (pdftoppm), and the checks
// that the printed form is where the form's tables put it.
#pragma once

#include <QImage>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QString>

struct Printed_Word {
    QString text;
    QRectF box; // points from the page's top-left corner
};

// -1 when the file cannot be read as a PDF.
int Pdf_Page_Count(const QString &pdf);
// The first page's size in points (rounded); empty on failure.
QSize Pdf_Page_Size(const QString &pdf);
QList<Printed_Word> Pdf_Words(const QString &pdf);
// The first page at `dpi`, as a grey-scale image; null on failure.
QImage Pdf_Image(const QString &pdf, int dpi);
// The images stored in the PDF, decoded (pdfimages), in their order there.
QList<QImage> Pdf_Images(const QString &pdf);

// Checks (QtTest) that labels of the form sit where the form puts them,
// given the printable area's top-left corner in points.
void Check_Label_Positions(const QList<Printed_Word> &words, QPointF printableTopLeft);

// Checks (QtTest) that the labels are inked at the same places on two
// printed pages, found by their words on the reference, whose text can be
// read (a print system may turn text into shapes).
void Check_Same_Label_Ink(const QString &referencePdf, QPointF referenceTopLeft, const QString &otherPdf,
                          QPointF otherTopLeft);

// Checks (QtTest) that the printed page at 96 DPI has the structure of the
// preview at 100 %: the same rules and grey bands at the same heights and
// the same text columns. `printableTopLeft` is in points.
void Check_Same_Structure(const QImage &printed, QPointF printableTopLeft, const QImage &preview);
