// libFuzzer target for the whole package path on a scratch simulated
// device: arbitrary bytes, given the right checksum, go through opening,
// verification, mapping, stage 8, the folder stages 6 and 7 and the file
// stage 3, as the update run takes them. Whatever the package says, nothing
// outside its destination root and the tool's Tmp\ folder may change, and
// every operation left for the restart must stay there too.
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "app/run_state.h"
#include "app/test_support.h"
#include "package/extraction.h"
#include "package/folder_stages.h"
#include "package/package.h"
#include "package/test_support.h"
#include "package/verify.h"
#include "platform/posix/sim_device.h"
#include "platform/restart.h"
#include "tests/fuzz/fuzz_device.h"
#include "tools/zampack/package_image.h"

namespace {

namespace fs = std::filesystem;

std::string g_root;
// Destination trees, shared among the package types: SOFTWARE, ICONS (a
// type whose Name is a folder), LANGUAGE_PACKAGE and MAP each have their own.
constexpr int kTrees = 4;
const char* const kPackagePath = "C:\\fuzz\\run\\p.zam";

std::string Host(const std::string& relative) { return g_root + "/C/" + relative; }

// The device as an installed release leaves it: a few files and folders
// under the destination of each package type, and a sentinel beside them.
void LayOutDevice() {
  std::error_code ignored;
  fs::remove_all(Host("dev"), ignored);
  fs::remove_all(Host("fuzz/run/Tmp"), ignored);
  for (int type = 0; type < kTrees; ++type) {
    std::string folder = "dev/t" + std::to_string(type);
    fs::create_directories(Host(folder + "/bin"));
    fs::create_directories(Host(folder + "/Main/old"));
    std::ofstream(Host(folder + "/Orvanta.exe")) << folder;
    std::ofstream(Host(folder + "/bin/engine.dll")) << folder;
    std::ofstream(Host(folder + "/Main/old/gone.txt")) << folder;
  }
  fs::create_directories(Host("dev/outside"));
  std::ofstream(Host("dev/outside/keep.txt")) << "keep";
}

// Every host entry of the device with its content, the simulator's own records left out.
std::map<std::string, std::string> Snapshot() {
  std::map<std::string, std::string> entries;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(g_root)) {
    std::string path = entry.path().string();
    if (path.rfind(g_root + "/sim", 0) == 0) continue;
    std::string& content = entries[path];
    if (entry.is_regular_file()) {
      // The device's own files are small; a package's output may be a sparse giant, known by its size.
      content = std::to_string(entry.file_size()) + ":";
      if (entry.file_size() > 65536) continue;
      std::ifstream in(path, std::ios::binary);
      content.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } else {
      content = "<folder>";
    }
  }
  return entries;
}

// The entries outside the host folders given.
std::map<std::string, std::string> Outside(const std::map<std::string, std::string>& all,
                                           const std::vector<std::string>& folders) {
  std::map<std::string, std::string> outside;
  for (const auto& [path, content] : all) {
    bool inside = false;
    for (const std::string& folder : folders) inside = inside || path == folder || path.rfind(folder + "/", 0) == 0;
    if (!inside) outside.emplace(path, content);
  }
  return outside;
}

bool Inside(const std::string& path, const std::string& folder) {
  std::string prefix = package::FoldPath(folder);
  return package::FoldPath(path).compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzzdevice::AbsoluteArguments(argc, argv);
  g_root = fuzzdevice::EnterDevice({"C:\\fuzz\\run"});
  for (int type = 0; type < version::kPackageTypeCount; ++type) {
    app::Run().LocationPaths[type] = "C:\\dev\\t" + std::to_string(type % kTrees) + (type % 2 == 0 ? "\\" : "");
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using fuzzdevice::Check;
  static unsigned runs = 0;
  LayOutDevice();
  platform::ClearPendingOperations();
  std::map<std::string, std::string> before = Snapshot();

  std::string bytes(reinterpret_cast<const char*>(data), size);
  zampack::SealPackageBytes(bytes);
  Check(fuzzdevice::WriteDeviceFile(kPackagePath, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
  package::PackageState& state = package::Package();
  state.ChangeList.clear();
  state.CopyList.clear();
  app::Run().Installers.clear();
  if (package::bOpenUpdateFile(kPackagePath) && package::bVerifyUpdateFile(kPackagePath) &&
      package::bCreateFileMappings(kPackagePath)) {
    if (package::bLoadPackageTables()) {
      package::bDeleteOldFiles();
      package::bCreateNewFolders();
      package::bCopyFiles();
    }
    package::bCloseUpdateFile();
  }

  // The root as the device resolves it, in the letter case the host has.
  std::string root = state.DestinationRoot;
  std::string hostRoot;
  std::vector<std::string> changeable = {g_root + "/C/fuzz"};
  if (platform::sim::MapPath(root.substr(0, root.size() - 1), &hostRoot)) changeable.push_back(hostRoot);
  Check(Outside(Snapshot(), changeable) == Outside(before, changeable));
  std::vector<platform::PendingOperation> pending;
  Check(platform::ListPendingOperations(&pending));
  for (const platform::PendingOperation& operation : pending) {
    Check(Inside(operation.from, root) || Inside(operation.from, "C:\\fuzz\\run\\Tmp\\"));
    if (!operation.isDelete) Check(Inside(operation.to, root));
  }
  for (const std::string& installer : app::Run().Installers) {
    Check(Inside(installer, root) || Inside(installer, "C:\\fuzz\\run\\Tmp\\"));
  }
  if (++runs % 1000 == 0) platform::RemoveFile("C:\\fuzz\\update_log.txt");
  return 0;
}
