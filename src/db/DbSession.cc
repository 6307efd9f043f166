#include "db/DbSession.h"

#include <cctype>
#include <cstring>
#include <string>

#include "config/CredentialsFile.h"
#include "platform/Env.h"
#include "platform/TimeText.h"

namespace spekolar {

namespace {

// Executed as it stands, blanks included.
const char kTenantQuery[] =
    " SELECT  MNDLIZ, MNDNUM, MNDEML, MNDSCH  FROM   qrvystem.qrv112mnd   WHERE MNDKON = 0 AND "
    "MNDSCH is not NULL     ORDER BY MNDNUM ASC";

// A format without arguments: its "%%" becomes one percent sign.
const char kCountFormat[] =
    "SELECT COUNT(*) FROM QRVYSTEM.QRV200MSG  WHERE MsgUid like 'Spekolar_%%'";

const char kInsertFormatOracleMssql[] =
    "INSERT INTO QRVYSTEM.QRV200MSG  (MsgTnr, MsgTxt, MsgLnk, MsgMod,  MsgSrc, MsgSch, MsgCat, "
    "MsgAdr,  MsgBer, MsgPri, MsgTyp, MsgBrk,  MsgVal, MsgDbg, MsgMnd, MsgLiz,  MsgTin, MsgSts, "
    "MsgErf, MsgDat,  MsgUid)  VALUES ('%ld', '%s', '%s','%s', '%s', '%s',  '%s','%s', '%s', "
    "'%ld','%s', '%s', '%ld', '%s', '%s','%s',  '%s', '%ld','%s', Current_Timestamp,  '%s')";

const char kInsertFormatMysql[] =
    "INSERT INTO QRVYSTEM.QRV200MSG  (MsgTnr, MsgTxt, MsgLnk, MsgMod,  MsgSrc, MsgSch, MsgCat, "
    "MsgAdr,  MsgBer, MsgPri, MsgTyp, MsgBrk,  MsgVal, MsgDbg, MsgMnd, MsgLiz,  MsgTin, MsgSts, "
    "MsgErf, MsgDat,  MsgUid)  VALUES ('%ld', '%s', '%s', '%s', '%s',  '%s', '%s', '%s', '%s',  "
    "'%ld','%s', '%s', '%ld', '%s', '%s', '%s', '%s',  '%ld','%s', Current_Timestamp, '%s')";

bool Succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// A value in an ODBC connection string: as it stands, or in braces (with
// '}' doubled) when it holds characters that would end or split it.
std::string ConnectionValue(const CString& value) {
  const std::string& text = value.str();
  const bool plain = text.find_first_of(";{}=") == std::string::npos &&
                     (text.empty() || (text.front() != ' ' && text.back() != ' '));
  if (plain) return text;
  std::string braced = "{";
  for (char c : text) {
    braced += c;
    if (c == '}') braced += '}';
  }
  return braced + "}";
}

// SQL_INVALID_HANDLE carries no diagnostics but is as much a failure.
bool IsError(SQLRETURN rc) { return rc == SQL_ERROR || rc == SQL_INVALID_HANDLE; }

SQLCHAR* Sql(const CString& text) {
  return reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.c_str()));
}

// Overwrites the bytes of a secret before the text is emptied. The volatile
// writes keep the compiler from dropping the stores as dead.
void Wipe(std::string& secret) {
  volatile char* bytes = secret.data();
  for (size_t i = 0; i < secret.size(); ++i) bytes[i] = '\0';
  secret.clear();
}

void Wipe(CString& secret) { Wipe(secret.str()); }

// A field's text up to its terminator or its width, whichever comes first,
// as a literal body: quotes doubled, and backslashes too where the server
// reads them as escapes. Cutting happens before escaping, so a doubled
// character is never split.
template <size_t N>
CString Literal(const char (&field)[N], bool backslashEscapes) {
  const size_t length = strnlen(field, N - 1);
  std::string out;
  out.reserve(length + 8);
  for (size_t i = 0; i < length; ++i) {
    const char c = field[i];
    if (c == '\'' || (backslashEscapes && c == '\\')) out += c;
    out += c;
  }
  return CString(std::move(out));
}

