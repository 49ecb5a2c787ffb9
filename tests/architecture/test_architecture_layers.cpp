// The dependency order of ARCHITECTURE.md holds for the tree, and the check
// names the offending line when a file or a library breaks it.
#include <gtest/gtest.h>

#include <fstream>

#include "tests/architecture/layer_check.h"
#include "tests/support/machine_fixture.h"

namespace omb::test {
namespace {

namespace fs = std::filesystem;

const fs::path kSourceRoot = OMB_SOURCE_DIR;

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

TEST(LayersOfTheTree, EveryIncludeAndLibraryFollowsTheOrder) {
  std::vector<std::string> order = ReadLayerOrder(kSourceRoot / "ARCHITECTURE.md");
  ASSERT_GE(order.size(), 10u);
  EXPECT_EQ(order.front(), "platform");
  std::vector<std::string> violations = CheckLayers(kSourceRoot);
  EXPECT_TRUE(violations.empty()) << Joined(violations);
}

// A small tree of its own: ARCHITECTURE.md with an order and a few files.
class SyntheticTree : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    tree_ = root_ / "tree";
    Write("ARCHITECTURE.md",
          "# Architecture\n\n## Dependency order\n\n1. `low/` the bottom\n2. `high/` above it\n"
          "3. `tools/` programs\n\n## Rules\n\n1. `notafolder/` is not in the order\n");
    Write("low/low.h", "#pragma once\n#include <vector>\n");
    Write("high/high.h", "#pragma once\n#include \"low/low.h\"\n");
  }
  void Write(const std::string& relative, const std::string& text) {
    fs::create_directories((tree_ / relative).parent_path());
    std::ofstream(tree_ / relative) << text;
  }
  fs::path tree_;
};

TEST_F(SyntheticTree, OrderIsReadFromItsOwnSectionOnly) {
  EXPECT_EQ(ReadLayerOrder(tree_ / "ARCHITECTURE.md"), (std::vector<std::string>{"low", "high", "tools"}));
  EXPECT_TRUE(CheckLayers(tree_).empty()) << Joined(CheckLayers(tree_));
}

TEST_F(SyntheticTree, InvertedIncludeIsNamedWithItsLine) {
  Write("low/low.cpp", "#include \"low/low.h\"\n\n#include \"high/high.h\"\n");
  EXPECT_EQ(CheckLayers(tree_), (std::vector<std::string>{
                                    "low/low.cpp:3: includes \"high/high.h\", but high/ comes after low/"}));
}

TEST_F(SyntheticTree, InvertedIncludeInTheRealOrderIsFound) {
  fs::copy_file(kSourceRoot / "ARCHITECTURE.md", tree_ / "ARCHITECTURE.md", fs::copy_options::overwrite_existing);
  Write("platform/paths.cpp", "#include \"platform/paths.h\"\n#include \"restore/restore.h\"\n");
  EXPECT_EQ(CheckLayers(tree_), (std::vector<std::string>{
                                    "platform/paths.cpp:2: includes \"restore/restore.h\", but restore/ "
                                    "comes after platform/"}));
}

TEST_F(SyntheticTree, IncludeOfAFolderOutsideTheOrderIsRefused) {
  Write("high/high.cpp", "#include \"tests/support/fake.h\"\n");
  EXPECT_EQ(CheckLayers(tree_), (std::vector<std::string>{
                                    "high/high.cpp:1: includes \"tests/support/fake.h\", which lies in no "
                                    "folder of the order"}));
}

TEST_F(SyntheticTree, SystemAndCommentedIncludesAndNestedProgramsPass) {
  Write("high/high.cpp", "#include <low/low.h>\n// #include \"tools/x.h\"\n  #  include \"high/high.h\"\n");
  Write("tools/sim/main.cpp", "#include \"tools/sim/args.h\"\n#include \"high/high.h\"\n#include \"low/low.h\"\n");
  EXPECT_TRUE(CheckLayers(tree_).empty()) << Joined(CheckLayers(tree_));
}

TEST_F(SyntheticTree, InvertedLinkAndRawTargetNamesAreNamed) {
  Write("high/CMakeLists.txt", "omb_library(high SOURCES high.cpp PUBLIC omb::low)\n");
  Write("low/CMakeLists.txt",
        "omb_library(low SOURCES low.cpp\n  PRIVATE omb::high)  # omb::tools in a comment\n"
        "target_compile_definitions(omb_low PRIVATE X)\ntarget_link_libraries(omb_low PRIVATE omb_high)\n");
  EXPECT_EQ(CheckLayers(tree_),
            (std::vector<std::string>{"low/CMakeLists.txt:2: links omb::high, but high/ comes after low/",
                                      "low/CMakeLists.txt:4: names omb_high; link through the alias omb::high"}));
}

TEST_F(SyntheticTree, MissingOrderIsAFailure) {
  Write("ARCHITECTURE.md", "# Architecture\n\nNo list here.\n");
  EXPECT_EQ(CheckLayers(tree_),
            (std::vector<std::string>{"ARCHITECTURE.md: no \"## Dependency order\" list of folders"}));
}

}  // namespace
}  // namespace omb::test
