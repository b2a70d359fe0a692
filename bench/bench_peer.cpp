// Quorvel's redraw against its peers, in one run:
//  - quorvel:      Build_Page on the preview canvas (fonts and logos already
//                  resolved, as after start-up), the finished image included;
//  - poppler:      the same page from Quorvel's own printed PDF, rendered by
//                  poppler at the DPI that gives the canvas's pixel scale, the
//                  canvas's rectangle only (same pixel count);
//  - mupdf_page:   the same PDF and rectangle rendered by MuPDF, the page
//                  interpreted anew every time;
//  - mupdf_list:   the same, replaying a display list made once from the page;
//  - floor:        clearing an image of the canvas's size and format to white,
//                  the least any redraw pays.
// At zooms 0.5, 1 and 2.2 and device pixel ratios 1 and 2. A table of the
// ratios follows the benchmark output; --benchmark_out=FILE.json keeps the
// figures for bench/plot_redraw.
#include "page_build.h"
#include "preview_surface.h"
#include "printer_surface.h"

#include <QGuiApplication>
#include <QPrinter>
#include <QTemporaryDir>

#include <mupdf/fitz.h>
#include <poppler-qt6.h>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>

namespace {

constexpr Single Zooms[] = {0.5f, 1.0f, 2.2f};
constexpr int Ratios[] = {1, 2};

// Quorvel's printed page, made once through the printer surface.
struct Printed_Page {
    QTemporaryDir dir;
    QString file;
    QRectF printable; // inches on the sheet
    std::unique_ptr<Poppler::Document> document;
    std::unique_ptr<Poppler::Page> page;

