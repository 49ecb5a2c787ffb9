#include "ui/backup_wizard.h"

#include "ui/backup_pages.h"
#include "ui/runs.h"
#include "ui/schedule.h"
#include "ui/status_dialog.h"
#include "ui/wizard_style.h"

namespace omb::ui {

std::string BackupSummary(const ServerList& servers, const BackupWizardChoices& choices) {
  std::string text = "The following  servers will be backed up: \r\n";
  for (const PartitionInfo& server : servers.servers) {
    if (server.selected) text += "   " + server.serverName + "\r\n";
  }
  text += "\r\n";
  if (choices.runNow) {
    text += "\r\nThe backup process will begin immediately\r\n";
  } else {
    text += "The backup process will be scheduled.\r\n";
    text += "The jobname wil be: " + choices.jobName + "\r\n";
    if (choices.replace) text += "\r\nIf job exists, it will be replaced.\r\n";
  }
  if (choices.deleteExcess) {
    text += "\r\nIn excess of " + std::to_string(choices.keepCount) + " snapshots will be deleted\r\n";
  }
  return text;
}

BackupWizard::BackupWizard(ConsoleModel& model, ConsoleServices& services, QWidget* owner)
    : QWizard(owner), model_(model), services_(services) {
  setObjectName(QStringLiteral("backupWizard"));
  setWindowTitle(tr("Ombrel Backup Wizard"));
  StyleWizard(*this);
  setPage(kWelcome, new BackupWelcomePage(this));
  setPage(kItems, new BackupItemsPage(*this));
  setPage(kDelete, new BackupDeletePage(*this));
  setPage(kWhen, new BackupWhenPage(*this));
  setPage(kCompletion, new BackupCompletionPage(*this));
  setStartId(kWelcome);
}

void FinishBackupWizard(ConsoleModel& model, ConsoleServices& services,
                        const BackupWizardChoices& choices) {
  BackupChoice choice{choices.deleteExcess, choices.deleteExcess ? choices.keepCount : 0};
  if (choices.runNow) {
    StatusDialog dialog(StatusKind::Backup, BackupRun(model.operations(), model.runServices(), model.Servers(), choice),
                        services, nullptr);
    dialog.exec();
    model.MarkServersStale();
    return;
  }
  ScheduleBackupJob(model, services, nullptr, choices.jobName, choices.replace, choice);
}

void RunBackupWizard(ConsoleModel& model, ConsoleServices& services, QWidget* owner) {
  if (!model.operations().ConfigurationDone()) {
    services.prompts.Show(nullptr,
                          QObject::tr("Please run the Configuration Wizard before running the "
                                      "Backup Wizard"),
                          QObject::tr("Backup Wizard Error"), Icon::Error);
    return;
  }
  BackupWizard wizard(model, services, owner);
  if (wizard.exec() != QDialog::Accepted) return;
  FinishBackupWizard(model, services, wizard.choices());
}

}  // namespace omb::ui
