#include "frm_main.h"

#include "accessible.h"
#include "font_check.h"
#include "layout.h"
#include "page_build.h"
#include "page_text.h"
#include "placement.h"
#include "scrolling.h"
#include "start_up.h"
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

#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace {

// An exception that reaches an event ends that event, not the program: one
// line on stderr says what stopped it and where, and the window goes on.
// What the user can set right comes back as a Result and is told where it
// is met (the print command); the drawing's run-time errors and
// Program_Fault are faults of the program (outcome.h), and said so.
template <class Work>
void Handle(const char *handler, Work &&work) noexcept
{
    try {
        work();
    } catch (const std::exception &error) {
        if (dynamic_cast<const RuntimeError *>(&error) || dynamic_cast<const std::logic_error *>(&error))
            std::fprintf(stderr, "quorvel: a fault of Quorvel itself stopped %s (%s); please report it\n", handler,
                         error.what());
        else
            std::fprintf(stderr, "quorvel: %s stopped %s\n", error.what(), handler);
    } catch (...) {
        std::fprintf(stderr, "quorvel: an exception of no known kind stopped %s\n", handler);
    }
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

// A design-time rectangle in twips, each of its numbers in whole pixels.
QRect Pixel_Rect(const Screen_Metrics &screen, Single left, Single top, Single width, Single height)
{
    return QRect(screen.Pixels_X(left), screen.Pixels_Y(top), screen.Pixels_X(width), screen.Pixels_Y(height));
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
    Fit_On_Screen(*this);

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
    picPreview.Set_Device_Pixel_Ratio(Canvas_Ratio(*this));
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

    HScroll.widget()->setGeometry(Pixel_Rect(screen_, 1200, 5100, 3585, Bar_Thickness));
    VScroll.widget()->setGeometry(Pixel_Rect(screen_, 4950, 1950, Bar_Thickness, 3000));
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
    deferred_.Loaded();
}

// What start-up leaves until the window has painted itself, so that neither
// the loading state nor the first page waits for it (start_up.h).
void frmMain::Continue_Start_Up()
{
    switch (deferred_.Step_After_Paint(Build_Page_Calls > 0)) {
    case Deferred_Start_Up::Step::Warm_Up:
        QTimer::singleShot(0, this, [this] {
            if (Timer.isActive() && Zoom_Factor > 0) // not unloaded, nor drawn already
                Handle("Warm_Up", [this] { Warm_Up(picPreview, Zoom_Factor, screen_); });
        });
        break;
    case Deferred_Start_Up::Step::Set_Icon:
        QTimer::singleShot(0, this, [this] { setWindowIcon(Window_Icon()); });
        break;
    case Deferred_Start_Up::Step::Nothing:
        break;
    }
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

void frmMain::Form_Unload()
{
    // Ends the program: nothing of it runs any more, not even a pending first drawing.
    Timer.stop();
    QCoreApplication::quit();
}

void frmMain::closeEvent(QCloseEvent *event)
{
    // An unload is never refused.
    Handle("Form_Unload", [this] { Form_Unload(); });
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

// The zoom mode is the pressed one of the three zoom buttons.
Zoom_Mode frmMain::Mode() const
{
    if (Toolbar->Button(Command::Zoom_100).Value() == 1)
        return Zoom_Mode::Actual_Size;
    if (Toolbar->Button(Command::Fit_Width).Value() == 1)
        return Zoom_Mode::Fit_Width;
    return Zoom_Mode::Fit_Page;
}

// The layout's arithmetic is layout.h's; this places the controls by it.
void frmMain::Form_Resize()
{
    if (isMinimized())
        return;

    Toolbar->Button(Command::Exit_Room).Set_Width(100);
    const Single previous = Zoom_Factor;
    const Zoom_Layout zoom = Lay_Out_Zoom(screen_, size(), Mode());
    Zoom_Factor = zoom.zoom;
    const QRectF &view = zoom.viewport;
    picWindow.Set_Left(Single(view.left()));
    picWindow.Set_Top(Single(view.top()));
    picWindow.Set_Width(Single(view.width()));
    picWindow.Set_Height(Single(view.height()));
    VScroll.Set_Visible(zoom.vertical_bar);
    HScroll.Set_Visible(zoom.horizontal_bar);
    if (Zoom_Factor != previous && Load_Done) {
        Build_Preview();
        Say(Zoom_Status());
    }

    const Window_Layout layout =
        Lay_Out(screen_, size(), zoom, QSizeF(picPreview_Box.Width(), picPreview_Box.Height()));
    picPreview_Box.Set_Top(0);
    picPreview_Box.Set_Left(Single(layout.canvas.left()));
    Place_Scroll_Bar(VScroll, layout.vertical);
    Place_Scroll_Bar(HScroll, layout.horizontal);

    for (Toolbar_Button &button : Toolbar->All()) {
        if (button.Id == Command::Current) {
            cboPage.Set_Top(button.Top() + (button.Height() - cboPage.Height()) / 2);
            cboPage.Set_Left(button.Left() + 50);
        } else if (button.Id == Command::Exit_Room) {
            Size_Exit_Room(button);
        }
    }
}

// A shown bar where the layout puts it, ranged over the canvas, at its start.
void frmMain::Place_Scroll_Bar(Scroll_Bar &bar, const Bar_Layout &place)
{
    if (!place.shown)
        return;
    bar.Set_Top(Single(place.rect.top()));
    bar.Set_Left(Single(place.rect.left()));
    bar.Set_Width(Single(place.rect.width()));
    bar.Set_Height(Single(place.rect.height()));
    bar.Set_Max(place.max);
    bar.Set_Value(0);
    bar.Set_LargeChange(place.large_change);
    bar.Set_SmallChange(place.small_change);
}

// "Exit_PH" stretched until "Exit" ends 100 short of the toolbar's right edge.
void frmMain::Size_Exit_Room(Toolbar_Button &room)
{
    const Single toolbar = screen_.Twips_X(Toolbar->width());
    room.Set_Width(std::abs(toolbar - room.Left() - Toolbar->Button(Command::Exit).Width() - Single(100)));
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
        wheel_.Scroll(*static_cast<QWheelEvent *>(event), HScroll, VScroll);
        return true;
    case QEvent::KeyPress:
        return Viewport_Key(*static_cast<QKeyEvent *>(event));
    default:
        return false;
    }
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
    return Scroll_By_Keys(key, HScroll, VScroll);
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
    const Zoom_Mode zoom = Mode();
    const char *mode = zoom == Zoom_Mode::Actual_Size ? "Actual size"
                       : zoom == Zoom_Mode::Fit_Width ? "Fit width"
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
    const QRect line = Caret_Line(*this);
    const QWidget *viewport = picWindow.widget();
    if (!line.isEmpty() && VScroll.Visible()) {
        const int by = Scroll_To_Line(view_->y() + line.top(), view_->y() + line.bottom(), line.height(),
                                      viewport->height());
        if (by != 0)
            VScroll.Set_Value(
                Integer(std::clamp(int(VScroll.Value()) + int(screen_.Twips_Y(by)), 0, int(VScroll.Max()))));
    }
    if (!line.isEmpty() && HScroll.Visible()) {
        const int by = Scroll_To_Caret(view_->x() + Caret_X(*this, line), viewport->width());
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

// The mark shows only while the view has the focus and the arrows move the
// caret; the page's text is not even looked at otherwise.
void frmMain::Mark_Caret()
{
    if (!picWindow.widget()->hasFocus() || !Caret_Keys()) {
        caretMark_->hide();
        return;
    }
    const QRect line = Caret_Line(*this);
    caretMark_->Mark(line, Caret_X(*this, line));
}

void frmMain::Refresh()
{
    Toolbar->Settle();
    update();
}

void frmMain::showEvent(QShowEvent *event)
{
    if (!event->spontaneous())
        placement_.Shown(*this);
    QWidget::showEvent(event);
}

bool frmMain::event(QEvent *event)
{
    const QEvent::Type type = event->type();
    placement_.Event(*this, type);
    if (type == QEvent::ScreenChangeInternal)
        Handle("Screen_Change", [this] { Follow_Pixel_Ratio(); });
    const bool handled = QWidget::event(event);
    if (type == QEvent::UpdateRequest) // the window is painted
        Continue_Start_Up();
    return handled;
}

void frmMain::Follow_Pixel_Ratio()
{
    const qreal ratio = Canvas_Ratio(*this);
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
