// The component wrapper's failure texts and the snapshot listing entries.
#include <cstdlib>
#include <ctime>

#include "component/component.h"
#include "tests/support/fake_storage.h"
#include "tests/support/machine_fixture.h"

namespace omb::test {
namespace {

using Method = FakeStorage::Method;
constexpr storage::HRESULT kClassNotRegistered = storage::REGDB_E_CLASSNOTREG_;

class SnapshotComponentTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    UseTimeZone("UTC");
  }
  void TearDown() override {
    UseTimeZone("UTC");
    MachineTest::TearDown();
  }
  static void UseTimeZone(const char* zone) {
    ::setenv("TZ", zone, 1);
    ::tzset();
  }

  FakeStorage fake_;
};

TEST_F(SnapshotComponentTest, EntryTextsHaveNoLeadingZeros) {
  SnapshotEntry entry = snapshot::MakeSnapshotEntry({u"snap", FileTimeUtc(2003, 4, 7, 9, 5, 2)});
  EXPECT_EQ(entry.name, "snap");
  EXPECT_EQ(entry.wideName, u"snap");
  EXPECT_EQ(entry.dateText, "4-7-2003");
  EXPECT_EQ(entry.timeText, "9:5:2");
  EXPECT_EQ(entry.dateTimeText, "4-7-2003_9.5.2");
  EXPECT_EQ(entry.pointInTimeText, "4/7/2003 9:5:00");
  EXPECT_EQ(entry.component.creationTime, FileTimeUtc(2003, 4, 7, 9, 5, 2));
}

TEST_F(SnapshotComponentTest, EntryTextsAreInLocalTime) {
  UseTimeZone("EST5");  // five hours behind UTC, no daylight saving
  SnapshotEntry entry = snapshot::MakeSnapshotEntry({u"snap", FileTimeUtc(2003, 4, 7, 14, 5, 2)});
  EXPECT_EQ(entry.dateTimeText, "4-7-2003_9.5.2");
  // Midnight UTC is the evening before.
  entry = snapshot::MakeSnapshotEntry({u"snap", FileTimeUtc(2026, 10, 1, 0, 0, 0)});
  EXPECT_EQ(entry.dateText, "9-30-2026");
  EXPECT_EQ(entry.timeText, "19:0:0");
}

TEST_F(SnapshotComponentTest, ListingKeepsTheComponentsOrder) {
  fake_.AddSnapshot('E', "older", FileTimeUtc(2003, 4, 7, 9, 5, 2));
  fake_.AddSnapshot('E', "newer", FileTimeUtc(2003, 4, 8, 10, 0, 0));
  std::vector<SnapshotEntry> entries;
  ASSERT_EQ(snapshot::ListSnapshots(fake_, 'e', entries), 0);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].name, "newer");
  EXPECT_EQ(entries[0].dateText, "4-8-2003");
  EXPECT_EQ(entries[1].name, "older");
  EXPECT_EQ(fake_.Calls().back().drive, "E");
}

TEST_F(SnapshotComponentTest, EmptyVolumeListsNothing) {
  std::vector<SnapshotEntry> entries;
  EXPECT_EQ(snapshot::ListSnapshots(fake_, 'E', entries), 0);
  EXPECT_TRUE(entries.empty());
}

TEST_F(SnapshotComponentTest, ListingFailsWhenAnyStepFails) {
  fake_.AddSnapshot('E', "snap", FileTimeUtc(2003, 4, 7, 9, 5, 2));
  for (Method method : {Method::GetSnapshotFactory, Method::CreateSnapshotInterface, Method::EnumSnapShots}) {
    fake_.FailMethod(method, storage::E_FAIL_);
    std::vector<SnapshotEntry> entries;
    EXPECT_EQ(snapshot::ListSnapshots(fake_, 'E', entries), -1);
    EXPECT_TRUE(entries.empty());
    fake_.ClearFailure(method);
  }
}

TEST_F(SnapshotComponentTest, OpeningTheInterfaceNamesTheFailingStep) {
  std::unique_ptr<storage::SnapshotInterface> snapshots;
  std::string error;
  fake_.FailMethod(Method::GetSnapshotFactory, kClassNotRegistered);
  EXPECT_EQ(snapshot::OpenSnapshotInterface(fake_, snapshots, error), -1);
  EXPECT_EQ(error, "Could not create Snapshot COM Object.\r\nClass not registered\r\n\r\n");
  fake_.ClearFailure(Method::GetSnapshotFactory);

  fake_.FailMethod(Method::CreateSnapshotInterface, static_cast<storage::HRESULT>(0x8004DEAD));
  EXPECT_EQ(snapshot::OpenSnapshotInterface(fake_, snapshots, error), -1);
  EXPECT_EQ(error, "Could not obtain Snapshot interface pointer.\r\nUnknown error.\r\n");
  EXPECT_EQ(snapshots, nullptr);
  fake_.ClearFailure(Method::CreateSnapshotInterface);

  EXPECT_EQ(snapshot::OpenSnapshotInterface(fake_, snapshots, error), 0);
  EXPECT_NE(snapshots, nullptr);
}

