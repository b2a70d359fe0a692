// A short session with the real window, for memcheck: start-up as quorvel
// does it, the first drawing, a zoom cycle through "Fit Wd", "Fit Pg" and
// "100%", a scroll, and "Exit". Exit status 0 when the session went through
// to the end (the page drawn at every zoom, the canvas moved by the scroll).
#include "frm_main.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <vector>

namespace {

Toolbar_Button &Button(frmMain &window, const char *caption)
{
    for (Toolbar_Button &button : window.Toolbar->All())
        if (button.Caption == QLatin1String(caption))
            return button;
    std::fprintf(stderr, "valgrind_session: no button %s\n", caption);
    std::exit(2);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    frmMain window;
    int failures = 0;
    const auto expect = [&failures](bool ok, const char *what) {
        if (!ok) {
            std::fprintf(stderr, "valgrind_session: %s\n", what);
            ++failures;
        }
    };

    // One step per turn of the event loop, after the first drawing.
    std::vector<std::function<void()>> steps{
        [&] { window.resize(900, 700); },
        [&] { Button(window, "Fit Wd").action->trigger(); },
        [&] { Button(window, "Fit Pg").action->trigger(); },
        [&] {
            const int before = window.Build_Page_Calls;
            Button(window, "100%").action->trigger();
            expect(window.Build_Page_Calls == before + 1, "100% did not redraw the page");
        },
        [&] {
            expect(window.VScroll.Visible(), "no vertical bar at 100 % in a 900 x 700 window");
            QKeyEvent press(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
            QCoreApplication::sendEvent(window.picWindow.widget(), &press);
            expect(window.picPreview_Box.Top() < 0, "PageDown did not scroll the page");
        },
        [&] { Button(window, "Exit").action->trigger(); },
    };
    std::size_t next = 0;
    QTimer stepper;
    stepper.setInterval(0);
    QObject::connect(&stepper, &QTimer::timeout, [&] {
        if (next < steps.size())
            steps[next++]();
        else
            stepper.stop();
    });
    // Connected after the window's own handler: runs once the first page is drawn.
    QObject::connect(&window.Timer, &QTimer::timeout, &stepper, [&] {
        expect(window.Build_Page_Calls == 1, "the first drawing did not come");
        stepper.start();
    });

    window.Load();
    const int status = app.exec();
    expect(next == steps.size(), "the session ended before Exit");
    expect(window.Build_Page_Calls == 4, "not one drawing per zoom");
    return status != 0 || failures != 0;
}
