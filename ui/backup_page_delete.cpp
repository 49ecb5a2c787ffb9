#include <QComboBox>
#include <QGridLayout>
#include <QRadioButton>

#include "ui/backup_pages.h"
#include "ui/backup_wizard.h"
#include "ui/control_ids.h"

namespace omb::ui {

BackupDeletePage::BackupDeletePage(BackupWizard& wizard) : QWizardPage(&wizard), wizard_(wizard) {
  setObjectName(DialogName(114));
  setTitle(tr("Delete Oldest Snapshot?"));
  setSubTitle(tr("You can delete older snapshots before backup."));
  yes_ = new QRadioButton(tr("Yes, delete oldest snapshots in excess of"), this);
  yes_->setObjectName(ControlName(ctl::kDeleteYes));
  no_ = new QRadioButton(tr("No"), this);
  no_->setObjectName(ControlName(ctl::kDeleteNo));
  count_ = new QComboBox(this);
  count_->setObjectName(ControlName(ctl::kKeepCombo));
  for (int n = 1; n <= 31; ++n) count_->addItem(QString::number(n));
  count_->setCurrentIndex(30);
  yes_->setChecked(true);
  auto* layout = new QGridLayout(this);
  layout->addWidget(yes_, 0, 0);
  layout->addWidget(count_, 0, 1);
  layout->addWidget(no_, 1, 0);
  layout->setRowStretch(2, 1);
  layout->setColumnStretch(2, 1);
  connect(yes_, &QRadioButton::clicked, this, &BackupDeletePage::Answered);
  connect(no_, &QRadioButton::clicked, this, &BackupDeletePage::Answered);
  connect(yes_, &QRadioButton::toggled, count_, &QWidget::setEnabled);
}

void BackupDeletePage::initializePage() {
  // Next waits until one of the two answers has been clicked.
  answered_ = false;
  emit completeChanged();
}

void BackupDeletePage::Answered() {
  answered_ = true;
  emit completeChanged();
}

bool BackupDeletePage::validatePage() {
  wizard_.choices().deleteExcess = yes_->isChecked();
  wizard_.choices().keepCount = count_->currentIndex() + 1;
  return true;
}

}  // namespace omb::ui
