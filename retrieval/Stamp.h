// Date-time stamps for result names, and renames to stamped names.
#pragma once

#include "platform/Platform.h"

namespace quarrow {

// "YY-MM-DD HH-MM-SS": the date from `date`, the time from `time`.
Text FormatStamp(const LocalTime& date, const LocalTime& time);

// Renames `from` to stamp + `suffix` (e.g. "-1.vch" or ".vch"), reading the
// clock for the date first and then for the time. When that name is already
// taken (two results within one second), waits for the clock to show another
// second and tries again with a fresh stamp: the message is already deleted
// on the server, so giving up here would lose it.
Text RenameToStampedName(Platform& platform, const Text& from,
                         const Text& suffix);

}  // namespace quarrow
