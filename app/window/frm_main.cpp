#include "frm_main.h"

#include "accessible.h"
#include "page_text.h"
#include "font_check.h"
#include "page_build.h"
#include "print_command.h"
#include "support_routines.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QShowEvent>
#include <QToolButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QSignalBlocker>
#include <QWheelEvent>
#include <QWindow>
#include <QThreadPool>
#include <QDBusConnection>
#include <QFontDatabase>

#include <cmath>
#include <cstdio>
#include <utility>

namespace {

// Layout constants.
constexpr Single Sheet_Width_Twips = Sheet_Width;
constexpr Single Sheet_Height_Twips = Sheet_Height;
constexpr Single Fit_Page_Height = 14600; // the fit-page decision only
constexpr Single Margin = 20;
constexpr Single Bar_Room = 6;
constexpr Single Bar_Gap = 3;
constexpr Single Toolbar_Height = 600;

// A run-time error that reaches an event ends that event, not the program:
// one line on stderr says what failed and where, and the window goes on.
template <class Work>
void Handle(const char *handler, Work &&work) noexcept
{
    try {
        work();
    } catch (const std::exception &error) {
        std::fprintf(stderr, "quorvel: %s in %s; the event was abandoned\n", error.what(), handler);
    } catch (...) {
        std::fprintf(stderr, "quorvel: unknown error in %s; the event was abandoned\n", handler);
    }
}

// Openbox 3.6 can leave the request to show a window unanswered when it comes
// while the window manager starts: it reads the request into a queue of its
// own with its start-up's replies, then waits for the X server to send more
// before it looks at that queue, and with nothing more to come the window is
// never shown. So until the window is shown or framed, it is raised every
// quarter second for up to a minute: the window manager is asked to carry out
// each raise, which wakes it to the waiting request.
void Ask_Until_Shown(QWidget *window)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    auto *again = new QTimer(window);
    QObject::connect(again, &QTimer::timeout, window, [window, again, tries = 0]() mutable {
        const QWindow *handle = window->windowHandle();
        const bool shown = handle && (handle->isExposed() || window->frameGeometry() != window->geometry());
        if (shown || !window->isVisible() || ++tries > 240) {
            again->deleteLater();
        } else {
            window->raise();
            QGuiApplication::sync(); // sent now, not when the window next has something to say
        }
    });
    again->start(250);
}

// Zoom factors above the limit would overflow the canvas size; the page
// stays at the limit instead.
Single Capped(Single zoom)
{
    return std::min(zoom, Zoom_Limit());
}

// Int() of the scroll steps: the floor of a Double, stored as an Integer.
Integer Int_Abs(double value)
{
    return CInt(std::abs(std::floor(value)));
}

// The toolbar, button by button: command, caption (what the click handler
// tells the buttons by), style, picture, tooltip, shortcut (Qt's portable
// text) and the name the accessibility bus gives it, which begins with the
// caption, so that what is heard is what is seen (and said to voice
// control). Keys as desktop document viewers have them.
struct Toolbar_Row {
    Command id;
    const char *caption;
    Button_Style style;
    int image = 0; // the toolbar image's number, 0 for none
    const char *tip = "";
    const char *keys = "";
    const char *name = "";
    Single width = 0; // placeholders only
};

using C = Command;
constexpr auto Gap = Button_Style::Separator;
constexpr auto Plain = Button_Style::Default;
constexpr auto Zoom = Button_Style::Group;
constexpr Single Placeholder_Width = 1000;

const Toolbar_Row Toolbar_Rows[] = {
    {C::None, "", Gap},
    {C::New, "New", Plain, 1, "Start a new report (does nothing in this version)", "", "New"},
    {C::None, "", Gap},
    {C::Open, "Open", Plain, 2, "Load a saved report (does nothing in this version)", "", "Open"},
    {C::Save, "Save", Gap, 3},
    {C::None, "", Gap},
    {C::Print, "PDF", Plain, 4, "Print the page, or save it as a PDF file", "Ctrl+P", "PDF: print or save as PDF"},
    {C::None, "", Gap},
    {C::Edit, "Edit", Plain, 5, "Change the report's entries (does nothing in this version)", "", "Edit"},
    {C::None, "", Gap},
    {C::Help, "Help", Plain, 6, "Show the program's help (does nothing in this version)", "", "Help"},
    {C::None, "sep", Gap},
    {C::None, "", Gap},
    {C::Zoom_100, "100%", Zoom, 7, "Show the page at its actual size", "Ctrl+0", "100%: actual size"},
    {C::Fit_Width, "Fit Wd", Zoom, 8, "Fit the page's width in the window", "W", "Fit Wd: fit width"},
    {C::Fit_Page, "Fit Pg", Zoom, 9, "Fit the whole page in the window", "F", "Fit Pg: fit page"},
    {C::None, "", Gap},
    {C::None, "sep", Gap},
    {C::Prev, "Prev", Plain, 10, "Go to the previous page", "Ctrl+PgUp", "Prev: previous page"},
    {C::Current, "Current", Button_Style::Placeholder, 0, "", "", "", Placeholder_Width},
    {C::Next, "Next", Plain, 11, "Go to the next page", "Ctrl+PgDown", "Next: next page"},
    {C::Exit_Room, "Exit_PH", Button_Style::Placeholder, 0, "", "", "", Placeholder_Width},
    {C::Exit, "Exit", Plain, 12, "Quit Quorvel", "Ctrl+Q", "Exit: quit"},
};

