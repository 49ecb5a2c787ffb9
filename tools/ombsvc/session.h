#pragma once
// One client connection of the service: reads a command code, answers it,
// and goes on until the client sends 15, goes quiet for the wait, breaks
// a bound or the service stops.
#include <atomic>
#include <mutex>
#include <string>

#include "core/services.h"
#include "operations/operations.h"
#include "platform/socket.h"
#include "remote/channel.h"
#include "tools/ombsvc/service_log.h"
#include "tools/ombsvc/service_options.h"

namespace omb::service {

// The Notes runtime, the process-wide progress text and the current
// restore request are the process's own: one engine operation (listing,
// backup, restore) at a time.
struct EngineGate {
  std::mutex mutex;
  std::atomic<bool> runActive{false};  // a backup or restore holds the mutex
};

struct SessionContext {
  const ServiceOptions& options;
  ops::Operations& operations;
  // What the backup and restore jobs of the service work through; their
  // messages go to the service's log.
  const RunServices& services;
  ServiceLog& log;
  EngineGate& engine;
  int cancelFd;  // readable once the service stops
};

// What an answered command leaves behind: the log's outcome text, and
// whether the connection goes on.
struct Outcome {
  std::string text = "ok";
  bool keepOpen = true;
};

void ServeConnection(platform::TcpSocket socket, const std::string& peer, SessionContext& context);

// The handlers, one file per group of commands.
Outcome AnswerReportCommand(int command, remote::WireChannel& channel, SessionContext& context);
Outcome AnswerListServers(remote::WireChannel& channel, SessionContext& context);
Outcome AnswerBackup(remote::WireChannel& channel, SessionContext& context);
Outcome AnswerRestore(remote::WireChannel& channel, SessionContext& context);
// Command 102: the restore request, then the recovery time.
Outcome AnswerRestoreUntil(remote::WireChannel& channel, SessionContext& context);
Outcome AnswerArchiveLogs(remote::WireChannel& channel, SessionContext& context);
Outcome AnswerListSnapshots(remote::WireChannel& channel, SessionContext& context);
Outcome AnswerMachineStatus(remote::WireChannel& channel, SessionContext& context);
Outcome AnswerPinCommand(int command, remote::WireChannel& channel, SessionContext& context);
Outcome AnswerRestoreDatabase(remote::WireChannel& channel, SessionContext& context);

// A report name that is one plain file name of a category folder.
bool IsPlainFileName(const std::string& name);

}  // namespace omb::service
