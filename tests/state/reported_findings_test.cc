// The state of reported findings: which files count as today's state, which
// as damaged, the counting of occurrences, and the text written back.
#include "state/ReportedFindings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace spekolar {

namespace {

const CString kToday("07.12.2026");
const std::string kHeader = "SPEKOLAR-GEMELDET 1 07.12.2026\n";

TEST(ReportedFindingsTest, OnlyAWholeFileOfTodayCountsAsReported) {
  struct Case {
    std::string text;
    ReportedFindings::Parsed parsed;
    int reportedOfA;  // how often key 0xa counts as reported afterwards
  };
  for (const Case& c : std::vector<Case>{
           {kHeader + "000000000000000a 2\n00000000000000ff 1\nEND 2\n", ReportedFindings::Parsed::kSameDay, 2},
           {kHeader + "000000000000000A 1\n000000000000000a 3\nEND 2\n", ReportedFindings::Parsed::kSameDay, 3},
           {kHeader + "END 0\n", ReportedFindings::Parsed::kSameDay, 0},
           {"SPEKOLAR-GEMELDET 1 06.12.2026\n000000000000000a 2\nEND 1\n", ReportedFindings::Parsed::kOtherDay, 0},
           {"", ReportedFindings::Parsed::kDamaged, 0},
           {"000000000000000a 2\nEND 1\n", ReportedFindings::Parsed::kDamaged, 0},         // no header
           {"SPEKOLAR-GEMELDET 2 07.12.2026\nEND 0\n", ReportedFindings::Parsed::kDamaged, 0},  // other form
           {kHeader + "00000000000000zz 2\nEND 1\n", ReportedFindings::Parsed::kDamaged, 0},  // bad hex
           {kHeader + "1000000000000000a 2\nEND 1\n", ReportedFindings::Parsed::kDamaged, 0}, // 68 bits
           {kHeader + "000000000000000a\nEND 1\n", ReportedFindings::Parsed::kDamaged, 0},   // no count
           {kHeader + "000000000000000a -2\nEND 1\n", ReportedFindings::Parsed::kDamaged, 0},
           {kHeader + "000000000000000a 2\n", ReportedFindings::Parsed::kDamaged, 0},        // no END
           {kHeader + "000000000000000a 2\n0000", ReportedFindings::Parsed::kDamaged, 0},    // cut short
           {kHeader + "000000000000000a 2\nEND 2\n", ReportedFindings::Parsed::kDamaged, 0}, // count
           {kHeader + "000000000000000a 2\nEND x\n", ReportedFindings::Parsed::kDamaged, 0},
           {kHeader + "000000000000000a 2\nEND 1\nx", ReportedFindings::Parsed::kDamaged, 0},  // trailing
           {"SPEKOLAR-GEMELDET 1 06.12.2026\n0a\nEND 1\n", ReportedFindings::Parsed::kDamaged, 0},
       }) {
    ReportedFindings reported;
    // A damaged or older file also drops what an earlier Parse took.
    ASSERT_EQ(reported.Parse(kHeader + "000000000000000a 9\nEND 1\n", kToday),
              ReportedFindings::Parsed::kSameDay);
    EXPECT_EQ(reported.Parse(c.text, kToday), c.parsed) << c.text;
    int old = 0;
    while (old < 10 && !reported.IsNew(0xa)) ++old;
    EXPECT_EQ(old, c.reportedOfA) << c.text;
  }
}

TEST(ReportedFindingsTest, OccurrencesBeyondTheReportedOnesAreNewAndAreWrittenBack) {
  ReportedFindings reported;
  ASSERT_EQ(reported.Parse(kHeader + "0000000000000001 2\n0000000000000002 5\nEND 2\n", kToday),
            ReportedFindings::Parsed::kSameDay);
  // Key 1 occurs three times now: the third is new. Key 2 fewer times than
  // before: nothing new, and its count stays. Key 3 never reported.
  std::vector<bool> news;
  for (uint64_t key : {1, 1, 1, 2, 3, 3}) news.push_back(reported.IsNew(key));
  EXPECT_EQ(news, (std::vector<bool>{false, false, true, false, true, true}));
  const std::string text = reported.Text(kToday);
  EXPECT_EQ(text, kHeader + "0000000000000001 3\n0000000000000002 5\n0000000000000003 2\nEND 3\n");

  // Read back, the same pass again reports nothing.
  ReportedFindings next;
  ASSERT_EQ(next.Parse(text, kToday), ReportedFindings::Parsed::kSameDay);
  for (uint64_t key : {1, 1, 1, 2, 3, 3}) EXPECT_FALSE(next.IsNew(key)) << key;
  EXPECT_TRUE(next.IsNew(1));
  EXPECT_EQ(next.Text(kToday), kHeader + "0000000000000001 4\n0000000000000002 5\n0000000000000003 2\nEND 3\n");
  // Another day's state starts from nothing.
  ReportedFindings tomorrow;
  EXPECT_EQ(tomorrow.Parse(text, CString("08.12.2026")), ReportedFindings::Parsed::kOtherDay);
  EXPECT_TRUE(tomorrow.IsNew(2));
  EXPECT_EQ(tomorrow.Text(CString("08.12.2026")), "SPEKOLAR-GEMELDET 1 08.12.2026\n0000000000000002 1\nEND 1\n");

  // Many identities (the table grows several times; keys that differ in
  // their high bits only) survive the round trip.
  ReportedFindings many;
  for (uint64_t i = 0; i < 5000; ++i) EXPECT_TRUE(many.IsNew(i << 40 | i % 7));
  ReportedFindings back;
  ASSERT_EQ(back.Parse(many.Text(kToday), kToday), ReportedFindings::Parsed::kSameDay);
  int reportedAgain = 0;
  for (uint64_t i = 0; i < 5000; ++i) reportedAgain += back.IsNew(i << 40 | i % 7) ? 1 : 0;
  EXPECT_EQ(reportedAgain, 0);
  EXPECT_TRUE(back.IsNew(5000ull << 40));

  // Identities: the same text is the same key, a different one another key.
  EXPECT_EQ(ReportedFindings::KeyOf("LAUFWERK;/var"), ReportedFindings::KeyOf("LAUFWERK;/var"));
  EXPECT_NE(ReportedFindings::KeyOf("LAUFWERK;/var"), ReportedFindings::KeyOf("LAUFWERK;/var/"));
}

}  // namespace

}  // namespace spekolar
