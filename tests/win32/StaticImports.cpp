// Imports the system DLLs that the programs delay-load the ordinary way, so
// that the loader resolves them at start. Under a set-up that honours the
// program's folder first, a DLL planted there is the one loaded.
#include <windows.h>
#include <bcrypt.h>
#include <iphlpapi.h>
#define SECURITY_WIN32
#include <security.h>
#include <windns.h>
#include <wincrypt.h>
#include <winhttp.h>

int main() {
  // Only the imports matter; each address is read so none is dropped.
  const void* volatile used[] = {
      reinterpret_cast<const void*>(&BCryptGenRandom),
      reinterpret_cast<const void*>(&CertFreeCertificateContext),
      reinterpret_cast<const void*>(&DnsFree),
      reinterpret_cast<const void*>(&GetNumberOfInterfaces),
      reinterpret_cast<const void*>(&FreeContextBuffer),
      reinterpret_cast<const void*>(&WinHttpCloseHandle),
  };
  return used[0] != nullptr ? 0 : 1;
}
