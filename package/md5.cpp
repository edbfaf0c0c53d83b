#include "package/md5.h"

#include <cstring>

namespace package {
namespace {

std::uint32_t Rotate(std::uint32_t x, int s) { return (x << s) | (x >> (32 - s)); }

std::uint32_t F(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return z ^ (x & (y ^ z)); }
// (x & z) | (y & ~z), as a sum of its two disjoint halves: the half that does
// not wait for z can start early.
std::uint32_t G(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return (y & ~z) + (x & z); }
std::uint32_t H(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return x ^ y ^ z; }
std::uint32_t I(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return y ^ (x | ~z); }

using RoundFunction = std::uint32_t (*)(std::uint32_t, std::uint32_t, std::uint32_t);

// One of the 64 steps; written out below so that the compiler sees constant
// word indexes, shifts and sines.
inline void Step(RoundFunction f, std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                 std::uint32_t word, std::uint32_t sine, int shift) {
  a = b + Rotate(a + word + sine + f(b, c, d), shift);
}

void Transform(std::uint32_t state[4], const std::uint8_t* block) {
  std::uint32_t x[16];
  for (int i = 0; i < 16; ++i) {
    const std::uint8_t* p = block + 4 * i;
    x[i] = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
  }
  std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];

  Step(F, a, b, c, d, x[0], 0xd76aa478, 7);
  Step(F, d, a, b, c, x[1], 0xe8c7b756, 12);
  Step(F, c, d, a, b, x[2], 0x242070db, 17);
  Step(F, b, c, d, a, x[3], 0xc1bdceee, 22);
  Step(F, a, b, c, d, x[4], 0xf57c0faf, 7);
  Step(F, d, a, b, c, x[5], 0x4787c62a, 12);
  Step(F, c, d, a, b, x[6], 0xa8304613, 17);
  Step(F, b, c, d, a, x[7], 0xfd469501, 22);
  Step(F, a, b, c, d, x[8], 0x698098d8, 7);
  Step(F, d, a, b, c, x[9], 0x8b44f7af, 12);
  Step(F, c, d, a, b, x[10], 0xffff5bb1, 17);
  Step(F, b, c, d, a, x[11], 0x895cd7be, 22);
  Step(F, a, b, c, d, x[12], 0x6b901122, 7);
  Step(F, d, a, b, c, x[13], 0xfd987193, 12);
  Step(F, c, d, a, b, x[14], 0xa679438e, 17);
  Step(F, b, c, d, a, x[15], 0x49b40821, 22);

  Step(G, a, b, c, d, x[1], 0xf61e2562, 5);
  Step(G, d, a, b, c, x[6], 0xc040b340, 9);
  Step(G, c, d, a, b, x[11], 0x265e5a51, 14);
  Step(G, b, c, d, a, x[0], 0xe9b6c7aa, 20);
  Step(G, a, b, c, d, x[5], 0xd62f105d, 5);
  Step(G, d, a, b, c, x[10], 0x02441453, 9);
  Step(G, c, d, a, b, x[15], 0xd8a1e681, 14);
  Step(G, b, c, d, a, x[4], 0xe7d3fbc8, 20);
  Step(G, a, b, c, d, x[9], 0x21e1cde6, 5);
  Step(G, d, a, b, c, x[14], 0xc33707d6, 9);
  Step(G, c, d, a, b, x[3], 0xf4d50d87, 14);
  Step(G, b, c, d, a, x[8], 0x455a14ed, 20);
  Step(G, a, b, c, d, x[13], 0xa9e3e905, 5);
  Step(G, d, a, b, c, x[2], 0xfcefa3f8, 9);
  Step(G, c, d, a, b, x[7], 0x676f02d9, 14);
  Step(G, b, c, d, a, x[12], 0x8d2a4c8a, 20);

