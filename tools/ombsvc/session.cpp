#include "tools/ombsvc/session.h"

#include <exception>

#include "core/errors.h"
#include "remote/commands.h"
#include "remote/limits.h"

namespace omb::service {

namespace {

// The service's half of the compatibility exchange (command 13).
constexpr int32_t kProtocolVersion = 1;

Outcome AnswerFlag(remote::WireChannel& channel, bool flag) {
  channel.SendEncoded(std::string{static_cast<char>(remote::kStatusAccepted), static_cast<char>(flag ? 1 : 0)});
  return {flag ? "ok: yes" : "ok: no"};
}

Outcome AnswerCompatibilityFirst(remote::WireChannel& channel) {
  remote::WireWriter out;
  out.Byte(remote::kStatusAccepted);
  out.Int32(kProtocolVersion);
  channel.SendEncoded(out.bytes());
  return {};
}

Outcome AnswerCompatibilitySecond(remote::WireChannel& channel) {
  const int32_t clientHalf = channel.RecvInt32();
  const bool compatible = clientHalf == 0;
  channel.SendEncoded(std::string{static_cast<char>(remote::kStatusAccepted), static_cast<char>(compatible ? 1 : 0)});
  return {compatible ? "ok: compatible" : "ok: incompatible client half " + std::to_string(clientHalf)};
}

bool ChangesTheMachine(int command) {
  return command == remote::kDeleteReport || command == remote::kDeleteAllReports ||
         command == remote::kBackupServer || command == remote::kRestore || command == remote::kRestoreUntil ||
         command == remote::kRestoreDatabase || command == remote::kArchiveLogs;
}

// Read-only refusal. Commands 4 and 5 follow the exchange pattern (their
// arguments come before the status); 7 and 8 get their status at once,
// and the connection ends because what the client sends next is unread.
Outcome RefuseReadOnly(int command, remote::WireChannel& channel) {
  if (command == remote::kDeleteReport || command == remote::kDeleteAllReports) {
    channel.RecvByte();
    if (command == remote::kDeleteReport) channel.RecvString(remote::kMaxNameBytes);
    channel.SendByte(remote::kStatusRefused);
    return {"refused: read-only service"};
  }
  channel.SendByte(remote::kStatusRefused);
  return {"refused: read-only service", false};
}

Outcome Answer(int command, remote::WireChannel& channel, SessionContext& context) {
  if (context.options.readOnly && ChangesTheMachine(command)) return RefuseReadOnly(command, channel);
  switch (command) {
    case remote::kListReportNames:
    case remote::kReportLastWriteTime:
    case remote::kReportText:
    case remote::kDeleteReport:
    case remote::kDeleteAllReports:
      return AnswerReportCommand(command, channel, context);
    case remote::kListServers:
      return AnswerListServers(channel, context);
    case remote::kBackupServer:
      return AnswerBackup(channel, context);
    case remote::kRestore:
      return AnswerRestore(channel, context);
    case remote::kRestoreUntil:
      return AnswerRestoreUntil(channel, context);
    case remote::kArchiveLogs:
      return AnswerArchiveLogs(channel, context);
    case remote::kBackupWizardDone:
      return AnswerFlag(channel, context.operations.BackupWizardDone());
    case remote::kConfigurationDone:
      return AnswerFlag(channel, context.operations.ConfigurationDone());
    case remote::kDominoRunning:
      return AnswerFlag(channel, context.operations.DominoRunning());
    case remote::kReachable:
      channel.SendByte(remote::kStatusAccepted);
      return {};
    case remote::kCompatibilityFirst:
      return AnswerCompatibilityFirst(channel);
    case remote::kCompatibilitySecond:
      return AnswerCompatibilitySecond(channel);
    case remote::kListSnapshots:
      return AnswerListSnapshots(channel, context);
    case remote::kMachineStatus:
      return AnswerMachineStatus(channel, context);
    case remote::kPinSnapshot:
    case remote::kUnpinSnapshot:
      return AnswerPinCommand(command, channel, context);
    case remote::kRestoreDatabase:
      return AnswerRestoreDatabase(channel, context);
    case remote::kCloseExchange:
      channel.SendByte(remote::kStatusAccepted);
      return {"ok", false};
    default:
      // Its arguments are unknown, so nothing after it can be read.
      channel.SendByte(remote::kStatusRefused);
      return {"refused: unknown command", false};
  }
}

}  // namespace

void ServeConnection(platform::TcpSocket socket, const std::string& peer, SessionContext& context) {
  remote::WireChannel channel(std::move(socket), context.options.wait, context.cancelFd);
  for (;;) {
    int command = 0;
    try {
      command = channel.RecvByte();
    } catch (const remote::SocketFailure& failure) {
      // A client that closes after its exchange is the normal end.
      if (failure.Is(remote::kRecvTimedOut)) context.log.Line(peer + " dropped: idle");
      else if (!failure.Is(remote::kPeerClosed)) context.log.Line(peer + " dropped: " + failure.text());
      return;
    }
    Outcome outcome;
    try {
      outcome = Answer(command, channel, context);
    } catch (const remote::SocketFailure& failure) {
      outcome = {"connection ended: " + failure.text(), false};
    } catch (const OMBError& error) {
      outcome = {"failed: " + error.message(), false};
    } catch (const std::exception& error) {
      // Whatever went wrong in answering one peer ends that connection,
      // never the service and the other peers' sessions.
      outcome = {std::string("failed: ") + error.what(), false};
    }
    context.log.Exchange(peer, command, outcome.text);
    if (!outcome.keepOpen) return;
  }
}

}  // namespace omb::service
