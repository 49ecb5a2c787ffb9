#include <QHBoxLayout>

#include "ui/backup_pages.h"
#include "ui/backup_wizard.h"
#include "ui/control_ids.h"
#include "ui/server_tree.h"

namespace omb::ui {

BackupItemsPage::BackupItemsPage(BackupWizard& wizard) : QWizardPage(&wizard), wizard_(wizard) {
  setObjectName(DialogName(131));
  setTitle(tr("Items to Backup"));
  setSubTitle(tr("Select the Domino Server you want to back up."));
  tree_ = new ServerTree(ServerTree::Kind::Backup, this);
  tree_->setObjectName(ControlName(ctl::kServerTree));
  details_ = new DetailsList(this);
  details_->setObjectName(ControlName(ctl::kDetailsList));
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(tree_, 1);
  layout->addWidget(details_, 1);
  connect(tree_, &ServerTree::tickClicked, this, [this](QTreeWidgetItem* item, bool ticked) {
    HandleTick(*tree_, item, ticked, wizard_.model(), wizard_.services().prompts);
  });
  connect(tree_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    const PartitionInfo* server =
        FindPartition(wizard_.model().Servers(), ServerTree::PartitionOf(item));
    if (server == nullptr) {
      details_->clear();
    } else {
      details_->ShowRows(PartitionDetailRows(*server));
    }
  });
}

void BackupItemsPage::initializePage() {
  // Lists the servers when the shared list is not current.
  tree_->Fill(wizard_.model().Servers());
}

bool BackupItemsPage::validatePage() {
  for (const PartitionInfo& server : wizard_.model().Servers().servers) {
    if (server.selected) return true;
  }
  wizard_.services().prompts.Show(nullptr, tr("Please select at least one partition to backup"),
                                  tr("Backup Wizard Error"), Icon::Error);
  return false;
}

}  // namespace omb::ui
