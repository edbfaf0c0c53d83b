#pragma once
// Checks a package's body against the MD5 digest in its header.
#include <string>

namespace package {

// Reads the body through the handle that bOpenUpdateFile left at its start,
// closes the handle whatever the outcome, and compares the digest with the
// header's Checksum; `path` is for the messages only. A prehashed signature
// that bCheckPackageSignature left pending is hashed in the same pass and
// judged before the checksum.
bool bVerifyUpdateFile(const std::string& path);

}  // namespace package
