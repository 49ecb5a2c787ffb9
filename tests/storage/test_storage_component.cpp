// The component as callers meet it: installation, the disk query, the
// failure hooks, the pre-snapshot hook and the in-process seam.
#include <cstdlib>

#include "tests/storage/storage_test_support.h"

namespace omb::test {
namespace {

namespace fs = std::filesystem;
using storage::HRESULT;
using storage::S_OK_;

using ComponentTest = FilerTest;

TEST_F(ComponentTest, FactoriesNeedTheDiskTable) {
  storage::Component& component = storage::CurrentComponent();
  EXPECT_EQ(component.GetSnapshotFactory(), S_OK_);
  EXPECT_EQ(component.GetDiskFactory(), S_OK_);
  fs::remove(root_ / "storage" / "disks.ini");
  EXPECT_EQ(component.GetSnapshotFactory(), storage::REGDB_E_CLASSNOTREG_);
  EXPECT_EQ(component.GetDiskFactory(), storage::REGDB_E_CLASSNOTREG_);
}

TEST_F(ComponentTest, DiskQueryGivesPathsThatParseIntoFilerVolumeAndFile) {
  ASSERT_TRUE(storage::RegisterVirtualDisk('f', "FILER2", "logs", "logs.vld"));
  ASSERT_TRUE(storage::RegisterVirtualDisk('G', "FILER1", "data1", "data1.vld"));
  std::unique_ptr<storage::DiskInterface> disks;
  ASSERT_EQ(storage::CurrentComponent().CreateDiskInterface(disks), S_OK_);
  std::vector<storage::VirtualDiskRecord> records;
  ASSERT_EQ(disks->QueryVirtualDisks(records), S_OK_);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].storagePath, u"\\\\FILER1\\data1\\data1.vld");
  EXPECT_EQ(records[0].volumePath, u"/vol/data1");
  EXPECT_EQ(records[0].driveLetters, (std::vector<std::u16string>{u"E", u"G"}));
  EXPECT_EQ(records[1].storagePath, u"\\\\FILER2\\logs\\logs.vld");
  EXPECT_EQ(records[1].driveLetters, std::vector<std::u16string>{u"F"});
}

TEST_F(ComponentTest, RegisteringReplacesTheDiskOfALetterAndRefusesBadNames) {
  ASSERT_TRUE(storage::RegisterVirtualDisk('E', "FILER9", "vol9", "nine.vld"));
  EXPECT_FALSE(storage::RegisterVirtualDisk('1', "F", "v", "d.vld"));
  EXPECT_FALSE(storage::RegisterVirtualDisk('H', "F\\X", "v", "d.vld"));
  EXPECT_FALSE(storage::RegisterVirtualDisk('H', "F", "a/b", "d.vld"));
  EXPECT_FALSE(storage::RegisterVirtualDisk('H', "F", "..", "d.vld"));
  EXPECT_FALSE(storage::RegisterVirtualDisk('H', "F", "v", ""));
  std::unique_ptr<storage::DiskInterface> disks;
  storage::CurrentComponent().CreateDiskInterface(disks);
  std::vector<storage::VirtualDiskRecord> records;
  disks->QueryVirtualDisks(records);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].storagePath, u"\\\\FILER9\\vol9\\nine.vld");
}

TEST_F(ComponentTest, MalformedDiskTableLinesAreSkipped) {
  WriteHostFile(root_ / "storage" / "disks.ini",
                "[E]\nFiler=F1\nVolume=v1\nFile=a.vld\n[EE]\nFiler=x\n[G]\nFiler=F1\ngarbage\n");
  std::unique_ptr<storage::DiskInterface> disks;
  storage::CurrentComponent().CreateDiskInterface(disks);
  std::vector<storage::VirtualDiskRecord> records;
  ASSERT_EQ(disks->QueryVirtualDisks(records), S_OK_);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].driveLetters, std::vector<std::u16string>{u"E"});
}

