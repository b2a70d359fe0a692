// The viewer as quorvel starts it, for measuring start-up as a whole
// process. With QUORVEL_HARNESS_STOP=first-page in its environment it ends
// as soon as the timer's first drawing and layout are done, exit code 0 if
// the page was drawn. quorvel itself reads no environment.
#include "frm_main.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Install_Accessibility(); // as quorvel does
    frmMain window;
    if (qEnvironmentVariable("QUORVEL_HARNESS_STOP") == QLatin1String("first-page")) {
        // Connected after the window's own handler, so it runs once Timer_Timer is done.
        QObject::connect(&window.Timer, &QTimer::timeout, &app,
                         [&window] { QCoreApplication::exit(window.Build_Page_Calls == 1 ? 0 : 1); });
    }
    window.Load();
    return app.exec();
}
