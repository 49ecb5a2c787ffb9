// Restores of a snapshot older than a database's identity change: the
// database is named before the volume is touched, and a restore that rolls
// forward fails naming it, while the other databases are recovered.
#include <filesystem>
#include <string>
#include <vector>

#include "restore/identity_check.h"
#include "tests/restore/restore_fixture.h"
#include "vault/instance_ids.h"

namespace omb::test {
namespace {

constexpr const char* kMail = "D:\\Lotus\\Domino\\Data\\mail\\a.nsf";
constexpr const char* kNames = "D:\\Lotus\\Domino\\Data\\names.nsf";
constexpr const char* kLater = "E:\\vaultinfo\\Mail1\\dominosnap__HOST__Mail1__4-8-2003_9.0.0";
constexpr const char* kLatest = "E:\\vaultinfo\\Mail1\\dominosnap__HOST__Mail1__4-9-2003_9.0.0";

notes::LogId Id(uint8_t first) {
  notes::LogId id{};
  id[0] = first;
  return id;
}

class IdentityRestoreTest : public RestoreTest {
 protected:
  // Two logged databases with change information and one archived extent
  // to copy in; the snapshot recorded mail's identity as `snapshotId` and
  // names.nsf's as the runtime reports it now.
  void SetUpServer(uint8_t snapshotId) {
    AddDatabase("mail\\a.nsf");
    AddDatabase("names.nsf");
    WriteChangeInfo("mail\\a.nsf", "late change", 11, 0);
    WriteChangeInfo("names.nsf", "", 0, 0);
    WriteLogHint(kChangeInfoDir, 3, 0x12345678);
    ArchiveExtent(kChangeInfoDir, 3, "three");
    SetCurrentLog(4, 0x12345678);
    Record(kChangeInfoDir, 5, {{kMail, Id(snapshotId)}, {kNames, notes_.FindDatabase(kNames)->instanceId}});
  }
  void Record(const std::string& directory, uint64_t sequence,
              std::vector<std::pair<std::string, notes::LogId>> databases) {
    std::filesystem::create_directories(Host(directory));
    backup::InstanceIds ids;
    ids.sequence = sequence;
    ids.databases = std::move(databases);
    ASSERT_EQ(backup::WriteInstanceIds(directory, ids), 0);
  }
  void SetLiveMailId(uint8_t first) { notes_.FindDatabase(kMail)->instanceId = Id(first); }

  std::vector<std::string> Changed() {
    restore::RestoreJob job = MakeJob(false);
    const restore::IdentityChanges changes = restore::WarnOfIdentityChanges(job, kChangeInfoDir);
    ClearProgressText();
    return changes.databases;
  }
  std::string Report() {
    const std::vector<std::string> reports = RestoreReports();
    return reports.empty() ? std::string() : reports.back();
  }
};

const std::string kWarning = std::string("WARNING: Database ") + kMail +
                             " was given a new instance identifier after this snapshot was taken: it cannot be "
                             "recovered from this snapshot past that change.\r\n";

TEST_F(IdentityRestoreTest, UpToTheMinuteNamesTheDatabaseFirstAndFailsForItOnly) {
  SetUpServer(0x11);
  SetLiveMailId(0x22);
  notes_.ScriptRecover({0, 0, {}, ""});
  restore::RestoreJob job = MakeJob(false);

  EXPECT_EQ(restore::RunRestore(job), -1);

  const std::string text = Report();
  const size_t warned = text.find(kWarning);
  ASSERT_NE(warned, std::string::npos) << text;
  EXPECT_LT(warned, text.find("Starting restore of snapshot"));
  EXPECT_EQ(text.find(std::string(kNames) + " was given"), std::string::npos);
  const std::string last = std::string("ERROR: Database ") + kMail +
                           " was not recovered past the change of its instance identifier after this snapshot.\r\n";
  ASSERT_GE(text.size(), last.size());
  EXPECT_EQ(text.substr(text.size() - last.size()), last);
  EXPECT_EQ(text.find("Recovery COMPLETE"), std::string::npos);
  // It is still rolled forward as far as its old identity goes, with the other.
  ASSERT_EQ(notes_.recoverCalls().size(), 1u);
  EXPECT_EQ(notes_.recoverCalls()[0].databases, (std::vector<std::string>{kMail, kNames}));
}

TEST_F(IdentityRestoreTest, PointInTimeWarnsAndStillSucceeds) {
  SetUpServer(0x11);
  SetLiveMailId(0x22);
  restore::RestoreJob job = MakeJob(true);
  EXPECT_EQ(restore::RunRestore(job), 0);
  EXPECT_NE(Report().find(kWarning), std::string::npos);
  EXPECT_NE(Report().find("SNAPSHOT RESTORE AND RECOVERY COMPLETE."), std::string::npos);
}

// Which identity counts as the current one: the database on the volume when
// it can be read, else the latest later backup's record.
TEST_F(IdentityRestoreTest, CurrentIdentityComesFromTheVolumeOrTheLatestRecord) {
  SetUpServer(0x11);
  SetLiveMailId(0x11);
  EXPECT_TRUE(Changed().empty()) << "same identity on the volume";
  Record(kLater, 6, {{kMail, Id(0x22)}});
  EXPECT_TRUE(Changed().empty()) << "the volume wins over a later record";
  SetLiveMailId(0x33);
  EXPECT_EQ(Changed(), std::vector<std::string>{kMail});

  notes_.FailCall(NotesMethod::OpenDb, 0, 4321);  // the database is damaged
  EXPECT_EQ(Changed(), std::vector<std::string>{kMail}) << "the later record tells";
  Record(kLatest, 7, {{kMail, Id(0x11)}});
  EXPECT_TRUE(Changed().empty()) << "put back to its old identity by the latest backup's time";
  Record(kLatest, 4, {{kMail, Id(0x11)}});
  EXPECT_EQ(Changed(), std::vector<std::string>{kMail}) << "a record older than the snapshot does not count";
}

TEST_F(IdentityRestoreTest, SnapshotWithoutARecordNamesNothing) {
  SetUpServer(0x11);
  SetLiveMailId(0x22);
  std::filesystem::remove(Host(std::string(kChangeInfoDir) + "\\instance_ids"));
  EXPECT_TRUE(Changed().empty());
  EXPECT_EQ(notes_.CallCount(NotesMethod::OpenDb), 0);
}

}  // namespace
}  // namespace omb::test
