#include "print_command.h"

#include "printing.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressDialog>

#include <exception>
#include <optional>

namespace {

QString Tr(const char *text)
{
    return QCoreApplication::translate("Printing", text);
}

// While the print system is asked, the window's events run. After half a
// second the user sees that it is being asked, and may stop waiting; until
// then the window takes no input, so that no second print starts meanwhile.
class Waiting_Box {
public:
    explicit Waiting_Box(QWidget *parent) : progress_(Tr("Asking the print system (CUPS)\u2026"), Tr("Cancel"), 0, 0, parent)
    {
        progress_.setWindowTitle(Tr("Print"));
        progress_.setWindowModality(Qt::WindowModal);
        progress_.setMinimumDuration(500);
    }

    Still_Waiting Waiting()
    {
        return [this] {
            QCoreApplication::processEvents(progress_.isVisible() ? QEventLoop::AllEvents
                                                                  : QEventLoop::ExcludeUserInputEvents);
            return !progress_.wasCanceled();
        };
    }
    bool Cancelled() const { return progress_.wasCanceled(); }

private:
    QProgressDialog progress_;
};

bool Show_Print_Dialog(QPrinter &printer, QWidget *parent)
{
    QPrintDialog dialog(&printer, parent);
    dialog.setOptions(Printer_Dialog_Options(dialog.options(), dlgCommon.Flags));
    if (!Guard_Print_Dialog(dialog))
        qWarning("The printer dialog is not built as expected: its \"Print\" button may wait on the print system");
    return dialog.exec() == QDialog::Accepted;
}

void Warn_Print_Failed(QWidget *window, const QString &message)
{
    QMessageBox::warning(window, Tr("Print"), Tr("The page was not printed: %1.").arg(message));
}

void Tell_Print_Waits(QWidget *window, const QString &notice)
{
    QMessageBox::information(window, Tr("Print"), notice);
}

Printer_Dialog printerDialog = Show_Print_Dialog;
Print_Report failureReport = Warn_Print_Failed;
Print_Report noticeReport = Tell_Print_Waits;

// The print up to what the user is told; nothing when the user cancelled.
std::optional<Result<Printed>> Print(QWidget *window)
{
    dlgCommon.Flags = Print_Flags_No_Selection | Print_Flags_Driver_Copies | Print_Flags_No_Print_To_File;
    {
        // Making the printer and opening the dialog ask the print system for
        // its printers, on CUPS's connection that waits minutes on a
        // scheduler that does not answer: it is heard first.
        Waiting_Box box(window);
        const Result<> heard = Check_Print_System(box.Waiting());
        if (box.Cancelled())
            return std::nullopt;
        if (!heard.Ok())
            return Failure{heard.Message()};
    }
    QPrinter &printer = The_Printer();
    if (!dlgCommon.ShowPrinter(printer, window))
        return std::nullopt;
    Waiting_Box box(window);
    Result<Printed> printed = Print_On(printer, box.Waiting());
    if (box.Cancelled())
        return std::nullopt;
    return printed;
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
            if (const Result<> file = Check_Print_File(name->text()); !file.Ok())
                why = Tr("%1.\nPlease choose a different file name.").arg(file.Message());
        } else {
            Waiting_Box box(&dialog);
            const Result<> heard = Check_Print_System(box.Waiting());
            if (box.Cancelled())
                return;
            if (!heard.Ok())
                why = Tr("Nothing can be printed on a printer now: %1.\n\nPrint to a file, or try again later.")
                          .arg(heard.Message());
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

void Set_Print_Failure_Report(Print_Report report)
{
    failureReport = report ? std::move(report) : Print_Report(Warn_Print_Failed);
}

void Set_Print_Notice(Print_Report notice)
{
    noticeReport = notice ? std::move(notice) : Print_Report(Tell_Print_Waits);
}

void Print_Page(QWidget *window)
{
    dlgCommon.CancelError = true;
    std::optional<Result<Printed>> outcome;
    try {
        outcome = Print(window);
    } catch (const RuntimeError &error) {
        // The drawing's own run-time errors end the print as any failure.
        outcome = Failure{QString::fromStdString(error.what())};
    } catch (const std::exception &fault) {
        outcome = Failure{Tr("a fault of Quorvel itself stopped it (%1); please report it")
                              .arg(QString::fromLocal8Bit(fault.what()))};
    }
    // Told once everything is back in place: the message box lets the
    // window's events run.
    if (!outcome)
        return;
    if (!outcome->Ok())
        failureReport(window, outcome->Message());
    else if (!outcome->Value().notice.isEmpty())
        noticeReport(window, outcome->Value().notice);
}
