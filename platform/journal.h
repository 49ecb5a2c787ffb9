#pragma once
// The system journal beside the event log: each event and each line of the
// remote service's log also goes to the journal with structured fields,
// when the machine has a journal. A machine without one skips the entry
// silently; tests install a sink of their own and read the fields.
#include <string>
#include <vector>

#include "platform/eventlog.h"

namespace omb::platform {

struct JournalField {
  std::string name;   // upper-case letters, digits and '_', as the journal requires
  std::string value;
};
using JournalEntry = std::vector<JournalField>;

class JournalSink {
 public:
  virtual ~JournalSink() = default;
  virtual void Send(const JournalEntry& entry) = 0;
};

// Installs a sink (not owned; nullptr restores the system journal).
// Returns the previous one.
JournalSink* SetJournalSink(JournalSink* sink);
// Sends through the installed sink; never fails the caller.
void SendToJournal(const JournalEntry& entry);

// Journal priorities (syslog levels).
inline constexpr int kJournalError = 3;
inline constexpr int kJournalWarning = 4;
inline constexpr int kJournalInfo = 6;

// The entry of an event-log record: MESSAGE, PRIORITY, SYSLOG_IDENTIFIER
// and the OMB_* fields (source, type, category, event id, the strings,
// and the server and snapshot where the event names them).
JournalEntry JournalEntryOf(const EventRecord& record);
// The common fields of an entry: MESSAGE, PRIORITY, SYSLOG_IDENTIFIER
// (this program's name) and OMB_MACHINE (the machine root).
JournalEntry JournalMessage(const std::string& message, int priority);

// True when `fd` is the stream that systemd connected to the journal
// (JOURNAL_STREAM names its device and inode): a line written there would
// reach the journal twice if it were also sent with its fields.
bool IsJournalStream(int fd);

}  // namespace omb::platform
