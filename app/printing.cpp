#include "printing.h"

#include "output_file.h"
#include "page_build.h"
#include "pdf_form.h"
#include "printer_surface.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QLibrary>
#include <QLineEdit>
#include <QMessageBox>
#include <QPageLayout>
#include <QPageSize>
#include <QPrintDialog>

#include <cups/cups.h>

#include <exception>
#include <iterator>
#include <memory>
#include <optional>
#include <sys/stat.h>

namespace {

QString Tr(const char *text)
{
    return QCoreApplication::translate("Printing", text);
}

// Why the dialog must not take `name` as the file to print to: Qt's dialog
// opens it before it closes, and opening a pipe or a device can wait for
// ever. Empty when it is a regular file or a new one.
QString Not_A_File(const QString &name)
{
    struct stat found {};
    if (::stat(QFile::encodeName(name).constData(), &found) != 0 || S_ISREG(found.st_mode))
        return {};
    return Tr("\"%1\" is not a regular file.\nPlease choose a different file name.").arg(name);
}

bool Show_Print_Dialog(QPrinter &printer, QWidget *parent)
{
    QPrintDialog dialog(&printer, parent);
    dialog.setOptions(Printer_Dialog_Options(dialog.options(), dlgCommon.Flags));
    // Qt's dialog checks the file name by opening it when "Print" is pressed
    // (its private slot _q_checkFields, connected to the buttons' accepted
    // signal). The name is looked at first, without opening anything; where
    // the dialog is built otherwise, it is left as Qt made it.
    auto *buttons = dialog.findChild<QDialogButtonBox *>(QString(), Qt::FindDirectChildrenOnly);
    auto *name = dialog.findChild<QLineEdit *>(QStringLiteral("filename"));
    if (buttons && name && QObject::disconnect(buttons, SIGNAL(accepted()), &dialog, SLOT(_q_checkFields())))
        QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&dialog, name] {
            const QString why = name->isEnabled() ? Not_A_File(name->text()) : QString();
            if (!why.isEmpty())
                QMessageBox::warning(&dialog, dialog.windowTitle(), why);
            else
                QMetaObject::invokeMethod(&dialog, "_q_checkFields");
        });
    return dialog.exec() == QDialog::Accepted;
}

void Warn_Print_Failed(QWidget *window, const QString &reason)
{
    QMessageBox::warning(window, QCoreApplication::translate("Printing", "Print"),
                         QCoreApplication::translate("Printing", "The page could not be printed.\n\n%1").arg(reason));
}

void Tell_Print_Waits(QWidget *window, const QString &notice)
{
    QMessageBox::information(window, QCoreApplication::translate("Printing", "Print"), notice);
}

Printer_Dialog printerDialog = Show_Print_Dialog;
Print_Failure_Report failureReport = Warn_Print_Failed;
Print_Failure_Report noticeReport = Tell_Print_Waits;

// The printer of the print command. Making a QPrinter asks the print system
// for its printers, so it is made on the first print, not at start-up, and
// kept so that the dialog offers the last choice again.
std::unique_ptr<QPrinter> printer;

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

// A print that did not happen, and what the user is told about it.
struct Print_Failure {
    QString reason;
};

// The parts of libcups the print command uses. The library is loaded when
// the first print needs it, by which time Qt's print support has loaded it
// anyway: linked into the program, it and the libraries it needs would cost
// every start-up.
struct Cups_Library {
    decltype(&cupsServer) server;
    decltype(&ippPort) port;
    decltype(&cupsEncryption) encryption;
    decltype(&httpConnect2) connect;
    decltype(&httpSetTimeout) setTimeout;
    decltype(&httpClose) close;
    decltype(&httpAssembleURIf) assembleUri;
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
    decltype(&ippErrorString) errorString;
    decltype(&cupsLastError) lastError;
    decltype(&cupsLastErrorString) lastErrorString;
    decltype(&cupsGetNamedDest) getNamedDest;
    decltype(&cupsFreeDests) freeDests;
};

