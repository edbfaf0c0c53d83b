#include "package/signature.h"

#include <vector>

#include "app/progress_window.h"
#include "app/run_log.h"
#include "package/minisign.h"
#include "package/package.h"
#include "platform/environment.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/mapping.h"

namespace package {

const char kUpdateKeysPath[] = "%SYSTEMROOT%\\OEM\\ZAMHelper\\UpdateKeys.pub";

namespace {

constexpr int kRefusedMessage = 9;
// Key and signature files are a few lines; anything larger is not one.
constexpr std::uint64_t kMaxKeyFileSize = 1 << 20;
constexpr std::uint64_t kMaxSignatureFileSize = 64 * 1024;

// The whole of a small file; false with the system's error code.
bool ReadSmallFile(const std::string& path, std::uint64_t limit, std::string* text, platform::Dword* error) {
  platform::File file = platform::OpenFile(path, platform::kGenericRead, platform::kShareRead,
                                           platform::Disposition::OpenExisting, platform::kAttributeNormal);
  std::uint64_t size = 0;
  if (!file.IsValid() || !platform::FileSize(file, &size)) {
    *error = platform::LastError();
    return false;
  }
  if (size > limit) {
    *error = platform::kErrorFileTooLarge;
    return false;
  }
  text->assign(static_cast<std::size_t>(size), '\0');
  platform::Dword read = 0;
  if (size > 0 && (!platform::ReadFromFile(file, text->data(), static_cast<platform::Dword>(size), &read) ||
                   read != size)) {
    *error = read != size && platform::LastError() == platform::kErrorSuccess ? platform::kErrorHandleEof
                                                                             : platform::LastError();
    return false;
  }
  return true;
}

bool Refuse(const std::string& path, const std::string& reason) {
  PackageState& state = Package();
  state.file.Close();
  state.signaturePending = false;
  app::LogMessage("ERROR: Signature check failed for \"%s\": %s.\r\n", path.c_str(), reason.c_str());
  app::ShowMessage(kRefusedMessage);
  return false;
}

bool Accept(const std::string& path) {
  PackageState& state = Package();
  std::string comment = state.signature.trustedComment;
  // One log line per entry: a comment's control characters are not written as they are.
  for (char& c : comment) {
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  }
  app::LogMessage("Signature verified for \"%s\": key %s, trusted comment: %s\r\n", path.c_str(),
                  minisign::KeyIdText(state.signingKey.id).c_str(), comment.c_str());
  state.signaturePending = false;
  return true;
}

// A legacy signature covers the file itself: checked over one mapped view.
bool VerifyMapped(const std::string& path) {
  PackageState& state = Package();
  platform::File file = platform::OpenFile(path, platform::kGenericRead, platform::kShareRead,
                                           platform::Disposition::OpenExisting, platform::kAttributeNormal);
  platform::Mapping mapping;
  if (file.IsValid()) mapping = platform::CreateMapping(file, platform::kPageReadOnly, state.packageSize);
  platform::View view;
  if (mapping.IsValid()) view = platform::MapView(mapping, platform::kFileMapRead, 0, state.packageSize);
  return view.IsMapped() &&
         minisign::VerifyMessage(state.signature, state.signingKey, view.base(), state.packageSize);
}

}  // namespace

bool bCheckPackageSignature(const std::string& path) {
  PackageState& state = Package();
  state.signaturePending = false;
  std::string keysPath = platform::ExpandEnvironment(kUpdateKeysPath);
  std::string text;
  platform::Dword error = 0;
  if (!ReadSmallFile(keysPath, kMaxKeyFileSize, &text, &error)) {
    if (error == platform::kErrorFileNotFound || error == platform::kErrorPathNotFound) return true;
    return Refuse(path, "unreadable key file \"" + keysPath + "\" (error " + std::to_string(error) + ")");
  }
  std::vector<minisign::PublicKey> keys = minisign::ParsePublicKeys(text);
  if (keys.empty()) return Refuse(path, "no valid key in the key file \"" + keysPath + "\"");

  std::string signaturePath = path + ".minisig";
  if (!ReadSmallFile(signaturePath, kMaxSignatureFileSize, &text, &error)) {
    return Refuse(path, "no signature (\"" + signaturePath + "\": error " + std::to_string(error) + ")");
  }
  std::string problem;
  if (!minisign::ParseSignature(text, &state.signature, &problem)) {
    return Refuse(path, "malformed signature file \"" + signaturePath + "\" (" + problem + ")");
  }
  const minisign::PublicKey* key = minisign::FindKey(keys, state.signature.keyId);
  if (key == nullptr) return Refuse(path, "unknown key id " + minisign::KeyIdText(state.signature.keyId));
  state.signingKey = *key;
  if (!minisign::VerifyTrustedComment(state.signature, state.signingKey)) return Refuse(path, "bad trusted comment");
  if (!state.signature.prehashed) {
    if (!VerifyMapped(path)) return Refuse(path, "bad signature");
    return Accept(path);
  }

  // The header lies before the position where verification reads on.
  std::uint8_t header[kHeaderSize];
  platform::Dword read = 0;
  bool haveHeader = platform::SeekFile(state.file, 0, platform::SeekFrom::Begin, nullptr) &&
                    platform::ReadFromFile(state.file, header, kHeaderSize, &read) && read == kHeaderSize &&
                    platform::SeekFile(state.file, state.bodyStart, platform::SeekFrom::Begin, nullptr);
  if (!haveHeader) return Refuse(path, "bad signature (the header cannot be read again)");
  state.signedHash = minisign::FileHash();
  state.signedHash.Update(header, kHeaderSize);
  state.signaturePending = true;
  return true;
}

bool bFinishPackageSignature(const std::string& path) {
  PackageState& state = Package();
  std::uint8_t hash[64];
  state.signedHash.Final(hash);
  if (!minisign::VerifyHash(state.signature, state.signingKey, hash)) return Refuse(path, "bad signature");
  return Accept(path);
}

}  // namespace package
