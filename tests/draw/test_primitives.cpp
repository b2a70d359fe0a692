// The numeric rules and the four primitives, as one table of small scripts
// run against the recording surface. Each row names the target, the zoom, a
// script of calls separated by '; ' (arguments by '|') and what the
// surface was asked, with the values the calls returned ("= n") and the
// run-time error that ended the script ("error n"). A fourth column, when
// set, keeps only the calls that start with one of its words.
#include "draw_script.h"
#include "recording_surface.h"

#include <QTest>

#include <algorithm>

class Test_Primitives : public QObject {
    Q_OBJECT

private slots:
    void scripts_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<float>("zoom");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("keep");
        const auto row = [](const char *name, const char *target, float zoom, const char *script,
                            const char *expected, const char *keep = "") {
            QTest::newRow(name) << QString(target) << zoom << QString(script) << QString(expected) << QString(keep);
        };

        // Rounding: halves to the even neighbour, in range or an overflow.
        row("halves to even", "printer", 1, "cint|2.5; cint|3.5; cint|-2.5; cint|-3.5; cint|0.5; cint|1.5",
            "= 2; = 4; = -2; = -4; = 0; = 2");
        row("near halves", "printer", 1, "cint|2.4999; cint|2.5001; cint|-0.4; cint|32767.4; cint|-32768.5",
            "= 2; = 3; = 0; = 32767; = -32768");
        for (const char *value : {"32767.5", "32768", "-32768.51", "1e12", "nan", "inf", "-inf"})
            row(qPrintable(QStringLiteral("overflow at %1").arg(value)), "printer", 1,
                qPrintable(QStringLiteral("cint|%1").arg(value)), "error 6");
        row("sums in range", "printer", 1, "add|32766|1; sub|-32767|1; add|31427|1340", "= 32767; = -32768; = 32767");
        row("sum above", "printer", 1, "add|32767|1", "error 6");
        row("difference below", "printer", 1, "sub|-32768|1", "error 6");
        row("negated bound", "printer", 1, "sub|0|-32768", "error 6");
        row("colours", "printer", 1, "rgb|200|200|200; rgb|255|0|0; rgb|0|0|255; rgb|1|2|3",
            "= 13158600; = 255; = 16711680; = 197121");

        // Scale_Value: a Single product rounded halves to even, never 0.
        row("scale at 0.4", "preview", 0.4f, "scale|0; scale|1; scale|-1; scale|3", "= 1; = 1; = 1; = 1");
        row("scale at 0.5", "preview", 0.5f, "scale|5; scale|7; scale|-5", "= 2; = 4; = -2");
        row("scale at 2", "preview", 2, "scale|0; scale|16383", "= 1; = 32766");
        row("scale past the range", "preview", 2, "scale|16384", "error 6");
        row("scale at the zoom limit", "preview", 2.22002f, "scale|14760", "= 32767");
        row("scale above the zoom limit", "preview", 2.2201f, "scale|14760", "error 6");

        // Lines: offsets on both targets, scaling and screen-pixel pens on the
        // preview (the page's rules on paper and at 100 % are in its reference calls).
        row("line on screen at half size", "preview", 0.5f, "line|0|1520|3680|1520|4|2|255",
            "DrawWidth 1; DrawStyle 2; Line 670 800 2510 800 255 segment");
        row("negative positions", "printer", 1, "line|-1340|-80|0|0|1|0|0", "Line 0 0 1340 80 0 segment", "Line");
        row("largest offset position", "printer", 1, "line|31427|32687|0|0|4|0|0", "Line 32767 32767 1340 80 0 segment",
            "Line");
        row("pens in screen pixels", "preview", 1,
            "line|0|0|1|1|4|0|0; line|0|0|1|1|30|0|0; line|0|0|1|1|0|0|0; line|0|0|1|1|37|0|0; line|0|0|1|1|53|0|0",
            "DrawWidth 1; DrawWidth 2; DrawWidth 1; DrawWidth 2; DrawWidth 4", "DrawWidth");
        row("pens zoomed in", "preview", 2, "line|0|0|1|1|4|0|0; line|0|0|1|1|30|0|0", "DrawWidth 1; DrawWidth 4",
            "DrawWidth");
        row("pen from the mean of both axes", "preview", 1, "screen|10|20; line|0|0|1|1|30|0|0; screen|15|15",
            "DrawWidth 2", "DrawWidth");
        // An overflow stops a primitive before it sets anything.
        row("x past the offset", "printer", 1, "line|31428|0|0|0|4|0|0", "error 6");
        row("y past the offset", "preview", 1, "line|0|0|0|32688|4|0|0", "error 6");
        row("box past the offset", "printer", 1, "box|0|0|31428|0|4|0|0|0", "error 6");
        row("picture past the offset", "printer", 1, "picture|76|0|32688|1|1", "error 6");
        row("scaled past the range", "preview", 2, "line|0|0|20000|0|4|0|0", "error 6");
        // The surface refuses pens below one pixel and unknown styles.
        row("zero pen on paper", "printer", 1, "line|0|0|10|10|0|0|0", "DrawWidth 0; error 380");
        row("negative box pen on paper", "printer", 1, "box|0|0|10|10|-1|0|0|0", "DrawWidth -1; error 380");
        row("pen style 7", "printer", 1, "drawstyle|7", "DrawStyle 7; error 380");
        row("fill style 8", "printer", 1, "fillstyle|8", "FillStyle 8; error 380");