    Printed_Page()
    {
        file = dir.filePath(QStringLiteral("page.pdf"));
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(file);
        printer.setPageSize(QPageSize(QPageSize::Letter));
        printer.setPageOrientation(QPageLayout::Portrait);
        printable = printer.pageLayout().paintRect(QPageLayout::Inch);
        Printer_Surface surface(printer);
        {
            const Drawing_Scope scope(surface, 1);
            Build_Page();
        }
        document = Poppler::Document::load(file);
        if (!document || document->numPages() != 1)
            qFatal("poppler cannot read %s", qPrintable(file));
        document->setRenderHint(Poppler::Document::Antialiasing, true);
        document->setRenderHint(Poppler::Document::TextAntialiasing, true);
        page = document->page(0);
    }
};

Printed_Page &Printed()
{
    static Printed_Page printed;
    return printed;
}

// The canvas's size in device pixels at a zoom and ratio, as the preview makes it.
QSize Canvas_Size(Single zoom, int ratio)
{
    Preview_Surface preview;
    preview.Set_Device_Pixel_Ratio(ratio);
    const Drawing_Scope scope(preview, zoom);
    Build_Page();
    return preview.Image().size();
}

// The PDF's resolution that matches the canvas's pixels (the preview shows
// 1440 / 15 = 96 pixels per inch at 100 %), and the canvas's rectangle in
// it: the sheet the canvas shows starts at the printable area's top-left.
struct Canvas_In_Pdf {
    double dpi;
    QRect pixels;
};

Canvas_In_Pdf Canvas_Rect(Single zoom, int ratio)
{
    const double dpi = 1440.0 / double(Screen_Metrics{}.TwipsPerPixelX) * double(zoom) * ratio;
    const QRectF printable = Printed().printable;
    return {dpi, QRect(QPoint(int(std::lround(printable.left() * dpi)), int(std::lround(printable.top() * dpi))),
                       Canvas_Size(zoom, ratio))};
}

void Quorvel(benchmark::State &state, Single zoom, int ratio)
{
    Preview_Surface preview;
    preview.Set_Device_Pixel_Ratio(ratio);
    const Drawing_Scope scope(preview, zoom);
    Build_Page(); // fonts and logos resolved once, as after start-up,
    Build_Page(); // and the texts' ink, measured at their second redraw
    for (auto _ : state) {
        Build_Page();
        benchmark::DoNotOptimize(preview.Image().constBits());
    }
    state.counters["pixels"] = double(preview.Image().width()) * preview.Image().height();
}

void Poppler_Render(benchmark::State &state, Single zoom, int ratio)
{
    const Canvas_In_Pdf canvas = Canvas_Rect(zoom, ratio);
    const QRect r = canvas.pixels;
    Printed_Page &printed = Printed();
    for (auto _ : state) {
        const QImage image = printed.page->renderToImage(canvas.dpi, canvas.dpi, r.x(), r.y(), r.width(), r.height());
        if (image.size() != r.size())
            state.SkipWithError("poppler's image is not the canvas's size");
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["pixels"] = double(r.width()) * r.height();
}

// MuPDF on the same printed PDF: one context, document and page for the
// whole run, as a viewer keeps them; antialiasing at its full 8 bits.
struct Mupdf {
    fz_context *ctx = nullptr;
    fz_document *document = nullptr;
    fz_page *page = nullptr;

    Mupdf()
    {
        ctx = fz_new_context(nullptr, nullptr, FZ_STORE_DEFAULT);
        if (!ctx)
            qFatal("MuPDF: no context");
        fz_try(ctx)
        {
            fz_register_document_handlers(ctx);
            fz_set_aa_level(ctx, 8);
            document = fz_open_document(ctx, qPrintable(Printed().file));
            if (fz_count_pages(ctx, document) != 1)
                fz_throw(ctx, FZ_ERROR_GENERIC, "not one page");
            page = fz_load_page(ctx, document, 0);
        }
        fz_catch(ctx)
        {
            qFatal("MuPDF cannot read %s: %s", qPrintable(Printed().file), fz_caught_message(ctx));
        }
    }
    ~Mupdf()
    {
        fz_drop_page(ctx, page);
        fz_drop_document(ctx, document);
        fz_drop_context(ctx);
    }
};

Mupdf &Mu()
{
    static Mupdf mupdf;
    return mupdf;
}

// Renders with MuPDF into one RGB pixmap of the canvas's rectangle, kept
// from one render to the next as the canvas keeps its memory: cleared to
// white, then `run` draws through a draw device.
template <typename Run>
void Mupdf_Render(benchmark::State &state, Single zoom, int ratio, Run run)
{
    const Canvas_In_Pdf canvas = Canvas_Rect(zoom, ratio);
    const QRect r = canvas.pixels;
    fz_context *ctx = Mu().ctx;
    const fz_matrix ctm = fz_scale(float(canvas.dpi / 72), float(canvas.dpi / 72));
    fz_pixmap *pixmap = nullptr;
    fz_try(ctx)
    {
        pixmap = fz_new_pixmap_with_bbox(ctx, fz_device_rgb(ctx), fz_irect{r.left(), r.top(), r.right() + 1, r.bottom() + 1},
                                         nullptr, 0);
        for (auto _ : state) {
            fz_clear_pixmap_with_value(ctx, pixmap, 255);
            fz_device *device = fz_new_draw_device(ctx, fz_identity, pixmap);
            fz_try(ctx)
            {
                run(ctx, device, ctm);
                fz_close_device(ctx, device);
            }
            fz_always(ctx) fz_drop_device(ctx, device);
            fz_catch(ctx) fz_rethrow(ctx);
            benchmark::DoNotOptimize(fz_pixmap_samples(ctx, pixmap));
        }
    }
    fz_always(ctx) fz_drop_pixmap(ctx, pixmap);
    fz_catch(ctx) state.SkipWithError(fz_caught_message(ctx));
    state.counters["pixels"] = double(r.width()) * r.height();
}

void Mupdf_Page(benchmark::State &state, Single zoom, int ratio)
{
    fz_page *page = Mu().page;
    Mupdf_Render(state, zoom, ratio,
                 [page](fz_context *ctx, fz_device *device, fz_matrix ctm) { fz_run_page(ctx, page, device, ctm, nullptr); });
}

void Mupdf_List(benchmark::State &state, Single zoom, int ratio)
{
    fz_context *ctx = Mu().ctx;
    fz_display_list *list = fz_new_display_list_from_page(ctx, Mu().page);
    Mupdf_Render(state, zoom, ratio, [list](fz_context *ctx, fz_device *device, fz_matrix ctm) {
        fz_run_display_list(ctx, list, device, ctm, fz_infinite_rect, nullptr);
    });
    fz_drop_display_list(ctx, list);
}

// The least a redraw can cost: clearing an image of the canvas's size and
// format to white (the one image, kept, as the canvas keeps its memory), the
// fastest way there is: white is all bits set, and the C library's memset
// beats QImage::fill by up to 1.6x on the largest canvas.
void Floor(benchmark::State &state, Single zoom, int ratio)
{
    QImage image(Canvas_Size(zoom, ratio), QImage::Format_RGB32);
    for (auto _ : state) {
        std::memset(image.bits(), 0xff, std::size_t(image.sizeInBytes()));
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["pixels"] = double(image.width()) * image.height();
}

constexpr const char *Who[] = {"quorvel", "poppler", "mupdf_page", "mupdf_list", "floor"};

std::string Name(const char *who, Single zoom, int ratio)
{
    char name[64];
    std::snprintf(name, sizeof name, "Redraw/%s/zoom:%.1f/ratio:%d", who, double(zoom), ratio);
    return name;
}

// The console output, and each run's time kept for the table of ratios:
// the median when the runs are repeated (--benchmark_repetitions), else the
// one run's mean.
class Ratio_Reporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> millis;

    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if (run.error_occurred)
                continue;
            const double ms = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e3;
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                medians_[run.run_name.str()] = ms;
            else if (run.run_type == Run::RT_Iteration)
                millis[run.run_name.str()] = ms;
        }
        for (const auto &[name, ms] : medians_)
            millis[name] = ms;
    }

