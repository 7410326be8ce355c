#include "Unavailable.h"

#include <cstdlib>
#include <iostream>

namespace harness {

int SkipUnlessRequired(const std::string& program, const std::string& why,
                       const std::string& require) {
  std::cout << program << ": " << why << "\n";
  const char* required = std::getenv(require.c_str());
  if (required != nullptr && std::string(required) == "1") return 1;
  std::cout << "Skipped (set " << require << "=1 to fail instead).\n";
  return 77;
}

}  // namespace harness
