// The window's layout by table: for each zoom mode, client size and screen,
// the zoom, the viewport, where the canvas sits and every scroll bar shown
// with its range and steps, in twips, as one line. test_layout works each
// row out without a window; test_window finds the window placed so on its
// screen.
#pragma once

#include "layout.h"

#include <QSize>
#include <QSizeF>
#include <QString>

inline QString Num(double value)
{
    return QString::number(value, 'g', 9);
}

// The layout in one line: zoom, viewport, canvas and the bars shown, in twips.
inline QString Line_Of(const Window_Layout &layout)
{
    const QRectF &view = layout.zoom.viewport;
    QString line = QStringLiteral("zoom %1; view %2x%3; canvas %4x%5 at %6")
                       .arg(Num(Single(layout.zoom.zoom)), Num(view.width()), Num(view.height()),
                            Num(layout.canvas.width()), Num(layout.canvas.height()), Num(layout.canvas.left()));
    const auto bar = [&](const Bar_Layout &bar, const char *name, double length) {
        if (bar.shown)
            line += QStringLiteral("; %1 %2,%3,%4 max %5 steps %6/%7")
                        .arg(QLatin1String(name), Num(bar.rect.left()), Num(bar.rect.top()), Num(length))
                        .arg(bar.max)
                        .arg(bar.large_change)
                        .arg(bar.small_change);
    };
    bar(layout.vertical, "V", layout.vertical.rect.height());
    bar(layout.horizontal, "H", layout.horizontal.rect.width());
    return line;
}

// The rows' figures were worked out from the layout's formulas, with every
// length rounded to the screen's whole pixels, halves to even. The canvas is
// given as the page drawn at the row's zoom measures.
struct Layout_Row {
    const char *name;
    int dpi;
    const char *mode;
    QSize client; // pixels
    QSizeF canvas; // twips
    const char *expected;
};

