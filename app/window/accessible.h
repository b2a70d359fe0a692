// What the accessibility bus (a screen reader, a magnifier) learns of the
// window beyond what Qt's widgets say themselves: the window as a frame,
// the page box named "Page" with the page as its value, the toolbar's gaps
// as separators, and the page itself as one object that names the form,
// tells the page and the zoom, and offers the form's texts.
#pragma once

// Installs the factory; nothing of it runs until an assistive technology asks.
void Install_Accessibility();
