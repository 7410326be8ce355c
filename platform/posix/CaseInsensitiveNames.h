// Finding names on disk without regard to case, as Windows does. Names on
// disk are bytes, read as UTF-8; a byte that does not decode stands for one
// character of its own, so every name on disk has a wide form.
#pragma once

#include <optional>
#include <string>

#include "platform/Platform.h"

namespace quarrow::posix {

bool SameIgnoringCase(const Text& a, const Text& b);

// "*" stands for any run of characters, "?" for any one; letters match
// without regard to case.
bool MatchesWildcard(const Text& name, const Text& pattern);

// `folder` + "/" + `name`, for a real folder path.
std::string JoinPath(const std::string& folder, const std::string& name);

// The entry of real folder `folder` that `name` names without regard to
// case: the exact spelling when it exists, else the first entry in listing
// order whose name equals it ignoring case. Nothing when there is none.
std::optional<std::string> FindEntry(const std::string& folder,
                                     const Text& name);

}  // namespace quarrow::posix
