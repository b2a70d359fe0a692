// The "PDF" command printing the page to a PDF file, the dialog answered at
// once: what a user waits for after confirming. Should stay under 50 ms, and
// the file under 60 KB (subset fonts, vector rules).
#include "page_build.h"
#include "preview_surface.h"
#include "print_command.h"

#include <QFileInfo>
#include <QPrinter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

void Print_To_Pdf(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("page.pdf"));
    Set_Printer_Dialog([&](QPrinter &printer, QWidget *) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(file);
        return true;
    });
    QString failure;
    Set_Print_Failure_Report([&](QWidget *, const QString &reason) { failure = reason; });
    Preview_Surface preview;
    const Drawing_Scope scope(preview, 1);
    Build_Page(); // the window has drawn the preview before anyone prints
    for (auto _ : state)
        Print_Page(nullptr);
    if (!failure.isEmpty())
        state.SkipWithError(qPrintable(failure));
    state.counters["pdf_bytes"] = double(QFileInfo(file).size());
    Set_Printer_Dialog();
    Set_Print_Failure_Report();
}
BENCHMARK(Print_To_Pdf)->Unit(benchmark::kMillisecond);

} // namespace
