#include "ui/fltk/TextWidth.h"

#include <FL/fl_draw.H>

namespace quarrow::fltk {

double TextWidth(const std::string& utf8, Fl_Fontsize size) {
  fl_font(FL_HELVETICA, size);
  return fl_width(utf8.c_str());
}

}  // namespace quarrow::fltk
