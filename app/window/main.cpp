// Quorvel: starting the program loads its one window; closing it ends the program.
#include "frm_main.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QList>

#include <algorithm>
#include <array>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The platform the user asked for with -platform NAME (Qt also takes
// --platform), else QT_QPA_PLATFORM; empty if neither. The option is taken
// out of the command line: QT_QPA_PLATFORM carries it to Qt instead.
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
    return platform;
}

// The session's platform: X11 when DISPLAY is set, Wayland when only
// WAYLAND_DISPLAY is.
QByteArray Session_Platform()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return QByteArrayLiteral("wayland");
    return QByteArrayLiteral("xcb");
}

// The window systems the viewer starts on: each shows the window on this
// machine's own screen, or on none. Qt's VNC platform would serve it to
// anyone who reaches its port, on every interface and without a password;
// a platform not named here is not known to be safe.
constexpr std::array<const char *, 9> Offered_Platforms = {
    "xcb", "wayland", "wayland-egl", "eglfs", "linuxfb", "vkkhrdisplay", "minimal", "minimalegl", "offscreen"};

// `platform` as Qt reads it (choices split at ';', each a name and its
// arguments split at ':', empty parts skipped, the name matched in any
// case), with every name in lower case. Empty, with the name in `refused`,
// when a choice is not offered.
QByteArray Offered_Platform(const QByteArray &platform, QByteArray &refused)
{
    QList<QByteArray> choices;
    for (const QByteArray &choice : platform.split(';')) {
        QList<QByteArray> parts = choice.split(':');
        parts.removeAll(QByteArray());
        if (parts.isEmpty())
            continue;
        parts.first() = parts.first().toLower();
        if (std::find(Offered_Platforms.begin(), Offered_Platforms.end(), parts.first()) == Offered_Platforms.end()) {
            refused = parts.first();
            return {};
        }
        choices.append(parts.join(':'));
    }
    return choices.join(';');
}

// Qt takes QT_SCALE_FACTOR as it comes: at 0, below, or a billion the
// window is drawn nowhere to be seen. Past these bounds the text is
// unreadable or the window larger than any screen.
constexpr double Scale_Low = 0.25, Scale_High = 16;

// A scale factor that cannot be used is said and left out: the window
// starts at the ordinary scale.
void Check_Scale_Factor()
{
    const QByteArray text = qgetenv("QT_SCALE_FACTOR");
    if (text.isEmpty())
        return;
    bool ok = false;
    const double factor = text.toDouble(&ok);
    if (ok && factor >= Scale_Low && factor <= Scale_High)
        return;
    std::fprintf(stderr, "quorvel: QT_SCALE_FACTOR=%s is not a scale the window can be shown at (a number from %g to %g); "
                         "it starts at the ordinary scale\n",
                 text.constData(), Scale_Low, Scale_High);
    qunsetenv("QT_SCALE_FACTOR");
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
    QByteArray refused;
    QByteArray platform = Offered_Platform(Take_Platform(argc, argv), refused);
    if (refused == "vnc") {
        std::fprintf(stderr, "quorvel: the vnc platform would show the window to anyone on the network, without a "
                             "password; run ./scripts/run in its source tree, which serves it over VNC on this machine "
                             "only and with a password\n");
        return 1;
    }
    if (!refused.isEmpty()) {
        const QByteArrayList offered(Offered_Platforms.begin(), Offered_Platforms.end());
        std::fprintf(stderr, "quorvel: the window system \"%s\" is not offered; the window starts on %s\n",
                     refused.constData(), offered.join(", ").constData());
        return 1;
    }
    if (platform.isEmpty())
        platform = Session_Platform();
    Check_Scale_Factor();
    asked_platform = platform;
    bool fallback = true;
    for (const QByteArray &choice : platform.split(';'))
        fallback = fallback && choice.split(':').first() != "offscreen";
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

    Install_Accessibility(); // before the first widget
    frmMain window;
    window.Load();
    return app.exec();
}
