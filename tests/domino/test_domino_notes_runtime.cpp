// The runtime start that discovery, the backup run and the restore run share.
#include <gtest/gtest.h>

#include "domino/notes_runtime.h"
#include "tests/support/fake_notes.h"
#include "tests/support/machine_fixture.h"

namespace omb {
namespace {

using test::NotesMethod;

class StartNotesRuntimeTest : public test::MachineTest {
 protected:
  test::FakeNotes notes_;
};

TEST_F(StartNotesRuntimeTest, StartsTerminatesAndStartsAgainWithTheIniArgument) {
  EXPECT_EQ(StartNotesRuntime(notes_, "D:\\a b\\notes.ini"), 0);
  std::vector<std::string> args = {"=D:\\a b\\notes.ini"};
  EXPECT_EQ(notes_.initArgs(), (std::vector<std::vector<std::string>>{args, args}));
  EXPECT_EQ(notes_.CallCount(NotesMethod::TermRuntime), 1);
  EXPECT_TRUE(notes_.runtimeActive());
}

TEST_F(StartNotesRuntimeTest, EmptyPathPassesNoArguments) {
  EXPECT_EQ(StartNotesRuntime(notes_, ""), 0);
  EXPECT_EQ(notes_.initArgs(), (std::vector<std::vector<std::string>>{{}, {}}));
}

TEST_F(StartNotesRuntimeTest, AnswersTheStatusOfTheFailingStart) {
  notes_.FailCall(NotesMethod::InitRuntime, 1, 111);
  EXPECT_EQ(StartNotesRuntime(notes_, "D:\\notes.ini"), 111);
  EXPECT_EQ(notes_.CallCount(NotesMethod::TermRuntime), 0);

  notes_.FailCall(NotesMethod::InitRuntime, 3, 222);
  EXPECT_EQ(StartNotesRuntime(notes_, "D:\\notes.ini"), 222);
  EXPECT_FALSE(notes_.runtimeActive());
}

TEST_F(StartNotesRuntimeTest, ScopeTerminatesTheRuntimeOnItsWayOut) {
  ASSERT_EQ(StartNotesRuntime(notes_, "D:\\notes.ini"), 0);
  { NotesRuntimeScope scope(notes_); }
  EXPECT_FALSE(notes_.runtimeActive());
}

}  // namespace
}  // namespace omb
