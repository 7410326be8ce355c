// A password box that shows "*" for every character. FLTK's secret input
// shows bullets; this one keeps its behaviour (no copying out, the text
// kept as typed) and draws stars instead.
#pragma once

#include <FL/Fl_Secret_Input.H>

namespace quarrow::fltk {

class MaskedInput : public Fl_Secret_Input {
 public:
  MaskedInput(int x, int y, int w, int h) : Fl_Secret_Input(x, y, w, h) {}

 protected:
  void draw() override;
};

}  // namespace quarrow::fltk
