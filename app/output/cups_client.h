// The print system as the print command talks to it: a CUPS scheduler (or
// an IPP printer), reached through libcups on a connection and a thread of
// the command's own. The window waits for the answer with its events
// running, until a deadline; past it, the connection is cut and the thread
// left to end on its own. CUPS's own calls wait minutes, several times
// over, and a server that sends a byte now and then keeps them waiting for
// ever: each byte starts their time-out again.
#pragma once

#include "outcome.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>

#include <cups/cups.h>
#include <cups/ppd.h>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

// The parts of libcups the print command uses, as a table: the system's
// library loaded at run time (Cups_System), or one a test makes up.
struct Cups_Library {
    decltype(&cupsServer) server;
    decltype(&ippPort) port;
    decltype(&cupsEncryption) encryption;
    decltype(&httpAddrGetList) lookUp;
    decltype(&httpAddrFreeList) freeAddresses;
    decltype(&httpConnect2) connect;
    decltype(&httpSetTimeout) setTimeout;
    decltype(&httpGetStatus) httpStatus;
    decltype(&httpClose) close;
    decltype(&ippNewRequest) newRequest;
    decltype(&ippAddString) addString;
    decltype(&ippAddStrings) addStrings;
    decltype(&cupsDoRequest) doRequest;
    decltype(&ippFindAttribute) findAttribute;
    decltype(&ippGetString) getString;
    decltype(&ippGetInteger) getInteger;
    decltype(&ippGetBoolean) getBoolean;
    decltype(&ippGetStatusCode) statusCode;
    decltype(&ippDelete) deleteIpp;
    decltype(&cupsLastError) lastError;
    decltype(&cupsLastErrorString) lastErrorString;
    decltype(&cupsGetNamedDest) getNamedDest;
    decltype(&cupsFreeDests) freeDests;
    decltype(&httpGetField) field;
    decltype(&httpGetFd) fd;
    decltype(&cupsSetServer) setServer;
    decltype(&cupsSetEncryption) setEncryption;
    decltype(&cupsUser) user;
    decltype(&cupsSetUser) setUser;
    decltype(&cupsSetPasswordCB2) setPasswordCB;
    decltype(&cupsGetDests2) getDests;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations" // as Qt's print support, which asks for PPDs
    decltype(&cupsGetPPD3) getPPD;
#pragma GCC diagnostic pop
    decltype(&cupsCreateJob) createJob;
    decltype(&cupsStartDocument) startDocument;
    decltype(&cupsWriteRequestData) writeRequestData;
    decltype(&cupsGetResponse) getResponse;
    decltype(&cupsCancelJob2) cancelJob;
};

// The system's libcups, loaded on first use. The library is loaded when the
// first print needs it, by which time Qt's print support has loaded it
// anyway: linked into the program, it and the libraries it needs would cost
// every start-up. Nothing when it cannot be loaded; then nothing prints
// through CUPS either.
const Cups_Library *Cups_System();

// How long the print command waits for the print system before it shows
// the dialog, in total: the rest of the user's wait is Qt's.
constexpr int Answer_Wait = 4000; // ms
// From a user's action (the command, "Print" in the dialog) to what the
// print system made of it, in total.
constexpr int Answer_Budget = 8000; // ms

// Called every few milliseconds while an answer is awaited (the window's
// events run there); false stops the waiting.
using Still_Waiting = std::function<bool()>;

// How a conversation with the print system ended, as its waiter saw it.
enum class Ending { Done, Late, Cancelled };

// Runs `work` on a thread of its own, on behalf of this thread: that
// thread's libcups asks where this thread's does (server, port, encryption,
// user), never for a password, and `work` gets a connection of its own
// there (none when it was refused or the name not found). The name is
// looked up once for all who ask while the lookup runs: a name server that
// never answers holds one thread until the resolver gives up, however often
// the user asks meanwhile, and each asker waits only for its own. Waits
// for it until `deadline`, calling `waiting` meanwhile. Late or cancelled,
// the connection is cut, and `abandoned` runs on that thread once `work`
// returns (to free what it made); nobody waits for the thread.
Ending Talk_Off_Thread(const Cups_Library &cups, const std::function<void(const Cups_Library &cups, http_t *http)> &work,
                       const std::function<void()> &abandoned, QDeadlineTimer deadline, const Still_Waiting &waiting);

