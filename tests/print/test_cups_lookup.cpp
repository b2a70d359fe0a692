// A name server that never answers: however often the print system is asked
// meanwhile, its name is looked up once, each asker is told at its own
// deadline, and no thread is left but the one in the lookup.
#include "cups_client.h"

#include <QDir>
#include <QTest>

#include <condition_variable>
#include <mutex>

namespace {

std::mutex gate_lock;
std::condition_variable gate;
bool answered = false; // the name server's answer (none found) lets the lookups end
int lookups = 0;

http_addrlist_t *Look_Up_Stalled(const char *, int, const char *)
{
    std::unique_lock hold(gate_lock);
    ++lookups;
    gate.wait(hold, [] { return answered; });
    return nullptr;
}

Cups_Library Stalled_Name_Server()
{
    Cups_Library cups{};
    cups.server = [] { return "print.example"; };
    cups.port = [] { return 631; };
    cups.encryption = [] { return HTTP_ENCRYPTION_IF_REQUESTED; };
    cups.user = [] { return "someone"; };
    cups.setServer = [](const char *) {};
    cups.setEncryption = [](http_encryption_t) {};
    cups.setUser = [](const char *) {};
    cups.setPasswordCB = [](cups_password_cb2_t, void *) {};
    cups.lookUp = Look_Up_Stalled;
    cups.lastError = [] { return IPP_STATUS_ERROR_INTERNAL; };
    cups.lastErrorString = [] { return "Name or service not known"; };
    return cups;
}

qsizetype Threads()
{
    return QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size();
}

} // namespace

class Test_Cups_Lookup : public QObject {
    Q_OBJECT

private slots:
    void oneLookupForManyAsks()
    {
        const Cups_Library cups = Stalled_Name_Server();
        const qsizetype before = Threads();
        for (int ask = 0; ask < 4; ++ask)
            QCOMPARE(Ask_Scheduler(cups, {}, {}, QDeadlineTimer(100)).heard, Heard::Silence);
        QTRY_COMPARE(Threads(), before + 1);
        QCOMPARE(std::exchange(lookups, 0), 1);
        {
            const std::lock_guard hold(gate_lock);
            answered = true;
        }
        gate.notify_all();
        QTRY_COMPARE(Threads(), before);
        const Queue_State again = Ask_Scheduler(cups, {}, {}, QDeadlineTimer(20000));
        QCOMPARE(again.heard, Heard::Nobody);
        QCOMPARE(again.said, QStringLiteral("Name or service not known"));
        QCOMPARE(lookups, 1); // looked up anew
    }
};

QTEST_GUILESS_MAIN(Test_Cups_Lookup)
#include "test_cups_lookup.moc"
