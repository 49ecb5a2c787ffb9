#pragma once
// An in-memory storage component for tests: per-volume snapshot lists,
// virtual disks, a record of every call and injectable failures at every
// step (the factories and interfaces included). Pass it to a run as the
// storage component of its RunServices.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "storage/storage.h"

namespace omb::test {

class FakeStorage : public storage::Component {
 public:
  enum class Method {
    GetSnapshotFactory,
    CreateSnapshotInterface,
    GetDiskFactory,
    CreateDiskInterface,
    CreateSnapShot,
    RestoreSnapShot,
    DeleteSnapShot,
    RenameSnapShot,
    EnumSnapShots,
    QueryVirtualDisks,
  };

  // One call as the fake saw it; names are UTF-8.
  struct Call {
    Method method;
    std::string drive;  // "E", empty for calls without a drive
    std::string name;   // snapshot name (the current one for a rename)
    std::string other;  // the new name of a rename
  };

  // ---- set-up -------------------------------------------------------------
  // Adds a snapshot of the volume behind a drive with a chosen UTC FILETIME.
  void AddSnapshot(char drive, const std::string& name, uint64_t creationTime);
  // Makes `drive` use the same volume (snapshot list) as `volumeDrive`.
  void ShareVolume(char drive, char volumeDrive);
  void AddDisk(const storage::VirtualDiskRecord& disk);
  // Time of the next snapshot CreateSnapShot makes; each create then adds
  // one second. Without it the current time is used.
  void SetNextCreationTime(uint64_t creationTime);
  // Every call of the method after `successesFirst` successful ones answers hr.
  void FailMethod(Method method, storage::HRESULT hr, int successesFirst = 0);
  void ClearFailure(Method method);
  // DeleteSnapShot answers S_OK but reports deleted == false and keeps the snapshot.
  void RefuseDeletes(bool refuse);

  // ---- inspection -----------------------------------------------------------
  // The volume's snapshots, newest first (as EnumSnapShots gives them).
  std::vector<storage::SnapshotRecord> Snapshots(char drive) const;
  std::vector<std::string> Names(char drive) const;
  bool HasSnapshot(char drive, const std::string& name) const;
  std::vector<Call> Calls() const;
  int CountCalls(Method method) const;

  // ---- storage::Component ---------------------------------------------------
  storage::HRESULT GetSnapshotFactory() override;
  storage::HRESULT CreateSnapshotInterface(std::unique_ptr<storage::SnapshotInterface>& out) override;
  storage::HRESULT GetDiskFactory() override;
  storage::HRESULT CreateDiskInterface(std::unique_ptr<storage::DiskInterface>& out) override;

  // Used by the interfaces the fake hands out (they must not outlive it).
  storage::HRESULT DoCreate(const std::u16string& drive, const std::u16string& name);
  storage::HRESULT DoRestore(const std::u16string& drive, const std::vector<std::u16string>& names);
  storage::HRESULT DoDelete(const std::u16string& drive, const std::u16string& name, bool& deleted);
  storage::HRESULT DoRename(const std::u16string& drive, const std::u16string& current,
                            const std::u16string& renamed);
  storage::HRESULT DoEnumerate(const std::u16string& drive,
                               std::vector<storage::SnapshotRecord>& snapshots);
  storage::HRESULT DoQueryDisks(std::vector<storage::VirtualDiskRecord>& disks);

 private:
  struct Failure {
    storage::HRESULT hr = 0;
    int successesLeft = 0;
  };
  struct Stored {
    std::string name;
    uint64_t creationTime = 0;
    uint64_t order = 0;  // insertion order breaks ties of equal times
  };
  using Volume = std::vector<Stored>;

  // Records the call and answers the injected failure, if any (lock held).
  storage::HRESULT Enter(Method method, const std::string& drive, const std::string& name = "",
                         const std::string& other = "");
  Volume& VolumeOf(const std::string& drive);
  const Volume* FindVolume(char drive) const;
  char VolumeKey(char drive) const;
  static Volume::iterator FindName(Volume& volume, const std::string& name);
  uint64_t TakeCreationTime();
  std::vector<storage::SnapshotRecord> Ordered(const Volume& volume) const;

  mutable std::mutex mutex_;
  std::map<char, Volume> volumes_;
  std::map<char, char> sharedVolumes_;
  std::vector<storage::VirtualDiskRecord> disks_;
  std::map<Method, Failure> failures_;
  std::vector<Call> calls_;
  uint64_t nextCreationTime_ = 0;
  uint64_t nextOrder_ = 0;
  bool refuseDeletes_ = false;
};

// A UTC FILETIME for a calendar time (tests pick readable snapshot times).
uint64_t FileTimeUtc(int year, int month, int day, int hour, int minute, int second);

}  // namespace omb::test
