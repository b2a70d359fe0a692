#include "cups_client.h"

#include "tr.h"

#include <QCoreApplication>
#include <QLibrary>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <iterator>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include <sys/socket.h>

// One conversation with the print system on a thread of its own
// (Talk_Off_Thread): what the asking thread and the talking one share.
struct Conversation {
    Cups_Library cups{};
    // The asking thread's libcups settings, taken over by the talking one.
    QByteArray server;
    int port = 0;
    http_encryption_t encryption = HTTP_ENCRYPTION_IF_REQUESTED;
    QByteArray user;
    int cancel = 0; // set once nobody waits any more; libcups reads it while connecting
    std::mutex lock;
    std::condition_variable ended;
    bool done = false;
    int fd = -1; // the socket of the connection while it is open
};

namespace {

bool Abandoned(Conversation &talk)
{
    return std::atomic_ref<int>(talk.cancel).load() != 0;
}

// libcups's time-out callback: wait on while someone waits for the answer.
int Keep_Waiting(http_t *, void *talk)
{
    return !Abandoned(*static_cast<Conversation *>(talk));
}

// The talking thread's libcups asks where the asking thread's does, as the
// same user, and never at a terminal for a password: nobody is there.
void Use_Asking_Settings(const Conversation &talk)
{
    const Cups_Library &cups = talk.cups;
    cups.setServer(Print_System_Address(talk.server, talk.port).toUtf8().constData());
    cups.setEncryption(talk.encryption);
    cups.setUser(talk.user.constData());
    cups.setPasswordCB([](const char *, http_t *, const char *, const char *, void *) -> const char * { return nullptr; },
                       nullptr);
}

// A lookup of the print system's name and port, shared by every
// conversation that needs it while it runs. One that has ended is not kept:
// the next conversation looks the name up anew.
struct Name_Lookup {
    decltype(&httpAddrFreeList) freeAddresses = nullptr;
    std::mutex lock;
    std::condition_variable ended;
    bool done = false;
    http_addrlist_t *addresses = nullptr; // none when the name was not found
    QString why;                          // then the resolver's words
    ~Name_Lookup()
    {
        if (addresses)
            freeAddresses(addresses);
    }
};

// The lookups running, by name and port. Never freed: a thread stuck in a
// lookup may outlive main().
struct Name_Lookups {
    std::mutex lock;
    std::map<QByteArray, std::shared_ptr<Name_Lookup>> running;
};
Name_Lookups &Running_Lookups()
{
    static auto *lookups = new Name_Lookups;
    return *lookups;
}

// Why this thread's last Connect() made no connection.
thread_local QString connect_failure;

// The addresses of the talk's print system: looked up here, or by the
// conversation already looking them up, waited for while someone waits for
// this talk. Nothing once nobody does.
std::shared_ptr<Name_Lookup> Look_Up(Conversation &talk)
{
    const QByteArray port = QByteArray::number(talk.port);
    const QByteArray key = talk.server + '\n' + port;
    Name_Lookups &lookups = Running_Lookups();
    std::shared_ptr<Name_Lookup> lookup;
    bool ours = false;
    {
        const std::lock_guard hold(lookups.lock);
        std::shared_ptr<Name_Lookup> &running = lookups.running[key];
        if (!running) {
            running = std::make_shared<Name_Lookup>();
            running->freeAddresses = talk.cups.freeAddresses;
            ours = true;
        }
        lookup = running;
    }
    std::unique_lock hold(lookup->lock);
    if (ours) {
        hold.unlock();
        http_addrlist_t *found = talk.cups.lookUp(talk.server.constData(), AF_UNSPEC, port.constData());
        const QString why = found ? QString() : QString::fromUtf8(talk.cups.lastErrorString());
        {
            const std::lock_guard forget(lookups.lock);
            lookups.running.erase(key);
        }
        hold.lock();
        lookup->addresses = found, lookup->why = why, lookup->done = true;
        lookup->ended.notify_all();
        return lookup;
    }
    while (!lookup->ended.wait_for(hold, std::chrono::milliseconds(20), [&] { return lookup->done; }))
        if (Abandoned(talk))
            return nullptr;
    return lookup;
}

// The talk's connection, which waits only while someone waits, and is cut
// when nobody does (Give_Up). The connection may take longer than anyone
// waits: a refusal is then the only failure that comes back while the
// asking side waits. None when nobody waits any more.
http_t *Connect(Conversation &talk)
{
    const Cups_Library &cups = talk.cups;
    const std::shared_ptr<Name_Lookup> lookup = Look_Up(talk);
    connect_failure = lookup ? lookup->why : QString();
    if (!lookup || !lookup->addresses || Abandoned(talk))
        return nullptr;
    http_t *http = cups.connect(talk.server.constData(), talk.port, lookup->addresses, AF_UNSPEC, talk.encryption, 1,
                                30000, &talk.cancel);
    if (!http) {
        connect_failure = QString::fromUtf8(cups.lastErrorString());
        return nullptr;
    }
    cups.setTimeout(http, 0.1, Keep_Waiting, &talk);
    const std::lock_guard hold(talk.lock);
    talk.fd = cups.fd(http);
    return http;
}

void Disconnect(Conversation &talk, http_t *http)
{
    {
        const std::lock_guard hold(talk.lock);
        talk.fd = -1;
    }
    talk.cups.close(http);
}

// Nobody waits any more (the lock held): libcups stops waiting, and a
// connection that a server keeps busy a byte at a time is cut.
void Give_Up(Conversation &talk)
{
    std::atomic_ref<int>(talk.cancel).store(1);
    if (talk.fd >= 0)
        ::shutdown(talk.fd, SHUT_RDWR);
}

// Why a request got no answer in IPP: something else answered (another
// kind of server), or nothing did (it hung up).
void No_Ipp_Answer(const Cups_Library &cups, http_t *http, Queue_State &state)
{
    const http_status_t status = cups.httpStatus(http);
    const QByteArray type = cups.field(http, HTTP_FIELD_CONTENT_TYPE);
    if (status == HTTP_STATUS_UNAUTHORIZED || status == HTTP_STATUS_CUPS_AUTHORIZATION_CANCELED) {
        state.heard = Heard::Password;
        return;
    }
    state.heard = status >= HTTP_STATUS_OK || !type.isEmpty() ? Heard::Not_Ipp : Heard::Hung_Up;
    if (status >= HTTP_STATUS_OK)
        state.said = Tr("HTTP status %1, %2").arg(int(status)).arg(state.said);
    else if (!type.isEmpty())
        state.said = Tr("its answer, of type %1, is not IPP").arg(QString::fromUtf8(type));
}

// The question itself, on the talking thread: the queue's state, or with
// no queue the printer list.
void Ask(const Cups_Library &cups, http_t *http, const QByteArray &queue, const QByteArray &instance,
         Queue_State &state)
{
    if (!http) {
        state.heard = Heard::Nobody;
        state.said = connect_failure;
        return;
    }
    ipp_t *request = cups.newRequest(queue.isEmpty() ? IPP_OP_CUPS_GET_PRINTERS : IPP_OP_GET_PRINTER_ATTRIBUTES);
    if (!queue.isEmpty()) {
        const QByteArray uri = "ipp://localhost:" + QByteArray::number(cups.port()) + "/printers/" +
                               QUrl::toPercentEncoding(QString::fromUtf8(queue));
        cups.addString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.constData());
    }
    static const char *const wanted[] = {"printer-name", "printer-is-accepting-jobs", "printer-state",
                                         "printer-state-message"};
    cups.addStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", int(std::size(wanted)),
                    nullptr, wanted);
    ipp_t *response = cups.doRequest(http, request, "/");
    state.status = response ? cups.statusCode(response) : cups.lastError();
    state.said = QString::fromUtf8(cups.lastErrorString());
    if (!response)
        return No_Ipp_Answer(cups, http, state);
    if (ipp_attribute_t *accepting = cups.findAttribute(response, "printer-is-accepting-jobs", IPP_TAG_BOOLEAN))
        state.accepting = cups.getBoolean(accepting, 0);
    if (ipp_attribute_t *printerState = cups.findAttribute(response, "printer-state", IPP_TAG_ENUM))
        state.stopped = cups.getInteger(printerState, 0) == IPP_PSTATE_STOPPED;
    if (ipp_attribute_t *message = cups.findAttribute(response, "printer-state-message", IPP_TAG_TEXT))
        state.message = QString::fromUtf8(cups.getString(message, 0, nullptr));
    cups.deleteIpp(response);
    if (state.status == IPP_STATUS_ERROR_NOT_FOUND && !queue.isEmpty()) {
        // A printer found on the network gets its queue with its first job.
        if (cups_dest_t *dest = cups.getNamedDest(http, queue.constData(),
                                                  instance.isEmpty() ? nullptr : instance.constData())) {
            cups.freeDests(1, dest);
            state.status = IPP_STATUS_OK;
        }
    }
}

