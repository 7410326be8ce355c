// The kept sign-ins: their form in the store, and the POSIX file store that
// keeps them from other users.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

#ifndef _WIN32
#include "Files.h"
#endif
#include "tools/getmail/Errors.h"
#include "tools/getmail/Pkce.h"
#include "tools/getmail/SecretStore.h"
#include "tools/getmail/SignInCommand.h"
#include "tools/getmail/SignInStore.h"

namespace {

using getmail::SignIn;

SignIn Grant() {
  SignIn s;
  s.login = "anna@example.org";
  s.server = "Outlook.Office365.com";
  s.port = 995;
  s.kind = SignIn::Kind::kOAuth2;
  s.provider = "microsoft";
  s.tenant = "common";
  s.clientId = "client-1";
  s.tokenEndpoint = "https://login.example/token";
  s.revocationEndpoint = "https://login.example/revoke";
  s.scope = "a b";
  s.refreshToken = "refresh\"\\\n1";
  s.accessToken = "access-1";
  s.accessExpires = 1900000000;
  s.lastUsed = 1800000000;
  return s;
}

TEST(SignInStoreTest, SignInsComeBackAsTheyWereStored) {
  SignIn password;
  password.login = "bob";
  password.server = "pop.example.org";
  password.port = 1995;
  password.password = std::string("p\xe4ss \"word\"\n\0", 13);  // not UTF-8
  for (const SignIn& s : {password, Grant()}) {
    std::optional<SignIn> back = getmail::ParseSignIn(getmail::SerializeSignIn(s));
    ASSERT_TRUE(back);
    EXPECT_EQ(getmail::SerializeSignIn(*back), getmail::SerializeSignIn(s));
    EXPECT_EQ(back->password, s.password);
    EXPECT_EQ(back->refreshToken, s.refreshToken);
    EXPECT_EQ(back->accessExpires, s.accessExpires);
    EXPECT_EQ(back->port, s.port);
  }
}

TEST(SignInStoreTest, WhatIsNoSignInIsRefused) {
  for (const char* text : {
           "", "[]", "{", "{\"login\":\"a\",\"server\":\"b\",\"kind\":\"password\"}",
           "{\"login\":\"a\",\"server\":\"b\",\"kind\":\"other\",\"password\":\"x\"}",
           "{\"server\":\"b\",\"kind\":\"password\",\"password\":\"x\"}",
           "{\"login\":\"a\",\"server\":\"b\",\"kind\":\"oauth2\",\"client_id\":\"c\","
           "\"token_endpoint\":\"https://t\"}",
           "{\"login\":7,\"server\":\"b\",\"kind\":\"password\",\"password\":\"x\"}"}) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(getmail::ParseSignIn(text));
  }
  EXPECT_TRUE(getmail::ParseSignIn(
      "{\"login\":\"a\",\"server\":\"b\",\"kind\":\"password\",\"password\":\"eA==\"}"));
}

TEST(SignInStoreTest, KeysTellLoginsAndServersApartButNotTheServersCase) {
  using getmail::SignInKey;
  EXPECT_EQ(SignInKey("a", "POP.Example.ORG"), SignInKey("a", "pop.example.org"));
  EXPECT_NE(SignInKey("A", "pop"), SignInKey("a", "pop"));
  EXPECT_NE(SignInKey("a,b", "c"), SignInKey("a", "b,c"));
  EXPECT_NE(SignInKey("a/b", "c"), SignInKey("a_b", "c"));
  for (const std::string& key : {SignInKey("../x", "y"), SignInKey("a b\\c:d", "*?.")}) {
    EXPECT_EQ(key.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                    "0123456789.,@_%-"),
              std::string::npos)
        << key;
    EXPECT_NE(key.back(), '.') << key;
  }
}

TEST(SignInStoreTest, TheListingShowsNoSecret) {
  SignIn password;
  password.login = "bob";
  password.server = "pop.example.org";
  password.password = "hunter2";
  SignIn grant = Grant();
  std::string listing = getmail::SignInListing({grant, password});
  EXPECT_EQ(listing,
            "anna@example.org on Outlook.Office365.com: OAuth 2.0 (microsoft), last used "
            "2027-01-15 08:00 UTC\n"
            "bob on pop.example.org: password\n");
  grant.lastUsed = 0;
  EXPECT_NE(getmail::SignInListing({grant}).find("not used yet"), std::string::npos);
}

#ifdef _WIN32

