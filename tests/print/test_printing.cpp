// The "PDF" command with the printer dialog replaced by one that chooses as a
// person would: to a PDF file (what reaches it, what a cancel and a file that
// cannot be written leave behind) and, run by tests/print/cups-print-test with
// its private scheduler, to a CUPS queue (the job comes out of the queue's
// cups-pdf back end as the form; a refused job or a scheduler that is gone is
// reported, a held one is not).
#include "page_build.h"
#include "preview_surface.h"
#include "printed_page.h"
#include "printing.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QPrinterInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {

// Files that cannot be written, for real, under `folder`: a full disk (a
// small tmpfs in the test's own mount namespace, entered before main while
// the process has one thread; root only), a link to /dev/full and a missing
// folder. Columns "file" and "reason" (what the system says); where there
// was a file, it holds "old page". quorvel-render's test tries the same
// writer on pipes and read-only folders too.
const bool Private_Mounts = geteuid() == 0 && unshare(CLONE_NEWNS) == 0 &&
                            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;

void Faulty_Targets_Data(const QString &folder)
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("reason");
    const QString full = folder + QStringLiteral("/full");
    QFile old(full + QStringLiteral("/page.pdf"));
    if (Private_Mounts && QDir().mkpath(full) && mount("tmpfs", QFile::encodeName(full), "tmpfs", 0, "size=16k") == 0 &&
        old.open(QIODevice::WriteOnly) && old.write("old page") == 8 && old.flush())
        QTest::newRow("full disk") << old.fileName() << QStringLiteral("No space left on device");
    QFile::link(QStringLiteral("/dev/full"), folder + QStringLiteral("/dev-full.pdf"));
    QTest::newRow("link to /dev/full") << folder + QStringLiteral("/dev-full.pdf") << QStringLiteral("No space left on device");
    QTest::newRow("missing folder") << folder + QStringLiteral("/missing/page.pdf")
                                    << QStringLiteral("No such file or directory");
}

// What the folder holds: names, links and sizes.
QStringList Folder_State(const QString &folder)
{
    QStringList state;
    for (const QFileInfo &entry : QDir(folder).entryInfoList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot))
        state << QStringLiteral("%1%2 %3").arg(entry.fileName(), entry.isSymLink() ? "@" : "").arg(entry.size());
    return state;
}

} // namespace

class Test_Printing : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    Preview_Surface preview_;
    QPrinter *printer_ = nullptr;
    int dialogs_ = 0;
    QStringList failures_;
    const QString queue_ = qEnvironmentVariable("QUORVEL_CUPS_QUEUE");
    const QString output_ = qEnvironmentVariable("QUORVEL_CUPS_OUTPUT");

    // The "PDF" command, the dialog choosing `file` ("" cancels it) or, when
    // `file` starts with '|', the queue after running that shell command
    // while the dialog is open.
    void Print(const QString &file)
    {
        Set_Printer_Dialog([this, file](QPrinter &printer, QWidget *) {
            ++dialogs_;
            printer_ = &printer;
            if (file.startsWith(u'|')) { // as the dialog does when a printer is picked after a file
                printer.setOutputFileName({});
                printer.setOutputFormat(QPrinter::NativeFormat);
                printer.setPrinterName(queue_);
                QProcess::execute(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), file.mid(1)});
                return true;
            }
            if (file.isEmpty())
                return false;
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(file);
            return true;
        });
        Print_Page(nullptr, preview_);
    }

    // The printed page (points, from the printable area) against the preview at 100 %.
    void Check_The_Form(const QString &pdf)
    {
        QCOMPARE(Pdf_Page_Count(pdf), 1);
        QCOMPARE(Pdf_Page_Size(pdf), QSizeF(612, 792));
        Zoom_Factor = 1;
        Build_Page();
        Check_Same_Sheet(Pdf_Image(pdf, 96), printer_->pageLayout().paintRect(QPageLayout::Point).topLeft(),
                         preview_.Image());
    }

    // The queue's new PDF, once the scheduler and its filters are done with
    // it and no second one follows; "" when none comes within `wait` ms.
    QString New_Job(const QStringList &before, int wait) const
    {
        const auto added = [&] {
            QStringList files = QDir(output_).entryList({QStringLiteral("*.pdf")}, QDir::Files);
            files.removeIf([&](const QString &file) { return before.contains(file); });
            return files;
        };
        QDeadlineTimer deadline(wait);
        while (!deadline.hasExpired() && (added().isEmpty() || Pdf_Page_Count(QDir(output_).filePath(added()[0])) < 0))
            QTest::qWait(200);
        QTest::qWait(1500);
        return added().size() == 1 ? QDir(output_).filePath(added()[0]) : QString();
    }

