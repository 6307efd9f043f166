#include "monitors/frame/JobController.h"

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

const char kHeader2[] = " \xDC" "berwachung Jobcontroller Typ 2 (Fehlermeldungen)";

class JobControllerTest : public spktest::MonitorTestBed {
 protected:
  JobControllerTest() : MonitorTestBed("", "2") {}
};

TEST_F(JobControllerTest, RuntimeMonitorOnlyWritesItsHeader) {
  SetFiles({P("jc.log")});
  dir_.Write("jc.log", "2026-12-07 10:00:00: Error x\n");
  EXPECT_TRUE(Run(CheckJobControllerRuntime, "JOBCONTROLLER"));
  EXPECT_EQ(RunEntries(),
            std::vector<std::string>{" \xDC" "berwachung Jobcontroller Typ 1 (Laufzeit)"});
  EXPECT_FALSE(dir_.Exists("SPEKOLAR.TXT"));
  EXPECT_FALSE(State().SectionFindingFlag);
}

// Which of today's lines become findings, and with which text.
TEST_F(JobControllerTest, ErrorLines) {
  const std::string stop = "2026-12-07 09:00:00: Service QRVJOBCTL wurde beendet";
  const std::string plain = "2026-12-07 09:00:01: Job A gestartet";
  const std::string error = "2026-12-07 09:00:02: Error in job B";
  const std::string errorFinding = "JOBCONTROLLER;2;;;;07.12.2026 09:00:02 - Error in job B;";
  const std::vector<spktest::FileCase> cases = {
      {"three errors",
       {"2026-12-07 10:00:00: Error one", "2026-12-07 10:00:01: Fehler two",
        "2026-12-07 10:00:02: Error three"},
       {"JOBCONTROLLER;2;;;;07.12.2026 10:00:00 - Error one;",
        "JOBCONTROLLER;2;;;;07.12.2026 10:00:01 - Fehler two;",
        "JOBCONTROLLER;2;;;;07.12.2026 10:00:02 - Error three;"}},
      {"yesterday ignored", {"2026-12-06 10:00:00: Error old", "Error undated"}, {}},
      {"stop, plain, error: suppressed", {stop, plain, error}, {}},
      {"stop, error: reported", {stop, error}, {errorFinding}},
      {"stop, two plain, error: reported", {stop, plain, plain, error}, {errorFinding}},
      {"lines of other days do not count",
       {stop, "2026-12-06 09:00:00: old plain", plain, error}, {}},
      {"suppression happens once", {stop, plain, error, error}, {errorFinding}},
      {"a reported error ends the stop", {stop, error, plain, error},
       {errorFinding, errorFinding}},
      {"semicolons protected", {"2026-12-07 10:00:00: Error a;b"},
       {"JOBCONTROLLER;2;;;;07.12.2026 10:00:00 - Error a\";\"b;"}},
      {"error words are case-sensitive",
       {"2026-12-07 10:00:00: ERROR big", "2026-12-07 10:00:01: fehler small",
        "2026-12-07 10:00:02: Fehlerfrei beendet"},
       {"JOBCONTROLLER;2;;;;07.12.2026 10:00:02 - Fehlerfrei beendet;"}},
      {"message from a fixed column, stamp from the date",
       {"  [x] 2026-12-07 11:12:13 Error z  ", "2026-12-07 1 Error"},
       {"JOBCONTROLLER;2;;;;07.12.2026 11:12:13 - 13 Error z;",
        "JOBCONTROLLER;2;;;;07.12.2026 1 Error - ;"}},
  };
  // The lines end in CR LF; the monitor ends at the empty slot 2.
  RunCases([](const SectionRow& section, MonitorSettingsRecord& settings) {
             EXPECT_FALSE(CheckJobControllerErrors(section, settings));
             return false;
           },
           "JOBCONTROLLER", "Jobcontroller-Fehler", "", "jc.log", cases, nullptr, "\r\n");
}

