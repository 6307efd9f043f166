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
using spktest::Quoted;
using spktest::Text;

const char kDownloadHeader[] = " \xDC" "berwachung Terminal Download Typ 2 (Fehlermeldungen)";
const char kUploadHeader[] = " \xDC" "berwachung Terminal Upload Typ 2 (Fehlermeldungen)";
const std::string kNoAnswer = " - Terminal reagiert nicht";

// A line of today in a communication log: "07122026hhmmss text".
std::string C(const std::string& hhmmss, const std::string& text) {
  return "07122026" + hhmmss + " " + text;
}

std::string Down(const std::string& text, const std::string& file) {
  return spktest::Record("TERMINAL DOWNLOAD", "2", ";;", text, file);
}
std::string Up(const std::string& text, const std::string& file) {
  return spktest::Record("TERMINAL UPLOAD", "2", ";;", text, file);
}

class TerminalErrorsTest : public spktest::TerminalTestBed {
 protected:
  void Download(const std::string& file, const std::vector<spktest::TerminalCase>& cases) {
    RunCases(CheckTerminalDownloadErrors, "TERMINAL DOWNLOAD", "Terminal-Download-Fehler", file,
             cases);
  }
  void Upload(const std::string& file, const std::vector<spktest::TerminalCase>& cases) {
    RunCases(CheckTerminalUploadErrors, "TERMINAL UPLOAD", "Terminal-Upload-Fehler", file, cases);
  }
};

TEST_F(TerminalErrorsTest, CommunicationLog) {
  const std::string f = "termcommlog.log";
  auto rec = [&](const std::string& text) { return Down(text, f); };
  Download(f, {
      {"worked example",
       {C("100000", "Start"), "Terminal: T01", C("100005", "Fehler 17 beim Senden")},
       {rec("T01 - 07.12.2026 10:00:05 - 07122026100005 Fehler 17 beim Senden")}},
      {"a second start: the terminal did not answer",
       {C("100000", "Start"), "Terminal: T01", C("100100", "Start")},
       {rec("T01 - 07.12.2026 10:01:00" + kNoAnswer)}},
      {"an end between two starts", {C("100000", "Start"), "Terminal: T01",
                                     C("100050", "Download beendet"), C("100100", "Start")}, {}},
      {"end lines and terminal lines are no error lines",
       {C("100000", "x"), C("100001", "Fehler 3 beendet"), "Terminal: T01 Fehler 4",
        C("100002", "Error 5")},
       {rec("T01 Fehler 4 - 07.12.2026 10:00:02 - 07122026100002 Error 5")}},
      {"a second start with an error word: only the no-answer finding",
       {C("100000", "Start"), C("100100", "Start Fehler 9")},
       {rec("  - 07.12.2026 10:01:00" + kNoAnswer)}},
      {"a second start that ends the exchange: reported with the next line",
       {C("100000", "Start"), "Terminal: \"T01\"", C("100100", "Start beendet"),
        C("100200", "weiter"), C("100300", "Fehler 1")},
       {rec("T01 - 07.12.2026 10:02:00" + kNoAnswer),
        rec("T01 - 07.12.2026 10:03:00 - 07122026100300 Fehler 1")}},
      {"a second start with a terminal tag: the name from column 10, reported with the next line",
       {C("100000", "Start"), C("100100", "Start Terminal: T02"), "Verbindung", C("100200", "ok")},
       {rec("0100 Start Terminal: T02 - 07.12.2026 10:01:00" + kNoAnswer)}},
      {"undated start lines open no exchange",
       {C("100000", "x"), "Start", "Terminal: T01", "Start", C("100500", "y")}, {}},
      {"error words need their trailing blank, in their case",
       {C("100000", "x"), C("100001", "Verbindung Fehler   "), C("100002", "Error"),
        C("100003", "fehler 1"), C("100004", "Fehlerzahl 0")}, {}},
      {"before today's part nothing counts, after it undated lines do",
       {"Fehler 1 alt", "06122026100000 Fehler 2 gestern", C("100000", "x"), "Fehler 3 ohne Datum"},
       {rec("  - 07.12.2026 10:00:00 - Fehler 3 ohne Datum")}},
      {"semicolons of the line and of the terminal protected",
       {C("100000", "x"), "Terminal: T;1", C("100001", "Error 5; Zeile")},
       {rec("T\";\"1 - 07.12.2026 10:00:01 - 07122026100001 Error 5\";\" Zeile")}},
      {"no suppression of repeated stamps",
       {C("100000", "Fehler A"), C("100000", "Fehler B")},
       {rec("  - 07.12.2026 10:00:00 - 07122026100000 Fehler A"),
        rec("  - 07.12.2026 10:00:00 - 07122026100000 Fehler B")}},
  });
}