// DPAPI blobs in the user's local application data (the Wine prefix's under
// Wine): what is on disk is not the sign-in, and only this user gets it back.
TEST(DpapiStoreTest, StoresEncryptedReplacesListsAndRemoves) {
  SignIn s = Grant();
  s.login = "dpapi-test-" + getmail::RandomToken(6);
  s.refreshToken = "refresh-in-clear-" + s.login;
  getmail::SaveSignIn(s);
  s.refreshToken += "-rotated";
  getmail::SaveSignIn(s);
  std::optional<SignIn> back = getmail::LoadSignIn(s.login, s.server);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->refreshToken, s.refreshToken);
  const std::string file = getmail::SecretStoreLocation() + "\\" +
                           getmail::SignInKey(s.login, s.server) + ".signin";
  std::ifstream in(file, std::ios::binary);
  ASSERT_TRUE(in) << file;
  std::string onDisk((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  EXPECT_EQ(onDisk.find("refresh-in-clear"), std::string::npos);
  EXPECT_EQ(onDisk.find(s.login), std::string::npos);
  std::vector<SignIn> all = getmail::AllSignIns();
  EXPECT_TRUE(std::any_of(all.begin(), all.end(),
                          [&](const SignIn& each) { return each.login == s.login; }));
  EXPECT_TRUE(getmail::RemoveSignIn(s.login, s.server));
  EXPECT_FALSE(getmail::LoadSignIn(s.login, s.server));
  EXPECT_FALSE(getmail::RemoveSignIn(s.login, s.server));
}

#else

class FileStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* before = std::getenv("XDG_STATE_HOME");
    if (before != nullptr) saved_ = before;
    setenv("XDG_STATE_HOME", (home_ / "state").c_str(), 1);
  }
  void TearDown() override {
    if (saved_) {
      setenv("XDG_STATE_HOME", saved_->c_str(), 1);
    } else {
      unsetenv("XDG_STATE_HOME");
    }
  }
  std::string Folder() const { return home_ / "state/quarrow"; }
  static mode_t Mode(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
  }
  // The message of the Error that `step` throws, or "" if it throws none.
  template <typename Step>
  static std::string Refusal(Step step) {
    try {
      step();
    } catch (const getmail::Error& error) {
      return error.what();
    }
    return "";
  }

  harness::TempFolder home_{"getmail-signin-store"};
  std::optional<std::string> saved_;
};

TEST_F(FileStoreTest, StoresReplacesListsAndRemovesPrivately) {
  EXPECT_EQ(getmail::SecretStoreLocation(), Folder());
  EXPECT_FALSE(getmail::LoadSignIn("anna@example.org", "outlook.office365.com"));
  EXPECT_TRUE(getmail::AllSignIns().empty());
  EXPECT_FALSE(getmail::RemoveSignIn("anna@example.org", "outlook.office365.com"));

  SignIn grant = Grant();
  getmail::SaveSignIn(grant);
  grant.refreshToken = "rotated";
  getmail::SaveSignIn(grant);
  std::optional<SignIn> back = getmail::LoadSignIn("anna@example.org", "outlook.office365.com");
  ASSERT_TRUE(back);
  EXPECT_EQ(back->refreshToken, "rotated");
  EXPECT_EQ(Mode(Folder()), 0700u);
  std::vector<std::string> files = harness::ListFolder(Folder());
  ASSERT_EQ(files.size(), 1u) << "a temporary file was left";
  EXPECT_EQ(Mode(Folder() + "/" + files[0]), 0600u);
  EXPECT_EQ(getmail::AllSignIns().size(), 1u);

  EXPECT_TRUE(getmail::RemoveSignIn("anna@example.org", "OUTLOOK.office365.com"));
  EXPECT_TRUE(harness::ListFolder(Folder()).empty());
}

// A store that other users can read gives them the secrets; one they can
// write lets them plant a sign-in of their own. Both are refused by name.
TEST_F(FileStoreTest, AFileOrFolderOthersCanReachIsRefusedByName) {
  getmail::SaveSignIn(Grant());
  const std::string file = Folder() + "/" + harness::ListFolder(Folder())[0];
  struct Case {
    std::string path;
    mode_t mode;
    mode_t fine;
  } cases[] = {{file, 0644, 0600}, {file, 0620, 0600}, {Folder(), 0755, 0700},
               {Folder(), 0770, 0700}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path + " " + std::to_string(c.mode));
    ASSERT_EQ(chmod(c.path.c_str(), c.mode), 0);
    std::string why = Refusal([] { getmail::LoadSignIn("anna@example.org", "outlook.office365.com"); });
    EXPECT_NE(why.find(c.path + " can be read or written by other users"), std::string::npos)
        << why;
    if (c.path == Folder()) {
      EXPECT_NE(Refusal([] { getmail::SaveSignIn(Grant()); }), "");
      EXPECT_NE(Refusal([] { getmail::AllSignIns(); }), "");
    }
    ASSERT_EQ(chmod(c.path.c_str(), c.fine), 0);
  }
  EXPECT_TRUE(getmail::LoadSignIn("anna@example.org", "outlook.office365.com"));
}

