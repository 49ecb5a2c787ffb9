#pragma once
// The storage component as the engines use it, with the failure texts that
// the runs show, and the listing of a volume's snapshots.
#include <memory>
#include <string>
#include <vector>

#include "component/snapshot_entry.h"
#include "storage/storage.h"

namespace omb::snapshot {

// One-letter drive string as the component takes it ("E").
std::u16string DriveString(char driveLetter);
// The system's text for an HRESULT (ends in "\r\n"), or "Unknown error.".
std::string SystemText(storage::HRESULT hr);

// Obtains the snapshot class factory and interface. On failure: -1 and
// errorText = "Could not create Snapshot COM Object.\r\n" or "Could not
// obtain Snapshot interface pointer.\r\n", then the system text and "\r\n".
int OpenSnapshotInterface(storage::Component& component, std::unique_ptr<storage::SnapshotInterface>& out,
                          std::string& errorText);

// CreateSnapShot for one drive; on failure -1 and errorText =
// "Failed to create snapshot (CreateSnapShot method failed).\r\n" + system text.
int CreateSnapshot(storage::SnapshotInterface& snapshots, char driveLetter,
                   const std::u16string& name, std::string& errorText);

// Reverts the volume behind a drive to a snapshot. 0 on S_OK or E_HANDLE;
// otherwise -1 with the "ERROR: ..." text of the failing step appended.
int RestoreSnapshot(storage::Component& component, char driveLetter, const std::u16string& name,
                    std::string& errorText);

// Copies one file (`file`: its path on the drive, "\Lotus\...\a.nsf") out of
// a snapshot of the volume behind a drive to `target`, which must not
// exist. 0; otherwise -1 with the "ERROR: ..." text appended.
int RestoreFileFromSnapshot(storage::Component& component, char driveLetter, const std::u16string& name,
                            const std::string& file, const std::string& target, std::string& errorText);

// Fills the listing entry of a component record (times converted to local time).
SnapshotEntry MakeSnapshotEntry(const storage::SnapshotRecord& record);

// The snapshots of the volume behind a drive, in the component's order
// (newest first): 0, or -1 when the component cannot be reached or fails.
int ListSnapshots(storage::Component& component, char driveLetter, std::vector<SnapshotEntry>& entries);

}  // namespace omb::snapshot
