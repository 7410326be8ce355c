#include "ui/fltk/WindowIdentity.h"

#include <FL/Fl_Pixmap.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/Fl_Window.H>

// The drawings, shared with the Windows build's Quarrow.ico.
#include "ui/fltk/quarrow-16.xpm"
#include "ui/fltk/quarrow-32.xpm"

namespace quarrow::fltk {

void UseQuarrowIdentity() {
  Fl_Window::default_xclass("Quarrow");
  const Fl_Pixmap small(quarrow_icon_16), large(quarrow_icon_32);
  // Transparent where the drawing has no colour; FLTK keeps copies.
  const Fl_RGB_Image smallImage(&small), largeImage(&large);
  const Fl_RGB_Image* icons[] = {&largeImage, &smallImage};
  Fl_Window::default_icons(icons, 2);
}

}  // namespace quarrow::fltk
