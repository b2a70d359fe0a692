// The print system's answers as the user reads them, without a print
// system: its address, and what a queue's or a job's answer is told as
// (pure functions); a name server that never answers, through a made-up
// libcups. In the fast tier (ctest -L unit).
#include "cups_client.h"

#include <QDir>
#include <QScopeGuard>
#include <QTest>

#include <condition_variable>
#include <mutex>

Q_DECLARE_METATYPE(Queue_State)
Q_DECLARE_METATYPE(Job_Answer)

namespace {

Queue_State Heard_As(Heard heard, ipp_status_t status = IPP_STATUS_OK, bool accepting = true, bool stopped = false,
                     const QString &message = {})
{
    return {heard, QStringLiteral("cups.example:631"), status, QStringLiteral("libcups says no"), accepting, stopped,
            message};
}

// A libcups whose name server never answers until `answered` is set, then
// finds no address; `lookups` counts the lookups started.
std::mutex gate_lock;
std::condition_variable gate;
bool answered = false;
int lookups = 0;
Cups_Library Stalled_Name_Server()
{
    Cups_Library cups{};
    cups.server = [] { return "print.example"; };
    cups.port = [] { return 631; };
    cups.encryption = [] { return HTTP_ENCRYPTION_IF_REQUESTED; };
    cups.user = [] { return "someone"; };
    cups.setServer = cups.setUser = [](const char *) {};
    cups.setEncryption = [](http_encryption_t) {};
    cups.setPasswordCB = [](cups_password_cb2_t, void *) {};
    cups.lookUp = [](const char *, int, const char *) -> http_addrlist_t * {
        std::unique_lock hold(gate_lock);
        ++lookups;
        gate.wait(hold, [] { return answered; });
        return nullptr;
    };
    cups.lastError = [] { return IPP_STATUS_ERROR_INTERNAL; };
    cups.lastErrorString = [] { return "Name or service not known"; };
    return cups;
}

qsizetype Threads()
{
    return QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size();
}

// "ok: <notice>" or "failed: <message>".
QString Told(const Result<Printed> &outcome)
{
    return outcome.Ok() ? QStringLiteral("ok: ") + outcome.Value().notice : QStringLiteral("failed: ") + outcome.Message();
}

} // namespace

class Test_Cups_Answers : public QObject {
    Q_OBJECT

private slots:
    void address_data()
    {
        QTest::addColumn<QByteArray>("server");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("address");
        QTest::newRow("host") << QByteArray("localhost") << 631 << "localhost:631";
        QTest::newRow("other port") << QByteArray("print.example") << 8631 << "print.example:8631";
        QTest::newRow("IPv4") << QByteArray("192.0.2.7") << 631 << "192.0.2.7:631";
        QTest::newRow("bare IPv6") << QByteArray("::1") << 631 << "[::1]:631";
        QTest::newRow("bracketed IPv6") << QByteArray("[::1]") << 631 << "[::1]:631";
        QTest::newRow("IPv6 with zone") << QByteArray("fe80::1%eth0") << 631 << "[fe80::1%eth0]:631";
        QTest::newRow("socket") << QByteArray("/run/cups/cups.sock") << 631 << "/run/cups/cups.sock";
        QTest::newRow("UTF-8 name") << QByteArray("dr\xc3\xbc" "cker") << 631 << QStringLiteral("dr\u00fccker:631");
    }
    void address()
    {
        QFETCH(QByteArray, server);
        QFETCH(int, port);
        QFETCH(QString, address);
        QCOMPARE(Print_System_Address(server, port), address);
    }

