// A POSIX platform over private temporary folders: drive C: and D: map onto
// folders "c" and "d" of the test's own temporary folder.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <map>
#include <memory>
#include <sstream>

#include "platform/HeadlessDesktop.h"
#include "platform/posix/PosixPlatform.h"
#include "TempFolder.h"

namespace quarrow::posix::testing {

class LayerTest : public ::testing::Test {
 protected:
  LayerTest() : before_(WorkingFolder()) {
    environment["QUARROW_DRIVE_C"] = tmp.Folder("c");
    environment["QUARROW_DRIVE_D"] = tmp.Folder("d");
    environment["HOME"] = tmp.Folder("home");
    EXPECT_EQ(::chdir(tmp.path().c_str()), 0);
  }
  ~LayerTest() override { EXPECT_EQ(::chdir(before_.c_str()), 0); }

  // A platform that reads `environment` and the working folder as they are
  // now.
  std::unique_ptr<PosixPlatform> Make(std::vector<std::string> arguments = {}) {
    return std::make_unique<PosixPlatform>(
        desktop, std::move(arguments), [this](const char* name) -> const char* {
          const auto found = environment.find(name);
          return found == environment.end() ? nullptr : found->second.c_str();
        });
  }

  TempFolder tmp;
  std::map<std::string, std::string> environment;
  std::ostringstream messages;
  HeadlessDesktop desktop{messages};

 private:
  std::string before_;
};

// The message of the Failure that `action` throws, or "" when none.
template <typename Action>
std::wstring FailureOf(Action action) {
  try {
    action();
  } catch (const Failure& failure) {
    return failure.message();
  }
  return L"";
}

}  // namespace quarrow::posix::testing
