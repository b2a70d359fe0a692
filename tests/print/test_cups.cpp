// The "PDF" command through the real print system: the dialog (replaced)
// picks a CUPS queue as a person would, and the job must come out of the
// queue's cups-pdf back end as one PDF of one page with the form in place;
// a refused job or a scheduler that is gone is reported, a held job is not.
// Run by scripts/cups-print-test, which provides the scheduler and the queue.
#include "page_build.h"
#include "preview_surface.h"
#include "printed_page.h"
#include "printing.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QPrinterInfo>
#include <QProcess>
#include <QTest>

class Test_Cups_Printing : public QObject {
    Q_OBJECT

    QString queue_ = qEnvironmentVariable("QUORVEL_CUPS_QUEUE");
    QString output_ = qEnvironmentVariable("QUORVEL_CUPS_OUTPUT");

    QStringList Pdf_Files() const
    {
        return QDir(output_).entryList({QStringLiteral("*.pdf")}, QDir::Files);
    }

    // Waits up to `wait` ms for the queue's back end to write one more PDF
    // than `before` (the scheduler and its filters run on their own time),
    // then makes sure no second one follows; the new one, or nothing.
    QString Added_Pdf(const QStringList &before, int wait = 60000) const
    {
        const auto added = [&] {
            QStringList files = Pdf_Files();
            for (const QString &old : before)
                files.removeAll(old);
            return files;
        };
        QDeadlineTimer deadline(wait);
        while (!deadline.hasExpired()
               && (added().isEmpty() || Pdf_Page_Count(QDir(output_).filePath(added().first())) < 0))
            QTest::qWait(200);
        QTest::qWait(1500);
        return added().size() == 1 ? QDir(output_).filePath(added().first()) : QString();
    }

    // The "PDF" command with the queue picked in the dialog, running the
    // shell command `meanwhile` while the dialog is open; what it reported.
    QStringList Print_To_Queue(Surface &preview, const QString &meanwhile = {})
    {
        Set_Printer_Dialog([&](QPrinter &printer, QWidget *) {
            // As the dialog does when a printer is picked after a print to a file.
            printer.setOutputFileName({});
            printer.setOutputFormat(QPrinter::NativeFormat);
            printer.setPrinterName(queue_);
            printableTopLeft_ = printer.pageLayout().paintRect(QPageLayout::Point).topLeft();
            return meanwhile.isEmpty() || Shell(meanwhile);
        });
        QStringList failures;
        Set_Print_Failure_Report([&](QWidget *, const QString &reason) { failures.append(reason); });
        Print_Page(nullptr, preview);
        Set_Printer_Dialog();
        Set_Print_Failure_Report();
        return failures;
    }

    static bool Shell(const QString &command)
    {
        return QProcess::execute(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command}) == 0;
    }

    QPointF printableTopLeft_;

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

    void printsOnePageThroughTheQueue()
    {
        const QStringList before = Pdf_Files();
        Preview_Surface preview;
        OutputTarget = &preview;
        Zoom_Factor = 0.5;
        Build_Page();
        const quint64 generation = preview.Generation();

        const QStringList failures = Print_To_Queue(preview);

        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(u'\n')));
        QCOMPARE(OutputTarget, &preview);
        QCOMPARE(preview.Generation(), generation);
        QCOMPARE(Zoom_Factor, Single(0.5));

        const QString pdf = Added_Pdf(before);
        QVERIFY(!pdf.isEmpty());
        QCOMPARE(Pdf_Page_Count(pdf), 1);
        QCOMPARE(Pdf_Page_Size(pdf), QSizeF(612, 792));
        // The print system turns the text into shapes: the page is checked
        // by where its ink lies, against the preview at 100 %.
        Zoom_Factor = 1;
        Build_Page();
        Check_Same_Sheet(Pdf_Image(pdf, 96), printableTopLeft_, preview.Image());
    }

    // A queue that refuses jobs, or a scheduler that goes away while the
    // dialog is open, is reported with the queue's name and the reason; a
    // stopped queue that accepts jobs holds the job, as lp sees it, and
    // prints it once started. No job file is left behind.
    void refusedHeldAndLostJobs_data()
    {
        QTest::addColumn<QString>("meanwhile");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QString>("failure"); // empty: the job is taken
        QTest::newRow("not accepting jobs") << "cupsreject \"$QUORVEL_CUPS_QUEUE\""
                                            << "cupsaccept \"$QUORVEL_CUPS_QUEUE\"" << "not accepting jobs";
        QTest::newRow("stopped, accepting") << "cupsdisable \"$QUORVEL_CUPS_QUEUE\""
                                            << "cupsenable \"$QUORVEL_CUPS_QUEUE\"" << "";
        // Last, as it ends the scheduler.
        QTest::newRow("scheduler gone")
            << "kill $QUORVEL_CUPSD_PID && while [ -S \"$CUPS_SERVER\" ]; do sleep 0.1; done" << "true"
            << "does not answer";
    }
    void refusedHeldAndLostJobs()
    {
        QFETCH(QString, meanwhile);
        QFETCH(QString, after);
        QFETCH(QString, failure);
        const QStringList before = Pdf_Files();
        const QStringList temporary = QDir::temp().entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        Preview_Surface preview;

        const QStringList failures = Print_To_Queue(preview, meanwhile);

        QVERIFY(Shell(after));
        QCOMPARE(QDir::temp().entryList(QDir::AllEntries | QDir::NoDotAndDotDot), temporary);
        if (failure.isEmpty()) {
            QVERIFY2(failures.isEmpty(), qPrintable(failures.join(u'\n')));
            QVERIFY(!Added_Pdf(before).isEmpty());
        } else {
            QCOMPARE(failures.size(), 1);
            QVERIFY2(failures.first().contains(queue_) && failures.first().contains(failure),
                     qPrintable(failures.first()));
            QVERIFY(Added_Pdf(before, 2000).isEmpty());
        }
    }
};

QTEST_MAIN(Test_Cups_Printing)
#include "test_cups.moc"
