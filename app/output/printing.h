// The "PDF" command: the printer dialog, then the page drawn on the printer
// the user chose, as one document of one page.
#pragma once

#include "surface.h"

#include <QAbstractPrintDialog>
#include <QPrinter>
#include <QString>

#include <functional>

class QPrintDialog;
class QWidget;

// The window's common dialog. The file settings are design-time values that
// no command uses; the print command sets CancelError and Flags every time.
struct Common_Dialog {
    bool CancelError = false;
    Long Flags = 0;
    QString Filter = QStringLiteral("Korvath Expense Report (*.ker)|*.ker");
    QString DefaultExt = QStringLiteral(".ker");

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
// the chosen printer on CUPS's own connection (minutes, should the scheduler
// have stopped meanwhile). Its private slot doing so, connected to the
// buttons' accepted signal, is made to run after checks of our own: the
// file's name looked at without opening anything, the scheduler asked as
// everywhere here, reported within seconds and the dialog left open. False
// when the dialog is not built as expected, the checks then missing.
bool Guard_Print_Dialog(QPrintDialog &dialog);

// Shows the printer dialog on `printer`; true when the user confirmed.
using Printer_Dialog = std::function<bool(QPrinter &printer, QWidget *parent)>;
// The dialog the "PDF" command uses; tests replace it. Passing nothing restores the real one.
void Set_Printer_Dialog(Printer_Dialog dialog = {});

// Tells the user that a confirmed print failed, and why. Tests replace it;
// passing nothing restores the real one (a warning box on the window).
using Print_Failure_Report = std::function<void(QWidget *window, const QString &reason)>;
void Set_Print_Failure_Report(Print_Failure_Report report = {});
// Tells the user that a job was taken but waits (its queue is stopped).
// Tests replace it; passing nothing restores the real one (an information box).
void Set_Print_Notice(Print_Failure_Report notice = {});

// The "PDF" command: dialog, then Build_Page on the printer in a Drawing_Scope.
// A file is replaced whole or not at all; a job for a CUPS queue counts as
// printed only once CUPS has taken it. The print system is asked on a thread
// of its own while the window goes on, the user seeing that it is asked and
// able to cancel; it is asked before Qt asks it anything (the dialog, the
// job), and one that does not answer within a few seconds is reported, with
// its address, before the dialog opens or before the page is drawn. Any
// failure goes to the failure report, a job that waits in a stopped queue to
// the notice. OutputTarget and Zoom_Factor are left as they were: the preview
// keeps the zoom it is drawn at, so that the next layout compares against
// what the canvas shows.
void Print_Page(QWidget *window);
