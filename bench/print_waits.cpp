// How long the "PDF" command keeps the window waiting on a print system that
// does not answer, and how soon the user is told:
//
//   quorvel-print-waits backlog   a server whose backlog is full: the
//                                 connection is never taken (a host that
//                                 drops connections)
//   quorvel-print-waits slow      a server that answers at once, except the
//                                 printer list, which takes 60 s
//   quorvel-print-waits at H:P    the scheduler at H:P, e.g. a host that is
//                                 down (its address is not answered on
//                                 the local network: refused after 3 s)
//   quorvel-print-waits stopped   run through tests/print/cups-print-test:
//                                 the real dialog, the scheduler stopped
//                                 while it is open, then "Print" pressed
//   quorvel-print-waits fake MODE tests/print/fake_ipp_server.py in MODE:
//                                 once, trickle or garbage (Ctrl+P), or
//                                 unsent or state:N (its printer "Fake"
//                                 chosen in the real dialog, "Print" pressed)
//
// The window's timer ticks every 10 ms; its longest pause is how long the
// window was frozen. Prints one line with both figures and what was told.
#include "page_build.h"
#include "preview_surface.h"
#include "print_command.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QLibrary>
#include <QMessageBox>
#include <QPrintDialog>
#include <QProcess>
#include <QPushButton>
#include <QTimer>

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>

namespace {

sockaddr_in Listen(int fd, int backlog)
{
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t size = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr *>(&address), size) != 0 || listen(fd, backlog) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr *>(&address), &size) != 0)
        std::perror("listen"), std::exit(2);
    return address;
}

// Answers each IPP request on `fd` with "not found" (no default printer, no
// such queue, no printers), the printer list only after a minute.
void Answer_Slowly(int fd)
{
    std::string got;
    char buffer[4096];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) {
        got.append(buffer, size_t(n));
        const size_t head = got.find("\r\n\r\n");
        if (head == std::string::npos)
            continue;
        const size_t length_at = got.find("Content-Length: ");
        const size_t length = length_at < head ? std::stoul(got.substr(length_at + 16)) : 0;
        if (got.size() < head + 4 + length)
            continue;
        const std::string body = got.substr(head + 4, length);
        got.erase(0, head + 4 + length);
        if (body.size() < 8) {
            const char missing[] = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n";
            write(fd, missing, sizeof missing - 1);
            continue;
        }
        if (body[2] == 0x40 && body[3] == 0x02) // CUPS-Get-Printers
            std::this_thread::sleep_for(std::chrono::seconds(60));
        std::string ipp = {2, 0, 4, 6};
        ipp += body.substr(4, 4);
        ipp += {1, 0x47, 0, 18};
        ipp += "attributes-charset";
        ipp += {0, 5};
        ipp += "utf-8";
        ipp += {0x48, 0, 27};
        ipp += "attributes-natural-language";
        ipp += {0, 2};
        ipp += "en";
        ipp += 3;
        const std::string answer = "HTTP/1.1 200 OK\r\nContent-Type: application/ipp\r\nContent-Length: " +
                                   std::to_string(ipp.size()) + "\r\n\r\n" + ipp;
        write(fd, answer.data(), answer.size());
    }
    close(fd);
}

// Points libcups at the server the fault names, and names the queue the
// user chooses in the dialog; false for a fault this bench does not know.
bool Point_At_Server(const QString &fault, int argc, char *argv[], QProcess &fake, QString &queue)
{
    const auto cupsSetServer = reinterpret_cast<void (*)(const char *)>(QLibrary::resolve("cups", 2, "cupsSetServer"));
    const auto setServer = [cupsSetServer](const QByteArray &server) { cupsSetServer(server.constData()); };
    const int server = socket(AF_INET, SOCK_STREAM, 0);
    if (fault == QLatin1String("backlog")) {
        const sockaddr_in address = Listen(server, 0);
        for (int i = 0; i < 3; ++i)
            ::connect(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0), reinterpret_cast<const sockaddr *>(&address),
                      sizeof address);
        setServer("127.0.0.1:" + QByteArray::number(ntohs(address.sin_port)));
    } else if (fault == QLatin1String("slow")) {
        const sockaddr_in address = Listen(server, 16);
        std::thread([server] {
            for (int fd; (fd = accept(server, nullptr, nullptr)) >= 0;)
                std::thread(Answer_Slowly, fd).detach();
        }).detach();
        setServer("127.0.0.1:" + QByteArray::number(ntohs(address.sin_port)));
    } else if (fault == QLatin1String("at") && argc > 2) {
        setServer(argv[2]);
    } else if (fault == QLatin1String("fake") && argc > 2) {
        fake.start(QStringLiteral("python3"), {QStringLiteral(FAKE_IPP_SERVER), QString::fromUtf8(argv[2])});
        if (!fake.waitForReadyRead(30000))
            std::fprintf(stderr, "the made-up print server did not start\n"), std::exit(2);
        setServer("127.0.0.1:" + fake.readLine().trimmed().mid(5));
        queue = QString::fromUtf8(argv[2]).startsWith(QLatin1String("state:")) || qstrcmp(argv[2], "unsent") == 0
                    ? QStringLiteral("Fake")
                    : QString();
    } else if (fault != QLatin1String("stopped")) {
        return false;
    }
    return true;
}

