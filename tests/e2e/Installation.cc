#include "e2e/Installation.h"

#include "support/Text.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace spekolar::spktest {

namespace {

std::string EnvValue(const std::string& dbDir, const std::string& key) {
  std::ifstream in(dbDir + "/env");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
  }
  return "";
}

}  // namespace

Installation::Installation(const std::string& instFolder, const std::string& phpFolder)
    : inst_(instFolder), php_(phpFolder) {
  const char* db = std::getenv("SPK_MARIADB_DIR");
  dbDir_ = db ? db : "";
  dir_.Write(inst_ + "/htdocs/PELDAVORN/peldavorn_php/log/.keep", "");
  std::filesystem::remove(LogDir() + "/.keep");
  dir_.Write("work/bin/.keep", "");
  SetRegistryPath(dir_.path() + "/" + inst_);
  const std::string php = PhpPath().substr(dir_.path().size() + 1);
  dir_.Write(php,
             "#!/bin/sh\n"
             "printf '%s\\n' \"$@\" >> " + ShellQuote(dir_.path() + "/mail.args") + "\n"
             "cat " + ShellQuote(LogDir() + "/SPEKOLAR.EML") + " > " + ShellQuote(dir_.path() + "/mail.sent") + "\n");
  std::filesystem::permissions(PhpPath(), std::filesystem::perms::owner_all);
  WriteCredentials("MYSQL", EnvValue(dbDir_, "PASSWORD"));
  WriteConfig("[SPEKOLAR]\nE-Mail=admin@example.org\n");
  Sql("DELETE FROM QRVYSTEM.QRV200MSG; DELETE FROM qrvystem.qrv112mnd;"
      "INSERT INTO qrvystem.qrv112mnd (MNDLIZ, MNDNUM, MNDEML, MNDSCH, MNDKON)"
      " VALUES ('L0001', '00001', 'mandant@example.org', 'MANDANT1', 0);");
}

void Installation::WriteCredentials(const std::string& dbSystem, const std::string& password,
                                    const std::string& schema) {
  // Written with the operators' tool, as on a machine without the
  // product's own tools.
  auto line = [](const char* key, const std::string& value) {
    const std::string command = ShellQuote(SPEKOLAR_ENCRYPT_BINARY) + " " + ShellQuote(value);
    int exitCode = -1;
    std::string hex = CommandOutput(command, &exitCode);
    if (exitCode != 0) ADD_FAILURE() << command;
    if (!hex.empty() && hex.back() == '\n') hex.pop_back();
    return std::string("pvn;") + key + ";" + hex + "\r\n";
  };
  dir_.Write("peldavorn.ini", "[PELDAVORN]\r\nsonstiges=1\r\n" + line("DB_SYSTEM", dbSystem) +
                                  line("DATABASE", EnvValue(dbDir_, "DSN")) +
                                  line("LOGIN", EnvValue(dbDir_, "USER")) +
                                  line("PASS", password) + line("SCHEMA", schema));
}

void Installation::SetRegistryPath(const std::string& path) {
  std::string escaped;
  for (char c : path) {
    if (c == '\\' || c == '"') escaped += '\\';
    escaped += c;
  }
  dir_.Write("registry.reg",
             "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\KORVANE\\PELDAVORN]\r\n\"Path\"=\"" +
                 escaped + "\"\r\n\r\n");
}

void Installation::WriteConfig(const std::string& ini) { dir_.Write("work/settings/Spekolar.ini", ini); }

void Installation::WriteFile(const std::string& relative, const std::string& bytes) {
  dir_.Write("work/" + relative, bytes);
}

std::string Installation::ReadFile(const std::string& relative) const { return dir_.Read(relative); }

bool Installation::Exists(const std::string& relative) const { return dir_.Exists(relative); }

std::string Installation::Log(const std::string& name) const {
  return dir_.Read(inst_ + "/htdocs/PELDAVORN/peldavorn_php/log/" + name);
}

std::string Installation::MailArgs() const { return dir_.Read("mail.args"); }

void Installation::WriteMailScript(const std::string& body) {
  std::ofstream(PhpPath(), std::ios::trunc) << "#!/bin/sh\n" << body;
}

bool Installation::WaitFor(const std::string& relative, int seconds) const {
  return WaitForFile(dir_.path() + "/" + relative, seconds);
}

