#pragma once
// MD5 (RFC 1321), computed incrementally: the package checksum.
#include <cstddef>
#include <cstdint>

namespace package {

struct Md5Context {
  std::uint32_t state[4];
  std::uint64_t bitCount;
  std::uint8_t buffer[64];
};

void Md5Init(Md5Context* context);
// Whole 64-byte blocks are transformed at once; the rest waits in the buffer.
void Md5Update(Md5Context* context, const void* data, std::size_t count);
// Pads, writes the 16-byte digest and clears the context.
void Md5Final(std::uint8_t digest[16], Md5Context* context);

}  // namespace package