    // Times, then each peer's time over ours (above 1: we are faster) and
    // ours over the floor. The target: at least 2x MuPDF's display list, or,
    // where the floor itself is more than half of that list's time, within
    // 1.5x of the floor.
    void Print_Ratios() const
    {
        std::printf("\n%-4s %-5s %9s %9s %9s %9s %9s  %8s %8s %8s %8s  %s\n", "zoom", "ratio", "quorvel", "poppler",
                    "mu_page", "mu_list", "floor", "popp/q", "mupg/q", "mulst/q", "q/floor", "target");
        for (int ratio : Ratios)
            for (Single zoom : Zooms) {
                double t[std::size(Who)];
                bool any = false;
                for (std::size_t i = 0; i < std::size(Who); ++i) {
                    const auto it = millis.find(Name(Who[i], zoom, ratio));
                    t[i] = it == millis.end() ? NAN : it->second;
                    any |= !std::isnan(t[i]);
                }
                if (!any)
                    continue; // filtered out
                const double q = t[0], list = t[3], floor = t[4];
                const char *verdict = "?";
                if (!std::isnan(q) && !std::isnan(list) && !std::isnan(floor)) {
                    if (2 * floor > list)
                        verdict = q <= 1.5 * floor ? "met (floor)" : "MISSED (floor)";
                    else
                        verdict = list >= 2 * q ? "met (2x list)" : "MISSED (2x list)";
                }
                std::printf("%-4.1f %-5d %7.3fms %7.3fms %7.3fms %7.3fms %7.3fms  %7.2fx %7.2fx %7.2fx %7.2fx  %s\n",
                            double(zoom), ratio, t[0], t[1], t[2], t[3], t[4], t[1] / q, t[2] / q, list / q,
                            q / floor, verdict);
            }
        std::printf("target: mu_list/q >= 2, or q/floor <= 1.5 where the floor is over half of mu_list\n");
    }

private:
    std::map<std::string, double> medians_;
};

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    using Bench = void (*)(benchmark::State &, Single, int);
    constexpr Bench Benches[] = {Quorvel, Poppler_Render, Mupdf_Page, Mupdf_List, Floor};
    for (int ratio : Ratios)
        for (Single zoom : Zooms)
            for (std::size_t i = 0; i < std::size(Who); ++i)
                benchmark::RegisterBenchmark(Name(Who[i], zoom, ratio).c_str(), Benches[i], zoom, ratio)
                    ->Unit(benchmark::kMillisecond);
    Ratio_Reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.Print_Ratios();
    benchmark::Shutdown();
    return 0;
}
