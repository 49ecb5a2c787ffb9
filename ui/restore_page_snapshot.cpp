#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

#include "ui/control_ids.h"
#include "ui/restore_pages.h"
#include "ui/restore_wizard.h"
#include "ui/server_tree.h"

namespace omb::ui {

RestoreSnapshotPage::RestoreSnapshotPage(RestoreWizard& wizard)
    : QWizardPage(&wizard), wizard_(wizard) {
  setObjectName(DialogName(123));
  setTitle(tr("Which Snapshot to Restore?"));
  setSubTitle(tr("Select the Snapshot to be restored."));
  tree_ = new ServerTree(ServerTree::Kind::Restore, this);
  tree_->setObjectName(ControlName(ctl::kServerTree));
  details_ = new DetailsList(this);
  details_->setObjectName(ControlName(ctl::kDetailsList));
  chosen_ = new QLineEdit(this);
  chosen_->setObjectName(ControlName(ctl::kSnapshotChosen));
  chosen_->setReadOnly(true);
  auto* layout = new QGridLayout(this);
  layout->addWidget(tree_, 0, 0, 1, 2);
  layout->addWidget(details_, 0, 2);
  layout->addWidget(new QLabel(tr("Snapshot for restore:"), this), 1, 0);
  layout->addWidget(chosen_, 1, 1, 1, 2);
  layout->setColumnStretch(1, 1);
  connect(tree_, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* item) { ItemSelected(item); });
}

void RestoreSnapshotPage::initializePage() {
  tree_->Fill(wizard_.model().Servers());
  emit completeChanged();
}

bool RestoreSnapshotPage::isComplete() const {
  return const_cast<RestoreWizard&>(wizard_).chosenSnapshot() != nullptr;
}

void RestoreSnapshotPage::ItemSelected(QTreeWidgetItem* item) {
  const PartitionInfo* server =
      FindPartition(wizard_.model().Servers(), ServerTree::PartitionOf(item));
  int snapshot = ServerTree::SnapshotOf(item);
  if (server == nullptr) {
    details_->clear();
    return;
  }
  if (snapshot < 0 || static_cast<size_t>(snapshot) >= server->snapshots.size()) {
    // A partition shows its details and leaves the chosen snapshot alone.
    details_->ShowRows(PartitionDetailRows(*server));
    return;
  }
  const SnapshotEntry& entry = server->snapshots[static_cast<size_t>(snapshot)];
  details_->ShowRows(SnapshotDetailRows(entry));
  wizard_.choice().partitionNumber = server->partitionNumber;
  wizard_.choice().snapshotIndex = snapshot;
  chosen_->setText(QString::fromStdString(entry.name));
  emit completeChanged();
}

}  // namespace omb::ui
