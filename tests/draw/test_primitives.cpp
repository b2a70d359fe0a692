// The primitives against the recording surface: offsets, scaling, pen and
// font conversion, the order in which properties reach the surface, text
// splitting and wrapping, and where an overflow stops a call.
#include "error_of.h"
#include "recording_surface.h"
#include "support_routines.h"

#include <QTest>

namespace {


// Draw_Text with the arguments the form leaves at their defaults.
void Text(const QString &text, Integer x, Integer y, Integer wrap = 0, const QString &h = {}, const QString &v = {},
          Single size = 0)
{
    Draw_Text(text, x, y, wrap, h, v, QString(), size, false, false, false);
}

} // namespace

class Test_Primitives : public QObject {
    Q_OBJECT

    Recording_Surface printer{true};
    Recording_Surface preview{false};

    void Use(Recording_Surface &target, Single zoom)
    {
        target.Clear_Calls();
        OutputTarget = &target;
        Zoom_Factor = zoom;
    }

private slots:
    void init()
    {
        Screen = Screen_Metrics{};
        printer = Recording_Surface(true);
        preview = Recording_Surface(false);
    }

    void scale_value_rounds_and_never_returns_zero()
    {
        Zoom_Factor = 0.4f;
        QCOMPARE(int(Scale_Value(0)), 1);
        QCOMPARE(int(Scale_Value(1)), 1);
        QCOMPARE(int(Scale_Value(-1)), 1); // -0.4 rounds to 0
        Zoom_Factor = 0.5f;
        QCOMPARE(int(Scale_Value(5)), 2);
        QCOMPARE(int(Scale_Value(7)), 4);
        QCOMPARE(int(Scale_Value(-5)), -2);
        Zoom_Factor = 2;
        QCOMPARE(int(Scale_Value(0)), 1);
        QCOMPARE(int(Scale_Value(16383)), 32766);
        QCOMPARE(Error_Of([] { Scale_Value(16384); }), int(Err_Overflow));
        // The product is a Single: 14760 x 2.22002 is just below 32767.5.
        Zoom_Factor = 2.22002f;
        QCOMPARE(int(Scale_Value(14760)), 32767);
        Zoom_Factor = 2.2201f;
        QCOMPARE(Error_Of([] { Scale_Value(14760); }), int(Err_Overflow));
    }

    void line_is_offset_on_the_printer_and_scaled_on_the_preview()
    {
        Use(printer, 0.5f); // the printer ignores the zoom
        Draw_Line(1300, 1520, 3680, 1520, 4, 0, 0);
        QCOMPARE(printer.Calls(),
                 QStringList({"DrawWidth 4", "DrawStyle 0", "Line 2640 1600 5020 1600 0 segment"}));

        Use(preview, 1);
        Draw_Line(1300, 1520, 3680, 1520, 4, 0, 0);
        QCOMPARE(preview.Calls(),
                 QStringList({"DrawWidth 1", "DrawStyle 0", "Line 2640 1600 5020 1600 0 segment"}));

        Use(preview, 0.5f);
        Draw_Line(0, 1520, 3680, 1520, 4, 2, 255);
        QCOMPARE(preview.Calls(), QStringList({"DrawWidth 1", "DrawStyle 2", "Line 670 800 2510 800 255 segment"}));

        // Negative positions are valid: -1340 lands on the sheet's edge.
        Use(printer, 1);
        Draw_Line(-1340, -80, 0, 0, 1, 0, 0);
        QCOMPARE(printer.Calls_Of("Line"), QStringList({"Line 0 0 1340 80 0 segment"}));
        Use(preview, 0.5f);
        Draw_Line(-1340, -80, 0, 0, 1, 0, 0);
        QCOMPARE(preview.Calls_Of("Line"), QStringList({"Line 1 1 670 40 0 segment"}));
    }

    void pen_width_follows_screen_pixels_and_zoom_data()
    {
        QTest::addColumn<int>("lineWidth");
        QTest::addColumn<float>("zoom");
        QTest::addColumn<int>("pixels");
        QTest::newRow("4 at 1") << 4 << 1.0f << 1;
        QTest::newRow("4 at 2") << 4 << 2.0f << 1;
        QTest::newRow("4 at 0.5") << 4 << 0.5f << 1;
        QTest::newRow("30 at 1") << 30 << 1.0f << 2;
        QTest::newRow("30 at 0.5") << 30 << 0.5f << 1;
        QTest::newRow("30 at 2") << 30 << 2.0f << 4;
        QTest::newRow("0 at 1") << 0 << 1.0f << 1;
        QTest::newRow("37.5 twips is 2.5 px, even") << 37 << 1.0f << 2; // 37/15 = 2.47
        QTest::newRow("53 twips is 3.53 px") << 53 << 1.0f << 4;
    }
    void pen_width_follows_screen_pixels_and_zoom()
    {
        QFETCH(int, lineWidth);
        QFETCH(float, zoom);
        QFETCH(int, pixels);
        Use(preview, zoom);
        Draw_Line(0, 0, 10, 10, Integer(lineWidth), 0, 0);
        QCOMPARE(preview.DrawWidth(), Integer(pixels));
    }