  Step(H, a, b, c, d, x[5], 0xfffa3942, 4);
  Step(H, d, a, b, c, x[8], 0x8771f681, 11);
  Step(H, c, d, a, b, x[11], 0x6d9d6122, 16);
  Step(H, b, c, d, a, x[14], 0xfde5380c, 23);
  Step(H, a, b, c, d, x[1], 0xa4beea44, 4);
  Step(H, d, a, b, c, x[4], 0x4bdecfa9, 11);
  Step(H, c, d, a, b, x[7], 0xf6bb4b60, 16);
  Step(H, b, c, d, a, x[10], 0xbebfbc70, 23);
  Step(H, a, b, c, d, x[13], 0x289b7ec6, 4);
  Step(H, d, a, b, c, x[0], 0xeaa127fa, 11);
  Step(H, c, d, a, b, x[3], 0xd4ef3085, 16);
  Step(H, b, c, d, a, x[6], 0x04881d05, 23);
  Step(H, a, b, c, d, x[9], 0xd9d4d039, 4);
  Step(H, d, a, b, c, x[12], 0xe6db99e5, 11);
  Step(H, c, d, a, b, x[15], 0x1fa27cf8, 16);
  Step(H, b, c, d, a, x[2], 0xc4ac5665, 23);

  Step(I, a, b, c, d, x[0], 0xf4292244, 6);
  Step(I, d, a, b, c, x[7], 0x432aff97, 10);
  Step(I, c, d, a, b, x[14], 0xab9423a7, 15);
  Step(I, b, c, d, a, x[5], 0xfc93a039, 21);
  Step(I, a, b, c, d, x[12], 0x655b59c3, 6);
  Step(I, d, a, b, c, x[3], 0x8f0ccc92, 10);
  Step(I, c, d, a, b, x[10], 0xffeff47d, 15);
  Step(I, b, c, d, a, x[1], 0x85845dd1, 21);
  Step(I, a, b, c, d, x[8], 0x6fa87e4f, 6);
  Step(I, d, a, b, c, x[15], 0xfe2ce6e0, 10);
  Step(I, c, d, a, b, x[6], 0xa3014314, 15);
  Step(I, b, c, d, a, x[13], 0x4e0811a1, 21);
  Step(I, a, b, c, d, x[4], 0xf7537e82, 6);
  Step(I, d, a, b, c, x[11], 0xbd3af235, 10);
  Step(I, c, d, a, b, x[2], 0x2ad7d2bb, 15);
  Step(I, b, c, d, a, x[9], 0xeb86d391, 21);

  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
}

}  // namespace

void Md5Init(Md5Context* context) {
  context->state[0] = 0x67452301;
  context->state[1] = 0xefcdab89;
  context->state[2] = 0x98badcfe;
  context->state[3] = 0x10325476;
  context->bitCount = 0;
}

void Md5Update(Md5Context* context, const void* data, std::size_t count) {
  const std::uint8_t* input = static_cast<const std::uint8_t*>(data);
  std::size_t buffered = static_cast<std::size_t>((context->bitCount >> 3) & 63);
  context->bitCount += static_cast<std::uint64_t>(count) << 3;
  if (buffered != 0) {
    std::size_t room = 64 - buffered;
    if (count < room) {
      std::memcpy(context->buffer + buffered, input, count);
      return;
    }
    std::memcpy(context->buffer + buffered, input, room);
    Transform(context->state, context->buffer);
    input += room;
    count -= room;
  }
  for (; count >= 64; input += 64, count -= 64) Transform(context->state, input);
  if (count != 0) std::memcpy(context->buffer, input, count);
}

void Md5Final(std::uint8_t digest[16], Md5Context* context) {
  std::uint8_t length[8];
  for (int i = 0; i < 8; ++i) length[i] = static_cast<std::uint8_t>(context->bitCount >> (8 * i));
  // A 0x80 byte, zeros up to 56 bytes into a block, then the bit count.
  static const std::uint8_t kPadding[64] = {0x80};
  std::size_t buffered = static_cast<std::size_t>((context->bitCount >> 3) & 63);
  std::size_t padding = buffered < 56 ? 56 - buffered : 120 - buffered;
  Md5Update(context, kPadding, padding);
  Md5Update(context, length, 8);
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) digest[4 * i + j] = static_cast<std::uint8_t>(context->state[i] >> (8 * j));
  }
  std::memset(context, 0, sizeof(*context));
}

}  // namespace package
