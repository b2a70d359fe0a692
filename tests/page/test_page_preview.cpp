// The page on the real preview canvas: the canvas takes the sheet's size at
// the zoom, every call starts from a clean canvas, the page at 100 % is the
// README's picture, shading and hatching show where the grid puts them, and
// nothing, text included, leaves the sheet.
#include "page_build.h"
#include "preview_surface.h"

#include <QTest>

namespace {

// The preview, noting where each text and rule goes in its own units.
class Measuring_Preview : public Preview_Surface {
public:
    QList<QRectF> texts, lines;
    QStringList printed;

    void Print(const QString &text) override
    {
        texts.append(QRectF(CurrentX(), CurrentY(), TextWidth(text), TextHeight(text)));
        printed.append(text);
        Preview_Surface::Print(text);
    }
    void Line(Single x1, Single y1, Single x2, Single y2, Long color, bool box) override
    {
        lines.append(QRectF(QPointF(x1, y1), QPointF(x2, y2)).normalized());
        Preview_Surface::Line(x1, y1, x2, y2, color, box);
    }
};

void Build_On(Preview_Surface &preview, Single zoom)
{
    OutputTarget = &preview;
    Zoom_Factor = zoom;
    Build_Page();
}

// The pixel under a page position at zoom 1 (15 twips to the pixel).
QRgb Pixel_At(const QImage &image, int pageX, int pageY)
{
    return image.pixel((pageX + 1340) / 15, (pageY + 80) / 15);
}

} // namespace

class Test_Page_Preview : public QObject {
    Q_OBJECT

private slots:
    void init() { Screen = Screen_Metrics{}; }

    void canvas_is_the_sheet_at_the_zoom_data()
    {
        QTest::addColumn<float>("zoom");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("100 %") << 1.0f << 11880 << 14760;
        QTest::newRow("50 %") << 0.5f << 5940 << 7380;
    }
    void canvas_is_the_sheet_at_the_zoom()
    {
        QFETCH(float, zoom);
        QFETCH(int, width);
        QFETCH(int, height);
        Preview_Surface preview;
        Build_On(preview, 2); // a larger canvas first: the page resizes it
        Build_On(preview, zoom);
        QCOMPARE(preview.Width(), Single(width));
        QCOMPARE(preview.Height(), Single(height));
        QCOMPARE(preview.Image().size(), QSize(width / 15, height / 15));
    }

    void two_calls_leave_the_same_image()
    {
        Preview_Surface preview;
        Build_On(preview, 1);
        const QImage first = preview.Image().copy();
        Build_On(preview, 1);
        QCOMPARE(preview.Image(), first);

        // Nothing of a drawing at another zoom stays under the next one.
        Build_On(preview, 0.5f);
        Build_On(preview, 1);
        QCOMPARE(preview.Image(), first);
    }

    // The picture in the README is the canvas at 100 %, pixel for pixel:
    // any change to how the page is drawn shows here first.
    void page_at_100_percent_is_the_documented_picture()
    {
        Preview_Surface preview;
        Build_On(preview, 1);
        const QImage documented(QUORVEL_PAGE_PNG);
        QVERIFY(!documented.isNull());
        QCOMPARE(preview.Image().convertToFormat(documented.format()), documented);
    }

    void shading_and_hatch_show_in_their_cells()
    {
        Preview_Surface preview;
        Build_On(preview, 1);
        const QImage image = preview.Image();
        // Row 2 is grey across the day columns; row 3 is not.
        QCOMPARE(Pixel_At(image, 2537, 4014), qRgb(200, 200, 200));
        QCOMPARE(Pixel_At(image, 2537, 4230), qRgb(255, 255, 255));
        // The hatched totals of rows 0 and 1 hold both ink and paper.
        int ink = 0, paper = 0;
        for (int y = (3520 + 80) / 15; y < (3880 + 80) / 15; ++y)
            for (int x = (7620 + 1340) / 15; x < (8350 + 1340) / 15; ++x)
                (qGray(image.pixel(x, y)) < 96 ? ink : paper) += 1;
        QVERIFY2(ink > 50 && paper > 50, qPrintable(QString("%1 ink, %2 paper").arg(ink).arg(paper)));
        // The logo is painted in its square.
        int painted = 0;
        for (int y = 90 / 15; y < 880 / 15; ++y)
            for (int x = 3340 / 15; x < 4130 / 15; ++x)
                painted += image.pixel(x, y) != qRgb(255, 255, 255);
        QVERIFY(painted > 1000);
    }

    void nothing_leaves_the_sheet_data()
    {
        QTest::addColumn<float>("zoom");
        QTest::newRow("100 %") << 1.0f;
        QTest::newRow("50 %") << 0.5f;
        QTest::newRow("220 %") << 2.2f;
    }
    void nothing_leaves_the_sheet()
    {
        QFETCH(float, zoom);
        Measuring_Preview preview;
        Build_On(preview, zoom);
        const QRectF sheet(0, 0, preview.Width(), preview.Height());
        QCOMPARE(preview.texts.size(), 79);
        for (int i = 0; i < preview.texts.size(); ++i)
            QVERIFY2(sheet.contains(preview.texts[i]), qPrintable(preview.printed[i]));
        for (const QRectF &line : std::as_const(preview.lines))
            QVERIFY(sheet.contains(line.topLeft()) && sheet.contains(line.bottomRight()));
    }
};

QTEST_MAIN(Test_Page_Preview)
#include "test_page_preview.moc"
