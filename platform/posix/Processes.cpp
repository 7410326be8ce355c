#include "platform/posix/Processes.h"

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

}  // namespace

StartedProgram StartProgram(const Drives& drives, const Text& program,
                            const Text& commandLine) {
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

  ErrorPipe errors;
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_adddup2(&actions, errors.writeEnd(), STDERR_FILENO);
  pid_t pid = 0;
  const int error = ::posix_spawn(&pid, found->c_str(), &actions, nullptr,
                                  argv.data(), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  if (error != 0)
    throw Failure(L"Cannot start '" + program + L"': " + SystemError(error));
  errors.CloseWriteEnd();
  return {static_cast<ProcessId>(pid), std::move(errors)};
}

ProcessExit WaitForProgram(ProcessId id) {
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
