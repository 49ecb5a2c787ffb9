#pragma once
// What the console journeys share: running a status dialog to its end,
// the backup wizard "Now" for server 1, the Restore tab's restore of a
// server's newest snapshot, the reports of a category and the checksums
// of a machine's documents.
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QWizard>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/ui/ui_fixture.h"
#include "ui/backup_wizard.h"
#include "ui/control_ids.h"
#include "ui/main_window.h"
#include "ui/restore_view.h"
#include "ui/server_tree.h"
#include "ui/status_dialog.h"

namespace omb::test {

class JourneyTest : public UiTest {
 protected:
  // The checksums of a server's documents on a machine (this test's by default).
  std::string Checksum(int server, const std::filesystem::path& machine = {}) {
    RunResult result = RunProgram(BuiltProgram("tools/dominosim/dominosim"),
                                  {"checksum", "--server", std::to_string(server)},
                                  machine.empty() ? root_ : machine);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return result.out;
  }
  // Start Now, wait for the end, remember the text, Close.
  std::function<void(QWidget*)> RunStatusDialog(std::string& shown, bool& ok) {
    return [&shown, &ok](QWidget* widget) {
      auto* dialog = static_cast<ui::StatusDialog*>(widget);
      QTest::mouseClick(dialog->findChild<QPushButton*>(ui::ControlName(ui::ctl::kStartNow)),
                        Qt::LeftButton);
      ASSERT_TRUE(WaitFor([&] { return dialog->finished(); }, 120000));
      shown = dialog->shownText().toStdString();
      ok = dialog->succeeded();
      QTest::mouseClick(dialog->findChild<QPushButton*>(ui::ControlName(ui::ctl::kClose)),
                        Qt::LeftButton);
    };
  }
  std::vector<std::string> ReportNames(int category) {
    Console().model().reports().Refresh(category);
    return Console().model().reports().ReportNames(category);
  }
  void BackupWithTheWizard(std::string& shown, bool& ok) {
    auto wizardSteps = [&](QWidget* widget) {
      auto* wizard = static_cast<ui::BackupWizard*>(widget);
      auto next = [&] { QTest::mouseClick(wizard->button(QWizard::NextButton), Qt::LeftButton); };
      next();
      auto* tree = wizard->currentPage()->findChild<ui::ServerTree*>(ui::ControlName(ui::ctl::kServerTree));
      tree->partitionItem(1)->setCheckState(0, Qt::Checked);
      next();
      wizard->currentPage()->findChild<QRadioButton*>(ui::ControlName(ui::ctl::kDeleteNo))->click();
      next();
      next();
      ASSERT_EQ(wizard->currentId(), ui::BackupWizard::kCompletion);
      QTest::mouseClick(wizard->button(QWizard::FinishButton), Qt::LeftButton);
    };
    WithModals({{"backupWizard", wizardSteps},
                {ui::DialogName(ui::dlg::kBackupStatus), RunStatusDialog(shown, ok)}},
               [&] { Window().command(ui::cmd::kBackupWizard)->trigger(); });
  }
  // Chooses the newest snapshot of server 1 on the Restore tab by a
  // double-click and runs Start Restore through the Restore Status dialog.
  void RestoreFromTheRestoreTab(std::string& shown, bool& ok) {
    ui::MainWindow& window = Window();
    window.command(ui::cmd::kViewRestore)->trigger();
    auto* tab = static_cast<ui::RestoreView*>(window.view(ui::MainWindow::kRestoreTab));
    QTreeWidgetItem* snapshot = tab->tree()->snapshotItem(1, 0);
    ASSERT_NE(snapshot, nullptr);
    // A double-click, as the view sees it: the press, then the second click.
    QPoint at = tab->tree()->visualItemRect(snapshot).center();
    QTest::mouseClick(tab->tree()->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(tab->tree()->viewport(), Qt::LeftButton, {}, at);
    ASSERT_FALSE(
        tab->findChild<QLineEdit*>(ui::ControlName(ui::ctl::kChosenSnapshot))->text().isEmpty());
    WithModal(ui::DialogName(ui::dlg::kRestoreStatus), RunStatusDialog(shown, ok), [&] {
      QTest::mouseClick(tab->findChild<QPushButton*>(ui::ControlName(ui::ctl::kStartRestore)),
                        Qt::LeftButton);
    });
  }
};

}  // namespace omb::test
