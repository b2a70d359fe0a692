#include "controls.h"

#include "surface.h"

#include <QAction>
#include <QActionGroup>
#include <QBitmap>
#include <QEvent>
#include <QLayout>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSignalBlocker>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <cmath>

// --- Control ----------------------------------------------------------------

Single Control::Left() const
{
    return screen_->Twips_X(widget_->x());
}

Single Control::Top() const
{
    return screen_->Twips_Y(widget_->y());
}

Single Control::Width() const
{
    return screen_->Twips_X(widget_->width());
}

Single Control::Height() const
{
    return screen_->Twips_Y(widget_->height());
}

void Control::Set_Left(Single left)
{
    widget_->move(screen_->Pixels_X(left), widget_->y());
}

void Control::Set_Top(Single top)
{
    widget_->move(widget_->x(), screen_->Pixels_Y(top));
}

void Control::Set_Width(Single width)
{
    if (!(width >= 0))
        Raise_Invalid_Property_Value();
    widget_->resize(screen_->Pixels_X(width), widget_->height());
}

void Control::Set_Height(Single height)
{
    if (!(height >= 0))
        Raise_Invalid_Property_Value();
    widget_->resize(widget_->width(), screen_->Pixels_Y(height));
}

// --- Scroll_Bar -------------------------------------------------------------

Scroll_Bar::Scroll_Bar(QScrollBar *bar, const Screen_Metrics &screen) : Control(bar, screen), bar_(bar)
{
    bar_->setRange(0, 32767); // the platform's default range until a layout sets one
    bar_->setTracking(false);
}

Integer Scroll_Bar::Max() const
{
    return Integer(bar_->minimum() < 0 ? bar_->minimum() : bar_->maximum());
}

void Scroll_Bar::Set_Max(Integer max)
{
    if (max >= 0)
        bar_->setRange(0, max);
    else
        bar_->setRange(max, 0);
}

void Scroll_Bar::Set_Value(Integer value)
{
    if (value < bar_->minimum() || value > bar_->maximum())
        Raise_Invalid_Property_Value();
    bar_->setValue(value);
}

void Scroll_Bar::Set_SmallChange(Integer change)
{
    if (change < 0)
        Raise_Invalid_Property_Value();
    bar_->setSingleStep(change);
}

void Scroll_Bar::Set_LargeChange(Integer change)
{
    if (change < 0)
        Raise_Invalid_Property_Value();
    bar_->setPageStep(change);
}

void Scroll_Bar::Step(int steps, Integer change)
{
    const long target = long(bar_->value()) + long(steps) * long(change);
    bar_->setValue(int(std::clamp<long>(target, bar_->minimum(), bar_->maximum())));
}

// --- Preview_View -----------------------------------------------------------

Preview_View::Preview_View(QWidget *parent) : QWidget(parent)
{
    // The image covers the whole widget: nothing behind it needs painting.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
}

void Preview_View::Show_Page(Preview_Surface &surface)
{
    if (surface.Generation() == generation_)
        return;
    image_ = surface.Image();
    generation_ = surface.Generation();
    ratio_ = surface.Device_Pixel_Ratio();
    resize(surface.Pixel_Size());
    update();
}

void Preview_View::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    // The image holds device pixels: drawn at its size over the ratio, one
    // image pixel lands on one device pixel.
    painter.drawImage(QRectF(0, 0, image_.width() / ratio_, image_.height() / ratio_), image_);
}

// --- Focus_Mark -------------------------------------------------------------

Focus_Mark::Focus_Mark(QWidget *owner) : QFocusFrame(owner)
{
    hide();
    owner->installEventFilter(this);
}

bool Focus_Mark::eventFilter(QObject *, QEvent *event)
{
    switch (event->type()) {
    case QEvent::FocusIn:
        setGeometry(parentWidget()->rect());
        raise();
        show();
        break;
    case QEvent::FocusOut:
        hide();
        break;
    case QEvent::Resize:
        setGeometry(parentWidget()->rect());
        break;
    default:
        break;
    }
    return false;
}

void Focus_Mark::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
}

