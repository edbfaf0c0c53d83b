#pragma once
// minisign's files, read and written in one place for the update tool and
// zampack: public key files, detached signatures (PACKAGE.minisig) and
// secret keys, with the crypto done by libsodium. Text in, values out: the
// callers read and write the files.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace minisign {

using KeyId = std::array<std::uint8_t, 8>;

struct PublicKey {
  KeyId id{};
  std::array<std::uint8_t, 32> key{};
};

struct Signature {
  // "ED": over the BLAKE2b-512 of the file; "Ed" (legacy): over the file.
  bool prehashed = false;
  KeyId keyId{};
  std::array<std::uint8_t, 64> signature{};
  std::string trustedComment;
  // Over `signature` followed by `trustedComment`.
  std::array<std::uint8_t, 64> globalSignature{};
};

struct SecretKey {
  KeyId id{};
  // libsodium's Ed25519 secret key (seed and public key).
  std::array<std::uint8_t, 64> key{};
};

// The signature file's text; false with the fault in `problem`.
bool ParseSignature(std::string_view text, Signature* signature, std::string* problem);

// Every valid public key of the text: a minisign public key file, or several
// one after another (their comment lines and empty lines are passed over).
std::vector<PublicKey> ParsePublicKeys(std::string_view text);

// Whether the secret key file's key is protected by a password.
bool SecretKeyNeedsPassword(std::string_view text);

// The secret key, decrypted with `password` when it is protected; false with
// the fault (malformed, unsupported, wrong password) in `problem`.
bool ParseSecretKey(std::string_view text, const std::string& password, SecretKey* key, std::string* problem);

// The key id as minisign shows it: the 8 bytes as a little-endian number in
// upper-case hexadecimal.
std::string KeyIdText(const KeyId& id);

// The key of `keys` whose id is `id`, or null.
const PublicKey* FindKey(const std::vector<PublicKey>& keys, const KeyId& id);

// Whether the global signature holds for the signature and trusted comment.
bool VerifyTrustedComment(const Signature& signature, const PublicKey& key);

// Whether the signature holds for the file whose BLAKE2b-512 is `hash`
// (prehashed), or whose bytes are `data` (legacy).
bool VerifyHash(const Signature& signature, const PublicKey& key, const std::uint8_t (&hash)[64]);
bool VerifyMessage(const Signature& signature, const PublicKey& key, const std::uint8_t* data, std::size_t length);

// The BLAKE2b-512 of a file given in pieces.
class FileHash {
 public:
  FileHash();
  void Update(const void* data, std::size_t length);
  void Final(std::uint8_t (&hash)[64]);

 private:
  alignas(64) std::array<std::uint8_t, 384> state_{};
};

// A prehashed signature file's text over the file whose BLAKE2b-512 is `hash`.
std::string SignHash(const SecretKey& key, const std::uint8_t (&hash)[64], const std::string& trustedComment,
                     const std::string& untrustedComment);

}  // namespace minisign
