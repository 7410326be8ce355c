// Runs the token command on POSIX systems: /bin/sh -c, in a process group of
// its own so that whatever it starts can be stopped with it. On Linux the
// tool is also a child subreaper while it runs, so that what the command
// started in a session of its own (setsid), out of reach of the group,
// becomes the tool's child when its parent ends, and is stopped as well.
#include "tools/getmail/TokenCommand.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#ifdef __linux__
#include <dirent.h>
#include <sys/prctl.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "tools/getmail/Errors.h"

extern char** environ;

namespace getmail {
namespace {

// More than any access token; a command that prints more is not printing one.
constexpr std::size_t kMostOutput = 64 * 1024;

std::string Named() {
  return std::string("the token command (") + kOAuthCommandVariable + ")";
}

// The tool's environment with kLoginVariable set to `login`.
std::vector<std::string> EnvironmentWithLogin(const std::string& login) {
  std::vector<std::string> out;
  const std::string prefix = std::string(kLoginVariable) + "=";
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::strncmp(*e, prefix.c_str(), prefix.size()) != 0) out.emplace_back(*e);
  }
  out.push_back(prefix + login);
  return out;
}

// This process's children as the system lists them now.
std::set<pid_t> ChildrenNow() {
  std::set<pid_t> children;
#ifdef __linux__
  const pid_t self = getpid();
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return children;
  while (dirent* entry = readdir(proc)) {
    char* end = nullptr;
    long pid = std::strtol(entry->d_name, &end, 10);
    if (pid <= 0 || *end != '\0') continue;
    // "pid (name) state ppid ...": the name may hold anything, ")" too.
    std::ifstream file(std::string("/proc/") + entry->d_name + "/stat");
    std::string stat((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    char state = 0;
    long parent = 0;
    if (std::sscanf(stat.c_str() + close + 1, " %c %ld", &state, &parent) == 2 &&
        parent == self) {
      children.insert(static_cast<pid_t>(pid));
    }
  }
  closedir(proc);
#endif
  return children;
}

// While it lives, this process is a child subreaper (Linux): whatever the
// token command starts stays among its descendants, a process that calls
// setsid included. Stop() ends every one of them.
class Subreaper {
 public:
  Subreaper() : before_(ChildrenNow()) {
#ifdef __linux__
    int was = 0;
    prctl(PR_GET_CHILD_SUBREAPER, &was, 0, 0, 0);
    was_ = was != 0;
    if (!was_) prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0);
#endif
  }
  ~Subreaper() {
    Stop();
#ifdef __linux__
    if (!was_) prctl(PR_SET_CHILD_SUBREAPER, 0, 0, 0, 0);
#endif
  }
  Subreaper(const Subreaper&) = delete;
  Subreaper& operator=(const Subreaper&) = delete;

  // Stops and reaps every child that was not there before, again and again:
  // the children of one that ends become ours in turn. A child that was
  // there before belongs to someone else in this process.
  void Stop() {
    for (int round = 0; round < 1000; ++round) {
      bool any = false;
      for (pid_t pid : ChildrenNow()) {
        if (before_.count(pid) != 0) continue;
        any = true;
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
      }
      if (!any) return;
    }
  }

 private:
  std::set<pid_t> before_;
  bool was_ = false;
};

class Child {
 public:
  Child(const std::string& command, const std::string& login) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) Fail("cannot make a pipe");
    readFd_ = fds[0];
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    std::vector<std::string> environment = EnvironmentWithLogin(login);
    std::vector<char*> envp;
    for (std::string& item : environment) envp.push_back(item.data());
    envp.push_back(nullptr);
    std::string shell = "/bin/sh", dashC = "-c", text = command;
    char* argv[] = {shell.data(), dashC.data(), text.data(), nullptr};
    int error = posix_spawn(&pid_, "/bin/sh", &actions, &attributes, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(fds[1]);
    if (error != 0) {
      pid_ = -1;
      errno = error;
      Fail("cannot be started");
    }
  }

  ~Child() {
    if (pid_ > 0) {
      kill(-pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    subreaper_.Stop();
    if (readFd_ >= 0) close(readFd_);
  }

  // Reads its output until it has ended (and the pipe is drained) or the
  // deadline has passed; then stops what is left of its process group.
  std::string Run(std::chrono::steady_clock::time_point deadline) {
    std::string output;
    int status = 0;
    bool ended = false, drained = false;
    while (!(ended && drained)) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) {
        throw Error(Named() + " did not end in time; it was stopped, and "
                    "nothing was sent to the server");
      }
      if (!drained) {
        pollfd p{readFd_, POLLIN, 0};
        // Short slices, so that a command that has ended is noticed even
        // when something it started keeps the pipe open.
        int ready = poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 50)));
        if (ready < 0 && errno != EINTR) Fail("could not be read");
        if (ready > 0) {
          char buffer[4096];
          ssize_t n = read(readFd_, buffer, sizeof buffer);
          if (n < 0 && errno != EINTR) Fail("could not be read");
          if (n == 0) drained = true;
          if (n > 0) output.append(buffer, static_cast<std::size_t>(n));
          if (output.size() > kMostOutput) {
            throw Error(Named() + " printed far more than an access token; "
                        "nothing was sent to the server");
          }
        }
      }
      if (!ended) {
        pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
          ended = true;
          // Whatever it left behind goes with it; the pipe then ends too.
          kill(-pid_, SIGKILL);
          pid_ = -1;
          subreaper_.Stop();
        }
      }
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      throw Error(Named() + " failed (" +
                  (WIFEXITED(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                                     : std::string("stopped by a signal")) +
                  "); nothing was sent to the server");
    }
    return output;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) {
    throw Error(Named() + " " + what + ": " + std::strerror(errno));
  }

  Subreaper subreaper_;  // first: a subreaper before anything is started
  pid_t pid_ = -1;
  int readFd_ = -1;
};

}  // namespace

std::string RunTokenCommand(const std::string& command,
                            const std::string& login,
                            std::chrono::milliseconds timeout) {
  Child child(command, login);
  return TokenFromOutput(child.Run(std::chrono::steady_clock::now() + timeout));
}

}  // namespace getmail
