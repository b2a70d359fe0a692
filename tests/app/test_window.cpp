// The viewer window driven as a user drives it: start-up, the layout of the
// three zoom modes as a table of window sizes and what each must give,
// redrawing only on a change of zoom, scrolling, page stepping, an error
// inside an event, the toolbar on narrow windows and small screens, and the
// canvas on high-density screens. ctest runs it on a 96-DPI screen (15 twips
// to the pixel), on 72-, 144-, 288- and 131-DPI ones (20, 10, 5 and 10.99
// twips, where a twip more or less shows), the page's text from 48 to 400
// DPI, at device pixel ratios 2 and 1.5, and on a 320 x 200 screen.
#include "frm_main.h"
#include "layout_rows.h"
#include "page_build.h"
#include "page_text.h"
#include "print_command.h"
#include "printed_page.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QToolTip>
#include <QPrinter>
#include <QPainter>
#include <QSet>
#include <QCoreApplication>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryFile>
#include <QTest>
#include <QThreadPool>
#include <QMenu>
#include <QScreen>
#include <QTemporaryDir>
#include <QToolButton>
#include <QWheelEvent>

#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <unistd.h>

namespace {

// How long a wait for something that must come may take on a loaded machine
// under memcheck: only a fault reaches it.
constexpr int Patience_Ms = 60000;

// A fresh program, as at the start of a run, loaded and (unless `drawn` is
// false) past the timer's first drawing.
std::unique_ptr<frmMain> Started_Window(bool drawn = true)
{
    auto window = std::make_unique<frmMain>();
    window->Load();
    if (drawn && !QTest::qWaitFor([&] { return window->Build_Page_Calls == 1; }, Patience_Ms))
        qWarning("the first drawing did not come");
    return window;
}

Toolbar_Button &Button(frmMain &window, const char *caption)
{
    for (Toolbar_Button &button : window.Toolbar->All())
        if (button.Caption == QLatin1String(caption))
            return button;
    qFatal("no button %s", caption);
}

// A mouse click on the button as the toolbar shows it.
void Click(frmMain &window, const char *caption)
{
    QTest::mouseClick(window.Toolbar->widgetForAction(Button(window, caption).action), Qt::LeftButton);
    QCoreApplication::processEvents();
}

// The client area in pixels; Qt delivers the resize, and Form_Resize runs.
void Set_Client(frmMain &window, int width, int height)
{
    window.resize(width, height);
    QCoreApplication::processEvents();
}

// What `work` writes to stderr.
QString Stderr_Of(const std::function<void()> &work)
{
    QTemporaryFile file;
    file.open();
    std::fflush(stderr);
    const int saved = dup(2);
    dup2(file.handle(), 2);
    work();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    file.seek(0);
    return QString::fromLocal8Bit(file.readAll());
}

// The layout the window shows: its zoom, viewport, canvas and bars, in twips.
Window_Layout Placed(frmMain &window)
{
    const auto bar = [](Scroll_Bar &bar) {
        return Bar_Layout{bar.Visible(), QRectF(bar.Left(), bar.Top(), bar.Width(), bar.Height()), bar.Max(),
                          bar.LargeChange(), bar.SmallChange()};
    };
    Control &view = window.picWindow, &canvas = window.picPreview_Box;
    return {{window.Zoom_Factor, QRectF(view.Left(), view.Top(), view.Width(), view.Height())},
            {},
            QRectF(canvas.Left(), canvas.Top(), canvas.Width(), canvas.Height()),
            bar(window.VScroll),
            bar(window.HScroll)};
}

// The start-up state in one line: Load_Done, drawings, canvas and page box
// shown and enabled, the buttons that are off.
QString State_Of(frmMain &window)
{
    QStringList off;
    for (Toolbar_Button &button : window.Toolbar->All())
        if (!button.Enabled())
            off << button.Caption;
    return QStringLiteral("done %1, drawn %2, canvas %3, page box %4 %5, off: %6")
        .arg(window.Load_Done)
        .arg(window.Build_Page_Calls)
        .arg(window.picPreview_Box.Visible())
        .arg(window.cboPage.widget()->isEnabled())
        .arg(window.cboPage.box()->itemText(0) + QString::number(window.cboPage.ListCount()), off.join(u','));
}

// The state the first Form_Resize finds, while Form_Load shows the window.
struct Load_Snapshot : QObject {
    QString seen;
    frmMain *window = nullptr;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Resize && seen.isEmpty())
            seen = State_Of(*window);
        return false;
    }
};

} // namespace

class Test_Window : public QObject {
    Q_OBJECT