        // Boxes (a zero width hides the border on paper only: the page's
        // grey bands in its reference calls).
        row("box keeps the last pen style", "printer", 1, "line|0|0|10|0|1|2|0; box|0|0|100|100|1|0|0|7",
            "DrawStyle 2; FillStyle 7", "DrawStyle FillStyle");

        // Text: the font first, then the place by the alignment, then each line.
        row("centred on screen, half size", "preview", 0.5f, "text|ABCD|0|0|0|Center|||8|1|0|0",
            "FontName Arial; FontBold 1; FontItalic 0; FontUnderline 0; FontSize 4; TextWidth ABCD; "
            "CurrentX 570; CurrentY 40; TextWidth ABCD; Print ABCD; CurrentX 570; CurrentY 155");
        row("alignment keywords in any case", "printer", 1,
            "text|ABCD|0|0|0|center|||0|0|0|0; text|ABCD|0|0|0|CENTER|||0|0|0|0; text|ABCD|0|0|0| center|||0|0|0|0",
            "CurrentX 1140; CurrentX 1140; CurrentX 1140; CurrentX 1140; CurrentX 1340; CurrentX 1340", "CurrentX");
        // At 7 points a character is 87.5 wide: places round, halves to even.
        row("placed to the nearest unit", "printer", 1, "text|ABC|0|0|0|center|||7|0|0|0",
            "CurrentX 1209; CurrentX 1209", "CurrentX");
        row("half units to even", "printer", 1, "text|A|0|0|0|right|||7|0|0|0; text|A|1|0|0|right|||7|0|0|0",
            "CurrentX 1252; CurrentX 1252; CurrentX 1254; CurrentX 1254", "CurrentX");
        row("bottom and centre", "printer", 1, "text|A|0|1000|0||bottom||0|0|0|0; text|A\rB|0|1000|0||Center||0|0|0|0",
            "CurrentY 880; CurrentY 1110; CurrentY 880; CurrentY 1110; CurrentY 1340", "CurrentY");
        row("block placed by its widest line", "printer", 1, "text|AB\rABCD|2660|0|0|right|||0|0|0|0",
            "CurrentX 3600; Print AB; CurrentX 3600; Print ABCD; CurrentX 3600", "CurrentX Print");
        row("face and size given", "printer", 1, "text|A|0|0|0|||Courier|7.5|0|1|1",
            "FontName Courier; FontBold 0; FontItalic 1; FontUnderline 1; FontSize 7.5", "Font");
        row("screen sizes rounded, then scaled", "preview", 1, "size|7.5; size|6.5; size|0.4; size|0",
            "FontSize 8; FontSize 6; FontSize 1; FontSize 8", "FontSize");
        row("screen sizes at half size", "preview", 0.5f, "size|7; size|7.5", "FontSize 4; FontSize 4", "FontSize");
        row("screen default size at 2", "preview", 2, "size|0; size|1", "FontSize 16; FontSize 2", "FontSize");
        row("lines advance by the scaled pitch", "preview", 0.5f, "text|A\rB|0|0|0|||Arial|8|0|0|0",
            "CurrentY 40; CurrentY 155; CurrentY 270", "CurrentY");
        row("overflow keeps the font set", "printer", 1, "text|A|31428|0|0|||Courier|10|1|0|0",
            "FontName Courier; FontBold 1; FontItalic 0; FontUnderline 0; error 6");
        row("advance past the range after the line", "printer", 1, "text|A\rB|0|32458|0|||||0|0|0",
            "Print A; error 6", "Print");
        row("last line at the range", "printer", 1, "text|A|0|32457|0|||||0|0|0", "Print A", "Print");
        // Font sizes the surfaces take, refuse (380) or that overflow (6) on the way.
        row("paper sizes as given", "printer", 1, "size|0.01; size|2160; size|0", "FontSize 0.00999999978; FontSize 2160; FontSize 8",
            "FontSize");
        for (const char *size : {"2160.5", "-0.5", "nan"})
            row(size, "printer", 1, qPrintable(QStringLiteral("size|") + size),
                qPrintable(QStringLiteral("FontSize %1; error 380").arg(size)), "FontSize");
        row("screen negative size", "preview", 1, "size|-1", "FontSize -1; error 380", "FontSize");
        row("screen largest zoomed past it", "preview", 1.01f, "size|2160", "FontSize 2182; error 380", "FontSize");
        row("screen size with no Integer", "preview", 1, "size|1e9", "error 6", "FontSize");