inline const Layout_Row Layout_Rows[] = {
        {"fit page worked example", 96, "Fit Pg", {600, 507}, {5625, 6990},
         "zoom 0.473238468; view 9000x7005; canvas 5625x6990 at 1680"},
        {"fit width worked example", 96, "Fit Wd", {800, 640}, {11730, 14565},
         "zoom 0.986952841; view 11745x9000; canvas 11730x14565 at 0; V 11745,600,9000 max 5565 steps 8100/900"},
        {"100 % worked example", 96, "100%", {800, 640}, {11880, 14760},
         "zoom 1; view 11745x9000; canvas 11880x14760 at 0; V 11745,600,9000 max 5760 steps 8100/900; H 0,9600,11745 max 135 steps 10570/1174"},
        {"100 % exactly the page high", 96, "100%", {1000, 1024}, {11880, 14760},
         "zoom 1; view 15000x14760; canvas 11880x14760 at 1560"},
        {"100 % a pixel lower", 96, "100%", {1000, 1023}, {11880, 14760},
         "zoom 1; view 14745x14745; canvas 11880x14760 at 1440; V 14745,600,14745 max 15 steps 13270/1474"},
        {"100 % 15 to spare", 96, "100%", {793, 1024}, {11880, 14760},
         "zoom 1; view 11895x14760; canvas 11880x14760 at 0"},
        {"100 % 30 to spare", 96, "100%", {794, 1024}, {11880, 14760},
         "zoom 1; view 11910x14760; canvas 11880x14760 at 15"},
        {"fit width, page fits", 96, "Fit Wd", {600, 1100}, {9000, 11175},
         "zoom 0.75757575; view 9000x15900; canvas 9000x11175 at 0"},
        {"fit width, narrower zoom hides the bar", 96, "Fit Wd", {800, 1020}, {11730, 14565},
         "zoom 0.986952841; view 11745x14700; canvas 11730x14565 at 0"},
        {"fit page, the width decides", 96, "Fit Pg", {300, 900}, {4485, 5565},
         "zoom 0.377104372; view 4500x12900; canvas 4485x5565 at 0"},
        {"fit page, the height decides", 96, "Fit Pg", {1200, 400}, {4335, 5385},
         "zoom 0.364498645; view 18000x5400; canvas 4335x5385 at 6840"},
        {"fit width at the limit", 96, "Fit Wd", {2400, 1000}, {26370, 32760},
         "zoom 2.22002006; view 35745x14400; canvas 26370x32760 at 4680; V 35745,600,14400 max 18360 steps 12960/1440"},
        {"fit page at the limit", 96, "Fit Pg", {2400, 2600}, {26370, 32760},
         "zoom 2.22002006; view 36000x38400; canvas 26370x32760 at 4815"},
        {"fit page, tiny", 96, "Fit Pg", {60, 50}, {105, 135},
         "zoom 0.00880758837; view 900x150; canvas 105x135 at 390"},
        {"100 %, tiny", 96, "100%", {30, 45}, {11880, 14760},
         "zoom 1; view 195x180; canvas 11880x14760 at 0; V 195,600,180 max 14580 steps 162/18; H 0,780,195 max 11685 steps 175/19"},
        {"fit page tie", 288, "Fit Pg", {301, 489}, {1470, 1825},
         "zoom 0.123644985; view 1505x1845; canvas 1470x1825 at 20"},
        {"fit page above the tie", 288, "Fit Pg", {301, 490}, {1485, 1845},
         "zoom 0.125; view 1505x1850; canvas 1485x1845 at 0"},
        {"100 % worked example", 288, "100%", {2400, 1920}, {11880, 14760},
         "zoom 1; view 11745x9000; canvas 11880x14760 at 0; V 11750,600,9000 max 5760 steps 8100/900; H 0,9605,11745 max 135 steps 10570/1174"},
        {"fit width worked example", 288, "Fit Wd", {2400, 1920}, {11725, 14565},
         "zoom 0.986952841; view 11745x9000; canvas 11725x14565 at 0; V 11750,600,9000 max 5565 steps 8100/900"},
        {"100 % 20 to spare", 288, "100%", {2380, 3072}, {11880, 14760},
         "zoom 1; view 11900x14760; canvas 11880x14760 at 0"},
        {"100 % 25 to spare", 288, "100%", {2381, 3072}, {11880, 14760},
         "zoom 1; view 11905x14760; canvas 11880x14760 at 10"},
        {"fit page worked example", 72, "Fit Pg", {450, 380}, {5620, 6980},
         "zoom 0.472899735; view 9000x7000; canvas 5620x6980 at 1680"},
        {"fit width worked example", 72, "Fit Wd", {600, 480}, {11740, 14580},
         "zoom 0.988215506; view 11760x9000; canvas 11740x14580 at 0; V 11760,600,9000 max 5580 steps 8100/900"},
        {"100 % worked example", 72, "100%", {600, 480}, {11880, 14760},
         "zoom 1; view 11760x9000; canvas 11880x14760 at 0; V 11760,600,9000 max 5760 steps 8100/900; H 0,9600,11760 max 120 steps 10584/1176"},
        {"fit page worked example", 144, "Fit Pg", {900, 760}, {5620, 6980},
         "zoom 0.472899735; view 9000x7000; canvas 5620x6980 at 1690"},
        {"fit width worked example", 144, "Fit Wd", {1200, 960}, {11720, 14560},
         "zoom 0.986531973; view 11740x9000; canvas 11720x14560 at 0; V 11740,600,9000 max 5560 steps 8100/900"},
        {"100 % worked example", 144, "100%", {1200, 960}, {11880, 14760},
         "zoom 1; view 11740x9000; canvas 11880x14760 at 0; V 11740,600,9000 max 5760 steps 8100/900; H 0,9600,11740 max 140 steps 10566/1174"},
        {"100 % both bars", 131, "100%", {1100, 880}, {11882.748, 14762.749},
         "zoom 1; view 11827.7871x9068.70215; canvas 11882.748x14762.749 at 0; V 11827.7871,604.5802,9068.70215 max 5694 steps 8161/906; H 0,9673.2832,11827.7871 max 55 steps 10645/1182"},
        {"fit width both bars", 131, "Fit Wd", {1100, 880}, {11805.8018, 14674.8096},
         "zoom 0.993921459; view 11827.7871x9068.70215; canvas 11805.8018x14674.8096 at 10.9923668; V 11827.7871,604.5802,9068.70215 max 5606 steps 8161/906"},
    // At 100 % a page too wide but not too high takes room for the bottom
    // bar only; at 1440 DPI, a twip to the pixel, the bars' gap and room show.
    {"100 % only too wide", 96, "100%", {700, 1100}, {11880, 14760},
     "zoom 1; view 10500x15645; canvas 11880x14760 at 0; H 0,16245,10500 max 1380 steps 9450/1050"},
    {"100 % both bars, twips as pixels", 1440, "100%", {12000, 10000}, {11880, 14760},
     "zoom 1; view 11744x9400; canvas 11880x14760 at 0; V 11747,600,9400 max 5360 steps 8460/940; "
     "H 0,10003,11744 max 136 steps 10569/1174"},
};