// The canvas is drawn at the screen's device pixel ratio up to this one (as
// the render tool's largest); a denser screen enlarges it, so the canvas
// never takes more than 16 times its logical size in memory.
constexpr qreal Canvas_Ratio_Limit = 4;

// A design-time rectangle in twips, each of its numbers in whole pixels.
QRect Pixel_Rect(const Screen_Metrics &screen, Single left, Single top, Single width, Single height)
{
    return QRect(screen.Pixels_X(left), screen.Pixels_Y(top), screen.Pixels_X(width), screen.Pixels_Y(height));
}

// Twips per pixel of a screen, as it reports its dots per inch.
Screen_Metrics Metrics_Of(const QScreen *screen)
{
    return screen ? Screen_Metrics::Of_Dpi(screen->logicalDotsPerInchX(), screen->logicalDotsPerInchY())
                  : Screen_Metrics{};
}

// What the arrows do, as the page's description and F7 tell it.
QString Arrow_Keys(bool caret)
{
    return caret ? QStringLiteral("the arrows move the caret, F7 scrolls instead")
                 : QStringLiteral("the arrows scroll, F7 moves a caret instead");
}

// What a screen reader is told of a caret key beyond the move itself: the
// text's end when the caret could go no further that way, and the whole
// line that Ctrl+Home or Ctrl+End lands on (of a jump, a reader says only
// the character). Nothing otherwise.
QString Caret_Words(const QString &text, int key, bool ctrl, int from, int to)
{
    const bool back = key == Qt::Key_Up || key == Qt::Key_Left;
    if (from == to && (back || key == Qt::Key_Down || key == Qt::Key_Right))
        return back ? QStringLiteral("Top of the page") : QStringLiteral("End of the page");
    if (ctrl && (key == Qt::Key_Home || key == Qt::Key_End)) {
        const auto [start, end] = Unit_At(text, to, QAccessible::LineBoundary);
        return text.mid(start, end - start).trimmed();
    }
    return QString();
}

qreal Canvas_Ratio(const QWidget *window)
{
    return std::min(window->devicePixelRatioF(), Canvas_Ratio_Limit);
}

} // namespace

frmMain::frmMain()
    : screen_(Metrics_Of(QGuiApplication::primaryScreen())),
      picWindow(new QWidget(this), screen_),
      picPreview_Box(nullptr, screen_),
      HScroll(new QScrollBar(Qt::Horizontal, this), screen_),
      VScroll(new QScrollBar(Qt::Vertical, this), screen_),
      Toolbar(new Tool_Bar(this, screen_)),
      cboPage(new QComboBox(Toolbar), screen_)
{
    Install_Accessibility();
    setWindowTitle(QStringLiteral("Quorvel"));
    resize(screen_.Pixels_X(9765), screen_.Pixels_Y(6285));
    Fit_On_Screen();

    Timer.setInterval(100);
    Timer.setSingleShot(false);
    connect(&Timer, &QTimer::timeout, this, [this] { Handle("Timer_Timer", [this] { Timer_Timer(); }); });

    setObjectName(QStringLiteral("frmMain"));
    Make_Viewport();
    Make_Toolbar();
    Make_Page_Box();
    VScroll.widget()->raise();
    HScroll.widget()->raise();
}

// Two waits of the start taken off the window's thread while the controls
// are made. The font database is filled (fontconfig reads its configuration
// and lists every font, a fifth of the start): the toolbar's first caption,
// laid out when the window shows, waits for it only if it is not done by
// then. The session bus is reached: the accessibility bridge, made at the
// first control's accessible name, waits for it otherwise (a few round trips
// to the bus, or, with no bus, the attempt to launch one).
bool frmMain::Start_Ahead()
{
    QThreadPool::globalInstance()->start([] { QFontDatabase::families(); });
    QThreadPool::globalInstance()->start([] { QDBusConnection::sessionBus(); });
    return true;
}

