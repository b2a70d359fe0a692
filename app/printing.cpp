#include "printing.h"

#include "output_file.h"
#include "page_build.h"
#include "pdf_form.h"
#include "printer_surface.h"

#include <QCoreApplication>
#include <QFile>
#include <QLibrary>
#include <QMessageBox>
#include <QPageLayout>
#include <QPageSize>
#include <QPrintDialog>

#include <cups/cups.h>

#include <exception>
#include <memory>
#include <optional>

namespace {

QString Tr(const char *text)
{
    return QCoreApplication::translate("Printing", text);
}

bool Show_Print_Dialog(QPrinter &printer, QWidget *parent)
{
    QPrintDialog dialog(&printer, parent);
    dialog.setOptions(Printer_Dialog_Options(dialog.options(), dlgCommon.Flags));
    return dialog.exec() == QDialog::Accepted;
}

void Warn_Print_Failed(QWidget *window, const QString &reason)
{
    QMessageBox::warning(window, QCoreApplication::translate("Printing", "Print"),
                         QCoreApplication::translate("Printing", "The page could not be printed.\n\n%1").arg(reason));
}

Printer_Dialog printerDialog = Show_Print_Dialog;
Print_Failure_Report failureReport = Warn_Print_Failed;

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
    decltype(&cupsGetNamedDest) getNamedDest;
    decltype(&cupsFreeDests) freeDests;
    decltype(&cupsLastError) lastError;
    decltype(&cupsLastErrorString) lastErrorString;
    decltype(&cupsServer) server;
    decltype(&ippPort) port;
    decltype(&httpConnect2) connect;
    decltype(&httpClose) close;
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
        if (get(c.getNamedDest, "cupsGetNamedDest") && get(c.freeDests, "cupsFreeDests") &&
            get(c.lastError, "cupsLastError") && get(c.lastErrorString, "cupsLastErrorString") &&
            get(c.server, "cupsServer") && get(c.port, "ippPort") && get(c.connect, "httpConnect2") &&
            get(c.close, "httpClose"))
            return c;
        return std::nullopt;
    }();
    return cups ? &*cups : nullptr;
}

// Asks the print system for the queue (Qt names it "queue" or
// "queue/instance") before anything is drawn: a queue that is gone, or a
// scheduler that is, is reported at once. The answer also leaves a success
// as CUPS's last error, which Check_Submission reads.
void Check_Queue(const Cups_Library &cups, const QString &printer)
{
    if (printer.isEmpty())
        throw Print_Failure{Tr("No printer and no file was chosen.")};
    const QByteArray queue = printer.section(u'/', 0, 0).toUtf8();
    const QByteArray instance = printer.section(u'/', 1).toUtf8();
    cups_dest_t *dest =
        cups.getNamedDest(CUPS_HTTP_DEFAULT, queue.constData(), instance.isEmpty() ? nullptr : instance.constData());
    if (dest) {
        cups.freeDests(1, dest);
        return;
    }
    // CUPS says the queue does not exist also when it could not ask.
    QString why = QString::fromUtf8(cups.lastErrorString());
    const int timeout = 5000; // ms
    if (http_t *scheduler = cups.connect(cups.server(), cups.port(), nullptr, AF_UNSPEC,
                                         HTTP_ENCRYPTION_IF_REQUESTED, 1, timeout, nullptr))
        cups.close(scheduler);
    else
        why = Tr("the print system (CUPS) does not answer at %1").arg(QString::fromUtf8(cups.server()));
    throw Print_Failure{Tr("The printer \"%1\" cannot be reached: %2").arg(printer, why)};
}

// Qt hands the job to CUPS as the document ends and keeps CUPS's answer
// (a queue that is not accepting jobs says so here) to itself; CUPS keeps it
// too, as this thread's last error. A queue that is stopped but accepting
// holds the job until it is started again: a success, as lp sees it too.
void Check_Submission(const Cups_Library &cups, const QString &printer)
{
    const ipp_status_t status = cups.lastError();
    if (status < IPP_STATUS_OK || status > IPP_STATUS_OK_EVENTS_COMPLETE)
        throw Print_Failure{Tr("The printer \"%1\" did not take the job: %2")
                                .arg(printer, QString::fromUtf8(cups.lastErrorString()))};
}

void Draw_Page_On(QPrinter &printer, Surface &picPreview)
{
    // A surface of its own for every print: the dialog may have chosen a
    // printer of another resolution, at which the fonts measure anew.
    // Should the drawing fail, the page it collected goes with it, unsent.
    Printer_Surface surface(printer);
    OutputTarget = &surface;
    Build_Page();
    OutputTarget = &picPreview;
}

// Qt's PDF writer takes a file name and drops the errors of its writes,
// leaving half a file over the old one. It writes to memory instead, with
// every setting of the dialog, and the bytes go to the chosen file whole or
// not at all.
void Print_To_File(QPrinter &printer, Surface &picPreview, const QString &file)
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
    Draw_Page_On(printer, picPreview);
    std::optional<QByteArray> bytes = memory.Contents();
    if (!bytes)
        throw cannot(memory.Error());
    if (const QString error = Make_Fillable_Form(*bytes, printer.pageLayout(), printer.resolution()); !error.isEmpty())
        throw cannot(error);
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

void Print_Page(QWidget *window, Surface &picPreview)
{
    dlgCommon.CancelError = true;
    // Drawing on the printer sets Zoom_Factor to 1. The preview keeps the
    // zoom it is drawn at, so that the next layout compares against what
    // the canvas shows and redraws it when the pressed mode needs another.
    const Single previewZoom = Zoom_Factor;
    QPrinter *printer = nullptr;
    QString failure;
    try {
        dlgCommon.Flags = Print_Flags_No_Selection | Print_Flags_Driver_Copies | Print_Flags_No_Print_To_File;
        QPrinter &device = The_Printer();
        printer = &device;
        dlgCommon.ShowPrinter(device, window);
        const QString file = device.outputFileName();
        if (file.isEmpty()) {
            const Cups_Library *cups = Cups();
            if (cups)
                Check_Queue(*cups, device.printerName());
            Draw_Page_On(device, picPreview);
            if (cups)
                Check_Submission(*cups, device.printerName());
        } else {
            Print_To_File(device, picPreview, file);
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
    OutputTarget = &picPreview;
    Zoom_Factor = previewZoom;
    // Told once everything is back in place: the message box lets the
    // window's events run.
    if (!failure.isEmpty())
        failureReport(window, failure);
}
