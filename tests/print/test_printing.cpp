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

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QDir>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinterInfo>
#include <QPushButton>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

// Files that cannot be written, for real, under `folder`: a file-size
// limit, which Qt's PDF writer meets already in memory, and a link to
// /dev/full, which the file's own write meets. Columns "file", "reason"
// (what the system says) and "limit" (bytes; 0: none); where there was a
// file, it holds "old page". quorvel-render's test tries the same writer on
// full disks, pipes, missing and read-only folders and injected errors.
void Faulty_Targets_Data(const QString &folder)
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<int>("limit");
    QFile limited(folder + QStringLiteral("/limited.pdf"));
    if (limited.open(QIODevice::WriteOnly) && limited.write("old page") == 8 && limited.flush())
        QTest::newRow("file-size limit") << limited.fileName() << QStringLiteral("File too large") << 20480;
    QFile::link(QStringLiteral("/dev/full"), folder + QStringLiteral("/dev-full.pdf"));
    QTest::newRow("link to /dev/full") << folder + QStringLiteral("/dev-full.pdf") << QStringLiteral("No space left on device") << 0;
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
    QStringList notices_;
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
        Print_Page(nullptr);
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
        notices_.clear();
        Set_Print_Failure_Report([this](QWidget *, const QString &reason) { failures_.append(reason); });
        Set_Print_Notice([this](QWidget *, const QString &notice) { notices_.append(notice); });
        OutputTarget = &preview_;
        Zoom_Factor = 0.5;
        Build_Page();
    }
    void cleanup()
    {
        Set_Printer_Dialog();
        Set_Print_Failure_Report();
        Set_Print_Notice();
        QCOMPARE(OutputTarget, &preview_);
    }

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
        QFETCH(int, limit);
        const QString folder = QFileInfo(file).path();
        const QStringList before = Folder_State(folder);
        struct rlimit unlimited {};
        getrlimit(RLIMIT_FSIZE, &unlimited);
        const struct rlimit limited = {limit ? rlim_t(limit) : unlimited.rlim_cur, unlimited.rlim_max};
        signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &limited);
        Print(file);
        setrlimit(RLIMIT_FSIZE, &unlimited);
        QCOMPARE(failures_.size(), 1);
        QVERIFY2(failures_[0].contains(file) && failures_[0].contains(reason), qPrintable(failures_[0]));
        QCOMPARE(Folder_State(folder), before);
        QCOMPARE(Zoom_Factor, Single(0.5));
    }

    // The real dialog with a pipe as its file: "Print" is refused with a
    // message before Qt's dialog opens the name (where it would wait for a
    // reader for ever; one comes after 10 s should it do so), and the dialog
    // stays open, to be cancelled.
    void dialogRefusesAPipe()
    {
        const QString pipe = dir_.filePath(QStringLiteral("pipe.pdf"));
        QVERIFY(mkfifo(QFile::encodeName(pipe), 0600) == 0);
        Print(pipe); // the printer offers the pipe from now on
        Set_Printer_Dialog();
        QProcess reader;
        reader.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("sleep 10; cat \"$0\" >/dev/null"), pipe});
        QStringList told;
        QTimer act;
        connect(&act, &QTimer::timeout, this, [&told] {
            QWidget *modal = QApplication::activeModalWidget();
            if (auto *box = qobject_cast<QMessageBox *>(modal))
                told << box->text(), box->done(QMessageBox::No);
            else if (auto *dialog = qobject_cast<QPrintDialog *>(modal))
                told.isEmpty() ? QMetaObject::invokeMethod(dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok),
                                                           "click", Qt::QueuedConnection)
                               : QMetaObject::invokeMethod(dialog, "reject");
        });
        act.start(200);
        Print_Page(nullptr);
        reader.kill();
        reader.waitForFinished();
        QCOMPARE(told, QStringList(QStringLiteral("\"%1\" is not a regular file.\nPlease choose a different file name.").arg(pipe)));
    }

    // Through the queue: taken as it is, not even begun (Qt cannot write
    // the job's file), refused while the dialog is open (the administrator's
    // reason shown), held by a stopped queue (a success, as lp sees it, and
    // the user told it waits), with the scheduler stopped before the dialog
    // (not opened) or while it is open, or with the scheduler gone. No wait
    // lasts anywhere near CUPS's own minutes. No job file is left behind in
    // the program's folders.
    void printsThroughTheQueue_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("meanwhile");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QString>("failure"); // empty: the job is taken
        QTest::addColumn<QString>("notice");
        QTest::addColumn<QString>("tmpdir"); // where Qt writes the job first, in our folder; empty: as it is
        const QString stop = QStringLiteral("kill -STOP $QUORVEL_CUPSD_PID"), start = QStringLiteral("kill -CONT $QUORVEL_CUPSD_PID");
        QTest::newRow("taken") << "" << "" << "" << "" << "" << "";
        QTest::newRow("no room for the job") << "" << "" << "" << "could not be opened" << "" << "missing";
        QTest::newRow("not accepting jobs") << "" << "cupsreject -r 'out of toner' $QUORVEL_CUPS_QUEUE"
                                            << "cupsaccept $QUORVEL_CUPS_QUEUE" << "not accepting jobs: out of toner" << "" << "";
        QTest::newRow("stopped, accepting") << "" << "cupsdisable $QUORVEL_CUPS_QUEUE" << "cupsenable $QUORVEL_CUPS_QUEUE" << ""
                                            << "waits in its queue" << "";
        QTest::newRow("scheduler stopped before") << stop << "" << start << "does not answer" << "" << "";
        QTest::newRow("scheduler stopped meanwhile") << "" << stop << start << "does not answer" << "" << "";
        QTest::newRow("scheduler gone") // last, as it ends the scheduler
            << "" << "kill $QUORVEL_CUPSD_PID && while [ -S $CUPS_SERVER ]; do sleep 0.1; done" << "" << "does not answer" << "" << "";
    }
    void printsThroughTheQueue()
    {
        QFETCH(QString, before);
        QFETCH(QString, meanwhile);
        QFETCH(QString, after);
        QFETCH(QString, failure);
        QFETCH(QString, notice);
        QFETCH(QString, tmpdir);
        if (queue_.isEmpty())
            QSKIP("needs a print queue: run through tests/print/cups-print-test");
        QVERIFY(QPrinterInfo::availablePrinterNames().contains(queue_));
        const QStringList before_jobs = QDir(output_).entryList({QStringLiteral("*.pdf")}, QDir::Files);
        const QStringList temporary = QDir::temp().entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        const QByteArray tmp = qgetenv("TMPDIR");
        if (!tmpdir.isEmpty())
            qputenv("TMPDIR", dir_.filePath(tmpdir).toUtf8());
        QProcess::execute(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), before});
        QElapsedTimer waited;
        waited.start();
        Print(u'|' + meanwhile);
        const qint64 seconds = waited.elapsed() / 1000;
        qputenv("TMPDIR", tmp);
        QProcess::execute(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), after});
        QCOMPARE(QDir::temp().entryList(QDir::AllEntries | QDir::NoDotAndDotDot), temporary);
        QCOMPARE(Zoom_Factor, Single(0.5));
        QCOMPARE(dialogs_, before.isEmpty() ? 1 : 0);
        QVERIFY2(seconds < 30, qPrintable(QString::number(seconds)));
        QCOMPARE(notices_.size(), notice.isEmpty() ? 0 : 1);
        if (!notice.isEmpty())
            QVERIFY2(notices_[0].contains(queue_) && notices_[0].contains(notice), qPrintable(notices_[0]));
        if (!failure.isEmpty()) {
            QCOMPARE(failures_.size(), 1);
            QVERIFY2(failures_[0].contains(failure), qPrintable(failures_[0]));
            QVERIFY(New_Job(before_jobs, 2000).isEmpty());
            return;
        }
        QVERIFY2(failures_.isEmpty(), qPrintable(failures_.join(u'\n')));
        const QString job = New_Job(before_jobs, 60000);
        QVERIFY2(job.contains(QStringLiteral("Travel_Expense_Report")), qPrintable(job)); // cups-pdf names it by the job
        // The print system turns the texts into shapes: the form is checked
        // by where its ink lies.
        Check_The_Form(job);
    }
};

QTEST_MAIN(Test_Printing)
#include "test_printing.moc"
