#include "ui/wizard_view.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace omb::ui {

namespace {

QPushButton* WizardButton(const QString& text, const QString& name, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  button->setMinimumSize(120, 40);
  return button;
}

QLabel* Description(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setWordWrap(true);
  return label;
}

}  // namespace

WizardView::WizardView(QWidget* parent) : ConsoleView(parent) {
  setObjectName(QStringLiteral("wizardView"));
  config_ = WizardButton(tr("Config"), QStringLiteral("wizardConfig"), this);
  auto* backup = WizardButton(tr("Backup"), QStringLiteral("wizardBackup"), this);
  auto* restore = WizardButton(tr("Restore"), QStringLiteral("wizardRestore"), this);
  auto* layout = new QGridLayout(this);
  layout->addWidget(config_, 0, 0);
  layout->addWidget(Description(tr("Move the data and transaction-log directories of your "
                                   "Domino servers onto virtual disks and choose where backup "
                                   "information is kept."),
                                this),
                    0, 1);
  layout->addWidget(backup, 1, 0);
  layout->addWidget(Description(tr("Back up Domino servers with storage snapshots now, or "
                                   "schedule a backup for later."),
                                this),
                    1, 1);
  layout->addWidget(restore, 2, 0);
  layout->addWidget(Description(tr("Restore a server from one of its snapshots, to the "
                                   "snapshot's point in time or up to the minute."),
                                this),
                    2, 1);
  layout->setRowStretch(3, 1);
  layout->setColumnStretch(1, 1);
  connect(config_, &QPushButton::clicked, this, &WizardView::configRequested);
  connect(backup, &QPushButton::clicked, this, &WizardView::backupRequested);
  connect(restore, &QPushButton::clicked, this, &WizardView::restoreRequested);
}

}  // namespace omb::ui
