// The console connected through File > Connect to ombsvc on loopback,
// which serves another machine root: the title names the host, a backup
// from the wizard and a restore from the Restore tab run on that machine,
// its documents come back, and this machine stays untouched.
#include <QComboBox>
#include <QDialog>
#include <stdlib.h>

#include "remote/remote_client.h"
#include "reports/reports.h"
#include "tests/remote/service_process.h"
#include "tests/ui/journey_fixture.h"

namespace omb {
namespace {

class RemoteConsoleJourney : public test::JourneyTest {
 protected:
  void SetUp() override {
    JourneyTest::SetUp();
    std::string pattern = (std::filesystem::temp_directory_path() / "omb-remote-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    serviceRoot_ = pattern;
    std::filesystem::create_directories(serviceRoot_ / "drives" / "C");
    remote::ClientOptions options;
    options.messages = &lostListing_;
    connector_ = remote::MakeRemoteConnector(options);
  }
  void TearDown() override {
    service_.Stop(SIGTERM, 30);
    JourneyTest::TearDown();
    std::error_code ignored;
    std::filesystem::remove_all(serviceRoot_, ignored);
  }

  // dominosim and omb on the service's machine.
  void SimThere(const std::vector<std::string>& args) {
    test::RunResult result =
        test::RunProgram(test::BuiltProgram("tools/dominosim/dominosim"), args, serviceRoot_);
    ASSERT_EQ(result.exitCode, 0) << result.err;
  }
  int OmbThere(const std::vector<std::string>& args) {
    return test::RunProgram(test::BuiltProgram("cli/omb"), args, serviceRoot_).exitCode;
  }

  // Starts the service and connects the shown console to it by File > Connect.
  void ConnectToTheService() {
    ASSERT_TRUE(service_.Start(serviceRoot_)) << service_.log();
    Window().show();
    WithModal(ui::DialogName(ui::dlg::kConnect),
              [&](QWidget* dialog) {
                auto* combo = test::Find<QComboBox>(dialog, ui::ControlName(ui::ctl::kHostCombo));
                combo->setEditText(QString::fromStdString(service_.machineName()));
                static_cast<QDialog*>(dialog)->accept();
              },
              [&] { Window().command(ui::cmd::kConnect)->trigger(); });
    ASSERT_TRUE(Console().model().connected()) << service_.log();
  }

  std::filesystem::path serviceRoot_;
  test::ServiceProcess service_;
  test::RecordingMessageBox lostListing_;
};

TEST_F(RemoteConsoleJourney, TheTitleNamesTheHostAndTheListIsTheOtherMachines) {
  SimThere({"init", "--servers", "2"});
  ConnectToTheService();
  // The host, without the port the machine name carries.
  EXPECT_EQ(Window().windowTitle().toStdString(),
            "Ombrel for Lotus Domino (Connected to Server: 127.0.0.1)");
  const ServerList& servers = Console().model().Servers();
  EXPECT_EQ(Console().model().lastListResult(), 0);
  ASSERT_EQ(servers.servers.size(), 2u);
  EXPECT_EQ(servers.servers[0].serverName, "Mail1/Sales/Acme");
  EXPECT_TRUE(lostListing_.shown.empty());
}

TEST_F(RemoteConsoleJourney, BackupWizardNowBacksUpTheOtherMachine) {
  SimThere({"init", "--servers", "2"});
  SimThere({"write", "--server", "1", "--db", "mail/user1.nsf", "--docs", "300"});
  ConnectToTheService();
  std::string shown;
  bool ok = false;
  BackupWithTheWizard(shown, ok);
  EXPECT_TRUE(ok) << shown;
  EXPECT_NE(shown.find("Starting Backup of Server Mail1/Sales/Acme"), std::string::npos) << shown;
  EXPECT_EQ(shown.find("Mail2/Sales/Acme"), std::string::npos);
  // The report is the other machine's, read through the service.
  std::vector<std::string> backups = ReportNames(reports::kBackup);
  ASSERT_EQ(backups.size(), 1u);
  EXPECT_NE(Console().model().reports().GetReportText(reports::kBackup, backups[0])
                .find("Starting Backup of Server Mail1/Sales/Acme"),
            std::string::npos);
  EXPECT_EQ(Console().model().Servers().servers[0].snapshots.size(), 1u);
  // Nothing of the run happened here.
  EXPECT_FALSE(std::filesystem::exists(root_ / "storage"));
}

TEST_F(RemoteConsoleJourney, RestoreFromTheRestoreTabGivesBackTheOtherMachinesDocuments) {
  SimThere({"init"});
  SimThere({"write", "--server", "1", "--db", "mail/user1.nsf", "--docs", "400"});
  ASSERT_EQ(OmbThere({"--backup=1"}), 0);
  SimThere({"write", "--server", "1", "--db", "mail/user1.nsf", "--docs", "250"});
  SimThere({"write", "--server", "1", "--db", "mail/user2.nsf", "--docs", "100"});
  std::string before = Checksum(1, serviceRoot_);
  SimThere({"damage", "--server", "1", "--db", "mail/user1.nsf"});
  ASSERT_NE(Checksum(1, serviceRoot_), before);

  ConnectToTheService();
  std::string shown;
  bool ok = false;
  RestoreFromTheRestoreTab(shown, ok);
  EXPECT_TRUE(ok) << shown;
  EXPECT_NE(shown.find("SNAPSHOT RESTORE AND RECOVERY COMPLETE."), std::string::npos) << shown;
  EXPECT_EQ(Checksum(1, serviceRoot_), before);
  std::vector<std::string> restores = ReportNames(reports::kRestore);
  ASSERT_EQ(restores.size(), 1u);
  EXPECT_NE(Console().model().reports().GetReportText(reports::kRestore, restores[0])
                .find("SNAPSHOT RESTORE AND RECOVERY COMPLETE."),
            std::string::npos);
}

}  // namespace
}  // namespace omb
