#pragma once
// The report store's remote back end: the five primitives answered by the
// remote service (commands 1 to 5, one connection each). A report has no
// local file here, so the store hands out a temporary copy for opening.
#include <cstdint>
#include <string>
#include <vector>

#include "reports/report_backend.h"

namespace omb::remote {

class RemoteClient;

class RemoteReportBackend : public reports::ReportBackend {
 public:
  explicit RemoteReportBackend(RemoteClient& client) : client_(client) {}

  std::vector<std::string> ListNames(int category) override;
  uint64_t LastWriteTime(int category, const std::string& name) override;
  std::string ReadText(int category, const std::string& name) override;
  void DeleteOne(int category, const std::string& name) override;
  void DeleteAll(int category) override;
  std::string LocalPath(int, const std::string&) override { return ""; }

 private:
  RemoteClient& client_;
};

}  // namespace omb::remote
