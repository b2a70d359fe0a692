#include "cups_client.h"

#include <QCoreApplication>
#include <QLibrary>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace {

QString Tr(const char *text)
{
    return QCoreApplication::translate("Printing", text);
}

// Where the scheduler is asked, as the user would write it: host:port, or
// the path of its local socket (which has no port).
QString Address(const QByteArray &server, int port)
{
    if (server.startsWith('/'))
        return QString::fromUtf8(server);
    const QString host = QString::fromUtf8(server);
    const bool bare_ipv6 = host.contains(u':') && !host.startsWith(u'[');
    return (bare_ipv6 ? u'[' + host + u']' : host) + u':' + QString::number(port);
}

// One question to the scheduler, shared by the thread that asks it and the
// one that waits for the answer; whichever ends last frees it.
struct Asking {
    Cups_Library cups{};
    QByteArray server;
    int port = 0;
    QByteArray queue;
    QByteArray instance;
    int wait = 0;
    int cancel = 0; // set once nobody waits any more; libcups reads it while connecting
    std::mutex lock;
    std::condition_variable answered;
    bool done = false;
    Queue_State state;
};

bool Cancelled(Asking &asking)
{
    return std::atomic_ref<int>(asking.cancel).load() != 0;
}

// libcups's timeout callback: wait on while someone waits for the answer.
int Keep_Waiting(http_t *, void *asking)
{
    return !Cancelled(*static_cast<Asking *>(asking));
}

// The question itself, on the asking thread.
void Ask(Asking &asking, Queue_State &state)
{
    const Cups_Library &cups = asking.cups;
    // The connection may take longer than anyone waits: a refusal is then
    // the only failure that comes back here while the waiting side waits.
    http_t *http = cups.connect(asking.server.constData(), asking.port, nullptr, AF_UNSPEC, cups.encryption(), 1,
                                2 * asking.wait, &asking.cancel);
    if (!http) {
        state.heard = Heard::Nobody;
        state.status = cups.lastError();
        state.said = QString::fromUtf8(cups.lastErrorString());
        return;
    }
    cups.setTimeout(http, 0.1, Keep_Waiting, &asking);
    ipp_t *request = cups.newRequest(asking.queue.isEmpty() ? IPP_OP_CUPS_GET_PRINTERS : IPP_OP_GET_PRINTER_ATTRIBUTES);
    if (!asking.queue.isEmpty()) {
        const QByteArray uri = "ipp://localhost:" + QByteArray::number(asking.port) + "/printers/" +
                               QUrl::toPercentEncoding(QString::fromUtf8(asking.queue));
        cups.addString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.constData());
    }
    static const char *const wanted[] = {"printer-name", "printer-is-accepting-jobs", "printer-state",
                                         "printer-state-message"};
    cups.addStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", int(std::size(wanted)),
                    nullptr, wanted);
    ipp_t *response = cups.doRequest(http, request, "/");
    state.status = response ? cups.statusCode(response) : cups.lastError();
    state.said = QString::fromUtf8(cups.lastErrorString());
    if (!response) {
        // Something took the connection but gave no answer in IPP: another
        // kind of server, or one that hung up.
        // libcups's own words then are often just "Success".
        const http_status_t status = cups.httpStatus(http);
        state.said = status >= HTTP_STATUS_OK ? Tr("HTTP status %1, %2").arg(int(status)).arg(state.said)
                                              : Tr("it took the connection but gave no HTTP answer");
        state.heard = Heard::Stranger;
        cups.close(http);
        return;
    }
    if (ipp_attribute_t *accepting = cups.findAttribute(response, "printer-is-accepting-jobs", IPP_TAG_BOOLEAN))
        state.accepting = cups.getBoolean(accepting, 0);
    if (ipp_attribute_t *printerState = cups.findAttribute(response, "printer-state", IPP_TAG_ENUM))
        state.stopped = cups.getInteger(printerState, 0) == IPP_PSTATE_STOPPED;
    if (ipp_attribute_t *message = cups.findAttribute(response, "printer-state-message", IPP_TAG_TEXT))
        state.message = QString::fromUtf8(cups.getString(message, 0, nullptr));
    cups.deleteIpp(response);
    if (state.status == IPP_STATUS_ERROR_NOT_FOUND && !asking.queue.isEmpty()) {
        // A printer found on the network gets its queue with its first job.
        if (cups_dest_t *dest = cups.getNamedDest(http, asking.queue.constData(),
                                                  asking.instance.isEmpty() ? nullptr : asking.instance.constData())) {
            cups.freeDests(1, dest);
            state.status = IPP_STATUS_OK;
        }
    }
    cups.close(http);
}

} // namespace

