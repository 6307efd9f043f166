// Connecting the session and reading the tenant row, against the private
// MariaDB server.
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "db/DbTestBed.h"

namespace spekolar::spktest {
namespace {

// --- Connect -----------------------------------------------------------------

struct ConnectCase {
  const char* name;
  Credentials (*credentials)(Credentials);
  bool writeFile;  // false: the session has credentials without a file
  int32_t result;
  int32_t nativeError;
  const char* sqlState;
  const char* messagePart;
};

const ConnectCase kConnectCases[] = {
    {"Mysql", [](Credentials c) { return c; }, true, 0, 0, "", ""},
    {"Oracle", [](Credentials c) { c.system = "ORACLE"; return c; }, true, 0, 0, "", ""},
    {"Mssql", [](Credentials c) { c.system = "MSSQL"; return c; }, true, 0, 0, "", ""},
    {"WrongPassword", [](Credentials c) { c.password = "wrong"; return c; }, true, 1045, 1045,
     "28000", "Access denied for user 'spekolar'"},
    {"UnknownDataSource", [](Credentials c) { c.database = "NOSUCHDSN"; return c; }, true, -1, 0,
     "IM002", "Data source name not found"},
    // The comparison is exact: the decrypted value is not upper-cased.
    {"LowerCaseSystem", [](Credentials c) { c.system = "mysql"; return c; }, true, -1, 0, "", ""},
    {"MixedCaseSystem", [](Credentials c) { c.system = "Oracle"; return c; }, true, -1, 0, "", ""},
    {"OtherSystem", [](Credentials c) { c.system = "DB2"; return c; }, true, -1, 0, "", ""},
    {"NoSystemLine", [](Credentials c) { c.system = ""; return c; }, true, -1, 0, "", ""},
    {"NoCredentialsFile", [](Credentials c) { return c; }, false, -1, 0, "", ""},
};

void PrintTo(const ConnectCase& c, std::ostream* os) { *os << c.name; }

class ConnectTest : public DbTest, public ::testing::WithParamInterface<ConnectCase> {};

TEST_P(ConnectTest, ResultAndDiagnostics) {
  const ConnectCase& tc = GetParam();
  CredentialsFile file;
  if (tc.writeFile) WriteCredentials(file, tc.credentials(Defaults()));
  DbSession session;
  EXPECT_TRUE(session.SetCredentials(file));

  EXPECT_EQ(session.Connect(), tc.result);
  EXPECT_EQ(session.NativeError(), tc.nativeError);
  EXPECT_EQ(session.SqlState().str(), tc.sqlState);
  EXPECT_NE(session.MessageText().str().find(tc.messagePart), std::string::npos)
      << session.MessageText().str();
  if (tc.messagePart[0] == '\0') {
    EXPECT_EQ(session.MessageText().str(), "");
  }
  // A connected session can run the tenant query; a failed one cannot.
  EXPECT_EQ(session.SQLOpenQrv112Mnd() == 0, tc.result == 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, ConnectTest, ::testing::ValuesIn(kConnectCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A refused system makes no ODBC call: the diagnostics of the earlier
// failure stay, and an existing connection is kept.
// Passwords (and names) may hold the characters that separate the parts of
// an ODBC connection string, and blanks at their ends; they reach the server
// as they are.
TEST_F(DbTest, PasswordWithConnectionStringCharacters) {
  const std::string password = " a;b}c{d=e ";
  const std::string create = server_.SqlTool() +
                             " -e \"CREATE USER IF NOT EXISTS 'spk;odd'@localhost IDENTIFIED BY '" +
                             password + "'; GRANT ALL ON QRVYSTEM.* TO 'spk;odd'@localhost\"";
  ASSERT_EQ(std::system(create.c_str()), 0);
  Credentials c = Defaults();
  c.login = "spk;odd";
  c.password = password;
  CredentialsFile file;
  WriteCredentials(file, c);
  DbSession session;
  session.SetCredentials(file);
  EXPECT_EQ(session.Connect(), 0) << session.MessageText().str();
  c.password = " a;b}c{d=e";
  WriteCredentials(file, c);
  EXPECT_EQ(session.Connect(), 1045);
  // Without the blanks, through the connection string.
  const std::string alter = server_.SqlTool() +
                            " -e \"ALTER USER 'spk;odd'@localhost IDENTIFIED BY 'a;b}c{d=e'\"";
  ASSERT_EQ(std::system(alter.c_str()), 0);
  c.password = "a;b}c{d=e";
  WriteCredentials(file, c);
  EXPECT_EQ(session.Connect(), 0) << session.MessageText().str();
  const std::string drop = server_.SqlTool() + " -e \"DROP USER IF EXISTS 'spk;odd'@localhost\"";
  EXPECT_EQ(std::system(drop.c_str()), 0);
}

TEST_F(DbTest, RefusedSystemLeavesDiagnosticsAndConnectionAlone) {
  CredentialsFile file;
  DbSession session;
  session.SetCredentials(file);
  Credentials bad = Defaults();
  bad.password = "wrong";
  WriteCredentials(file, bad);
  ASSERT_EQ(session.Connect(), 1045);
  WriteCredentials(file, Defaults());
  ASSERT_EQ(session.Connect(), 0);

  Credentials lower = Defaults();
  lower.system = "mysql";
  WriteCredentials(file, lower);
  EXPECT_EQ(session.Connect(), -1);
  EXPECT_EQ(session.NativeError(), 1045);
  EXPECT_EQ(session.SqlState().str(), "28000");
  EXPECT_NE(session.MessageText().str().find("Access denied"), std::string::npos);
  EXPECT_EQ(session.SQLOpenQrv112Mnd(), 0);
}

// A second Connect releases the first connection together with its open
// tenant query.
TEST_F(DbTest, ReconnectClosesTheTenantQuery) {
  ExecOrFail("INSERT INTO qrvystem.qrv112mnd VALUES ('L1','1','a@x','S1',0)");
  CredentialsFile file;
  DbSession session;
  Connect(session, file);
  ASSERT_EQ(session.SQLOpenQrv112Mnd(), 0);
  ASSERT_EQ(session.Connect(), 0);
  CString a("keep"), b("keep"), c("keep"), d("keep");
  EXPECT_EQ(session.SQLFetchQrv112Mnd(a, b, c, d), -1);
  EXPECT_EQ(session.SQLOpenQrv112Mnd(), 0);
  EXPECT_EQ(session.SQLFetchQrv112Mnd(a, b, c, d), 0);
  EXPECT_EQ(b.str(), "1");
}

// --- Schema name ---------------------------------------------------------------

struct SchemaCase {
  const char* schema;
  const char* system;
  const char* expected;
};

void PrintTo(const SchemaCase& c, std::ostream* os) { *os << c.system << " " << c.schema; }

class SchemaTest : public DbTest, public ::testing::WithParamInterface<SchemaCase> {};

TEST_P(SchemaTest, OneTrailingFullStopIsDropped) {
  Credentials c = Defaults();
  c.schema = GetParam().schema;
  c.system = GetParam().system;
  CredentialsFile file;
  WriteCredentials(file, c);
  DbSession session;
  session.SetCredentials(file);
  session.Connect();
  EXPECT_EQ(session.SchemaName().str(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SchemaTest,
    ::testing::Values(SchemaCase{"QRVYSTEM", "MYSQL", "QRVYSTEM"},
                      SchemaCase{"QRVYSTEM.", "MYSQL", "QRVYSTEM"},
                      SchemaCase{"QRVYSTEM..", "MYSQL", "QRVYSTEM."},
                      SchemaCase{".", "MYSQL", ""}, SchemaCase{"", "MYSQL", ""},
                      SchemaCase{"A.B", "MYSQL", "A.B"},
                      // Read before the system is checked.
                      SchemaCase{"QRVYSTEM.", "mysql", "QRVYSTEM"}));

TEST_F(DbTest, SchemaIsReadOnlyWhileEmpty) {
  Credentials c = Defaults();
  c.schema = "FIRST.";
  CredentialsFile file;
  WriteCredentials(file, c);
  DbSession session;
  session.SetCredentials(file);
  ASSERT_EQ(session.Connect(), 0);
  c.schema = "SECOND";
  WriteCredentials(file, c);
  ASSERT_EQ(session.Connect(), 0);
  EXPECT_EQ(session.SchemaName().str(), "FIRST");
}

// --- Tenant query --------------------------------------------------------------

const std::string kAddress60 = std::string(48, 'n') + "@example.com";

struct TenantCase {
  const char* name;
  std::vector<std::string> rows;  // VALUES tuples (MNDLIZ, MNDNUM, MNDEML, MNDSCH, MNDKON)
  int32_t result;
  std::vector<std::string> expected;  // licence, tenant, e-mail, schema
};

void PrintTo(const TenantCase& c, std::ostream* os) { *os << c.name; }

const TenantCase kTenantCases[] = {
    {"LowestMatchingNumber",
     {"('L0001','30','a@x','S30',0)", "('L0002','10','b@x','S10',0)",
      "('L0003','05','c@x',NULL,0)", "('L0004','01','d@x','S01',1)",
      "('L0005','20','e@x','S20',0)"},
     0,
     {"L0002", "10", "b@x", "S10"}},
    {"OnlyNonMatchingRows",
     {"('L0003','05','c@x',NULL,0)", "('L0004','01','d@x','S01',1)",
      "('L0006','02','f@x','S02',-1)"},
     100,
     {"keep", "keep", "keep", "keep"}},
    {"EmptyTable", {}, 100, {"keep", "keep", "keep", "keep"}},
    {"LongAddressIsCut",
     {"('L0001','1','" + kAddress60 + "','S1',0)"},
     0,
     {"L0001", "1", std::string(48, 'n') + "@e", "S1"}},
    {"NullColumnsGiveEmptyTexts", {"(NULL,'7',NULL,'S7',0)"}, 0, {"", "7", "", "S7"}},
    {"Windows1252Bytes", {"('L\xFC','8','m\xFCller@x','SCH\xC4',0)"}, 0,
     {"L\xFC", "8", "m\xFCller@x", "SCH\xC4"}},
};

class TenantFetchTest : public DbTest, public ::testing::WithParamInterface<TenantCase> {};

TEST_P(TenantFetchTest, FetchesTheFirstTenant) {
  const TenantCase& tc = GetParam();
  for (const std::string& row : tc.rows) ExecOrFail("INSERT INTO qrvystem.qrv112mnd VALUES " + row);
  CredentialsFile file;
  DbSession session;
  Connect(session, file);

  ASSERT_EQ(session.SQLOpenQrv112Mnd(), 0) << session.MessageText().str();
  CString licence("keep"), tenant("keep"), email("keep"), schema("keep");
  EXPECT_EQ(session.SQLFetchQrv112Mnd(licence, tenant, email, schema), tc.result);
  EXPECT_EQ(std::vector<std::string>({licence.str(), tenant.str(), email.str(), schema.str()}),
            tc.expected);
  EXPECT_EQ(session.SQLCloseQrv112Mnd(), 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, TenantFetchTest, ::testing::ValuesIn(kTenantCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DbTest, TenantQueryLifecycle) {
  ExecOrFail("INSERT INTO qrvystem.qrv112mnd VALUES ('L1','1','a@x','S1',0)");
  CredentialsFile file;
  DbSession session;
  Connect(session, file);
  CString a("keep"), b("keep"), c("keep"), d("keep");

  EXPECT_EQ(session.SQLCloseQrv112Mnd(), 0);  // nothing open
  EXPECT_EQ(session.SQLFetchQrv112Mnd(a, b, c, d), -1);
  EXPECT_EQ(a.str() + b.str() + c.str() + d.str(), "keepkeepkeepkeep");

  ASSERT_EQ(session.SQLOpenQrv112Mnd(), 0);
  EXPECT_EQ(session.SQLFetchQrv112Mnd(a, b, c, d), 0);
  // After the one row: no data, the query stays open and says so again.
  CString e("keep");
  EXPECT_EQ(session.SQLFetchQrv112Mnd(e, e, e, e), 100);
  EXPECT_EQ(session.SQLFetchQrv112Mnd(e, e, e, e), 100);
  EXPECT_EQ(e.str(), "keep");
  // Opening again starts over.
  ASSERT_EQ(session.SQLOpenQrv112Mnd(), 0);
  EXPECT_EQ(session.SQLFetchQrv112Mnd(a, b, c, d), 0);
  EXPECT_EQ(session.SQLCloseQrv112Mnd(), 0);
  EXPECT_EQ(session.SQLFetchQrv112Mnd(a, b, c, d), -1);
  EXPECT_EQ(session.SQLCloseQrv112Mnd(), 0);
}

TEST_F(DbTest, TenantQueryFailsWithoutItsTable) {
  CredentialsFile file;
  DbSession session;
  Connect(session, file);
  ExecOrFail("RENAME TABLE qrvystem.qrv112mnd TO qrvystem.qrv112mnd_away");
  const int32_t result = session.SQLOpenQrv112Mnd();
  ExecOrFail("RENAME TABLE qrvystem.qrv112mnd_away TO qrvystem.qrv112mnd");

  EXPECT_EQ(result, 1146);
  EXPECT_EQ(session.NativeError(), 1146);
  EXPECT_EQ(session.SqlState().str(), "42S02");
  EXPECT_NE(session.MessageText().str().find("qrv112mnd"), std::string::npos);
  // The failed statement was freed.
  CString a;
  EXPECT_EQ(session.SQLFetchQrv112Mnd(a, a, a, a), -1);
}

TEST_F(DbTest, TenantQueryNeedsAConnection) {
  DbSession session;
  EXPECT_EQ(session.SQLOpenQrv112Mnd(), -1);
  CString a("keep");
  EXPECT_EQ(session.SQLFetchQrv112Mnd(a, a, a, a), -1);
  EXPECT_EQ(a.str(), "keep");
}

}  // namespace
}  // namespace spekolar::spktest
