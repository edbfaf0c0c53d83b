// The real zampack binary: trees in host folders in, package bytes out, read
// back by the device's own reader.
#include "tests/tools/zampack_fixture.h"

namespace {

using namespace package;
using tools_test::ZampackTest;
namespace fs = std::filesystem;

TEST_F(ZampackTest, BuildAddsEveryFileAndFolderAndIsDeterministic) {
  std::string binary(100000, '\0');
  std::mt19937 random(7);
  for (char& c : binary) c = static_cast<char>(random());
  Put("tree/b.txt", "bravo");
  Put("tree/a/x.bin", binary);
  Put("tree/empty.txt", "");
  Put("tree/ro.txt", "read only");
  fs::create_directories(host_ / "tree/a/sub");
  fs::permissions(host_ / "tree/ro.txt", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  std::string command = "build --type MAP --name Europe --detail \"Release 7\" " + testsupport::Quote(Host("tree")) +
                        " -o " + testsupport::Quote(Host("first.zam"));
  ASSERT_EQ(Zampack(command), 0);

  app::Run().LocationPaths[version::MAP] = "C:\\Maps";
  ASSERT_TRUE(Load(Host("first.zam")));
  EXPECT_EQ(Package().DestinationRoot, "C:\\Maps\\Europe\\");
  EXPECT_EQ(HeaderText(Package().header.Detail), u"Release 7");
  EXPECT_EQ(Changes(), (std::vector<std::string>{"\\a FA", "\\a\\sub FA", "\\a\\x.bin A", "\\b.txt A",
                                                 "\\empty.txt A", "\\ro.txt A"}));
  ASSERT_EQ(Copies(), (std::vector<std::string>{"\\a\\x.bin", "\\b.txt", "\\empty.txt", "\\ro.txt"}));
  EXPECT_EQ(Inflate(Package().CopyList[0]), binary);
  EXPECT_EQ(Inflate(Package().CopyList[1]), "bravo");
  EXPECT_EQ(Package().CopyList[2].Size, 0u);
  EXPECT_EQ(Package().CopyList[3].Attributes & platform::kAttributeReadOnly, platform::kAttributeReadOnly);
  EXPECT_EQ(Package().CopyList[1].Attributes & platform::kAttributeReadOnly, 0u);
  EXPECT_EQ(Package().CopyTotal, 100000u + 5 + 9);

  // Same inputs, later times: the same bytes.
  fs::last_write_time(host_ / "tree/b.txt", fs::file_time_type::clock::now() + std::chrono::hours(1));
  std::string again = "build --type 3 --name Europe --detail \"Release 7\" " + testsupport::Quote(Host("tree")) +
                      " -o " + testsupport::Quote(Host("second.zam"));
  ASSERT_EQ(Zampack(again), 0);
  EXPECT_EQ(Slurp(Host("first.zam")), Slurp(Host("second.zam")));
  std::string output;
  EXPECT_EQ(Zampack("verify " + testsupport::Quote(Host("first.zam")), &output), 0) << output;
}

TEST_F(ZampackTest, DiffDeliversOnlyWhatIsNewOrChanged) {
  Put("old/same.txt", "same");
  Put("old/changed.txt", "before");
  Put("old/removed.txt", "gone");
  Put("old/olddir/inner/deep.txt", "gone with its folder");
  Put("old/tofolder", "a file that becomes a folder");
  Put("old/tofile/x.txt", "a folder that becomes a file");
  Put("old/Case.txt", "same content");
  Put("new/same.txt", "same");
  Put("new/changed.txt", "after");
  Put("new/added.txt", "new");
  Put("new/newdir/inner/deep.txt", "new with its folders");
  Put("new/tofolder/y.txt", "inside");
  Put("new/tofile", "now a file");
  Put("new/case.TXT", "same content");
  std::string command = "diff --type SOFTWARE --name Main " + testsupport::Quote(Host("old")) + " " +
                        testsupport::Quote(Host("new")) + " -o " + testsupport::Quote(Host("d.zam"));
  std::string output;
  ASSERT_EQ(Zampack(command, &output), 0) << output;
  ASSERT_TRUE(Load(Host("d.zam")));
  EXPECT_EQ(Changes(), (std::vector<std::string>{
                           "\\added.txt A", "\\case.TXT C", "\\changed.txt C", "\\newdir FA", "\\newdir\\inner FA",
                           "\\newdir\\inner\\deep.txt A", "\\tofile A", "\\tofolder FA", "\\tofolder\\y.txt A",
                           "\\olddir FR", "\\removed.txt R", "\\tofile FR", "\\tofolder R"}));
  // The file that replaces a folder comes first under its path, so it is written.
  EXPECT_EQ(Copies(), (std::vector<std::string>{"\\added.txt", "\\case.TXT", "\\changed.txt", "\\newdir\\inner\\deep.txt",
                                                "\\tofile", "\\tofolder\\y.txt"}));
  EXPECT_EQ(Inflate(Package().CopyList[2]), "after");
  EXPECT_EQ(Zampack("verify " + testsupport::Quote(Host("d.zam")), &output), 0) << output;
}

TEST_F(ZampackTest, ManifestSetsEveryFieldAndVerifyNamesEachFault) {
  Put("content.bin", "from a file");
  Put("m.txt",
      "# odd on purpose\n"
      "header type=VOICE name=\"Anna\" detail=\"test voice\" padding=10\n"
      "change path=\"\\a.txt\" added=1\n"
      "change path=\"\\lies.txt\" changed=1\n"
      "change path=\"\\raw.txt\" added=1\n"
      "change path=\"..\\out.txt\" added=1\n"
      "file path=\"\\a.txt\" text=\"alpha\" attributes=0x21 absolute=1\n"
      "file path=\"\\orphan.txt\" source=content.bin\n"
      "file path=\"\\lies.txt\" text=\"short\" size=50\n"
      "file path=\"\\raw.txt\" text=\"not zlib\" store=raw\n");
  std::string output;
  ASSERT_EQ(Zampack("manifest " + testsupport::Quote(Host("m.txt")) + " -o " + testsupport::Quote(Host("m.zam")),
                    &output),
            0)
      << output;
  ASSERT_EQ(Zampack("list " + testsupport::Quote(Host("m.zam")), &output), 0);
  EXPECT_NE(output.find("PackageType       9 (VOICE)"), std::string::npos) << output;
  EXPECT_NE(output.find("FileTableOffset   " + std::to_string(kChangeHeadSize + 4 * kChangeRecordSize + 10)),
            std::string::npos)
      << output;
  EXPECT_NE(output.find("0x00000021          5"), std::string::npos) << output;
  EXPECT_NE(output.find("        50 "), std::string::npos) << output;

  EXPECT_EQ(Zampack("verify " + testsupport::Quote(Host("m.zam")), &output), 1);
  std::string prefix = "zampack verify: " + Host("m.zam") + ": ";
  EXPECT_NE(output.find(prefix + "change record 3: path \"..\\out.txt\" leaves the destination"), std::string::npos)
      << output;
  EXPECT_NE(output.find(prefix + "file record 2 \"\\lies.txt\": stream does not inflate to its size of 50 bytes"),
            std::string::npos)
      << output;
  EXPECT_NE(output.find(prefix + "file record 3 \"\\raw.txt\": stream does not inflate"), std::string::npos);
  // The orphan is carried, never written: not a fault.
  EXPECT_EQ(output.find("orphan"), std::string::npos) << output;

  // The device selects the same records; the absolute offset points at its stream.
  ASSERT_TRUE(Load(Host("m.zam")));
  ASSERT_EQ(Copies(), (std::vector<std::string>{"\\a.txt", "\\lies.txt", "\\raw.txt"}));
  EXPECT_NE(Package().CopyList[0].IsAbsoluteOffset, 0u);
  EXPECT_EQ(Inflate(Package().CopyList[0]), "alpha");
}

TEST_F(ZampackTest, VerifyRefusesDamagedPackages) {
  Put("tree/a.txt", "alpha");
  ASSERT_EQ(Zampack("build --type 0 --name Main " + testsupport::Quote(Host("tree")) + " -o " +
                    testsupport::Quote(Host("good.zam"))),
            0);
  std::string good = Slurp(Host("good.zam"));
  struct Case {
    std::string bytes;
    std::string fault;
    bool listed;  // list shows what there is; a file that is no package is refused
  };
  std::string flipped = good;
  flipped.back() ^= 1;
  std::string identifier = good;
  identifier[0] = 'X';
  std::string longTable = good;
  longTable[kHeaderSize + 3] = 0x7F;
  const Case cases[] = {
      {flipped, "does not match the body's MD5", true},
      {identifier, "not a package: its identifier is not ZAM_UPDATE_FILE", false},
      {good.substr(0, 600), "too short for its change-list head (600 bytes)", true},
      {good.substr(0, 100), "shorter than its 468-byte header (100 bytes)", false},
      {longTable, "runs past the end", true},
  };
  for (const Case& c : cases) {
    std::ofstream(Host("bad.zam"), std::ios::binary | std::ios::trunc) << c.bytes;
    std::string output;
    EXPECT_EQ(Zampack("verify " + testsupport::Quote(Host("bad.zam")), &output), 1) << c.fault;
    EXPECT_NE(output.find(c.fault), std::string::npos) << output;
    for (const char* list : {"list ", "list --json "}) {
      EXPECT_EQ(Zampack(list + testsupport::Quote(Host("bad.zam")), &output), c.listed ? 0 : 1) << c.fault;
      EXPECT_EQ(output.find("Identifier") == std::string::npos && output.find("identifier\"") == std::string::npos,
                !c.listed)
          << output;
    }
  }
  std::string output;
  EXPECT_EQ(Zampack("list " + testsupport::Quote(Host("missing.zam")), &output), 1);
  EXPECT_NE(output.find("missing.zam: cannot read the package: "), std::string::npos) << output;
}

TEST_F(ZampackTest, EveryCommandHasHelp) {
  std::string output;
  for (const char* command : {"build", "diff", "manifest", "list", "verify"}) {
    EXPECT_EQ(Zampack(std::string(command) + " --help", &output), 0) << command;
    EXPECT_EQ(output.rfind(std::string("usage: zampack ") + command, 0), 0u) << output;
  }
  EXPECT_EQ(Zampack("--help", &output), 0);
  EXPECT_NE(output.find("verify    the checksum"), std::string::npos);
  EXPECT_EQ(Zampack("", &output), 2);
  EXPECT_EQ(Zampack("build --name x", &output), 2);
  EXPECT_EQ(Zampack("build --type NOPE --name x " + testsupport::Quote(Host(".")) + " -o " +
                        testsupport::Quote(Host("x.zam")),
                    &output),
            1);
  EXPECT_NE(output.find("zampack build: unknown package type: NOPE"), std::string::npos) << output;
  EXPECT_NE(output.find("the types are SOFTWARE (0), ICONS (1)"), std::string::npos) << output;
  EXPECT_NE(output.find("UNKNOWN (17)"), std::string::npos) << output;
  EXPECT_EQ(Zampack("build --type MAP --name x --compress " + testsupport::Quote(Host(".")) + " -o x.zam", &output), 2);
  EXPECT_NE(output.find("zampack build: unknown option --compress"), std::string::npos) << output;
  EXPECT_EQ(Zampack("build --type MAP --name x --level 0 " + testsupport::Quote(Host(".")) + " -o x.zam", &output), 2);
  EXPECT_NE(output.find("--level takes a number from 1 to 9, not 0"), std::string::npos) << output;
  EXPECT_EQ(Zampack("list --all x.zam", &output), 2);
  EXPECT_NE(output.find("zampack list: unknown option --all"), std::string::npos) << output;
}

// Content that compresses about as a release does: text-like runs and some noise.
std::string Compressible(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string content;
  while (content.size() < size) {
    if (random() % 4 == 0) {
      for (int i = 0; i < 64; ++i) content += static_cast<char>(random());
    } else {
      content += "line " + std::to_string(random() % 1000) + " of the speech engine's tables\n";
    }
  }
  content.resize(size);
  return content;
}

TEST_F(ZampackTest, OneWorkerAndSeveralGiveTheSameBytesAndTheDeviceInflatesThem) {
  // Files of many compression blocks, one block, and none.
  std::string large = Compressible(3 * 1024 * 1024 + 12345, 1);
  std::string exact = Compressible(1024 * 1024, 2);
  Put("tree/large.bin", large);
  Put("tree/exact.bin", exact);
  Put("tree/small.txt", "small");
  Put("tree/empty.txt", "");
  std::string tree = testsupport::Quote(Host("tree"));
  ASSERT_EQ(Zampack("build --type SOFTWARE --name Main --jobs 1 " + tree + " -o " + testsupport::Quote(Host("one.zam"))), 0);
  ASSERT_EQ(Zampack("build --type SOFTWARE --name Main --jobs 3 " + tree + " -o " + testsupport::Quote(Host("three.zam"))), 0);
  ASSERT_EQ(Zampack("build --type SOFTWARE --name Main " + tree + " -o " + testsupport::Quote(Host("cores.zam"))), 0);
  ASSERT_EQ(Zampack("build --type SOFTWARE --name Main --level 1 " + tree + " -o " + testsupport::Quote(Host("fast.zam"))), 0);
  std::string one = Slurp(Host("one.zam"));
  EXPECT_EQ(one, Slurp(Host("three.zam")));
  EXPECT_EQ(one, Slurp(Host("cores.zam")));
  EXPECT_LT(one.size(), large.size() + exact.size());
  EXPECT_GT(Slurp(Host("fast.zam")).size(), one.size());

  for (const char* package : {"one.zam", "fast.zam"}) {
    ASSERT_TRUE(Load(Host(package))) << package;
    ASSERT_EQ(Copies(), (std::vector<std::string>{"\\empty.txt", "\\exact.bin", "\\large.bin", "\\small.txt"}));
    EXPECT_TRUE(Inflate(Package().CopyList[1]) == exact) << package;
    EXPECT_TRUE(Inflate(Package().CopyList[2]) == large) << package;
    EXPECT_EQ(Inflate(Package().CopyList[3]), "small");
    Package().mapping.Close();
    Package().file.Close();
    ResetPackageState();
  }
}

TEST_F(ZampackTest, DiffDeliversAnAttributeOnlyChangeAndSaysWhenThereIsNothing) {
  Put("old/settings.cfg", "locked = yes");
  Put("old/same.txt", "same");
  Put("new/settings.cfg", "locked = yes");
  Put("new/same.txt", "same");
  fs::permissions(host_ / "new/settings.cfg", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  std::string trees = testsupport::Quote(Host("old")) + " " + testsupport::Quote(Host("new"));
  std::string output;
  ASSERT_EQ(Zampack("diff --type SOFTWARE --name Main " + trees + " -o " + testsupport::Quote(Host("d.zam")), &output), 0)
      << output;
  ASSERT_TRUE(Load(Host("d.zam")));
  EXPECT_EQ(Changes(), (std::vector<std::string>{"\\settings.cfg C"}));
  ASSERT_EQ(Copies(), (std::vector<std::string>{"\\settings.cfg"}));
  EXPECT_EQ(Package().CopyList[0].Attributes & platform::kAttributeReadOnly, platform::kAttributeReadOnly);
  EXPECT_EQ(Inflate(Package().CopyList[0]), "locked = yes");

  EXPECT_EQ(Zampack("diff --type SOFTWARE --name Main " + trees + " --stat", &output), 0) << output;
  EXPECT_NE(output.find("changed:   1 file (1 of them in attributes only)"), std::string::npos) << output;
  EXPECT_NE(output.find("delivered: 1 file, 12 bytes unpacked"), std::string::npos) << output;

  std::string same = testsupport::Quote(Host("old")) + " " + testsupport::Quote(Host("old"));
  EXPECT_EQ(Zampack("diff --type SOFTWARE --name Main " + same + " -o " + testsupport::Quote(Host("e.zam")), &output), 1);
  EXPECT_NE(output.find("hold the same files and folders: nothing to deliver, no package written"), std::string::npos)
      << output;
  EXPECT_FALSE(fs::exists(host_ / "e.zam"));
}

TEST_F(ZampackTest, AnOutputInsideATreeIsRefusedAndTheTreeLeftAlone) {
  Put("old/a.txt", "alpha");
  Put("new/a.txt", "beta");
  Put("new/sub/b.txt", "bravo");
  std::string trees = testsupport::Quote(Host("old")) + " " + testsupport::Quote(Host("new"));
  for (const std::string& command :
       {"build --type 0 --name Main " + testsupport::Quote(Host("new")) + " -o " + testsupport::Quote(Host("new/a.txt")),
        "build --type 0 --name Main " + testsupport::Quote(Host("new")) + " -o " +
            testsupport::Quote(Host("new/sub/../p.zam")),
        "diff --type 0 --name Main " + trees + " -o " + testsupport::Quote(Host("old/p.zam")),
        "diff --type 0 --name Main " + trees + " -o " + testsupport::Quote(Host("new/sub/p.zam"))}) {
    std::string output;
    EXPECT_EQ(Zampack(command, &output), 2) << command;
    EXPECT_NE(output.find("would be written inside the tree"), std::string::npos) << output;
  }
  EXPECT_EQ(Slurp(Host("new/a.txt")), "beta");
  EXPECT_FALSE(fs::exists(host_ / "new/p.zam"));
  EXPECT_FALSE(fs::exists(host_ / "old/p.zam"));
  EXPECT_FALSE(fs::exists(host_ / "new/sub/p.zam"));
  // Beside the tree is fine, also by a path that passes through it.
  EXPECT_EQ(Zampack("build --type 0 --name Main " + testsupport::Quote(Host("new")) + " -o " +
                    testsupport::Quote(Host("new/../p.zam"))),
            0);
}

TEST_F(ZampackTest, ABaseRecordIsWrittenByDiffAloneAndADamagedOneIsReported) {
  Put("old/a.txt", "alpha");
  Put("new/a.txt", "beta");
  std::string trees = testsupport::Quote(Host("old")) + " " + testsupport::Quote(Host("new"));
  std::string package = testsupport::Quote(Host("p.zam"));
  ASSERT_EQ(Zampack("diff --type 0 --name Main " + trees + " -o " + package), 0);
  EXPECT_NE(Slurp(Host("p.zam.base.json")).find("\"path\": \"\\\\a.txt\", \"md5\": \"2c1743a391305fbf367df8e4f069f9f9\""),
            std::string::npos)
      << Slurp(Host("p.zam.base.json"));
  std::string output;
  EXPECT_EQ(Zampack("verify " + package, &output), 0);
  EXPECT_NE(output.find("OK (1 change record, 1 file record), made against old (1 changed or removed path"),
            std::string::npos)
      << output;
  // Beside a package of no base, a record from an earlier diff would lie.
  ASSERT_EQ(Zampack("build --type 0 --name Main " + testsupport::Quote(Host("new")) + " -o " + package), 0);
  EXPECT_FALSE(fs::exists(host_ / "p.zam.base.json"));
  EXPECT_EQ(Zampack("check --device " + testsupport::Quote(Host("old")) + " " + package, &output), 2);
  EXPECT_NE(output.find("no base record beside it"), std::string::npos) << output;

  // A record that comes with a package is read as untrusted input.
  ASSERT_EQ(Zampack("diff --type 0 --name Main " + trees + " -o " + package), 0);
  struct Case {
    std::string record;
    std::string fault;
  };
  const Case cases[] = {
      {"{\"files\": [", "not JSON: an unfinished document"},
      {std::string(100, '[') + std::string(100, ']'), "not JSON: nesting too deep"},
      {"{\"type\": \"SOFTWARE\", \"files\": 3}", "no \"files\" list"},
      {"{\"type\": \"NOPE\", \"files\": []}", "unknown package type \"NOPE\""},
      {"{\"type\": \"SOFTWARE\", \"files\": [{\"path\": \"\\\\a.txt\", \"md5\": \"12\"}]}", "a file without a path or an MD5"},
      {"{\"type\": \"SOFTWARE\", \"files\": [\"\\u12G4\"]}", "not JSON: a bad \\u escape"},
      {"{\"type\": \"SOFTWARE\", \"files\": []} x", "not JSON: text after the document"},
  };
  for (const Case& c : cases) {
    std::ofstream(Host("p.zam.base.json"), std::ios::binary | std::ios::trunc) << c.record;
    EXPECT_EQ(Zampack("verify " + package, &output), 1) << c.record;
    EXPECT_NE(output.find("base record " + Host("p.zam.base.json") + ": "), std::string::npos) << output;
    EXPECT_NE(output.find(c.fault), std::string::npos) << c.fault << "\n" << output;
  }
}

TEST_F(ZampackTest, AMissingTreeIsNamedWithTheSystemsReason) {
  std::string output;
  std::string missing = Host("no-such-tree");
  EXPECT_EQ(Zampack("build --type 0 --name Main " + testsupport::Quote(missing) + " -o x.zam", &output), 2);
  EXPECT_NE(output.find("zampack build: " + missing + ": "), std::string::npos) << output;
  EXPECT_FALSE(fs::exists(host_ / "x.zam"));
}

}  // namespace
