// MD5 against RFC 1321's own test suite, fed whole and in awkward pieces.
#include <algorithm>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "package/md5.h"

namespace {

std::string Hex(const std::uint8_t* digest) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (int i = 0; i < 16; ++i) {
    text += kDigits[digest[i] >> 4];
    text += kDigits[digest[i] & 15];
  }
  return text;
}

std::string Digest(const std::string& input) {
  package::Md5Context context;
  package::Md5Init(&context);
  package::Md5Update(&context, input.data(), input.size());
  std::uint8_t digest[16];
  package::Md5Final(digest, &context);
  return Hex(digest);
}

TEST(Md5Test, Rfc1321Suite) {
  EXPECT_EQ(Digest(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(Digest("a"), "0cc175b9c0f1b6a831c399e269772661");
  EXPECT_EQ(Digest("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(Digest("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
  EXPECT_EQ(Digest("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
  EXPECT_EQ(Digest("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
            "d174ab98d277d9f5a5611c2c9f419d9f");
  EXPECT_EQ(Digest("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
            "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(Md5Test, PiecesAcrossBlockAndPaddingBoundariesGiveTheSameDigest) {
  // One million 'a', fed in pieces that start and end at every offset of a block.
  std::string input(1000000, 'a');
  const std::size_t sizes[] = {1, 55, 56, 57, 63, 64, 65, 127, 128, 1000, 4095};
  package::Md5Context context;
  package::Md5Init(&context);
  std::size_t done = 0;
  for (int i = 0; done < input.size(); ++i) {
    std::size_t piece = std::min(sizes[i % 11], input.size() - done);
    package::Md5Update(&context, input.data() + done, piece);
    done += piece;
  }
  std::uint8_t digest[16];
  package::Md5Final(digest, &context);
  EXPECT_EQ(Hex(digest), "7707d6ae4e027c70eea2a935c2296f21");

  // Padding that still fits the last block, needs one more, or follows a whole block.
  EXPECT_EQ(Digest(std::string(55, 'x')), "04364420e25c512fd958a70738aa8f72");
  EXPECT_EQ(Digest(std::string(56, 'x')), "668a72d5ba17f08e62dabcafad6db14b");
  EXPECT_EQ(Digest(std::string(64, 'x')), "c1bb4f81d892b2d57947682aeb252456");
}

TEST(Md5Test, FinalClearsTheContext) {
  package::Md5Context context;
  package::Md5Init(&context);
  package::Md5Update(&context, "abc", 3);
  std::uint8_t digest[16];
  package::Md5Final(digest, &context);
  package::Md5Context zero;
  std::memset(&zero, 0, sizeof(zero));
  EXPECT_EQ(std::memcmp(&context, &zero, sizeof(context)), 0);
}

}  // namespace
