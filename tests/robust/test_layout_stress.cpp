// The window's layout under a long random session: 2,000 window sizes from
// one pixel to 8K, zoom-mode clicks in random order, the page box and
// scrolling in between (fixed seed, so a failure can be replayed). After
// every step the drawn canvas matches the zoom, the zoom stays within the
// cap, and the page was redrawn only when the zoom changed or the page box
// asked for it. Nothing may reach stderr: no abandoned event, no Qt warning.
#include "captured_stderr.h"
#include "app/window_fixture.h"

#include "page_build.h"

#include <QRandomGenerator>
#include <QTemporaryFile>

#include <cmath>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr int Steps = 2000;
constexpr quint32 Seed = 20261206;
constexpr int Widest = 7680, Tallest = 4320; // 8K

// Whole screen pixels of a length in twips, as the canvas takes them.
int Canvas_Pixels(Integer twips, Single perPixel)
{
    return std::max(1, int(Round_Half_Even(double(twips) / double(perPixel))));
}

// Sizes spread evenly over the orders of magnitude, so that tiny windows
// come up as often as huge ones.
int Log_Uniform(QRandomGenerator &random, int most)
{
    const double x = random.bounded(std::log(double(most) + 1));
    return std::clamp(int(std::exp(x)), 1, most);
}

} // namespace

class Test_Layout_Stress : public QObject {
    Q_OBJECT

private slots:
    void random_sizes_zooms_and_scrolling_keep_the_canvas_true()
    {
        QRandomGenerator random(Seed);
        static const char *const modes[] = {"100%", "Fit Wd", "Fit Pg"};
        const Qt::Key scroll_keys[] = {Qt::Key_PageDown, Qt::Key_End, Qt::Key_Right, Qt::Key_Home, Qt::Key_Down};

        Captured_Stderr captured;
        auto window = Started_Window();
        QString failure;

        // One user action, then the checks: the canvas and the zoom, and a
        // redraw exactly when the zoom changed (plus one when the page box asked).
        int step = 0;
        const auto act = [&](const QString &what, bool page_box, auto &&action) {
            if (!failure.isEmpty())
                return;
            const Single zoom_before = Zoom_Factor;
            const int calls_before = window->Build_Page_Calls;
            action();
            // Everything the action set off, also what that posted in turn.
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents();

            const auto fail = [&](const QString &why) {
                failure = QStringLiteral("step %1 (%2), zoom %3: %4").arg(step).arg(what).arg(double(Zoom_Factor)).arg(why);
            };
            const QSize expected(Canvas_Pixels(Scale_Value(Sheet_Width), Screen.TwipsPerPixelX),
                                 Canvas_Pixels(Scale_Value(Sheet_Height), Screen.TwipsPerPixelY));
            const QSize canvas = window->picPreview.Pixel_Size();
            const QSize shown = window->picPreview_Box.widget()->size();
            const int redraws = window->Build_Page_Calls - calls_before;
            const int due = int(Zoom_Factor != zoom_before) + int(page_box);
            // A window lower or narrower than the toolbar plus the margin
            // gives the fit modes a negative factor: the formulas allow it,
            // and the canvas is then one pixel. Only the cap is a limit.
            if (!(Zoom_Factor <= Zoom_Limit()))
                fail(QStringLiteral("zoom above the cap %1").arg(double(Zoom_Limit())));
            else if (canvas != expected)
                fail(QStringLiteral("canvas %1x%2, the zoom gives %3x%4")
                         .arg(canvas.width()).arg(canvas.height()).arg(expected.width()).arg(expected.height()));
            else if (shown != expected)
                fail(QStringLiteral("the shown canvas is %1x%2, the zoom gives %3x%4")
                         .arg(shown.width()).arg(shown.height()).arg(expected.width()).arg(expected.height()));
            else if (redraws != due)
                fail(QStringLiteral("%1 redraws, %2 due").arg(redraws).arg(due));
        };

        for (; step < Steps && failure.isEmpty(); ++step) {
            const QSize size(Log_Uniform(random, Widest), Log_Uniform(random, Tallest));
            act(QStringLiteral("size %1x%2").arg(size.width()).arg(size.height()), false,
                [&] { Set_Client(*window, size.width(), size.height()); });

            switch (random.bounded(4)) {
            case 0:
            case 1: {
                const char *mode = modes[random.bounded(3)];
                act(QLatin1String(mode), false, [&] { Button(*window, mode).action->trigger(); });
                break;
            }
            case 2: {
                const Qt::Key key = scroll_keys[random.bounded(int(std::size(scroll_keys)))];
                act(QStringLiteral("key %1").arg(int(key)), false,
                    [&] { QTest::keyClick(window->picWindow.widget(), key); });
                break;
            }
            default:
                act(QStringLiteral("page box"), true,
                    [&] { emit window->cboPage.box()->currentTextChanged(window->cboPage.Text()); });
                break;
            }
        }
        window.reset();
        const QString errors = captured.Release();
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QVERIFY2(errors.isEmpty(), qPrintable(QStringLiteral("stderr: ") + errors.left(2000)));
    }
};

QTEST_MAIN(Test_Layout_Stress)
#include "test_layout_stress.moc"