// The grey viewport with the page canvas in it, and the two scroll bars.
void frmMain::Make_Viewport()
{
    // The viewport: mid grey, clipping the canvas inside it.
    QWidget *viewport = picWindow.widget();
    viewport->setAutoFillBackground(true);
    QPalette grey = viewport->palette();
    grey.setColor(QPalette::Window, QColor(0x80, 0x80, 0x80));
    viewport->setPalette(grey);
    viewport->setGeometry(Pixel_Rect(screen_, 1200, 1950, 3615, 3015));
    // The canvas area takes the keyboard, so the scrolling keys work at once.
    viewport->setFocusPolicy(Qt::StrongFocus);
    viewport->installEventFilter(this);
    Offer_Page(viewport);

    view_ = new Preview_View(viewport);
    picPreview_Box = Control(view_, screen_);
    picPreview.Set_Screen(screen_);
    picPreview.Set_Back_Color(palette().color(QPalette::Base));
    picPreview.Set_Device_Pixel_Ratio(Canvas_Ratio(this));
    picPreview.Set_Width(2355);
    picPreview.Set_Height(2355);
    view_->Show_Page(picPreview);
    view_->move(screen_.Pixels_X(600), screen_.Pixels_Y(240));
    new Focus_Mark(viewport);
    caretMark_ = new Caret_Mark(view_);

    // Names for the accessibility bus; the window, the page (the viewport),
    // the page box and the toolbar are described by accessible.h.
    HScroll.widget()->setAccessibleName(QStringLiteral("Horizontal scroll bar"));
    VScroll.widget()->setAccessibleName(QStringLiteral("Vertical scroll bar"));

    HScroll.widget()->setGeometry(Pixel_Rect(screen_, 1200, 5100, 3585, 250));
    VScroll.widget()->setGeometry(Pixel_Rect(screen_, 4950, 1950, 250, 3000));
    connect(VScroll.bar(), &QScrollBar::valueChanged, this,
            [this] { Handle("VScroll_Change", [this] { VScroll_Change(); }); });
    connect(HScroll.bar(), &QScrollBar::valueChanged, this,
            [this] { Handle("HScroll_Change", [this] { HScroll_Change(); }); });
}

// The toolbar's buttons, their keys, tooltips, names and tab order.
void frmMain::Make_Toolbar()
{
    // The toolbar's 23 buttons, in their fixed order. The commands take the
    // keyboard focus in this order, then the viewport; Space or Enter uses them.
    QWidget *previous_stop = nullptr;
    for (const Toolbar_Row &row : Toolbar_Rows) {
        Toolbar_Button &button = Toolbar->Add(row.id, QString::fromUtf8(row.caption), row.style, row.image, row.width);
        QAction *action = button.action;
        if (row.style != Button_Style::Default && row.style != Button_Style::Group)
            continue;
        const QKeySequence keys(QString::fromUtf8(row.keys), QKeySequence::PortableText);
        action->setShortcut(keys);
        action->setToolTip(keys.isEmpty() ? QString::fromUtf8(row.tip)
                                          : QStringLiteral("%1 (%2)").arg(QString::fromUtf8(row.tip),
                                                                          keys.toString(QKeySequence::NativeText)));
        // The button shows the caption; the overflow's menu, the whole name.
        action->setIconText(button.Caption);
        action->setText(QString::fromUtf8(row.name));
        QWidget *shown = Toolbar->widgetForAction(action);
        shown->setAccessibleName(QString::fromUtf8(row.name));
        if (!keys.isEmpty()) {
            shown->setFocusPolicy(Qt::TabFocus);
            shown->installEventFilter(this);
            if (previous_stop)
                setTabOrder(previous_stop, shown);
            previous_stop = shown;
        }
        if (button.Id == Command::Prev)
            previous_stop = cboPage.box(); // the page box sits between "Prev" and "Next"
        connect(action, &QAction::triggered, this, [this, action] {
            Handle("Toolbar_ButtonClick", [this, action] {
                if (Toolbar_Button *clicked = Toolbar->Find(action))
                    Toolbar_ButtonClick(*clicked);
            });
        });
    }
    // The overflow button, shown when a narrow window hides commands, comes
    // after "Exit", where they would be.
    if (QToolButton *more = Toolbar->Overflow_Button()) {
        more->installEventFilter(this);
        setTabOrder(previous_stop, more);
        previous_stop = more;
    }
    setTabOrder(previous_stop, picWindow.widget());
    Toolbar->Button(Command::Zoom_100).action->setChecked(true);
    Toolbar->setAccessibleName(QStringLiteral("Commands"));
    Toolbar->setGeometry(0, 0, width(), screen_.Pixels_Y(Toolbar_Height));
}

