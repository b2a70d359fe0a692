// The "PDF" command: the printer dialog, then the page drawn on the printer
// the user chose, as one document of one page.
#pragma once

#include "surface.h"

#include <QAbstractPrintDialog>
#include <QPrinter>
#include <QString>

#include <functional>

class QWidget;

// The window's common dialog. The file settings are design-time values that
// no command uses; the print command sets CancelError and Flags every time.
struct Common_Dialog {
    bool CancelError = false;
    Long Flags = 0;
    QString Filter = QStringLiteral("Korvath Expense Report (*.ker)|*.ker");
    QString DefaultExt = QStringLiteral(".ker");

    // Shows the printer dialog (through Set_Printer_Dialog's dialog) for
    // `printer`. A cancel raises Err_Cancel when CancelError is set.
    void ShowPrinter(QPrinter &printer, QWidget *parent);
};
inline Common_Dialog dlgCommon;

// Printer dialog flags, as the print command sets them.
constexpr Long Print_Flags_No_Selection = 0x4;
constexpr Long Print_Flags_Driver_Copies = 0x40000;
constexpr Long Print_Flags_No_Print_To_File = 0x80000;

// The options of a QPrintDialog (starting from `options`) under `flags`.
QAbstractPrintDialog::PrintDialogOptions Printer_Dialog_Options(QAbstractPrintDialog::PrintDialogOptions options,
                                                                Long flags);

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
// printed only once CUPS has taken it. No wait on the print system lasts
// more than a few seconds: a scheduler that does not answer is reported
// before the dialog opens. Any failure goes to the failure report, a job
// that waits in a stopped queue to the notice. OutputTarget and Zoom_Factor
// are left as they were: the preview keeps the zoom it is drawn at, so that
// the next layout compares against what the canvas shows.
void Print_Page(QWidget *window);