private slots:
    void init()
    {
        dialogs_ = 0;
        failures_.clear();
        Set_Print_Failure_Report([this](QWidget *, const QString &reason) { failures_.append(reason); });
        OutputTarget = &preview_;
        Zoom_Factor = 0.5;
        Build_Page();
    }
    void cleanup()
    {
        Set_Printer_Dialog();
        Set_Print_Failure_Report();
        QCOMPARE(OutputTarget, &preview_);
    }
    void cleanupTestCase() { umount2(QFile::encodeName(dir_.filePath(QStringLiteral("full"))), MNT_DETACH); }

    // One page, the preview left as it was, at the zoom it is drawn at; the
    // dialog with the command's flags: no selection, printing to a file kept.
    // A cancel prints nothing and says nothing; the next click shows the
    // dialog again, on the same printer with the earlier choice.
    void printsTheFormToAFileAndCancels()
    {
        const QString file = dir_.filePath(QStringLiteral("page.pdf"));
        const quint64 generation = preview_.Generation();
        Print(file);
        QVERIFY2(failures_.isEmpty(), qPrintable(failures_.join(u'\n')));
        QVERIFY(dlgCommon.CancelError);
        QCOMPARE(dlgCommon.Flags, Long(0xC0004));
        const auto options = Printer_Dialog_Options(QAbstractPrintDialog::PrintSelection, dlgCommon.Flags);
        QCOMPARE(options, QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintCollateCopies);
        QPrinter *first = printer_;
        const QStringList files = QDir(dir_.path()).entryList();
        Print({});
        Print({});
        QCOMPARE(QDir(dir_.path()).entryList(), files);
        QCOMPARE(dialogs_, 3);
        QCOMPARE(printer_, first);
        QCOMPARE(printer_->outputFileName(), file);
        QVERIFY(failures_.isEmpty());
        QCOMPARE(Zoom_Factor, Single(0.5));
        QCOMPARE(preview_.Generation(), generation);
        QCOMPARE(printer_->pageLayout().orientation(), QPageLayout::Portrait);
        Check_The_Form(file);
    }

    // A file that cannot be written is reported with its name and the
    // system's reason; the old file stays as it was and nothing is left.
    void failedPrintKeepsTheOldFile_data() { Faulty_Targets_Data(dir_.path()); }
    void failedPrintKeepsTheOldFile()
    {
        QFETCH(QString, file);
        QFETCH(QString, reason);
        const QString folder = QFileInfo(file).path();
        const QStringList before = Folder_State(folder);
        Print(file);
        QCOMPARE(failures_.size(), 1);
        QVERIFY2(failures_[0].contains(file) && failures_[0].contains(reason), qPrintable(failures_[0]));
        QCOMPARE(Folder_State(folder), before);
        QCOMPARE(Zoom_Factor, Single(0.5));
    }

    // Through the queue: taken as it is, not even begun (Qt cannot write
    // the job's file), refused while the dialog is open, held by a stopped
    // queue (a success, as lp sees it), or lost with the scheduler. No job
    // file is left behind in the program's folders.
    void printsThroughTheQueue_data()
    {
        QTest::addColumn<QString>("meanwhile");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QString>("failure"); // empty: the job is taken
        QTest::addColumn<QString>("tmpdir");  // where Qt writes the job first, in our folder; empty: as it is
        QTest::newRow("taken") << "" << "" << "" << "";
        QTest::newRow("no room for the job") << "" << "" << "could not be opened" << "missing";
        QTest::newRow("not accepting jobs") << "cupsreject $QUORVEL_CUPS_QUEUE" << "cupsaccept $QUORVEL_CUPS_QUEUE"
                                            << "not accepting jobs" << "";
        QTest::newRow("stopped, accepting") << "cupsdisable $QUORVEL_CUPS_QUEUE" << "cupsenable $QUORVEL_CUPS_QUEUE" << "" << "";
        QTest::newRow("scheduler gone") // last, as it ends the scheduler
            << "kill $QUORVEL_CUPSD_PID && while [ -S $CUPS_SERVER ]; do sleep 0.1; done" << "" << "does not answer" << "";
    }
    void printsThroughTheQueue()
    {
        QFETCH(QString, meanwhile);
        QFETCH(QString, after);
        QFETCH(QString, failure);
        QFETCH(QString, tmpdir);
        if (queue_.isEmpty())
            QSKIP("needs a print queue: run through tests/print/cups-print-test");
        QVERIFY(QPrinterInfo::availablePrinterNames().contains(queue_));
        const QStringList before = QDir(output_).entryList({QStringLiteral("*.pdf")}, QDir::Files);
        const QStringList temporary = QDir::temp().entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        const QByteArray tmp = qgetenv("TMPDIR");
        if (!tmpdir.isEmpty())
            qputenv("TMPDIR", dir_.filePath(tmpdir).toUtf8());
        Print(u'|' + meanwhile);
        qputenv("TMPDIR", tmp);
        QProcess::execute(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), after});
        QCOMPARE(QDir::temp().entryList(QDir::AllEntries | QDir::NoDotAndDotDot), temporary);
        QCOMPARE(Zoom_Factor, Single(0.5));
        if (!failure.isEmpty()) {
            QCOMPARE(failures_.size(), 1);
            QVERIFY2(failures_[0].contains(queue_) && failures_[0].contains(failure), qPrintable(failures_[0]));
            QVERIFY(New_Job(before, 2000).isEmpty());
            return;
        }
        QVERIFY2(failures_.isEmpty(), qPrintable(failures_.join(u'\n')));
        const QString job = New_Job(before, 60000);
        QVERIFY2(job.contains(QStringLiteral("Travel_Expense_Report")), qPrintable(job)); // cups-pdf names it by the job
        // The print system turns the texts into shapes: the form is checked
        // by where its ink lies.
        Check_The_Form(job);
    }
};

QTEST_MAIN(Test_Printing)
#include "test_printing.moc"
