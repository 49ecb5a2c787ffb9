// The main window's dialogs: connect, report folder, About, help, and the
// wizards' start.
#include <QFileInfo>

#include "platform/paths.h"
#include "ui/about_dialog.h"
#include "ui/backup_wizard.h"
#include "ui/config_wizard.h"
#include "ui/connect_dialog.h"
#include "ui/control_ids.h"
#include "ui/help_window.h"
#include "ui/main_window.h"
#include "ui/report_folder_dialog.h"
#include "ui/restore_wizard.h"

namespace omb::ui {

void MainWindow::ShowConnectDialog() {
  ConnectDialog dialog(model_.recentHosts(), this);
  if (dialog.exec() != QDialog::Accepted) return;
  std::string host = dialog.host();
  if (!host.empty()) model_.RememberHost(host);
  int status = connector_.ConnectTo(host);
  QString shown = QString::fromStdString(host);
  if (status == 1) {
    services_.prompts.Show(this, tr("Unable to reach host ") + shown + QStringLiteral("."),
                           tr("Server Unavailable"), Icon::Error);
  } else if (status == 2) {
    services_.prompts.Show(this, tr("Host ") + shown + tr(" is incompatible with this client."),
                           tr("Incompatible Server"), Icon::Error);
  }
}

void MainWindow::ShowReportFolderDialog() {
  ReportFolderDialog dialog(model_.reports(), services_, this);
  dialog.exec();
}

void MainWindow::ShowAbout() {
  AboutDialog dialog(this);
  dialog.exec();
}

void MainWindow::ShowHelp() {
  QString file = QString::fromStdString(platform::HostPath(HelpFilePath()).string());
  if (!QFileInfo(file).isFile()) {
    services_.prompts.Show(this, tr("Ombrel for Lotus Domino help file does not exist."),
                           tr("Help file error"), Icon::None);
    return;
  }
  delete helpWindow_;
  auto* window = new HelpWindow(file, this);
  window->setWindowFlag(Qt::Window, true);
  helpWindow_ = window;
  window->show();
}

void MainWindow::RunBackupWizard() {
  ui::RunBackupWizard(model_, services_, this);
  model_.MarkServersStale();
}

void MainWindow::RunConfigurator() {
  if (!command(cmd::kConfigurator)->isEnabled()) return;
  RunConfigWizard(model_, services_, this);
}

void MainWindow::RunRestoreWizard() { ui::RunRestoreWizard(model_, services_, this); }

}  // namespace omb::ui
