// What a test program does when what it needs is not here.
#pragma once

#include <string>

namespace harness {

// Says on standard output that `program` cannot run here because of `why`,
// and gives its exit status: 77 (skipped, ctest's SKIP_RETURN_CODE) unless
// the environment variable `require` is "1", then 1 (failed).
int SkipUnlessRequired(const std::string& program, const std::string& why,
                       const std::string& require);

}  // namespace harness
