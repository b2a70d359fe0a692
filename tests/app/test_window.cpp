// The viewer window driven as a user drives it: start-up and the first
// drawing, the three zoom modes and their layout, scrolling, page stepping,
// the zoom limit and an error inside an event. The offscreen screen has
// 96 DPI, so 15 twips to the pixel; a length that is not a whole number of
// pixels becomes the nearest one, and the figures below are worked out for
// that.
#include "captured_stderr.h"
#include "window_fixture.h"

#include "page_build.h"
#include "printing.h"
#include "recording_surface.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QMenu>
#include <QScreen>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QWheelEvent>

#include <cmath>
#include <unistd.h>

namespace {

// The states a Form_Resize finds during Form_Load's Show.
struct Load_Snapshot : QObject {
    bool seen = false;
    Integer loadDone = 1;
    bool zoomEnabled = true, exitEnabled = false, pageBoxEnabled = true, canvasShown = true;
    int drawnBefore = -1;
    frmMain *window = nullptr;

    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Resize && !seen) {
            seen = true;
            loadDone = window->Load_Done;
            zoomEnabled = Button(*window, "100%").Enabled();
            exitEnabled = Button(*window, "Exit").Enabled();
            pageBoxEnabled = window->cboPage.widget()->isEnabled();
            canvasShown = window->picPreview_Box.Visible();
            drawnBefore = window->Build_Page_Calls;
        }
        return false;
    }
};

} // namespace

