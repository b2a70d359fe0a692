// Drawing against reviewed references. A sampler of every pen, fill, text
// style and picture the primitives offer is drawn on the preview canvas at
// three pixel ratios and on the printer, and must match its reference images
// pixel for pixel (the printed one as poppler renders it). The report page
// must make exactly the calls in page/calls-*.txt on the recording surface,
// on paper and on screen at several zooms, and its canvas must be the
// reference images. A difference names the first call or pixel that moved
// and leaves what was drawn in the working folder to look at. Besides: the
// canvas's size in whole pixels, an image on screen kept whole while the next
// is drawn, the texts' ink against the painter, the printed page against the
// preview, nothing on the printer before EndDoc, and a page whose drawing
// fails is never printed.
#include "draw_script.h"
#include "page_build.h"
#include "png_bytes.h"
#include "preview_surface.h"
#include "printed_page.h"
#include "printer_surface.h"
#include "recording_surface.h"

#include <QFile>
#include <QPainter>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTest>

namespace {


constexpr Single Sampler_Width = 6000, Sampler_Height = 3400;

// Every pen, fill, text style and picture: rules 1, 2 and 4 pixels wide,
// the pen styles, slanted and dotted rules, the eight fill styles, wide
// outlines (inside solid, none), the text styles and alignments, pictures
// scaled up and down. Page units: it starts at the page's origin, (1340, 80)
// on the surface.
const QString Sampler = QStringLiteral(
    "line|0|120|1500|120|4|0|255; line|0|240|1500|240|30|0|255; line|0|360|1500|360|60|0|255; "
    "line|0|480|1500|480|15|1|16711680; line|0|600|1500|600|15|2|16711680; "
    "line|0|720|1500|720|15|3|16711680; line|0|840|1500|840|15|4|16711680; "
    "line|0|960|1500|960|15|5|16711680; line|0|1080|1500|1080|15|6|16711680; "
    "line|1700|120|1700|1400|30|0|32768; line|1900|120|2600|1400|4|0|0; line|2800|120|2800|1400|4|2|0; "
    "box|0|1500|480|1980|0|0|13158600|0; box|560|1500|1040|1980|15|255|16711680|1; "
    "box|1120|1500|1600|1980|30|0|16711680|2; box|1680|1500|2160|1980|0|255|16711680|3; "
    "box|2240|1500|2720|1980|15|0|16711680|4; box|2800|1500|3280|1980|30|255|16711680|5; "
    "box|3360|1500|3840|1980|0|0|16711680|6; box|3920|1500|4400|1980|15|255|16711680|7; "
    "box|0|2050|700|2400|45|32768|255|1; box|800|2050|1500|2400|45|32768|255|1; drawstyle|6; "
    "box|800|2050|1500|2400|45|16711680|255|1; drawstyle|5; box|1600|2050|2300|2400|45|16711680|32768|0; "
    "text|Wg plain|3000|120|0|||Arial|8|0|0|0; text|Wg bold|3000|400|0|||Arial|8|1|0|0; "
    "text|Wg italic|3000|680|0|||Arial|10|0|1|0; text|Wg under|3000|960|0|||Arial|7|0|0|1; "
    "text|Right\rWg|4600|1200|0|right|bottom|Arial|8|0|0|0; "
    "text|Centre|3800|1400|0|center|center|Arial|8|1|0|0; picture|76|2400|2050|600|600; "
    "picture|189|3100|2050|1500|460; picture|189|3100|2600|300|92");

// Texts on white, grey, colours and hatching, bold, italic and underlined,
// with every alignment, and one text at both halves of a pixel at ratio 1.5.
const QString Ink_Scene = QStringLiteral(
    "box|0|400|1800|2200|0|0|13158600|0; box|1800|400|3600|1300|0|0|255|0; box|1800|1300|3600|2200|15|0|16711680|7; "
    "box|0|2200|3600|2600|15|0|32768|2; "
    "text|TOTAL EXPENSE (this pg)|60|460|0|||Arial|8|1|0|0; text|Wg grey, 1.25|1700|800|0|right|||7|0|0|0; "
    "text|Centre Mj|900|1600|0|center|center|Arial|10|0|1|0; "
    "text|On red: 88 %|1900|480|0|||Arial|8|0|0|0; text|On red: 88 %|1925|640|0|||Arial|8|0|0|0; "
    "text|On red: 88 %|1950|800|0|||Arial|8|0|0|0; text|On red: 88 %|1975|960|0|||Arial|8|0|0|0; "
    "text|Hatched Qy|2700|1750|0|center|center|Arial|9|1|0|0; text|Under|1900|1120|0|||Arial|7|0|0|1; "
    "text|Striped / ruled|3500|2300|0|right||Arial|6.5|0|0|0; text|ilj.,;|2100|1950|0|||Arial|8|0|0|0");

// A PDF printer on `file`, Letter with the given margins in points.
void Set_Up(QPrinter &printer, const QString &file)
{
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(file);
    Set_Up_Letter(printer);
    printer.setPageMargins(QMarginsF(36, 18, 36, 18), QPageLayout::Point);
}

// A printer whose drawing fails at one text, as an overflow would.
class Failing_Printer : public Printer_Surface {
public:
    using Printer_Surface::Printer_Surface;
    void Print(const QString &text) override
    {
        if (text == QLatin1String("INSTRUCTIONS"))
            Raise_Overflow();
        Printer_Surface::Print(text);
    }
};

} // namespace

