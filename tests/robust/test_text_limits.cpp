// Draw_Text at the edges the fuzzer explores, pinned down as plain cases:
// the font sizes a surface refuses (380) or that overflow on the way (6), on
// both targets and on the real canvas, and texts around the length at which
// the position counters overflow.
#include "error_of.h"
#include "preview_surface.h"
#include "recording_surface.h"
#include "support_routines.h"

#include <QTest>

#include <limits>

namespace {

void Text(const QString &text, Single size)
{
    Draw_Text(text, 0, 0, 0, QString(), QString(), QString(), size, true, false, false);
}

constexpr Single NaN = std::numeric_limits<Single>::quiet_NaN();
constexpr Single Infinity = std::numeric_limits<Single>::infinity();

} // namespace

class Test_Text_Limits : public QObject {
    Q_OBJECT

private slots:
    void init() { Screen = Screen_Metrics{}; }
    void cleanup() { OutputTarget = nullptr; }

    void font_size_limits_data()
    {
        QTest::addColumn<bool>("printer");
        QTest::addColumn<float>("zoom");
        QTest::addColumn<float>("size");
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("fontSize"); // the FontSize call, when made

        // The printer takes the size as it is: (0, 2160] points, 0 meaning 8.
        QTest::newRow("printer 0 is 8") << true << 1.0f << 0.0f << 0 << "FontSize 8";
        QTest::newRow("printer tiny") << true << 1.0f << 0.01f << 0 << "FontSize 0.00999999978";
        QTest::newRow("printer largest") << true << 1.0f << 2160.0f << 0 << "FontSize 2160";
        QTest::newRow("printer above largest") << true << 1.0f << 2160.5f << 380 << "FontSize 2160.5";
        QTest::newRow("printer negative") << true << 1.0f << -0.5f << 380 << "FontSize -0.5";
        QTest::newRow("printer infinite") << true << 1.0f << Infinity << 380 << "FontSize inf";
        QTest::newRow("printer NaN") << true << 1.0f << NaN << 380 << "FontSize nan";
        // The preview rounds, then scales: below one point half way it is
        // Scale_Value(0) = 1; a negative size stays negative and is refused;
        // a size with no Integer overflows before the surface sees it.
        QTest::newRow("preview tiny") << false << 1.0f << 0.4f << 0 << "FontSize 1";
        QTest::newRow("preview negative") << false << 1.0f << -1.0f << 380 << "FontSize -1";
        QTest::newRow("preview largest") << false << 1.0f << 2160.0f << 0 << "FontSize 2160";
        QTest::newRow("preview largest zoomed past it") << false << 1.01f << 2160.0f << 380 << "FontSize 2182";
        QTest::newRow("preview huge") << false << 1.0f << 1e9f << 6 << "";
        QTest::newRow("preview NaN") << false << 1.0f << NaN << 6 << "";
    }

    void font_size_limits()
    {
        QFETCH(bool, printer);
        QFETCH(float, zoom);
        QFETCH(float, size);
        QFETCH(int, error);
        QFETCH(QString, fontSize);

        Recording_Surface surface(printer);
        OutputTarget = &surface;
        Zoom_Factor = zoom;
        QCOMPARE(Error_Of([size] { Text(QStringLiteral("Wg"), size); }), error);
        // The face and the styles are set before the size is tried.
        QVERIFY(surface.Calls().contains("FontName Arial"));
        QVERIFY(surface.Calls().contains("FontBold 1"));
        QCOMPARE(surface.Calls_Of("FontSize"), fontSize.isEmpty() ? QStringList() : QStringList{fontSize});
        QCOMPARE(surface.Calls_Of("Print").size(), error ? 0 : 1);
    }

    void canvas_draws_the_largest_size_and_nothing_for_a_refused_one()
    {
        for (qreal ratio : {1.0, 2.0}) {
            Preview_Surface canvas;
            canvas.Set_Device_Pixel_Ratio(ratio);
            canvas.Set_Width(12000); // 800 screen pixels
            canvas.Set_Height(12000);
            OutputTarget = &canvas;
            Zoom_Factor = 1;

            // 2880 screen pixels high: the top of the W's strokes shows in
            // the canvas, the rest lies past its edges.
            Text(QStringLiteral("W"), 2160);
            const QImage drawn = canvas.Image();
            int dark = 0;
            for (int y = 0; y < drawn.height(); y += 4)
                for (int x = 0; x < drawn.width(); x += 4)
                    dark += qGray(drawn.pixel(x, y)) < 64;
            QVERIFY2(dark > 100, qPrintable(QString::number(dark)));
            const quint64 generation = canvas.Generation();

            Zoom_Factor = 2;
            QCOMPARE(Error_Of([] { Text(QStringLiteral("W"), 2160); }), int(Err_Invalid_Property_Value));
            QCOMPARE(canvas.Generation(), generation);
        }
    }

    void length_at_the_counters_limit_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("error");
        QTest::addColumn<int>("printed");

        // Char_Pos steps past the end of the last line; the step after 32767
        // overflows. So 32765 characters is the longest text that ends
        // cleanly; at 32766 its line is printed before the error, and from
        // 32767 on the error comes before any line.
        QTest::newRow("32765") << 32765 << 0 << 1;
        QTest::newRow("32766") << 32766 << 6 << 1;
        QTest::newRow("32767") << 32767 << 6 << 0;
        QTest::newRow("40000") << 40000 << 6 << 0;
    }

    void length_at_the_counters_limit()
    {
        QFETCH(int, length);
        QFETCH(int, error);
        QFETCH(int, printed);

        for (bool printer : {true, false}) {
            Recording_Surface surface(printer);
            OutputTarget = &surface;
            Zoom_Factor = 1;
            QString text(length, u'x');
            text[3] = u' '; // a space is no line break
            QCOMPARE(Error_Of([&text] { Text(text, 8); }), error);
            QCOMPARE(surface.Calls_Of("Print").size(), printed);
        }
    }
};

QTEST_MAIN(Test_Text_Limits)
#include "test_text_limits.moc"
