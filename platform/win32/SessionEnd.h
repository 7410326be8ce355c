// Logoff and shutdown for a program whose one thread may be blocked for a
// whole tool run: a hidden top-level window on a thread of its own answers
// WM_QUERYENDSESSION and WM_ENDSESSION at once, asks the job to stop, and
// holds the end of the session back a few seconds while the job saves the
// run in progress.
#pragma once

namespace quarrow::win32 {

// Starts that thread; once per process.
void WatchForSessionEnd();

}  // namespace quarrow::win32
