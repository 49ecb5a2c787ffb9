// The virtual disks under the servers' directories, as the storage
// component reports them.
#include <cctype>
#include <memory>
#include <string>
#include <vector>

#include "domino/server_info.h"
#include "domino/vaultinfo.h"
#include "storage/storage.h"

namespace omb {

namespace {

// Pieces of a path between separators; empty pieces are skipped.
std::vector<std::string> Pieces(const std::string& text, char separator) {
  std::vector<std::string> pieces;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(separator, start);
    if (end == std::string::npos) end = text.size();
    if (end > start) pieces.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return pieces;
}

std::string Piece(const std::vector<std::string>& pieces, size_t index) {
  return index < pieces.size() ? pieces[index] : "";
}

// The facts of one component record: "\\filer\volume\file" gives filer
// (piece 0) and file (piece 2); "/vol/volume" gives the volume (piece 1).
VldInfo DiskFacts(const storage::VirtualDiskRecord& record, char driveLetter) {
  VldInfo info;
  info.driveLetter = driveLetter;
  info.onVld = true;
  info.storagePath = storage::FromUtf16(record.storagePath);
  info.volumePath = storage::FromUtf16(record.volumePath);
  std::string storagePath = info.storagePath;
  if (storagePath.rfind("\\\\", 0) == 0) storagePath.erase(0, 2);
  std::vector<std::string> storagePieces = Pieces(storagePath, '\\');
  info.filer = Piece(storagePieces, 0);
  info.fileName = Piece(storagePieces, 2);
  std::string volumePath = info.volumePath;
  if (!volumePath.empty() && volumePath[0] == '/') volumePath.erase(0, 1);
  info.volume = Piece(Pieces(volumePath, '/'), 1);
  return info;
}

char UpperFirstLetter(const std::u16string& text) {
  if (text.empty() || text[0] > 0x7F) return 0;
  return static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
}

char UpperFirstLetter(const std::string& text) {
  return text.empty() ? 0 : static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
}

// The disk whose drive letters hold the first letter of `path`; an empty
// record when none does.
VldInfo DiskUnder(const std::string& path, const std::vector<storage::VirtualDiskRecord>& records) {
  char letter = UpperFirstLetter(path);
  if (letter == 0) return {};
  for (const storage::VirtualDiskRecord& record : records) {
    for (const std::u16string& drive : record.driveLetters) {
      if (UpperFirstLetter(drive) == letter) return DiskFacts(record, letter);
    }
  }
  return {};
}

int QueryRecords(storage::Component& component, std::vector<storage::VirtualDiskRecord>& records) {
  std::unique_ptr<storage::DiskInterface> disks;
  if (storage::Failed(component.GetDiskFactory())) return -1;
  if (storage::Failed(component.CreateDiskInterface(disks)) || !disks) return -1;
  return storage::Failed(disks->QueryVirtualDisks(records)) ? -1 : 0;
}

}  // namespace

// Fills dataDisk and logDisk of every server from the component's disks:
// 0, or -1 when the component cannot be asked (the records stay empty).
int FillVirtualDiskInfo(std::vector<PartitionInfo>& servers, storage::Component& component) {
  std::vector<storage::VirtualDiskRecord> records;
  if (QueryRecords(component, records) != 0) return -1;
  for (PartitionInfo& server : servers) {
    server.dataDisk = DiskUnder(server.dataPath, records);
    server.logDisk = DiskUnder(server.logPath, records);
  }
  return 0;
}

int CountVirtualDisks(storage::Component& component) {
  std::vector<storage::VirtualDiskRecord> records;
  if (QueryRecords(component, records) != 0) return 0;
  int count = 0;
  for (const storage::VirtualDiskRecord& record : records) count += static_cast<int>(record.driveLetters.size());
  return count;
}

}  // namespace omb
