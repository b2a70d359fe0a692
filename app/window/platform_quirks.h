// Every place where Quorvel reaches into Qt's or CUPS's insides, rather
// than through their public interfaces, in one table: what each is for,
// where it lives, and the versions it was written against (Debian 12's
// Qt 6.4.2 and CUPS 2.4). Another Qt may rename or drop what a quirk hooks
// into; the quirk then does nothing, and the check at start-up (or, for
// what only exists later, the quirk itself when it first looks) says so
// once on stderr, instead of a feature going dead without a word:
//
//   quorvel: platform quirk "print-dialog-checks" (app/window/print_command.cpp, written for Qt 6.4.2)
//   finds nothing to hook: ...
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

struct QMetaObject;

enum class Quirk {
    Late_Screen_Reader,  // Qt's bridge follows a screen reader started after the window
    Atspi_Signals,       // Say() and description changes sent on Qt's own bus connection
    Print_Dialog_Checks, // the print dialog's "Print" answered by the print command
    Cups_Options_Key,    // the job options chosen in the dialog, read off Qt's CUPS engine
    Qt_Cups_Calls,       // libcups's calls made by Qt's print plugin, answered off the window's thread
};

struct Quirk_Row {
    Quirk quirk;
    const char *name;
    const char *file;
    const char *written_for;
    const char *lost; // what goes missing when it finds nothing to hook
};

// The table, one row for each Quirk, in its order.
extern const Quirk_Row Quirk_Rows[5];

// Says on stderr that `quirk` finds nothing to hook (with `detail`, what is
// missing), the first time only; true when it said so now.
bool Quirk_Missing(Quirk quirk, const QString &detail = {});

// What the start-up check looks at.
struct Platform_Hooks {
    // Qt made its accessibility bridge, watching the session bus: the late
    // screen reader's hook should have been caught.
    bool bridge_expected = false;
    bool bridge_caught = false;
    // QPrintDialog's meta object, which has the slot the print command
    // takes over.
    const QMetaObject *print_dialog = nullptr;
    // Qt's CUPS print plugin as a file (empty when there is none), and
    // whether the program's own libcups calls are the ones the dynamic
    // linker hands it.
    QByteArray cups_plugin;
    bool cups_calls_first = false;
};

// The quirks that find nothing to hook in `found`, each said once.
QList<Quirk> Check_Platform_Quirks(const Platform_Hooks &found);