Caret_Mark::Caret_Mark(QWidget *canvas) : QWidget(canvas)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    hide();
}

void Caret_Mark::Mark(const QRect &line, int caret)
{
    if (line.isEmpty()) {
        hide();
        return;
    }
    setGeometry(line.adjusted(-2, -1, 2, 1));
    caret_ = caret - x();
    raise();
    show();
    update();
}

void Caret_Mark::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QColor band = palette().color(QPalette::Highlight);
    band.setAlpha(64);
    painter.fillRect(rect(), band);
    painter.fillRect(QRect(caret_ - 1, 0, 2, height()), palette().color(QPalette::Highlight));
}

// --- Toolbar ----------------------------------------------------------------

namespace {

const char *const Image_Files[] = {
    "toolbar-01-new.png",    "toolbar-02-open.png",     "toolbar-03-save.png",    "toolbar-04-pdf.png",
    "toolbar-05-edit.png",   "toolbar-06-help.png",     "toolbar-07-zoom100.png", "toolbar-08-fitwidth.png",
    "toolbar-09-fitpage.png", "toolbar-10-prev.png",    "toolbar-11-next.png",    "toolbar-12-exit.png",
};

// Silver is the images' background: made transparent by a mask. Every size
// is offered, so a denser screen gets its own pixels, not an enlargement.
QIcon Toolbar_Image(int number)
{
    QIcon icon;
    const QString file = QStringLiteral(":/assets/") + QLatin1String(Image_Files[number - 1]);
    for (const int size : {16, 20, 24, 32, 48}) {
        QPixmap pixmap(size == 16 ? file : QString(file).replace(QStringLiteral(".png"), QStringLiteral("-%1.png").arg(size)));
        pixmap.setMask(pixmap.createMaskFromColor(QColor(192, 192, 192), Qt::MaskInColor));
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace

Tool_Bar::Tool_Bar(QWidget *parent, const Screen_Metrics &screen) : QToolBar(parent), screen_(screen)
{
    setMovable(false);
    setFloatable(false);
    setIconSize(QSize(16, 16));
    setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    // Captions in a small sans serif, as toolbars of this kind have them, so
    // the 23 buttons fit the window's width at its start-up size.
    QFont small(QStringLiteral("Arial"));
    small.setPointSize(8);
    setFont(small);
    Drop_Margins();
    group_ = new QActionGroup(this);
    group_->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);

    // In a narrow window Qt lists the buttons that do not fit in the menu of
    // the toolbar's overflow button, filled anew at every layout; gaps mean
    // nothing there, so the separators are taken out before it shows. The
    // button takes the focus with Tab like the commands it stands for.
    if (QToolButton *more = Overflow_Button()) {
        more->setAccessibleName(QStringLiteral("More commands"));
        more->setToolTip(QStringLiteral("The commands the window is too narrow to show"));
        more->setFocusPolicy(Qt::TabFocus);
    }
    if (QMenu *menu = Overflow())
        connect(menu, &QMenu::aboutToShow, menu, [this, menu] {
            for (QAction *action : menu->actions())
                if (action->isSeparator())
                    menu->removeAction(action);
            // Opened from the keyboard, it starts on its first entry, as
            // menus do, once every entry is in.
            if (Overflow_Button()->hasFocus())
                QTimer::singleShot(0, menu, [menu] {
                    if (!menu->activeAction() && !menu->actions().isEmpty())
                        menu->setActiveAction(menu->actions().first());
                });
        });
}

QToolButton *Tool_Bar::Overflow_Button() const
{
    return findChild<QToolButton *>(QStringLiteral("qt_toolbar_ext_button"), Qt::FindDirectChildrenOnly);
}

QMenu *Tool_Bar::Overflow() const
{
    const QToolButton *more = Overflow_Button();
    return more ? more->menu() : nullptr;
}

// The toolbar is 600 twips (40 pixels) high: without the style's margins
// around the buttons, an image and a caption with its descenders fit. Qt puts
// the style's margins back whenever the style changes.
void Tool_Bar::Drop_Margins()
{
    layout()->setContentsMargins(0, 0, 0, 0);
}

void Tool_Bar::changeEvent(QEvent *event)
{
    QToolBar::changeEvent(event);
    if (event->type() == QEvent::StyleChange)
        Drop_Margins();
}

Toolbar_Button &Tool_Bar::Add(Command id, const QString &caption, Button_Style style, int image, Single width)
{
    QAction *action = nullptr;
    QWidget *placeholder = nullptr;
    switch (style) {
    case Button_Style::Separator:
        // A gap; a separator shows neither its caption nor its image.
        action = addSeparator();
        action->setText(caption);
        break;
    case Button_Style::Placeholder:
        placeholder = new QWidget;
        placeholder->setFixedWidth(screen_.Pixels_X(width));
        action = addWidget(placeholder);
        action->setText(caption);
        break;
    case Button_Style::Default:
    case Button_Style::Group:
        action = addAction(image > 0 ? Toolbar_Image(image) : QIcon(), caption);
        if (style == Button_Style::Group) {
            action->setCheckable(true);
            group_->addAction(action);
        }
        if (QWidget *button = widgetForAction(action))
            button->setAccessibleName(caption);
        break;
    }
    return buttons_.emplace_back(Toolbar_Button{id, caption, style, action, placeholder, this});
}

Toolbar_Button &Tool_Bar::Button(Command id)
{
    for (Toolbar_Button &button : buttons_)
        if (button.Id == id && id != Command::None)
            return button;
    throw RuntimeError(Err_Index_Out_Of_Bounds, "Index out of bounds");
}

Toolbar_Button *Tool_Bar::Find(QAction *action)
{
    for (Toolbar_Button &button : buttons_)
        if (button.action == action)
            return &button;
    return nullptr;
}

void Tool_Bar::Settle()
{
    layout()->activate();
}

QWidget *Toolbar_Button::Shown() const
{
    toolbar->Settle();
    return toolbar->widgetForAction(action);
}

Single Toolbar_Button::Left() const
{
    const QWidget *w = Shown();
    return w ? toolbar->Screen_Of().Twips_X(w->x()) : 0;
}

Single Toolbar_Button::Top() const
{
    const QWidget *w = Shown();
    return w ? toolbar->Screen_Of().Twips_Y(w->y()) : 0;
}

Single Toolbar_Button::Width() const
{
    const QWidget *w = Shown();
    return w ? toolbar->Screen_Of().Twips_X(w->width()) : 0;
}

Single Toolbar_Button::Height() const
{
    const QWidget *w = Shown();
    return w ? toolbar->Screen_Of().Twips_Y(w->height()) : 0;
}

void Toolbar_Button::Set_Width(Single width)
{
    if (!placeholder)
        throw RuntimeError(Err_Read_Only, "Property is read-only");
    if (!(width >= 0))
        Raise_Invalid_Property_Value();
    placeholder->setFixedWidth(toolbar->Screen_Of().Pixels_X(width));
    // A placeholder pushed off the end is hidden, and a hidden widget's new
    // size does not reach the layout by itself.
    toolbar->layout()->invalidate();
}

Integer Toolbar_Button::Value() const
{
    return action->isChecked() ? 1 : 0;
}

void Toolbar_Button::Set_Enabled(bool enabled)
{
    action->setEnabled(enabled);
}

bool Toolbar_Button::Enabled() const
{
    return action->isEnabled();
}

// --- Combo_Box --------------------------------------------------------------

void Combo_Box::Clear()
{
    box_->clear();
}

void Combo_Box::AddItem(const QString &item)
{
    const int selected = box_->currentIndex();
    if (selected >= 0) {
        box_->addItem(item);
        return;
    }
    // Qt selects the first entry of an empty list by itself; the list keeps
    // nothing selected instead, unnoticed.
    const QSignalBlocker quiet(box_);
    box_->addItem(item);
    box_->setCurrentIndex(-1);
}

void Combo_Box::Set_ListIndex(Integer index)
{
    if (index < -1 || index >= box_->count())
        Raise_Invalid_Property_Value();
    box_->setCurrentIndex(index);
}
