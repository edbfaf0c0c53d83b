#pragma once
// Signed packages: a device that holds its maker's public keys runs only
// packages whose detached minisign signature (PACKAGE.minisig) one of them
// made. Without the key file nothing is checked and nothing is logged.
#include <string>

namespace package {

// Where the device keeps its trusted keys, in a folder only administrators
// can write, beside the in-use marker.
extern const char kUpdateKeysPath[];

// Before bVerifyUpdateFile, with the package open: reads the keys and the
// signature and checks all that needs no pass over the package. A prehashed
// signature is finished by bVerifyUpdateFile in its checksum pass; a legacy
// one is checked here over the mapped package. On refusal: an "ERROR: "
// line naming the package and the reason, message 9, the package closed.
bool bCheckPackageSignature(const std::string& path);

// Called by bVerifyUpdateFile after its pass when a prehashed signature is
// pending: the same refusal as above, or the accepted package's trusted
// comment logged.
bool bFinishPackageSignature(const std::string& path);

}  // namespace package
