#pragma once
// The Ombrel Restore tab: the servers with their snapshots, the details
// list, the chosen snapshot (by double-click), "Point-in-Time Restore",
// "Recover up to a chosen time" with its time field, and Start Restore....
#include "ui/console_model.h"
#include "ui/console_services.h"
#include "ui/console_view.h"

class QCheckBox;
class QDateTimeEdit;
class QLineEdit;
class QTreeWidgetItem;

namespace omb::ui {

class DetailsList;
class ServerTree;

class RestoreView : public ConsoleView {
  Q_OBJECT
 public:
  RestoreView(ConsoleModel& model, ConsoleServices& services, QWidget* parent);

  void Activate() override;
  void Deactivate() override {}
  void Refresh() override;

  ServerTree* tree() const { return tree_; }
  DetailsList* details() const { return details_; }
  // Marks a snapshot item as the one to restore (a double-click).
  void Choose(QTreeWidgetItem* item);
  void StartRestore();

 private:
  void ShowDetails(QTreeWidgetItem* item);
  void Rebuild();
  // Limits the time field to the chosen snapshot's recovery range; false
  // (after saying why) when it has none.
  bool LimitToRecoveryRange();
  void FollowUntilChoice(bool checked);

  ConsoleModel& model_;
  ConsoleServices& services_;
  ServerTree* tree_;
  DetailsList* details_;
  QLineEdit* chosen_;
  QCheckBox* pointInTime_;
  QCheckBox* recoverUntil_;
  QDateTimeEdit* untilTime_;
  int chosenPartition_ = 0;
  std::string chosenSnapshot_;
};

}  // namespace omb::ui
