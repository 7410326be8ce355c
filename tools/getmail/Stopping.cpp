#include "tools/getmail/Stopping.h"

#include <mutex>
#include <set>

#include "tools/getmail/Errors.h"
#include "tools/getmail/Files.h"
#include "tools/getmail/Report.h"

namespace getmail {
namespace {

// One lock for the run's state and its temporary files: a stop holds it
// until the process has ended, so no DELE goes out and no file is made
// after the stop has begun. Never destroyed: a stop may come while the
// process ends.
std::mutex& StopMutex() {
  static std::mutex* mutex = new std::mutex;
  return *mutex;
}
bool deletionUnderWay = false;
std::set<std::string>& TempFiles() {
  static std::set<std::string>* names = new std::set<std::string>;
  return *names;
}

}  // namespace

void StopRequested(const std::string& why) {
  std::unique_lock<std::mutex> lock(StopMutex());
  if (deletionUnderWay) {
    lock.unlock();
    Report("getmail: " + why + ": the message is being deleted on the server, so the "
           "session is finished first\n");
    return;
  }
  for (const std::string& name : TempFiles()) {
    try {
      RemoveIfPresent(name);
    } catch (const Error&) {
      // Left for the next run, which removes it.
    }
  }
  Report("getmail: " + why + ": stopped; nothing was deleted on the server\n");
  EndProcessNow(kFailed);  // with the lock held: nothing more happens
}

void DeletionUnderWay() {
  std::lock_guard<std::mutex> lock(StopMutex());
  deletionUnderWay = true;
}

bool CreateNotedTempFile(const std::string& name, const std::function<bool()>& create) {
  std::lock_guard<std::mutex> lock(StopMutex());
  if (!create()) return false;
  TempFiles().insert(name);
  return true;
}

void ForgetTempFile(const std::string& name) {
  std::lock_guard<std::mutex> lock(StopMutex());
  TempFiles().erase(name);
}

}  // namespace getmail
