#pragma once
// Stage 3 writes every file the package delivers, inflating its stream
// straight from the package mapping into a mapping of the destination; a
// destination in use is written beside it under TempFolder and swapped in at
// the next restart. Stage 4 closes the package.
#include <string>

#include "package/layout.h"

namespace package {

// Stage 3: every record of CopyList, each tried up to 30 times.
bool bCopyFiles();

// Writes one record; true when it is done and needs no further attempt.
bool bCopyFile(const FileRecord& record);

// True when the file can be opened and its first block, read past the file
// cache, holds a byte that is not zero.
bool bCheckWrittenFile(const std::string& path);

// Stage 4: closes the package mapping, then the package file.
bool bCloseUpdateFile();

}  // namespace package
