// Quorvel: starting the program loads its one window; closing it ends the program.
#include "frm_main.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QList>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// The platform the user asked for with -platform NAME (Qt also takes
// --platform), else QT_QPA_PLATFORM, else the session's: X11 when DISPLAY is
// set, Wayland when only WAYLAND_DISPLAY is. The option is taken out of the
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
    if (!platform.isEmpty())
        return platform;
    if (qEnvironmentVariableIsEmpty("DISPLAY") && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return QByteArrayLiteral("wayland");
    return QByteArrayLiteral("xcb");
}

// Qt's VNC platform serves the window to anyone who reaches its port, on
// every interface and without a password.
bool Names_Vnc(const QByteArray &platform)
{
    for (const QByteArray &choice : platform.split(';'))
        if (choice.split(':').first().trimmed() == "vnc")
            return true;
    return false;
}

// Qt's complaints while it tries a platform that cannot start; they are
// passed on only if that platform started after all.
QList<std::pair<QtMsgType, QString>> held_messages;
QtMessageHandler earlier_handler = nullptr;

QByteArray asked_platform;

// A platform that cannot start at all (eglfs without a GPU, say) ends Qt
// with a fatal message, which would abort the program: it ends with a
// sentence and status 1 instead.
void Hold_Message(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "quorvel: the window system \"%s\" cannot start here (%s)\n", asked_platform.constData(),
                     qPrintable(message));
        std::_Exit(1);
    }
    held_messages.append({type, message});
}

} // namespace

int main(int argc, char *argv[])
{
    // Without a display Qt's X11 platform aborts the program. The offscreen
    // platform behind the one asked for keeps it alive to read its command
    // line (--help and --version need no display) and to say what is missing.
    const QByteArray platform = Take_Platform(argc, argv);
    if (Names_Vnc(platform)) {
        std::fprintf(stderr, "quorvel: the vnc platform would show the window to anyone on the network, without a "
                             "password; run ./scripts/run in its source tree, which serves it over VNC on this machine "
                             "only and with a password\n");
        return 1;
    }
    asked_platform = platform;
    const bool fallback = !platform.split(';').contains("offscreen");
    qputenv("QT_QPA_PLATFORM", fallback ? platform + ";offscreen" : platform);
    earlier_handler = qInstallMessageHandler(Hold_Message);
    QApplication app(argc, argv);
    qInstallMessageHandler(earlier_handler);
    const bool no_display = fallback && QGuiApplication::platformName() == QLatin1String("offscreen");
    // A platform that started without a screen (linuxfb without a frame
    // buffer) could show nothing.
    if (!no_display && QGuiApplication::screens().isEmpty()) {
        std::fprintf(stderr, "quorvel: the window system \"%s\" has no screen here\n", platform.constData());
        for (const auto &[type, message] : held_messages)
            std::fprintf(stderr, "  %s\n", qPrintable(message));
        return 1;
    }
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
        "Qt's standard options (-display, -style, ...) are accepted as well."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.process(app);
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "quorvel: unexpected argument '%s'; see quorvel --help\n",
                     qPrintable(parser.positionalArguments().first()));
        return 1;
    }
    if (no_display) {
        const bool x11 = !qEnvironmentVariableIsEmpty("DISPLAY"), wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
        std::fprintf(stderr, "quorvel: no display to show the window on (%s); start it in a desktop session, "
                             "or run ./scripts/run in its source tree to see it over VNC\n",
                     !x11 && !wayland          ? "neither DISPLAY nor WAYLAND_DISPLAY is set"
                     : platform == "wayland" ? "the Wayland display cannot be reached"
                                             : "the X display cannot be reached");
        return 1;
    }

    frmMain window;
    window.Load();
    return app.exec();
}
