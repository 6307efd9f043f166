// Finding and section messages, stored through the program-wide session into
// the private MariaDB server and read back column by column.
#include <ostream>
#include <string>
#include <vector>

#include "db/DbTestBed.h"
#include "messages/MessageEmission.h"
#include "support/TestEnv.h"

namespace spktest {
namespace {

const char kAllColumns[] =
    "SELECT MsgTnr, MsgTxt, MsgLnk, MsgMod, MsgSrc, MsgSch, MsgCat, MsgAdr, MsgBer, MsgPri, "
    "MsgTyp, MsgBrk, MsgVal, MsgDbg, MsgMnd, MsgLiz, MsgTin, MsgSts, MsgErf, "
    "TIMESTAMPDIFF(SECOND, MsgDat, NOW()) BETWEEN 0 AND 60, MsgUid FROM QRVYSTEM.QRV200MSG ";

class MessageEmissionTest : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    if (HasFatalFailure()) return;
    ConnectProgramSession();
    State().TenantRow.MNDLIZ = "L1234";
    State().TenantRow.MNDNUM = "00042";
    State().TenantRow.MNDEML = "admin@example.com";
    State().TenantRow.MNDSCH = "MANDANT01";
    State().LogDirectory = "C:\\PELDAVORN\\htdocs\\PELDAVORN\\peldavorn_php\\log";
  }

  std::vector<SqlRow> Rows(const std::string& where) {
    return sql_.Query(std::string(kAllColumns) + where);
  }

  FixedClockEnv clock_{2024, 3, 5, 7, 8, 9};
  platform::ScopedEnv scopedClock_{&clock_};
};

SqlRow Expected(const char* title, const char* monitor, const char* category, const char* detail,
                const char* uid) {
  return {"-1",       title,   "C:\\PELDAVORN\\htdocs\\PELDAVORN\\peldavorn_php\\log\\Spekolar.Txt",
          monitor,    "Spekolar.exe", "MANDANT01", category, "SES", "KORVANE", "0", "0", "",
          "1",        detail,  "00042", "L1234", "20240305070809", "0", "KORVANE", "1", uid};
}

// A finding and then a section message in the same second: every column as
// the two kinds define it, ids that differ by the count, and a record
// buffer that the second message fills anew (no detail left over).
TEST_F(MessageEmissionTest, FindingAndSectionRows) {
  const std::string detail =
      "TAGESABSCHLUSS;1;60;2100;2400;05.03.2024 22:40:00 - Laufzeit \xFC"
      "berschritten;(gepr\xFC"
      "fte Datei: TA.log)";
  EXPECT_EQ(StoreFindingMessage("Tagesabschluss-Fehler", "Tagesabschluss", detail), 0)
      << State().Db->MessageText().str();
  EXPECT_EQ(StoreSectionMessage("Tagesabschluss-Fehler", "TAGESABSCHLUSS"), 0)
      << State().Db->MessageText().str();

  const std::vector<SqlRow> rows = Rows("ORDER BY MsgUid");
  ASSERT_EQ(rows.size(), 2u) << sql_.LastError();
  EXPECT_EQ(rows[0], Expected("Tagesabschluss-Fehler", "Tagesabschluss", "DEBUG", detail.c_str(),
                              "Spekolar_20240305070809.0"));
  EXPECT_EQ(rows[1], Expected("Tagesabschluss-Fehler", "TAGESABSCHLUSS", "NACHRICHTEN", "",
                              "Spekolar_20240305070809.1"));
}

// The title loses trailing white space only; the monitor name and the
// detail are stored as given; texts longer than their columns are cut.
struct TextCase {
  const char* name;
  std::string title, monitorName, detail;
  std::string storedTitle, storedMonitorName, storedDetail;
};

void PrintTo(const TextCase& c, std::ostream* os) { *os << c.name; }

