// Quorvel: starting the program loads its one window; closing it ends the program.
#include "frm_main.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quorvel"));
    QGuiApplication::setDesktopFileName(QStringLiteral("quorvel"));

    frmMain window;
    window.Load();
    return app.exec();
}
