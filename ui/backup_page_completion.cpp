#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "ui/backup_pages.h"
#include "ui/backup_wizard.h"
#include "ui/control_ids.h"
#include "ui/wizard_style.h"

namespace omb::ui {

BackupCompletionPage::BackupCompletionPage(BackupWizard& wizard)
    : QWizardPage(&wizard), wizard_(wizard) {
  setObjectName(DialogName(117));
  summary_ = new QPlainTextEdit(this);
  summary_->setObjectName(ControlName(ctl::kBackupSummary));
  summary_->setReadOnly(true);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(summary_);
  MakeFullPage(*this, tr("Completing the Ombrel Backup Wizard"));
  setFinalPage(true);
}

void BackupCompletionPage::initializePage() {
  std::string text = BackupSummary(wizard_.model().Servers(), wizard_.choices());
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  summary_->setPlainText(QString::fromStdString(text));
}

}  // namespace omb::ui
