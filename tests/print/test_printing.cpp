// The "PDF" command with the printer dialog replaced by one that chooses as a
// person would: to a PDF file (what reaches it, what a cancel and a file that
// cannot be written leave behind) and, run by tests/print/cups-print-test with
// its private scheduler, to a CUPS queue (the job comes out of the queue's
// cups-pdf back end as the form; a refused job or a scheduler that is gone is
// reported, a held one is not). The CUPS client alone, against a made-up
// libcups: what the user is told of a scheduler that refuses the connection,
// never answers, answers in another language than IPP, or about its queues.
#include "cups_client.h"
#include "page_build.h"
#include "preview_surface.h"
#include "printed_page.h"
#include "printing.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLibrary>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinterInfo>
#include <QPushButton>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <optional>
#include <csignal>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <thread>

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

// A libcups made up for the CUPS client: the scheduler answers as `fake` says.
enum Kind { Refuses, Silent, Http, Hangs, Ipp };

struct Scheduler_Fake {
    const char *server = "print.example";
    Kind kind = Ipp;
    ipp_status_t status = IPP_STATUS_OK;
    bool accepting = true, stopped = false, known = false; // known: found on the network
    const char *message = "";
    ipp_op_t op{};
    QByteArray uri;
    http_timeout_cb_t keep_waiting = nullptr; void *waiting = nullptr; // the client's own, to wait on
    std::atomic<int> open{0};
} fake;

template <typename T> T *Handle() { return reinterpret_cast<T *>(&fake); }

const Cups_Library fake_library = {
    [] { return fake.server; }, [] { return 6310; }, [] { return HTTP_ENCRYPTION_IF_REQUESTED; },
    [](const char *, int, http_addrlist_t *, int, http_encryption_t, int, int, int *) -> http_t * {
        return fake.kind == Refuses ? nullptr : (++fake.open, Handle<http_t>()); },
    [](http_t *, double, http_timeout_cb_t cb, void *data) { fake.keep_waiting = cb, fake.waiting = data; },
    [](http_t *) { return fake.kind == Http ? HTTP_STATUS_NOT_IMPLEMENTED : HTTP_STATUS_ERROR; },
    [](http_t *) { --fake.open; }, [](ipp_op_t op) { return fake.op = op, Handle<ipp_t>(); },
    [](ipp_t *, ipp_tag_t, ipp_tag_t, const char *, const char *, const char *uri) { return fake.uri = uri, Handle<ipp_attribute_t>(); },
    [](ipp_t *, ipp_tag_t, ipp_tag_t, const char *, int, const char *, const char *const *) { return Handle<ipp_attribute_t>(); },
    [](http_t *http, ipp_t *, const char *) -> ipp_t * {
        while (fake.kind == Silent && fake.keep_waiting(http, fake.waiting))
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return fake.kind == Ipp ? Handle<ipp_t>() : nullptr;
    },
    [](ipp_t *, const char *, ipp_tag_t) { return Handle<ipp_attribute_t>(); },
    [](ipp_attribute_t *, int, const char **) { return fake.message; },
    [](ipp_attribute_t *, int) { return int(fake.stopped ? IPP_PSTATE_STOPPED : IPP_PSTATE_IDLE); },
    [](ipp_attribute_t *, int) { return int(fake.accepting); }, [](ipp_t *) { return fake.status; }, [](ipp_t *) {},
    [] { return fake.kind == Ipp ? fake.status : IPP_STATUS_ERROR_INTERNAL; },
    [] { return fake.kind == Refuses ? "Connection refused" : fake.kind == Http ? "Not Implemented" : "No such queue"; },
    [](http_t *, const char *, const char *) { return fake.known ? Handle<cups_dest_t>() : nullptr; }, [](int, cups_dest_t *) {},
};

} // namespace

