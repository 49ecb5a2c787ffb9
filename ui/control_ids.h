#pragma once
// The console's control, dialog and command ids. Tests and scripts find a
// widget by the objectName made from its id ("control1045", "menu40036",
// "dialog135"), so the names stay stable whatever the layout.
#include <QString>

namespace omb::ui {

inline QString ControlName(int id) { return QStringLiteral("control%1").arg(id); }
inline QString MenuName(int id) { return QStringLiteral("menu%1").arg(id); }
inline QString DialogName(int id) { return QStringLiteral("dialog%1").arg(id); }

namespace cmd {
constexpr int kConnect = 40001;
constexpr int kDeleteReport = 40034;
constexpr int kDeleteAllReports = 40035;
constexpr int kPrintReport = 40036;
constexpr int kExit = 40007;
constexpr int kToolbar = 59392;
constexpr int kStatusBar = 40021;
constexpr int kViewWizard = 40022;
constexpr int kViewBackup = 40023;
constexpr int kViewRestore = 40024;
constexpr int kViewReport = 40025;
constexpr int kRefresh = 40028;
constexpr int kConfigurator = 40031;
constexpr int kBackupWizard = 40032;
constexpr int kRestoreWizard = 40033;
constexpr int kReportFolder = 40041;
constexpr int kHelpTopics = 40051;
constexpr int kAbout = 40052;
}  // namespace cmd

namespace dlg {
constexpr int kAbout = 133;
constexpr int kConnect = 135;
constexpr int kReportFolder = 140;
constexpr int kJobName = 141;
constexpr int kConfiguratorStatus = 119;
constexpr int kBackupStatus = 121;
constexpr int kRestoreStatus = 127;
constexpr int kConfigWelcome = 107;
constexpr int kConfigData = 128;
constexpr int kConfigLogs = 129;
constexpr int kConfigVaultinfo = 112;
constexpr int kConfigCompletion = 110;
}  // namespace dlg

namespace ctl {
// Main window.
constexpr int kStatusBar = 500;
constexpr int kToolBar = 501;
// Status dialogs.
constexpr int kProgressView = 1023;
constexpr int kProgressBar = 1045;
constexpr int kStartNow = 1024;
constexpr int kClose = 8;
constexpr int kPrintInfo = 1044;
// Connect, report folder and About dialogs.
constexpr int kHostCombo = 1003;
constexpr int kFolderEdit = 1016;
constexpr int kApply = 1047;
constexpr int kBrowse = 1048;
constexpr int kVersionText = 1052;
// Job-name dialog.
constexpr int kJobNameEdit = 1051;
constexpr int kReplaceJob = 1002;
// Reports view: separator, tree and text view.
constexpr int kSeparator = 1;
constexpr int kReportTree = 2;
constexpr int kReportText = 3;
// Wizard pages.
constexpr int kServerTree = 1038;
constexpr int kDetailsList = 1001;
constexpr int kDeleteYes = 1025;
constexpr int kDeleteNo = 1026;
constexpr int kKeepCombo = 1003;
constexpr int kRunNow = 1027;
constexpr int kRunLater = 1028;
constexpr int kJobNameField = 1029;
constexpr int kBackupSummary = 1022;
constexpr int kSnapshotChosen = 1030;
constexpr int kNotPointInTime = 1031;
constexpr int kPointInTime = 1006;
constexpr int kPointInTimeText = 1016;
constexpr int kRestoreSummary = 1050;
// Configuration wizard pages.
constexpr int kAssign = 1000;
constexpr int kPartitionList = 1001;
constexpr int kPlanList = 1002;
constexpr int kReConfig = 1008;
constexpr int kVldList = 1018;
constexpr int kVaultinfoPath = 1016;
constexpr int kVaultinfoBrowse = 1042;
constexpr int kConfigSummary = 1036;
// Backup tab.
constexpr int kDeleteExcessBox = 4;
constexpr int kStartBackup = 11;
constexpr int kSchedule = 12;
// Restore tab.
constexpr int kRestoreTree = 10;
constexpr int kRestoreDetails = 11;
constexpr int kChosenSnapshot = 2;
constexpr int kPointInTimeBox = 4;
constexpr int kStartRestore = 7;
constexpr int kRecoverUntilBox = 13;
constexpr int kRecoverUntilTime = 14;
}  // namespace ctl

}  // namespace omb::ui
