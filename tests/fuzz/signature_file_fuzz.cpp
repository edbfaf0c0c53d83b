// libFuzzer target for the signature file (PACKAGE.minisig): arbitrary text
// parsed as the device parses it, and a parsed signature checked against a
// key as the device checks it.
#include <string_view>

#include "package/minisign.h"
#include "tests/fuzz/fuzz_device.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using fuzzdevice::Check;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  minisign::Signature signature;
  std::string problem;
  if (!minisign::ParseSignature(text, &signature, &problem)) {
    Check(!problem.empty());
    return 0;
  }
  Check(signature.trustedComment.size() <= 8192);
  Check(signature.trustedComment.find_first_of("\r\n") == std::string::npos);
  Check(!minisign::KeyIdText(signature.keyId).empty());
  // A key of the signature's id that did not make it: nothing verifies.
  minisign::PublicKey key;
  key.id = signature.keyId;
  Check(minisign::FindKey({key}, signature.keyId) != nullptr);
  Check(!minisign::VerifyTrustedComment(signature, key));
  std::uint8_t hash[64] = {};
  Check(!minisign::VerifyHash(signature, key, hash));
  Check(!minisign::VerifyMessage(signature, key, data, size));
  return 0;
}