TEST_F(TerminalErrorsTest, DownloadProtocol) {
  const std::string f = "dl.log";
  auto rec = [&](const std::string& text) { return Down(text, f); };
  Download(f, {
      {"error words",
       {Hy("10:00:00", "Fehler A"), Hy("10:00:01", "ErrorCount=3"), Hy("10:00:02", "mit Fehler")},
       {rec("  - 07.12.2026 10:00:00 - 07-12-2026 10:00:00 Fehler A"),
        rec("  - 07.12.2026 10:00:01 - 07-12-2026 10:00:01 ErrorCount=3"),
        rec("  - 07.12.2026 10:00:02 - 07-12-2026 10:00:02 mit Fehler")}},
      {"one finding per stamp",
       {Hy("10:00:00", "Fehler A"), Hy("10:00:00", "Fehler B"), Hy("10:00:01", "Fehler C")},
       {rec("  - 07.12.2026 10:00:00 - 07-12-2026 10:00:00 Fehler A"),
        rec("  - 07.12.2026 10:00:01 - 07-12-2026 10:00:01 Fehler C")}},
      {"lines as read: leading blanks count, trailing ones go",
       {Hy("10:00:00", "x"), "Fehler Z", "  Fehler Y  \t"},
       {rec("  - 07.12.2026 10:00:00 -   Fehler Y")}},
      {"terminal names from column 12 of the line as read",
       {Hy("10:00:00", "x"), Quoted("T01"), Hy("10:00:05", "Error 1"), "  Term      : T05",
        Hy("10:00:06", "Error 2")},
       {rec("T01 - 07.12.2026 10:00:05 - 07-12-2026 10:00:05 Error 1"),
        rec(": T05 - 07.12.2026 10:00:06 - 07-12-2026 10:00:06 Error 2")}},
      {"terminal lines are no error lines", {Hy("10:00:00", "x"), "Term      : Error 1"}, {}},
      {"lines of yesterday and before today's part",
       {"06-12-2026 09:00:00 Fehler alt", "x Fehler ohne Datum", Hy("10:00:00", "ok")}, {}},
      {"semicolons protected", {Hy("10:00:00", "Fehler a;b")},
       {rec("  - 07.12.2026 10:00:00 - 07-12-2026 10:00:00 Fehler a\";\"b")}},
      {"communication dates are not today's here", {C("100000", "Fehler 1")}, {}},
      {"a stamp cut short by the line end keeps its blanks, not the line end",
       {"Error at 07-12-2026 10:00 \r", "Error at 07-12-2026 10:01"},
       {rec("  - 07.12.2026 10:00  - Error at 07-12-2026 10:00"),
        rec("  - 07.12.2026 10:01 - Error at 07-12-2026 10:01")}},
  });
}

TEST_F(TerminalErrorsTest, MarkedUploadProtocol) {
  const std::string f = "termupl_neu.log";
  auto rec = [&](const std::string& text) { return Up(text, f); };
  Upload(f, {
      {"worked example",
       {Hy("09:59:58", "Verbindung"), Quoted("T01"), Hy("10:00:00", "Error 5 beim Empfang")},
       {rec("T01 - 07.12.2026 10:00:00 - 07-12-2026 10:00:00 Error 5 beim Empfang")}},
      {"one finding per stamp", {Hy("10:00:00", "Fehler A"), Hy("10:00:00", "Fehler B")},
       {rec("  - 07.12.2026 10:00:00 - 07-12-2026 10:00:00 Fehler A")}},
      {"a terminal line before today's part is ignored",
       {Quoted("T09"), Hy("10:00:00", "Fehler 1")},
       {rec("  - 07.12.2026 10:00:00 - 07-12-2026 10:00:00 Fehler 1")}},
      {"error words need their trailing blank",
       {Hy("10:00:00", "mit Fehler"), Hy("10:00:01", "ErrorCount=0")}, {}},
      {"the finding time is put together field by field",
       {"  07-12-2026T10-00-00 Fehler x;y"},
       {rec("  - 07.12.2026 10:00:00 - 07-12-2026T10-00-00 Fehler x\";\"y")}},
  });
}

TEST_F(TerminalErrorsTest, PlainUploadProtocol) {
  const std::string f = "up.log";
  auto rec = [&](const std::string& text) { return Up(text, f); };
  Upload(f, {
      {"every error line, no terminal lines",
       {Dot("10:00:00", "Fehler X"), Quoted("T01"), Dot("10:00:00", "Fehler Y"),
        Dot("10:00:01", "ErrorCount=0"), Dot("10:00:02", "Anzahl:Fehler=0 error")},
       {rec("  - 07.12.2026 10:00:00 - 07.12.2026 10:00:00 Fehler X"),
        rec("  - 07.12.2026 10:00:00 - 07.12.2026 10:00:00 Fehler Y"),
        rec("  - 07.12.2026 10:00:01 - 07.12.2026 10:00:01 ErrorCount=0")}},
      {"the finding time keeps the stamp's own separators",
       {"07.12.2026T10-00-00 Error 1"},
       {rec("  - 07.12.2026T10-00-00 - 07.12.2026T10-00-00 Error 1")}},
      {"hyphenated dates are not today's here", {Hy("10:00:00", "Fehler 1")}, {}},
  });
}

