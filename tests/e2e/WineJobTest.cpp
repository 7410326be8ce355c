// Quarrow's whole job on Windows, under Wine: the Windows download
// installed into a fresh Wine prefix by its installer
// (Quarrow-<version>-win64.msi, msiexec /qn, as the user), the installed
// Quarrow.exe run in batch mode without a window, with the getmail.exe
// beside it, against the private Dovecot on loopback. The mail folder is on
// drive Z:, which Wine maps to /. The zip is unpacked beside it, and at the
// end a later version is installed over the first and then uninstalled.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <thread>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <sstream>

#include "Corpus.h"
#include "Files.h"
#include "OAuthServer.h"
#include "Pop3Tap.h"
#include "PrivateDovecot.h"
#include "Process.h"
#include "QuarrowJob.h"
#include "Unavailable.h"

namespace {

using harness::CorpusMessage;
using harness::ProcessResult;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

using Environment = std::map<std::string, std::optional<std::string>>;

harness::PrivateDovecot* server = nullptr;
harness::OAuthServer* oauth = nullptr;  // none where node or oidc-provider is missing
std::string prefix;                     // the fresh Wine prefix
std::vector<std::string> unpackedNames;  // what unpacking the zip added to drive C
std::string user;                       // the prefix's user, as named under C:\users

// Where the installer puts the programs, on drive C and as Windows names it.
std::string InstalledFolder() {
  return prefix + "/drive_c/users/" + user + "/AppData/Local/Programs/Quarrow";
}
std::string InstalledProgram() {
  return "C:\\users\\" + user + "\\AppData\\Local\\Programs\\Quarrow\\Quarrow.exe";
}
std::string InstalledTool() {
  return "C:\\users\\" + user + "\\AppData\\Local\\Programs\\Quarrow\\getmail.exe";
}
std::string StartMenuShortcut() {
  return prefix + "/drive_c/users/" + user +
         "/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Quarrow.lnk";
}

// Wine's own programs in the prefix (msiexec, reg), headless, and without
// making menu entries on the host for the shortcuts an installer makes.
ProcessResult WineTool(const std::vector<std::string>& argv) {
  std::vector<std::string> command{QUARROW_WINE_RUN, prefix};
  command.insert(command.end(), argv.begin(), argv.end());
  return harness::RunProcess(
      command, "/",
      {{"DISPLAY", std::nullopt}, {"WINEDLLOVERRIDES", "mscoree,mshtml=;winemenubuilder.exe=d"}},
      600);
}

std::string Wineserver() {
  const char* set = std::getenv("WINESERVER");
  return set != nullptr ? set : "/usr/lib/wine/wineserver";
}

// `path` on drive Z:.
std::string WindowsPath(const std::string& path) {
  std::string windows = "z:" + path;
  for (char& c : windows) c = c == '/' ? '\\' : c;
  return windows;
}

// The tool's log, %LOCALAPPDATA%\Quarrow\getmail.log of the prefix's user,
// or "" while there is none.
std::string ToolLog() {
  const std::string users = prefix + "/drive_c/users";
  for (const std::string& user : harness::ListFolder(users)) {
    const std::string log = users + "/" + user + "/AppData/Local/Quarrow/getmail.log";
    if (harness::Exists(log)) return harness::ReadFile(log);
  }
  return "";
}

// How many grants the OAuth 2.0 test server has revoked.
int Revocations() {
  const std::string stats = oauth->Stats();
  const std::size_t at = stats.find("\"revocations\":");
  return at == std::string::npos ? -1 : std::atoi(stats.c_str() + at + 14);
}

enum class Transport { Stls, Pop3s, ImapStarttls, Imaps };

class WindowsJob : public ::testing::Test {
 protected:
  harness::TempFolder drive{"quarrow-drive-z"};
  std::size_t logBefore = ToolLog().size();

