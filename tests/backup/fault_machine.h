#pragma once
// A machine made by dominosim with one server, backed up once and written
// to since, which each run copies afresh; backup and restore runs on it in
// this process through the built-in Notes runtime and a filer of its own;
// and what must hold after any run, whatever platform file operation
// failed inside it.
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "backup/backup.h"
#include "notes/runtime.h"
#include "platform/file_faults.h"
#include "restore/restore.h"
#include "restore/restore_database.h"
#include "tests/support/fake_clock.h"
#include "tests/support/machine_fixture.h"
#include "tests/support/recording_observer.h"

namespace omb::test {

// The services of one run: a fresh built-in runtime, a filer on the fake
// clock and a message recorder.
struct FaultRunServices {
  explicit FaultRunServices(FakeClock& clock);
  RunServices services() { return {runtime, *filer, clock, messages}; }

  notes::Runtime runtime;
  std::unique_ptr<storage::Component> filer;
  FakeClock& clock;
  RecordingMessageBox messages;
};

// What a run left: its result, everything it emitted, its services.
struct FaultOutcome {
  int result = 0;
  std::string text;
  std::vector<std::string> boxes;  // captions of the message boxes shown
  bool faultFired = false;         // the armed operation was reached
};

class FaultMachineTest : public MachineTest {
 public:
  // A backup of the server (deleting all but keepCount_ snapshots) and an
  // up-to-the-minute restore of its oldest snapshot. arm_, when set, runs
  // after discovery, just before the run.
  FaultOutcome Backup();
  FaultOutcome Restore();
  // An up-to-the-minute restore of mail\user1.nsf out of the oldest
  // snapshot, beside the original.
  FaultOutcome RestoreDatabase();

 protected:
  void SetUp() override;
  void TearDown() override;

  // Copies the machine into a folder of its own and works on the copy.
  void UseFreshCopy(const std::string& name);
  // The server of the current machine as discovery lists it.
  PartitionInfo Server();

  // Documents of every database, for comparing what a restore gave back.
  std::map<std::string, std::string> Documents();

  using Check = std::function<void(const FaultOutcome& outcome, const std::string& what)>;
  // Fails each platform file operation of `kind` that a clean run makes
  // (kept in clean_), in turn, each time on a fresh copy; after each run
  // checks what holds after any run, then `check`. Stops at the first
  // broken case.
  void FailEachInTurn(platform::FileOperation kind, FaultOutcome (FaultMachineTest::*run)(), const Check& check);

  // The checks that hold after any run.
  void ExpectNoTemporaryFiles(const std::string& what);
  void ExpectNoDatabaseInBackupMode(const std::string& what);
  void ExpectRunLockFree(const std::string& what);
  void ExpectWholeVaultinfoFiles(const std::string& what);
  void ExpectWholeDatabases(const std::string& what);
  // The report of the category is exactly the run's text, or its saving
  // failed and was shown.
  void ExpectReportOrBox(const std::string& category, const FaultOutcome& outcome, const std::string& what);

  // Counts the platform file operations of `kind` in a clean run, whose
  // outcome is kept in clean_.
  uint64_t OperationsOf(platform::FileOperation kind, FaultOutcome (FaultMachineTest::*run)());
  FaultOutcome clean_;

  // Backs the machine up once more and writes documents after it, so that
  // a restore of its oldest snapshot needs archived logs.
  void AddSecondBackup();

  std::function<void()> arm_;
  int keepCount_ = 1;
  std::filesystem::path template_;
  FakeClock clock_;
  std::map<std::string, std::string> knownExtents_;  // S%07d.TXN -> its bytes
};

// The errno a failed operation of a kind answers in these tests.
int ErrorFor(platform::FileOperation kind);
const char* KindName(platform::FileOperation kind);

}  // namespace omb::test