    void pen_width_uses_the_mean_of_both_axes()
    {
        Screen = Screen_Metrics{10, 20}; // 30 / 15 = 2 pixels
        Use(preview, 1);
        Draw_Line(0, 0, 10, 10, 30, 0, 0);
        QCOMPARE(preview.DrawWidth(), Integer(2));
    }

    void offset_overflow_stops_before_any_property_is_set()
    {
        for (Recording_Surface *target : {&printer, &preview}) {
            Use(*target, 1);
            Draw_Line(31427, 32687, 0, 0, 4, 0, 0);
            QCOMPARE(target->Calls_Of("Line").size(), 1);

            Use(*target, 1);
            QCOMPARE(Error_Of([] { Draw_Line(31428, 0, 0, 0, 4, 0, 0); }), int(Err_Overflow));
            QCOMPARE(Error_Of([] { Draw_Line(0, 0, 0, 32688, 4, 0, 0); }), int(Err_Overflow));
            QCOMPARE(Error_Of([] { Draw_Box(0, 0, 31428, 0, 4, 0, 0, 0); }), int(Err_Overflow));
            QCOMPARE(Error_Of([] { Draw_Picture(QImage(1, 1, QImage::Format_RGB32), 0, 32688, 1, 1); }),
                     int(Err_Overflow));
            QCOMPARE(target->Calls(), QStringList());
        }
        // A scaled value beyond the range fails the same way, before any property.
        Use(preview, 2);
        QCOMPARE(Error_Of([] { Draw_Line(0, 0, 20000, 0, 4, 0, 0); }), int(Err_Overflow));
        QCOMPARE(preview.Calls(), QStringList());
    }

    void pen_width_below_one_is_rejected_by_the_surface()
    {
        Use(printer, 1);
        QCOMPARE(Error_Of([] { Draw_Line(0, 0, 10, 10, 0, 0, 0); }), int(Err_Invalid_Property_Value));
        QCOMPARE(printer.Calls_Of("Line"), QStringList());
        QCOMPARE(Error_Of([] { Draw_Box(0, 0, 10, 10, -1, 0, 0, 0); }), int(Err_Invalid_Property_Value));
        QCOMPARE(printer.Calls_Of("Line"), QStringList());
        QCOMPARE(Error_Of([this] { printer.Set_DrawStyle(7); }), int(Err_Invalid_Property_Value));
        QCOMPARE(Error_Of([this] { printer.Set_FillStyle(8); }), int(Err_Invalid_Property_Value));
    }

    void zero_width_box_hides_its_border_on_paper_only()
    {
        const Long grey = RGB(200, 200, 200);
        Use(printer, 1);
        Draw_Box(0, 3906, 9150, 4122, 0, 0, grey, 0);
        QCOMPARE(printer.Calls(), QStringList({"DrawWidth 1", "FillColor 13158600", "FillStyle 0",
                                               "Line 1340 3986 10490 4202 13158600 box"}));
        Use(preview, 1);
        Draw_Box(0, 3906, 9150, 4122, 0, 0, grey, 0);
        QCOMPARE(preview.Calls(), QStringList({"DrawWidth 1", "FillColor 13158600", "FillStyle 0",
                                               "Line 1340 3986 10490 4202 0 box"}));
        // A real width keeps the outline colour on paper too.
        Use(printer, 1);
        Draw_Box(1370, 3272, 2148, 3454, 4, 0, 16777215, 1);
        QCOMPARE(printer.Calls_Of("Line"), QStringList({"Line 2710 3352 3488 3534 0 box"}));
        QCOMPARE(printer.DrawWidth(), Integer(4));
    }

    void box_outline_keeps_the_last_pen_style()
    {
        Use(printer, 1);
        Draw_Line(0, 0, 10, 0, 1, 2, 0);
        Draw_Box(0, 0, 100, 100, 1, 0, 0, 7);
        QVERIFY(printer.Calls_Of("DrawStyle").size() == 1);
        QCOMPARE(printer.DrawStyle(), Integer(2));
        QCOMPARE(printer.FillStyle(), Integer(7));
    }

