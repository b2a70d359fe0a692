// The real surfaces: where the preview's pixels land, how boxes fill, that
// text ends where TextWidth says, that a high-density canvas is drawn at its
// own resolution, and that the printer is addressed from its printable area.
#include "preview_surface.h"
#include "printed_page.h"
#include "printer_surface.h"
#include "support_routines.h"

#include <QPrinter>
#include <QTemporaryDir>
#include <QTest>

namespace {

bool Dark(QRgb pixel)
{
    return qGray(pixel) < 96;
}

// Columns of ink (dark pixels) within rows [top, bottom).
std::pair<int, int> Ink_Columns(const QImage &image, int top, int bottom)
{
    int left = image.width(), right = -1;
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < image.width(); ++x)
            if (Dark(image.pixel(x, y))) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
    return {left, right};
}

} // namespace

class Test_Surfaces : public QObject {
    Q_OBJECT

    Preview_Surface preview;

    void Start_Preview(Single zoom, qreal ratio = 1)
    {
        Screen = Screen_Metrics{};
        preview.Set_Device_Pixel_Ratio(ratio);
        OutputTarget = &preview;
        Zoom_Factor = zoom;
        preview.Cls();
        preview.Set_Height(Scale_Value(14760));
        preview.Set_Width(Scale_Value(11880));
    }

private slots:
    void canvas_takes_whole_pixels_and_reports_them_in_twips()
    {
        Start_Preview(1);
        QCOMPARE(preview.Pixel_Size(), QSize(792, 984));
        QCOMPARE(preview.Width(), 11880.0f);
        QCOMPARE(preview.Height(), 14760.0f);
        QCOMPARE(preview.Image().size(), QSize(792, 984));
        // 5618 twips is 374.53 pixels: the canvas has 375, and says so.
        preview.Set_Width(5618);
        QCOMPARE(preview.Width(), 5625.0f);
        // Cls leaves a blank canvas of the same size.
        Draw_Line(0, 0, 100, 0, 4, 0, 0);
        preview.Cls();
        QCOMPARE(preview.Image().pixel(89, 5), qRgb(255, 255, 255));
        QCOMPARE(preview.Width(), 5625.0f);
    }

    void a_shown_image_stays_whole_while_the_next_is_drawn()
    {
        Start_Preview(1);
        Draw_Box(0, 3906, 9150, 4122, 0, 0, RGB(200, 200, 200), 0);
        const QImage shown = preview.Image(); // what a view keeps on screen
        for (int redraw = 0; redraw < 3; ++redraw) {
            preview.Cls();
            Draw_Line(0, 1520, 3680, 1520, 4, 0, 0);
            QVERIFY(Dark(preview.Image().pixel(200, 107)));
            QCOMPARE(preview.Image().pixel(400, 273), qRgb(255, 255, 255)); // cleared
        }
        QCOMPARE(shown.pixel(400, 273), qRgb(200, 200, 200));
        QCOMPARE(shown.pixel(200, 107), qRgb(255, 255, 255));
    }

    void rule_lands_on_its_pixel_row_and_column()
    {
        Start_Preview(1);
        // y 1520 + 80 = 1600 twips = row 106.67 -> 107; x 1340..5020 -> 89..335.
        Draw_Line(0, 1520, 3680, 1520, 4, 0, 0);
        // x 2148 + 1340 = 3488 twips = column 232.53 -> 233.
        Draw_Line(2148, 2000, 2148, 3000, 4, 0, 0);
        const QImage &image = preview.Image();
        QVERIFY(Dark(image.pixel(200, 107)));
        QVERIFY(!Dark(image.pixel(200, 106)));
        QVERIFY(!Dark(image.pixel(200, 108)));
        QVERIFY(Dark(image.pixel(89, 107)));
        QVERIFY(Dark(image.pixel(335, 107)));
        QVERIFY(!Dark(image.pixel(87, 107)));
        QVERIFY(!Dark(image.pixel(337, 107)));
        QVERIFY(Dark(image.pixel(233, 170)));
        QVERIFY(!Dark(image.pixel(232, 170)));
        QVERIFY(!Dark(image.pixel(234, 170)));
    }