// The text of a bound character buffer. A driver that cuts a long value may
// fill the buffer to its last byte without a terminator (MariaDB
// Connector/ODBC does), so the text ends at the terminator or one byte
// before the end of the buffer, whichever comes first.
template <size_t N>
CString BufferText(const char (&buffer)[N]) {
  return CString(buffer, strnlen(buffer, N - 1));
}

}  // namespace

// --- DbConnection -----------------------------------------------------------

DbConnection::~DbConnection() {
  if (dbc_ != SQL_NULL_HDBC) {
    SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
  }
  if (env_ != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, env_);
}

bool DbConnection::SetCredentials(const CredentialsFile& credentials) {
  credentials_ = &credentials;
  return true;
}

void DbConnection::Release() {
  if (ownedStatement_ != nullptr && *ownedStatement_ != SQL_NULL_HSTMT) {
    SQLFreeHandle(SQL_HANDLE_STMT, *ownedStatement_);
    *ownedStatement_ = SQL_NULL_HSTMT;
  }
  if (dbc_ != SQL_NULL_HDBC) {
    SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    dbc_ = SQL_NULL_HDBC;
  }
  if (env_ != SQL_NULL_HENV) {
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
    env_ = SQL_NULL_HENV;
  }
}

int32_t DbConnection::Connect() {
  dbSystem_ = credentials_ ? credentials_->GetDbSystem() : CString();
  if (schema_.IsEmpty()) {
    schema_ = credentials_ ? credentials_->GetSchema() : CString();
    if (schema_.GetLength() > 0 && schema_.GetAt(schema_.GetLength() - 1) == '.') {
      schema_ = schema_.Left(schema_.GetLength() - 1);
    }
  }
  if (!IsKnownDbSystem(dbSystem_)) return -1;

  status_ = 0;
  connected_ = false;
  Release();

  SQLHANDLE handle = SQL_NULL_HANDLE;
  if (!Succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &handle))) return -1;
  env_ = handle;
  SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3),
                SQL_IS_INTEGER);
  handle = SQL_NULL_HANDLE;
  if (!Succeeded(SQLAllocHandle(SQL_HANDLE_DBC, env_, &handle))) return -1;
  dbc_ = handle;

  SQLSetConnectAttr(dbc_, SQL_ATTR_LOGIN_TIMEOUT,
                    reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(loginTimeout_)), SQL_IS_UINTEGER);

  dataSource_ = credentials_->GetDatabase();
  login_ = credentials_->GetLogin();
  CString password = credentials_->GetPassword();
  SQLRETURN rc;
  // The MariaDB driver trims the values of a connection string: a value
  // with blanks at an end only passes unchanged through SQLConnect (which
  // then connects without the driver's time-outs).
  auto trimmedByDriver = [](const CString& v) {
    return !v.IsEmpty() && (std::isspace(static_cast<unsigned char>(v.str().front())) ||
                            std::isspace(static_cast<unsigned char>(v.str().back())));
  };
  if (dbSystem_ == "MYSQL" && !trimmedByDriver(dataSource_) && !trimmedByDriver(login_) &&
      !trimmedByDriver(password)) {
    std::string connection = "DSN=" + ConnectionValue(dataSource_) + ";UID=" +
                             ConnectionValue(login_) + ";PWD=" + ConnectionValue(password) +
                             CString::Formatted(";CONN_TIMEOUT=%d;READ_TIMEOUT=%d;WRITE_TIMEOUT=%d",
                                                loginTimeout_, queryTimeout_, queryTimeout_)
                                 .str();
    rc = SQLDriverConnect(dbc_, nullptr, reinterpret_cast<SQLCHAR*>(connection.data()), SQL_NTS,
                          nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    Wipe(connection);
  } else {
    rc = SQLConnect(dbc_, Sql(dataSource_), SQL_NTS, Sql(login_), SQL_NTS, Sql(password), SQL_NTS);
  }
  Wipe(password);

  connected_ = Succeeded(rc);
  if (rc == SQL_SUCCESS_WITH_INFO) {
    ReadDiagnostics(SQL_HANDLE_DBC, dbc_);
    return status_;
  }
  if (IsError(rc)) {
    ReadDiagnostics(SQL_HANDLE_DBC, dbc_);
    return nativeError_ != 0 ? nativeError_ : -1;
  }
  return status_;
}

