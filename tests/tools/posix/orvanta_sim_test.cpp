// orvanta-sim's release-engineering commands on simulated devices in host
// folders: stage, update and try with the real update tool, pending and
// restart as a script reads them.
#include <signal.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <thread>

#include "platform/process.h"
#include "platform/restart.h"
#include "tests/support/posix/read_only_folder.h"
#include "tests/tools/zampack_fixture.h"

namespace {

using tools_test::ZampackTest;
namespace fs = std::filesystem;

class SimToolTest : public ZampackTest {
 protected:
  void SetUp() override {
    ZampackTest::SetUp();
    ASSERT_EQ(Sim("init " + Q("dev")), 0);
    app_ = host_ / "dev/C/Program Files/Orvanta";
    // Release 1 on the device, release 2 beside it.
    for (const auto& [path, content] : kRelease1) {
      Put("r1/" + path, content);
      Put("dev/C/Program Files/Orvanta/" + path, content);
    }
    for (const auto& [path, content] : kRelease2) Put("r2/" + path, content);
    ASSERT_EQ(Zampack("diff --type SOFTWARE --name Orvanta --detail 2.0 " + Q("r1") + " " + Q("r2") + " -o " +
                      Q("sw.zam")),
              0);
  }

  std::string Q(const std::string& relative) { return testsupport::Quote(Host(relative)); }

  // orvanta-sim with its standard output and error.
  int Sim(const std::string& arguments, std::string* output = nullptr) {
    std::string text;
    int code = testsupport::RunProgram("orvanta-sim", arguments + " 2>&1", &text);
    if (output != nullptr) *output = text;
    return code;
  }

  static bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

  // What a Python script prints of the JSON document in `json`, read as `r`.
  std::string ReadJson(const std::string& json, const std::string& script) {
    Put("read.py", "import json,sys\nr=json.load(open(sys.argv[1], encoding='utf-8'))\n" + script);
    std::string run = "python3 " + Q("read.py") + " " + Q(json) + " > " + Q("printed") + " 2>&1";
    EXPECT_EQ(std::system(run.c_str()), 0) << Slurp(Host("printed"));
    return Slurp(Host("printed"));
  }

  // Everything a folder holds as the host keeps it: names as bytes, kinds,
  // modes, contents, what links name, the stored attributes.
  static std::string Fingerprint(const fs::path& root) {
    std::map<std::string, std::string> entries;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
      struct stat st;
      lstat(entry.path().c_str(), &st);
      char stored[64] = {};
      getxattr(entry.path().c_str(), "user.orvanta.attributes", stored, sizeof(stored) - 1);
      std::string what = std::to_string(st.st_mode) + " " + stored + " ";
      if (S_ISLNK(st.st_mode)) what += fs::read_symlink(entry.path()).string();
      if (S_ISREG(st.st_mode)) what += Slurp(entry.path().string());
      entries[entry.path().lexically_relative(root).string()] = what;
    }
    std::string text;
    for (const auto& [path, what] : entries) text += path + "\t" + what + "\n";
    return text;
  }

  // The copies try makes go to a folder of the test's own (TMPDIR).
  std::vector<fs::path> TryCopies() {
    std::vector<fs::path> copies;
    for (const fs::directory_entry& entry : fs::directory_iterator(host_ / "tmp")) copies.push_back(entry.path());
    return copies;
  }
  void SetUpCopies() {
    fs::create_directories(host_ / "tmp");
    testsupport::SetEnvironment("TMPDIR", Host("tmp"));
  }

  const std::map<std::string, std::string> kRelease1 = {
      {"engine.dll", "engine 1"}, {"legacy.cfg", "old"}, {"Speech/anna.dat", "anna 1"}};
  const std::map<std::string, std::string> kRelease2 = {
      {"engine.dll", "engine 2"}, {"Speech/anna.dat", "anna 1"}, {"Speech/ben.dat", "ben 2"},
      {"Grammar/de.rul", "rules"}};
  fs::path app_;
};

TEST_F(SimToolTest, TryOnTheRightBaseReportsTheExactChangesAndLeavesTheDeviceAlone) {
  // With a language the device does not have yet, in folders of its own.
  Put("fr/Speech/Deep/x.dat", "x");
  ASSERT_EQ(Zampack("build --type LANGUAGE_PACKAGE --name fr-FR " + Q("fr") + " -o " + Q("fr.zam")), 0);
  std::string output;
  ASSERT_EQ(Sim("try --device " + Q("dev") + " " + Q("sw.zam") + " " + Q("fr.zam"), &output), 0) << output;
  EXPECT_TRUE(Has(output, " (the device itself is not changed)\nCounts: 7 added, 1 changed, 0 attribute-only, 1 removed, "
                          "0 deferred, 0 errors, 0 warnings\n"))
      << output;
  EXPECT_TRUE(Has(output, "The device holds no keys: it does not check signatures\n"
                          "Package sw.zam (SOFTWARE Orvanta 2.0): applied\n"
                          "  signature: unsigned (no sw.zam.minisig beside it)\n"
                          "  window: SOFTWARE  Orvanta  2.0 - Complete\n"))
      << output;
  EXPECT_TRUE(Has(output,
                  "Added:\n  C:\\Program Files\\Orvanta\\Grammar\\\n  C:\\Program Files\\Orvanta\\Grammar\\de.rul\n"
                  "  C:\\Program Files\\Orvanta\\Languages\\fr-FR\\\n"
                  "  C:\\Program Files\\Orvanta\\Languages\\fr-FR\\Speech\\\n"
                  "  C:\\Program Files\\Orvanta\\Languages\\fr-FR\\Speech\\Deep\\\n"
                  "  C:\\Program Files\\Orvanta\\Languages\\fr-FR\\Speech\\Deep\\x.dat\n"
                  "  C:\\Program Files\\Orvanta\\Speech\\ben.dat\nChanged:\n  C:\\Program Files\\Orvanta\\engine.dll\n"
                  "Changed in attributes only: none\nRemoved:\n  C:\\Program Files\\Orvanta\\legacy.cfg\n"
                  "Waited for the restart: none\nFailed at the restart: none\nERROR lines in the run log: none\n"
                  "Final decision: application\n"))
      << output;
  EXPECT_TRUE(Has(output, "Warnings: none\nClean: no ERROR line and no warning (exit code 0)")) << output;
  // The device itself: release 1, no package staged, no run.
  EXPECT_EQ(Slurp((app_ / "engine.dll").string()), "engine 1");
  EXPECT_TRUE(fs::exists(app_ / "legacy.cfg"));
  EXPECT_FALSE(fs::exists(host_ / "dev/C/Orvanta/Update/sw.zam"));
  EXPECT_FALSE(fs::exists(host_ / "dev/C/Orvanta/update_log.txt"));
}

