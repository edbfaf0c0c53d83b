// libFuzzer target for the key files: arbitrary text read as the device's
// public key file and, where it asks for no password, as zampack's secret
// key file.
#include <string_view>

#include "package/minisign.h"
#include "tests/fuzz/fuzz_device.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using fuzzdevice::Check;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<minisign::PublicKey> keys = minisign::ParsePublicKeys(text);
  // Each key is a line of 56 characters at least.
  Check(keys.size() <= size / 56);
  for (const minisign::PublicKey& key : keys) Check(minisign::FindKey(keys, key.id) != nullptr);
  // A protected key would run scrypt at whatever limits the input names.
  if (minisign::SecretKeyNeedsPassword(text)) return 0;
  minisign::SecretKey secret;
  std::string problem;
  if (minisign::ParseSecretKey(text, "", &secret, &problem)) {
    std::uint8_t hash[64] = {};
    std::string signature = minisign::SignHash(secret, hash, "fuzz", "fuzz");
    minisign::Signature parsed;
    Check(minisign::ParseSignature(signature, &parsed, &problem));
    Check(parsed.keyId == secret.id && parsed.trustedComment == "fuzz");
  } else {
    Check(!problem.empty());
  }
  return 0;
}
