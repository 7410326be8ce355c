#include "platform/posix/Codeset.h"

#include <langinfo.h>

#include <cstring>

namespace quarrow::posix {

bool CodesetIsAscii() {
  return std::strcmp(::nl_langinfo(CODESET), "ANSI_X3.4-1968") == 0;
}

bool ReadsAsUtf8() {
  return std::strcmp(::nl_langinfo(CODESET), "UTF-8") == 0 || CodesetIsAscii();
}

}  // namespace quarrow::posix
