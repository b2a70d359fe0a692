// The print system as the print command asks it: a CUPS scheduler, reached
// through libcups on a connection and a thread of the command's own, so that
// a scheduler that never answers costs the window nothing and the user a few
// seconds at most. CUPS's own calls wait minutes, several times over.
#pragma once

#include "outcome.h"

#include <QByteArray>
#include <QString>

#include <cups/cups.h>

#include <functional>

// The parts of libcups the print command uses, as a table: the system's
// library loaded at run time (Cups_System), or one a test makes up.
struct Cups_Library {
    decltype(&cupsServer) server;
    decltype(&ippPort) port;
    decltype(&cupsEncryption) encryption;
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
};

// The system's libcups, loaded on first use. The library is loaded when the
// first print needs it, by which time Qt's print support has loaded it
// anyway: linked into the program, it and the libraries it needs would cost
// every start-up. Nothing when it cannot be loaded; then nothing prints
// through CUPS either.
const Cups_Library *Cups_System();

// How long the print command waits for the scheduler's answer, in total.
constexpr int Answer_Wait = 4000; // ms

// What came back from the scheduler.
enum class Heard {
    Answer,    // an answer in IPP (its status may still be an error)
    Nobody,    // nothing listens at the address: the connection was refused
    Silence,   // no answer within the wait
    Stranger,  // something answered, but not in IPP, or hung up
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

// Called every few milliseconds while an answer is awaited (the window's
// events run there); false stops the waiting.
using Still_Waiting = std::function<bool()>;

// Asks the scheduler for `printer` ("queue" or "queue/instance"), or with no
// printer for its printer list, as Qt is about to. Gives up after `wait` ms.
Queue_State Ask_Scheduler(const Cups_Library &cups, const QString &printer, const Still_Waiting &waiting,
                          int wait = Answer_Wait);

// Whether the print system answered in IPP (its status may still be an
// error); fails with why it cannot be asked anything, with its address.
// A question the user stopped waiting for fails too.
Result<> Heard(const Queue_State &state);

// Whether `printer` can take a job, as the scheduler told it; fails with why not.
Result<> Queue_Ready(const QString &printer, const Queue_State &state);

// Whether the print system took the job Qt handed to CUPS for `printer`:
// `status` and `said` are CUPS's last error on the thread that handed it
// over, `state` the queue as asked afterwards (its reason for a refusal).
Result<> Job_Taken(const QString &printer, ipp_status_t status, const QString &said, const Queue_State &state);
