// Message ids and inserts into the message table, against the private
// MariaDB server.
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "db/DbTestBed.h"
#include "support/TestEnv.h"

namespace spekolar::spktest {
namespace {

// A complete record with plain values and the given id.
MessageRecord Record(const std::string& uid) {
  MessageRecord r;
  r.Clear();
  r.MsgTnr = -1;
  MessageRecord::SetText(r.MsgTxt, "Titel");
  MessageRecord::SetText(r.MsgLnk, "C:\\log\\Spekolar.Txt");
  MessageRecord::SetText(r.MsgMod, "Modul");
  MessageRecord::SetText(r.MsgSrc, "Spekolar.exe");
  MessageRecord::SetText(r.MsgSch, "SCH");
  MessageRecord::SetText(r.MsgCat, "DEBUG");
  MessageRecord::SetText(r.MsgAdr, "SES");
  MessageRecord::SetText(r.MsgBer, "KORVANE");
  r.MsgPri = 0;
  MessageRecord::SetText(r.MsgTyp, "0");
  r.MsgVal = 1;
  MessageRecord::SetText(r.MsgDbg, "Detail");
  MessageRecord::SetText(r.MsgMnd, "42");
  MessageRecord::SetText(r.MsgLiz, "L1");
  MessageRecord::SetText(r.MsgTin, "20240305070809");
  r.MsgSts = 0;
  MessageRecord::SetText(r.MsgErf, "KORVANE");
  MessageRecord::SetText(r.MsgUid, uid);
  return r;
}

class MessageTableTest : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    if (HasFatalFailure()) return;
    Connect(session_, file_);
  }

  FixedClockEnv clock_{2024, 3, 5, 7, 8, 9};
  platform::ScopedEnv scopedClock_{&clock_};
  CredentialsFile file_;
  DbSession session_;
};

// --- Message ids -----------------------------------------------------------------

TEST_F(MessageTableTest, IdsCountEarlierMessages) {
  for (const char* expected : {"Spekolar_20240305070809.0", "Spekolar_20240305070809.1",
                               "Spekolar_20240305070809.2"}) {
    CString uid;
    EXPECT_EQ(session_.MakeMessageUid(uid), 0);
    EXPECT_EQ(uid.str(), expected);
    EXPECT_EQ(session_.InsertMessage(Record(uid.str())), 0) << session_.MessageText().str();
  }
  EXPECT_EQ(MessageCount(), "3");
}

TEST_F(MessageTableTest, IdsOfOtherWritersMatchingThePatternAreCounted) {
  // The underscore of the pattern matches any character: "Spekolar" and at
  // least one more character.
  for (const char* id : {"'SpekolarX1'", "'Spekolar.'", "'Spekolar_20200101000000.7'",
                         "'Spekolar'", "'XSpekolar_1'", "'Speko'", "NULL"}) {
    ExecOrFail(std::string("INSERT INTO QRVYSTEM.QRV200MSG (MsgUid) VALUES (") + id + ")");
  }
  CString uid;
  EXPECT_EQ(session_.MakeMessageUid(uid), 0);
  EXPECT_EQ(uid.str(), "Spekolar_20240305070809.3");
}

TEST_F(MessageTableTest, FailedInsertDoesNotRaiseTheCount) {
  CString uid;
  ASSERT_EQ(session_.MakeMessageUid(uid), 0);
  ASSERT_EQ(session_.InsertMessage(Record(uid.str())), 0);
  RefuseMessages();

  EXPECT_EQ(session_.MakeMessageUid(uid), 0);
  EXPECT_EQ(uid.str(), "Spekolar_20240305070809.1");
  EXPECT_EQ(session_.InsertMessage(Record(uid.str())), 1644);
  EXPECT_EQ(session_.NativeError(), 1644);
  EXPECT_EQ(session_.SqlState().str(), "45000");
  EXPECT_NE(session_.MessageText().str().find("refused by test"), std::string::npos)
      << session_.MessageText().str();
  EXPECT_EQ(MessageCount(), "1");

  // The next message in the same second gets the id of the lost one.
  ExecOrFail("DROP TRIGGER QRVYSTEM.refuse_message");
  EXPECT_EQ(session_.MakeMessageUid(uid), 0);
  EXPECT_EQ(uid.str(), "Spekolar_20240305070809.1");
}

