#include "printing.h"

#include "page_build.h"
#include "printer_surface.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPageLayout>
#include <QPageSize>
#include <QPrintDialog>

#include <exception>
#include <memory>

namespace {

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
        printer->setPageSize(QPageSize(QPageSize::Letter));
        printer->setPageOrientation(QPageLayout::Portrait);
        // Let go of it while the application is still there to clean up after it.
        qAddPostRoutine([] { printer.reset(); });
    }
    return *printer;
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
    QPrinter *printer = nullptr;
    try {
        dlgCommon.Flags = Print_Flags_No_Selection | Print_Flags_Driver_Copies | Print_Flags_No_Print_To_File;
        QPrinter &device = The_Printer();
        printer = &device;
        dlgCommon.ShowPrinter(device, window);
        // A surface of its own for every print: the dialog may have chosen a
        // printer of another resolution, at which the fonts measure anew.
        // Should the drawing fail, the page it collected goes with it, unsent.
        Printer_Surface surface(device);
        OutputTarget = &surface;
        Build_Page();
        OutputTarget = &picPreview;
    } catch (const std::exception &error) {
        OutputTarget = &picPreview;
        const auto *runtimeError = dynamic_cast<const RuntimeError *>(&error);
        if (runtimeError && runtimeError->number() == Err_Cancel)
            return;
        QString reason = QString::fromStdString(error.what());
        if (runtimeError && runtimeError->number() == Err_Printer && printer) {
            // Say which printer or file could not be opened.
            const QString where = printer->outputFileName().isEmpty() ? printer->printerName()
                                                                      : printer->outputFileName();
            if (!where.isEmpty())
                reason += QStringLiteral(" (%1)").arg(where);
        }
        failureReport(window, reason);
    }
}
