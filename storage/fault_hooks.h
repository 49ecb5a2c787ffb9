#pragma once
// Test hooks of the built-in component, read from the process environment
// at each call:
//   OMB_STORAGE_FAIL=Method:HRESULT[,Method:HRESULT...]
//   OMB_STORAGE_PRE_SNAPSHOT=shell command
#include <optional>
#include <string>

#include "storage/storage.h"

namespace omb::storage {

// The HRESULT that OMB_STORAGE_FAIL assigns to a method, if any. Malformed
// entries are ignored with one warning line on standard error.
std::optional<HRESULT> InjectedResult(const std::string& method);

// Runs OMB_STORAGE_PRE_SNAPSHOT through /bin/sh with OMB_MACHINE set to the
// machine root, and waits for it. Does nothing when the variable is unset.
void RunPreSnapshotHook();

}  // namespace omb::storage
