#include "tools/getmail/Startup.h"

#include <windows.h>

namespace getmail {

void SafeStart() {
  // Every later LoadLibrary, the system's and the libraries' own, looks in
  // System32 alone. The DLLs the program imports are Windows' own, loaded
  // before this from the system's folders.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  // Nor does the search for a program name take the current folder.
  SetSearchPathMode(BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE | BASE_SEARCH_PATH_PERMANENT);
}

}  // namespace getmail
