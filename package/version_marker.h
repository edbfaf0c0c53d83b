#pragma once
// The repair of the Spanish language content's version file at the end of a
// run: a PreRelease element whose closing tag was written as an empty element
// right after its text ("1<PreRelease/>") gets its proper closing tag.
#include <string>

namespace package {

// The version file it repairs: "es\Version.xml" in the LANGUAGE_PACKAGE location.
std::string PreReleaseMarkerPath();

// Rewrites, in place and at the same length, the file's first "<PreRelease/>"
// as "</PreRelease>" when it directly follows the text of an open
// "<PreRelease>" (no tag between them) and that text does not end in a space.
// A well-formed file is never changed. The file is UTF-16LE text and is not parsed.
// Every failure leaves the file alone and is not reported.
void bFixPreReleaseMarker();

}  // namespace package
