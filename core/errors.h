#pragma once
// The OMBError family: failures of the machinery around the engines (COM,
// sockets, the command line, the report store, the shell, the registry).
// Engines never throw; they return codes and write "ERROR: " lines. The
// catcher shows message() in an error message box. Every class is a
// std::exception whose what() is message(), so one catch clause serves
// them and the library's own exceptions alike.
#include <cstdint>
#include <exception>
#include <string>
#include <utility>

namespace omb {

class OMBError : public std::exception {
 public:
  virtual std::string message() const = 0;
  const char* what() const noexcept override;

 private:
  mutable std::string what_;  // message() as what() last gave it
};

// A class whose text is finished by the code that raises it.
class TextError : public OMBError {
 public:
  explicit TextError(std::string text) : text_(std::move(text)) {}
  std::string message() const override { return text_; }

 private:
  std::string text_;
};

class COMInitFailure : public OMBError {
 public:
  // "Failure to initialize COM: " + the system's text for hr, or "Unknown error.".
  explicit COMInitFailure(uint32_t hr);
  std::string message() const override { return text_; }

 private:
  std::string text_;
};

class NetworkInitFailure : public OMBError {
 public:
  std::string message() const override { return "Couldn't find a usable Winsock DLL."; }
};

// ---- command line ---------------------------------------------------------

class OMBCLIError : public OMBError {};

class CLIUnknownOption : public OMBCLIError {
 public:
  explicit CLIUnknownOption(const std::string& name);
  std::string message() const override { return text_; }

 private:
  std::string text_;
};

class CLINoArgToBackupOption : public OMBCLIError {
 public:
  std::string message() const override;
};
class CLINoArgToDeleteOption : public OMBCLIError {
 public:
  std::string message() const override;
};
class CLINoArgToRestoreOption : public OMBCLIError {
 public:
  std::string message() const override;
};
class CLINoArgToSnapshotOption : public OMBCLIError {
 public:
  std::string message() const override;
};

class CLIInvalidBackupOption : public OMBCLIError {
 public:
  CLIInvalidBackupOption(const std::string& item, const std::string& argument);
  std::string message() const override { return text_; }

 private:
  std::string text_;
};

// "Invalid argument to "<option>" option: "<argument>".  The argument must be a number."
class CLIInvalidNumberOption : public OMBCLIError {
 public:
  CLIInvalidNumberOption(const char* option, const std::string& argument);
  std::string message() const override { return text_; }

 private:
  std::string text_;
};
class CLIInvalidDeleteOption : public CLIInvalidNumberOption {
 public:
  explicit CLIInvalidDeleteOption(const std::string& argument)
      : CLIInvalidNumberOption("delete", argument) {}
};
class CLIInvalidRestoreOption : public CLIInvalidNumberOption {
 public:
  explicit CLIInvalidRestoreOption(const std::string& argument)
      : CLIInvalidNumberOption("restore", argument) {}
};
class CLIInvalidSnapshotOption : public CLIInvalidNumberOption {
 public:
  explicit CLIInvalidSnapshotOption(const std::string& argument)
      : CLIInvalidNumberOption("snapshot", argument) {}
};

class CLIArgToPointInTimeOption : public OMBCLIError {
 public:
  std::string message() const override;
};

class CLIInvalidSnapshotNumber : public OMBCLIError {
 public:
  explicit CLIInvalidSnapshotNumber(int32_t number) : number_(number) {}
  std::string message() const override;

 private:
  int32_t number_;
};

class PidlToStringConversionFailure : public OMBError {
 public:
  std::string message() const override { return "Failed to convert a PIDL into a string.\n"; }
};

// ---- remote client --------------------------------------------------------

class NetworkClientError : public OMBError {};

class NetworkCmdFailure : public NetworkClientError {
 public:
  NetworkCmdFailure(int command, int reply) : command_(command), reply_(reply) {}
  std::string message() const override;
  int command() const { return command_; }
  int reply() const { return reply_; }

 private:
  int command_;
  int reply_;
};

class ServerNameResolutionFailure : public NetworkClientError {
 public:
  explicit ServerNameResolutionFailure(const std::string& host)
      : text_("Unable to resolve server " + host + ".") {}
  std::string message() const override { return text_; }

