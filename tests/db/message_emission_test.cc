// Finding and section messages, stored through the program-wide session into
// the private MariaDB server and read back column by column.
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "db/DbTestBed.h"
#include "messages/MessageEmission.h"
#include "support/TestEnv.h"

namespace spekolar::spktest {
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

// A row the database does not take is lost for good, so each failed insert
// leaves one run protocol entry with the server's native code, SQL state and
// text, in the form of the start-up failures.
TEST_F(MessageEmissionTest, EachFailedInsertLeavesOneEntry) {
  struct Case {
    const char* what;
    std::string setUp;  // run as root before the inserts
    bool readOnlyUser;
    int native;
    const char* state;
    const char* text;  // part of the message
  };
  const Case cases[] = {
      {"refused by a trigger",
       "CREATE TRIGGER QRVYSTEM.refuse_message BEFORE INSERT ON QRVYSTEM.QRV200MSG FOR EACH ROW "
       "SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'refused by test'",
       false, 1644, "45000", "refused by test"},
      {"refused value",
       "ALTER TABLE QRVYSTEM.QRV200MSG ADD CONSTRAINT refuse_value CHECK (MsgMod <> 'm')", false,
       4025, "23000", "refuse_value"},
      {"read-only user", "", true, 1142, "42000", "INSERT command denied"},
      {"dropped table", "RENAME TABLE QRVYSTEM.qrv200msg TO QRVYSTEM.qrv200msg_away", false, 1146,
       "42S02", "doesn't exist"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    for (size_t at = 0, end; at < c.setUp.size(); at = end + 1) {
      end = c.setUp.find(';', at);
      if (end == std::string::npos) end = c.setUp.size();
      ExecOrFail(c.setUp.substr(at, end - at));
    }
    if (c.readOnlyUser) {
      // Users are made by root, through the server's own client.
      const std::string grant =
          server_.SqlTool() + " -e \"CREATE USER IF NOT EXISTS spk_reader@localhost IDENTIFIED BY "
          "'reader'; GRANT SELECT ON QRVYSTEM.* TO spk_reader@localhost\"";
      ASSERT_EQ(std::system(grant.c_str()), 0);
      Credentials reader = Defaults();
      reader.login = "spk_reader";
      reader.password = "reader";
      WriteCredentials(State().Credentials, reader);
      State().Db->SetCredentials(State().Credentials);
      ASSERT_EQ(State().Db->Connect(), 0) << State().Db->MessageText().str();
    }
    TempDir logDir;
    State().RunProtocol.Open(logDir.path(), "SPEKOLAR");
    EXPECT_EQ(StoreFindingMessage("t", "m", "d"), c.native);
    EXPECT_EQ(StoreSectionMessage("t", "m"), c.native);
    const std::string entry = "05.03.2024 07:08:09 - Fehler beim InsertMessage:\n" +
                              std::to_string(c.native) + "\n" + c.state + "\n";
    const std::string log = logDir.Read("SPEKOLAR.log");
    ASSERT_EQ(log.substr(0, entry.size()), entry) << log;
    EXPECT_NE(log.find(c.text), std::string::npos) << log;
    // Two entries, each ending in the empty line of its own line end.
    const size_t second = log.find(entry, entry.size());
    ASSERT_NE(second, std::string::npos) << log;
    EXPECT_EQ(log.substr(second - 2, 2), "\n\n");
    EXPECT_EQ(log.substr(log.size() - 2), "\n\n");
    EXPECT_EQ(log.find(entry, second + 1), std::string::npos);
    sql_.Exec("RENAME TABLE QRVYSTEM.qrv200msg_away TO QRVYSTEM.qrv200msg");
    EXPECT_EQ(MessageCount(), "0");
  }
  const std::string drop = server_.SqlTool() + " -e \"DROP USER IF EXISTS spk_reader@localhost\"";
  EXPECT_EQ(std::system(drop.c_str()), 0);
}

// A stored row leaves no entry.
TEST_F(MessageEmissionTest, StoredRowsLeaveNoEntry) {
  TempDir logDir;
  State().RunProtocol.Open(logDir.path(), "SPEKOLAR");
  ASSERT_EQ(StoreFindingMessage("t", "m", "d"), 0);
  EXPECT_FALSE(logDir.Exists("SPEKOLAR.log"));
}

TEST(MessageEmissionWithoutDatabase, UnconnectedSessionGivesMinusOne) {
  ResetProgramState();
  EXPECT_EQ(StoreFindingMessage("t", "m", "d"), -1);
  EXPECT_EQ(StoreSectionMessage("t", "m"), -1);
  ResetProgramState();
}

}  // namespace
}  // namespace spekolar::spktest