  // C:\<top folder>\Quarrow.exe /login/password/server/port/subject/z:\...\job,
  // headless, trusting the server's CA, the environment changed by `env`.
  // The environment the Windows programs run in: trusting the server's CA,
  // changed by `env`.
  Environment WindowsEnvironment(const Environment& env) const {
    Environment environment = server->ToolEnvironment();
    environment["QUARROW_GETMAIL_CAFILE"] = WindowsPath(server->caFile());
    environment["QUARROW_HEADLESS"] = "1";
    environment["DISPLAY"] = std::nullopt;
    // Wine reads the command line in the locale's character set.
    environment["LC_ALL"] = "C.UTF-8";
    for (const auto& [name, value] : env) environment[name] = value;
    return environment;
  }

  ProcessResult QuarrowExe(const std::string& subject, int port, const Environment& env = {},
                           const std::string& password = "") {
    mkdir((drive / "job").c_str(), 0755);
    const Environment environment = WindowsEnvironment(env);
    const std::string command = harness::BatchCommandLine(
        *server, port, subject, password.empty() ? server->password() : password,
        WindowsPath(drive / "job"));
    ProcessResult run = harness::RunProcess(
        {QUARROW_WINE_RUN, prefix, InstalledProgram(), command}, drive.path(),
        environment, 600);
    if (run.status != 0) run.err += "\n--- getmail.log, this run:\n" + NewToolLog();
    return run;
  }

  // The installed getmail.exe with `args`, given `input` on standard input.
  ProcessResult GetmailExe(const std::vector<std::string>& args, const std::string& input = "",
                           const Environment& env = {}) {
    harness::WriteFile(drive / "input", input);
    std::vector<std::string> argv = {"/bin/sh", "-c", "exec \"$@\" < input", "sh",
                                     QUARROW_WINE_RUN, prefix,
                                     InstalledTool()};
    argv.insert(argv.end(), args.begin(), args.end());
    return harness::RunProcess(argv, drive.path(), WindowsEnvironment(env), 600);
  }

  // What the tool logged since the test began.
  std::string NewToolLog() const {
    const std::string log = ToolLog();
    return log.size() > logBefore ? log.substr(logBefore) : "";
  }