    std::unique_ptr<frmMain> layoutWindow_; // one window for all rows of the layout table

private slots:
    // The raster engine's worker threads (Qt's global pool) are ended here,
    // while the application still stands, not by its destructor after the
    // GUI is gone: memcheck then finds nothing held by a thread that outlived it.
    void cleanupTestCase()
    {
        layoutWindow_.reset();
        QThreadPool::globalInstance()->waitForDone();
    }

    void start_up()
    {
        Load_Snapshot during;
        auto window = std::make_unique<frmMain>();
        during.window = window.get();
        window->installEventFilter(&during);
        window->Load();
        window->removeEventFilter(&during);
        // Loading: the page commands and the page box off, the canvas hidden,
        // nothing drawn; ready: everything on, "Page 1" the only entry, and
        // the page drawn once, by the timer (at 100 %, "Page 1" chosen: in
        // the reviewed record test_access compares with).
        QCOMPARE(during.seen, QStringLiteral("done 0, drawn 0, canvas 0, page box 0 Paint_Grid2, "
                                             "off: Save,Edit,100%,Fit Wd,Fit Pg,Prev,Next"));
        QCOMPARE(State_Of(*window), QStringLiteral("done -1, drawn 0, canvas 1, page box 1 Page 11, off: "));
        QTRY_COMPARE_WITH_TIMEOUT(window->Build_Page_Calls, 1, Patience_Ms);
        QVERIFY(!window->Timer.isActive()); // it never draws again
        QTRY_COMPARE_WITH_TIMEOUT(window->windowIcon().availableSizes().size(), 8, Patience_Ms); // after the page
        // The sheet (the page text's twips) on the canvas, at this screen's density.
        QCOMPARE(window->On_Canvas(QRectF(0, 0, Sheet_Width, Sheet_Height)).toRect().size(), window->picPreview.Pixel_Size());

        // The 23 buttons in order; "Exit" ends 100 short of the right edge
        // (less the toolbar's spacing); the page box 50 into "Current".
        QStringList captions;
        for (Toolbar_Button &button : window->Toolbar->All())
            captions << button.Caption;
        QCOMPARE(captions.join(u','), QStringLiteral(",New,,Open,Save,,PDF,,Edit,,Help,sep,,100%,Fit Wd,Fit Pg,,"
                                                     "sep,Prev,Current,Next,Exit_PH,Exit"));
        Toolbar_Button &exit = Button(*window, "Exit"), &current = Button(*window, "Current");
        const Screen_Metrics &screen = window->Screen_Of();
        QVERIFY(std::abs(exit.Left() + exit.Width() - (screen.Twips_X(window->Toolbar->width()) - 100)) <= 30);
        QCOMPARE(current.Width(), screen.Twips_X(screen.Pixels_X(1365 + 100)));
        QCOMPARE(window->cboPage.Left(), screen.Twips_X(screen.Pixels_X(current.Left() + 50)));
        QCOMPARE(window->Toolbar->height(), screen.Pixels_Y(600));
    }

    // "Exit" and the close box end the program; closed before the timer's
    // tick, the page is never drawn.
    void ending()
    {
        auto early = Started_Window(false);
        early->close();
        QVERIFY(!early->Timer.isActive());
        QCOMPARE(early->Build_Page_Calls, 0);
        for (const bool closeBox : {false, true}) {
            auto window = Started_Window();
            QTimer::singleShot(0, window.get(), [&] { closeBox ? (void)window->close() : Click(*window, "Exit"); });
            QObject session; // its end cancels the guard, which must not reach a later loop
            QTimer::singleShot(Patience_Ms, &session, [] { QCoreApplication::exit(3); }); // the program did not end
            QCOMPARE(QCoreApplication::exec(), 0);
        }
    }

