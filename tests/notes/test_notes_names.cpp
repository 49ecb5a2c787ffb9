// names.nsf: the ($Servers) view finds a server document by its canonical
// or abbreviated name, and a changed note is written like any change:
// logged, so that recovery replays it.
#include <gtest/gtest.h>

#include "notes/status.h"
#include "tests/notes/notes_fixture.h"

namespace omb::notes::test {
namespace {

namespace fs = std::filesystem;

class NamesTest : public NotesTest {
 protected:
  void MakeDirectory() {
    Note view;
    view.noteClass = kClassView;
    SetItem(view, "$TITLE", "($Servers)");
    SetItem(view, "$SelectForm", "Server");
    SetItem(view, "$SortItem", "ServerName");
    std::vector<Note> notes{view};
    for (const char* server : {"CN=Mail3/OU=Sales/O=Acme", "CN=Mail1/OU=Sales/O=Acme", "CN=Mail2/OU=Sales/O=Acme"}) {
      Note doc;
      SetItem(doc, "Form", "Server");
      SetItem(doc, "ServerName", server);
      SetItem(doc, "TRANSLOG_Path", "F:\\logdir");
      notes.push_back(doc);
    }
    Note person;
    SetItem(person, "Form", "Person");
    SetItem(person, "ServerName", "CN=Mail1/OU=Sales/O=Acme");
    notes.push_back(person);
    ASSERT_EQ(runtime_.CreateDatabase("names.nsf", true, "Directory", notes), kNoError);
  }

  // Finds the server document of a key; returns its note id (0 when none).
  NoteId FindServer(Handle db, const std::string& key, Status& status) {
    NoteId view = 0;
    Handle collection = 0;
    uint32_t position = 0, matches = 0;
    EXPECT_EQ(runtime_.FindDesignNote(db, "($Servers)", view), kNoError);
    EXPECT_EQ(runtime_.OpenCollection(db, view, collection), kNoError);
    status = runtime_.FindByName(collection, key, position, matches);
    std::vector<NoteId> ids;
    if (status == kNoError) {
      EXPECT_EQ(matches, 1u);
      EXPECT_EQ(runtime_.ReadEntries(collection, position, matches, ids), kNoError);
    }
    EXPECT_EQ(runtime_.CloseCollection(collection), kNoError);
    return ids.empty() ? 0 : ids.front();
  }

