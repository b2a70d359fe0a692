// quorvel-render: draws the report page without the window, to look at it
// or to check it.
//
//   quorvel-render [--zoom Z] [--dpr R] out.png   the preview canvas
//   quorvel-render out.pdf                         the printed page
//
// It always draws headless. The file is written whole or not at all.
// Exit status: 0 done, 1 the drawing or the file failed, 2 bad arguments,
// 3 a fault of the program itself.
#include "font_check.h"
#include "output_file.h"
#include "page_build.h"
#include "pdf_form.h"
#include "png_bytes.h"
#include "preview_surface.h"

#include <QCommandLineParser>
#include <QGuiApplication>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

namespace {

constexpr const char *Program = "quorvel-render";

// Device pixel ratios of real screens; more only makes huge images.
constexpr double Dpr_Limit = 4;

struct Options {
    double zoom = 1;
    double dpr = 1;
    QByteArray output; // the file name's own bytes
    bool pdf = false;
};

// A file name as the user reads it.
QString Shown(const QByteArray &name)
{
    return QString::fromLocal8Bit(name);
}

// Bad arguments: the message with a hint, and status 2.
int Bad_Arguments(const QString &message)
{
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", Program, qPrintable(message), Program);
    return 2;
}

// The file was not written: why, and status 1.
int Failed(const QString &message)
{
    std::fprintf(stderr, "%s: %s\n", Program, qPrintable(message));
    return 1;
}

Result<double> Number_Of(const QCommandLineParser &parser, const QCommandLineOption &option, double low, double high)
{
    const QString text = parser.value(option);
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value) || !(value > low) || !(value <= high))
        return Failure{QStringLiteral("--%1 takes a number above %2 and up to %3, not \"%4\"")
                           .arg(option.names().constFirst())
                           .arg(low)
                           .arg(high)
                           .arg(text)};
    return value;
}

// The canvas's size in screen pixels at `zoom`, as the preview sizes it on
// the 96-DPI screen the tool draws for.
QSize Canvas_Pixels(double zoom)
{
    const Screen_Metrics screen;
    return QSize(screen.Pixels_X(Scale_Value(Sheet_Width, Single(zoom))),
                 screen.Pixels_Y(Scale_Value(Sheet_Height, Single(zoom))));
}

struct Switches {
    QCommandLineOption help, version, zoom, dpr;
};

