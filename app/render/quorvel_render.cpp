// quorvel-render: draws the report page without the window, to look at it
// or to check it.
//
//   quorvel-render [--zoom Z] [--dpr R] out.png   the preview canvas
//   quorvel-render out.pdf                         the printed page
//   quorvel-render --check filled.pdf              a returned form checked
//   quorvel-render --values filled.pdf out.json|out.csv
//                                                  what it holds, as data
//
// It always draws headless. The file is written whole or not at all.
// Exit status: 0 done (or, checking, everything holds), 1 the drawing or
// the file failed (or, checking, something does not hold), 2 bad
// arguments, 3 a fault of the program itself, 4 the form to read back is
// not one this program made, or cannot be read.
#include "font_check.h"
#include "form_check.h"
#include "form_fields.h"
#include "output_file.h"
#include "page_build.h"
#include "pdf_form.h"
#include "png_bytes.h"
#include "preview_surface.h"

#include <QCommandLineParser>
#include <QFile>
#include <QGuiApplication>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>

#include <fcntl.h>

#include <sys/resource.h>

namespace {

constexpr const char *Program = "quorvel-render";

// Nobody waits on a window here: another writer of a file is given its
// turn, up to 10 s.
constexpr std::chrono::seconds Lock_Wait{10};

// Device pixel ratios of real screens; more only makes huge images.
constexpr double Dpr_Limit = 4;

struct Options {
    double zoom = 1;
    double dpr = 1;
    QByteArray output; // the file name's own bytes
    bool pdf = false;
    enum { Draw, Check, Values } mode = Draw;
    QByteArray form; // the returned form to read back, checking or writing its values
};

// A returned form's own status: it is not one this program made, or
// cannot be read.
constexpr int Not_Our_Form = 4;

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
    QCommandLineOption help, version, zoom, dpr, check, values;
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
         QStringLiteral("R")},
        {QStringLiteral("check"),
         QStringLiteral("Checks a returned form (a PDF this program made, filled in and saved by any reader): "
                        "every amount read again, every total worked out anew. Says what does not hold; "
                        "status 0 when everything holds, 1 when something does not, 4 when the file is not "
                        "such a form or cannot be read."),
         QStringLiteral("filled.pdf")},
        {QStringLiteral("values"),
         QStringLiteral("Writes what a returned form holds as data, a field a line with its spoken name, its "
                        "value as typed and an amount's cents: JSON (out.json) or CSV (out.csv, where a value "
                        "a spreadsheet would take for a formula gets a ' first)."),
         QStringLiteral("filled.pdf")}};
    parser.addOptions({switches.help, switches.version, switches.zoom, switches.dpr, switches.check, switches.values});
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

// A returned form read back: checked, or its values written to one file
// (.json or .csv), alone, without the canvas's scales.
Result<Options> Reading_Back(const QCommandLineParser &parser, const Switches &switches)
{
    if (parser.isSet(switches.check) && parser.isSet(switches.values))
        return Failure{QStringLiteral("--check and --values go one at a time")};
    if (parser.isSet(switches.zoom) || parser.isSet(switches.dpr))
        return Failure{QStringLiteral("--zoom and --dpr are for the PNG canvas, not for reading a form back")};
    Options options;
    const QStringList files = parser.positionalArguments();
    if (parser.isSet(switches.check)) {
        if (!files.isEmpty())
            return Failure{QStringLiteral("--check writes no file: %1").arg(files.constFirst())};
        options.mode = Options::Check;
        options.form = parser.value(switches.check).toLatin1();
        return options;
    }
    options.mode = Options::Values;
    options.form = parser.value(switches.values).toLatin1();
    if (files.size() != 1)
        return Failure{QStringLiteral("--values writes one file, out.json or out.csv")};
    options.output = files.constFirst().toLatin1();
    const QString lower = files.constFirst().toLower();
    if (!lower.endsWith(QLatin1String(".json")) && !lower.endsWith(QLatin1String(".csv")))
        return Failure{QStringLiteral("the values' file must end in .json or .csv: %1").arg(Shown(options.output))};
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
    if (parser.isSet(switches.check) || parser.isSet(switches.values))
        return Reading_Back(parser, switches);
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
    if (options.pdf)
        return Write_Page_Pdf(options.output, std::nullopt, Lock_Wait);
    const Result<QByteArray> png = Png(options);
    if (!png.Ok())
        return Failure{png.Message()};
    if (const Result<> written = Write_Whole_File(options.output, png.Value(), Lock_Wait); !written.Ok())
        return Failure{QStringLiteral("cannot write %1: %2").arg(Shown(options.output), written.Message())};
    return {};
}