TEST_F(FileStoreTest, ALinkOrAnUnreadableEntryIsNoSignIn) {
  getmail::SaveSignIn(Grant());
  const std::string file = Folder() + "/" + harness::ListFolder(Folder())[0];
  harness::WriteFile(home_ / "elsewhere", "{}");
  ASSERT_EQ(unlink(file.c_str()), 0);
  ASSERT_EQ(symlink((home_ / "elsewhere").c_str(), file.c_str()), 0);
  EXPECT_NE(Refusal([] { getmail::LoadSignIn("anna@example.org", "outlook.office365.com"); }),
            "");
  ASSERT_EQ(unlink(file.c_str()), 0);
  harness::WriteFile(file, "not json");
  ASSERT_EQ(chmod(file.c_str(), 0600), 0);
  std::string why =
      Refusal([] { getmail::LoadSignIn("anna@example.org", "outlook.office365.com"); });
  EXPECT_NE(why.find("cannot be read; sign in again"), std::string::npos) << why;
  EXPECT_EQ(why.find("not json"), std::string::npos);
  EXPECT_TRUE(getmail::AllSignIns().empty());
}

// The file store unless QUARROW_GETMAIL_STORE asks for the desktop keyring;
// asked for where no session bus is (as under cron), or a store that is
// not known, every step is refused rather than look in the wrong store.
TEST_F(FileStoreTest, TheStoreIsTheOneQuarrowGetmailStoreNames) {
  const std::vector<std::string> variables = {"QUARROW_GETMAIL_STORE",
                                              "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR"};
  std::vector<std::optional<std::string>> before;
  for (const std::string& name : variables) {
    const char* value = std::getenv(name.c_str());
    before.push_back(value != nullptr ? std::optional<std::string>(value) : std::nullopt);
  }
  // No bus at the address systemd's user session would have either.
  ASSERT_EQ(mkdir((home_ / "runtime").c_str(), 0700), 0);
  unsetenv("DBUS_SESSION_BUS_ADDRESS");
  setenv("XDG_RUNTIME_DIR", (home_ / "runtime").c_str(), 1);
  struct Case {
    std::optional<std::string> store;
    std::string refusal;  // "" for the file store
  } cases[] = {
      {std::nullopt, ""},
      {"", ""},
      {"file", ""},
      {"secret-service", "QUARROW_GETMAIL_STORE=secret-service, but there is no session bus"},
      {"kwallet", "QUARROW_GETMAIL_STORE is \"kwallet\"; it can be \"file\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.store.value_or("(unset)"));
    if (c.store) {
      setenv("QUARROW_GETMAIL_STORE", c.store->c_str(), 1);
    } else {
      unsetenv("QUARROW_GETMAIL_STORE");
    }
    if (c.refusal.empty()) {
      EXPECT_EQ(getmail::SecretStoreLocation(), Folder());
      getmail::SaveSignIn(Grant());
      EXPECT_TRUE(getmail::LoadSignIn("anna@example.org", "outlook.office365.com"));
      EXPECT_TRUE(getmail::RemoveSignIn("anna@example.org", "outlook.office365.com"));
      continue;
    }
    EXPECT_NE(Refusal([] { getmail::SaveSignIn(Grant()); }).find(c.refusal), std::string::npos);
    EXPECT_NE(Refusal([] { getmail::LoadSignIn("anna@example.org", "outlook.office365.com"); })
                  .find(c.refusal),
              std::string::npos);
    EXPECT_NE(Refusal([] { getmail::AllSignIns(); }).find(c.refusal), std::string::npos);
    EXPECT_FALSE(harness::Exists(Folder()) && !harness::ListFolder(Folder()).empty());
  }
  for (std::size_t i = 0; i < variables.size(); ++i) {
    if (before[i]) {
      setenv(variables[i].c_str(), before[i]->c_str(), 1);
    } else {
      unsetenv(variables[i].c_str());
    }
  }
}

#endif

}  // namespace
