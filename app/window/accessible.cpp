#include "accessible.h"

#include "page_text.h"
#include "platform_quirks.h"
#include "support_routines.h"

#include <QAccessibleWidget>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QChildEvent>
#include <QComboBox>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QFocusFrame>
#include <QGuiApplication>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

// What the window offered a widget as (a dynamic property of its own).
enum class Offered { Nothing, Page, Page_Box };
constexpr char Offered_As[] = "quorvel_offered_as";

Offered Offered_Of(const QWidget *widget)
{
    return Offered(widget->property(Offered_As).toInt());
}

// A separator, or a placeholder: a bare widget on a toolbar, space only.
bool Is_Gap(const QWidget *widget)
{
    return widget->inherits("QToolBarSeparator") ||
           (widget->metaObject() == &QWidget::staticMetaObject && qobject_cast<QToolBar *>(widget->parent()));
}

// A toolbar command: what Qt says of a tool button, and the key of its
// action, which Qt does not pass on.
class Command_Accessible : public QAccessibleWidget {
public:
    explicit Command_Accessible(QToolButton *button) : QAccessibleWidget(button, QAccessible::Button) {}

    // A zoom mode is a check box, as Qt has it; the toolbar makes the
    // button checkable only after its accessible object may exist.
    QAccessible::Role role() const override { return button()->isCheckable() ? QAccessible::CheckBox : QAccessible::Button; }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.checkable = button()->isCheckable();
        state.checked = button()->isChecked();
        state.pressed = button()->isDown();
        return state;
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Accelerator)
            return Keys();
        return QAccessibleWidget::text(t);
    }
    QStringList actionNames() const override { return QStringList(pressAction()) + QAccessibleWidget::actionNames(); }
    void doAction(const QString &name) override
    {
        if (name == pressAction())
            button()->click();
        else
            QAccessibleWidget::doAction(name);
    }
    QStringList keyBindingsForAction(const QString &name) const override
    {
        return name == pressAction() && !Keys().isEmpty() ? QStringList(Keys()) : QStringList();
    }

private:
    QToolButton *button() const { return static_cast<QToolButton *>(widget()); }
    QString Keys() const
    {
        const QAction *action = button()->defaultAction();
        return action ? action->shortcut().toString(QKeySequence::NativeText) : QString();
    }
};

// A text of the window's own as the text interface offers it: read only,
// with no selection to give or take, so every selection call answers no.
class Read_Only_Text : public QAccessibleTextInterface {
public:
    void selection(int, int *startOffset, int *endOffset) const override { *startOffset = *endOffset = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    QString text(int startOffset, int endOffset) const override
    {
        const QString all = Text();
        startOffset = std::clamp(startOffset, 0, int(all.size()));
        endOffset = endOffset < 0 ? int(all.size()) : std::clamp(endOffset, startOffset, int(all.size()));
        return all.mid(startOffset, endOffset - startOffset);
    }
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int *startOffset, int *endOffset) const override
    {
        return Span(Unit_Before(Text(), offset, type), startOffset, endOffset);
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType type, int *startOffset, int *endOffset) const override
    {
        return Span(Unit_After(Text(), offset, type), startOffset, endOffset);
    }
    QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int *startOffset, int *endOffset) const override
    {
        return Span(Unit_At(Text(), offset, type), startOffset, endOffset);
    }
    int characterCount() const override { return int(Text().size()); }
    // No attributes: one run over the whole text, none outside it (a run
    // of one offset each would make a reader drop a line's last character).
    QString attributes(int offset, int *startOffset, int *endOffset) const override
    {
        const bool inside = offset >= 0 && offset < characterCount();
        *startOffset = inside ? 0 : -1;
        *endOffset = inside ? characterCount() : -1;
        return QString();
    }

protected:
    virtual QString Text() const = 0;

private:
    QString Span(Text_Span span, int *startOffset, int *endOffset) const
    {
        *startOffset = span.first;
        *endOffset = span.second;
        return Text().mid(span.first, span.second - span.first);
    }
};

// The page box: Qt's own names a combo box after its current text, so the
// box's label would be lost; the page shown is its value and its text.
class Page_Box_Accessible : public QAccessibleWidget, public Read_Only_Text {
public:
    explicit Page_Box_Accessible(QComboBox *box) : QAccessibleWidget(box, QAccessible::ComboBox) {}

