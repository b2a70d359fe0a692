// The page printed to a PDF: one document of one page, the texts where the
// form puts them measured from the printable area's corner, and a page whose
// drawing fails is dropped instead of reaching the printer half drawn.
#include "error_of.h"
#include "page_build.h"
#include "printed_page.h"
#include "printer_surface.h"

#include <QPrinter>
#include <QTemporaryDir>
#include <QTest>

namespace {

void Set_Up(QPrinter &printer, const QString &file)
{
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(file);
    printer.setPageSize(QPageSize(QPageSize::Letter));
    printer.setPageOrientation(QPageLayout::Portrait);
}

// A printer whose drawing fails at one text, as an overflow would.
class Failing_Printer : public Printer_Surface {
public:
    using Printer_Surface::Printer_Surface;
    QString failAt;
    void Print(const QString &text) override
    {
        if (text == failAt)
            Raise_Overflow();
        Printer_Surface::Print(text);
    }
};

} // namespace

class Test_Page_Pdf : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void printed_page_puts_the_texts_where_the_form_has_them()
    {
        const QString file = dir.filePath("page.pdf");
        QPrinter printer(QPrinter::HighResolution);
        Set_Up(printer, file);
        Printer_Surface surface(printer);
        OutputTarget = &surface;
        Zoom_Factor = 0.5f;
        Build_Page();
        QCOMPARE(Zoom_Factor, 1.0f);
        QCOMPARE(surface.Documents(), 1);
        QCOMPARE(Pdf_Page_Count(file), 1);
        // HALBEK, NAME:, MON, INSTRUCTIONS, EMPLOYEE SIGNATURE and more,
        // within a point of their places, measured from the printable area.
        Check_Label_Positions(Pdf_Words(file), printer.pageLayout().paintRect(QPageLayout::Point).topLeft());
    }

    void failed_page_never_reaches_the_printer()
    {
        const QString file = dir.filePath("failed.pdf");
        QPrinter printer(QPrinter::HighResolution);
        Set_Up(printer, file);
        Failing_Printer surface(printer);
        surface.failAt = "INSTRUCTIONS";
        OutputTarget = &surface;
        QCOMPARE(Error_Of([] { Build_Page(); }), int(Err_Overflow));
        QCOMPARE(surface.Documents(), 0);
        QVERIFY(!QFile::exists(file));

        // Nothing of the failed page is left to print: ending the document
        // now gives an empty page.
        surface.EndDoc();
        QCOMPARE(Pdf_Page_Count(file), 1);
        QCOMPARE(Pdf_Words(file).size(), 0);
    }
};

QTEST_MAIN(Test_Page_Pdf)
#include "test_page_pdf.moc"
