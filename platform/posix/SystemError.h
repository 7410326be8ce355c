// The system's description of an error number, as wide text.
#pragma once

#include <cstring>

#include "platform/Platform.h"

namespace quarrow::posix {

inline Text SystemError(int error) { return FromUtf8(std::strerror(error)); }

}  // namespace quarrow::posix