class Test_Printing : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    Preview_Surface preview_;
    std::optional<Drawing_Scope> drawn_; // the preview a print must leave as it was
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
        const Drawing_Scope scope(preview_, 1);
        Build_Page();
        Check_Same_Sheet(Pdf_Image(pdf, 96), printer_->pageLayout().paintRect(QPageLayout::Point).topLeft(),
                         preview_.Image());
    }

    // The queue's new PDF, once the scheduler has no job left (its filters
    // done with every file it was given); "" when none came, or more than
    // one. A job still there after `wait` ms counts as none.
    QString New_Job(const QStringList &before, int wait) const
    {
        const auto pending = [this] {
            QProcess lpstat;
            lpstat.start(QStringLiteral("lpstat"), {QStringLiteral("-o"), queue_});
            return lpstat.waitForFinished() && lpstat.exitCode() == 0 && !lpstat.readAllStandardOutput().trimmed().isEmpty();
        };
        QDeadlineTimer deadline(wait);
        while (!deadline.hasExpired() && pending())
            QTest::qWait(200);
        QStringList files = QDir(output_).entryList({QStringLiteral("*.pdf")}, QDir::Files);
        files.removeIf([&](const QString &file) { return before.contains(file); });
        return files.size() == 1 && !pending() ? QDir(output_).filePath(files[0]) : QString();
    }