    void text_is_placed_by_its_alignment()
    {
        // Right-aligned, default font: 5 characters at 100 units each.
        Use(printer, 1);
        Draw_Text("NAME:", 1260, 1300, 0, "right", "", "", 0, false, false, false);
        QCOMPARE(printer.Calls(),
                 QStringList({"FontName Arial", "FontBold 0", "FontItalic 0", "FontUnderline 0", "FontSize 8",
                              "TextWidth NAME:", "CurrentX 2100", "CurrentY 1380", "Print NAME:", "CurrentX 2100",
                              "CurrentY 1610"}));

        // Keywords ignore case; anything else is left/top.
        for (const char *h : {"center", "CENTER", "Center"}) {
            Use(printer, 1);
            Text("ABCD", 0, 0, 0, h);
            QCOMPARE(printer.Calls_Of("CurrentX").first(), QString("CurrentX 1140"));
        }
        Use(printer, 1);
        Text("ABCD", 0, 0, 0, " center");
        QCOMPARE(printer.Calls_Of("CurrentX").first(), QString("CurrentX 1340"));

        // Halves of a width round to even: 3 characters centred -> 150.
        Use(printer, 1);
        Text("ABC", 1, 0, 0, "center");
        QCOMPARE(printer.Calls_Of("CurrentX").first(), QString("CurrentX 1191"));

        // Vertical: height 200 per line at 8 points.
        Use(printer, 1);
        Text("A", 0, 1000, 0, {}, "bottom");
        QCOMPARE(printer.Calls_Of("CurrentY").first(), QString("CurrentY 880"));
        Use(printer, 1);
        Text("A\rB", 0, 1000, 0, {}, "Center");
        QCOMPARE(printer.Calls_Of("CurrentY").first(), QString("CurrentY 880"));
    }

    void a_block_is_placed_by_its_widest_line()
    {
        Use(printer, 1);
        Text("AB\rABCD", 2660, 0, 0, "right");
        QCOMPARE(printer.Calls_Of("Print"), QStringList({"Print AB", "Print ABCD"}));
        // Both lines start at the block's left edge: 4000 - 400.
        QCOMPARE(printer.Calls_Of("CurrentX"), QStringList({"CurrentX 3600", "CurrentX 3600", "CurrentX 3600"}));
    }

