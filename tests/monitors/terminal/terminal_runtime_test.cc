#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "monitors/frame/RandomProtocol.h"
#include "monitors/terminal/TerminalMonitors.h"
#include "monitors/terminal/TerminalTestBed.h"
#include "state/ProgramState.h"

namespace spekolar {

namespace {

using spktest::Dot;
using spktest::Hy;
using spktest::kOver;
using spktest::kUnder;
using spktest::Quoted;
using spktest::Text;

const char kDownloadHeader[] = " \xDC" "berwachung Terminal Download Typ 1 (Laufzeit)";
const char kUploadHeader[] = " \xDC" "berwachung Terminal Upload Typ 1 (Laufzeit)";

std::string Down(const std::string& fields, const std::string& text,
                 const std::string& file = "dl.log") {
  return spktest::Record("TERMINAL DOWNLOAD", "1", fields, text, file);
}
std::string Up(const std::string& fields, const std::string& text,
               const std::string& file = "termupl_neu.log") {
  return spktest::Record("TERMINAL UPLOAD", "1", fields, text, file);
}

class TerminalRuntimeTest : public spktest::TerminalTestBed {
 protected:
  void Download(const std::vector<spktest::TerminalCase>& cases) {
    RunCases(CheckTerminalDownloadRuntime, "TERMINAL DOWNLOAD", "Terminal-Download-Fehler",
             "dl.log", cases);
  }
  void Upload(const std::vector<spktest::TerminalCase>& cases) {
    RunCases(CheckTerminalUploadRuntime, "TERMINAL UPLOAD", "Terminal-Upload-Fehler",
             "termupl_neu.log", cases);
  }
};

TEST_F(TerminalRuntimeTest, DownloadRuns) {
  const std::string t01 = Quoted("T01");
  Download({
      {"worked example",
       {"Start Download", Hy("10:00:00", "Verbindung"), t01, Hy("10:00:30", "Ende")},
       {Down("60;1200;30", "T01 - 07.12.2026 10:00:30" + kUnder)}},
      {"too long", {"Start Download", Hy("10:00:00", "Verbindung"), t01, Hy("10:21:00", "Ende")},
       {Down("60;1200;1260", "T01 - 07.12.2026 10:21:00" + kOver)}},
      {"exactly the minimum", {"Start", Hy("10:00:00", "x"), Hy("10:01:00", "Ende")}, {}},
      {"exactly the maximum", {"Start", Hy("10:00:00", "x"), Hy("10:20:00", "Ende")}, {}},
      {"start line undated, end line dated: run time 0",
       {"Start Download", Hy("10:00:00", "Ende")},
       {Down("60;1200;0", "  - 07.12.2026 10:00:00" + kUnder)}},
      {"a dated start line is no start: measured from midnight",
       {Hy("09:59:59", "Start"), Hy("10:00:00", "x"), Hy("10:00:30", "Ende")},
       {Down("60;1200;36030", "  - 07.12.2026 10:00:30" + kOver)}},
      {"TM_Autodownload starts no run",
       {"TM_Autodownload Start", Hy("10:00:00", "x"), Hy("10:00:30", "Ende")},
       {Down("60;1200;36030", "  - 07.12.2026 10:00:30" + kOver)}},
      {"Autodownload ends no run",
       {"Start", Hy("10:00:00", "x"), Hy("10:00:30", "Autodownload Ende"), Hy("10:00:40", "Ende")},
       {Down("60;1200;40", "  - 07.12.2026 10:00:40" + kUnder)}},
      {"across midnight",
       {"Start", Hy("23:59:50", "x"), Hy("00:00:10", "Ende")},
       {Down("60;1200;-86380", "  - 07.12.2026 00:00:10" + kUnder)}},
      {"plain terminal name, its semicolon protected",
       {"Start", Hy("10:00:00", "x"), "Term      : T;02  ", Hy("10:00:30", "Ende")},
       {Down("60;1200;30", "T\";\"02 - 07.12.2026 10:00:30" + kUnder)}},
      {"a semicolon in the stamp's columns protected too",
       {"Start", Hy("10:00:00", "x"), Hy("10:00;30", "Ende")},
       {Down("60;1200;30", "  - 07.12.2026 10:00\";\"30" + kUnder)}},
      {"three runs, one message",
       {"Start", Hy("01:00:00", "a"), Hy("02:00:00", "Ende"), "Start", Hy("03:00:00", "b"),
        Quoted("T02"), Hy("04:00:00", "Ende"), "Start", Hy("05:00:00", "c"), Hy("06:00:00", "Ende")},
       {Down("60;1200;3600", "  - 07.12.2026 02:00:00" + kOver),
        Down("60;1200;3600", "T02 - 07.12.2026 04:00:00" + kOver),
        Down("60;1200;3600", "T02 - 07.12.2026 06:00:00" + kOver)}},
      {"a start within a run is no new start",
       {"Start", Hy("10:00:00", "a"), "Start", Hy("10:10:00", "b"), Hy("10:30:00", "Ende")},
       {Down("60;1200;1800", "  - 07.12.2026 10:30:00" + kOver)}},
      {"after an end the line before the next dated one starts again",
       {"Start", Hy("10:00:00", "a"), Hy("10:00:30", "Ende"), "Start", Hy("11:00:00", "b"),
        Hy("11:00:10", "Ende")},
       {Down("60;1200;30", "  - 07.12.2026 10:00:30" + kUnder),
        Down("60;1200;10", "  - 07.12.2026 11:00:10" + kUnder)}},
      {"a line of yesterday counts as undated",
       {"06-12-2026 09:00:00 Start", Hy("10:00:00", "x"), Hy("10:00:30", "Ende")},
       {Down("60;1200;30", "  - 07.12.2026 10:00:30" + kUnder)}},
      {"an undated end line takes the latest stamp",
       {"Start", Hy("10:00:00", "a"), Hy("10:00:20", "b"), "Ende ohne Datum"},
       {Down("60;1200;20", "  - 07.12.2026 10:00:20" + kUnder)}},
      {"terminal and end lines before today's part are ignored",
       {Quoted("T09"), "Ende", "Start", Hy("10:00:00", "a"), Hy("10:00:30", "Ende")},
       {Down("60;1200;30", "  - 07.12.2026 10:00:30" + kUnder)}},
      {"the stamp begins at the date; short stamp parts count 0",
       {"Start", "[x] 07-12-2026 10", "07-12-2026 10:00:30 Ende"},
       {Down("60;1200;30", "  - 07.12.2026 10:00:30" + kUnder)}},
  });
  EXPECT_EQ(State().MonitorSettings.MinLaufzeit, "60");
  EXPECT_EQ(State().MonitorSettings.MaxLaufzeit, "1200");
}

TEST_F(TerminalRuntimeTest, UploadRuns) {
  Upload({
      {"worked example",
       {"Start Upload", Hy("10:00:00", "Verbindung"), Quoted("T01"), Hy("10:02:30", "Ende")},
       {Up("0;120;150", "T01 - 07.12.2026 10:02:30" + kOver)}},
      {"exactly the maximum", {"Start", Hy("10:00:00", "x"), Hy("10:02:00", "Ende")}, {}},
      {"zero seconds is no shortfall", {"Start", Hy("10:00:00", "Ende")}, {}},
      {"across midnight",
       {"Start", Hy("23:59:50", "x"), Hy("00:00:10", "Ende")},
       {Up("0;120;-86380", "  - 07.12.2026 00:00:10" + kUnder)}},
      {"TM_Autodownload Start starts a run",
       {"TM_Autodownload Start", Hy("10:00:00", "x"), Hy("10:03:00", "Ende")},
       {Up("0;120;180", "  - 07.12.2026 10:03:00" + kOver)}},
      {"Autodownload Ende ends a run",
       {"Start", Hy("10:00:00", "x"), Hy("10:03:00", "Autodownload Ende"), Hy("10:04:00", "Ende")},
       {Up("0;120;180", "  - 07.12.2026 10:03:00" + kOver),
        Up("0;120;240", "  - 07.12.2026 10:04:00" + kOver)}},
      {"dates with points are not today's in a marked file",
       {"Start", Dot("10:00:00", "x"), Dot("10:03:00", "Ende")}, {}},
  });
  EXPECT_EQ(State().MonitorSettings.MinLaufzeit, "0");
  EXPECT_EQ(State().MonitorSettings.MaxLaufzeit, "120");
}

TEST_F(TerminalRuntimeTest, ConfiguredLimitsShowInTheRecord) {
  State().MonitorSettings.MinLaufzeit = "10";
  State().MonitorSettings.MaxLaufzeit = "x";
  dir_.Write("dl.log", Text({"Start", Hy("10:00:00", "a"), Hy("10:00:05", "Ende"), "Start",
                             Hy("11:00:00", "b"), Hy("11:00:30", "Ende")}));
  SetFiles({P("dl.log")});
  Run(CheckTerminalDownloadRuntime, "TERMINAL DOWNLOAD");
  // Too short is tested first; a non-numeric maximum counts 0.
  EXPECT_EQ(Findings(), (std::vector<std::string>{
                            Down("10;x;5", "  - 07.12.2026 10:00:05" + kUnder),
                            Down("10;x;30", "  - 07.12.2026 11:00:30" + kOver)}));
}

// The terminal, the start stamp and the line before a run carry over from
// file to file and from entry to entry; a run open at the end of a file is
// not closed there.
TEST_F(TerminalRuntimeTest, StateCarriesOverBetweenFilesAndEntries) {
  dir_.Write("dl1.log", Text({"Start", Hy("10:00:00", "a"), Quoted("T01")}));
  dir_.Write("dl2.log", Text({Hy("10:30:00", "Ende")}));
  dir_.Write("dl3.log", Text({Hy("10:40:00", "Ende"), "noise", "Start"}));
  dir_.Write("dl4.log", Text({Hy("11:00:00", "x"), Hy("11:00:10", "Ende")}));
  SetFiles({P("dl1.log"), P("dl2.log"), P("dl3.log"), P("dl4.log")});
  Run(CheckTerminalDownloadRuntime, "TERMINAL DOWNLOAD");
  EXPECT_EQ(Findings(), (std::vector<std::string>{
                            Down("60;1200;1800", "T01 - 07.12.2026 10:30:00" + kOver, "dl2.log"),
                            Down("60;1200;2400", "T01 - 07.12.2026 10:40:00" + kOver, "dl3.log"),
                            Down("60;1200;10", "T01 - 07.12.2026 11:00:10" + kUnder, "dl4.log")}));
  EXPECT_EQ(LastMessageDetail(), Findings().front());
}

// From the first match whose path holds termcommlog (any case) to the end of
// its entry no match is read; the next entry is read again.
TEST_F(TerminalRuntimeTest, DownloadSkipsFromTheCommunicationLogOn) {
  const std::vector<std::string> run = {"Start", Hy("10:00:00", "x"), Hy("10:00:30", "Ende")};
  dir_.Write("e/a.log", Text(run));
  dir_.Write("e/b_TermCommLog.log", Text(run));
  dir_.Write("e/c.log", Text(run));
  dir_.Write("d.log", Text(run));
  SetFiles({P("e/*.log"), P("d.log")});
  Run(CheckTerminalDownloadRuntime, "TERMINAL DOWNLOAD");
  EXPECT_EQ(Findings(), (std::vector<std::string>{
                            Down("60;1200;30", "  - 07.12.2026 10:00:30" + kUnder, "a.log"),
                            Down("60;1200;30", "  - 07.12.2026 10:00:30" + kUnder, "d.log")}));
  EXPECT_EQ(RunEntries(), Reads(kDownloadHeader, {"e/a.log", "e/b_TermCommLog.log", "e/c.log", "d.log"}));
}

// Matches come in the file system's order: a.log before the marked file is
// not read, the marked one is read with hyphens, b.log after it with points.
TEST_F(TerminalRuntimeTest, UploadReadsFromTheMarkedMatchOn) {
  spktest::ListedOrderEnv listed(&clock_);
  platform::ScopedEnv scoped(&listed);
  listed.List(P("*.log"), {P("a.log"), P("termupl_neu.log"), P("b.log")});
  dir_.Write("a.log", Text({"Start", Dot("09:00:00", "x"), Dot("09:30:00", "Ende")}));
  dir_.Write("termupl_neu.log", Text({"Start", Hy("10:00:00", "x"), Dot("10:05:00", "Ende"),
                                      Hy("10:10:00", "Ende")}));
  dir_.Write("b.log", Text({"Start", Dot("11:00:00", "x"), Hy("11:30:00", "Ende"),
                            Dot("11:05:00", "Ende")}));
  SetFiles({P("*.log")});
  Run(CheckTerminalUploadRuntime, "TERMINAL UPLOAD");
  EXPECT_EQ(Findings(),
            (std::vector<std::string>{
                Up("0;120;600", "  - 07.12.2026 10:10:00" + kOver, "termupl_neu.log"),
                Up("0;120;300", "  - 07.12.2026 11:05:00" + kOver, "b.log")}));
  EXPECT_EQ(RunEntries(), Reads(kUploadHeader, {"a.log", "termupl_neu.log", "b.log"}));
}

TEST_F(TerminalRuntimeTest, RunProtocol) {
  SetFiles({});
  Run(CheckTerminalDownloadRuntime, "TERMINAL DOWNLOAD");
  EXPECT_EQ(RunEntries(), std::vector<std::string>{kDownloadHeader});

  // A missing pattern is skipped; a directory among the matches ends the
  // pass, and Datei keeps the entry at which it stopped.
  SetUp();
  std::filesystem::remove(P("SPEKOLAR.log"));
  dir_.Write("old.log", Text({"Start", "06-12-2026 10:00:00 Ende"}));
  std::filesystem::create_directories(P("dir.log"));
  dir_.Write("late.log", Text({"Start", Hy("10:00:00", "Ende")}));
  SetFiles({P("none*.log"), P("old.log"), P("dir.log"), P("late.log")});
  Run(CheckTerminalUploadRuntime, "TERMINAL UPLOAD");
  EXPECT_EQ(RunEntries(),
            (std::vector<std::string>{
                kUploadHeader, "   Protokolldatei '" + P("none*.log") + "' nicht gefunden.",
                Opened("old.log"),
                "   Protokolldatei '" + P("dir.log") + "' konnte nicht ge\xF6" "ffnet werden"}));
  EXPECT_EQ(State().MonitorSettings.Datei, P("dir.log"));
  EXPECT_FALSE(dir_.Exists("SPEKOLAR.TXT"));
}

// The filtered passes find exactly what plain passes over every piece find.
TEST_F(TerminalRuntimeTest, FilteredPassEqualsPlainPass) {
  std::mt19937 rng(81);
  const spktest::ProtocolVocabulary vocabulary = {
      {"07-12-2026", "07-12-2026", "06-12-2026", "07.12.2026"},
      {"Start", "Start", "TM_Autodownload Start", "Ende", "Ende", "Autodownload Ende",
       "Term      : \"T01\"", "Term      : T02 ", "Term      :\"", "07-12-2026 10:00:00",
       "\nStart\n"}};
  int withFindings = 0;
  for (int round = 0; round < 25; ++round) {
    WriteRandomFiles(rng, vocabulary, {{"w/a.log", 120}, {"w/b_termcommlog.log", 40},
                                        {"w/c.log", 40}, {"w/d_termupl_neu.log", 120},
                                        {"w/e.log", 60}, {"x.log", 60}});
    SetFiles({P("w/*.log"), P("x.log"), P("w/*.log")});
    State().MonitorSettings.MinLaufzeit = "";
    State().MonitorSettings.MaxLaufzeit = "";
    if (!ExpectFilteredEqualsPlain([] { Run(CheckTerminalDownloadRuntime, "TERMINAL DOWNLOAD"); }).empty()) {
      ++withFindings;
    }
    State().MonitorSettings.MinLaufzeit = "";
    State().MonitorSettings.MaxLaufzeit = "";
    if (!ExpectFilteredEqualsPlain([] { Run(CheckTerminalUploadRuntime, "TERMINAL UPLOAD"); }).empty()) {
      ++withFindings;
    }
  }
  EXPECT_GT(withFindings, 35);
}

}  // namespace

}  // namespace spekolar
