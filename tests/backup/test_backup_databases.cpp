// Database enumeration, backup mode and the change-info files.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "backup/databases.h"
#include "platform/files.h"
#include "tests/support/notes_machine_test.h"

namespace omb::backup {
namespace {

using test::FakeNotes;
using test::NotesMethod;

constexpr const char* kData = "E:\\Lotus\\Domino\\Data";
constexpr const char* kChangeDir = "G:\\vaultinfo\\Mail1\\dominosnap__HOST__MAIL1__recent";

std::string LittleEndianHeader(uint64_t size) {
  std::string header(8, '\0');
  for (int i = 0; i < 8; ++i) header[i] = static_cast<char>((size >> (8 * i)) & 0xFF);
  return header;
}

class DatabasesTest : public test::NotesMachineTest {
 protected:
  void SetUp() override {
    NotesMachineTest::SetUp();
    std::filesystem::create_directories(Host(kData));
    std::filesystem::create_directories(root_ / "drives" / "G");
  }

  std::string Db(const std::string& relative) { return std::string(kData) + "\\" + relative; }

  std::vector<DatabaseRecord> Enumerate() {
    std::vector<DatabaseRecord> list;
    EXPECT_EQ(EnumerateDatabases(kData, list), 0);
    return list;
  }

  // Enumerates and starts backup mode; the start must succeed.
  std::vector<DatabaseRecord> StartAll() {
    std::vector<DatabaseRecord> list = Enumerate();
    EXPECT_EQ(StartBackup(*notes_, out_, list, disabled_), 0);
    return list;
  }

  std::string ChangeFile(const std::string& relative) {
    return HostText(ChangeInfoFilePath(kChangeDir, Db(relative)));
  }

  std::vector<std::string> disabled_;
};

// ---- enumeration ------------------------------------------------------------

TEST_F(DatabasesTest, EmptyDataDirectoryGivesEmptyListAndBackupModeIsNoOp) {
  std::vector<DatabaseRecord> list = Enumerate();
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(StartBackup(*notes_, out_, list, disabled_), 0);
  EXPECT_EQ(StopBackupAndSave(*notes_, out_, list, kChangeDir), 0);
  EXPECT_EQ(notes_->TotalCalls(), 0);
  EXPECT_FALSE(std::filesystem::exists(Host(kChangeDir)));
}

TEST_F(DatabasesTest, FindsDatabaseExtensionsInAnyCaseAtAnyDepth) {
  for (const char* name : {"names.nsf", "MAIL.NSF", "tmpl.Ntf", "mail.box", "notes.txt", "nsf", "mail\\deep\\a.nsf"})
    WriteHostFile(Host(Db(name)), "x");
  std::filesystem::create_directories(Host(Db("empty.nsf.d")));

  std::vector<std::string> paths;
  for (const DatabaseRecord& record : Enumerate()) paths.push_back(record.path);
  std::sort(paths.begin(), paths.end());
  std::vector<std::string> expected = {Db("MAIL.NSF"), Db("mail.box"), Db("mail\\deep\\a.nsf"),
                                       Db("names.nsf"), Db("tmpl.Ntf")};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(paths, expected);
}

TEST_F(DatabasesTest, RecordKeepsFileNamePlusDat) {
  WriteHostFile(Host(Db("MAIL.NSF")), "x");
  std::vector<DatabaseRecord> list = Enumerate();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].changeFileName, "MAIL.NSF.dat");
}

TEST_F(DatabasesTest, MissingDataDirectoryAnswersTheListingError) {
  std::vector<DatabaseRecord> list;
  EXPECT_EQ(EnumerateDatabases("E:\\nowhere", list), 3);
  EXPECT_TRUE(list.empty());
}

