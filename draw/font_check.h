// Whether the page's texts can be drawn at all: with no face that the font
// system can load, every text comes out as a row of empty boxes.
#pragma once

// True when "Arial", or any face the font system puts in its place, can be
// loaded. Needs the application object.
bool Any_Face_Loads();
