#pragma once
// The built-in storage component: a "filer" serving virtual disks and
// snapshots from $OMB_MACHINE/storage. storage/disks.ini lists the virtual
// disks (drive letter, filer, volume, disk file name); the contents of a
// disk are its drive's folder; several disks may share one volume. A
// snapshot of a volume copies every disk of the volume into
// storage/<filer>/<volume>/.snapshot/<name>/ (reflinks where possible).
//
// Test hooks read from the environment of the process that uses it (only
// in builds with OMB_TEST_HOOKS):
//   OMB_STORAGE_FAIL=Method:HRESULT[,Method:HRESULT...]  fail named methods
//   OMB_STORAGE_PRE_SNAPSHOT=command  run just before a volume is copied
#include <memory>
#include <string>

#include "platform/clock.h"
#include "storage/storage.h"

namespace omb::storage {

// A filer of its own whose snapshots take their creation time from `clock`
// (CurrentComponent() is the process's one, on the system clock).
std::unique_ptr<Component> MakeFiler(platform::Clock& clock);

// Adds (or replaces) the virtual disk of a drive letter in disks.ini.
// Returns true when recorded. Used by dominosim and tests to build machines.
bool RegisterVirtualDisk(char driveLetter, const std::string& filer, const std::string& volume,
                         const std::string& diskFile);

}  // namespace omb::storage
