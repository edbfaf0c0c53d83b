#include "package/minisign.h"

#include <sodium.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace minisign {
namespace {

constexpr std::string_view kUntrustedPrefix = "untrusted comment: ";
constexpr std::string_view kTrustedPrefix = "trusted comment: ";
constexpr std::size_t kTrustedCommentMax = 8192;
constexpr std::size_t kSignatureBytes = 2 + 8 + 64;
constexpr std::size_t kPublicKeyBytes = 2 + 8 + 32;
// Algorithms, salt, the two scrypt limits, then key id, key and checksum.
constexpr std::size_t kSecretHeadBytes = 2 + 2 + 2 + 32 + 8 + 8;
constexpr std::size_t kSecretBodyBytes = 8 + 64 + 32;
constexpr std::size_t kSecretKeyBytes = kSecretHeadBytes + kSecretBodyBytes;
// What minisign -G asks of scrypt at most (its "sensitive" limits).
constexpr std::uint64_t kMaxMemLimit = 1ull << 30;
constexpr std::uint64_t kMaxOpsLimit = 1ull << 25;

static_assert(sizeof(crypto_generichash_state) <= 384 && alignof(crypto_generichash_state) <= 64);

bool SodiumReady() {
  static const bool ready = sodium_init() >= 0;
  return ready;
}

// The lines of a file, without their line ends (LF or CR LF).
std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
  }
  return lines;
}

// Standard base64 with padding, decoding to exactly `size` bytes.
bool Base64(std::string_view line, std::uint8_t* out, std::size_t size) {
  if (line.size() != sodium_base64_ENCODED_LEN(size, sodium_base64_VARIANT_ORIGINAL) - 1) return false;
  std::size_t length = 0;
  const char* end = nullptr;
  return sodium_base642bin(out, size, line.data(), line.size(), nullptr, &length, &end,
                           sodium_base64_VARIANT_ORIGINAL) == 0 &&
         length == size && end == line.data() + line.size();
}

std::string ToBase64(const std::uint8_t* data, std::size_t size) {
  std::string text(sodium_base64_ENCODED_LEN(size, sodium_base64_VARIANT_ORIGINAL), '\0');
  sodium_bin2base64(text.data(), text.size(), data, size, sodium_base64_VARIANT_ORIGINAL);
  text.pop_back();
  return text;
}

std::uint64_t Little64(const std::uint8_t* bytes) {
  std::uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = (value << 8) | bytes[i];
  return value;
}

std::vector<std::uint8_t> CommentMessage(const std::array<std::uint8_t, 64>& signature, const std::string& comment) {
  std::vector<std::uint8_t> message(signature.begin(), signature.end());
  message.insert(message.end(), comment.begin(), comment.end());
  return message;
}

}  // namespace

bool ParseSignature(std::string_view text, Signature* signature, std::string* problem) {
  std::vector<std::string_view> lines = Lines(text);
  if (lines.size() < 4) {
    *problem = "truncated: " + std::to_string(lines.size()) + " of its 4 lines";
    return false;
  }
  if (lines[0].substr(0, kUntrustedPrefix.size()) != kUntrustedPrefix) {
    *problem = "line 1 is not an untrusted comment";
    return false;
  }
  std::uint8_t bytes[kSignatureBytes];
  if (!Base64(lines[1], bytes, sizeof(bytes))) {
    *problem = "line 2 is not the base64 of a signature";
    return false;
  }
  if (std::memcmp(bytes, "ED", 2) != 0 && std::memcmp(bytes, "Ed", 2) != 0) {
    *problem = "unsupported signature algorithm";
    return false;
  }
  if (lines[2].substr(0, kTrustedPrefix.size()) != kTrustedPrefix ||
      lines[2].size() - kTrustedPrefix.size() > kTrustedCommentMax) {
    *problem = "line 3 is not a trusted comment";
    return false;
  }
  Signature parsed;
  if (!Base64(lines[3], parsed.globalSignature.data(), parsed.globalSignature.size())) {
    *problem = "line 4 is not the base64 of a global signature";
    return false;
  }
  parsed.prehashed = bytes[1] == 'D';
  std::copy(bytes + 2, bytes + 10, parsed.keyId.begin());
  std::copy(bytes + 10, bytes + kSignatureBytes, parsed.signature.begin());
  parsed.trustedComment = std::string(lines[2].substr(kTrustedPrefix.size()));
  *signature = parsed;
  return true;
}

