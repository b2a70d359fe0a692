#include "printing.h"

#include "pdf_form.h"
#include "platform_quirks.h"
#include "printer_surface.h"
#include "tr.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPrintEngine>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>
#include <sys/stat.h>

namespace {

std::unique_ptr<QPrinter> printer;

// The job's options as Qt's print engine gives them to CUPS: the paper,
// copies, sides and orientation, then what the dialog's own options chose
// (number-up, page-set, job-sheets...; kept by the engine under a property
// of Qt's CUPS support).
std::vector<std::pair<QByteArray, QByteArray>> Job_Options(QPrinter &printer)
{
    const QPageLayout layout = printer.pageLayout();
    std::vector<std::pair<QByteArray, QByteArray>> options{{"media", layout.pageSize().key().toUtf8()}};
    if (printer.copyCount() > 1) {
        options.emplace_back("copies", QByteArray::number(printer.copyCount()));
        if (printer.collateCopies())
            options.emplace_back("Collate", "True");
    }
    const bool portrait = layout.orientation() == QPageLayout::Portrait;
    switch (printer.duplex()) {
    case QPrinter::DuplexNone:
        options.emplace_back("sides", "one-sided");
        break;
    case QPrinter::DuplexAuto:
        options.emplace_back("sides", portrait ? "two-sided-long-edge" : "two-sided-short-edge");
        break;
    case QPrinter::DuplexLongSide:
        options.emplace_back("sides", "two-sided-long-edge");
        break;
    case QPrinter::DuplexShortSide:
        options.emplace_back("sides", "two-sided-short-edge");
        break;
    }
    if (!portrait)
        options.emplace_back("landscape", "");
    // Qt's PPK_CupsOptions (platform quirk cups-options-key): a property
    // Qt's CUPS engine has, which another engine or Qt does not know.
    constexpr auto Cups_Options = QPrintEngine::PrintEnginePropertyKey(0xfe00);
    const QVariant kept = printer.printEngine()->property(Cups_Options);
    if (!kept.canConvert<QStringList>())
        Quirk_Missing(Quirk::Cups_Options_Key, QStringLiteral("(the print engine has no property 0xfe00)"));
    const QStringList chosen = kept.toStringList();
    for (qsizetype i = 0; i + 1 < chosen.size(); i += 2)
        options.emplace_back(chosen[i].toUtf8(), chosen[i + 1].toUtf8());
    return options;
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

Result<> Check_Print_System(QDeadlineTimer deadline, const Still_Waiting &waiting, QString *missing)
{
    const Cups_Library *cups = Cups_System();
    if (!cups)
        return {};
    QElapsedTimer asking;
    asking.start();
    const Queue_State state =
        Ask_Scheduler(*cups, {}, waiting, std::min(deadline, QDeadlineTimer(Answer_Wait)));
    // A connection refused at once (nothing listens there) costs Qt's own
    // calls nothing either, and the dialog still prints to a file; one
    // refused after seconds (a host that is down, given up on by the
    // network) would cost each of them as much. A print system that asks
    // for a password answers Qt as quickly, with no printer.
    if ((state.heard == Heard::Nobody && asking.elapsed() < 1000) || state.heard == Heard::Password) {
        if (missing)
            *missing = Tr("No printer is offered: %1. Printing to a file still works.").arg(Heard_From(state).Message());
        return {};
    }
    return Heard_From(state);
}

QString Print_File_Name(const QString &typed)
{
    if (typed.isEmpty() || !QDir::isRelativePath(typed))
        return typed;
    return QDir::homePath() + u'/' + typed;
}

Result<> Check_Print_File(const QString &name)
{
    struct stat found {};
    if (::stat(QFile::encodeName(name).constData(), &found) != 0 || S_ISREG(found.st_mode))
        return {};
    return Failure{Tr("\"%1\" is not a regular file").arg(name)};
}

Result<Printed> Print_On(QPrinter &printer, QDeadlineTimer deadline, const Still_Waiting &waiting)
{
    const QString file = printer.outputFileName();
    if (!file.isEmpty()) {
        if (const Result<> written = Write_Page_Pdf(QFile::encodeName(file), printer.pageLayout()); !written.Ok())
            return Failure{written.Message()};
        return Printed{{}, QFileInfo(file).absoluteFilePath()};
    }
    if (printer.printerName().isEmpty())
        return Failure{Tr("no printer and no file was chosen")};
    const Cups_Library *cups = Cups_System();
    if (!cups)
        return Failure{Tr("the print system's library (libcups) cannot be loaded")};
    // Drawn for the printer's page as the dialog set it up.
    const Print_Job job{printer.printerName(), printer.docName(), Job_Options(printer), Drawn_Pdf(printer.pageLayout())};
    return Submit_Job(*cups, job, deadline, waiting);
}
