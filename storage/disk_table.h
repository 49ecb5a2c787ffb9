#pragma once
// The filer's table of virtual disks ($OMB_MACHINE/storage/disks.ini) and
// the host folders it keeps its state in.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace omb::storage {

struct VirtualDisk {
  char driveLetter = 0;  // upper case
  std::string filer;
  std::string volume;
  std::string diskFile;
};

// $OMB_MACHINE/storage
std::filesystem::path StorageRoot();
// storage/<filer>/<volume>
std::filesystem::path VolumeFolder(const VirtualDisk& disk);

// The component counts as installed when storage/disks.ini exists.
bool DisksTableExists();

// Every disk of the table, in drive-letter order. Unreadable or malformed
// entries are left out; a missing table gives an empty list.
std::vector<VirtualDisk> ReadDisksTable();

// The disk behind a drive letter (either case).
std::optional<VirtualDisk> FindDisk(char driveLetter);

// Disks that share the volume of `disk` (itself included).
std::vector<VirtualDisk> DisksOfVolume(const VirtualDisk& disk);

// A filer, volume or file name that can be a single folder or file name and
// survives the backslash/slash parsing of the component's paths.
bool IsValidDiskName(const std::string& name);

}  // namespace omb::storage
