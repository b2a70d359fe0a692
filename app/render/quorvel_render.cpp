// quorvel-render: draws the report page without the window, to look at it
// or to check it.
//
//   quorvel-render [--zoom Z] [--dpr R] out.png   the preview canvas
//   quorvel-render out.pdf                         the printed page
//
// It always draws headless. The file is written whole or not at all.
// Exit status: 0 done, 1 the drawing or the file failed, 2 bad arguments.
#include "font_check.h"
#include "output_file.h"
#include "page_build.h"
#include "pdf_form.h"
#include "png_bytes.h"
#include "preview_surface.h"
#include "printer_surface.h"

#include <QCommandLineParser>
#include <QGuiApplication>
#include <QPrinter>

#include <cmath>
#include <cstdio>
#include <cstdlib>

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

[[noreturn]] void Bad_Arguments(const QString &message)
{
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", Program, qPrintable(message), Program);
    std::exit(2);
}

[[noreturn]] void Fail(const QString &message)
{
    std::fprintf(stderr, "%s: %s\n", Program, qPrintable(message));
    std::exit(1);
}

double Number_Of(const QCommandLineParser &parser, const QCommandLineOption &option, double low, double high)
{
    const QString text = parser.value(option);
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value) || !(value > low) || !(value <= high))
        Bad_Arguments(QStringLiteral("--%1 takes a number above %2 and up to %3, not \"%4\"")
                          .arg(option.names().constFirst())
                          .arg(low)
                          .arg(high)
                          .arg(text));
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

// `args` hold the arguments decoded as Latin-1, one character a byte, so
// that the output file's name turns back into its own bytes.
Options Parse(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Draws the travel expense report page without the window: the preview canvas "
                       "as a PNG image, or the printed page (US Letter) as a PDF file."));
    // Help and version as Qt words them, without Qt's own options, which
    // this tool does not take.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Displays help on commandline options."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Displays version information."));
    parser.addOption(help);
    parser.addOption(version);
    const QCommandLineOption zoom(QStringLiteral("zoom"),
                                  QStringLiteral("Zoom of the canvas, 1 = 100 % (PNG only; default 1)."),
                                  QStringLiteral("Z"));
    const QCommandLineOption dpr(QStringLiteral("dpr"),
                                 QStringLiteral("Device pixel ratio of the canvas, up to 4 (PNG only; default 1)."),
                                 QStringLiteral("R"));
    parser.addOption(zoom);
    parser.addOption(dpr);
    parser.addPositionalArgument(QStringLiteral("file"),
                                 QStringLiteral("The file to write: the canvas (.png) or the printed page (.pdf)."),
                                 QStringLiteral("out.png|out.pdf"));

    if (!parser.parse(args))
        Bad_Arguments(parser.errorText());
    if (parser.isSet(help))
        parser.showHelp(0);
    if (parser.isSet(version))
        parser.showVersion();

    const QStringList files = parser.positionalArguments();
    if (files.size() != 1)
        Bad_Arguments(files.isEmpty() ? QStringLiteral("no output file given (out.png or out.pdf)")
                                      : QStringLiteral("only one output file can be written"));
    Options options;
    options.output = files.constFirst().toLatin1();
    const QString lower = files.constFirst().toLower();
    options.pdf = lower.endsWith(QLatin1String(".pdf"));
    if (!options.pdf && !lower.endsWith(QLatin1String(".png")))
        Bad_Arguments(QStringLiteral("the output file must end in .png or .pdf: %1").arg(Shown(options.output)));
    const bool scaled = parser.isSet(zoom) || parser.isSet(dpr);
    if (options.pdf && scaled)
        Bad_Arguments(QStringLiteral("--zoom and --dpr are for the PNG canvas; the printer always draws at 100 %"));
    if (parser.isSet(zoom)) {
        options.zoom = Number_Of(parser, zoom, 0, Zoom_Limit()); // as the window draws
        const QSize canvas = Canvas_Pixels(options.zoom);
        if (canvas.width() < 1 || canvas.height() < 1)
            Bad_Arguments(QStringLiteral("at --zoom %1 the page would be %2 x %3 pixels")
                              .arg(parser.value(zoom))
                              .arg(canvas.width())
                              .arg(canvas.height()));
    }
    if (parser.isSet(dpr)) {
        options.dpr = Number_Of(parser, dpr, 0, Dpr_Limit);
        // A ratio so small that the page is not one device pixel draws nothing.
        const QSizeF canvas = QSizeF(Canvas_Pixels(options.zoom)) * options.dpr;
        if (canvas.width() < 1 || canvas.height() < 1)
            Bad_Arguments(QStringLiteral("at --dpr %1 the page would be %2 x %3 device pixels")
                              .arg(parser.value(dpr))
                              .arg(canvas.width())
                              .arg(canvas.height()));
    }
    return options;
}

QByteArray Png(const Options &options)
{
    Preview_Surface preview;
    preview.Set_Device_Pixel_Ratio(options.dpr);
    {
        const Drawing_Scope scope(preview, Single(options.zoom));
        Build_Page();
    }
    const QByteArray bytes = Png_Bytes(preview.Image());
    if (bytes.isEmpty())
        Fail(QStringLiteral("cannot make the PNG image"));
    return bytes;
}

QByteArray Pdf()
{
    // Qt's PDF writer takes a file name and drops its write errors; it
    // writes to memory, and the bytes go to the file, checked whole, with
    // every write checked.
    Memory_File memory;
    if (memory.Name().isEmpty())
        Fail(QStringLiteral("cannot make the PDF in memory: %1").arg(memory.Error()));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(memory.Name());
    Set_Up_Letter(printer);
    printer.setDocName(Document_Title());
    printer.setCreator(Document_Creator());
    Printer_Surface surface(printer);
    {
        const Drawing_Scope scope(surface, 1);
        Build_Page();
    }
    // Every document the surface ends is one page.
    if (surface.Documents() != 1)
        Fail(QStringLiteral("%1 pages drawn, not one").arg(surface.Documents()));
    std::optional<QByteArray> bytes = memory.Contents();
    if (!bytes)
        Fail(QStringLiteral("cannot read the PDF back from memory: %1").arg(memory.Error()));
    // qpdf reads the page back strictly: a write of Qt's that failed unseen
    // leaves a PDF it refuses, and the memory file then tells why.
    if (const QString error = Make_Fillable_Form(*bytes, printer.pageLayout(), printer.resolution()); !error.isEmpty()) {
        const QString why = memory.Write_Error();
        Fail(why.isEmpty() ? QStringLiteral("cannot make the fillable form: %1").arg(error)
                           : QStringLiteral("the PDF came out incomplete: %1").arg(why));
    }
    return *bytes;
}

} // namespace

int main(int argc, char **argv)
{
    // Headless whatever the environment names, and without the platform's
    // own command-line options.
    qputenv("QT_QPA_PLATFORM", "offscreen");
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
    const Options options = Parse(args);

    if (!Any_Face_Loads())
        Fail(QStringLiteral("no font can be loaded, neither \"Arial\" nor any face in its place; "
                            "the page's texts would be empty boxes (Debian: install fonts-liberation)"));
    try {
        const QByteArray bytes = options.pdf ? Pdf() : Png(options);
        const QString error = Write_Whole_File(options.output, bytes);
        if (!error.isEmpty())
            Fail(QStringLiteral("cannot write %1: %2").arg(Shown(options.output), error));
    } catch (const std::exception &error) {
        Fail(QString::fromLocal8Bit(error.what()));
    }
    // The file is whole on disk and nothing is left to say: taking down the
    // application, its fonts and libraries would only cost time.
    std::_Exit(0);
}
