// Journeys through the console against real machines made by dominosim:
// a backup from the wizard to its report, a restore from the Restore tab
// that gives every document back, and the Reports tab showing, printing
// and deleting what those runs left.
#include <QAction>
#include <QDialog>
#include <QPlainTextEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QWizard>

#include "reports/reports.h"
#include "tests/ui/ui_fixture.h"
#include "ui/backup_wizard.h"
#include "ui/control_ids.h"
#include "ui/main_window.h"
#include "ui/reports_view.h"
#include "ui/restore_view.h"
#include "ui/server_tree.h"
#include "ui/status_dialog.h"

namespace omb {
namespace {

namespace ctl = ui::ctl;

class JourneyTest : public test::UiTest {
 protected:
  std::string Checksum(int server) {
    test::RunResult result =
        test::RunProgram(test::BuiltProgram("tools/dominosim/dominosim"),
                         {"checksum", "--server", std::to_string(server)}, root_);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return result.out;
  }
  // Start Now, wait for the end, remember the text, Close.
  std::function<void(QWidget*)> RunStatusDialog(std::string& shown, bool& ok) {
    return [&shown, &ok](QWidget* widget) {
      auto* dialog = static_cast<ui::StatusDialog*>(widget);
      QTest::mouseClick(dialog->findChild<QPushButton*>(ui::ControlName(ctl::kStartNow)),
                        Qt::LeftButton);
      ASSERT_TRUE(test::WaitFor([&] { return dialog->finished(); }, 120000));
      shown = dialog->shownText().toStdString();
      ok = dialog->succeeded();
      QTest::mouseClick(dialog->findChild<QPushButton*>(ui::ControlName(ctl::kClose)),
                        Qt::LeftButton);
    };
  }
  std::vector<std::string> ReportNames(int category) {
    std::vector<std::string> names;
    Console().model().reports().Refresh(category);
    return Console().model().reports().ReportNames(category);
  }
  void BackupWithTheWizard(std::string& shown, bool& ok) {
    auto wizardSteps = [&](QWidget* widget) {
      auto* wizard = static_cast<ui::BackupWizard*>(widget);
      auto next = [&] { QTest::mouseClick(wizard->button(QWizard::NextButton), Qt::LeftButton); };
      next();
      auto* tree = wizard->currentPage()->findChild<ui::ServerTree*>(ui::ControlName(ctl::kServerTree));
      tree->partitionItem(1)->setCheckState(0, Qt::Checked);
      next();
      wizard->currentPage()->findChild<QRadioButton*>(ui::ControlName(ctl::kDeleteNo))->click();
      next();
      next();
      ASSERT_EQ(wizard->currentId(), ui::BackupWizard::kCompletion);
      QTest::mouseClick(wizard->button(QWizard::FinishButton), Qt::LeftButton);
    };
    WithModals({{"backupWizard", wizardSteps},
                {ui::DialogName(ui::dlg::kBackupStatus), RunStatusDialog(shown, ok)}},
               [&] { Window().command(ui::cmd::kBackupWizard)->trigger(); });
  }
};

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

  ui::MainWindow& window = Window();
  window.show();
  window.command(ui::cmd::kViewRestore)->trigger();
  auto* tab = static_cast<ui::RestoreView*>(window.view(ui::MainWindow::kRestoreTab));
  QTreeWidgetItem* snapshot = tab->tree()->snapshotItem(1, 0);
  ASSERT_NE(snapshot, nullptr);
  // A double-click, as the view sees it: the press, then the second click.
  QPoint at = tab->tree()->visualItemRect(snapshot).center();
  QTest::mouseClick(tab->tree()->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseDClick(tab->tree()->viewport(), Qt::LeftButton, {}, at);
  ASSERT_FALSE(tab->findChild<QLineEdit*>(ui::ControlName(ctl::kChosenSnapshot))->text().isEmpty());
  std::string shown;
  bool ok = false;
  WithModal(ui::DialogName(ui::dlg::kRestoreStatus), RunStatusDialog(shown, ok), [&] {
    QTest::mouseClick(tab->findChild<QPushButton*>(ui::ControlName(ctl::kStartRestore)),
                      Qt::LeftButton);
  });
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
