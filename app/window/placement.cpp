#include "placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <algorithm>

Screen_Metrics Metrics_Of(const QScreen *screen)
{
    return screen ? Screen_Metrics::Of_Dpi(screen->logicalDotsPerInchX(), screen->logicalDotsPerInchY())
                  : Screen_Metrics{};
}

qreal Canvas_Ratio(const QWidget &window)
{
    constexpr qreal Canvas_Ratio_Limit = 4;
    return std::min(window.devicePixelRatioF(), Canvas_Ratio_Limit);
}

void Fit_On_Screen(QWidget &window)
{
    const QScreen *screen = window.screen();
    if (!screen)
        return;
    const QRect room = screen->availableGeometry();
    const QRect frame = window.frameGeometry(), inside = window.geometry();
    const QMargins edges(inside.left() - frame.left(), inside.top() - frame.top(), frame.right() - inside.right(),
                         frame.bottom() - inside.bottom());
    const QSize most = room.size().shrunkBy(edges);
    if (window.width() > most.width() || window.height() > most.height())
        window.resize(window.size().boundedTo(most));
    if (window.isVisible() && !room.contains(window.frameGeometry()))
        window.move(room.topLeft());
}

// Openbox 3.6 can leave the request to show a window unanswered when it comes
// while the window manager starts: it reads the request into a queue of its
// own with its start-up's replies, then waits for the X server to send more
// before it looks at that queue, and with nothing more to come the window is
// never shown. So until the window is shown or framed, it is raised every
// quarter second for up to a minute: the window manager is asked to carry out
// each raise, which wakes it to the waiting request.
static void Ask_Until_Shown(QWidget *window)
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

void Placement::Shown(QWidget &window)
{
    if (shown_)
        return;
    shown_ = true;
    Fit_On_Screen(window);
    Ask_Until_Shown(&window);
}

void Placement::Event(QWidget &window, QEvent::Type type)
{
    if ((type == QEvent::Move || type == QEvent::Resize || type == QEvent::WindowActivate) && shown_ && !framed_ &&
        window.frameGeometry() != window.geometry()) {
        framed_ = true;
        QTimer::singleShot(0, &window, [&window] { Fit_On_Screen(window); });
    }
}