std::vector<PublicKey> ParsePublicKeys(std::string_view text) {
  std::vector<PublicKey> keys;
  for (std::string_view line : Lines(text)) {
    std::uint8_t bytes[kPublicKeyBytes];
    if (line.empty() || line.substr(0, kUntrustedPrefix.size()) == kUntrustedPrefix) continue;
    if (!Base64(line, bytes, sizeof(bytes)) || std::memcmp(bytes, "Ed", 2) != 0) continue;
    PublicKey key;
    std::copy(bytes + 2, bytes + 10, key.id.begin());
    std::copy(bytes + 10, bytes + kPublicKeyBytes, key.key.begin());
    keys.push_back(key);
  }
  return keys;
}

namespace {

bool SecretKeyBytes(std::string_view text, std::uint8_t (&bytes)[kSecretKeyBytes]) {
  std::vector<std::string_view> lines = Lines(text);
  return lines.size() >= 2 && lines[0].substr(0, kUntrustedPrefix.size()) == kUntrustedPrefix &&
         Base64(lines[1], bytes, kSecretKeyBytes);
}

}  // namespace

bool SecretKeyNeedsPassword(std::string_view text) {
  std::uint8_t bytes[kSecretKeyBytes];
  return SecretKeyBytes(text, bytes) && std::memcmp(bytes + 2, "Sc", 2) == 0;
}

bool ParseSecretKey(std::string_view text, const std::string& password, SecretKey* key, std::string* problem) {
  std::uint8_t bytes[kSecretKeyBytes];
  if (!SodiumReady() || !SecretKeyBytes(text, bytes)) {
    *problem = "not a minisign secret key file";
    return false;
  }
  if (std::memcmp(bytes, "Ed", 2) != 0 || std::memcmp(bytes + 4, "B2", 2) != 0) {
    *problem = "unsupported secret key algorithms";
    return false;
  }
  std::uint8_t* body = bytes + kSecretHeadBytes;
  if (std::memcmp(bytes + 2, "Sc", 2) == 0) {
    std::uint64_t opsLimit = Little64(bytes + 38);
    std::uint64_t memLimit = Little64(bytes + 46);
    if (opsLimit > kMaxOpsLimit || memLimit > kMaxMemLimit) {
      *problem = "the key's password hashing asks for more than minisign ever does";
      return false;
    }
    std::uint8_t stream[kSecretBodyBytes];
    if (crypto_pwhash_scryptsalsa208sha256(stream, sizeof(stream), password.data(), password.size(), bytes + 6,
                                           opsLimit, static_cast<std::size_t>(memLimit)) != 0) {
      *problem = "the key's password hashing failed (out of memory?)";
      return false;
    }
    for (std::size_t i = 0; i < kSecretBodyBytes; ++i) body[i] ^= stream[i];
    sodium_memzero(stream, sizeof(stream));
  } else if (bytes[2] != 0 || bytes[3] != 0) {
    *problem = "unsupported secret key encryption";
    return false;
  }
  // The checksum covers the algorithm, the key id and the key; minisign
  // leaves it zero in a key without a password. The key's public half must
  // also be the one its seed makes.
  std::uint8_t check[32];
  crypto_generichash_state state;
  crypto_generichash_init(&state, nullptr, 0, sizeof(check));
  crypto_generichash_update(&state, bytes, 2);
  crypto_generichash_update(&state, body, 8 + 64);
  crypto_generichash_final(&state, check, sizeof(check));
  std::uint8_t publicKey[32];
  std::uint8_t secretKey[64];
  crypto_sign_seed_keypair(publicKey, secretKey, body + 8);
  bool plain = bytes[2] == 0 && sodium_is_zero(body + 72, sizeof(check));
  bool sound = (plain || sodium_memcmp(check, body + 72, sizeof(check)) == 0) &&
               sodium_memcmp(publicKey, body + 8 + 32, sizeof(publicKey)) == 0;
  sodium_memzero(secretKey, sizeof(secretKey));
  if (sound) {
    std::copy(body, body + 8, key->id.begin());
    std::copy(body + 8, body + 72, key->key.begin());
  } else {
    *problem = "wrong password, or a damaged key";
  }
  sodium_memzero(bytes, sizeof(bytes));
  return sound;
}

