// Runs the token command on Windows: cmd /c, in a job object, so that the
// command and whatever it starts are stopped together.
#include "tools/getmail/TokenCommand.h"

#include <windows.h>

#include <string>
#include <vector>

#include "tools/getmail/Errors.h"
#include "tools/getmail/win32/WinText.h"

namespace getmail {
namespace {

// More than any access token; a command that prints more is not printing one.
constexpr std::size_t kMostOutput = 64 * 1024;

std::string Named() {
  return std::string("the token command (") + kOAuthCommandVariable + ")";
}

[[noreturn]] void Fail(const std::string& what) {
  throw Error(Named() + " " + what + ": " + win32::ErrorText(GetLastError()));
}

// Handles closed when they go out of scope.
struct Handle {
  HANDLE h = nullptr;
  ~Handle() {
    if (h != nullptr && h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
};

// Windows' own cmd.exe, by its full path: by its bare name, CreateProcess
// would look in the program's folder and in the current folder (the mail
// folder, which others may be able to write to) before System32.
std::wstring SystemCommandProcessor() {
  wchar_t folder[MAX_PATH];
  UINT n = GetSystemDirectoryW(folder, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) Fail("cannot be started: no system folder");
  return std::wstring(folder, n) + L"\\cmd.exe";
}

}  // namespace

std::string RunTokenCommand(const std::string& command,
                            const std::string& login,
                            std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  // The command inherits the tool's environment; the login joins it.
  SetEnvironmentVariableW(win32::Widen(kLoginVariable).c_str(), win32::Widen(login).c_str());

  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  Handle readEnd, writeEnd, nul;
  if (!CreatePipe(&readEnd.h, &writeEnd.h, &inherit, 0)) Fail("cannot make a pipe");
  SetHandleInformation(readEnd.h, HANDLE_FLAG_INHERIT, 0);
  nul.h = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                      OPEN_EXISTING, 0, nullptr);

  Handle job;
  job.h = CreateJobObjectW(nullptr, nullptr);
  if (job.h == nullptr) Fail("cannot be started");
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  SetInformationJobObject(job.h, JobObjectExtendedLimitInformation, &limits, sizeof limits);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nul.h;
  startup.hStdOutput = writeEnd.h;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  // cmd /s /c "…": the quotes around the whole command are cmd's own.
  const std::wstring program = SystemCommandProcessor();
  std::wstring line = L"\"" + program + L"\" /d /s /c \"" + win32::Widen(command) + L"\"";
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE,
                      CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                      &process)) {
    Fail("cannot be started");
  }
  Handle processHandle{process.hProcess}, threadHandle{process.hThread};
  // Outside the job nothing it started could be stopped with it: it never
  // runs there. The job allows no breakaway, so all it starts stays in.
  if (!AssignProcessToJobObject(job.h, process.hProcess)) {
    DWORD error = GetLastError();
    TerminateProcess(process.hProcess, 1);
    SetLastError(error);
    Fail("cannot be started in a job of its own");
  }
  ResumeThread(process.hThread);
  CloseHandle(writeEnd.h);
  writeEnd.h = nullptr;

  // Short slices: the pipe is read as it fills, and the command's end is
  // noticed even when something it started keeps the pipe open.
  std::string output;
  bool ended = false;
  for (;;) {
    DWORD available = 0;
    while (PeekNamedPipe(readEnd.h, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
      char buffer[4096];
      DWORD got = 0;
      if (!ReadFile(readEnd.h, buffer, sizeof buffer, &got, nullptr) || got == 0) break;
      output.append(buffer, got);
      if (output.size() > kMostOutput) {
        throw Error(Named() + " printed far more than an access token; nothing was sent "
                    "to the server");
      }
    }
    if (ended) break;
    if (std::chrono::steady_clock::now() >= deadline) {
      throw Error(Named() + " did not end in time; it was stopped, and nothing was sent to "
                  "the server");
    }
    // Once it has ended, one more round takes what is left in the pipe.
    ended = WaitForSingleObject(process.hProcess, 50) == WAIT_OBJECT_0;
  }
  DWORD status = 1;
  GetExitCodeProcess(process.hProcess, &status);
  if (status != 0) {
    throw Error(Named() + " failed (exit status " + std::to_string(status) +
                "); nothing was sent to the server");
  }
  return TokenFromOutput(output);
}

}  // namespace getmail
