// Build_Page on the preview at three zooms and to a PDF through the printer
// surface. A redraw at 100 % should stay well under 2 ms.
#include "page_build.h"
#include "preview_surface.h"
#include "printer_surface.h"

#include <QPrinter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

void Preview(benchmark::State &state, Single zoom)
{
    Preview_Surface preview;
    const Drawing_Scope scope(preview, zoom);
    Build_Page(); // fonts and logos resolved once, as after start-up,
    Build_Page(); // and the texts' ink, measured at their second redraw
    for (auto _ : state) {
        Build_Page();
        benchmark::DoNotOptimize(preview.Image().constBits());
    }
}
BENCHMARK_CAPTURE(Preview, zoom_0_5, 0.5f)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Preview, zoom_1, 1.0f)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Preview, zoom_2_2, 2.2f)->Unit(benchmark::kMillisecond);

// Every print is a new job on a new surface, as the print command makes it.
void Pdf(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("page.pdf");
    for (auto _ : state) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(file);
        printer.setPageSize(QPageSize(QPageSize::Letter));
        Printer_Surface surface(printer);
        const Drawing_Scope scope(surface, 1);
        Build_Page();
    }
}
BENCHMARK(Pdf)->Unit(benchmark::kMillisecond);

} // namespace
