// Quorvel's redraw against its peers, in one run:
//  - quorvel:  Build_Page on the preview canvas (fonts and logos already
//              resolved, as after start-up), the finished image included;
//  - poppler:  the same page from Quorvel's own printed PDF, rendered by
//              poppler at the DPI that gives the canvas's pixel scale, the
//              canvas's rectangle only (same pixel count);
//  - qpicture: the floor, the finished page replayed from a QPicture that
//              recorded one redraw, onto a white image of the canvas's size.
// At zooms 0.5, 1 and 2.2 and device pixel ratios 1 and 2. A table of the
// ratios follows the benchmark output; --benchmark_out=FILE.json keeps the
// figures for bench/plot_redraw.
#include "page_build.h"
#include "painter_surface.h"
#include "preview_surface.h"
#include "printer_surface.h"

#include <QGuiApplication>
#include <QPicture>
#include <QPrinter>
#include <QTemporaryDir>

#include <poppler-qt6.h>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <string>

namespace {

constexpr Single Zooms[] = {0.5f, 1.0f, 2.2f};
constexpr int Ratios[] = {1, 2};

// Fonts are sized in pixels; the canvas is a 72 DPI image (as the preview's).
constexpr int Dots_Per_Meter_72_Dpi = 2835;

QImage Blank(QSize device)
{
    QImage image(device, QImage::Format_RGB32);
    image.setDotsPerMeterX(Dots_Per_Meter_72_Dpi);
    image.setDotsPerMeterY(Dots_Per_Meter_72_Dpi);
    image.fill(Qt::white);
    return image;
}

// The preview's geometry (twips at the screen's twips per pixel, rules on
// the pixel grid, the same device pixel ratio), but its painter records
// into a QPicture. The preview canvas keeps its painter to itself, so the
// recording is made through the drawing layer's own painter surface.
class Picture_Surface : public Painter_Surface {
public:
    explicit Picture_Surface(qreal ratio) : ratio_(ratio), metrics_(Blank(QSize(1, 1))) {}
    ~Picture_Surface() override { Finish(); }

    bool Is_Printer() const override { return false; }
    void Cls() override
    {
        Finish();
        picture_ = QPicture();
    }
    Single Width() const override { return Single(pixels_.width()) * Screen.TwipsPerPixelX; }
    Single Height() const override { return Single(pixels_.height()) * Screen.TwipsPerPixelY; }
    void Set_Width(Single width) override { pixels_.setWidth(Pixels(width, Screen.TwipsPerPixelX)); }
    void Set_Height(Single height) override { pixels_.setHeight(Pixels(height, Screen.TwipsPerPixelY)); }
    void EndDoc() override { Raise_Not_Supported(); }

    const QPicture &Finished()
    {
        Finish();
        return picture_;
    }

protected:
    double Device_Per_Unit_X() const override { return ratio_ / double(Screen.TwipsPerPixelX); }
    double Device_Per_Unit_Y() const override { return ratio_ / double(Screen.TwipsPerPixelY); }
    double Device_Per_Pen_Pixel() const override { return ratio_; }
    double Hatch_Scale() const override { return ratio_; }
    bool Snap_To_Pixels() const override { return true; }
    double Pixel_Ratio() const override { return ratio_; }
    QPaintDevice *Metrics_Device() override { return &metrics_; }
    void Paint(std::function<void(QPainter &)> operation) override
    {
        if (!painter_.isActive()) {
            painter_.begin(&picture_);
            painter_.setRenderHint(QPainter::NonCosmeticBrushPatterns);
        }
        operation(painter_);
    }

private:
    static int Pixels(Single twips, Single perPixel)
    {
        return std::max(1, int(Round_Half_Even(double(twips) / double(perPixel))));
    }
    void Finish()
    {
        if (painter_.isActive())
            painter_.end();
    }

