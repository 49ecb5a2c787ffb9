// Each entry is one JSON object on one line. Texts are written as UTF-8;
// bytes that are not valid UTF-8 (narrow ANSI text) are written as \u00XX,
// so every line stays valid JSON.
#include "platform/eventlog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "platform/host_io.h"
#include "platform/journal.h"
#include "platform/paths.h"
#include "platform/posix_io.h"

namespace omb::platform {

namespace {

constexpr size_t kMaxLogBytes = size_t{256} << 20;

std::filesystem::path LogFile() { return MachineRoot() / "eventlog" / "Application.jsonl"; }

std::string UtcNowIso() {
  struct timespec now {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  struct tm utc {};
  ::gmtime_r(&now.tv_sec, &utc);
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(now.tv_nsec / 1000000));
  return text;
}

// Length of the valid UTF-8 sequence starting at `i`, or 0.
size_t Utf8SequenceLength(std::string_view text, size_t i) {
  auto byte = [&text](size_t at) { return static_cast<unsigned char>(text[at]); };
  unsigned char lead = byte(i);
  size_t length = (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
  if (length == 0 || i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  }
  return length;
}

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  char escape[8];
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (size_t length = Utf8SequenceLength(text, i)) {
      out.append(text.substr(i, length));
      i += length - 1;
    } else {
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    }
  }
  return out + "\"";
}

std::string FormatRecord(const EventRecord& record) {
  char eventId[16];
  std::snprintf(eventId, sizeof eventId, "0x%08X", static_cast<unsigned>(record.eventId));
  std::string line = "{\"time\":" + JsonString(record.time.empty() ? UtcNowIso() : record.time) +
                     ",\"source\":" + JsonString(record.source) + ",\"type\":" + std::to_string(record.type) +
                     ",\"category\":" + std::to_string(record.category) + ",\"eventId\":\"" + eventId +
                     "\",\"strings\":[";
  for (size_t i = 0; i < record.strings.size(); ++i) {
    if (i > 0) line += ',';
    line += JsonString(record.strings[i]);
  }
  return line + "]}\n";
}

// A reader for the flat objects written above; anything else fails.
class LineParser {
 public:
  explicit LineParser(std::string_view text) : text_(text) {}

  std::optional<EventRecord> Record() {
    EventRecord record;
    if (!Take('{')) return std::nullopt;
    if (Take('}')) return AtEnd() ? std::optional(record) : std::nullopt;
    do {
      std::optional<std::string> key = String();
      if (!key || !Take(':') || !Field(*key, record)) return std::nullopt;
    } while (Take(','));
    if (!Take('}') || !AtEnd()) return std::nullopt;
    return record;
  }

 private:
  bool Field(const std::string& key, EventRecord& record) {
    if (key == "strings") return Strings(record.strings);
    if (key == "type" || key == "category") {
      std::optional<long long> number = Number();
      if (!number) return false;
      (key == "type" ? record.type : record.category) = static_cast<int>(*number);
      return true;
    }
    std::optional<std::string> text = String();
    if (!text) return false;
    if (key == "time") record.time = *text;
    if (key == "source") record.source = *text;
    if (key == "eventId") return ParseEventId(*text, record.eventId);
    return true;
  }

  static bool ParseEventId(const std::string& text, uint32_t& eventId) {
    char* end = nullptr;
    unsigned long value = std::strtoul(text.c_str(), &end, 16);
    if (text.empty() || *end != '\0' || value > 0xFFFFFFFFul) return false;
    eventId = static_cast<uint32_t>(value);
    return true;
  }

  bool Strings(std::vector<std::string>& strings) {
    if (!Take('[')) return false;
    if (Take(']')) return true;
    do {
      std::optional<std::string> text = String();
      if (!text) return false;
      strings.push_back(std::move(*text));
    } while (Take(','));
    return Take(']');
  }

  std::optional<long long> Number() {
    SkipBlanks();
    size_t start = at_;
    if (at_ < text_.size() && text_[at_] == '-') ++at_;
    while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') ++at_;
    if (at_ == start || at_ - start > 18) return std::nullopt;
    return std::stoll(std::string(text_.substr(start, at_ - start)));
  }

  std::optional<std::string> String() {
    if (!Take('"')) return std::nullopt;
    std::string out;
    while (at_ < text_.size()) {
      char c = text_[at_++];
      if (c == '"') return out;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (at_ >= text_.size()) return std::nullopt;
      char kind = text_[at_++];
      switch (kind) {
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'u': if (!Unicode(out)) return std::nullopt; break;
        default: out += kind;
      }
    }
    return std::nullopt;
  }

  // \uXXXX below 0x100 stands for that byte (see the note at the top);
  // others are encoded as UTF-8.
  bool Unicode(std::string& out) {
    if (at_ + 4 > text_.size()) return false;
    unsigned value = 0;
    for (int k = 0; k < 4; ++k) {
      char c = text_[at_++];
      int nibble = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
      if (nibble < 0) return false;
      value = value * 16 + static_cast<unsigned>(nibble);
    }
    if (value < 0x100) {
      out += static_cast<char>(value);
    } else if (value < 0x800) {
      out += static_cast<char>(0xC0 | (value >> 6));
      out += static_cast<char>(0x80 | (value & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (value >> 12));
      out += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (value & 0x3F));
    }
    return true;
  }

  void SkipBlanks() {
    while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\r')) ++at_;
  }

  bool Take(char expected) {
    SkipBlanks();
    if (at_ >= text_.size() || text_[at_] != expected) return false;
    ++at_;
    return true;
  }

  bool AtEnd() {
    SkipBlanks();
    return at_ == text_.size();
  }

  std::string_view text_;
  size_t at_ = 0;
};

// True when the file does not end in a line end: a writer died mid-line.
bool EndsTorn(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0 || info.st_size == 0) return false;
  char last = '\n';
  return ::pread(fd, &last, 1, info.st_size - 1) == 1 && last != '\n';
}

}  // namespace

bool AppendEvent(const EventRecord& record) {
  // The journal gets the event whether or not the file below takes it.
  SendToJournal(JournalEntryOf(record));
  std::filesystem::path file = LogFile();
  std::error_code ignored;
  std::filesystem::create_directories(file.parent_path(), ignored);
  int fd = OpenFile(file, O_RDWR | O_CREAT | O_APPEND, 0666);
  if (fd < 0) return false;
  std::string line = FormatRecord(record);
  // Start on a fresh line after a torn one, so this entry stays readable.
  if (EndsTorn(fd)) line.insert(line.begin(), '\n');
  // One write with O_APPEND: entries of concurrent writers never interleave.
  const bool written = WriteAll(fd, line.data(), line.size());
  ::close(fd);
  return written;
}

std::vector<EventRecord> ReadEvents() {
  std::vector<EventRecord> records;
  std::string bytes;
  if (detail::ReadHostFile(LogFile(), bytes) != 0 || bytes.size() > kMaxLogBytes) return records;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    std::optional<EventRecord> record = LineParser(std::string_view(bytes).substr(start, end - start)).Record();
    if (record) records.push_back(std::move(*record));
    start = end + 1;
  }
  return records;
}

}  // namespace omb::platform