// The returned form's bytes, by the name's own bytes, up to one byte more
// than a form may be (so that a larger file is told as such).
Result<QByteArray> Form_Bytes(const QByteArray &name)
{
    QFile file;
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return Failure{QString::fromLocal8Bit(std::strerror(errno))};
    const QByteArray bytes = file.read(Most_Form_Bytes + 1);
    if (file.error() != QFileDevice::NoError)
        return Failure{file.errorString()};
    return bytes;
}

// Whatever a hostile file makes qpdf unpack stays within a bound: the data
// of the process, 1 GiB (a form needs a few MiB). Not under the
// sanitizers, which map their own shadow of every byte.
void Bound_Memory()
{
#if !defined(__SANITIZE_ADDRESS__)
    const rlimit most{rlim_t(1) << 30, rlim_t(1) << 30};
    ::setrlimit(RLIMIT_DATA, &most);
#endif
}

// What does not hold, a line each, on standard output; then a line that
// sums it up. Status 0 when everything holds, 1 when something does not or
// the report cannot be written.
int Report(const QByteArray &name, const std::vector<Form_Finding> &findings)
{
    std::map<QString, QString> spoken;
    for (const Form_Field &field : Form_Fields())
        spoken[field.Name] = field.Words;
    for (const Form_Finding &finding : findings)
        std::printf("%s (%s): %s\n", qPrintable(finding.Field), qPrintable(spoken[finding.Field]),
                    qPrintable(finding.Words));
    if (findings.empty())
        std::printf("%s: everything holds: every amount is one, every total adds up, every row too\n",
                    name.constData());
    else
        std::printf("%s: %zu thing(s) do not hold\n", name.constData(), findings.size());
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        return Failed(QStringLiteral("cannot write the report: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
    return findings.empty() ? 0 : 1;
}

// A returned form read back: checked (the report), or its values written.
int Read_Back(const Options &options)
{
    Bound_Memory();
    const auto refused = [&](const QString &why) {
        std::fprintf(stderr, "%s: %s: %s\n", Program, options.form.constData(), qPrintable(why));
        return Not_Our_Form;
    };
    const Result<QByteArray> bytes = Form_Bytes(options.form);
    if (!bytes.Ok())
        return refused(QStringLiteral("cannot be read: %1").arg(bytes.Message()));
    const Result<Form_Values> values = Read_Returned_Form(bytes.Value());
    if (!values.Ok())
        return refused(values.Message());
    if (options.mode == Options::Check)
        return Report(options.form, Check_Returned_Form(values.Value()));
    const QByteArray data = options.output.toLower().endsWith(".json") ? Values_Json(values.Value())
                                                                        : Values_Csv(values.Value());
    if (const Result<> written = Write_Whole_File(options.output, data, Lock_Wait); !written.Ok())
        return Failed(QStringLiteral("cannot write %1: %2").arg(Shown(options.output), written.Message()));
    return 0;
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
    if (options.Value().mode == Options::Draw && !Any_Face_Loads())
        return Failed(QStringLiteral("no font can be loaded, neither \"Arial\" nor any face in its place; "
                                     "the page's texts would be empty boxes (Debian: install fonts-liberation)"));
    try {
        if (options.Value().mode != Options::Draw)
            return Read_Back(options.Value());
        if (const Result<> written = Write(options.Value()); !written.Ok())
            return Failed(written.Message());
    } catch (const std::exception &fault) {
        // Nothing the user gave or has: the program itself went wrong. The
        // drawing's run-time errors (an overflow, say) are such faults: the
        // zoom and the ratio are checked before the page is drawn, and this
        // tool draws to no printer.
        std::fprintf(stderr, "%s: internal error, please report it: %s\n", Program, fault.what());
        return 3;
    }
    // The file is whole on disk and nothing is left to say: taking down the
    // application, its fonts and libraries would only cost time.
    std::_Exit(0);
}
