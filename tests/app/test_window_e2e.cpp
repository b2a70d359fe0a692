// The real program on a real X display (Xvfb), driven as a person drives it:
// xdotool finds the window, clicks the toolbar buttons (found on screen by
// their pictures), resizes the window and turns the wheel; screenshots of the
// screen show where the page is. Usage:
//   test_window_e2e QUORVEL [SCREENSHOT.png]
// with DISPLAY set (xvfb-run -a). SCREENSHOT, if given, receives the window
// at fit page.
#include "runtime.h"

#include <QBitmap>
#include <QDebug>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QThread>

#include <cmath>
#include <cstdio>
#include <functional>
#include <optional>

namespace {

int failures = 0;

void Check(bool ok, const QString &what)
{
    std::printf("%s: %s\n", ok ? "ok" : "FAIL", qPrintable(what));
    std::fflush(stdout);
    if (!ok)
        ++failures;
}

[[noreturn]] void Give_Up(const QString &why)
{
    std::printf("FAIL: %s\n0 passed, 1 failed\n", qPrintable(why));
    std::exit(1);
}

QString Run(const QStringList &command, int timeoutMs = 10000)
{
    QProcess process;
    process.start(command.first(), command.mid(1));
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return QString();
    }
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

bool Wait_For(const std::function<bool()> &done, int timeoutMs = 10000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QThread::msleep(30);
    }
    return true;
}

// --- the window as the screen shows it ----------------------------------------

Single tpp = 15; // twips per pixel of this screen

int Px(double twips)
{
    return int(Round_Half_Even(twips / tpp));
}

double Tw(int pixels)
{
    return double(pixels) * tpp;
}

QString window_id;
QRect window_rect; // on the screen

QRect Geometry()
{
    const QString shell = Run({"xdotool", "getwindowgeometry", "--shell", window_id});
    QRect rect;
    for (const QString &line : shell.split(u'\n')) {
        const auto value = [&line] { return line.section(u'=', 1).toInt(); };
        if (line.startsWith(u"X="))
            rect.moveLeft(value());
        else if (line.startsWith(u"Y="))
            rect.moveTop(value());
        else if (line.startsWith(u"WIDTH="))
            rect.setWidth(value());
        else if (line.startsWith(u"HEIGHT="))
            rect.setHeight(value());
    }
    return rect;
}

QImage Shot()
{
    const QImage screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
    return screen.copy(window_rect).convertToFormat(QImage::Format_RGB32);
}

constexpr QRgb Grey = 0xFF808080;
int toolbar_px = 40;

