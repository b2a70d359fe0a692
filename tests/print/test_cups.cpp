// The "PDF" command through the real print system: the dialog (replaced)
// picks a CUPS queue as a person would, and the job must come out of the
// queue's cups-pdf back end as one PDF of one page with the form in place.
// Run by scripts/cups-print-test, which provides the scheduler and the queue.
#include "page_build.h"
#include "preview_surface.h"
#include "printed_page.h"
#include "printing.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QPageSize>
#include <QPrinterInfo>
#include <QTemporaryDir>
#include <QTest>

class Test_Cups_Printing : public QObject {
    Q_OBJECT

    QString queue_ = qEnvironmentVariable("QUORVEL_CUPS_QUEUE");
    QString output_ = qEnvironmentVariable("QUORVEL_CUPS_OUTPUT");
    QTemporaryDir reference_dir_;
    QString reference_;
    QPointF referenceTopLeft_;

    QStringList Pdf_Files() const
    {
        return QDir(output_).entryList({QStringLiteral("*.pdf")}, QDir::Files);
    }

private slots:
    void initTestCase()
    {
        if (queue_.isEmpty() || output_.isEmpty())
            QSKIP("needs a print queue: run through scripts/cups-print-test");
    }

    void theQueueIsOffered()
    {
        QVERIFY2(QPrinterInfo::availablePrinterNames().contains(queue_),
                 qPrintable(QPrinterInfo::availablePrinterNames().join(u' ')));
    }

    // The same page printed to a file, whose text can be read back: the
    // reference for the page from the queue, whose text the print system's
    // PostScript filters turn into shapes.
    void printsToAFileForReference()
    {
        Preview_Surface preview;
        OutputTarget = &preview;
        reference_ = reference_dir_.filePath(QStringLiteral("reference.pdf"));
        Set_Printer_Dialog([&](QPrinter &printer, QWidget *) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(reference_);
            referenceTopLeft_ = printer.pageLayout().paintRect(QPageLayout::Point).topLeft();
            return true;
        });
        Print_Page(nullptr, preview);
        Set_Printer_Dialog();
        QCOMPARE(Pdf_Page_Count(reference_), 1);
        Check_Label_Positions(Pdf_Words(reference_), referenceTopLeft_);
    }

    void printsOnePageThroughTheQueue()
    {
        QVERIFY(QFileInfo::exists(reference_));
        const QStringList before = Pdf_Files();
        Preview_Surface preview;
        OutputTarget = &preview;
        Zoom_Factor = 0.5;
        Build_Page();
        const quint64 generation = preview.Generation();

        QPointF printableTopLeft;
        int dialogs = 0;
        Set_Printer_Dialog([&](QPrinter &printer, QWidget *) {
            ++dialogs;
            // As the dialog does when a printer is picked after a print to a file.
            printer.setOutputFileName({});
            printer.setOutputFormat(QPrinter::NativeFormat);
            printer.setPrinterName(queue_);
            printableTopLeft = printer.pageLayout().paintRect(QPageLayout::Point).topLeft();
            return true;
        });
        QStringList failures;
        Set_Print_Failure_Report([&](QWidget *, const QString &reason) { failures.append(reason); });

        Print_Page(nullptr, preview);
        Set_Printer_Dialog();
        Set_Print_Failure_Report();

        QCOMPARE(dialogs, 1);
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(u'\n')));
        QCOMPARE(OutputTarget, &preview);
        QCOMPARE(preview.Generation(), generation);
        QCOMPARE(Zoom_Factor, Single(1));

        // The job goes through the scheduler and its filters on their own
        // time; wait for the back end's file, then make sure no second one
        // follows.
        const auto added = [&] {
            QStringList files = Pdf_Files();
            for (const QString &old : before)
                files.removeAll(old);
            return files;
        };
        QDeadlineTimer deadline(60000);
        while (!deadline.hasExpired()
               && (added().isEmpty() || Pdf_Page_Count(QDir(output_).filePath(added().first())) < 0))
            QTest::qWait(200);
        QTest::qWait(1500);
        QCOMPARE(added().size(), 1);
        const QString pdf = QDir(output_).filePath(added().first());
        QCOMPARE(Pdf_Page_Count(pdf), 1);
        QCOMPARE(Pdf_Page_Size(pdf), QSizeF(612, 792));

        Zoom_Factor = 1;
        Build_Page();
        Check_Same_Sheet(Pdf_Image(pdf, 96), printableTopLeft, preview.Image());
    }
};

QTEST_MAIN(Test_Cups_Printing)
#include "test_cups.moc"