TEST_F(DatabasesTest, LinksAreNamedAndALinkBackIntoTheTreeIsNoLoop) {
  WriteHostFile(Host(Db("mail\\a.nsf")), "x");
  WriteHostFile(Host(Db("elsewhere.nsf.real")), "x");
  std::filesystem::create_directory_symlink(Host(kData), Host(Db("mail\\loop")));
  std::filesystem::create_symlink(Host(Db("elsewhere.nsf.real")), Host(Db("linked.nsf")));
  std::filesystem::create_symlink(Host(Db("mail\\a.nsf")), Host(Db("mail\\z-alias.nsf")));
  std::filesystem::create_symlink(Host(Db("gone.nsf.real")), Host(Db("dangling.nsf")));

  std::vector<DatabaseRecord> list;
  std::vector<std::string> linked;
  ASSERT_EQ(EnumerateDatabases(kData, list, &linked), 0);
  std::vector<std::string> paths;
  for (const DatabaseRecord& record : list) paths.push_back(record.path);
  std::sort(paths.begin(), paths.end());
  // The folder behind the loop was walked already, and the alias leads to a
  // database met already: a.nsf comes once. A dangling link stays listed.
  EXPECT_EQ(paths, (std::vector<std::string>{Db("dangling.nsf"), Db("linked.nsf"), Db("mail\\a.nsf")}));
  std::sort(linked.begin(), linked.end());
  EXPECT_EQ(linked, (std::vector<std::string>{Db("dangling.nsf"), Db("linked.nsf"), Db("mail\\z-alias.nsf")}));
}

TEST_F(DatabasesTest, ADirectoryLinkOutOfTheTreeIsWalkedAndItsDatabasesNamed) {
  const std::string outside = "E:\\Other";
  WriteHostFile(Host(outside + "\\b.nsf"), "x");
  std::filesystem::create_directory_symlink(Host(outside), Host(Db("other")));
  std::vector<DatabaseRecord> list;
  std::vector<std::string> linked;
  ASSERT_EQ(EnumerateDatabases(kData, list, &linked), 0);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(linked, std::vector<std::string>{Db("other\\b.nsf")});
}

// ---- change-info file paths ---------------------------------------------------

TEST(ChangeInfoFilePathTest, KeepsTheDatabaseFolderBelowTheChangeInfoDirectory) {
  EXPECT_EQ(ChangeInfoFilePath("G:\\ci", "D:\\Lotus\\Domino\\Data\\mail\\a.nsf"),
            "G:\\ci\\Lotus\\Domino\\Data\\mail\\a.nsf.dat");
  EXPECT_EQ(ChangeInfoFilePath("G:\\ci\\", "D:\\names.nsf"), "G:\\ci\\names.nsf.dat");
}

TEST(ChangeInfoFilePathTest, LowerCasesOnlyTheExtension) {
  EXPECT_EQ(ChangeInfoFilePath("G:\\ci", "D:\\Data\\MAIL.NSF"), "G:\\ci\\Data\\MAIL.nsf.dat");
  EXPECT_EQ(ChangeInfoFilePath("G:\\ci", "D:\\Data\\T.NTF"), "G:\\ci\\Data\\T.ntf.dat");
  EXPECT_EQ(ChangeInfoFilePath("G:\\ci", "D:\\Data.v2\\Mail.BOX"), "G:\\ci\\Data.v2\\Mail.box.dat");
}

// ---- starting backup mode -----------------------------------------------------

TEST_F(DatabasesTest, TwentyUnloggedDatabasesGiveNineteenWarningsAndEntries) {
  for (int i = 0; i < 20; ++i) notes_->AddDatabase(Db("u" + std::to_string(i + 10) + ".nsf"), false);
  std::vector<DatabaseRecord> list = StartAll();

  EXPECT_EQ(disabled_.size(), 19u);
  size_t warnings = 0;
  for (size_t at = out_.accumulated.find("WARNING: Database "); at != std::string::npos;
       at = out_.accumulated.find("WARNING: Database ", at + 1))
    ++warnings;
  EXPECT_EQ(warnings, 19u);
  EXPECT_NE(out_.accumulated.find("WARNING: Database " + list[0].path +
                                  " is disabled for logging (WILL NOT BE RECOVERABLE).\r\n"),
            std::string::npos);
  EXPECT_EQ(disabled_.front(), list[0].path);
  EXPECT_EQ(disabled_.back(), list[18].path);
  EXPECT_EQ(notes_->DatabasesInBackup(), 20);
  ReleaseAll(*notes_, list);
}