private slots:
    void init()
    {
        dialogs_ = 0;
        failures_.clear();
        notices_.clear();
        Set_Print_Failure_Report([this](QWidget *, const QString &reason) { failures_.append(reason); });
        Set_Print_Notice([this](QWidget *, const QString &notice) { notices_.append(notice); });
        drawn_.emplace(preview_, 0.5f);
        Build_Page();
    }
    void cleanup()
    {
        Set_Printer_Dialog();
        Set_Print_Failure_Report();
        Set_Print_Notice();
        QCOMPARE(OutputTarget, &preview_);
        drawn_.reset();
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

    // The CUPS client against a libcups made up here (fake_library): where
    // the scheduler is, how it answers, the printer asked for ("" asks
    // for the printer list), and what the user is told.
    void clientTellsWhatTheSchedulerSaid()
    {
        const ipp_status_t ok = IPP_STATUS_OK, gone = IPP_STATUS_ERROR_NOT_FOUND;
        const struct { const char *server; Kind kind; ipp_status_t status; bool accepting, known; QString printer, told; } rows[] = {
            {"print.example", Silent, ok, true, false, "", "the print system (CUPS) at print.example:6310 does not answer"},
            {"/run/cups/cups.sock", Refuses, ok, true, false, "",
             "no print system (CUPS) takes connections at /run/cups/cups.sock (Connection refused)"},
            {"::1", Http, ok, true, false, "Office", "The printer \"Office\" cannot be reached: the server at [::1]:6310 "
             "did not answer as a print system (CUPS) does (HTTP status 501, Not Implemented)."},
            {"print.example", Hangs, ok, true, false, "", "the server at print.example:6310 did not answer as a print "
             "system (CUPS) does (it took the connection but gave no HTTP answer)"},
            {"print.example", Ipp, ok, false, false, "Office", "The printer \"Office\" is not accepting jobs: out of "
             "toner (CUPS: server-error-not-accepting-jobs)"},
            {"print.example", Ipp, gone, true, false, "Office/2", "The printer \"Office/2\" cannot be reached: No such queue"},
            {"print.example", Ipp, gone, true, true, "Office/2", ""}, // found on the network
            {"print.example", Ipp, ok, true, false, "", ""},
        };
        for (const auto &row : rows) {
            fake.server = row.server, fake.kind = row.kind, fake.status = row.status, fake.known = row.known;
            fake.accepting = row.accepting, fake.message = row.accepting ? "" : "out of toner", fake.uri.clear();
            const Queue_State state = Ask_Scheduler(fake_library, row.printer, [] { return true; }, 300);
            QCOMPARE(row.printer.isEmpty() ? Not_Heard(state) : Queue_Failure(row.printer, state), row.told);
            QTRY_COMPARE(fake.open.load(), 0); // every connection closed, the silent one once given up
            if (row.kind != Refuses)
                QCOMPARE(fake.op, row.printer.isEmpty() ? IPP_OP_CUPS_GET_PRINTERS : IPP_OP_GET_PRINTER_ATTRIBUTES);
            QCOMPARE(fake.uri, row.printer.isEmpty() ? QByteArray() : QByteArray("ipp://localhost:6310/printers/Office"));
        }
    }

    // The user stops waiting: nothing to tell. A stopped queue that accepts
    // jobs is no failure; a job it refused is, with the administrator's
    // reason when the queue tells it.
    void clientCancelsAndChecksTheJob()
    {
        fake.kind = Silent;
        const Queue_State cancelled = Ask_Scheduler(fake_library, {}, [] { return false; });
        QVERIFY(cancelled.heard == Heard::Cancelled && Not_Heard(cancelled).isEmpty());
        QTRY_COMPARE(fake.open.load(), 0);
        fake.kind = Ipp, fake.status = IPP_STATUS_OK, fake.stopped = true, fake.message = "paper jam";
        const Queue_State stopped = Ask_Scheduler(fake_library, QStringLiteral("Office"), [] { return true; });
        QVERIFY(stopped.stopped && Queue_Failure("Office", stopped).isEmpty());
        const ipp_status_t refused = IPP_STATUS_ERROR_NOT_ACCEPTING_JOBS;
        QCOMPARE(Submission_Failure("Office", IPP_STATUS_OK_CONFLICTING, "", stopped) +
                     Submission_Failure("Office", refused, "refused", stopped) + u'|' +
                     Submission_Failure("Office", refused, "refused", cancelled),
                 "The printer \"Office\" is not accepting jobs: paper jam (CUPS: refused)|"
                 "The printer \"Office\" did not take the job: refused");
    }
    // A print server that never takes the connection (its backlog full, as a
    // host that drops connections) is reported with its address and port
    // within seconds, before the dialog; tests/print/cups-print-test has one
    // that stops meanwhile, and bench/print_waits.cpp how long the window waits.
    void serverNeverTakesTheConnection()
    {
        sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        const auto at = reinterpret_cast<sockaddr *>(&address);
        socklen_t size = sizeof address;
        const int server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        QVERIFY(bind(server, at, size) == 0 && listen(server, 0) == 0 && getsockname(server, at, &size) == 0);
        int waiting[3]; // the backlog filled: the next connection is never taken
        for (int &fd : waiting)
            ::connect(fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0), at, size);
        const QByteArray where = "127.0.0.1:" + QByteArray::number(ntohs(address.sin_port));
        const auto setServer = reinterpret_cast<void (*)(const char *)>(QLibrary::resolve("cups", 2, "cupsSetServer"));
        setServer(where.constData());
        QElapsedTimer waited;
        waited.start();
        Print(dir_.filePath(QStringLiteral("never.pdf")));
        setServer(nullptr);
        for (int fd : {server, waiting[0], waiting[1], waiting[2]})
            close(fd);
        QCOMPARE(dialogs_, 0);
        QCOMPARE(failures_, QStringList("Nothing was printed: the print system (CUPS) at " + where + " does not answer."));
        QVERIFY2(waited.elapsed() < 10000, qPrintable(QString::number(waited.elapsed())));
    }

    // The real dialog with a pipe as its file: "Print" is refused with a
    // message before Qt's dialog opens the name (where it would wait for a
    // reader for ever; one comes after 10 s should it do so), and the dialog
    // stays open, to be cancelled. Our checks are in place: Qt's private
    // slot that they replace is still there by its name.
    void dialogRefusesAPipe()
    {
        QTest::failOnWarning(QRegularExpression(QStringLiteral("not built as expected")));
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
            << "" << "kill $QUORVEL_CUPSD_PID && while [ -S $CUPS_SERVER ]; do sleep 0.1; done" << "" << "no print system (CUPS) takes connections at /"
            << "" << "";
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
