#pragma once
// The storage maker's snapshot component: virtual disks and snapshots of
// the volumes behind them. Methods answer HRESULTs; names cross this
// boundary as UTF-16. The built-in implementation (storage/filer.h) keeps
// its state in $OMB_MACHINE/storage; tests hand fakes to the runs, or fail
// the built-in one's methods with OMB_STORAGE_FAIL.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace omb::storage {

using HRESULT = int32_t;
constexpr HRESULT S_OK_ = 0;
constexpr HRESULT E_FAIL_ = static_cast<HRESULT>(0x80004005);
constexpr HRESULT E_HANDLE_ = static_cast<HRESULT>(0x80070006);
constexpr HRESULT E_OUTOFMEMORY_ = static_cast<HRESULT>(0x8007000E);
constexpr HRESULT E_NOINTERFACE_ = static_cast<HRESULT>(0x80004002);
constexpr HRESULT E_NOTIMPL_ = static_cast<HRESULT>(0x80004001);
constexpr HRESULT E_INVALIDARG_ = static_cast<HRESULT>(0x80070057);
constexpr HRESULT REGDB_E_CLASSNOTREG_ = static_cast<HRESULT>(0x80040154);
constexpr HRESULT HRESULT_FILE_NOT_FOUND = static_cast<HRESULT>(0x80070002);
constexpr HRESULT HRESULT_ALREADY_EXISTS = static_cast<HRESULT>(0x800700B7);
inline bool Failed(HRESULT hr) { return hr < 0; }

struct SnapshotRecord {
  std::u16string name;
  uint64_t creationTime = 0;  // UTC FILETIME
};

struct VirtualDiskRecord {
  std::u16string storagePath;  // "\\\\FILER1\\vol\\data1.vld": part 0 filer, part 2 file
  std::u16string volumePath;   // "/vol/data1": part 1 volume
  std::vector<std::u16string> driveLetters;  // "E", ...
};

// The snapshot interface (one drive letter string per call).
class SnapshotInterface {
 public:
  virtual ~SnapshotInterface() = default;
  virtual HRESULT CreateSnapShot(const std::u16string& drive, const std::u16string& name) = 0;
  // S_OK and E_HANDLE both mean success.
  virtual HRESULT RestoreSnapShot(const std::u16string& drive,
                                  const std::vector<std::u16string>& names) = 0;
  virtual HRESULT DeleteSnapShot(const std::u16string& drive, const std::u16string& name,
                                 bool& deleted) = 0;
  virtual HRESULT RenameSnapShot(const std::u16string& drive, const std::u16string& current,
                                 const std::u16string& renamed) = 0;
  // Newest snapshot first.
  virtual HRESULT EnumSnapShots(const std::u16string& drive,
                                std::vector<SnapshotRecord>& snapshots) = 0;
  // Copies one file out of snapshot `name` of the drive's volume: `file` is
  // its path on the drive ("\Lotus\Domino\Data\mail\a.nsf"), `target` a
  // full path that must not exist yet (HRESULT_ALREADY_EXISTS otherwise).
  // The target appears whole or not at all, and the cost is that of the one
  // file, whatever the size of the volume. A component without single-file
  // restore answers E_NOTIMPL.
  virtual HRESULT RestoreFileFromSnapShot(const std::u16string& /*drive*/, const std::u16string& /*name*/,
                                          const std::u16string& /*file*/, const std::u16string& /*target*/) {
    return E_NOTIMPL_;
  }
};

class DiskInterface {
 public:
  virtual ~DiskInterface() = default;
  virtual HRESULT QueryVirtualDisks(std::vector<VirtualDiskRecord>& disks) = 0;
};

// The component as COM shows it: a factory per class, then an interface.
class Component {
 public:
  virtual ~Component() = default;
  virtual HRESULT GetSnapshotFactory() = 0;  // fails when not installed
  virtual HRESULT CreateSnapshotInterface(std::unique_ptr<SnapshotInterface>& out) = 0;
  virtual HRESULT GetDiskFactory() = 0;      // fails when not installed
  virtual HRESULT CreateDiskInterface(std::unique_ptr<DiskInterface>& out) = 0;
};

// The built-in filer of this process, the storage component of the default
// run services; a run that is given another one never reaches this.
Component& CurrentComponent();

std::u16string ToUtf16(const std::string& text);
std::string FromUtf16(const std::u16string& text);

}  // namespace omb::storage
