// A device that holds its maker's public keys runs only what they signed:
// signatures made by Debian's minisign, every kind of forgery and damage,
// and key files that hold no usable key.
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>

#include "tests/e2e/e2e_fixture.h"

namespace {

class SigningTest : public e2e::E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    // This device's system folder, where its trusted keys live.
    testsupport::SetEnvironment("SYSTEMROOT", PathOf("Windows"));
    MakeParents(KeyFile());
    ASSERT_TRUE(platform::MakeFolder(PathOf("Keys")));
    Minisign("-G -W -f -p " + Host("Keys\\maker.pub") + " -s " + Host("Keys\\maker.key"));
    Minisign("-G -W -f -p " + Host("Keys\\other.pub") + " -s " + Host("Keys\\other.key"));
    ASSERT_TRUE(testsupport::WriteBytes(Software() + "keep.txt", "release 1"));
  }

 public:
  // The cases' own steps use these.
  std::string KeyFile() { return PathOf("Windows\\OEM\\ZAMHelper\\UpdateKeys.pub"); }
  std::string Host(const std::string& path) { return testsupport::Quote(testsupport::HostPathOf(PathOf(path))); }

  void Minisign(const std::string& arguments) {
    ASSERT_EQ(std::system(("minisign " + arguments + " </dev/null >/dev/null").c_str()), 0) << arguments;
  }

  // The key id as the public key file's comment shows it.
  std::string KeyId(const std::string& name) {
    std::string text = testsupport::ReadBytes(PathOf("Keys\\" + name + ".pub"));
    std::string comment = text.substr(0, text.find('\n'));
    return comment.substr(comment.rfind(' ') + 1);
  }

  // A SOFTWARE package that changes keep.txt and adds NAME.txt.
  void MakePackage(const std::string& name) {
    MakeTree(name, {{"keep.txt", "from " + name}, {name + ".txt", name}});
    Zampack("build", "SOFTWARE", name, {name}, name + ".zam");
  }

  void Sign(const std::string& name, const std::string& options = "") {
    Minisign("-S " + options + " -s " + Host("Keys\\maker.key") + " -m " + Host("Update\\" + name + ".zam"));
  }

  void Edit(const std::string& path, const std::function<void(std::string&)>& change) {
    std::string bytes = testsupport::ReadBytes(PathOf(path));
    change(bytes);
    ASSERT_TRUE(testsupport::WriteBytes(PathOf(path), bytes));
  }

  std::string Refusal(const std::string& package, const std::string& reason) {
    return "ERROR: Signature check failed for \"" + package + "\": " + reason + ".";
  }
  std::string Window() {
    std::ifstream in(std::string(std::getenv("ORVANTA_DEVICE_ROOT")) + "/sim/window.txt", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
};

TEST_F(SigningTest, SignaturesOfMinisignAreAcceptedPrehashedOrLegacyWithOrWithoutTrustedComment) {
  struct Case {
    const char* name;
    const char* options;
    const char* comment;  // the trusted comment, or null for minisign's own
  } cases[] = {
      {"prehashed", "", nullptr},
      {"legacy", "-l", nullptr},
      {"commented", "-t 'Orvanta 2.1 for the field'", "Orvanta 2.1 for the field"},
      {"legacycommented", "-l -t 'Orvanta 2.1 legacy'", "Orvanta 2.1 legacy"},
  };
  std::vector<std::string> packages;
  for (const Case& c : cases) {
    MakePackage(c.name);
    Sign(c.name, c.options);
    packages.push_back(std::string(c.name) + ".zam");
  }
  WriteDescriptor("true", packages);
  ASSERT_TRUE(testsupport::WriteBytes(KeyFile(), testsupport::ReadBytes(PathOf("Keys\\other.pub")) +
                                                      testsupport::ReadBytes(PathOf("Keys\\maker.pub"))));
  ASSERT_EQ(RunTool("00001A2C en"), 0);

  for (const Case& c : cases) {
    std::string name = c.name;
    std::string comment = c.comment != nullptr
                              ? c.comment
                              : testsupport::ReadBytes(PathOf("Update\\" + name + ".zam.minisig"));
    if (c.comment == nullptr) {
      // minisign's own: "timestamp:N<TAB>file:NAME[<TAB>hashed]", logged with blanks for the tabs.
      comment = comment.substr(comment.find("\ntrusted comment: ") + 18);
      comment = comment.substr(0, comment.find('\n'));
      for (char& ch : comment) ch = ch == '\t' ? ' ' : ch;
    }
    EXPECT_TRUE(LogHas("Signature verified for \"" + name + ".zam\": key " + KeyId("maker") +
                       ", trusted comment: " + comment))
        << name;
    EXPECT_EQ(testsupport::ReadBytes(Software() + name + ".txt"), name);
  }
  EXPECT_EQ(testsupport::ReadBytes(Software() + "keep.txt"), "from legacycommented");
  for (const std::string& line : LogLines()) EXPECT_EQ(line.rfind("ERROR: ", 0), std::string::npos) << line;
}

TEST_F(SigningTest, WhatTheKeysDidNotSignIsRefusedAndTheOtherPackagesAreApplied) {
  struct Case {
    const char* name;
    std::function<void(SigningTest*)> spoil;
    std::string reason;
  };
  std::vector<Case> cases = {
      {"unsigned", [](SigningTest*) {}, "no signature (\"unsigned.zam.minisig\": error 2)"},
      {"otherkey",
       [](SigningTest* t) {
         t->Minisign("-S -s " + t->Host("Keys\\other.key") + " -m " + t->Host("Update\\otherkey.zam"));
       },
       ""},
      // Detail "2.0" becomes "2.1": the header, which the checksum does not cover.
      {"header",
       [](SigningTest* t) {
         t->Sign("header");
         t->Edit("Update\\header.zam", [](std::string& b) { b[272] = '1'; });
       },
       "bad signature"},
      {"body",
       [](SigningTest* t) {
         t->Sign("body");
         t->Edit("Update\\body.zam", [](std::string& b) { b.back() ^= 0x01; });
       },
       "bad signature"},
      {"comment",
       [](SigningTest* t) {
         t->Sign("comment", "-t 'release 2.1'");
         t->Edit("Update\\comment.zam.minisig",
                 [](std::string& s) { s.replace(s.find("release 2.1"), 11, "release 9.9"); });
       },
       "bad trusted comment"},
      {"truncated",
       [](SigningTest* t) {
         t->Sign("truncated");
         t->Edit("Update\\truncated.zam.minisig", [](std::string& s) { s.resize(s.find("\ntrusted comment: ") + 1); });
       },
       "malformed signature file \"truncated.zam.minisig\" (truncated: 2 of its 4 lines)"},
      {"notbase64",
       [](SigningTest* t) {
         t->Sign("notbase64");
         t->Edit("Update\\notbase64.zam.minisig", [](std::string& s) {
           std::size_t line = s.find('\n') + 1;
           s[line + 10] = '*';
         });
       },
       "malformed signature file \"notbase64.zam.minisig\" (line 2 is not the base64 of a signature)"},
  };
  cases[1].reason = "unknown key id " + KeyId("other");
  MakePackage("good");
  Sign("good");
  std::vector<std::string> packages = {"good.zam"};
  for (const Case& c : cases) {
    MakePackage(c.name);
    c.spoil(this);
    packages.push_back(std::string(c.name) + ".zam");
  }
  WriteDescriptor("true", packages);
  ASSERT_TRUE(testsupport::WriteBytes(KeyFile(), testsupport::ReadBytes(PathOf("Keys\\maker.pub"))));
  ASSERT_EQ(RunTool("00001A2C en"), 0);

  std::string window = Window();
  for (const Case& c : cases) {
    std::string name = c.name;
    EXPECT_TRUE(LogHas(Refusal(name + ".zam", c.reason))) << name;
    // The hashed ones are refused after their pass, at 100%.
    std::string line = " SOFTWARE  " + name + "  " + (name == "header" ? "2.1" : "2.0") + " - Verifying Update Information  ";
    std::size_t at = window.find(line);
    ASSERT_NE(at, std::string::npos) << name;
    line = window.substr(at, window.find("\r\n", at) - at);
    EXPECT_EQ(line.substr(line.size() - 34), "ERROR: Update Information Missing.") << line;
    EXPECT_FALSE(testsupport::Exists(Software() + name + ".txt")) << name;
  }
  EXPECT_EQ(testsupport::ReadBytes(Software() + "keep.txt"), "from good");
  EXPECT_EQ(testsupport::ReadBytes(Software() + "good.txt"), "good");
  EXPECT_FALSE(LogHas("ERROR: Checksum didn't match for \"body.zam\"."));
}

TEST_F(SigningTest, AKeyFileWithoutAUsableKeyRefusesEveryPackage) {
  struct Case {
    std::function<void(SigningTest*)> install;
    std::string reason;
  } cases[] = {
      {[](SigningTest* t) {
         ASSERT_TRUE(testsupport::WriteBytes(t->KeyFile(), "untrusted comment: minisign public key\nRWQ*broken\n"));
       },
       "no valid key in the key file \"" + KeyFile() + "\""},
      {[](SigningTest* t) { ASSERT_TRUE(platform::MakeFolder(t->KeyFile())); },
       "unreadable key file \"" + KeyFile() + "\" (error 5)"},
  };
  MakePackage("signed");
  Sign("signed");
  WriteDescriptor("true", {"signed.zam"});
  for (const Case& c : cases) {
    c.install(this);
    ASSERT_EQ(RunTool("00001A2C en"), 0);
    EXPECT_TRUE(LogHas(Refusal("signed.zam", c.reason))) << c.reason;
    EXPECT_FALSE(testsupport::Exists(Software() + "signed.txt"));
    EXPECT_EQ(testsupport::ReadBytes(Software() + "keep.txt"), "release 1");
    platform::RemoveFile(KeyFile());
  }
}

}  // namespace
