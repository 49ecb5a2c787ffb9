// The backup wizard and the Backup tab on machines made by dominosim: the
// tick rules, the details list, every page's rules and refusals, the
// summary, the tab's delete count and the job-name dialog.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QWizard>

#include "tests/ui/ui_fixture.h"
#include "ui/backup_view.h"
#include "ui/backup_wizard.h"
#include "ui/control_ids.h"
#include "ui/main_window.h"
#include "ui/server_tree.h"

namespace omb {
namespace {

using ui::BackupWizard;
namespace ctl = ui::ctl;

class BackupUiTest : public test::UiTest {
 protected:
  ui::BackupView& Tab() {
    Window().show();
    Window().command(ui::cmd::kViewBackup)->trigger();
    return *static_cast<ui::BackupView*>(Window().view(ui::MainWindow::kBackupTab));
  }
  // Clicks a partition's check box as the user would.
  void Tick(ui::ServerTree* tree, int partition, bool ticked = true) {
    tree->partitionItem(partition)->setCheckState(0, ticked ? Qt::Checked : Qt::Unchecked);
  }
  bool Ticked(ui::ServerTree* tree, int partition) {
    return tree->partitionItem(partition)->checkState(0) == Qt::Checked;
  }
  std::unique_ptr<BackupWizard> Wizard() {
    auto wizard = std::make_unique<BackupWizard>(Console().model(), services_, nullptr);
    wizard->show();
    return wizard;
  }
  void Next(QWizard& wizard) { QTest::mouseClick(wizard.button(QWizard::NextButton), Qt::LeftButton); }
  template <typename T>
  T* OnPage(QWizard& wizard, int id) {
    return test::Find<T>(wizard.currentPage(), ui::ControlName(id));
  }
};

TEST_F(BackupUiTest, OnlyArchiveLoggedPartitionsOnVirtualDisksCanBeTicked) {
  Sim({"init", "--servers", "3", "--logging", "archive,circular,none"});
  ui::BackupView& tab = Tab();
  Tick(tab.tree(), 2);
  EXPECT_FALSE(Ticked(tab.tree(), 2));
  ASSERT_EQ(prompts_.boxes.size(), 1u);
  EXPECT_EQ(prompts_.boxes[0].caption, "Backup Wizard Error");
  EXPECT_EQ(prompts_.boxes[0].text, "Only Archival transaction logging is supported.  Backup Aborted");
  EXPECT_EQ(prompts_.boxes[0].owner, nullptr);
  Tick(tab.tree(), 3);
  EXPECT_FALSE(Ticked(tab.tree(), 3));
  Tick(tab.tree(), 1);
  EXPECT_TRUE(Ticked(tab.tree(), 1));
  EXPECT_EQ(prompts_.boxes.size(), 2u);
  const ServerList& list = Console().model().Servers();
  EXPECT_TRUE(list.servers[0].selected);
  EXPECT_FALSE(list.servers[1].selected);
  EXPECT_TRUE(list.byDataPath.at(list.servers[0].dataPath).selected);
  Tick(tab.tree(), 1, false);
  EXPECT_FALSE(Console().model().Servers().servers[0].selected);
}

TEST_F(BackupUiTest, APartitionWithLocalDataIsNotOnAVld) {
  Sim({"init", "--fresh"});
  ui::BackupView& tab = Tab();
  Tick(tab.tree(), 1);
  EXPECT_FALSE(Ticked(tab.tree(), 1));
  ASSERT_EQ(prompts_.boxes.size(), 1u);
  EXPECT_EQ(prompts_.boxes[0].text, "This partition is not on a VLD.");
}

TEST_F(BackupUiTest, TheTreeAndTheDetailsListShowThePartitions) {
  Sim({"init", "--servers", "2", "--computer", "DOMSRV07"});
  ui::BackupView& tab = Tab();
  QTreeWidgetItem* root = tab.tree()->topLevelItem(0);
  EXPECT_EQ(root->text(0).toStdString(), "Lotus Domino Servers");
  EXPECT_EQ(root->child(0)->text(0).toStdString(), "DOMSRV07");
  EXPECT_FALSE(root->flags() & Qt::ItemIsUserCheckable);
  EXPECT_FALSE(root->child(0)->flags() & Qt::ItemIsUserCheckable);
  EXPECT_TRUE(tab.tree()->partitionItem(2)->flags() & Qt::ItemIsUserCheckable);
  tab.tree()->setCurrentItem(tab.tree()->partitionItem(2));
  std::vector<std::string> items;
  for (int i = 0; i < tab.details()->topLevelItemCount(); ++i) {
    items.push_back(tab.details()->topLevelItem(i)->text(0).toStdString());
  }
  EXPECT_EQ(items, (std::vector<std::string>{
                       "Server Name", "notes.ini", "Partition Number", "Data Path", "Log Path",
                       "Log Enabled", "Log Style", "(DATA) On VLD", "(DATA) Filer",
                       "(DATA) Filename", "(DATA) Data Vol", "(LOG) On VLD", "(LOG) Filer",
                       "(LOG) Filename", "(LOG) Data Vol"}));
  EXPECT_EQ(tab.details()->value("Partition Number").toStdString(), "2");
  EXPECT_EQ(tab.details()->value("Data Path").toStdString(), "G:\\Lotus\\Domino\\Data");
  EXPECT_EQ(tab.details()->value("Log Style").toStdString(), "Archive");
  EXPECT_EQ(tab.details()->value("(DATA) On VLD").toStdString(), "YES");
  EXPECT_EQ(tab.details()->value("(DATA) Filer").toStdString(), "FILER1");
  EXPECT_EQ(tab.details()->value("Log Enabled").toStdString(), "YES");
}

TEST_F(BackupUiTest, TheWizardWaitsForTheConfiguration) {
  Sim({"init", "--fresh"});
  Window().command(ui::cmd::kBackupWizard)->trigger();
  ASSERT_EQ(prompts_.boxes.size(), 1u);
  EXPECT_EQ(prompts_.boxes[0].caption, "Backup Wizard Error");
  EXPECT_EQ(prompts_.boxes[0].text, "Please run the Configuration Wizard before running the Backup Wizard");
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(BackupUiTest, WizardPagesCheckTheirChoices) {
  Sim({"init", "--servers", "2"});
  auto wizard = Wizard();
  EXPECT_EQ(wizard->currentPage()->objectName().toStdString(), "dialog113");
  EXPECT_FALSE(wizard->button(QWizard::BackButton)->isVisible());
  Next(*wizard);
  EXPECT_EQ(wizard->currentPage()->title().toStdString(), "Items to Backup");
  EXPECT_EQ(wizard->currentPage()->subTitle().toStdString(), "Select the Domino Server you want to back up.");
  Next(*wizard);
  EXPECT_EQ(wizard->currentId(), BackupWizard::kItems);
  EXPECT_EQ(prompts_.boxes.back().text, "Please select at least one partition to backup");
  EXPECT_EQ(prompts_.boxes.back().caption, "Backup Wizard Error");
  Tick(OnPage<ui::ServerTree>(*wizard, ctl::kServerTree), 2);
  Next(*wizard);
  ASSERT_EQ(wizard->currentId(), BackupWizard::kDelete);
  EXPECT_EQ(wizard->currentPage()->title().toStdString(), "Delete Oldest Snapshot?");
  auto* combo = OnPage<QComboBox>(*wizard, ctl::kKeepCombo);
  ASSERT_EQ(combo->count(), 31);
  EXPECT_EQ(combo->itemText(0).toStdString(), "1");
  EXPECT_EQ(combo->currentText().toStdString(), "31");
  EXPECT_TRUE(OnPage<QRadioButton>(*wizard, ctl::kDeleteYes)->isChecked());
  EXPECT_FALSE(wizard->button(QWizard::NextButton)->isEnabled());
  OnPage<QRadioButton>(*wizard, ctl::kDeleteNo)->click();
  EXPECT_FALSE(combo->isEnabled());
  EXPECT_TRUE(wizard->button(QWizard::NextButton)->isEnabled());
  OnPage<QRadioButton>(*wizard, ctl::kDeleteYes)->click();
  EXPECT_TRUE(combo->isEnabled());
  combo->setCurrentIndex(9);
  Next(*wizard);
  EXPECT_TRUE(wizard->choices().deleteExcess);
  EXPECT_EQ(wizard->choices().keepCount, 10);
  ASSERT_EQ(wizard->currentId(), BackupWizard::kWhen);
  EXPECT_TRUE(OnPage<QRadioButton>(*wizard, ctl::kRunNow)->isChecked());
  auto* job = OnPage<QLineEdit>(*wizard, ctl::kJobNameField);
  EXPECT_FALSE(job->isEnabled());
  EXPECT_FALSE(OnPage<QCheckBox>(*wizard, ctl::kReplaceJob)->isEnabled());
  OnPage<QRadioButton>(*wizard, ctl::kRunLater)->click();
  EXPECT_TRUE(job->isEnabled());
  Next(*wizard);
  EXPECT_EQ(wizard->currentId(), BackupWizard::kWhen);
  EXPECT_EQ(prompts_.boxes.back().text, "Please specify a Jobname.");
  EXPECT_EQ(prompts_.boxes.back().caption, "Backup Wizard Error");
  QTest::keyClicks(job, "nightly");
  OnPage<QCheckBox>(*wizard, ctl::kReplaceJob)->click();
  Next(*wizard);
  ASSERT_EQ(wizard->currentId(), BackupWizard::kCompletion);
  EXPECT_TRUE(wizard->button(QWizard::FinishButton)->isVisible());
  EXPECT_EQ(OnPage<QPlainTextEdit>(*wizard, ctl::kBackupSummary)->toPlainText().toStdString(),
            "The following  servers will be backed up: \n   Mail2/Sales/Acme\n\n"
            "The backup process will be scheduled.\nThe jobname wil be: nightly\n\n"
            "If job exists, it will be replaced.\n\nIn excess of 10 snapshots will be deleted\n");
}

TEST_F(BackupUiTest, SummaryFollowsTheChoices) {
  ServerList list;
  PartitionInfo one;
  one.serverName = "Mail1/Sales/Acme";
  one.selected = true;
  PartitionInfo two = one;
  two.serverName = "Mail2/Sales/Acme";
  two.selected = false;
  list.servers = {one, two};
  ui::BackupWizardChoices now;
  now.deleteExcess = false;
  EXPECT_EQ(ui::BackupSummary(list, now),
            "The following  servers will be backed up: \r\n   Mail1/Sales/Acme\r\n\r\n"
            "\r\nThe backup process will begin immediately\r\n");
  ui::BackupWizardChoices later;
  later.runNow = false;
  later.jobName = "weekly";
  later.keepCount = 31;
  EXPECT_EQ(ui::BackupSummary(list, later),
            "The following  servers will be backed up: \r\n   Mail1/Sales/Acme\r\n\r\n"
            "The backup process will be scheduled.\r\nThe jobname wil be: weekly\r\n"
            "\r\nIn excess of 31 snapshots will be deleted\r\n");
}

TEST_F(BackupUiTest, TheTabRefusesWithoutATickAndWithACountOutsideOneToThirtyOne) {
  Sim({"init", "--servers", "2"});
  ui::BackupView& tab = Tab();
  auto* start = test::Find<QPushButton>(&tab, ui::ControlName(ctl::kStartBackup));
  auto* box = test::Find<QCheckBox>(&tab, ui::ControlName(ctl::kDeleteExcessBox));
  auto* count = test::Find<QSpinBox>(&tab, "deleteCount");
  QTest::mouseClick(start, Qt::LeftButton);
  EXPECT_EQ(prompts_.boxes.back().caption, "Backup Error");
  EXPECT_EQ(prompts_.boxes.back().text, "Please select at least one partition to backup");
  Tick(tab.tree(), 1);
  box->setChecked(true);
  count->setValue(0);
  QTest::mouseClick(start, Qt::LeftButton);
  EXPECT_EQ(prompts_.boxes.back().caption, "Backup Error");
  EXPECT_EQ(prompts_.boxes.back().text,
            "Invalid number for 'Delete in excess of'. Please specify a value between 1 and 31");
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  // Without the delete box the backup starts (the dialog opens; it is closed unstarted).
  box->setChecked(false);
  size_t boxes = prompts_.boxes.size();
  WithModal(ui::DialogName(ui::dlg::kBackupStatus),
            [&](QWidget* dialog) {
              EXPECT_EQ(dialog->parentWidget(), &tab);
              static_cast<QDialog*>(dialog)->reject();
            },
            [&] { QTest::mouseClick(start, Qt::LeftButton); });
  EXPECT_EQ(prompts_.boxes.size(), boxes);
  EXPECT_FALSE(box->isChecked());
  EXPECT_EQ(count->value(), 0);
}

TEST_F(BackupUiTest, TypedCountsAboveThirtyOneReadAsThirtyOne) {
  Sim({"init"});
  ui::BackupView& tab = Tab();
  auto* count = test::Find<QSpinBox>(&tab, "deleteCount");
  count->findChild<QLineEdit*>()->selectAll();
  QTest::keyClicks(count, "45");
  EXPECT_EQ(count->value(), 31);
  QTest::keyClicks(count, "9");  // a third digit is refused
  EXPECT_EQ(count->text().size(), 2);
}

TEST_F(BackupUiTest, ScheduleAsksForAJobNameAndRefusesAnEmptyOne) {
  Sim({"init"});
  ui::BackupView& tab = Tab();
  Tick(tab.tree(), 1);
  WithModal(ui::DialogName(ui::dlg::kJobName),
            [&](QWidget* dialog) {
              EXPECT_EQ(dialog->windowTitle().toStdString(), "Ombrel Scheduled Job Name");
              auto* name = test::Find<QLineEdit>(dialog, ui::ControlName(ctl::kJobNameEdit));
              EXPECT_EQ(name->maxLength(), 255);
              static_cast<QDialog*>(dialog)->accept();
              EXPECT_TRUE(dialog->isVisible());
              EXPECT_EQ(prompts_.boxes.back().text, "Please specify a Jobname.");
              EXPECT_EQ(prompts_.boxes.back().caption, "Error");
              static_cast<QDialog*>(dialog)->reject();
            },
            [&] { QTest::mouseClick(test::Find<QPushButton>(&tab, ui::ControlName(ctl::kSchedule)), Qt::LeftButton); });
  EXPECT_EQ(prompts_.boxes.size(), 1u);
}

}  // namespace
}  // namespace omb