// Where this thread's libcups asks: host:port, or the local socket's path.
QString Print_System_Address(const Cups_Library &cups);

// The address of the print system at `server` (a host name, an IPv6 address
// bare or in brackets, or the path of a local socket) and `port`, as the
// user would write it and libcups reads it back: host:port, [v6]:port, or
// the path alone (a socket has no port).
QString Print_System_Address(const QByteArray &server, int port);

// What came back from the scheduler.
enum class Heard {
    Answer,    // an answer in IPP (its status may still be an error)
    Nobody,    // nothing listens at the address: the connection was refused
    Silence,   // no answer in time
    Not_Ipp,   // an answer in HTTP, but not in IPP
    Hung_Up,   // the connection was taken, but no answer came back
    Password,  // it asks for a user name and password, which is never given
    Cancelled, // the user stopped waiting
};

struct Queue_State {
    Heard heard = Heard::Answer;
    QString address;                   // host:port, or the socket's path
    ipp_status_t status = IPP_STATUS_OK;
    QString said;                      // libcups's words for a failed request
    bool accepting = true;
    bool stopped = false;
    QString message;                   // printer-state-message: the administrator's reason
};

// Asks the scheduler for `printer` ("queue" or "queue/instance"), or with no
// printer for its printer list, as Qt is about to. Gives up at `deadline`.
Queue_State Ask_Scheduler(const Cups_Library &cups, const QString &printer, const Still_Waiting &waiting,
                          QDeadlineTimer deadline = QDeadlineTimer(Answer_Wait));

// Whether the print system answered in IPP (its status may still be an
// error); fails with why it cannot be asked anything, with its address.
// A question the user stopped waiting for fails too.
Result<> Heard_From(const Queue_State &state);

// Whether `printer` can take a job, as the scheduler told it; fails with why not.
Result<> Queue_Ready(const QString &printer, const Queue_State &state);

// A page for a print queue: the PDF and the options the printer dialog chose.
struct Print_Job {
    QString printer; // "queue" or "queue/instance"
    QString title;
    std::vector<std::pair<QByteArray, QByteArray>> options;
    QByteArray pdf;
};

// A print that was not refused: the notice the user is told, if any (a
// job that waits in a stopped queue, or is held), and for a print to a file
// the file written, its whole path.
struct Printed {
    QString notice;
    QString file = {};
};

// How the print system answered a job: the queue as asked first, the
// status of the request that failed (if one did), with libcups's words, and
// the job's state as it answered the document.
struct Job_Answer {
    Queue_State queue;
    ipp_status_t status = IPP_STATUS_OK;
    QString said;
    int state = 0;   // job-state as the print system answered the document; 0: none
    QString reasons; // job-state-message, else job-state-reasons
};

// What the user is told of job `id` on `printer` answered so: aborted or
// canceled fail, stopped or held (or waiting in a stopped queue) are told.
Result<Printed> Job_Outcome(const QString &printer, int id, const Job_Answer &answer);

// Hands `job` to the print system: the queue asked first (gone, refusing
// jobs, stopped), then the job created and its document sent, all by
// `deadline`. Done once the print system has taken the document, with the
// job's state as it answered: aborted or canceled fail, stopped or held are
// told. A job created but not confirmed by the deadline fails, and is
// cancelled (asked for on a thread of its own, nobody waiting; the
// connection cut after a few seconds, whatever the server still sends).
Result<Printed> Submit_Job(const Cups_Library &cups, const Print_Job &job, QDeadlineTimer deadline,
                           const Still_Waiting &waiting);
