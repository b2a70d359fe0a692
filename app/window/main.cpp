// Quorvel: starting the program loads its one window; closing it ends the program.
#include "frm_main.h"
#include "outcome.h"
#include "start_up.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QList>

#include <algorithm>
#include <array>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Why the window cannot start, told in the one place that does: one line
// (or a line and Qt's own words under it) on stderr. The status to end with.
int Refused(const QString &why)
{
    std::fprintf(stderr, "quorvel: %s\n", qPrintable(why));
    return 1;
}

// The values of Qt's option -NAME VALUE (Qt also takes --NAME), in order,
// taken out of the command line: an environment variable carries them to Qt
// instead, once checked.
QByteArrayList Take_Option(int &argc, char **argv, const char *name)
{
    const QByteArray one = QByteArray("-") + name, two = "-" + one;
    QByteArrayList values;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if ((one == argv[i] || two == argv[i]) && i + 1 < argc)
            values.append(argv[++i]);
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
    argv[argc] = nullptr;
    return values;
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

// Qt's input plugins the window loads when asked (-plugin NAME[:ARGS], or
// QT_QPA_GENERIC_PLUGINS=NAME[:ARGS],...): each reads a device of this
// machine. Qt's TUIO plugin would take touches from anyone who sends it a
// datagram, on every interface; a plugin not named here is not known to be
// safe.
constexpr std::array<const char *, 7> Offered_Input = {"evdevkeyboard", "evdevmouse", "evdevtablet", "evdevtouch",
                                                       "libinput",      "tslib",      "tslibraw"};

// Whether every input plugin asked for is offered (the name matched in any
// case, as Qt matches it); fails with why not. The options are taken out
// of the command line, and QT_QPA_GENERIC_PLUGINS carries all that was
// checked to Qt. Qt's -testability, which loads a library that drives the
// window from outside, is refused too.
Result<> Input_Offered(int &argc, char **argv)
{
    QByteArrayList asked = Take_Option(argc, argv, "plugin");
    if (!qEnvironmentVariableIsEmpty("QT_QPA_GENERIC_PLUGINS"))
        asked.prepend(qgetenv("QT_QPA_GENERIC_PLUGINS"));
    const QByteArray plugins = asked.join(',');
    for (const QByteArray &plugin : plugins.split(',')) {
        const QByteArray name = plugin.split(':').first().toLower();
        if (!plugin.isEmpty() && std::find(Offered_Input.begin(), Offered_Input.end(), name) == Offered_Input.end()) {
            const QByteArrayList offered(Offered_Input.begin(), Offered_Input.end());
            return Failure{QStringLiteral("Qt's input plugin \"%1\" is not offered (it may take input from the "
                                          "network); the window takes input from its session and from %2")
                               .arg(QString::fromLocal8Bit(plugin), QString::fromLatin1(offered.join(", ")))};
        }
    }
    if (!plugins.isEmpty())
        qputenv("QT_QPA_GENERIC_PLUGINS", plugins);
    const auto testability = [](const char *arg) {
        return std::strcmp(arg, "-testability") == 0 || std::strcmp(arg, "--testability") == 0;
    };
    if (qEnvironmentVariableIntValue("QT_LOAD_TESTABILITY") > 0 || std::any_of(argv + 1, argv + argc, testability))
        return Failure{QStringLiteral("Qt's testability library (-testability, QT_LOAD_TESTABILITY) would let "
                                      "another program drive the window; it is not offered")};
    return {};
}

// Settings with which Qt scales the window, taken as they come: at 0, below,
// or a billion the window is drawn nowhere to be seen. Past these bounds the
// text is unreadable or the window larger than any screen; each setting is
// bounded alone (Qt multiplies them). QT_SCREEN_SCALE_FACTORS is a list
// (FACTOR;... or SCREEN=FACTOR;...), QT_FONT_DPI a whole number in any base
// (the factor is the number over 96).
struct Scale_Setting {
    const char *name;
    double low, high;
    const char *what;
    bool list, whole;
};
constexpr Scale_Setting Scale_Settings[] = {
    {"QT_SCALE_FACTOR", 0.25, 16, "a number", false, false},
    {"QT_SCREEN_SCALE_FACTORS", 0.25, 16, "a number for each screen", true, false},
    {"QT_FONT_DPI", 24, 1536, "dots per inch, a whole number", false, true},
};

// Whether every value in `text` is within the setting's bounds.
bool Usable(const Scale_Setting &setting, const QByteArray &text)
{
    for (const QByteArray &part : setting.list ? text.split(';') : QByteArrayList{text}) {
        if (setting.list && part.isEmpty())
            continue;
        bool ok = false;
        const double value = setting.whole ? part.toInt(&ok, 0) : part.mid(part.lastIndexOf('=') + 1).toDouble(&ok);
        if (!ok || !(value >= setting.low && value <= setting.high))
            return false;
    }
    return true;
}

// A scale setting that cannot be used is said and left out: the window
// starts at the ordinary scale.
void Check_Scales()
{
    for (const Scale_Setting &setting : Scale_Settings) {
        const QByteArray text = qgetenv(setting.name);
        if (text.isEmpty() || Usable(setting, text))
            continue;
        std::fprintf(stderr, "quorvel: %s=%s is not a scale the window can be shown at (%s from %g to %g); "
                             "it starts at the ordinary scale\n",
                     setting.name, text.constData(), setting.what, setting.low, setting.high);
        qunsetenv(setting.name);
    }
}

// Qt's complaints while it tries a platform that cannot start; they are
// passed on only if that platform started after all.
QList<std::pair<QtMsgType, QString>> held_messages;

QByteArray asked_platform;

// A platform that cannot start at all (eglfs without a GPU, say) ends Qt
// with a fatal message, which would abort the program: it is refused as any
// other start, status 1. It ends here, at once: Qt aborts once this returns,
// and exit() would take apart a QApplication still being made.
void Hold_Message(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg)
        std::_Exit(Refused(QStringLiteral("the window system \"%1\" cannot start here (%2)")
                               .arg(QString::fromLocal8Bit(asked_platform), message)));
    held_messages.append({type, message});
}