TEST_F(JobControllerTest, ExampleDayFromTheClock) {
  clock_.SetNow(platform::LocalTime{2024, 3, 5, 18, 0, 0});
  dir_.Write("jc.log", Text({"2024-03-05 14:05:00: Error in job X", "2026-12-07 14:05:00: Error"}));
  SetFiles({P("jc.log")});
  Run(CheckJobControllerErrors, "JOBCONTROLLER");
  EXPECT_EQ(Findings(),
            std::vector<std::string>{"JOBCONTROLLER;2;;;;05.03.2024 14:05:00 - Error in job X;"});
}

// The stop state and the stored message carry over from file to file.
TEST_F(JobControllerTest, StateCarriesAcrossFiles) {
  dir_.Write("jc1.log", Text({"2026-12-07 09:00:00: Service QRVJOBCTL wurde beendet",
                              "2026-12-07 09:00:01: plain"}));
  dir_.Write("jc2.log", Text({"2026-12-07 09:00:02: Error suppressed",
                              "2026-12-07 09:00:03: Error reported"}));
  dir_.Write("jc3.log", Text({"2026-12-07 09:00:04: Error later"}));
  SetFiles({P("jc1.log"), P("jc2.log"), P("jc3.log")});
  Run(CheckJobControllerErrors, "JOBCONTROLLER");
  EXPECT_EQ(Findings(), (std::vector<std::string>{
                            "JOBCONTROLLER;2;;;;07.12.2026 09:00:03 - Error reported;",
                            "JOBCONTROLLER;2;;;;07.12.2026 09:00:04 - Error later;"}));
  EXPECT_EQ(LastMessageDetail(), "JOBCONTROLLER;2;;;;07.12.2026 09:00:03 - Error reported;");
}

TEST_F(JobControllerTest, SlotsAndFiles) {
  dir_.Write("a.log", "2026-12-07 10:00:00: Error a\n");
  dir_.Write("c.log", "2026-12-07 10:00:00: Error c\n");
  std::filesystem::create_directories(P("dir.log"));
  const std::string openFailed =
      "   Protokolldatei '" + P("dir.log") + "' konnte nicht ge\xF6" "ffnet werden";

  // Slot 3 lies behind an empty slot 2.
  SetFiles({P("a.log"), "", P("c.log")});
  EXPECT_FALSE(Run(CheckJobControllerErrors, "JOBCONTROLLER"));
  EXPECT_EQ(RunEntries(), Reads(kHeader2, {"a.log"}));
  EXPECT_EQ(Findings().size(), 1u);

  // No match is reported and skipped; a directory ends the monitor.
  SetUp();
  std::filesystem::remove(P("SPEKOLAR.log"));
  std::filesystem::remove(P("SPEKOLAR.TXT"));
  SetFiles({P("x*.log"), P("dir.log"), P("c.log")});
  EXPECT_FALSE(Run(CheckJobControllerErrors, "JOBCONTROLLER"));
  EXPECT_EQ(RunEntries(), (std::vector<std::string>{
                              kHeader2, "   Protokolldatei '" + P("x*.log") + "' nicht gefunden.",
                              openFailed}));
  EXPECT_FALSE(dir_.Exists("SPEKOLAR.TXT"));

  // All twenty slots: true.
  SetUp();
  for (CString& slot : State().MonitorSettings.Files) slot = P("a.log");
  EXPECT_TRUE(Run(CheckJobControllerErrors, "JOBCONTROLLER"));
}

// The filtered pass finds exactly what a plain pass over every piece finds.
TEST_F(JobControllerTest, FilteredPassEqualsPlainPass) {
  std::mt19937 rng(61);
  const spktest::ProtocolVocabulary vocabulary = {
      {"2026-12-07", "2026-12-06"},
      {"Error", "Fehler", "ERROR", "Service QRVJOBCTL wurde beendet", "2026-12-07"}};
  int withFindings = 0;
  for (int round = 0; round < 30; ++round) {
    WriteRandomFiles(rng, vocabulary, {{"w/a.log", 150}, {"w/b.log", 50}});
    SetFiles({P("w/*.log")});
    if (!ExpectFilteredEqualsPlain([] { Run(CheckJobControllerErrors, "JOBCONTROLLER"); }).empty()) {
      ++withFindings;
    }
  }
  EXPECT_GT(withFindings, 20);
}

}  // namespace

}  // namespace spekolar