  std::string ItemOf(Handle db, NoteId id, const std::string& item) {
    Handle note = 0;
    std::string value;
    EXPECT_EQ(runtime_.OpenNote(db, id, note), kNoError);
    EXPECT_EQ(runtime_.GetTextItem(note, item, value), kNoError);
    runtime_.CloseNote(note);
    return value;
  }
};

TEST_F(NamesTest, ServersViewFindsCanonicalAndAbbreviatedNames) {
  Start();
  MakeDirectory();
  Handle db = 0;
  ASSERT_EQ(runtime_.OpenDb("names.nsf", db), kNoError) << "relative to the data directory";
  Status status = 0;
  const NoteId byCanonical = FindServer(db, "CN=Mail2/OU=Sales/O=Acme", status);
  ASSERT_EQ(status, kNoError);
  EXPECT_EQ(ItemOf(db, byCanonical, "ServerName"), "CN=Mail2/OU=Sales/O=Acme");
  EXPECT_EQ(FindServer(db, "mail2/sales/ACME", status), byCanonical);
  EXPECT_EQ(status, kNoError);
  FindServer(db, "CN=Mail9/OU=Sales/O=Acme", status);
  EXPECT_EQ(status & 0x3FFF, kErrNotFound);
  NoteId missing = 0;
  EXPECT_EQ(runtime_.FindDesignNote(db, "($People)", missing), kErrNoDesignNote);
}

TEST_F(NamesTest, ReadEntriesStaysInsideTheCollection) {
  Start();
  MakeDirectory();
  Handle db = 0, collection = 0;
  NoteId view = 0;
  ASSERT_EQ(runtime_.OpenDb("names.nsf", db), kNoError);
  ASSERT_EQ(runtime_.FindDesignNote(db, "($servers)", view), kNoError);
  ASSERT_EQ(runtime_.OpenCollection(db, view, collection), kNoError);
  std::vector<NoteId> ids;
  ASSERT_EQ(runtime_.ReadEntries(collection, 1, 10, ids), kNoError);
  ASSERT_EQ(ids.size(), 3u) << "only Server documents";
  EXPECT_EQ(ItemOf(db, ids[0], "ServerName"), "CN=Mail1/OU=Sales/O=Acme") << "sorted by name";
  ASSERT_EQ(runtime_.ReadEntries(collection, 3, 10, ids), kNoError);
  EXPECT_EQ(ids.size(), 1u);
  ASSERT_EQ(runtime_.ReadEntries(collection, 4, 10, ids), kNoError);
  EXPECT_TRUE(ids.empty());
}

TEST_F(NamesTest, UpdatedNoteIsWrittenAndLogged) {
  Start();
  MakeDirectory();
  const fs::path saved = root_ / "names.saved";
  fs::copy_file(Host("E:\\Data\\names.nsf"), saved);
  Handle db = 0, note = 0;
  Status status = 0;
  ASSERT_EQ(runtime_.OpenDb("names.nsf", db), kNoError);
  const NoteId id = FindServer(db, "CN=Mail1/OU=Sales/O=Acme", status);
  ASSERT_EQ(runtime_.OpenNote(db, id, note), kNoError);
  std::string value;
  EXPECT_EQ(runtime_.GetTextItem(note, "Missing", value), kErrItemNotFound);
  ASSERT_EQ(runtime_.SetTextItem(note, "TRANSLOG_Path", "H:\\logdir"), kNoError);
  ASSERT_EQ(runtime_.UpdateNote(note), kNoError);
  ASSERT_EQ(runtime_.CloseNote(note), kNoError);
  EXPECT_EQ(ItemOf(db, id, "TRANSLOG_Path"), "H:\\logdir");

  // A new note gets the next id.
  ASSERT_EQ(runtime_.CreateNote(db, note), kNoError);
  ASSERT_EQ(runtime_.SetTextItem(note, "Form", "Server"), kNoError);
  ASSERT_EQ(runtime_.SetTextItem(note, "ServerName", "CN=Mail4/OU=Sales/O=Acme"), kNoError);
  ASSERT_EQ(runtime_.UpdateNote(note), kNoError);
  runtime_.CloseNote(note);
  EXPECT_NE(FindServer(db, "Mail4/Sales/Acme", status), 0u);

  // The old file rolled forward has both changes.
  fs::copy_file(saved, Host("E:\\Data\\names.nsf"), fs::copy_options::overwrite_existing);
  uint32_t failing = 0;
  ASSERT_EQ(runtime_.Recover(NameBuffer({"names.nsf"}), nullptr, 1, failing), kNoError);
  EXPECT_EQ(ItemOf(db, id, "TRANSLOG_Path"), "H:\\logdir");
  EXPECT_NE(FindServer(db, "Mail4/Sales/Acme", status), 0u);
}

TEST_F(NamesTest, InformationBlockWritesBackWithoutChangingDocuments) {
  Start();
  MakeDirectory();
  Handle db = 0;
  ASSERT_EQ(runtime_.OpenDb("names.nsf", db), kNoError);
  std::array<char, 128> block{};
  ASSERT_EQ(runtime_.ReadDbInfoBlock(db, block), kNoError);
  EXPECT_EQ(std::string(block.data()), "Directory");
  block[0] = 'd';
  ASSERT_EQ(runtime_.WriteDbInfoBlock(db, block), kNoError);
  std::array<char, 128> again{};
  ASSERT_EQ(runtime_.ReadDbInfoBlock(db, again), kNoError);
  EXPECT_EQ(std::string(again.data()), "directory");
  Status status = 0;
  EXPECT_NE(FindServer(db, "Mail3/Sales/Acme", status), 0u);
}

}  // namespace
}  // namespace omb::notes::test
