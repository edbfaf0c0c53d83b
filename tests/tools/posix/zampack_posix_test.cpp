// zampack on the simulator's host: what only a POSIX host gives a release
// tree (symbolic links, UTF-8 arguments), and the JSON read by another program.
#include "tests/tools/zampack_fixture.h"

namespace {

using namespace package;
using tools_test::ZampackTest;
namespace fs = std::filesystem;

TEST_F(ZampackTest, SymbolicLinksToFilesAreStoredAndOthersRefusedByPath) {
  Put("tree/real.txt", "the real file");
  fs::create_directories(host_ / "tree/folder");
  fs::create_symlink("real.txt", host_ / "tree/link.txt");
  std::string tree = testsupport::Quote(Host("tree"));
  std::string output;
  ASSERT_EQ(Zampack("build --type SOFTWARE --name Main " + tree + " -o " + testsupport::Quote(Host("l.zam")), &output), 0)
      << output;
  ASSERT_TRUE(Load(Host("l.zam")));
  ASSERT_EQ(Copies(), (std::vector<std::string>{"\\link.txt", "\\real.txt"}));
  EXPECT_EQ(Inflate(Package().CopyList[0]), "the real file");

  struct Case {
    const char* link;
    const char* target;
    const char* reason;
  };
  const Case cases[] = {
      {"loop", "loop", ": symbolic link that cannot be followed: Too many levels of symbolic links"},
      {"broken", "nowhere", ": symbolic link that cannot be followed: No such file or directory"},
      {"folder-link", "folder", ": symbolic link to a folder; zampack follows links to files only"},
  };
  for (const Case& c : cases) {
    fs::create_symlink(c.target, host_ / "tree" / c.link);
    for (const std::string& command :
         {"build --type SOFTWARE --name Main " + tree + " -o " + testsupport::Quote(Host("x.zam")),
          "diff --type SOFTWARE --name Main " + testsupport::Quote(Host("tree/folder")) + " " + tree + " --stat"}) {
      EXPECT_EQ(Zampack(command, &output), 2) << c.link;
      EXPECT_NE(output.find(Host("tree/") + c.link + c.reason), std::string::npos) << output;
    }
    fs::remove(host_ / "tree" / c.link);
  }
  EXPECT_FALSE(fs::exists(host_ / "x.zam"));
}

TEST_F(ZampackTest, NamesTheDeviceCannotReadAreRefusedAndReported) {
  Put("tree/a.txt", "alpha");
  std::string tree = testsupport::Quote(Host("tree"));
  std::string output;
  // A language package's Name is the folder its files go into.
  EXPECT_EQ(Zampack("build --type LANGUAGE_PACKAGE --name \"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\" " + tree + " -o " +
                        testsupport::Quote(Host("n.zam")),
                    &output),
            1);
  EXPECT_NE(output.find("would put the files straight into the type's location folder"), std::string::npos) << output;
  EXPECT_FALSE(fs::exists(host_ / "n.zam"));
  EXPECT_EQ(Zampack("diff --type SOFTWARE --name Main --detail \"\xE2\x82\xAC 2.0\" " + tree + " " + tree + " --stat",
                    &output),
            1);
  EXPECT_NE(output.find("Detail \"\xE2\x82\xAC 2.0\" has characters outside the device's 8-bit code page"),
            std::string::npos)
      << output;
  // A language is one folder of its own.
  for (const char* name : {"\"\"", "fr\\\\FR"}) {
    EXPECT_EQ(Zampack(std::string("build --type LANGUAGE_PACKAGE --name ") + name + " " + tree + " -o " +
                          testsupport::Quote(Host("n.zam")),
                      &output),
              1)
        << name;
    EXPECT_NE(output.find("a LANGUAGE_PACKAGE's Name is"), std::string::npos) << output;
  }
  EXPECT_FALSE(fs::exists(host_ / "n.zam"));
  Put("l.txt", "header type=LANGUAGE_PACKAGE name=\"fr\\FR\"\nchange path=\"\\a.txt\" added=1\n"
               "file path=\"\\a.txt\" text=\"alpha\"\n");
  ASSERT_EQ(Zampack("manifest " + testsupport::Quote(Host("l.txt")) + " -o " + testsupport::Quote(Host("l.zam")), &output),
            0)
      << output;
  EXPECT_EQ(Zampack("verify " + testsupport::Quote(Host("l.zam")), &output), 1);
  EXPECT_NE(output.find("Name \"fr\\FR\" holds a backslash: a LANGUAGE_PACKAGE's Name is one folder"),
            std::string::npos)
      << output;
  // A file name in another encoding (Latin-1 bytes) is refused with its path, for build and diff alike.
  Put("bytes/caf\xE9.txt", "coffee");
  for (const std::string& command : {"build --type SOFTWARE --name Main " + testsupport::Quote(Host("bytes")) + " -o " +
                                         testsupport::Quote(Host("b.zam")),
                                     "diff --type SOFTWARE --name Main " + tree + " " +
                                         testsupport::Quote(Host("bytes")) + " --stat"}) {
    EXPECT_EQ(Zampack(command, &output), 2) << command;
    EXPECT_NE(output.find("/bytes/caf\\xE9.txt: the name is not UTF-8"), std::string::npos) << output;
  }
  // Arguments are bytes here (on Windows they reach a program as UTF-16, always text): version
  // texts that are not UTF-8 are refused rather than cut.
  for (const auto& [option, message] : {std::pair<std::string, std::string>{"--name Caf\xE9", "--name is not valid UTF-8 text"},
                                        {"--name Anna --part \xC0\x80", "--part is not valid UTF-8 text"}}) {
    EXPECT_EQ(Zampack("version write " + testsupport::Quote(Host("v.xml")) + " --type VOICE " + option, &output), 1);
    EXPECT_NE(output.find("zampack version: " + message), std::string::npos) << output;
    EXPECT_FALSE(fs::exists(host_ / "v.xml"));
  }
  // Latin-1 is fine: the device shows it.
  EXPECT_EQ(Zampack("build --type VOICE --name \"J\xC3\xBCrgen\" " + tree + " -o " + testsupport::Quote(Host("v.zam")),
                    &output),
            0)
      << output;

  Put("m.txt", "header type=MAP name=\"\xCE\x95\xCE\xBB\xCE\xBB\xCE\xAC\xCE\xB4\xCE\xB1\"\nchange path=\"\\a.txt\" added=1\n"
               "file path=\"\\a.txt\" text=\"alpha\"\n");
  ASSERT_EQ(Zampack("manifest " + testsupport::Quote(Host("m.txt")) + " -o " + testsupport::Quote(Host("m.zam")), &output),
            0)
      << output;
  EXPECT_EQ(Zampack("verify " + testsupport::Quote(Host("m.zam")), &output), 1);
  EXPECT_NE(output.find("Name \"\xCE\x95\xCE\xBB\xCE\xBB\xCE\xAC\xCE\xB4\xCE\xB1\" has characters outside"),
            std::string::npos)
      << output;
}

TEST_F(ZampackTest, JsonOfListVerifyAndVersionShowIsReadByAnotherProgram) {
  Put("old/gone.txt", "gone");
  Put("old/kept.txt", "one");
  Put("new/kept.txt", "two!");
  Put("new/Neu/\xC3\xBC.txt", "umlaut");
  std::string output;
  ASSERT_EQ(Zampack("diff --type VOICE --name Anna --detail \"say \\\"hi\\\"\" " + testsupport::Quote(Host("old")) + " " +
                        testsupport::Quote(Host("new")) + " -o " + testsupport::Quote(Host("d.zam")),
                    &output),
            0)
      << output;
  std::string script =
      "import json,sys\n"
      "d=json.load(open(sys.argv[1]))\n"
      "h=d['header']; t=d['totals']\n"
      "print(h['packageTypeName'], h['name'], h['detail'])\n"
      "print([(c['path'], c['folder'], c['added'], c['changed'], c['removed']) for c in d['changes']])\n"
      "print([(f['path'], f['size']) for f in d['files']])\n"
      "print(t['added'], t['changed'], t['removed'], t['bytesUnpacked'], "
      "t['bytesStored'] == sum(f['storedSize'] for f in d['files']), d['faults'])\n";
  Put("read.py", script);
  ASSERT_EQ(Zampack("list --json " + testsupport::Quote(Host("d.zam")) + " > " + testsupport::Quote(Host("d.json")) +
                        " && python3 " + testsupport::Quote(Host("read.py")) + " " + testsupport::Quote(Host("d.json")),
                    &output),
            0)
      << output;
  EXPECT_EQ(output,
            "VOICE Anna say \"hi\"\n"
            "[('\\\\Neu', True, True, False, False), ('\\\\Neu\\\\\xC3\xBC.txt', False, True, False, False), "
            "('\\\\kept.txt', False, False, True, False), ('\\\\gone.txt', False, False, False, True)]\n"
            "[('\\\\Neu\\\\\xC3\xBC.txt', 6), ('\\\\kept.txt', 4)]\n"
            "{'files': 1, 'folders': 1} {'files': 1, 'folders': 0} {'files': 1, 'folders': 0} 10 True []\n");

  // verify, and version show over several files, each one document.
  Put("bad.xml", "<VersionInfo/>");
  ASSERT_EQ(Zampack("version write " + testsupport::Quote(Host("v.xml")) + " --type VOICE --name Anna", &output), 0)
      << output;
  Put("read2.py",
      "import json,sys\n"
      "v=json.load(open(sys.argv[1])); s=json.load(open(sys.argv[2]))\n"
      "print(v['ok'], v['changeRecords'], v['fileRecords'], v['faults'])\n"
      "print([f['name'] for f in s['files']], [r['path'][-7:] for r in s['refused']])\n");
  EXPECT_EQ(Zampack("verify --json " + testsupport::Quote(Host("d.zam")) + " > " + testsupport::Quote(Host("v.json")) +
                        "; " + testsupport::Quote(ZAMPACK) + " version show --json " + testsupport::Quote(Host("v.xml")) + " " +
                        testsupport::Quote(Host("bad.xml")) + " > " + testsupport::Quote(Host("s.json")) + " 2>/dev/null" +
                        "; python3 " + testsupport::Quote(Host("read2.py")) + " " + testsupport::Quote(Host("v.json")) +
                        " " + testsupport::Quote(Host("s.json")),
                    &output),
            0)
      << output;
  EXPECT_EQ(output, "True 4 2 []\n['Anna'] ['bad.xml']\n");
}

}  // namespace

