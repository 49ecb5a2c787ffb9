#pragma once
// A machine with one server's notes.ini (data on E:, logs on F:) and a
// runtime started on it, plus helpers that look at databases directly.
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "notes/database.h"
#include "notes/host_files.h"
#include "notes/runtime.h"
#include "platform/ini.h"
#include "tests/support/machine_fixture.h"

namespace omb::notes::test {

constexpr const char* kIni = "E:\\Data\\notes.ini";
constexpr const char* kLogDir = "F:\\logdir";

struct LogOptions {
  const char* status = "1";
  const char* style = "1";
  const char* extentSize = "4096";
};

class NotesTest : public omb::test::MachineTest {
 protected:
  void TearDown() override {
    runtime_.TermRuntime();
    MachineTest::TearDown();
  }

  void WriteIni(LogOptions options = {}) {
    std::filesystem::create_directories(Host("E:\\Data"));
    platform::WriteIniValue(kIni, "Notes", "ServerName", "CN=Mail1/OU=Sales/O=Acme");
    platform::WriteIniValue(kIni, "Notes", "Directory", "E:\\Data");
    platform::WriteIniValue(kIni, "Notes", "TRANSLOG_Status", options.status);
    platform::WriteIniValue(kIni, "Notes", "TRANSLOG_Style", options.style);
    platform::WriteIniValue(kIni, "Notes", "TRANSLOG_Path", kLogDir);
    platform::WriteIniValue(kIni, "Notes", "TRANSLOG_ExtentSize", options.extentSize);
  }

  void Start(LogOptions options = {}) {
    WriteIni(options);
    ASSERT_EQ(runtime_.InitRuntime({std::string("=") + kIni}), kNoError);
  }

  static std::vector<Note> Docs(const std::string& tag, int count) {
    std::vector<Note> docs;
    for (int i = 0; i < count; ++i) {
      Note note;
      SetItem(note, "Form", "Memo");
      SetItem(note, "Subject", tag + "-" + std::to_string(i));
      SetItem(note, "Body", std::string(100, 'x'));
      docs.push_back(note);
    }
    return docs;
  }

  // Subjects of the documents of a database, read from its file.
  std::multiset<std::string> Subjects(const std::string& path) const {
    Database db;
    EXPECT_EQ(LoadDatabase(Host(path), db), kNoError) << path;
    std::multiset<std::string> subjects;
    for (const auto& [id, note] : db.notes) {
      if (const std::string* subject = FindItem(note, "Subject")) subjects.insert(*subject);
    }
    return subjects;
  }

  static size_t CountWithPrefix(const std::multiset<std::string>& subjects, const std::string& prefix) {
    size_t count = 0;
    for (const std::string& subject : subjects) count += subject.rfind(prefix, 0) == 0;
    return count;
  }

  // Runs work in a child process with a runtime of its own; true when it
  // ended with status 0.
  static bool InChildProcess(const std::function<bool(Runtime&)>& work) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      Runtime child;
      bool ok = child.InitRuntime({std::string("=") + kIni}) == kNoError && work(child);
      ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

  // Copies a host folder tree (a storage snapshot or its restore).
  static void CopyTree(const std::filesystem::path& from, const std::filesystem::path& to) {
    std::filesystem::remove_all(to);
    std::filesystem::create_directories(to);
    std::filesystem::copy(from, to, std::filesystem::copy_options::recursive);
  }

  // The change information of a database in backup mode, read in chunks.
  std::string ReadChangeInfo(Handle db, uint32_t context, uint32_t chunk = 32768) {
    std::string all;
    std::vector<char> buffer(chunk);
    for (;;) {
      uint32_t filled = 0;
      EXPECT_EQ(runtime_.ReadChangeInfo(db, context, buffer.data(), chunk, filled), kNoError);
      if (filled == 0) break;
      all.append(buffer.data(), filled);
    }
    return all;
  }

  // Applies change information to a database in chunks of the given size.
  Status ApplyChangeInfo(const std::string& path, const std::string& info, size_t chunk) {
    uint32_t context = 0;
    const uint64_t size = info.size();
    Status status = runtime_.ApplyChangeInfoStart(path, static_cast<uint32_t>(size),
                                                  static_cast<uint32_t>(size >> 32), context);
    if (status != kNoError) return status;
    for (size_t offset = 0; offset < info.size() && status == kNoError; offset += chunk) {
      const size_t length = std::min(chunk, info.size() - offset);
      status = runtime_.ApplyChangeInfo(context, info.data() + offset, static_cast<uint32_t>(length));
    }
    const Status ended = runtime_.ApplyChangeInfoEnd(context);
    return status != kNoError ? status : ended;
  }

  static std::string NameBuffer(const std::vector<std::string>& paths) {
    std::string buffer;
    for (const std::string& path : paths) buffer += path + '\0';
    buffer += '\0';
    return buffer;
  }

  Runtime runtime_;
};

}  // namespace omb::notes::test
