#include "qt_cups_calls.h"

#include "tr.h"

#include <QCoreApplication>
#include <QThread>

#include <memory>
#include <optional>
#include <utility>

#include <unistd.h>

namespace {

// What the print command, while it runs, knows of the questions Qt asked
// on its behalf (Qt_Cups_Questions).
struct Command_Questions {
    std::function<Still_Waiting()> waiting;
    std::optional<QDeadlineTimer> deadline; // of the user's action, while one runs
    std::optional<Failure> late;
    bool cancelled = false;
};
Command_Questions *questions = nullptr;

bool On_Window_Thread()
{
    const QCoreApplication *application = QCoreApplication::instance();
    return application && QThread::currentThread() == application->thread();
}

// Asks Qt's question `what` on a thread of its own (see the header): the
// answer, or `failed` when none came in time. `release` frees an answer
// that came too late, on the thread that asked.
template <class T>
T Ask_For_Qt(const Cups_Library &cups, const QString &what, T failed,
             std::function<T(const Cups_Library &, http_t *)> ask, std::function<void(const Cups_Library &, T)> release)
{
    const QDeadlineTimer deadline =
        questions && questions->deadline ? *questions->deadline : QDeadlineTimer(Answer_Budget);
    const auto record = [&](Ending ending) {
        if (questions && questions->deadline && ending == Ending::Cancelled)
            questions->cancelled = true;
        else if (questions && questions->deadline && !questions->late)
            questions->late = Failure{Tr("the print system (CUPS) at %1 did not answer in time when Qt asked it %2")
                                          .arg(Print_System_Address(cups), what)};
        return failed;
    };
    if (deadline.hasExpired() || (questions && questions->cancelled))
        return record(questions && questions->cancelled ? Ending::Cancelled : Ending::Late);
    auto answer = std::make_shared<T>(failed);
    const Ending ending = Talk_Off_Thread(
        cups,
        [answer, ask](const Cups_Library &cups, http_t *http) {
            if (http)
                *answer = ask(cups, http);
        },
        [answer, release, cups] { release(cups, *answer); }, deadline,
        questions && questions->waiting ? questions->waiting() : Still_Waiting());
    return ending == Ending::Done ? *answer : record(ending);
}

using Dests = std::pair<int, cups_dest_t *>;

} // namespace

Qt_Cups_Questions::Qt_Cups_Questions(std::function<Still_Waiting()> waiting)
{
    questions = new Command_Questions{std::move(waiting), {}, {}, false};
}

Qt_Cups_Questions::~Qt_Cups_Questions()
{
    delete questions;
    questions = nullptr;
}

void Qt_Cups_Questions::Begin(QDeadlineTimer deadline)
{
    questions->deadline = deadline;
    questions->late.reset();
    questions->cancelled = false;
}

void Qt_Cups_Questions::End()
{
    questions->deadline.reset();
}

Result<> Qt_Cups_Questions::Answered() const
{
    if (questions->late)
        return *questions->late;
    return {};
}

bool Qt_Cups_Questions::Cancelled() const
{
    return questions->cancelled;
}

// libcups's calls as Qt's print support makes them: theirs in every way but
// the thread they wait on.
extern "C" {

int cupsGetDests(cups_dest_t **dests)
{
    const Cups_Library *cups = Cups_System();
    *dests = nullptr;
    if (!cups)
        return 0;
    if (!On_Window_Thread())
        return cups->getDests(CUPS_HTTP_DEFAULT, dests);
    const Dests found = Ask_For_Qt<Dests>(
        *cups, Tr("for its printers"), {0, nullptr},
        [](const Cups_Library &cups, http_t *http) {
            cups_dest_t *list = nullptr;
            const int count = cups.getDests(http, &list);
            return Dests{count, list};
        },
        [](const Cups_Library &cups, Dests late) { cups.freeDests(late.first, late.second); });
    *dests = found.second;
    return found.first;
}

cups_dest_t *cupsGetNamedDest(http_t *http, const char *name, const char *instance)
{
    const Cups_Library *cups = Cups_System();
    if (!cups)
        return nullptr;
    if (http || !On_Window_Thread())
        return cups->getNamedDest(http, name, instance);
    const QByteArray queue = name, copy = instance;
    return Ask_For_Qt<cups_dest_t *>(
        *cups, name ? Tr("for the printer \"%1\"").arg(QString::fromUtf8(name)) : Tr("for its default printer"),
        nullptr,
        [queue, copy, named = name != nullptr, instanced = instance != nullptr](const Cups_Library &cups,
                                                                                http_t *http) {
            return cups.getNamedDest(http, named ? queue.constData() : nullptr, instanced ? copy.constData() : nullptr);
        },
        [](const Cups_Library &cups, cups_dest_t *late) {
            if (late)
                cups.freeDests(1, late);
        });
}

const char *cupsGetPPD(const char *name)
{
    // libcups keeps the file's name in a buffer of the thread's own, as here.
    thread_local char file[1024];
    const Cups_Library *cups = Cups_System();
    if (!cups || !name)
        return nullptr;
    time_t modified = 0;
    file[0] = '\0';
    if (!On_Window_Thread())
        return cups->getPPD(CUPS_HTTP_DEFAULT, name, &modified, file, sizeof file) == HTTP_STATUS_OK ? file : nullptr;
    const QByteArray queue = name;
    const QByteArray found = Ask_For_Qt<QByteArray>(
        *cups, Tr("for the settings of the printer \"%1\"").arg(QString::fromUtf8(name)), {},
        [queue](const Cups_Library &cups, http_t *http) {
            char made[1024] = "";
            time_t since = 0;
            return cups.getPPD(http, queue.constData(), &since, made, sizeof made) == HTTP_STATUS_OK ? QByteArray(made)
                                                                                                   : QByteArray();
        },
        [](const Cups_Library &, QByteArray late) {
            if (!late.isEmpty())
                ::unlink(late.constData());
        });
    if (found.isEmpty() || size_t(found.size()) >= sizeof file)
        return nullptr;
    qstrcpy(file, found.constData());
    return file;
}

} // extern "C"