// The canvas inside the viewport: the box of everything that is not the
// viewport's grey, in window pixels, within the viewport's columns.
QRect Canvas(const QImage &shot, int viewportWidth)
{
    int left = INT_MAX, right = -1, top = INT_MAX, bottom = -1;
    for (int y = toolbar_px; y < shot.height(); ++y)
        for (int x = 0; x < std::min(viewportWidth, shot.width()); ++x)
            if (shot.pixel(x, y) != Grey) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

int Dark_Pixels(const QImage &shot)
{
    int dark = 0;
    for (int y = toolbar_px; y < shot.height(); y += 2)
        for (int x = 0; x < shot.width(); x += 2)
            dark += qGray(shot.pixel(x, y)) < 60;
    return dark;
}

// Where the toolbar shows image `number`: its non-silver pixels match exactly.
std::optional<QPoint> Find_Button(const QImage &shot, int number)
{
    static const char *const files[] = {"", "01-new", "02-open", "03-save", "04-pdf", "05-edit", "06-help",
                                        "07-zoom100", "08-fitwidth", "09-fitpage", "10-prev", "11-next",
                                        "12-exit"};
    const QImage icon =
        QImage(QStringLiteral(":/assets/toolbar-%1.png").arg(QLatin1String(files[number]))).convertToFormat(QImage::Format_RGB32);
    const QRgb silver = qRgb(192, 192, 192);
    for (int y = 0; y + 16 <= toolbar_px; ++y)
        for (int x = 0; x + 16 <= shot.width(); ++x) {
            bool same = true;
            for (int j = 0; j < 16 && same; ++j)
                for (int i = 0; i < 16 && same; ++i) {
                    const QRgb want = icon.pixel(i, j);
                    same = (want & 0xFFFFFF) == (silver & 0xFFFFFF) || shot.pixel(x + i, y + j) == want;
                }
            if (same)
                return QPoint(x + 8, y + 8);
        }
    return std::nullopt;
}

void Click_Button(int number, const QString &caption)
{
    const std::optional<QPoint> at = Find_Button(Shot(), number);
    if (!at)
        Give_Up(QStringLiteral("the button %1 is not on the toolbar").arg(caption));
    const QPoint p = window_rect.topLeft() + *at;
    Run({"xdotool", "mousemove", QString::number(p.x()), QString::number(p.y()), "click", "1"});
}

void Resize_Window(int width, int height)
{
    Run({"xdotool", "windowsize", window_id, QString::number(width), QString::number(height)});
    if (!Wait_For([&] { return Geometry().size() == QSize(width, height); }))
        Give_Up(QStringLiteral("the window did not take %1 x %2").arg(width).arg(height));
    window_rect = Geometry();
}

// Expected canvas of a layout with no scroll bar, in window pixels.
QRect Expected_Canvas(int clientWidth, int clientHeight, bool fitPage)
{
    const Single W = Single(Tw(clientWidth));
    const Single H = Single(Tw(clientHeight - toolbar_px));
    Single zoom = 1;
    if (fitPage) {
        const Single a = (W - 20) / Single(11880);
        const Single b = (H - 20) / Single(14600);
        zoom = b > a ? (W - 20) / Single(11880) : (H - 20) / Single(14760);
    }
    const int width = Px(CInt(Single(11880) * zoom));
    const int height = Px(CInt(Single(14760) * zoom));
    const Single canvasWidth = Single(Tw(width));
    const int left = W - 20 > canvasWidth ? Px(W / 2 - canvasWidth / 2) : 0;
    return QRect(left, toolbar_px, width, height);
}

QString Str(const QRect &r)
{
    return QStringLiteral("(%1,%2 %3x%4)").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

// The command line as a user meets it: --help and --version on stdout with
// status 0, with or without a display; an unknown option refused; and without
// a display one line that says so and how to get one, not Qt's abort.
void Check_Command_Line(const QString &quorvel)
{
    struct Case {
        QStringList args;
        bool display;
        int status;
        const char *out, *err;
    };
    const Case cases[] = {
        {{"--help"}, true, 0, "--version", ""},
        {{"--version"}, true, 0, "quorvel " QUORVEL_VERSION "\n", ""},
        {{"--version"}, false, 0, "quorvel " QUORVEL_VERSION "\n", ""},
        {{"--frobnicate"}, true, 1, "", "frobnicate"},
        {{}, false, 1, "", "no display"},
        {{"-platform", "xcb"}, false, 1, "", "./scripts/run"},
    };
    for (const Case &c : cases) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!c.display)
            env.remove(QStringLiteral("DISPLAY"));
        process.setProcessEnvironment(env);
        process.start(quorvel, c.args);
        const bool ended = process.waitForFinished(10000);
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        const QString err = QString::fromUtf8(process.readAllStandardError());
        Check(ended && process.exitStatus() == QProcess::NormalExit && process.exitCode() == c.status &&
                  out.contains(QLatin1String(c.out)) && err.contains(QLatin1String(c.err)) &&
                  (c.status != 1 || c.display || err.count(u'\n') == 1),
              QStringLiteral("quorvel %1%2: status %3, stdout '%4', stderr '%5'")
                  .arg(c.args.join(u' '), c.display ? QString() : QStringLiteral(" without a display"))
                  .arg(process.exitCode()).arg(out.left(60), err.trimmed()));
        if (!ended)
            process.kill(), process.waitForFinished();
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc < 2)
        Give_Up(QStringLiteral("usage: test_window_e2e QUORVEL [SCREENSHOT.png]"));
    tpp = Single(1440.0 / QGuiApplication::primaryScreen()->logicalDotsPerInchY());
    toolbar_px = Px(600);
    Check_Command_Line(QString::fromLocal8Bit(argv[1]));

    QProcess quorvel;
    quorvel.setProcessChannelMode(QProcess::ForwardedChannels);
    quorvel.start(QString::fromLocal8Bit(argv[1]), {});
    if (!quorvel.waitForStarted())
        Give_Up(QStringLiteral("quorvel did not start"));

    // The window, as soon as it is mapped.
    window_id = Run({"xdotool", "search", "--sync", "--onlyvisible", "--name", "^Quorvel$"}, 15000).section(u'\n', 0, 0);
    if (window_id.isEmpty())
        Give_Up(QStringLiteral("no window named Quorvel appeared"));
    window_rect = Geometry();
    Check(window_rect.size() == QSize(Px(9765), Px(6285)),
          QStringLiteral("the client area starts at 9765 x 6285 twips: %1").arg(Str(window_rect)));

    // The first drawing: the form's rules and text appear in the viewport.
    Check(Wait_For([] { return Dark_Pixels(Shot()) > 500; }), QStringLiteral("the page is drawn after start-up"));

    // At fit page the whole page is in view, centred, and no bar shows.
    Resize_Window(900, 800);
    Click_Button(9, QStringLiteral("Fit Pg"));
    const QRect fitted = Expected_Canvas(900, 800, true);
    QRect seen;
    bool ok = Wait_For([&] { return (seen = Canvas(Shot(), 900)) == fitted; }, 5000);
    Check(ok, QStringLiteral("fit page shows the page at %1: %2").arg(Str(fitted), Str(seen)));
    Check(seen.bottom() < 800 && seen.right() < 900 && seen.left() > 0,
          QStringLiteral("the whole page is inside the viewport"));
    {
        const QImage shot = Shot();
        Check(std::abs(seen.left() - (899 - seen.right())) <= 1, QStringLiteral("the page is centred"));
        Check(shot.pixel(899, 400) == Grey && shot.pixel(450, 799) == Grey, QStringLiteral("no scroll bar at fit page"));
        if (argc > 2)
            Check(shot.save(QString::fromLocal8Bit(argv[2])), QStringLiteral("screenshot saved to %1").arg(argv[2]));
    }

    // 100 % on a wide window exactly a page high: centred, no bar (the
    // height test is strict).
    Resize_Window(1100, toolbar_px + 984);
    Click_Button(7, QStringLiteral("100%"));
    const QRect full = Expected_Canvas(1100, toolbar_px + 984, false);
    ok = Wait_For([&] { return (seen = Canvas(Shot(), 1100)) == full; }, 5000);
    Check(ok, QStringLiteral("100 % on a wide window centres the page at %1: %2").arg(Str(full), Str(seen)));

    // Fit width: the page fills the narrowed viewport from its left edge,
    // with the vertical bar beside it.
    Click_Button(8, QStringLiteral("Fit Wd"));
    const int barPx = Px(250);
    const int viewportPx = Px(Tw(1100) - Tw(barPx) - 6);
    const int canvasPx = Px(CInt(Single(11880) * ((Single(Tw(viewportPx)) - 20) / Single(11880))));
    ok = Wait_For([&] { seen = Canvas(Shot(), viewportPx); return seen.left() == 0 && seen.width() == canvasPx; }, 5000);
    Check(ok, QStringLiteral("fit width: the page is %1 px wide from the left edge: %2").arg(canvasPx).arg(Str(seen)));
    Check(Shot().pixel(viewportPx + barPx / 2, toolbar_px + 200) != Grey, QStringLiteral("the vertical bar shows"));

    // One notch of the wheel over the page moves it up by SmallChange and no more.
    const QImage before = Shot();
    const QPoint over = window_rect.topLeft() + QPoint(viewportPx / 2, toolbar_px + 300);
    Run({"xdotool", "mousemove", QString::number(over.x()), QString::number(over.y()), "click", "5"});
    const int step = Px(std::floor(Tw(984) * 0.1));
    const auto moved = [&](const QImage &after) {
        for (int y = toolbar_px + 20; y < toolbar_px + 600; y += 7)
            for (int x = 0; x < viewportPx; x += 3)
                if (after.pixel(x, y) != before.pixel(x, y + step))
                    return false;
        return true;
    };
    Check(Wait_For([&] { return moved(Shot()); }, 5000),
          QStringLiteral("the wheel scrolls the page by %1 px").arg(step));

    // "Exit" ends the program.
    Click_Button(12, QStringLiteral("Exit"));
    const bool ended = quorvel.waitForFinished(5000);
    Check(ended && quorvel.exitStatus() == QProcess::NormalExit && quorvel.exitCode() == 0,
          QStringLiteral("Exit ends the program"));
    if (!ended) {
        quorvel.kill();
        quorvel.waitForFinished();
    }

    std::printf("%d passed, %d failed\n", failures ? 0 : 1, failures ? 1 : 0);
    return failures ? 1 : 0;
}
