// Journeys through the console against real machines made by dominosim:
// the configuration wizard on a freshly installed machine to its end, a
// backup from the wizard to its report, a restore from the Restore tab
// that gives every document back, and the Reports tab showing, printing
// and deleting what those runs left.
#include <QAction>
#include <QListWidget>
#include <QPlainTextEdit>
#include <sstream>

#include "domino/locks.h"
#include "reports/reports.h"
#include "tests/ui/journey_fixture.h"
#include "ui/config_pages.h"
#include "ui/config_wizard.h"
#include "ui/reports_view.h"

namespace omb {
namespace {

using test::JourneyTest;

// Picks a row of a list view and a drive of the disk list, then "<=>".
void AssignOnPage(QWizardPage* page, const std::string& server, const std::string& drive) {
  auto* assign = static_cast<ui::ConfigAssignPage*>(page);
  assign->partitions()->findItems(QString::fromStdString(server), Qt::MatchExactly).front()->setSelected(true);
  assign->disks()->findItems(QString::fromStdString(drive), Qt::MatchExactly).front()->setSelected(true);
  QTest::mouseClick(page->findChild<QPushButton*>(ui::ControlName(ui::ctl::kAssign)), Qt::LeftButton);
}

class ConfigurationJourney : public JourneyTest {
 protected:
  // The checksums of a server's databases but names.nsf, whose server
  // documents the configuration repoints to the new log directories.
  std::string Documents(int server) {
    std::istringstream lines(Checksum(server));
    std::string line, kept;
    while (std::getline(lines, line)) {
      if (line.rfind("names.nsf ", 0) != 0) kept += line + "\n";
    }
    return kept;
  }
};

TEST_F(ConfigurationJourney, ConfigurationWizardMovesAFreshMachineOntoItsVirtualDisks) {
  Sim({"init", "--servers", "2", "--fresh"});
  Sim({"write", "--server", "1", "--db", "mail/user1.nsf", "--docs", "200"});
  const std::string before1 = Documents(1), before2 = Documents(2);
  ASSERT_FALSE(local_.ConfigurationDone());
  Window().show();
  auto wizardSteps = [&](QWidget* widget) {
    auto* wizard = static_cast<ui::ConfigWizard*>(widget);
    auto next = [&] { QTest::mouseClick(wizard->button(QWizard::NextButton), Qt::LeftButton); };
    next();
    AssignOnPage(wizard->currentPage(), "Mail1/Sales/Acme", "E:");
    AssignOnPage(wizard->currentPage(), "Mail2/Sales/Acme", "G:");
    next();
    AssignOnPage(wizard->currentPage(), "Mail1/Sales/Acme", "F:");
    AssignOnPage(wizard->currentPage(), "Mail2/Sales/Acme", "H:");
    next();
    wizard->currentPage()->findChild<QLineEdit*>(ui::ControlName(ui::ctl::kVaultinfoPath))
        ->setText(QStringLiteral("V:\\vaultinfo\\"));
    next();
    ASSERT_EQ(wizard->currentId(), ui::ConfigWizard::kCompletion);
    QTest::mouseClick(wizard->button(QWizard::FinishButton), Qt::LeftButton);
  };
  std::string shown;
  bool ok = false;
  WithModals({{"configWizard", wizardSteps},
              {ui::DialogName(ui::dlg::kConfiguratorStatus), RunStatusDialog(shown, ok)}},
             [&] { Window().command(ui::cmd::kConfigurator)->trigger(); });
  EXPECT_TRUE(ok) << shown;
  EXPECT_NE(shown.find("MIGRATION COMPLETE!"), std::string::npos) << shown;
  EXPECT_NE(Captions().back().find("Restore Wizard"), std::string::npos);
  // Both servers now live on their virtual disks with every document.
  EXPECT_TRUE(local_.ConfigurationDone());
  EXPECT_FALSE(Console().model().serversCurrent());
  const ServerList& servers = Console().model().Servers();
  ASSERT_EQ(servers.servers.size(), 2u);
  EXPECT_EQ(servers.servers[0].dataPath, "E:\\Lotus\\Domino\\Data1");
  EXPECT_EQ(servers.servers[1].dataPath, "G:\\Lotus\\Domino\\Data2");
  EXPECT_EQ(Documents(1), before1);
  EXPECT_EQ(Documents(2), before2);
  std::vector<std::string> configures = ReportNames(reports::kConfigure);
  ASSERT_EQ(configures.size(), 1u);
  EXPECT_NE(Console().model().reports().GetReportText(reports::kConfigure, configures[0])
                .find("MIGRATION COMPLETE!"),
            std::string::npos);
}

TEST_F(JourneyTest, ConfigurationWizardDoesNotOpenWhileDominoRuns) {
  Sim({"init", "--fresh"});
  SetDominoRunningCheck([] { return true; });
  Window().command(ui::cmd::kConfigurator)->trigger();
  ASSERT_EQ(prompts_.boxes.size(), 1u);
  EXPECT_EQ(prompts_.boxes[0].caption, "Configuration Wizard Error");
  EXPECT_EQ(prompts_.boxes[0].text,
            "Notes/Domino is running. Please shutdown it down before running the configuration");
  EXPECT_EQ(prompts_.boxes[0].owner, nullptr);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(JourneyTest, BackupWizardNowRunsTheBackupAndLeavesItsReport) {
  Sim({"init", "--servers", "2"});
  Sim({"write", "--server", "1", "--db", "mail/user1.nsf", "--docs", "300"});
  Window().show();
  std::string shown;
  bool ok = false;
  BackupWithTheWizard(shown, ok);
  EXPECT_TRUE(ok) << shown;
  // The dialog showed the run's text as it came.
  EXPECT_NE(shown.find("Starting Backup of Server Mail1/Sales/Acme"), std::string::npos) << shown;
  EXPECT_EQ(shown.find("Mail2/Sales/Acme"), std::string::npos);
  std::vector<std::string> backups = ReportNames(reports::kBackup);
  ASSERT_EQ(backups.size(), 1u);
  std::string report = Console().model().reports().GetReportText(reports::kBackup, backups[0]);
  EXPECT_NE(report.find("Starting Backup of Server Mail1/Sales/Acme"), std::string::npos);
  // The server list is listed again: the new snapshot is there.
  EXPECT_FALSE(Console().model().serversCurrent());
  EXPECT_EQ(Console().model().Servers().servers[0].snapshots.size(), 1u);
}

TEST_F(JourneyTest, RestoreFromTheRestoreTabGivesBackEveryDocument) {
  Sim({"init"});
  Sim({"write", "--server", "1", "--db", "mail/user1.nsf", "--docs", "400"});
  ASSERT_EQ(Omb({"--backup=1"}).exitCode, 0);
  Sim({"write", "--server", "1", "--db", "mail/user1.nsf", "--docs", "250"});
  Sim({"write", "--server", "1", "--db", "mail/user2.nsf", "--docs", "100"});
  std::string before = Checksum(1);
  Sim({"damage", "--server", "1", "--db", "mail/user1.nsf"});
  ASSERT_NE(Checksum(1), before);

  Window().show();
  std::string shown;
  bool ok = false;
  RestoreFromTheRestoreTab(shown, ok);
  EXPECT_TRUE(ok) << shown;
  EXPECT_NE(shown.find("SNAPSHOT RESTORE AND RECOVERY COMPLETE."), std::string::npos) << shown;
  EXPECT_EQ(Checksum(1), before);
  std::vector<std::string> restores = ReportNames(reports::kRestore);
  ASSERT_EQ(restores.size(), 1u);
  EXPECT_NE(Console().model().reports().GetReportText(reports::kRestore, restores[0])
                .find("SNAPSHOT RESTORE AND RECOVERY COMPLETE."),
            std::string::npos);
}

TEST_F(JourneyTest, ReportsTabShowsPrintsAndDeletesTheRunsReports) {
  Sim({"init"});
  Window().show();
  std::string shown;
  bool ok = false;
  BackupWithTheWizard(shown, ok);
  ASSERT_TRUE(ok) << shown;
  ui::MainWindow& window = Window();
  window.command(ui::cmd::kViewReport)->trigger();
  auto* view = static_cast<ui::ReportsView*>(window.view(ui::MainWindow::kReportsTab));
  QTreeWidgetItem* backups = view->categoryItem(reports::kBackup);
  ASSERT_EQ(backups->childCount(), 1);
  view->tree()->setCurrentItem(backups->child(0));
  EXPECT_NE(view->textView()->toPlainText().toStdString().find("Starting Backup of Server"),
            std::string::npos);
  window.command(ui::cmd::kPrintReport)->trigger();
  ASSERT_EQ(printers_.printed.size(), 1u);
  EXPECT_NE(PdfText(printers_.printed[0]).find("Starting Backup of Server Mail1/Sales/Acme"),
            std::string::npos);
  view->tree()->setCurrentItem(backups);
  window.command(ui::cmd::kDeleteAllReports)->trigger();
  EXPECT_EQ(prompts_.boxes.back().caption, "Confirm Backup Reports Delete");
  EXPECT_EQ(backups->childCount(), 0);
  EXPECT_TRUE(ReportNames(reports::kBackup).empty());
}

}  // namespace
}  // namespace omb
