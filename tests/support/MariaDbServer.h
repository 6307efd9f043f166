// Access to the private MariaDB server of the test run.
//
// tests/support/mariadb-start.sh DIR starts the server and writes DIR/env;
// ctest passes DIR to the tests in SPK_MARIADB_DIR (fixture "mariadb").
// LoadMariaDbServer reads that file and exports ODBCINI, so that the ODBC
// driver manager finds the data source DSN. Run a test binary by hand with
//   bash tests/support/mariadb-start.sh /tmp/db && SPK_MARIADB_DIR=/tmp/db ./db_tests
#pragma once

#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

namespace spekolar::spktest {

struct MariaDbServer {
  std::string dir;
  std::map<std::string, std::string> values;  // the KEY=value lines of DIR/env

  std::string Get(const std::string& key) const {
    auto it = values.find(key);
    return it == values.end() ? std::string() : it->second;
  }
  std::string Dsn() const { return Get("DSN"); }
  std::string User() const { return Get("USER"); }
  std::string Password() const { return Get("PASSWORD"); }
  std::string SqlTool() const { return Get("SQL"); }
};

// False with `error` set when SPK_MARIADB_DIR is unset or DIR/env is missing
// or incomplete (the server was not started).
inline bool LoadMariaDbServer(MariaDbServer* server, std::string* error) {
  const char* dir = std::getenv("SPK_MARIADB_DIR");
  if (dir == nullptr || *dir == '\0') {
    *error = "SPK_MARIADB_DIR is not set: run the test through ctest (fixture mariadb) or start "
             "tests/support/mariadb-start.sh DIR and set SPK_MARIADB_DIR=DIR";
    return false;
  }
  server->dir = dir;
  server->values.clear();
  std::ifstream in(server->dir + "/env");
  std::string line;
  while (std::getline(in, line)) {
    const size_t eq = line.find('=');
    if (eq != std::string::npos) server->values[line.substr(0, eq)] = line.substr(eq + 1);
  }
  for (const char* key : {"ODBCINI", "DSN", "USER", "PASSWORD"}) {
    if (server->Get(key).empty()) {
      *error = server->dir + "/env lacks " + key + ": the MariaDB server is not running";
      return false;
    }
  }
  setenv("ODBCINI", server->Get("ODBCINI").c_str(), 1);
  return true;
}

}  // namespace spekolar::spktest
