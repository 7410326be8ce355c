#include "tools/getmail/Startup.h"

#include <windows.h>

namespace getmail {

void SafeStart() {
  // Every later LoadLibrary, the system's and the libraries' own, looks in
  // System32 alone. The program's static imports are KnownDLLs, which come
  // from System32 anyway; the other system DLLs it uses are delay-loaded
  // (cmake/WindowsDelayLoad.cmake), so each loads on first use, after this.
  // Nothing before this line may call into one of them.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  // Nor does the search for a program name take the current folder.
  SetSearchPathMode(BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE | BASE_SEARCH_PATH_PERMANENT);
}

}  // namespace getmail
