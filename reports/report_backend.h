#pragma once
// Where the report store finds its reports: the five primitive operations.
// The local back end works on the report folder's files; a remote back end
// (the console connected to another machine) answers the same operations
// through the remote service. Failures are thrown as OMBError classes.
#include <cstdint>
#include <string>
#include <vector>

namespace omb::reports {

class ReportBackend {
 public:
  virtual ~ReportBackend() = default;
  // File names of a category (not its sub-folders), in the back end's order.
  virtual std::vector<std::string> ListNames(int category) = 0;
  // Last-write time of a report as a FILETIME.
  virtual uint64_t LastWriteTime(int category, const std::string& name) = 0;
  // The whole report, byte for byte.
  virtual std::string ReadText(int category, const std::string& name) = 0;
  virtual void DeleteOne(int category, const std::string& name) = 0;
  virtual void DeleteAll(int category) = 0;
  // Path of the report file on this machine, or "" when the back end has no
  // local file (the store then writes a temporary copy).
  virtual std::string LocalPath(int category, const std::string& name) = 0;
};

// The report folder of this machine (GetReportFolder at every call).
class LocalReportBackend : public ReportBackend {
 public:
  std::vector<std::string> ListNames(int category) override;
  uint64_t LastWriteTime(int category, const std::string& name) override;
  std::string ReadText(int category, const std::string& name) override;
  void DeleteOne(int category, const std::string& name) override;
  void DeleteAll(int category) override;
  std::string LocalPath(int category, const std::string& name) override;
};

}  // namespace omb::reports
