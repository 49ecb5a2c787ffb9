// Commands 1 to 5: the report store of the service's machine. Arguments
// come first, then the status: 1 with the reply, or 0 when the category
// or name is refused or the report cannot be read.
#include "core/errors.h"
#include "remote/commands.h"
#include "remote/limits.h"
#include "remote/records.h"
#include "reports/reports.h"
#include "tools/ombsvc/session.h"

namespace omb::service {

namespace {

bool KnownCategory(int category) { return !reports::CategoryFolderName(category).empty(); }

Outcome Refuse(remote::WireChannel& channel, const std::string& why) {
  channel.SendByte(remote::kStatusRefused);
  return {"refused: " + why};
}

// Runs one report primitive; a failure of the store is status 0.
template <typename Answer>
Outcome Reply(remote::WireChannel& channel, Answer reply) {
  remote::WireWriter out;
  try {
    if (!reply(out)) return Refuse(channel, "over the wire's bounds");
  } catch (const OMBError& error) {
    return Refuse(channel, error.message());
  }
  channel.SendByte(remote::kStatusAccepted);
  channel.SendEncoded(out.bytes());
  return {};
}

}  // namespace

bool IsPlainFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find_first_of("\\/:") == std::string::npos &&
         name.find('\0') == std::string::npos;
}

Outcome AnswerReportCommand(int command, remote::WireChannel& channel, SessionContext& context) {
  const int category = channel.RecvByte();
  const bool named = command == remote::kReportLastWriteTime || command == remote::kReportText ||
                     command == remote::kDeleteReport;
  const std::string name = named ? channel.RecvString(remote::kMaxNameBytes) : std::string();
  if (!KnownCategory(category)) return Refuse(channel, "unknown category " + std::to_string(category));
  if (named && !IsPlainFileName(name)) return Refuse(channel, "not a plain file name");
  reports::ReportBackend& store = context.operations.Reports();
  switch (command) {
    case remote::kListReportNames:
      return Reply(channel, [&](remote::WireWriter& out) {
        const std::vector<std::string> names = store.ListNames(category);
        if (names.size() > remote::kMaxReportNames) return false;
        for (const std::string& each : names)
          if (each.size() > remote::kMaxNameBytes) return false;
        remote::PutNameList(out, names);
        return true;
      });
    case remote::kReportLastWriteTime:
      return Reply(channel, [&](remote::WireWriter& out) {
        const uint64_t time = store.LastWriteTime(category, name);
        out.Int32(static_cast<int32_t>(time & 0xFFFFFFFFu));
        out.Int32(static_cast<int32_t>(time >> 32));
        return true;
      });
    case remote::kReportText:
      return Reply(channel, [&](remote::WireWriter& out) {
        const std::string text = store.ReadText(category, name);
        if (text.size() > remote::kMaxTextBytes) return false;
        out.String(text);
        return true;
      });
    case remote::kDeleteReport:
      return Reply(channel, [&](remote::WireWriter&) {
        store.DeleteOne(category, name);
        return true;
      });
    default:
      return Reply(channel, [&](remote::WireWriter&) {
        store.DeleteAll(category);
        return true;
      });
  }
}

}  // namespace omb::service