        // Lines split at carriage returns; a space or line feed after one is skipped.
        row("lines", "printer", 1, "t|ONE; t|A\r\nB; t|A\r\rB; t|AB\r; t|A\r B; t|A\r  B; t|A\nB; t|\rA",
            "Print ONE; Print A; Print B; Print A; Print ; Print B; Print AB\r; Print A; Print B; Print A; Print  B; "
            "Print A\nB; Print ; Print A", "Print");
        row("empty", "printer", 1, "t|", "CurrentX 1340; CurrentY 80", "Print Current");
        row("three lines, three pitches", "printer", 1, "t|A\rB\rC", "CurrentY 80; CurrentY 310; CurrentY 540; CurrentY 770",
            "CurrentY");
        // Wrapping: greedy at spaces, the kept part strictly narrower ("one two " is 800 wide).
        row("third word wraps", "printer", 1, "t|one two three|900; state", "Print one two; Print three; = 15 14 8",
            "Print");
        row("exactly as wide, strictly narrower", "printer", 1, "t|one two|700; t|one two three|800",
            "Print one two; Print one; Print two; Print three", "Print");
        row("long words stay whole", "printer", 1, "t|abcdefghij|300; t|ab abcdefghij|500; t| abcdef|300",
            "Print abcdefghij; Print ab; Print abcdefghij; Print  abcdef", "Print");
        row("every line and paragraph tested", "printer", 1, "t|aa bb cc dd|700; t|aa  bb|400; t|aa bb\rcc dd|400",
            "Print aa bb; Print cc dd; Print aa; Print bb; Print aa; Print bb; Print cc; Print dd", "Print");
        row("zero wrap on screen", "preview", 1, "t|ab cd ef", "Print ab cd ef", "Print");
        row("wrap scaled on screen", "preview", 0.5f, "text|one two three|0|0|1800|||Arial|16|0|0|0",
            "Print one two; Print three", "Print");
        // The position counters overflow on texts near 32767 characters.
        row("longest clean text", "printer", 1, "long|32765", "Print", "Print");
        row("printed, then overflow", "preview", 1, "long|32766", "Print; error 6", "Print");
        row("overflow before any line", "printer", 1, "long|32767", "error 6", "Print");

        // Pictures: scaled on the preview, a failing one left out.
        row("picture on screen", "preview", 0.5f, "picture|76|2000|10|790|790", "PaintPicture 76x75 1670 45 395 395");
        row("zero-sized picture", "printer", 1, "picture|76|0|0|0|0", "PaintPicture 76x75 1340 80 1 1");
        row("picture that cannot be painted", "printer", 1, "picture|0|2000|10|790|790", "");
    }

    void scripts()
    {
        QFETCH(QString, target);
        QFETCH(float, zoom);
        QFETCH(QString, script);
        QFETCH(QString, expected);
        QFETCH(QString, keep);

        Recording_Surface surface(target == u"printer");
        const Drawing_Scope scope(surface, zoom);
        QStringList log = surface.Calls() + Run_Script(script);
        const QStringList words = keep.split(u' ', Qt::SkipEmptyParts);
        if (!words.isEmpty())
            log.removeIf([&](const QString &entry) {
                return !entry.startsWith(u"error") && !entry.startsWith(u"=")
                       && std::none_of(words.cbegin(), words.cend(),
                                       [&](const QString &word) { return entry.startsWith(word); });
            });
        // Long texts are logged by their first line's start only.
        for (QString &entry : log)
            if (entry.startsWith(QStringLiteral("Print xxx")))
                entry = QStringLiteral("Print");
        log.removeAll(QString());
        QCOMPARE(log.join(QStringLiteral("; ")), expected);
    }
};

QTEST_APPLESS_MAIN(Test_Primitives)
#include "test_primitives.moc"
