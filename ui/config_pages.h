#pragma once
// The pages of the configuration wizard, a file each; the data and the
// logs page share one class.
#include <QWizardPage>

#include "config/plan.h"

class QListWidget;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

namespace omb::ui {

class ConfigWizard;

class ConfigWelcomePage : public QWizardPage {
  Q_OBJECT
 public:
  explicit ConfigWelcomePage(QWidget* parent);
};

// The data page (kind Data) or the logs page (kind Log): the partitions
// still to assign, the free virtual disks, "<=>" to assign, the page's
// plan entries and "ReConfig" to take one back.
class ConfigAssignPage : public QWizardPage {
  Q_OBJECT
 public:
  ConfigAssignPage(ConfigWizard& wizard, config::PlanKind kind);
  void initializePage() override;
  void cleanupPage() override {}
  bool isComplete() const override { return enoughDisks_; }
  bool validatePage() override;
  // Entering the page, by Next or by Back.
  void Activate();

  QTreeWidget* partitions() const { return partitions_; }
  QListWidget* disks() const { return disks_; }
  QTreeWidget* entries() const { return entries_; }

 private:
  void Assign();
  void Unassign();
  void FillDisks();
  void FillPartitions();
  void FillEntries();
  void SetButtons();

  ConfigWizard& wizard_;
  config::PlanKind kind_;
  QTreeWidget* partitions_;
  QListWidget* disks_;
  QPushButton* assign_;
  QTreeWidget* entries_;
  QPushButton* unassign_;
  bool initialised_ = false;
  bool enoughDisks_ = true;
};

class ConfigVaultinfoPage : public QWizardPage {
  Q_OBJECT
 public:
  explicit ConfigVaultinfoPage(ConfigWizard& wizard);
  void initializePage() override;
  void cleanupPage() override {}
  bool validatePage() override;

 private:
  void Browse();
  ConfigWizard& wizard_;
  QLineEdit* path_;
};

class ConfigCompletionPage : public QWizardPage {
  Q_OBJECT
 public:
  explicit ConfigCompletionPage(ConfigWizard& wizard);
  void initializePage() override;

 private:
  ConfigWizard& wizard_;
  QPlainTextEdit* summary_;
};

}  // namespace omb::ui
