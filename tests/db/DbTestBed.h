// Shared set-up of the database tests: the private MariaDB server of the
// run, empty product tables, a fresh program state and a credentials file
// written with the product's encryption.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "config/Blowfish.h"
#include "config/CredentialsFile.h"
#include "db/DbSession.h"
#include "db/SqlClient.h"
#include "state/ProgramState.h"
#include "support/Bytes.h"
#include "support/MariaDbServer.h"
#include "support/TempDir.h"

namespace spekolar::spktest {

// The five access values; empty means the line is left out of the file.
struct Credentials {
  std::string system = "MYSQL";
  std::string database;  // the fixture's DSN unless set
  std::string login;     // the fixture's user unless set
  std::string password;  // the fixture's password unless set
  std::string schema = "QRVYSTEM";
};

class DbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(LoadMariaDbServer(&server_, &error)) << error;
    ASSERT_TRUE(sql_.Connect(server_.Dsn(), server_.User(), server_.Password()))
        << sql_.LastError();
    // Undo what an earlier test may have left when it failed half-way.
    sql_.Exec("RENAME TABLE QRVYSTEM.qrv112mnd_away TO QRVYSTEM.qrv112mnd");
    sql_.Exec("RENAME TABLE QRVYSTEM.qrv200msg_away TO QRVYSTEM.qrv200msg");
    ASSERT_TRUE(sql_.Exec("DROP TRIGGER IF EXISTS QRVYSTEM.refuse_message")) << sql_.LastError();
    ASSERT_TRUE(sql_.Exec("ALTER TABLE QRVYSTEM.QRV200MSG DROP CONSTRAINT IF EXISTS refuse_value"))
        << sql_.LastError();
    ASSERT_TRUE(sql_.Exec("DELETE FROM QRVYSTEM.QRV200MSG")) << sql_.LastError();
    ASSERT_TRUE(sql_.Exec("DELETE FROM qrvystem.qrv112mnd")) << sql_.LastError();
    ResetProgramState();
  }

  void TearDown() override { ResetProgramState(); }

  Credentials Defaults() const {
    Credentials c;
    c.database = server_.Dsn();
    c.login = server_.User();
    c.password = server_.Password();
    return c;
  }

  // Writes the credentials file as the product does (encrypted values among
  // other lines) and points `file` at it.
  void WriteCredentials(CredentialsFile& file, const Credentials& c) {
    std::string text = "[DATENBANK]\nPVN;OTHER;0011223344556677\n";
    auto line = [&text](const char* key, const std::string& value) {
      if (!value.empty()) text += std::string("PVN;") + key + ";" +
                                  EncryptCredentialValue(CString(value)).str() + "\n";
    };
    line("DB_SYSTEM", c.system);
    line("DATABASE", c.database);
    line("LOGIN", c.login);
    line("PASS", c.password);
    line("SCHEMA", c.schema);
    dir_.Write("peldavorn.ini", text);
    ASSERT_TRUE(file.SetFile(CString(dir_ / "peldavorn.ini")));
  }

  // Connects `session` with the fixture's values and the given system.
  void Connect(DbSession& session, CredentialsFile& file, const std::string& system = "MYSQL") {
    Credentials c = Defaults();
    c.system = system;
    WriteCredentials(file, c);
    session.SetCredentials(file);
    ASSERT_EQ(session.Connect(), 0) << session.MessageText().str();
  }

  // The program-wide session, connected, as the run has it before any
  // monitor.
  void ConnectProgramSession() { Connect(*State().Db, State().Credentials); }

  void ExecOrFail(const std::string& statement) {
    ASSERT_TRUE(sql_.Exec(statement)) << sql_.LastError();
  }

  // Makes every insert into the message table fail (native 1644, SQL state
  // 45000) until the next test's set-up.
  void RefuseMessages() {
    ExecOrFail("CREATE TRIGGER QRVYSTEM.refuse_message BEFORE INSERT ON QRVYSTEM.QRV200MSG "
               "FOR EACH ROW SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'refused by test'");
  }

  std::string MessageCount() { return sql_.Scalar("SELECT COUNT(*) FROM QRVYSTEM.QRV200MSG"); }

  MariaDbServer server_;
  SqlClient sql_;
  TempDir dir_;
};

}  // namespace spekolar::spktest