// The page box on the toolbar, and its entries in the toolbar's overflow
// when a narrow window hides it.
void frmMain::Make_Page_Box()
{
    // The page box lies on the toolbar; its list until start-up replaces it.
    QComboBox *box = cboPage.box();
    Offer_Page_Box(box);
    box->setEditable(false);
    box->setAccessibleName(QStringLiteral("Page"));
    box->addItem(QStringLiteral("Paint_Grid"));
    box->addItem(QStringLiteral("Paint_Text"));
    box->setCurrentIndex(-1);
    box->setGeometry(Pixel_Rect(screen_, 360, 720, 1365, 315));
    box->raise();
    box->setToolTip(QStringLiteral("Choose the page to show"));
    box->view()->setAccessibleName(QStringLiteral("Pages"));
    box->view()->parentWidget()->installEventFilter(this); // the list's popup
    connect(box, &QComboBox::currentTextChanged, this,
            [this] { Handle("cboPage_Change", [this] { cboPage_Change(); }); });

    // The box rides on the "Current" placeholder. When a narrow window pushes
    // the placeholder into the toolbar's overflow, the box hides with it and
    // the overflow offers the box's pages instead.
    QWidget *current = Toolbar->widgetForAction(Toolbar->Button(Command::Current).action);
    current->installEventFilter(this);
    box->setHidden(current->isHidden());
    pageMenu_ = new QMenu(QStringLiteral("Page"), this);
    connect(pageMenu_, &QMenu::aboutToShow, this, [this] {
        pageMenu_->clear();
        for (int i = 0; i < cboPage.ListCount(); ++i) {
            QAction *page = pageMenu_->addAction(cboPage.box()->itemText(i));
            page->setCheckable(true);
            page->setChecked(i == cboPage.ListIndex());
            connect(page, &QAction::triggered, this, [this, i] { cboPage.Set_ListIndex(Integer(i)); });
        }
    });
    if (QMenu *overflow = Toolbar->Overflow())
        connect(overflow, &QMenu::aboutToShow, this, [this, overflow] {
            if (!cboPage.box()->isHidden())
                return;
            pageMenu_->menuAction()->setEnabled(cboPage.box()->isEnabled());
            // In the toolbar's order: before the first listed button after "Current".
            QAction *before = nullptr;
            bool after_current = false;
            for (Toolbar_Button &button : Toolbar->All()) {
                if (after_current && !before && overflow->actions().contains(button.action))
                    before = button.action;
                after_current = after_current || button.Id == Command::Current;
            }
            overflow->insertMenu(before, pageMenu_);
        });
}

frmMain::~frmMain() = default;

void frmMain::Load()
{
    Handle("Form_Load", [this] { Form_Load(); });
    afterPaint_ = After_Paint::Warm_Up;
}

// What start-up leaves until the window has painted itself, so that neither
// the loading state nor the first page waits for it: the page drawn ahead
// while the timer runs, then the window's icon once the page is shown.
void frmMain::Painted()
{
    if (afterPaint_ == After_Paint::Warm_Up) {
        afterPaint_ = After_Paint::Icon;
        QTimer::singleShot(0, this, [this] { Warm_Up(); });
    } else if (afterPaint_ == After_Paint::Icon && Build_Page_Calls > 0) {
        afterPaint_ = After_Paint::Nothing;
        QTimer::singleShot(0, this, [this] { Set_Icon(); });
    }
}

// The page drawn twice on the canvas, unseen, before the timer's tick, and
// its pixels made once: the tick's drawing then finds the fonts loaded, the
// texts laid out and their ink measured, the glyphs and the canvas's memory
// at hand, and takes a moment instead of the first drawing's many. The view
// shows none of it: it takes only a finished drawing (Build_Preview). The
// tick's check for a face to draw with finds its answer ready too.
void frmMain::Warm_Up()
{
    if (!Timer.isActive() || !(Zoom_Factor > 0))
        return; // unloaded, or drawn already
    try {
        const Drawing_Scope scope(picPreview, Zoom_Factor, screen_);
        Build_Page();
        Build_Page();
        picPreview.Image();
    } catch (const std::exception &) {
        // The tick's drawing meets the same fault and reports it.
    }
    Any_Face_Loads();
}

// Eight sizes read and handed to the window system: a few milliseconds that
// the window does without until its first page is on screen.
void frmMain::Set_Icon()
{
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/assets/icon-%1.png").arg(size), QSize(size, size));
    setWindowIcon(icon);
}

// --- Start-up and end -------------------------------------------------------

// The page is drawn on picPreview, the window's output target, by
// Build_Preview.
void frmMain::Form_Load()
{
    Load_Done = 0;
    Setup_Toolbar();
    show();

    for (Toolbar_Button &button : Toolbar->All()) {
        if (button.Id == Command::Current) {
            button.Set_Width(cboPage.Width() + Single(100));
            Refresh();
        } else if (button.Id == Command::Exit_Room) {
            button.Set_Width(100);
            Refresh();
            Size_Exit_Room(button);
        }
    }

    Load_Done = -1;

    {
        // The box is filled before the first drawing: filling it draws nothing.
        const QSignalBlocker quiet(cboPage.box());
        cboPage.Clear();
        cboPage.AddItem(QStringLiteral("Page 1"));
        cboPage.Set_Enabled(true);
        for (Toolbar_Button &button : Toolbar->All())
            button.Set_Enabled(true);
        cboPage.Set_ListIndex(0);
    }
    Timer.start();
    picPreview_Box.Set_Visible(true);
    picWindow.widget()->setFocus();
}