    void wide_pen_is_as_many_pixels_wide()
    {
        Start_Preview(1);
        Draw_Line(0, 1520, 3680, 1520, 60, 0, 0); // 4 pixels
        const QImage &image = preview.Image();
        int rows = 0;
        for (int y = 95; y < 120; ++y)
            rows += Dark(image.pixel(200, y));
        QCOMPARE(rows, 4);
    }

    void grey_band_fills_inside_a_one_pixel_outline()
    {
        Start_Preview(1);
        Draw_Box(0, 3906, 9150, 4122, 0, 0, RGB(200, 200, 200), 0);
        const QImage &image = preview.Image();
        // 3986..4202 twips -> rows 266..280; 1340..10490 -> columns 89..699.
        QCOMPARE(image.pixel(400, 273), qRgb(200, 200, 200));
        QCOMPARE(image.pixel(400, 267), qRgb(200, 200, 200));
        QVERIFY(Dark(image.pixel(400, 266)));
        QVERIFY(Dark(image.pixel(400, 280)));
        QVERIFY(Dark(image.pixel(89, 273)));
        QVERIFY(Dark(image.pixel(699, 273)));
        QCOMPARE(image.pixel(400, 265), qRgb(255, 255, 255));
        QCOMPARE(image.pixel(400, 281), qRgb(255, 255, 255));
    }

    void transparent_box_keeps_what_lies_under_it()
    {
        Start_Preview(1);
        Draw_Box(0, 3906, 9150, 4122, 0, 0, RGB(200, 200, 200), 0);
        Draw_Box(100, 3800, 1000, 4300, 4, 0, 16777215, 1);
        QCOMPARE(preview.Image().pixel(400, 273), qRgb(200, 200, 200));
    }

    void cross_hatch_shows_both_diagonals()
    {
        Start_Preview(1);
        Draw_Box(7594, 3494, 9150, 3906, 0, 0, 0, 7);
        const QImage &image = preview.Image();
        // Interior of 8934..10490 x 3574..3986 twips: columns 597..698, rows 239..264.
        int down = 0, up = 0, dark = 0, light = 0;
        for (int y = 242; y < 262; ++y)
            for (int x = 600; x < 695; ++x) {
                if (!Dark(image.pixel(x, y))) {
                    ++light;
                    continue;
                }
                ++dark;
                down += Dark(image.pixel(x + 1, y + 1)) && Dark(image.pixel(x + 2, y + 2));
                up += Dark(image.pixel(x + 1, y - 1)) && Dark(image.pixel(x + 2, y - 2));
            }
        QVERIFY(down > 20);
        QVERIFY(up > 20);
        QVERIFY2(light > dark, "a hatch, not a solid fill");
    }

    void right_aligned_text_ends_where_its_width_says()
    {
        Start_Preview(1);
        Draw_Text("NAME:", 1260, 1300, 0, "right", "", "", 0, false, false, false);
        // Right edge at 2600 twips = 173.3 pixels; the colon's ink ends just before.
        const auto [left, right] = Ink_Columns(preview.Image(), 90, 105);
        QVERIFY2(right >= 170 && right <= 173, qPrintable(QString::number(right)));
        const double width = preview.TextWidth("NAME:") / 15.0;
        QVERIFY(width > 20 && width < 40); // 8 points of Arial, not a fallback face
        QVERIFY(left >= int(173.3 - width) - 1 && left <= int(173.3 - width) + 2);
        // The text's top is at 1380 twips = row 92: nothing above it.
        QCOMPARE(Ink_Columns(preview.Image(), 80, 92).second, -1);
    }

    void arial_is_resolved_with_its_metrics()
    {
        Start_Preview(1);
        preview.Set_FontName("Arial");
        preview.Set_FontSize(10);
        // Arial's "M" is 0.833 em wide and its "i" 0.222 em; a fallback face
        // differs. Screen fonts take whole pixel sizes (13.33 -> 13), so
        // the width is near, not exactly, 10 x 0.833 x 200 twips.
        const Single m = preview.TextWidth("MMMMMMMMMM"), i = preview.TextWidth("iiiiiiiiii");
        QVERIFY2(qAbs(m / i - 3.75f) < 0.1f, qPrintable(QString::number(m / i)));
        QVERIFY2(qAbs(m - 1666) < 70, qPrintable(QString::number(m)));
        QVERIFY(preview.TextWidth("AB\rABCD") == preview.TextWidth("ABCD"));
        QCOMPARE(preview.TextHeight("A\rB\rC"), 3 * preview.TextHeight("A"));
    }

