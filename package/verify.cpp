#include "package/verify.h"

#include <cstring>
#include <vector>

#include "app/progress_window.h"
#include "app/run_log.h"
#include "package/md5.h"
#include "package/package.h"
#include "package/signature.h"

namespace package {
namespace {

constexpr platform::Dword kReadSize = 0x40000;
constexpr int kCorruptMessage = 11;

}  // namespace

bool bVerifyUpdateFile(const std::string& path) {
  PackageState& state = Package();
  std::vector<std::uint8_t> buffer(kReadSize);
  Md5Context context;
  Md5Init(&context);

  std::uint32_t bodyLength = state.packageSize > state.bodyStart ? state.packageSize - state.bodyStart : 0;
  app::SetProgressTotal(bodyLength);
  app::ShowProgress(0);
  std::uint64_t total = 0;
  platform::Dword read = 0;
  do {
    if (!platform::ReadFromFile(state.file, buffer.data(), kReadSize, &read)) read = 0;
    if (read > 0) Md5Update(&context, buffer.data(), read);
    if (read > 0 && state.signaturePending) state.signedHash.Update(buffer.data(), read);
    total += read;
    app::ShowProgress(static_cast<std::uint32_t>(total));
    app::PumpMessages();
  } while (total < bodyLength && read > 0);
  state.file.Close();

  // The signature is judged first: a package signed by no trusted key is
  // refused for that, whatever its checksum says.
  if (state.signaturePending && !bFinishPackageSignature(path)) return false;
  std::uint8_t digest[16];
  Md5Final(digest, &context);
  if (std::memcmp(digest, state.header.Checksum, sizeof(digest)) == 0) {
    app::PumpMessages();
    return true;
  }
  app::LogMessage("ERROR: Checksum didn't match for \"%s\".\r\n", path.c_str());
  app::ShowMessage(kCorruptMessage);
  return false;
}

}  // namespace package
