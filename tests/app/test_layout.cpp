// The window's zoom and layout arithmetic by table, without a window: for
// each zoom mode, client size and screen, the zoom, the viewport, where the
// canvas sits and every scroll bar shown with its range and steps.
#include "layout_rows.h"

#include <QTest>

namespace {

Zoom_Mode Mode_Of(const QString &caption)
{
    return caption == QLatin1String("100%")     ? Zoom_Mode::Actual_Size
           : caption == QLatin1String("Fit Wd") ? Zoom_Mode::Fit_Width
                                                : Zoom_Mode::Fit_Page;
}

} // namespace

class Test_Layout : public QObject {
    Q_OBJECT

private slots:
    void layout_data()
    {
        QTest::addColumn<int>("row");
        for (int i = 0; i < int(std::size(Layout_Rows)); ++i)
            QTest::addRow("%d dpi: %s", Layout_Rows[i].dpi, Layout_Rows[i].name) << i;
    }
    void layout()
    {
        QFETCH(int, row);
        const Layout_Row &r = Layout_Rows[row];
        const Screen_Metrics screen = Screen_Metrics::Of_Dpi(r.dpi, r.dpi);
        const Zoom_Layout zoom = Lay_Out_Zoom(screen, r.client, Mode_Of(QLatin1String(r.mode)));
        const Window_Layout layout = Lay_Out(screen, r.client, zoom, r.canvas);
        QCOMPARE(Line_Of(layout), QLatin1String(r.expected));
        // The canvas hangs from the viewport's top; the toolbar spans the
        // client area's width, the viewport lies right below it.
        QCOMPARE(layout.canvas.top(), 0.0);
        QCOMPARE(layout.toolbar, QRectF(0, 0, screen.Twips_X(r.client.width()), zoom.viewport.top()));
        QCOMPARE(zoom.viewport.left(), 0.0);
    }
};

QTEST_APPLESS_MAIN(Test_Layout)
#include "test_layout.moc"
