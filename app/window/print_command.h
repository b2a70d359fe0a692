// The "PDF" command as the window shows it: the printer dialog, the box that
// says the print system is being asked, and the messages that tell what
// became of a print. The printing itself is app/output's (printing.h).
#pragma once

#include "runtime.h"

#include <QAbstractPrintDialog>
#include <QString>

#include <functional>

class QPrinter;
class QPrintDialog;
class QWidget;

// The window's common dialog; the print command sets CancelError and Flags
// every time.
struct Common_Dialog {
    bool CancelError = false;
    Long Flags = 0;

    // Shows the printer dialog (through Set_Printer_Dialog's dialog) for
    // `printer`. False when the user cancelled and CancelError is set: the
    // command then stops (without CancelError it carries on regardless).
    bool ShowPrinter(QPrinter &printer, QWidget *parent);
};
inline Common_Dialog dlgCommon;

// Printer dialog flags, as the print command sets them.
constexpr Long Print_Flags_No_Selection = 0x4;
constexpr Long Print_Flags_Driver_Copies = 0x40000;
constexpr Long Print_Flags_No_Print_To_File = 0x80000;

// The options of a QPrintDialog (starting from `options`) under `flags`.
QAbstractPrintDialog::PrintDialogOptions Printer_Dialog_Options(QAbstractPrintDialog::PrintDialogOptions options,
                                                                Long flags);

// Qt's dialog, when "Print" is pressed, checks the chosen file by opening it
// (a pipe or a device can wait there for ever) and asks the print system for
// the chosen printer. Its private slot doing so, connected to the buttons'
// accepted signal, is made to run after checks of our own: the file's name
// looked at without opening anything, the scheduler asked as everywhere
// here, reported within seconds and the dialog left open. The press starts
// the user's action: Qt's questions and the job share its Answer_Budget.
// The name typed is first made the file Qt prints to (Print_File_Name),
// so that the checks, Qt's question whether to overwrite and the print meet
// one file. False when the dialog is not built as expected, or shown
// outside the print command, the checks then missing.
bool Guard_Print_Dialog(QPrintDialog &dialog);

// Shows the printer dialog on `printer`; true when the user confirmed.
using Printer_Dialog = std::function<bool(QPrinter &printer, QWidget *parent)>;
// The dialog the "PDF" command uses; tests replace it. Passing nothing restores the real one.
void Set_Printer_Dialog(Printer_Dialog dialog = {});

// Tells the user, on `window`, what became of a confirmed print: why it
// failed (a fragment of a sentence, as app/output words it), or a notice (a
// job that waits in a stopped queue). Tests replace them; passing nothing
// restores the real ones (a warning box, an information box).
using Print_Report = std::function<void(QWidget *window, const QString &message)>;
void Set_Print_Failure_Report(Print_Report report = {});
void Set_Print_Notice(Print_Report notice = {});

// The "PDF" command: the print system asked (the user seeing that it is
// asked, able to stop waiting), the dialog, then the page printed on what it
// chose (Print_On). Whatever the print system does, the command and the
// dialog's "Print" are each answered within Answer_Budget, Qt's own
// questions included (qt_cups_calls.h), the window's events running
// meanwhile. Any failure goes to the failure report, a fault of the program
// too (said to be one), a notice to the notice; a cancel says nothing.
// OutputTarget and Zoom_Factor are left as they were: the preview keeps the
// zoom it is drawn at, so that the next layout compares against what the
// canvas shows. Pressed again while it runs, it does nothing.
void Print_Page(QWidget *window);
