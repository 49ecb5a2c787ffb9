// The main window's commands, menus, toolbar and status bar.
#include <QAction>
#include <QActionGroup>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QToolBar>

#include "ui/control_ids.h"
#include "ui/main_window.h"
#include "ui/reports_view.h"

namespace omb::ui {

namespace {

// Width of one of the three small parts at the right of the status bar.
constexpr int kStatusPartWidth = 34;

}  // namespace

QAction* MainWindow::AddCommand(int id, const QString& text, const QString& help) {
  auto* action = new QAction(text, this);
  action->setObjectName(MenuName(id));
  // Highlighting the item shows its help string in the status bar.
  action->setStatusTip(help);
  commands_[id] = action;
  return action;
}

void MainWindow::BuildCommands() {
  connect(AddCommand(cmd::kConnect, tr("Connect to another Domino..."),
                     tr("Manage the Domino servers of another machine")),
          &QAction::triggered, this, &MainWindow::ShowConnectDialog);
  connect(AddCommand(cmd::kDeleteReport, tr("Delete Report"), tr("Delete the selected report")),
          &QAction::triggered, this, [this] { reports_->DeleteSelectedReport(); });
  connect(AddCommand(cmd::kDeleteAllReports, tr("Delete All Reports"),
                     tr("Delete all reports of the selected category")),
          &QAction::triggered, this, [this] { reports_->DeleteAllOfCategory(); });
  QAction* print = AddCommand(cmd::kPrintReport, tr("Print Report..."),
                              tr("Print the selected report"));
  print->setToolTip(tr("Print"));
  print->setIcon(QIcon::fromTheme(QStringLiteral("document-print"),
                                  style()->standardIcon(QStyle::SP_DialogSaveButton)));
  connect(print, &QAction::triggered, this, [this] { reports_->PrintSelectedReport(); });
  connect(AddCommand(cmd::kExit, tr("&Exit"), tr("Quit the console")), &QAction::triggered, this,
          &QWidget::close);

  QAction* toolbar = AddCommand(cmd::kToolbar, tr("Toolbar"), tr("Show or hide the toolbar"));
  toolbar->setCheckable(true);
  toolbar->setChecked(true);
  QAction* statusBar = AddCommand(cmd::kStatusBar, tr("Status Bar"),
                                  tr("Show or hide the status bar"));
  statusBar->setCheckable(true);
  statusBar->setChecked(true);

  tabGroup_ = new QActionGroup(this);
  tabGroup_->setExclusive(true);
  const struct {
    int id;
    const char* text;
    int tab;
  } tabCommands[] = {{cmd::kViewWizard, "Wizard", kWizardTab},
                     {cmd::kViewBackup, "Backup", kBackupTab},
                     {cmd::kViewRestore, "Restore", kRestoreTab},
                     {cmd::kViewReport, "Report", kReportsTab}};
  for (const auto& entry : tabCommands) {
    QAction* action = AddCommand(entry.id, tr(entry.text), tr("Show the %1 tab").arg(tr(entry.text)));
    action->setCheckable(true);
    tabGroup_->addAction(action);
    int tab = entry.tab;
    connect(action, &QAction::triggered, this, [this, tab] { SelectTab(tab); });
  }
  connect(AddCommand(cmd::kRefresh, tr("Refresh"), tr("Show the current tab again")),
          &QAction::triggered, this, [this] {
            if (currentTab_ >= 0) view(currentTab_)->Refresh();
          });

  QAction* configurator = AddCommand(cmd::kConfigurator, tr("Configurator"),
                                     tr("Move data and log directories onto virtual disks"));
  connect(configurator, &QAction::triggered, this, &MainWindow::RunConfigurator);
  connect(AddCommand(cmd::kBackupWizard, tr("Ombrel Backup"), tr("Back up Domino servers")),
          &QAction::triggered, this, &MainWindow::RunBackupWizard);
  connect(AddCommand(cmd::kRestoreWizard, tr("Ombrel Restore"), tr("Restore a snapshot")),
          &QAction::triggered, this, &MainWindow::RunRestoreWizard);
  connect(AddCommand(cmd::kReportFolder, tr("Report Directory Setting..."),
                     tr("Choose the folder that holds the reports")),
          &QAction::triggered, this, &MainWindow::ShowReportFolderDialog);
  QAction* help = AddCommand(cmd::kHelpTopics, tr("Help Topics"), tr("Open the manual"));
  help->setToolTip(tr("Help"));
  help->setShortcut(QKeySequence(Qt::Key_F1));
  help->setShortcutContext(Qt::ApplicationShortcut);
  help->setIcon(QIcon::fromTheme(QStringLiteral("help-contents"),
                                 style()->standardIcon(QStyle::SP_MessageBoxQuestion)));
  connect(help, &QAction::triggered, this, &MainWindow::ShowHelp);
  QAction* about = AddCommand(cmd::kAbout, tr("About Ombrel..."),
                              tr("Show the program's version"));
  about->setToolTip(tr("About"));
  about->setIcon(style()->standardIcon(QStyle::SP_MessageBoxInformation));
  connect(about, &QAction::triggered, this, &MainWindow::ShowAbout);
}

void MainWindow::BuildMenus() {
  QMenu* file = menuBar()->addMenu(tr("&File"));
  file->setObjectName(QStringLiteral("menuFile"));
  file->addAction(command(cmd::kConnect));
  file->addSeparator();
  file->addAction(command(cmd::kDeleteReport));
  file->addAction(command(cmd::kDeleteAllReports));
  file->addAction(command(cmd::kPrintReport));
  file->addSeparator();
  file->addAction(command(cmd::kExit));

  QMenu* view = menuBar()->addMenu(tr("&View"));
  view->setObjectName(QStringLiteral("menuView"));
  view->addAction(command(cmd::kToolbar));
  view->addAction(command(cmd::kStatusBar));
  view->addSeparator();
  for (int id : {cmd::kViewWizard, cmd::kViewBackup, cmd::kViewRestore, cmd::kViewReport}) {
    view->addAction(command(id));
  }
  view->addSeparator();
  view->addAction(command(cmd::kRefresh));

  QMenu* wizards = menuBar()->addMenu(tr("&Wizards"));
  wizards->setObjectName(QStringLiteral("menuWizards"));
  wizards->addAction(command(cmd::kConfigurator));
  wizards->addAction(command(cmd::kBackupWizard));
  wizards->addAction(command(cmd::kRestoreWizard));

  QMenu* options = menuBar()->addMenu(tr("&Options"));
  options->setObjectName(QStringLiteral("menuOptions"));
  options->addAction(command(cmd::kReportFolder));

  QMenu* help = menuBar()->addMenu(tr("&Help"));
  help->setObjectName(QStringLiteral("menuHelp"));
  help->addAction(command(cmd::kHelpTopics));
  help->addSeparator();
  help->addAction(command(cmd::kAbout));
}

void MainWindow::BuildToolBar() {
  QToolBar* toolbar = addToolBar(tr("Toolbar"));
  toolbar->setObjectName(ControlName(ctl::kToolBar));
  toolbar->setMovable(false);
  toolbar->setIconSize(QSize(16, 16));
  toolbar->addAction(command(cmd::kPrintReport));
  toolbar->addSeparator();
  toolbar->addAction(command(cmd::kAbout));
  toolbar->addAction(command(cmd::kHelpTopics));
  // The menu item and the toolbar follow each other.
  connect(command(cmd::kToolbar), &QAction::toggled, toolbar, &QWidget::setVisible);
}

void MainWindow::BuildStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName(ControlName(ctl::kStatusBar));
  bar->setSizeGripEnabled(true);
  auto* help = new QLabel(tr("For Help, press F1"), bar);
  help->setObjectName(QStringLiteral("statusPart0"));
  bar->addWidget(help, 1);
  for (int part = 1; part <= 3; ++part) {
    auto* label = new QLabel(bar);
    label->setObjectName(QStringLiteral("statusPart%1").arg(part));
    label->setFixedWidth(kStatusPartWidth);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    bar->addPermanentWidget(label);
  }
  connect(command(cmd::kStatusBar), &QAction::toggled, bar, &QWidget::setVisible);
}

}  // namespace omb::ui