    void *interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        return QAccessibleWidget::interface_cast(t);
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name)
            return box()->accessibleName();
        if (t == QAccessible::Value)
            return box()->currentText();
        return QAccessibleWidget::text(t);
    }
    // The list of pages, with the current one selected, as Qt's own box has it.
    int childCount() const override { return 1; }
    QAccessibleInterface *child(int index) const override
    {
        return index == 0 ? QAccessible::queryAccessibleInterface(static_cast<QObject *>(box()->view())) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override { return child == this->child(0) ? 0 : -1; }

    using Read_Only_Text::text;
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QRect characterRect(int) const override { return QRect(); }
    int offsetAtPoint(const QPoint &) const override { return -1; }
    void scrollToSubstring(int, int) override {}

protected:
    QString Text() const override { return box()->currentText(); }

private:
    QComboBox *box() const { return static_cast<QComboBox *>(widget()); }
};

// The page view, offered as the page: a document named for the form,
// described by page, zoom and what the arrows do, whose text is the form's
// texts in reading order with the window's caret in it. It has the keyboard
// focus whenever the view has; the canvas inside is not offered apart.
class Page_Accessible : public QAccessibleWidget, public Read_Only_Text {
public:
    explicit Page_Accessible(QWidget *view) : QAccessibleWidget(view, QAccessible::Document) {}

    void *interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        return QAccessibleWidget::interface_cast(t);
    }
    int childCount() const override { return 0; }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name)
            return QStringLiteral("Travel expense report");
        if (t == QAccessible::Description)
            return viewer() ? viewer()->Page_Description() : QString();
        return QAccessibleWidget::text(t);
    }

    using Read_Only_Text::text;
    int cursorPosition() const override { return viewer() ? viewer()->Caret() : 0; }
    void setCursorPosition(int position) override
    {
        if (viewer())
            viewer()->Set_Caret(position);
    }

    // Where a character is on the screen, at the zoom the page is shown at.
    QRect characterRect(int offset) const override
    {
        const Page_Text &page = The_Page_Text();
        if (offset < 0 || offset >= page.boxes.size() || !viewer())
            return QRect();
        const QRectF zoomed = viewer()->On_Canvas(page.boxes[offset]);
        return QRect(viewer()->Canvas()->mapToGlobal(zoomed.topLeft().toPoint()), zoomed.size().toSize());
    }
    int offsetAtPoint(const QPoint &point) const override
    {
        if (!viewer())
            return -1;
        return Offset_At(The_Page_Text().boxes, viewer()->On_Sheet(QPointF(viewer()->Canvas()->mapFromGlobal(point))));
    }
    void scrollToSubstring(int startIndex, int) override { setCursorPosition(startIndex); }

protected:
    QString Text() const override { return The_Page_Text().text; }

private:
    Readable_Page *viewer() const { return dynamic_cast<Readable_Page *>(widget()->window()); }
};

// The toolbar without its gaps: separators and placeholders are space, not
// something to read.
class Tool_Bar_Accessible : public QAccessibleWidget {
public:
    explicit Tool_Bar_Accessible(QWidget *bar) : QAccessibleWidget(bar, QAccessible::ToolBar) {}

    int childCount() const override { return int(Children().size()); }
    QAccessibleInterface *child(int index) const override
    {
        const QList<QWidget *> children = Children();
        return index >= 0 && index < children.size() ? QAccessible::queryAccessibleInterface(children[index]) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        return child ? int(Children().indexOf(child->object())) : -1;
    }

private:
    QList<QWidget *> Children() const
    {
        QList<QWidget *> shown;
        for (QObject *object : widget()->children())
            if (auto *child = qobject_cast<QWidget *>(object);
                child && !child->isWindow() && !Is_Gap(child) && !qobject_cast<QFocusFrame *>(child))
                shown.append(child);
        return shown;
    }
};

QAccessibleInterface *Factory(const QString &, QObject *object)
{
    auto *widget = qobject_cast<QWidget *>(object);
    if (!widget)
        return nullptr;
    if (widget->isWindow() && dynamic_cast<Readable_Page *>(widget))
        return new QAccessibleWidget(widget, QAccessible::Window); // a frame, named by its title
    switch (Offered_Of(widget)) {
    case Offered::Page:
        return new Page_Accessible(widget);
    case Offered::Page_Box:
        return new Page_Box_Accessible(static_cast<QComboBox *>(widget));
    case Offered::Nothing:
        break;
    }
    if (qobject_cast<QToolBar *>(widget))
        return new Tool_Bar_Accessible(widget);
    // The overflow button, which has no command of its own, is Qt's menu button.
    if (auto *button = qobject_cast<QToolButton *>(widget);
        button && button->defaultAction() && qobject_cast<QToolBar *>(button->parent()))
        return new Command_Accessible(button);
    if (Is_Gap(widget))
        return new QAccessibleWidget(widget, QAccessible::Separator);
    return nullptr;
}

