#pragma once
// The pages of the restore wizard, a file each.
#include <QWizardPage>

class QLineEdit;
class QPlainTextEdit;
class QRadioButton;
class QTreeWidgetItem;

namespace omb::ui {

class DetailsList;
class RestoreWizard;
class ServerTree;

class RestoreWelcomePage : public QWizardPage {
  Q_OBJECT
 public:
  explicit RestoreWelcomePage(QWidget* parent);
};

class RestoreSnapshotPage : public QWizardPage {
  Q_OBJECT
 public:
  explicit RestoreSnapshotPage(RestoreWizard& wizard);
  void initializePage() override;
  void cleanupPage() override {}
  bool isComplete() const override;

 private:
  void ItemSelected(QTreeWidgetItem* item);
  RestoreWizard& wizard_;
  ServerTree* tree_;
  DetailsList* details_;
  QLineEdit* chosen_;
};

class RestorePointInTimePage : public QWizardPage {
  Q_OBJECT
 public:
  explicit RestorePointInTimePage(RestoreWizard& wizard);
  void initializePage() override;
  void cleanupPage() override {}

 private:
  RestoreWizard& wizard_;
  QRadioButton* no_;
  QRadioButton* yes_;
  QLineEdit* time_;
  QLineEdit* chosen_;
};

class RestoreCompletionPage : public QWizardPage {
  Q_OBJECT
 public:
  explicit RestoreCompletionPage(RestoreWizard& wizard);
  void initializePage() override;

 private:
  RestoreWizard& wizard_;
  QPlainTextEdit* summary_;
};

}  // namespace omb::ui
