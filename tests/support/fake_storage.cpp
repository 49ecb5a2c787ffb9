#include "tests/support/fake_storage.h"

#include <algorithm>

#include "platform/system.h"

namespace omb::test {

namespace {

using storage::HRESULT;

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Upper(x) == Upper(y); });
}

char DriveKey(const std::string& drive) { return drive.empty() ? '\0' : Upper(drive[0]); }

constexpr uint64_t kTicksPerSecond = 10'000'000ULL;

// The interfaces forward to the fake so that one place holds the state.
class FakeSnapshotInterface : public storage::SnapshotInterface {
 public:
  explicit FakeSnapshotInterface(FakeStorage& owner) : owner_(owner) {}
  HRESULT CreateSnapShot(const std::u16string& drive, const std::u16string& name) override {
    return owner_.DoCreate(drive, name);
  }
  HRESULT RestoreSnapShot(const std::u16string& drive, const std::vector<std::u16string>& names) override {
    return owner_.DoRestore(drive, names);
  }
  HRESULT DeleteSnapShot(const std::u16string& drive, const std::u16string& name, bool& deleted) override {
    return owner_.DoDelete(drive, name, deleted);
  }
  HRESULT RenameSnapShot(const std::u16string& drive, const std::u16string& current,
                         const std::u16string& renamed) override {
    return owner_.DoRename(drive, current, renamed);
  }
  HRESULT EnumSnapShots(const std::u16string& drive, std::vector<storage::SnapshotRecord>& snapshots) override {
    return owner_.DoEnumerate(drive, snapshots);
  }

 private:
  FakeStorage& owner_;
};

class FakeDiskInterface : public storage::DiskInterface {
 public:
  explicit FakeDiskInterface(FakeStorage& owner) : owner_(owner) {}
  HRESULT QueryVirtualDisks(std::vector<storage::VirtualDiskRecord>& disks) override {
    return owner_.DoQueryDisks(disks);
  }

 private:
  FakeStorage& owner_;
};

}  // namespace

uint64_t FileTimeUtc(int year, int month, int day, int hour, int minute, int second) {
  return platform::SystemTimeToFileTime(
      {.year = year, .month = month, .day = day, .hour = hour, .minute = minute, .second = second});
}

// ---- set-up -------------------------------------------------------------------

void FakeStorage::AddSnapshot(char drive, const std::string& name, uint64_t creationTime) {
  std::lock_guard lock(mutex_);
  volumes_[VolumeKey(drive)].push_back({name, creationTime, nextOrder_++});
}

void FakeStorage::ShareVolume(char drive, char volumeDrive) {
  std::lock_guard lock(mutex_);
  sharedVolumes_[Upper(drive)] = VolumeKey(volumeDrive);
}

void FakeStorage::AddDisk(const storage::VirtualDiskRecord& disk) {
  std::lock_guard lock(mutex_);
  disks_.push_back(disk);
}

void FakeStorage::SetNextCreationTime(uint64_t creationTime) {
  std::lock_guard lock(mutex_);
  nextCreationTime_ = creationTime;
}

void FakeStorage::FailMethod(Method method, HRESULT hr, int successesFirst) {
  std::lock_guard lock(mutex_);
  failures_[method] = {hr, successesFirst};
}

void FakeStorage::ClearFailure(Method method) {
  std::lock_guard lock(mutex_);
  failures_.erase(method);
}

void FakeStorage::RefuseDeletes(bool refuse) {
  std::lock_guard lock(mutex_);
  refuseDeletes_ = refuse;
}

// ---- inspection -----------------------------------------------------------------

std::vector<storage::SnapshotRecord> FakeStorage::Snapshots(char drive) const {
  std::lock_guard lock(mutex_);
  const Volume* volume = FindVolume(drive);
  return volume ? Ordered(*volume) : std::vector<storage::SnapshotRecord>{};
}

std::vector<std::string> FakeStorage::Names(char drive) const {
  std::vector<std::string> names;
  for (const auto& record : Snapshots(drive)) names.push_back(storage::FromUtf16(record.name));
  return names;
}

bool FakeStorage::HasSnapshot(char drive, const std::string& name) const {
  for (const std::string& present : Names(drive)) {
    if (SameName(present, name)) return true;
  }
  return false;
}

std::vector<FakeStorage::Call> FakeStorage::Calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

int FakeStorage::CountCalls(Method method) const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(std::count_if(calls_.begin(), calls_.end(),
                                        [method](const Call& call) { return call.method == method; }));
}

// ---- component ------------------------------------------------------------------

HRESULT FakeStorage::GetSnapshotFactory() {
  std::lock_guard lock(mutex_);
  return Enter(Method::GetSnapshotFactory, "");
}

HRESULT FakeStorage::CreateSnapshotInterface(std::unique_ptr<storage::SnapshotInterface>& out) {
  std::lock_guard lock(mutex_);
  HRESULT hr = Enter(Method::CreateSnapshotInterface, "");
  if (!storage::Failed(hr)) out = std::make_unique<FakeSnapshotInterface>(*this);
  return hr;
}

HRESULT FakeStorage::GetDiskFactory() {
  std::lock_guard lock(mutex_);
  return Enter(Method::GetDiskFactory, "");
}

HRESULT FakeStorage::CreateDiskInterface(std::unique_ptr<storage::DiskInterface>& out) {
  std::lock_guard lock(mutex_);
  HRESULT hr = Enter(Method::CreateDiskInterface, "");
  if (!storage::Failed(hr)) out = std::make_unique<FakeDiskInterface>(*this);
  return hr;
}

