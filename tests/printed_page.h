// Reading a printed page back with poppler (its page count, size and
// pixels), and the checks of a drawing against the preview and against a
// reviewed reference image.
#pragma once

#include <QImage>
#include <QPointF>
#include <QString>

// -1 when the file cannot be read as a PDF.
int Pdf_Page_Count(const QString &pdf);
// The first page's size in points; empty on failure.
QSizeF Pdf_Page_Size(const QString &pdf);
// The first page at `dpi`, in grey; null on failure.
QImage Pdf_Image(const QString &pdf, int dpi);

// Where two pictures of the sheet at 96 DPI differ, block by block: `page`
// from a printed page whose printable area starts at `printableTopLeft`
// (points), `sheet` from the sheet's corner. Empty when they agree.
QString Sheet_Difference(const QImage &page, QPointF printableTopLeft, const QImage &sheet);
// Checks (Qt Test) that they agree.
void Check_Same_Sheet(const QImage &page, QPointF printableTopLeft, const QImage &sheet);

// Checks (Qt Test) that a drawn image is a reviewed reference PNG pixel for
// pixel; on a difference the drawn image is left in the working folder under
// the reference's name, to look at and, once reviewed, to take its place.
void Check_Reference_Image(const QImage &drawn, const QString &reference);
