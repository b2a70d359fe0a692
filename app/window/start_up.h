// Start-up's work beside the window's own events (Form_Load, Timer_Timer):
// the waits taken off the window's thread while the controls are made, and
// what is left until the window has painted itself: the page drawn ahead
// unseen while the timer runs, then the window's icon once the page shows.
#pragma once

#include "platform_quirks.h"
#include "preview_surface.h"
#include "runtime.h"

#include <QIcon>

// Fills the font database, and reaches the session bus where Qt's
// accessibility bridge will use it, on helper threads.
// True, so that it can initialise the window's first member.
bool Start_Ahead();

// The page drawn twice on `canvas`, unseen, and its pixels made once: the
// timer tick's drawing then finds the fonts loaded, the texts laid out and
// their ink measured, the glyphs and the canvas's memory at hand.
// A fault of the drawing is thrown, for the window's event to report.
void Warm_Up(Preview_Surface &canvas, Single zoom, const Screen_Metrics &screen);

// What the platform quirks (platform_quirks.h) hook into, as found once Qt
// has started and the accessibility is installed.
Platform_Hooks Found_Platform_Hooks();

// The window's icon in eight sizes.
QIcon Window_Icon();

// The steps start-up leaves until the window has painted itself, in turn.
class Deferred_Start_Up {
public:
    enum class Step { Nothing, Warm_Up, Set_Icon };

    // Form_Load has run: the first paint warms up.
    void Loaded() { next_ = Step::Warm_Up; }
    // The step to take now that the window has painted itself, each once;
    // `drawn`: the page has been drawn on the canvas.
    Step Step_After_Paint(bool drawn);

private:
    Step next_ = Step::Nothing;
};
