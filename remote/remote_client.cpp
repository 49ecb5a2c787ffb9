#include "remote/remote_client.h"

#include <cstdlib>

#include "core/errors.h"
#include "remote/commands.h"
#include "remote/limits.h"
#include "remote/listing_records.h"
#include "remote/records.h"

namespace omb::remote {

namespace {

std::string CategoryArgument(int category) {
  WireWriter out;
  out.Byte(static_cast<uint8_t>(category));
  return out.Take();
}

std::string ReportArguments(int category, const std::string& name) {
  WireWriter out;
  out.Byte(static_cast<uint8_t>(category));
  out.String(name);
  return out.Take();
}

}  // namespace

RemoteClient::RemoteClient(RemoteConnection connection, ClientOptions options)
    : connection_(std::move(connection)), options_(options) {}

RemoteClient::RemoteClient(const RemoteClient& other) : RemoteClient(other.connection_, other.options_) {}

RemoteClient& RemoteClient::operator=(const RemoteClient& other) {
  connection_ = other.connection_;
  options_ = other.options_;
  return *this;
}

platform::Clock& RemoteClient::clock() {
  return options_.clock != nullptr ? *options_.clock : platform::SystemClock();
}

void RemoteClient::ShowLostListing() {
  if (options_.messages != nullptr) {
    options_.messages->Show(kLostListingText, kLostListingTitle, platform::MessageIcon::Error);
  } else {
    platform::ShowMessageBox(kLostListingText, kLostListingTitle, platform::MessageIcon::Error);
  }
}

WireChannel RemoteClient::Open() {
  return WireChannel(OpenConnection(connection_, options_.wait), options_.wait);
}

void RemoteClient::SendCommand(WireChannel& channel, uint8_t command, const std::string& arguments) {
  std::string bytes(1, static_cast<char>(command));
  bytes += arguments;
  channel.SendEncoded(bytes);
}

void RemoteClient::RequireStatus(WireChannel& channel, int command) {
  const uint8_t status = channel.RecvByte();
  if (status != kStatusAccepted) throw NetworkCmdFailure(command, status);
}

void RemoteClient::CloseExchange(WireChannel& channel) {
  SendCommand(channel, kCloseExchange);
  RequireStatus(channel, kCloseExchange);
}

// ---- reports -----------------------------------------------------------------

std::vector<std::string> RemoteClient::ListReportNames(int category) {
  WireChannel channel = Open();
  SendCommand(channel, kListReportNames, CategoryArgument(category));
  RequireStatus(channel, kListReportNames);
  std::vector<std::string> names = GetNameList(channel.reader());
  CloseExchange(channel);
  return names;
}

uint64_t RemoteClient::ReportLastWriteTime(int category, const std::string& name) {
  WireChannel channel = Open();
  SendCommand(channel, kReportLastWriteTime, ReportArguments(category, name));
  RequireStatus(channel, kReportLastWriteTime);
  const uint32_t low = static_cast<uint32_t>(channel.RecvInt32());
  const uint32_t high = static_cast<uint32_t>(channel.RecvInt32());
  CloseExchange(channel);
  return uint64_t{high} << 32 | low;
}

std::string RemoteClient::ReportText(int category, const std::string& name) {
  WireChannel channel = Open();
  SendCommand(channel, kReportText, ReportArguments(category, name));
  RequireStatus(channel, kReportText);
  std::string text = channel.RecvString(kMaxTextBytes);
  CloseExchange(channel);
  return text;
}

void RemoteClient::DeleteReport(int category, const std::string& name) {
  WireChannel channel = Open();
  SendCommand(channel, kDeleteReport, ReportArguments(category, name));
  RequireStatus(channel, kDeleteReport);
  CloseExchange(channel);
}

void RemoteClient::DeleteAllReports(int category) {
  WireChannel channel = Open();
  SendCommand(channel, kDeleteAllReports, CategoryArgument(category));
  RequireStatus(channel, kDeleteAllReports);
  CloseExchange(channel);
}

// ---- server listing ------------------------------------------------------------

int RemoteClient::ListRemoteServers(ServerList& list) {
  list = ServerList{};
  WireChannel channel = Open();
  SendCommand(channel, kListServers);
  RequireStatus(channel, kListServers);
  ServerList received;
  try {
    for (std::string line = ReceiveStreamString(channel); line != kStreamContinue;
         line = ReceiveStreamString(channel)) {
      clock().Sleep(options_.pause);
    }
    GetServerList(channel.reader(), received);
  } catch (const SocketFailure&) {
    // Lost, closed, failed or out of bounds: the service is gone or broken.
    ShowLostListing();
    return -1;
  }
  CloseExchange(channel);
  list = std::move(received);
  return 0;
}

// ---- ombctl's listings -----------------------------------------------------------

// A status 0 to a command of 100 and up comes from a service that predates
// it, which then ends the connection.
void RemoteClient::RequireListingStatus(WireChannel& channel, const char* what) {
  if (channel.RecvByte() != kStatusAccepted) throw ops::UnsupportedOperation(what);
}

int RemoteClient::ListRemoteSnapshots(std::vector<ops::SnapshotDetails>& list) {
  WireChannel channel = Open();
  SendCommand(channel, kListSnapshots);
  RequireListingStatus(channel, "The snapshot listing");
  const int result = channel.RecvInt32();
  list = GetSnapshotDetailsList(channel.reader());
  CloseExchange(channel);
  return result;
}

int RemoteClient::RemoteMachineState(ops::MachineStatus& status) {
  WireChannel channel = Open();
  SendCommand(channel, kMachineStatus);
  RequireListingStatus(channel, "The status query");
  status = GetMachineStatus(channel.reader());
  CloseExchange(channel);
  return status.discoveryResult;
}

// ---- state queries -------------------------------------------------------------

bool RemoteClient::FlagQuery(uint8_t command) {
  WireChannel channel = Open();
  SendCommand(channel, command);
  RequireStatus(channel, command);
  const bool flag = channel.reader().Flag();
  CloseExchange(channel);
  return flag;
}

bool RemoteClient::RemoteBackupWizardDone() { return FlagQuery(kBackupWizardDone); }
bool RemoteClient::RemoteConfigurationDone() { return FlagQuery(kConfigurationDone); }
bool RemoteClient::RemoteDominoRunning() { return FlagQuery(kDominoRunning); }

bool RemoteClient::Reachable() {
  try {
    WireChannel channel = Open();
    SendCommand(channel, kReachable);
    RequireStatus(channel, kReachable);
    CloseExchange(channel);
    return true;
  } catch (...) {
    return false;
  }
}

bool RemoteClient::Compatible() {
  WireChannel channel = Open();
  SendCommand(channel, kCompatibilityFirst);
  RequireStatus(channel, kCompatibilityFirst);
  channel.RecvInt32();  // the service's half; not used
  WireWriter zero;
  zero.Int32(0);
  SendCommand(channel, kCompatibilitySecond, zero.Take());
  RequireStatus(channel, kCompatibilitySecond);
  const uint8_t answer = channel.RecvByte();
  CloseExchange(channel);
  return answer == 1;
}

// ---- connecting ------------------------------------------------------------------

RemoteConnection ParseMachineName(const std::string& machineName) {
  RemoteConnection connection{machineName, kServicePort};
  const size_t colon = machineName.rfind(':');
  if (colon == std::string::npos || colon + 1 >= machineName.size()) return connection;
  const std::string portText = machineName.substr(colon + 1);
  if (portText.find_first_not_of("0123456789") != std::string::npos || portText.size() > 5) return connection;
  const long port = std::strtol(portText.c_str(), nullptr, 10);
  if (port < 1 || port > 65535) return connection;
  connection.host = machineName.substr(0, colon);
  connection.port = static_cast<uint16_t>(port);
  return connection;
}

int ConnectRemote(const std::string& machineName, std::unique_ptr<RemoteClient>& client,
                  const ClientOptions& options) {
  if (machineName.empty() || machineName == "localhost") {
    client.reset();
    return 0;
  }
  auto candidate = std::make_unique<RemoteClient>(ParseMachineName(machineName), options);
  if (!candidate->Reachable()) return 1;
  if (!candidate->Compatible()) return 2;
  client = std::move(candidate);
  return 0;
}

RemoteConnector MakeRemoteConnector(ClientOptions options) {
  return [options](const std::string& host, int& status) -> std::unique_ptr<RemoteSession> {
    std::unique_ptr<RemoteClient> client;
    status = ConnectRemote(host, client, options);
    return client;
  };
}

}  // namespace omb::remote