  std::vector<std::string> Results() {
    return harness::ActualOutcome(drive.path(), *server).results;
  }
};

class WholeJob : public WindowsJob, public ::testing::WithParamInterface<Transport> {};

TEST_P(WholeJob, TheMatchingMessagesEndAsVchFilesAndLeaveTheServer) {
  const std::vector<CorpusMessage> corpus = harness::Corpus();
  server->SetMessages(harness::RawMessages(corpus));
  int port = GetParam() == Transport::Pop3s ? server->pop3sPort() : server->pop3Port();
  Environment env;
  if (GetParam() == Transport::ImapStarttls || GetParam() == Transport::Imaps) {
    port = GetParam() == Transport::Imaps ? server->imapsPort() : server->imapPort();
    env["QUARROW_GETMAIL_PROTOCOL"] = "imap";
  }
  ProcessResult run = QuarrowExe("Velbrin", port, env);
  ASSERT_EQ(run.status, 0) << run.err;
  harness::ExpectFetched(corpus, harness::VelbrinIds(corpus), drive.path(), *server);
  EXPECT_EQ(server->FlaggedDeleted(), 0);
}

INSTANTIATE_TEST_SUITE_P(Transports, WholeJob,
                         ::testing::Values(Transport::Stls, Transport::Pop3s,
                                           Transport::ImapStarttls, Transport::Imaps),
                         [](const ::testing::TestParamInfo<Transport>& info) {
                           switch (info.param) {
                             case Transport::Pop3s: return "Pop3s";
                             case Transport::ImapStarttls: return "ImapWithStarttls";
                             case Transport::Imaps: return "Imaps";
                             default: return "Pop3WithStls";
                           }
                         });

// Over IMAP, the fetched messages can be moved to a mailbox of the user's
// choice in place of being deleted.
TEST_F(WindowsJob, AnImapJobMovesWhatItFetched) {
  const std::vector<CorpusMessage> corpus = harness::Corpus();
  server->SetMessages(harness::RawMessages(corpus));
  ProcessResult run = QuarrowExe("Velbrin", server->imapsPort(),
                                 {{"QUARROW_GETMAIL_PROTOCOL", "imap"},
                                  {"QUARROW_GETMAIL_IMAP_MOVE_TO", "Archive"}});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::set<std::string> fetched = harness::VelbrinIds(corpus);
  harness::ExpectFetched(corpus, fetched, drive.path(), *server);
  EXPECT_EQ(server->Messages("Archive").size(), fetched.size());
}

// A subject typed in lower case finds the upper-case text of an RFC 2047
// subject, in Latin-1 and beyond it: the tool writes header files as UTF-8
// with a byte-order mark, and Quarrow reads such a file as UTF-8 whatever
// the system's code page.
struct NonAsciiCase {
  const char* name;
  const char* subject;
  const char* fetched;
};

void PrintTo(const NonAsciiCase& c, std::ostream* os) { *os << c.name; }

class NonAsciiSubject : public WindowsJob, public ::testing::WithParamInterface<NonAsciiCase> {};

TEST_P(NonAsciiSubject, MatchesTheEncodedSubject) {
  std::vector<CorpusMessage> corpus = harness::Corpus();  // "Fwd: Grüße aus Velbrin"
  // "Счёт № 42 за март"
  corpus.push_back(harness::TextMessage(
      "cyrillic", "=?UTF-8?B?0KHRh9GR0YIg4oSWIDQyINC30LAg0LzQsNGA0YI=?="));
  server->SetMessages(harness::RawMessages(corpus));
  ProcessResult run = QuarrowExe(GetParam().subject, server->pop3Port());
  ASSERT_EQ(run.status, 0) << run.err;
  harness::ExpectFetched(corpus, {GetParam().fetched}, drive.path(), *server);
}

INSTANTIATE_TEST_SUITE_P(
    Subjects, NonAsciiSubject,
    ::testing::Values(NonAsciiCase{"Latin1", "gr\xC3\xBC\xC3\x9F" "e", "attached-message"},
                      NonAsciiCase{"Cyrillic", "\xD1\x81\xD1\x87\xD1\x91\xD1\x82", "cyrillic"}),
    [](const ::testing::TestParamInfo<NonAsciiCase>& info) { return info.param.name; });

TEST_F(WindowsJob, AServerStoppedInTheMiddleOfARetrievalLeavesTheMessage) {
  const CorpusMessage big = harness::BigMessage("big", 400000);  // "Velbrin big"
  const CorpusMessage small = harness::TextMessage("small", "x");
  server->SetMessages({small.raw, big.raw});
  // The tap reads the session, so it is plain text: no STLS on offer.
  harness::Pop3Tap::Options options;
  options.cutAfter = 100000;
  options.cut = [] { server->Stop(); };
  ProcessResult run;
  {
    harness::Pop3Tap tap(server->pop3Port(), options);
    run = QuarrowExe("Velbrin", tap.port(), {{"QUARROW_GETMAIL_PLAINTEXT", "allow"}});
    EXPECT_EQ(tap.Count("DELE"), 0);
  }
  server->Start();
  // The retrieval failed and left no body file to rename: a failure ends
  // Quarrow.
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_THAT(NewToolLog(), HasSubstr("closed the connection"));
  EXPECT_THAT(Results(), IsEmpty());
  EXPECT_EQ(server->Messages(), (std::vector<std::string>{small.raw, big.raw}));
}

// Quarrow.exe ended by taskkill /F at a few seeded moments of a whole job;
// the next job saves what the killed one left, and nothing is lost.
TEST_F(WindowsJob, TaskkillAtAnyMomentLosesNoMessage) {
  const std::vector<CorpusMessage> corpus = harness::Corpus();
  const unsigned seed = static_cast<unsigned>(std::random_device{}());
  std::cout << "taskkill seed " << seed << std::endl;
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> moment(500, 6000);
  for (int trial = 0; trial < 3; ++trial) {
    const int delay = moment(random);
    std::string what = "taskkill after " + std::to_string(delay) + " ms, seed " +
                             std::to_string(seed);
    std::filesystem::remove_all(drive / "job");
    server->SetMessages(harness::RawMessages(corpus));
    std::thread killer([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(delay));
      const ProcessResult taskkill = harness::RunProcess(
          {QUARROW_WINE_RUN, prefix, "taskkill", "/F", "/IM", "Quarrow.exe"}, "/", {}, 120);
      std::cout << "taskkill: " << taskkill.status << " " << taskkill.out << taskkill.err << std::endl;
    });
    const ProcessResult killed = QuarrowExe("Velbrin", server->pop3Port());
    killer.join();
    what += ", killed job's status " + std::to_string(killed.status);
    std::cout << what << std::endl;
    const ProcessResult next = QuarrowExe("Velbrin", server->pop3Port());
    EXPECT_TRUE(next.status == 0 || next.status == 3) << what << "\n" << next.err;
    harness::ExpectNothingLost(corpus, drive.path(), *server, what);
  }
}