const Cups_Library *Cups_System()
{
    static const std::optional<Cups_Library> cups = []() -> std::optional<Cups_Library> {
        QLibrary library(QStringLiteral("cups"), 2);
        const auto get = [&library](auto &function, const char *name) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(library.resolve(name));
            return function != nullptr;
        };
        Cups_Library c{};
        if (get(c.server, "cupsServer") && get(c.port, "ippPort") && get(c.encryption, "cupsEncryption") &&
            get(c.connect, "httpConnect2") && get(c.setTimeout, "httpSetTimeout") &&
            get(c.httpStatus, "httpGetStatus") && get(c.close, "httpClose") && get(c.newRequest, "ippNewRequest") &&
            get(c.addString, "ippAddString") && get(c.addStrings, "ippAddStrings") &&
            get(c.doRequest, "cupsDoRequest") && get(c.findAttribute, "ippFindAttribute") &&
            get(c.getString, "ippGetString") && get(c.getInteger, "ippGetInteger") &&
            get(c.getBoolean, "ippGetBoolean") && get(c.statusCode, "ippGetStatusCode") &&
            get(c.deleteIpp, "ippDelete") && get(c.lastError, "cupsLastError") &&
            get(c.lastErrorString, "cupsLastErrorString") && get(c.getNamedDest, "cupsGetNamedDest") &&
            get(c.freeDests, "cupsFreeDests"))
            return c;
        return std::nullopt;
    }();
    return cups ? &*cups : nullptr;
}

Queue_State Ask_Scheduler(const Cups_Library &cups, const QString &printer, const Still_Waiting &waiting, int wait)
{
    auto asking = std::make_shared<Asking>();
    asking->cups = cups;
    // The scheduler Qt talks to: this thread's, as libcups keeps it per thread.
    asking->server = cups.server();
    asking->port = cups.port();
    asking->queue = printer.section(u'/', 0, 0).toUtf8();
    asking->instance = printer.section(u'/', 1).toUtf8();
    asking->wait = wait;
    // Not joined: a thread stuck where libcups cannot be cancelled (a name
    // lookup) ends on its own later, and nobody waits for it.
    std::thread([asking] {
        Queue_State state;
        Ask(*asking, state);
        const std::lock_guard hold(asking->lock);
        asking->state = std::move(state);
        asking->done = true;
        asking->answered.notify_all();
    }).detach();

    Queue_State state;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait);
    std::unique_lock hold(asking->lock);
    while (!asking->answered.wait_for(hold, std::chrono::milliseconds(20), [&] { return asking->done; })) {
        if (std::chrono::steady_clock::now() >= deadline) {
            state.heard = Heard::Silence;
            break;
        }
        hold.unlock();
        const bool go_on = waiting();
        hold.lock();
        if (!go_on) {
            state.heard = Heard::Cancelled;
            break;
        }
    }
    if (asking->done)
        state = asking->state;
    else
        std::atomic_ref<int>(asking->cancel).store(1);
    state.address = Address(asking->server, asking->port);
    return state;
}

Result<> Heard(const Queue_State &state)
{
    switch (state.heard) {
    case Heard::Silence:
        return Failure{Tr("the print system (CUPS) at %1 does not answer").arg(state.address)};
    case Heard::Nobody:
        return Failure{Tr("no print system (CUPS) takes connections at %1 (%2)").arg(state.address, state.said)};
    case Heard::Stranger:
        return Failure{
            Tr("the server at %1 did not answer as a print system (CUPS) does (%2)").arg(state.address, state.said)};
    case Heard::Cancelled:
        return Failure{Tr("the print system (CUPS) at %1 was not waited for").arg(state.address)};
    case Heard::Answer:
        break;
    }
    return {};
}

namespace {

// A queue that refuses jobs, with the administrator's reason and CUPS's status.
Failure Refused(const QString &printer, const QString &reason, const QString &status)
{
    return {Tr("the printer \"%1\" is not accepting jobs: %2 (CUPS: %3)")
                .arg(printer, reason.isEmpty() ? Tr("no reason was given") : reason, status)};
}

} // namespace

Result<> Queue_Ready(const QString &printer, const Queue_State &state)
{
    if (printer.isEmpty())
        return Failure{Tr("no printer and no file was chosen")};
    if (const Result<> heard = Heard(state); !heard.Ok())
        return Failure{Tr("the printer \"%1\" cannot be reached: %2").arg(printer, heard.Message())};
    if (state.status > IPP_STATUS_OK_EVENTS_COMPLETE)
        return Failure{Tr("the printer \"%1\" cannot be reached: %2").arg(printer, state.said)};
    if (!state.accepting)
        return Refused(printer, state.message, QStringLiteral("server-error-not-accepting-jobs"));
    return {};
}

Result<> Job_Taken(const QString &printer, ipp_status_t status, const QString &said, const Queue_State &state)
{
    if (status >= IPP_STATUS_OK && status <= IPP_STATUS_OK_EVENTS_COMPLETE)
        return {};
    if (status == IPP_STATUS_ERROR_NOT_ACCEPTING_JOBS && state.heard == Heard::Answer)
        return Refused(printer, state.message, said);
    return Failure{Tr("the printer \"%1\" did not take the job: %2").arg(printer, said)};
}