// Qt's bridge to AT-SPI is made on X11 and Wayland.
bool Atspi_Platform()
{
    const QString platform = QGuiApplication::platformName();
    return platform.startsWith(QLatin1String("xcb")) || platform.startsWith(QLatin1String("wayland"));
}

// Qt's own connection to the accessibility bus, by the name Qt 6.4 gives it
// (platform quirk atspi-signals); said when it is missing while the bridge
// is on.
QDBusConnection Atspi_Bus()
{
    QDBusConnection bus(QStringLiteral("a11y"));
    if (!bus.isConnected() && QAccessible::isActive() && Atspi_Platform())
        Quirk_Missing(Quirk::Atspi_Signals, QStringLiteral("(no bus connection named \"a11y\")"));
    return bus;
}

// Sends the object's description change with `value` on the connection
// Qt's bridge opened, as AT-SPI has it (Qt 6.4 sends the object in the
// description's place, which a reader cannot say). A value that is not a
// text leaves the description to be read anew. False when there is no
// connection to send it on.
bool Send_Description(QAccessibleInterface *changed, const QVariant &value)
{
    const QDBusConnection bus = Atspi_Bus();
    if (!bus.isConnected())
        return false;
    const QString prefix = QStringLiteral("/org/a11y/atspi/accessible/");
    QDBusMessage signal = QDBusMessage::createSignal(prefix + QString::number(QAccessible::uniqueId(changed)),
                                                     QStringLiteral("org.a11y.atspi.Event.Object"),
                                                     QStringLiteral("PropertyChange"));
    QDBusArgument application;
    application.beginStructure();
    application << bus.baseService() << QDBusObjectPath(prefix + QStringLiteral("root"));
    application.endStructure();
    signal << QStringLiteral("accessible-description") << 0 << 0 << QVariant::fromValue(QDBusVariant(value))
           << QVariant::fromValue(application);
    return bus.send(signal);
}

// Qt's bridge answers every call of the bus under one path, and some of its
// answers take the caller's numbers as they come: the box of a range loops
// over every offset in it (0 to 2^31-1 holds the window for good), a text to
// insert is first made as long as told (gigabytes), and GetBoundedRanges is
// never answered at all. The calls pass through here first: ranges and
// lengths are bounded by the text, GetBoundedRanges is refused at once, and
// the rest goes to Qt's bridge as it came.
class Bridge_Guard : public QDBusVirtualObject {
public:
    explicit Bridge_Guard(QDBusVirtualObject *bridge) : QDBusVirtualObject(bridge), bridge_(bridge) {}

    QString introspect(const QString &path) const override { return bridge_->introspect(path); }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        const QString called = message.interface() + u'.' + message.member();
        QList<QVariant> arguments = message.arguments();
        if (called == QLatin1String("org.a11y.atspi.Text.GetBoundedRanges"))
            return connection.send(message.createErrorReply(
                QDBusError::NotSupported, QStringLiteral("The text's ranges within a box are not offered")));
        if (called == QLatin1String("org.a11y.atspi.Text.GetRangeExtents") && arguments.size() == 3) {
            const int count = Character_Count(message.path());
            for (const int i : {0, 1})
                if (arguments[i].toInt() != -1) // -1: the text's end
                    arguments[i] = std::clamp(arguments[i].toInt(), 0, count);
        } else if (called == QLatin1String("org.a11y.atspi.EditableText.InsertText") && arguments.size() == 3) {
            arguments[2] = std::clamp(arguments[2].toInt(), 0, int(arguments[1].toString().size()));
        } else {
            return bridge_->handleMessage(message, connection);
        }
        QDBusMessage bounded = message; // answered as the call that came
        bounded.setArguments(arguments);
        return bridge_->handleMessage(bounded, connection);
    }

private:
    // The length of the text of the object at `path` (as the bridge names
    // objects); 0 for none.
    static int Character_Count(const QString &path)
    {
        bool number = false;
        const auto id = QAccessible::Id(path.section(u'/', -1).toUInt(&number));
        QAccessibleInterface *object = number ? QAccessible::accessibleInterface(id) : nullptr;
        QAccessibleTextInterface *text = object && object->isValid() ? object->textInterface() : nullptr;
        return text ? std::max(text->characterCount(), 0) : 0;
    }

    QDBusVirtualObject *bridge_;
};

