#include "ui/main_window.h"

#include <QStyle>
#include <QAction>
#include <QActionGroup>
#include <QPushButton>
#include <QTabWidget>

#include "ui/backup_view.h"
#include "ui/control_ids.h"
#include "ui/reports_view.h"
#include "ui/restore_view.h"
#include "ui/wizard_view.h"

namespace omb::ui {

namespace {

constexpr const char* kLocalTitle = "Ombrel for Lotus Domino";
// The window class name, which is also the window's first title.
constexpr const char* kClassTitle = "Ombrel for Domino";

}  // namespace

MainWindow::MainWindow(ConsoleModel& model, ConsoleServices& services, ConsoleConnector& connector,
                       QWidget* parent)
    : QMainWindow(parent), model_(model), services_(services), connector_(connector) {
  setObjectName(QStringLiteral("mainWindow"));
  setWindowTitle(QString::fromLatin1(kClassTitle));
  resize(kWidth, kHeight);
  BuildCommands();
  BuildMenus();
  BuildToolBar();
  BuildStatusBar();
  BuildTabs();
  model_.reports().AddObserver(&MainWindow::ReportFolderChanged, this);
  SelectTab(kWizardTab);
}

MainWindow::~MainWindow() { model_.reports().RemoveObserver(&MainWindow::ReportFolderChanged, this); }

QAction* MainWindow::command(int id) const {
  auto found = commands_.find(id);
  return found == commands_.end() ? nullptr : found->second;
}

void MainWindow::BuildTabs() {
  tabs_ = new QTabWidget(this);
  tabs_->setObjectName(QStringLiteral("tabControl"));
  auto* wizard = new WizardView(tabs_);
  connect(wizard, &WizardView::configRequested, this, &MainWindow::RunConfigurator);
  connect(command(cmd::kConfigurator), &QAction::changed, wizard, [this, wizard] {
    wizard->configButton()->setEnabled(command(cmd::kConfigurator)->isEnabled());
  });
  connect(wizard, &WizardView::backupRequested, this, &MainWindow::RunBackupWizard);
  connect(wizard, &WizardView::restoreRequested, this, &MainWindow::RunRestoreWizard);
  reports_ = new ReportsView(model_, services_, tabs_);
  connect(reports_, &ReportsView::selectionChanged, this, &MainWindow::ReportSelectionChanged);
  views_ = {wizard, new BackupView(model_, services_, tabs_),
            new RestoreView(model_, services_, tabs_), reports_};
  const char* texts[] = {"Configurator Wizard", "Ombrel Backup", "Ombrel Restore", "Reports"};
  const QStyle::StandardPixmap icons[] = {QStyle::SP_FileDialogContentsView,
                                          QStyle::SP_DriveHDIcon, QStyle::SP_BrowserReload,
                                          QStyle::SP_FileDialogDetailedView};
  for (size_t i = 0; i < views_.size(); ++i) {
    tabs_->addTab(views_[i], style()->standardIcon(icons[i]), QString::fromLatin1(texts[i]));
  }
  setCentralWidget(tabs_);
  connect(tabs_, &QTabWidget::currentChanged, this, &MainWindow::TabChanged);
}

void MainWindow::SelectTab(int index) {
  if (tabs_->currentIndex() != index) {
    tabs_->setCurrentIndex(index);  // TabChanged follows
    return;
  }
  TabChanged(index);
}

void MainWindow::TabChanged(int index) {
  if (index == currentTab_) return;
  if (currentTab_ >= 0) view(currentTab_)->Deactivate();
  currentTab_ = index;
  const int viewCommands[] = {cmd::kViewWizard, cmd::kViewBackup, cmd::kViewRestore,
                              cmd::kViewReport};
  if (index >= 0 && index < 4) command(viewCommands[index])->setChecked(true);
  GreyReportCommands();
  if (index >= 0) view(index)->Activate();
}

void MainWindow::GreyReportCommands() {
  command(cmd::kDeleteReport)->setEnabled(false);
  command(cmd::kDeleteAllReports)->setEnabled(false);
  command(cmd::kPrintReport)->setEnabled(false);
}

void MainWindow::ReportSelectionChanged(int kind, bool categoryEmpty) {
  const bool report = kind == ReportsView::kReportSelected;
  command(cmd::kDeleteReport)->setEnabled(report);
  command(cmd::kPrintReport)->setEnabled(report);
  command(cmd::kDeleteAllReports)
      ->setEnabled(kind == ReportsView::kCategorySelected && !categoryEmpty);
}

void MainWindow::ReportFolderChanged(void* self) {
  static_cast<MainWindow*>(self)->GreyReportCommands();
}

void MainWindow::UpdateTitle() {
  std::string host = model_.host();
  if (host.empty()) {
    setWindowTitle(QString::fromLatin1(kLocalTitle));
  } else {
    setWindowTitle(QString::fromLatin1(kLocalTitle) + QStringLiteral(" (Connected to Server: ") +
                   QString::fromStdString(host) + QStringLiteral(")"));
  }
}

void MainWindow::ConnectionChanged() {
  UpdateTitle();
  // The configuration moves this computer's directories; the service of
  // another machine offers no configuration, so the wizard waits until the
  // console works on this computer again.
  command(cmd::kConfigurator)->setEnabled(!model_.connected());
  model_.MarkServersStale();
  GreyReportCommands();
  if (currentTab_ >= 0) view(currentTab_)->Refresh();
}

}  // namespace omb::ui