// Each method of the component, run once, with the injected result seen.
TEST_F(ComponentTest, EveryMethodCanBeMadeToFail) {
  ASSERT_EQ(Create("snap"), S_OK_);
  storage::Component& component = storage::CurrentComponent();
  const std::vector<std::pair<std::string, std::function<HRESULT()>>> methods = {
      {"CreateSnapShot", [&] { return Create("another"); }},
      {"RestoreSnapShot", [&] { return Restore("snap"); }},
      {"DeleteSnapShot", [&] { bool d = true; HRESULT r = snapshots_->DeleteSnapShot(u"E", u"snap", d); EXPECT_FALSE(d); return r; }},
      {"RenameSnapShot", [&] { return snapshots_->RenameSnapShot(u"E", u"snap", u"renamed"); }},
      {"EnumSnapShots", [&] { std::vector<storage::SnapshotRecord> r; return snapshots_->EnumSnapShots(u"E", r); }},
      {"QueryVirtualDisks", [&] {
         std::unique_ptr<storage::DiskInterface> disks;
         component.CreateDiskInterface(disks);
         std::vector<storage::VirtualDiskRecord> r;
         return disks->QueryVirtualDisks(r);
       }},
      {"GetSnapshotFactory", [&] { return component.GetSnapshotFactory(); }},
      {"CreateSnapshotInterface", [&] {
         std::unique_ptr<storage::SnapshotInterface> out;
         HRESULT r = component.CreateSnapshotInterface(out);
         EXPECT_EQ(out, nullptr);
         return r;
       }},
      {"GetDiskFactory", [&] { return component.GetDiskFactory(); }},
      {"CreateDiskInterface", [&] {
         std::unique_ptr<storage::DiskInterface> out;
         HRESULT r = component.CreateDiskInterface(out);
         EXPECT_EQ(out, nullptr);
         return r;
       }},
  };
  for (const auto& [name, call] : methods) {
    std::string setting = "EnumSnapShots:5," + name + ":0x80070005";
    if (name == "EnumSnapShots") setting = "EnumSnapShots:-2147024891";
    ::setenv("OMB_STORAGE_FAIL", setting.c_str(), 1);
    EXPECT_EQ(call(), static_cast<HRESULT>(0x80070005)) << name;
  }
  ::unsetenv("OMB_STORAGE_FAIL");
  // The failed calls did no work.
  EXPECT_EQ(Names(), std::vector<std::string>{"snap"});
}

TEST_F(ComponentTest, InjectedSuccessCodesStillDoTheWork) {
  WriteHostFile(Drive('E') / "a", "old");
  ASSERT_EQ(Create("snap"), S_OK_);
  WriteHostFile(Drive('E') / "a", "new");
  ::setenv("OMB_STORAGE_FAIL", "RestoreSnapShot:0x80070006", 1);
  EXPECT_EQ(Restore("snap"), storage::E_HANDLE_);
  EXPECT_EQ(ReadHostFile(Drive('E') / "a"), "old");
}

TEST_F(ComponentTest, MalformedFailSettingsAreIgnoredWithAWarning) {
  ::setenv("OMB_STORAGE_FAIL", "CreateSnapShot,Bogus:1,EnumSnapShots:zz,:5,RenameSnapShot:0x80004005", 1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(Create("fine"), S_OK_);
  std::string warnings = testing::internal::GetCapturedStderr();
  EXPECT_NE(warnings.find("Bogus:1"), std::string::npos);
  EXPECT_NE(warnings.find("EnumSnapShots:zz"), std::string::npos);
  EXPECT_EQ(snapshots_->RenameSnapShot(u"E", u"fine", u"x"), storage::E_FAIL_);
  ::unsetenv("OMB_STORAGE_FAIL");
  EXPECT_EQ(Names(), std::vector<std::string>{"fine"});
}

TEST_F(ComponentTest, PreSnapshotHookRunsBeforeTheCopyOnThisMachine) {
  WriteHostFile(Drive('E') / "a", "before");
  ::setenv("OMB_MACHINE", "/nonexistent", 1);  // the hook must get the real root
  platform::SetMachineRoot(root_);
  ::setenv("OMB_STORAGE_PRE_SNAPSHOT", "printf during > \"$OMB_MACHINE/drives/E/a\"", 1);
  ASSERT_EQ(Create("snap"), S_OK_);
  ::unsetenv("OMB_STORAGE_PRE_SNAPSHOT");
  WriteHostFile(Drive('E') / "a", "after");
  ASSERT_EQ(Restore("snap"), S_OK_);
  EXPECT_EQ(ReadHostFile(Drive('E') / "a"), "during");
}

TEST(Utf16Test, RoundTripsEveryPlaneAndReplacesMalformedInput) {
  std::string text = "dominosnap__H\xC3\x96ST__\xE2\x82\xAC__\xF0\x9F\x98\x80";
  std::u16string wide = storage::ToUtf16(text);
  EXPECT_EQ(wide, u"dominosnap__H\u00D6ST__\u20AC__\U0001F600");
  EXPECT_EQ(storage::FromUtf16(wide), text);
  EXPECT_EQ(storage::ToUtf16("a\xFF" "b\xE2\x82"), u"a\uFFFDb\uFFFD\uFFFD");
  EXPECT_EQ(storage::ToUtf16("\xC0\x80"), u"\uFFFD");  // overlong NUL
  EXPECT_EQ(storage::FromUtf16(std::u16string(1, char16_t(0xD800)) + u"x"), "\xEF\xBF\xBDx");
}

}  // namespace
}  // namespace omb::test
