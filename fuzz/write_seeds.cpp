// Writes the seed corpus of the fuzz target: one valid input per decoder,
// as a service or a client would send it. Run once; the corpus is kept in
// the tree (fuzz/corpus/remote_decoders).
#include <filesystem>
#include <fstream>
#include <iostream>

#include "fuzz/fuzz_decoders.h"
#include "remote/records.h"
#include "tests/remote/sample_records.h"

namespace {

using namespace omb;
using namespace omb::remote;

void Write(const std::filesystem::path& folder, const char* name, uint8_t decoder, const WireWriter& out) {
  std::ofstream file(folder / name, std::ios::binary | std::ios::trunc);
  file.put(static_cast<char>(decoder));
  file << out.bytes();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: write_seeds FOLDER\n";
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::filesystem::create_directories(folder);
  WireWriter out;
  PutVldInfo(out, test::SampleDisk('E', "dominodata1"));
  Write(folder, "vldinfo", fuzz::kVldInfo, out);
  out = {};
  PutSnapshotEntry(out, test::SampleSnapshot(3));
  Write(folder, "snapshot", fuzz::kSnapshotEntry, out);
  out = {};
  PutPartitionInfo(out, test::SamplePartition(2, 3));
  Write(folder, "partition", fuzz::kPartitionInfo, out);
  out = {};
  PutBackupRequest(out, {true, 10, true, false, "Nightly"});
  Write(folder, "backup_request", fuzz::kBackupRequest, out);
  out = {};
  restore::RestoreJob job;
  job.server = test::SamplePartition(1, 2);
  job.snapshot = test::SampleSnapshot(1);
  PutRestoreRequest(out, job);
  Write(folder, "restore_request", fuzz::kRestoreRequest, out);
  out = {};
  ServerList list;
  list.machineName = "DOMSRV01";
  list.partitioned = true;
  for (int n = 1; n <= 3; ++n) list.servers.push_back(test::SamplePartition(n, n));
  PutServerList(out, list);
  Write(folder, "server_list", fuzz::kServerList, out);
  out = {};
  PutNameList(out, {"04-07-2003_13.05.09.txt", "05-01-2004_01.02.03.txt"});
  Write(folder, "name_list", fuzz::kNameList, out);
  out = {};
  out.Int32(0x12345678);
  out.Int32(0x01C2FD12);
  Write(folder, "file_time", fuzz::kFileTime, out);
  out = {};
  for (const char* line : {"Starting Backup of Server Mail1/Sales/Acme\r\n", "", "keep-alive", "done"})
    out.String(line);
  Write(folder, "stream", fuzz::kStream, out);
  return 0;
}