TEST_F(SimToolTest, TryOnAStandInOfARealDeviceRunsTheSimulatorsProgramsInPlaceOfItsWindowsOnes) {
  // A copy of a real device's drive C: release 1, a Windows device
  // application, no descriptor, no simulator records.
  for (const auto& [path, content] : kRelease1) Put("real/C/Program Files/Orvanta/" + path, content);
  Put("real/C/Program Files/Orvanta/Orvanta.exe", std::string("MZ\x90\0windows program", 20));
  Put("real/C/Windows/System32/msiexec.exe", "MZ windows installer");
  std::string output;
  ASSERT_EQ(Sim("try --device " + Q("real") + " " + Q("sw.zam"), &output), 0) << output;
  for (const char* note :
       {"note: the device had no C:\\Orvanta\\Update\\UpdateInfo.xml: wrote one with the locations of orvanta-sim init\n",
        "note: the simulator's device application stands in for C:\\Program Files\\Orvanta\\Orvanta.exe\n",
        "note: the simulator's recording msiexec stands in for C:\\Windows\\System32\\msiexec.exe\n",
        "Package sw.zam (SOFTWARE Orvanta 2.0): applied\n", "Changed:\n  C:\\Program Files\\Orvanta\\engine.dll\n"}) {
    EXPECT_TRUE(Has(output, note)) << note << "\n" << output;
  }
  // The stand-ins went into the copy only.
  EXPECT_EQ(Slurp(Host("real/C/Program Files/Orvanta/Orvanta.exe")), std::string("MZ\x90\0windows program", 20));
  EXPECT_EQ(Slurp(Host("real/C/Windows/System32/msiexec.exe")), "MZ windows installer");
  EXPECT_FALSE(fs::exists(host_ / "real/C/Orvanta"));
  EXPECT_FALSE(fs::exists(host_ / "real/sim"));
}

TEST_F(SimToolTest, TryOnAWrongBaseWarnsAndFails) {
  // The device lacks what the package changes and removes, and a folder's
  // parent; the package's change list tells, without a base record.
  fs::remove(host_ / "sw.zam.base.json");
  fs::remove(app_ / "engine.dll");
  fs::remove(app_ / "legacy.cfg");
  Put("r3/Grammar/Rules/de.rul", "rules");
  Put("m.txt",
      "header type=SOFTWARE name=Orvanta detail=2.1\n"
      "change path=\"\\Missing\\Deeper\" folder=1 added=1\n"
      "change path=\"\\Languages\\de.xml\" added=1\n"
      "file path=\"\\Languages\\de.xml\" text=\"<de/>\"\n");
  ASSERT_EQ(Zampack("manifest " + Q("m.txt") + " -o " + Q("m.zam")), 0);
  std::string output;
  EXPECT_EQ(Sim("try --device " + Q("dev") + " " + Q("sw.zam") + " " + Q("m.zam"), &output), 1) << output;
  for (const char* warning :
       {"sw.zam: \\engine.dll is marked changed, but the device has no C:\\Program Files\\Orvanta\\engine.dll",
        "sw.zam: \\legacy.cfg is marked removed, but the device has no C:\\Program Files\\Orvanta\\legacy.cfg",
        "m.zam: \\Missing\\Deeper: a folder whose parent C:\\Program Files\\Orvanta\\Missing is neither on the device "
        "nor made by the package",
        "m.zam: \\Languages\\de.xml lands in C:\\Program Files\\Orvanta\\Languages\\, the location of "
        "LANGUAGE_PACKAGE packages"}) {
    EXPECT_TRUE(Has(output, "  " + std::string(warning))) << warning << "\n" << output;
  }
  EXPECT_TRUE(Has(output, "Not clean (exit code 1)")) << output;
  EXPECT_EQ(Sim("try --json " + Q("dev") + " " + Q("sw.zam") + " " + Q("m.zam") + " > " + Q("r.json")), 1);
  EXPECT_EQ(ReadJson("r.json", "for w in r['warnings']: print(w['code'], w['path'].split('\\\\')[-1])\n"),
            "missing-target engine.dll\nmissing-target legacy.cfg\nmissing-parent Deeper\nother-location de.xml\n");
}