void frmMain::Timer_Timer()
{
    Timer.stop();
    Build_Preview();
    Form_Resize();
    // Without a face to draw them with, every text is a row of empty boxes:
    // said once, over the page's rules and boxes, which are drawn all the
    // same. The box's own texts need a font too; its title, drawn by the
    // window manager, and the line on stderr do not.
    if (!Any_Face_Loads()) {
        const QString message = tr("No font can be loaded, neither \"Arial\" nor any face in its place, so the "
                                   "page's texts show as empty boxes. Install a font (on Debian: the package "
                                   "fonts-liberation) and start Quorvel again.");
        std::fprintf(stderr, "quorvel: %s\n", qPrintable(message));
        QMessageBox::warning(this, tr("Quorvel: no font can be loaded"), message);
    }
}

void frmMain::Form_Unload(Integer &)
{
    // Ends the program: nothing of it runs any more, not even a pending first drawing.
    Timer.stop();
    QCoreApplication::quit();
}

void frmMain::closeEvent(QCloseEvent *event)
{
    Integer Cancel = 0;
    Handle("Form_Unload", [this, &Cancel] { Form_Unload(Cancel); });
    if (Cancel)
        event->ignore();
    else
        event->accept();
}

// --- Toolbar ------------------------------------------------------------------

void frmMain::Setup_Toolbar()
{
    for (const Command page_command : {Command::Save, Command::Edit, Command::Zoom_100, Command::Fit_Width,
                                       Command::Fit_Page, Command::Prev, Command::Next})
        Toolbar->Button(page_command).Set_Enabled(false);
    cboPage.Set_Enabled(false);
    VScroll.Set_Visible(false);
    HScroll.Set_Visible(false);
    picPreview_Box.Set_Visible(false);
}

void frmMain::Toolbar_ButtonClick(Toolbar_Button &Button)
{
    // A screen reader hears the answer wherever the focus is: the zoom
    // (said by Form_Resize when it changes), the page stepped to, or why
    // there was none.
    if (Button.Caption == QLatin1String("100%") || Button.Caption == QLatin1String("Fit Wd") ||
        Button.Caption == QLatin1String("Fit Pg")) {
        const Single before = Zoom_Factor;
        Form_Resize();
        if (Zoom_Factor == before)
            Say(Zoom_Status());
    } else if (Button.Caption == QLatin1String("PDF")) {
        Print_Command();
    } else if (Button.Caption == QLatin1String("Prev")) {
        if (cboPage.ListIndex() > 0)
            cboPage.Set_ListIndex(Integer(cboPage.ListIndex() - 1));
        else
            Say(Page_Position() + QStringLiteral(": there is no previous page"));
    } else if (Button.Caption == QLatin1String("Next")) {
        if (cboPage.ListIndex() < cboPage.ListCount() - 1)
            cboPage.Set_ListIndex(Integer(cboPage.ListIndex() + 1));
        else
            Say(Page_Position() + QStringLiteral(": there is no next page"));
    } else if (Button.Caption == QLatin1String("Exit")) {
        close();
    }
}

void frmMain::Print_Command()
{
    Print_Page(this);
}

// --- Zoom and layout ------------------------------------------------------------

void frmMain::resizeEvent(QResizeEvent *)
{
    // The toolbar is docked along the top of the client area.
    Toolbar->setGeometry(0, 0, width(), screen_.Pixels_Y(Toolbar_Height));
    Handle("Form_Resize", [this] { Form_Resize(); });
}

void frmMain::Form_Resize()
{
    if (isMinimized())
        return;

    Toolbar->Button(Command::Exit_Room).Set_Width(100);
    const Single previous = Zoom_Factor;
    Zoom_For_Mode();
    if (Zoom_Factor != previous && Load_Done) {
        Build_Preview();
        Say(Zoom_Status());
    }

    picPreview_Box.Set_Top(0);
    if (picWindow.Width() - Margin > picPreview_Box.Width())
        picPreview_Box.Set_Left(picWindow.Width() / 2 - picPreview_Box.Width() / 2);
    else
        picPreview_Box.Set_Left(0);
    Place_Scroll_Bar(VScroll, true);
    Place_Scroll_Bar(HScroll, false);

    for (Toolbar_Button &button : Toolbar->All()) {
        if (button.Id == Command::Current) {
            cboPage.Set_Top(button.Top() + (button.Height() - cboPage.Height()) / 2);
            cboPage.Set_Left(button.Left() + 50);
        } else if (button.Id == Command::Exit_Room) {
            Size_Exit_Room(button);
        }
    }
}

