// Qt's print support (its CUPS plugin) asks the print system for the
// printers, the default one and each one's PPD through three libcups calls
// (cupsGetDests, cupsGetNamedDest, cupsGetPPD), on the thread that builds
// the printer and the dialog: the window's. Each waits as long as libcups
// does, minutes, and for ever on a server that sends a byte now and then.
//
// The programs that print define those three calls themselves
// (qt_cups_calls.cpp, exported by the link), and the plugin finds them
// before libcups's own. On the window's thread each asks on a thread of its
// own (Talk_Off_Thread), on a connection of its own to the same print
// system, while the window's events run, and gives up at the deadline of
// the user's action (Answer_Budget without one): Qt then gets what libcups
// gives when nothing answers, no printer and no PPD. On any other thread
// they are libcups's. Qt's fourth call, cupsPrintFile, is never made: the
// print command sends its jobs itself (Submit_Job).
#pragma once

#include "cups_client.h"

#include <QDeadlineTimer>

#include <functional>

// The print command's hold on the questions Qt asks, while the command runs
// (one at a time).
class Qt_Cups_Questions {
public:
    // `waiting` makes what runs while one answer is awaited (the window's
    // events, a box that says so); it ends with that wait.
    explicit Qt_Cups_Questions(std::function<Still_Waiting()> waiting);
    ~Qt_Cups_Questions();
    Qt_Cups_Questions(const Qt_Cups_Questions &) = delete;
    Qt_Cups_Questions &operator=(const Qt_Cups_Questions &) = delete;

    // The user has acted: until End(), every question shares `deadline`,
    // and Answered() tells of those questions.
    void Begin(QDeadlineTimer deadline);
    // The user's turn (the dialog waits for a choice): each question on its own budget.
    void End();
    // Whether every question since Begin() was answered in time; fails with
    // the first that was not, and where it was asked.
    Result<> Answered() const;
    // Whether the user stopped waiting for one of them since Begin().
    bool Cancelled() const;
};