class Test_Window : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // All worked figures below assume the 96-DPI screen.
        auto probe = New_Window();
        QCOMPARE(Screen.TwipsPerPixelX, 15.0f);
        QCOMPARE(Screen.TwipsPerPixelY, 15.0f);
    }

    void loading_and_ready_states()
    {
        auto window = New_Window();
        Load_Snapshot during;
        during.window = window.get();
        window->installEventFilter(&during);
        window->Load();
        window->removeEventFilter(&during);

        // While loading: the page commands and the page box are off, the
        // canvas hidden, and the first layout draws nothing.
        QVERIFY(during.seen);
        QCOMPARE(during.loadDone, Integer(0));
        QVERIFY(!during.zoomEnabled);
        QVERIFY(during.exitEnabled);
        QVERIFY(!during.pageBoxEnabled);
        QVERIFY(!during.canvasShown);
        QCOMPARE(during.drawnBefore, 0);

        // Ready: everything enabled, "Page 1" the only entry and selected,
        // "100%" pressed, and still nothing drawn until the timer.
        QCOMPARE(window->Load_Done, Integer(-1));
        for (Toolbar_Button &button : window->Toolbar->All())
            QVERIFY2(button.Enabled(), qPrintable(button.Caption));
        QVERIFY(window->cboPage.widget()->isEnabled());
        QCOMPARE(window->cboPage.ListCount(), Integer(1));
        QCOMPARE(window->cboPage.Text(), QStringLiteral("Page 1"));
        QCOMPARE(window->cboPage.ListIndex(), Integer(0));
        QVERIFY(!window->cboPage.box()->isEditable());
        QCOMPARE(Button(*window, "100%").Value(), Integer(1));
        QCOMPARE(Button(*window, "Fit Wd").Value(), Integer(0));
        QVERIFY(window->picPreview_Box.Visible());
        QCOMPARE(window->Build_Page_Calls, 0);
        QVERIFY(window->Timer.isActive());

        // The 23 buttons in their order, "Exit" at the right end with 100 to
        // spare (less the toolbar's one-pixel spacing), the page box on "Current".
        QCOMPARE(window->Toolbar->Count(), 23);
        QCOMPARE(window->Toolbar->Buttons(14).Caption, QStringLiteral("100%"));
        QCOMPARE(window->Toolbar->Buttons(22).Caption, QStringLiteral("Exit_PH"));
        Toolbar_Button &exit = window->Toolbar->Buttons(23);
        QVERIFY(window->Toolbar->widgetForAction(exit.action)->isVisible());
        const Single exitEnd = exit.Left() + exit.Width();
        QVERIFY2(std::abs(exitEnd - (9765 - 100)) <= 30, qPrintable(QString::number(exitEnd)));
        Toolbar_Button &current = Button(*window, "Current");
        QCOMPARE(current.Width(), 1470.0f); // 1365 + 100 = 1465, to the nearest pixel
        QCOMPARE(window->cboPage.Left(), current.Left() + 45); // + 50, to the nearest pixel
        QCOMPARE(window->Toolbar->height(), Px(600));

        // Tooltips say what a button does, not its caption again, and name
        // its shortcut where it has one.
        QVERIFY(Button(*window, "PDF").action->toolTip().contains(QStringLiteral("Ctrl+P")));
        QVERIFY(Button(*window, "100%").action->toolTip().contains(QStringLiteral("Ctrl+0")));
        for (Toolbar_Button &button : window->Toolbar->All()) {
            const QString tip = button.action->toolTip();
            if (button.Style == Button_Style::Default || button.Style == Button_Style::Group)
                QVERIFY2(tip.size() > button.Caption.size() + 8 && !tip.startsWith(button.Caption), qPrintable(tip));
            const QKeySequence keys = button.action->shortcut();
            QVERIFY(keys.isEmpty() || tip.contains(keys.toString(QKeySequence::NativeText)));
        }
        Verify_Captions_Whole(*window);
        QCOMPARE(window->Toolbar->widgetForAction(Button(*window, "Fit Pg").action)->accessibleName(),
                 QStringLiteral("Fit Pg"));
    }

    // Also run on a 320 x 200 screen (test_window_small_screen).
    void first_window_fits_the_screen()
    {
        auto window = Started_Window();
        const QRect room = window->screen()->availableGeometry();
        const QRect frame = window->frameGeometry();
        QVERIFY(room.contains(frame));
        // The design-time client size where it fits, else the whole room.
        const QSize edges = frame.size() - window->size();
        QCOMPARE(frame.size(), (QSize(Px(9765), Px(6285)) + edges).boundedTo(room.size()));
    }

    void narrow_toolbar_keeps_every_command_data()
    {
        QTest::addColumn<int>("width");
        for (const int width : {651, 520, 400, 250, 60})
            QTest::addRow("%d px", width) << width;
    }

    // Every button and the page box is on the toolbar or in its overflow
    // menu, which lists buttons only.
    void narrow_toolbar_keeps_every_command()
    {
        QFETCH(int, width);
        auto window = Started_Window();
        Set_Client(*window, width, 300);
        Tool_Bar *toolbar = window->Toolbar;
        const auto on_toolbar = [toolbar](QWidget *widget) {
            return !widget->isHidden() && toolbar->rect().contains(widget->geometry());
        };

        QMenu *overflow = toolbar->Overflow();
        overflow->popup(QPoint());
        const QList<QAction *> listed = overflow->actions();
        QMenu *pages = nullptr;
        for (QAction *action : listed) {
            QVERIFY2(!action->isSeparator() && !action->text().isEmpty(), qPrintable(action->text()));
            if (action->menu())
                pages = action->menu();
        }
        if (!listed.isEmpty()) {
            QWidget *more = toolbar->findChild<QToolButton *>(QStringLiteral("qt_toolbar_ext_button"));
            QVERIFY(!more->isHidden() && more->isEnabled() && toolbar->rect().contains(more->geometry().center()));
        }
        for (Toolbar_Button &button : toolbar->All())
            if (button.Style == Button_Style::Default || button.Style == Button_Style::Group)
                QVERIFY2(on_toolbar(toolbar->widgetForAction(button.action)) != listed.contains(button.action),
                         qPrintable(button.Caption));

        QComboBox *box = window->cboPage.box();
        QCOMPARE(on_toolbar(box), pages == nullptr);
        if (pages) {
            pages->popup(QPoint());
            QCOMPARE(pages->actions().size(), 1);
            QCOMPARE(pages->actions().first()->text(), QStringLiteral("Page 1"));
            QVERIFY(pages->actions().first()->isChecked());
            pages->close();
        }
        overflow->close();
    }

    void first_drawing_by_the_timer_exactly_once()
    {
        auto window = New_Window();
        window->Load();
        QCOMPARE(window->Build_Page_Calls, 0);
        QTRY_COMPARE_WITH_TIMEOUT(window->Build_Page_Calls, 1, 2000);
        QVERIFY(!window->Timer.isActive());
        QTest::qWait(300);
        QCOMPARE(window->Build_Page_Calls, 1);
        // Drawn at 100 %: the canvas is the sheet, 792 x 984 pixels.
        QCOMPARE(window->picPreview_Box.Width(), 11880.0f);
        QCOMPARE(window->picPreview_Box.Height(), 14760.0f);
    }

    void unload_before_the_tick_draws_nothing()
    {
        auto window = New_Window();
        window->Load();
        window->close();
        QTest::qWait(300);
        QCOMPARE(window->Build_Page_Calls, 0);
    }

    void exit_and_close_box_end_the_program()
    {
        for (const bool closeBox : {false, true}) {
            auto window = Started_Window();
            QTimer::singleShot(0, window.get(), [&] {
                if (closeBox)
                    window->close();
                else
                    Click(*window, "Exit");
            });
            QTimer::singleShot(5000, [] { QCoreApplication::exit(3); }); // the program did not end
            QCOMPARE(QCoreApplication::exec(), 0);
            QVERIFY(!window->isVisible());
        }
    }

    void fit_page_worked_example()
    {
        // Viewport 9000 x 7000: 600 x 466.67 pixels, so 600 x 467, 9000 x 7005.
        //   a = 8980 / 11880 = 0.7559, b = 6985 / 14600 = 0.4784: b not greater,
        //   Zoom = 6985 / 14760 = 0.473238.
        //   Canvas 11880 x 0.473238 = 5622.07 -> 5622 twips = 374.8 px -> 375 px = 5625;
        //          14760 x 0.473238 = 6985    -> 6985 twips = 465.67 px -> 466 px = 6990.
        //   8980 > 5625, so Left = 9000 / 2 - 5625 / 2 = 1687.5 = 112.5 px -> 112 px = 1680.
        auto window = Started_Window();
        Click(*window, "Fit Pg");
        Set_Client(*window, 600, Px(600) + 467);
        QCOMPARE(window->picWindow.Width(), 9000.0f);
        QCOMPARE(window->picWindow.Height(), 7005.0f);
        QCOMPARE(Zoom_Factor, Single(6985) / Single(14760));
        QCOMPARE(window->picPreview_Box.Width(), 5625.0f);
        QCOMPARE(window->picPreview_Box.Height(), 6990.0f);
        QCOMPARE(window->picPreview_Box.Left(), 1680.0f);
        QCOMPARE(window->picPreview_Box.Top(), 0.0f);
        QVERIFY(!window->VScroll.Visible());
        QVERIFY(!window->HScroll.Visible());
    }

    void fit_width_worked_example()
    {
        // Client 12000 x 9000 below the toolbar: 800 x (40 + 600) pixels.
        //   Zoom 12000 / 11880 = 1.0101; 14760 x 1.0101 > 9000: VScroll shows.
        //   The bar is 250 twips = 16.67 px -> 17 px = 255; the viewport
        //   becomes 12000 - 255 - 6 = 11739 = 782.6 px -> 783 px = 11745.
        //   Zoom = (11745 - 20) / 11880 = 11725 / 11880 = 0.986953.
        //   Canvas 11725 twips = 781.67 px -> 782 px = 11730;
        //          14760 x 0.986953 = 14567.4 -> 14567 = 971.13 px -> 971 px = 14565.
        //   11745 - 20 = 11725 is not greater than 11730: Left = 0.
        //   VScroll: Left 11745 + 3 = 11748 = 783.2 px -> 783 px = 11745, Top 600,
        //   Height 9000, Max 14565 - 9000 = 5565, LargeChange Int(9000 - 900) = 8100,
        //   SmallChange 900.
        auto window = Started_Window();
        Click(*window, "Fit Wd");
        Set_Client(*window, 800, Px(600) + 600);
        QCOMPARE(Zoom_Factor, Single(11725) / Single(11880));
        QCOMPARE(window->picWindow.Width(), 11745.0f);
        QCOMPARE(window->picWindow.Height(), 9000.0f);
        QCOMPARE(window->picPreview_Box.Width(), 11730.0f);
        QCOMPARE(window->picPreview_Box.Height(), 14565.0f);
        QCOMPARE(window->picPreview_Box.Left(), 0.0f);
        QVERIFY(window->VScroll.Visible());
        QVERIFY(!window->HScroll.Visible());
        QCOMPARE(window->VScroll.Left(), 11745.0f);
        QCOMPARE(window->VScroll.Top(), 600.0f);
        QCOMPARE(window->VScroll.Height(), 9000.0f);
        QCOMPARE(window->VScroll.Max(), Integer(5565));
        QCOMPARE(window->VScroll.Value(), Integer(0));
        QCOMPARE(window->VScroll.LargeChange(), Integer(8100));
        QCOMPARE(window->VScroll.SmallChange(), Integer(900));
    }

    void hundred_percent_worked_example()
    {
        // Client 12000 x 9000 below the toolbar. First check: VScroll only
        // (14760 > 9000, 11880 <= 12000); the viewport narrows to 11745 (as
        // above); the second check shows HScroll too (11880 > 11745). The
        // viewport keeps its height of 9000, and HScroll goes to
        // 600 + 9000 + 3 = 9603 = 640.2 px -> 640 px = 9600: at the client's
        // bottom edge, outside it. Its length L = 11745: Max 11880 - 11745 = 135,
        // SmallChange Int(1174.5) = 1174, LargeChange Int(10570.5) = 10570.
        auto window = Started_Window();
        Set_Client(*window, 800, Px(600) + 600);
        QCOMPARE(Zoom_Factor, 1.0f);
        QCOMPARE(window->picWindow.Width(), 11745.0f);
        QCOMPARE(window->picWindow.Height(), 9000.0f);
        QVERIFY(window->VScroll.Visible());
        QVERIFY(window->HScroll.Visible());
        QCOMPARE(window->HScroll.Top(), 9600.0f);
        QVERIFY(window->HScroll.Top() >= Twips_Y(window->height()));
        QCOMPARE(window->HScroll.Left(), 0.0f);
        QCOMPARE(window->HScroll.Width(), 11745.0f);
        QCOMPARE(window->HScroll.Max(), Integer(135));
        QCOMPARE(window->HScroll.SmallChange(), Integer(1174));
        QCOMPARE(window->HScroll.LargeChange(), Integer(10570));
        QCOMPARE(window->VScroll.Max(), Integer(14760 - 9000));
        QCOMPARE(window->picPreview_Box.Left(), 0.0f);
    }

    void resize_at_100_percent_only_moves_controls()
    {
        auto window = Started_Window();
        // Scrolled down first: a resize brings the page back to the top.
        window->VScroll.Set_Value(1500);
        QCOMPARE(window->picPreview_Box.Top(), -1500.0f);
        for (const QSize size : {QSize(900, 700), QSize(1000, 1100), QSize(300, 200), QSize(651, 419)}) {
            Set_Client(*window, size.width(), size.height());
            QCOMPARE(window->picPreview_Box.Top(), 0.0f);
        }
        QCOMPARE(window->Build_Page_Calls, 1);

        // Wide and tall enough: no bar, the canvas centred.
        Set_Client(*window, 1000, Px(600) + 1000);
        QVERIFY(!window->VScroll.Visible());
        QVERIFY(!window->HScroll.Visible());
        QCOMPARE(window->picPreview_Box.Left(), (15000.0f / 2 - 11880.0f / 2));
        // 14760 high exactly: the strict test shows no bar.
        Set_Client(*window, 1000, Px(600) + 984);
        QVERIFY(!window->VScroll.Visible());
        QCOMPARE(window->Build_Page_Calls, 1);

        // A resize in a fit mode redraws once per new zoom.
        Click(*window, "Fit Wd");
        QCOMPARE(window->Build_Page_Calls, 2);
        Set_Client(*window, 700, 500);
        QCOMPARE(window->Build_Page_Calls, 3);
    }

    void fit_page_never_shows_a_bar()
    {
        auto window = Started_Window();
        Click(*window, "Fit Pg");
        for (const QSize size : {QSize(300, 900), QSize(1200, 200), QSize(60, 50), QSize(651, 419)}) {
            Set_Client(*window, size.width(), size.height());
            QVERIFY(!window->VScroll.Visible());
            QVERIFY(!window->HScroll.Visible());
            QCOMPARE(window->picPreview_Box.Top(), 0.0f);
            // The whole width is in view, 20 to spare.
            QVERIFY(window->picPreview_Box.Width() <= window->picWindow.Width() - 20 + 15);
        }
        // Tall: the width decides and the canvas sits at the top with room below.
        Set_Client(*window, 300, 900);
        QCOMPARE(Zoom_Factor, (window->picWindow.Width() - 20) / 11880);
        // Wide: the height decides, about 20 of viewport left below the page.
        Set_Client(*window, 1200, 400);
        QCOMPARE(Zoom_Factor, (window->picWindow.Height() - 20) / 14760);
        QVERIFY(std::abs(window->picWindow.Height() - window->picPreview_Box.Height() - 20) <= 15);
    }

    void zoom_buttons_press_one_and_redraw_only_on_change()
    {
        auto window = Started_Window();
        Click(*window, "100%"); // already pressed
        QCOMPARE(window->Build_Page_Calls, 1);
        QCOMPARE(Button(*window, "100%").Value(), Integer(1));

        Click(*window, "Fit Wd");
        QCOMPARE(window->Build_Page_Calls, 2);
        QCOMPARE(Button(*window, "Fit Wd").Value(), Integer(1));
        QCOMPARE(Button(*window, "100%").Value(), Integer(0));
        Click(*window, "Fit Wd");
        QCOMPARE(window->Build_Page_Calls, 2);

        Click(*window, "Fit Pg");
        QCOMPARE(window->Build_Page_Calls, 3);
        int pressed = 0;
        for (const char *caption : {"100%", "Fit Wd", "Fit Pg"})
            pressed += Button(*window, caption).Value();
        QCOMPARE(pressed, 1);

        Click(*window, "100%");
        QCOMPARE(Zoom_Factor, 1.0f);
        QCOMPARE(window->Build_Page_Calls, 4);
        QCOMPARE(Button(*window, "Fit Pg").Value(), Integer(0));
    }

    void captions_are_compared_exactly()
    {
        auto window = Started_Window();
        // "Fit Pg" pressed without its click: only a matching caption lays out.
        Button(*window, "Fit Pg").action->setChecked(true);
        for (const char *near : {"Fit pg", "FIT PG", "Fit Pg ", "100 %"}) {
            Toolbar_Button fake = Button(*window, "Fit Pg");
            fake.Caption = QString::fromLatin1(near);
            window->Toolbar_ButtonClick(fake);
            QCOMPARE(Zoom_Factor, 1.0f);
        }
        for (const char *idle : {"New", "Open", "Edit", "Help"})
            window->Toolbar_ButtonClick(Button(*window, idle));
        QCOMPARE(Zoom_Factor, 1.0f);
        QCOMPARE(window->Build_Page_Calls, 1);
        QVERIFY(window->isVisible());

        window->Toolbar_ButtonClick(Button(*window, "Fit Pg"));
        QVERIFY(Zoom_Factor < 1.0f);
        QCOMPARE(window->Build_Page_Calls, 2);
    }

    void ctrl_0_presses_100_percent()
    {
        auto window = Started_Window();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        Click(*window, "Fit Pg");
        QCOMPARE(window->Build_Page_Calls, 2);
        QTest::keyClick(window.get(), Qt::Key_0, Qt::ControlModifier);
        QCOMPARE(Button(*window, "100%").Value(), Integer(1));
        QCOMPARE(Zoom_Factor, 1.0f);
        QCOMPARE(window->Build_Page_Calls, 3);
    }

    void scrolling_moves_the_canvas_and_draws_nothing()
    {
        auto window = Started_Window();
        // 100 % at the start-up size: both bars.
        Scroll_Bar &v = window->VScroll;
        QVERIFY(v.Visible());
        const Integer small = v.SmallChange(), large = v.LargeChange();
        QVERIFY(small > 0 && large > small);

        // An arrow click, a click in the track.
        v.bar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QCOMPARE(v.Value(), small);
        QCOMPARE(window->picPreview_Box.Top(), Twips_Y(Pixels_Y(-small)));
        v.bar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
        QCOMPARE(v.Value(), Integer(small + large));
        QCOMPARE(window->picPreview_Box.Top(), Twips_Y(Pixels_Y(-(small + large))));

        // The bar stops at Max, with the page's bottom on the viewport's bottom.
        v.bar()->triggerAction(QAbstractSlider::SliderToMaximum);
        QCOMPARE(v.Value(), v.Max());
        QCOMPARE(window->picPreview_Box.Top() + window->picPreview_Box.Height(), window->picWindow.Height());

        // A drag moves the page only when the thumb is let go.
        v.bar()->triggerAction(QAbstractSlider::SliderToMinimum);
        QCOMPARE(window->picPreview_Box.Top(), 0.0f);
        v.bar()->setSliderDown(true);
        v.bar()->setSliderPosition(2000);
        QCOMPARE(window->picPreview_Box.Top(), 0.0f);
        v.bar()->setSliderDown(false);
        QCOMPARE(v.Value(), Integer(2000));
        QCOMPARE(window->picPreview_Box.Top(), Twips_Y(Pixels_Y(-2000)));

        // The wheel over the page: SmallChange per notch; Shift: across.
        v.Set_Value(0);
        QWidget *viewport = window->picWindow.widget();
        const QPointF at(viewport->width() / 2.0, viewport->height() / 2.0);
        QWheelEvent down(at, viewport->mapToGlobal(at), QPoint(), QPoint(0, -240), Qt::NoButton, Qt::NoModifier,
                         Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(viewport, &down);
        QCOMPARE(v.Value(), Integer(2 * small));
        QWheelEvent across(at, viewport->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                           Qt::ShiftModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(viewport, &across);
        QCOMPARE(window->HScroll.Value(), window->HScroll.SmallChange());
        QCOMPARE(window->picPreview_Box.Left(), Twips_X(Pixels_X(-window->HScroll.SmallChange())));
        QCOMPARE(v.Value(), Integer(2 * small));

        // Keys on the canvas area, which has the focus from the start.
        QCOMPARE(QApplication::focusWidget(), viewport);
        QTest::keyClick(viewport, Qt::Key_PageDown);
        QCOMPARE(v.Value(), Integer(2 * small + large));
        QTest::keyClick(viewport, Qt::Key_End);
        QCOMPARE(v.Value(), v.Max());
        QTest::keyClick(viewport, Qt::Key_Up);
        QCOMPARE(v.Value(), Integer(v.Max() - small));
        QTest::keyClick(viewport, Qt::Key_Home);
        QCOMPARE(v.Value(), Integer(0));
        QCOMPARE(window->picPreview_Box.Top(), 0.0f);

        QCOMPARE(window->Build_Page_Calls, 1);
    }

    void prev_and_next_on_one_entry_do_nothing()
    {
        auto window = Started_Window();
        Click(*window, "Prev");
        Click(*window, "Next");
        QCOMPARE(window->cboPage.ListIndex(), Integer(0));
        QCOMPARE(window->cboPage.Text(), QStringLiteral("Page 1"));
        QCOMPARE(window->Build_Page_Calls, 1);

        // Nothing selected: "Prev" leaves it so, "Next" selects the first entry,
        // and the page follows the box.
        window->cboPage.Set_ListIndex(-1);
        Click(*window, "Prev");
        QCOMPARE(window->cboPage.ListIndex(), Integer(-1));
        Click(*window, "Next");
        QCOMPARE(window->cboPage.ListIndex(), Integer(0));
        QVERIFY(window->Build_Page_Calls > 1);
    }

    void zoom_is_held_at_the_limit_on_a_very_wide_window()
    {
        // The limit is the largest Single at which the canvas height fits.
        const Single limit = Zoom_Limit();
        QVERIFY(std::abs(limit - 2.22002f) < 1e-5f);
        Zoom_Factor = limit;
        QCOMPARE(Scale_Value(14760), Integer(32767));
        Zoom_Factor = std::nextafter(limit, 3.0f);
        QVERIFY_THROWS_EXCEPTION(RuntimeError, Scale_Value(14760));
        // Every other value of the page fits at the limit too.
        Recording_Surface recorder;
        OutputTarget = &recorder;
        Zoom_Factor = limit;
        Build_Page();
        QCOMPARE(recorder.Height(), 32767.0f);

        auto window = Started_Window();
        Click(*window, "Fit Wd");
        // 2400 px = 36000 twips wide: W / 11880 = 3.03, far above the limit.
        Set_Client(*window, 2400, 1000);
        QCOMPARE(Zoom_Factor, limit);
        QCOMPARE(window->Build_Page_Calls, 3);
        // Canvas 26374 x 32767 twips -> 1758 x 2184 px; centred by the ordinary rule.
        QCOMPARE(window->picPreview_Box.Width(), Twips_X(1758));
        QCOMPARE(window->picPreview_Box.Height(), Twips_Y(2184));
        const Single centred = window->picWindow.Width() / 2 - window->picPreview_Box.Width() / 2;
        QCOMPARE(window->picPreview_Box.Left(), Twips_X(Pixels_X(centred)));
        QVERIFY(window->VScroll.Visible());
        QCOMPARE(window->VScroll.Max(), Integer(Twips_Y(2184) - window->VScroll.Height()));

        // Fit page on a huge window is held there as well.
        Click(*window, "Fit Pg");
        Set_Client(*window, 2400, 2600);
        QCOMPARE(Zoom_Factor, limit);

        // Below the limit the formula stands as it is.
        Click(*window, "Fit Wd");
        Set_Client(*window, 1700, Px(600) + 2500);
        QCOMPARE(Zoom_Factor, Single(25500) / Single(11880));
    }

    void error_in_a_handler_leaves_the_window_working()
    {
        auto window = Started_Window();
        const Single width = window->picPreview_Box.Width();

        // A second entry and a zoom far beyond the limit: the page change
        // handler's drawing overflows.
        window->cboPage.AddItem(QStringLiteral("Page 2"));
        Zoom_Factor = 100;
        Captured_Stderr capture;
        window->cboPage.Set_ListIndex(1);
        const QString said = capture.Release();
        QCOMPARE(said.count(QLatin1Char('\n')), 1);
        QVERIFY2(said.contains(QStringLiteral("Overflow")) && said.contains(QStringLiteral("cboPage_Change")),
                 qPrintable(said));

        // The last finished page stays on screen, and the window goes on.
        QCOMPARE(window->picPreview_Box.Width(), width);
        QVERIFY(window->isVisible());
        Click(*window, "Fit Pg");
        QVERIFY(Zoom_Factor > 0 && Zoom_Factor < 1);
        QCOMPARE(window->picPreview_Box.Height(), Twips_Y(Pixels_Y(Single(Scale_Value(14760)))));
        QVERIFY(!window->VScroll.Visible());
    }

    // A print in "Fit Pg", done, failed or cancelled, leaves the page as
    // fitted, and "100%" then draws it at 100 %.
    void print_then_100_percent_data()
    {
        QTest::addColumn<QString>("file"); // none: the dialog is cancelled
        QTest::addColumn<int>("failures");
        QTest::newRow("done") << "page.pdf" << 0;
        QTest::newRow("failed") << "missing/page.pdf" << 1;
        QTest::newRow("cancelled") << "" << 0;
    }
    void print_then_100_percent()
    {
        QFETCH(QString, file);
        QFETCH(int, failures);
        QTemporaryDir dir;
        auto window = Started_Window();
        Click(*window, "Fit Pg");
        const Single fitted = Zoom_Factor;
        Set_Printer_Dialog([&](QPrinter &printer, QWidget *) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(dir.filePath(file));
            return !file.isEmpty();
        });
        int reported = 0;
        Set_Print_Failure_Report([&](QWidget *, const QString &) { ++reported; });
        Click(*window, "PDF");
        Set_Printer_Dialog();
        Set_Print_Failure_Report();

        QCOMPARE(reported, failures);
        QCOMPARE(Zoom_Factor, fitted);
        Click(*window, "100%");
        QCOMPARE(Zoom_Factor, Single(1));
        QCOMPARE(window->picPreview.Pixel_Size(), QSize(792, 984));
    }
};

QTEST_MAIN(Test_Window)
#include "test_window.moc"
