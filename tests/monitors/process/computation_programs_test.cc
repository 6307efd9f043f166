#include "monitors/process/ComputationPrograms.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "monitors/frame/MonitorTestBed.h"
#include "monitors/frame/RandomProtocol.h"
#include "state/ProgramState.h"

namespace spekolar {

namespace {

using spktest::Text;
using LineList = std::vector<std::string>;

// The six lines of an error block of 07.12.2026; time and message stand at
// their columns (13 and 12) once the line is trimmed.
LineList Block(const std::string& time, const std::string& message, const std::string& codeLine) {
  return {"  07.12.26 QUARDELIN Fehlerprotokoll", "Uhrzeit    : " + time, "Programm: Q7",
          "Meldung   : " + message + "  ", "------", codeLine};
}
LineList Code(const std::string& code) { return Block("22:15:03", "Satz gesperrt", code); }

LineList operator+(LineList a, const LineList& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::string Record(const std::string& text, const std::string& file) {
  return spktest::Record("RECHENPROGRAMME", "2", ";;", text, file);
}
const std::string kBlockFinding = "07.12.2026 22:15:03 - Satz gesperrt";

class ComputationProgramsTest : public spktest::MonitorTestBed {
 protected:
  ComputationProgramsTest() : MonitorTestBed("", "2") {}
};

struct Case {
  const char* name;
  const char* file;  // its name decides the mode
  LineList lines;
  std::vector<std::string> texts;  // field 6 of the findings
};

TEST_F(ComputationProgramsTest, LinesAndBlocks) {
  const std::vector<Case> cases = {
      {"line mode words", "rp.log",
       {"07.12.2026 10:00:00 Fehler beim Lesen", "07.12.2026 10:00:01 Fehler: nur Doppelpunkt",
        "07.12.2026 10:00:02 am Ende Fehler   ", "07.12.2026 10:00:03 Unzul\xE4" "ssiger Wert",
        "06.12.2026 10:00:04 Unzul\xE4" "ssiger Wert von gestern",
        "x (datenbankConnect) am 07.12.2026", "07.12.2026 initProtokollierung; fehlgeschlagen",
        "07.12.26 Fehler im Kurzdatum", "07.12.2026 fehler klein"},
       {"07.12.2026 10:00:00 Fehler beim Lesen", "07.12.2026 10:00:03 Unzul\xE4" "ssiger Wert",
        "x (datenbankConnect) am 07.12.2026", "07.12.2026 initProtokollierung\";\" fehlgeschlagen"}},
      {"codes that are no error", "quardelin.log",
       Code("ErrorCode__: 0") + Code("ErrorCode__: 1403") + Code("ErrorCode__:   100  "), {}},
      {"error codes, an empty one included", "QUARDELIN_7.log",
       Code("ErrorCode__: 904") + Code("ErrorCode__:") + Code("ErrorCode__: 14030"),
       {kBlockFinding, kBlockFinding, kBlockFinding}},
      {"line 5 without the label", "morvasten.log", Code("Fehlercode 904"), {}},
      {"short time and message lines", "morvasten.log",
       LineList{"07.12.26", "Uhrzeit 1", "", "Meldung    ;;", "", "ErrorCode__: 1"},
       {"07.12.2026  - \";\""}},
      {"message semicolons", "morvasten.log",
       Block("01:02:03", "a;b", "ErrorCode__: 2"), {"07.12.2026 01:02:03 - a\";\"b"}},
      {"block mode ignores line-mode words and other days", "morvasten.log",
       LineList{"07.12.2026 10:00:00 Fehler beim Lesen", "Unzul\xE4" "ssiger 07.12.2026"} +
           LineList{"06.12.26 alter Block", "Uhrzeit    : 00:00:00", "", "Meldung   : alt", "",
                 "ErrorCode__: 904"},
       {}},
      {"a block's lines never open a block", "morvasten.log",
       LineList{"07.12.26 Block", "Uhrzeit    : 09:00:00", "07.12.26 Zeile 2", "Meldung   : m", "",
             "ErrorCode__: 0", "x", "ErrorCode__: 5"},
       {}},
      {"block right after a block", "morvasten.log",
       Code("ErrorCode__: 0") + Block("23:00:00", "zweiter", "ErrorCode__: 7"),
       {"07.12.2026 23:00:00 - zweiter"}},
      {"incomplete block at the end", "morvasten.log",
       Code("ErrorCode__: 904") + LineList{"07.12.26 neu", "Uhrzeit    : 23:59:00", "", "Meldung   : x",
                                        "ErrorCode__: 904"},
       {kBlockFinding}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StartCase(std::string("c/") + c.file, Text(c.lines));
    Run(CheckComputationProgramErrors, "RECHENPROGRAMME");
    std::vector<std::string> expected;
    for (const std::string& t : c.texts) expected.push_back(Record(t, c.file));
    ExpectFindings(expected, "Rechenprogramm-Fehler", "");
  }
}

// Block mode holds for the later matches of an entry and ends with it; the
// program's name may stand anywhere in the full path.
TEST_F(ComputationProgramsTest, BlockModeIsStickyWithinAnEntry) {
  const LineList both = LineList{"07.12.2026 Fehler in Zeile"} + Code("ErrorCode__: 904");
  for (const char* name : {"a.log", "b_morvasten.log", "c.log"}) dir_.Write(std::string("e/") + name, Text(both));
  dir_.Write("Quardelin/d.log", Text(both));
  SetFiles({P("e/*.log"), P("e/c.log"), P("Quardelin/d.log")});
  Run(CheckComputationProgramErrors, "RECHENPROGRAMME");
  const std::string line = "07.12.2026 Fehler in Zeile";
  EXPECT_EQ(Findings(), (std::vector<std::string>{
                            Record(line, "a.log"), Record(kBlockFinding, "b_morvasten.log"),
                            Record(kBlockFinding, "c.log"),  // after the program's file
                            Record(line, "c.log"),           // its own entry starts in line mode
                            Record(kBlockFinding, "d.log")}));
  EXPECT_EQ(LastMessageDetail(), Record(line, "a.log"));
  EXPECT_EQ(RunEntries(), Reads(" \xDC" "berwachung Rechenprogramme Typ 2 (Fehlermeldungen)",
                                {"e/a.log", "e/b_morvasten.log", "e/c.log", "e/c.log", "Quardelin/d.log"}));
}

TEST_F(ComputationProgramsTest, RuntimeDoesNothing) {
  dir_.Write("rp.log", Text({"07.12.2026 Fehler beim Lesen"}));
  SetFiles({P("rp.log")});
  State().MonitorSettings.Typ1 = "1";
  Run(CheckComputationProgramRuntime, "RECHENPROGRAMME");
  EXPECT_FALSE(dir_.Exists("SPEKOLAR.log"));
  EXPECT_FALSE(dir_.Exists("SPEKOLAR.TXT"));
  EXPECT_FALSE(State().SectionFindingFlag);
}

// The filtered passes of both modes find exactly what plain passes over
// every piece find.
TEST_F(ComputationProgramsTest, FilteredPassEqualsPlainPass) {
  std::mt19937 rng(73);
  const spktest::ProtocolVocabulary vocabulary = {
      {"07.12.2026", "07.12.26", "06.12.2026", "06.12.26"},
      {"Fehler ", "Fehler", "Unzul\xE4" "ssiger", "(datenbankConnect)", "initProtokollierung",
       "ErrorCode__: 904", "ErrorCode__: 0", "ErrorCode__: 1403", "ErrorCode__:", "07.12.26",
       "07.12.2026"}};
  int withFindings = 0;
  int blockFindings = 0;
  for (int round = 0; round < 20; ++round) {
    WriteRandomFiles(rng, vocabulary, {{"w/l1.log", 120}, {"w/l2.log", 40},
                                        {"w/q1_MORVASTEN.log", 150}, {"w/q2.log", 60}});
    SetFiles({P("w/l*.log"), P("w/q*.log")});
    const std::vector<std::string> findings =
        ExpectFilteredEqualsPlain([] { Run(CheckComputationProgramErrors, "RECHENPROGRAMME"); });
    if (!findings.empty()) ++withFindings;
    for (const std::string& f : findings) {
      if (f.find("Datei: q") != std::string::npos) ++blockFindings;
    }
  }
  EXPECT_GT(withFindings, 15);
  EXPECT_GT(blockFindings, 10);
}

}  // namespace

}  // namespace spekolar