namespace {

// Signatures made by zampack sign, checked by Debian's minisign and by verify.
TEST_F(ZampackTest, SignMakesSignaturesMinisignAcceptsAndVerifyNamesTheKey) {
  Put("tree/a.txt", "alpha");
  std::string package = testsupport::Quote(Host("p.zam"));
  std::string output;
  ASSERT_EQ(Zampack("build --type SOFTWARE --name Main " + testsupport::Quote(Host("tree")) + " -o " + package), 0);
  for (const char* name : {"maker", "other"}) {
    std::string command = "minisign -G -W -f -p " + testsupport::Quote(Host(std::string(name) + ".pub")) + " -s " +
                          testsupport::Quote(Host(std::string(name) + ".key")) + " >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
  std::string pub = Slurp(Host("maker.pub"));
  std::string keyId = pub.substr(pub.rfind(' ', pub.find('\n')) + 1, pub.find('\n') - pub.rfind(' ', pub.find('\n')) - 1);

  ASSERT_EQ(Zampack("sign --key " + testsupport::Quote(Host("maker.key")) + " --comment 'Orvanta 2.1' " + package,
                    &output),
            0)
      << output;
  std::string check = "minisign -V -p " + testsupport::Quote(Host("maker.pub")) + " -m " + package + " > " +
                      testsupport::Quote(Host("minisign.out"));
  ASSERT_EQ(std::system(check.c_str()), 0);
  EXPECT_NE(Slurp(Host("minisign.out")).find("Trusted comment: Orvanta 2.1"), std::string::npos);

  EXPECT_EQ(Zampack("verify --key " + testsupport::Quote(Host("maker.pub")) + " " + package, &output), 0);
  EXPECT_NE(output.find(Host("p.zam") + ": signed by key " + keyId + " (prehashed), trusted comment: Orvanta 2.1"),
            std::string::npos)
      << output;
  EXPECT_EQ(Zampack("verify --json --key " + testsupport::Quote(Host("other.pub")) + " " + package, &output), 1);
  Put("read.py",
      "import json, sys\n"
      "d = json.load(open(sys.argv[1]))\n"
      "s = d['signature']\n"
      "print(d['ok'], s['verified'], s['keyId'], s['algorithm'], s['trustedComment'], d['faults'])\n");
  std::string read = "python3 " + testsupport::Quote(Host("read.py")) + " " + testsupport::Quote(Host("zampack.out")) +
                     " > " + testsupport::Quote(Host("python.out"));
  ASSERT_EQ(std::system(read.c_str()), 0) << output;
  EXPECT_EQ(Slurp(Host("python.out")), "False False " + keyId + " prehashed Orvanta 2.1 ['signature: unknown key id " +
                                           keyId + "']\n");

  // A key damaged on the way is refused, not used.
  std::string key = Slurp(Host("maker.key"));
  std::size_t body = key.find('\n') + 1 + 100;
  key[body] = key[body] == 'A' ? 'B' : 'A';
  Put("damaged.key", key);
  EXPECT_EQ(Zampack("sign --key " + testsupport::Quote(Host("damaged.key")) + " " + package, &output), 2);
  EXPECT_NE(output.find("wrong password, or a damaged key"), std::string::npos) << output;
}

// minisign -G's own password-protected key (scrypt at minisign's limits).
TEST_F(ZampackTest, SignTakesAPasswordProtectedKeysPasswordFromStandardInput) {
  Put("tree/a.txt", "alpha");
  std::string package = testsupport::Quote(Host("p.zam"));
  ASSERT_EQ(Zampack("build --type SOFTWARE --name Main " + testsupport::Quote(Host("tree")) + " -o " + package), 0);
  std::string output;
  std::string data = std::string(ORVANTA_TOOLS_DATA) + "/";
  Put("password", "");
  ASSERT_EQ(Zampack("sign --key " + testsupport::Quote(data + "protected.key") + " " + package + " < " +
                        testsupport::Quote(Host("password")),
                    &output),
            2);
  EXPECT_NE(output.find("needs its password on standard input"), std::string::npos) << output;
  Put("password", "orvanta\n");
  ASSERT_EQ(Zampack("sign --key " + testsupport::Quote(data + "protected.key") + " " + package + " < " +
                        testsupport::Quote(Host("password")),
                    &output),
            0)
      << output;
  std::string check = "minisign -V -q -p " + testsupport::Quote(data + "protected.pub") + " -m " + package;
  EXPECT_EQ(std::system(check.c_str()), 0);
}

}  // namespace
