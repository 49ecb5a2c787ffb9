// Commands 7 and 8: the remote backup batch and the remote restore, with
// the streamed progress that both end with.
#include <cstdio>

#include "core/errors.h"
#include "remote/commands.h"
#include "remote/database_restore_record.h"
#include "remote/limits.h"
#include "remote/records.h"
#include "remote/remote_client.h"

namespace omb::remote {

namespace {

constexpr const char* kLostConnection =
    "The connection to the server is lost. Please check network and/or server.\r\n";
constexpr const char* kBackupAborted = "Backup aborted.\r\n.";
constexpr const char* kRestoreAborted = "Restore aborted.\r\n.";

// Remembers whether any line of a text that arrives in pieces began with
// "ERROR: " (every failing run writes one).
class ErrorLineWatch {
 public:
  void Feed(std::string_view piece) {
    for (char c : piece) {
      if (c == '\n') {
        lineStart_.clear();
        continue;
      }
      if (lineStart_.size() < kPrefix.size()) {
        lineStart_ += c;
        if (lineStart_ == kPrefix) seen_ = true;
      }
    }
  }
  bool seen() const { return seen_; }

 private:
  static constexpr std::string_view kPrefix = "ERROR: ";
  std::string lineStart_;
  bool seen_ = false;
};

std::string Timestamp(platform::Clock& clock) {
  const platform::SystemTime now = clock.LocalNow();
  char text[96];
  std::snprintf(text, sizeof text, "%d/%d/%d %02d:%02d:%02d:%02d", now.month, now.day, now.year, now.hour,
                now.minute, now.second, now.milliseconds);
  return text;
}

class BusyCursor {
 public:
  explicit BusyCursor(ProgressObserver* bar) : bar_(bar) {
    if (bar_) bar_->Busy(true);
  }
  ~BusyCursor() {
    if (bar_) bar_->Busy(false);
  }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;