TEST_F(SimToolTest, APatchIsCheckedAgainstTheBaseItWasMadeAgainst) {
  // The device is at release 1; a patch of four files is made from release
  // 1.5 to 2 and tried on it, and on a device at release 1.5.
  const std::map<std::string, std::string> release15 = {
      {"engine.dll", "engine 1.5"}, {"legacy.cfg", "old"}, {"Speech/anna.dat", "anna 1.5"}, {"Speech/ben.dat", "ben 1"}};
  const std::map<std::string, std::string> release2 = {
      {"engine.dll", "engine 2"}, {"legacy.cfg", "new"}, {"Speech/anna.dat", "anna 2"}, {"Speech/ben.dat", "ben 2"}};
  ASSERT_EQ(Sim("init " + Q("dev15")), 0);
  for (const auto& [path, content] : release15) {
    Put("n1/" + path, content);
    Put("dev15/C/Program Files/Orvanta/" + path, content);
  }
  for (const auto& [path, content] : release2) Put("n2/" + path, content);
  std::string output;
  ASSERT_EQ(Zampack("diff --type SOFTWARE --name Orvanta --detail 2.0 " + Q("n1") + " " + Q("n2") + " -o " + Q("p.zam"),
                    &output),
            0)
      << output;
  EXPECT_TRUE(Has(Slurp(Host("p.zam.base.json")), "\"tree\": \"n1\"")) << Slurp(Host("p.zam.base.json"));
  ASSERT_EQ(Zampack("list " + Q("p.zam"), &output), 0);
  EXPECT_TRUE(Has(output, "Base              n1 (4 changed or removed paths in its base record)\n")) << output;

  const std::string app = "C:\\Program Files\\Orvanta\\";
  EXPECT_EQ(Sim("try " + Q("dev") + " " + Q("p.zam"), &output), 1) << output;
  for (const std::string& warning :
       {"p.zam: " + app + "Speech\\anna.dat: the device's file differs from the base's (base n1)",
        "p.zam: " + app + "Speech\\ben.dat: missing on the device, but in the base (base n1)",
        "p.zam: " + app + "engine.dll: the device's file differs from the base's (base n1)"}) {
    EXPECT_TRUE(Has(output, "  " + warning + "\n")) << warning << "\n" << output;
  }
  EXPECT_FALSE(Has(output, "legacy.cfg: ")) << output;
  EXPECT_EQ(Sim("try " + Q("dev15") + " " + Q("p.zam"), &output), 0) << output;
  EXPECT_TRUE(Has(output, "note: p.zam was made against n1 (")) << output;

  // The same check without running the update, as JSON for a script.
  EXPECT_EQ(Zampack("check --device " + Q("dev15") + " " + Q("p.zam"), &output), 0) << output;
  Put("read.py", "import json,sys\nr=json.load(open(sys.argv[1]))\nprint(r['base'], r['checked'], r['exitCode'], "
                 "[d.split('\\\\')[-1] for d in r['differences']])\n");
  EXPECT_EQ(Zampack("check --json --device " + Q("dev") + " " + Q("p.zam") + " > " + Q("c.json") + "; python3 " +
                    Q("read.py") + " " + Q("c.json"), &output),
            0);
  EXPECT_EQ(output, "n1 4 1 [\"anna.dat: the device's file differs from the base's\", "
                    "'ben.dat: missing on the device, but in the base', "
                    "\"engine.dll: the device's file differs from the base's\"]\n");
}

TEST_F(SimToolTest, TryComparesEveryAttributeTheDeviceKeeps) {
  // The device keeps anna.dat as a system file; the package makes engine.dll
  // hidden and anna.dat an ordinary file, their bytes unchanged.
  testsupport::SetEnvironment("ORVANTA_DEVICE_ROOT", Host("dev"));
  ASSERT_TRUE(platform::SetAttributes("C:\\Program Files\\Orvanta\\Speech\\anna.dat",
                                      platform::kAttributeSystem | platform::kAttributeArchive));
  Put("h.txt",
      "header type=SOFTWARE name=Orvanta detail=2.1\n"
      "change path=\"\\engine.dll\" changed=1\nchange path=\"\\Speech\\anna.dat\" changed=1\n"
      "file path=\"\\engine.dll\" text=\"engine 1\" attributes=0x22\n"
      "file path=\"\\Speech\\anna.dat\" text=\"anna 1\" attributes=0x20\n");
  ASSERT_EQ(Zampack("manifest " + Q("h.txt") + " -o " + Q("h.zam")), 0);
  // At a terminal: what the try is doing on standard error, and the report
  // alone, without the copy's progress window, on standard output.
  std::string command = testsupport::Quote(testsupport::ProgramPath("orvanta-sim")) + " try " + Q("dev") + " " + Q("h.zam");
  ASSERT_EQ(std::system(("script -qec " + testsupport::Quote(command) + " " + Q("typescript") + " > /dev/null 2>&1").c_str()),
            0);
  std::string output = Slurp(Host("typescript"));
  output.erase(std::remove(output.begin(), output.end(), '\r'), output.end());
  for (const char* phase : {"\x1b[Korvanta-sim try: copying ", "\x1b[Korvanta-sim try: running the update on the copy",
                            "\x1b[Korvanta-sim try: restarting the copy"}) {
    EXPECT_TRUE(Has(output, phase)) << phase << "\n" << output;
  }
  EXPECT_FALSE(Has(output, "COLMARTE")) << output;
  EXPECT_TRUE(Has(output, "Changed: none\nChanged in attributes only:\n"
                          "  C:\\Program Files\\Orvanta\\engine.dll (ARCHIVE -> HIDDEN+ARCHIVE)\n"
                          "  C:\\Program Files\\Orvanta\\Speech\\anna.dat (SYSTEM+ARCHIVE -> ARCHIVE)\n"))
      << output;
  EXPECT_EQ(Sim("try --json " + Q("dev") + " " + Q("h.zam") + " > " + Q("r.json")), 0);
  EXPECT_EQ(ReadJson("r.json", "print(r['counts']['attributeOnly'], [(a['path'].split('\\\\')[-1], a['before'], "
                               "a['after']) for a in r['attributesOnly']])\n"),
            "2 [('engine.dll', 'ARCHIVE', 'HIDDEN+ARCHIVE'), ('anna.dat', 'SYSTEM+ARCHIVE', 'ARCHIVE')]\n");
}

