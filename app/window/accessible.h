// What the accessibility bus (a screen reader, a magnifier) learns of the
// window beyond what Qt's widgets say themselves: the window as a frame,
// the page box named "Page" with the page as its value and text, the toolbar
// without its gaps, the commands that change the page telling what is shown,
// and the page view as the page itself: one document that names the form,
// tells the page and the zoom, and offers the form's texts with a caret.
#pragma once

// Installs the factory; nothing of it runs until an assistive technology asks.
void Install_Accessibility();

class QObject;

// Tells a screen reader that the object's description changed, with the
// new description, as AT-SPI has it (Qt 6.4 sends the object in its place,
// which a reader cannot say). Nothing while no assistive technology listens.
void Description_Changed(QObject *object);
