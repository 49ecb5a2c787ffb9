#include "ui/restore_wizard.h"

#include "ui/restore_handover.h"
#include "ui/restore_pages.h"
#include "ui/server_tree.h"
#include "ui/wizard_style.h"

namespace omb::ui {

std::string RestoreSummary(const std::string& serverName, const std::string& snapshotName,
                           bool pointInTime) {
  std::string text = serverName + " will be restored with snapshot:\r\n" + snapshotName + "\r\n\r\n";
  text += pointInTime ? "This will be a POINT IN TIME RESTORE\r\n"
                      : "This will be an UP TO THE MINUTE RESTORE\r\n";
  return text;
}

RestoreWizard::RestoreWizard(ConsoleModel& model, ConsoleServices& services, QWidget* owner)
    : QWizard(owner), model_(model), services_(services) {
  setObjectName(QStringLiteral("restoreWizard"));
  setWindowTitle(tr("Ombrel Restore Wizard"));
  StyleWizard(*this);
  setPage(kWelcome, new RestoreWelcomePage(this));
  setPage(kSnapshot, new RestoreSnapshotPage(*this));
  setPage(kPointInTime, new RestorePointInTimePage(*this));
  setPage(kCompletion, new RestoreCompletionPage(*this));
  setStartId(kWelcome);
}

const PartitionInfo* RestoreWizard::chosenServer() {
  return FindPartition(model_.Servers(), choice_.partitionNumber);
}

const SnapshotEntry* RestoreWizard::chosenSnapshot() {
  const PartitionInfo* server = chosenServer();
  if (server == nullptr || choice_.snapshotIndex < 0 ||
      static_cast<size_t>(choice_.snapshotIndex) >= server->snapshots.size()) {
    return nullptr;
  }
  return &server->snapshots[static_cast<size_t>(choice_.snapshotIndex)];
}

void RunRestoreWizard(ConsoleModel& model, ConsoleServices& services, QWidget* owner) {
  const QString caption = QObject::tr("Restore Wizard Error");
  if (!model.operations().ConfigurationDone()) {
    services.prompts.Show(nullptr,
                          QObject::tr("Please run the Configuration Wizard before running the "
                                      "Restore Wizard"),
                          caption, Icon::Error);
    return;
  }
  if (!model.operations().BackupWizardDone()) {
    services.prompts.Show(nullptr,
                          QObject::tr("Please run the Backup Wizard before running the Restore "
                                      "Wizard"),
                          caption, Icon::Error);
    return;
  }
  RestoreWizard wizard(model, services, owner);
  if (wizard.exec() != QDialog::Accepted) return;
  const PartitionInfo* server = wizard.chosenServer();
  const SnapshotEntry* snapshot = wizard.chosenSnapshot();
  if (server == nullptr || snapshot == nullptr) return;
  PartitionInfo chosenServer = *server;
  SnapshotEntry chosenSnapshot = *snapshot;
  HandOverRestore(model, services, nullptr, chosenServer, chosenSnapshot,
                  wizard.choice().pointInTime);
}

}  // namespace omb::ui