TEST_F(SimToolTest, TryWithAHeldFileListsTheOperationsThatWaitedAndJsonIsReadByAnotherProgram) {
  std::string script =
      "import json,sys\n"
      "r=json.load(open(sys.argv[1], encoding='utf-8'))\n"
      "print(r['decision'], r['exitCode'], r['packages'][0]['outcome'], r['changed'], r['errors'], r['held'])\n"
      "for op in r['deferred']: print(op['operation'], op.get('path', op.get('from')), op.get('to', ''))\n";
  Put("read.py", script);
  // The file held by its host path on the device, which the run holds on the copy; the removed
  // legacy.cfg held without any sharing goes at the restart all the same.
  ASSERT_EQ(Sim("try --json --hold " + Q("dev/C/Program Files/Orvanta/engine.dll") + " --hold "
                "'C:\\Program Files\\Orvanta\\legacy.cfg:none' --device " + Q("dev") + " " +
                Q("sw.zam") + " > " + Q("report.json")),
            0);
  std::string run = "python3 " + Q("read.py") + " " + Q("report.json") + " > " + Q("printed") + " 2>&1";
  ASSERT_EQ(std::system(run.c_str()), 0) << Slurp(Host("printed"));
  std::string output = Slurp(Host("printed"));
  EXPECT_EQ(output,
            "restart 0 applied ['C:\\\\Program Files\\\\Orvanta\\\\engine.dll'] [] "
            "[{'path': 'C:\\\\Program Files\\\\Orvanta\\\\engine.dll', 'share': 'none'}, "
            "{'path': 'C:\\\\Program Files\\\\Orvanta\\\\legacy.cfg', 'share': 'none'}]\n"
            "delete C:\\Program Files\\Orvanta\\engine.dll \n"
            "delete C:\\Program Files\\Orvanta\\legacy.cfg \n"
            "delete C:\\Program Files\\Orvanta\\engine.dll \n"
            "move C:\\Orvanta\\Update\\Tmp\\engine.dlla C:\\Program Files\\Orvanta\\engine.dll\n"
            "delete C:\\Orvanta\\Update\\Tmp\\engine.dlla \n");
  // A host path outside the device would hold another file than the copy's.
  EXPECT_EQ(Sim("try " + Q("dev") + " --hold " + Q("r1/engine.dll") + " " + Q("sw.zam"), &output), 2);
  EXPECT_TRUE(Has(output, "--hold takes a device path (C:\\...) or a host path inside ")) << output;
}