TEST_F(DatabasesTest, StartRecordsLogInformation) {
  FakeNotes::Database& db = notes_->AddDatabase(Db("a.nsf"));
  db.logExtent = 42;
  std::vector<DatabaseRecord> list = StartAll();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_TRUE(list[0].inBackup);
  EXPECT_TRUE(list[0].logged);
  EXPECT_EQ(list[0].logExtent, 42u);
  EXPECT_EQ(list[0].logId, notes_->logId());
  EXPECT_TRUE(disabled_.empty());
  ReleaseAll(*notes_, list);
}

TEST_F(DatabasesTest, OpenFailureHalfwayLeavesEarlierOnesForTheCallerToRelease) {
  for (const char* name : {"a.nsf", "b.nsf", "c.nsf"}) notes_->AddDatabase(Db(name));
  notes_->FailCall(NotesMethod::OpenDb, 2, test::kFakeNotFound);
  std::vector<DatabaseRecord> list = Enumerate();

  EXPECT_NE(StartBackup(*notes_, out_, list, disabled_), 0);
  EXPECT_EQ(out_.accumulated, "ERROR: Cannot open database: " + Db("b.nsf") + "\r\n" +
                                  "Domino Reports: File does not exist\r\nAborting backup of all databases.\r\n");
  EXPECT_TRUE(list[0].inBackup);
  EXPECT_FALSE(list[1].inBackup);
  EXPECT_FALSE(list[2].inBackup);
  EXPECT_EQ(notes_->DatabasesInBackup(), 1);

  EXPECT_EQ(ReleaseAll(*notes_, list), 0);
  EXPECT_EQ(notes_->DatabasesInBackup(), 0);
  EXPECT_EQ(notes_->OpenDatabaseHandles(), 0);
  EXPECT_EQ(notes_->FindDatabase(Db("a.nsf"))->endFlags, std::vector<uint32_t>{notes::kBackupEndAbort});
}

TEST_F(DatabasesTest, LogInformationFailureClosesTheDatabase) {
  notes_->AddDatabase(Db("a.nsf"));
  notes_->FailCall(NotesMethod::GetDbLogInfo, 1, 4321);
  std::vector<DatabaseRecord> list = Enumerate();
  EXPECT_NE(StartBackup(*notes_, out_, list, disabled_), 0);
  EXPECT_EQ(out_.accumulated,
            "ERROR: Could not obtain log information for " + Db("a.nsf") + " \r\nFake Notes status 4321\r\n");
  EXPECT_FALSE(list[0].inBackup);
  EXPECT_EQ(notes_->OpenDatabaseHandles(), 0);
}

TEST_F(DatabasesTest, BackupStartFailureClosesTheDatabase) {
  notes_->AddDatabase(Db("a.nsf"));
  // The top two bits of a status are flags: the text is that of the rest.
  notes_->FailCall(NotesMethod::BackupStart, 1, 0xC000 | 4321);
  std::vector<DatabaseRecord> list = Enumerate();
  EXPECT_NE(StartBackup(*notes_, out_, list, disabled_), 0);
  EXPECT_EQ(out_.accumulated, "ERROR: Cannot place database : " + Db("a.nsf") +
                                  " in backup mode.\r\nFake Notes status 4321\r\n"
                                  "Please restart your computer and try again.\r\n");
  EXPECT_FALSE(list[0].inBackup);
  EXPECT_EQ(notes_->OpenDatabaseHandles(), 0);
  EXPECT_EQ(notes_->DatabasesInBackup(), 0);
}

// ---- stopping backup mode and saving change information -----------------------

TEST_F(DatabasesTest, ChangeInfoFileHoldsSizeWordsThenTheBytesAcrossManyChunks) {
  FakeNotes::Database& db = notes_->AddDatabase(Db("mail\\a.nsf"));
  db.changeInfoFiller = 100000;  // four chunks of 32 KB and a bit
  std::vector<DatabaseRecord> list = StartAll();
  notes_->WriteDocument(Db("mail\\a.nsf"), "written during the snapshot");

  ASSERT_EQ(StopBackupAndSave(*notes_, out_, list, kChangeDir), 0);
  const std::string& changeInfo = db.lastChangeInfo;
  ASSERT_EQ(changeInfo.size(), 100000u + 27u);
  EXPECT_EQ(changeInfo.substr(0, 27), "written during the snapshot");
  EXPECT_EQ(ChangeFile("mail\\a.nsf"), LittleEndianHeader(changeInfo.size()) + changeInfo);
  EXPECT_EQ(notes_->CallCount(NotesMethod::ReadChangeInfo), 5);
  EXPECT_EQ(db.endFlags, std::vector<uint32_t>{notes::kBackupEndNormal});
  EXPECT_FALSE(list[0].inBackup);
  EXPECT_EQ(notes_->OpenDatabaseHandles(), 0);
  EXPECT_EQ(out_.accumulated, "");
}

