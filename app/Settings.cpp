#include "app/Settings.h"

#include <vector>

namespace quarrow {

Settings DefaultSettings() {
  Settings s;
  s.myPath = L"c:\\utils\\PDA\\Bluetooth Shared Folder";
  s.myLogin = L"me@example.com";
  s.myPass = L"";
  s.mySrv = L"pop.example.com";
  s.myPort = L"110";
  s.mySubj = L"Velbrin";
  return s;
}

namespace {

// Pieces of `text` between slashes; an empty text gives none at all.
std::vector<Text> SplitAtSlashes(const Text& text) {
  std::vector<Text> pieces;
  if (text.empty()) return pieces;
  size_t start = 0;
  for (;;) {
    const size_t slash = text.find(L'/', start);
    pieces.push_back(text.substr(start, slash - start));
    if (slash == Text::npos) return pieces;
    start = slash + 1;
  }
}

// Leading and trailing spaces go; tabs stay.
Text TrimSpaces(const Text& text) {
  const size_t first = text.find_first_not_of(L' ');
  if (first == Text::npos) return Text();
  return text.substr(first, text.find_last_not_of(L' ') - first + 1);
}

}  // namespace

Mode LoadSettings(const Text& commandLine, Settings& settings) {
  const std::vector<Text> pieces = SplitAtSlashes(commandLine);
  if (pieces.size() < 7) {
    settings = DefaultSettings();
    return Mode::Interactive;
  }
  settings.myLogin = TrimSpaces(pieces[1]);
  settings.myPass = TrimSpaces(pieces[2]);
  settings.mySrv = TrimSpaces(pieces[3]);
  settings.myPort = TrimSpaces(pieces[4]);
  settings.mySubj = TrimSpaces(pieces[5]);
  settings.myPath = TrimSpaces(pieces[6]);
  return Mode::Batch;
}

}  // namespace quarrow
