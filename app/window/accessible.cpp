#include "accessible.h"

#include "controls.h"
#include "frm_main.h"
#include "page_text.h"
#include "support_routines.h"

#include <QAccessibleWidget>
#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QToolButton>
#include <QFocusFrame>

#include <cmath>
#include <utility>

namespace {

bool Shows_Page(const QWidget *widget)
{
    return widget->property("shows_page").toBool();
}

bool Is_Gap(const QWidget *widget)
{
    return widget->inherits("QToolBarSeparator") || widget->objectName() == QLatin1String("placeholder");
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
        // A command that changes the page shown tells what is shown, so
        // that its use is heard where the focus is.
        if (t == QAccessible::Description && Shows_Page(button()))
            if (const auto *window = dynamic_cast<const frmMain *>(widget()->window()))
                return QStringLiteral("%1; %2").arg(QAccessibleWidget::text(t), window->Page_Status());
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
    frmMain *viewer() const { return dynamic_cast<frmMain *>(widget()->window()); }
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
    if (dynamic_cast<frmMain *>(widget))
        return new QAccessibleWidget(widget, QAccessible::Window); // a frame, named by its title
    if (widget->objectName() == QLatin1String("picWindow"))
        return new Page_Accessible(widget);
    if (dynamic_cast<Tool_Bar *>(widget))
        return new Tool_Bar_Accessible(widget);
    if (widget->objectName() == QLatin1String("cboPage"))
        if (auto *box = qobject_cast<QComboBox *>(widget))
            return new Page_Box_Accessible(box);
    if (auto *button = qobject_cast<QToolButton *>(widget); button && dynamic_cast<Tool_Bar *>(button->parent()))
        return new Command_Accessible(button);
    if (Is_Gap(widget))
        return new QAccessibleWidget(widget, QAccessible::Separator);
    return nullptr;
}

} // namespace

void Install_Accessibility()
{
    static const bool installed = (QAccessible::installFactory(Factory), true);
    (void)installed;
}

void Description_Changed(QObject *object)
{
    if (!QAccessible::isActive())
        return;
    QAccessibleInterface *changed = QAccessible::queryAccessibleInterface(object);
    const QDBusConnection bus(QStringLiteral("a11y")); // the connection Qt's bridge opened
    if (!changed || !bus.isConnected()) {
        QAccessibleEvent event(object, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&event);
        return;
    }
    const QString prefix = QStringLiteral("/org/a11y/atspi/accessible/");
    QDBusMessage signal = QDBusMessage::createSignal(prefix + QString::number(QAccessible::uniqueId(changed)),
                                                     QStringLiteral("org.a11y.atspi.Event.Object"),
                                                     QStringLiteral("PropertyChange"));
    QDBusArgument application;
    application.beginStructure();
    application << bus.baseService() << QDBusObjectPath(prefix + QStringLiteral("root"));
    application.endStructure();
    signal << QStringLiteral("accessible-description") << 0 << 0
           << QVariant::fromValue(QDBusVariant(changed->text(QAccessible::Description)))
           << QVariant::fromValue(application);
    bus.send(signal);
}