TEST_F(DatabasesTest, ZeroByteChangeInfoGivesAnEightByteFile) {
  notes_->AddDatabase(Db("a.nsf"));
  std::vector<DatabaseRecord> list = StartAll();
  ASSERT_EQ(StopBackupAndSave(*notes_, out_, list, kChangeDir), 0);
  EXPECT_EQ(ChangeFile("a.nsf"), std::string(8, '\0'));
}

TEST_F(DatabasesTest, SubDirectoryDatabaseGetsItsChangeFileUnderTheSamePath) {
  notes_->AddDatabase(Db("mail\\users\\b.NSF")).changeInfoFiller = 10;
  std::vector<DatabaseRecord> list = StartAll();
  ASSERT_EQ(StopBackupAndSave(*notes_, out_, list, kChangeDir), 0);
  EXPECT_TRUE(std::filesystem::is_regular_file(
      Host(std::string(kChangeDir) + "\\Lotus\\Domino\\Data\\mail\\users\\b.nsf.dat")));
}

TEST_F(DatabasesTest, ExistingLongerChangeFileIsTruncated) {
  notes_->AddDatabase(Db("a.nsf")).changeInfoFiller = 4;
  WriteHostFile(Host(ChangeInfoFilePath(kChangeDir, Db("a.nsf"))), std::string(1000, 'z'));
  std::vector<DatabaseRecord> list = StartAll();
  ASSERT_EQ(StopBackupAndSave(*notes_, out_, list, kChangeDir), 0);
  EXPECT_EQ(ChangeFile("a.nsf").size(), 12u);
}

TEST_F(DatabasesTest, StopFailureAbortsThatDatabaseAndLeavesLaterOnesMarked) {
  for (const char* name : {"a.nsf", "b.nsf", "c.nsf"}) notes_->AddDatabase(Db(name));
  std::vector<DatabaseRecord> list = StartAll();
  notes_->FailCall(NotesMethod::BackupStop, 2, 4321);

  EXPECT_EQ(StopBackupAndSave(*notes_, out_, list, kChangeDir), -1);
  EXPECT_EQ(out_.accumulated, "ERROR: Cannot stop backupmode of  database : " + Db("b.nsf") +
                                  ".\r\nFake Notes status 4321\r\n");
  EXPECT_EQ(notes_->FindDatabase(Db("a.nsf"))->endFlags, std::vector<uint32_t>{notes::kBackupEndNormal});
  EXPECT_EQ(notes_->FindDatabase(Db("b.nsf"))->endFlags, std::vector<uint32_t>{notes::kBackupEndAbort});
  EXPECT_FALSE(list[1].inBackup);
  EXPECT_TRUE(list[2].inBackup);

  ReleaseAll(*notes_, list);
  EXPECT_EQ(notes_->DatabasesInBackup(), 0);
  EXPECT_EQ(notes_->OpenDatabaseHandles(), 0);
  EXPECT_EQ(notes_->FindDatabase(Db("c.nsf"))->endFlags, std::vector<uint32_t>{notes::kBackupEndAbort});
}

TEST_F(DatabasesTest, SizeQueryFailureIsReported) {
  notes_->AddDatabase(Db("a.nsf"));
  std::vector<DatabaseRecord> list = StartAll();
  notes_->FailCall(NotesMethod::GetChangeInfoSize, 1, 4321);
  EXPECT_EQ(StopBackupAndSave(*notes_, out_, list, kChangeDir), -1);
  EXPECT_EQ(out_.accumulated, "ERROR: Cannot get changeinfo size of database : " + Db("a.nsf") +
                                  ".\r\nFake Notes status 4321\r\n");
  EXPECT_EQ(notes_->DatabasesInBackup(), 0);
}