// The platform asked for (-platform NAME, else QT_QPA_PLATFORM, else the
// session's), if it is offered; fails with why not.
Result<QByteArray> Platform_Offered(int &argc, char **argv)
{
    const QByteArrayList options = Take_Option(argc, argv, "platform");
    QByteArray refused;
    const QByteArray platform =
        Offered_Platform(options.isEmpty() ? qgetenv("QT_QPA_PLATFORM") : options.last(), refused);
    if (refused == "vnc")
        return Failure{QStringLiteral("the vnc platform would show the window to anyone on the network, without a "
                                      "password; run ./scripts/run in its source tree, which serves it over VNC on "
                                      "this machine only and with a password")};
    if (!refused.isEmpty()) {
        const QByteArrayList offered(Offered_Platforms.begin(), Offered_Platforms.end());
        return Failure{QStringLiteral("the window system \"%1\" is not offered; the window starts on %2")
                           .arg(QString::fromLocal8Bit(refused), QString::fromLatin1(offered.join(", ")))};
    }
    return platform.isEmpty() ? Session_Platform() : platform;
}

// Without a display Qt's X11 platform aborts the program. The offscreen
// platform behind the one asked for keeps it alive to read its command line
// (--help and --version need no display) and to say what is missing; Qt's
// messages meanwhile are held. Whether the offscreen platform is behind it.
bool Put_Platform(const QByteArray &platform)
{
    asked_platform = platform;
    bool fallback = true;
    for (const QByteArray &choice : platform.split(';'))
        fallback = fallback && choice.split(':').first() != "offscreen";
    qputenv("QT_QPA_PLATFORM", fallback ? platform + ";offscreen" : platform);
    qInstallMessageHandler(Hold_Message);
    return fallback;
}

// Once Qt started: whether the platform has a screen (linuxfb without a
// frame buffer has none, and could show nothing); fails with why not and
// what Qt said. Qt's held messages are passed on where the platform asked
// for started.
Result<> Screen_Found(const QByteArray &platform, bool no_display)
{
    qInstallMessageHandler(nullptr);
    const bool found = no_display || !QGuiApplication::screens().isEmpty();
    QString why = QStringLiteral("the window system \"%1\" has no screen here").arg(QString::fromLocal8Bit(platform));
    for (const auto &[type, message] : held_messages)
        if (!found)
            why += QStringLiteral("\n  ") + message;
        else if (!no_display)
            qt_message_output(type, QMessageLogContext(), message);
    held_messages.clear();
    if (!found)
        return Failure{why};
    return {};
}

// Names the program and reads its command line (--help and --version end it
// here); fails when something is left over.
Result<> Read_Command_Line(const QApplication &app)
{
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
    if (parser.positionalArguments().isEmpty())
        return {};
    return Failure{
        QStringLiteral("unexpected argument '%1'; see quorvel --help").arg(parser.positionalArguments().first())};
}

// That there is no display, and why.
Failure No_Display(const QByteArray &platform)
{
    const bool x11 = !qEnvironmentVariableIsEmpty("DISPLAY"), wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    return Failure{QStringLiteral("no display to show the window on (%1); start it in a desktop session, "
                                  "or run ./scripts/run in its source tree to see it over VNC")
                       .arg(QLatin1String(!x11 && !wayland          ? "neither DISPLAY nor WAYLAND_DISPLAY is set"
                                          : platform == "wayland" ? "the Wayland display cannot be reached"
                                                                  : "the X display cannot be reached"))};
}

} // namespace

int main(int argc, char *argv[])
{
    const Result<QByteArray> platform = Platform_Offered(argc, argv);
    if (!platform.Ok())
        return Refused(platform.Message());
    if (const Result<> input = Input_Offered(argc, argv); !input.Ok())
        return Refused(input.Message());
    Check_Scales();
    const bool fallback = Put_Platform(platform.Value());
    QApplication app(argc, argv);
    const bool no_display = fallback && QGuiApplication::platformName() == QLatin1String("offscreen");
    if (const Result<> screen = Screen_Found(platform.Value(), no_display); !screen.Ok())
        return Refused(screen.Message());
    if (const Result<> line = Read_Command_Line(app); !line.Ok())
        return Refused(line.Message());
    if (no_display)
        return Refused(No_Display(platform.Value()).message);

    Install_Accessibility(); // before the first widget
    Check_Platform_Quirks(Found_Platform_Hooks()); // each that finds nothing to hook said once
    frmMain window;
    window.Load();
    return app.exec();
}
