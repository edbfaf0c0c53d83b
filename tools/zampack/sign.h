#pragma once
// Detached minisign signatures of packages (PACKAGE.minisig): made with a
// minisign secret key, checked against minisign public keys.
#include <string>

namespace zampack {

extern const char* const kSignHelp;

// zampack sign --key SECRET.key [--comment TEXT] PACKAGE...
int SignCommand(int argc, char** argv);

struct SignatureCheck {
  std::string file;  // PACKAGE.minisig
  bool verified = false;
  std::string fault;  // why not, when not verified
  std::string keyId;
  std::string algorithm;  // "prehashed" or "legacy"
  std::string trustedComment;
};

// Checks the signature beside the package whose bytes are `bytes` against
// the keys of `keyFile`, as the device does.
SignatureCheck CheckSignature(const std::string& package, const std::string& bytes, const std::string& keyFile);

}  // namespace zampack
