#include "monitors/frame/ProtocolScan.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "monitors/frame/MonitorTestBed.h"
#include "platform/TimeText.h"
#include "state/ProgramState.h"
#include "text/NeedleSet.h"

namespace spekolar {

namespace {

using spktest::Text;

// A section whose error monitor's header is kHeader.
const SectionRow kTestSection = {"TEST", "Test", "", "", nullptr, nullptr, nullptr, 0, {}, false};
const char kHeader[] = " \xDC" "berwachung Test Typ 2 (Fehlermeldungen)";

class ProtocolScanTest : public spktest::MonitorTestBed {
 protected:
  // Runs a scan with the dotted date that records every line it is handed
  // as "<file>|<text>|<stamp>".
  bool RunCollecting(ProtocolScan& scan) {
    scan.onLine = [&](ScanLine& line) {
      seen_.push_back(scan.CheckedFileName().str() + "|" + line.text.str() + "|" +
                      line.stamp.str());
    };
    return scan.Run();
  }
  bool RunCollecting() {
    ProtocolScan scan(kTestSection, State().MonitorSettings, MonitorType::kErrors, platform::DateDotted);
    return RunCollecting(scan);
  }

  std::vector<std::string> seen_;
};

TEST_F(ProtocolScanTest, HeaderBytesAndTodayAreTakenFromTheClock) {
  ProtocolScan scan(kTestSection, State().MonitorSettings, MonitorType::kErrors, platform::DateIso);
  EXPECT_FALSE(RunCollecting(scan));
  EXPECT_EQ(scan.Today(), "2026-12-07");
  std::string log = dir_.ReadText("SPEKOLAR.log");
  EXPECT_EQ(log, Stamp() + " - \x20\xDC" "berwachung Test Typ 2 (Fehlermeldungen)\n");
  EXPECT_EQ(static_cast<unsigned char>(log[23]), 0xDC);
}

// The walk over the slots: where it stops, what it reports, what it returns.
TEST_F(ProtocolScanTest, SlotWalk) {
  dir_.Write("w/a.log", "07.12.2026 10:00:00 a\n");
  dir_.Write("w/b.log", "07.12.2026 10:00:00 b\n");
  std::filesystem::create_directories(P("w/sub.log"));
  struct Case {
    const char* name;
    std::vector<std::string> files;
    bool result;
    std::vector<std::string> entries;  // after the header
    std::vector<std::string> seen;
    std::string datei;  // working copy at the end
  };
  const std::vector<Case> cases = {
      {"empty list", {}, false, {}, {}, ""},
      {"empty slot ends the list", {P("w/a.log"), "", P("w/b.log")}, false,
       {Opened("w/a.log")}, {"a.log|07.12.2026 10:00:00 a|07.12.2026 10:00:00"}, ""},
      {"no match is reported and skipped", {P("w/none*.log"), P("w/b.log")}, false,
       {"   Protokolldatei '" + P("w/none*.log") + "' nicht gefunden.", Opened("w/b.log")},
       {"b.log|07.12.2026 10:00:00 b|07.12.2026 10:00:00"}, ""},
      {"a directory ends the pass", {P("w/sub.log"), P("w/a.log")}, false,
       {"   Protokolldatei '" + P("w/sub.log") + "' konnte nicht ge\xF6" "ffnet werden"}, {},
       P("w/sub.log")},
      {"matches in sorted order, the directory last", {P("w/*.log"), P("w/a.log")}, false,
       {Opened("w/a.log"), Opened("w/b.log"),
        "   Protokolldatei '" + P("w/sub.log") + "' konnte nicht ge\xF6" "ffnet werden"},
       {"a.log|07.12.2026 10:00:00 a|07.12.2026 10:00:00",
        "b.log|07.12.2026 10:00:00 b|07.12.2026 10:00:00"},
       P("w/*.log")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    std::filesystem::remove(P("SPEKOLAR.log"));
    seen_.clear();
    SetFiles({});
    for (size_t i = 0; i < c.files.size(); ++i) State().MonitorSettings.Files[i] = c.files[i];

    EXPECT_EQ(RunCollecting(), c.result);
    std::vector<std::string> expected = {kHeader};
    expected.insert(expected.end(), c.entries.begin(), c.entries.end());
    EXPECT_EQ(RunEntries(), expected);
    EXPECT_EQ(seen_, c.seen);
    EXPECT_EQ(State().MonitorSettings.Datei, c.datei.c_str());
  }
}

TEST_F(ProtocolScanTest, TwentyFilledSlotsRunThrough) {
  dir_.Write("a.log", "07.12.2026 10:00:00 a\n");
  for (CString& slot : State().MonitorSettings.Files) slot = P("a.log");
  EXPECT_TRUE(RunCollecting());
  EXPECT_EQ(seen_.size(), 20u);
  EXPECT_EQ(RunEntries().size(), 21u);
}

// Which pieces reach the monitor, trimmed, with the stamp from the first
// occurrence of today's date.
TEST_F(ProtocolScanTest, OnlyTodaysTrimmedPiecesArrive) {
  // 999 characters make a piece; the date stands in the second one.
  std::string secondPiece = std::string(1000, 'x') + " 07.12.2026 11:00:00 tail";
  // The date straddles the end of the first piece and is in neither.
  std::string straddling = std::string(995, 'y') + "07.12.2026 12:00:00 Fehler";
  dir_.Write("p.log", Text({"06.12.2026 09:00:00 yesterday",
                            "  \t07.12.2026 10:00:00 padded \t",
                            "no date",
                            "prefix 06.12.2026 07.12.2026 10:00:01 second date\r",
                            "07.12.2026 10:0",
                            secondPiece, straddling, "07.12.2026"}));
  SetFiles({P("p.log")});
  RunCollecting();
  EXPECT_EQ(seen_, (std::vector<std::string>{
                       "p.log|07.12.2026 10:00:00 padded|07.12.2026 10:00:00",
                       "p.log|prefix 06.12.2026 07.12.2026 10:00:01 second date|"
                       "07.12.2026 10:00:01",
                       "p.log|07.12.2026 10:0|07.12.2026 10:0",
                       "p.log|x 07.12.2026 11:00:00 tail|07.12.2026 11:00:00",
                       "p.log|07.12.2026|07.12.2026",
                   }));
}

// The hooks later monitors build on: per entry, per opened file (which may
// decline reading), per file end; the filter changed while reading (dated
// pieces, any of a set of words, every piece); the date text per file; the
// piece passed over last; lines pulled past the filter.
TEST_F(ProtocolScanTest, HooksFiltersAndPulledLines) {
  dir_.Write("a1.log", Text({"old error", "07.12.2026 10:00:00 first", "  undated  ",
                             "07.12.2026 10:00:02 block", "pulled 1", "pulled 2"}));
  dir_.Write("a2.log", Text({"skipped", "last skipped  ", "07-12-2026 10:00:03 x Fehler",
                             "07-12-2026 10:00:04 y", "z Fehler", "tail 1", "tail 2"}));
  dir_.Write("b.log", Text({"07.12.2026 10:00:04 unread"}));
  SetFiles({P("a*.log"), P("b.log")});

  const NeedleSet words = {"Fehler"};
  std::vector<std::string> events;
  ProtocolScan scan(kTestSection, State().MonitorSettings, MonitorType::kErrors, platform::DateDotted);
  auto skipped = [&]() {
    CString text;
    return scan.LastSkipped(&text) ? " after [" + text.str() + "]" : std::string();
  };
  scan.onEntry = [&](const CString& entry) {
    events.push_back("entry " + entry.str());
    EXPECT_EQ(State().MonitorSettings.Datei, entry);
  };
  scan.onFileOpened = [&](const platform::FoundFile& match) {
    events.push_back("open " + match.name.str());
    EXPECT_EQ(scan.CheckedFileName(), match.name);
    scan.FilterDated();  // each file starts filtered again
    if (match.name == "a2.log") scan.SetDate("07-12-2026");
    return match.name == "a1.log" || match.name == "a2.log";
  };
  scan.onLine = [&](ScanLine& line) {
    events.push_back("line [" + std::string(line.piece) + "] " + (line.dated ? "dated " : "") +
                     line.stamp.str() + skipped());
    if (scan.CheckedFileName() == "a1.log") {
      scan.FilterEvery();  // from the first dated line on, every line
    } else {
      scan.FilterAny(&words);
    }
    if (line.text.Contains("block")) {
      ScanLine next;
      while (scan.ReadLine(&next)) events.push_back("pulled " + next.text.str());
    }
  };
  scan.onEndOfFile = [&]() { events.push_back("eof" + skipped()); };
  scan.Run();

  EXPECT_EQ(events, (std::vector<std::string>{
                        "entry " + P("a*.log"),
                        "open a1.log",
                        "line [07.12.2026 10:00:00 first\n] dated 07.12.2026 10:00:00 after [old error]",
                        "line [  undated  \n] ",
                        "line [07.12.2026 10:00:02 block\n] dated 07.12.2026 10:00:02",
                        "pulled pulled 1",
                        "pulled pulled 2",
                        "eof",
                        "open a2.log",
                        "line [07-12-2026 10:00:03 x Fehler\n] dated 07-12-2026 10:00:03 after [last skipped]",
                        "line [z Fehler\n]  after [07-12-2026 10:00:04 y]",
                        "eof after [tail 2]",
                        "entry " + P("b.log"),
                        "open b.log",
                    }));
}

TEST(StampAtTest, NineteenCharactersFromTheFirstOccurrence) {
  EXPECT_EQ(StampAt("x 2026-12-07 10:00:00: y 2026-12-07", "2026-12-07"), "2026-12-07 10:00:00");
  EXPECT_EQ(StampAt("x 2026-12-07 10", "2026-12-07"), "2026-12-07 10");
  EXPECT_EQ(StampAt("x 2026-12-06 10:00:00", "2026-12-07"), "");
  EXPECT_EQ(StampAt("x", ""), "");
}

}  // namespace

}  // namespace spekolar
