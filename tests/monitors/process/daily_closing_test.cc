#include "monitors/process/DailyClosing.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "monitors/frame/MonitorTestBed.h"
#include "monitors/frame/RandomProtocol.h"
#include "state/ProgramState.h"

namespace spekolar {

namespace {

using spktest::Text;

const char kStart[] = "Tagesabschluss wird gestartet";
const char kEnd[] = "Tagesabschluss beendet";

// "07.12.2026 <time> <text>", a line of today.
std::string L(const std::string& time, const std::string& text) {
  return "07.12.2026 " + time + " " + text;
}

using Case = spktest::FileCase;

class DailyClosingTest : public spktest::MonitorTestBed {
 protected:
  DailyClosingTest() : MonitorTestBed("1", "2") {}
  // Runs `check` over each case's lines in tagab.log with the given limits.
  void RunCases(SectionFunction check, const std::vector<Case>& cases,
                const char* minimum = "", const char* maximum = "") {
    MonitorTestBed::RunCases(check, "TAGESABSCHLUSS", "Tagesabschluss-Fehler", "Tagesabschluss",
                             "tagab.log", cases, [&] {
                               State().MonitorSettings.MinLaufzeit = minimum;
                               State().MonitorSettings.MaxLaufzeit = maximum;
                             });
  }
};

std::string Runtime(const std::string& fields, const std::string& text) {
  return spktest::Record("TAGESABSCHLUSS", "1", fields, text, "tagab.log");
}
std::string Error(const std::string& text) {
  return spktest::Record("TAGESABSCHLUSS", "2", ";;", text, "tagab.log");
}

const std::string kUnder = " - Laufzeit unterschritten";
const std::string kOver = " - Laufzeit \xFC" "berschritten";

TEST_F(DailyClosingTest, RuntimeWithDefaults) {
  RunCases(CheckDailyClosingRuntime, {
      {"30 seconds", {L("22:00:00", kStart), L("22:00:30", kEnd)},
       {Runtime("60;2100;30", "07.12.2026 22:00:30" + kUnder)}},
      {"exactly 60", {L("22:00:00", kStart), L("22:01:00", kEnd)}, {}},
      {"59", {L("22:00:00", kStart), L("22:00:59", kEnd)},
       {Runtime("60;2100;59", "07.12.2026 22:00:59" + kUnder)}},
      {"exactly 2100", {L("22:00:00", kStart), L("22:35:00", kEnd)}, {}},
      {"2400", {L("22:00:00", kStart), L("22:40:00", kEnd)},
       {Runtime("60;2100;2400", "07.12.2026 22:40:00" + kOver)}},
      {"three long runs",
       {L("01:00:00", kStart), L("02:00:00", kEnd), L("03:00:00", kStart), L("04:00:00", kEnd),
        L("05:00:00", kStart), L("06:00:00", kEnd)},
       {Runtime("60;2100;3600", "07.12.2026 02:00:00" + kOver),
        Runtime("60;2100;3600", "07.12.2026 04:00:00" + kOver),
        Runtime("60;2100;3600", "07.12.2026 06:00:00" + kOver)}},
      {"across midnight", {L("23:59:50", kStart), L("00:00:10", kEnd)},
       {Runtime("60;2100;-86380", "07.12.2026 00:00:10" + kUnder)}},
      {"no start: end ignored", {L("22:00:00", kEnd)}, {}},
      {"second start ignored while started",
       {L("22:00:00", kStart), L("22:30:00", kStart), L("22:40:00", kEnd)},
       {Runtime("60;2100;2400", "07.12.2026 22:40:00" + kOver)}},
      {"lines of other days are not seen",
       {L("22:00:00", kStart), "06.12.2026 22:00:30 " + std::string(kEnd), L("22:40:00", kEnd)},
       {Runtime("60;2100;2400", "07.12.2026 22:40:00" + kOver)}},
      {"Keine Verbindung before a start is ignored",
       {L("21:00:00", "Keine Verbindung"), L("22:00:00", kStart), L("22:00:30", kEnd)},
       {Runtime("60;2100;30", "07.12.2026 22:00:30" + kUnder)}},
      {"Keine Verbindung breaks off the run",
       {L("22:00:00", kStart), "07.12.2026 22:00:05 Keine Verbindung; Server x",
        L("22:40:00", kEnd), L("23:00:00", kStart), L("23:00:20", kEnd)},
       {Runtime("60;2100;", "07.12.2026 22:00:05 Keine Verbindung\";\" Server x"),
        Runtime("60;2100;20", "07.12.2026 23:00:20" + kUnder)}},
      {"stamp from the date, columns from the line start",
       {"Start 07.12.2026 22:00:00 " + std::string(kStart), "xx 07.12.2026 22:00:00 " + std::string(kEnd)},
       // start ".2"/"26"/"22" = 0 h 26 min 22 s, end "26"/"22"/"00" = 26 h 22 min
       {Runtime("60;2100;93338", "07.12.2026 22:00:00" + kOver)}},
      {"other words are ignored", {L("22:00:00", kStart), L("22:10:00", "Fehler"), L("22:20:00", kEnd)}, {}},
      // A malformed line's stamp may hold a ";": it stays inside field 6.
      {"semicolon in the stamp",
       {L("22:00:00", kStart), "07.12.2026 22;00;30 " + std::string(kEnd)},
       {Runtime("60;2100;30", "07.12.2026 22\";\"00\";\"30" + kUnder)}},
  });
  EXPECT_EQ(State().MonitorSettings.MinLaufzeit, "60");
  EXPECT_EQ(State().MonitorSettings.MaxLaufzeit, "2100");
}

TEST_F(DailyClosingTest, RuntimeWithConfiguredLimits) {
  // A minimum above the maximum: both findings, shortfall first.
  RunCases(CheckDailyClosingRuntime,
           {{"both", {L("22:00:00", kStart), L("22:40:00", kEnd)},
             {Runtime("3000;100;2400", "07.12.2026 22:40:00" + kUnder),
              Runtime("3000;100;2400", "07.12.2026 22:40:00" + kOver)}}},
           "3000", "100");
  // Non-numeric limits count 0 and are written as configured.
  RunCases(CheckDailyClosingRuntime,
           {{"non-numeric", {L("22:00:00", kStart), L("22:00:30", kEnd)},
             {Runtime("abc;x;30", "07.12.2026 22:00:30" + kOver)}}},
           "abc", "x");
}

TEST_F(DailyClosingTest, RuntimeRunsAcrossFiles) {
  dir_.Write("tagab1.log", Text({L("22:00:00", kStart)}));
  dir_.Write("tagab2.log", Text({L("22:40:00", kEnd)}));
  SetFiles({P("tagab*.log")});
  Run(CheckDailyClosingRuntime, "TAGESABSCHLUSS");
  EXPECT_EQ(Findings(), std::vector<std::string>{spktest::Record("TAGESABSCHLUSS", "1", "60;2100;2400",
                                                                 "07.12.2026 22:40:00" + kOver, "tagab2.log")});
}

TEST_F(DailyClosingTest, RuntimeRunProtocol) {
  const std::string header = " \xDC" "berwachung Tagesabschluss Typ 1 (Laufzeit)";
  // Empty list: the header alone.
  SetFiles({});
  Run(CheckDailyClosingRuntime, "TAGESABSCHLUSS");
  EXPECT_EQ(RunEntries(), std::vector<std::string>{header});
  EXPECT_EQ(static_cast<unsigned char>(RunEntries()[0][1]), 0xDC);

  // A file without today's lines, an unopenable match ending the pass.
  SetUp();
  std::filesystem::remove(P("SPEKOLAR.log"));
  dir_.Write("old.log", Text({"06.12.2026 22:00:00 " + std::string(kStart)}));
  dir_.Write("b.log", Text({L("22:00:00", kStart), L("22:00:01", kEnd)}));
  std::filesystem::create_directories(P("dir.log"));
  SetFiles({P("old.log"), P("dir.log"), P("b.log")});
  Run(CheckDailyClosingRuntime, "TAGESABSCHLUSS");
  EXPECT_EQ(RunEntries(), (std::vector<std::string>{
                              header, Opened("old.log"),
                              "   Protokolldatei '" + P("dir.log") +
                                  "' konnte nicht ge\xF6" "ffnet werden"}));
  EXPECT_FALSE(dir_.Exists("SPEKOLAR.TXT"));
}

const std::string kStamp = "07.12.2026 22:50:00";

TEST_F(DailyClosingTest, Errors) {
  RunCases(CheckDailyClosingErrors, {
      {"errors only within a run",
       {L("21:00:00", "Fehler before"), L("22:00:00", std::string(kStart) + " Fehler"),
        L("22:10:00", "Fehler in run"), L("22:20:00", "Error in run"), L("22:50:00", kEnd),
        L("23:00:00", "Fehler after")},
       {Error(L("22:10:00", "Fehler in run")), Error(L("22:20:00", "Error in run"))}},
      {"other case is no error word",
       {L("22:00:00", kStart), L("22:10:00", "fehler ERROR error"), L("22:50:00", kEnd)}, {}},
      {"undated lines are not examined",
       {L("22:00:00", kStart), "   Fehler continued", "Starte TGB", L("22:50:00", kEnd)}, {}},
      {"three errors",
       {L("22:00:00", kStart), L("22:10:00", "Fehler 1"), L("22:11:00", "Fehler 2"),
        L("22:12:00", "Fehler 3"), L("22:50:00", kEnd)},
       {Error(L("22:10:00", "Fehler 1")), Error(L("22:11:00", "Fehler 2")),
        Error(L("22:12:00", "Fehler 3"))}},
      {"semicolons protected", {L("22:00:00", kStart), L("22:10:00", "Fehler a;b")},
       {Error(L("22:10:00", "Fehler a\";\"b"))}},
      {"TGB without its end",
       {L("22:00:00", kStart), L("22:10:00", "Starte TGB"), L("22:50:00", kEnd)},
       {Error(kStamp + "Kein Start/Ende TGB")}},
      {"complete phases and phases never logged",
       {L("22:00:00", kStart), L("22:01:00", "Schreibe Ersatzbuchungen..."),
        L("22:02:00", "Schreibe Ersatzbuchungen beendet"), L("22:03:00", "Starte TGB"),
        L("22:04:00", "TGB beendet"), L("22:50:00", kEnd)},
       {}},
      {"all four phases half logged, in table order",
       {L("22:00:00", kStart), L("22:01:00", "Folgemeldungen beendet"),
        L("22:02:00", "Url und Pkt beendet TGB beendet"),
        L("22:03:00", "Schreibe Ersatzbuchungen..."), L("22:50:00", kEnd)},
       {Error(kStamp + " - Kein Start/Ende 'Schreibe Ersatzbuchungen'"),
        Error(kStamp + "Kein Start/Ende TGB"), Error(kStamp + " - Kein Start/Ende Url und Pkt"),
        Error(kStamp + " - Kein Start/Ende Folgemeldung")}},
      {"end line: its markers count, its error comes first",
       {L("22:00:00", kStart), L("22:10:00", "Starte Url"),
        L("22:50:00", std::string(kEnd) + " mit Fehler, Starte Folgemeldungen")},
       {Error(L("22:50:00", std::string(kEnd) + " mit Fehler, Starte Folgemeldungen")),
        Error(kStamp + " - Kein Start/Ende Url und Pkt"),
        Error(kStamp + " - Kein Start/Ende Folgemeldung")}},
      {"Keine Verbindung closes the run without phases",
       {L("22:00:00", kStart), L("22:10:00", "Starte TGB"), L("22:20:00", "Keine Verbindung; x"),
        L("22:30:00", "Fehler ignored"), L("22:50:00", kEnd), L("23:00:00", kStart),
        L("23:10:00", "Fehler counted")},
       {Error(L("22:20:00", "Keine Verbindung\";\" x")), Error(L("23:10:00", "Fehler counted"))}},
      {"phase flags do not survive the run",
       {L("21:00:00", kStart), L("21:10:00", "Starte TGB"), L("21:20:00", "TGB beendet"),
        L("21:50:00", kEnd), L("22:00:00", kStart), L("22:10:00", "TGB beendet"),
        L("22:50:00", kEnd)},
       {Error(kStamp + "Kein Start/Ende TGB")}},
  });
}

TEST_F(DailyClosingTest, ErrorRunEndsWithItsFile) {
  dir_.Write("tagab1.log", Text({L("22:00:00", kStart), L("22:05:00", "Starte TGB")}));
  dir_.Write("tagab2.log", Text({L("22:10:00", "Fehler in second file"), L("22:50:00", kEnd),
                                 L("23:00:00", kStart), L("23:50:00", kEnd)}));
  SetFiles({P("tagab*.log")});
  Run(CheckDailyClosingErrors, "TAGESABSCHLUSS");
  EXPECT_FALSE(dir_.Exists("SPEKOLAR.TXT"));
  EXPECT_EQ(RunEntries(), Reads(" \xDC" "berwachung Tagesabschluss Typ 2 (Fehlermeldungen)",
                                {"tagab1.log", "tagab2.log"}));
}

// The filtered passes find exactly what plain passes over every piece find.
TEST_F(DailyClosingTest, FilteredPassEqualsPlainPass) {
  std::mt19937 rng(62);
  const spktest::ProtocolVocabulary vocabulary = {
      {"07.12.2026", "06.12.2026"},
      {kStart, kStart, kEnd, kEnd, "Keine Verbindung", "Fehler", "Error", "Starte TGB", "TGB beendet",
       "Schreibe Ersatzbuchungen...", "Starte Url", "Folgemeldungen beendet", "07.12.2026"}};
  int withFindings = 0;
  for (int round = 0; round < 30; ++round) {
    WriteRandomFiles(rng, vocabulary, {{"w/a.log", 150}, {"w/b.log", 50}});
    SetFiles({P("w/*.log")});
    for (SectionFunction check : {CheckDailyClosingRuntime, CheckDailyClosingErrors}) {
      if (!ExpectFilteredEqualsPlain([&] { Run(check, "TAGESABSCHLUSS"); }).empty()) ++withFindings;
    }
  }
  EXPECT_GT(withFindings, 40);
}

}  // namespace

}  // namespace spekolar
