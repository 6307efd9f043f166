#include "monitors/process/Payroll.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "monitors/frame/MonitorTestBed.h"
#include "monitors/frame/RandomProtocol.h"
#include "state/ProgramState.h"

namespace spekolar {

namespace {

using spktest::Text;

std::string Record(const std::string& text, const std::string& file = "lug.log") {
  return spktest::Record("LUG", "2", ";;", text, file);
}

const std::string kProgram = "07.12.2026 08:00:00 Lohnprogramm Akr 12 gestartet";

class PayrollTest : public spktest::MonitorTestBed {
 protected:
  PayrollTest() : MonitorTestBed("", "2") {}
};

TEST_F(PayrollTest, LinesOfAFile) {
  RunCases(CheckPayrollErrors, "LUG", "LuG-Fehler", "Lohn und Gehalt", "lug.log", {
      {"from the first line of today on, whatever the date",
       {"06.12.2026 Fehler von gestern", "Keine Stammkostenstelle ohne Datum",
        "07.12.2026 07:00:00 Start", "06.12.2026 Fehler nach heute", "  nicht geoeffnet: a.dat  ",
        "Lesefehler", "FEHLER gross", "Abbruch Lesen ohne Wort"},
       {Record("06.12.2026 Fehler nach heute"), Record("nicht geoeffnet: a.dat"), Record("Lesefehler")}},
      {"the first dated line is examined itself", {"x", "07.12.2026 Fehler; sofort"},
       {Record("07.12.2026 Fehler\";\" sofort")}},
      {"no line of today", {"06.12.2026 Fehler", "Fehler Lesen"}, {}},
      {"read error before any program line", {"07.12.2026 Start", "Fehler Lesen Satz 4"},
       {Record(" - Fehler Lesen Satz 4")}},
      {"read errors take the latest program line",
       {kProgram, "Abbruch Lesen: fehlerhafter Satz", "Lohnprogramm Akr 13; Lauf 2",
        "Fehler Lesen", "Fehler beim Schreiben"},
       {Record(kProgram + " - Abbruch Lesen: fehlerhafter Satz"),
        Record("Lohnprogramm Akr 13\";\" Lauf 2 - Fehler Lesen"), Record("Fehler beim Schreiben")}},
      {"the program line with its own read error",
       {"07.12.2026 Lohnprogramm Akr 1 Fehler Lesen"},
       {Record("07.12.2026 Lohnprogramm Akr 1 Fehler Lesen - "
               "07.12.2026 Lohnprogramm Akr 1 Fehler Lesen")}},
  });
}

// Each file is looked at from its own first line of today; the program line
// carries over into later files.
TEST_F(PayrollTest, FilesOfAPass) {
  dir_.Write("lug1.log", Text({"06.12.2026 Fehler alt", kProgram, "Fehler 1"}));
  dir_.Write("lug2.log", Text({"Fehler vor heute", "07.12.2026 09:00:00", "Fehler Lesen 2"}));
  dir_.Write("lug3.log", Text({"Fehler ohne Datum"}));
  SetFiles({P("lug*.log")});
  Run(CheckPayrollErrors, "LUG");
  EXPECT_EQ(Findings(), (std::vector<std::string>{Record("Fehler 1", "lug1.log"),
                                                  Record(kProgram + " - Fehler Lesen 2", "lug2.log")}));
  EXPECT_EQ(LastMessageDetail(), Record("Fehler 1", "lug1.log"));
  EXPECT_EQ(RunEntries(), Reads(" \xDC" "berwachung Lohn und Gehalt Typ 2 (Fehlermeldungen)",
                                {"lug1.log", "lug2.log", "lug3.log"}));
}

TEST_F(PayrollTest, RuntimeWritesItsHeaderOnly) {
  dir_.Write("lug.log", Text({"07.12.2026 Fehler"}));
  SetFiles({P("lug.log")});
  Run(CheckPayrollRuntime, "LUG");
  EXPECT_EQ(RunEntries(),
            std::vector<std::string>{" \xDC" "berwachung Lohn und Gehalt Typ 1 (Laufzeit)"});
  EXPECT_FALSE(dir_.Exists("SPEKOLAR.TXT"));
}

// The filtered pass finds exactly what a plain pass over every piece finds,
// also when today's date stands early in a file.
TEST_F(PayrollTest, FilteredPassEqualsPlainPass) {
  std::mt19937 rng(74);
  const spktest::ProtocolVocabulary vocabulary = {
      {"06.12.2026", "06.12.2026", "06.12.2026", "07.12.2026"},
      {"Lohnprogramm Akr", "Fehler", "fehler", "Keine Stammkostenstelle", "nicht geoeffnet",
       "Fehler Lesen", "Abbruch Lesen", "Fehler Lesen", "Lohnprogramm Akr 7;"}};
  int withFindings = 0;
  int prefixed = 0;
  for (int round = 0; round < 25; ++round) {
    WriteRandomFiles(rng, vocabulary, {{"w/a.log", 120}, {"w/b.log", 60}, {"w/c.log", 30}});
    SetFiles({P("w/a.log"), P("w/b.log"), P("w/c.log")});
    const std::vector<std::string> findings =
        ExpectFilteredEqualsPlain([] { Run(CheckPayrollErrors, "LUG"); });
    if (!findings.empty()) ++withFindings;
    for (const std::string& f : findings) {
      if (f.find("Lohnprogramm Akr") != std::string::npos && f.find(" - ") != std::string::npos) {
        ++prefixed;
      }
    }
  }
  EXPECT_GT(withFindings, 20);
  EXPECT_GT(prefixed, 10);
}

}  // namespace

}  // namespace spekolar
