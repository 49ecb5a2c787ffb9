#pragma once
// The dependency rule of the tree, checked from the sources themselves:
// ARCHITECTURE.md lists the folders lowest first under "## Dependency
// order"; a folder may include headers and link libraries of its own folder
// and of folders above it in that list, never of one below it.
#include <filesystem>
#include <string>
#include <vector>

namespace omb::test {

// The folders of the order ("platform", ..., "tools"), lowest first; empty
// when the file has no such list.
std::vector<std::string> ReadLayerOrder(const std::filesystem::path& architectureFile);

// Checks every quoted #include of the .h and .cpp files and every omb::
// library named in the CMakeLists.txt files below each listed folder of
// `root`. Each violation names the file and line:
//   "backup/backup.cpp:12: includes \"restore/restore.h\", but restore/ comes after backup/"
std::vector<std::string> CheckLayers(const std::filesystem::path& root);

}  // namespace omb::test
