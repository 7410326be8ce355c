// A modal message box with an OK button, a title and an icon.
#pragma once

#include "platform/Platform.h"

namespace quarrow::fltk {

// Returns once the box has been dismissed (OK, Enter, Esc or closing it).
void ShowMessageBox(const Text& text, const Text& title, MessageIcon icon);

}  // namespace quarrow::fltk