bool Installation::Start(const std::vector<std::string>& args, const std::string& fakeTime,
                         const std::string& tag) const {
  std::filesystem::remove(dir_.path() + "/run" + tag + ".exit");  // a former run's
  // Built piece by piece: g++ 12 -O3 wrongly flags "(" + std::string&&.
  std::string command = "(";
  command += Command(args, fakeTime, tag);
  command += ") &";
  return std::system(command.c_str()) == 0;
}

std::string Installation::Sql(const std::string& statements) const {
  std::string sqlOut = dir_.path() + "/sql.out";
  std::string command = ShellQuote(EnvValue(dbDir_, "SQL")) + " -N -B -e " + ShellQuote(statements) + " > " +
                        ShellQuote(sqlOut) + " 2>&1";
  int rc = std::system(command.c_str());
  std::string out = dir_.Read("sql.out");
  if (rc != 0) ADD_FAILURE_AT(__FILE__, __LINE__);
  return out;
}

std::string Installation::Command(const std::vector<std::string>& args, const std::string& fakeTime,
                                  const std::string& tag) const {
  std::string command = "cd " + ShellQuote(dir_.path() + "/work/bin") +
                        " && SPEKOLAR_REGISTRY=" + ShellQuote(dir_.path() + "/registry.reg") +
                        " ODBCINI=" + ShellQuote(odbcIni_.empty() ? EnvValue(dbDir_, "ODBCINI") : odbcIni_) +
                        " peldavorn_php_bin=" + ShellQuote(PhpPath()) + " " + runEnvironment_ +
                        " timeout -k 5 120 ";
  if (!runUser_.empty()) {
    const std::string group = runUser_ == "nobody" ? "nogroup" : runUser_;
    command += "setpriv --reuid=" + ShellQuote(runUser_) + " --regid=" + ShellQuote(group) + " --clear-groups ";
  }
  if (!fakeTime.empty()) command += "faketime -f " + ShellQuote(fakeTime) + " ";
  command += ShellQuote(SPEKOLAR_BINARY);
  for (const std::string& a : args) {
    command += ' ';
    command += ShellQuote(a);
  }
  command += " > " + ShellQuote(dir_.path() + "/run" + tag + ".out") + " 2> " +
             ShellQuote(dir_.path() + "/run" + tag + ".err");
  if (!tag.empty()) {
    // Renamed into place, so that a waiter never reads it half written.
    const std::string exitFile = ShellQuote(dir_.path() + "/run" + tag + ".exit");
    command += "; echo $? > " + exitFile + ".part && mv " + exitFile + ".part " + exitFile;
  }
  return command;
}

void Installation::RunAs(const std::string& user) {
  runUser_ = user;
  const std::string socket = EnvValue(dbDir_, "SOCKET");
  odbcIni_ = dir_.path() + "/odbc.ini";
  std::string command = "cp " + ShellQuote(EnvValue(dbDir_, "ODBCINI")) + " " + ShellQuote(odbcIni_) +
                        " && chmod -R a+rX " + ShellQuote(dir_.path()) + " && chown " + ShellQuote(user) +
                        " " + ShellQuote(odbcIni_);
  if (!socket.empty()) {
    const std::string folder = socket.substr(0, socket.rfind('/'));
    command += " && chmod o+x " + ShellQuote(folder) + " && chmod o+rw " + ShellQuote(socket);
  }
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
}

RunResult Installation::Run(const std::vector<std::string>& args, const std::string& fakeTime) const {
  int status = std::system(Command(args, fakeTime).c_str());
  RunResult r;
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = dir_.Read("run.out");
  r.err = dir_.Read("run.err");
  return r;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  std::istringstream in(text);
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

std::string MaskStamps(const std::string& text) {
  // "dd.mm.yyyy hh:mm:ss": digits where the pattern has '9'.
  static const std::string kPattern = "99.99.9999 99:99:99";
  auto isStamp = [&](size_t at) {
    if (text.size() - at < kPattern.size()) return false;
    for (size_t i = 0; i < kPattern.size(); ++i) {
      const char c = text[at + i];
      if (kPattern[i] == '9' ? (c < '0' || c > '9') : c != kPattern[i]) return false;
    }
    return true;
  };
  std::string masked;
  for (size_t at = 0; at < text.size();) {
    if ((at == 0 || text[at - 1] == '\n') && isStamp(at)) {
      static const std::string kMask = "<STAMP>";
      masked.insert(masked.end(), kMask.begin(), kMask.end());
      at += kPattern.size();
    } else {
      masked.push_back(text[at++]);
    }
  }
  return masked;
}

}  // namespace spekolar::spktest
