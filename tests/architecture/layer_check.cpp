#include "tests/architecture/layer_check.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <optional>
#include <regex>

namespace omb::test {

namespace fs = std::filesystem;

namespace {

// A listed folder and its place in the order.
struct Layer {
  std::string folder;
  size_t rank = 0;
};

class Order {
 public:
  explicit Order(std::vector<std::string> folders) : folders_(std::move(folders)) {}

  // The listed folder that holds a repository-relative path: the longest
  // listed folder that is a leading part of it.
  std::optional<Layer> Of(const std::string& path) const {
    std::optional<Layer> best;
    for (size_t rank = 0; rank < folders_.size(); ++rank) {
      const std::string& folder = folders_[rank];
      const bool inside = path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
                          path[folder.size()] == '/';
      if (inside && (!best || folder.size() > best->folder.size())) best = Layer{folder, rank};
    }
    return best;
  }
  const std::vector<std::string>& folders() const { return folders_; }

 private:
  std::vector<std::string> folders_;
};

std::vector<std::string> ReadLines(const fs::path& file) {
  std::vector<std::string> lines;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Where(const std::string& file, size_t index) { return file + ":" + std::to_string(index + 1); }

// Why `from` may not use something in `to`, or "" when it may.
std::string Refusal(const Layer& from, const std::optional<Layer>& to, const std::string& what) {
  if (!to) return what + ", which lies in no folder of the order";
  if (to->rank <= from.rank) return "";
  return what + ", but " + to->folder + "/ comes after " + from.folder + "/";
}

void CheckIncludes(const Order& order, const Layer& layer, const std::string& file,
                   const fs::path& host, std::vector<std::string>& violations) {
  static const std::regex include(R"re(^\s*#\s*include\s*"([^"]+)")re");
  const std::vector<std::string> lines = ReadLines(host);
  for (size_t i = 0; i < lines.size(); ++i) {
    std::smatch match;
    if (!std::regex_search(lines[i], match, include)) continue;
    const std::string target = match[1];
    const std::string why = Refusal(layer, order.Of(target), "includes \"" + target + "\"");
    if (!why.empty()) violations.push_back(Where(file, i) + ": " + why);
  }
}

// The library each folder's CMakeLists.txt defines with omb_library().
std::map<std::string, std::string> LibraryFolders(const Order& order, const fs::path& root) {
  static const std::regex definition(R"(omb_library\(\s*(\w+))");
  std::map<std::string, std::string> folders;
  for (const std::string& folder : order.folders()) {
    std::error_code error;
    for (fs::recursive_directory_iterator it(root / folder, error), end; !error && it != end; it.increment(error)) {
      if (it->path().filename() != "CMakeLists.txt") continue;
      for (const std::string& line : ReadLines(it->path())) {
        std::smatch match;
        if (std::regex_search(line, match, definition)) {
          folders[match[1]] = fs::relative(it->path().parent_path(), root).generic_string();
        }
      }
    }
  }
  return folders;
}

void CheckLinks(const Order& order, const Layer& layer, const std::map<std::string, std::string>& libraries,
                const std::string& file, const fs::path& host, std::vector<std::string>& violations) {
  static const std::regex alias(R"(omb::(\w+))");
  static const std::regex target(R"(\bomb_(\w+))");
  const std::vector<std::string> lines = ReadLines(host);
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string code = lines[i].substr(0, lines[i].find('#'));
    for (std::sregex_iterator it(code.begin(), code.end(), alias), end; it != end; ++it) {
      const std::string name = (*it)[1];
      auto found = libraries.find(name);
      std::optional<Layer> to;
      if (found != libraries.end()) to = order.Of(found->second + "/");
      const std::string why = Refusal(layer, to, "links omb::" + name);
      if (!why.empty()) violations.push_back(Where(file, i) + ": " + why);
    }
    for (std::sregex_iterator it(code.begin(), code.end(), target), end; it != end; ++it) {
      const std::string name = (*it)[1];
      auto found = libraries.find(name);
      if (name == "library" || found == libraries.end() || order.Of(found->second + "/")->folder == layer.folder) {
        continue;
      }
      violations.push_back(Where(file, i) + ": names omb_" + name + "; link through the alias omb::" + name);
    }
  }
}

}  // namespace

std::vector<std::string> ReadLayerOrder(const fs::path& architectureFile) {
  static const std::regex entry(R"(^\s*\d+\.\s+`([a-z_/]+)/`)");
  std::vector<std::string> folders;
  bool inOrder = false;
  for (const std::string& line : ReadLines(architectureFile)) {
    if (line.rfind("## ", 0) == 0) {
      if (inOrder) break;
      inOrder = line == "## Dependency order";
      continue;
    }
    std::smatch match;
    if (inOrder && std::regex_search(line, match, entry)) folders.push_back(match[1]);
  }
  return folders;
}

std::vector<std::string> CheckLayers(const fs::path& root) {
  const Order order(ReadLayerOrder(root / "ARCHITECTURE.md"));
  if (order.folders().empty()) return {"ARCHITECTURE.md: no \"## Dependency order\" list of folders"};
  const std::map<std::string, std::string> libraries = LibraryFolders(order, root);
  std::vector<std::string> violations;
  for (const std::string& folder : order.folders()) {
    std::error_code error;
    std::vector<fs::path> files;
    for (fs::recursive_directory_iterator it(root / folder, error), end; !error && it != end; it.increment(error)) {
      if (it->is_regular_file()) files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& host : files) {
      const std::string file = fs::relative(host, root).generic_string();
      const std::optional<Layer> layer = order.Of(file);
      if (!layer || layer->folder != folder) continue;  // a listed folder below this one checks it
      const std::string extension = host.extension().string();
      if (extension == ".h" || extension == ".cpp") CheckIncludes(order, *layer, file, host, violations);
      if (host.filename() == "CMakeLists.txt") CheckLinks(order, *layer, libraries, file, host, violations);
    }
  }
  return violations;
}

}  // namespace omb::test
