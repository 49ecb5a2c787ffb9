#pragma once
// The Ombrel Backup tab: the server tree with its tick rules, the details
// list, "Delete oldest snapshots in excess of" with its count, and the
// Start Backup... and Schedule... buttons.
#include <QSpinBox>

#include "ui/console_model.h"
#include "ui/console_services.h"
#include "ui/console_view.h"

class QCheckBox;
class QPushButton;

namespace omb::ui {

class DetailsList;
class ServerTree;

// The count beside the delete box: two digits, 0 to 31 by the arrows; a
// typed 32 or more reads as 31.
class KeepCountBox : public QSpinBox {
  Q_OBJECT
 public:
  explicit KeepCountBox(QWidget* parent);

 protected:
  QValidator::State validate(QString& text, int& position) const override;
  int valueFromText(const QString& text) const override;
};

class BackupView : public ConsoleView {
  Q_OBJECT
 public:
  BackupView(ConsoleModel& model, ConsoleServices& services, QWidget* parent);

  void Activate() override;
  void Deactivate() override {}
  // Lists the servers again.
  void Refresh() override;

  ServerTree* tree() const { return tree_; }
  DetailsList* details() const { return details_; }

  void StartBackup();
  void Schedule();

 private:
  bool CheckSomethingTicked(const QString& caption);
  void ItemSelected();

  ConsoleModel& model_;
  ConsoleServices& services_;
  ServerTree* tree_;
  DetailsList* details_;
  QCheckBox* deleteBox_;
  KeepCountBox* count_;
};

}  // namespace omb::ui
