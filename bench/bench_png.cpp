// The one-shot PNG of quorvel-render: the page's canvas at 100 % (ratio 1)
// and at 100 % on ratio 2 written as PNG bytes at each zlib level and row
// filter, and by Qt's own PNG writer as it comes. Each row reports the file's
// size ("bytes") beside its time, to choose Png_Level and Png_Filters by.
#include "page_build.h"
#include "png_bytes.h"
#include "preview_surface.h"

#include <QBuffer>
#include <QImageWriter>

#include <map>

#include <benchmark/benchmark.h>

namespace {

const QImage &Canvas(qreal ratio)
{
    static std::map<qreal, QImage> canvases;
    QImage &canvas = canvases[ratio];
    if (canvas.isNull()) {
        Preview_Surface preview;
        preview.Set_Device_Pixel_Ratio(ratio);
        const Drawing_Scope scope(preview, 1);
        Build_Page();
        canvas = preview.Image().copy();
    }
    return canvas;
}

void Libpng(benchmark::State &state)
{
    const QImage &canvas = Canvas(qreal(state.range(2)));
    qsizetype bytes = 0;
    for (auto _ : state)
        bytes = Png_Bytes(canvas, int(state.range(0)), int(state.range(1))).size();
    state.counters["bytes"] = double(bytes);
}
BENCHMARK(Libpng)
    ->ArgNames({"level", "filters", "ratio"})
    ->ArgsProduct({{1, 2, 3, 6, 9},
                   {PNG_FILTER_NONE, PNG_FILTER_SUB, PNG_FILTER_UP, PNG_FILTER_PAETH, PNG_ALL_FILTERS},
                   {1, 2}})
    ->Unit(benchmark::kMillisecond);

void Qt_Writer(benchmark::State &state)
{
    const QImage &canvas = Canvas(qreal(state.range(0)));
    qsizetype bytes = 0;
    for (auto _ : state) {
        QByteArray data;
        QBuffer buffer(&data);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter(&buffer, "png").write(canvas);
        bytes = data.size();
    }
    state.counters["bytes"] = double(bytes);
}
BENCHMARK(Qt_Writer)->ArgName("ratio")->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

} // namespace