TEST_F(WindowsJob, AnUntrustedCertificateFetchesAndDeletesNothing) {
  const std::vector<CorpusMessage> corpus = harness::Corpus();
  server->SetMessages(harness::RawMessages(corpus));
  ProcessResult run =
      QuarrowExe("Velbrin", server->pop3Port(), {{"QUARROW_GETMAIL_CAFILE", std::nullopt}});
  // The header run failed: Quarrow says so and why, in the tool's own
  // words taken from its log, and ends with status 3.
  EXPECT_EQ(run.status, 3) << run.err;
  EXPECT_THAT(NewToolLog(), HasSubstr("certificate"));
  EXPECT_THAT(run.err, HasSubstr("Header run: exit status 1 \xE2\x80\x94 the certificate of "));
  EXPECT_THAT(run.err, HasSubstr("is not trusted"));
  EXPECT_THAT(Results(), IsEmpty());
  EXPECT_EQ(server->Messages(), harness::RawMessages(corpus));
}

// The zip holds one folder with the two programs (no DLL beside them), the
// README for Windows users and the licences of what getmail.exe has built in.
TEST(Download, HoldsTheProgramsTheReadmeAndTheLicences) {
  EXPECT_EQ(unpackedNames, std::vector<std::string>{"Quarrow"});
  const std::string folder = prefix + "/drive_c/Quarrow";
  EXPECT_EQ(harness::ListFolder(folder),
            (std::vector<std::string>{"Quarrow.exe", "README.txt", "getmail.exe", "licenses"}));
  EXPECT_THAT(harness::ListFolder(folder + "/licenses"), ::testing::Not(IsEmpty()));
  const std::string readme = harness::ReadFile(folder + "/README.txt");
  for (const char* mention :
       {"QUARROW_HEADLESS", "QUARROW_GETMAIL_CAFILE", "Task Scheduler", "getmail.log", "setx",
        "schtasks /create", "%LOCALAPPDATA%\\Programs\\Quarrow", "SmartScreen"}) {
    EXPECT_THAT(readme, HasSubstr(mention));
  }
}

// The uninstall entries whose name is Quarrow, as "reg query" shows them.
std::vector<std::string> UninstallEntries() {
  const ProcessResult query = WineTool(
      {"reg", "query", "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", "/s"});
  std::vector<std::string> entries;
  std::string entry;
  std::istringstream lines(query.out);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("HKEY_", 0) == 0) {
      if (entry.find("REG_SZ    Quarrow\n") != std::string::npos) entries.push_back(entry);
      entry.clear();
    }
    entry += line + "\n";
  }
  if (entry.find("REG_SZ    Quarrow\n") != std::string::npos) entries.push_back(entry);
  return entries;
}

// The installer's tables, as msiinfo reads them.
std::string MsiTable(const std::string& msi, const std::string& table) {
  return harness::RunProcess({QUARROW_MSIINFO, "export", msi, table}, "/").out;
}

// The same programs as the zip's, both in their folder, the README and the
// licences, a Start-menu shortcut, and one entry in "Installed apps".
TEST(Installer, PutsTheDownloadAndAShortcutInPlaceForTheUser) {
  EXPECT_EQ(harness::ListFolder(InstalledFolder()),
            (std::vector<std::string>{"Quarrow.exe", "README.txt", "getmail.exe", "licenses"}));
  for (const char* file : {"Quarrow.exe", "getmail.exe", "README.txt"})
    EXPECT_EQ(harness::ReadFile(InstalledFolder() + "/" + file),
              harness::ReadFile(prefix + "/drive_c/Quarrow/" + file))
        << file;
  EXPECT_EQ(harness::ListFolder(InstalledFolder() + "/licenses"),
            harness::ListFolder(prefix + "/drive_c/Quarrow/licenses"));
  EXPECT_TRUE(harness::Exists(StartMenuShortcut()));
  const std::vector<std::string> entries = UninstallEntries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_THAT(entries[0], HasSubstr("DisplayVersion    REG_SZ    " QUARROW_VERSION "\n"));
}