// A component that reports success but hands out no interface.
class NullInterfaceComponent : public storage::Component {
 public:
  storage::HRESULT GetSnapshotFactory() override { return storage::S_OK_; }
  storage::HRESULT CreateSnapshotInterface(std::unique_ptr<storage::SnapshotInterface>&) override {
    return storage::S_OK_;
  }
  storage::HRESULT GetDiskFactory() override { return storage::S_OK_; }
  storage::HRESULT CreateDiskInterface(std::unique_ptr<storage::DiskInterface>&) override {
    return storage::S_OK_;
  }
};

TEST_F(SnapshotComponentTest, SuccessWithoutAnInterfaceIsAFailureNotACrash) {
  NullInterfaceComponent broken;
  std::unique_ptr<storage::SnapshotInterface> snapshots;
  std::string error;
  EXPECT_EQ(snapshot::OpenSnapshotInterface(broken, snapshots, error), -1);
  EXPECT_EQ(error, "Could not obtain Snapshot interface pointer.\r\nNo such interface supported\r\n\r\n");
  std::string restoreError;
  EXPECT_EQ(snapshot::RestoreSnapshot(broken, 'E', u"snap", restoreError), -1);
  std::vector<SnapshotEntry> entries;
  EXPECT_EQ(snapshot::ListSnapshots(broken, 'E', entries), -1);
}

TEST_F(SnapshotComponentTest, CreateSendsTheUpperCaseDriveAndReportsFailure) {
  std::unique_ptr<storage::SnapshotInterface> snapshots;
  std::string error;
  ASSERT_EQ(snapshot::OpenSnapshotInterface(fake_, snapshots, error), 0);
  EXPECT_EQ(snapshot::CreateSnapshot(*snapshots, 'e', u"dominosnap__HOST__MAIL1__recent", error), 0);
  EXPECT_TRUE(fake_.HasSnapshot('E', "dominosnap__HOST__MAIL1__recent"));
  EXPECT_EQ(fake_.Calls().back().drive, "E");

  fake_.FailMethod(Method::CreateSnapShot, storage::E_FAIL_);
  EXPECT_EQ(snapshot::CreateSnapshot(*snapshots, 'E', u"second", error), -1);
  EXPECT_EQ(error, "Failed to create snapshot (CreateSnapShot method failed).\r\nUnspecified error\r\n");
}

TEST_F(SnapshotComponentTest, RestoreCountsEHandleAsSuccess) {
  fake_.AddSnapshot('E', "snap", FileTimeUtc(2003, 4, 7, 9, 5, 2));
  std::string error = "earlier\r\n";
  EXPECT_EQ(snapshot::RestoreSnapshot(fake_, 'E', u"snap", error), 0);
  fake_.FailMethod(Method::RestoreSnapShot, storage::E_HANDLE_);
  EXPECT_EQ(snapshot::RestoreSnapshot(fake_, 'E', u"snap", error), 0);
  EXPECT_EQ(error, "earlier\r\n");
}

TEST_F(SnapshotComponentTest, RestoreAppendsTheTextOfTheFailingStep) {
  fake_.AddSnapshot('E', "snap", FileTimeUtc(2003, 4, 7, 9, 5, 2));
  std::string error = "earlier\r\n";
  fake_.FailMethod(Method::RestoreSnapShot, storage::E_FAIL_);
  EXPECT_EQ(snapshot::RestoreSnapshot(fake_, 'E', u"snap", error), -1);
  EXPECT_EQ(error, "earlier\r\nERROR: Restore SnapShot failed.\r\nUnspecified error\r\n");
  fake_.ClearFailure(Method::RestoreSnapShot);

  error.clear();
  fake_.FailMethod(Method::GetSnapshotFactory, kClassNotRegistered);
  EXPECT_EQ(snapshot::RestoreSnapshot(fake_, 'E', u"snap", error), -1);
  EXPECT_EQ(error, "ERROR: Could not create Snapshot Inteferface.\r\nClass not registered\r\n");
}

TEST_F(SnapshotComponentTest, SystemTextFallsBackToUnknownError) {
  EXPECT_EQ(snapshot::SystemText(storage::E_FAIL_), "Unspecified error\r\n");
  EXPECT_EQ(snapshot::SystemText(static_cast<storage::HRESULT>(0x8004DEAD)), "Unknown error.");
  EXPECT_EQ(snapshot::DriveString('f'), u"F");
}

}  // namespace
}  // namespace omb::test