HRESULT FakeStorage::DoCreate(const std::u16string& drive, const std::u16string& name) {
  std::lock_guard lock(mutex_);
  const std::string narrow = storage::FromUtf16(name);
  HRESULT hr = Enter(Method::CreateSnapShot, storage::FromUtf16(drive), narrow);
  if (storage::Failed(hr)) return hr;
  Volume& volume = VolumeOf(storage::FromUtf16(drive));
  if (FindName(volume, narrow) != volume.end()) return storage::HRESULT_ALREADY_EXISTS;
  volume.push_back({narrow, TakeCreationTime(), nextOrder_++});
  return storage::S_OK_;
}

HRESULT FakeStorage::DoRestore(const std::u16string& drive, const std::vector<std::u16string>& names) {
  std::lock_guard lock(mutex_);
  const std::string first = names.empty() ? std::string() : storage::FromUtf16(names.front());
  HRESULT hr = Enter(Method::RestoreSnapShot, storage::FromUtf16(drive), first);
  if (storage::Failed(hr)) return hr;
  Volume& volume = VolumeOf(storage::FromUtf16(drive));
  return FindName(volume, first) == volume.end() ? storage::HRESULT_FILE_NOT_FOUND : storage::S_OK_;
}

HRESULT FakeStorage::DoDelete(const std::u16string& drive, const std::u16string& name, bool& deleted) {
  std::lock_guard lock(mutex_);
  deleted = false;
  const std::string narrow = storage::FromUtf16(name);
  HRESULT hr = Enter(Method::DeleteSnapShot, storage::FromUtf16(drive), narrow);
  if (storage::Failed(hr) || refuseDeletes_) return hr;
  Volume& volume = VolumeOf(storage::FromUtf16(drive));
  auto found = FindName(volume, narrow);
  if (found == volume.end()) return storage::HRESULT_FILE_NOT_FOUND;
  volume.erase(found);
  deleted = true;
  return storage::S_OK_;
}

HRESULT FakeStorage::DoRename(const std::u16string& drive, const std::u16string& current,
                              const std::u16string& renamed) {
  std::lock_guard lock(mutex_);
  const std::string from = storage::FromUtf16(current);
  const std::string to = storage::FromUtf16(renamed);
  HRESULT hr = Enter(Method::RenameSnapShot, storage::FromUtf16(drive), from, to);
  if (storage::Failed(hr)) return hr;
  Volume& volume = VolumeOf(storage::FromUtf16(drive));
  auto found = FindName(volume, from);
  if (found == volume.end()) return storage::HRESULT_FILE_NOT_FOUND;
  auto clash = FindName(volume, to);
  if (clash != volume.end() && clash != found) return storage::HRESULT_ALREADY_EXISTS;
  found->name = to;
  return storage::S_OK_;
}

HRESULT FakeStorage::DoEnumerate(const std::u16string& drive, std::vector<storage::SnapshotRecord>& snapshots) {
  std::lock_guard lock(mutex_);
  HRESULT hr = Enter(Method::EnumSnapShots, storage::FromUtf16(drive));
  if (storage::Failed(hr)) return hr;
  snapshots = Ordered(VolumeOf(storage::FromUtf16(drive)));
  return storage::S_OK_;
}

HRESULT FakeStorage::DoQueryDisks(std::vector<storage::VirtualDiskRecord>& disks) {
  std::lock_guard lock(mutex_);
  HRESULT hr = Enter(Method::QueryVirtualDisks, "");
  if (storage::Failed(hr)) return hr;
  disks = disks_;
  return storage::S_OK_;
}

// ---- helpers --------------------------------------------------------------------

HRESULT FakeStorage::Enter(Method method, const std::string& drive, const std::string& name,
                           const std::string& other) {
  calls_.push_back({method, drive, name, other});
  auto failure = failures_.find(method);
  if (failure == failures_.end()) return storage::S_OK_;
  if (failure->second.successesLeft > 0) {
    --failure->second.successesLeft;
    return storage::S_OK_;
  }
  return failure->second.hr;
}

char FakeStorage::VolumeKey(char drive) const {
  auto shared = sharedVolumes_.find(Upper(drive));
  return shared == sharedVolumes_.end() ? Upper(drive) : shared->second;
}

FakeStorage::Volume& FakeStorage::VolumeOf(const std::string& drive) {
  return volumes_[VolumeKey(DriveKey(drive))];
}

const FakeStorage::Volume* FakeStorage::FindVolume(char drive) const {
  auto found = volumes_.find(VolumeKey(drive));
  return found == volumes_.end() ? nullptr : &found->second;
}

FakeStorage::Volume::iterator FakeStorage::FindName(Volume& volume, const std::string& name) {
  return std::find_if(volume.begin(), volume.end(),
                      [&name](const Stored& stored) { return SameName(stored.name, name); });
}

uint64_t FakeStorage::TakeCreationTime() {
  if (nextCreationTime_ == 0) return platform::NowFileTime();
  const uint64_t time = nextCreationTime_;
  nextCreationTime_ += kTicksPerSecond;
  return time;
}

// Newest first; of two snapshots with one time the later added comes first.
std::vector<storage::SnapshotRecord> FakeStorage::Ordered(const Volume& volume) const {
  Volume sorted = volume;
  std::sort(sorted.begin(), sorted.end(), [](const Stored& a, const Stored& b) {
    return a.creationTime != b.creationTime ? a.creationTime > b.creationTime : a.order > b.order;
  });
  std::vector<storage::SnapshotRecord> records;
  for (const Stored& stored : sorted) records.push_back({storage::ToUtf16(stored.name), stored.creationTime});
  return records;
}

}  // namespace omb::test