TEST_F(MessageTableTest, MissingTableFailsBothOperations) {
  ExecOrFail("RENAME TABLE QRVYSTEM.qrv200msg TO QRVYSTEM.qrv200msg_away");
  CString uid("unchanged");
  const int32_t countResult = session_.MakeMessageUid(uid);
  const std::string countState = session_.SqlState().str();
  const int32_t insertResult = session_.InsertMessage(Record("x"));
  ExecOrFail("RENAME TABLE QRVYSTEM.qrv200msg_away TO QRVYSTEM.qrv200msg");

  EXPECT_EQ(countResult, 1146);
  EXPECT_EQ(countState, "42S02");
  EXPECT_EQ(uid.str(), "unchanged");
  EXPECT_EQ(insertResult, 1146);
  EXPECT_EQ(session_.NativeError(), 1146);
}

TEST_F(DbTest, MessageOperationsNeedAConnection) {
  DbSession session;
  CString uid("unchanged");
  EXPECT_EQ(session.MakeMessageUid(uid), -1);
  EXPECT_EQ(uid.str(), "unchanged");
  MessageRecord r;
  r.Clear();
  EXPECT_EQ(session.InsertMessage(r), -1);
}

// --- Statement text --------------------------------------------------------------

const std::string kColumns =
    "INSERT INTO QRVYSTEM.QRV200MSG  (MsgTnr, MsgTxt, MsgLnk, MsgMod,  MsgSrc, MsgSch, MsgCat, "
    "MsgAdr,  MsgBer, MsgPri, MsgTyp, MsgBrk,  MsgVal, MsgDbg, MsgMnd, MsgLiz,  MsgTin, MsgSts, "
    "MsgErf, MsgDat,  MsgUid)  VALUES (";

struct StatementCase {
  const char* system;
  std::string expected;
};

void PrintTo(const StatementCase& c, std::ostream* os) { *os << c.system; }

class StatementTextTest : public DbTest, public ::testing::WithParamInterface<StatementCase> {};