// Nothing when libcups cannot be loaded; then nothing prints through CUPS either.
const Cups_Library *Cups()
{
    static const std::optional<Cups_Library> cups = []() -> std::optional<Cups_Library> {
        QLibrary library(QStringLiteral("cups"), 2);
        const auto get = [&library](auto &function, const char *name) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(library.resolve(name));
            return function != nullptr;
        };
        Cups_Library c{};
        if (get(c.server, "cupsServer") && get(c.port, "ippPort") && get(c.encryption, "cupsEncryption") &&
            get(c.connect, "httpConnect2") && get(c.setTimeout, "httpSetTimeout") && get(c.close, "httpClose") &&
            get(c.assembleUri, "httpAssembleURIf") && get(c.newRequest, "ippNewRequest") &&
            get(c.addString, "ippAddString") && get(c.addStrings, "ippAddStrings") &&
            get(c.doRequest, "cupsDoRequest") && get(c.findAttribute, "ippFindAttribute") &&
            get(c.getString, "ippGetString") && get(c.getInteger, "ippGetInteger") &&
            get(c.getBoolean, "ippGetBoolean") && get(c.statusCode, "ippGetStatusCode") &&
            get(c.deleteIpp, "ippDelete") && get(c.errorString, "ippErrorString") &&
            get(c.lastError, "cupsLastError") && get(c.lastErrorString, "cupsLastErrorString") &&
            get(c.getNamedDest, "cupsGetNamedDest") && get(c.freeDests, "cupsFreeDests"))
            return c;
        return std::nullopt;
    }();
    return cups ? &*cups : nullptr;
}

// How long the print command waits for the scheduler to connect, and then
// for each answer. CUPS's own calls wait a minute and more, several times over.
constexpr int Answer_Wait = 3000; // ms

// What the scheduler said of a queue.
struct Queue_State {
    ipp_status_t status = IPP_STATUS_OK;
    bool accepting = true;
    bool stopped = false;
    QString message; // printer-state-message: the administrator's reason
};

enum class Scheduler { Absent, Silent, Answered };

// Asks the scheduler for the state of `queue`, or with no queue for the
// default one, just to hear it answer. On a connection of its own, so that
// no wait is longer than Answer_Wait; CUPS's default connection waits minutes
// on a scheduler that was stopped. Absent: nothing listens at its address
// (Qt's own calls then fail at once too).
Scheduler Ask_Scheduler(const Cups_Library &cups, const QByteArray &queue, Queue_State &state)
{
    http_t *http = cups.connect(cups.server(), cups.port(), nullptr, AF_UNSPEC, cups.encryption(), 1, Answer_Wait,
                                nullptr);
    if (!http)
        return Scheduler::Absent;
    cups.setTimeout(http, Answer_Wait / 1000.0, nullptr, nullptr);
    ipp_t *request = cups.newRequest(queue.isEmpty() ? IPP_OP_CUPS_GET_DEFAULT : IPP_OP_GET_PRINTER_ATTRIBUTES);
    if (!queue.isEmpty()) {
        char uri[HTTP_MAX_URI];
        cups.assembleUri(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", cups.port(),
                         "/printers/%s", queue.constData());
        cups.addString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    }
    static const char *const wanted[] = {"printer-is-accepting-jobs", "printer-state", "printer-state-message"};
    cups.addStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", int(std::size(wanted)),
                    nullptr, wanted);
    ipp_t *response = cups.doRequest(http, request, "/");
    cups.close(http);
    state.status = response ? cups.statusCode(response) : cups.lastError();
    if (!response)
        return state.status == IPP_STATUS_ERROR_INTERNAL ? Scheduler::Silent : Scheduler::Answered;
    if (ipp_attribute_t *accepting = cups.findAttribute(response, "printer-is-accepting-jobs", IPP_TAG_BOOLEAN))
        state.accepting = cups.getBoolean(accepting, 0);
    if (ipp_attribute_t *printerState = cups.findAttribute(response, "printer-state", IPP_TAG_ENUM))
        state.stopped = cups.getInteger(printerState, 0) == IPP_PSTATE_STOPPED;
    if (ipp_attribute_t *message = cups.findAttribute(response, "printer-state-message", IPP_TAG_TEXT))
        state.message = QString::fromUtf8(cups.getString(message, 0, nullptr));
    cups.deleteIpp(response);
    return Scheduler::Answered;
}

QString Silent_Scheduler(const Cups_Library &cups)
{
    return Tr("the print system (CUPS) does not answer at %1").arg(QString::fromUtf8(cups.server()));
}