// A print system that wants a user name and password: this program never
// asks for one (nobody answers a prompt on its helper threads).
QString Password_Asked(const QString &address)
{
    return Tr("the print system (CUPS) at %1 asks for a user name and password, which Quorvel does not give (ask "
              "its administrator to let you print without one)")
        .arg(address);
}

// A queue that refuses jobs, with the administrator's reason and CUPS's status.
Failure Refused(const QString &printer, const QString &reason, const QString &status)
{
    return {Tr("the printer \"%1\" is not accepting jobs: %2 (CUPS: %3)")
                .arg(printer, reason.isEmpty() ? Tr("no reason was given") : reason, status)};
}

// How far a job got, as the talking thread saw it.
struct Job_Progress : Job_Answer {
    std::atomic<int> id{0}; // once created; read also by a waiter that gave up
};

// What the print system said of the job in its answer to the document.
void Read_Job_State(const Cups_Library &cups, ipp_t *response, Job_Progress &progress)
{
    if (ipp_attribute_t *state = cups.findAttribute(response, "job-state", IPP_TAG_ENUM))
        progress.state = cups.getInteger(state, 0);
    if (ipp_attribute_t *message = cups.findAttribute(response, "job-state-message", IPP_TAG_TEXT))
        progress.reasons = QString::fromUtf8(cups.getString(message, 0, nullptr));
    else if (ipp_attribute_t *reasons = cups.findAttribute(response, "job-state-reasons", IPP_TAG_KEYWORD))
        progress.reasons = QString::fromUtf8(cups.getString(reasons, 0, nullptr)).remove(QStringLiteral("none"));
}

