// Starting the runtime from notes.ini, identity and logging-style queries,
// status texts, names and the log series text.
#include <gtest/gtest.h>

#include "notes/status.h"
#include "tests/notes/notes_fixture.h"

namespace omb::notes::test {
namespace {

class RuntimeTest : public NotesTest {};

TEST_F(RuntimeTest, StartsFromNotesIni) {
  Start();
  std::string name;
  ASSERT_EQ(runtime_.GetServerName(name), kNoError);
  EXPECT_EQ(name, "CN=Mail1/OU=Sales/O=Acme");
  int style = -1;
  ASSERT_EQ(runtime_.GetLogStyle(style), kNoError);
  EXPECT_EQ(style, kLogStyleArchive);
  const RuntimeConfig config = runtime_.Config();
  EXPECT_EQ(config.dataDir, "E:\\Data");
  EXPECT_EQ(config.logDir, "F:\\logdir");
  EXPECT_EQ(config.extentSize, 4096u);
}

TEST_F(RuntimeTest, RefusesAMissingIniOrServerName) {
  EXPECT_EQ(runtime_.InitRuntime({"=E:\\nowhere\\notes.ini"}), kErrNoNotesIni);
  EXPECT_EQ(runtime_.InitRuntime({}), kErrNoNotesIni) << "the default notes.ini does not exist";
  std::string name;
  EXPECT_EQ(runtime_.GetServerName(name), kErrNotInitialized);
  Handle db = 0;
  EXPECT_EQ(runtime_.OpenDb("names.nsf", db), kErrNotInitialized);
  std::filesystem::create_directories(Host("E:\\Data"));
  platform::WriteIniValue(kIni, "Notes", "Directory", "E:\\Data");
  EXPECT_EQ(runtime_.InitRuntime({std::string("=") + kIni}), kErrNoServerName);
}

TEST_F(RuntimeTest, DefaultNotesIniIsInTheProgramDirectory) {
  std::filesystem::create_directories(Host("C:\\Lotus\\Domino"));
  platform::WriteIniValue(kDefaultNotesIni, "Notes", "ServerName", "CN=Solo/O=Acme");
  ASSERT_EQ(runtime_.InitRuntime({}), kNoError);
  std::string name;
  ASSERT_EQ(runtime_.GetServerName(name), kNoError);
  EXPECT_EQ(name, "CN=Solo/O=Acme");
  EXPECT_EQ(runtime_.Config().dataDir, "C:\\Lotus\\Domino") << "no Directory: the notes.ini folder";
}

TEST_F(RuntimeTest, RelativeLogPathIsTakenInTheDataDirectory) {
  WriteIni();
  platform::WriteIniValue(kIni, "Notes", "TRANSLOG_Path", "logdir\\");
  platform::WriteIniValue(kIni, "Notes", "TRANSLOG_ExtentSize", "lots");
  ASSERT_EQ(runtime_.InitRuntime({std::string("=") + kIni}), kNoError);
  EXPECT_EQ(runtime_.Config().logDir, "E:\\Data\\logdir");
  EXPECT_EQ(runtime_.Config().extentSize, kDefaultExtentSize);
}

TEST_F(RuntimeTest, LoggingOffAndTermination) {
  Start({"0", "1", "4096"});
  int style = -1;
  EXPECT_EQ(runtime_.GetLogStyle(style), kLoggingDisabled);
  runtime_.TermRuntime();
  EXPECT_EQ(runtime_.GetLogStyle(style), kErrNotInitialized);
}

TEST_F(RuntimeTest, HandlesDoNotOutliveTheRuntime) {
  Start();
  ASSERT_EQ(runtime_.CreateDatabase("a.nsf", true, "a", {}), kNoError);
  Handle db = 0;
  ASSERT_EQ(runtime_.OpenDb("a.nsf", db), kNoError);
  runtime_.TermRuntime();
  Start();
  EXPECT_EQ(runtime_.CloseDb(db), kErrBadHandle);
}

TEST(NotesNames, AbbreviateDropsTheComponentLabels) {
  Runtime runtime;
  std::string out;
  EXPECT_EQ(runtime.AbbreviateName("CN=Mail1/OU=Sales/O=Acme", out), kNoError);
  EXPECT_EQ(out, "Mail1/Sales/Acme");
  runtime.AbbreviateName("Mail1/Sales/Acme", out);
  EXPECT_EQ(out, "Mail1/Sales/Acme");
  runtime.AbbreviateName("CN=Solo", out);
  EXPECT_EQ(out, "Solo");
  runtime.AbbreviateName("", out);
  EXPECT_EQ(out, "");
}

TEST(NotesStatus, TextsComeFromOneTableMasked) {
  Runtime runtime;
  EXPECT_EQ(runtime.StatusText(kLogFilesNotFound), "Recovery Manager: Unable to find all log files");
  EXPECT_EQ(runtime.StatusText(kDbNotLogged), "Transactional logging is not enabled for this database");
  EXPECT_EQ(runtime.StatusText(kErrFileNotFound), "File does not exist");
  EXPECT_EQ(runtime.StatusText(kErrDbCorrupt), "Database is corrupt -- Cannot allocate space");
  // The top two bits are flags, not part of the code.
  EXPECT_EQ(runtime.StatusText(static_cast<Status>(kLogFilesNotFound | 0xC000)),
            runtime.StatusText(kLogFilesNotFound));
  EXPECT_NE(runtime.StatusText(9999).find("9999"), std::string::npos);
}

TEST(NotesStatus, TranslatePathKeepsAsciiPaths) {
  Runtime runtime;
  std::string out;
  EXPECT_EQ(runtime.TranslatePath(1, "V:\\vaultinfo\\Mail1\\logs\\", out), kNoError);
  EXPECT_EQ(out, "V:\\vaultinfo\\Mail1\\logs\\");
}

TEST(NotesSeries, XorOfFourLittleEndianWordsWithLeadingZeros) {
  LogId id{};
  EXPECT_EQ(LogSeriesText(id), "00000000");
  id[0] = 0x01;   // word 0 = 0x00000001
  id[4] = 0x10;   // word 1 = 0x00000010
  id[15] = 0xAB;  // word 3 = 0xAB000000
  EXPECT_EQ(LogSeriesText(id), "ab000011");
  id[8] = 0x01;   // word 2 cancels word 0
  EXPECT_EQ(LogSeriesText(id), "ab000010");
}

}  // namespace
}  // namespace omb::notes::test
