#include "start_up.h"

#include "accessible.h"
#include "font_check.h"
#include "page_build.h"
#include "platform_quirks.h"
#include "qt_cups_calls.h"
#include "support_routines.h"

#include <QDBusConnection>
#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QPrintDialog>
#include <QThreadPool>

#include <dlfcn.h>


// Qt makes its AT-SPI bridge, which talks over the session bus, on X11 and
// Wayland only: elsewhere (offscreen, for one) nothing needs the bus.
namespace {
bool Has_Atspi_Bridge()
{
    const QString platform = QGuiApplication::platformName();
    return platform.startsWith(QLatin1String("xcb")) || platform.startsWith(QLatin1String("wayland"));
}
} // namespace

// The font database is filled (fontconfig reads its configuration and lists
// every font, a fifth of the start): the toolbar's first caption, laid out
// when the window shows, waits for it only if it is not done by then. The
// session bus is reached: the accessibility bridge, made at the first
// control's accessible name, waits for it otherwise (a few round trips to
// the bus, or, with no bus, the attempt to launch one).
bool Start_Ahead()
{
    QThreadPool::globalInstance()->start([] { QFontDatabase::families(); });
    if (Has_Atspi_Bridge())
        QThreadPool::globalInstance()->start([] { QDBusConnection::sessionBus(); });
    return true;
}

// The view shows none of it: it takes only a finished drawing. The tick's
// check for a face to draw with finds its answer ready too.
void Warm_Up(Preview_Surface &canvas, Single zoom, const Screen_Metrics &screen)
{
    Any_Face_Loads();
    const Drawing_Scope scope(canvas, zoom, screen);
    Build_Page();
    Build_Page();
    canvas.Image();
}

Platform_Hooks Found_Platform_Hooks()
{
    Platform_Hooks found;
    // Qt's AT-SPI bridge (X11 and Wayland) watches the session bus when it
    // reaches one, unless told the accessibility bus's address outright.
    found.bridge_expected =
        Has_Atspi_Bridge() && qEnvironmentVariableIsEmpty("AT_SPI_BUS_ADDRESS") && QDBusConnection::sessionBus().isConnected();
    found.bridge_caught = Late_Reader_Hooked();
    found.print_dialog = &QPrintDialog::staticMetaObject;
    QFile plugin(QLibraryInfo::path(QLibraryInfo::PluginsPath) +
                 QStringLiteral("/printsupport/libcupsprintersupport.so"));
    if (plugin.open(QIODevice::ReadOnly))
        found.cups_plugin = plugin.readAll();
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations" // cupsGetPPD: Qt 6.4's plugin calls it
    found.cups_calls_first = dlsym(RTLD_DEFAULT, "cupsGetDests") == reinterpret_cast<void *>(&cupsGetDests) &&
                             dlsym(RTLD_DEFAULT, "cupsGetNamedDest") == reinterpret_cast<void *>(&cupsGetNamedDest) &&
                             dlsym(RTLD_DEFAULT, "cupsGetPPD") == reinterpret_cast<void *>(&cupsGetPPD);
#pragma GCC diagnostic pop
    return found;
}

// Eight sizes read and handed to the window system: a few milliseconds that
// the window does without until its first page is on screen.
QIcon Window_Icon()
{
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/assets/icon-%1.png").arg(size), QSize(size, size));
    return icon;
}

Deferred_Start_Up::Step Deferred_Start_Up::Step_After_Paint(bool drawn)
{
    if (next_ == Step::Warm_Up) {
        next_ = Step::Set_Icon;
        return Step::Warm_Up;
    }
    if (next_ == Step::Set_Icon && drawn) {
        next_ = Step::Nothing;
        return Step::Set_Icon;
    }
    return Step::Nothing;
}
