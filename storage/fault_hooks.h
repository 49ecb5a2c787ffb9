#pragma once
// Test hooks of the built-in component, read from the process environment
// at each call:
//   OMB_STORAGE_FAIL=Method:HRESULT[,Method:HRESULT...]
//   OMB_STORAGE_PRE_SNAPSHOT=shell command
// They exist only in builds with OMB_TEST_HOOKS: a shipped program must
// never run a command named by its environment. Without them both calls do
// nothing.
#include <optional>
#include <string>

#include "storage/storage.h"

namespace omb::storage {

#ifdef OMB_TEST_HOOKS

// The HRESULT that OMB_STORAGE_FAIL assigns to a method, if any. Malformed
// entries are ignored with one warning line on standard error.
std::optional<HRESULT> InjectedResult(const std::string& method);

// Runs OMB_STORAGE_PRE_SNAPSHOT through /bin/sh with OMB_MACHINE set to the
// machine root, and waits for it. Does nothing when the variable is unset.
void RunPreSnapshotHook();

#else

inline std::optional<HRESULT> InjectedResult(const std::string&) { return std::nullopt; }
inline void RunPreSnapshotHook() {}

#endif

}  // namespace omb::storage
