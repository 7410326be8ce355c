// Stopping when the user or the system asks (a signal on POSIX systems; a
// console event on Windows): a session that has not yet sent DELE is simply
// dropped, without QUIT, so the server deletes nothing, and every temporary
// file goes with it; once DELE has been sent, the session is finished first,
// so that what was saved and what was deleted agree.
#pragma once

#include <functional>
#include <string>

namespace getmail {

// Starts watching for requests to stop (posix/StopWatch.cpp,
// win32/StopWatch.cpp). Call once.
void WatchForStop();

// The system side of a stop: ends the process at once with `status`,
// without running destructors or closing the session properly.
[[noreturn]] void EndProcessNow(int status);

// Called by the watch, on a thread of its own, when asked to stop (`why`
// names the signal or event). Before DELE: removes every temporary file,
// tells the user and ends the process with status kFailed. After: tells the
// user that the session is finished first, and returns.
void StopRequested(const std::string& why);

// The retrieval run is about to send DELE: from now on a stop waits for the
// session to end.
void DeletionUnderWay();

// Runs `create`, which makes the temporary file `name` and says whether it
// did, and notes the name if so, as one step against a stop, which removes
// every noted file. Gives what `create` gave.
bool CreateNotedTempFile(const std::string& name, const std::function<bool()>& create);
// The temporary file `name` is put in place or removed.
void ForgetTempFile(const std::string& name);

}  // namespace getmail
