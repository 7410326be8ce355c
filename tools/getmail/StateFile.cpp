#include "tools/getmail/StateFile.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "tools/getmail/Errors.h"
#include "tools/getmail/Files.h"

namespace getmail {
namespace {

constexpr const char* kMagic = "getmail-state 1";

// "key value" lines: the value after the first blank.
bool TakeLine(std::istringstream& in, const std::string& key, std::string& value) {
  std::string line;
  if (!std::getline(in, line)) return false;
  if (line.compare(0, key.size() + 1, key + " ") != 0) return false;
  value = line.substr(key.size() + 1);
  return true;
}

bool ToInt(const std::string& text, int& out) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  out = std::stoi(text);
  return true;
}

bool Printable(const std::string& text) {
  for (char c : text) {
    if (c == '\n' || c == '\r') return false;
  }
  return true;
}

}  // namespace

std::string FormatState(const State& state) {
  std::ostringstream out;
  out << kMagic << "\n";
  out << "server " << state.server << "\n";
  out << "port " << state.port << "\n";
  out << "login " << state.login << "\n";
  out << "count " << state.count << "\n";
  out << "uidl " << (state.hasUids ? "yes" : "no") << "\n";
  const std::vector<std::string>& ids = state.hasUids ? state.uids : state.prints;
  for (int n = 1; n <= state.count; ++n) {
    out << n << " " << ids[n - 1] << "\n";
  }
  return out.str();
}

std::optional<State> ParseState(const std::string& text) {
  std::istringstream in(text);
  std::string line, value;
  State state;
  if (!std::getline(in, line) || line != kMagic) return std::nullopt;
  if (!TakeLine(in, "server", state.server)) return std::nullopt;
  if (!TakeLine(in, "port", value) || !ToInt(value, state.port)) return std::nullopt;
  if (!TakeLine(in, "login", state.login)) return std::nullopt;
  if (!TakeLine(in, "count", value) || !ToInt(value, state.count)) return std::nullopt;
  if (!TakeLine(in, "uidl", value) || (value != "yes" && value != "no")) {
    return std::nullopt;
  }
  state.hasUids = value == "yes";
  std::vector<std::string>& ids = state.hasUids ? state.uids : state.prints;
  ids.reserve(state.count);
  for (int n = 1; n <= state.count; ++n) {
    if (!TakeLine(in, std::to_string(n), value)) return std::nullopt;
    ids.push_back(value);
  }
  return state;
}

std::optional<State> LoadState() {
  std::ifstream file(kStateFileName, std::ios::binary);
  if (!file) {
    if (errno == ENOENT) return std::nullopt;
    throw Error(std::string("cannot read ") + kStateFileName + ": " +
                std::strerror(errno));
  }
  std::ostringstream text;
  text << file.rdbuf();
  std::optional<State> state = ParseState(text.str());
  if (!state) {
    throw Error(std::string("the file ") + kStateFileName +
                " is damaged; run a header run (-headersonly) again");
  }
  return state;
}

void SaveState(const State& state) {
  if (!Printable(state.server) || !Printable(state.login)) {
    throw Error("the server name or login holds a line break");
  }
  for (const std::string& uid : state.uids) {
    if (!Printable(uid)) throw Error("the server sent a unique id with a line break");
  }
  WriteFileAtomically(kStateFileName, FormatState(state), true);
}

void ForgetState() { RemoveIfPresent(kStateFileName); }

}  // namespace getmail