// The zoom of the pressed mode, with the viewport and the bars it leaves.
void frmMain::Zoom_For_Mode()
{
    HScroll.Set_Visible(false);
    VScroll.Set_Visible(false);
    Size_Window();
    if (Toolbar->Button(Command::Zoom_100).Value() == 1) {
        Zoom_Factor = Capped(1);
        Check_Scrollbars();
        if (VScroll.Visible() || HScroll.Visible()) {
            Size_Window();
            Check_Scrollbars();
        }
    } else if (Toolbar->Button(Command::Fit_Width).Value() == 1) {
        Zoom_Factor = Capped(picWindow.Width() / Sheet_Width_Twips);
        Check_Scrollbars();
        if (VScroll.Visible()) {
            Size_Window();
            Zoom_Factor = Capped((picWindow.Width() - Margin) / Sheet_Width_Twips);
            Check_Scrollbars();
        }
    } else {
        const Single a = (picWindow.Width() - Margin) / Sheet_Width_Twips;
        const Single b = (picWindow.Height() - Margin) / Fit_Page_Height;
        if (b > a)
            Zoom_Factor = Capped((picWindow.Width() - Margin) / Sheet_Width_Twips);
        else
            Zoom_Factor = Capped((picWindow.Height() - Margin) / Sheet_Height_Twips);
    }
}

// A shown bar along the viewport's right or bottom edge, ranged over the
// canvas: its size is read from the control that shows it, which is the
// drawn surface's size whenever the last drawing finished.
void frmMain::Place_Scroll_Bar(Scroll_Bar &bar, bool vertical)
{
    if (!bar.Visible())
        return;
    if (vertical) {
        bar.Set_Top(picWindow.Top());
        bar.Set_Left(picWindow.Width() + Bar_Gap);
        bar.Set_Height(picWindow.Height());
    } else {
        bar.Set_Top(picWindow.Top() + picWindow.Height() + Bar_Gap);
        bar.Set_Left(picWindow.Left());
        bar.Set_Width(picWindow.Width());
    }
    const Single L = vertical ? bar.Height() : bar.Width();
    bar.Set_Max(CInt((vertical ? picPreview_Box.Height() : picPreview_Box.Width()) - L));
    bar.Set_Value(0);
    bar.Set_LargeChange(Int_Abs(double(L) - double(L) * 0.1));
    bar.Set_SmallChange(Int_Abs(double(L) * 0.1));
}

// "Exit_PH" stretched until "Exit" ends 100 short of the toolbar's right edge.
void frmMain::Size_Exit_Room(Toolbar_Button &room)
{
    const Single toolbar = screen_.Twips_X(Toolbar->width());
    room.Set_Width(std::abs(toolbar - room.Left() - Toolbar->Button(Command::Exit).Width() - Single(100)));
}

void frmMain::Size_Window()
{
    // Docked top, bottom, left, right and undocked again: the viewport takes
    // the whole client area below the toolbar.
    const Single toolbar_bottom = screen_.Twips_Y(Toolbar->y() + Toolbar->height());
    picWindow.Set_Left(0);
    picWindow.Set_Top(toolbar_bottom);
    picWindow.Set_Width(screen_.Twips_X(width()));
    picWindow.Set_Height(std::max(Single(0), screen_.Twips_Y(height()) - toolbar_bottom));

    if (VScroll.Visible())
        picWindow.Set_Width(std::abs(picWindow.Width() - VScroll.Width() - Bar_Room));
    if (HScroll.Visible())
        picWindow.Set_Height(std::abs(picWindow.Height() - HScroll.Height() - Bar_Room));
}

void frmMain::Check_Scrollbars()
{
    VScroll.Set_Visible(Single(Zoom_Factor * Sheet_Height_Twips) > picWindow.Height());
    HScroll.Set_Visible(Single(Zoom_Factor * Sheet_Width_Twips) > picWindow.Width());
}

// --- Scrolling ------------------------------------------------------------------

void frmMain::VScroll_Change()
{
    picPreview_Box.Set_Top(Single(-VScroll.Value()));
}

void frmMain::HScroll_Change()
{
    picPreview_Box.Set_Left(Single(-HScroll.Value()));
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == picWindow.widget())
        return Viewport_Event(event) || QWidget::eventFilter(watched, event);
    if ((event->type() == QEvent::Show || event->type() == QEvent::Hide) &&
        watched == Toolbar->widgetForAction(Toolbar->Button(Command::Current).action)) {
        // The "Current" placeholder: shown on the toolbar or moved to its overflow.
        cboPage.box()->setHidden(static_cast<QWidget *>(watched)->isHidden());
    } else if ((event->type() == QEvent::Show || event->type() == QEvent::Hide) &&
               watched == cboPage.box()->view()->parentWidget()) {
        // The page box's list closed on the page it opened on (Escape, or
        // the same page taken again): the page that stays chosen is said,
        // once the box has taken what was chosen and the focus is back.
        if (event->type() == QEvent::Show)
            listOpenedOn_ = cboPage.ListIndex();
        else
            QTimer::singleShot(0, this, [this] {
                if (cboPage.ListIndex() == listOpenedOn_)
                    Say(QStringLiteral("%1 stays chosen").arg(cboPage.Text()));
            });
    } else if (event->type() == QEvent::KeyPress) {
        // Enter uses a toolbar command as Space does.
        const int key = static_cast<QKeyEvent *>(event)->key();
        auto *button = qobject_cast<QToolButton *>(watched);
        if (button && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
            button->animateClick();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

// The viewport's events: its focus mark, the wheel and the keys. True when
// the event was used up.
bool frmMain::Viewport_Event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::FocusIn:
    case QEvent::FocusOut:
        Mark_Caret();
        return false;
    case QEvent::Wheel:
        Wheel_Scroll(*static_cast<QWheelEvent *>(event));
        return true;
    case QEvent::KeyPress:
        return Viewport_Key(*static_cast<QKeyEvent *>(event));
    default:
        return false;
    }
}

