// The window's controls as the window code addresses them: every position
// and length in twips (Single), converted to Qt's whole pixels at the
// screen's twips per pixel, halves to even. A read returns what the widget
// really has, so a length that is not a whole number of pixels reads back as
// the nearest one.
#pragma once

#include "preview_surface.h"
#include "runtime.h"

#include <QComboBox>
#include <QFocusFrame>
#include <QImage>
#include <QScrollBar>
#include <QString>
#include <QToolBar>
#include <QWidget>

#include <deque>

class QAction;
class QActionGroup;
class QMenu;
class QToolButton;

// Geometry and visibility of one widget, in twips of its parent on the
// window's screen.
class Control {
public:
    Control(QWidget *widget, const Screen_Metrics &screen) : widget_(widget), screen_(&screen) {}

    Single Left() const;
    Single Top() const;
    Single Width() const;
    Single Height() const;
    void Set_Left(Single left);
    void Set_Top(Single top);
    // Negative lengths are refused (Err_Invalid_Property_Value).
    void Set_Width(Single width);
    void Set_Height(Single height);
    bool Visible() const { return !widget_->isHidden(); }
    void Set_Visible(bool visible) { widget_->setVisible(visible); }
    void Set_Enabled(bool enabled) { widget_->setEnabled(enabled); }

    QWidget *widget() const { return widget_; }

private:
    QWidget *widget_;
    const Screen_Metrics *screen_;
};

// A scroll bar with its range in twips as 16-bit Integers; Min stays 0. A Max
// below 0 (a shown bar before the page is drawn) leaves 0 a valid Value. The
// bar reports a change of its value once; a drag reports only where it ends.
class Scroll_Bar : public Control {
public:
    Scroll_Bar(QScrollBar *bar, const Screen_Metrics &screen);

    Integer Max() const;
    void Set_Max(Integer max);
    Integer Value() const { return Integer(bar_->value()); }
    // A value outside 0..Max is refused (Err_Invalid_Property_Value).
    void Set_Value(Integer value);
    Integer SmallChange() const { return Integer(bar_->singleStep()); }
    void Set_SmallChange(Integer change);
    Integer LargeChange() const { return Integer(bar_->pageStep()); }
    void Set_LargeChange(Integer change);

    // Moves the value by `steps` (negative: back), stopping at 0 and Max.
    void Step(int steps, Integer change);

    QScrollBar *bar() const { return bar_; }

private:
    QScrollBar *bar_;
};

// The preview canvas on screen: shows the finished image of a Preview_Surface,
// one image pixel to one device pixel, in a rectangle of the surface's
// logical pixel size. It takes a new image only from Show_Page, so a page
// whose drawing failed half way is never shown.
class Preview_View : public QWidget {
public:
    explicit Preview_View(QWidget *parent);

    // Takes the surface's finished image and size if it changed since the last call.
    void Show_Page(Preview_Surface &surface);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage image_;
    qreal ratio_ = 1;
    quint64 generation_ = ~quint64(0);
};

// The keyboard focus drawn as a frame over a widget that shows none itself
// (the viewport, whose canvas covers it): shown only while it has the focus.
class Focus_Mark : public QFocusFrame { // a focus frame, which the accessibility bus leaves out
public:
    explicit Focus_Mark(QWidget *owner);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
};

// The page's caret for the eye: its line marked with a translucent band and
// the caret as a bar, over the canvas (a child of it, so it scrolls with the
// page), never in the canvas's image.
class Caret_Mark : public QWidget {
public:
    explicit Caret_Mark(QWidget *canvas);

    // Marks `line` with the caret at x `caret`, in the canvas's pixels; an
    // empty line hides the mark.
    void Mark(const QRect &line, int caret);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int caret_ = 0; // inside the mark
};

enum class Button_Style { Default, Group, Separator, Placeholder };

// The toolbar's buttons as the window refers to them; the gaps have none.
// "Current" holds the page box, "Exit_Room" the room before "Exit".
enum class Command {
    None, New, Open, Save, Print, Edit, Help, Zoom_100, Fit_Width, Fit_Page, Prev, Current, Next, Exit_Room, Exit
};

class Tool_Bar;

// One button of the toolbar; its geometry reads are in twips of the toolbar.
struct Toolbar_Button {
    Command Id;
    QString Caption;
    Button_Style Style;
    QAction *action;
    QWidget *placeholder; // the empty space of a placeholder, else null
    Tool_Bar *toolbar;

    Single Left() const;
    Single Top() const;
    Single Width() const;
    Single Height() const;
    // Placeholders only.
    void Set_Width(Single width);
    // 1 when pressed, else 0.
    Integer Value() const;
    void Set_Enabled(bool enabled);
    bool Enabled() const;

private:
    QWidget *Shown() const;
};

// The toolbar: buttons in a fixed order, each known by its command.
class Tool_Bar : public QToolBar {
public:
    Tool_Bar(QWidget *parent, const Screen_Metrics &screen);

    const Screen_Metrics &Screen_Of() const { return screen_; }

    // `image` 0 for none, else the number of the toolbar image (1 to 12).
    Toolbar_Button &Add(Command id, const QString &caption, Button_Style style, int image, Single width = 0);

    int Count() const { return int(buttons_.size()); }
    // The button of this command.
    Toolbar_Button &Button(Command id);
    std::deque<Toolbar_Button> &All() { return buttons_; }
    Toolbar_Button *Find(QAction *action);

    // Lays the buttons out now if anything changed since.
    void Settle();

    // The button that a narrow toolbar shows at its end, and its menu of
    // the buttons that do not fit.
    QToolButton *Overflow_Button() const;
    QMenu *Overflow() const;

protected:
    void changeEvent(QEvent *event) override;

private:
    void Drop_Margins();

    const Screen_Metrics &screen_;
    std::deque<Toolbar_Button> buttons_;
    QActionGroup *group_ = nullptr;
};

// A combo box that offers only its list. Adding an entry leaves the
// selection as it is.
class Combo_Box : public Control {
public:
    Combo_Box(QComboBox *box, const Screen_Metrics &screen) : Control(box, screen), box_(box) {}

    void Clear();
    void AddItem(const QString &item);
    Integer ListIndex() const { return Integer(box_->currentIndex()); }
    void Set_ListIndex(Integer index);
    Integer ListCount() const { return Integer(box_->count()); }
    QString Text() const { return box_->currentText(); }

    QComboBox *box() const { return box_; }

private:
    QComboBox *box_;
};