// Puts the guard in front of Qt's bridge once it answers on the bus.
void Guard_Bridge()
{
    QDBusConnection bus = Atspi_Bus();
    const QString path = QStringLiteral("/org/a11y/atspi/accessible");
    auto *bridge = bus.isConnected() ? qobject_cast<QDBusVirtualObject *>(bus.objectRegisteredAt(path)) : nullptr;
    if (bus.isConnected() && !bridge)
        Quirk_Missing(Quirk::Atspi_Signals, QStringLiteral("(no object of Qt's bridge at %1)").arg(path));
    if (!bridge || dynamic_cast<Bridge_Guard *>(bridge))
        return;
    bus.unregisterObject(path);
    auto *guard = new Bridge_Guard(bridge);
    if (bus.registerVirtualObject(path, guard, QDBusConnection::SubPath))
        return;
    delete guard;
    bus.registerVirtualObject(path, bridge, QDBusConnection::SubPath);
    qWarning("The accessibility bus's calls could not be guarded: a request with a huge range may hold the window");
}

// Qt's bridge reads the bus's status (org.a11y.Status: IsEnabled,
// ScreenReaderEnabled) when the program starts and when the bus's service
// appears, never after; a screen reader started later would find the
// program silent. The bridge's connection object, which has the slot that
// reads the status, is met as Qt makes it (a child is added to it), and the
// bus's word that its status changed is passed to that slot (platform quirk
// late-screen-reader).
bool late_reader_hooked = false;

class Bridge_Catcher : public QObject {
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::ChildAdded && !caught_ &&
            qstrcmp(watched->metaObject()->className(), "DBusConnection") == 0 &&
            watched->metaObject()->indexOfSlot("serviceRegistered()") >= 0) {
            caught_ = true;
            late_reader_hooked = QDBusConnection::sessionBus().connect(
                QString(), QStringLiteral("/org/a11y/bus"), QStringLiteral("org.freedesktop.DBus.Properties"),
                QStringLiteral("PropertiesChanged"), {QStringLiteral("org.a11y.Status")}, QString(), watched,
                SLOT(serviceRegistered()));
        }
        return false;
    }

private:
    bool caught_ = false;
};

// A screen reader that was there before the bridge came on knows nothing of
// the window: once the bridge is on, it is told, as when the window is
// activated, which window is active and where the focus is.
class Bridge_Follower : public QAccessible::ActivationObserver {
public:
    void accessibilityActiveChanged(bool active) override
    {
        if (active) // the bridge registers the program after it tells this
            QTimer::singleShot(0, qApp, [] {
                Guard_Bridge();
                QWidget *window = QApplication::activeWindow();
                if (!window || !QAccessible::isActive())
                    return;
                QAccessible::State activated;
                activated.active = true;
                QAccessibleStateChangeEvent shown(window, activated);
                QAccessible::updateAccessibility(&shown);
                if (QWidget *focus = QApplication::focusWidget()) {
                    QAccessibleEvent focused(focus, QAccessible::Focus);
                    QAccessible::updateAccessibility(&focused);
                }
            });
    }
};

} // namespace

void Install_Accessibility()
{
    static bool installed = false;
    if (installed || !qApp)
        return;
    installed = true;
    QAccessible::installFactory(Factory);
    static Bridge_Follower follower;
    QAccessible::installActivationObserver(&follower);
    // Qt makes its bridge when first asked whether it is on.
    Bridge_Catcher catcher;
    qApp->installEventFilter(&catcher);
    QAccessible::isActive();
    qApp->removeEventFilter(&catcher);
}

bool Late_Reader_Hooked()
{
    return late_reader_hooked;
}

void Offer_Page(QWidget *view)
{
    view->setProperty(Offered_As, int(Offered::Page));
}

void Offer_Page_Box(QComboBox *box)
{
    box->setProperty(Offered_As, int(Offered::Page_Box));
}

void Offer_Named_Box(QComboBox *box)
{
    Offer_Page_Box(box);
    // A widget made while a reader listens has its accessible object made
    // at once, as Qt's own: it is let go, so that the next is ours.
    if (QAccessible::isActive())
        if (QAccessibleInterface *made = QAccessible::queryAccessibleInterface(box))
            QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
}

void Description_Changed(QObject *object)
{
    if (QAccessible::isActive())
        if (QAccessibleInterface *changed = QAccessible::queryAccessibleInterface(object))
            Send_Description(changed, 0);
}

namespace {
std::function<void(const QString &)> saidListener;
} // namespace

void Hear_Said(std::function<void(const QString &)> listener)
{
    saidListener = std::move(listener);
}

void Say(const QString &message)
{
    if (saidListener)
        saidListener(message);
    QWidget *focus = QApplication::focusWidget();
    if (!focus || !QAccessible::isActive())
        return;
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    QAccessibleAnnouncementEvent said(focus, message);
    QAccessible::updateAccessibility(&said);
#else
    if (QAccessibleInterface *where = QAccessible::queryAccessibleInterface(focus))
        if (Send_Description(where, message))
            Send_Description(where, 0);
#endif
}
