// Helper of the process tests: waits the given milliseconds, then writes the
// show state it was started with into the given file and ends.
//   ReportStartup MILLISECONDS FILE
#include <windows.h>

#include <fstream>
#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  Sleep(static_cast<DWORD>(std::stoul(argv[1])));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  GetStartupInfoW(&startup);
  std::ofstream(argv[2], std::ios::binary) << "flags " << startup.dwFlags << " show "
                         << startup.wShowWindow << "\n";
  return 0;
}
