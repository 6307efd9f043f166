// The one ODBC session of the run.
//
// DbConnection holds the connection and the diagnostic values of the last
// failing step; DbSession adds the tenant query and the message operations.
// Results are signed integers: 0 success, -1 when a handle cannot be
// allocated or a precondition fails, 100 for no data, otherwise the native
// error code of the first diagnostic record (or -1 if that code is 0). After a
// failure NativeError, SqlState and MessageText hold that record.
#pragma once

#ifdef _WIN32
#include "platform/WindowsHeaders.h"  // the ODBC headers need it first
#endif
#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <functional>

#include "db/MessageRecord.h"
#include "text/CString.h"

namespace spekolar {

class CredentialsFile;

class DbConnection {
 public:
  DbConnection() = default;
  virtual ~DbConnection();
  DbConnection(const DbConnection&) = delete;
  DbConnection& operator=(const DbConnection&) = delete;

  // A pass is started by a timer; a server that stops answering (frozen,
  // or gone without closing its connections) must end it with the step's
  // failure, not hold it forever. Seconds a login may take, and seconds a
  // statement may wait for the server.
  static constexpr int kLoginTimeoutSeconds = 5;
  static constexpr int kQueryTimeoutSeconds = 10;

  // Keeps a reference to the credentials (not owned). Always true.
  bool SetCredentials(const CredentialsFile& credentials);
  // Reads DB_SYSTEM, SCHEMA (while the schema name is empty), DATABASE,
  // LOGIN and PASS, and connects to the data source. -1 for a database
  // system other than exactly "ORACLE", "MSSQL" or "MYSQL" (no ODBC call, the
  // diagnostics untouched) or a failed handle allocation; on a failed
  // connect the native code, or -1. The password lives only in local texts
  // that are overwritten right after the connect call.
  //
  // Time-outs: the login time-out is set as the connection attribute
  // SQL_ATTR_LOGIN_TIMEOUT (honoured by the ORACLE and MSSQL drivers). The
  // MariaDB and MySQL drivers ignore it and the statement time-out alike,
  // so for "MYSQL" the connect goes through SQLDriverConnect with the data
  // source, login and password and their own time-out keywords
  // (CONN_TIMEOUT, READ_TIMEOUT, WRITE_TIMEOUT), which also bound every
  // later read from the server. A time-out fails the step with the
  // driver's diagnostics (2013, 08S01 "Lost connection" for MariaDB). The
  // driver trims the values of a connection string, so a data source,
  // login or password with blanks at an end goes through SQLConnect, as
  // before, without the driver's time-outs.
  int32_t Connect();
  // Tests: shorter time-outs (seconds, at least 1) for the next Connect.
  void SetTimeoutsForTesting(int loginSeconds, int querySeconds);

  // Whether the latest Connect succeeded (the connection may have been lost
  // since; the next statement will say so).
  bool Connected() const { return connected_; }

  int32_t NativeError() const { return nativeError_; }
  CString SqlState() const { return sqlState_; }
  CString MessageText() const { return messageText_; }
  const CString& DbSystem() const { return dbSystem_; }
  const CString& SchemaName() const { return schema_; }

  // Reads record 1 of the handle's diagnostics into the three values
  // (cleared first; left empty and 0 when there is none).
  void ReadDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle);

 protected:
  // Releases the connection and the environment, if any. A statement that a
  // derived class registered in ownedStatement_ is freed first, since
  // disconnecting invalidates it.
  void Release();

  int32_t status_ = 0;
  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  CString dbSystem_;
  CString sqlState_;
  CString messageText_;
  CString schema_;
  CString dataSource_;
  CString login_;
  int32_t nativeError_ = 0;
  const CredentialsFile* credentials_ = nullptr;
  bool connected_ = false;
  int loginTimeout_ = kLoginTimeoutSeconds;
  int queryTimeout_ = kQueryTimeoutSeconds;

  // Allocates a statement on the connection with the statement time-out
  // set; false (with the connection's diagnostics read) when none could be
  // allocated.
  bool AllocateStatement(SQLHSTMT* stmt);

  // Set by DbSession to its tenant statement so that a new Connect does not
  // leave a stale handle behind.
  SQLHSTMT* ownedStatement_ = nullptr;
};

class DbSession : public DbConnection {
 public:
  DbSession() { ownedStatement_ = &tenantStmt_; }
  // The tenant statement is left to the disconnect of ~DbConnection, which
  // frees every statement of the connection.
  ~DbSession() override = default;

  // Opens the tenant query. 0; -1 when no statement could be allocated; the
  // native code (or -1) on a failed execution.
  int32_t SQLOpenQrv112Mnd();
  // Fetches one row of the tenant query into the four outputs, each cut to
  // 5, 5, 50 and 20 characters (a cut value still counts as success; a NULL
  // gives the empty text). 0 with a row; 100 without one (outputs untouched,
  // the query stays open); -1 when no query is open; on a failed fetch the
  // native code (or the fetch's result code), and the query is closed.
  int32_t SQLFetchQrv112Mnd(CString& licence, CString& tenant, CString& email, CString& schema);
  // Frees the tenant statement if any. Always 0.
  int32_t SQLCloseQrv112Mnd();

  // Builds "Spekolar_" + 14-digit stamp + "." + count of the program's
  // earlier rows. Returns the fetch's result code; -1 or the native code
  // when the count could not be run, leaving `uid` as it was.
  int32_t MakeMessageUid(CString& uid);
  // Inserts the record. 0 (or 1, success with information); -1 when no
  // statement could be allocated; the native code (or -1) on failure.
  int32_t InsertMessage(MessageRecord record);

  // The statement text InsertMessage executes for `record`, in the form of
  // the database system ("MYSQL" has its own blanks). The single place where
  // values are made safe: each text field is taken up to its terminator or
  // its width, whichever comes first, and only then escaped, so an escape is
  // never split; a single quote is doubled, and for "MYSQL", where a
  // backslash escapes inside a literal, so is a backslash. Other bytes
  // (Windows-1252 above 0x7F included) pass unchanged.
  CString BuildInsertStatement(const MessageRecord& record) const;

  // A dry run: with a sink, InsertMessage hands the record and the
  // statement it would execute to the sink instead of executing it, and
  // returns 0; the connection, the tenant query and the id count still run,
  // and MakeMessageUid counts the rows handed over as stored, so the ids
  // are those a real pass would give. An empty function executes again.
  using InsertSink = std::function<void(const MessageRecord& record, const CString& statement)>;
  void SetInsertSink(InsertSink sink) { insertSink_ = std::move(sink); }

 private:
  SQLHSTMT tenantStmt_ = SQL_NULL_HSTMT;
  InsertSink insertSink_;
  long sunkInserts_ = 0;
};

}  // namespace spekolar