void DbConnection::SetTimeoutsForTesting(int loginSeconds, int querySeconds) {
  loginTimeout_ = loginSeconds < 1 ? 1 : loginSeconds;
  queryTimeout_ = querySeconds < 1 ? 1 : querySeconds;
}

bool DbConnection::AllocateStatement(SQLHSTMT* stmt) {
  SQLHANDLE handle = SQL_NULL_HANDLE;
  if (!Succeeded(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &handle))) {
    ReadDiagnostics(SQL_HANDLE_DBC, dbc_);
    return false;
  }
  *stmt = handle;
  // The MariaDB driver would turn this into a server-side limit that a
  // MySQL server does not understand; its connection keywords bound the
  // wait instead (Connect).
  if (dbSystem_ != "MYSQL") {
    SQLSetStmtAttr(*stmt, SQL_ATTR_QUERY_TIMEOUT,
                   reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(queryTimeout_)), SQL_IS_UINTEGER);
  }
  return true;
}

void DbConnection::ReadDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle) {
  sqlState_.Empty();
  messageText_.Empty();
  nativeError_ = 0;

  SQLCHAR state[256] = {};
  SQLCHAR message[1000] = {};
  SQLINTEGER native = 0;
  SQLSMALLINT messageLength = 0;
  SQLGetDiagRec(handleType, handle, 1, state, &native, message, sizeof message, &messageLength);
  // The buffers are terminated even when the driver writes nothing or cuts
  // the message to the buffer.
  state[sizeof state - 1] = '\0';
  message[sizeof message - 1] = '\0';
  sqlState_ = CString(reinterpret_cast<const char*>(state));
  messageText_ = CString(reinterpret_cast<const char*>(message));
  nativeError_ = native;
}

// --- DbSession: tenant query ------------------------------------------------

int32_t DbSession::SQLOpenQrv112Mnd() {
  if (tenantStmt_ != SQL_NULL_HSTMT) {
    SQLFreeHandle(SQL_HANDLE_STMT, tenantStmt_);
    tenantStmt_ = SQL_NULL_HSTMT;
  }
  if (!AllocateStatement(&tenantStmt_)) return -1;
  SQLSetStmtAttr(tenantStmt_, SQL_ATTR_CURSOR_SCROLLABLE,
                 reinterpret_cast<SQLPOINTER>(SQL_NONSCROLLABLE), SQL_IS_INTEGER);
  SQLSetStmtAttr(tenantStmt_, SQL_ATTR_CONCURRENCY, reinterpret_cast<SQLPOINTER>(SQL_CONCUR_LOCK),
                 SQL_IS_INTEGER);

  const SQLRETURN rc = SQLExecDirect(tenantStmt_, Sql(kTenantQuery), SQL_NTS);
  if (IsError(rc)) {
    ReadDiagnostics(SQL_HANDLE_STMT, tenantStmt_);
    SQLFreeHandle(SQL_HANDLE_STMT, tenantStmt_);
    tenantStmt_ = SQL_NULL_HSTMT;
    return nativeError_ != 0 ? nativeError_ : -1;
  }
  if (rc == SQL_SUCCESS_WITH_INFO) {
    ReadDiagnostics(SQL_HANDLE_STMT, tenantStmt_);
    return 0;
  }
  return rc;
}

