#include "ui/console_model.h"

#include <algorithm>

namespace omb::ui {

namespace {

constexpr size_t kRecentHostCount = 5;

}  // namespace

ConsoleModel::ConsoleModel(ops::Operations& local, const RunServices& runs)
    : local_(local), runs_(runs), reports_(&local.Reports()) {}

void ConsoleModel::SetRemote(ops::Operations* remote) {
  remote_ = remote;
  reports_.SetBackend(&operations().Reports());
  serversCurrent_ = false;
}

ServerList& ConsoleModel::Servers() {
  if (!serversCurrent_) {
    servers_ = ServerList{};
    listResult_ = operations().ListServers(servers_);
    serversCurrent_ = true;
  }
  return servers_;
}

void ConsoleModel::SetSelected(int partitionNumber, bool selected) {
  for (PartitionInfo& server : servers_.servers) {
    if (server.partitionNumber == partitionNumber) server.selected = selected;
  }
  for (auto& entry : servers_.byServerName) {
    if (entry.second.partitionNumber == partitionNumber) entry.second.selected = selected;
  }
  for (auto& entry : servers_.byDataPath) {
    if (entry.second.partitionNumber == partitionNumber) entry.second.selected = selected;
  }
}

void ConsoleModel::RememberHost(const std::string& host) {
  recentHosts_.erase(std::remove(recentHosts_.begin(), recentHosts_.end(), host),
                     recentHosts_.end());
  recentHosts_.insert(recentHosts_.begin(), host);
  if (recentHosts_.size() > kRecentHostCount) recentHosts_.resize(kRecentHostCount);
}

}  // namespace omb::ui
