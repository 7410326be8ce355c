// What the desktop knows the program's windows by: the window class
// "Quarrow" and Quarrow's own icon, for task bars and window lists.
#pragma once

namespace quarrow::fltk {

// For every window shown from now on, message boxes included.
void UseQuarrowIdentity();

}  // namespace quarrow::fltk
