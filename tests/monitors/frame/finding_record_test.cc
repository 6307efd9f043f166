#include "monitors/frame/FindingRecord.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "monitors/frame/MonitorTestBed.h"
#include "monitors/frame/RunTime.h"
#include "state/ProgramState.h"
#include "support/Records.h"

namespace spekolar {

namespace {

TEST(FindingRecordTest, SevenFieldsAndTheCheckedFile) {
  FindingRecord r{"TAGESABSCHLUSS", "1", "60", "2100", "2400", "x", CheckedFileField("tagab.log")};
  EXPECT_EQ(r.Join(), "TAGESABSCHLUSS;1;60;2100;2400;x;(gepr\xFC" "fte Datei: tagab.log)");
  FindingRecord empty{"JOBCONTROLLER", "2", "", "", "", "t", ""};
  EXPECT_EQ(empty.Join(), "JOBCONTROLLER;2;;;;t;");
}

TEST(FindingRecordTest, SemicolonsBecomeQuotedSemicolons) {
  EXPECT_EQ(ProtectSemicolons("a;b"), "a\";\"b");
  EXPECT_EQ(ProtectSemicolons(";;"), "\";\"\";\"");
  EXPECT_EQ(ProtectSemicolons("none"), "none");
}

// A ";" in a configured value or a file name stays inside its field.
TEST(FindingRecordTest, EveryFieldKeepsItsSemicolons) {
  FindingRecord r{"TAGESABSCHLUSS", "1", "6;0", "21;00", "", ProtectSemicolons("t;x"),
                  CheckedFileField("a;b.log")};
  EXPECT_EQ(spktest::RecordFields(r.Join().str()),
            (std::vector<std::string>{"TAGESABSCHLUSS", "1", "6;0", "21;00", "", "t;x",
                                      "(gepr\xFC" "fte Datei: a;b.log)"}));
}

class FindingReporterTest : public spktest::MonitorTestBed {};

// Every finding is written and sets the flag; only the first is stored.
TEST_F(FindingReporterTest, FirstFindingOfThePassIsStored) {
  FindingReporter reporter("Tagesabschluss-Fehler", "Tagesabschluss");
  for (const char* text : {"one", "two", "three"}) {
    reporter.Report(FindingRecord{"S", "2", "", "", "", text, ""});
  }
  EXPECT_EQ(Findings(), (std::vector<std::string>{"S;2;;;;one;", "S;2;;;;two;", "S;2;;;;three;"}));
  EXPECT_TRUE(State().SectionFindingFlag);
  EXPECT_TRUE(reporter.MessageStored());
  EXPECT_EQ(LastMessageCategory(), "DEBUG");
  EXPECT_EQ(LastMessageDetail(), "S;2;;;;one;");
  EXPECT_STREQ(State().MessageBuffer.MsgTxt, "Tagesabschluss-Fehler");
  EXPECT_STREQ(State().MessageBuffer.MsgMod, "Tagesabschluss");
}

// A NUL byte anywhere in a record is written as a blank, and the record in
// SPEKOLAR.TXT and the stored detail are the same bytes, nothing cut.
TEST_F(FindingReporterTest, NulBytesBecomeBlanksInTheRecordAndTheRow) {
  using namespace std::string_literals;
  struct Case {
    std::string text;
    std::string file;
    std::string record;
  };
  const Case cases[] = {
      {"a\0b; c"s, "", "S;2;;;;a b; c;"},
      {"\0lead"s, "", "S;2;;;; lead;"},
      {"end\0"s, "", "S;2;;;;end ;"},
      {"\0\0"s, "", "S;2;;;;  ;"},
      {"t", "x\0y.log"s, "S;2;;;;t;x y.log"},
      {"plain", "", "S;2;;;;plain;"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.record);
    FindingReporter reporter("Titel", "Monitor");
    reporter.Report(FindingRecord{"S", "2", "", "", "", CString(c.text), CString(c.file)});
    ASSERT_FALSE(Findings().empty());
    EXPECT_EQ(Findings().back(), c.record);
    EXPECT_EQ(LastMessageDetail(), c.record);
  }
}

TEST(RunTimeTest, LeadingIntegerReadsLikeAtoi) {
  const std::vector<std::pair<const char*, int>> cases = {
      {"2100", 2100}, {"60s", 60}, {" 7", 7}, {"\t-5", -5}, {"+12", 12}, {"abc", 0},
      {"", 0},        {"-", 0},    {"0x1F", 0}, {"9999999999", INT_MAX}, {"-9999999999", INT_MIN},
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(LeadingInteger(text), value) << text;
}

TEST(RunTimeTest, ClockColumnsOfAStamp) {
  EXPECT_EQ(SecondsAtStampColumns("07.12.2026 22:40:05 Tagesabschluss beendet"), 81605);
  EXPECT_EQ(SecondsAtStampColumns("07-12-2026 00:00:10"), 10);
  EXPECT_EQ(SecondsAtStampColumns("07.12.2026 1"), 3600);  // minutes and seconds missing
  EXPECT_EQ(SecondsAtStampColumns("short"), 0);
}

}  // namespace

}  // namespace spekolar
