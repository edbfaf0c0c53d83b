#pragma once
// Reading a finished package back: the readable listing and the checks.
#include <ostream>
#include <string>

namespace zampack {

// Prints the header, the change records and the file records; false when
// the package cannot be read or is too short to list.
bool ListPackage(const std::string& path, std::ostream& out, std::ostream& errors);

// The same as one JSON document, with the totals by change kind and the
// bytes stored and unpacked.
bool ListPackageJson(const std::string& path, std::ostream& out, std::ostream& errors);

// Checks the checksum, the structure and every record; prints one line per
// fault to `errors` (`json`: one JSON document to `out` with the faults);
// true when there is none. With a `keyFile` (minisign public keys), the
// signature PACKAGE.minisig is checked too, as the device checks it: which
// key signed and the trusted comment are printed.
bool VerifyPackage(const std::string& path, const std::string& keyFile, bool json, std::ostream& out,
                   std::ostream& errors);

// Checks the device folder `device` against the base record beside the
// package: prints each file that differs (`json`: one JSON document);
// `exitCode` 0 when none does, 1 when one does, 2 when there is no base
// record or no device to check.
bool CheckDevice(const std::string& device, const std::string& path, bool json, std::ostream& out,
                 std::ostream& errors, int* exitCode);

}  // namespace zampack
