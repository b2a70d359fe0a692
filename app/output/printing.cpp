#include "printing.h"

#include "page_build.h"
#include "pdf_form.h"
#include "printer_surface.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <memory>
#include <sys/stat.h>

namespace {

QString Tr(const char *text)
{
    return QCoreApplication::translate("Printing", text);
}

std::unique_ptr<QPrinter> printer;

// Prints on the queue the dialog chose: the queue asked first, so that a
// queue that is gone or refuses jobs, or a scheduler that does not answer,
// is reported before anything is drawn.
Result<Printed> Print_On_Queue(QPrinter &device, const Still_Waiting &waiting)
{
    const QString queue = device.printerName();
    const Cups_Library *cups = Cups_System();
    Queue_State state;
    if (cups)
        state = Ask_Scheduler(*cups, queue, waiting);
    if (const Result<> ready = Queue_Ready(queue, state); !ready.Ok())
        return Failure{ready.Message()};
    try {
        // A surface of its own for every print: the dialog may have chosen a
        // printer of another resolution, at which the fonts measure anew.
        // Should the drawing fail, the page it collected goes with it, unsent.
        Printer_Surface surface(device);
        const Drawing_Scope scope(surface, 1);
        Build_Page();
    } catch (const RuntimeError &error) {
        if (error.number() != Err_Printer)
            throw;
        // Qt could not begin the job (no room for its file): which printer.
        return Failure{QStringLiteral("%1 (%2)").arg(QString::fromStdString(error.what()), queue)};
    }
    if (cups) {
        // Qt hands the job to CUPS as the document ends and keeps CUPS's
        // answer (a queue that is not accepting jobs says so here) to itself;
        // CUPS keeps it too, as this thread's last error. A queue that is
        // stopped but accepting holds the job until it is started again: a
        // success, as lp sees it too.
        const ipp_status_t status = cups->lastError();
        const QString said = QString::fromUtf8(cups->lastErrorString());
        const Queue_State refusal = status == IPP_STATUS_ERROR_NOT_ACCEPTING_JOBS
                                        ? Ask_Scheduler(*cups, queue, waiting)
                                        : Queue_State{};
        if (const Result<> taken = Job_Taken(queue, status, said, refusal); !taken.Ok())
            return Failure{taken.Message()};
    }
    if (!state.stopped)
        return Printed{};
    return Printed{Tr("The printer \"%1\" is stopped%2: the page waits in its queue and prints once the printer is "
                      "started again.")
                       .arg(queue, state.message.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(state.message))};
}

} // namespace

QPrinter &The_Printer()
{
    if (!printer) {
        printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        Set_Up_Letter(*printer);
        printer->setDocName(Document_Title()); // the print job's name too
        printer->setCreator(Document_Creator());
        // Let go of it while the application is still there to clean up after it.
        qAddPostRoutine([] { printer.reset(); });
    }
    return *printer;
}

Result<> Check_Print_System(const Still_Waiting &waiting)
{
    const Cups_Library *cups = Cups_System();
    if (!cups)
        return {};
    QElapsedTimer asking;
    asking.start();
    const Queue_State state = Ask_Scheduler(*cups, {}, waiting);
    // A connection refused at once (nothing listens there) costs Qt's own
    // calls nothing either, and the dialog still prints to a file; one
    // refused after seconds (a host that is down, given up on by the
    // network) would cost each of them as much.
    if (state.heard == Heard::Nobody && asking.elapsed() < 1000)
        return {};
    return Heard(state);
}

Result<> Check_Print_File(const QString &name)
{
    struct stat found {};
    if (::stat(QFile::encodeName(name).constData(), &found) != 0 || S_ISREG(found.st_mode))
        return {};
    return Failure{Tr("\"%1\" is not a regular file").arg(name)};
}

Result<Printed> Print_On(QPrinter &printer, const Still_Waiting &waiting)
{
    const QString file = printer.outputFileName();
    if (file.isEmpty())
        return Print_On_Queue(printer, waiting);
    if (const Result<> written = Write_Page_Pdf(QFile::encodeName(file), printer.pageLayout()); !written.Ok())
        return Failure{written.Message()};
    return Printed{};
}