    qreal ratio_;
    QImage metrics_;
    QSize pixels_{1, 1};
    QPicture picture_;
    QPainter painter_;
};

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
        OutputTarget = &surface;
        Build_Page();
        OutputTarget = nullptr;
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
    OutputTarget = &preview;
    Zoom_Factor = zoom;
    Build_Page();
    OutputTarget = nullptr;
    return preview.Image().size();
}

void Quorvel(benchmark::State &state, Single zoom, int ratio)
{
    Screen = Screen_Metrics{};
    Preview_Surface preview;
    preview.Set_Device_Pixel_Ratio(ratio);
    OutputTarget = &preview;
    Zoom_Factor = zoom;
    Build_Page(); // fonts and logos resolved once, as after start-up
    for (auto _ : state) {
        Build_Page();
        benchmark::DoNotOptimize(preview.Image().constBits());
    }
    state.counters["pixels"] = double(preview.Image().width()) * preview.Image().height();
    OutputTarget = nullptr;
}

void Poppler_Render(benchmark::State &state, Single zoom, int ratio)
{
    Screen = Screen_Metrics{};
    const QSize canvas = Canvas_Size(zoom, ratio);
    Printed_Page &printed = Printed();
    // The preview shows 1440 / 15 = 96 pixels per inch at 100 %.
    const double dpi = 1440.0 / double(Screen.TwipsPerPixelX) * double(zoom) * ratio;
    const int x = int(std::lround(printed.printable.left() * dpi));
    const int y = int(std::lround(printed.printable.top() * dpi));
    for (auto _ : state) {
        const QImage image = printed.page->renderToImage(dpi, dpi, x, y, canvas.width(), canvas.height());
        if (image.size() != canvas)
            state.SkipWithError("poppler's image is not the canvas's size");
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["pixels"] = double(canvas.width()) * canvas.height();
}

void QPicture_Floor(benchmark::State &state, Single zoom, int ratio)
{
    Screen = Screen_Metrics{};
    Picture_Surface recorder(ratio);
    OutputTarget = &recorder;
    Zoom_Factor = zoom;
    Build_Page();
    OutputTarget = nullptr;
    const QPicture &picture = recorder.Finished();
    const QSize canvas = Canvas_Size(zoom, ratio);
    // At the image's default resolution, the one the picture was recorded
    // at, QPicture replays it unscaled. One image serves every replay, as the
    // canvas keeps its memory from one redraw to the next.
    QImage image(canvas, QImage::Format_RGB32);
    for (auto _ : state) {
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.drawPicture(0, 0, picture);
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["pixels"] = double(canvas.width()) * canvas.height();
}

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

    void Print_Ratios() const
    {
        std::printf("\n%-5s %-5s %10s %10s %10s %14s %15s\n", "zoom", "ratio", "quorvel", "poppler", "qpicture",
                    "poppler/quorv", "quorv/qpicture");
        for (int ratio : Ratios)
            for (Single zoom : Zooms) {
                const auto find = [&](const char *who) {
                    const auto it = millis.find(Name(who, zoom, ratio));
                    return it == millis.end() ? NAN : it->second;
                };
                const double q = find("quorvel"), p = find("poppler"), f = find("qpicture");
                if (std::isnan(q) && std::isnan(p) && std::isnan(f))
                    continue; // filtered out
                std::printf("%-5.1f %-5d %8.2fms %8.2fms %8.2fms %13.1fx %14.2fx\n", double(zoom), ratio, q, p, f,
                            p / q, q / f);
            }
        std::printf("targets: poppler/quorv >= 10 at every zoom; quorv/qpicture <= 1.5 at zoom 1\n");
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
    for (int ratio : Ratios)
        for (Single zoom : Zooms) {
            benchmark::RegisterBenchmark(Name("quorvel", zoom, ratio).c_str(), Quorvel, zoom, ratio)
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(Name("poppler", zoom, ratio).c_str(), Poppler_Render, zoom, ratio)
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(Name("qpicture", zoom, ratio).c_str(), QPicture_Floor, zoom, ratio)
                ->Unit(benchmark::kMillisecond);
        }
    Ratio_Reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.Print_Ratios();
    benchmark::Shutdown();
    return 0;
}
