#pragma once
// The client of the remote service: one method per command. Every
// exchange opens its own connection, resolves the host again, sends one
// command (or, for a backup, one per selected server) and the closing
// command 15, and closes. Failures of the machinery are thrown:
// NetworkCmdFailure for a status other than 1, ServerNameResolutionFailure,
// ServerConnectionFailure and SocketFailure; the streamed replies catch
// the lost connection themselves and say so. As ops::Operations it is the
// machine the console and ombctl work on while they are connected.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/application.h"
#include "core/observer.h"
#include "domino/server_info.h"
#include "operations/operations.h"
#include "platform/clock.h"
#include "platform/messagebox.h"
#include "remote/channel.h"
#include "remote/records.h"
#include "remote/remote_reports.h"
#include "restore/restore.h"

namespace omb::remote {

struct ClientOptions {
  // The wait of every single send and receive.
  std::chrono::milliseconds wait = kSocketWait;
  // The pause between two strings of a streamed reply.
  std::chrono::milliseconds pause{10};
  // The time source of the pauses and time stamps; the system clock when null.
  platform::Clock* clock = nullptr;
  // Where the lost-connection message of a listing goes; the process's
  // presenter when null.
  platform::MessageBoxPresenter* messages = nullptr;
};

inline constexpr const char* kLostListingTitle = "ERROR: Ombrel for Lotus Domino";
inline constexpr const char* kLostListingText = "Connection to server lost. Operation aborted.";

class RemoteClient : public RemoteSession, public ops::Operations {
 public:
  explicit RemoteClient(RemoteConnection connection, ClientOptions options = {});
  // A copy reaches the same service; its report back end is its own.
  RemoteClient(const RemoteClient& other);
  RemoteClient& operator=(const RemoteClient& other);

  const RemoteConnection& connection() const { return connection_; }
  const std::string& host() const override { return connection_.host; }

  // ---- ops::Operations: the machine of the service -------------------------
  std::string Host() const override { return connection_.host; }
  // 6; -1 when the connection was lost (a message box said so).
  int ListServers(ServerList& list) override;
  // 7 for every selected server of job.servers. The progress goes to each
  // server's copy of job.output and to job.statusDialog (or
  // output.window), which is told Finished at the end; job.completed is
  // set on success. Only the fields of the backup request travel: the run
  // works through the service machine's own services. A failure to
  // connect or a refused status is thrown after the watcher was told
  // Finished(false).
  int RunBackup(backup::BackupJob& job) override;
  // 8; the progress goes to job.progress and job.owner (or
  // progress.window), which is told Finished at the end; thrown failures
  // as for RunBackup.
  int RunRestore(restore::RestoreJob& job) override;
  bool BackupWizardDone() override;
  bool ConfigurationDone() override;
  bool DominoRunning() override;
  // Commands 1 to 5.
  reports::ReportBackend& Reports() override { return reports_; }
  // 100 and 101; a service without them throws ops::UnsupportedOperation.
  int ListSnapshots(std::vector<ops::SnapshotDetails>& list) override;
  int MachineState(ops::MachineStatus& status) override;
  // 104 or 105; a service without them throws ops::UnsupportedOperation.
  ops::PinReply SetSnapshotPin(int partition, int number, bool pinned) override;
  // 106; the progress goes to job.output; a service without it throws
  // ops::UnsupportedOperation.
  int ArchiveLogs(backup::ArchiveLogsJob& job) override;
  // 103; its progress goes to `output` as it arrives. A service without it
  // throws ops::UnsupportedOperation; a lost connection is Failed.
  int RestoreDatabase(const ops::DatabaseRestoreRequest& request, ProgressSink& output) override;

  // 1..5: the report primitives (the report store's remote back end).
  std::vector<std::string> ListReportNames(int category);
  uint64_t ReportLastWriteTime(int category, const std::string& name);
  std::string ReportText(int category, const std::string& name);
  void DeleteReport(int category, const std::string& name);
  void DeleteAllReports(int category);

  // 6: fills `list` after the streamed wait. 0, or -1 when the connection
  // was lost (a message box said so; the list stays empty).
  int ListRemoteServers(ServerList& list);

  // 9, 10, 11.
  bool RemoteBackupWizardDone();
  bool RemoteConfigurationDone();
  bool RemoteDominoRunning();

  // 7: the backup batch. Every selected server of `servers` in list order
  // on one connection, its progress streamed into the server's progress
  // (a copy of `output`) and `bar`. 0, or -1 when an exchange failed, the
  // connection was lost (said in the progress) or the service's run wrote
  // an "ERROR: " line. Failures to connect are thrown.
  int BackupServers(ServerList& servers, const BackupRequest& request, const ProgressSink& output,
                    ProgressObserver* bar);
  // 8: the restore of job.snapshot on job.server, its progress streamed
  // into job.progress and `bar`. 0, or -1 as for a backup; failures up to
  // the start of the stream (connect, status) are thrown.
  int RestoreSnapshot(restore::RestoreJob& job, ProgressObserver* bar);

  // 100: the snapshot details of the service's machine; the result is its
  // discovery's.
  int ListRemoteSnapshots(std::vector<ops::SnapshotDetails>& list);
  // 101: the service machine's health.
  int RemoteMachineState(ops::MachineStatus& status);

  // 106: the service machine's log archiving of job.partition, its
  // progress streamed into job.output. The run's result, or -1 when the
  // connection was lost (said in the progress).
  int ArchiveRemoteLogs(backup::ArchiveLogsJob& job);

  // 12: true when the service accepted the command; any failure is false.
  bool Reachable();
  // 13 and 14 on one connection: true when the final byte is 1.
  bool Compatible();

 protected:
  WireChannel Open();
  // Sends the command code (and already encoded arguments) in one piece.
  void SendCommand(WireChannel& channel, uint8_t command, const std::string& arguments = {});
  // Receives the status; a value other than 1 throws NetworkCmdFailure.
  void RequireStatus(WireChannel& channel, int command);
  // 15, requiring status 1.
  void CloseExchange(WireChannel& channel);
  bool FlagQuery(uint8_t command);
  void RequireListingStatus(WireChannel& channel, const char* what);

  enum class StreamEnd { Done, DoneWithErrors, Lost };
  // Strings until "done": each non-empty one is emitted into `sink`.
  StreamEnd StreamProgress(WireChannel& channel, ProgressSink& sink, ProgressObserver* bar,
                           const char* abortedText);
  // The next string of a stream, waiting through time-outs between strings.
  std::string ReceiveStreamString(WireChannel& channel);
  platform::Clock& clock();
  void ShowLostListing();

  RemoteConnection connection_;
  ClientOptions options_;
  RemoteReportBackend reports_{*this};
};

// The Operations of a session that Application's connector made; nullptr
// for none or a session of another kind.
ops::Operations* OperationsOf(RemoteSession* session);

// "host" or "host:port" (the port defaults to 5555).
RemoteConnection ParseMachineName(const std::string& machineName);

// Connect as the console does it: an empty name or exactly "localhost"
// means this machine (client left null, 0). Otherwise 1 when command 12
// fails, 2 when the compatibility exchange says no, 0 with `client` set
// on success. On 1 or 2 `client` is not touched. Failures raised during
// the compatibility exchange go to the caller.
int ConnectRemote(const std::string& machineName, std::unique_ptr<RemoteClient>& client,
                  const ClientOptions& options = {});

// The connector the console gives its Application: ConnectRemote for any
// host other than this machine.
RemoteConnector MakeRemoteConnector(ClientOptions options = {});

}  // namespace omb::remote