TEST(Installer, ItsTablesMakeAPerUserInstallThatUpgradesInPlace) {
  const std::string properties = MsiTable(QUARROW_WINDOWS_MSI, "Property");
  for (const char* row :
       {"ALLUSERS\t2", "MSIINSTALLPERUSER\t1", "ARPPRODUCTICON\tQuarrow.ico",
        "ProductVersion\t" QUARROW_VERSION, "ProductName\tQuarrow",
        "UpgradeCode\t{BC711CBC-5534-4936-97D4-213EB57DECC6}"})
    EXPECT_THAT(properties, HasSubstr(std::string(row) + "\r\n")) << row;
  // A major upgrade: every earlier version is found and removed.
  EXPECT_THAT(MsiTable(QUARROW_WINDOWS_MSI, "Upgrade"),
              HasSubstr("{BC711CBC-5534-4936-97D4-213EB57DECC6}\t\t" QUARROW_VERSION
                        "\t\t1\t\tWIX_UPGRADE_DETECTED"));
  EXPECT_THAT(MsiTable(QUARROW_WINDOWS_MSI, "InstallExecuteSequence"),
              HasSubstr("RemoveExistingProducts"));
  EXPECT_THAT(MsiTable(QUARROW_WINDOWS_MSI, "Icon"), HasSubstr("Quarrow.ico"));
  EXPECT_THAT(MsiTable(QUARROW_WINDOWS_MSI, "Shortcut"),
              HasSubstr("ProgramMenuFolder\tQuarrow\t"));
  // Word count 10: compressed, and no elevation asked for.
  EXPECT_THAT(harness::RunProcess({QUARROW_MSIINFO, "suminfo", QUARROW_WINDOWS_MSI}, "/").out,
              HasSubstr("Source: 10 (a)"));
}

// A later version installed over the first leaves one copy, the later one,
// and uninstalling it leaves nothing of it behind. The later version is the
// parameter. Last, the version under test is installed again, so that the
// jobs that run after this test find it as before, whatever the order.
class LaterVersion : public ::testing::TestWithParam<const char*> {};

TEST_P(LaterVersion, ReplacesTheInstalledOneAndUninstallingRemovesEverything) {
  harness::TempFolder later("quarrow-later-msi");
  const std::string version = GetParam();
  const ProcessResult made = harness::RunProcess(
      {QUARROW_DIST_SCRIPT, QUARROW_WINDOWS_BUILD_DIR, version, later.path()}, "/", {}, 600);
  ASSERT_EQ(made.status, 0) << made.err;
  const std::string msi = later / ("Quarrow-" + version + "-win64.msi");
  const ProcessResult upgrade = WineTool({"msiexec", "/i", WindowsPath(msi), "/qn"});
  ASSERT_EQ(upgrade.status, 0) << upgrade.err;

  std::vector<std::string> entries = UninstallEntries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_THAT(entries[0], HasSubstr("DisplayVersion    REG_SZ    " + version + "\n"));
  EXPECT_EQ(harness::ListFolder(prefix + "/drive_c/users/" + user + "/AppData/Local/Programs"),
            std::vector<std::string>{"Quarrow"});
  EXPECT_EQ(harness::ListFolder(InstalledFolder()),
            (std::vector<std::string>{"Quarrow.exe", "README.txt", "getmail.exe", "licenses"}));

  const ProcessResult removed = WineTool({"msiexec", "/x", WindowsPath(msi), "/qn"});
  ASSERT_EQ(removed.status, 0) << removed.err;
  EXPECT_FALSE(harness::Exists(InstalledFolder()));
  EXPECT_FALSE(harness::Exists(StartMenuShortcut()));
  EXPECT_THAT(UninstallEntries(), IsEmpty());
  EXPECT_NE(WineTool({"reg", "query", "HKCU\\Software\\Quarrow"}).status, 0)
      << "the installer's own key is left";

  const ProcessResult again =
      WineTool({"msiexec", "/i", WindowsPath(QUARROW_WINDOWS_MSI), "/qn"});
  ASSERT_EQ(again.status, 0) << again.err;
  ASSERT_TRUE(harness::Exists(InstalledFolder() + "/getmail.exe"));
}

