// The real program on a real X display (Xvfb), as a person meets it: the
// window, driven with xdotool (buttons found on screen by their pictures, a
// key, the wheel, "Exit"), checked on screenshots. Its command line is
// test_viewer.sh's. The exact layout is the widget tests'
// business; this shows that clicks, keys and the wheel reach the real window
// and the page is on screen. Usage, with DISPLAY set (xvfb-run -a):
//   test_window_e2e QUORVEL [SCREENSHOT.png]
// SCREENSHOT, if given, receives the window at fit page.
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QThread>

#include <cstdio>
#include <functional>

namespace {

int failures = 0;

// How long anything that must come may take on a loaded machine: only a
// fault reaches it.
constexpr int Patience_Ms = 60000;

bool Check(bool ok, const QString &what)
{
    std::printf("%s: %s\n", ok ? "ok" : "FAIL", qPrintable(what));
    std::fflush(stdout);
    failures += !ok;
    return ok;
}

// What an xdotool command prints.
QString Run(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    if (!process.waitForFinished(Patience_Ms))
        process.kill(), process.waitForFinished();
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

bool Wait_For(const std::function<bool()> &done)
{
    const QDeadlineTimer deadline(Patience_Ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(30);
    }
    return true;
}

QString window_id;

QImage Shot()
{
    return QGuiApplication::primaryScreen()->grabWindow(window_id.toULongLong()).toImage().convertToFormat(QImage::Format_RGB32);
}

// The page on screen: the box of the paper's white below the toolbar.
QRect Page(const QImage &shot)
{
    QRect page;
    for (int y = 40; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            if (shot.pixel(x, y) == 0xFFFFFFFF)
                page |= QRect(x, y, 1, 1);
    return page;
}

int Ink(const QImage &shot)
{
    int dark = 0;
    for (int y = 40; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            dark += qGray(shot.pixel(x, y)) < 60;
    return dark;
}

// Clicks the toolbar button that shows toolbar image `file` (its non-silver pixels).
bool Click_Button(const char *file)
{
    const QImage icon = QImage(QStringLiteral(":/assets/toolbar-%1.png").arg(QLatin1String(file))).convertToFormat(QImage::Format_RGB32);
    QPoint at(-1, -1);
    const auto find = [&] {
        const QImage shot = Shot();
        for (int y = 0; y + 16 <= 40; ++y)
            for (int x = 0; x + 16 <= shot.width(); ++x) {
                bool same = true;
                for (int j = 0; j < 16 && same; ++j)
                    for (int i = 0; i < 16 && same; ++i)
                        same = icon.pixel(i, j) == qRgb(192, 192, 192) || shot.pixel(x + i, y + j) == icon.pixel(i, j);
                if (same)
                    return at = QPoint(x + 8, y + 8), true;
            }
        return false;
    };
    // The toolbar may still be repainting after a resize.
    if (!Wait_For(find))
        return Check(false, QStringLiteral("the button %1 is on the toolbar").arg(file));
    Run({"mousemove", "--window", window_id, QString::number(at.x()), QString::number(at.y()), "click", "1"});
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc < 2)
        qFatal("usage: test_window_e2e QUORVEL [SCREENSHOT.png]");
    const QString quorvel = QString::fromLocal8Bit(argv[1]);

    QProcess viewer;
    viewer.setProcessChannelMode(QProcess::ForwardedChannels);
    viewer.start(quorvel, {});
    window_id = Run({"search", "--sync", "--onlyvisible", "--name", "^Quorvel$"}).section(u'\n', 0, 0);
    if (!Check(!window_id.isEmpty(), QStringLiteral("a window named Quorvel appears")))
        return 1;
    Check(Wait_For([] { return Ink(Shot()) > 2000; }), QStringLiteral("the page is drawn"));

    // "Fit Pg", clicked: the whole page in view with grey on both sides.
    Run({"windowsize", "--sync", window_id, "900", "800"});
    Click_Button("09-fitpage");
    QRect page;
    const bool fitted = Wait_For([&] { page = Page(Shot()); return page.height() < 760 && page.height() > 700; });
    Check(fitted, QStringLiteral("fit page shows the whole page: %1 px high").arg(page.height()));
    Check(page.left() > 50 && std::abs(page.left() - (899 - page.right())) <= 1, QStringLiteral("centred"));
    if (argc > 2)
        Shot().save(QString::fromLocal8Bit(argv[2]));

    // Ctrl+0, typed: back to 100 %; the wheel scrolls the page up.
    Run({"key", "ctrl+0"});
    Check(Wait_For([] { return Page(Shot()).width() == 792; }), QStringLiteral("Ctrl+0 shows the page at 100 %"));
    const QImage before = Shot();
    Run({"mousemove", "--window", window_id, "400", "300", "click", "5"});
    Check(Wait_For([&] { return Shot() != before && Page(Shot()).top() <= 42; /* 40, under the focus mark */ }), QStringLiteral("the wheel scrolls the page"));

    Click_Button("12-exit");
    Check(viewer.waitForFinished(Patience_Ms) && viewer.exitCode() == 0, QStringLiteral("\"Exit\" ends the program"));
    viewer.kill();

    std::printf("%s\n", failures ? "FAILED" : "PASSED");
    return failures ? 1 : 0;
}