    // The window placed as its layout says, on every row of test_layout's
    // table for this screen's density: the canvas as drawn and both bars as
    // ranged.
    void layout_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QSize>("client");
        QTest::addColumn<QString>("expected");
        const int dpi = int(QGuiApplication::primaryScreen()->logicalDotsPerInchY());
        for (const Layout_Row &row : Layout_Rows)
            if (row.dpi == dpi)
                QTest::newRow(row.name) << QString(row.mode) << row.client << QString(row.expected);
    }
    void layout()
    {
        QFETCH(QString, mode);
        QFETCH(QSize, client);
        QFETCH(QString, expected);
        if (!layoutWindow_)
            layoutWindow_ = Started_Window();
        frmMain &window = *layoutWindow_;
        Button(window, qPrintable(mode)).action->trigger();
        Set_Client(window, client.width(), client.height());
        QCOMPARE(Line_Of(Placed(window)), expected);
        QCOMPARE(window.picPreview_Box.Top(), 0.0f);
    }

    void redraws_only_when_the_zoom_changes()
    {
        auto window = Started_Window();
        // A minimized window is left alone; restored, it is laid out.
        window->setWindowState(Qt::WindowMinimized);
        Button(*window, "Fit Pg").action->setChecked(true);
        window->Form_Resize();
        QCOMPARE(window->Zoom_Factor, 1.0f);
        window->setWindowState(Qt::WindowNoState);
        window->Form_Resize();
        // Only the exact caption of a zoom button lays out; the idle buttons do nothing.
        Button(*window, "100%").action->setChecked(true);
        for (const char *near : {"100 %", "Fit pg", "FIT PG", "Fit Pg "}) {
            Toolbar_Button fake = Button(*window, "Fit Pg");
            fake.Caption = QString::fromLatin1(near);
            window->Toolbar_ButtonClick(fake);
        }
        for (const char *idle : {"New", "Open", "Edit", "Help"})
            window->Toolbar_ButtonClick(Button(*window, idle));
        QVERIFY(window->Zoom_Factor < 1);

        // One drawing for each new zoom, none for the same one again or for
        // a resize at 100 %, one for a resize in a fit mode; Ctrl+0 is "100%".
        const auto step = [&](auto &&action, int drawings) {
            const int before = window->Build_Page_Calls;
            action();
            QCOMPARE(window->Build_Page_Calls - before, drawings);
            QCOMPARE(Button(*window, "100%").Value() + Button(*window, "Fit Wd").Value() + Button(*window, "Fit Pg").Value(), 1);
        };
        for (const auto &[press, drawings] : {std::pair{"100%", 1}, {"100%", 0}, {"Fit Wd", 1}, {"Fit Wd", 0}, {"Fit Pg", 1},
                                              {"100%", 1}})
            step([&] { Click(*window, press); }, drawings);
        step([&] { Set_Client(*window, 900, 700), Set_Client(*window, 300, 200); }, 0);
        step([&] { Click(*window, "Fit Wd"), Set_Client(*window, 700, 500); }, 2);
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get(), Patience_Ms));
        step([&] { QTest::keyClick(window.get(), Qt::Key_0, Qt::ControlModifier); }, 1);
        QCOMPARE(Button(*window, "100%").Value(), Integer(1));
    }

    void scrolling_moves_the_canvas_and_draws_nothing()
    {
        auto window = Started_Window();
        const Screen_Metrics &screen = window->Screen_Of();
        Set_Client(*window, 700, 440); // both bars
        Scroll_Bar &v = window->VScroll;
        QWidget *viewport = window->picWindow.widget();
        const int small = v.SmallChange(), large = v.LargeChange();
        // Each action and where the page's top then is, by the bar's value:
        // arrow, track, the end (the page's bottom on the viewport's), a drag
        // that moves the page only when the thumb is let go, the wheel (two
        // notches, then one across with Shift) and keys on the page.
        int across = -1; // the horizontal bar's value after the wheel with Shift, less its SmallChange
        const auto wheel = [&](Qt::KeyboardModifiers modifiers, int notches) {
            const QPointF centre(100, 100);
            QWheelEvent event(centre, viewport->mapToGlobal(centre), {}, QPoint(0, 120 * notches), Qt::NoButton,
                              modifiers, Qt::NoScrollPhase, false);
            QCoreApplication::sendEvent(viewport, &event);
            across = window->HScroll.Value() - window->HScroll.SmallChange();
        };
        const std::pair<std::function<void()>, int> steps[] = {
            {[&] { v.bar()->triggerAction(QAbstractSlider::SliderSingleStepAdd); }, small},
            {[&] { v.bar()->triggerAction(QAbstractSlider::SliderPageStepAdd); }, small + large},
            {[&] { v.bar()->triggerAction(QAbstractSlider::SliderToMaximum); }, v.Max()},
            {[&] { v.bar()->setSliderDown(true), v.bar()->setSliderPosition(2000); }, v.Max()},
            {[&] { v.bar()->setSliderDown(false); }, 2000},
            {[&] { v.Set_Value(0), wheel(Qt::NoModifier, -2), wheel(Qt::ShiftModifier, -1); }, 2 * small},
            {[&] { QTest::keyClick(viewport, Qt::Key_PageDown); }, 2 * small + large},
            {[&] { QTest::keyClick(viewport, Qt::Key_End); }, v.Max()},
            {[&] { QTest::keyClick(viewport, Qt::Key_Up); }, v.Max() - small},
            // F7: the arrows move the caret, and its line comes into view
            // with a line's room (the first line's top is 22 pixels down the
            // page, 12 high); F7 again: they scroll.
            {[&] { QTest::keyClick(viewport, Qt::Key_F7), QTest::keyClick(viewport, Qt::Key_End, Qt::ControlModifier),
                   QTest::keyClick(viewport, Qt::Key_Up), QTest::keyClick(viewport, Qt::Key_Home, Qt::ControlModifier); }, 10 * 15},
            {[&] { QTest::keyClick(viewport, Qt::Key_Down); }, 10 * 15},
            {[&] { QTest::keyClick(viewport, Qt::Key_F7), QTest::keyClick(viewport, Qt::Key_Down); }, 10 * 15 + small},
            {[&] { QTest::keyClick(viewport, Qt::Key_Home); }, 0},
            {[&] { v.Set_Value(1500), Set_Client(*window, 701, 440); }, 0}, // a layout: back at the top
        };
        for (const auto &[action, value] : steps) {
            action();
            QCOMPARE(window->picPreview_Box.Top(), screen.Twips_Y(screen.Pixels_Y(Single(-value))));
        }
        QCOMPARE(across, 0);
        QCOMPARE(window->Caret(), The_Page_Text().text.indexOf(u'\n') + 1);
        QCOMPARE(QApplication::focusWidget(), viewport);
        // The viewport with the focus shows it, as a frame over the page.
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get(), Patience_Ms));
        QCOMPARE(viewport->grab().toImage().pixel(1, 1), viewport->palette().color(QPalette::Highlight).rgb());
        QCOMPARE(window->Build_Page_Calls, 1);
    }

    void prev_and_next_step_through_the_page_box()
    {
        // On the only page, they say there is no other and draw nothing: in
        // the reviewed record test_access compares with. Nothing selected:
        // "Prev" leaves it so, "Next" selects the first entry, and the page
        // follows the box.
        auto window = Started_Window();
        window->cboPage.Set_ListIndex(-1);
        Click(*window, "Prev");
        QCOMPARE(window->cboPage.ListIndex(), Integer(-1));
        Click(*window, "Next");
        QCOMPARE(window->cboPage.ListIndex(), Integer(0));
        QVERIFY(window->Build_Page_Calls > 1);
    }

    void error_in_a_handler_leaves_the_window_working()
    {
        auto window = Started_Window();
        const Single width = window->picPreview_Box.Width();
        // A second entry and a zoom far beyond the limit: the page box's
        // drawing overflows.
        window->cboPage.AddItem(QStringLiteral("Page 2"));
        window->Zoom_Factor = 100;
        const QString said = Stderr_Of([&] { window->cboPage.Set_ListIndex(1); });
        QCOMPARE(said.count(u'\n'), 1);
        QVERIFY2(said.contains(QStringLiteral("Overflow")) && said.contains(QStringLiteral("cboPage_Change")),
                 qPrintable(said));
        // The last finished page stays on screen, and the window goes on.
        QCOMPARE(window->picPreview_Box.Width(), width);
        Click(*window, "Fit Pg");
        QVERIFY(window->Zoom_Factor > 0 && window->Zoom_Factor < 1);
        const Screen_Metrics &screen = window->Screen_Of();
        QCOMPARE(window->picPreview_Box.Height(), screen.Twips_Y(screen.Pixels_Y(Scale_Value(14760, window->Zoom_Factor))));
    }

    // "PDF" pressed again while the command runs, in its dialog or while its
    // failure is told (as a person pressing twice, or a screen reader's
    // press on the bus, which passes the dialog's modality): it does not
    // run underneath itself, the first run ends whole and alone, and the
    // next press runs it again.
    void print_pressed_again_runs_once_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("whileTold"); // pressed while the failure is told, not in the dialog
        for (const char *how : {"accessible action", "shortcut", "mouse"}) {
            QTest::addRow("%s in the dialog", how) << how << false;
            QTest::addRow("%s while told", how) << how << true;
        }
    }
    void print_pressed_again_runs_once()
    {
        QFETCH(QString, how);
        QFETCH(bool, whileTold);
        QTemporaryDir dir;
        auto window = Started_Window();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get(), Patience_Ms));
        QWidget *button = window->Toolbar->widgetForAction(Button(*window, "PDF").action);
        const auto press = [&] {
            if (how == QLatin1String("accessible action")) {
                QAccessibleInterface *pressed = QAccessible::queryAccessibleInterface(button);
                QVERIFY(pressed && pressed->actionInterface());
                pressed->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
            } else if (how == QLatin1String("shortcut")) {
                QTest::keyClick(window.get(), Qt::Key_P, Qt::ControlModifier);
            } else {
                Click(*window, "PDF");
            }
        };
        // The file is written, or (while told) its folder is missing.
        const QString file = dir.filePath(whileTold ? QStringLiteral("missing/page.pdf") : QStringLiteral("page.pdf"));
        int dialogs = 0, told = 0;
        Set_Printer_Dialog([&](QPrinter &printer, QWidget *) {
            if (++dialogs == 1 && !whileTold)
                press();
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(file);
            return dialogs == 1; // a second dialog would be cancelled, as with Escape
        });
        Set_Print_Failure_Report([&](QWidget *, const QString &) {
            if (++told == 1 && whileTold)
                press();
        });
        Click(*window, "PDF");
        QCOMPARE(dialogs, 1);
        QCOMPARE(told, whileTold ? 1 : 0);
        QCOMPARE(QFile::exists(file), !whileTold);
        Click(*window, "PDF"); // the command is free again
        Set_Printer_Dialog();
        Set_Print_Failure_Report();
        QCOMPARE(dialogs, 2);
    }

    // The caret keys where a screen reader heard nothing or too little: at
    // the page's ends, where the caret goes no further, the end is said;
    // Ctrl+End reads the line it lands on; a move inside the text says
    // nothing beyond the move. (Up and Down at the ends and Ctrl+Home are in
    // the reviewed record test_access compares with.)
    void caret_keys_say_the_ends_data()
    {
        QTest::addColumn<int>("from"); // -1: the last offset of the text
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("ctrl");
        QTest::addColumn<QString>("said");
        QTest::newRow("Left at the start") << 0 << int(Qt::Key_Left) << false << "Top of the page";
        QTest::newRow("Ctrl+Left at the start") << 0 << int(Qt::Key_Left) << true << "Top of the page";
        QTest::newRow("Right at the end") << -1 << int(Qt::Key_Right) << false << "End of the page";
        QTest::newRow("Ctrl+End") << 0 << int(Qt::Key_End) << true << "APPROVED BY";
        QTest::newRow("Left inside") << 1 << int(Qt::Key_Left) << false << "";
        QTest::newRow("Home at a line's start") << 0 << int(Qt::Key_Home) << false << "";
    }
    void caret_keys_say_the_ends()
    {
        QFETCH(int, from);
        QFETCH(int, key);
        QFETCH(bool, ctrl);
        QFETCH(QString, said);
        auto window = Started_Window();
        QWidget *viewport = window->picWindow.widget();
        if (!window->Caret_Keys())
            QTest::keyClick(viewport, Qt::Key_F7);
        QVERIFY(window->Caret_Keys());
        window->Set_Caret(from >= 0 ? from : int(The_Page_Text().text.size()) - 1);
        QStringList heard;
        Hear_Said([&](const QString &message) { heard << message; });
        const auto deaf = qScopeGuard([] { Hear_Said(); });
        QTest::keyClick(viewport, Qt::Key(key), ctrl ? Qt::ControlModifier : Qt::NoModifier);
        QCOMPARE(heard.join(u'|'), said);
    }

    // The page box's list closed on the page it was opened on, by Escape or
    // by taking the same page, says which page stays chosen; a new page
    // says only where it is. (Escape on the first page is in test_access's
    // reviewed record.)
    void page_box_list_closed_says_the_page()
    {
        auto window = Started_Window();
        window->cboPage.AddItem(QStringLiteral("Page 2"));
        QComboBox *box = window->cboPage.box();
        QStringList heard;
        Hear_Said([&](const QString &message) { heard << message; });
        const auto deaf = qScopeGuard([] { Hear_Said(); });
        const struct {
            std::function<void()> close;
            const char *said;
        } closings[] = {
            {[&] { QTest::keyClick(box->view(), Qt::Key_Return); }, "Page 1 stays chosen"},
            {[&] { QTest::keyClick(box->view(), Qt::Key_Down), QTest::keyClick(box->view(), Qt::Key_Return); },
             "page 2 of 2"},
            {[&] { QTest::keyClick(box->view(), Qt::Key_Escape); }, "Page 2 stays chosen"},
        };
        for (const auto &closing : closings) {
            heard.clear();
            box->showPopup();
            QTRY_VERIFY_WITH_TIMEOUT(box->view()->isVisible(), Patience_Ms);
            closing.close();
            QTRY_VERIFY_WITH_TIMEOUT(!box->view()->isVisible() && !heard.isEmpty(), Patience_Ms);
            QCoreApplication::processEvents();
            QCOMPARE(heard.join(u'|'), QString::fromUtf8(closing.said));
        }
    }

    // A print to a file tells where the page went, its whole path, in words
    // heard and in a passing tip; a print that failed or was cancelled says
    // nothing of a file. Done, failed or cancelled in "Fit Pg", a print
    // leaves the page as fitted, and "100%" then draws it at 100 %.
    void print_to_file_says_where()
    {
        QTemporaryDir dir;
        const QString before = QDir::currentPath();
        QDir::setCurrent(dir.path());
        QStringList heard;
        Hear_Said([&](const QString &message) { heard << message; });
        Set_Print_Failure_Report([](QWidget *, const QString &) {});
        const auto restore = qScopeGuard([&] {
            Hear_Said();
            Set_Printer_Dialog();
            Set_Print_Failure_Report();
            QDir::setCurrent(before);
        });
        auto window = Started_Window();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get(), Patience_Ms));
        Click(*window, "Fit Pg");
        const Single fitted = window->Zoom_Factor;
        const QString saved = QStringLiteral("The page was saved as %1");
        const struct {
            QString file; // "": the dialog is cancelled
            QString said;
        } prints[] = {
            {dir.filePath("page.pdf"), saved.arg(dir.filePath("page.pdf"))},
            {"relative.pdf", saved.arg(dir.filePath("relative.pdf"))},
            {dir.filePath("missing/page.pdf"), ""},
            {"", ""},
        };
        for (const auto &print : prints) {
            heard.clear();
            const QString shown = QToolTip::text(); // the tip of the row before
            Set_Printer_Dialog([&](QPrinter &printer, QWidget *) {
                printer.setOutputFileName(print.file);
                return !print.file.isEmpty();
            });
            Click(*window, "PDF");
            if (!print.said.isEmpty()) {
                QTRY_VERIFY_WITH_TIMEOUT(QToolTip::isVisible() && QToolTip::text() != shown, Patience_Ms);
                QCOMPARE(QToolTip::text(), print.said);
                QVERIFY(QFile::exists(print.said.section(u' ', 5)));
            }
            QCoreApplication::processEvents();
            QCOMPARE(heard.join(u'|'), print.said);
            QCOMPARE(window->Zoom_Factor, fitted);
        }
        Click(*window, "100%");
        const Screen_Metrics &screen = window->Screen_Of();
        QCOMPARE(window->picPreview.Pixel_Size(), QSize(screen.Pixels_X(11880), screen.Pixels_Y(14760)));
    }

    // Every caption whole, descenders included (the button as wide and high as
    // it asks for has the same rows of ink). The tooltips are in the reviewed
    // record test_access compares with.
    void toolbar_reads_well()
    {
        auto window = Started_Window();
        const auto inked_rows = [](QWidget *button) {
            const QImage image = button->grab().toImage();
            int rows = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    if (qGray(image.pixel(x, y)) < 80) {
                        ++rows;
                        break;
                    }
            return rows;
        };
        for (Toolbar_Button &button : window->Toolbar->All()) {
            auto *shown = qobject_cast<QToolButton *>(window->Toolbar->widgetForAction(button.action));
            if (!shown || shown->isHidden())
                continue;
            const int rows = inked_rows(shown);
            const QSize size = shown->size();
            shown->resize(shown->sizeHint());
            QCOMPARE(rows, inked_rows(shown));
            shown->resize(size);
        }
    }

    // The toolbar pictures at screen ratios 1, 1.25, 1.5 and 2 have pixels
    // of their own, in no colour the 16-pixel picture lacks (no grey fringe
    // of an enlargement); at ratio 2 they are the reviewed sheet.
    void toolbar_pictures_are_sharp()
    {
        auto window = Started_Window(false);
        QImage sheet(12 * 34, 34, QImage::Format_RGB32);
        sheet.fill(Qt::white);
        QPainter painter(&sheet);
        int drawn = 0;
        for (Toolbar_Button &button : window->Toolbar->All()) {
            const QIcon icon = button.action->icon();
            if (icon.isNull())
                continue;
            const QImage small = icon.pixmap(QSize(16, 16), 1.0).toImage().convertToFormat(QImage::Format_ARGB32);
            QSet<QRgb> colours;
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x)
                    colours.insert(small.pixel(x, y));
            for (const qreal ratio : {1.25, 1.5, 2.0}) {
                const QImage shown = icon.pixmap(QSize(16, 16), ratio).toImage().convertToFormat(QImage::Format_ARGB32);
                QCOMPARE(shown.size(), QSize(qRound(16 * ratio), qRound(16 * ratio)));
                for (int y = 0; y < shown.height(); ++y)
                    for (int x = 0; x < shown.width(); ++x)
                        QVERIFY2(colours.contains(shown.pixel(x, y)), qPrintable(QStringLiteral("%1 at %2: (%3, %4)")
                                                                              .arg(button.Caption).arg(ratio).arg(x).arg(y)));
                if (ratio == 2)
                    painter.drawImage(1 + 34 * drawn++, 1, shown);
            }
        }
        painter.end();
        Check_Reference_Image(sheet, QStringLiteral(REFERENCE_DIR "/app/toolbar-ratio2.png"));
    }

    void first_window_fits_the_screen()
    {
        auto window = Started_Window();
        const QRect room = window->screen()->availableGeometry();
        const QRect frame = window->frameGeometry();
        QVERIFY(room.contains(frame));
        // The design-time client size where it fits, else the whole room.
        const QSize edges = frame.size() - window->size();
        const Screen_Metrics &screen = window->Screen_Of();
        QCOMPARE(frame.size(), (QSize(screen.Pixels_X(9765), screen.Pixels_Y(6285)) + edges).boundedTo(room.size()));
    }

    // Every button and the page box is on the toolbar or in its overflow
    // menu, which lists buttons only.
    void narrow_toolbar_keeps_every_command_data()
    {
        QTest::addColumn<int>("width");
        for (const int width : {651, 400, 60})
            QTest::addRow("%d px", width) << width;
    }
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
            pages = action->menu() ? action->menu() : pages;
        }
        for (Toolbar_Button &button : toolbar->All())
            if (button.Style == Button_Style::Default || button.Style == Button_Style::Group)
                QVERIFY2(on_toolbar(toolbar->widgetForAction(button.action)) != listed.contains(button.action),
                         qPrintable(button.Caption));
        QCOMPARE(on_toolbar(window->cboPage.box()), pages == nullptr);
        if (pages) {
            pages->popup(QPoint());
            QCOMPARE(pages->actions().size(), 1);
            QVERIFY(pages->actions().first()->isChecked());
            pages->close();
        }
        overflow->close();
    }

    // On a high-density screen the canvas is drawn at device resolution and
    // shown one image pixel to one device pixel, never scaled up.
    void canvas_has_device_pixels()
    {
        const qreal ratio = QGuiApplication::primaryScreen()->devicePixelRatio();
        if (ratio == 1)
            QSKIP("a screen of ratio 1");
        auto window = Started_Window();
        QCOMPARE(window->picPreview.Device_Pixel_Ratio(), ratio);
        const QSize logical = window->picPreview.Pixel_Size();
        QCOMPARE(window->picPreview_Box.widget()->size(), logical);
        const QImage page = window->picPreview.Image().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(page.size(), QSize(int(std::ceil(logical.width() * ratio)), int(std::ceil(logical.height() * ratio))));
        QImage shown = window->picPreview_Box.widget()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        shown.setDevicePixelRatio(page.devicePixelRatio());
        const QRect all(0, 0, page.width() - 1, page.height() - 1); // a fractional ratio leaves the last pixel half shown
        QCOMPARE(shown.copy(all), page.copy(all));
    }

    // On a screen denser than ratio 4 the page is drawn at 4 and enlarged
    // (at the screen's 50 it would take gigabytes), and drawn whole.
    void canvas_ratio_is_bounded()
    {
        if (QGuiApplication::primaryScreen()->devicePixelRatio() <= 4)
            QSKIP("a screen of ratio 4 or less");
        auto window = Started_Window();
        QCOMPARE(window->picPreview.Device_Pixel_Ratio(), 4.0);
        QCOMPARE(window->picPreview.Image().size(), window->picPreview.Pixel_Size() * 4);
        QCOMPARE(window->picPreview_Box.widget()->size(), window->picPreview.Pixel_Size());
    }

    // The page's text in the form's reading order, a heading drawn over two
    // lines read as one, whatever the screen: the text of the reviewed
    // record of what a screen reader meets. Then its units, by a table on a
    // small text: what is at, before and after an offset (hostile ones too),
    // where the caret keys take the caret, and which character a point is on.
    void page_text_reads_in_order()
    {
        QFile record(QStringLiteral(REFERENCE_DIR "/app/access.txt"));
        QVERIFY(record.open(QIODevice::ReadOnly));
        QString reviewed;
        for (const QString &line : QString::fromUtf8(record.readAll()).split(u'\n'))
            if (const qsizetype bar = line.indexOf(QLatin1String("| ")); bar >= 0 && line.left(bar).trimmed().isEmpty())
                reviewed += line.mid(bar + 2) + u'\n';
        QCOMPARE(The_Page_Text().text, reviewed);
        QCOMPARE(The_Page_Text().boxes.size(), reviewed.size());

        const QString text = QStringLiteral("AB CD\nEF\n");
        using B = QAccessible::TextBoundaryType;
        const struct {
            Text_Span (*unit)(const QString &, int, B);
            int offset;
            B type;
            Text_Span span;
        } units[] = {
            {Unit_At, 1, QAccessible::CharBoundary, {1, 2}},   {Unit_At, -5, QAccessible::CharBoundary, {0, 1}},
            {Unit_At, 1, QAccessible::WordBoundary, {0, 3}},   {Unit_At, 3, QAccessible::WordBoundary, {3, 6}},
            {Unit_At, 4, QAccessible::LineBoundary, {0, 6}},   {Unit_At, 6, QAccessible::SentenceBoundary, {6, 9}},
            {Unit_At, 99, QAccessible::LineBoundary, {9, 9}},  {Unit_At, 2, QAccessible::NoBoundary, {0, 9}},
            {Unit_Before, 7, QAccessible::LineBoundary, {0, 6}}, {Unit_Before, 2, QAccessible::LineBoundary, {0, 0}},
            {Unit_Before, 4, QAccessible::WordBoundary, {0, 3}}, {Unit_After, 0, QAccessible::LineBoundary, {6, 9}},
            {Unit_After, 7, QAccessible::LineBoundary, {9, 9}},  {Unit_After, 1, QAccessible::WordBoundary, {3, 6}},
        };
        for (const auto &row : units)
            QCOMPARE(row.unit(text, row.offset, row.type), row.span);

        const struct {
            int caret, key;
            bool ctrl;
            int to;
        } moves[] = {
            {0, Qt::Key_Left, false, 0},  {0, Qt::Key_Right, false, 1}, {0, Qt::Key_Right, true, 3},
            {4, Qt::Key_Left, true, 3},   {3, Qt::Key_Left, true, 0},   {4, Qt::Key_Down, false, 8},
            {7, Qt::Key_Up, false, 1},    {1, Qt::Key_Up, false, 1},    {7, Qt::Key_Down, false, 7},
            {0, Qt::Key_End, false, 5},   {4, Qt::Key_Home, false, 0},  {1, Qt::Key_End, true, 8},
            {8, Qt::Key_Home, true, 0},   {8, Qt::Key_Right, false, 8}, {0, Qt::Key_F7, false, -1},
        };
        for (const auto &move : moves)
            QCOMPARE(Caret_After_Key(text, move.caret, move.key, move.ctrl), move.to);

        const QList<QRectF> boxes{QRectF(0, 0, 5, 10), QRectF(5, 0, 5, 10)};
        QCOMPARE(Offset_At(boxes, QPointF(6, 9)), 1);
        QCOMPARE(Offset_At(boxes, QPointF(11, 5)), -1);
    }

    // A long random session (fixed seed, so a failure can be replayed; run as
    // test_layout_stress): 2,000 window sizes from one pixel to 8K, spread
    // over the orders of magnitude, with zoom clicks, scrolling keys and the
    // page box between. After every step the canvas is the one the zoom
    // gives, the zoom within its limit, the page drawn again exactly when
    // the zoom changed or the page box asked, and nothing reached stderr.
    void random_session_keeps_the_canvas_true()
    {
        if (!qEnvironmentVariableIsSet("QUORVEL_STRESS"))
            QSKIP("run as test_layout_stress");
        QRandomGenerator random(20261206);
        const auto any_size = [&random](int most) {
            return std::clamp(int(std::exp(random.bounded(std::log(most + 1.0)))), 1, most);
        };
        auto window = Started_Window();
        const QString errors = Stderr_Of([&] {
            for (int step = 0; step < 4000; ++step) {
                const Single zoom = window->Zoom_Factor;
                const int calls = window->Build_Page_Calls;
                // Every other step a new size; in between a key, the page box or a zoom button.
                const int action = step % 2 == 0 ? 0 : 1 + int(random.bounded(3));
                static const char *const modes[] = {"100%", "Fit Wd", "Fit Pg"};
                if (action == 0)
                    Set_Client(*window, any_size(7680), any_size(4320));
                else if (action == 1)
                    QTest::keyClick(window->picWindow.widget(), random.bounded(2) ? Qt::Key_End : Qt::Key_PageDown);
                else if (action == 2)
                    emit window->cboPage.box()->currentTextChanged(window->cboPage.Text());
                else
                    Button(*window, modes[random.bounded(3)]).action->trigger();
                QCoreApplication::processEvents();

                const Single now = window->Zoom_Factor;
                const Screen_Metrics &screen = window->Screen_Of();
                const QSize expected(std::max(1, screen.Pixels_X(Scale_Value(Sheet_Width, now))),
                                     std::max(1, screen.Pixels_Y(Scale_Value(Sheet_Height, now))));
                QVERIFY2(now <= Zoom_Limit() && window->picPreview.Pixel_Size() == expected &&
                             window->picPreview_Box.widget()->size() == expected &&
                             window->Build_Page_Calls - calls == int(now != zoom) + int(action == 2),
                         qPrintable(QStringLiteral("step %1, zoom %2").arg(step).arg(double(now))));
            }
            window.reset();
        });
        if (QTest::currentTestFailed())
            return;
        QVERIFY2(errors.isEmpty(), qPrintable(errors.left(2000)));
    }
};

QTEST_MAIN(Test_Window)
#include "test_window.moc"
