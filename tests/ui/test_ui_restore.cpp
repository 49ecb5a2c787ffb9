// The restore wizard and the Restore tab on machines made by dominosim and
// backed up by omb: the preconditions, choosing a snapshot, point in time,
// the summary, and the hand-over's refusals.
#include <QAction>
#include <QCheckBox>
#include <QDateTimeEdit>
#include <QDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QWizard>

#include "domino/locks.h"
#include "tests/ui/ui_fixture.h"
#include "ui/control_ids.h"
#include "ui/main_window.h"
#include "ui/restore_view.h"
#include "ui/restore_wizard.h"
#include "ui/server_tree.h"

namespace omb {
namespace {

using ui::RestoreWizard;
namespace ctl = ui::ctl;

class RestoreUiTest : public test::UiTest {
 protected:
  // Two servers, server 1 backed up twice.
  void BackedUpMachine() {
    Sim({"init", "--servers", "2"});
    ASSERT_EQ(Omb({"--backup=1"}).exitCode, 0);
    ASSERT_EQ(Omb({"--backup=1"}).exitCode, 0);
  }
  ui::RestoreView& Tab() {
    Window().show();
    Window().command(ui::cmd::kViewRestore)->trigger();
    return *static_cast<ui::RestoreView*>(Window().view(ui::MainWindow::kRestoreTab));
  }
  std::unique_ptr<RestoreWizard> Wizard() {
    auto wizard = std::make_unique<RestoreWizard>(Console().model(), services_, nullptr);
    wizard->show();
    return wizard;
  }
  void Next(QWizard& wizard) { QTest::mouseClick(wizard.button(QWizard::NextButton), Qt::LeftButton); }
  template <typename T>
  T* OnPage(QWizard& wizard, int id) {
    return test::Find<T>(wizard.currentPage(), ui::ControlName(id));
  }
  QPushButton* StartRestore(ui::RestoreView& tab) {
    return test::Find<QPushButton>(&tab, ui::ControlName(ctl::kStartRestore));
  }
};

TEST_F(RestoreUiTest, TheWizardWaitsForTheConfigurationAndForABackup) {
  Sim({"init", "--fresh"});
  Window().command(ui::cmd::kRestoreWizard)->trigger();
  ASSERT_EQ(prompts_.boxes.size(), 1u);
  EXPECT_EQ(prompts_.boxes[0].caption, "Restore Wizard Error");
  EXPECT_EQ(prompts_.boxes[0].text, "Please run the Configuration Wizard before running the Restore Wizard");
  // Configured, never backed up.
  WriteHostFile(Host("C:\\Windows\\omb.ini"), "[NOTES]\r\nCONFIGWIZ=1\r\n");
  Window().command(ui::cmd::kRestoreWizard)->trigger();
  ASSERT_EQ(prompts_.boxes.size(), 2u);
  EXPECT_EQ(prompts_.boxes[1].text, "Please run the Backup Wizard before running the Restore Wizard");
  EXPECT_EQ(prompts_.boxes[1].owner, nullptr);
}

TEST_F(RestoreUiTest, WizardChoosesASnapshotAndItsRecovery) {
  BackedUpMachine();
  auto wizard = Wizard();
  Next(*wizard);
  ASSERT_EQ(wizard->currentId(), RestoreWizard::kSnapshot);
  EXPECT_EQ(wizard->currentPage()->title().toStdString(), "Which Snapshot to Restore?");
  EXPECT_FALSE(wizard->button(QWizard::NextButton)->isEnabled());
  auto* tree = OnPage<ui::ServerTree>(*wizard, ctl::kServerTree);
  QTreeWidgetItem* partition = tree->partitionItem(1);
  ASSERT_EQ(partition->childCount(), 2);
  EXPECT_EQ(tree->partitionItem(2)->childCount(), 0);
  QTreeWidgetItem* recent = partition->child(1);
  tree->setCurrentItem(recent);
  const SnapshotEntry& entry = Console().model().Servers().servers[0].snapshots[1];
  EXPECT_EQ(OnPage<QLineEdit>(*wizard, ctl::kSnapshotChosen)->text().toStdString(), entry.name);
  auto* details = OnPage<ui::DetailsList>(*wizard, ctl::kDetailsList);
  EXPECT_EQ(details->value("Name").toStdString(), entry.name);
  EXPECT_EQ(details->value("Date").toStdString(), entry.dateText);
  EXPECT_EQ(details->value("Time").toStdString(), entry.timeText);
  EXPECT_TRUE(wizard->button(QWizard::NextButton)->isEnabled());
  // A partition shows its details and keeps the chosen snapshot.
  tree->setCurrentItem(partition);
  EXPECT_EQ(OnPage<QLineEdit>(*wizard, ctl::kSnapshotChosen)->text().toStdString(), entry.name);
  EXPECT_EQ(details->value("Partition Number").toStdString(), "1");
  Next(*wizard);
  ASSERT_EQ(wizard->currentId(), RestoreWizard::kPointInTime);
  EXPECT_TRUE(OnPage<QRadioButton>(*wizard, ctl::kNotPointInTime)->isChecked());
  EXPECT_EQ(OnPage<QLineEdit>(*wizard, ctl::kSnapshotChosen)->text().toStdString(), entry.name);
  EXPECT_EQ(OnPage<QLineEdit>(*wizard, ctl::kPointInTimeText)->text().toStdString(), entry.dateTimeText);
  OnPage<QRadioButton>(*wizard, ctl::kPointInTime)->click();
  EXPECT_TRUE(wizard->choice().pointInTime);
  Next(*wizard);
  ASSERT_EQ(wizard->currentId(), RestoreWizard::kCompletion);
  EXPECT_EQ(OnPage<QPlainTextEdit>(*wizard, ctl::kRestoreSummary)->toPlainText().toStdString(),
            "Mail1/Sales/Acme will be restored with snapshot:\n" + entry.name +
                "\n\nThis will be a POINT IN TIME RESTORE\n");
}

TEST_F(RestoreUiTest, PinnedSnapshotIsMarkedInTheTabAndTheWizard) {
  BackedUpMachine();
  const test::RunResult pin =
      test::RunProgram(test::BuiltProgram("tools/ombctl/ombctl"), {"pin", "--partition", "1", "--snapshot", "2"}, root_);
  ASSERT_EQ(pin.exitCode, 0) << pin.err;
  ui::RestoreView& tab = Tab();
  const std::vector<SnapshotEntry>& snapshots = Console().model().Servers().servers[0].snapshots;
  ASSERT_EQ(snapshots.size(), 2u);
  EXPECT_EQ(tab.tree()->snapshotItem(1, 0)->text(0).toStdString(), snapshots[0].name + "  [pinned]");
  EXPECT_EQ(tab.tree()->snapshotItem(1, 1)->text(0).toStdString(), snapshots[1].name);
  // Choosing the marked item still chooses the snapshot by its own name.
  tab.Choose(tab.tree()->snapshotItem(1, 0));
  EXPECT_EQ(test::Find<QLineEdit>(&tab, ui::ControlName(ctl::kChosenSnapshot))->text().toStdString(),
            snapshots[0].name);

  auto wizard = Wizard();
  Next(*wizard);
  auto* tree = OnPage<ui::ServerTree>(*wizard, ctl::kServerTree);
  tree->setCurrentItem(tree->partitionItem(1)->child(0));
  auto* details = OnPage<ui::DetailsList>(*wizard, ctl::kDetailsList);
  EXPECT_EQ(details->value("Pinned").toStdString(), "Yes, kept by excess deletion");
  EXPECT_EQ(OnPage<QLineEdit>(*wizard, ctl::kSnapshotChosen)->text().toStdString(), snapshots[0].name);
  tree->setCurrentItem(tree->partitionItem(1)->child(1));
  EXPECT_TRUE(details->value("Pinned").isEmpty());
}

TEST_F(RestoreUiTest, SummaryNamesTheRecoveryMode) {
  EXPECT_EQ(ui::RestoreSummary("Mail1/Sales/Acme", "snap", false),
            "Mail1/Sales/Acme will be restored with snapshot:\r\nsnap\r\n\r\n"
            "This will be an UP TO THE MINUTE RESTORE\r\n");
  EXPECT_EQ(ui::RestoreSummary("M", "s", true), "M will be restored with snapshot:\r\ns\r\n\r\n"
                                                "This will be a POINT IN TIME RESTORE\r\n");
}

TEST_F(RestoreUiTest, TheTabNeedsAChosenSnapshot) {
  BackedUpMachine();
  ui::RestoreView& tab = Tab();
  // A single click shows details; only a double-click chooses.
  tab.tree()->setCurrentItem(tab.tree()->snapshotItem(1, 0));
  QTest::mouseClick(StartRestore(tab), Qt::LeftButton);
  ASSERT_EQ(prompts_.boxes.size(), 1u);
  EXPECT_EQ(prompts_.boxes[0].caption, "Restore Error");
  EXPECT_EQ(prompts_.boxes[0].text, "Please select a snapshot to restore.");
  EXPECT_EQ(prompts_.boxes[0].icon, ui::Icon::Warning);
  EXPECT_EQ(prompts_.boxes[0].owner, &tab);
  tab.Choose(tab.tree()->snapshotItem(1, 0));
  tab.Choose(tab.tree()->partitionItem(2));
  EXPECT_EQ(test::Find<QLineEdit>(&tab, ui::ControlName(ctl::kChosenSnapshot))->text().toStdString(),
            Console().model().Servers().servers[0].snapshots[0].name);
}

TEST_F(RestoreUiTest, AnsweringNoToPointInTimeStartsNothing) {
  BackedUpMachine();
  ui::RestoreView& tab = Tab();
  tab.Choose(tab.tree()->snapshotItem(1, 1));
  auto* pointInTime = test::Find<QCheckBox>(&tab, ui::ControlName(ctl::kPointInTimeBox));
  pointInTime->setChecked(true);
  prompts_.answers = {false};
  QTest::mouseClick(StartRestore(tab), Qt::LeftButton);
  ASSERT_EQ(prompts_.boxes.size(), 1u);
  EXPECT_EQ(prompts_.boxes[0].caption, "Restore Confirmation");
  EXPECT_EQ(prompts_.boxes[0].text, "Would you like to proceed with the POINT IN TIME restore?");
  EXPECT_TRUE(prompts_.boxes[0].question);
  EXPECT_TRUE(pointInTime->isChecked());
}

TEST_F(RestoreUiTest, WhileDominoRunsTheHandOverRefusesWithTwoBoxes) {
  BackedUpMachine();
  SetDominoRunningCheck([] { return true; });
  ui::RestoreView& tab = Tab();
  tab.Choose(tab.tree()->snapshotItem(1, 1));
  QTest::mouseClick(StartRestore(tab), Qt::LeftButton);
  ASSERT_EQ(prompts_.boxes.size(), 2u);
  EXPECT_EQ(prompts_.boxes[0].caption, "Restore Wizard");
  EXPECT_EQ(prompts_.boxes[0].text,
            "Domino is running. It needs to be shutdown before the restore process occurs.");
  EXPECT_EQ(prompts_.boxes[1].caption, "Restore Wizard");
  EXPECT_EQ(prompts_.boxes[1].text, "Restore canceled.");
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(RestoreUiTest, TheTabOpensTheRestoreStatusDialogOwnedByItself) {
  BackedUpMachine();
  ui::RestoreView& tab = Tab();
  tab.Choose(tab.tree()->snapshotItem(1, 1));
  auto* pointInTime = test::Find<QCheckBox>(&tab, ui::ControlName(ctl::kPointInTimeBox));
  pointInTime->setChecked(true);
  WithModal(ui::DialogName(ui::dlg::kRestoreStatus),
            [&](QWidget* dialog) {
              EXPECT_EQ(dialog->windowTitle().toStdString(), "Restore Status");
              EXPECT_EQ(dialog->parentWidget(), &tab);
              static_cast<QDialog*>(dialog)->reject();
            },
            [&] { QTest::mouseClick(StartRestore(tab), Qt::LeftButton); });
  EXPECT_FALSE(pointInTime->isChecked());
  // The choice survives; the tree was rebuilt.
  EXPECT_FALSE(test::Find<QLineEdit>(&tab, ui::ControlName(ctl::kChosenSnapshot))->text().isEmpty());
  EXPECT_EQ(tab.tree()->partitionItem(1)->childCount(), 2);
}

TEST_F(RestoreUiTest, TheChosenTimeIsLimitedToTheSnapshotsRangeAndExcludesPointInTime) {
  BackedUpMachine();
  Sim({"write", "--server", "1", "--db", "mail/user1.nsf", "--docs", "5"});
  ui::RestoreView& tab = Tab();
  auto* pointInTime = test::Find<QCheckBox>(&tab, ui::ControlName(ctl::kPointInTimeBox));
  auto* until = test::Find<QCheckBox>(&tab, ui::ControlName(ctl::kRecoverUntilBox));
  auto* time = test::Find<QDateTimeEdit>(&tab, ui::ControlName(ctl::kRecoverUntilTime));
  EXPECT_FALSE(time->isEnabled());

  // Without a chosen snapshot there is no range to choose from.
  until->setChecked(true);
  EXPECT_FALSE(until->isChecked());
  ASSERT_EQ(prompts_.boxes.size(), 1u);
  EXPECT_EQ(prompts_.boxes[0].text, "Please select a snapshot to restore.");

  tab.Choose(tab.tree()->snapshotItem(1, 1));
  pointInTime->setChecked(true);
  until->setChecked(true);
  EXPECT_TRUE(until->isChecked());
  EXPECT_FALSE(pointInTime->isChecked());
  ASSERT_TRUE(time->isEnabled());
  const SnapshotEntry& entry = Console().model().Servers().servers[0].snapshots[1];
  // The range starts in the second the snapshot was taken and ends no earlier.
  const qint64 createdSeconds = static_cast<qint64>(entry.component.creationTime / 10000000) - 11644473600LL;
  EXPECT_EQ(time->minimumDateTime().toSecsSinceEpoch(), createdSeconds);
  EXPECT_GE(time->maximumDateTime(), time->minimumDateTime());
  EXPECT_EQ(time->dateTime(), time->maximumDateTime());
  time->setDateTime(time->minimumDateTime().addSecs(-3600));
  EXPECT_EQ(time->dateTime(), time->minimumDateTime()) << "the field keeps to the range";

  pointInTime->setChecked(true);
  EXPECT_FALSE(until->isChecked());
  EXPECT_FALSE(time->isEnabled());
}

}  // namespace
}  // namespace omb
