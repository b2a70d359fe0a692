// The real surfaces. A sampler of every pen, fill, text style and picture
// the primitives offer is drawn on the preview canvas at three pixel ratios
// and on the printer, and must match the reviewed reference images pixel for
// pixel (the printed one as poppler renders it). Besides: the canvas's size
// in whole pixels, an image on screen kept whole while the next is drawn,
// and nothing on the printer before EndDoc.
#include "page_build.h"
#include "preview_surface.h"
#include "printed_page.h"
#include "printer_surface.h"
#include "reference_image.h"

#include <QPrinter>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr Single Sampler_Width = 6000, Sampler_Height = 3400;

void Text(const QString &text, Integer x, Integer y, const QString &h, const QString &v, Single size, bool bold,
          bool italic, bool underline)
{
    Draw_Text(text, x, y, 0, h, v, QStringLiteral("Arial"), size, bold, italic, underline);
}

// Page units: the sampler starts at the page's origin, (1340, 80) on the surface.
void Draw_Sampler()
{
    const Long red = RGB(255, 0, 0), green = RGB(0, 128, 0), blue = RGB(0, 0, 255);
    Integer y = 120;
    for (const Integer width : {4, 30, 60}) { // 1, 2 and 4 screen pixels
        Draw_Line(0, y, 1500, y, width, 0, red);
        y += 120;
    }
    for (Integer style = 1; style <= 6; ++style) {
        Draw_Line(0, y, 1500, y, 15, style, blue);
        y += 120;
    }
    Draw_Line(1700, 120, 1700, 1400, 30, 0, green);
    Draw_Line(1900, 120, 2600, 1400, 4, 0, 0);
    Draw_Line(2800, 120, 2800, 1400, 4, 2, 0);
    for (Integer style = 0; style <= 7; ++style)
        Draw_Box(Integer(style * 560), 1500, Integer(style * 560 + 480), 1980, Integer(style % 3 * 15),
                 style % 2 ? red : 0, style == 0 ? RGB(200, 200, 200) : blue, style);
    Draw_Box(0, 2050, 700, 2400, 45, green, red, 1);
    Draw_Box(800, 2050, 1500, 2400, 45, green, red, 1);
    OutputTarget->Set_DrawStyle(6); // inside solid, for the next outline
    Draw_Box(800, 2050, 1500, 2400, 45, blue, red, 1);
    OutputTarget->Set_DrawStyle(5); // no outline at all
    Draw_Box(1600, 2050, 2300, 2400, 45, blue, green, 0);
    Text(QStringLiteral("Wg plain"), 3000, 120, {}, {}, 8, false, false, false);
    Text(QStringLiteral("Wg bold"), 3000, 400, {}, {}, 8, true, false, false);
    Text(QStringLiteral("Wg italic"), 3000, 680, {}, {}, 10, false, true, false);
    Text(QStringLiteral("Wg under"), 3000, 960, {}, {}, 7, false, false, true);
    Text(QStringLiteral("Right\rWg"), 4600, 1200, QStringLiteral("right"), QStringLiteral("bottom"), 8, false, false,
         false);
    Text(QStringLiteral("Centre"), 3800, 1400, QStringLiteral("center"), QStringLiteral("center"), 8, true, false,
         false);
    Draw_Picture(picLogo(0), 2400, 2050, 600, 600);
    Draw_Picture(picLogo(1), 3100, 2050, 1500, 460);
    Draw_Picture(picLogo(1), 3100, 2600, 300, 92);
}

// A PDF printer on `file`, Letter with the given margins in points.
void Set_Up(QPrinter &printer, const QString &file)
{
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(file);
    printer.setPageSize(QPageSize(QPageSize::Letter));
    printer.setPageMargins(QMarginsF(36, 18, 36, 18), QPageLayout::Point);
}

} // namespace

class Test_Surfaces : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

private slots:
    void init()
    {
        Screen = Screen_Metrics{};
        Zoom_Factor = 1;
    }

    void sampler_on_the_canvas_data()
    {
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<QSize>("device");
        QTest::newRow("ratio 1") << 1.0 << QSize(400, 227);
        QTest::newRow("ratio 1.5") << 1.5 << QSize(600, 341);
        QTest::newRow("ratio 2") << 2.0 << QSize(800, 454);
    }
    void sampler_on_the_canvas()
    {
        QFETCH(qreal, ratio);
        QFETCH(QSize, device);
        Preview_Surface canvas;
        canvas.Set_Device_Pixel_Ratio(ratio);
        canvas.Set_Width(Sampler_Width);
        canvas.Set_Height(Sampler_Height);
        // 3400 twips are 226.67 pixels: the canvas has 227, and says so.
        QCOMPARE(canvas.Pixel_Size(), QSize(400, 227));
        QCOMPARE(canvas.Height(), 3405.0f);
        OutputTarget = &canvas;
        Draw_Sampler();
        QCOMPARE(canvas.Image().size(), device);
        Check_Reference_Image(canvas.Image(), QStringLiteral(REFERENCE_DIR "/sampler-ratio%1.png").arg(ratio));
    }

    void sampler_on_paper()
    {
        const QString file = dir_.filePath(QStringLiteral("sampler.pdf"));
        QPrinter printer(QPrinter::HighResolution);
        Set_Up(printer, file);
        Printer_Surface paper(printer);
        OutputTarget = &paper;
        // The printable area is 8.5 - 1 inches wide and 11 - 0.5 high.
        QVERIFY(qAbs(paper.Width() - 7.5f * 1440) < 2);
        QVERIFY(qAbs(paper.Height() - 10.5f * 1440) < 2);
        Draw_Sampler();
        QVERIFY(!QFile::exists(file)); // nothing reaches the printer before EndDoc
        paper.EndDoc();
        QCOMPARE(paper.Documents(), 1);
        QCOMPARE(Pdf_Page_Count(file), 1);
        // The sampler's corner of the page, at 96 DPI, from the printable area.
        Check_Reference_Image(Pdf_Image(file, 96).copy(48, 24, 400, 227), QStringLiteral(REFERENCE_DIR "/sampler-printed.png"));
    }

    void printer_that_cannot_open_raises_and_counts_nothing()
    {
        QPrinter printer(QPrinter::HighResolution);
        Set_Up(printer, QStringLiteral("/nonexistent-folder/page.pdf"));
        Printer_Surface paper(printer);
        OutputTarget = &paper;
        Draw_Line(0, 1000, 1000, 1000, 4, 0, 0);
        QVERIFY_THROWS_EXCEPTION(RuntimeError, paper.EndDoc());
        QCOMPARE(paper.Documents(), 0);
    }

    void shown_image_stays_whole_while_the_next_is_drawn()
    {
        Preview_Surface canvas;
        canvas.Set_Width(Sampler_Width);
        canvas.Set_Height(Sampler_Height);
        OutputTarget = &canvas;
        Draw_Sampler();
        const QImage shown = canvas.Image(); // what a view keeps on screen
        const QImage copy = shown.copy();
        for (int redraw = 0; redraw < 3; ++redraw) {
            canvas.Cls();
            QCOMPARE(canvas.Image().pixel(100, 100), qRgb(255, 255, 255));
            Draw_Line(0, 100, 1000, 100, 4, 0, 0);
        }
        QCOMPARE(shown, copy);
        QCOMPARE(canvas.Pixel_Size(), QSize(400, 227));
    }

};

QTEST_MAIN(Test_Surfaces)
#include "test_surfaces.moc"
