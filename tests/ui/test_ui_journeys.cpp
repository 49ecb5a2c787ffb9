// Journeys through the console against real machines made by dominosim:
// a backup from the wizard to its report, a restore from the Restore tab
// that gives every document back, and the Reports tab showing, printing
// and deleting what those runs left.
#include <QAction>
#include <QPlainTextEdit>

#include "reports/reports.h"
#include "tests/ui/journey_fixture.h"
#include "ui/reports_view.h"

namespace omb {
namespace {

using test::JourneyTest;

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