// On the talking thread: the queue asked, then the job created and its
// document sent, as lp and Qt's print engine send theirs.
void Send(const Cups_Library &cups, http_t *http, const Print_Job &job, Job_Progress &progress)
{
    const QByteArray queue = job.printer.section(u'/', 0, 0).toUtf8();
    Ask(cups, http, queue, job.printer.section(u'/', 1).toUtf8(), progress.queue);
    if (progress.queue.heard != Heard::Answer || !Queue_Ready(job.printer, progress.queue).Ok())
        return;
    std::vector<cups_option_t> options;
    for (const auto &[name, value] : job.options)
        options.push_back({const_cast<char *>(name.constData()), const_cast<char *>(value.constData())});
    const QByteArray title = job.title.toUtf8();
    progress.id = cups.createJob(http, queue.constData(), title.constData(), int(options.size()), options.data());
    ipp_t *response = nullptr;
    if (progress.id &&
        cups.startDocument(http, queue.constData(), progress.id, title.constData(), CUPS_FORMAT_PDF, 1) ==
            HTTP_STATUS_CONTINUE &&
        cups.writeRequestData(http, job.pdf.constData(), size_t(job.pdf.size())) == HTTP_STATUS_CONTINUE)
        response = cups.getResponse(http, ("/printers/" + queue).constData());
    progress.status = response ? cups.statusCode(response) : cups.lastError();
    progress.said = QString::fromUtf8(cups.lastErrorString());
    if (response) {
        Read_Job_State(cups, response, progress);
        cups.deleteIpp(response);
    }
}

// How long a job nobody waits for any more is asked to be cancelled, the
// whole exchange.
constexpr int Cancel_Wait = 5000; // ms

// A job nobody waits for any more is cancelled, on a connection of its own
// that is cut at Cancel_Wait, however the server trickles its answer (each
// byte would start libcups's own time-out again).
void Cancel_Job(const Cups_Library &cups, const QString &printer, int id)
{
    const QByteArray queue = printer.section(u'/', 0, 0).toUtf8();
    Talk_Off_Thread(
        cups,
        [queue, id](const Cups_Library &cups, http_t *http) {
            if (http)
                cups.cancelJob(http, queue.constData(), id, 0);
        },
        {}, QDeadlineTimer(Cancel_Wait), {});
}

} // namespace

