#pragma once
// The console's main window: toolbar, four tabs (Configurator Wizard,
// Ombrel Backup, Ombrel Restore, Reports), status bar and the menus.
#include <QMainWindow>
#include <array>
#include <map>
#include <string>

#include "ui/console_model.h"
#include "ui/console_services.h"

class QAction;
class QActionGroup;
class QTabWidget;

namespace omb::ui {

class ConsoleView;
class ReportsView;

// Connects the console to a host ("" or "localhost": this machine).
// 0 connected, 1 not reachable, 2 incompatible.
class ConsoleConnector {
 public:
  virtual ~ConsoleConnector() = default;
  virtual int ConnectTo(const std::string& host) = 0;
};

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  static constexpr int kWidth = 640;
  static constexpr int kHeight = 550;
  enum Tab { kWizardTab = 0, kBackupTab = 1, kRestoreTab = 2, kReportsTab = 3 };

  MainWindow(ConsoleModel& model, ConsoleServices& services, ConsoleConnector& connector,
             QWidget* parent = nullptr);
  ~MainWindow() override;

  // The command of a menu id (tests and the toolbar share them).
  QAction* command(int id) const;
  QTabWidget* tabs() const { return tabs_; }
  ConsoleView* view(int tab) const { return views_[static_cast<size_t>(tab)]; }

  // The target machine changed: title, server list and views follow.
  void ConnectionChanged();

  // The menu commands.
  void ShowConnectDialog();
  void ShowReportFolderDialog();
  void ShowAbout();
  void ShowHelp();
  void RunConfigurator();
  void RunBackupWizard();
  void RunRestoreWizard();

 private:
  void BuildCommands();
  void BuildMenus();
  void BuildToolBar();
  void BuildStatusBar();
  void BuildTabs();
  QAction* AddCommand(int id, const QString& text, const QString& help);
  void SelectTab(int index);
  void TabChanged(int index);
  void GreyReportCommands();
  void ReportSelectionChanged(int kind, bool categoryEmpty);
  void UpdateTitle();
  static void ReportFolderChanged(void* self);

  ConsoleModel& model_;
  ConsoleServices& services_;
  ConsoleConnector& connector_;
  std::map<int, QAction*> commands_;
  QActionGroup* tabGroup_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  std::array<ConsoleView*, 4> views_{};
  ReportsView* reports_ = nullptr;
  int currentTab_ = -1;
  QWidget* helpWindow_ = nullptr;
};

}  // namespace omb::ui
