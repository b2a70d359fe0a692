// frmMain, the program's one window: the toolbar, the page box, the grey
// viewport with the page canvas, and the two scroll bars: the controls, their
// events and the window's own procedures. The layout's arithmetic is
// layout.h's, start-up's helpers start_up.h's, scrolling and the caret
// scrolling.h's, the window's place on its screen placement.h's, printing
// print_command.h's.
#pragma once

#include "accessible.h"
#include "controls.h"
#include "layout.h"
#include "placement.h"
#include "scrolling.h"
#include "start_up.h"
#include "preview_surface.h"
#include "runtime.h"

#include <QAccessible>
#include <QMenu>
#include <QTimer>
#include <QWidget>

class QKeyEvent;
class QWheelEvent;

class frmMain : public QWidget, public Readable_Page {
    // First of all, so that the fonts and the session bus are made ready while
    // the controls are made.
    const bool startedAhead_ = Start_Ahead();
    // Before the controls, so it is ready before their construction sends
    // this window its first events.
    Placement placement_;
    // Twips per pixel of the screen the window starts on: every control's
    // geometry and the canvas are in its twips.
    const Screen_Metrics screen_;

public:
    frmMain();
    ~frmMain() override;

    // Starts the window: Form_Load, with a failure reported like any event's.
    void Load();

    // Event handlers and the window's own procedures.
    void Form_Load();
    void Timer_Timer();
    void Form_Unload();
    void Setup_Toolbar();
    void Toolbar_ButtonClick(Toolbar_Button &Button);
    void Form_Resize();
    void VScroll_Change();
    void HScroll_Change();
    void cboPage_Change();

    // Controls, in the order of the window's control tree.
    QTimer Timer;
    Control picWindow;
    Preview_Surface picPreview; // the page canvas as a drawing surface (OutputTarget)
    Control picPreview_Box;     // the same canvas as a control inside picWindow
    Scroll_Bar HScroll;
    Scroll_Bar VScroll;
    Tool_Bar *Toolbar;
    Combo_Box cboPage;

    // What the view shows: "page 1 of 1", "Fit page, 38 %" (the zoom mode
    // and factor), and the page's description for a screen reader: both
    // and what the arrows do.
    QString Page_Position() const;
    QString Zoom_Status() const;
    QString Page_Description() const override;

    // The page's caret, an offset into its text (page_text.h). Setting it
    // keeps it within the text, brings its line into view, marks it while
    // the view has the focus and tells a screen reader.
    int Caret() const override { return caret_; }
    void Set_Caret(int offset) override;
    // Whether the arrows, Home and End move the caret rather than scroll:
    // F7 switches; until it is first pressed, they do while an assistive
    // technology listens.
    bool Caret_Keys() const { return caretKeys_ < 0 ? QAccessible::isActive() : caretKeys_ != 0; }

    Preview_View *Canvas() const override { return view_; }

    const Screen_Metrics &Screen_Of() const { return screen_; }

    // The preview's scale as the layout chose it, 1 = 100 %, 0 before the
    // first layout. The window's own: a page build is handed it through
    // Drawing_Scope, which sets the drawing's Zoom_Factor for the build.
    Single Zoom_Factor = 0;

    QRectF On_Canvas(const QRectF &sheet) const override;
    QPointF On_Sheet(QPointF canvas) const override;

    // True (-1) once start-up has finished.
    Integer Load_Done = 0;

    // How often the window has had the page drawn on the preview.
    int Build_Page_Calls = 0;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The constructor's parts, in this order.
    void Make_Viewport();
    void Make_Toolbar();
    void Make_Page_Box();

    // Form_Resize's parts; the arithmetic is layout.h's.
    Zoom_Mode Mode() const;
    void Place_Scroll_Bar(Scroll_Bar &bar, const Bar_Layout &place);
    void Size_Exit_Room(Toolbar_Button &room);

    void Build_Preview();
    void Continue_Start_Up();
    void Refresh();
    void Print_Command();
    bool Viewport_Event(QEvent *event);
    bool Viewport_Key(const QKeyEvent &press);
    void Follow_Pixel_Ratio();
    void Mark_Caret();

    Preview_View *view_;
    QMenu *pageMenu_ = nullptr; // the page box's entries, offered by the toolbar's overflow
    Wheel_Notches wheel_;
    int caret_ = 0;
    int caretKeys_ = -1; // F7's choice, once made
    int listOpenedOn_ = -1; // the page chosen when the page box's list last opened
    Deferred_Start_Up deferred_;
    Caret_Mark *caretMark_ = nullptr;
};
