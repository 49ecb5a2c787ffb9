// The storage component as the engines use it: opening the snapshot
// interface, creating and restoring snapshots with the texts the runs show
// on failure, and the listing of a volume's snapshots.
#include "component/component.h"

#include <cctype>
#include <cstdio>
#include <new>

#include "platform/system.h"

namespace omb::snapshot {

namespace {

// Follows "The DRIVELETTER" or "The SNAPSHOTNAME" when a copy handed to the
// component cannot be allocated.
constexpr const char* kOutOfMemoryTail =
    " structure could not be allocated memory.\r\nPossible reason - Out of memory.\r\n";

std::string Format(const char* format, int a, int b, int c) {
  char text[32];
  std::snprintf(text, sizeof text, format, a, b, c);
  return text;
}

std::string Format(const char* format, int a, int b, int c, int d, int e, int f = 0) {
  char text[32];
  std::snprintf(text, sizeof text, format, a, b, c, d, e, f);
  return text;
}

}  // namespace

std::u16string DriveString(char driveLetter) {
  return std::u16string(1, static_cast<char16_t>(std::toupper(static_cast<unsigned char>(driveLetter))));
}

std::string SystemText(storage::HRESULT hr) {
  std::string text = platform::FormatMessageText(static_cast<uint32_t>(hr));
  return text.empty() ? "Unknown error." : text;
}

int OpenSnapshotInterface(storage::Component& component, std::unique_ptr<storage::SnapshotInterface>& out,
                          std::string& errorText) {
  storage::HRESULT hr = component.GetSnapshotFactory();
  if (storage::Failed(hr)) {
    errorText = "Could not create Snapshot COM Object.\r\n" + SystemText(hr) + "\r\n";
    return -1;
  }
  hr = component.CreateSnapshotInterface(out);
  // A component that claims success without an interface is treated as
  // having none, rather than handing the caller a null pointer.
  if (!storage::Failed(hr) && !out) hr = storage::E_NOINTERFACE_;
  if (storage::Failed(hr)) {
    out.reset();
    errorText = "Could not obtain Snapshot interface pointer.\r\n" + SystemText(hr) + "\r\n";
    return -1;
  }
  return 0;
}

int CreateSnapshot(storage::SnapshotInterface& snapshots, char driveLetter, const std::u16string& name,
                   std::string& errorText) {
  std::u16string drive;
  std::u16string snapshotName;
  const char* step = "The DRIVELETTER";
  try {
    drive = DriveString(driveLetter);
    step = "The SNAPSHOTNAME";
    snapshotName = name;
  } catch (const std::bad_alloc&) {
    errorText = std::string(step) + kOutOfMemoryTail;
    return -1;
  }
  storage::HRESULT hr = snapshots.CreateSnapShot(drive, snapshotName);
  if (storage::Failed(hr)) {
    errorText = "Failed to create snapshot (CreateSnapShot method failed).\r\n" + SystemText(hr);
    return -1;
  }
  return 0;
}

namespace {

// The snapshot interface of a restore; on failure -1 with its "ERROR: " text.
int OpenForRestore(storage::Component& component, std::unique_ptr<storage::SnapshotInterface>& snapshots,
                   std::string& errorText) {
  storage::HRESULT hr = component.GetSnapshotFactory();
  if (!storage::Failed(hr)) hr = component.CreateSnapshotInterface(snapshots);
  if (!storage::Failed(hr) && !snapshots) hr = storage::E_NOINTERFACE_;
  if (!storage::Failed(hr)) return 0;
  errorText += "ERROR: Could not create Snapshot Inteferface.\r\n" + SystemText(hr);
  return -1;
}

}  // namespace

int RestoreSnapshot(storage::Component& component, char driveLetter, const std::u16string& name,
                    std::string& errorText) {
  std::unique_ptr<storage::SnapshotInterface> snapshots;
  if (OpenForRestore(component, snapshots, errorText) != 0) return -1;
  const storage::HRESULT hr = snapshots->RestoreSnapShot(DriveString(driveLetter), {name});
  if (hr != storage::S_OK_ && hr != storage::E_HANDLE_) {
    errorText += "ERROR: Restore SnapShot failed.\r\n" + SystemText(hr);
    return -1;
  }
  return 0;
}

int RestoreFileFromSnapshot(storage::Component& component, char driveLetter, const std::u16string& name,
                            const std::string& file, const std::string& target, std::string& errorText) {
  std::unique_ptr<storage::SnapshotInterface> snapshots;
  if (OpenForRestore(component, snapshots, errorText) != 0) return -1;
  const storage::HRESULT hr = snapshots->RestoreFileFromSnapShot(DriveString(driveLetter), name,
                                                                 storage::ToUtf16(file), storage::ToUtf16(target));
  if (hr == storage::E_NOTIMPL_) {
    errorText += "ERROR: The storage component cannot restore a single file from a snapshot.\r\n";
    return -1;
  }
  if (storage::Failed(hr)) {
    errorText += "ERROR: Could not restore " + file + " from the snapshot to " + target + ".\r\n" +
                 SystemText(hr);
    return -1;
  }
  return 0;
}

SnapshotEntry MakeSnapshotEntry(const storage::SnapshotRecord& record) {
  SnapshotEntry entry;
  entry.wideName = record.name;
  entry.name = storage::FromUtf16(record.name);
  entry.component = record;
  platform::SystemTime local =
      platform::FileTimeToSystemTime(platform::FileTimeToLocalFileTime(record.creationTime));
  entry.dateText = Format("%d-%d-%d", local.month, local.day, local.year);
  entry.timeText = Format("%d:%d:%d", local.hour, local.minute, local.second);
  entry.dateTimeText = Format("%d-%d-%d_%d.%d.%d", local.month, local.day, local.year, local.hour,
                              local.minute, local.second);
  entry.pointInTimeText =
      Format("%d/%d/%d %d:%d:00", local.month, local.day, local.year, local.hour, local.minute);
  return entry;
}

int ListSnapshots(storage::Component& component, char driveLetter, std::vector<SnapshotEntry>& entries) {
  std::unique_ptr<storage::SnapshotInterface> snapshots;
  if (storage::Failed(component.GetSnapshotFactory())) return -1;
  if (storage::Failed(component.CreateSnapshotInterface(snapshots)) || !snapshots) return -1;
  std::vector<storage::SnapshotRecord> records;
  if (storage::Failed(snapshots->EnumSnapShots(DriveString(driveLetter), records))) return -1;
  for (const storage::SnapshotRecord& record : records) entries.push_back(MakeSnapshotEntry(record));
  return 0;
}

}  // namespace omb::snapshot
