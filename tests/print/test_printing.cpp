// The "PDF" command with the printer dialog replaced by one that chooses as a
// person would: to a PDF file (what reaches it, what a cancel and a file that
// cannot be written leave behind) and, run by tests/print/cups-print-test with
// its private scheduler, to a CUPS queue (the job comes out of the queue's
// cups-pdf back end as the form; a refused job or a scheduler that is gone is
// reported, a held one is not). Against made-up print servers on 127.0.0.1
// (fake_ipp_server.py, or a port that refuses or never takes connections):
// what the user is told, and when, of one that stops answering, answers a
// byte at a time, never confirms a job, ends it, or answers in another
// language than IPP.
#include "cups_client.h"
#include "page_build.h"
#include "pdf_form.h"
#include "preview_surface.h"
#include "printed_page.h"
#include "print_command.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QElapsedTimer>
#include <QLibrary>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinterInfo>
#include <QPushButton>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <map>
#include <optional>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// The attempts at a lock since the last reset, by descriptor (the file's,
// and the temporary's that replaces it): more than one on one is a wait.
std::map<int, int> lock_attempts;

// What the folder holds: names, links and sizes.
QStringList Folder_State(const QString &folder)
{
    QStringList state;
    for (const QFileInfo &entry : QDir(folder).entryInfoList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot))
        state << QStringLiteral("%1%2 %3").arg(entry.fileName(), entry.isSymLink() ? "@" : "").arg(entry.size());
    return state;
}

// tests/print/fake_ipp_server.py in `mode`, on 127.0.0.1, or a port made
// here: "closed" (nothing listens there) or "backlog" (its backlog full, as
// a host that drops connections: the next connection is never taken). Ends
// with the test.
class Fake_Server {
public:
    explicit Fake_Server(const QString &mode)
    {
        if (mode == QLatin1String("closed") || mode == QLatin1String("backlog")) {
            sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
            const auto at = reinterpret_cast<sockaddr *>(&address);
            socklen_t size = sizeof address;
            fds_ << socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            QVERIFY(bind(fds_[0], at, size) == 0 && listen(fds_[0], 0) == 0 && getsockname(fds_[0], at, &size) == 0);
            for (int waiting = 0; waiting < 3 && mode == QLatin1String("backlog"); ++waiting) {
                fds_ << socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
                ::connect(fds_.last(), at, size);
            }
            if (mode == QLatin1String("closed"))
                ::close(fds_.takeFirst());
            address_ = "127.0.0.1:" + QByteArray::number(ntohs(address.sin_port));
            return;
        }
        server_.start(QStringLiteral("python3"), {QStringLiteral(FAKE_IPP_SERVER), mode});
        QDeadlineTimer started(30000);
        while (!server_.canReadLine() && server_.waitForReadyRead(int(started.remainingTime())))
            ;
        address_ = "127.0.0.1:" + server_.readLine().trimmed().mid(5);
    }
    ~Fake_Server()
    {
        for (const int fd : std::as_const(fds_))
            ::close(fd);
        server_.closeWriteChannel();
        server_.waitForFinished();
    }
    QByteArray Address() const { return address_; }
    // What it has said since it told its port (each request it was asked).
    QByteArray Said()
    {
        server_.waitForReadyRead(0);
        return said_ += server_.readAllStandardOutput();
    }

private:
    QProcess server_;
    QList<int> fds_;
    QByteArray address_, said_;
};

// Where this thread's libcups asks; nothing: where it asked before.
void Set_Cups_Server(const QByteArray &address)
{
    static const auto set = reinterpret_cast<void (*)(const char *)>(QLibrary::resolve("cups", 2, "cupsSetServer"));
    set(address.isEmpty() ? nullptr : address.constData());
}

} // namespace