    // The queue as the scheduler told it, for a printer and with none.
    void queue_data()
    {
        QTest::addColumn<QString>("printer");
        QTest::addColumn<Queue_State>("state");
        QTest::addColumn<QString>("told");
        const QString at = QStringLiteral("the printer \"Office\" cannot be reached: ");
        QTest::newRow("ready") << "Office" << Heard_As(Heard::Answer) << "";
        QTest::newRow("stopped, accepting") << "Office" << Heard_As(Heard::Answer, IPP_STATUS_OK, true, true) << "";
        QTest::newRow("no printer") << "" << Heard_As(Heard::Answer) << "no printer and no file was chosen";
        QTest::newRow("silence") << "Office" << Heard_As(Heard::Silence)
                                 << at + "the print system (CUPS) at cups.example:631 does not answer";
        QTest::newRow("nobody") << "Office" << Heard_As(Heard::Nobody)
                                << at + "no print system (CUPS) takes connections at cups.example:631 (libcups says no)";
        QTest::newRow("not IPP") << "Office" << Heard_As(Heard::Not_Ipp)
                                 << at + "the server at cups.example:631 answered, but not as a print system (CUPS) "
                                         "does (libcups says no)";
        QTest::newRow("hung up") << "Office" << Heard_As(Heard::Hung_Up)
                                 << at + "the server at cups.example:631 took the connection but gave no answer";
        QTest::newRow("password") << "Office" << Heard_As(Heard::Password)
                                  << at + "the print system (CUPS) at cups.example:631 asks for a user name and "
                                          "password, which Quorvel does not give (ask its administrator to let "
                                          "you print without one)";
        QTest::newRow("not waited for") << "Office" << Heard_As(Heard::Cancelled)
                                        << at + "the print system (CUPS) at cups.example:631 was not waited for";
        QTest::newRow("queue gone") << "Office" << Heard_As(Heard::Answer, IPP_STATUS_ERROR_NOT_FOUND)
                                    << at + "libcups says no";
        QTest::newRow("last success status")
            << "Office" << Heard_As(Heard::Answer, IPP_STATUS_OK_EVENTS_COMPLETE) << "";
        QTest::newRow("refusing, no reason")
            << "Office" << Heard_As(Heard::Answer, IPP_STATUS_OK, false)
            << "the printer \"Office\" is not accepting jobs: no reason was given (CUPS: "
               "server-error-not-accepting-jobs)";
        QTest::newRow("refusing, with reason")
            << "Office" << Heard_As(Heard::Answer, IPP_STATUS_OK, false, false, QStringLiteral("toner out"))
            << "the printer \"Office\" is not accepting jobs: toner out (CUPS: server-error-not-accepting-jobs)";
    }
    void queue()
    {
        QFETCH(QString, printer);
        QFETCH(Queue_State, state);
        QFETCH(QString, told);
        const Result<> ready = Queue_Ready(printer, state);
        QCOMPARE(ready.Ok(), told.isEmpty());
        QCOMPARE(ready.Message(), told);
    }

