// Texts the Draw_Text fuzzer found faults with, drawn on the real canvas.
// Each must be drawn without a word from Qt. The faults were reads past the
// end of Qt's own arrays (QStaticText, underlined), which only memcheck sees
// reliably: the test "test_text_regressions_valgrind" runs this program
// under it as well.
#include "preview_surface.h"
#include "support_routines.h"

#include <QTest>

namespace {

QStringList Messages;

void Keep_Message(QtMsgType, const QMessageLogContext &, const QString &message)
{
    Messages.append(message);
}

} // namespace

class Test_Text_Regressions : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { qInstallMessageHandler(Keep_Message); }
    void cleanupTestCase() { qInstallMessageHandler(nullptr); }

    void underlined_texts_the_fuzzer_found_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("underline");
        QTest::addColumn<qreal>("ratio");

        // Found as a line feed, a Hebrew letter and two NULs, 48 points,
        // underlined, at device pixel ratio 2: Qt 6.4 underlined the text
        // as QStaticText had laid it out around the line feed and read past
        // its glyph arrays ("load glyph failed" with a glyph from nowhere).
        QTest::newRow("as found") << QString::fromUtf16(u"\n\u05dc\0\0", 4) << true << qreal(2);
        QTest::newRow("ratio 1") << QStringLiteral("\n\u05dc") << true << qreal(1);
        QTest::newRow("letter first") << QStringLiteral("\u05dc\n") << true << qreal(2);
        QTest::newRow("two line feeds") << QStringLiteral("\n\n\u05dc") << true << qreal(2);
        QTest::newRow("arabic") << QStringLiteral("\n\u0644") << true << qreal(2);
        QTest::newRow("paragraph separator") << QStringLiteral("\u2029\u05dc") << true << qreal(2);
        // Found as a line of nothing but a carriage return (the last
        // character of a text is printed, even a carriage return), underlined:
        // Qt underlined a laid-out line with no glyphs at all.
        QTest::newRow("lone carriage return") << QStringLiteral("\r") << true << qreal(1);
        QTest::newRow("lone carriage return, ratio 2") << QStringLiteral("\r") << true << qreal(2);
        QTest::newRow("not underlined") << QStringLiteral("\n\u05dc") << false << qreal(2);
        QTest::newRow("left to right") << QStringLiteral("\nAB") << true << qreal(2);
    }

    void underlined_texts_the_fuzzer_found()
    {
        QFETCH(QString, text);
        QFETCH(bool, underline);
        QFETCH(qreal, ratio);

        Screen = Screen_Metrics{};
        Preview_Surface canvas;
        canvas.Set_Device_Pixel_Ratio(ratio);
        canvas.Set_Width(3000);
        canvas.Set_Height(1500);
        OutputTarget = &canvas;
        Zoom_Factor = 1;
        Messages.clear();

        Draw_Text(text, 0, 0, 0, QString(), QString(), QString(), 48, false, false, underline);
        const QImage drawn = canvas.Image();
        OutputTarget = nullptr;

        QVERIFY2(Messages.isEmpty(), qPrintable(Messages.join(u'\n')));
        int dark = 0;
        for (int y = 0; y < drawn.height(); ++y)
            for (int x = 0; x < drawn.width(); ++x)
                dark += qGray(drawn.pixel(x, y)) < 128;
        // The letters and the underline; a lone carriage return has only
        // the underline of its (empty) advance, or nothing.
        if (text != QLatin1String("\r"))
            QVERIFY2(dark > 50, qPrintable(QStringLiteral("%1 dark pixels").arg(dark)));
    }
};

QTEST_MAIN(Test_Text_Regressions)
#include "test_text_regressions.moc"
