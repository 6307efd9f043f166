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

#include "db/MessageRecord.h"
#include "text/CString.h"

class CredentialsFile;

class DbConnection {
 public:
  DbConnection() = default;
  virtual ~DbConnection();
  DbConnection(const DbConnection&) = delete;
  DbConnection& operator=(const DbConnection&) = delete;

  // Keeps a reference to the credentials (not owned). Always true.
  bool SetCredentials(const CredentialsFile& credentials);
  // Reads DB_SYSTEM, SCHEMA (while the schema name is empty), DATABASE,
  // LOGIN and PASS, and connects to the data source. -1 for a database
  // system other than exactly "ORACLE", "MSSQL" or "MYSQL" (no ODBC call, the
  // diagnostics untouched) or a failed handle allocation; on a failed
  // connect the native code, or -1. The password lives only in a local text
  // that is overwritten right after SQLConnect.
  int32_t Connect();

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

 private:
  SQLHSTMT tenantStmt_ = SQL_NULL_HSTMT;
};
