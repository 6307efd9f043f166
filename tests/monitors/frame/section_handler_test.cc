#include "monitors/frame/SectionHandler.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/SectionCatalogue.h"
#include "monitors/frame/FindingRecord.h"
#include "monitors/frame/MonitorTestBed.h"
#include "state/ProgramState.h"

namespace spekolar {

namespace {

// Stand-in monitors: they log their call and report as many findings as
// `findingsPerMonitor` asks.
std::vector<std::string> calls;
int findingsPerMonitor = 0;

bool Report(const char* who, const SectionRow& section) {
  calls.push_back(std::string(who) + " " + section.key);
  FindingReporter reporter("Titel", "Name");
  for (int i = 0; i < findingsPerMonitor; ++i) {
    FindingRecord record;
    record.section = section.key;
    record.text = CString::Formatted("%s %d", who, i);
    reporter.Report(record);
  }
  return true;
}
bool TypeOne(const SectionRow& section, MonitorSettingsRecord&) { return Report("type1", section); }
bool TypeTwo(const SectionRow& section, MonitorSettingsRecord&) { return Report("type2", section); }

// The catalogue's row for `key` with the stand-ins as its monitors.
SectionRow WithMonitors(const char* key, SectionFunction type1, SectionFunction type2) {
  SectionRow section = *FindSection(key);
  section.type1 = type1;
  section.type2 = type2;
  return section;
}

const SectionRow kJob = WithMonitors("JOBCONTROLLER", TypeOne, TypeTwo);

class SectionHandlerTest : public spktest::MonitorTestBed {
 protected:
  void SetUp() override {
    MonitorTestBed::SetUp();
    calls.clear();
    findingsPerMonitor = 0;
  }
};

TEST_F(SectionHandlerTest, MonitorsRunAsTypSaysAndTheReportGoesWhereMeldungstypSays) {
  struct Case {
    const char* typ1;
    const char* typ2;
    int findings;
    const char* meldungstyp;
    std::vector<std::string> calls;
    bool notification;  // a line in SPEKOLAR.NRT
    bool mail;          // a line in SPEKOLAR.EML
    bool sectionMessage;
  };
  const std::vector<Case> cases = {
      {"", "", 1, "FENSTER", {}, false, false, false},
      {"1", "", 0, "FENSTER", {"type1 JOBCONTROLLER"}, false, false, false},
      {"", "2", 1, "fenster", {"type2 JOBCONTROLLER"}, true, false, true},
      {"1", "2", 1, "E-Mail", {"type1 JOBCONTROLLER", "type2 JOBCONTROLLER"}, false, true, true},
      {"1", "", 1, "EMAIL", {"type1 JOBCONTROLLER"}, false, false, true},
      {"1", "", 1, "", {"type1 JOBCONTROLLER"}, false, false, true},
      {"1", "", 1, " FENSTER", {"type1 JOBCONTROLLER"}, false, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.typ1) + "/" + c.typ2 + "/" + c.meldungstyp);
    SetUp();
    std::filesystem::remove(P("SPEKOLAR.NRT"));
    std::filesystem::remove(P("SPEKOLAR.EML"));
    MonitorSettingsRecord& m = State().MonitorSettings;
    m.Typ1 = c.typ1;
    m.Typ2 = c.typ2;
    m.Meldungstyp = c.meldungstyp;
    findingsPerMonitor = c.findings;
    State().SectionFindingFlag = true;  // left over from an earlier section

    EXPECT_FALSE(RunSectionHandler(kJob, m));

    EXPECT_EQ(calls, c.calls);
    const std::string line = Stamp() + " - Jobcontroller-Fehler";
    EXPECT_EQ(Lines("SPEKOLAR.NRT"), c.notification ? std::vector<std::string>{line}
                                                     : std::vector<std::string>{});
    EXPECT_EQ(dir_.Exists("SPEKOLAR.EML"), c.mail);
    if (c.mail) {
      // after the two (here empty) address lines
      EXPECT_EQ(Lines("SPEKOLAR.EML"), (std::vector<std::string>{"", "", line}));
    }
    EXPECT_EQ(State().Notifications.MailTextWritten(), c.mail);
    if (c.sectionMessage) {
      EXPECT_EQ(LastMessageCategory(), "NACHRICHTEN");
      EXPECT_STREQ(State().MessageBuffer.MsgTxt, "Jobcontroller-Fehler");
      EXPECT_STREQ(State().MessageBuffer.MsgMod, "Jobcontroller");
    } else {
      EXPECT_NE(LastMessageCategory(), "NACHRICHTEN");
    }
  }
}

TEST_F(SectionHandlerTest, ManyFindingsGiveOneNotificationLine) {
  MonitorSettingsRecord& m = State().MonitorSettings;
  m.Typ1 = "1";
  m.Typ2 = "2";
  m.Meldungstyp = "FENSTER";
  findingsPerMonitor = 3;
  RunSectionHandler(kJob, m);
  EXPECT_EQ(Findings().size(), 6u);
  EXPECT_EQ(Lines("SPEKOLAR.NRT"), std::vector<std::string>{Stamp() + " - Jobcontroller-Fehler"});
}

TEST_F(SectionHandlerTest, MissingMonitorIsSkipped) {
  State().MonitorSettings.Typ1 = "1";
  State().MonitorSettings.Typ2 = "2";
  RunSectionHandler(WithMonitors("LUG", nullptr, TypeTwo), State().MonitorSettings);
  EXPECT_EQ(calls, std::vector<std::string>{"type2 LUG"});
}

TEST_F(SectionHandlerTest, DriveTailReportsWithItsOwnTexts) {
  State().MonitorSettings.Meldungstyp = "e-mail";
  const SectionRow* drive = FindSection("LAUFWERK");
  ASSERT_NE(drive, nullptr);
  ReportSectionResult(*drive, State().MonitorSettings);
  EXPECT_EQ(Lines("SPEKOLAR.EML"),
            (std::vector<std::string>{"", "", Stamp() + " - Kapazitaet vom Laufwerk ist unterschritten"}));
  EXPECT_STREQ(State().MessageBuffer.MsgMod, "Laufwerk");
}

}  // namespace

}  // namespace spekolar