const Cups_Library *Cups_System()
{
    static const std::optional<Cups_Library> cups = []() -> std::optional<Cups_Library> {
        QLibrary library(QStringLiteral("cups"), 2);
        bool found = true;
        const auto get = [&](auto &function, const char *name) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(library.resolve(name));
            found = found && function;
        };
        Cups_Library c{};
        get(c.server, "cupsServer"), get(c.port, "ippPort"), get(c.encryption, "cupsEncryption");
        get(c.lookUp, "httpAddrGetList"), get(c.freeAddresses, "httpAddrFreeList");
        get(c.connect, "httpConnect2"), get(c.setTimeout, "httpSetTimeout"), get(c.httpStatus, "httpGetStatus");
        get(c.close, "httpClose"), get(c.newRequest, "ippNewRequest"), get(c.addString, "ippAddString");
        get(c.addStrings, "ippAddStrings"), get(c.doRequest, "cupsDoRequest");
        get(c.findAttribute, "ippFindAttribute"), get(c.getString, "ippGetString");
        get(c.getInteger, "ippGetInteger"), get(c.getBoolean, "ippGetBoolean");
        get(c.statusCode, "ippGetStatusCode"), get(c.deleteIpp, "ippDelete"), get(c.lastError, "cupsLastError");
        get(c.lastErrorString, "cupsLastErrorString"), get(c.getNamedDest, "cupsGetNamedDest");
        get(c.freeDests, "cupsFreeDests"), get(c.field, "httpGetField"), get(c.fd, "httpGetFd");
        get(c.setServer, "cupsSetServer"), get(c.setEncryption, "cupsSetEncryption"), get(c.user, "cupsUser");
        get(c.setUser, "cupsSetUser"), get(c.setPasswordCB, "cupsSetPasswordCB2");
        get(c.getDests, "cupsGetDests2"), get(c.getPPD, "cupsGetPPD3"), get(c.createJob, "cupsCreateJob");
        get(c.startDocument, "cupsStartDocument"), get(c.writeRequestData, "cupsWriteRequestData");
        get(c.getResponse, "cupsGetResponse"), get(c.cancelJob, "cupsCancelJob2");
        if (!found)
            return std::nullopt;
        return c;
    }();
    return cups ? &*cups : nullptr;
}

Ending Talk_Off_Thread(const Cups_Library &cups, const std::function<void(const Cups_Library &cups, http_t *http)> &work,
                       const std::function<void()> &abandoned, QDeadlineTimer deadline, const Still_Waiting &waiting)
{
    auto talk = std::make_shared<Conversation>();
    talk->cups = cups;
    talk->server = cups.server();
    talk->port = cups.port();
    talk->encryption = cups.encryption();
    talk->user = cups.user();
    // Not joined: a thread stuck where libcups cannot be cancelled (a name
    // lookup) ends on its own later, and nobody waits for it.
    std::thread([talk, work, abandoned] {
        Use_Asking_Settings(*talk);
        http_t *http = Connect(*talk);
        work(talk->cups, http);
        if (http)
            Disconnect(*talk, http);
        bool left;
        {
            const std::lock_guard hold(talk->lock);
            talk->done = true;
            left = Abandoned(*talk);
            talk->ended.notify_all();
        }
        if (left && abandoned)
            abandoned();
    }).detach();

    std::unique_lock hold(talk->lock);
    while (!talk->ended.wait_for(hold, std::chrono::milliseconds(20), [&] { return talk->done; })) {
        if (deadline.hasExpired()) {
            Give_Up(*talk);
            return Ending::Late;
        }
        hold.unlock();
        const bool go_on = !waiting || waiting();
        hold.lock();
        if (!go_on && !talk->done) {
            Give_Up(*talk);
            return Ending::Cancelled;
        }
    }
    return Ending::Done;
}

QString Print_System_Address(const QByteArray &server, int port)
{
    if (server.startsWith('/'))
        return QString::fromUtf8(server);
    const QString host = QString::fromUtf8(server);
    const bool bare_ipv6 = host.contains(u':') && !host.startsWith(u'[');
    return (bare_ipv6 ? u'[' + host + u']' : host) + u':' + QString::number(port);
}

QString Print_System_Address(const Cups_Library &cups)
{
    return Print_System_Address(cups.server(), cups.port());
}

Queue_State Ask_Scheduler(const Cups_Library &cups, const QString &printer, const Still_Waiting &waiting,
                          QDeadlineTimer deadline)
{
    const QByteArray queue = printer.section(u'/', 0, 0).toUtf8();
    const QByteArray instance = printer.section(u'/', 1).toUtf8();
    auto asked = std::make_shared<Queue_State>();
    const Ending ending = Talk_Off_Thread(
        cups, [asked, queue, instance](const Cups_Library &cups, http_t *http) { Ask(cups, http, queue, instance, *asked); },
        {}, deadline, waiting);
    Queue_State state = ending == Ending::Done ? *asked : Queue_State{};
    if (ending != Ending::Done)
        state.heard = ending == Ending::Late ? Heard::Silence : Heard::Cancelled;
    state.address = Print_System_Address(cups);
    return state;
}

