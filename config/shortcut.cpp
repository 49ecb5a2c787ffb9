// The start-menu shortcut of a partitioned server: its arguments name the
// server's notes.ini, so a moved data directory (and notes.ini) needs the
// shortcut pointed at the new file.
#include <string>

#include "config/configuration.h"
#include "platform/shell_link.h"
#include "platform/system.h"

namespace omb::config {

namespace {

// The shell's buffers for a link's path, its arguments and a result's text.
constexpr size_t kMaxPath = 260;

std::string Bounded(std::string text, size_t buffer) {
  if (text.size() >= buffer) text.resize(buffer - 1);
  return text;
}

std::string ManualChangeRequest(const std::string& partition, const std::string& newNotesIniPath) {
  return "Please modify partition " + partition + "'s shortcut to reference the new notes.ini located at:\r\n" +
         newNotesIniPath + "\r\n";
}

}  // namespace

std::string ServerShortcutPath(const std::string& dataPath) {
  std::string name;
  for (size_t i = 2; i < dataPath.size(); ++i) {
    if (dataPath[i] != '\\') name += dataPath[i];
  }
  return platform::AllUsersProgramsFolder() + "\\Lotus Applications\\Domino(" + name + ").lnk";
}

int RepointServerShortcut(const PartitionInfo& server, ProgressSink& progress,
                          const std::string& newNotesIniPath) {
  const std::string partition = std::to_string(server.partitionNumber);
  Emit(progress, "Modifying start menu shortcut for partition " + partition + "\r\n");
  const std::string path = ServerShortcutPath(server.dataPath);
  Emit(progress, "Shortcut for partition " + partition + " is:\r\n" + path + "\r\n" +
                     "Attempting to load this shortcut in order to modify path to the notes.ini file\r\n");
  platform::ShellLink link;
  const uint32_t loaded = path.size() >= kMaxPath ? platform::kLinkPathNotFound
                                                  : platform::LoadShellLink(path, link);
  if (loaded != 0) {
    Emit(progress, "ERROR: Shortcut modification failed, could not load shortcut.\r\nERROR: " +
                       Bounded(platform::FormatMessageText(loaded), kMaxPath) + "\r\n" +
                       ManualChangeRequest(partition, newNotesIniPath));
    return -1;
  }
  Emit(progress, "The shortcut currently references the notes.ini located at:\r\n" +
                     Bounded(link.arguments, kMaxPath) + "\r\n" +
                     "Changing the shortcut to reference the new notes.ini located at:\r\n" + newNotesIniPath +
                     "\r\n");
  link.arguments = "=" + newNotesIniPath;
  if (platform::SaveShellLink(path, link) != 0) {
    Emit(progress, "ERROR: could not save Partition " + partition + "'s shortcut.\r\n" +
                       "Please modify shortcut it manually\r\n");
    return -2;
  }
  Emit(progress, "Partition " + partition + "'s shortcut to successfully modified\r\n\r\n");
  return 0;
}

}  // namespace omb::config