    // A job the queue took, as its answer is told.
    void job_data()
    {
        QTest::addColumn<Job_Answer>("answer");
        QTest::addColumn<QString>("told");
        const Queue_State ready = Heard_As(Heard::Answer);
        const Queue_State stopped = Heard_As(Heard::Answer, IPP_STATUS_OK, true, true, QStringLiteral("jammed"));
        const QString none;
        QTest::newRow("printed") << Job_Answer{ready, IPP_STATUS_OK, none, IPP_JSTATE_COMPLETED, none} << "ok: ";
        QTest::newRow("pending") << Job_Answer{ready, IPP_STATUS_OK, none, IPP_JSTATE_PENDING, none} << "ok: ";
        QTest::newRow("no state") << Job_Answer{ready, IPP_STATUS_OK, none, 0, none} << "ok: ";
        QTest::newRow("last success status")
            << Job_Answer{ready, IPP_STATUS_OK_EVENTS_COMPLETE, none, IPP_JSTATE_COMPLETED, none} << "ok: ";
        QTest::newRow("queue unreachable")
            << Job_Answer{Heard_As(Heard::Silence), IPP_STATUS_OK, none, 0, none}
            << "failed: the printer \"Office\" cannot be reached: the print system (CUPS) at cups.example:631 does "
               "not answer";
        QTest::newRow("refused the job")
            << Job_Answer{Heard_As(Heard::Answer, IPP_STATUS_OK, true, false, QStringLiteral("closed")),
                          IPP_STATUS_ERROR_NOT_ACCEPTING_JOBS, QStringLiteral("Not accepting"), 0, none}
            << "failed: the printer \"Office\" is not accepting jobs: closed (CUPS: Not accepting)";
        for (const ipp_status_t login : {IPP_STATUS_ERROR_NOT_AUTHENTICATED, IPP_STATUS_ERROR_CUPS_AUTHENTICATION_CANCELED})
            QTest::addRow("password %x", unsigned(login))
                << Job_Answer{ready, login, QStringLiteral("Unauthorized"), 0, none}
                << "failed: the printer \"Office\" did not take the job: the print system (CUPS) at cups.example:631 "
                   "asks for a user name and password, which Quorvel does not give (ask its administrator to "
                   "let you print without one)";
        QTest::newRow("forbidden") << Job_Answer{ready, IPP_STATUS_ERROR_FORBIDDEN, QStringLiteral("Forbidden"), 0, none}
                                   << "failed: the printer \"Office\" did not take the job: Forbidden";
        QTest::newRow("aborted") << Job_Answer{ready, IPP_STATUS_OK, none, IPP_JSTATE_ABORTED, QStringLiteral("filter failed")}
                                 << "failed: the print system aborted job 42 on the printer \"Office\" (filter failed)";
        QTest::newRow("canceled") << Job_Answer{ready, IPP_STATUS_OK, none, IPP_JSTATE_CANCELED, none}
                                  << "failed: job 42 on the printer \"Office\" was canceled (no reason was given)";
        QTest::newRow("job stopped") << Job_Answer{ready, IPP_STATUS_OK, none, IPP_JSTATE_STOPPED, QStringLiteral("paper")}
                                     << "ok: Job 42 on the printer \"Office\" has stopped (paper): it goes on once "
                                        "the printer can.";
        QTest::newRow("held") << Job_Answer{ready, IPP_STATUS_OK, none, IPP_JSTATE_HELD, QStringLiteral("job-hold-until-specified")}
                              << "ok: Job 42 on the printer \"Office\" is held (job-hold-until-specified): it prints "
                                 "once it is released.";
        QTest::newRow("queue stopped") << Job_Answer{stopped, IPP_STATUS_OK, none, IPP_JSTATE_PENDING, none}
                                       << "ok: The printer \"Office\" is stopped (jammed): the page waits in its queue "
                                          "and prints once the printer is started again.";
        QTest::newRow("queue stopped, no reason")
            << Job_Answer{Heard_As(Heard::Answer, IPP_STATUS_OK, true, true), IPP_STATUS_OK, none, 0, none}
            << "ok: The printer \"Office\" is stopped: the page waits in its queue and prints once the printer is "
               "started again.";
        QTest::newRow("aborted in a stopped queue")
            << Job_Answer{stopped, IPP_STATUS_OK, none, IPP_JSTATE_ABORTED, QStringLiteral("gone")}
            << "failed: the print system aborted job 42 on the printer \"Office\" (gone)";
    }
    void job()
    {
        QFETCH(Job_Answer, answer);
        QFETCH(QString, told);
        QCOMPARE(Told(Job_Outcome(QStringLiteral("Office"), 42, answer)), told);
    }

    // However often the print system is asked while its name server stalls,
    // the name is looked up once, each asker is told at its own deadline,
    // and no thread is left but the one in the lookup. A lookup that ended
    // is not kept: the next ask looks the name up anew.
    void stalledNameServerIsAskedOnce()
    {
        const auto answer = [] {
            const std::lock_guard hold(gate_lock);
            answered = true;
            gate.notify_all();
        };
        const auto left_waiting = qScopeGuard(answer); // should a check fail: no lookup waits at exit
        const Cups_Library cups = Stalled_Name_Server();
        const qsizetype before = Threads();
        for (int ask = 0; ask < 4; ++ask)
            QCOMPARE(Ask_Scheduler(cups, {}, {}, QDeadlineTimer(100)).heard, Heard::Silence);
        QTRY_COMPARE(Threads(), before + 1);
        QCOMPARE(std::exchange(lookups, 0), 1);
        answer();
        QTRY_COMPARE(Threads(), before);
        const Queue_State again = Ask_Scheduler(cups, {}, {}, QDeadlineTimer(20000));
        QCOMPARE(again.heard, Heard::Nobody);
        QCOMPARE(again.said, QStringLiteral("Name or service not known"));
        QCOMPARE(lookups, 1);
    }
};

QTEST_GUILESS_MAIN(Test_Cups_Answers)
#include "test_cups_answers.moc"