// A queue that refuses jobs, with the administrator's reason and CUPS's status.
Print_Failure Refused(const QString &printer, const QString &reason, const QString &status)
{
    return Print_Failure{Tr("The printer \"%1\" is not accepting jobs: %2 (CUPS: %3)")
                             .arg(printer, reason.isEmpty() ? Tr("no reason was given") : reason, status)};
}

// Asks the print system for the queue (Qt names it "queue" or
// "queue/instance") before anything is drawn: a queue that is gone or
// refuses jobs, or a scheduler that does not answer, is reported at once.
// The answer also leaves a success as CUPS's last error, which
// Check_Submission reads. Returns the queue's state.
Queue_State Check_Queue(const Cups_Library &cups, const QString &printer)
{
    if (printer.isEmpty())
        throw Print_Failure{Tr("No printer and no file was chosen.")};
    const QByteArray queue = printer.section(u'/', 0, 0).toUtf8();
    Queue_State state;
    if (Ask_Scheduler(cups, queue, state) != Scheduler::Answered)
        throw Print_Failure{Tr("The printer \"%1\" cannot be reached: %2").arg(printer, Silent_Scheduler(cups))};
    if (state.status == IPP_STATUS_ERROR_NOT_FOUND) {
        // A printer found on the network gets its queue with its first job.
        const QByteArray instance = printer.section(u'/', 1).toUtf8();
        if (cups_dest_t *dest = cups.getNamedDest(CUPS_HTTP_DEFAULT, queue.constData(),
                                                  instance.isEmpty() ? nullptr : instance.constData())) {
            cups.freeDests(1, dest);
            return {};
        }
    }
    if (state.status > IPP_STATUS_OK_EVENTS_COMPLETE)
        throw Print_Failure{Tr("The printer \"%1\" cannot be reached: %2")
                                .arg(printer, QString::fromUtf8(cups.lastErrorString()))};
    if (!state.accepting)
        throw Refused(printer, state.message,
                      QString::fromUtf8(cups.errorString(IPP_STATUS_ERROR_NOT_ACCEPTING_JOBS)));
    return state;
}

// Qt hands the job to CUPS as the document ends and keeps CUPS's answer
// (a queue that is not accepting jobs says so here) to itself; CUPS keeps it
// too, as this thread's last error. A queue that is stopped but accepting
// holds the job until it is started again: a success, as lp sees it too.
void Check_Submission(const Cups_Library &cups, const QString &printer)
{
    const ipp_status_t status = cups.lastError();
    if (status >= IPP_STATUS_OK && status <= IPP_STATUS_OK_EVENTS_COMPLETE)
        return;
    const QString says = QString::fromUtf8(cups.lastErrorString());
    Queue_State state;
    if (status == IPP_STATUS_ERROR_NOT_ACCEPTING_JOBS &&
        Ask_Scheduler(cups, printer.section(u'/', 0, 0).toUtf8(), state) == Scheduler::Answered)
        throw Refused(printer, state.message, says);
    throw Print_Failure{Tr("The printer \"%1\" did not take the job: %2").arg(printer, says)};
}

void Draw_Page_On(QPrinter &printer)
{
    // A surface of its own for every print: the dialog may have chosen a
    // printer of another resolution, at which the fonts measure anew.
    // Should the drawing fail, the page it collected goes with it, unsent.
    Printer_Surface surface(printer);
    const Drawing_Scope scope(surface, 1);
    Build_Page();
}

// Qt's PDF writer takes a file name and drops the errors of its writes,
// leaving half a file over the old one. It writes to memory instead, on the
// dialog's printer with every setting the dialog gave, and the bytes, proven
// whole, go to the chosen file whole or not at all.
void Print_To_File(QPrinter &printer, const QString &file)
{
    const auto cannot = [&file](const QString &why) {
        return Print_Failure{Tr("Cannot write \"%1\": %2").arg(file, why)};
    };
    Memory_File memory;
    if (memory.Name().isEmpty())
        throw cannot(memory.Error());
    struct Chosen_File {
        QPrinter &printer;
        QString file;
        ~Chosen_File() { printer.setOutputFileName(file); } // the dialog offers it again
    } chosen{printer, file};
    printer.setOutputFileName(memory.Name());
    Draw_Page_On(printer);
    std::optional<QByteArray> bytes = memory.Contents();
    if (!bytes)
        throw cannot(memory.Error());
    // qpdf reads the page back strictly: a write of Qt's that failed unseen
    // leaves a PDF it refuses, and the memory file then tells why.
    if (const QString error = Make_Fillable_Form(*bytes, printer.pageLayout(), printer.resolution()); !error.isEmpty()) {
        const QString why = memory.Write_Error();
        throw cannot(why.isEmpty() ? error : Tr("the PDF came out incomplete: %1").arg(why));
    }
    const QString error = Write_Whole_File(QFile::encodeName(file), *bytes);
    if (!error.isEmpty())
        throw cannot(error);
}

} // namespace

