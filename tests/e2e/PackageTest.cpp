// The Debian package as a user gets it: built with CPack from this build
// tree, unpacked into a scratch root (dpkg-deb -x), and its usr/bin/quarrow
// run in batch mode, headless, with the real tool against the private
// Dovecot; and what the package declares and holds for a user.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <set>
#include <sstream>

#include "Corpus.h"
#include "Files.h"
#include "PrivateDovecot.h"
#include "Process.h"
#include "QuarrowJob.h"

namespace {

using harness::ProcessResult;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

harness::PrivateDovecot* server = nullptr;  // none where Dovecot cannot run
std::string deb;   // the package file
std::string root;  // the scratch root it is unpacked in

std::string dpkgDeb;  // its path

// The path of `program` on the PATH, or "".
std::string Which(const std::string& program) {
  ProcessResult found = harness::RunProcess({"/bin/sh", "-c", "command -v " + program}, "/");
  if (found.status != 0) return "";
  return found.out.substr(0, found.out.find('\n'));
}

// The names of the packages in a Depends field ("a (>= 1), b | c").
std::set<std::string> PackageNames(const std::string& field) {
  std::set<std::string> names;
  std::string name;
  bool inName = true;
  for (char c : field + ",") {
    if (c == ',' || c == '|') {
      if (!name.empty()) names.insert(name);
      name.clear();
      inName = true;
    } else if (c == ' ' || c == '(' || c == '\n' || c == ':') {
      if (!name.empty()) inName = false;
    } else if (inName) {
      name += c;
    }
  }
  return names;
}

TEST(Package, DependsOnTheLibrariesAndCertificatesTheProgramsUse) {
  ProcessResult field = harness::RunProcess({dpkgDeb, "-f", deb, "Depends"}, "/");
  ASSERT_EQ(field.status, 0) << field.err;
  const std::set<std::string> names = PackageNames(field.out);
  for (const char* wanted :
       {"libfltk1.3", "libssl", "libgmime-3.0", "libcurl4", "libsecret-1", "ca-certificates"}) {
    bool found = false;
    for (const std::string& name : names) found = found || name.rfind(wanted, 0) == 0;
    EXPECT_TRUE(found) << wanted << " is not in Depends: " << field.out;
  }
}

// Everything is root's; only quarrow is on the PATH, a link to the program
// beside its tool; the man pages and the example units are where a user
// looks for them.
TEST(Package, HoldsTheProgramsManPagesAndExampleUnits) {
  ProcessResult listing = harness::RunProcess({dpkgDeb, "-c", deb}, "/");
  ASSERT_EQ(listing.status, 0) << listing.err;
  std::set<std::string> entries, onPath;
  std::istringstream lines(listing.out);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string mode, owner, size, date, time, path;
    fields >> mode >> owner >> size >> date >> time;
    std::getline(fields >> std::ws, path);
    EXPECT_EQ(owner, "root/root") << line;
    entries.insert(path);
    if (path.rfind("./usr/bin/", 0) == 0 && path != "./usr/bin/") onPath.insert(path);
  }
  EXPECT_EQ(onPath, (std::set<std::string>{"./usr/bin/quarrow -> ../lib/quarrow/quarrow",
                                            "./usr/bin/quarrow-getmail -> ../lib/quarrow/getmail"}));
  for (const char* path :
       {"./usr/lib/quarrow/quarrow", "./usr/lib/quarrow/getmail",
        "./usr/share/man/man1/quarrow.1.gz", "./usr/share/man/man1/quarrow-getmail.1.gz",
        "./usr/share/doc/quarrow/copyright", "./usr/share/doc/quarrow/examples/quarrow@.service",
        "./usr/share/doc/quarrow/examples/quarrow@.timer",
        "./usr/share/doc/quarrow/examples/quarrow.conf"}) {
    EXPECT_EQ(entries.count(path), 1u) << path << " is not in the package";
  }
}

