#include "platform/journal.h"

#include <errno.h>
#include <sys/stat.h>
#include <sys/uio.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "platform/paths.h"

#ifdef OMB_HAVE_JOURNAL
// The entries name the event, not the line of this file that sent them.
#define SD_JOURNAL_SUPPRESS_LOCATION
#include <systemd/sd-journal.h>
#endif

namespace omb::platform {

namespace {

// A peer's or a run's text may be long; the journal gets a bounded copy.
constexpr size_t kMaxValueBytes = 64 * 1024;
constexpr size_t kMaxStrings = 32;

// Sends over the journal's native protocol, which carries any bytes in a
// value (line breaks too). Without a journal socket the call fails and the
// entry is dropped: the event log file stays the record of the machine.
class SystemJournal : public JournalSink {
 public:
  void Send(const JournalEntry& entry) override {
#ifdef OMB_HAVE_JOURNAL
    std::vector<std::string> items;
    items.reserve(entry.size());
    for (const JournalField& field : entry) {
      items.push_back(field.name + "=" + field.value.substr(0, kMaxValueBytes));
    }
    std::vector<iovec> vectors;
    vectors.reserve(items.size());
    for (std::string& item : items) vectors.push_back({item.data(), item.size()});
    ::sd_journal_sendv(vectors.data(), static_cast<int>(vectors.size()));
#else
    (void)entry;
#endif
  }
};

SystemJournal gSystemJournal;
std::atomic<JournalSink*> gSink{nullptr};

// What the journal knows of the events the runs write: a name for the
// category, where the server and the snapshot stand among the strings, and
// whether the event says that the run failed (the event log types every
// run event as information, but a failed backup is an error to whoever
// reads the journal by priority).
struct KnownEvent {
  uint32_t eventId;
  int serverIndex;
  int snapshotIndex;
  bool failure;
};
constexpr KnownEvent kKnownEvents[] = {
    {0x4000006Cu, 0, -1, true},   // backup: the snapshot could not be created
    {0x40000071u, 2, 0, false},   // backup: the snapshot step ended
    {0x4000006Du, 2, 1, true},    // restore: could not run, or failed
    {0x4000006Fu, 2, 1, false},   // restore: ended
    {0x40000080u, 0, 2, false},   // log archiving between backups ended
};

const KnownEvent* FindKnown(uint32_t eventId) {
  for (const KnownEvent& known : kKnownEvents) {
    if (known.eventId == eventId) return &known;
  }
  return nullptr;
}

const char* CategoryName(int category) {
  switch (category) {
    case 1: return "backup";
    case 2: return "restore";
    default: return "other";
  }
}

// Windows event types: 1 error, 2 warning, 4 information, 8 and 16 audits.
int PriorityOf(const EventRecord& record, const KnownEvent* known) {
  if (record.type == 1 || (known != nullptr && known->failure)) return kJournalError;
  if (record.type == 2 || record.type == 16) return kJournalWarning;
  return kJournalInfo;
}

std::string HexEventId(uint32_t eventId) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(eventId));
  return text;
}

std::string JoinStrings(const std::vector<std::string>& strings) {
  std::string joined;
  for (const std::string& text : strings) {
    if (!joined.empty()) joined += "; ";
    joined += text;
  }
  return joined;
}

void AddString(JournalEntry& entry, const char* name, const EventRecord& record, int index) {
  if (index >= 0 && static_cast<size_t>(index) < record.strings.size()) {
    entry.push_back({name, record.strings[static_cast<size_t>(index)]});
  }
}

}  // namespace

JournalSink* SetJournalSink(JournalSink* sink) { return gSink.exchange(sink); }

void SendToJournal(const JournalEntry& entry) {
  JournalSink* sink = gSink.load();
  (sink != nullptr ? *sink : static_cast<JournalSink&>(gSystemJournal)).Send(entry);
}

JournalEntry JournalMessage(const std::string& message, int priority) {
  JournalEntry entry{{"MESSAGE", message},
                     {"PRIORITY", std::to_string(priority)},
                     {"SYSLOG_IDENTIFIER", program_invocation_short_name}};
  entry.push_back({"OMB_MACHINE", MachineRoot().string()});
  return entry;
}

JournalEntry JournalEntryOf(const EventRecord& record) {
  const KnownEvent* known = FindKnown(record.eventId);
  const std::string eventId = HexEventId(record.eventId);
  std::string message = record.source + " " + CategoryName(record.category) + " event " + eventId;
  if (!record.strings.empty()) message += ": " + JoinStrings(record.strings);
  JournalEntry entry = JournalMessage(message, PriorityOf(record, known));
  entry.push_back({"OMB_SOURCE", record.source});
  entry.push_back({"OMB_TYPE", std::to_string(record.type)});
  entry.push_back({"OMB_CATEGORY", std::to_string(record.category)});
  entry.push_back({"OMB_EVENT_ID", eventId});
  if (!record.time.empty()) entry.push_back({"OMB_EVENT_TIME", record.time});
  if (known != nullptr) {
    AddString(entry, "OMB_SERVER", record, known->serverIndex);
    AddString(entry, "OMB_SNAPSHOT", record, known->snapshotIndex);
  }
  for (size_t i = 0; i < record.strings.size() && i < kMaxStrings; ++i) {
    entry.push_back({"OMB_STRING_" + std::to_string(i + 1), record.strings[i]});
  }
  return entry;
}

bool IsJournalStream(int fd) {
  const char* stream = std::getenv("JOURNAL_STREAM");
  if (stream == nullptr) return false;
  unsigned long long device = 0, inode = 0;
  char rest = 0;
  if (std::sscanf(stream, "%llu:%llu%c", &device, &inode, &rest) != 2) return false;
  struct stat info {};
  if (::fstat(fd, &info) != 0) return false;
  return static_cast<unsigned long long>(info.st_dev) == device &&
         static_cast<unsigned long long>(info.st_ino) == inode;
}

}  // namespace omb::platform
