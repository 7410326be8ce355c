#include "support/FakePlatform.h"

#include <algorithm>
#include <cwctype>

namespace quarrow::testing {

namespace {

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian).
long long DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const long long yoe = y - era * 400;
  const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(long long z, int& y, int& m, int& d) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const long long doe = z - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

// Hands out a text in small pieces, so readers meet piece boundaries
// everywhere. Bytes are taken one to one as characters (Latin-1).
class PieceReader : public TextReader {
 public:
  PieceReader(std::string bytes, size_t piece)
      : bytes_(std::move(bytes)), piece_(piece ? piece : 1) {}
  bool ReadMore(Text& out) override {
    if (pos_ >= bytes_.size()) return false;
    const size_t end = std::min(bytes_.size(), pos_ + piece_);
    for (; pos_ < end; ++pos_)
      out += static_cast<wchar_t>(static_cast<unsigned char>(bytes_[pos_]));
    return true;
  }

 private:
  std::string bytes_;
  size_t piece_;
  size_t pos_ = 0;
};

}  // namespace

FakePlatform::FakePlatform() { fs.AddFolder(programFolder); }

LocalTime FakePlatform::Add(LocalTime t, long long ms) {
  long long total =
      ((DaysFromCivil(t.year, t.month, t.day) * 24 + t.hour) * 60 + t.minute) *
          60000LL +
      t.second * 1000LL + t.millisecond + ms;
  const long long days = total / 86400000LL;
  total %= 86400000LL;
  CivilFromDays(days, t.year, t.month, t.day);
  t.hour = static_cast<int>(total / 3600000);
  t.minute = static_cast<int>(total / 60000 % 60);
  t.second = static_cast<int>(total / 1000 % 60);
  t.millisecond = static_cast<int>(total % 1000);
  return t;
}

int FakePlatform::calls(Op op) const {
  auto it = calls_.find(op);
  return it == calls_.end() ? 0 : it->second;
}

void FakePlatform::Call(Op op) {
  if (killAtCall != 0 && ++totalCalls_ == killAtCall) throw Killed();
  const int n = ++calls_[op];
  auto it = failOn_.find(op);
  if (it != failOn_.end() && it->second == n)
    throw Failure(L"Injected failure", Failure::Reason::Other);
}

ProcessId FakePlatform::StartProcess(const Text& program,
                                     const Text& commandLine, int windowStyle) {
  Call(Op::StartProcess);
  if (toolMissing)
    throw Failure(L"The system cannot find the file specified.");
  const size_t run = toolRuns.size();
  toolRuns.push_back({program, commandLine, windowStyle, fs.CurrentFolder()});
  diskLog.push_back("start");
  ProcessExit exit;
  exit.known = true;
  if (run < exits.size()) exit = exits[run];
  running_[++nextId_] = {commandLine, exit};
  return nextId_;
}

ProcessExit FakePlatform::WaitForProcess(ProcessId id) {
  // The tool does its work while it is waited for: a runner that did not
  // wait would find nothing in the folder.
  auto it = running_.find(id);
  const bool known = it != running_.end();
  const Running ended = known ? it->second : Running{};
  if (known) running_.erase(it);
  try {
    Call(Op::WaitForProcess);
  } catch (const Killed&) {
    // The tool outlives the program and finishes its work.
    if (known && !ended.exit.Failed()) RunScriptedTool(ended.command);
    throw;
  }
  if (!known) return ProcessExit();
  if (stopDuringRun == static_cast<int>(toolRuns.size())) stopRequested = true;
  if (tool) {
    tool(ended.command);
  } else if (!ended.exit.Failed()) {
    RunScriptedTool(ended.command);
  }
  return ended.exit;
}

void FakePlatform::RunScriptedTool(const Text& command) {
  const Text folder = fs.CurrentFolder() + (fs.CurrentFolder().size() == 3 ? L"" : L"\\");
  if (command.size() >= 12 && command.substr(command.size() - 12) == L"-headersonly") {
    headerRunCount_ = mailbox.size();
    for (size_t n = 1; n <= mailbox.size(); ++n)
      fs.WriteFile(folder + L"MSG" + std::to_wstring(n) + L".TXT",
                   mailbox[n - 1].header);
    return;
  }
  // "... -m I -xtract PREFIX -delete"
  const size_t m = command.rfind(L" -m ");
  const size_t x = command.rfind(L" -xtract ");
  const size_t d = command.rfind(L" -delete");
  if (m == Text::npos || x == Text::npos || d == Text::npos) return;
  const size_t i = std::stoul(command.substr(m + 4, x - m - 4));
  const Text prefix = command.substr(x + 9, d - x - 9);
  if (i < 1 || i > mailbox.size()) return;
  const FakeMessage message = mailbox[i - 1];
  fs.WriteFile(folder + L"MSG" + std::to_wstring(headerRunCount_ + 1) + L".TXT",
               message.whole);
  for (const auto& [name, bytes] : message.attachments)
    fs.WriteFile(folder + prefix + name, bytes);
  mailbox.erase(mailbox.begin() + static_cast<long>(i - 1));
}