 private:
  std::string text_;
};

class ServerConnectionFailure : public NetworkClientError {
 public:
  // reason: "connect() failed" or "Invalid socket"
  explicit ServerConnectionFailure(const std::string& reason)
      : text_("Server connection failure: " + reason + ".") {}
  std::string message() const override { return text_; }

 private:
  std::string text_;
};

// ---- report store ---------------------------------------------------------

// Carries a report name or category and the reason text; message() is the reason.
class ReportManagerError : public OMBError {
 public:
  ReportManagerError(std::string subject, std::string reason)
      : subject_(std::move(subject)), reason_(std::move(reason)) {}
  std::string message() const override { return reason_; }
  const std::string& subject() const { return subject_; }

 private:
  std::string subject_;
  std::string reason_;
};

class UnknownReport : public ReportManagerError {
 public:
  UnknownReport(const std::string& categoryFolder, const std::string& report)
      : ReportManagerError(report, "Unknown " + categoryFolder + " report: " + report) {}
};
class SetKeepReportsFailure : public ReportManagerError {
 public:
  explicit SetKeepReportsFailure(const std::string& reason) : ReportManagerError("", reason) {}
};
class DeleteReportFailure : public ReportManagerError {
 public:
  DeleteReportFailure(const std::string& report, const std::string& reason)
      : ReportManagerError(report, reason) {}
};
class DeleteReportsFailure : public ReportManagerError {
 public:
  DeleteReportsFailure(const std::string& category, const std::string& reason)
      : ReportManagerError(category, reason) {}
};
class GetReportContentsFailure : public ReportManagerError {
 public:
  GetReportContentsFailure(const std::string& report, const std::string& reason)
      : ReportManagerError(report, reason) {}
};
class SetReportDirectoryFailure : public ReportManagerError {
 public:
  SetReportDirectoryFailure() : ReportManagerError("", "Unable to update registry.") {}
};
class ReportPathCreationFailure : public ReportManagerError {
 public:
  ReportPathCreationFailure() : ReportManagerError("", "Failed to create report path.") {}
};

class FileHandleCreationFailure : public TextError {
 public:
  explicit FileHandleCreationFailure(const std::string& path)
      : TextError("Could not create file " + path) {}
};
class FileHandleWriteFailure : public TextError {
 public:
  explicit FileHandleWriteFailure(const std::string& path)
      : TextError("Could not write to file " + path) {}
};

class ReportFileError : public OMBError {
 public:
  explicit ReportFileError(std::string text) : text_(std::move(text)) {}
  std::string message() const override { return text_; }

 private:
  std::string text_;
};
class FileOpenFailure : public ReportFileError {
 public:
  explicit FileOpenFailure(const std::string& path)
      : ReportFileError("Failed to open file " + path + ".") {}
};
class FileReadFailure : public ReportFileError {
 public:
  explicit FileReadFailure(const std::string& path)
      : ReportFileError("Failed to read file " + path + ".") {}
};
class FileTimeRetrievalFailure : public ReportFileError {
 public:
  explicit FileTimeRetrievalFailure(const std::string& path)
      : ReportFileError("Failed to get filetime for file " + path + ".") {}
};

class RegistryKeyReadFailure : public OMBError {
 public:
  RegistryKeyReadFailure(std::string subkey, std::string valueName)
      : subkey_(std::move(subkey)), valueName_(std::move(valueName)) {}
  std::string message() const override {
    return "Failed to read registry value name " + valueName_ +
           " under subkey HKEY_LOCAL_MACHINE\\" + subkey_ + ".";
  }

 private:
  std::string subkey_;
  std::string valueName_;
};

class ShellExecuteFailure : public OMBError {
 public:
  ShellExecuteFailure(std::string fileName, int shellResult)
      : fileName_(std::move(fileName)), shellResult_(shellResult) {}
  std::string message() const override {
    if (shellResult_ == 31) return "No application associated with given filename extension";
    return "Failed to open " + fileName_;
  }

 private:
  std::string fileName_;
  int shellResult_;
};

}  // namespace omb
