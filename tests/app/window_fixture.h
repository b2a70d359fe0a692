// Shared by the window tests: a started window and ways to act on it as a
// user does (clicks on toolbar buttons, a new client size).
#pragma once

#include "frm_main.h"
#include "support_routines.h"

#include <QCoreApplication>
#include <QTest>

#include <memory>

// Whole pixels of twips at the screen's twips per pixel.
inline int Px(int twips)
{
    return Pixels_X(Single(twips));
}

// A fresh program: nothing drawn, zoom 0, as at the start of a run.
inline std::unique_ptr<frmMain> New_Window()
{
    Zoom_Factor = 0;
    OutputTarget = nullptr;
    return std::make_unique<frmMain>();
}

// Loaded and past the timer's first drawing.
inline std::unique_ptr<frmMain> Started_Window()
{
    auto window = New_Window();
    window->Load();
    if (!QTest::qWaitFor([&] { return window->Build_Page_Calls == 1; }, 2000))
        qWarning("the first drawing did not come");
    return window;
}

inline Toolbar_Button &Button(frmMain &window, const char *caption)
{
    for (Toolbar_Button &button : window.Toolbar->All())
        if (button.Caption == QLatin1String(caption))
            return button;
    qFatal("no button %s", caption);
}

// A mouse click on the button as the toolbar shows it.
inline void Click(frmMain &window, const char *caption)
{
    QTest::mouseClick(window.Toolbar->widgetForAction(Button(window, caption).action), Qt::LeftButton);
    QCoreApplication::processEvents();
}

// The client area in pixels; Qt delivers the resize, and Form_Resize runs.
inline void Set_Client(frmMain &window, int width, int height)
{
    window.resize(width, height);
    QCoreApplication::processEvents();
}
