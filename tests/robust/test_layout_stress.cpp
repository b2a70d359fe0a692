// The window's layout under a long random session (fixed seed, so a failure
// can be replayed): 2,000 window sizes from one pixel to 8K, spread evenly
// over the orders of magnitude, with zoom clicks, scrolling keys and the page
// box in between. After every step the canvas shown is the one the zoom
// gives, the zoom stays within its limit, the page was drawn again exactly
// when the zoom changed or the page box asked, and nothing reached stderr.
#include "captured_stderr.h"
#include "app/window_fixture.h"

#include "page_build.h"

#include <QComboBox>
#include <QRandomGenerator>

#include <cmath>

class Test_Layout_Stress : public QObject {
    Q_OBJECT

private slots:
    void random_session_keeps_the_canvas_true()
    {
        QRandomGenerator random(20261206);
        const auto any_size = [&random](int most) {
            return std::clamp(int(std::exp(random.bounded(std::log(most + 1.0)))), 1, most);
        };
        Captured_Stderr captured;
        auto window = Started_Window();
        for (int step = 0; step < 4000; ++step) {
            const Single zoom = Zoom_Factor;
            const int calls = window->Build_Page_Calls;
            // Every other step a new size; in between a key, the page box or a zoom button.
            const int action = step % 2 == 0 ? 0 : 1 + int(random.bounded(3));
            static const char *const modes[] = {"100%", "Fit Wd", "Fit Pg"};
            if (action == 0)
                Set_Client(*window, any_size(7680), any_size(4320));
            else if (action == 1)
                QTest::keyClick(window->picWindow.widget(), random.bounded(2) ? Qt::Key_End : Qt::Key_PageDown);
            else if (action == 2)
                emit window->cboPage.box()->currentTextChanged(window->cboPage.Text());
            else
                Button(*window, modes[random.bounded(3)]).action->trigger();
            QCoreApplication::processEvents();

            const QSize expected(std::max(1, Pixels_X(Scale_Value(Sheet_Width))),
                                 std::max(1, Pixels_Y(Scale_Value(Sheet_Height))));
            const QString where = QStringLiteral("step %1, zoom %2").arg(step).arg(double(Zoom_Factor));
            QVERIFY2(Zoom_Factor <= Zoom_Limit(), qPrintable(where));
            QVERIFY2(window->picPreview.Pixel_Size() == expected, qPrintable(where));
            QVERIFY2(window->picPreview_Box.widget()->size() == expected, qPrintable(where));
            QVERIFY2(window->Build_Page_Calls - calls == int(Zoom_Factor != zoom) + int(action == 2), qPrintable(where));
        }
        window.reset();
        const QString errors = captured.Release();
        QVERIFY2(errors.isEmpty(), qPrintable(errors.left(2000)));
    }
};

QTEST_MAIN(Test_Layout_Stress)
#include "test_layout_stress.moc"
