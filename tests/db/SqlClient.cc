#include "db/SqlClient.h"

namespace spekolar::spktest {

namespace {

SQLCHAR* Text(const std::string& s) {
  return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s.c_str()));
}

// Frees a statement handle when the scope ends.
struct Statement {
  SQLHSTMT handle = SQL_NULL_HSTMT;
  ~Statement() {
    if (handle != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, handle);
  }
};

}  // namespace

SqlClient::~SqlClient() {
  if (dbc_ != SQL_NULL_HDBC) {
    SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
  }
  if (env_ != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, env_);
}

void SqlClient::SetError(SQLSMALLINT type, SQLHANDLE handle, const std::string& what) {
  SQLCHAR state[6] = {};
  SQLCHAR message[1024] = {};
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  SQLGetDiagRec(type, handle, 1, state, &native, message, sizeof message, &length);
  lastError_ = what + ": [" + reinterpret_cast<char*>(state) + "] " + std::to_string(native) +
               " " + reinterpret_cast<char*>(message);
}

bool SqlClient::Connect(const std::string& dsn, const std::string& user,
                        const std::string& password) {
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_))) {
    lastError_ = "no environment handle";
    return false;
  }
  SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_))) {
    lastError_ = "no connection handle";
    return false;
  }
  if (!SQL_SUCCEEDED(SQLConnect(dbc_, Text(dsn), SQL_NTS, Text(user), SQL_NTS, Text(password),
                                SQL_NTS))) {
    SetError(SQL_HANDLE_DBC, dbc_, "connect to " + dsn);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    dbc_ = SQL_NULL_HDBC;
    return false;
  }
  return true;
}

bool SqlClient::Exec(const std::string& sql) {
  Statement stmt;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt.handle))) {
    lastError_ = "no statement handle";
    return false;
  }
  const SQLRETURN rc = SQLExecDirect(stmt.handle, Text(sql), SQL_NTS);
  if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) {
    SetError(SQL_HANDLE_STMT, stmt.handle, sql);
    return false;
  }
  return true;
}

std::vector<SqlRow> SqlClient::Query(const std::string& sql) {
  std::vector<SqlRow> rows;
  Statement stmt;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt.handle))) {
    lastError_ = "no statement handle";
    return rows;
  }
  if (!SQL_SUCCEEDED(SQLExecDirect(stmt.handle, Text(sql), SQL_NTS))) {
    SetError(SQL_HANDLE_STMT, stmt.handle, sql);
    return rows;
  }
  SQLSMALLINT columns = 0;
  SQLNumResultCols(stmt.handle, &columns);
  while (SQL_SUCCEEDED(SQLFetch(stmt.handle))) {
    SqlRow row;
    for (SQLUSMALLINT c = 1; c <= columns; ++c) {
      // Binary, so the bytes arrive without a terminator to account for;
      // read in pieces until the column is exhausted.
      std::string value;
      bool isNull = false;
      for (;;) {
        char buf[4096];
        SQLLEN indicator = 0;
        const SQLRETURN rc = SQLGetData(stmt.handle, c, SQL_C_BINARY, buf, sizeof buf, &indicator);
        if (rc == SQL_NO_DATA) break;
        if (!SQL_SUCCEEDED(rc)) {
          SetError(SQL_HANDLE_STMT, stmt.handle, "read column of " + sql);
          return {};
        }
        if (indicator == SQL_NULL_DATA) {
          isNull = true;
          break;
        }
        const size_t got = (indicator == SQL_NO_TOTAL || indicator > SQLLEN(sizeof buf))
                               ? sizeof buf
                               : static_cast<size_t>(indicator);
        value.append(buf, got);
        if (rc == SQL_SUCCESS) break;
      }
      row.push_back(isNull ? SqlValue() : SqlValue(value));
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

std::string SqlClient::Scalar(const std::string& sql) {
  const std::vector<SqlRow> rows = Query(sql);
  if (rows.empty() || rows[0].empty() || !rows[0][0]) return "<none>";
  return *rows[0][0];
}

}  // namespace spekolar::spktest
