// What the accessibility bus (a screen reader, a magnifier) learns of the
// window beyond what Qt's widgets say themselves: the window as a frame,
// the page box named "Page" with the page as its value and text, the toolbar
// without its gaps, its commands with their keys, and the page view as the
// page itself: one document that names the form, tells the page and the
// zoom, and offers the form's texts with a caret. The window is known here
// only through Readable_Page and the two widgets it offers.
#pragma once

#include <QPointF>
#include <QRectF>
#include <QString>

#include <functional>

class QComboBox;
class QObject;
class QWidget;

// What the page's accessible object asks of the window that shows the page.
class Readable_Page {
public:
    // The page and zoom shown and what the arrows do.
    virtual QString Page_Description() const = 0;
    // The caret, an offset into the page's text (page_text.h); setting it
    // brings its line into view.
    virtual int Caret() const = 0;
    virtual void Set_Caret(int offset) = 0;
    // The canvas the page is drawn on, at the zoom shown.
    virtual QWidget *Canvas() const = 0;
    // A box of the page's text (twips of the sheet) on the canvas, in its
    // logical pixels at the zoom shown, and a point of the canvas on the sheet.
    virtual QRectF On_Canvas(const QRectF &sheet) const = 0;
    virtual QPointF On_Sheet(QPointF canvas) const = 0;

protected:
    ~Readable_Page() = default;
};

// Installs the factory and has Qt's bridge to the bus follow the bus's
// status, so that a screen reader started after the window hears it. Call
// it before the first widget is made; again, it does nothing.
void Install_Accessibility();

// Whether Install_Accessibility caught the hook of Qt's bridge that lets a
// later screen reader be heard (platform_quirks.h).
bool Late_Reader_Hooked();

// `view` is offered as the page of its window, which is a Readable_Page;
// `box` as the page box.
void Offer_Page(QWidget *view);
void Offer_Page_Box(QComboBox *box);
// `box` as the page box is offered: named by its accessible name, its entry
// its value and text (Qt names a combo box after its entry instead).
void Offer_Named_Box(QComboBox *box);

// Tells a screen reader that the object's description changed, so that it
// reads it anew; nothing is said. Nothing while no assistive technology
// listens.
void Description_Changed(QObject *object);

// Has a screen reader say `message` wherever the keyboard focus is in the
// program. The only way Orca 43 lets a Qt 6.4 program speak is a change of
// the focused object's description: the message goes as one, and the real
// description is then to be read anew (platform quirk atspi-signals); from
// Qt 6.8 it is Qt's announcement event. Nothing while none listens.
void Say(const QString &message);

// Tests hear every message given to Say, whether or not a reader listens;
// passing nothing stops that.
void Hear_Said(std::function<void(const QString &message)> listener = {});