const TextCase kTextCases[] = {
    {"TrailingWhiteSpace", "  Tagesabschluss-Fehler \t \r\n", " Tagesabschluss \r\n",
     "A;B \r\n", "  Tagesabschluss-Fehler", " Tagesabschluss \r\n", "A;B \r\n"},
    {"EmptyTexts", "", "", "", "", "", ""},
    {"BlankTitle", " \t\r\n", "x", "y", "", "x", "y"},
    {"Windows1252", "Pr\xFC" "fung fehlgeschlagen", "\xDC" "berwachung", "\x80 \xE4\xF6\xFC\xDF",
     "Pr\xFC" "fung fehlgeschlagen", "\xDC" "berwachung", "\x80 \xE4\xF6\xFC\xDF"},
    {"LongerThanColumns", std::string(85, 'T'), std::string(55, 'M'), std::string(1030, 'D'),
     std::string(80, 'T'), std::string(50, 'M'), std::string(1024, 'D')},
    // Trimmed before the cut, so a blank at the cut edge stays.
    {"LongTitleWithTrailingBlanks", std::string(79, 'T') + " x  ", "m", "d",
     std::string(79, 'T') + " ", "m", "d"},
    {"QuotesAndBackslashes", "it's \\", "C:\\x\\", "'); DELETE FROM QRVYSTEM.QRV200MSG; --",
     "it's \\", "C:\\x\\", "'); DELETE FROM QRVYSTEM.QRV200MSG; --"},
};

class MessageTextTest : public MessageEmissionTest,
                        public ::testing::WithParamInterface<TextCase> {};

TEST_P(MessageTextTest, StoredTexts) {
  const TextCase& tc = GetParam();
  ASSERT_EQ(StoreFindingMessage(tc.title, tc.monitorName, tc.detail), 0)
      << State().Db->MessageText().str();
  const std::vector<SqlRow> rows =
      sql_.Query("SELECT MsgTxt, MsgMod, MsgDbg, HEX(MsgTxt) FROM QRVYSTEM.QRV200MSG");
  ASSERT_EQ(rows.size(), 1u) << sql_.LastError();
  EXPECT_EQ(rows[0][0], SqlValue(tc.storedTitle));
  EXPECT_EQ(rows[0][1], SqlValue(tc.storedMonitorName));
  EXPECT_EQ(rows[0][2], SqlValue(tc.storedDetail));
  EXPECT_EQ(rows[0][3], SqlValue(ToHex(tc.storedTitle)));
}

INSTANTIATE_TEST_SUITE_P(Cases, MessageTextTest, ::testing::ValuesIn(kTextCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MessageEmissionTest, UmlautArrivesAsOneByte) {
  ASSERT_EQ(StoreSectionMessage("Gr\xFC" "n", "x"), 0);
  EXPECT_EQ(sql_.Scalar("SELECT HEX(MsgTxt) FROM QRVYSTEM.QRV200MSG"), "4772FC6E");
}

TEST_F(MessageEmissionTest, LinkWithoutLogDirectory) {
  State().LogDirectory.Empty();
  ASSERT_EQ(StoreSectionMessage("t", "m"), 0);
  EXPECT_EQ(sql_.Scalar("SELECT MsgLnk FROM QRVYSTEM.QRV200MSG"), "\\Spekolar.Txt");
}

TEST_F(MessageEmissionTest, RefusedRowGivesTheNativeCode) {
  RefuseMessages();
  EXPECT_EQ(StoreFindingMessage("t", "m", "d"), 1644);
  EXPECT_EQ(StoreSectionMessage("t", "m"), 1644);
  EXPECT_EQ(State().Db->SqlState().str(), "45000");
  EXPECT_EQ(MessageCount(), "0");
}

// Without an id (the count fails) the row is still attempted, with an empty
// MsgUid; here the insert then fails on the same missing table.
TEST_F(MessageEmissionTest, MissingTableGivesTheNativeCode) {
  ExecOrFail("RENAME TABLE QRVYSTEM.qrv200msg TO QRVYSTEM.qrv200msg_away");
  const int result = StoreFindingMessage("t", "m", "d");
  ExecOrFail("RENAME TABLE QRVYSTEM.qrv200msg_away TO QRVYSTEM.qrv200msg");
  EXPECT_EQ(result, 1146);
  EXPECT_EQ(State().MessageBuffer.MsgUid[0], '\0');
  EXPECT_STREQ(State().MessageBuffer.MsgDbg, "d");
}

TEST(MessageEmissionWithoutDatabase, UnconnectedSessionGivesMinusOne) {
  ResetProgramState();
  EXPECT_EQ(StoreFindingMessage("t", "m", "d"), -1);
  EXPECT_EQ(StoreSectionMessage("t", "m"), -1);
  ResetProgramState();
}

}  // namespace
}  // namespace spktest
