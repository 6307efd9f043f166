#include "app/MonitorRun.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "state/ProgramState.h"
#include "support/TempDir.h"

namespace spekolar {

namespace {

using spktest::TempDir;

// Handlers that record which section they were called for.
std::vector<std::string> g_calls;
bool RecordJob(const SectionRow& section, MonitorSettingsRecord& settings) {
  g_calls.push_back(std::string("JOB:") + section.key + ":" + settings.Typ1.str() + settings.Typ2.str());
  return false;
}
bool RecordDownload(const SectionRow& section, MonitorSettingsRecord&) {
  g_calls.push_back(std::string("DL:") + section.key);
  return false;
}
const SectionRow kTable[] = {
    {"JOBCONTROLLER", "", "", "", nullptr, nullptr, RecordJob, 0, {}, false},
    {"TERMINAL DOWNLOAD", "", "", "", nullptr, nullptr, RecordDownload, 0, {}, false}};

class MonitorRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetProgramState();
    g_calls.clear();
  }
  void TearDown() override { ResetProgramState(); }

  IniFile& Ini(const std::string& text) {
    dir_.Write("Spekolar.ini", text);
    ini_.SetPath((dir_ / "Spekolar.ini").c_str());
    return ini_;
  }

  TempDir dir_;
  IniFile ini_;
};

// Names are compared upper-cased and as a whole; SPEKOLAR never dispatches.
// A section that appears twice is walked twice, but its keys are always
// those of its first occurrence.
TEST_F(MonitorRunTest, SectionsDispatchByUpperCasedName) {
  RunMonitors(Ini("[jobcontroller]\nTyp=2\nDatei=a.log\n"
                  "[spekolar]\nE-Mail=ops@example.org\nDatei=x.log\n"
                  "[Terminal  Download]\nDatei=a\n"
                  "[terminal download]\nDatei=a\n"
                  "[Gruppe 1]\nDatei=a\n"
                  "[JobController]\nTyp=12\n"),
              kTable);
  EXPECT_EQ(g_calls, (std::vector<std::string>{"JOB:JOBCONTROLLER:2", "DL:TERMINAL DOWNLOAD",
                                               "JOB:JOBCONTROLLER:2"}));
  EXPECT_EQ(State().MailRecipient.str(), "ops@example.org");
}

TEST_F(MonitorRunTest, NoSectionsAndNoRecipientKey) {
  RunMonitors(Ini("; nothing here\n"), kTable);
  EXPECT_TRUE(g_calls.empty());
  EXPECT_EQ(State().MailRecipient.str(), kDefaultMailRecipient);
  EXPECT_FALSE(DispatchSection("LAUFWERK ", kTable));
  EXPECT_TRUE(DispatchSection("terminal download", kTable));
}

TEST_F(MonitorRunTest, DateiFillsSlotsAtCommas) {
  struct Case {
    const char* datei;
    std::vector<std::string> slots;  // the first slots; the rest must be empty
  } cases[] = {
      {"a.log,b.log", {"a.log", "b.log"}},
      {"a.log,,b.log", {"a.log", "", "b.log"}},
      {"a.log,", {"a.log"}},
      {"a.log , b.log ", {"a.log ", " b.log"}},  // blanks inside stay
      {"1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22",
       {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14", "15", "16",
        "17", "18", "19", "20"}},
  };
  for (const Case& c : cases) {
    Ini(std::string("[X]\nDatei=") + c.datei + "\n");
    EXPECT_TRUE(ReadMonitorSettings(ini_, "X"));
    const MonitorSettingsRecord& m = State().MonitorSettings;
    for (int i = 0; i < MonitorSettingsRecord::kFileSlots; ++i) {
      std::string want = i < static_cast<int>(c.slots.size()) ? c.slots[i] : "";
      EXPECT_EQ(m.Files[i].str(), want) << c.datei << " slot " << i;
    }
  }
}

TEST_F(MonitorRunTest, IdGivesUpToThreePieces) {
  struct Case {
    const char* id;
    const char *id1, *id2, *id3;
  } cases[] = {{"C:", "C:", "", ""},
               {"C:,D:", "C:", "D:", ""},
               {"C:,D:,E:", "C:", "D:", "E:"},
               {"C:,D:,E:,F:", "C:", "D:", "E:"},
               {",D:", "", "D:", ""}};
  for (const Case& c : cases) {
    // A previous section's pieces must not survive.
    State().MonitorSettings.Id2 = "old";
    State().MonitorSettings.Id3 = "old";
    Ini(std::string("[LAUFWERK]\nID=") + c.id + "\n");
    EXPECT_TRUE(ReadMonitorSettings(ini_, "LAUFWERK"));
    const MonitorSettingsRecord& m = State().MonitorSettings;
    EXPECT_EQ(m.Id1.str(), c.id1) << c.id;
    EXPECT_EQ(m.Id2.str(), c.id2) << c.id;
    EXPECT_EQ(m.Id3.str(), c.id3) << c.id;
  }
}

TEST_F(MonitorRunTest, TypAloneIsNoContent) {
  struct Case {
    const char* body;
    bool content;
    const char *typ1, *typ2;
  } cases[] = {
      {"Typ=1,2\n", false, "1", "2"},
      {"Typ=2\nDatei=a\n", true, "", "2"},
      {"Datei=a\n", true, "", ""},
      {"Meldungstyp=FENSTER\n", true, "", ""},
      {"MinLaufzeit=5\n", true, "", ""},
      {"MaxLaufzeit=5\n", true, "", ""},
      {"MinGroesse=5\n", true, "", ""},
      {"Typ=x1\n", false, "1", ""},
      {"", false, "", ""},
  };
  for (const Case& c : cases) {
    Ini(std::string("[S]\n") + c.body);
    EXPECT_EQ(ReadMonitorSettings(ini_, "S"), c.content) << c.body;
    EXPECT_EQ(State().MonitorSettings.Typ1.str(), c.typ1) << c.body;
    EXPECT_EQ(State().MonitorSettings.Typ2.str(), c.typ2) << c.body;
  }
}

}  // namespace

}  // namespace spekolar
