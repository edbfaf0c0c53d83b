#include "tools/zampack/sign.h"

#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <vector>

#include "package/minisign.h"
#include "platform/terminal.h"
#include "tools/zampack/package_image.h"

namespace zampack {

const char* const kSignHelp =
    "usage: zampack sign --key SECRET.key [--comment TEXT] PACKAGE...\n"
    "\n"
    "Writes PACKAGE.minisig beside each package: a minisign signature (the\n"
    "prehashed kind, minisign's default) that `minisign -V` and a device holding\n"
    "the matching public key accept. SECRET.key is a minisign secret key\n"
    "(`minisign -G`); when it is protected by a password, the password is read\n"
    "from standard input (typed without echo at a terminal). TEXT is the trusted\n"
    "comment, which the signature covers and the device logs; by default\n"
    "\"timestamp:SECONDS<TAB>file:NAME<TAB>hashed\", as minisign writes it.\n"
    "\n"
    "Exit codes: 0 signed; 1 a package or signature file cannot be read or\n"
    "written; 2 a wrong command line, or a key that cannot be used.\n";

namespace {

void Hash(const std::string& bytes, std::uint8_t (&hash)[64]) {
  minisign::FileHash state;
  state.Update(bytes.data(), bytes.size());
  state.Final(hash);
}

}  // namespace

int SignCommand(int argc, char** argv) {
  std::string keyFile;
  std::string comment;
  bool haveComment = false;
  std::vector<std::string> packages;
  for (int i = 2; i < argc; ++i) {
    std::string argument = argv[i];
    if ((argument == "--key" || argument == "--comment") && i + 1 < argc) {
      (argument == "--key" ? keyFile : comment) = argv[++i];
      haveComment = haveComment || argument == "--comment";
    } else if (argument.size() > 1 && argument[0] == '-') {
      std::cerr << "zampack sign: unknown option or missing value: " << argument << "\n";
      return 2;
    } else {
      packages.push_back(argument);
    }
  }
  if (keyFile.empty() || packages.empty()) {
    std::cerr << "zampack sign: give --key SECRET.key and at least one package\n";
    return 2;
  }
  if (comment.find_first_of("\r\n") != std::string::npos) {
    std::cerr << "zampack sign: the trusted comment is one line\n";
    return 2;
  }
  std::string keyText;
  std::string error;
  if (!ReadHostFile(keyFile, &keyText, &error)) {
    std::cerr << "zampack sign: " << keyFile << ": cannot be read" << (error.empty() ? "" : ": " + error) << "\n";
    return 2;
  }
  std::string password;
  if (minisign::SecretKeyNeedsPassword(keyText) && !platform::ReadSecretLine("Password: ", &password)) {
    std::cerr << "zampack sign: " << keyFile << " needs its password on standard input\n";
    return 2;
  }
  minisign::SecretKey key;
  std::string problem;
  if (!minisign::ParseSecretKey(keyText, password, &key, &problem)) {
    std::cerr << "zampack sign: " << keyFile << ": " << problem << "\n";
    return 2;
  }
  for (const std::string& package : packages) {
    std::string bytes;
    if (!ReadHostFile(package, &bytes, &error)) {
      std::cerr << "zampack sign: " << package << ": cannot be read" << (error.empty() ? "" : ": " + error) << "\n";
      return 1;
    }
    std::uint8_t hash[64];
    Hash(bytes, hash);
    std::string trusted = haveComment ? comment
                                      : "timestamp:" + std::to_string(std::time(nullptr)) + "\tfile:" +
                                            package.substr(package.find_last_of("/\\") + 1) + "\thashed";
    std::string text = minisign::SignHash(key, hash, trusted, "signature from zampack secret key " +
                                                                  minisign::KeyIdText(key.id));
    std::string target = package + ".minisig";
    std::ofstream out(HostPath(target), std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
      std::cerr << "zampack sign: " << target << ": cannot be written\n";
      return 1;
    }
    std::cout << target << ": signed with key " << minisign::KeyIdText(key.id) << "\n";
  }
  return 0;
}

SignatureCheck CheckSignature(const std::string& package, const std::string& bytes, const std::string& keyFile) {
  SignatureCheck check;
  check.file = package + ".minisig";
  std::string text;
  if (!ReadHostFile(keyFile, &text)) {
    check.fault = "the key file " + keyFile + " cannot be read";
    return check;
  }
  std::vector<minisign::PublicKey> keys = minisign::ParsePublicKeys(text);
  if (keys.empty()) {
    check.fault = "no valid key in " + keyFile;
    return check;
  }
  if (!ReadHostFile(check.file, &text)) {
    check.fault = "no signature (" + check.file + " cannot be read)";
    return check;
  }
  minisign::Signature signature;
  std::string problem;
  if (!minisign::ParseSignature(text, &signature, &problem)) {
    check.fault = "malformed signature file " + check.file + " (" + problem + ")";
    return check;
  }
  check.keyId = minisign::KeyIdText(signature.keyId);
  check.algorithm = signature.prehashed ? "prehashed" : "legacy";
  check.trustedComment = signature.trustedComment;
  const minisign::PublicKey* key = minisign::FindKey(keys, signature.keyId);
  if (key == nullptr) {
    check.fault = "unknown key id " + check.keyId;
    return check;
  }
  if (!minisign::VerifyTrustedComment(signature, *key)) {
    check.fault = "bad trusted comment";
    return check;
  }
  std::uint8_t hash[64];
  Hash(bytes, hash);
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  check.verified = signature.prehashed ? minisign::VerifyHash(signature, *key, hash)
                                       : minisign::VerifyMessage(signature, *key, data, bytes.size());
  if (!check.verified) check.fault = "bad signature";
  return check;
}

}  // namespace zampack
