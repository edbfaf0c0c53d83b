// A run killed at any point, then run again before the device restarts:
// after the restart the device holds exactly the new release. The kill comes
// from the simulator at the k-th operation of the layer
// (ORVANTA_SIM_KILL_AFTER), for k spread over the whole run.
#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>

#include "tests/e2e/e2e_fixture.h"

namespace {

constexpr int kKilled = 137;
constexpr platform::Dword kKeptAttributes = platform::kAttributeReadOnly | platform::kAttributeDirectory;

struct Entry {
  platform::Dword attributes = 0;
  std::string content;
  bool operator==(const Entry& other) const { return attributes == other.attributes && content == other.content; }
};
using Tree = std::map<std::string, Entry>;

class KillAndRerunTest : public e2e::E2eTest {
 protected:
  // Release 1: 12 folders of 3 subfolders of 8 files. Release 2 changes
  // every third file, removes every seventh and one whole folder, adds a
  // folder tree, and makes two of the changed files read-only.
  std::map<std::string, std::string> Release(int release) {
    std::map<std::string, std::string> files;
    for (int d = 0; d < 12; ++d) {
      if (release >= 2 && d == 11) continue;
      for (int s = 0; s < 3; ++s) {
        for (int f = 0; f < 8; ++f) {
          int n = (d * 3 + s) * 8 + f;
          if (release >= 2 && n % 7 == 6) continue;
          std::string path = "d" + std::to_string(d) + "\\s" + std::to_string(s) + "\\f" + std::to_string(f) + ".dat";
          int version = release >= 2 && n % 3 == 0 ? release : 1;
          if (release >= 3 && n % 5 == 0) version = 3;
          files[path] = "file " + std::to_string(n) + " of release " + std::to_string(version) + std::string(n % 50, 'x');
        }
      }
    }
    if (release >= 2) {
      for (int f = 0; f < 20; ++f) files["added\\deep\\n" + std::to_string(f) + ".dat"] = "added " + std::to_string(release);
    }
    if (release >= 3) files.erase(kNoShare);
    return files;
  }

  // Readable while in use: stage 6 defers its deletion. Held without sharing: nothing can touch it.
  const std::string kReadable = "d0\\s0\\f0.dat";
  const std::string kNoShare = "d1\\s1\\f1.dat";

  void MakeRelease(const std::string& folder, int release) {
    MakeTree(folder, Release(release));
    if (release < 2) return;
    for (const std::string& path : {std::string("d2\\s0\\f3.dat"), std::string("d3\\s2\\f5.dat")}) {
      ASSERT_TRUE(platform::SetAttributes(PathOf(folder + "\\" + path), platform::kAttributeReadOnly));
    }
  }

  // Release 1 as installed, copied on the host from the tree R1 (the
  // simulator keeps nothing but the files for plain entries), with nothing
  // pending and no replacement files left.
  void InstallRelease1() {
    std::error_code ignored;
    std::filesystem::remove_all(testsupport::HostPathOf(Software()), ignored);
    std::filesystem::copy(testsupport::HostPathOf(PathOf("R1")), testsupport::HostPathOf(Software()),
                          std::filesystem::copy_options::recursive);
    std::filesystem::remove_all(testsupport::HostPathOf(PathOf("Update")) + "/Tmp", ignored);
    platform::ClearPendingOperations();
    platform::RemoveFile(PathOf("update_log.txt"));
  }

  Tree Read(const std::string& root, const std::string& prefix = "") {
    Tree tree;
    std::vector<platform::FolderEntry> entries;
    platform::ListFolder(root + "\\*", &entries);
    for (const platform::FolderEntry& e : entries) {
      Entry entry;
      entry.attributes = e.attributes & kKeptAttributes;
      if (e.attributes & platform::kAttributeDirectory) {
        Tree inner = Read(root + "\\" + e.name, prefix + e.name + "\\");
        tree.insert(inner.begin(), inner.end());
      } else {
        entry.content = testsupport::ReadBytes(root + "\\" + e.name);
      }
      tree[prefix + e.name] = entry;
    }
    return tree;
  }

  // The entries that differ, one per line; empty when the trees are equal.
  static std::string Differences(const Tree& actual, const Tree& expected) {
    std::ostringstream out;
    for (const auto& [path, entry] : expected) {
      auto found = actual.find(path);
      if (found == actual.end()) {
        out << "missing " << path << "\n";
      } else if (!(found->second == entry)) {
        out << "differs " << path << ": " << std::hex << found->second.attributes << " \"" << found->second.content
            << "\" instead of " << entry.attributes << " \"" << entry.content << "\"\n";
      }
    }
    for (const auto& [path, entry] : actual) {
      if (expected.count(path) == 0) out << "extra " << path << "\n";
    }
    return out.str();
  }

