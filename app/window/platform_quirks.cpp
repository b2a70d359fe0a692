#include "platform_quirks.h"

#include <QMetaObject>

#include <cstdio>
#include <iterator>
#include <utility>

const Quirk_Row Quirk_Rows[5] = {
    {Quirk::Late_Screen_Reader, "late-screen-reader", "app/window/accessible.cpp", "Qt 6.4.2",
     // Qt's bridge reads the bus's status only at start; its connection
     // object (class DBusConnection, slot serviceRegistered()) is met as Qt
     // makes it and told of every later change.
     "a screen reader started after the window hears nothing of it"},
    {Quirk::Atspi_Signals, "atspi-signals", "app/window/accessible.cpp", "Qt 6.4.2 (before 6.8)",
     // AT-SPI signals built by hand on Qt's own connection to the
     // accessibility bus (named "a11y"), for objects under
     // /org/a11y/atspi/accessible/<id>; the bridge's object there is
     // guarded. From Qt 6.8, Say() is Qt's announcement event instead.
     "what the window says to a screen reader (Say) and the page's new description are not heard, and the "
     "bridge's calls are not bounded"},
    {Quirk::Print_Dialog_Checks, "print-dialog-checks", "app/window/print_command.cpp", "Qt 6.4.2",
     // QPrintDialog's private slot _q_checkFields(), taken off its button
     // box's accepted() and called once the print command has checked the
     // file or heard the print system; its "filename" line edit.
     "the dialog's \"Print\" may wait on the print system, and a file name is checked by Qt alone"},
    {Quirk::Cups_Options_Key, "cups-options-key", "app/output/printing.cpp", "Qt 6.4.2",
     // The CUPS print engine's property 0xfe00 (Qt's PPK_CupsOptions): the
     // options chosen under the dialog's "Properties", sent with the job.
     "the options chosen under the dialog's Properties (pages per sheet, banners, ...) are not sent with the job"},
    {Quirk::Qt_Cups_Calls, "qt-cups-calls", "app/output/qt_cups_calls.cpp", "Qt 6.4.2, CUPS 2.4",
     // cupsGetDests, cupsGetNamedDest and cupsGetPPD, which Qt's CUPS print
     // plugin calls to list the printers: defined by the program, exported,
     // found by the plugin before libcups's own.
     "Qt asks the print system on the window's thread: one that does not answer holds the window for minutes"},
};

bool Quirk_Missing(Quirk quirk, const QString &detail)
{
    static bool told[std::size(Quirk_Rows)] = {};
    const Quirk_Row &row = Quirk_Rows[int(quirk)];
    if (told[int(quirk)])
        return false;
    told[int(quirk)] = true;
    std::fprintf(stderr, "quorvel: platform quirk \"%s\" (%s, written for %s) finds nothing to hook%s%s: %s\n",
                 row.name, row.file, row.written_for, detail.isEmpty() ? "" : " ", qPrintable(detail), row.lost);
    return true;
}

namespace {

// Whether the plugin's table of names holds `name` whole.
bool Names(const QByteArray &plugin, const char *name)
{
    QByteArray whole(1, '\0');
    whole.append(name).append('\0');
    return plugin.contains(whole);
}

// What is amiss with Qt's CUPS plugin for the program's calls; empty when
// nothing is. The plugin must ask through the three calls only: libcups's
// other ways to list printers or read a PPD would go past them.
QString Cups_Calls_Amiss(const Platform_Hooks &found)
{
    if (found.cups_plugin.isEmpty())
        return QStringLiteral("(Qt's CUPS print plugin is not there)");
    for (const char *own : {"cupsGetDests", "cupsGetNamedDest", "cupsGetPPD"})
        if (!Names(found.cups_plugin, own))
            return QStringLiteral("(Qt's CUPS print plugin does not call %1)").arg(QLatin1String(own));
    for (const char *past : {"cupsEnumDests", "cupsGetDests2", "cupsGetDestWithURI", "cupsGetPPD2", "cupsGetPPD3"})
        if (Names(found.cups_plugin, past))
            return QStringLiteral("(Qt's CUPS print plugin calls %1)").arg(QLatin1String(past));
    if (!found.cups_calls_first)
        return QStringLiteral("(the program's own calls are not the ones the plugin is given)");
    return {};
}

} // namespace

QList<Quirk> Check_Platform_Quirks(const Platform_Hooks &found)
{
    QList<std::pair<Quirk, QString>> missing;
    if (found.bridge_expected && !found.bridge_caught)
        missing.append({Quirk::Late_Screen_Reader, QStringLiteral("(no DBusConnection with serviceRegistered())")});
    if (!found.print_dialog || found.print_dialog->indexOfSlot("_q_checkFields()") < 0)
        missing.append({Quirk::Print_Dialog_Checks, QStringLiteral("(QPrintDialog has no slot _q_checkFields())")});
    if (const QString amiss = Cups_Calls_Amiss(found); !amiss.isEmpty())
        missing.append({Quirk::Qt_Cups_Calls, amiss});
    QList<Quirk> quirks;
    for (const auto &[quirk, detail] : missing) {
        Quirk_Missing(quirk, detail);
        quirks.append(quirk);
    }
    return quirks;
}
