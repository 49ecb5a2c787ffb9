#pragma once
// The dominosim commands. Each takes the words after the command name and
// returns the process exit code; misuse raises UsageError.
#include <string>
#include <vector>

#include "notes/database.h"

namespace omb::dominosim {

int InitCommand(const std::vector<std::string>& words);
int WriteCommand(const std::vector<std::string>& words);
int ChecksumCommand(const std::vector<std::string>& words);
int DamageCommand(const std::vector<std::string>& words);
int CompactCommand(const std::vector<std::string>& words);
int DeleteCommand(const std::vector<std::string>& words);
int ServeCommand(const std::vector<std::string>& words);
int InfoCommand(const std::vector<std::string>& words);

// A mail document: a subject naming its server, database and tag, and a
// body of some hundred bytes.
notes::Note MakeDocument(const std::string& server, const std::string& database,
                         const std::string& tag);

// Relative paths ("mail\\user1.nsf") of every database under a data directory.
std::vector<std::string> DatabasesBelow(const std::string& dataDir);

// Writes a failure line on standard error ("dominosim: <text>").
void Complain(const std::string& text);

}  // namespace omb::dominosim
