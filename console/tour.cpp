// omb-console-tour: opens the console on the machine of OMB_MACHINE, walks
// through every tab, wizard page and dialog as a user would, and saves a
// screenshot of each (taken from the screen, so it shows what the display
// shows) into the folder given as its argument. With "configuration" after
// the folder it walks the configuration wizard instead and runs its plan,
// for a freshly installed machine. scripts/screenshots.sh runs it under
// Xvfb on demo machines.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>
#include <QWizard>
#include <cstdio>
#include <string>

#include "operations/operations.h"
#include "platform/messagebox.h"
#include "platform/paths.h"
#include "reports/reports.h"
#include "ui/about_dialog.h"
#include "ui/backup_view.h"
#include "ui/backup_wizard.h"
#include "ui/config_pages.h"
#include "ui/config_wizard.h"
#include "ui/connect_dialog.h"
#include "ui/console_application.h"
#include "ui/control_ids.h"
#include "ui/help_window.h"
#include "ui/main_window.h"
#include "ui/report_folder_dialog.h"
#include "ui/reports_view.h"
#include "ui/restore_view.h"
#include "ui/restore_wizard.h"
#include "ui/runs.h"
#include "ui/server_tree.h"
#include "ui/status_dialog.h"

namespace {

using namespace omb;

QString folder;
int failures = 0;

// Lets the window settle, then saves what the screen shows of it.
void Shoot(QWidget& widget, const QString& name) {
  widget.raise();
  widget.activateWindow();
  QTest::qWait(400);
  QRect area = widget.frameGeometry();
  QPixmap shot = widget.screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
  QString file = QDir(folder).filePath(name + QStringLiteral(".png"));
  if (shot.isNull() || !shot.save(file)) {
    std::fprintf(stderr, "could not save %s\n", qPrintable(file));
    ++failures;
    return;
  }
  std::printf("%s\n", qPrintable(file));
}

// The tour's message boxes go to standard error, so that no box waits for
// a click that never comes.
class TourPrompts : public ui::Prompts {
 public:
  void Show(QWidget*, const QString& text, const QString& caption, ui::Icon) override {
    std::fprintf(stderr, "%s: %s\n", qPrintable(caption), qPrintable(text));
  }
  bool AskYesNo(QWidget* owner, const QString& text, const QString& caption, ui::Icon icon) override {
    Show(owner, text, caption, icon);
    return true;
  }
};

template <typename T>
T* Find(QWidget* parent, int id) {
  return parent->findChild<T*>(ui::ControlName(id));
}

void Tabs(ui::MainWindow& window) {
  window.tabs()->setCurrentIndex(ui::MainWindow::kWizardTab);
  Shoot(window, QStringLiteral("tab-wizard"));

  window.tabs()->setCurrentIndex(ui::MainWindow::kBackupTab);
  auto* backup = static_cast<ui::BackupView*>(window.view(ui::MainWindow::kBackupTab));
  if (QTreeWidgetItem* first = backup->tree()->partitionItem(1)) {
    first->setCheckState(0, Qt::Checked);
    backup->tree()->setCurrentItem(first);
  }
  Shoot(window, QStringLiteral("tab-backup"));

  window.tabs()->setCurrentIndex(ui::MainWindow::kRestoreTab);
  auto* restore = static_cast<ui::RestoreView*>(window.view(ui::MainWindow::kRestoreTab));
  if (QTreeWidgetItem* snapshot = restore->tree()->snapshotItem(1, 0)) {
    restore->Choose(snapshot);
    restore->tree()->setCurrentItem(snapshot);
  }
  Shoot(window, QStringLiteral("tab-restore"));
  // The same snapshot to be recovered up to a chosen time within its range.
  if (auto* until = restore->findChild<QCheckBox*>(ui::ControlName(ui::ctl::kRecoverUntilBox))) {
    until->setChecked(true);
    Shoot(window, QStringLiteral("tab-restore-until"));
    until->setChecked(false);
  }

  window.tabs()->setCurrentIndex(ui::MainWindow::kReportsTab);
  auto* reports = static_cast<ui::ReportsView*>(window.view(ui::MainWindow::kReportsTab));
  QTreeWidgetItem* category = reports->categoryItem(1);
  if (category && category->childCount() > 0) {
    category->setExpanded(true);
    reports->tree()->setCurrentItem(category->child(category->childCount() - 1));
  }
  Shoot(window, QStringLiteral("tab-reports"));
}

void WalkWizard(QWizard& wizard, const QString& prefix, const std::function<void(int)>& onPage) {
  wizard.show();
  int page = 1;
  for (;;) {
    onPage(wizard.currentId());
    Shoot(wizard, prefix + QStringLiteral("-%1").arg(page));
    if (wizard.currentPage()->isFinalPage() || !wizard.button(QWizard::NextButton)->isEnabled()) {
      break;
    }
    int before = wizard.currentId();
    wizard.next();
    if (wizard.currentId() == before) break;
    ++page;
  }
  wizard.hide();
}

void BackupWizardPages(ui::ConsoleModel& model, ui::ConsoleServices& services) {
  ui::BackupWizard wizard(model, services, nullptr);
  WalkWizard(wizard, QStringLiteral("backup-wizard"), [&](int id) {
    QWidget* page = wizard.currentPage();
    if (id == ui::BackupWizard::kItems) {
      auto* tree = Find<ui::ServerTree>(page, ui::ctl::kServerTree);
      for (int n = 1; n <= 2; ++n) {
        if (QTreeWidgetItem* item = tree->partitionItem(n)) item->setCheckState(0, Qt::Checked);
      }
      if (QTreeWidgetItem* item = tree->partitionItem(1)) tree->setCurrentItem(item);
    } else if (id == ui::BackupWizard::kDelete) {
      Find<QRadioButton>(page, ui::ctl::kDeleteYes)->click();
    }
  });
}

void RestoreWizardPages(ui::ConsoleModel& model, ui::ConsoleServices& services) {
  ui::RestoreWizard wizard(model, services, nullptr);
  WalkWizard(wizard, QStringLiteral("restore-wizard"), [&](int id) {
    if (id != ui::RestoreWizard::kSnapshot) return;
    auto* tree = Find<ui::ServerTree>(wizard.currentPage(), ui::ctl::kServerTree);
    if (QTreeWidgetItem* item = tree->snapshotItem(1, 0)) tree->setCurrentItem(item);
  });
}

// Picks the partition row and the drive on an assignment page and assigns.
void AssignDrive(QWidget* page, const QString& server, const QString& drive) {
  auto* assign = static_cast<ui::ConfigAssignPage*>(page);
  const auto rows = assign->partitions()->findItems(server, Qt::MatchExactly);
  const auto drives = assign->disks()->findItems(drive, Qt::MatchExactly);
  if (rows.isEmpty() || drives.isEmpty()) return;
  rows.front()->setSelected(true);
  drives.front()->setSelected(true);
  Find<QPushButton>(page, ui::ctl::kAssign)->click();
}

// The configuration wizard on a freshly installed machine with two
// partitions: the first one's data and logs onto virtual disks of their
// own (the second stays in the lists, as it would before its turn), and
// then the run of that plan in the Configurator Status dialog.
void ConfigurationTour(ui::ConsoleModel& model, ui::ConsoleServices& services) {
  ui::ConfigWizard wizard(model, services, nullptr);
  WalkWizard(wizard, QStringLiteral("config-wizard"), [&](int id) {
    QWidget* page = wizard.currentPage();
    if (id == ui::ConfigWizard::kData) {
      AssignDrive(page, QStringLiteral("Mail1/Sales/Acme"), QStringLiteral("E:"));
    } else if (id == ui::ConfigWizard::kLogs) {
      AssignDrive(page, QStringLiteral("Mail1/Sales/Acme"), QStringLiteral("F:"));
    } else if (id == ui::ConfigWizard::kVaultinfo) {
      Find<QLineEdit>(page, ui::ctl::kVaultinfoPath)->setText(QStringLiteral("V:\\vaultinfo\\"));
    }
  });
  ui::StatusDialog dialog(ui::StatusKind::Configurator, ui::ConfigureRun(wizard.plan(), model.runServices()),
                          services, nullptr);
  dialog.show();
  Shoot(dialog, QStringLiteral("status-configurator-start"));
  Find<QPushButton>(&dialog, ui::ctl::kStartNow)->click();
  while (!dialog.finished()) QTest::qWait(50);
  Shoot(dialog, QStringLiteral("status-configurator-done"));
}

void Dialogs(ui::MainWindow& window, ui::ConsoleModel& model, ui::ConsoleServices& services) {
  {
    ui::ConnectDialog dialog({"domsrv02", "mailhub.acme.example"}, &window);
    dialog.show();
    Shoot(dialog, QStringLiteral("dialog-connect"));
  }
  {
    ui::ReportFolderDialog dialog(model.reports(), services, &window);
    dialog.show();
    Shoot(dialog, QStringLiteral("dialog-report-folder"));
  }
  {
    ui::AboutDialog dialog(&window);
    dialog.show();
    Shoot(dialog, QStringLiteral("dialog-about"));
  }
  ui::HelpWindow help(QString::fromStdString(
                          platform::HostPath(ui::HelpFilePath()).string()),
                      nullptr);
  help.show();
  Shoot(help, QStringLiteral("help"));
}

// A real backup in the Backup Status dialog, shown when it has ended.
void BackupStatus(ui::ConsoleModel& model, ui::ConsoleServices& services) {
  ServerList servers = model.Servers();
  for (PartitionInfo& server : servers.servers) server.selected = server.archiveLogging != 0;
  ui::StatusDialog dialog(ui::StatusKind::Backup,
                          ui::BackupRun(model.operations(), model.runServices(), servers, {true, 10}), services,
                          nullptr);
  dialog.show();
  Shoot(dialog, QStringLiteral("status-backup-start"));
  Find<QPushButton>(&dialog, ui::ctl::kStartNow)->click();
  while (!dialog.finished()) QTest::qWait(50);
  Shoot(dialog, QStringLiteral("status-backup-done"));
  model.MarkServersStale();
}

// A real point-in-time restore of the second server in the Restore Status
// dialog, shown when it has ended.
void RestoreStatus(ui::ConsoleModel& model, ui::ConsoleServices& services) {
  model.MarkServersStale();
  const ServerList& servers = model.Servers();
  if (servers.servers.size() < 2 || servers.servers[1].snapshots.empty()) return;
  const PartitionInfo& server = servers.servers[1];
  ui::StatusDialog dialog(ui::StatusKind::Restore,
                          ui::RestoreRun(model.operations(), model.runServices(), server, server.snapshots.back(), true),
                          services, nullptr);
  dialog.show();
  Find<QPushButton>(&dialog, ui::ctl::kStartNow)->click();
  while (!dialog.finished()) QTest::qWait(50);
  Shoot(dialog, QStringLiteral("status-restore-done"));
}

}  // namespace

