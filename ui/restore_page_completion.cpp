#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "ui/control_ids.h"
#include "ui/restore_pages.h"
#include "ui/restore_wizard.h"
#include "ui/wizard_style.h"

namespace omb::ui {

RestoreCompletionPage::RestoreCompletionPage(RestoreWizard& wizard)
    : QWizardPage(&wizard), wizard_(wizard) {
  setObjectName(DialogName(126));
  summary_ = new QPlainTextEdit(this);
  summary_->setObjectName(ControlName(ctl::kRestoreSummary));
  summary_->setReadOnly(true);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(summary_);
  MakeFullPage(*this, tr("Completing the Ombrel Restore Wizard"));
  setFinalPage(true);
}

void RestoreCompletionPage::initializePage() {
  const PartitionInfo* server = wizard_.chosenServer();
  const SnapshotEntry* snapshot = wizard_.chosenSnapshot();
  if (server == nullptr || snapshot == nullptr) return;
  std::string text = RestoreSummary(server->serverName, snapshot->name, wizard_.choice().pointInTime);
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  summary_->setPlainText(QString::fromStdString(text));
}

}  // namespace omb::ui