 private:
  ProgressObserver* bar_;
};

}  // namespace

RemoteClient::StreamEnd RemoteClient::StreamProgress(WireChannel& channel, ProgressSink& sink,
                                                     ProgressObserver* bar, const char* abortedText) {
  if (bar) bar->Range(0, 100, 1);
  ErrorLineWatch errors;
  for (;;) {
    if (bar) bar->Step();
    std::string piece;
    try {
      piece = ReceiveStreamString(channel);
    } catch (const SocketFailure&) {
      // Lost, closed, failed or out of bounds: nothing more can come.
      Emit(sink, std::string(kLostConnection) + abortedText);
      return StreamEnd::Lost;
    }
    if (piece == kStreamDone) {
      if (bar) bar->Position(100);
      return errors.seen() ? StreamEnd::DoneWithErrors : StreamEnd::Done;
    }
    if (!piece.empty()) {
      errors.Feed(piece);
      Emit(sink, piece);
    }
    clock().Sleep(options_.pause);
  }
}

std::string RemoteClient::ReceiveStreamString(WireChannel& channel) {
  for (;;) {
    const size_t before = channel.consumed();
    try {
      return channel.RecvString(kMaxTextBytes);
    } catch (const SocketFailure& failure) {
      // A silent service is waited for; one that stopped in the middle of
      // a string left the stream at an unknown place.
      if (!failure.Is(kRecvTimedOut) || channel.consumed() != before) throw;
    }
  }
}

int RemoteClient::BackupServers(ServerList& servers, const BackupRequest& request, const ProgressSink& output,
                                ProgressObserver* bar) {
  BusyCursor cursor(bar);
  WireChannel channel = Open();
  bool failed = false;
  for (PartitionInfo& server : servers.servers) {
    if (!server.selected) continue;
    server.progress = output;
    Emit(server.progress, "Starting Backup of Server " + server.serverName + "\r\n");
    Emit(server.progress, Timestamp(clock()) + ": Snapshot will occur on VOL " + server.dataDisk.volume +
                              " for VLD " + std::string(1, server.dataDisk.driveLetter) + "\r\n");
    try {
      SendCommand(channel, kBackupServer);
      RequireStatus(channel, kBackupServer);
      WireWriter out;
      PutBackupRequest(out, request);
      PutPartitionInfo(out, server);
      channel.SendEncoded(out.bytes());
    } catch (const OMBError& error) {
      // The exchange failed before the stream: the batch ends here.
      Emit(server.progress, "ERROR: " + error.message() + "\r\n");
      try {
        CloseExchange(channel);
      } catch (const OMBError&) {
      }
      return -1;
    }
    const StreamEnd end = StreamProgress(channel, server.progress, bar, kBackupAborted);
    if (end == StreamEnd::Lost) return -1;
    failed = failed || end == StreamEnd::DoneWithErrors;
  }
  try {
    CloseExchange(channel);
  } catch (const OMBError&) {
    failed = true;
  }
  channel.Close();
  Reachable();  // as the console does after a batch; the answer is not used
  return failed ? -1 : 0;
}

int RemoteClient::ArchiveRemoteLogs(backup::ArchiveLogsJob& job) {
  WireChannel channel = Open();
  SendCommand(channel, kArchiveLogs);
  RequireListingStatus(channel, "Log archiving");
  WireWriter out;
  out.Int32(job.partition);
  out.Int32(job.whenFreeBelowPercent);
  channel.SendEncoded(out.bytes());
  if (StreamProgress(channel, job.output, nullptr, "Log archiving aborted.\r\n") == StreamEnd::Lost) return -1;
  const int result = channel.RecvInt32();
  CloseExchange(channel);
  return result;
}

int RemoteClient::RestoreSnapshot(restore::RestoreJob& job, ProgressObserver* bar) {
  BusyCursor cursor(bar);
  WireChannel channel = Open();
  Emit(job.progress, "\r\nStarting restore of snapshot\r\n");
  Emit(job.progress, "Restoring snapshot. Please wait...\r\n");
  // A recovery to a time has a command of its own, so that a service that
  // does not know it refuses it instead of restoring up to the minute.
  const uint8_t command = job.recoverUntil ? kRestoreUntil : kRestore;
  SendCommand(channel, command);
  RequireStatus(channel, command);
  WireWriter out;
  PutRestoreRequest(out, job);
  if (job.recoverUntil) {
    out.Int32(static_cast<int32_t>(*job.recoverUntil & 0xFFFFFFFFu));
    out.Int32(static_cast<int32_t>(*job.recoverUntil >> 32));
  }
  channel.SendEncoded(out.bytes());
  const StreamEnd end = StreamProgress(channel, job.progress, bar, kRestoreAborted);
  if (end == StreamEnd::Lost) return -1;
  CloseExchange(channel);
  return end == StreamEnd::Done ? 0 : -1;
}

int RemoteClient::RestoreDatabase(const ops::DatabaseRestoreRequest& request, ProgressSink& output) {
  WireChannel channel = Open();
  SendCommand(channel, kRestoreDatabase);
  RequireListingStatus(channel, "The single-database restore");
  WireWriter out;
  PutDatabaseRestoreRequest(out, request);
  channel.SendEncoded(out.bytes());
  if (StreamProgress(channel, output, nullptr, "Database restore aborted.\r\n") == StreamEnd::Lost) {
    return restore::kDatabaseRestoreFailed;
  }
  int32_t result = restore::kDatabaseRestoreFailed;
  try {
    result = channel.RecvInt32();
    CloseExchange(channel);
  } catch (const SocketFailure&) {
    Emit(output, std::string(kLostConnection) + "Database restore aborted.\r\n");
    return restore::kDatabaseRestoreFailed;
  }
  const bool known = result == restore::kDatabaseRestoreDone || result == restore::kDatabaseRestoreRefused;
  return known ? result : restore::kDatabaseRestoreFailed;
}

}  // namespace omb::remote
