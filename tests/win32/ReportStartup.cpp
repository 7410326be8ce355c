// Helper of the process tests: waits the given milliseconds, then writes the
// show state it was started with, and its own file name, into the given file
// and ends. It takes its last two arguments, as a program started by an
// unquoted path with blanks still finds its own at the end.
//   ReportStartup MILLISECONDS FILE
#include <windows.h>

#include <fstream>
#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  Sleep(static_cast<DWORD>(std::stoul(argv[argc - 2])));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  GetStartupInfoW(&startup);
  wchar_t self[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring name(self, length);
  name = name.substr(name.find_last_of(L'\\') + 1);
  std::ofstream(argv[argc - 1], std::ios::binary)
      << "flags " << startup.dwFlags << " show " << startup.wShowWindow << " by "
      << std::string(name.begin(), name.end()) << "\n";
  return 0;
}