// The wheel scrolls by the bar's SmallChange per notch, through the bar.
void frmMain::Wheel_Scroll(const QWheelEvent &wheel)
{
    const QPoint delta = wheel.angleDelta();
    const bool across = (wheel.modifiers() & Qt::ShiftModifier) || delta.y() == 0;
    wheelRest_ += across ? (delta.y() != 0 ? delta.y() : delta.x()) : delta.y();
    const int notches = wheelRest_ / 120;
    wheelRest_ -= notches * 120;
    Scroll_Bar &bar = across ? HScroll : VScroll;
    if (notches != 0 && bar.Visible())
        bar.Step(-notches, bar.SmallChange());
}

// F7 switches what the arrows do; they, Home and End move the caret or
// scroll, and so do Page Up and Page Down. True when the key was used.
bool frmMain::Viewport_Key(const QKeyEvent &press)
{
    const int key = press.key();
    if (key == Qt::Key_F7) {
        caretKeys_ = !Caret_Keys();
        Mark_Caret();
        Say(Arrow_Keys(Caret_Keys()));
        return true;
    }
    if (Caret_Keys()) {
        const QString &text = The_Page_Text().text;
        const bool ctrl = press.modifiers() & Qt::ControlModifier;
        const int from = caret_, moved = Caret_After_Key(text, caret_, key, ctrl);
        if (moved >= 0) {
            Set_Caret(moved);
            if (const QString words = Caret_Words(text, key, ctrl, from, caret_); !words.isEmpty())
                Say(words);
            return true;
        }
    }
    switch (key) {
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Left:
    case Qt::Key_Right:
        Scroll_By_Keys(key);
        return true;
    default:
        return false;
    }
}

void frmMain::Scroll_By_Keys(int key)
{
    const bool across = key == Qt::Key_Left || key == Qt::Key_Right;
    Scroll_Bar &bar = across ? HScroll : VScroll;
    if (!bar.Visible())
        return;
    switch (key) {
    case Qt::Key_PageUp:
        bar.Step(-1, bar.LargeChange());
        break;
    case Qt::Key_PageDown:
        bar.Step(1, bar.LargeChange());
        break;
    case Qt::Key_Home:
        bar.Set_Value(0);
        break;
    case Qt::Key_End:
        bar.Set_Value(bar.Max());
        break;
    case Qt::Key_Up:
    case Qt::Key_Left:
        bar.Step(-1, bar.SmallChange());
        break;
    default:
        bar.Step(1, bar.SmallChange());
        break;
    }
}

// --- Page selection ------------------------------------------------------------

void frmMain::cboPage_Change()
{
    Build_Preview();
    Say(Page_Position());
}

// --- Drawing ------------------------------------------------------------------------

void frmMain::Build_Preview()
{
    ++Build_Page_Calls;
    {
        const Drawing_Scope scope(picPreview, Zoom_Factor, screen_);
        Build_Page();
    }
    // Shown only once finished: a drawing that failed half way leaves the
    // last finished page on screen.
    view_->Show_Page(picPreview);
    Mark_Caret();
    // A new zoom or page changes what the page's description says. The
    // first drawing changes nothing a reader was told.
    if (Build_Page_Calls > 1)
        Description_Changed(picWindow.widget());
}

// --- The page's caret ---------------------------------------------------------------

QString frmMain::Page_Position() const
{
    return QStringLiteral("page %1 of %2").arg(cboPage.ListIndex() + 1).arg(cboPage.ListCount());
}

QString frmMain::Zoom_Status() const
{
    const char *mode = Toolbar->Button(Command::Zoom_100).Value()    ? "Actual size"
                       : Toolbar->Button(Command::Fit_Width).Value() ? "Fit width"
                                                                     : "Fit page";
    return QStringLiteral("%1, %2 %").arg(QLatin1String(mode)).arg(std::lround(Zoom_Factor * 100.0));
}

QString frmMain::Page_Description() const
{
    return QStringLiteral("%1, %2; %3").arg(Page_Position(), Zoom_Status(), Arrow_Keys(Caret_Keys()));
}

