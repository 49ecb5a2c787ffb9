#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include "ui/control_ids.h"
#include "ui/restore_pages.h"
#include "ui/restore_wizard.h"

namespace omb::ui {

RestorePointInTimePage::RestorePointInTimePage(RestoreWizard& wizard)
    : QWizardPage(&wizard), wizard_(wizard) {
  setObjectName(DialogName(124));
  setTitle(tr("Is this a Point-in-Time Restore?"));
  setSubTitle(tr("Specify how you want to restore the selected snapshot."));
  chosen_ = new QLineEdit(this);
  chosen_->setObjectName(ControlName(ctl::kSnapshotChosen));
  chosen_->setReadOnly(true);
  no_ = new QRadioButton(tr("No."), this);
  no_->setObjectName(ControlName(ctl::kNotPointInTime));
  yes_ = new QRadioButton(tr("Yes, it is Point-in-Time of"), this);
  yes_->setObjectName(ControlName(ctl::kPointInTime));
  time_ = new QLineEdit(this);
  time_->setObjectName(ControlName(ctl::kPointInTimeText));
  time_->setReadOnly(true);
  no_->setChecked(true);
  auto* layout = new QGridLayout(this);
  layout->addWidget(new QLabel(tr("Snapshot for restore:"), this), 0, 0);
  layout->addWidget(chosen_, 0, 1);
  layout->addWidget(no_, 1, 0, 1, 2);
  layout->addWidget(yes_, 2, 0);
  layout->addWidget(time_, 2, 1);
  layout->setRowStretch(3, 1);
  connect(yes_, &QRadioButton::clicked, this, [this] { wizard_.choice().pointInTime = true; });
  connect(no_, &QRadioButton::clicked, this, [this] { wizard_.choice().pointInTime = false; });
}

void RestorePointInTimePage::initializePage() {
  const SnapshotEntry* snapshot = wizard_.chosenSnapshot();
  chosen_->setText(snapshot ? QString::fromStdString(snapshot->name) : QString());
  time_->setText(snapshot ? QString::fromStdString(snapshot->dateTimeText) : QString());
}

}  // namespace omb::ui
