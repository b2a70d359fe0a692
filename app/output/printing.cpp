#include "printing.h"

#include "cups_client.h"
#include "output_file.h"
#include "page_build.h"
#include "pdf_form.h"
#include "printer_surface.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPageLayout>
#include <QPageSize>
#include <QPrintDialog>
#include <QProgressDialog>

#include <exception>
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

// Asks the print system while the window's events run. After half a second
// the user sees that it is being asked, and may stop waiting.
Queue_State Ask_Print_System(QWidget *window, const Cups_Library &cups, const QString &printer)
{
    QProgressDialog progress(Tr("Asking the print system (CUPS)\u2026"), Tr("Cancel"), 0, 0, window);
    progress.setWindowTitle(Tr("Print"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    return Ask_Scheduler(cups, printer, [&progress] {
        // Until the progress shows and blocks it, the window takes no input:
        // no second print starts meanwhile.
        QCoreApplication::processEvents(progress.isVisible() ? QEventLoop::AllEvents
                                                             : QEventLoop::ExcludeUserInputEvents);
        return !progress.wasCanceled();
    });
}

bool Show_Print_Dialog(QPrinter &printer, QWidget *parent)
{
    QPrintDialog dialog(&printer, parent);
    dialog.setOptions(Printer_Dialog_Options(dialog.options(), dlgCommon.Flags));
    if (!Guard_Print_Dialog(dialog))
        qWarning("The printer dialog is not built as expected: its \"Print\" button may wait on the print system");
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

bool Guard_Print_Dialog(QPrintDialog &dialog)
{
    auto *buttons = dialog.findChild<QDialogButtonBox *>(QString(), Qt::FindDirectChildrenOnly);
    auto *name = dialog.findChild<QLineEdit *>(QStringLiteral("filename"));
    if (!buttons || !name || !QObject::disconnect(buttons, SIGNAL(accepted()), &dialog, SLOT(_q_checkFields())))
        return false;
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&dialog, name] {
        QString why;
        if (name->isEnabled()) {
            why = Not_A_File(name->text());
        } else if (const Cups_Library *cups = Cups_System()) {
            const Queue_State heard = Ask_Print_System(&dialog, *cups, {});
            if (heard.heard == Heard::Cancelled)
                return;
            if (const QString silent = Not_Heard(heard); !silent.isEmpty())
                why = Tr("Nothing can be printed on a printer now: %1.\n\nPrint to a file, or try again later.")
                          .arg(silent);
        }
        if (!why.isEmpty())
            QMessageBox::warning(&dialog, dialog.windowTitle(), why);
        else
            QMetaObject::invokeMethod(&dialog, "_q_checkFields");
    });
    return true;
}

bool Common_Dialog::ShowPrinter(QPrinter &printer, QWidget *parent)
{
    return printerDialog(printer, parent) || !CancelError;
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

namespace {

// What became of a print: a failure, a notice, or neither (printed, or
// cancelled by the user).
struct Print_Outcome {
    QString failure;
    QString notice;
};

// Prints on the printer the dialog chose: the queue asked first, so that a
// queue that is gone or refuses jobs, or a scheduler that does not answer,
// is reported before anything is drawn.
Print_Outcome Print_On_Queue(QWidget *window, QPrinter &device, const Cups_Library *cups)
{
    const QString printer = device.printerName();
    Queue_State queue;
    if (cups) {
        queue = Ask_Print_System(window, *cups, printer);
        if (queue.heard == Heard::Cancelled)
            return {};
    }
    if (const QString failure = Queue_Failure(printer, queue); !failure.isEmpty())
        return {failure, {}};
    Draw_Page_On(device);
    if (cups) {
        // Qt hands the job to CUPS as the document ends and keeps CUPS's
        // answer (a queue that is not accepting jobs says so here) to itself;
        // CUPS keeps it too, as this thread's last error. A queue that is
        // stopped but accepting holds the job until it is started again: a
        // success, as lp sees it too.
        const ipp_status_t status = cups->lastError();
        const QString said = QString::fromUtf8(cups->lastErrorString());
        Queue_State refusal;
        if (status == IPP_STATUS_ERROR_NOT_ACCEPTING_JOBS)
            refusal = Ask_Print_System(window, *cups, printer);
        if (const QString failure = Submission_Failure(printer, status, said, refusal); !failure.isEmpty())
            return {failure, {}};
    }
    if (!queue.stopped)
        return {};
    return {{}, Tr("The printer \"%1\" is stopped%2: the page waits in its queue and prints once the printer is "
                   "started again.")
                    .arg(printer, queue.message.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(queue.message))};
}

Print_Outcome Print_On(QWidget *window, QPrinter *&printer)
{
    dlgCommon.Flags = Print_Flags_No_Selection | Print_Flags_Driver_Copies | Print_Flags_No_Print_To_File;
    // Making the printer and opening the dialog ask the print system for
    // its printers, on CUPS's connection that waits minutes on a scheduler
    // that does not answer: it is heard first, the same way.
    const Cups_Library *cups = Cups_System();
    if (cups) {
        QElapsedTimer asking;
        asking.start();
        const Queue_State heard = Ask_Print_System(window, *cups, {});
        if (heard.heard == Heard::Cancelled)
            return {};
        // A connection refused at once (nothing listens there) costs Qt's
        // own calls nothing either, and the dialog still prints to a file;
        // one refused after seconds (a host that is down, given up on by
        // the network) would cost each of them as much.
        const bool refusedAtOnce = heard.heard == Heard::Nobody && asking.elapsed() < 1000;
        if (const QString silent = Not_Heard(heard); !silent.isEmpty() && !refusedAtOnce)
            return {Tr("Nothing was printed: %1.").arg(silent), {}};
    }
    QPrinter &device = The_Printer();
    printer = &device;
    if (!dlgCommon.ShowPrinter(device, window))
        return {};
    const QString file = device.outputFileName();
    if (file.isEmpty())
        return Print_On_Queue(window, device, cups);
    try {
        Print_To_File(device, file);
    } catch (const Print_Failure &error) {
        return {error.reason, {}};
    }
    return {};
}

} // namespace

void Print_Page(QWidget *window)
{
    dlgCommon.CancelError = true;
    QPrinter *printer = nullptr;
    Print_Outcome outcome;
    try {
        outcome = Print_On(window, printer);
    } catch (const std::exception &error) {
        outcome.failure = QString::fromStdString(error.what());
        const auto *runtimeError = dynamic_cast<const RuntimeError *>(&error);
        if (runtimeError && runtimeError->number() == Err_Printer && printer) {
            // Say which printer or file could not be opened.
            const QString where = printer->outputFileName().isEmpty() ? printer->printerName()
                                                                      : printer->outputFileName();
            if (!where.isEmpty())
                outcome.failure += QStringLiteral(" (%1)").arg(where);
        }
    }
    // Told once everything is back in place: the message box lets the
    // window's events run.
    if (!outcome.failure.isEmpty())
        failureReport(window, outcome.failure);
    else if (!outcome.notice.isEmpty())
        noticeReport(window, outcome.notice);
}
