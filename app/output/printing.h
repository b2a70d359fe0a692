// The print command's work, without its dialogs (app/window has those): the
// printer, the print system asked before Qt asks it anything, and the page
// printed on whatever the printer dialog chose, a file or a queue.
#pragma once

#include "cups_client.h"
#include "outcome.h"

#include <QPrinter>
#include <QString>

// The printer of the print command. Making a QPrinter asks the print system
// for its printers, so it is made on the first print, not at start-up, and
// kept so that the dialog offers the last choice again.
QPrinter &The_Printer();

// Asks the print system whether it answers, as Qt is about to ask it for
// its printers (making the printer, opening the dialog), `waiting` called
// meanwhile. Fails with the reason and its address when it does not answer
// within a few seconds (by `deadline` at the latest), or answers as no
// print system does; one that refuses the connection at once, or asks for
// a user name and password, is no failure (Qt's own questions then cost
// nothing, and a file can still be chosen): then `missing`, when given,
// says why no printer is offered.
Result<> Check_Print_System(QDeadlineTimer deadline, const Still_Waiting &waiting, QString *missing = nullptr);

// The file Qt's printer dialog prints to for the name typed in it: the
// dialog, setting the printer up, puts a relative name in the home folder,
// not the working one. An empty name stays empty (the dialog refuses it).
QString Print_File_Name(const QString &typed);

// Why the dialog must not take `name` as the file to print to: Qt's dialog
// opens it before it closes, and opening a pipe or a device can wait for
// ever. Ok for a regular file or a new one.
Result<> Check_Print_File(const QString &name);

// Prints the page on `printer` as the dialog left it: to its file (the one
// PDF the programs write, on the dialog's page layout), or to its queue,
// with the options the dialog chose (Submit_Job: told by `deadline`,
// `waiting` called meanwhile). A file written is named in what it returns. Draws in a Drawing_Scope: OutputTarget and
// Zoom_Factor are left as they were.
Result<Printed> Print_On(QPrinter &printer, QDeadlineTimer deadline, const Still_Waiting &waiting);