void FakePlatform::SelectDrive(wchar_t letter) {
  Call(Op::SelectDrive);
  fs.SelectDrive(letter);
}

void FakePlatform::ChangeFolder(const Text& folder) {
  Call(Op::ChangeFolder);
  fs.ChangeFolder(folder);
}

std::vector<Text> FakePlatform::ListFiles(const Text& pattern) {
  Call(Op::ListFiles);
  return fs.List(pattern);
}

void FakePlatform::DeleteFiles(const Text& pattern) {
  Call(Op::DeleteFiles);
  fs.DeleteMatching(pattern);
}

void FakePlatform::RenameFile(const Text& from, const Text& to) {
  Call(Op::RenameFile);
  fs.Rename(from, to);
  diskLog.push_back("rename " + ToUtf8(from) + " " + ToUtf8(to));
}

FileState FakePlatform::GetFileState(const Text& name) {
  Call(Op::GetFileState);
  return fs.State(name);
}

std::unique_ptr<TextReader> FakePlatform::OpenTextFile(const Text& name) {
  Call(Op::OpenTextFile);
  const FakeFile* file = fs.Find(name);
  if (!file || file->hidden)
    throw Failure(L"Cannot open '" + name + L"': it does not exist");
  return std::make_unique<PieceReader>(file->bytes, readPieceSize);
}

Text FakePlatform::UpperCase(const Text& text) {
  Call(Op::UpperCase);
  Text upper = text;
  for (wchar_t& c : upper) c = static_cast<wchar_t>(std::towupper(c));
  return upper;
}

LocalTime FakePlatform::Now() {
  Call(Op::Now);
  const LocalTime reading = clock;
  clock = Add(clock, millisecondsPerReading);
  return reading;
}

void FakePlatform::Sleep(std::chrono::milliseconds duration) {
  Call(Op::Sleep);
  clock = Add(clock, duration.count());
}

Text FakePlatform::ProgramFolder() {
  Call(Op::ProgramFolder);
  return programFolder;
}

Text FakePlatform::ArgumentText() {
  Call(Op::ArgumentText);
  return argumentText;
}

void FakePlatform::HideMainWindow() {
  Call(Op::HideMainWindow);
  windowLog.push_back("hide");
}

void FakePlatform::ShowMainWindow() {
  Call(Op::ShowMainWindow);
  windowLog.push_back("show");
}

void FakePlatform::CloseMainWindow() {
  Call(Op::CloseMainWindow);
  windowLog.push_back("close");
}

void FakePlatform::ProcessPendingEvents() {
  Call(Op::ProcessPendingEvents);
  windowLog.push_back("events");
  if (onPendingEvents) onPendingEvents();
}

void FakePlatform::ShowMessage(const Text& text, const Text& title,
                               MessageIcon icon) {
  Call(Op::ShowMessage);
  windowLog.push_back("box");
  boxes.push_back({text, title, icon});
}

void FakePlatform::SyncFolder() {
  Call(Op::SyncFolder);
  diskLog.push_back("sync");
}

void FakePlatform::WriteHiddenFile(const Text& name,
                                   const std::string& bytes) {
  Call(Op::WriteHiddenFile);
  fs.WriteFile(name, bytes);
  fs.Find(name)->hidden = true;
  diskLog.push_back("write " + ToUtf8(name));
}

std::optional<std::string> FakePlatform::ReadHiddenFile(const Text& name) {
  Call(Op::ReadHiddenFile);
  const FakeFile* file = fs.Find(name);
  if (!file) return std::nullopt;
  return file->bytes;
}

void FakePlatform::RemoveHiddenFile(const Text& name) {
  Call(Op::RemoveHiddenFile);
  fs.Remove(name);
  diskLog.push_back("remove " + ToUtf8(name));
}

bool FakePlatform::TryLockFolder() {
  Call(Op::TryLockFolder);
  if (lockBusyTries > 0) {
    --lockBusyTries;
    return false;
  }
  lockHeld = true;
  return true;
}

void FakePlatform::ReleaseFolderLock() {
  Call(Op::ReleaseFolderLock);
  lockHeld = false;
}

}  // namespace quarrow::testing