    void high_density_canvas_is_drawn_at_device_resolution()
    {
        Start_Preview(1, 2);
        QCOMPARE(preview.Pixel_Size(), QSize(792, 984));
        QCOMPARE(preview.Width(), 11880.0f);
        Draw_Line(0, 1520, 3680, 1520, 4, 0, 0);
        Draw_Text("NAME:", 1260, 1300, 0, "right", "", "", 0, false, false, false);
        const QImage &image = preview.Image();
        QCOMPARE(image.size(), QSize(1584, 1968));
        // The 1-pixel rule is two device rows, crisp: nothing grey around it.
        QVERIFY(Dark(image.pixel(400, 214)) && Dark(image.pixel(400, 215)));
        QCOMPARE(image.pixel(400, 213), qRgb(255, 255, 255));
        QCOMPARE(image.pixel(400, 216), qRgb(255, 255, 255));
        // Text is rendered at twice the size, not scaled up: its ink spans
        // about twice the columns and it has more distinct grey levels at edges.
        const auto [left, right] = Ink_Columns(image, 180, 210);
        QVERIFY(right >= 340 && right <= 347);
        QVERIFY(right - left > 40);

        // A fractional ratio keeps the logical size.
        Start_Preview(0.5f, 1.5);
        QCOMPARE(preview.Pixel_Size(), QSize(396, 492));
        QCOMPARE(preview.Image().size(), QSize(594, 738));
    }

    void printer_is_addressed_in_twips_from_the_printable_area()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("page.pdf");
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(file);
        printer.setPageSize(QPageSize(QPageSize::Letter));
        printer.setPageMargins(QMarginsF(36, 18, 36, 18), QPageLayout::Point);

        Printer_Surface surface(printer);
        OutputTarget = &surface;
        Zoom_Factor = 1;
        // The printable area is 8.5 - 1 inches wide and 11 - 0.5 high.
        QVERIFY(qAbs(surface.Width() - 7.5f * 1440) < 2);
        QVERIFY(qAbs(surface.Height() - 10.5f * 1440) < 2);

        Draw_Text("HALBEK", 0, 0, 0, "", "", "Arial", 8, true, false, false);
        Draw_Line(0, 1000, 1000, 1000, 4, 0, 0);
        QVERIFY(!QFile::exists(file)); // nothing reaches the printer before EndDoc
        surface.EndDoc();
        QCOMPARE(surface.Documents(), 1);

        const QRectF area = printer.pageLayout().paintRectPoints();
        QRectF box;
        for (const Printed_Word &word : Pdf_Words(file))
            if (word.text == "HALBEK")
                box = word.box;
        QVERIFY2(!box.isNull(), "HALBEK not found in the PDF");
        // 1340 twips = 67 points right of the printable area, 80 = 4 points down.
        QVERIFY2(qAbs(box.left() - (area.left() + 67)) < 1, qPrintable(QString::number(box.left())));
        QVERIFY2(qAbs(box.top() - (area.top() + 4)) < 1, qPrintable(QString::number(box.top())));
        // 8 points high, give or take the face's ascent and descent.
        QVERIFY(box.height() > 7 && box.height() < 11);
    }

    void printer_that_cannot_open_raises_and_writes_nothing()
    {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName("/nonexistent-folder/page.pdf");
        Printer_Surface surface(printer);
        OutputTarget = &surface;
        Zoom_Factor = 1;
        Draw_Line(0, 1000, 1000, 1000, 4, 0, 0);
        try {
            surface.EndDoc();
            QFAIL("EndDoc succeeded on a file that cannot be written");
        } catch (const RuntimeError &error) {
            QCOMPARE(error.number(), int(Err_Printer));
        }
        QCOMPARE(surface.Documents(), 0);
    }
};

QTEST_MAIN(Test_Surfaces)
#include "test_surfaces.moc"