// The options the tool takes: help and version as Qt words them, without
// Qt's own options, which this tool does not take.
Switches Add_Switches(QCommandLineParser &parser)
{
    parser.setApplicationDescription(
        QStringLiteral("Draws the travel expense report page without the window: the preview canvas "
                       "as a PNG image, or the printed page (US Letter) as a PDF file."));
    Switches switches{
        {{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Displays help on commandline options.")},
        {{QStringLiteral("v"), QStringLiteral("version")}, QStringLiteral("Displays version information.")},
        {QStringLiteral("zoom"), QStringLiteral("Zoom of the canvas, 1 = 100 % (PNG only; default 1)."),
         QStringLiteral("Z")},
        {QStringLiteral("dpr"), QStringLiteral("Device pixel ratio of the canvas, up to 4 (PNG only; default 1)."),
         QStringLiteral("R")}};
    parser.addOptions({switches.help, switches.version, switches.zoom, switches.dpr});
    parser.addPositionalArgument(QStringLiteral("file"),
                                 QStringLiteral("The file to write: the canvas (.png) or the printed page (.pdf)."),
                                 QStringLiteral("out.png|out.pdf"));
    return switches;
}

// The one file to write, and which kind it is.
Result<Options> Output_File(const QCommandLineParser &parser)
{
    const QStringList files = parser.positionalArguments();
    if (files.size() != 1)
        return Failure{files.isEmpty() ? QStringLiteral("no output file given (out.png or out.pdf)")
                                       : QStringLiteral("only one output file can be written")};
    Options options;
    options.output = files.constFirst().toLatin1();
    const QString lower = files.constFirst().toLower();
    options.pdf = lower.endsWith(QLatin1String(".pdf"));
    if (!options.pdf && !lower.endsWith(QLatin1String(".png")))
        return Failure{QStringLiteral("the output file must end in .png or .pdf: %1").arg(Shown(options.output))};
    return options;
}

// One of the canvas's scales: a number above 0 and up to `high` at which
// the page, `canvas` in size, is at least one pixel (`pixels`) each way.
Result<double> Scale(const QCommandLineParser &parser, const QCommandLineOption &option, double high,
                     const std::function<QSizeF(double)> &canvas, const char *pixels)
{
    const Result<double> scale = Number_Of(parser, option, 0, high);
    if (!scale.Ok())
        return scale;
    const QSizeF size = canvas(scale.Value());
    if (size.width() < 1 || size.height() < 1)
        return Failure{QStringLiteral("at --%1 %2 the page would be %3 x %4 %5")
                           .arg(option.names().constFirst(), parser.value(option))
                           .arg(size.width())
                           .arg(size.height())
                           .arg(QLatin1String(pixels))};
    return scale;
}

// The canvas's zoom (as the window draws) and pixel ratio, for a PNG.
Result<Options> Scaled(const QCommandLineParser &parser, const Switches &switches, Options options)
{
    if (options.pdf && (parser.isSet(switches.zoom) || parser.isSet(switches.dpr)))
        return Failure{QStringLiteral("--zoom and --dpr are for the PNG canvas; the printer always draws at 100 %")};
    if (parser.isSet(switches.zoom)) {
        const Result<double> zoom = Scale(parser, switches.zoom, Zoom_Limit(),
                                          [](double zoom) { return QSizeF(Canvas_Pixels(zoom)); }, "pixels");
        if (!zoom.Ok())
            return Failure{zoom.Message()};
        options.zoom = zoom.Value();
    }
    if (parser.isSet(switches.dpr)) {
        const Result<double> dpr = Scale(parser, switches.dpr, Dpr_Limit,
                                         [&](double dpr) { return QSizeF(Canvas_Pixels(options.zoom)) * dpr; },
                                         "device pixels");
        if (!dpr.Ok())
            return Failure{dpr.Message()};
        options.dpr = dpr.Value();
    }
    return options;
}

// Help or version on standard output, as Qt's parser words them, and the
// program ends. One that cannot be written (a full disk) is told, status 1.
[[noreturn]] void Show(const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    errno = 0;
    if (std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) == size_t(bytes.size()) &&
        std::fflush(stdout) == 0)
        std::exit(0);
    const int error = errno;
    std::fprintf(stderr, "%s: cannot write to standard output: %s\n", Program,
                 error ? std::strerror(error) : "the write failed");
    std::exit(1);
}

// `args` hold the arguments decoded as Latin-1, one character a byte, so
// that the output file's name turns back into its own bytes. Help and
// version end the program here, as Qt's parser does.
Result<Options> Parse(const QStringList &args)
{
    QCommandLineParser parser;
    const Switches switches = Add_Switches(parser);
    if (!parser.parse(args))
        return Failure{parser.errorText()};
    if (parser.isSet(switches.help))
        Show(parser.helpText());
    if (parser.isSet(switches.version))
        Show(QStringLiteral("%1 %2\n").arg(QCoreApplication::applicationName(), QCoreApplication::applicationVersion()));
    const Result<Options> options = Output_File(parser);
    if (!options.Ok())
        return options;
    return Scaled(parser, switches, options.Value());
}

Result<QByteArray> Png(const Options &options)
{
    Preview_Surface preview;
    preview.Set_Device_Pixel_Ratio(options.dpr);
    {
        const Drawing_Scope scope(preview, Single(options.zoom));
        Build_Page();
    }
    const QByteArray bytes = Png_Bytes(preview.Image());
    if (bytes.isEmpty())
        return Failure{QStringLiteral("cannot make the PNG image")};
    return bytes;
}

// The PNG written to its file whole or not at all; the PDF goes the way of
// every PDF the programs write.
Result<> Write(const Options &options)
{
    // Nobody waits on a window here: another writer of the file is given
    // its turn, up to 10 s.
    constexpr std::chrono::seconds Lock_Wait{10};
    if (options.pdf)
        return Write_Page_Pdf(options.output, std::nullopt, Lock_Wait);
    const Result<QByteArray> png = Png(options);
    if (!png.Ok())
        return Failure{png.Message()};
    if (const Result<> written = Write_Whole_File(options.output, png.Value(), Lock_Wait); !written.Ok())
        return Failure{QStringLiteral("cannot write %1: %2").arg(Shown(options.output), written.Message())};
    return {};
}

} // namespace

int main(int argc, char **argv)
{
    // Headless whatever the environment names, and without the platform's
    // own command-line options or Qt's input plugins (one of them listens on
    // the network): the tool takes no input.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qunsetenv("QT_QPA_GENERIC_PLUGINS");
    qunsetenv("QT_LOAD_TESTABILITY");
    // Qt's start-up looks for a file in the session's runtime folder, which
    // this tool never uses, and warns when none is set: not worth a word.
    static const QtMessageHandler qt_handler = qInstallMessageHandler(nullptr);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &message) {
        if (!message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
            qt_handler(type, context, message);
    });
    int platformArgc = 1;
    QGuiApplication app(platformArgc, argv);
    QCoreApplication::setApplicationName(QString::fromLatin1(Program));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUORVEL_VERSION));

    QStringList args;
    for (int i = 0; i < argc; ++i)
        args.append(QString::fromLatin1(argv[i]));
    const Result<Options> options = Parse(args);
    if (!options.Ok())
        return Bad_Arguments(options.Message());
    if (!Any_Face_Loads())
        return Failed(QStringLiteral("no font can be loaded, neither \"Arial\" nor any face in its place; "
                                     "the page's texts would be empty boxes (Debian: install fonts-liberation)"));
    try {
        if (const Result<> written = Write(options.Value()); !written.Ok())
            return Failed(written.Message());
    } catch (const RuntimeError &error) {
        // The drawing's own run-time errors (an overflow, say) end it as any failure.
        return Failed(QString::fromLocal8Bit(error.what()));
    } catch (const std::exception &fault) {
        // Nothing the user gave or has: the program itself went wrong.
        std::fprintf(stderr, "%s: internal error, please report it: %s\n", Program, fault.what());
        return 3;
    }
    // The file is whole on disk and nothing is left to say: taking down the
    // application, its fonts and libraries would only cost time.
    std::_Exit(0);
}