std::string KeyIdText(const KeyId& id) {
  char text[17];
  std::snprintf(text, sizeof(text), "%llX", static_cast<unsigned long long>(Little64(id.data())));
  return text;
}

const PublicKey* FindKey(const std::vector<PublicKey>& keys, const KeyId& id) {
  for (const PublicKey& key : keys) {
    if (key.id == id) return &key;
  }
  return nullptr;
}

bool VerifyTrustedComment(const Signature& signature, const PublicKey& key) {
  std::vector<std::uint8_t> message = CommentMessage(signature.signature, signature.trustedComment);
  return SodiumReady() && crypto_sign_verify_detached(signature.globalSignature.data(), message.data(),
                                                      message.size(), key.key.data()) == 0;
}

bool VerifyHash(const Signature& signature, const PublicKey& key, const std::uint8_t (&hash)[64]) {
  return signature.prehashed && SodiumReady() &&
         crypto_sign_verify_detached(signature.signature.data(), hash, sizeof(hash), key.key.data()) == 0;
}

bool VerifyMessage(const Signature& signature, const PublicKey& key, const std::uint8_t* data, std::size_t length) {
  return !signature.prehashed && SodiumReady() &&
         crypto_sign_verify_detached(signature.signature.data(), data, length, key.key.data()) == 0;
}

FileHash::FileHash() {
  SodiumReady();
  crypto_generichash_init(reinterpret_cast<crypto_generichash_state*>(state_.data()), nullptr, 0, 64);
}

void FileHash::Update(const void* data, std::size_t length) {
  crypto_generichash_update(reinterpret_cast<crypto_generichash_state*>(state_.data()),
                            static_cast<const unsigned char*>(data), length);
}

void FileHash::Final(std::uint8_t (&hash)[64]) {
  crypto_generichash_final(reinterpret_cast<crypto_generichash_state*>(state_.data()), hash, sizeof(hash));
}

std::string SignHash(const SecretKey& key, const std::uint8_t (&hash)[64], const std::string& trustedComment,
                     const std::string& untrustedComment) {
  SodiumReady();
  std::uint8_t bytes[kSignatureBytes];
  std::memcpy(bytes, "ED", 2);
  std::copy(key.id.begin(), key.id.end(), bytes + 2);
  crypto_sign_detached(bytes + 10, nullptr, hash, sizeof(hash), key.key.data());
  std::array<std::uint8_t, 64> signature;
  std::copy(bytes + 10, bytes + kSignatureBytes, signature.begin());
  std::vector<std::uint8_t> message = CommentMessage(signature, trustedComment);
  std::uint8_t global[64];
  crypto_sign_detached(global, nullptr, message.data(), message.size(), key.key.data());
  return std::string(kUntrustedPrefix) + untrustedComment + "\n" + ToBase64(bytes, sizeof(bytes)) + "\n" +
         std::string(kTrustedPrefix) + trustedComment + "\n" + ToBase64(global, sizeof(global)) + "\n";
}

}  // namespace minisign
