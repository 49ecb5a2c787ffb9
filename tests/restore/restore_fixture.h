#pragma once
// A machine with one Domino server ready to be restored: omb.ini naming the
// Vaultinfo root, the snapshot's change-info directory, a report folder,
// and the services of its runs: the fake Notes runtime and storage
// component, a fake clock and a recorder for message boxes. The server's data disk is D:, its logs are on L:, the
// Vaultinfo tree is on E:.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "domino/locks.h"
#include "notes/notes.h"
#include "platform/eventlog.h"
#include "restore/restore.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_notes.h"
#include "tests/support/fake_storage.h"
#include "tests/support/machine_fixture.h"

namespace omb::test {

constexpr const char* kSnapshotName = "dominosnap__HOST__MAIL1__recent";
constexpr const char* kChangeInfoDir = "E:\\vaultinfo\\Mail1\\dominosnap__HOST__MAIL1__recent";
constexpr const char* kServerVaultDir = "E:\\vaultinfo\\Mail1\\";
constexpr const char* kDataPath = "D:\\Lotus\\Domino\\Data";
constexpr const char* kLogPath = "L:\\logdir";
// A log identifier whose four words XOR to 0x12345678, and one that does not.
constexpr const char* kSeries = "12345678";
constexpr const char* kOtherSeries = "0badf00d";

notes::LogId LogIdOfSeries(uint32_t series);

class RestoreTest : public MachineTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The job as the command line fills it (no owner window).
  restore::RestoreJob MakeJob(bool pointInTime);

  // A database of the server, its file on D: and known to the fake runtime.
  void AddDatabase(const std::string& relativePath, bool logged = true);
  // The change-info file of a database: the two size words and the data.
  void WriteChangeInfo(const std::string& relativePath, const std::string& data,
                       uint32_t sizeLow = 0, uint32_t sizeHigh = 0);
  std::string ChangeInfoFile(const std::string& relativePath) const;

  // log_hint of a snapshot directory of the server.
  void WriteLogHint(const std::string& snapshotDirectory, uint32_t firstLog, uint32_t series);
  // An archived extent below a snapshot directory ("<dir>\logs\S%07d.TXN").
  std::string ArchiveExtent(const std::string& snapshotDirectory, uint32_t number,
                            const std::string& contents = "archived");
  // An extent file in the active log directory.
  std::string ActiveExtent(uint32_t number, const std::string& contents = "active");
  // Makes the runtime's log enumeration end at extent `last` of `series`.
  void SetCurrentLog(uint32_t last, uint32_t series);

  std::string ReadWindowsFile(const std::string& windowsPath) const;
  bool WindowsFileExists(const std::string& windowsPath) const;
  // The texts of the saved "Restore" reports.
  std::vector<std::string> RestoreReports() const;
  std::vector<platform::EventRecord> Events() const { return platform::ReadEvents(); }
  // The run lock is free again.
  bool RunLockFree();

  // The services every job of the test runs on.
  RunServices Services() { return RunServices{notes_, storage_, clock_, messages_}; }

  FakeNotes notes_;
  FakeStorage storage_;
  FakeClock clock_;
  RecordingMessageBox messages_;
};

// Occurrences of a text inside another.
int CountOf(const std::string& text, const std::string& piece);

}  // namespace omb::test