INSTANTIATE_TEST_SUITE_P(Installer, LaterVersion, ::testing::Values(QUARROW_NEXT_VERSION));

// Why these tests cannot run here, or nothing.
std::optional<std::string> Unavailable() {
  if (std::optional<std::string> why = harness::PrivateDovecot::Unavailable()) return why;
  const char* wine = std::getenv("WINE");
  if (access(wine != nullptr ? wine : "/usr/lib/wine/wine64", X_OK) != 0)
    return std::string("Wine is not installed (Debian: apt-get install wine64)");
  if (!harness::Exists(QUARROW_WINDOWS_ZIP) || !harness::Exists(QUARROW_WINDOWS_MSI))
    return std::string("there is no Windows download " QUARROW_WINDOWS_ZIP
                       " and " QUARROW_WINDOWS_MSI " (make dist-windows makes them)");
  return std::nullopt;
}

// Makes the fresh prefix and unpacks the zip into its drive C; "" or what
// went wrong.
std::string SetUpPrefix(const std::string& folder) {
  prefix = folder + "/prefix";
  ProcessResult made = harness::RunProcess({QUARROW_WINE_RUN, prefix, "cmd", "/c", "exit 0"}, "/",
                                           {{"DISPLAY", std::nullopt}}, 600);
  if (made.status != 0) return "the Wine prefix was not made: " + made.err;
  const std::string driveC = prefix + "/drive_c";
  const std::vector<std::string> before = harness::ListFolder(driveC);
  ProcessResult unpack =
      harness::RunProcess({QUARROW_CMAKE_COMMAND, "-E", "tar", "xf", QUARROW_WINDOWS_ZIP}, driveC);
  if (unpack.status != 0) return "cannot unpack the zip: " + unpack.err;
  for (const std::string& name : harness::ListFolder(driveC)) {
    if (std::find(before.begin(), before.end(), name) == before.end())
      unpackedNames.push_back(name);
  }
  // Installed as the user would: the installer, without a window.
  const ProcessResult install = WineTool({"msiexec", "/i", WindowsPath(QUARROW_WINDOWS_MSI), "/qn"});
  if (install.status != 0) return "msiexec /i failed: " + install.err;
  for (const std::string& name : harness::ListFolder(driveC + "/users")) {
    if (harness::Exists(driveC + "/users/" + name + "/AppData/Local/Programs/Quarrow"))
      user = name;
  }
  if (user.empty()) return "the installer put no Quarrow folder under C:\\users";
  return "";
}

// Signed in once (the password, typed beyond Latin-1, on standard input),
// getmail.exe keeps it with DPAPI, and a job with "*" for the password
// fetches the mail.
TEST_F(WindowsJob, AKeptPasswordServesAJobWithAPlaceholder) {
  const std::vector<std::string> who = {"-u", server->user(), "-s", server->host()};
  std::vector<std::string> signIn = {"-signin", "-port", std::to_string(server->pop3sPort())};
  signIn.insert(signIn.end(), who.begin(), who.end());
  ProcessResult refused = GetmailExe(signIn, "wrong\n");
  EXPECT_EQ(refused.status, 3) << refused.err;
  ProcessResult kept = GetmailExe(signIn, server->password() + "\n");
  ASSERT_EQ(kept.status, 0) << kept.err << NewToolLog();
  const std::vector<CorpusMessage> corpus = harness::Corpus();
  server->SetMessages(harness::RawMessages(corpus));
  ProcessResult run = QuarrowExe("Velbrin", server->pop3sPort(), {}, "*");
  std::vector<std::string> signOut = {"-signout"};
  signOut.insert(signOut.end(), who.begin(), who.end());
  EXPECT_EQ(GetmailExe(signOut).status, 0);
  ASSERT_EQ(run.status, 0) << run.err;
  harness::ExpectFetched(corpus, harness::VelbrinIds(corpus), drive.path(), *server);
}

