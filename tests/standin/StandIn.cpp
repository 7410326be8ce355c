// A stand-in for the mail tool, for tests and benchmarks: it plays a mailbox
// kept in a fixture folder and records every command line it was given.
//
// Environment:
//   STANDIN_MAILBOX  the fixture mailbox folder (required).
//   STANDIN_LOG      a file to append the arguments of each run to
//                    (optional): one line per argument as "<argument>",
//                    then an empty line after each run.
//
// Fixture format: every subfolder of the mailbox whose name does not begin
// with "." is one message. Messages are numbered 1, 2, ... in the order of
// their folder names (compared byte by byte), as a server numbers them in
// one session. A message folder holds:
//   headers      the message's header lines, copied byte for byte;
//   message      the whole message (optional; "headers" when missing);
//   attachments/ one file per attachment, saved under its own name
//                (optional).
//   fail         an exit status: the message's retrieval run writes
//                nothing, as when the server cannot be reached, and ends
//                with it (optional).
//   fail-after   an exit status: the retrieval run writes its files as
//                usual, keeps the message, as when the delete fails, and
//                ends with it (optional).
//
// Commands, with the files written into the current folder:
//   -u L -pw P -s S -port N -headersonly
//       MSG<n>.TXT from "headers" for every message n = 1 ... count.
//   -u L -pw P -s S -port N -m I -xtract PREFIX -delete
//       MSG<count+1>.TXT from message I's "message", where count is the
//       number of header files the last header run wrote; PREFIX + name for
//       each attachment; then message I leaves the mailbox.
// The header run keeps its count in the file ".headercount" of the mailbox.
// Exit status: 0 on success, 1 on a bad command line or a missing message,
// or the status a message's "fail" or "fail-after" file holds.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

namespace fs = std::filesystem;

namespace {

const char kCountFile[] = ".headercount";

std::vector<fs::path> Messages(const fs::path& mailbox) {
  std::vector<fs::path> messages;
  for (const auto& entry : fs::directory_iterator(mailbox)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_directory() && !name.empty() && name[0] != '.')
      messages.push_back(entry.path());
  }
  std::sort(messages.begin(), messages.end());
  return messages;
}

void Copy(const fs::path& from, const fs::path& to) {
  // Removed first: overwrite_existing fails on the Windows build of
  // libstdc++ when the target exists.
  fs::remove(to);
  fs::copy_file(from, to);
}

// The arguments after the program's own name. Quarrow starts the tool by its
// path and hands over its command text unchanged, unquoted: on Windows the
// arguments are what follows that path, blanks in its folders and all.
std::vector<std::string> Arguments(int argc, char** argv) {
#ifdef _WIN32
  wchar_t self[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::wstring line = GetCommandLineW();
  if (length > 0 && length < MAX_PATH && line.size() >= length &&
      _wcsnicmp(line.c_str(), self, length) == 0 &&
      (line.size() == length || line[length] == L' ' || line[length] == L'\t')) {
    int count = 0;
    wchar_t** list = CommandLineToArgvW((L"x" + line.substr(length)).c_str(), &count);
    std::vector<std::string> arguments;
    for (int i = 1; list != nullptr && i < count; ++i) {
      char narrow[4096];
      const int n = WideCharToMultiByte(CP_ACP, 0, list[i], -1, narrow, sizeof narrow,
                                        nullptr, nullptr);
      arguments.emplace_back(n > 0 ? narrow : "");
    }
    LocalFree(list);
    return arguments;
  }
#endif
  return std::vector<std::string>(argv + 1, argv + argc);
}

void AppendLog(const std::vector<std::string>& arguments) {
  const char* log = std::getenv("STANDIN_LOG");
  if (log == nullptr || *log == '\0') return;
  std::ofstream out(log, std::ios::app | std::ios::binary);
  for (const std::string& argument : arguments) out << '<' << argument << ">\n";
  out << '\n';
}

int Fail(const std::string& why, int status = 1) {
  std::cerr << "standin: " << why << '\n';
  return status;
}

// The exit status that file `path` holds, or -1 when there is no such file.
int StatusIn(const fs::path& path) {
  int status = -1;
  std::ifstream(path) >> status;
  return status;
}

int HeaderRun(const fs::path& mailbox) {
  const auto messages = Messages(mailbox);
  for (size_t n = 1; n <= messages.size(); ++n)
    Copy(messages[n - 1] / "headers", "MSG" + std::to_string(n) + ".TXT");
  std::ofstream(mailbox / kCountFile) << messages.size() << '\n';
  return 0;
}

int RetrievalRun(const fs::path& mailbox, const std::string& number,
                 const std::string& prefix) {
  const auto messages = Messages(mailbox);
  const long i = std::strtol(number.c_str(), nullptr, 10);
  if (i < 1 || static_cast<size_t>(i) > messages.size())
    return Fail("no message " + number);
  const fs::path& message = messages[static_cast<size_t>(i) - 1];
  const int failure = StatusIn(message / "fail");
  if (failure >= 0) return Fail("message " + number + " fails", failure);

  size_t count = messages.size();
  std::ifstream(mailbox / kCountFile) >> count;
  const fs::path whole = fs::exists(message / "message")
                             ? message / "message"
                             : message / "headers";
  Copy(whole, "MSG" + std::to_string(count + 1) + ".TXT");

  const fs::path attachments = message / "attachments";
  if (fs::is_directory(attachments)) {
    for (const auto& entry : fs::directory_iterator(attachments))
      Copy(entry.path(), prefix + entry.path().filename().string());
  }
  const int failureAfter = StatusIn(message / "fail-after");
  if (failureAfter >= 0)
    return Fail("message " + number + " fails after writing", failureAfter);
  fs::remove_all(message);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments = Arguments(argc, argv);
  AppendLog(arguments);
  const char* mailbox = std::getenv("STANDIN_MAILBOX");
  if (mailbox == nullptr || *mailbox == '\0')
    return Fail("STANDIN_MAILBOX is not set");

  // The flags count wherever they stand; "-m" and "-xtract" take the next
  // argument. Anything else (login, password, server, port) is only logged,
  // so a login with blanks in it cannot upset the reading.
  std::string number, prefix;
  bool headersOnly = false, remove = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& arg = arguments[i];
    if (arg == "-headersonly") {
      headersOnly = true;
    } else if (arg == "-delete") {
      remove = true;
    } else if ((arg == "-m" || arg == "-xtract") && i + 1 < arguments.size()) {
      (arg == "-m" ? number : prefix) = arguments[++i];
    }
  }

  try {
    if (headersOnly) return HeaderRun(mailbox);
    if (!number.empty() && !prefix.empty() && remove)
      return RetrievalRun(mailbox, number, prefix);
  } catch (const fs::filesystem_error& e) {
    return Fail(e.what());
  }
  return Fail("neither -headersonly nor -m N -xtract PREFIX -delete");
}
