#pragma once
// Counts in the tools' messages: "1 package", "2 packages".
#include <cstddef>
#include <string>

namespace tools {

inline std::string Count(std::size_t count, const std::string& thing) {
  return std::to_string(count) + " " + thing + (count == 1 ? "" : "s");
}

// With a plural that is not the singular and an s.
inline std::string Count(std::size_t count, const std::string& one, const std::string& many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace tools