    void carriage_returns_split_lines_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("printed");
        QTest::newRow("one line") << "ONE" << QStringList{"ONE"};
        QTest::newRow("empty") << "" << QStringList{};
        QTest::newRow("CR LF") << "A\r\nB" << QStringList{"A", "B"};
        QTest::newRow("two CRs") << "A\r\rB" << QStringList{"A", "", "B"};
        QTest::newRow("trailing CR is printed") << "AB\r" << QStringList{"AB\r"};
        QTest::newRow("space after CR skipped") << "A\r B" << QStringList{"A", "B"};
        QTest::newRow("second space kept") << "A\r  B" << QStringList{"A", " B"};
        QTest::newRow("lone LF is text") << "A\nB" << QStringList{"A\nB"};
        QTest::newRow("single CR") << "\r" << QStringList{"\r"};
        QTest::newRow("leading CR") << "\rA" << QStringList{"", "A"};
    }
    void carriage_returns_split_lines()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, printed);
        QStringList expected;
        for (const QString &line : printed)
            expected.append("Print " + line);
        Use(printer, 1);
        Text(text, 0, 0);
        QCOMPARE(printer.Calls_Of("Print"), expected);
        // One pitch per printed line below the top.
        QCOMPARE(printer.CurrentY(), Single(80 + 230 * printed.size()));
        QCOMPARE(printer.CurrentX(), Single(1340));
        QVERIFY(!printer.Calls_Of("FontSize").isEmpty());
    }

    void lines_advance_by_the_scaled_pitch_on_the_preview()
    {
        Use(preview, 0.5f);
        Text("A\rB", 0, 0);
        QCOMPARE(preview.Calls_Of("CurrentY"), QStringList({"CurrentY 40", "CurrentY 155", "CurrentY 270"}));
    }

    void wrapping_is_greedy_at_spaces_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("wrap");
        QTest::addColumn<QStringList>("printed");
        // "one two " is 800 wide, the whole text 1300.
        QTest::newRow("third word wraps") << "one two three" << 900 << QStringList{"one two", "three"};
        QTest::newRow("exactly as wide is not wrapped") << "one two" << 700 << QStringList{"one two"};
        QTest::newRow("the space must fit strictly") << "one two three" << 800 << QStringList{"one", "two", "three"};
        QTest::newRow("long word stays whole") << "abcdefghij" << 300 << QStringList{"abcdefghij"};
        QTest::newRow("long word after a break") << "ab abcdefghij" << 500 << QStringList{"ab", "abcdefghij"};
        QTest::newRow("every line tested again")
            << "aa bb cc dd" << 700 << QStringList{"aa bb", "cc dd"};
        QTest::newRow("space at line start is no break") << " abcdef" << 300 << QStringList{" abcdef"};
        QTest::newRow("double space: one skipped") << "aa  bb" << 400 << QStringList{"aa", "bb"};
        QTest::newRow("paragraphs wrap alone") << "aa bb\rcc dd" << 400 << QStringList{"aa", "bb", "cc", "dd"};
        QTest::newRow("no wrap width") << "one two three" << 0 << QStringList{"one two three"};
    }
    void wrapping_is_greedy_at_spaces()
    {
        QFETCH(QString, text);
        QFETCH(int, wrap);
        QFETCH(QStringList, printed);
        QStringList expected;
        for (const QString &line : printed)
            expected.append("Print " + line);
        Use(printer, 1);
        Text(text, 0, 0, Integer(wrap));
        QCOMPARE(printer.Calls_Of("Print"), expected);
    }

    void zero_wrap_on_the_preview_does_not_wrap()
    {
        Use(preview, 1);
        Text("ab cd ef", 0, 0, 0);
        QCOMPARE(preview.Calls_Of("Print"), QStringList({"Print ab cd ef"}));
    }

    void scanning_state_is_left_behind()
    {
        Use(printer, 1);
        Text("one two three", 0, 0, 900);
        QCOMPARE(int(Char_Pos), 15); // one past the end, then the loop's step
        QCOMPARE(int(Line_Start), 14);
        QCOMPARE(int(Break_Pos), 8);
    }

    void font_size_is_rounded_then_scaled_on_the_preview_data()
    {
        QTest::addColumn<float>("size");
        QTest::addColumn<float>("zoom");
        QTest::addColumn<float>("set");
        QTest::newRow("7 at 0.5") << 7.0f << 0.5f << 4.0f;
        QTest::newRow("7.5 at 0.5") << 7.5f << 0.5f << 4.0f;
        QTest::newRow("7.5 at 1") << 7.5f << 1.0f << 8.0f;
        QTest::newRow("6.5 at 1") << 6.5f << 1.0f << 6.0f;
        QTest::newRow("default at 2") << 0.0f << 2.0f << 16.0f;
        QTest::newRow("1 at 0.4") << 1.0f << 0.4f << 1.0f;
    }
    void font_size_is_rounded_then_scaled_on_the_preview()
    {
        QFETCH(float, size);
        QFETCH(float, zoom);
        QFETCH(float, set);
        Use(preview, zoom);
        Text("A", 0, 0, 0, {}, {}, size);
        QCOMPARE(preview.FontSize(), set);
        // The printer takes the size as it is.
        Use(printer, zoom);
        Text("A", 0, 0, 0, {}, {}, size == 0 ? 0 : 7.5f);
        QCOMPARE(printer.FontSize(), size == 0 ? 8.0f : 7.5f);
    }

    void text_overflow_keeps_the_font_already_set()
    {
        Use(printer, 1);
        QCOMPARE(Error_Of([] { Draw_Text("A", 31428, 0, 0, "", "", "Courier", 10, true, false, false); }),
                 int(Err_Overflow));
        QCOMPARE(printer.Calls(),
                 QStringList({"FontName Courier", "FontBold 1", "FontItalic 0", "FontUnderline 0"}));
    }

    void advance_past_the_range_overflows_after_the_line_is_drawn()
    {
        Use(printer, 1);
        QCOMPARE(Error_Of([] { Text("A\rB", 0, 32537 - 80 + 1); }), int(Err_Overflow));
        QCOMPARE(printer.Calls_Of("Print"), QStringList({"Print A"}));
        Use(printer, 1);
        Text("A", 0, 32537 - 80);
        QCOMPARE(printer.Calls_Of("Print"), QStringList({"Print A"}));
    }

    void picture_is_scaled_on_both_targets_and_failures_are_ignored()
    {
        const QImage logo(76, 75, QImage::Format_RGB888);
        Use(printer, 1);
        Draw_Picture(logo, 2000, 10, 790, 790);
        QCOMPARE(printer.Calls(), QStringList({"PaintPicture 76x75 3340 90 790 790"}));
        Use(preview, 0.5f);
        Draw_Picture(logo, 2000, 10, 790, 790);
        QCOMPARE(preview.Calls(), QStringList({"PaintPicture 76x75 1670 45 395 395"}));
        Use(printer, 1);
        Draw_Picture(logo, 0, 0, 0, 0);
        QCOMPARE(printer.Calls(), QStringList({"PaintPicture 76x75 1340 80 1 1"}));
        // A picture that cannot be painted is left out, and nothing is raised.
        Use(printer, 1);
        Draw_Picture(QImage(), 2000, 10, 790, 790);
        QCOMPARE(printer.Calls(), QStringList());
    }
};

QTEST_APPLESS_MAIN(Test_Primitives)
#include "test_primitives.moc"