// What the user sees and does, and when: the queue chosen in the real
// dialog, the scheduler stopped, "Print" pressed; a warning read and
// closed, and then the dialog too.
struct User {
    QElapsedTimer clock;
    qint64 pressed = -1, told_at = -1;
    QString told, queue;
    pid_t cupsd = pid_t(qEnvironmentVariableIntValue("QUORVEL_CUPSD_PID"));

    void Tell(const QString &words) { told = words, told_at = clock.elapsed(); }

    void Look()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            if (told.isEmpty())
                Tell(box->text());
            box->done(QMessageBox::Ok);
        } else if (auto *dialog = qobject_cast<QPrintDialog *>(modal)) {
            if (queue.isEmpty() && told.isEmpty()) // a fault before the dialog that let it open
                Tell(QStringLiteral("(nothing; the dialog opened)"));
            if (!told.isEmpty())
                dialog->reject();
            if (!told.isEmpty() || pressed >= 0)
                return;
            auto *printers = dialog->findChild<QComboBox *>(QStringLiteral("printers"));
            printers->setCurrentIndex(printers->findText(queue));
            if (cupsd > 0)
                kill(cupsd, SIGSTOP);
            pressed = clock.elapsed();
            QMetaObject::invokeMethod(dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok), "click",
                                      Qt::QueuedConnection);
        }
    }
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(400, 300);
    window.show();
    Preview_Surface preview;
    {
        const Drawing_Scope scope(preview, 1);
        Build_Page();
    }
    QProcess fake; // the made-up print server, if any; its standard input closes as the bench ends
    User user;
    user.queue = qEnvironmentVariable("QUORVEL_CUPS_QUEUE");
    if (!Point_At_Server(argc > 1 ? QString::fromUtf8(argv[1]) : QString(), argc, argv, fake, user.queue)) {
        std::fprintf(stderr, "usage: %s backlog|slow|stopped|at <host:port>|fake <mode>\n", argv[0]);
        return 2;
    }

    QElapsedTimer tick;
    qint64 longest = 0;
    QTimer heartbeat(&window), looks;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] { longest = std::max(longest, tick.restart()); });
    QObject::connect(&looks, &QTimer::timeout, [&] { user.Look(); });
    Set_Print_Failure_Report([&](QWidget *, const QString &reason) { user.Tell(reason); });
    Set_Print_Notice([&](QWidget *, const QString &notice) { user.Tell(notice); });
    looks.start(100);
    heartbeat.start(10);
    tick.start();
    user.clock.start();
    Print_Page(&window);
    longest = std::max(longest, tick.elapsed());
    if (user.cupsd > 0)
        kill(user.cupsd, SIGCONT);
    const qint64 from = user.pressed >= 0 ? user.pressed : 0;
    fake.closeWriteChannel();
    fake.waitForFinished();
    std::printf("%s: told after %.1f s%s, the window's longest freeze %.1f s: %s\n",
                qPrintable(QStringList(app.arguments().mid(1)).join(u' ')),
                (user.told_at - from) / 1000.0, user.pressed >= 0 ? " from \"Print\"" : "", longest / 1000.0,
                qPrintable(user.told.simplified()));
    return user.told.isEmpty() ? 1 : 0;
}
