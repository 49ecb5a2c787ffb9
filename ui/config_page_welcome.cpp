#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/config_pages.h"
#include "ui/config_wizard.h"
#include "ui/control_ids.h"
#include "ui/wizard_style.h"

namespace omb::ui {

ConfigWelcomePage::ConfigWelcomePage(QWidget* parent) : QWizardPage(parent) {
  setObjectName(DialogName(dlg::kConfigWelcome));
  auto* layout = new QVBoxLayout(this);
  auto* text = new QLabel(tr("This wizard moves the data directory and the transaction log "
                             "directory of each Domino server on this computer onto virtual "
                             "disks, so that they can be backed up with storage snapshots.\n\n"
                             "It also sets up the Vaultinfo directory, where backup information "
                             "is kept.\n\n"
                             "Every Domino server and Notes client must stay shut down until the "
                             "configuration is complete.\n\n"
                             "Click Next to continue."),
                          this);
  text->setWordWrap(true);
  layout->addWidget(text);
  layout->addStretch();
  MakeFullPage(*this, tr("Welcome to the Ombrel Configuration Wizard"));
}

ConfigCompletionPage::ConfigCompletionPage(ConfigWizard& wizard)
    : QWizardPage(&wizard), wizard_(wizard) {
  setObjectName(DialogName(dlg::kConfigCompletion));
  summary_ = new QPlainTextEdit(this);
  summary_->setObjectName(ControlName(ctl::kConfigSummary));
  summary_->setReadOnly(true);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(summary_);
  MakeFullPage(*this, tr("Completing the Ombrel Configuration Wizard"));
  setFinalPage(true);
}

void ConfigCompletionPage::initializePage() {
  std::string text = wizard_.plan().Summary();
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  summary_->setPlainText(QString::fromStdString(text));
}

}  // namespace omb::ui
