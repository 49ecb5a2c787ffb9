#pragma once
// The snapshot set of one volume, kept in storage/<filer>/<volume>/.snapshot.
// Each snapshot is a folder named after it holding one copy per disk of the
// volume (a folder per drive letter) and a "created" file with its UTC
// creation time. A snapshot is built under a hidden name and renamed into
// place after "created" is written, so a half-made snapshot never lists.
// Every method holds the volume's flock for its duration.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "storage/disk_table.h"
#include "storage/storage.h"

namespace omb::storage {

// A volume holds at most this many snapshots; one more is refused with
// kTooManySnapshots (the disk-full HRESULT).
constexpr size_t kMaxSnapshotsPerVolume = 255;
constexpr HRESULT kTooManySnapshots = static_cast<HRESULT>(0x80070070);
constexpr HRESULT kPathNotFound = static_cast<HRESULT>(0x80070003);
constexpr HRESULT kAccessDenied = static_cast<HRESULT>(0x80070005);

// The HRESULT of an errno value.
HRESULT ResultOfErrno(int error);

struct StoredSnapshot {
  std::string name;        // folder name as stored
  uint64_t creationTime;   // UTC FILETIME
};

class VolumeStore {
 public:
  explicit VolumeStore(VirtualDisk disk) : disk_(std::move(disk)) {}

  // creationTime: the UTC FILETIME the snapshot is recorded with.
  HRESULT Create(const std::string& name, uint64_t creationTime);
  HRESULT Restore(const std::string& name);
  HRESULT Delete(const std::string& name, bool& deleted);
  HRESULT Rename(const std::string& current, const std::string& renamed);
  // Copies the file at `relativeFile` (components separated by '/' or '\',
  // matched without regard to case where no exact match exists) of the
  // snapshot's copy of this disk to the host path `target`, which must not
  // exist. Only that file is read; the volume lock is held shared, so the
  // snapshot cannot be deleted meanwhile.
  HRESULT RestoreFile(const std::string& name, const std::string& relativeFile,
                      const std::filesystem::path& target);
  // Newest first; equal times in name order.
  HRESULT List(std::vector<StoredSnapshot>& snapshots);

 private:
  HRESULT ListLocked(std::vector<StoredSnapshot>& snapshots) const;
  // Stored folder name matching `name` exactly, else without regard to case.
  std::string FindStored(const std::string& name) const;
  static std::string FindIn(const std::vector<StoredSnapshot>& snapshots, const std::string& name);
  HRESULT CopyVolume(const std::string& building) const;
  std::string SnapshotFolder() const;

  VirtualDisk disk_;
};

// A snapshot name that can be stored as one folder name.
bool IsValidSnapshotName(const std::string& name);

}  // namespace omb::storage