TEST_P(StatementTextTest, FormOfTheDatabaseSystem) {
  CredentialsFile file;
  DbSession session;
  Connect(session, file, GetParam().system);
  MessageRecord r = Record("Spekolar_20240305070809.0");
  MessageRecord::SetText(r.MsgTxt, "it's");
  MessageRecord::SetText(r.MsgMod, "Mod");
  MessageRecord::SetText(r.MsgSch, "S");
  r.MsgPri = 2;
  MessageRecord::SetText(r.MsgDbg, "a;b \xFC");
  MessageRecord::SetText(r.MsgMnd, "1");
  MessageRecord::SetText(r.MsgLiz, "L");
  r.MsgSts = -7;

  EXPECT_EQ(session.BuildInsertStatement(r).str(), kColumns + GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Systems, StatementTextTest,
    ::testing::Values(
        StatementCase{"ORACLE",
                      "'-1', 'it''s', 'C:\\log\\Spekolar.Txt','Mod', 'Spekolar.exe', 'S',  "
                      "'DEBUG','SES', 'KORVANE', '2','0', '', '1', 'a;b \xFC', '1','L',  "
                      "'20240305070809', '-7','KORVANE', Current_Timestamp,  "
                      "'Spekolar_20240305070809.0')"},
        StatementCase{"MSSQL",
                      "'-1', 'it''s', 'C:\\log\\Spekolar.Txt','Mod', 'Spekolar.exe', 'S',  "
                      "'DEBUG','SES', 'KORVANE', '2','0', '', '1', 'a;b \xFC', '1','L',  "
                      "'20240305070809', '-7','KORVANE', Current_Timestamp,  "
                      "'Spekolar_20240305070809.0')"},
        // A backslash escapes inside a MySQL literal, so it is doubled too.
        StatementCase{"MYSQL",
                      "'-1', 'it''s', 'C:\\\\log\\\\Spekolar.Txt', 'Mod', 'Spekolar.exe',  'S', "
                      "'DEBUG', 'SES', 'KORVANE',  '2','0', '', '1', 'a;b \xFC', '1', 'L', "
                      "'20240305070809',  '-7','KORVANE', Current_Timestamp, "
                      "'Spekolar_20240305070809.0')"}),
    [](const auto& info) { return std::string(info.param.system); });

// --- Values that carry SQL -----------------------------------------------------

// Each detail is stored and read back byte for byte, and nothing else in the
// table changes.
TEST_F(MessageTableTest, ValuesAreStoredVerbatim) {
  ExecOrFail("INSERT INTO QRVYSTEM.QRV200MSG (MsgUid, MsgDbg) VALUES ('sentinel', 'keep me')");
  const std::vector<std::string> details = {
      "it's",
      "C:\\temp\\",
      "\\'",
      "'); DELETE FROM QRVYSTEM.QRV200MSG; --",
      "a;b; c",
      "\\",
      "''",
      "100% \"sure\" %s %d",
      "\\0 \\n \\x",
      "\x80\xFC\xFF",
  };
  for (size_t i = 0; i < details.size(); ++i) {
    MessageRecord r = Record("row" + std::to_string(i));
    MessageRecord::SetText(r.MsgDbg, details[i]);
    MessageRecord::SetText(r.MsgTxt, details[i]);
    ASSERT_EQ(session_.InsertMessage(r), 0) << details[i] << ": " << session_.MessageText().str();
  }
  for (size_t i = 0; i < details.size(); ++i) {
    const std::vector<SqlRow> rows = sql_.Query(
        "SELECT MsgDbg, MsgTxt, HEX(MsgDbg) FROM QRVYSTEM.QRV200MSG WHERE MsgUid = 'row" +
        std::to_string(i) + "'");
    ASSERT_EQ(rows.size(), 1u) << details[i];
    EXPECT_EQ(rows[0][0].value_or("<null>"), details[i]);
    EXPECT_EQ(rows[0][1].value_or("<null>"), details[i]);
    EXPECT_EQ(rows[0][2].value_or("<null>"), ToHex(details[i]));
  }
  EXPECT_EQ(MessageCount(), std::to_string(details.size() + 1));
  EXPECT_EQ(sql_.Scalar("SELECT MsgDbg FROM QRVYSTEM.QRV200MSG WHERE MsgUid = 'sentinel'"),
            "keep me");
}

// A value longer than its column is cut to the width first; the escape of a
// quote or backslash at the edge is never split.
struct CutCase {
  const char* name;
  std::string input;
  std::string stored;
};

void PrintTo(const CutCase& c, std::ostream* os) { *os << c.name; }

const CutCase kCutCases[] = {
    {"QuoteAtTheEdge", std::string(1023, 'a') + "'" + "tail", std::string(1023, 'a') + "'"},
    {"QuoteJustPastTheEdge", std::string(1024, 'a') + "'", std::string(1024, 'a')},
    {"BackslashAtTheEdge", std::string(1023, 'a') + "\\x", std::string(1023, 'a') + "\\"},
    {"QuotesOnly", std::string(1030, '\''), std::string(1024, '\'')},
    {"BackslashesOnly", std::string(1030, '\\'), std::string(1024, '\\')},
    {"ExactWidth", std::string(1022, 'b') + "''", std::string(1022, 'b') + "''"},
};

class CutBeforeEscapeTest : public MessageTableTest,
                            public ::testing::WithParamInterface<CutCase> {};

TEST_P(CutBeforeEscapeTest, StoredValue) {
  MessageRecord r = Record("cut");
  MessageRecord::SetText(r.MsgDbg, GetParam().input);
  ASSERT_EQ(session_.InsertMessage(r), 0) << session_.MessageText().str();
  EXPECT_EQ(sql_.Scalar("SELECT MsgDbg FROM QRVYSTEM.QRV200MSG WHERE MsgUid = 'cut'"),
            GetParam().stored);
}

INSTANTIATE_TEST_SUITE_P(Cases, CutBeforeEscapeTest, ::testing::ValuesIn(kCutCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A field filled to the last byte, without a terminator, is read only up to
// its width.
TEST_F(MessageTableTest, UnterminatedFieldStopsAtItsWidth) {
  MessageRecord r = Record("full");
  std::memset(r.MsgDbg, '\'', sizeof r.MsgDbg);
  std::memset(r.MsgTxt, 'x', sizeof r.MsgTxt);
  ASSERT_EQ(session_.InsertMessage(r), 0) << session_.MessageText().str();
  const std::vector<SqlRow> rows =
      sql_.Query("SELECT MsgDbg, MsgTxt, MsgMnd FROM QRVYSTEM.QRV200MSG WHERE MsgUid = 'full'");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0], SqlValue(std::string(1024, '\'')));
  EXPECT_EQ(rows[0][1], SqlValue(std::string(80, 'x')));
  EXPECT_EQ(rows[0][2], SqlValue("42"));
}

}  // namespace
}  // namespace spekolar::spktest