QAbstractPrintDialog::PrintDialogOptions Printer_Dialog_Options(QAbstractPrintDialog::PrintDialogOptions options,
                                                                Long flags)
{
    if (flags & Print_Flags_No_Selection)
        options.setFlag(QAbstractPrintDialog::PrintSelection, false);
    // Qt hands the copies and the collation chosen in the dialog to the print
    // system with the job, which makes the copies; the page is drawn once.
    if (flags & Print_Flags_Driver_Copies)
        options.setFlag(QAbstractPrintDialog::PrintCollateCopies, true);
    // "Print to file" stays available despite the flag: here the dialog's
    // "Print to File (PDF)" entry is how someone without a printer gets the
    // page, and the command's button says "PDF".
    if (flags & Print_Flags_No_Print_To_File)
        options.setFlag(QAbstractPrintDialog::PrintToFile, true);
    return options;
}

void Common_Dialog::ShowPrinter(QPrinter &printer, QWidget *parent)
{
    if (!printerDialog(printer, parent) && CancelError)
        throw RuntimeError(Err_Cancel, "Cancel was selected");
}

void Set_Printer_Dialog(Printer_Dialog dialog)
{
    printerDialog = dialog ? std::move(dialog) : Printer_Dialog(Show_Print_Dialog);
}

void Set_Print_Failure_Report(Print_Failure_Report report)
{
    failureReport = report ? std::move(report) : Print_Failure_Report(Warn_Print_Failed);
}

void Set_Print_Notice(Print_Failure_Report notice)
{
    noticeReport = notice ? std::move(notice) : Print_Failure_Report(Tell_Print_Waits);
}

void Print_Page(QWidget *window)
{
    dlgCommon.CancelError = true;
    QPrinter *printer = nullptr;
    QString failure;
    QString notice;
    try {
        dlgCommon.Flags = Print_Flags_No_Selection | Print_Flags_Driver_Copies | Print_Flags_No_Print_To_File;
        // Making the printer and opening the dialog ask the print system for
        // its printers, on CUPS's connection that waits minutes on a
        // scheduler that does not answer: it is heard first.
        const Cups_Library *cups = Cups();
        if (Queue_State heard; cups && Ask_Scheduler(*cups, {}, heard) == Scheduler::Silent)
            throw Print_Failure{Tr("Nothing was printed: %1.").arg(Silent_Scheduler(*cups))};
        QPrinter &device = The_Printer();
        printer = &device;
        dlgCommon.ShowPrinter(device, window);
        const QString file = device.outputFileName();
        if (file.isEmpty()) {
            const Queue_State queue = cups ? Check_Queue(*cups, device.printerName()) : Queue_State{};
            Draw_Page_On(device);
            if (cups)
                Check_Submission(*cups, device.printerName());
            if (queue.stopped)
                notice = Tr("The printer \"%1\" is stopped%2: the page waits in its queue and prints once the "
                            "printer is started again.")
                             .arg(device.printerName(),
                                  queue.message.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(queue.message));
        } else {
            Print_To_File(device, file);
        }
    } catch (const Print_Failure &error) {
        failure = error.reason;
    } catch (const std::exception &error) {
        const auto *runtimeError = dynamic_cast<const RuntimeError *>(&error);
        if (!runtimeError || runtimeError->number() != Err_Cancel) {
            failure = QString::fromStdString(error.what());
            if (runtimeError && runtimeError->number() == Err_Printer && printer) {
                // Say which printer or file could not be opened.
                const QString where = printer->outputFileName().isEmpty() ? printer->printerName()
                                                                          : printer->outputFileName();
                if (!where.isEmpty())
                    failure += QStringLiteral(" (%1)").arg(where);
            }
        }
    }
    // Told once everything is back in place: the message box lets the
    // window's events run.
    if (!failure.isEmpty())
        failureReport(window, failure);
    else if (!notice.isEmpty())
        noticeReport(window, notice);
}
