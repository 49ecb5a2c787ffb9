// The built-in component: COM-shaped classes over the disk table and the
// volume stores, with the failure hooks applied at every method.
#include "storage/filer.h"

#include <cctype>
#include <map>

#include "platform/paths.h"
#include "storage/disk_table.h"
#include "storage/fault_hooks.h"
#include "storage/storage.h"
#include "storage/volume_store.h"

namespace omb::storage {

namespace {

// An injected result that callers count as success is returned after the
// work is done, so "it worked but said E_HANDLE" can be simulated; any other
// injected result replaces the work.
bool InjectedIsSuccess(const std::string& method, HRESULT injected) {
  return !Failed(injected) || (method == "RestoreSnapShot" && injected == E_HANDLE_);
}

template <typename Work>
HRESULT WithHooks(const std::string& method, Work work) {
  std::optional<HRESULT> injected = InjectedResult(method);
  if (injected && !InjectedIsSuccess(method, *injected)) return *injected;
  HRESULT result = work();
  if (injected && !Failed(result)) return *injected;
  return result;
}

// The disk named by a one-letter drive string ("E", "e", "E:" also accepted).
std::optional<VirtualDisk> DiskOfDrive(const std::u16string& drive) {
  if (drive.empty() || drive[0] > 0x7F || !std::isalpha(static_cast<int>(drive[0]))) return std::nullopt;
  return FindDisk(static_cast<char>(drive[0]));
}

class FilerSnapshots : public SnapshotInterface {
 public:
  explicit FilerSnapshots(platform::Clock& clock) : clock_(clock) {}

  HRESULT CreateSnapShot(const std::u16string& drive, const std::u16string& name) override {
    return WithHooks("CreateSnapShot", [&] {
      std::optional<VirtualDisk> disk = DiskOfDrive(drive);
      if (!disk) return E_INVALIDARG_;
      if (!IsValidSnapshotName(FromUtf16(name))) return E_INVALIDARG_;
      RunPreSnapshotHook();
      return VolumeStore(*disk).Create(FromUtf16(name), clock_.NowFileTime());
    });
  }

  HRESULT RestoreSnapShot(const std::u16string& drive, const std::vector<std::u16string>& names) override {
    return WithHooks("RestoreSnapShot", [&] {
      std::optional<VirtualDisk> disk = DiskOfDrive(drive);
      if (!disk || names.empty()) return E_INVALIDARG_;
      return VolumeStore(*disk).Restore(FromUtf16(names.front()));
    });
  }

  HRESULT DeleteSnapShot(const std::u16string& drive, const std::u16string& name, bool& deleted) override {
    deleted = false;
    return WithHooks("DeleteSnapShot", [&] {
      std::optional<VirtualDisk> disk = DiskOfDrive(drive);
      if (!disk) return E_INVALIDARG_;
      return VolumeStore(*disk).Delete(FromUtf16(name), deleted);
    });
  }

  HRESULT RenameSnapShot(const std::u16string& drive, const std::u16string& current,
                         const std::u16string& renamed) override {
    return WithHooks("RenameSnapShot", [&] {
      std::optional<VirtualDisk> disk = DiskOfDrive(drive);
      if (!disk) return E_INVALIDARG_;
      return VolumeStore(*disk).Rename(FromUtf16(current), FromUtf16(renamed));
    });
  }

  HRESULT RestoreFileFromSnapShot(const std::u16string& drive, const std::u16string& name,
                                  const std::u16string& file, const std::u16string& target) override {
    return WithHooks("RestoreFileFromSnapShot", [&] {
      std::optional<VirtualDisk> disk = DiskOfDrive(drive);
      const std::string targetPath = FromUtf16(target);
      if (!disk || file.empty() || platform::DriveOf(targetPath) == 0) return E_INVALIDARG_;
      return VolumeStore(*disk).RestoreFile(FromUtf16(name), FromUtf16(file), platform::HostPath(targetPath));
    });
  }

  HRESULT EnumSnapShots(const std::u16string& drive, std::vector<SnapshotRecord>& snapshots) override {
    snapshots.clear();
    return WithHooks("EnumSnapShots", [&] {
      std::optional<VirtualDisk> disk = DiskOfDrive(drive);
      if (!disk) return E_INVALIDARG_;
      std::vector<StoredSnapshot> stored;
      HRESULT result = VolumeStore(*disk).List(stored);
      for (const StoredSnapshot& snapshot : stored) {
        snapshots.push_back({ToUtf16(snapshot.name), snapshot.creationTime});
      }
      return result;
    });
  }

 private:
  platform::Clock& clock_;
};

class FilerDisks : public DiskInterface {
 public:
  // One record per disk file; a file served under several letters lists them all.
  HRESULT QueryVirtualDisks(std::vector<VirtualDiskRecord>& disks) override {
    disks.clear();
    return WithHooks("QueryVirtualDisks", [&] {
      std::map<std::string, size_t> byFile;
      for (const VirtualDisk& disk : ReadDisksTable()) {
        std::string storagePath = "\\\\" + disk.filer + "\\" + disk.volume + "\\" + disk.diskFile;
        auto [found, added] = byFile.emplace(storagePath, disks.size());
        if (added) disks.push_back({ToUtf16(storagePath), ToUtf16("/vol/" + disk.volume), {}});
        disks[found->second].driveLetters.push_back(ToUtf16(std::string(1, disk.driveLetter)));
      }
      return S_OK_;
    });
  }
};

class Filer : public Component {
 public:
  explicit Filer(platform::Clock& clock) : clock_(clock) {}

  HRESULT GetSnapshotFactory() override { return Factory("GetSnapshotFactory"); }
  HRESULT GetDiskFactory() override { return Factory("GetDiskFactory"); }

  HRESULT CreateSnapshotInterface(std::unique_ptr<SnapshotInterface>& out) override {
    out.reset();
    return WithHooks("CreateSnapshotInterface", [&] {
      out = std::make_unique<FilerSnapshots>(clock_);
      return S_OK_;
    });
  }

  HRESULT CreateDiskInterface(std::unique_ptr<DiskInterface>& out) override {
    out.reset();
    return WithHooks("CreateDiskInterface", [&] {
      out = std::make_unique<FilerDisks>();
      return S_OK_;
    });
  }

 private:
  static HRESULT Factory(const std::string& method) {
    return WithHooks(method, [] { return DisksTableExists() ? S_OK_ : REGDB_E_CLASSNOTREG_; });
  }

  platform::Clock& clock_;
};

}  // namespace

Component& CurrentComponent() {
  static Filer builtIn(platform::SystemClock());
  return builtIn;
}

std::unique_ptr<Component> MakeFiler(platform::Clock& clock) { return std::make_unique<Filer>(clock); }

}  // namespace omb::storage
