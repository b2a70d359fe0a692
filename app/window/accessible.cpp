#include "accessible.h"

#include "controls.h"
#include "frm_main.h"
#include "page_text.h"
#include "support_routines.h"

#include <QAccessibleWidget>
#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QToolButton>
#include <QTextBoundaryFinder>

#include <cmath>
#include <utility>

namespace {

// The page box: Qt's own names a combo box after its current text, so the
// box's label would be lost.
class Page_Box_Accessible : public QAccessibleWidget {
public:
    explicit Page_Box_Accessible(QComboBox *box) : QAccessibleWidget(box, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override
    {
        const auto *box = static_cast<const QComboBox *>(widget());
        if (t == QAccessible::Name)
            return box->accessibleName();
        if (t == QAccessible::Value)
            return box->currentText();
        return QAccessibleWidget::text(t);
    }
    // The list of pages, with the current one selected, as Qt's own box has it.
    int childCount() const override { return 1; }
    QAccessibleInterface *child(int index) const override
    {
        return index == 0 ? QAccessible::queryAccessibleInterface(static_cast<QObject *>(static_cast<QComboBox *>(widget())->view())) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override { return child == this->child(0) ? 0 : -1; }
};

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

// The span [start, end) of the unit of `text` that holds `offset`: a
// character, a word, a line (ended by its line feed) or all of it.
std::pair<int, int> Unit_At(const QString &text, int offset, QAccessible::TextBoundaryType type)
{
    const int size = int(text.size());
    offset = std::clamp(offset, 0, size);
    switch (type) {
    case QAccessible::CharBoundary:
        return {offset, std::min(offset + 1, size)};
    case QAccessible::WordBoundary: {
        QTextBoundaryFinder words(QTextBoundaryFinder::Word, text);
        words.setPosition(offset);
        const int start = words.isAtBoundary() ? offset : int(words.toPreviousBoundary());
        words.setPosition(offset);
        const int end = int(words.toNextBoundary());
        return {std::max(start, 0), end < 0 ? size : end};
    }
    case QAccessible::NoBoundary:
        return {0, size};
    default: { // sentences, paragraphs and lines: the form's lines
        const int start = offset == 0 ? 0 : int(text.lastIndexOf(u'\n', offset - 1)) + 1;
        const int newline = int(text.indexOf(u'\n', offset));
        return {start, newline < 0 ? size : newline + 1};
    }
    }
}

// The page: a document named for the form, described by page and zoom,
// whose text is the form's texts in reading order.
class Page_Accessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit Page_Accessible(QWidget *canvas) : QAccessibleWidget(canvas, QAccessible::Document) {}

    void *interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name)
            return QStringLiteral("Travel expense report");
        if (t == QAccessible::Description) {
            const auto *window = dynamic_cast<const frmMain *>(widget()->window());
            const int page = window ? window->cboPage.ListIndex() + 1 : 1;
            const int pages = window ? window->cboPage.ListCount() : 1;
            return QStringLiteral("page %1 of %2, %3 %").arg(page).arg(pages).arg(std::lround(Zoom_Factor * 100.0));
        }
        return QAccessibleWidget::text(t);
    }

    // Text interface: read only, no selection, the caret at the start.
    void selection(int, int *startOffset, int *endOffset) const override { *startOffset = *endOffset = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QString text(int startOffset, int endOffset) const override
    {
        const QString &all = The_Page_Text().text;
        startOffset = std::clamp(startOffset, 0, int(all.size()));
        endOffset = endOffset < 0 ? int(all.size()) : std::clamp(endOffset, startOffset, int(all.size()));
        return all.mid(startOffset, endOffset - startOffset);
    }
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int *startOffset, int *endOffset) const override
    {
        const auto [start, end] = Unit_At(The_Page_Text().text, offset, type);
        return Span(start > 0 ? Unit_At(The_Page_Text().text, start - 1, type) : std::pair{0, 0}, startOffset, endOffset);
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType type, int *startOffset, int *endOffset) const override
    {
        const QString &all = The_Page_Text().text;
        const auto [start, end] = Unit_At(all, offset, type);
        return Span(end < all.size() ? Unit_At(all, end, type) : std::pair{end, end}, startOffset, endOffset);
    }
    QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int *startOffset, int *endOffset) const override
    {
        return Span(Unit_At(The_Page_Text().text, offset, type), startOffset, endOffset);
    }
    int characterCount() const override { return int(The_Page_Text().text.size()); }

    // Where a character is on the screen, at the zoom the page is shown at.
    QRect characterRect(int offset) const override
    {
        const Page_Text &page = The_Page_Text();
        if (offset < 0 || offset >= page.boxes.size())
            return QRect();
        const QRectF &box = page.boxes[offset];
        const qreal zoom = Zoom_Factor;
        const QRectF zoomed(box.left() * zoom, box.top() * zoom, box.width() * zoom, box.height() * zoom);
        return QRect(widget()->mapToGlobal(zoomed.topLeft().toPoint()), zoomed.size().toSize());
    }
    int offsetAtPoint(const QPoint &point) const override
    {
        const Page_Text &page = The_Page_Text();
        for (qsizetype i = 0; i < page.boxes.size(); ++i)
            if (characterRect(int(i)).contains(point))
                return int(i);
        return -1;
    }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int *startOffset, int *endOffset) const override
    {
        *startOffset = *endOffset = offset;
        return QString();
    }

private:
    QString Span(std::pair<int, int> span, int *startOffset, int *endOffset) const
    {
        *startOffset = span.first;
        *endOffset = span.second;
        return The_Page_Text().text.mid(span.first, span.second - span.first);
    }
};

QAccessibleInterface *Factory(const QString &class_name, QObject *object)
{
    auto *widget = qobject_cast<QWidget *>(object);
    if (!widget)
        return nullptr;
    if (dynamic_cast<frmMain *>(widget))
        return new QAccessibleWidget(widget, QAccessible::Window); // a frame, named by its title
    if (dynamic_cast<Preview_View *>(widget))
        return new Page_Accessible(widget);
    if (widget->objectName() == QLatin1String("cboPage"))
        if (auto *box = qobject_cast<QComboBox *>(widget))
            return new Page_Box_Accessible(box);
    if (auto *button = qobject_cast<QToolButton *>(widget); button && dynamic_cast<Tool_Bar *>(button->parent()))
        return new Command_Accessible(button);
    if (class_name == QLatin1String("QToolBarSeparator") || widget->objectName() == QLatin1String("placeholder"))
        return new QAccessibleWidget(widget, QAccessible::Separator);
    return nullptr;
}

} // namespace

void Install_Accessibility()
{
    static const bool installed = (QAccessible::installFactory(Factory), true);
    (void)installed;
}