int main(int argc, char** argv) {
  QApplication qt(argc, argv);
  const bool configuration = argc == 3 && std::string(argv[2]) == "configuration";
  if (argc < 2 || (argc == 3 && !configuration) || argc > 3) {
    std::fprintf(stderr, "usage: omb-console-tour <folder for the screenshots> [configuration]\n");
    return 2;
  }
  folder = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(folder);
  ui::QtConsoleServices qtServices;
  TourPrompts prompts;
  ui::ConsoleServices services{prompts, qtServices.services().printers, qtServices.services().folders,
                               qtServices.services().opener, qtServices.services().clock};
  ui::WindowThreadPresenter presenter(prompts);
  platform::SetMessageBoxPresenter(&presenter);
  reports::EnsureReportFolder();
  ops::LocalOperations local;
  ui::ConsoleApplication console(local, services);
  ui::MainWindow& window = console.CreateWindow();
  window.move(0, 0);
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) return 1;
  ui::ConsoleModel& model = console.model();

  if (configuration) {
    ConfigurationTour(model, services);
    return failures == 0 ? 0 : 1;
  }
  BackupStatus(model, services);
  Tabs(window);
  BackupWizardPages(model, services);
  RestoreWizardPages(model, services);
  Dialogs(window, model, services);
  RestoreStatus(model, services);
  return failures == 0 ? 0 : 1;
}