  int RunKilledAfter(long operations) {
    testsupport::SetEnvironment("ORVANTA_SIM_KILL_AFTER", std::to_string(operations));
    int code = RunTool("00001A2C en");
    testsupport::SetEnvironment("ORVANTA_SIM_KILL_AFTER", "0");
    return code;
  }

  // Every line of the log is whole: an empty separator or a time prefix, ending in CR LF.
  void ExpectNoTornLine(const std::string& where) {
    static const std::regex kLine(R"((\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3} [^\r\n]*)?)");
    std::string log = Log();
    ASSERT_TRUE(log.size() >= 2 && log.compare(log.size() - 2, 2, "\r\n") == 0) << where;
    std::size_t start = 0;
    while (start < log.size()) {
      std::size_t end = log.find("\r\n", start);
      ASSERT_NE(end, std::string::npos) << where;
      EXPECT_TRUE(std::regex_match(log.substr(start, end - start), kLine)) << where << ": " << log.substr(start, end - start);
      start = end + 2;
    }
  }

  std::string Restart() {
    std::string output;
    EXPECT_EQ(testsupport::RunProgram("orvanta-sim", "restart", &output), 0) << output;
    return output;
  }
};

TEST_F(KillAndRerunTest, AKillAtAnyPointIsMendedBySecondRunAndTheRestart) {
  MakeRelease("R1", 1);
  MakeRelease("R2", 2);
  Zampack("diff", "SOFTWARE", "Orvanta", {"R1", "R2"}, "software.zam");
  WriteDescriptor("true", {"software.zam"});
  const Tree target = Read(PathOf("R2"));

  // Kills spread over the whole first run, until a first run ends by itself.
  constexpr long kStep = 67;
  int killed = 0;
  for (long k = 1;; k += kStep) {
    std::string where = "killed at operation " + std::to_string(k);
    InstallRelease1();
    int first = 0;
    {
      testsupport::HelperProcess noShare(testsupport::HoldfilePath(), testsupport::Quote(Software() + kNoShare) + " read none");
      ASSERT_EQ(noShare.FirstLine(), "opened");
      {
        testsupport::HelperProcess readable(testsupport::HoldfilePath(),
                                            testsupport::Quote(Software() + kReadable) + " read read");
        ASSERT_EQ(readable.FirstLine(), "opened");
        first = RunKilledAfter(k);
        ASSERT_TRUE(first == kKilled || first == 0) << where;
      }
      // The readable file is released before the second run, which could write it freely.
      ASSERT_EQ(RunTool("00001A2C en"), 0) << where;
    }
    ExpectNoTornLine(where);
    Restart();
    ASSERT_EQ(Differences(Read(Software()), target), "") << where;
    if (first != kKilled) break;
    ++killed;
  }
  EXPECT_GE(killed, 16) << "kills spread over a run of a few hundred files";
}

// A second whole run, with a newer package, before the restart: the
// operations of both runs, carried out in order, end in the newest release.
TEST_F(KillAndRerunTest, ASecondRunWithANewerPackageBeforeTheRestart) {
  MakeRelease("R1", 1);
  MakeRelease("R2", 2);
  MakeRelease("R3", 3);
  Zampack("diff", "SOFTWARE", "Orvanta", {"R1", "R2"}, "software2.zam");
  Zampack("diff", "SOFTWARE", "Orvanta", {"R2", "R3"}, "software3.zam");
  InstallRelease1();
  {
    testsupport::HelperProcess noShare(testsupport::HoldfilePath(), testsupport::Quote(Software() + kNoShare) + " read none");
    testsupport::HelperProcess readable(testsupport::HoldfilePath(), testsupport::Quote(Software() + kReadable) + " read read");
    ASSERT_EQ(noShare.FirstLine(), "opened");
    ASSERT_EQ(readable.FirstLine(), "opened");
    WriteDescriptor("true", {"software2.zam"});
    ASSERT_EQ(RunTool("00001A2C en"), 0);
  }
  ASSERT_FALSE(Pending().empty());
  // Nothing holds the files any more: release 3 changes the readable file
  // again and removes the one whose replacement still waits for the restart.
  WriteDescriptor("true", {"software3.zam"});
  ASSERT_EQ(RunTool("00001A2C en"), 0);
  ExpectNoTornLine("two runs");
  Restart();
  EXPECT_EQ(Differences(Read(Software()), Read(PathOf("R3"))), "");
}

}  // namespace