void frmMain::Set_Caret(int offset)
{
    caret_ = std::clamp(offset, 0, int(The_Page_Text().text.size()));
    Mark_Caret();
    // The caret's line into view, with a line's room where there is.
    const QRect line = Caret_Line();
    const QWidget *viewport = picWindow.widget();
    if (!line.isEmpty() && VScroll.Visible()) {
        const int top = view_->y() + line.top() - line.height(), bottom = view_->y() + line.bottom() + line.height();
        const int by = top < 0 ? top : bottom > viewport->height() ? std::min(bottom - viewport->height(), top) : 0;
        if (by != 0)
            VScroll.Set_Value(
                Integer(std::clamp(int(VScroll.Value()) + int(screen_.Twips_Y(by)), 0, int(VScroll.Max()))));
    }
    if (!line.isEmpty() && HScroll.Visible()) {
        const int x = view_->x() + Caret_X(line);
        const int by = x < 0 ? x - viewport->width() / 4 : x > viewport->width() ? x - viewport->width() * 3 / 4 : 0;
        if (by != 0)
            HScroll.Set_Value(
                Integer(std::clamp(int(HScroll.Value()) + int(screen_.Twips_X(by)), 0, int(HScroll.Max()))));
    }
    if (QAccessible::isActive()) {
        QAccessibleTextCursorEvent moved(picWindow.widget(), caret_);
        QAccessible::updateAccessibility(&moved);
    }
}

QRectF frmMain::On_Canvas(const QRectF &sheet) const
{
    const qreal x = Zoom_Factor / screen_.TwipsPerPixelX, y = Zoom_Factor / screen_.TwipsPerPixelY;
    return QRectF(sheet.left() * x, sheet.top() * y, sheet.width() * x, sheet.height() * y);
}

QPointF frmMain::On_Sheet(QPointF canvas) const
{
    if (Zoom_Factor <= 0)
        return QPointF(-1, -1); // no page shown: on no character
    return QPointF(canvas.x() * screen_.TwipsPerPixelX, canvas.y() * screen_.TwipsPerPixelY) / Zoom_Factor;
}

// The caret's line on the canvas, in its pixels at the zoom shown.
QRect frmMain::Caret_Line() const
{
    const Page_Text &page = The_Page_Text();
    const auto [start, end] = Unit_At(page.text, caret_, QAccessible::LineBoundary);
    QRectF line;
    for (int i = start; i < end; ++i)
        line |= page.boxes[i];
    return On_Canvas(line).toAlignedRect();
}

// The mark shows only while the view has the focus and the arrows move the
// caret; the page's text is not even looked at otherwise.
void frmMain::Mark_Caret()
{
    if (!picWindow.widget()->hasFocus() || !Caret_Keys()) {
        caretMark_->hide();
        return;
    }
    const QRect line = Caret_Line();
    caretMark_->Mark(line, Caret_X(line));
}

// Where on the canvas the caret stands on its line.
int frmMain::Caret_X(const QRect &line) const
{
    const Page_Text &page = The_Page_Text();
    return caret_ < page.boxes.size() ? int(std::lround(On_Canvas(page.boxes[caret_]).left())) : line.right();
}

void frmMain::Refresh()
{
    Toolbar->Settle();
    update();
}

// The design-time size, unless the screen's available area is smaller: then
// the window, frame included, takes that area, so every button can be reached.
// The frame is known once the window is about to show.
void frmMain::Fit_On_Screen()
{
    const QScreen *screen = this->screen();
    if (!screen)
        return;
    const QRect room = screen->availableGeometry();
    const QRect frame = frameGeometry();
    const QMargins edges(geometry().left() - frame.left(), geometry().top() - frame.top(),
                         frame.right() - geometry().right(), frame.bottom() - geometry().bottom());
    const QSize most = room.size().shrunkBy(edges);
    if (width() > most.width() || height() > most.height())
        resize(size().boundedTo(most));
    if (isVisible() && !room.contains(frameGeometry()))
        move(room.topLeft());
}

void frmMain::showEvent(QShowEvent *event)
{
    if (!event->spontaneous() && !shown_) {
        shown_ = true;
        Fit_On_Screen();
        Ask_Until_Shown(this);
    }
    QWidget::showEvent(event);
}

bool frmMain::event(QEvent *event)
{
    // The window manager's frame is known only once it has framed the
    // window; the first time it is, the frame is fitted into the screen.
    const QEvent::Type type = event->type();
    if ((type == QEvent::Move || type == QEvent::Resize || type == QEvent::WindowActivate) && shown_ && !framed_ &&
        frameGeometry() != geometry()) {
        framed_ = true;
        QTimer::singleShot(0, this, [this] { Fit_On_Screen(); });
    }
    if (type == QEvent::ScreenChangeInternal)
        Handle("Screen_Change", [this] { Follow_Pixel_Ratio(); });
    const bool handled = QWidget::event(event);
    if (type == QEvent::UpdateRequest) // the window is painted
        Painted();
    return handled;
}

void frmMain::Follow_Pixel_Ratio()
{
    const qreal ratio = Canvas_Ratio(this);
    if (ratio == picPreview.Device_Pixel_Ratio())
        return;
    picPreview.Set_Device_Pixel_Ratio(ratio);
    // The canvas is drawn again at the new density; before the first
    // drawing it is blank anyway.
    if (Load_Done && !Timer.isActive())
        Build_Preview();
    else
        view_->Show_Page(picPreview);
}
