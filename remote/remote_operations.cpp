// RemoteClient as the Operations of the machine it is connected to: the
// console and ombctl call it exactly as they call the local engines; and
// the report store's remote back end over commands 1 to 5.
#include "remote/remote_client.h"

namespace omb::remote {

namespace {

ProgressObserver* WatcherOf(ProgressObserver* dialog, const ProgressSink& sink) {
  return dialog != nullptr ? dialog : sink.window;
}

// The watcher learns that the run ended however it ended: a failure to
// connect is thrown to the caller, but a status dialog waiting for the
// end must not wait for ever.
template <typename Run>
int Watched(ProgressObserver* watcher, Run run) {
  int result = -1;
  try {
    result = run();
  } catch (...) {
    if (watcher != nullptr) watcher->Finished(false);
    throw;
  }
  if (watcher != nullptr) watcher->Finished(result == 0);
  return result;
}

}  // namespace

int RemoteClient::ListServers(ServerList& list) { return ListRemoteServers(list); }

int RemoteClient::RunBackup(backup::BackupJob& job) {
  const BackupRequest request{job.deleteExcess, job.keepCount, job.runNow != 0, job.replaceExistingJob != 0,
                              job.jobName};
  ProgressObserver* watcher = WatcherOf(job.statusDialog, job.output);
  job.completed = false;
  const int result = Watched(watcher, [&] { return BackupServers(job.servers, request, job.output, watcher); });
  job.completed = result == 0;
  return result;
}

int RemoteClient::RunRestore(restore::RestoreJob& job) {
  ProgressObserver* watcher = WatcherOf(job.owner, job.progress);
  return Watched(watcher, [&] { return RestoreSnapshot(job, watcher); });
}

std::vector<std::string> RemoteReportBackend::ListNames(int category) { return client_.ListReportNames(category); }
uint64_t RemoteReportBackend::LastWriteTime(int category, const std::string& name) {
  return client_.ReportLastWriteTime(category, name);
}
std::string RemoteReportBackend::ReadText(int category, const std::string& name) {
  return client_.ReportText(category, name);
}
void RemoteReportBackend::DeleteOne(int category, const std::string& name) { client_.DeleteReport(category, name); }
void RemoteReportBackend::DeleteAll(int category) { client_.DeleteAllReports(category); }

bool RemoteClient::BackupWizardDone() { return RemoteBackupWizardDone(); }
bool RemoteClient::ConfigurationDone() { return RemoteConfigurationDone(); }
bool RemoteClient::DominoRunning() { return RemoteDominoRunning(); }
int RemoteClient::ListSnapshots(std::vector<ops::SnapshotDetails>& list) { return ListRemoteSnapshots(list); }
int RemoteClient::MachineState(ops::MachineStatus& status) { return RemoteMachineState(status); }
int RemoteClient::ArchiveLogs(backup::ArchiveLogsJob& job) {
  return Watched(job.output.window, [&] { return ArchiveRemoteLogs(job); });
}

ops::Operations* OperationsOf(RemoteSession* session) { return dynamic_cast<RemoteClient*>(session); }

}  // namespace omb::remote