// Each man page renders without a warning and tells what a user of a
// scheduled job needs: the exit statuses and the environment.
TEST(Package, ManPagesRenderCleanly) {
  if (Which("groff").empty()) GTEST_SKIP() << "groff is not installed";
  const struct {
    const char* page;
    std::vector<std::string> mentions;
  } pages[] = {
      {"quarrow.1.gz", {"EXIT STATUS", "QUARROW_DRIVE_", "QUARROW_HEADLESS", "/usr/lib/quarrow"}},
      {"quarrow-getmail.1.gz", {"EXIT STATUS", "QUARROW_GETMAIL_CAFILE", "QUARROW_GETMAIL_PLAINTEXT"}},
  };
  for (const auto& [page, mentions] : pages) {
    const std::string file = root + "/usr/share/man/man1/" + page;
    ProcessResult text = harness::RunProcess(
        {"/bin/sh", "-c", "gzip -dc \"$0\" | groff -man -Tutf8 -ww -P-cbou", file}, "/",
        {{"LC_ALL", "C.UTF-8"}});
    EXPECT_EQ(text.status, 0) << page << ": " << text.err;
    EXPECT_THAT(text.err, IsEmpty()) << page;
    for (const std::string& mention : mentions) EXPECT_THAT(text.out, HasSubstr(mention)) << page;
  }
}

// The example units are valid as systemd reads them, and the service runs
// the program the package puts on the PATH.
TEST(Package, ExampleUnitsVerify) {
  const std::string analyze = Which("systemd-analyze");
  if (analyze.empty()) GTEST_SKIP() << "systemd-analyze is not installed";
  harness::TempFolder units("quarrow-units");
  const std::string examples = root + "/usr/share/doc/quarrow/examples/";
  std::string service = harness::ReadFile(examples + "quarrow@.service");
  const std::string exec = "ExecStart=/usr/bin/quarrow ";
  const std::size_t at = service.find("\n" + exec);
  ASSERT_NE(at, std::string::npos) << "the service does not run /usr/bin/quarrow";
  service.replace(at + 1, exec.size(), "ExecStart=" + root + "/usr/bin/quarrow ");
  harness::WriteFile(units / "quarrow@test.service", service);
  harness::WriteFile(units / "quarrow@test.timer", harness::ReadFile(examples + "quarrow@.timer"));
  ProcessResult verify = harness::RunProcess(
      {analyze, "verify", "--man=no", units / "quarrow@test.service",
       units / "quarrow@test.timer"},
      units.path());
  EXPECT_EQ(verify.status, 0) << verify.err;
  EXPECT_THAT(verify.err, IsEmpty());
}

TEST(Package, TheInstalledProgramDoesTheWholeJob) {
  if (server == nullptr) GTEST_SKIP() << "no private Dovecot here";
  std::vector<harness::CorpusMessage> corpus = harness::Corpus();
  server->SetMessages(harness::RawMessages(corpus));
  harness::TempFolder drive("quarrow-drive-d");
  // Through the link on the PATH, over STLS with the server's own CA.
  ProcessResult run = harness::RunQuarrowJob(root + "/usr/bin/quarrow", *server,
                                             server->pop3Port(), "Velbrin",
                                             server->password(), drive.path());
  ASSERT_EQ(run.status, 0) << run.err;
  harness::ExpectFetched(corpus, harness::VelbrinIds(corpus), drive.path(), *server);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  dpkgDeb = Which("dpkg-deb");
  if (dpkgDeb.empty()) {
    std::cout << "quarrow_package_tests: dpkg-deb is not installed. Skipped.\n";
    return 77;
  }
  // The package as make package builds it, into a folder of its own.
  harness::TempFolder packages("quarrow-package");
  ProcessResult cpack = harness::RunProcess(
      {QUARROW_CPACK_COMMAND, "-G", "DEB", "--config", QUARROW_CPACK_CONFIG, "-B",
       packages.path()},
      "/", {}, 600);
  for (const std::string& name : harness::ListFolder(packages.path())) {
    if (name.size() > 4 && name.substr(name.size() - 4) == ".deb") deb = packages / name;
  }
  if (cpack.status != 0 || deb.empty()) {
    std::cout << "quarrow_package_tests: cpack made no package: " << cpack.out << cpack.err
              << "\n";
    return 1;
  }
  harness::TempFolder scratch("quarrow-root");
  ProcessResult unpack = harness::RunProcess({dpkgDeb, "-x", deb, scratch.path()}, "/");
  if (unpack.status != 0) {
    std::cout << "quarrow_package_tests: dpkg-deb -x failed: " << unpack.err << "\n";
    return 1;
  }
  root = scratch.path();

  std::optional<harness::PrivateDovecot> dovecot;
  if (std::optional<std::string> why = harness::PrivateDovecot::Unavailable()) {
    std::cout << "quarrow_package_tests: " << *why << "\n";
    const char* require = std::getenv("QUARROW_REQUIRE_DOVECOT");
    if (require != nullptr && std::string(require) == "1") return 1;
  } else {
    dovecot.emplace();
    server = &*dovecot;
  }
  int status = RUN_ALL_TESTS();
  server = nullptr;
  return status;
}
