#include "protocol/ProtocolFile.h"

#include <gtest/gtest.h>

#include <string>

#include "support/TempDir.h"
#include "support/TestEnv.h"

namespace spekolar {

namespace {

using spktest::FaultInjectionEnv;
using spktest::FixedClockEnv;
using spktest::TempDir;

TEST(ProtocolFileTest, PathsFollowTheName) {
  struct Case {
    const char* dir;
    const char* name;
    const char* log;
    const char* old;
  } cases[] = {
      {"C:\\p\\log", "SPEKOLAR", "C:\\p\\log\\SPEKOLAR.log", "C:\\p\\log\\SPEKOLAR.old"},
      {"C:\\p\\log", "SPEKOLAR.TXT", "C:\\p\\log\\SPEKOLAR.TXT", "C:\\p\\log\\SPEKOLAR.TXT.old"},
      {"", "SPEKOLAR", "\\SPEKOLAR.log", "\\SPEKOLAR.old"},
      {"d", "a.b.c", "d\\a.b.c", "d\\a.b.c.old"},
  };
  for (const Case& c : cases) {
    ProtocolFile f;
    f.Open(c.dir, c.name);
    EXPECT_EQ(f.LogPath().str(), c.log);
    EXPECT_EQ(f.OldPath().str(), c.old);
  }
}

TEST(ProtocolFileTest, EntryFormsByteForByte) {
  TempDir dir;
  FixedClockEnv env(2024, 3, 3, 14, 5, 0);
  platform::ScopedEnv scoped(&env);
  ProtocolFile f;
  f.Open(dir.path(), "SPEKOLAR");
  f.WriteLine("x", true, true);
  f.WriteLine("x", true, false);
  f.WriteLine("x", false, true);
  f.WriteLine("x", false, false);
  f.WriteText("x", true, false);
  f.WriteText("x", false, true);
  f.WriteText("x", false, false);
  f.WriteLine(" \xDC" "berwachung", true, true);
  f.WriteLine("a\n", true, true);
  const std::string blanks(22, ' ');
  EXPECT_EQ(dir.ReadText("SPEKOLAR.log"),
            "03.03.2024 14:05:00 - x\n"
            "03.03.2024 14:05:00;x\n" +
                blanks + "x\n" + blanks + "x\n" +
                "03.03.2024 14:05:00 - x\n" + blanks + "x\n" +
                "x\n"
                "03.03.2024 14:05:00 -  \xDC" "berwachung\n"
                "03.03.2024 14:05:00 - a\n\n");
}

TEST(ProtocolFileTest, NothingIsWrittenBeforeOpen) {
  TempDir dir;
  ProtocolFile f;
  f.WriteLine("x", true, true);
  f.WriteText("x", false, false);
  EXPECT_TRUE(f.LogPath().IsEmpty());
}

// The size is measured before each entry; only a file strictly larger than
// the limit is moved aside, and then the entry starts a new file.
TEST(ProtocolFileTest, RotatesOnlyAboveTheLimit) {
  struct Case {
    int32_t maxSize;
    size_t existing;
    bool rotated;
  } cases[] = {{10, 10, false}, {10, 11, true}, {0, 5000, false}, {10, 0, false}};
  for (const Case& c : cases) {
    TempDir dir;
    dir.Write("SPEKOLAR.TXT", std::string(c.existing, 'a'));
    dir.Write("SPEKOLAR.TXT.old", "previous");
    ProtocolFile f;
    f.Open(dir.path(), "SPEKOLAR.TXT");
    f.SetMaxSize(c.maxSize);
    f.WriteText("new", false, false);
    if (c.rotated) {
      EXPECT_EQ(dir.ReadText("SPEKOLAR.TXT.old"), std::string(c.existing, 'a'));
      EXPECT_EQ(dir.ReadText("SPEKOLAR.TXT"), "new\n");
    } else {
      EXPECT_EQ(dir.ReadText("SPEKOLAR.TXT.old"), "previous");
      EXPECT_EQ(dir.ReadText("SPEKOLAR.TXT"), std::string(c.existing, 'a') + "new\n");
    }
  }
}

TEST(ProtocolFileTest, FailuresAreSilent) {
  TempDir dir;
  dir.Write("SPEKOLAR.log", std::string(20, 'a'));
  FaultInjectionEnv env;
  platform::ScopedEnv scoped(&env);
  ProtocolFile f;
  f.Open(dir.path(), "SPEKOLAR");
  f.SetMaxSize(10);

  // A rotation that cannot move the file appends to the large file.
  env.FailRename();
  f.WriteText("kept", false, false);
  EXPECT_EQ(dir.ReadText("SPEKOLAR.log"), std::string(20, 'a') + "kept\n");
  EXPECT_FALSE(dir.Exists("SPEKOLAR.old"));

  // A file that cannot be opened loses the entry.
  env.FailRename(platform::Status::kOk);
  env.FailOpenForAppend();
  f.WriteText("lost", false, false);
  EXPECT_EQ(dir.ReadText("SPEKOLAR.log"), std::string(20, 'a') + "kept\n");

  // A folder that does not exist loses it too.
  ProtocolFile g;
  g.Open(dir / "missing", "SPEKOLAR");
  g.WriteText("lost", false, false);
  EXPECT_FALSE(dir.Exists("missing"));

  // Lost entries are counted for the end of the pass; writes before Open
  // are not entries.
  EXPECT_EQ(f.FailedWrites(), 1);
  EXPECT_EQ(g.FailedWrites(), 1);
  ProtocolFile h;
  h.WriteText("nothing", false, false);
  EXPECT_EQ(h.FailedWrites(), 0);
}

// A disk that fills up in the middle of an entry leaves part of it behind;
// the entry is cut back off, so the file holds whole entries only and the
// next entry starts a line of its own. Every way an entry can fail counts
// once.
TEST(ProtocolFileTest, AnEntryThatCannotBeWrittenWholeIsTakenBack) {
  struct Case {
    const char* what;
    platform::Status kind;
    int operation;  // of the second entry: open, size, append, close
    bool written;
  };
  const Case cases[] = {
      {"open refused", platform::Status::kAccessDenied, 1, false},
      {"size unknown", platform::Status::kIoError, 2, true},
      {"disk full mid-entry", platform::Status::kNoSpace, 3, false},
      {"write error", platform::Status::kIoError, 3, false},
      {"close fails", platform::Status::kIoError, 4, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    FaultInjectionEnv env;
    platform::ScopedEnv scoped(&env);
    ProtocolFile f;
    f.Open(dir.path(), "SPEKOLAR.TXT");
    f.WriteLine("first;record", false, false);
    env.FailNthOperation(c.operation, c.kind);
    f.WriteLine("second;record with some length", false, false);
    env.FailNthOperation(0, platform::Status::kOk);
    f.WriteLine("third;record", false, false);
    const std::string indent(22, ' ');
    std::string expected = indent + "first;record\n";
    if (c.written) expected += indent + "second;record with some length\n";
    expected += indent + "third;record\n";
    EXPECT_EQ(dir.ReadText("SPEKOLAR.TXT"), expected);
    EXPECT_EQ(f.FailedWrites(), c.operation == 2 ? 0 : 1);
  }
}

}  // namespace

}  // namespace spekolar
