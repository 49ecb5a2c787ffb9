#pragma once
// The pages of the backup wizard, a file each.
#include <QWizardPage>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QRadioButton;

namespace omb::ui {

class BackupWizard;
class DetailsList;
class ServerTree;

class BackupWelcomePage : public QWizardPage {
  Q_OBJECT
 public:
  explicit BackupWelcomePage(QWidget* parent);
};

class BackupItemsPage : public QWizardPage {
  Q_OBJECT
 public:
  explicit BackupItemsPage(BackupWizard& wizard);
  void initializePage() override;
  bool validatePage() override;

 private:
  BackupWizard& wizard_;
  ServerTree* tree_;
  DetailsList* details_;
};

class BackupDeletePage : public QWizardPage {
  Q_OBJECT
 public:
  explicit BackupDeletePage(BackupWizard& wizard);
  void initializePage() override;
  void cleanupPage() override {}
  bool isComplete() const override { return answered_; }
  bool validatePage() override;

 private:
  void Answered();
  BackupWizard& wizard_;
  QRadioButton* yes_;
  QRadioButton* no_;
  QComboBox* count_;
  bool answered_ = false;
};

class BackupWhenPage : public QWizardPage {
  Q_OBJECT
 public:
  explicit BackupWhenPage(BackupWizard& wizard);
  void cleanupPage() override {}
  bool validatePage() override;

 private:
  void FollowChoice();
  BackupWizard& wizard_;
  QRadioButton* now_;
  QRadioButton* later_;
  QLineEdit* jobName_;
  QCheckBox* replace_;
};

class BackupCompletionPage : public QWizardPage {
  Q_OBJECT
 public:
  explicit BackupCompletionPage(BackupWizard& wizard);
  void initializePage() override;

 private:
  BackupWizard& wizard_;
  QPlainTextEdit* summary_;
};

}  // namespace omb::ui
