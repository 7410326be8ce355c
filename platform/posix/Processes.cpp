#include "platform/posix/Processes.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix/CaseInsensitiveNames.h"
#include "platform/posix/CommandLine.h"
#include "platform/posix/FolderLockFile.h"
#include "platform/posix/StopSignals.h"
#include "platform/posix/SystemError.h"
#include "platform/posix/WindowsPath.h"

extern char** environ;

namespace quarrow::posix {

namespace {

bool IsRegularFile(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool EndsWithExe(const Text& name) {
  return name.size() > 4 && SameIgnoringCase(name.substr(name.size() - 4), L".exe");
}

bool HasExtension(const Text& program) {
  const size_t name = program.find_last_of(L"\\/:");
  return program.find(L'.', name == Text::npos ? 0 : name + 1) != Text::npos;
}

// The names Windows would try for `program`: as given if its name has an
// extension, else with ".exe" added. So in "c:\my inst\bin\getmail.exe"
// the reading "c:\my" looks for "c:\my.exe" only, never a file "c:\my".
// A name that ends in ".exe" is also tried without it: the tool installed
// here as "getmail" answers to "getmail.exe".
std::vector<Text> Spellings(const Text& program) {
  if (!HasExtension(program)) return {program + L".exe"};
  std::vector<Text> spellings{program};
  if (EndsWithExe(program))
    spellings.push_back(program.substr(0, program.size() - 4));
  return spellings;
}

bool IsBareName(const Text& program) {
  const WindowsPath path = ParseWindowsPath(program);
  return path.drive == 0 && !path.rooted && path.names.size() == 1;
}

std::optional<std::string> FindProgram(const Drives& drives,
                                       const Text& program) {
  for (const Text& spelling : Spellings(program)) {
    const auto found = drives.Find(spelling);
    if (found && IsRegularFile(*found)) return found;
  }
  const char* path = std::getenv("PATH");
  if (!IsBareName(program) || path == nullptr) return std::nullopt;
  const std::string folders = path;
  for (size_t start = 0; start <= folders.size();) {
    size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    const std::string folder = folders.substr(start, end - start);
    for (const Text& spelling : Spellings(program)) {
      const std::string file = JoinPath(folder.empty() ? "." : folder,
                                        ToUtf8(spelling));
      if (IsRegularFile(file)) return file;
    }
    start = end + 1;
  }
  return std::nullopt;
}

// The program part to name when nothing could be started: the one that
// ends in ".exe" if any reading does, else the shortest.
Text NameForFailure(const std::vector<ProgramChoice>& choices) {
  for (const ProgramChoice& choice : choices)
    if (EndsWithExe(choice.program)) return choice.program;
  return choices.empty() ? Text() : choices.front().program;
}

// Our environment, with QUARROW_FOLDER_LOCK naming `lockDescriptor`, or
// without it when there is none.
std::vector<std::string> ToolEnvironment(int lockDescriptor) {
  const std::string prefix = std::string(kFolderLockVariable) + "=";
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry)
    if (std::string(*entry).compare(0, prefix.size(), prefix) != 0)
      environment.push_back(*entry);
  if (lockDescriptor >= 0)
    environment.push_back(prefix + std::to_string(lockDescriptor));
  return environment;
}

// A copy of the lock descriptor without close-on-exec, for one start; the
// program has one thread, so no other start can inherit it meanwhile.
class InheritedLock {
 public:
  explicit InheritedLock(int fd)
      : fd_(fd < 0 ? -1 : ::fcntl(fd, F_DUPFD, 3)) {
    if (fd >= 0 && fd_ < 0)
      throw Failure(L"Cannot hand the folder lock to the tool: " +
                    SystemError(errno));
  }
  ~InheritedLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  int fd() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

ProcessId StartProgram(const Drives& drives, const Text& commandLine,
                       int lockDescriptor) {
  const auto choices = ProgramChoices(commandLine);
  for (const ProgramChoice& choice : choices) {
    const auto program = FindProgram(drives, choice.program);
    if (!program) continue;

    std::vector<std::string> arguments{*program};
    for (const Text& argument : SplitArguments(choice.arguments))
      arguments.push_back(ToUtf8(argument));
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);

    const InheritedLock lock(lockDescriptor);
    std::vector<std::string> environment = ToolEnvironment(lock.fd());
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);

    pid_t pid = 0;
    const int error = ::posix_spawn(&pid, program->c_str(), nullptr, nullptr,
                                    argv.data(), envp.data());
    if (error != 0)
      throw Failure(L"Cannot start '" + choice.program + L"': " +
                    SystemError(error));
    SetRunningTool(pid);
    return static_cast<ProcessId>(pid);
  }
  throw Failure(L"Cannot start '" + NameForFailure(choices) + L"': " +
                SystemError(ENOENT));
}

ProcessExit WaitForProgram(ProcessId id) {
  // Once it has ended, but before its id is free again, stop signals no
  // longer go to it.
  siginfo_t ended{};
  while (::waitid(P_PID, static_cast<id_t>(id), &ended, WEXITED | WNOWAIT) !=
             0 &&
         errno == EINTR) {
  }
  SetRunningTool(0);
  int status = 0;
  pid_t result;
  while ((result = ::waitpid(static_cast<pid_t>(id), &status, 0)) < 0 &&
         errno == EINTR) {
  }
  ProcessExit exit;
  if (result < 0) return exit;
  exit.known = true;
  if (WIFEXITED(status)) {
    exit.code = static_cast<unsigned long>(WEXITSTATUS(status));
  } else if (WIFSIGNALED(status)) {
    exit.signal = WTERMSIG(status);
  }
  return exit;
}

}  // namespace quarrow::posix
