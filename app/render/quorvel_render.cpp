// quorvel-render: draws the report page without the window, to look at it
// or to check it.
//
//   quorvel-render [--zoom Z] [--dpr R] out.png   the preview canvas
//   quorvel-render out.pdf                         the printed page
//
// Exit status: 0 done, 1 the drawing or the file failed, 2 bad arguments.
#include "page_build.h"
#include "preview_surface.h"
#include "printer_surface.h"

#include <QFile>
#include <QGuiApplication>
#include <QPrinter>
#include <QRegularExpression>

#include <cmath>
#include <cstdio>
#include <optional>

namespace {

constexpr const char *Usage = "usage: quorvel-render [--zoom Z] [--dpr R] out.png | quorvel-render out.pdf\n";

// Above this zoom the canvas's height no longer fits an Integer.
constexpr double Zoom_Limit = 2.22002;
// Device pixel ratios of real screens; more only makes huge images.
constexpr double Dpr_Limit = 4;

struct Options {
    double zoom = 1;
    double dpr = 1;
    QString output;
    bool pdf = false;
};

std::optional<double> Number(const QString &text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<Options> Parse(const QStringList &args)
{
    Options options;
    bool scaled = false;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString &arg = args[i];
        if (arg == QLatin1String("--zoom") || arg == QLatin1String("--dpr")) {
            if (i + 1 >= args.size())
                return std::nullopt;
            const std::optional<double> value = Number(args[++i]);
            if (!value)
                return std::nullopt;
            if (arg == QLatin1String("--zoom")) {
                if (!(*value > 0 && *value < Zoom_Limit))
                    return std::nullopt;
                options.zoom = *value;
            } else {
                if (!(*value > 0 && *value <= Dpr_Limit))
                    return std::nullopt;
                options.dpr = *value;
            }
            scaled = true;
        } else if (arg.startsWith(u'-') || !options.output.isEmpty()) {
            return std::nullopt;
        } else {
            options.output = arg;
        }
    }
    const QString lower = options.output.toLower();
    options.pdf = lower.endsWith(QLatin1String(".pdf"));
    if (options.output.isEmpty() || (!options.pdf && !lower.endsWith(QLatin1String(".png"))))
        return std::nullopt;
    if (options.pdf && scaled) // the printer always draws at 100 %
        return std::nullopt;
    return options;
}

[[noreturn]] void Fail(const QString &message)
{
    std::fprintf(stderr, "quorvel-render: %s\n", qPrintable(message));
    std::exit(1);
}

void Render_Png(const Options &options)
{
    Preview_Surface preview;
    preview.Set_Device_Pixel_Ratio(options.dpr);
    OutputTarget = &preview;
    Zoom_Factor = Single(options.zoom);
    Build_Page();
    if (!preview.Image().save(options.output, "PNG"))
        Fail(QStringLiteral("cannot write %1").arg(options.output));
}

// Pages of a PDF as its page objects declare them.
int Pdf_Pages(const QString &file)
{
    QFile pdf(file);
    if (!pdf.open(QIODevice::ReadOnly))
        return 0;
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?![A-Za-z])"));
    return int(QString::fromLatin1(pdf.readAll()).count(page));
}

void Render_Pdf(const Options &options)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(options.output);
    printer.setPageSize(QPageSize(QPageSize::Letter));
    printer.setPageOrientation(QPageLayout::Portrait);
    Printer_Surface surface(printer);
    OutputTarget = &surface;
    Build_Page();
    OutputTarget = nullptr;
    const int pages = Pdf_Pages(options.output);
    if (surface.Documents() != 1 || pages != 1)
        Fail(QStringLiteral("%1 documents and %2 pages written to %3, not one")
                 .arg(surface.Documents())
                 .arg(pages)
                 .arg(options.output));
}

} // namespace

int main(int argc, char **argv)
{
    // Arguments are checked before the platform starts, so a mistake costs
    // nothing and prints only the usage.
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    const std::optional<Options> options = Parse(args);
    if (!options) {
        std::fputs(Usage, stderr);
        return 2;
    }

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    try {
        if (options->pdf)
            Render_Pdf(*options);
        else
            Render_Png(*options);
    } catch (const std::exception &error) {
        Fail(QString::fromLocal8Bit(error.what()));
    }
    return 0;
}