// The form follows the entry's marker, the date text each file's own path;
// terminal, running, noResponse and lastReportedStamp carry over between
// files and entries, the marker does not cross an entry.
TEST_F(TerminalErrorsTest, DownloadFormsAcrossFilesAndEntries) {
  dir_.Write("p.log", Text({Hy("09:00:00", "Fehler P"), Quoted("T01")}));
  dir_.Write("e/a_termcommlog.log", Text({C("100000", "Start"), C("100100", "Start beendet")}));
  // Read as a communication log, with its own date text: a 14-character
  // stamp cut from "dd-mm-yyyy hh:mm:ss".
  dir_.Write("e/b.log", Text({"Fehler vor Datum", Hy("10:30:00", "weiter"), Hy("10:31:00", "Fehler 1")}));
  dir_.Write("q.log", Text({Hy("09:00:00", "Fehler Q"), Hy("09:00:01", "Fehler R")}));
  SetFiles({P("p.log"), P("e/*.log"), P("q.log")});
  Run(CheckTerminalDownloadErrors, "TERMINAL DOWNLOAD");
  const std::string odd = "07.-1.2-20 26: 1:0:";
  EXPECT_EQ(Findings(),
            (std::vector<std::string>{
                Down("  - 07.12.2026 09:00:00 - 07-12-2026 09:00:00 Fehler P", "p.log"),
                Down("T01 - " + odd + kNoAnswer, "b.log"),
                Down("T01 - " + odd + " - 07-12-2026 10:31:00 Fehler 1", "b.log"),
                Down("T01 - 07.12.2026 09:00:01 - 07-12-2026 09:00:01 Fehler R", "q.log")}));
  EXPECT_EQ(LastMessageDetail(), Findings().front());
  EXPECT_EQ(RunEntries(), Reads(kDownloadHeader, {"p.log", "e/a_termcommlog.log", "e/b.log", "q.log"}));
}

// Matches come in the file system's order: a.log before the marked file in
// the plain form with points, the marked file in the marked form with
// hyphens, b.log after it in the marked form with points.
TEST_F(TerminalErrorsTest, UploadFormsInMatchOrder) {
  spktest::ListedOrderEnv listed(&clock_);
  platform::ScopedEnv scoped(&listed);
  listed.List(P("*.log"), {P("a.log"), P("termupl_neu.log"), P("b.log")});
  dir_.Write("a.log", Text({Dot("09:00:00", "Fehler A"), Dot("09:00:00", "Fehler A2")}));
  dir_.Write("termupl_neu.log", Text({Quoted("T01"), Hy("10:00:00", "x"), Quoted("T02"),
                                      Hy("10:00:00", "Error 1"), Hy("10:00:00", "Error 2"),
                                      Dot("10:00:01", "Error 3")}));
  dir_.Write("b.log", Text({Dot("11:00:00", "Error 4"), Dot("11:00:00", "Fehler 5"),
                            Dot("11:00:01", "ErrorCount=0")}));
  SetFiles({P("*.log")});
  Run(CheckTerminalUploadErrors, "TERMINAL UPLOAD");
  EXPECT_EQ(Findings(),
            (std::vector<std::string>{
                Up("  - 07.12.2026 09:00:00 - 07.12.2026 09:00:00 Fehler A", "a.log"),
                Up("  - 07.12.2026 09:00:00 - 07.12.2026 09:00:00 Fehler A2", "a.log"),
                Up("T02 - 07.12.2026 10:00:00 - 07-12-2026 10:00:00 Error 1", "termupl_neu.log"),
                Up("T02 - 07.12.2026 11:00:00 - 07.12.2026 11:00:00 Error 4", "b.log")}));
  EXPECT_EQ(RunEntries(), Reads(kUploadHeader, {"a.log", "termupl_neu.log", "b.log"}));
}

// The filtered passes find exactly what plain passes over every piece find.
TEST_F(TerminalErrorsTest, FilteredPassEqualsPlainPass) {
  std::mt19937 rng(82);
  const spktest::ProtocolVocabulary vocabulary = {
      {"07122026", "07122026", "07-12-2026", "07.12.2026", "06122026"},
      {"Start", "Start", "beendet", "Terminal: T01", "Terminal: \"T02\"", "Term      : \"T03\"",
       "Term      : T04", "Fehler ", " Fehler", "Fehler", "Error ", "Error", "\nStart\n",
       "07122026100000 Start", "\nFehler \n"}};
  int withFindings = 0;
  for (int round = 0; round < 25; ++round) {
    WriteRandomFiles(rng, vocabulary, {{"w/a.log", 60}, {"w/b_termcommlog.log", 120},
                                        {"w/c.log", 40}, {"w/d_termupl_neu.log", 80},
                                        {"w/e.log", 40}, {"x.log", 60}});
    SetFiles({P("w/*.log"), P("x.log"), P("w/*.log")});
    for (const char* section : {"TERMINAL DOWNLOAD", "TERMINAL UPLOAD"}) {
      const SectionFunction check = FindSection(section)->type2;
      if (!ExpectFilteredEqualsPlain([&] { Run(check, section); }).empty()) ++withFindings;
    }
  }
  EXPECT_GT(withFindings, 40);
}

}  // namespace

}  // namespace spekolar
