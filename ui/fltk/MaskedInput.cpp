#include "ui/fltk/MaskedInput.h"

#include <FL/fl_utf8.h>

#include <string>

namespace quarrow::fltk {

void MaskedInput::draw() {
  // Draws a plain box holding one "*" per character, with the cursor and
  // selection at the same characters, then puts the text back.
  const std::string text(value(), static_cast<size_t>(size()));
  const int cursor = position(), selected = mark();
  const auto characters = [&](int bytes) {
    return fl_utf_nb_char(reinterpret_cast<const unsigned char*>(text.data()),
                          bytes);
  };
  const std::string stars(static_cast<size_t>(characters(size())), '*');

  input_type(FL_NORMAL_INPUT);
  value(stars.data(), static_cast<int>(stars.size()));
  position(characters(cursor), characters(selected));
  Fl_Secret_Input::draw();
  input_type(FL_SECRET_INPUT);
  value(text.data(), static_cast<int>(text.size()));
  position(cursor, selected);
}

}  // namespace quarrow::fltk
