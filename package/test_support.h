#pragma once
// For tests only: puts the package state back to its start-up values.

namespace package {

void ResetPackageState();

}  // namespace package
