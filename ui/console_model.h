#pragma once
// The console's state shared by its views: the machine it works on (its
// Operations), the report store, the shared server list with its "current"
// flag, and the recent hosts of the connect dialog.
#include <string>
#include <vector>

#include "domino/server_info.h"
#include "core/services.h"
#include "operations/operations.h"
#include "reports/report_store.h"

namespace omb::ui {

class ConsoleModel {
 public:
  // local: the operations on this machine, used while not connected.
  // runs: the services every run of the console works through.
  ConsoleModel(ops::Operations& local, const RunServices& runs);

  ops::Operations& operations() { return remote_ ? *remote_ : local_; }
  // The operations of another machine (nullptr: this machine again); the
  // report store follows and the server list is no longer current.
  void SetRemote(ops::Operations* remote);
  bool connected() const { return remote_ != nullptr; }
  std::string host() const { return remote_ ? remote_->Host() : std::string(); }

  reports::ReportStore& reports() { return reports_; }
  const RunServices& runServices() const { return runs_; }

  // The shared server list, listed again through the current operations
  // when it is not current. The result of the last listing is kept.
  ServerList& Servers();
  int lastListResult() const { return listResult_; }
  void MarkServersStale() { serversCurrent_ = false; }
  bool serversCurrent() const { return serversCurrent_; }

  // Ticks or unticks a partition everywhere the backup run looks for it.
  void SetSelected(int partitionNumber, bool selected);

  // At most five hosts, most recent first.
  const std::vector<std::string>& recentHosts() const { return recentHosts_; }
  void RememberHost(const std::string& host);

 private:
  ops::Operations& local_;
  RunServices runs_;
  ops::Operations* remote_ = nullptr;
  reports::ReportStore reports_;
  ServerList servers_;
  bool serversCurrent_ = false;
  int listResult_ = 0;
  std::vector<std::string> recentHosts_;
};

}  // namespace omb::ui