class Test_Rendering : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

private slots:
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
        const Drawing_Scope scope(canvas, 1);
        Run_Script(Sampler);
        QCOMPARE(canvas.Image().size(), device);
        Check_Reference_Image(canvas.Image(), QStringLiteral(REFERENCE_DIR "/draw/sampler-ratio%1.png").arg(ratio));
        // The image a view shows stays whole while the next ones are drawn.
        const QImage shown = canvas.Image(), copy = shown.copy();
        for (int redraw = 0; redraw < 3; ++redraw) {
            canvas.Cls();
            QCOMPARE(canvas.Image().pixel(100, 100), qRgb(255, 255, 255));
            Draw_Line(0, 100, 1000, 100, 4, 0, 0);
        }
        QCOMPARE(shown, copy);
    }

    // The canvas drawn from the texts' ink (from the second redraw on) is
    // the canvas the painter draws (the first), pixel for pixel.
    void text_ink_is_what_the_painter_draws_data()
    {
        QTest::addColumn<float>("zoom");
        QTest::addColumn<qreal>("ratio");
        for (const float zoom : {0.3f, 6980.0f / 14760.0f, 0.5f, 0.75f, 1.0f, 1.3f, 1.75f, 2.22002f})
            for (const qreal ratio : {1.0, 1.5, 2.0})
                QTest::addRow("zoom %g ratio %g", double(zoom), ratio) << zoom << ratio;
    }
    void text_ink_is_what_the_painter_draws()
    {
        QFETCH(float, zoom);
        QFETCH(qreal, ratio);
        Preview_Surface canvas;
        canvas.Set_Device_Pixel_Ratio(ratio);
        const Drawing_Scope scope(canvas, zoom);
        QImage drawn[3];
        for (QImage &image : drawn) {
            canvas.Cls();
            canvas.Set_Width(Scale_Value(5600));
            canvas.Set_Height(Scale_Value(3000));
            Run_Script(Ink_Scene);
            image = canvas.Image().copy();
        }
        QVERIFY(canvas.Inks().Exact() >= 7); // all texts but the underlined one
        QCOMPARE(drawn[1], drawn[0]);
        QCOMPARE(drawn[2], drawn[0]);
        canvas.Set_Device_Pixel_Ratio(ratio + 1); // forgets all ink, and counts none
        QCOMPARE(canvas.Inks().Bytes(), 0u);
    }

    void sampler_on_paper()
    {
        const QString file = dir_.filePath(QStringLiteral("sampler.pdf"));
        QPrinter printer(QPrinter::HighResolution);
        Set_Up(printer, file);
        Printer_Surface paper(printer);
        const Drawing_Scope scope(paper, 1);
        // The printable area is 8.5 - 1 inches wide and 11 - 0.5 high.
        QVERIFY(qAbs(paper.Width() - 7.5f * 1440) < 2);
        QVERIFY(qAbs(paper.Height() - 10.5f * 1440) < 2);
        Run_Script(Sampler);
        QVERIFY(!QFile::exists(file)); // nothing reaches the printer before EndDoc
        paper.EndDoc();
        QCOMPARE(paper.Documents(), 1);
        QCOMPARE(Pdf_Page_Count(file), 1);
        // The sampler's corner of the page, at 96 DPI, from the printable area.
        Check_Reference_Image(Pdf_Image(file, 96).copy(48, 24, 400, 227), QStringLiteral(REFERENCE_DIR "/draw/sampler-printed.png"));
    }

    // Paper ignores the zoom it finds and leaves it at 1. Carriage returns
    // stand as "\\r" in the reference files.
    void calls_are_the_reference_data()
    {
        QTest::addColumn<bool>("printer");
        QTest::addColumn<float>("zoom");
        QTest::newRow("printer") << true << 0.5f;
        for (const float zoom : {1.0f, 0.5f, 6980.0f / 14760.0f, 2.22002f})
            QTest::addRow("preview-%.7g", double(zoom)) << false << zoom;
    }
    void calls_are_the_reference()
    {
        QFETCH(bool, printer);
        QFETCH(float, zoom);
        Recording_Surface surface(printer);
        const Drawing_Scope scope(surface, zoom);
        Build_Page();
        QCOMPARE(Zoom_Factor, printer ? 1.0f : zoom);
        const QString name = QStringLiteral("calls-%1.txt").arg(QTest::currentDataTag());
        QFile file(QStringLiteral(REFERENCE_DIR "/page/") + name);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList expected = QString::fromUtf8(file.readAll()).split(u'\n');
        const QStringList actual = (surface.Calls().join(u'\n').replace(u'\r', QStringLiteral("\\r")) + u'\n').split(u'\n');
        qsizetype i = 0;
        while (i < actual.size() && i < expected.size() && actual[i] == expected[i])
            ++i;
        if (i < actual.size() || i < expected.size()) {
            QFile out(name); // the calls made, to look at
            QVERIFY(out.open(QIODevice::WriteOnly) && out.write(actual.join(u'\n').toUtf8()) > 0);
            QFAIL(qPrintable(QStringLiteral("call %1 is \"%2\", the reference has \"%3\"; all calls in %4")
                                 .arg(i + 1)
                                 .arg(actual.value(i), expected.value(i), name)));
        }
    }

    void canvas_is_the_reference_image_data()
    {
        QTest::addColumn<float>("zoom");
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<QString>("reference");
        QTest::newRow("100 %") << 1.0f << 1.0 << QStringLiteral(REFERENCE_DIR "/../docs/page.png");
        QTest::newRow("half size at ratio 2") << 0.5f << 2.0 << QStringLiteral(REFERENCE_DIR "/page/page-0.5-ratio2.png");
        QTest::newRow("fitted at ratio 1.5") << 6980.0f / 14760.0f << 1.5
                                             << QStringLiteral(REFERENCE_DIR "/page/page-fit-ratio1.5.png");
    }
    void canvas_is_the_reference_image()
    {
        QFETCH(float, zoom);
        QFETCH(qreal, ratio);
        QFETCH(QString, reference);
        Preview_Surface preview;
        preview.Set_Device_Pixel_Ratio(ratio);
        // A larger drawing first: the page clears and resizes the canvas itself.
        for (const Single drawn_at : {2.2f, zoom}) {
            const Drawing_Scope scope(preview, drawn_at);
            Build_Page();
        }

        Check_Reference_Image(preview.Image(), reference);
        // quorvel-render's PNG holds these very pixels.
        QCOMPARE(QImage::fromData(Png_Bytes(preview.Image())).convertToFormat(QImage::Format_RGB32), preview.Image());
    }

    // The printed page is the preview's sheet, block by block; taken out
    // of the printed page, the right-hand instructions, one rule, one box or
    // one text are found missing.
    void printed_page_is_the_sheet_data()
    {
        QTest::addColumn<QRect>("erased"); // in the sheet's pixels at 100 %
        QTest::newRow("whole") << QRect();
        QTest::newRow("instructions on the right") << QRect(425, 688, 280, 192);
        QTest::newRow("rule after NAME:") << QRect(200, 102, 100, 8);
        QTest::newRow("Exchange Rate box") << QRect(540, 612, 165, 64);
        QTest::newRow("NOTES:") << QRect(370, 615, 48, 16);
    }
    void printed_page_is_the_sheet()
    {
        QFETCH(QRect, erased);
        static QImage page, sheet;
        if (page.isNull()) {
            // The second page printed on a printer, as the window prints.
            QPrinter printer(QPrinter::HighResolution);
            for (const char *name : {"first.pdf", "page.pdf"}) {
                Set_Up(printer, dir_.filePath(QLatin1String(name)));
                Printer_Surface paper(printer);
                const Drawing_Scope scope(paper, 1);
                Build_Page();
            }
            page = Pdf_Image(dir_.filePath(QStringLiteral("page.pdf")), 96);
            Preview_Surface preview;
            const Drawing_Scope scope(preview, 1);
            Build_Page();
            sheet = preview.Image();
        }
        QImage printed = page.copy();
        QPainter(&printed).fillRect(erased.translated(48, 24), Qt::white); // the margins of 36 and 18 points
        const QString difference = Sheet_Difference(printed, QPointF(36, 18), sheet);
        QVERIFY2(difference.isEmpty() == erased.isNull(), qPrintable(difference.isEmpty() ? "no difference" : difference));
    }

    // A page whose drawing fails half way is dropped, not printed half drawn.
    void failed_page_never_reaches_the_printer()
    {
        const QString file = dir_.filePath(QStringLiteral("failed.pdf"));
        QPrinter printer(QPrinter::HighResolution);
        Set_Up(printer, file);
        Failing_Printer paper(printer);
        // Its scope puts back the target, zoom, screen and text scan it
        // replaced, and outside every scope there is no target.
        Preview_Surface canvas;
        {
            const Drawing_Scope outer(canvas, 0.5f, Screen_Metrics{10, 20});
            Char_Pos = Line_Start = -1;
            QVERIFY_THROWS_EXCEPTION(RuntimeError, [&] { const Drawing_Scope scope(paper, 1); Build_Page(); }());
            QVERIFY(OutputTarget == &canvas && Zoom_Factor == 0.5f && Screen == (Screen_Metrics{10, 20}) &&
                    Char_Pos == -1 && Line_Start == -1);
        }
        QVERIFY(OutputTarget == nullptr && Zoom_Factor == 0 && Screen == Screen_Metrics{});
        QCOMPARE(paper.Documents(), 0);
        QVERIFY(!QFile::exists(file));
        paper.EndDoc(); // nothing of the failed page is left to print
        QImage blank = Pdf_Image(file, 24);
        blank.fill(Qt::white);
        QCOMPARE(Pdf_Image(file, 24), blank);
        QVERIFY_THROWS_EXCEPTION(RuntimeError, Build_Page()); // no page without a target
        // A printer that cannot open raises, and counts nothing.
        Set_Up(printer, dir_.filePath(QStringLiteral("missing/page.pdf")));
        Printer_Surface closed(printer);
        QVERIFY_THROWS_EXCEPTION(RuntimeError, closed.EndDoc());
        QCOMPARE(closed.Documents(), 0);
    }

};

QTEST_MAIN(Test_Rendering)
#include "test_rendering.moc"