int32_t DbSession::SQLFetchQrv112Mnd(CString& licence, CString& tenant, CString& email,
                                     CString& schema) {
  char licenceBuf[6] = {};
  char tenantBuf[6] = {};
  char emailBuf[51] = {};
  char schemaBuf[21] = {};
  if (tenantStmt_ == SQL_NULL_HSTMT) return -1;

  SQLLEN indicator = 0;  // shared by the four columns and never read
  SQLBindCol(tenantStmt_, 1, SQL_C_CHAR, licenceBuf, sizeof licenceBuf, &indicator);
  SQLBindCol(tenantStmt_, 2, SQL_C_CHAR, tenantBuf, sizeof tenantBuf, &indicator);
  SQLBindCol(tenantStmt_, 3, SQL_C_CHAR, emailBuf, sizeof emailBuf, &indicator);
  SQLBindCol(tenantStmt_, 4, SQL_C_CHAR, schemaBuf, sizeof schemaBuf, &indicator);

  const SQLRETURN rc = SQLFetch(tenantStmt_);
  if (Succeeded(rc)) {
    // The bindings point into this frame; the statement stays open, so they
    // must not outlive the call.
    SQLFreeStmt(tenantStmt_, SQL_UNBIND);
    licence = BufferText(licenceBuf);
    tenant = BufferText(tenantBuf);
    email = BufferText(emailBuf);
    schema = BufferText(schemaBuf);
    return 0;
  }
  if (rc == SQL_NO_DATA) {
    SQLFreeStmt(tenantStmt_, SQL_UNBIND);
    return SQL_NO_DATA;
  }
  ReadDiagnostics(SQL_HANDLE_STMT, tenantStmt_);
  SQLFreeHandle(SQL_HANDLE_STMT, tenantStmt_);
  tenantStmt_ = SQL_NULL_HSTMT;
  return nativeError_ != 0 ? nativeError_ : rc;
}

int32_t DbSession::SQLCloseQrv112Mnd() {
  if (tenantStmt_ != SQL_NULL_HSTMT) {
    SQLFreeHandle(SQL_HANDLE_STMT, tenantStmt_);
    tenantStmt_ = SQL_NULL_HSTMT;
  }
  return 0;
}

// --- DbSession: message table -----------------------------------------------

int32_t DbSession::MakeMessageUid(CString& uid) {
  const CString stamp = platform::Stamp14(platform::GetEnv()->Now());

  SQLHSTMT stmt = SQL_NULL_HSTMT;
  if (!AllocateStatement(&stmt)) return -1;
  CString statement;
  statement.Format(kCountFormat);
  const SQLRETURN execRc = SQLExecDirect(stmt, Sql(statement), SQL_NTS);
  if (IsError(execRc)) {
    ReadDiagnostics(SQL_HANDLE_STMT, stmt);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return nativeError_ != 0 ? nativeError_ : -1;
  }

  SQLINTEGER count = 0;
  SQLLEN indicator = -1;
  SQLBindCol(stmt, 1, SQL_C_LONG, &count, sizeof count, &indicator);
  const SQLRETURN fetchRc = SQLFetch(stmt);

  uid = "Spekolar_" + stamp + ".0";
  if (fetchRc == SQL_SUCCESS) {
    uid = "Spekolar_" + stamp + CString::Formatted(".%ld", long{count} + sunkInserts_);
  }

  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  return fetchRc;
}

CString DbSession::BuildInsertStatement(const MessageRecord& r) const {
  const bool mysql = dbSystem_ == "MYSQL";
  auto text = [mysql](const auto& field) { return Literal(field, mysql); };
  CString statement;
  statement.Format(mysql ? kInsertFormatMysql : kInsertFormatOracleMssql, long{r.MsgTnr},
                   text(r.MsgTxt).c_str(), text(r.MsgLnk).c_str(), text(r.MsgMod).c_str(),
                   text(r.MsgSrc).c_str(), text(r.MsgSch).c_str(), text(r.MsgCat).c_str(),
                   text(r.MsgAdr).c_str(), text(r.MsgBer).c_str(), long{r.MsgPri},
                   text(r.MsgTyp).c_str(), text(r.MsgBrk).c_str(), long{r.MsgVal},
                   text(r.MsgDbg).c_str(), text(r.MsgMnd).c_str(), text(r.MsgLiz).c_str(),
                   text(r.MsgTin).c_str(), long{r.MsgSts}, text(r.MsgErf).c_str(),
                   text(r.MsgUid).c_str());
  return statement;
}

int32_t DbSession::InsertMessage(MessageRecord record) {
  if (insertSink_) {
    insertSink_(record, BuildInsertStatement(record));
    ++sunkInserts_;
    return 0;
  }
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  if (!AllocateStatement(&stmt)) return -1;
  const CString statement = BuildInsertStatement(record);
  const SQLRETURN rc = SQLExecDirect(stmt, Sql(statement), SQL_NTS);
  if (IsError(rc)) {
    ReadDiagnostics(SQL_HANDLE_STMT, stmt);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return nativeError_ != 0 ? nativeError_ : -1;
  }
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  return rc;
}

}  // namespace spekolar
