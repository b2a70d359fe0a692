// Quorvel: starting the program loads its one window; closing it ends the program.
#include "frm_main.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QList>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// The platform the user asked for with -platform NAME (Qt also takes
// --platform), else QT_QPA_PLATFORM, else X11. The option is taken out of the
// command line: QT_QPA_PLATFORM carries it to Qt instead.
QByteArray Take_Platform(int &argc, char **argv)
{
    QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const bool option = std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0;
        if (option && i + 1 < argc)
            platform = argv[++i];
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
    argv[argc] = nullptr;
    return platform.isEmpty() ? QByteArrayLiteral("xcb") : platform;
}

// Qt's complaints while it tries a platform that cannot start; they are
// passed on only if that platform started after all.
QList<std::pair<QtMsgType, QString>> held_messages;
QtMessageHandler earlier_handler = nullptr;

void Hold_Message(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    held_messages.append({type, message});
}

} // namespace

int main(int argc, char *argv[])
{
    // Without a display Qt's X11 platform aborts the program. The offscreen
    // platform behind the one asked for keeps it alive to read its command
    // line (--help and --version need no display) and to say what is missing.
    const QByteArray platform = Take_Platform(argc, argv);
    const bool fallback = !platform.split(';').contains("offscreen");
    qputenv("QT_QPA_PLATFORM", fallback ? platform + ";offscreen" : platform);
    earlier_handler = qInstallMessageHandler(Hold_Message);
    QApplication app(argc, argv);
    qInstallMessageHandler(earlier_handler);
    const bool no_display = fallback && QGuiApplication::platformName() == QLatin1String("offscreen");
    if (!no_display)
        for (const auto &[type, message] : held_messages)
            qt_message_output(type, QMessageLogContext(), message);
    held_messages.clear();

    QApplication::setApplicationName(QStringLiteral("quorvel"));
    QApplication::setApplicationVersion(QStringLiteral(QUORVEL_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.quorvel.Quorvel"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Shows the blank travel expense report form and prints it.\n"
        "Qt's standard options (-platform, -display, -style, ...) are accepted as well."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.process(app);
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "quorvel: unexpected argument '%s'; see quorvel --help\n",
                     qPrintable(parser.positionalArguments().first()));
        return 1;
    }
    if (no_display) {
        std::fprintf(stderr, "quorvel: no display to show the window on (%s); start it in a desktop session, "
                             "or run ./scripts/run in its source tree to see it over VNC\n",
                     qEnvironmentVariableIsEmpty("DISPLAY") ? "DISPLAY is not set" : "the X display cannot be reached");
        return 1;
    }

    frmMain window;
    window.Load();
    return app.exec();
}