TEST_F(DatabasesTest, ReadFailureMidwayRemovesTheTornFile) {
  notes_->AddDatabase(Db("a.nsf")).changeInfoFiller = 70000;
  std::vector<DatabaseRecord> list = StartAll();
  notes_->FailCall(NotesMethod::ReadChangeInfo, 2, 4321);
  std::string file = ChangeInfoFilePath(kChangeDir, Db("a.nsf"));

  EXPECT_EQ(StopBackupAndSave(*notes_, out_, list, kChangeDir), -1);
  EXPECT_EQ(out_.accumulated,
            "ERROR: Getting change information (Notes API) failed (while writing to " + file + ").\r\n\r\n");
  EXPECT_FALSE(std::filesystem::exists(Host(file)));
  EXPECT_EQ(notes_->DatabasesInBackup(), 0);
  EXPECT_EQ(notes_->OpenDatabaseHandles(), 0);
}

TEST_F(DatabasesTest, UnopenableChangeFileNamesTheErrnoAndThePath) {
  notes_->AddDatabase(Db("a.nsf"));
  std::vector<DatabaseRecord> list = StartAll();
  // Drive Z: does not exist on this machine, so neither folder nor file can be made.
  std::string directory = "Z:\\vaultinfo\\snap";
  std::string file = ChangeInfoFilePath(directory, Db("a.nsf"));

  EXPECT_EQ(StopBackupAndSave(*notes_, out_, list, directory), -1);
  EXPECT_EQ(out_.accumulated, "ERROR: (ENOENT) File or path not found\r\n"
                              "ERROR: Cannot open changeinfo file : " + file + "\r\n" +
                              "Most likely due to failure to rename the recent " + file + ".\r\n" +
                              "vaultinfo directory to it's time/date value.\r\n");
  EXPECT_EQ(notes_->DatabasesInBackup(), 0);
}

TEST_F(DatabasesTest, UnlistedErrnoGivesOnlyThePathLines) {
  notes_->AddDatabase(Db("a.nsf"));
  std::vector<DatabaseRecord> list = StartAll();
  std::string file = ChangeInfoFilePath(kChangeDir, Db("a.nsf"));
  std::filesystem::create_directories(Host(file));  // a folder where the file belongs

  EXPECT_EQ(StopBackupAndSave(*notes_, out_, list, kChangeDir), -1);
  EXPECT_EQ(out_.accumulated.rfind("ERROR: Cannot open changeinfo file : " + file + "\r\n", 0), 0u);
}

TEST_F(DatabasesTest, RefusedNormalEndIsAFailureAndLeavesNoDatabaseInBackup) {
  notes_->AddDatabase(Db("a.nsf")).changeInfoFiller = 10;
  std::vector<DatabaseRecord> list = StartAll();
  notes_->FailCall(NotesMethod::BackupEnd, 1, 4321);

  EXPECT_EQ(StopBackupAndSave(*notes_, out_, list, kChangeDir), -1);
  EXPECT_EQ(out_.accumulated, "ERROR: Cannot end backup mode of database : " + Db("a.nsf") +
                                  ".\r\nFake Notes status 4321\r\n");
  EXPECT_EQ(notes_->DatabasesInBackup(), 0);
  EXPECT_FALSE(std::filesystem::exists(Host(ChangeInfoFilePath(kChangeDir, Db("a.nsf")))));
}

TEST_F(DatabasesTest, ReleaseAllTouchesOnlyDatabasesStillInBackup) {
  for (const char* name : {"a.nsf", "b.nsf"}) notes_->AddDatabase(Db(name));
  std::vector<DatabaseRecord> list = StartAll();
  list[0].inBackup = false;  // as after a completed save
  int stopsBefore = notes_->CallCount(NotesMethod::BackupStop);
  EXPECT_EQ(ReleaseAll(*notes_, list), 0);
  EXPECT_EQ(notes_->CallCount(NotesMethod::BackupStop), stopsBefore + 1);
  EXPECT_TRUE(notes_->FindDatabase(Db("a.nsf"))->inBackup);
  EXPECT_FALSE(notes_->FindDatabase(Db("b.nsf"))->inBackup);
  EXPECT_FALSE(list[1].inBackup);
}

}  // namespace
}  // namespace omb::backup
