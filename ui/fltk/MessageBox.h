// A modal message box with an OK button, a title and an icon.
#pragma once

#include <FL/Enumerations.H>

#include "platform/Platform.h"

namespace quarrow::fltk {

// Returns once the box has been dismissed (OK, Enter, Esc or closing it).
// `size` is the font size of its text and the measure of its layout.
void ShowMessageBox(const Text& text, const Text& title, MessageIcon icon,
                    Fl_Fontsize size);

}  // namespace quarrow::fltk
