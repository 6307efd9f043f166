// A plain ODBC client for the tests: sets up and inspects the tables that
// the code under test reads and writes, on a connection of its own.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <optional>
#include <string>
#include <vector>

namespace spekolar::spktest {

using SqlValue = std::optional<std::string>;  // nullopt for NULL
using SqlRow = std::vector<SqlValue>;

class SqlClient {
 public:
  SqlClient() = default;
  ~SqlClient();
  SqlClient(const SqlClient&) = delete;
  SqlClient& operator=(const SqlClient&) = delete;

  // Connects to the data source; false with LastError() on failure.
  bool Connect(const std::string& dsn, const std::string& user, const std::string& password);
  // Runs a statement that returns no rows. The bytes of `sql` go to the
  // server unchanged (latin1 connection).
  bool Exec(const std::string& sql);
  // Runs a query and returns every row, each column as its bytes. An empty
  // result on failure, with LastError() set.
  std::vector<SqlRow> Query(const std::string& sql);
  // The first column of the first row, or "<none>" when there is none.
  std::string Scalar(const std::string& sql);

  const std::string& LastError() const { return lastError_; }

 private:
  void SetError(SQLSMALLINT type, SQLHANDLE handle, const std::string& what);

  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  std::string lastError_;
};

}  // namespace spekolar::spktest
