#include "platform/posix/PosixPlatform.h"

#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <thread>
#include <utility>

#include "platform/ToolMessage.h"
#include "platform/posix/DurableFiles.h"
#include "platform/posix/Files.h"
#include "platform/posix/Processes.h"
#include "platform/posix/StopSignals.h"
#include "platform/posix/SystemError.h"
#include "platform/posix/UpperCase.h"

namespace quarrow::posix {

PosixPlatform::PosixPlatform(Desktop& desktop,
                             std::vector<std::string> arguments,
                             const Drives::Environment& environment)
    : PlatformOnDesktop(desktop),
      arguments_(std::move(arguments)),
      drives_(environment) {}

ProcessId PosixPlatform::StartProcess(const Text& program,
                                      const Text& commandLine, int) {
  // The tool is a console program here: both window styles run it with our
  // own standard output, and its standard error passed on to ours. It
  // works under the folder lock this job holds, if any.
  StartedProgram started =
      StartProgram(drives_, program, commandLine, folderLock_.descriptor());
  errorPipes_.erase(started.id);
  errorPipes_.emplace(started.id, std::move(started.errors));
  return started.id;
}

ProcessExit PosixPlatform::WaitForProcess(ProcessId id) {
  const auto pipe = errorPipes_.find(id);
  if (pipe == errorPipes_.end()) return WaitForProgram(id);
  const std::string output =
      pipe->second.RelayUntilEnd(static_cast<pid_t>(id));
  errorPipes_.erase(pipe);
  ProcessExit exit = WaitForProgram(id);
  if (exit.Failed()) exit.message = LastToolMessage(output);
  return exit;
}

Text PosixPlatform::ToolMessagesPlace() {
  // Every line the tool writes is passed on to our standard error.
  return L"standard error (the terminal Quarrow was started from)";
}

void PosixPlatform::SelectDrive(wchar_t letter) { drives_.Select(letter); }

void PosixPlatform::ChangeFolder(const Text& folder) {
  drives_.ChangeFolder(folder);
}

std::vector<Text> PosixPlatform::ListFiles(const Text& pattern) {
  return posix::ListFiles(drives_, pattern);
}

void PosixPlatform::DeleteFiles(const Text& pattern) {
  posix::DeleteFiles(drives_, pattern);
}

void PosixPlatform::RenameFile(const Text& from, const Text& to) {
  posix::RenameFile(drives_, from, to);
}

FileState PosixPlatform::GetFileState(const Text& name) {
  return posix::GetFileState(drives_, name);
}

std::unique_ptr<TextReader> PosixPlatform::OpenTextFile(const Text& name) {
  return posix::OpenTextFile(drives_, name);
}

std::string PosixPlatform::CurrentFolder() const {
  const auto folder = drives_.Find(L"");
  if (!folder) throw Failure(L"Cannot find the current folder");
  return *folder;
}

void PosixPlatform::SyncFolder() { SyncFolderAt(CurrentFolder()); }

void PosixPlatform::WriteHiddenFile(const Text& name,
                                    const std::string& bytes) {
  WriteWhole(CurrentFolder(), ToUtf8(name), bytes);
}

std::optional<std::string> PosixPlatform::ReadHiddenFile(const Text& name) {
  // The job's own files are a few lines; a bigger one is not one of them.
  return ReadSmall(CurrentFolder(), ToUtf8(name), 64 * 1024);
}

void PosixPlatform::RemoveHiddenFile(const Text& name) {
  RemoveIfThere(CurrentFolder(), ToUtf8(name));
}

bool PosixPlatform::TryLockFolder() {
  return folderLock_.TryLock(CurrentFolder());
}

void PosixPlatform::ReleaseFolderLock() { folderLock_.Release(); }

bool PosixPlatform::StopRequested() { return StopSignalArrived(); }

Text PosixPlatform::UpperCase(const Text& text) {
  return posix::UpperCase(text);
}

LocalTime PosixPlatform::Now() {
  timeval now{};
  ::gettimeofday(&now, nullptr);
  std::tm local{};
  ::localtime_r(&now.tv_sec, &local);
  LocalTime t;
  t.year = local.tm_year + 1900;
  t.month = local.tm_mon + 1;
  t.day = local.tm_mday;
  t.hour = local.tm_hour;
  t.minute = local.tm_min;
  t.second = local.tm_sec;
  t.millisecond = static_cast<int>(now.tv_usec / 1000);
  t.utcOffsetMinutes = static_cast<int>(local.tm_gmtoff / 60);
  return t;
}

void PosixPlatform::Sleep(std::chrono::milliseconds duration) {
  std::this_thread::sleep_for(duration);
}

Text PosixPlatform::DisplayPath(const Text& name) {
  return drives_.Shown(name, false);
}

Text PosixPlatform::ProgramFolder() {
  char path[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (length < 0)
    throw Failure(L"Cannot find the program's folder: " + SystemError(errno));
  std::string folder(path, static_cast<size_t>(length));
  folder.erase(folder.find_last_of('/'));
  char real[PATH_MAX];
  if (::realpath(folder.empty() ? "/" : folder.c_str(), real) != nullptr)
    folder = real;
  return drives_.WindowsName(folder);
}

Text PosixPlatform::ArgumentText() {
  std::string joined;
  for (size_t i = 0; i < arguments_.size(); ++i)
    joined += (i == 0 ? "" : " ") + arguments_[i];
  return FromUtf8(joined);
}

}  // namespace quarrow::posix
