#include "monitors/groups/GroupMonitors.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "app/SectionCatalogue.h"
#include "monitors/frame/MonitorTestBed.h"
#include "monitors/frame/RandomProtocol.h"
#include "state/ProgramState.h"

namespace spekolar {

namespace {

using spktest::Text;
using LineList = std::vector<std::string>;

const char* const kGroups[] = {"GRUPPE1", "GRUPPE2", "GRUPPE3", "GRUPPE4"};

std::string Record(const std::string& section, const std::string& text,
                   const std::string& file = "g.log", const std::string& limits = ";") {
  return spktest::Record(section, "2", limits + ";", text, file);
}

class GroupMonitorsTest : public spktest::MonitorTestBed {
 protected:
  GroupMonitorsTest() : MonitorTestBed("1", "2") {}
  // Runs the section's error monitor over `lines` in g.log; the finding
  // texts (field 6).
  std::vector<std::string> Texts(const char* section, const LineList& lines) {
    StartCase("g.log", Text(lines));
    Run(CheckGroupErrors, section);
    std::vector<std::string> texts;
    for (const std::string& record : Findings()) {
      const std::string prefix = std::string(section) + ";2;;;;";
      const std::string suffix = ";(gepr\xFC" "fte Datei: g.log)";
      EXPECT_EQ(record.substr(0, prefix.size()), prefix);
      EXPECT_EQ(record.substr(record.size() - suffix.size()), suffix);
      texts.push_back(record.substr(prefix.size(), record.size() - prefix.size() - suffix.size()));
    }
    return texts;
  }
};

// Each group recognises today only in its own form; on 5 March 2024 and on
// 7 December 2026.
TEST_F(GroupMonitorsTest, DateKeys) {
  struct Case {
    platform::LocalTime day;
    std::vector<std::string> keys;  // GRUPPE1 to GRUPPE4
  };
  const std::vector<Case> cases = {
      {{2024, 3, 5}, {"05.March 2024", "05.March 2024", "05-03-2024", "05032024"}},
      {{2026, 12, 7}, {"07.December 2026", "07.December 2026", "07-12-2026", "07122026"}},
      {{2025, 9, 30}, {"30.September 2025", "30.September 2025", "30-09-2025", "30092025"}},
  };
  for (const Case& c : cases) {
    clock_.SetNow(c.day);
    for (int g = 0; g < 4; ++g) {
      SCOPED_TRACE(std::string(kGroups[g]) + " " + c.keys[g]);
      // Near misses and the other groups' forms first: not dated, so they
      // are no findings (and open no entry).
      LineList lines = {"x 5.March 2024 Error y", "x 05.Mar 2024 Error y", "x 05.03.2024 Error y",
                        "x 5-3-2024 Error y", "x 07.12.2026 Error y"};
      for (const std::string& key : c.keys) {
        if (key != c.keys[g]) lines.push_back("x " + key + " Error y");
      }
      const std::string own = "x " + c.keys[g] + " Error y";
      lines.push_back(own);
      EXPECT_EQ(Texts(kGroups[g], lines), std::vector<std::string>{(g == 0 ? "" : "Fehler - ") + own});
    }
  }
}

TEST_F(GroupMonitorsTest, LineScan) {
  const std::string d = "07.December 2026 10:00:00";
  EXPECT_EQ(Texts("GRUPPE1",
                  {d + " Job endet mit Fehler", d + " a Error b", "  Fehler am Anfang " + d,
                   "Fehler x " + d + " Fehler: y", d + " Fehler\tz", d + " Failed x [nativecode=1]",
                   "06.December 2026 a Fehler b", "a Error b", d + " a Fehler b; c",
                   d + " a ERROR b", d + " x Fehler ",
                   // Ends in the blank only untrimmed.
                   d + " x Error  "}),
            (std::vector<std::string>{d + " a Error b", d + " a Fehler b\";\" c"}));
}

TEST_F(GroupMonitorsTest, BlockScan) {
  const std::string d = "07-12-2026 10:00:00";
  const std::string e = "07-12-2026 11:00:00";
  struct Case {
    const char* name;
    LineList lines;
    std::vector<std::string> texts;
  };
  const std::vector<Case> cases = {
      {"lines before the first dated line are not searched",
       {"Failed before", "Error before", d + " Start", "Failed 1", "ok", "   [nativecode=17]"},
       {"Fehler - " + d + " Start", "Fehler - " + d + " Start"}},
      {"two lines of one entry: two findings with the same text",
       {d + " Import", "Failed a", "Failed b"},
       {"Fehler - " + d + " Import", "Fehler - " + d + " Import"}},
      {"an error word on the dated line itself", {d + " Error bei x"}, {"Fehler - " + d + " Error bei x"}},
      {"the dated line is searched trimmed, the others untrimmed",
       {d + " Ende Fehler  ", "x Fehler  ", "y Fehler", "z Error\t", "Failed"},
       {"Fehler - " + d + " Ende Fehler"}},
      {"a line of another day belongs to the entry; a new dated line opens the next",
       {"  " + d + " erster; Satz  ", "06-12-2026 Failed gestern", e + " zweiter", "Fehler beim Lesen",
        "failed error fehler"},
       {"Fehler - " + d + " erster\";\" Satz", "Fehler - " + e + " zweiter"}},
      {"no dated line", {"Fehler x", "Error y"}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Texts("GRUPPE3", c.lines), c.texts);
  }
}

// The entry ends with its file; the first finding of the call is the one
// stored; a pattern without match is reported and skipped.
TEST_F(GroupMonitorsTest, BlockScanAcrossFiles) {
  dir_.Write("g1.log", Text({"07122026 Lauf", "Failed 1"}));
  dir_.Write("g2.log", Text({"Failed ohne Eintrag", "07122026 Lauf 2", "[nativecode=3]"}));
  SetFiles({P("none*.log"), P("g*.log")});
  State().MonitorSettings.MinLaufzeit = "abc";
  Run(CheckGroupErrors, "GRUPPE4");
  EXPECT_EQ(Findings(), (std::vector<std::string>{
                            Record("GRUPPE4", "Fehler - 07122026 Lauf", "g1.log", "abc;"),
                            Record("GRUPPE4", "Fehler - 07122026 Lauf 2", "g2.log", "abc;")}));
  EXPECT_EQ(LastMessageDetail(), Record("GRUPPE4", "Fehler - 07122026 Lauf", "g1.log", "abc;"));
  EXPECT_EQ(RunEntries(),
            (std::vector<std::string>{" \xDC" "berwachung Gruppe4 Typ 2 (Fehlermeldungen)",
                                      "   Protokolldatei '" + P("none*.log") + "' nicht gefunden.",
                                      Opened("g1.log"),
                                      Opened("g2.log")}));
}

// What differs between the groups besides their scan: headers, titles and
// monitor names; the limits are copied as configured.
TEST_F(GroupMonitorsTest, TextsOfEachGroup) {
  const char* const monitorNames[] = {"Gruppe1", " ", "Gruppe3", "Gruppe4"};
  const LineList lines = {"07.December 2026 07-12-2026 07122026 a Error b"};
  for (int g = 0; g < 4; ++g) {
    const std::string section = kGroups[g];
    const std::string name = "Gruppe" + std::to_string(g + 1);
    SCOPED_TRACE(section);
    StartCase("g.log", Text(lines));
    std::filesystem::remove(P("SPEKOLAR.log"));
    State().MonitorSettings.MinLaufzeit = "10";
    State().MonitorSettings.MaxLaufzeit = " 20";
    EXPECT_TRUE(Run(CheckGroupRuntime, section));
    Run(CheckGroupErrors, section);
    const std::string text = (g == 0 ? "" : "Fehler - ") + lines[0];
    EXPECT_EQ(Findings(), std::vector<std::string>{Record(section, text, "g.log", "10; 20")});
    EXPECT_STREQ(State().MessageBuffer.MsgTxt, (name + "-Fehler").c_str());
    EXPECT_STREQ(State().MessageBuffer.MsgMod, monitorNames[g]);
    EXPECT_TRUE(State().SectionFindingFlag);
    EXPECT_EQ(RunEntries(), (std::vector<std::string>{
                                " \xDC" "berwachung " + name + " Typ 1 (Laufzeit)",
                                " \xDC" "berwachung " + name + " Typ 2 (Fehlermeldungen)",
                                Opened("g.log")}));
  }
  // A row whose key is no group's, in any letter case, runs nothing.
  for (const char* key : {"GRUPPE5", "Gruppe1"}) {
    SectionRow other = *FindSection("GRUPPE1");
    other.key = key;
    EXPECT_FALSE(CheckGroupRuntime(other, State().MonitorSettings));
    EXPECT_FALSE(CheckGroupErrors(other, State().MonitorSettings));
  }
}

// The filtered passes of both scans find exactly what plain passes over
// every piece find.
TEST_F(GroupMonitorsTest, FilteredPassEqualsPlainPass) {
  std::mt19937 rng(91);
  const std::vector<std::string> words = {"Fehler ", "Fehler", " Fehler ", "Error ", " Error ",
                                          "[nativecode=", "Failed ", "Failed", "a;b"};
  int withFindings = 0;
  for (int round = 0; round < 12; ++round) {
    for (int g = 0; g < 4; ++g) {
      spktest::ProtocolVocabulary vocabulary = {
          {"07.December 2026", "07-12-2026", "07122026", "06-12-2026", "06.December 2026"}, words};
      WriteRandomFiles(rng, vocabulary, {{"w/a.log", 100}, {"w/b.log", 40}, {"w/c.log", 40}});
      SetFiles({P("w/a.log"), P("w/b.log"), P("w/c.log")});
      const char* section = kGroups[g];
      if (!ExpectFilteredEqualsPlain([section] { Run(CheckGroupErrors, section); }).empty()) {
        ++withFindings;
      }
    }
  }
  EXPECT_GT(withFindings, 40);
}

}  // namespace

}  // namespace spekolar