// An OAuth 2.0 grant from the loopback authorization server (over WinHTTP;
// by the device flow, or in the browser that ShellExecuteW opens, which
// Wine hands to xdg-open: here the test's approving "browser"), kept with
// DPAPI, refreshed by every run of the job, and revoked at sign-out.
class WindowsOAuthJob : public WindowsJob, public ::testing::WithParamInterface<bool> {};

TEST_P(WindowsOAuthJob, AKeptOAuthGrantServesAJobWithAPlaceholder) {
  if (oauth == nullptr) GTEST_SKIP() << "no OAuth 2.0 test server here";
  std::vector<std::string> args = {"-signin", "-u", server->user(), "-s", server->host(),
                                   "-port", std::to_string(server->pop3sPort()), "-oauth2",
                                   oauth->issuer(), "-client-id", "getmail"};
  const bool device = GetParam();
  if (device) args.push_back("-device");
  harness::TempFolder browser("quarrow-wine-browser");
  ASSERT_EQ(symlink(BROWSER_SCRIPT, (browser / "xdg-open").c_str()), 0);
  const char* path = std::getenv("PATH");
  const int revocations = Revocations();
  ProcessResult signIn = GetmailExe(
      args, "", {{"PATH", browser.path() + ":" + (path != nullptr ? path : "/usr/bin:/bin")}});
  ASSERT_EQ(signIn.status, 0) << signIn.out << signIn.err << NewToolLog();
  const std::vector<CorpusMessage> corpus = harness::Corpus();
  server->SetMessages(harness::RawMessages(corpus));
  ProcessResult run = QuarrowExe("Velbrin", server->pop3sPort(), {}, "*");
  ProcessResult signOut = GetmailExe({"-signout", "-u", server->user(), "-s", server->host()});
  EXPECT_EQ(signOut.status, 0) << signOut.err;
  EXPECT_THAT(signOut.out, HasSubstr("the grant is revoked"));
  ASSERT_EQ(run.status, 0) << run.err;
  harness::ExpectFetched(corpus, harness::VelbrinIds(corpus), drive.path(), *server);
  EXPECT_EQ(Revocations(), revocations + 1);
}

INSTANTIATE_TEST_SUITE_P(Flows, WindowsOAuthJob, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "DeviceFlow" : "InTheBrowser";
                         });

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (std::optional<std::string> why = Unavailable())
    return harness::SkipUnlessRequired("quarrow_wine_job_tests", *why, "QUARROW_REQUIRE_WINE");
  harness::TempFolder wine("quarrow-wine");
  const std::string failed = SetUpPrefix(wine.path());
  int status = 1;
  if (!failed.empty()) {
    std::cout << "quarrow_wine_job_tests: " << failed << "\n";
  } else {
    // A password beyond Latin-1: it reaches the server as the UTF-8 the
    // user typed, through Quarrow's and getmail.exe's wide command lines.
    const std::string password = "\xD0\xBF\xD0\xB0\xD1\x80\xD0\xBE\xD0\xBB\xD1\x8C\xE2\x82\xAC";
    std::map<std::string, std::string> settings = {{"DOVECOT_PASSWORD", password}};
    // Tokens from the loopback authorization server, where it can run.
    std::unique_ptr<harness::OAuthServer> oauthServer;
    if (!harness::OAuthServer::Unavailable()) {
      oauthServer = std::make_unique<harness::OAuthServer>();
      settings["OAUTH2_INTROSPECTION_URL"] = oauthServer->IntrospectionUrl();
    }
    harness::PrivateDovecot dovecot(settings);
    server = &dovecot;
    oauth = oauthServer.get();
    status = RUN_ALL_TESTS();
    server = nullptr;
    oauth = nullptr;
  }
  // Nothing of the prefix outlives it.
  harness::RunProcess({Wineserver(), "-k"}, "/", {{"WINEPREFIX", prefix}});
  harness::RunProcess({Wineserver(), "-w"}, "/", {{"WINEPREFIX", prefix}});
  return status;
}
