#include "monitors/process/DriveCapacity.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/SectionCatalogue.h"
#include "monitors/frame/MonitorTestBed.h"
#include "state/ProgramState.h"
#include "support/TestEnv.h"

namespace spekolar {

namespace {

constexpr uint64_t kMiB = uint64_t{1} << 20;
const char kNotReady[] = "Das Ger\xE4t ist nicht bereit.";

// Free space per drive path; a path not in the map cannot be queried, and
// one in `silent` gives no answer in time.
class DiskEnv : public spktest::EnvWrapper {
 public:
  using EnvWrapper::EnvWrapper;
  platform::Status DiskFreeBytes(const CString& path, uint64_t* freeBytes,
                                 CString* systemError) override {
    queried.push_back(path.str());
    if (silent.count(path.str()) != 0) return platform::Status::kTimedOut;
    auto it = free.find(path.str());
    if (it == free.end()) {
      if (systemError != nullptr) *systemError = kNotReady;
      return platform::Status::kNotFound;
    }
    *freeBytes = it->second;
    return platform::Status::kOk;
  }
  std::map<std::string, uint64_t> free;
  std::set<std::string> silent;
  std::vector<std::string> queried;
};

class DriveCapacityTest : public spktest::MonitorTestBed {
 protected:
  DriveCapacityTest() : disks_(&clock_), scopedDisks_(&disks_) {}
  DiskEnv disks_;
  platform::ScopedEnv scopedDisks_;
};

std::string Record(const std::string& minimum, const std::string& free, const std::string& path) {
  return "LAUFWERK;3;" + minimum + ";;" + free + ";Kapazitaet unterschritten;" + path;
}

TEST_F(DriveCapacityTest, MinimumAndFreeSpace) {
  struct Case {
    const char* minGroesse;
    uint64_t freeBytes;
    const char* shownMinimum;  // MinGroesse after the check
    std::string finding;       // empty: none
  };
  const std::vector<Case> cases = {
      {"500MB", 500 * kMiB - kMiB / 10, "500", Record("500", "499 MB", "C:\\")},  // 499.9 MB
      {"500 MB", 499 * kMiB, "500 ", Record("500 ", "499 MB", "C:\\")},
      {"500", 500 * kMiB, "500", ""},  // exactly the minimum
      {"500", 500 * kMiB - 1, "500", Record("500", "499 MB", "C:\\")},
      {"500mb", 10 * kMiB, "500mb", Record("500mb", "10 MB", "C:\\")},
      {"5M00", 4 * kMiB, "5", Record("5", "4 MB", "C:\\")},
      {"1 GB", 0, "1 GB", Record("1 GB", "0 MB", "C:\\")},
      {"viel", 0, "viel", ""},
      {"", 0, "", ""},
      {"M", 0, "", ""},
      // Free space beyond the int range is compared as it is.
      {"2147483647", uint64_t{5} << 50, "2147483647", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.minGroesse);
    SetUp();
    std::filesystem::remove(P("SPEKOLAR.TXT"));
    MonitorSettingsRecord& m = State().MonitorSettings;
    m.MinGroesse = c.minGroesse;
    m.Id1 = "C:\\";
    disks_.free = {{"C:\\", c.freeBytes}};
    EXPECT_FALSE(Run(CheckDriveCapacity, "LAUFWERK"));
    EXPECT_EQ(m.MinGroesse, c.shownMinimum);
    EXPECT_EQ(Findings(), c.finding.empty() ? std::vector<std::string>{}
                                            : std::vector<std::string>{c.finding});
  }
}

TEST_F(DriveCapacityTest, EachShortDriveIsAFindingAndTheSectionIsReportedOnce) {
  MonitorSettingsRecord& m = State().MonitorSettings;
  m.MinGroesse = "1000";
  m.Id1 = "D:\\daten";
  m.Id2 = "\\\\tot\\share";    // does not answer
  m.Id3 = "\\\\server\\weg";  // cannot be queried
  m.Meldungstyp = "fenster";
  m.Typ1.Empty();
  m.Typ2.Empty();
  disks_.free = {{"D:\\daten", 10 * kMiB}};
  disks_.silent = {"\\\\tot\\share"};
  State().SectionFindingFlag = false;

  Run(CheckDriveCapacity, "LAUFWERK");

  EXPECT_EQ(disks_.queried, (std::vector<std::string>{"D:\\daten", "\\\\tot\\share",
                                                      "\\\\server\\weg"}));
  EXPECT_EQ(Findings(), (std::vector<std::string>{Record("1000", "10 MB", "D:\\daten"),
                                                  Record("1000", "0 MB", "\\\\tot\\share"),
                                                  Record("1000", "0 MB", "\\\\server\\weg")}));
  EXPECT_EQ(RunEntries(), (std::vector<std::string>{
                              " \xDC" "berwachung Laufwerk",
                              "   Laufwerk '\\\\tot\\share' konnte nicht abgefragt werden: "
                              "keine Antwort in 10 Sekunden",
                              "   Laufwerk '\\\\server\\weg' konnte nicht abgefragt werden: " +
                                  std::string(kNotReady)}));
  EXPECT_EQ(Lines("SPEKOLAR.NRT"),
            std::vector<std::string>{Stamp() + " - Kapazitaet vom Laufwerk ist unterschritten"});
  EXPECT_FALSE(dir_.Exists("SPEKOLAR.EML"));
  EXPECT_EQ(LastMessageCategory(), "NACHRICHTEN");
  EXPECT_STREQ(State().MessageBuffer.MsgTxt, "Kapazitaet vom Laufwerk ist unterschritten");
  EXPECT_STREQ(State().MessageBuffer.MsgMod, "Laufwerk");
  EXPECT_FALSE(State().SectionFindingFlag);
}

TEST_F(DriveCapacityTest, NothingShortWritesOnlyTheHeader) {
  MonitorSettingsRecord& m = State().MonitorSettings;
  m.Meldungstyp = "E-MAIL";
  m.MinGroesse = "100MB";
  m.Id2 = "E:";
  disks_.free = {{"E:", 100 * kMiB}};
  State().SectionFindingFlag = true;
  Run(CheckDriveCapacity, "LAUFWERK");
  EXPECT_EQ(disks_.queried, std::vector<std::string>{"E:"});
  EXPECT_EQ(RunEntries(), std::vector<std::string>{" \xDC" "berwachung Laufwerk"});
  EXPECT_FALSE(dir_.Exists("SPEKOLAR.TXT"));
  EXPECT_FALSE(dir_.Exists("SPEKOLAR.EML"));
  EXPECT_EQ(LastMessageCategory(), "");
  EXPECT_TRUE(State().SectionFindingFlag);

  // No drive configured: the header alone, also with a minimum.
  SetUp();
  std::filesystem::remove(P("SPEKOLAR.log"));
  disks_.queried.clear();
  State().MonitorSettings.MinGroesse = "100";
  Run(CheckDriveCapacity, "LAUFWERK");
  EXPECT_TRUE(disks_.queried.empty());
  EXPECT_EQ(RunEntries(), std::vector<std::string>{" \xDC" "berwachung Laufwerk"});
}

}  // namespace

}  // namespace spekolar
