// The page on a high-density screen (run with QT_SCALE_FACTOR set, the
// ratio expected in QUORVEL_TEST_RATIO): the canvas is drawn at device
// resolution and shown one image pixel to one device pixel, never as a
// 1x bitmap scaled up.
#include "window_fixture.h"

#include <QPixmap>

#include <cmath>

class Test_Window_Hidpi : public QObject {
    Q_OBJECT

private slots:
    void canvas_has_device_pixels()
    {
        const qreal ratio = qEnvironmentVariable("QUORVEL_TEST_RATIO").toDouble();
        QVERIFY(ratio > 1);
        auto window = Started_Window();
        QCOMPARE(window->devicePixelRatioF(), ratio);
        QCOMPARE(window->picPreview.Device_Pixel_Ratio(), ratio);

        const QSize logical = window->picPreview.Pixel_Size();
        QCOMPARE(window->picPreview_Box.widget()->size(), logical);
        const QImage page = window->picPreview.Image().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(page.width(), int(std::ceil(logical.width() * ratio - 1e-9)));
        QCOMPARE(page.height(), int(std::ceil(logical.height() * ratio - 1e-9)));

        // What the widget paints is the image itself, pixel for pixel.
        const QImage shown = window->picPreview_Box.widget()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const int w = std::min(shown.width(), page.width()) - 1;
        const int h = std::min(shown.height(), page.height()) - 1;
        QVERIFY(w > logical.width() && h > logical.height());
        int differing = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                differing += shown.pixel(x, y) != page.pixel(x, y);
        QCOMPARE(differing, 0);

        // A hairline of the form is one device pixel thin, not a scaled-up pixel pair.
        int darkRun = 0, longest = 0;
        for (int y = 0; y < page.height(); ++y) {
            const bool dark = qGray(page.pixel(page.width() / 2, y)) < 100;
            darkRun = dark ? darkRun + 1 : 0;
            longest = std::max(longest, darkRun);
        }
        QVERIFY(longest > 0);
        if (ratio >= 2)
            QVERIFY2(longest < 2 * ratio, qPrintable(QString::number(longest)));
    }

    void captions_show_whole()
    {
        auto window = Started_Window();
        Verify_Captions_Whole(*window);
    }
};

QTEST_MAIN(Test_Window_Hidpi)
#include "test_window_hidpi.moc"
