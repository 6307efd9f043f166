// The command line and the pieces of the operator modes that need no
// installation: nearest names, console text, moments and the shifted clock,
// the plugin status line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/ConsoleText.h"
#include "cli/PluginStatus.h"
#include "cli/ShiftedClock.h"
#include "support/TestEnv.h"

namespace spekolar {

namespace {

using cli::ParseCommandLine;
using cli::ParsedCommandLine;

TEST(CliTest, NearestNameSuggestsOnlyWhatIsNearEnough) {
  const char* const sections[] = {"JOBCONTROLLER", "GRUPPE1", "GRUPPE2", "LAUFWERK", "TERMINAL DOWNLOAD"};
  const char* const keys[] = {"Typ", "Datei", "Meldungstyp", "MinLaufzeit", "MaxLaufzeit", "MinGroesse", "ID"};
  struct Case {
    const char* name;
    bool keysNotSections;
    const char* expected;  // null: no suggestion
  };
  for (const Case& c : std::vector<Case>{{"Gruppe 1", false, "GRUPPE1"},
                                         {"jobkontroller", false, "JOBCONTROLLER"},
                                         {"Laufwerke", false, "LAUFWERK"},
                                         {"Terminal-Download", false, "TERMINAL DOWNLOAD"},
                                         {"Protokoll", false, nullptr},
                                         {"Dateien", true, "Datei"},
                                         {"MinGrosse", true, "MinGroesse"},
                                         {"Typen", true, "Typ"},
                                         {"Pfad", true, nullptr},
                                         {"XY", true, nullptr},
                                         {"", true, nullptr}}) {
    const char* got = c.keysNotSections ? cli::NearestName(c.name, keys) : cli::NearestName(c.name, sections);
    EXPECT_STREQ(got, c.expected) << c.name;
  }
  EXPECT_EQ(cli::EditDistance("Gruppe 1", "GRUPPE1"), 1u);
  EXPECT_EQ(cli::EditDistance("", "abc"), 3u);
}

TEST(CliTest, ConsoleTextIsUtf8OnlyForAUtf8Locale) {
  EXPECT_EQ(cli::Windows1252ToUtf8("A\x80\xDC\x81\xFF"), "A\xE2\x82\xAC\xC3\x9C\xC2\x81\xC3\xBF");
  EXPECT_EQ(cli::ForConsole("\xDC", cli::ConsoleEncoding::kWindows1252), "\xDC");

  class VariablesEnv : public spktest::EnvWrapper {
   public:
    VariablesEnv() : EnvWrapper(platform::DefaultEnv()) {}
    std::vector<std::pair<std::string, std::string>> variables;
    bool GetVariable(const char* name, std::string* value) override {
      for (const auto& [n, v] : variables) {
        if (n == name) {
          *value = v;
          return true;
        }
      }
      return false;
    }
  };
  struct Case {
    std::vector<std::pair<std::string, std::string>> variables;
    cli::ConsoleEncoding expected;
  };
  const auto utf8 = cli::ConsoleEncoding::kUtf8;
  const auto cp1252 = cli::ConsoleEncoding::kWindows1252;
  for (const Case& c : std::vector<Case>{
           {{}, cp1252},
           {{{"LANG", "de_DE.UTF-8"}}, utf8},
           {{{"LANG", "de_DE.utf8@euro"}}, utf8},
           {{{"LANG", "de_DE.ISO-8859-15"}}, cp1252},
           {{{"LC_ALL", ""}, {"LC_CTYPE", "C"}, {"LANG", "de_DE.UTF-8"}}, cp1252},
           {{{"LC_ALL", "C.UTF-8"}, {"LANG", "C"}}, utf8},
       }) {
    VariablesEnv env;
    env.variables = c.variables;
    EXPECT_EQ(cli::ConsoleEncodingOf(&env), c.expected) << c.variables.size();
  }
}

TEST(CliTest, MomentsAreRealCalendarDaysAndTimes) {
  struct Case {
    const char* text;
    bool ok;
    bool hasTime;
  };
  for (const Case& c : std::vector<Case>{{"2026-12-06", true, false},
                                         {"2024-02-29", true, false},
                                         {"2026-02-29", false, false},
                                         {"2026-12-06T23:59:59", true, true},
                                         {"2026-12-06T24:00:00", false, false},
                                         {"2026-12-06 10:00:00", false, false},
                                         {"0000-01-01", false, false},
                                         {"2026-1-6", false, false},
                                         {"2026-12-06T10:00", false, false},
                                         {"", false, false}}) {
    platform::LocalTime t;
    bool hasTime = false;
    EXPECT_EQ(cli::ParseMoment(c.text, &t, &hasTime), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(hasTime, c.hasTime) << c.text;
    }
  }
}

TEST(CliTest, ShiftedClockMovesTheDayAcrossMonthAndYearEnds) {
  struct Case {
    platform::LocalTime now;
    const char* date;
    platform::LocalTime expected;
    // Seconds the shifted clock moves while the system's moves 61: a past
    // day without a time stays at its last second.
    int64_t runs;
  };
  for (const Case& c : std::vector<Case>{
           {{2027, 1, 1, 0, 10, 5}, "2026-12-31", {2026, 12, 31, 23, 59, 59}, 0},
           {{2026, 3, 1, 23, 0, 0}, "2024-02-29", {2024, 2, 29, 23, 59, 59}, 0},
           {{2026, 12, 7, 0, 0, 0}, "2026-12-06", {2026, 12, 6, 23, 59, 59}, 0},
           {{2026, 12, 7, 22, 45, 0}, "2026-12-07", {2026, 12, 7, 22, 45, 0}, 61},
           {{2026, 12, 7, 23, 59, 30}, "2026-12-08", {2026, 12, 8, 23, 59, 30}, 61},
           {{2026, 12, 7, 22, 45, 0}, "2026-12-06T06:30:00", {2026, 12, 6, 6, 30, 0}, 61},
           {{2026, 12, 7, 22, 45, 0}, "2030-01-01T00:00:00", {2030, 1, 1, 0, 0, 0}, 61},
       }) {
    platform::LocalTime moment;
    bool hasTime = false;
    ASSERT_TRUE(cli::ParseMoment(c.date, &moment, &hasTime));
    spktest::FixedClockEnv clock(c.now);
    cli::ShiftedClockEnv shifted(&clock, cli::ShiftTo(c.now, moment, hasTime));
    platform::LocalTime got = shifted.Now();
    EXPECT_EQ(std::vector<int>({got.year, got.month, got.day, got.hour, got.minute, got.second}),
              std::vector<int>({c.expected.year, c.expected.month, c.expected.day, c.expected.hour,
                                c.expected.minute, c.expected.second}))
        << c.date;
    clock.SetNow(cli::FromCalendarSeconds(cli::CalendarSeconds(c.now) + 61));
    EXPECT_EQ(cli::CalendarSeconds(shifted.Now()) - cli::CalendarSeconds(got), c.runs) << c.date;
  }
}

ParsedCommandLine Parse(std::vector<const char*> args) {
  args.insert(args.begin(), "spekolar");
  return ParseCommandLine(static_cast<int>(args.size()), args.data());
}

TEST(CliTest, CommandLineKeepsThePassArgumentsAndRefusesMistakes) {
  struct Case {
    std::vector<const char*> args;
    bool run;
    int exitCode;
    std::vector<std::string> arguments;
  };
  for (const Case& c : std::vector<Case>{
           {{}, true, 0, {}},
           {{"p.ini"}, true, 0, {"p.ini"}},
           {{"p.ini", "extra", "-x"}, true, 0, {"p.ini", "extra", "-x"}},
           {{"--dry-run", "--date", "2026-12-06", "--plugin", "p.ini"}, true, 0, {"p.ini"}},
           {{"--check", "p.ini"}, true, 0, {"p.ini"}},
           {{"p.ini", "--check"}, false, 1, {}},
           {{"--check", "--plugin", "p.ini"}, false, 3, {}},
           {{"--check", "--date", "2026-12-06", "p.ini"}, false, 1, {}},
           {{"--plugin", "--date", "yesterday", "p.ini"}, false, 3, {}},
           {{"--date"}, false, 1, {}},
           {{"--report", "--days", "30", "--to", "2026-12-06", "--format", "csv", "p.ini"}, true, 0, {"p.ini"}},
           {{"--report", "--days", "0", "p.ini"}, false, 1, {}},
           {{"--report", "--to", "2026-12-06T10:00:00", "p.ini"}, false, 1, {}},
           {{"--report", "--format", "pdf", "p.ini"}, false, 1, {}},
           {{"--report", "--dry-run", "p.ini"}, false, 1, {}},
           {{"--days", "3", "p.ini"}, false, 1, {}},
           {{"--report", "p.ini", "--out", "r.html"}, false, 1, {}},
           {{"--help"}, false, 0, {}},
           {{"--version"}, false, 0, {}},
       }) {
    ParsedCommandLine parsed = Parse(c.args);
    const std::string shown = c.args.empty() ? "(none)" : c.args.front();
    EXPECT_EQ(parsed.run, c.run) << shown << " " << parsed.err;
    EXPECT_EQ(parsed.exitCode, c.exitCode) << shown;
    if (c.run) {
      EXPECT_EQ(parsed.options.arguments, c.arguments) << shown;
    } else if (c.exitCode != 0) {
      EXPECT_NE(parsed.err, "") << shown;
    }
  }
  ParsedCommandLine report = Parse({"--report", "--to=2026-12-06", "--out=r.html", "p.ini"});
  ASSERT_TRUE(report.run) << report.err;
  EXPECT_TRUE(report.options.report && report.options.hasReportTo);
  EXPECT_EQ(report.options.reportTo.day, 6);
  EXPECT_EQ(report.options.reportDays, 14);
  EXPECT_EQ(report.options.reportOut, "r.html");
  ParsedCommandLine dated = Parse({"--date=2026-12-06T01:02:03", "p.ini"});
  ASSERT_TRUE(dated.run);
  EXPECT_TRUE(dated.options.hasDate && dated.options.dateHasTime);
  EXPECT_EQ(dated.options.date.day * 10000 + dated.options.date.hour * 100 + dated.options.date.second,
            60103);
}

TEST(CliTest, PluginStateIsTheWorstSectionsAndUnknownWhenThePassFailed) {
  struct Case {
    std::vector<std::pair<const char*, int>> findings;  // section, count
    const char* failure;                                 // null: none
    int exitCode;
    cli::PluginState state;
    std::string line;
    // Blind spots in the last section, a run protocol not written, a lock
    // held to the end of the wait.
    std::vector<const char*> missing = {};
    std::vector<const char*> unreadable = {};
    const char* lostRunProtocol = "";
    bool lockBusy = false;
  };
  for (const Case& c : std::vector<Case>{
           {{{"GRUPPE1", 0}}, nullptr, 0, cli::kPluginOk, "SPEKOLAR OK - 0 findings | findings=0;;;0 sections=1"},
           {{{"TERMINAL UPLOAD", 2}, {"LAUFWERK", 1}}, nullptr, 0, cli::kPluginWarning,
            "SPEKOLAR WARNING - 3 findings: TERMINAL UPLOAD 2, LAUFWERK 1 | findings=3;;;0 sections=2"},
           {{{"LAUFWERK", 1}, {"TAGESABSCHLUSS", 3}}, nullptr, 0, cli::kPluginCritical,
            "SPEKOLAR CRITICAL - 4 findings: LAUFWERK 1, TAGESABSCHLUSS 3 | findings=4;;;0 sections=2"},
           {{}, "Verbindung fehlgeschlagen\r\nSQLSTATE 08001\n", 255, cli::kPluginUnknown,
            "SPEKOLAR UNKNOWN - Verbindung fehlgeschlagen SQLSTATE 08001"},
           {{{"GRUPPE1", 1}}, nullptr, 21, cli::kPluginUnknown,
            "SPEKOLAR UNKNOWN - the pass ended with exit code 21"},
           {{{"TAGESABSCHLUSS", 0}}, nullptr, 0, cli::kPluginWarning,
            "SPEKOLAR WARNING - 0 findings; 1 file missing: [TAGESABSCHLUSS] ../logs/ta*.log | "
            "findings=0;;;0 sections=1",
            {"../logs/ta*.log"}},
           {{{"TAGESABSCHLUSS", 1}}, nullptr, 0, cli::kPluginCritical,
            "SPEKOLAR CRITICAL - 1 finding: TAGESABSCHLUSS 1; 2 files missing: [TAGESABSCHLUSS] a, "
            "[TAGESABSCHLUSS] b; 1 file unreadable: [TAGESABSCHLUSS] /l/ta.log | findings=1;;;0 sections=1",
            {"a", "b"}, {"/l/ta.log"}},
           {{{"LAUFWERK", 0}}, nullptr, 0, cli::kPluginWarning,
            "SPEKOLAR WARNING - 0 findings; 1 file unreadable: [LAUFWERK] x | findings=0;;;0 sections=1",
            {}, {"x"}},
           {{{"GRUPPE1", 1}}, nullptr, 0, cli::kPluginUnknown,
            "SPEKOLAR UNKNOWN - the run protocol /l\\SPEKOLAR.log could not be written", {}, {},
            "/l\\SPEKOLAR.log"},
           {{}, "*** Abbruch: ein anderer Spekolar-Lauf h\xE4lt die Sperre ***", 1, cli::kPluginUnknown,
            "SPEKOLAR UNKNOWN - another pass is running", {}, {}, "", true},
       }) {
    cli::FindingCounter counter;
    for (const auto& [section, count] : c.findings) {
      counter.SectionBegins(section);
      for (int i = 0; i < count; ++i) counter.FindingReported("record");
      for (const char* entry : c.missing) counter.FileMissing(entry);
      for (const char* path : c.unreadable) counter.FileUnreadable(path);
      counter.SectionEnds(section);
    }
    if (c.lockBusy) counter.LockBusy();
    if (c.failure != nullptr) counter.PassFailed(c.failure);
    counter.SetLostRunProtocol(c.lostRunProtocol);
    const cli::PluginResult result = cli::PluginStatus(counter, c.exitCode);
    EXPECT_EQ(result.state, c.state) << c.line;
    EXPECT_EQ(result.line, c.line);
  }
}

TEST(CliTest, SummaryLineTellsWhatThePassDid) {
  struct Case {
    std::vector<std::pair<const char*, int>> findings;  // section, count
    int rows;                                            // stored (and one refused)
    int mail;                                            // -1 none, 0 failed, 1 started
    int lostLines;
    int exitCode;
    std::string line;
  };
  for (const Case& c : std::vector<Case>{
           {{{"GRUPPE1", 0}, {"LUG", 0}}, 0, -1, 0, 0,
            "Spekolar: 2 Abschnitte, 0 Befunde, 0 Meldungen gespeichert, keine E-Mail, 0 Zeilen "
            "nicht geschrieben, Exit-Code 0"},
           {{{"JOBCONTROLLER", 2}, {"LAUFWERK", 0}, {"TAGESABSCHLUSS", 1}}, 4, 1, 0, 0,
            "Spekolar: 3 Abschnitte, 3 Befunde (JOBCONTROLLER 2, TAGESABSCHLUSS 1), 4 Meldungen "
            "gespeichert, E-Mail gestartet, 0 Zeilen nicht geschrieben, Exit-Code 0"},
           {{{"JOBCONTROLLER", 1}}, 0, 0, 3, 0,
            "Spekolar: 1 Abschnitt, 1 Befund (JOBCONTROLLER 1), 0 Meldungen gespeichert, E-Mail "
            "nicht gestartet, 3 Zeilen nicht geschrieben, Exit-Code 0"},
           {{}, 0, -1, 1, 255,
            "Spekolar: 0 Abschnitte, 0 Befunde, 0 Meldungen gespeichert, keine E-Mail, 1 Zeile nicht "
            "geschrieben, Exit-Code 255"},
       }) {
    cli::FindingCounter counter;
    for (const auto& [section, count] : c.findings) {
      counter.SectionBegins(section);
      for (int i = 0; i < count; ++i) counter.FindingReported("record");
      counter.SectionEnds(section);
    }
    for (int i = 0; i < c.rows; ++i) counter.MessageStored(true);
    if (!c.findings.empty()) counter.MessageStored(false);
    if (c.mail >= 0) counter.MailStarted(c.mail == 1);
    EXPECT_EQ(cli::SummaryLine(counter, c.lostLines, c.exitCode), c.line);
  }
}

}  // namespace

}  // namespace spekolar
