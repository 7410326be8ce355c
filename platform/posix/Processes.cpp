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
#include <utility>
#include <vector>

#include "platform/posix/CaseInsensitiveNames.h"
#include "platform/posix/CommandLine.h"
#include "platform/posix/ErrorRelay.h"
#include "platform/posix/FolderLockFile.h"
#include "platform/posix/StopSignals.h"
#include "platform/posix/SystemError.h"

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

// The names tried for `program`: as given, and one ending in ".exe" also
// without it, since the tool is installed here as "getmail" and answers to
// "getmail.exe". Nothing is searched for: the path is the program.
std::vector<Text> Spellings(const Text& program) {
  std::vector<Text> spellings{program};
  if (EndsWithExe(program))
    spellings.push_back(program.substr(0, program.size() - 4));
  return spellings;
}

std::optional<std::string> FindProgram(const Drives& drives,
                                       const Text& program) {
  for (const Text& spelling : Spellings(program)) {
    const auto found = drives.Find(spelling);
    if (found && IsRegularFile(*found)) return found;
  }
  return std::nullopt;
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

StartedProgram StartProgram(const Drives& drives, const Text& program,
                            const Text& commandLine, int lockDescriptor) {
  const auto found = FindProgram(drives, program);
  if (!found)
    throw Failure(L"Cannot start '" + program + L"': " + SystemError(ENOENT));

  std::vector<std::string> arguments{*found};
  for (const Text& argument :
       SplitArguments(ArgumentsAfterProgram(commandLine, program)))
    arguments.push_back(ToUtf8(argument));
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  const InheritedLock lock(lockDescriptor);
  std::vector<std::string> environment = ToolEnvironment(lock.fd());
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);

  ErrorPipe errors;
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_adddup2(&actions, errors.writeEnd(), STDERR_FILENO);
  pid_t pid = 0;
  const int error = ::posix_spawn(&pid, found->c_str(), &actions, nullptr,
                                  argv.data(), envp.data());
  ::posix_spawn_file_actions_destroy(&actions);
  if (error != 0)
    throw Failure(L"Cannot start '" + program + L"': " + SystemError(error));
  errors.CloseWriteEnd();
  SetRunningTool(pid);
  return {static_cast<ProcessId>(pid), std::move(errors)};
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
