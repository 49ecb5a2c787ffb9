// The server document in names.nsf and the notes.ini log keys, through the
// Notes runtime: what a success changes, and that every failure leaves
// notes.ini as it was, closes what it opened and ends the runtime.
#include <gtest/gtest.h>

#include <memory>

#include "config/configuration.h"
#include "domino/vaultinfo.h"
#include "notes/status.h"
#include "tests/support/fake_services.h"
#include "tests/support/machine_fixture.h"

namespace omb::test {
namespace {

const std::string kIni = "D:\\Lotus\\Domino\\Data1\\notes.ini";
const std::string kOldLogs = "D:\\Lotus\\Domino\\Log1";
const std::string kNewLogs = "Y:\\Lotus\\Domino\\Log1";

bool Has(const std::string& text, const std::string& piece) { return text.find(piece) != std::string::npos; }

class ServerRecordTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    server_.serverName = "Mail1/Sales/Acme";
    server_.logPath = kOldLogs;
    Reset();
  }

  // A fresh notes.ini, names.nsf and runtime.
  void Reset() {
    WriteHostFile(Host(kIni), "[Notes]\r\nTRANSLOG_Path=" + kOldLogs + "\r\n");
    fake_ = std::make_unique<FakeNotes>();
    fake_->AddDatabase("names.nsf", false, false);
    fake_->AddView("names.nsf", "($Servers)", "ServerName");
    document_ = fake_->AddNote("names.nsf", {{"ServerName", "CN=Mail1/OU=Sales/O=Acme"}, {"TRANSLOG_Path", kOldLogs}});
    progress_ = ProgressSink();
  }

  uint16_t Update(const std::string& ini = kIni) {
    return config::UpdateServerRecord(progress_, *fake_, server_, ini, kNewLogs);
  }
  std::string Ini(const std::string& key) {
    std::string value;
    return ReadNotesIniValue(key, value, kIni) > 0 ? value : "";
  }
  std::string Document() { return fake_->NoteItem("names.nsf", document_, "TRANSLOG_Path").value_or(""); }

  std::unique_ptr<FakeNotes> fake_;
  PartitionInfo server_;
  ProgressSink progress_;
  notes::NoteId document_ = 0;
};

TEST_F(ServerRecordTest, UpdateSetsTheDocumentThenBothNotesIniKeys) {
  EXPECT_EQ(Update(), 0);
  EXPECT_EQ(Document(), kNewLogs);
  EXPECT_EQ(Ini("TRANSLOG_Path"), kNewLogs);
  EXPECT_EQ(Ini("Previous_TRANSLOG_Path"), kNewLogs);
  EXPECT_EQ(progress_.accumulated,
            "names.nsf successfully updated.\r\nUpdating log directory entries in " + kIni +
                "\r\nCurrent log directory entry is:\r\n" + kOldLogs + "\r\nUpdating log directory entry to:\r\n" +
                kNewLogs + "\r\nUpdate complete\r\n");
  EXPECT_FALSE(fake_->runtimeActive());
  EXPECT_EQ(fake_->OpenDatabaseHandles(), 0);
  ASSERT_FALSE(fake_->initArgs().empty());
  EXPECT_EQ(fake_->initArgs().back(), std::vector<std::string>{"=" + kIni});
}

TEST_F(ServerRecordTest, ServerWithoutDocumentIsNamedAndNotesIniUntouched) {
  fake_->FailCall(NotesMethod::FindByName, 1, notes::kErrNotFound);
  EXPECT_EQ(Update(), notes::kErrNotFound);
  EXPECT_TRUE(Has(progress_.accumulated, "ERROR: Could not find server record in names.nsf\r\n"));
  EXPECT_EQ(Ini("TRANSLOG_Path"), kOldLogs);
  EXPECT_EQ(Ini("Previous_TRANSLOG_Path"), "");
  EXPECT_FALSE(fake_->runtimeActive());
}

TEST_F(ServerRecordTest, OtherLookupFailureEndsTheRuntimeToo) {
  fake_->SetServerName("CN=Nobody/O=Acme");  // the fake answers a status of its own
  EXPECT_NE(Update(), 0);
  EXPECT_TRUE(Has(progress_.accumulated, "ERROR: Attempt to find server record in names.nsf FAILED\r\n"));
  EXPECT_FALSE(fake_->runtimeActive());
  EXPECT_EQ(fake_->OpenDatabaseHandles(), 0);
  EXPECT_EQ(Document(), kOldLogs);
}

TEST_F(ServerRecordTest, RuntimeThatCannotStartAnswersFfffWithoutAMessage) {
  fake_->FailCall(NotesMethod::InitRuntime, 1, 421);
  EXPECT_EQ(Update(), config::kRuntimeNotStarted);
  EXPECT_EQ(progress_.accumulated, "");
  EXPECT_EQ(Ini("TRANSLOG_Path"), kOldLogs);
}

TEST_F(ServerRecordTest, NotesIniThatCannotBeWrittenIsAnErrorNotACompletion) {
  EXPECT_EQ(Update("Q:\\nowhere\\notes.ini"), config::kIniNotUpdated);
  EXPECT_TRUE(Has(progress_.accumulated, "ERROR: Could not update Q:\\nowhere\\notes.ini with new log directory.\r\n"));
  EXPECT_FALSE(Has(progress_.accumulated, "Update complete"));
  EXPECT_FALSE(fake_->runtimeActive());
  EXPECT_EQ(fake_->OpenDatabaseHandles(), 0);
}

TEST_F(ServerRecordTest, EachFailingCallEndsTheRuntimeAndLeavesNotesIniAsItWas) {
  for (NotesMethod method : AllNotesMethods()) {
    SCOPED_TRACE(NotesMethodName(method));
    Reset();
    fake_->FailCall(method, 1, 5000);
    const uint16_t result = Update();
    EXPECT_FALSE(fake_->runtimeActive());
    if (method == NotesMethod::CloseDb) {
      // The last step: everything is written, the status still says it failed.
      EXPECT_EQ(result, 5000);
      EXPECT_EQ(Ini("TRANSLOG_Path"), kNewLogs);
      continue;
    }
    EXPECT_EQ(fake_->OpenDatabaseHandles(), 0);
    if (result == 0) {
      EXPECT_EQ(Ini("TRANSLOG_Path"), kNewLogs);
      EXPECT_EQ(Document(), kNewLogs);
      continue;
    }
    EXPECT_EQ(Ini("TRANSLOG_Path"), kOldLogs);
    EXPECT_EQ(Ini("Previous_TRANSLOG_Path"), "");
    EXPECT_FALSE(Has(progress_.accumulated, "names.nsf successfully updated."));
    // Only the note's own save can change the document.
    if (method != NotesMethod::CloseNote) {
      EXPECT_EQ(Document(), kOldLogs);
    }
    const bool silent = method == NotesMethod::InitRuntime || method == NotesMethod::CloseCollection;
    if (!silent) {
      EXPECT_TRUE(Has(progress_.accumulated, "ERROR: ")) << progress_.accumulated;
    }
  }
}

}  // namespace
}  // namespace omb::test