Result<> Heard_From(const Queue_State &state)
{
    switch (state.heard) {
    case Heard::Silence:
        return Failure{Tr("the print system (CUPS) at %1 does not answer").arg(state.address)};
    case Heard::Nobody:
        return Failure{Tr("no print system (CUPS) takes connections at %1 (%2)").arg(state.address, state.said)};
    case Heard::Not_Ipp:
        return Failure{
            Tr("the server at %1 answered, but not as a print system (CUPS) does (%2)").arg(state.address, state.said)};
    case Heard::Hung_Up:
        return Failure{Tr("the server at %1 took the connection but gave no answer").arg(state.address)};
    case Heard::Password:
        return Failure{Password_Asked(state.address)};
    case Heard::Cancelled:
        return Failure{Tr("the print system (CUPS) at %1 was not waited for").arg(state.address)};
    case Heard::Answer:
        break;
    }
    return {};
}

Result<> Queue_Ready(const QString &printer, const Queue_State &state)
{
    if (printer.isEmpty())
        return Failure{Tr("no printer and no file was chosen")};
    if (const Result<> heard = Heard_From(state); !heard.Ok())
        return Failure{Tr("the printer \"%1\" cannot be reached: %2").arg(printer, heard.Message())};
    if (state.status > IPP_STATUS_OK_EVENTS_COMPLETE)
        return Failure{Tr("the printer \"%1\" cannot be reached: %2").arg(printer, state.said)};
    if (!state.accepting)
        return Refused(printer, state.message, QStringLiteral("server-error-not-accepting-jobs"));
    return {};
}

Result<Printed> Job_Outcome(const QString &printer, int id, const Job_Answer &answer)
{
    if (const Result<> ready = Queue_Ready(printer, answer.queue); !ready.Ok())
        return Failure{ready.Message()};
    if (answer.status == IPP_STATUS_ERROR_NOT_ACCEPTING_JOBS)
        return Refused(printer, answer.queue.message, answer.said);
    if (answer.status == IPP_STATUS_ERROR_NOT_AUTHENTICATED ||
        answer.status == IPP_STATUS_ERROR_CUPS_AUTHENTICATION_CANCELED)
        return Failure{Tr("the printer \"%1\" did not take the job: %2")
                           .arg(printer, Password_Asked(answer.queue.address))};
    if (answer.status > IPP_STATUS_OK_EVENTS_COMPLETE)
        return Failure{Tr("the printer \"%1\" did not take the job: %2").arg(printer, answer.said)};
    const QString job = QString::number(id), why = answer.reasons.isEmpty() ? Tr("no reason was given")
                                                                                     : answer.reasons;
    switch (answer.state) {
    case IPP_JSTATE_ABORTED:
        return Failure{Tr("the print system aborted job %1 on the printer \"%2\" (%3)").arg(job, printer, why)};
    case IPP_JSTATE_CANCELED:
        return Failure{Tr("job %1 on the printer \"%2\" was canceled (%3)").arg(job, printer, why)};
    case IPP_JSTATE_STOPPED:
        return Printed{Tr("Job %1 on the printer \"%2\" has stopped (%3): it goes on once the printer can.")
                           .arg(job, printer, why)};
    case IPP_JSTATE_HELD:
        return Printed{Tr("Job %1 on the printer \"%2\" is held (%3): it prints once it is released.")
                           .arg(job, printer, why)};
    }
    if (!answer.queue.stopped)
        return Printed{};
    const QString message = answer.queue.message;
    return Printed{Tr("The printer \"%1\" is stopped%2: the page waits in its queue and prints once the printer is "
                      "started again.")
                       .arg(printer, message.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(message))};
}

Result<Printed> Submit_Job(const Cups_Library &cups, const Print_Job &job, QDeadlineTimer deadline,
                           const Still_Waiting &waiting)
{
    auto progress = std::make_shared<Job_Progress>();
    const Ending ending = Talk_Off_Thread(
        cups, [progress, job](const Cups_Library &cups, http_t *http) { Send(cups, http, job, *progress); },
        [progress, printer = job.printer, cups] {
            if (progress->id)
                Cancel_Job(cups, printer, progress->id);
        },
        deadline, waiting);
    const QString address = Print_System_Address(cups);
    if (ending == Ending::Done) {
        progress->queue.address = address;
        return Job_Outcome(job.printer, progress->id, *progress);
    }
    Queue_State state;
    state.heard = ending == Ending::Late ? Heard::Silence : Heard::Cancelled;
    state.address = address;
    if (const int id = progress->id; id && ending == Ending::Late)
        return Failure{Tr("the print system (CUPS) at %1 did not confirm job %2 for the printer \"%3\" in time, and "
                          "is asked to cancel it")
                           .arg(address, QString::number(id), job.printer)};
    return Failure{Queue_Ready(job.printer, state).Message()};
}
