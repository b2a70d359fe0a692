#include "placement.h"

#include <QScreen>
#include <QTimer>
#include <QWidget>

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

void Placement::Shown(QWidget &window)
{
    if (shown_)
        return;
    shown_ = true;
    Fit_On_Screen(window);
}

void Placement::Event(QWidget &window, QEvent::Type type)
{
    if ((type == QEvent::Move || type == QEvent::Resize || type == QEvent::WindowActivate) && shown_ && !framed_ &&
        window.frameGeometry() != window.geometry()) {
        framed_ = true;
        QTimer::singleShot(0, &window, [&window] { Fit_On_Screen(window); });
    }
}
