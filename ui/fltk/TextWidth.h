// Width of a text in the window's font. Kept apart from the layout table:
// FLTK's drawing header brings in X11's macros (None, ...).
#pragma once

#include <FL/Enumerations.H>

#include <string>

namespace quarrow::fltk {

// Pixels that `utf8` takes in Helvetica at `size`; needs an open display.
double TextWidth(const std::string& utf8, Fl_Fontsize size);

}  // namespace quarrow::fltk
