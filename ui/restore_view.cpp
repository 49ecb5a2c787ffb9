#include "ui/restore_view.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/control_ids.h"
#include "ui/restore_handover.h"
#include "ui/server_tree.h"

namespace omb::ui {

RestoreView::RestoreView(ConsoleModel& model, ConsoleServices& services, QWidget* parent)
    : ConsoleView(parent), model_(model), services_(services) {
  setObjectName(QStringLiteral("restoreView"));
  auto* hint = new QLabel(tr("&Double click the backup set you want to restore located under the "
                             "selected Storage Group tree."),
                          this);
  hint->setWordWrap(true);
  tree_ = new ServerTree(ServerTree::Kind::Restore, this);
  tree_->setObjectName(ControlName(ctl::kRestoreTree));
  hint->setBuddy(tree_);
  details_ = new DetailsList(this);
  details_->setObjectName(ControlName(ctl::kRestoreDetails));
  details_->setFixedWidth(300);
  auto* chosenLabel = new QLabel(tr("Selected S&napshot for Restore:"), this);
  chosen_ = new QLineEdit(this);
  chosen_->setObjectName(ControlName(ctl::kChosenSnapshot));
  chosen_->setReadOnly(true);
  chosenLabel->setBuddy(chosen_);
  pointInTime_ = new QCheckBox(tr("&Point-in-Time Restore"), this);
  pointInTime_->setObjectName(ControlName(ctl::kPointInTimeBox));
  auto* start = new QPushButton(tr("&Start Restore..."), this);
  start->setObjectName(ControlName(ctl::kStartRestore));

  auto* layout = new QGridLayout(this);
  layout->addWidget(hint, 0, 0, 1, 3);
  layout->addWidget(tree_, 1, 0, 1, 2);
  layout->addWidget(details_, 1, 2);
  layout->addWidget(chosenLabel, 2, 0);
  layout->addWidget(chosen_, 2, 1, 1, 2);
  layout->addWidget(pointInTime_, 3, 0, 1, 2);
  layout->addWidget(start, 3, 2, Qt::AlignRight);
  layout->setRowStretch(1, 1);
  layout->setColumnStretch(1, 1);

  connect(tree_, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* item) { ShowDetails(item); });
  connect(tree_, &QTreeWidget::itemDoubleClicked, this,
          [this](QTreeWidgetItem* item) { Choose(item); });
  connect(start, &QPushButton::clicked, this, &RestoreView::StartRestore);
}

void RestoreView::Activate() { Rebuild(); }

void RestoreView::Refresh() {
  model_.MarkServersStale();
  Rebuild();
}

void RestoreView::Rebuild() {
  tree_->Fill(model_.Servers());
  details_->clear();
}

void RestoreView::ShowDetails(QTreeWidgetItem* item) {
  const PartitionInfo* server =
      FindPartition(model_.Servers(), ServerTree::PartitionOf(item));
  int snapshot = ServerTree::SnapshotOf(item);
  if (server == nullptr) {
    details_->clear();
  } else if (snapshot >= 0 && static_cast<size_t>(snapshot) < server->snapshots.size()) {
    details_->ShowRows(SnapshotDetailRows(server->snapshots[static_cast<size_t>(snapshot)]));
  } else {
    details_->ShowRows(PartitionDetailRows(*server));
  }
}

void RestoreView::Choose(QTreeWidgetItem* item) {
  const PartitionInfo* server =
      FindPartition(model_.Servers(), ServerTree::PartitionOf(item));
  int snapshot = ServerTree::SnapshotOf(item);
  // Only a snapshot can be chosen; a partition leaves the choice as it was.
  if (server == nullptr || snapshot < 0 || static_cast<size_t>(snapshot) >= server->snapshots.size()) {
    return;
  }
  chosenPartition_ = server->partitionNumber;
  chosenSnapshot_ = server->snapshots[static_cast<size_t>(snapshot)].name;
  chosen_->setText(QString::fromStdString(chosenSnapshot_));
}

void RestoreView::StartRestore() {
  const PartitionInfo* server = FindPartition(model_.Servers(), chosenPartition_);
  const SnapshotEntry* snapshot = nullptr;
  for (size_t i = 0; server != nullptr && i < server->snapshots.size(); ++i) {
    if (server->snapshots[i].name == chosenSnapshot_) snapshot = &server->snapshots[i];
  }
  if (snapshot == nullptr) {
    services_.prompts.Show(this, tr("Please select a snapshot to restore."), tr("Restore Error"),
                           Icon::Warning);
    return;
  }
  bool pointInTime = pointInTime_->isChecked();
  if (pointInTime &&
      !services_.prompts.AskYesNo(this, tr("Would you like to proceed with the POINT IN TIME "
                                           "restore?"),
                                  tr("Restore Confirmation"), Icon::Warning)) {
    return;
  }
  // The run gets copies: the list may be listed again while it works.
  PartitionInfo chosenServer = *server;
  SnapshotEntry chosenSnapshot = *snapshot;
  HandOverRestore(model_, services_, this, chosenServer, chosenSnapshot, pointInTime);
  pointInTime_->setChecked(false);
  Rebuild();
}

}  // namespace omb::ui
