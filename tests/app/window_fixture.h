// Shared by the window tests: a started window and ways to act on it as a
// user does (clicks on toolbar buttons, a new client size).
#pragma once

#include "frm_main.h"
#include "support_routines.h"

#include <QCoreApplication>
#include <QTest>
#include <QToolButton>

#include <QImage>

#include <memory>

// Whole pixels of twips at the test screen's 15 twips per pixel.
constexpr int Px(int twips)
{
    return twips / 15;
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
    QWidget *shown = window.Toolbar->widgetForAction(Button(window, caption).action);
    QTest::mouseClick(shown, Qt::LeftButton);
    QCoreApplication::processEvents();
}

// The client area in pixels; Qt delivers the resize, and Form_Resize runs.
inline void Set_Client(frmMain &window, int width, int height)
{
    window.resize(width, height);
    QCoreApplication::processEvents();
}

// Rows of a button's picture with dark ink: its image's outline and its caption.
inline int Inked_Rows(QWidget *button)
{
    const QImage image = button->grab().toImage();
    int rows = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 80) {
                ++rows;
                break;
            }
    return rows;
}

// Every caption shows whole, descenders included: each button on the toolbar
// has as many inked rows as the same button at the size it asks for.
inline void Verify_Captions_Whole(frmMain &window)
{
    for (Toolbar_Button &button : window.Toolbar->All()) {
        auto *shown = qobject_cast<QToolButton *>(window.Toolbar->widgetForAction(button.action));
        if (!shown || shown->isHidden())
            continue;
        QToolButton alone;
        alone.setFont(shown->font());
        alone.setIconSize(shown->iconSize());
        alone.setToolButtonStyle(shown->toolButtonStyle());
        alone.setAutoRaise(true);
        alone.setDefaultAction(button.action);
        alone.resize(alone.sizeHint());
        QVERIFY2(Inked_Rows(shown) == Inked_Rows(&alone), qPrintable(button.Caption));
    }
}
