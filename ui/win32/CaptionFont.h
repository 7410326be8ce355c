// The font of the main window's controls.
#pragma once

#include <windows.h>

namespace quarrow::win32 {

// The system's message font, made smaller where a caption of the fixed
// layout would not fit its label or button in it at `dpiX` dots per inch
// (the captions must show whole; the layout cannot grow). The caller
// deletes it.
HFONT CaptionFont(int dpiX);

}  // namespace quarrow::win32
