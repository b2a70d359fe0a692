#include "print_command.h"

#include "accessible.h"
#include "platform_quirks.h"
#include "printing.h"
#include "qt_cups_calls.h"
#include "tr.h"

#include <QApplication>
#include <QBoxLayout>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QScopedValueRollback>
#include <QTimer>
#include <QToolTip>

#include <exception>
#include <memory>
#include <optional>

namespace {

// While the print system is asked, the window's events run. After half a
// second the user sees that it is being asked, and may stop waiting; until
// then the window takes no input, so that no second print starts meanwhile.
// One box for one wait: it goes with it.
class Waiting_Box {
public:
    explicit Waiting_Box(QWidget *parent) : progress_(Tr("Asking the print system (CUPS)\u2026"), Tr("Cancel"), 0, 0, parent)
    {
        progress_.setWindowTitle(Tr("Print"));
        progress_.setWindowModality(Qt::WindowModal);
        progress_.setMinimumDuration(500);
        // The box's own timer, started as it is made, keeps the 4 s it had
        // then: its value is never set (the box only waits), which is what
        // would start it again with the half second.
        QTimer::singleShot(500, &progress_, SLOT(forceShow()));
    }

    bool Still_Waiting()
    {
        QCoreApplication::processEvents(progress_.isVisible() ? QEventLoop::AllEvents
                                                              : QEventLoop::ExcludeUserInputEvents);
        // A screen reader meets the box by its title and its button: what
        // is waited for is said once the box has the keyboard.
        if (progress_.isActiveWindow() && !told_) {
            told_ = true;
            Say(progress_.labelText());
        }
        return !progress_.wasCanceled();
    }
    ::Still_Waiting Waiting()
    {
        return [this] { return Still_Waiting(); };
    }
    bool Cancelled() const { return progress_.wasCanceled(); }

private:
    QProgressDialog progress_;
    bool told_ = false;
};

// The print command while it runs: the deadline of the user's last action,
// by which the print system answers it, Qt's questions included. One runs
// at a time (Print_Page); its dialog's checks hold on to it.
struct Command {
    QDeadlineTimer deadline;
    Qt_Cups_Questions questions;
    bool pressed = false; // "Print" was pressed in the dialog
    QString missing;      // why the dialog offers no printer (the print system refused at once, or asks
                          // for a password)
};
Command *command = nullptr;

// The user acted: the print system has Answer_Budget to answer.
void Start_Answer_Budget(Command &run)
{
    run.deadline = QDeadlineTimer(Answer_Budget);
    run.questions.Begin(run.deadline);
}

// A box for each of Qt's questions that is not answered at once, over
// whatever window is in front.
std::function<Still_Waiting()> Waiting_Box_Per_Question(QWidget *window)
{
    return [window] {
        auto box = std::make_shared<std::unique_ptr<Waiting_Box>>();
        return [window, box] {
            if (!*box) {
                QWidget *modal = QApplication::activeModalWidget();
                *box = std::make_unique<Waiting_Box>(modal ? modal : window);
            }
            return (*box)->Still_Waiting();
        };
    };
}

bool Show_Print_Dialog(QPrinter &printer, QWidget *parent)
{
    QPrintDialog dialog(&printer, parent);
    // Building it, Qt asked the print system for its printers: unanswered
    // (or not waited for), that is told instead of a dialog without them.
    if (command->questions.Cancelled() || !command->questions.Answered().Ok())
        return false;
    command->questions.End();
    // Qt names its printer box after the printer chosen, and a screen
    // reader then says only "combo box": named, it says the printer too
    // (found by its object name in Qt 6.4.2; platform quirk print-dialog-checks).
    if (auto *printers = dialog.findChild<QComboBox *>(QStringLiteral("printers"))) {
        printers->setAccessibleName(Tr("Printer"));
        Offer_Named_Box(printers);
    }
    dialog.setOptions(Printer_Dialog_Options(dialog.options(), dlgCommon.Flags));
    if (!Guard_Print_Dialog(dialog))
        Quirk_Missing(Quirk::Print_Dialog_Checks,
                      QStringLiteral("(the dialog's buttons or \"filename\" are not as expected)"));
    if (auto *rows = qobject_cast<QBoxLayout *>(dialog.layout()); rows && !command->missing.isEmpty()) {
        auto *why = new QLabel(command->missing, &dialog); // over the buttons
        why->setWordWrap(true);
        rows->insertWidget(rows->count() - 1, why);
    }
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

// Says `text` and shows it for a while under the window's keyboard focus,
// as a tooltip is, once the window is active again: a screen reader hears
// only the focus, and a tooltip goes as any window is activated or any
// widget takes the focus.
class Transient_Tip : public QObject {
public:
    Transient_Tip(QWidget *window, const QString &text) : QObject(window), window_(window), text_(text)
    {
        if (window->isActiveWindow())
            QTimer::singleShot(0, this, [this] { Show(); });
        else
            window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::WindowActivate) { // the focus is set next
            window_->removeEventFilter(this);
            QTimer::singleShot(0, this, [this] { Show(); });
        }
        return false;
    }

private:
    void Show()
    {
        Say(text_);
        QWidget *under = QApplication::focusWidget();
        if (!under || under->window() != window_)
            under = window_;
        QToolTip::showText(under->mapToGlobal(QPoint(0, under->height())), text_, under, QRect(), 10000);
        deleteLater();
    }

    QWidget *window_;
    QString text_;
};

// Where a page printed to a file went: said to a screen reader, and shown as
// a passing tip (the window itself has no place for such a word, and keeps
// its controls as they are).
void Tell_Saved(QWidget *window, const QString &file)
{
    const QString told = Tr("The page was saved as %1").arg(QDir::toNativeSeparators(file));
    if (window)
        new Transient_Tip(window, told);
    else // a print without a window: said where the focus is
        Say(told);
}

// What the user reads of an exception that stopped a print: the printer's
// own run-time error (it could not be opened, the page not finished) is the
// user's world, told as it is; anything else, the drawing's other run-time
// errors (an overflow) included, is a fault of the program.
QString Stopped_Print(const std::exception &stopped)
{
    const auto *error = dynamic_cast<const RuntimeError *>(&stopped);
    if (error && error->number() == Err_Printer)
        return QString::fromStdString(error->what());
    return Tr("a fault of Quorvel itself stopped it (%1); please report it").arg(QString::fromLocal8Bit(stopped.what()));
}

Printer_Dialog printerDialog = Show_Print_Dialog;
Print_Report failureReport = Warn_Print_Failed;
Print_Report noticeReport = Tell_Print_Waits;

// The print up to what the user is told; nothing when the user cancelled.
std::optional<Result<Printed>> Print(QWidget *window)
{
    dlgCommon.Flags = Print_Flags_No_Selection | Print_Flags_Driver_Copies | Print_Flags_No_Print_To_File;
    Start_Answer_Budget(*command);
    {
        // Qt is about to ask the print system for its printers, making the
        // printer and the dialog: it is heard first, so that one that does
        // not answer from the start is told with its own words.
        Waiting_Box box(window);
        const Result<> heard = Check_Print_System(command->deadline, box.Waiting(), &command->missing);
        if (box.Cancelled())
            return std::nullopt;
        if (!heard.Ok())
            return Failure{heard.Message()};
    }
    QPrinter &printer = The_Printer();
    const bool chosen = dlgCommon.ShowPrinter(printer, window);
    if (command->questions.Cancelled())
        return std::nullopt;
    if (const Result<> answered = command->questions.Answered(); !answered.Ok())
        return Failure{answered.Message()};
    if (!chosen)
        return std::nullopt;
    if (!command->pressed) // a dialog without our "Print": its confirmation is the user's act
        Start_Answer_Budget(*command);
    Waiting_Box box(window);
    Result<Printed> printed = Print_On(printer, command->deadline, box.Waiting());
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
    Command *run = command;
    if (!run || !buttons || !name ||
        !QObject::disconnect(buttons, SIGNAL(accepted()), &dialog, SLOT(_q_checkFields())))
        return false;
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&dialog, name, run] {
        Start_Answer_Budget(*run);
        run->pressed = true;
        QString why;
        if (name->isEnabled()) {
            // Qt's checks and its question whether to overwrite read the
            // name from the working folder, but it prints to a relative
            // name in the home folder: made whole first, all of them meet
            // the file that is written.
            name->setText(Print_File_Name(name->text()));
            if (const Result<> file = Check_Print_File(name->text()); !file.Ok())
                why = Tr("%1.\nPlease choose a different file name.").arg(file.Message());
        } else {
            Waiting_Box box(&dialog);
            const Result<> heard = Check_Print_System(run->deadline, box.Waiting());
            if (box.Cancelled())
                return run->questions.End();
            if (!heard.Ok())
                why = Tr("Nothing can be printed on a printer now: %1.\n\nPrint to a file, or try again later.")
                          .arg(heard.Message());
        }
        if (!why.isEmpty())
            QMessageBox::warning(&dialog, dialog.windowTitle(), why);
        else // the dialog, accepting, sets the printer up: Qt's questions of this act
            QMetaObject::invokeMethod(&dialog, "_q_checkFields");
        // Left open, the dialog waits for the user again.
        run->questions.End();
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
    // Pressed again while it runs, its result told included (through an
    // accessibility action or anything else that passes the modality of its
    // dialog or boxes), it does not run again underneath itself.
    static bool busy = false;
    if (busy)
        return;
    const QScopedValueRollback running_now(busy, true);
    dlgCommon.CancelError = true;
    Command running{{}, Qt_Cups_Questions(Waiting_Box_Per_Question(window)), false, {}};
    command = &running;
    std::optional<Result<Printed>> outcome;
    try {
        outcome = Print(window);
    } catch (const std::exception &stopped) {
        outcome = Failure{Stopped_Print(stopped)};
    }
    command = nullptr;
    // Told once everything is back in place: the message box lets the
    // window's events run.
    if (!outcome)
        return;
    if (!outcome->Ok())
        failureReport(window, outcome->Message());
    else if (!outcome->Value().notice.isEmpty())
        noticeReport(window, outcome->Value().notice);
    else if (!outcome->Value().file.isEmpty())
        Tell_Saved(window, outcome->Value().file);
}