TEST_F(SimToolTest, StageWritesTheListAndUpdateRunsTheToolWithTheApplicationsProcessId) {
  fs::create_directories(app_ / "Languages/Deutsch");
  ASSERT_EQ(Zampack("build --type LANGUAGE_PACKAGE --name Deutsch " + Q("r2/Speech") + " -o " + Q("de.zam")), 0);
  std::string output;
  ASSERT_EQ(Sim("stage " + Q("dev") + " " + Q("sw.zam") + " " + Q("de.zam"), &output), 0) << output;
  std::string descriptor = Slurp(Host("dev/C/Orvanta/Update/UpdateInfo.xml"));
  EXPECT_TRUE(Has(descriptor, "<UpdateList>\n\t\t<File>sw.zam</File>\n\t\t<File>de.zam</File>\n\t</UpdateList>"))
      << descriptor;
  EXPECT_TRUE(Has(descriptor, "<SOFTWARE>")) << descriptor;
  EXPECT_EQ(Slurp(Host("dev/C/Orvanta/Update/de.zam")), Slurp(Host("de.zam")));

  testsupport::SetEnvironment("ORVANTA_SIM_TIME_SCALE", "0");
  ASSERT_EQ(Sim("update " + Q("dev") + " --lang de-DE", &output), 0) << output;
  EXPECT_EQ(Slurp((app_ / "engine.dll").string()), "engine 2");
  EXPECT_EQ(Slurp((app_ / "Languages/Deutsch/ben.dat").string()), "ben 2");
  std::string log = Slurp(Host("dev/C/Orvanta/update_log.txt"));
  std::size_t at = log.find("Command-line arguments: ");
  ASSERT_NE(at, std::string::npos) << log;
  std::string id = log.substr(at + 24, 8);
  EXPECT_EQ(log.substr(at + 32, 7), " de-DE\r") << log;
  EXPECT_NE(std::stoul(id, nullptr, 16), 0u) << id;
  // The device application was started before the tool, and again by the
  // tool at its end (which does not wait for it).
  std::string start = "Orvanta.exe started in C:\\Program Files\\Orvanta: \r\n";
  std::string starts;
  for (int i = 0; i < 500 && starts.size() < 2 * start.size(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    starts = Slurp((app_ / "app-starts.log").string());
  }
  EXPECT_EQ(starts, start + start);
}

TEST_F(SimToolTest, UpdateExitsWithTheOutcomeAndSumsItUp) {
  testsupport::SetEnvironment("ORVANTA_SIM_TIME_SCALE", "0");
  std::string corrupt = Slurp(Host("sw.zam"));
  corrupt[corrupt.size() - 1] ^= 0x55;
  Put("bad.zam", corrupt);
  std::string log = Host("dev/C/Orvanta/update_log.txt");
  std::string output;
  ASSERT_EQ(Sim("stage --device " + Q("dev") + " " + Q("bad.zam") + " " + Q("sw.zam"), &output), 0) << output;
  EXPECT_EQ(Sim("update --device " + Q("dev"), &output), 1) << output;
  for (const std::string& part :
       {"Update of " + Host("dev") + " (en-US): the run had errors\n",
        std::string("Package bad.zam (SOFTWARE Orvanta 2.0): failed, 1 ERROR line\n"),
        std::string("  ERROR: Checksum didn't match for \"bad.zam\".\nPackage sw.zam (SOFTWARE Orvanta 2.0): applied\n"
                    "  signature: unsigned (no sw.zam.minisig beside it)\n"
                    "  window: SOFTWARE  Orvanta  2.0 - Complete\nERROR lines in the run log: 1\n"),
        std::string("Pending for the restart: none\nFinal decision: application launched\n"),
        "Run log: " + log + "\nExit code 1\n"}) {
    EXPECT_TRUE(Has(output, part)) << part << "\n" << output;
  }
  // The same as JSON, read by another program.
  Put("read.py",
      "import json,sys\n"
      "r=json.load(open(sys.argv[1], encoding='utf-8'))\n"
      "print(r['exitCode'], r['errorCount'], [p['outcome'] for p in r['packages']], r['decision'], r['runLog'])\n");
  ASSERT_EQ(Sim("stage " + Q("dev") + " " + Q("sw.zam"), &output), 0) << output;
  EXPECT_EQ(Sim("update " + Q("dev") + " --json > " + Q("report.json")), 0);
  std::string run = "python3 " + Q("read.py") + " " + Q("report.json") + " > " + Q("printed") + " 2>&1";
  ASSERT_EQ(std::system(run.c_str()), 0) << Slurp(Host("printed"));
  EXPECT_EQ(Slurp(Host("printed")), "0 0 ['applied'] application launched " + log + "\n");
  // A window that cannot be created, and a device that refuses every write:
  // the update did not run.
  Put("dev/sim/window-fails", "");
  EXPECT_EQ(Sim("update " + Q("dev") + " --lang xx-XX", &output), 2) << output;
  EXPECT_TRUE(Has(output, "orvanta-sim update: warning: the update tool has no messages in xx-XX; it shows them in "
                          "the user's language (LC_ALL, LANG) or else in English\n"))
      << output;
  EXPECT_TRUE(Has(output, "the update did not run\n  the update tool ended before it read its descriptor\n")) << output;
  EXPECT_TRUE(Has(output, "ERROR lines in the run log: 1\n  ERROR: InitApp() failed.\n")) << output;
  fs::remove(host_ / "dev/sim/window-fails");
  {
    testsupport::ReadOnlyFolder readOnly(Host("dev"));
    EXPECT_EQ(Sim("update " + Q("dev"), &output), 2) << output;
  }
  EXPECT_TRUE(Has(output, "the update did not run\n  the update tool wrote nothing to its run log " + log +
                              ": it cannot be opened for writing (ERROR_ACCESS_DENIED (5))\n"))
      << output;
  EXPECT_TRUE(Has(output, "Package sw.zam (SOFTWARE Orvanta 2.0): not reached\n")) << output;
  // Without a descriptor the tool is not even started.
  fs::remove(host_ / "dev/C/Orvanta/Update/UpdateInfo.xml");
  EXPECT_EQ(testsupport::RunProgram("orvanta-sim", "update --json " + Q("dev") + " 2> /dev/null", &output), 2);
  Put("none.json", output);
  EXPECT_EQ(ReadJson("none.json", "print(r['exitCode'], r['problems'][0].split('/')[-1])\n"),
            "2 UpdateInfo.xml: missing or unreadable (orvanta-sim stage writes it)\n");
}

TEST_F(SimToolTest, ADeviceMadeWithKeysRunsOnlySignedPackagesAndTryNamesTheSigningKey) {
  std::string output;
  ASSERT_EQ(std::system(("minisign -G -W -f -p " + Q("maker.pub") + " -s " + Q("maker.key") + " >/dev/null").c_str()), 0);
  std::string pub = Slurp(Host("maker.pub"));
  std::string comment = pub.substr(0, pub.find('\n'));
  std::string keyId = comment.substr(comment.rfind(' ') + 1);
  EXPECT_EQ(Sim("init --keys " + Q("maker.key") + " " + Q("wrong"), &output), 1);
  EXPECT_TRUE(Has(output, Host("maker.key") + " holds no minisign public key")) << output;
  ASSERT_EQ(Sim("init --keys " + Q("maker.pub") + " " + Q("signed"), &output), 0) << output;
  EXPECT_EQ(Slurp(Host("signed/C/Windows/OEM/ZAMHelper/UpdateKeys.pub")), pub);
  for (const auto& [path, content] : kRelease1) Put("signed/C/Program Files/Orvanta/" + path, content);

  fs::copy_file(host_ / "sw.zam", host_ / "unsigned.zam");
  ASSERT_EQ(std::system(("minisign -S -s " + Q("maker.key") + " -m " + Q("sw.zam") + " -t 'Orvanta 2.0' >/dev/null").c_str()),
            0);
  ASSERT_EQ(Sim("stage " + Q("signed") + " " + Q("sw.zam"), &output), 0) << output;
  EXPECT_EQ(Slurp(Host("signed/C/Orvanta/Update/sw.zam.minisig")), Slurp(Host("sw.zam.minisig")));

  EXPECT_EQ(Sim("try --device " + Q("signed") + " " + Q("sw.zam") + " " + Q("unsigned.zam"), &output), 1);
  for (const std::string& line :
       {"The device runs only signed packages; its keys: " + keyId,
        "Package sw.zam (SOFTWARE Orvanta 2.0): applied\n  signature: signed by key " + keyId +
            " (prehashed), trusted comment: Orvanta 2.0\n",
        std::string("Package unsigned.zam (SOFTWARE Orvanta 2.0): failed, 1 ERROR line\n"
                    "  signature: unsigned (no unsigned.zam.minisig beside it)\n"),
        std::string("  ERROR: Signature check failed for \"unsigned.zam\": no signature (\"unsigned.zam.minisig\": "
                    "error 2).\n")}) {
    EXPECT_TRUE(Has(output, line)) << line << "\n" << output;
  }
}

TEST_F(SimToolTest, StageAndRestartReplaceLinksInTheDeviceInsteadOfWritingThroughThem) {
  // A stand-in whose update folder and records link to files outside it.
  ASSERT_EQ(Sim("stage " + Q("dev") + " " + Q("sw.zam")), 0);
  Put("outside/UpdateInfo.xml", Slurp(Host("dev/C/Orvanta/Update/UpdateInfo.xml")));
  Put("outside/sentinel.txt", "sentinel");
  for (const auto& [link, target] : {std::pair<std::string, std::string>{"dev/C/Orvanta/Update/sw.zam", "sentinel.txt"},
                                     {"dev/C/Orvanta/Update/UpdateInfo.xml", "UpdateInfo.xml"},
                                     {"dev/sim/pending-restart.tsv", "sentinel.txt"}}) {
    fs::remove(Host(link));
    fs::create_symlink(Host("outside/" + target), Host(link));
  }
  std::string descriptor = Slurp(Host("outside/UpdateInfo.xml"));
  std::string output;
  ASSERT_EQ(Sim("stage " + Q("dev") + " " + Q("sw.zam"), &output), 0) << output;
  const char* saved = std::getenv("ORVANTA_DEVICE_ROOT");
  std::string device = saved != nullptr ? saved : "";
  testsupport::SetEnvironment("ORVANTA_DEVICE_ROOT", Host("dev"));
  EXPECT_EQ(Sim("restart", &output), 0) << output;
  testsupport::SetEnvironment("ORVANTA_DEVICE_ROOT", device);
  EXPECT_EQ(Slurp(Host("outside/sentinel.txt")), "sentinel");
  EXPECT_EQ(Slurp(Host("outside/UpdateInfo.xml")), descriptor);
  for (const char* file : {"dev/C/Orvanta/Update/sw.zam", "dev/C/Orvanta/Update/UpdateInfo.xml", "dev/sim/pending-restart.tsv"}) {
    EXPECT_FALSE(fs::is_symlink(Host(file))) << file;
  }
  EXPECT_EQ(Slurp(Host("dev/C/Orvanta/Update/sw.zam")), Slurp(Host("sw.zam")));
}

TEST_F(SimToolTest, TryOnAStandInOfLinksAndForeignNamesChangesNothingOutsideItsCopy) {
  SetUpCopies();
  // Drive C: is a link to a drive image; in it a file linked out of the
  // device (to the release's own content), which the package removes, and a
  // name in another encoding.
  fs::create_directories(host_ / "image");
  fs::rename(Host("dev/C"), Host("image/C"));
  fs::create_directory_symlink(Host("image/C"), Host("dev/C"));
  Put("outside/sentinel.txt", "old");
  fs::remove(Host("image/C/Program Files/Orvanta/legacy.cfg"));
  fs::create_symlink(Host("outside/sentinel.txt"), Host("image/C/Program Files/Orvanta/legacy.cfg"));
  Put("image/C/Program Files/Orvanta/caf\xE9.txt", "Latin-1 name");
  std::string device = Fingerprint(Host("dev"));
  std::string image = Fingerprint(Host("image"));
  std::string output;
  ASSERT_EQ(Sim("try --device " + Q("dev") + " " + Q("sw.zam"), &output), 0) << output;
  EXPECT_TRUE(Has(output, "Changed:\n  C:\\Program Files\\Orvanta\\engine.dll\n")) << output;
  EXPECT_TRUE(Has(output, "Removed:\n  C:\\Program Files\\Orvanta\\legacy.cfg\n")) << output;
  EXPECT_EQ(Fingerprint(Host("dev")), device);
  EXPECT_EQ(Fingerprint(Host("image")), image);
  EXPECT_EQ(Slurp(Host("outside/sentinel.txt")), "old");
  EXPECT_TRUE(TryCopies().empty());
}

TEST_F(SimToolTest, TryCopiesSparseFilesSparselyAndNamesWithTheReasonWhatItCannotCopy) {
  SetUpCopies();
  constexpr std::uintmax_t kTerabyte = std::uintmax_t{1} << 40;
  Put("dev/C/disk.img", "boot");
  fs::resize_file(Host("dev/C/disk.img"), kTerabyte);
  std::string output;
  ASSERT_EQ(Sim("try --keep --device " + Q("dev") + " " + Q("sw.zam"), &output), 0) << output;
  ASSERT_EQ(TryCopies().size(), 1u);
  struct stat st;
  ASSERT_EQ(stat((TryCopies()[0] / "C/disk.img").c_str(), &st), 0);
  EXPECT_EQ(static_cast<std::uintmax_t>(st.st_size), kTerabyte);
  EXPECT_LT(st.st_blocks * 512, 1 << 20) << "the holes stay holes";
  fs::remove_all(TryCopies()[0]);

  ASSERT_EQ(mkfifo(Host("dev/C/pipe").c_str(), 0600), 0);
  EXPECT_EQ(Sim("try --keep --device " + Q("dev") + " " + Q("sw.zam"), &output), 2) << output;
  EXPECT_TRUE(Has(output, "orvanta-sim try: cannot copy " + fs::canonical(Host("dev")).string() +
                              "/C/pipe: a FIFO (named pipe), which a device does not hold\n"))
      << output;
  EXPECT_TRUE(TryCopies().empty()) << "a copy that could not be made is not kept";
}

TEST_F(SimToolTest, TryEndedByASignalLeavesNoCopyAndNoProgramBehind) {
  SetUpCopies();
  // A device application that records its process id and stays.
  Put("dev/C/Program Files/Orvanta/Orvanta.exe", "#!/bin/sh\necho $$ > pid.txt\nexec sleep 120\n");
  fs::permissions(Host("dev/C/Program Files/Orvanta/Orvanta.exe"), fs::perms::owner_all);
  std::string command = testsupport::Quote(testsupport::ProgramPath("orvanta-sim")) + " try --device " + Q("dev") +
                        " " + Q("sw.zam") + " > " + Q("out") + " 2>&1 & echo $! > " + Q("sim.pid");
  ASSERT_EQ(std::system(command.c_str()), 0);
  pid_t sim = static_cast<pid_t>(std::stol(Slurp(Host("sim.pid"))));
  std::string application;
  for (int i = 0; i < 3000 && application.empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    for (const fs::path& copy : TryCopies()) application = Slurp((copy / "C/Program Files/Orvanta/pid.txt").string());
  }
  ASSERT_FALSE(application.empty()) << Slurp(Host("out"));
  ASSERT_EQ(kill(sim, SIGTERM), 0);
  auto ended = [](pid_t pid) {
    std::string stat = Slurp("/proc/" + std::to_string(pid) + "/stat");
    return stat.empty() || stat.find(") Z ") != std::string::npos;
  };
  for (int i = 0; i < 3000 && !ended(sim); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(ended(sim));
  EXPECT_TRUE(ended(static_cast<pid_t>(std::stol(application)))) << "the device application of the copy is ended";
  EXPECT_TRUE(TryCopies().empty());
  // Nor anything else that ran on the copy.
  for (const fs::directory_entry& entry : fs::directory_iterator("/proc")) {
    std::string environment = Slurp((entry.path() / "environ").string());
    EXPECT_EQ(environment.find("ORVANTA_DEVICE_ROOT=" + Host("tmp")), std::string::npos) << entry.path();
  }
}

TEST_F(SimToolTest, TryRunsTheCopysOwnServiceAndLeavesTheDevicesServiceRunning) {
  std::string output;
  ASSERT_EQ(Sim("init --service " + Q("svc"), &output), 0) << output;
  for (const auto& [path, content] : kRelease1) Put("svc/C/Program Files/Orvanta/" + path, content);
  testsupport::SetEnvironment("ORVANTA_DEVICE_ROOT", Host("svc"));
  ASSERT_EQ(Sim("show", &output), 0);
  std::size_t at = output.find("ZAMService\trunning (process ");
  ASSERT_NE(at, std::string::npos) << output;
  std::string running = output.substr(at, output.find(')', at) - at);

  ASSERT_EQ(Sim("try --keep --device " + Q("svc") + " " + Q("sw.zam"), &output), 0) << output;
  std::string marker = "note: the copy stays in ";
  std::size_t note = output.find(marker);
  ASSERT_NE(note, std::string::npos) << output;
  fs::path copy = output.substr(note + marker.size(), output.find('\n', note) - note - marker.size());
  std::string copyEvents = Slurp((copy / "sim/events.log").string());
  testsupport::SetEnvironment("ORVANTA_DEVICE_ROOT", copy.string());
  std::string copyState;
  EXPECT_EQ(Sim("show", &copyState), 0);
  fs::remove_all(copy);
  // The copy started its own service program and ended it at its restart.
  EXPECT_TRUE(Has(copyEvents, "service-start\tZAMService")) << copyEvents;
  EXPECT_TRUE(Has(copyEvents, "process-terminate\t")) << copyEvents;
  EXPECT_TRUE(Has(copyState, "ZAMService\tstopped")) << copyState;
  // The device's service program runs on, untouched.
  testsupport::SetEnvironment("ORVANTA_DEVICE_ROOT", Host("svc"));
  ASSERT_EQ(Sim("show", &output), 0);
  EXPECT_TRUE(Has(output, running + ")")) << running << "\n" << output;
  platform::Dword id = static_cast<platform::Dword>(std::stoul(running.substr(running.rfind(' ') + 1)));
  platform::Process service = platform::OpenProcessById(id, platform::kProcessTerminate | platform::kSynchronize);
  ASSERT_TRUE(platform::TerminateProcess(service, 0));
  platform::WaitForProcess(service, 5000);
}

TEST_F(SimToolTest, AFolderThatHoldsNoDeviceIsRefusedByEveryCommand) {
  fs::create_directories(host_ / "empty");
  std::string output;
  std::string empty = Q("empty");
  for (const std::string& command : {"stage " + empty + " " + Q("sw.zam"), "update " + empty,
                                     "try --device " + empty + " " + Q("sw.zam"), "try --device " + Q("nowhere") +
                                     " " + Q("sw.zam"), "update --device " + Q("nowhere")}) {
    EXPECT_NE(Sim(command, &output), 0) << command;
    EXPECT_TRUE(Has(output, "holds no simulated device") || Has(output, "No such file or directory")) << output;
  }
  testsupport::SetEnvironment("ORVANTA_DEVICE_ROOT", Host("empty"));
  for (const std::string& command : std::vector<std::string>{"pending", "pending --json", "restart", "show", "events", "set os-version 6.1",
                                     "restart --device " + empty, "show " + empty, "set " + empty + " policy DisableCMD 1"}) {
    EXPECT_EQ(Sim(command, &output), 1) << command;
    EXPECT_TRUE(Has(output, Host("empty") + ": holds no simulated device")) << output;
  }
  // The device named by --device or as the first argument, over the variable.
  for (const std::string& command : std::vector<std::string>{"restart --device " + Q("dev"), "restart " + Q("dev"), "events --device " + Q("dev"),
                                     "set --device " + Q("dev") + " os-version 6.1", "pending " + Q("dev") + " --json"}) {
    EXPECT_EQ(Sim(command, &output), 0) << command << "\n" << output;
  }
  EXPECT_EQ(Slurp(Host("dev/sim/os-version")), "6.1\n");
  EXPECT_EQ(Sim("pending --json --device " + Q("dev") + " > " + Q("p.json")), 0);
  EXPECT_EQ(ReadJson("p.json", "print(r['operations'])\n"), "[]\n");
  EXPECT_TRUE(Has(Slurp(Host("dev/sim/restarts.log")), "\n")) << "two restarts recorded";
  EXPECT_EQ(Sim("show --device " + Q("dev") + " " + Q("dev"), &output), 2);
  EXPECT_TRUE(Has(output, "the device is named twice")) << output;
  EXPECT_EQ(Sim("try --device " + Q("dev") + " --frobnicate " + Q("sw.zam"), &output), 2);
  EXPECT_TRUE(Has(output, "unknown option --frobnicate")) << output;
  EXPECT_EQ(Sim("try " + Q("dev") + " " + Q("none.zam"), &output), 2);
  EXPECT_TRUE(Has(output, "orvanta-sim try: " + Host("none.zam") + ": does not exist\n")) << output;
  EXPECT_FALSE(fs::exists(host_ / "empty/sim"));
}

// The scratch device of the test process: restart's and pending's device.
class RestartTest : public testsupport::ScratchTest {};

TEST_F(RestartTest, FailuresArePrintedWithTheErrorsNameAndNumberAndExitNonZero) {
  ASSERT_TRUE(testsupport::WriteBytes(PathOf("new.txt"), "new"));
  ASSERT_TRUE(testsupport::WriteBytes(PathOf("taken.txt"), "in the way"));
  ASSERT_TRUE(testsupport::WriteBytes(PathOf("fine.txt"), "fine"));
  ASSERT_TRUE(platform::MakeFolder(PathOf("full")));
  ASSERT_TRUE(testsupport::WriteBytes(PathOf("full\\x"), "x"));
  ASSERT_TRUE(platform::MoveAtRestart(PathOf("new.txt"), PathOf("taken.txt")));
  ASSERT_TRUE(platform::DeleteAtRestart(PathOf("full")));
  ASSERT_TRUE(platform::DeleteAtRestart(PathOf("fine.txt")));
  // A host path in the list (a device copied from elsewhere) names nothing of this device.
  std::string outside = std::string(std::getenv("ORVANTA_DEVICE_ROOT")) + "-outside.txt";
  std::ofstream(outside) << "outside";
  std::ofstream(std::string(std::getenv("ORVANTA_DEVICE_ROOT")) + "/sim/pending-restart.tsv", std::ios::app)
      << "delete\t" << outside << "\n";

  std::string output;
  ASSERT_EQ(testsupport::RunProgram("orvanta-sim", "pending --json", &output), 0);
  EXPECT_EQ(output,
            "{\"operations\": [\n"
            "  {\"operation\": \"move\", \"from\": \"C:\\\\scratch\\\\new.txt\", \"to\": \"C:\\\\scratch\\\\taken.txt\"},\n"
            "  {\"operation\": \"delete\", \"path\": \"C:\\\\scratch\\\\full\"},\n"
            "  {\"operation\": \"delete\", \"path\": \"C:\\\\scratch\\\\fine.txt\"},\n"
            "  {\"operation\": \"delete\", \"path\": \"" + outside + "\"}\n"
            "]}\n");
  EXPECT_EQ(testsupport::RunProgram("orvanta-sim", "restart 2>&1", &output), 1);
  EXPECT_EQ(output,
            "orvanta-sim restart: move C:\\scratch\\new.txt -> C:\\scratch\\taken.txt failed: ERROR_ALREADY_EXISTS (183)\n"
            "orvanta-sim restart: delete C:\\scratch\\full failed: ERROR_DIR_NOT_EMPTY (145)\n"
            "orvanta-sim restart: delete " + outside + " failed: ERROR_ACCESS_DENIED (5)\n"
            "restarted: 4 pending operations carried out, 3 failed\n");
  EXPECT_FALSE(testsupport::Exists(PathOf("fine.txt")));
  std::ifstream kept(outside);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), std::istreambuf_iterator<char>()), "outside");
  fs::remove(outside);
  EXPECT_EQ(testsupport::RunProgram("orvanta-sim", "pending --json", &output), 0);
  EXPECT_EQ(output, "{\"operations\": []}\n");
}

}  // namespace
