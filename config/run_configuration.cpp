// The configuration run: every log directory, then every data directory,
// then the Vaultinfo directory, with the "Configure" report at the end.
#include <string>

#include "config/configuration.h"
#include "domino/vaultinfo.h"
#include "platform/files.h"
#include "reports/reports.h"

namespace omb::config {

namespace {

constexpr const char* kReportCategory = "Configure";

ProgressObserver* Observer(const ConfigureJob& job) {
  return job.statusDialog != nullptr ? job.statusDialog : job.progress.window;
}

// Saves the run's whole text as its report and tells the dialog the run is
// over, so that Close and Print Info come back (Start Now stays off).
int EndRun(ConfigureJob& job, bool ok) {
  reports::SaveRunReport(job.services, kReportCategory, TakeProgressText());
  if (ProgressObserver* observer = Observer(job)) {
    observer->Busy(false);
    observer->Finished(ok);
  }
  return ok ? 0 : -1;
}

}  // namespace

int RunConfiguration(ConfigureJob& job) {
  MigrationContext run{job.progress, Observer(job), job.services};
  if (run.observer) run.observer->Busy(true);
  Emit(job.progress, "STARTING CONFIGURATION OF DOMINO TRANSACTION LOGS\r\n\r\n");
  if (MigrateDirectories(run, job.logEntries, kKindLog) != 0) {
    Emit(job.progress, "ERROR: Configure LOG FAILED.\r\n");
    return EndRun(job, false);
  }
  Emit(job.progress, "COMPLETED CONFIGURATION OF DOMINO TRANSACTION LOGS\r\n\r\n");
  Emit(job.progress, "STARTING CONFIGURATION OF DATA DIRECTORIES\r\n\r\n");
  if (MigrateDirectories(run, job.dataEntries, kKindData) != 0) {
    Emit(job.progress, "ERROR: Configure Data Directories FAILED.\r\n");
    return EndRun(job, false);
  }
  Emit(job.progress, "COMPLETED CONFIGURATION OF DOMINO DATA DIRECTORIES\r\n\r\n");
  // The directories are moved either way; without a Vaultinfo directory
  // the machine is not configured for backups, so the mark stays unset and
  // the run ends as failed.
  const bool vaultinfo = CreateVaultinfoDirectory(run, job.vaultinfoPath) == 0;
  Emit(job.progress, "MIGRATION COMPLETE! QUIT Ombrel for Lotus Domino and Restart your computer.\r\n"
                     "all Domino servers on this computer.\r\n");
  bool marked = false;
  if (vaultinfo) {
    marked = WriteNotesIniValue("CONFIGWIZ", "1", GetIniPath()) == 1;
    if (!marked) Emit(job.progress, "ERROR: Could not record the configuration in " + GetIniPath() + "\r\n");
  }
  const int result = EndRun(job, marked);
  job.services.messages.Show("MIGRATION COMPLETE! QUIT Ombrel for Lotus Domino and restart\r\n"
                             "all Domino servers on this computer.\r\n",
                             "Restore Wizard", platform::MessageIcon::Information);
  return result;
}

int CreateVaultinfoDirectory(MigrationContext& run, const std::string& path) {
  if (path.empty()) {
    Emit(run.progress, "ERROR: Could not obtain location of Vaultinfo directory\r\n");
    return -1;
  }
  Emit(run.progress, "Creating Vaultinfo directory " + path + "\r\n");
  // An existing tree holds the change information and archived logs of
  // every snapshot taken so far: only what is missing is created.
  CreateDirectoryPath(path);
  if (!platform::IsDirectory(path)) {
    Emit(run.progress, "ERROR: Vaultinfo directory could not be created.\r\n");
    return -1;
  }
  if (WriteNotesIniValue("CHANGE_INFO_DIR", path, GetIniPath()) != 1) {
    Emit(run.progress, "ERROR: Could not record Vaultinfo directory " + path + " in " + GetIniPath() + "\r\n");
    return -1;
  }
  Emit(run.progress, "Vaultinfo Directory created.\r\n");
  return 0;
}

}  // namespace omb::config
