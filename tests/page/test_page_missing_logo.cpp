// A page whose logo bitmaps cannot be found is still drawn whole, without
// them, and nothing is raised. The embedded resources are withdrawn before
// the logos are first asked for, so they decode to null pictures.
#include "page_build.h"
#include "preview_surface.h"

#include <QTest>

class Test_Page_Missing_Logo : public QObject {
    Q_OBJECT

private slots:
    void page_is_drawn_without_its_logos()
    {
        Q_CLEANUP_RESOURCE(quorvel_assets);
        QVERIFY(picLogo(0).isNull());
        QVERIFY(picLogo(1).isNull());

        Screen = Screen_Metrics{};
        Preview_Surface preview;
        OutputTarget = &preview;
        Zoom_Factor = 1;
        Build_Page();

        const QImage image = preview.Image();
        QCOMPARE(image.size(), QSize(792, 984));
        // The logo's square stays paper; the grid and the last label are there.
        for (int y = 90 / 15; y < 880 / 15; ++y)
            for (int x = 3340 / 15; x < 4130 / 15; ++x)
                QCOMPARE(image.pixel(x, y), qRgb(255, 255, 255));
        QCOMPARE(image.pixel((2537 + 1340) / 15, (4014 + 80) / 15), qRgb(200, 200, 200));
        int ink = 0;
        for (int y = 14380 / 15; y < 14560 / 15; ++y)
            for (int x = 1340 / 15; x < 3000 / 15; ++x)
                ink += qGray(image.pixel(x, y)) < 96;
        QVERIFY(ink > 20); // "EMPLOYEE SIGNATURE"
    }
};

QTEST_MAIN(Test_Page_Missing_Logo)
#include "test_page_missing_logo.moc"