extern "C" int flock(int fd, int operation) noexcept
{
    ++lock_attempts[fd];
    return int(syscall(SYS_flock, fd, operation));
}

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
    // `file` starts with '|', `queue` after running that shell command
    // while the dialog is open.
    void Print(const QString &file, const QString &queue = qEnvironmentVariable("QUORVEL_CUPS_QUEUE"))
    {
        Set_Printer_Dialog([this, file, queue](QPrinter &printer, QWidget *) {
            ++dialogs_;
            printer_ = &printer;
            if (file.startsWith(u'|')) { // as the dialog does when a printer is picked after a file
                printer.setOutputFileName({});
                printer.setOutputFormat(QPrinter::NativeFormat);
                printer.setPrinterName(queue);
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

    // The queue's new PDF, once the scheduler has no job left for it (the
    // back end has written its file by then); "" when none or several came.
    QString New_Job(const QStringList &before) const
    {
        const auto idle = [this] {
            QProcess jobs;
            jobs.start(QStringLiteral("lpstat"), {QStringLiteral("-o"), queue_});
            return jobs.waitForFinished() && jobs.readAllStandardOutput().isEmpty();
        };
        for (QDeadlineTimer deadline(60000); !deadline.hasExpired() && !idle();)
            QTest::qWait(200);
        QStringList files = QDir(output_).entryList({QStringLiteral("*.pdf")}, QDir::Files);
        files.removeIf([&](const QString &file) { return before.contains(file); });
        return files.size() == 1 ? QDir(output_).filePath(files[0]) : QString();
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
        QVERIFY(dlgCommon.CancelError);
        QCOMPARE(Printer_Dialog_Options(QAbstractPrintDialog::PrintSelection, dlgCommon.Flags),
                 QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintCollateCopies);
        QPrinter *first = printer_;
        const QStringList files = QDir(dir_.path()).entryList();
        Print({});
        Print({});
        QCOMPARE(QDir(dir_.path()).entryList(), files);
        QCOMPARE(dialogs_, 3);
        QVERIFY2(failures_.isEmpty(), qPrintable(failures_.join(u'\n')));
        QCOMPARE(printer_, first);
        QCOMPARE(printer_->outputFileName(), file);
        QCOMPARE(Zoom_Factor, Single(0.5));
        QCOMPARE(preview_.Generation(), generation);
        Check_The_Form(file);
    }

    // A file that cannot be written, here because another program keeps it
    // locked, is reported at once (the window never waits on another
    // program's lock) with its name and the system's reason; the old file
    // stays as it was and nothing is left. quorvel-render's test tries the
    // same writer on full disks, a file-size limit, pipes, missing and
    // read-only folders and injected errors.
    void failedPrintKeepsTheOldFile()
    {
        const QString file = dir_.filePath(QStringLiteral("locked.pdf"));
        const int holder = ::open(QFile::encodeName(file), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        const auto release = qScopeGuard([holder] { ::close(holder); });
        QVERIFY(::write(holder, "old page", 8) == 8 && ::flock(holder, LOCK_EX) == 0);
        const QStringList before = Folder_State(dir_.path());
        lock_attempts.clear();
        Print(file);
        for (const auto &[fd, attempts] : lock_attempts)
            QVERIFY2(attempts <= 1, "the lock was tried again: the window waited on it");
        QCOMPARE(failures_.size(), 1);
        QVERIFY2(failures_[0].contains(file) && failures_[0].contains(QStringLiteral("another program keeps the file locked")),
                 qPrintable(failures_[0]));
        QCOMPARE(Folder_State(dir_.path()), before);
        QCOMPARE(Zoom_Factor, Single(0.5));
    }

    // Made-up print servers that answer wrongly or not at all, at each step:
    // each told within two budgets (bench/print_waits measures the wait:
    // one), the window's events running meanwhile, and never by a dialog
    // without a printer, but one that refuses the connection at once costs
    // no wait: the real dialog then opens to print to a file, and says over
    // its buttons why it offers no printer. Qt's own questions are asked by
    // the real dialog, never shown here; a job goes to the queue "Fake",
    // chosen in the dialog.
    void toldInTime_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<bool>("job");
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("notice");
        QTest::addColumn<QString>("dialog"); // what the dialog says; "": none is shown
        const QString late = QStringLiteral("did not answer in time when Qt asked it ");
        QTest::newRow("never takes the connection") << "backlog" << false << "does not answer" << "" << "";
        QTest::newRow("nothing listens") << "closed" << false << "" << ""
                                         << "no print system (CUPS) takes connections at %1";
        QTest::newRow("answers once, then never") << "once" << false << late << "" << "";
        QTest::newRow("a byte every 0.5 s") << "trickle" << false << late << "" << "";
        QTest::newRow("document unconfirmed") << "unsent" << true
                                              << "did not confirm job 7 for the printer \"Fake\" in time, and is asked to cancel" << "" << "";
        QTest::newRow("job aborted") << "state:8" << true << "aborted job 7 on the printer \"Fake\" (no reason was given)" << "" << "";
        QTest::newRow("job stopped") << "state:6" << true << "" << "Job 7 on the printer \"Fake\" has stopped" << "";
        QTest::newRow("not IPP") << "garbage" << false << "answered, but not as a print system (CUPS) does (its "
                                                          "answer, of type application/ipp, is not IPP)" << "" << "";
        QTest::newRow("hangs up") << "hangup" << false << "took the connection but gave no answer" << "" << "";
        QTest::newRow("asks for a password") << "401" << false << "" << ""
                                             << "the print system (CUPS) at %1 asks for a user name and password";
        QTest::newRow("job asks for a password") << "401:job" << true
                                                 << "did not take the job: the print system (CUPS) at 127.0.0.1:" << "" << "";
        QTest::newRow("job taken") << "ok" << true << "" << "" << "";
    }
    void toldInTime()
    {
        QFETCH(QString, mode);
        QFETCH(bool, job);
        QFETCH(QString, failure);
        QFETCH(QString, notice);
        QFETCH(QString, dialog);
        Fake_Server server(mode);
        Set_Cups_Server(server.Address());
        QElapsedTimer waited, beat;
        qint64 longest = 0;
        QString shown;
        QTimer heartbeat, user;
        connect(&heartbeat, &QTimer::timeout, this, [&] { longest = std::max(longest, beat.restart()); });
        connect(&user, &QTimer::timeout, this, [&] {
            if (auto *open = qobject_cast<QPrintDialog *>(QApplication::activeModalWidget())) {
                shown = QStringLiteral("a dialog without a word of why");
                for (const QLabel *label : open->findChildren<QLabel *>())
                    if (label->isVisible() && label->text().startsWith(QLatin1String("No printer")))
                        shown = label->text();
                open->reject();
            }
        });
        heartbeat.start(20), user.start(100), beat.start(), waited.start();
        job ? Print(QStringLiteral("|"), QStringLiteral("Fake")) : (Set_Printer_Dialog(), Print_Page(nullptr));
        longest = std::max(longest, beat.elapsed());
        Set_Cups_Server({});
        QVERIFY2(dialog.isEmpty() ? shown.isEmpty() : shown.contains(dialog.arg(server.Address())), qPrintable(shown));
        QCOMPARE(failures_.size(), failure.isEmpty() ? 0 : 1);
        QCOMPARE(notices_.size(), notice.isEmpty() ? 0 : 1);
        QVERIFY2(failure.isEmpty() || failures_[0].contains(failure), qPrintable(failures_.value(0)));
        QVERIFY2(notice.isEmpty() || notices_[0].contains(notice), qPrintable(notices_.value(0)));
        if (failure.contains(QStringLiteral("asked to cancel"))) // and it is: it does not print later
            QTRY_VERIFY(server.Said().contains("cancel-job"));
        QVERIFY2(waited.elapsed() < 2 * Answer_Budget, qPrintable(QString::number(waited.elapsed())));
        QVERIFY2(longest < Answer_Budget / 2, qPrintable(QString::number(longest)));
    }

    // A job the server never confirms is cancelled, and a server that
    // trickles its answer to that without end keeps neither a thread nor a
    // connection: within seconds there are as many as before the print.
    void trickledCancelLeavesNoThread()
    {
        // This thread and those made with std::thread carry the program's
        // name; Qt names its own (its pool's end 30 s after their last work).
        const auto threads = [] {
            const auto name = [](const QString &path) {
                QFile comm(path);
                return comm.open(QIODevice::ReadOnly) ? comm.readAll() : QByteArray();
            };
            const QByteArray program = name(QStringLiteral("/proc/self/comm"));
            const QDir tasks(QStringLiteral("/proc/self/task"));
            return std::ranges::count_if(tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot), [&](const QString &task) {
                return name(tasks.filePath(task + QStringLiteral("/comm"))) == program;
            });
        };
        const auto connections = [] {
            const QDir open(QStringLiteral("/proc/self/fd"));
            return std::ranges::count_if(open.entryList(QDir::System | QDir::NoDotAndDotDot), [&](const QString &fd) {
                return QFile::symLinkTarget(open.filePath(fd)).contains(QLatin1String("socket:"));
            });
        };
        Fake_Server server(QStringLiteral("cancel-trickle"));
        Set_Cups_Server(server.Address());
        const auto threadsBefore = threads();
        const auto connectionsBefore = connections();
        Print(QStringLiteral("|"), QStringLiteral("Fake"));
        Set_Cups_Server({});
        QCOMPARE(failures_.size(), 1);
        QVERIFY2(failures_[0].contains(QStringLiteral("asked to cancel")), qPrintable(failures_[0]));
        QTRY_VERIFY_WITH_TIMEOUT(server.Said().contains("cancel-job"), 30000);
        QTRY_VERIFY_WITH_TIMEOUT(threads() <= threadsBefore, 60000);
        QTRY_VERIFY_WITH_TIMEOUT(connections() <= connectionsBefore, 30000);
    }

    // Writing a PDF asks no print system (a PDF printer of Qt's would ask it
    // for its default printer, and wait on one that does not answer).
    void aPdfAsksNoPrintSystem()
    {
        Fake_Server server(QStringLiteral("ok"));
        Set_Cups_Server(server.Address());
        QVERIFY(Write_Page_Pdf(QFile::encodeName(dir_.filePath(QStringLiteral("asks.pdf")))).Ok());
        Set_Cups_Server({});
        QCOMPARE(server.Said(), QByteArray());
    }

    // A relative name typed in the real dialog is the file in the home
    // folder, where Qt prints it: the question whether to overwrite and the
    // refusal of a pipe (before Qt's dialog opens the name, where it would
    // wait for a reader for ever; the dialog stays open, to be cancelled)
    // are about that file, and it is the one written; a file or pipe of
    // that name in the working folder is left alone. Our checks are in
    // place: Qt's private slot that they replace is still there by its name.
    void dialogTakesARelativeNameInTheHomeFolder_data()
    {
        QTest::addColumn<QString>("inHome");    // under the name in the home folder: "", "file" or "pipe"
        QTest::addColumn<QString>("inWorking"); // the same in the working folder
        QTest::addColumn<QString>("told");      // what the dialog says (%1: the file in the home folder), answered "Yes"
        const QString overwrite = QStringLiteral("%1 already exists.\nDo you want to overwrite it?");
        const QString pipe = QStringLiteral("\"%1\" is not a regular file.\nPlease choose a different file name.");
        QTest::newRow("file in the home folder only") << "file" << "" << overwrite;
        QTest::newRow("file in the working folder only") << "" << "file" << "";
        QTest::newRow("pipe in the home folder only") << "pipe" << "" << pipe;
        QTest::newRow("pipe in the working folder only") << "" << "pipe" << "";
    }
    void dialogTakesARelativeNameInTheHomeFolder()
    {
        QFETCH(QString, inHome);
        QFETCH(QString, inWorking);
        QFETCH(QString, told);
        QTest::failOnWarning(QRegularExpression(QStringLiteral("not built as expected")));
        QTemporaryDir home, working;
        const QString name = QStringLiteral("report.pdf");
        const auto make = [&name](const QTemporaryDir &folder, const QString &what) {
            const QString path = folder.filePath(name);
            if (what == QLatin1String("pipe"))
                return mkfifo(QFile::encodeName(path), 0600) == 0;
            QFile file(path);
            return what.isEmpty() || (file.open(QIODevice::WriteOnly) && file.write("kept") == 4);
        };
        QVERIFY(make(home, inHome) && make(working, inWorking));
        QProcess reader; // should Qt's dialog open the pipe, where it waits for a reader, one comes after 10 s
        if (inHome == QLatin1String("pipe"))
            reader.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("sleep 10; cat \"$0\" >/dev/null"), home.filePath(name)});
        const QByteArray oldHome = qgetenv("HOME");
        const QString oldWorking = QDir::currentPath();
        qputenv("HOME", QFile::encodeName(home.path()));
        QDir::setCurrent(working.path());
        const auto restore = qScopeGuard([&] {
            qputenv("HOME", oldHome);
            QDir::setCurrent(oldWorking);
            reader.kill();
            reader.waitForFinished();
        });
        Set_Printer_Dialog();
        QStringList said;
        bool pressed = false;
        QTimer act;
        connect(&act, &QTimer::timeout, this, [&] {
            QWidget *modal = QApplication::activeModalWidget();
            if (auto *box = qobject_cast<QMessageBox *>(modal)) {
                said << box->text(), box->done(QMessageBox::Yes);
            } else if (auto *dialog = qobject_cast<QPrintDialog *>(modal); dialog && pressed) {
                QMetaObject::invokeMethod(dialog, "reject"); // left open after a refusal
            } else if (dialog) { // "Print to File (PDF)", the name typed, "Print"
                auto *printers = dialog->findChild<QComboBox *>(QStringLiteral("printers"));
                printers->setCurrentIndex(printers->count() - 1);
                dialog->findChild<QLineEdit *>(QStringLiteral("filename"))->setText(name);
                pressed = true;
                QMetaObject::invokeMethod(dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok), "click",
                                          Qt::QueuedConnection);
            }
        });
        act.start(100);
        Print_Page(nullptr);
        act.stop();
        QVERIFY(pressed);
        QCOMPARE(said, told.isEmpty() ? QStringList() : QStringList(told.arg(home.filePath(name))));
        QVERIFY2(failures_.isEmpty(), qPrintable(failures_.join(u'\n')));
        const auto kind = [&name](const QTemporaryDir &folder) {
            const QFileInfo found(folder.filePath(name));
            QFile file(found.filePath());
            return !found.exists() ? QString() : !found.isFile() ? QStringLiteral("pipe")
                   : file.open(QIODevice::ReadOnly) && file.read(4) == "kept" ? QStringLiteral("file") : QStringLiteral("pdf");
        };
        QCOMPARE(kind(working), inWorking); // as it was
        QCOMPARE(kind(home), inHome == QLatin1String("pipe") ? inHome : QStringLiteral("pdf"));
    }

    // Through the queue: taken as it is, refused while the dialog is open (the administrator's
    // reason shown), held by a stopped queue (a success, as lp sees it, and
    // the user told it waits), with the scheduler stopped while the dialog
    // is open (toldInTime has one silent before it), or gone. No wait
    // lasts anywhere near CUPS's own minutes. No job file is left behind in
    // the program's folders.
    void printsThroughTheQueue_data()
    {
        QTest::addColumn<QString>("meanwhile");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QString>("failure"); // empty: the job is taken
        QTest::addColumn<QString>("notice");
        QTest::newRow("taken") << "" << "" << "" << "";
        QTest::newRow("not accepting jobs") << "cupsreject -r 'out of toner' $QUORVEL_CUPS_QUEUE"
                                            << "cupsaccept $QUORVEL_CUPS_QUEUE" << "not accepting jobs: out of toner" << "";
        QTest::newRow("stopped, accepting") << "cupsdisable $QUORVEL_CUPS_QUEUE" << "cupsenable $QUORVEL_CUPS_QUEUE" << ""
                                            << "waits in its queue";
        QTest::newRow("scheduler stopped meanwhile") << "kill -STOP $QUORVEL_CUPSD_PID" << "kill -CONT $QUORVEL_CUPSD_PID"
                                                     << "does not answer" << "";
        QTest::newRow("scheduler gone") // last, as it ends the scheduler
            << "kill $QUORVEL_CUPSD_PID && while [ -S $CUPS_SERVER ]; do sleep 0.1; done" << "" << "no print system (CUPS) takes connections at /"
            << "";
    }
    void printsThroughTheQueue()
    {
        QFETCH(QString, meanwhile);
        QFETCH(QString, after);
        QFETCH(QString, failure);
        QFETCH(QString, notice);
        if (queue_.isEmpty())
            QSKIP("needs a print queue: run through tests/print/cups-print-test");
        QVERIFY(QPrinterInfo::availablePrinterNames().contains(queue_));
        const QStringList before_jobs = QDir(output_).entryList({QStringLiteral("*.pdf")}, QDir::Files);
        const QStringList temporary = QDir::temp().entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        QElapsedTimer waited;
        waited.start();
        Print(u'|' + meanwhile);
        const qint64 seconds = waited.elapsed() / 1000;
        QProcess::execute(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), after});
        QCOMPARE(QDir::temp().entryList(QDir::AllEntries | QDir::NoDotAndDotDot), temporary);
        QCOMPARE(Zoom_Factor, Single(0.5));
        QCOMPARE(dialogs_, 1);
        QVERIFY2(seconds < 2 * Answer_Budget / 1000, qPrintable(QString::number(seconds)));
        QVERIFY2(failures_.size() == (failure.isEmpty() ? 0 : 1), qPrintable(failures_.join(u'\n')));
        QCOMPARE(notices_.size(), notice.isEmpty() ? 0 : 1);
        QVERIFY2(failure.isEmpty() || failures_[0].contains(failure), qPrintable(failures_.value(0)));
        QVERIFY2(notice.isEmpty() || (notices_[0].contains(queue_) && notices_[0].contains(notice)), qPrintable(notices_.value(0)));
        const QString job = New_Job(before_jobs);
        QCOMPARE(job.isEmpty(), !failure.isEmpty());
        if (job.isEmpty())
            return;
        QVERIFY2(job.contains(QStringLiteral("Travel_Expense_Report")), qPrintable(job)); // cups-pdf names it by the job
        // The print system turns the texts into shapes: the form is checked
        // by where its ink lies.
        Check_The_Form(job);
    }
};

QTEST_MAIN(Test_Printing)
#include "test_printing.moc"
