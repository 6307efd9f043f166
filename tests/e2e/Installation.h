// A throwaway installation of the product around the built program.
//
//   ROOT/registry.reg           registry store naming ROOT/inst as the
//                               installation directory (SPEKOLAR_REGISTRY)
//   ROOT/inst/htdocs/PELDAVORN/peldavorn_php/log   the log directory
//   ROOT/work/bin               the working directory of the run
//   ROOT/work/settings/Spekolar.ini   the monitor configuration
//   ROOT/peldavorn.ini          the product's configuration file with the
//                               encrypted database access values
//   ROOT/fake-php               stands in for %peldavorn_php_bin%: records
//                               its arguments and the e-mail text it was
//                               asked to send
//
// The database is the private server of the "mariadb" test fixture; each
// installation empties the two product tables and inserts one tenant.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/TempDir.h"

namespace spekolar::spktest {

struct RunResult {
  int exitCode = -1;  // as the shell sees it (8 bits)
  std::string out;
  std::string err;
};

class Installation {
 public:
  // `instFolder`: the installation directory's name below ROOT (the
  // registry's "Path"); `phpFolder`: the folder below ROOT of the mail
  // script stand-in (ROOT itself when empty).
  explicit Installation(const std::string& instFolder = "inst", const std::string& phpFolder = "");

  // Credentials file lines; by default valid values for the test server.
  void WriteCredentials(const std::string& dbSystem, const std::string& password,
                        const std::string& schema = "QRVYSTEM");
  void WriteConfig(const std::string& ini);
  // Rewrites ROOT/registry.reg (REGEDIT4) so that the product's "Path" value
  // is `path`; the Windows tests import the same file into Wine's registry.
  void SetRegistryPath(const std::string& path);
  // A file below the installation's work folder (relative path, '/').
  void WriteFile(const std::string& relative, const std::string& bytes);
  std::string ReadFile(const std::string& relative) const;
  bool Exists(const std::string& relative) const;

  // Runs SQL as root on QRVYSTEM; returns the client's output (tab-separated,
  // no column names).
  std::string Sql(const std::string& statements) const;

  // Runs the program with `args` (no argument when empty). `fakeTime`, like
  // "2026-12-07 22:45:00", stops the clock of the whole process there.
  RunResult Run(const std::vector<std::string>& args, const std::string& fakeTime = "") const;
  RunResult Run(const std::string& fakeTime = "") const { return Run({CredentialsPath()}, fakeTime); }
  // The shell command that Run runs, its output going to ROOT/run<tag>.out
  // and .err (and its exit code, when `tag` is not empty, to
  // ROOT/run<tag>.exit), for runs of several passes at once. A pass that
  // does not end within two minutes is killed (exit code 124).
  std::string Command(const std::vector<std::string>& args, const std::string& fakeTime,
                      const std::string& tag = "") const;
  // Command, started in the background (`tag` names its files, a former
  // run's exit code file is removed first); whether the shell started it.
  bool Start(const std::vector<std::string>& args, const std::string& fakeTime, const std::string& tag) const;
  // Waits up to `seconds` for a file below ROOT to appear; whether it did.
  bool WaitFor(const std::string& relative, int seconds = 30) const;
  // Replaces the mail script stand-in by a shell script with `body`.
  void WriteMailScript(const std::string& body);

  // Runs every later pass as `user` (setpriv; the caller must be root), as
  // the service's or a monitoring engine's user would. Everything below ROOT
  // becomes readable by all (nothing writable), and so does the path to the
  // database server's socket, so that such a pass reaches what a real one
  // would; what it may write is up to the test. The data source file is
  // copied into ROOT and given to the user: unixODBC reads a file named by
  // ODBCINI only when its user may write it.
  void RunAs(const std::string& user);

  // Variables set for every later run, e.g. "LANG=C.UTF-8" (blank-separated
  // NAME=value words, quoted for the shell where needed).
  void SetRunEnvironment(const std::string& assignments) { runEnvironment_ = assignments; }

  std::string Root() const { return dir_.path(); }
  std::string LogDir() const { return dir_.path() + "/" + inst_ + "/htdocs/PELDAVORN/peldavorn_php/log"; }
  std::string PhpPath() const { return dir_.path() + "/" + (php_.empty() ? "" : php_ + "/") + "fake-php"; }
  std::string Log(const std::string& name) const;  // bytes of a file in the log directory
  std::string CredentialsPath() const { return dir_.path() + "/peldavorn.ini"; }
  std::string MailArgs() const;  // what the mail script stand-in recorded; empty if it never ran

 private:
  TempDir dir_;
  std::string dbDir_;
  std::string inst_;
  std::string php_;
  std::string runEnvironment_;
  std::string runUser_;
  std::string odbcIni_;  // ODBCINI of the runs when not the server's own
};

// Writes `ini` as the monitor configuration and runs one pass at
// `fakeTime`: success when the pass ends with exit code 0, otherwise a
// failure showing its standard error.
inline ::testing::AssertionResult Passes(Installation& inst, const std::string& ini,
                                         const std::string& fakeTime) {
  inst.WriteConfig(ini);
  const RunResult r = inst.Run(fakeTime);
  if (r.exitCode == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "exit code " << r.exitCode << "\n" << r.err;
}

// SPEKOLAR.EML as a pass writes it: the tenant's and the configured
// recipient's address lines, then `notifications`.
inline std::string MailText(const std::string& notifications) {
  return "mandant@example.org\nadmin@example.org\n" + notifications;
}

// The lines of `text` (split at LF, the last empty piece dropped).
std::vector<std::string> Lines(const std::string& text);
// `text` with every "dd.mm.yyyy hh:mm:ss" at a line start replaced by
// "<STAMP>", for comparing entries whose time is not pinned.
std::string MaskStamps(const std::string& text);

}  // namespace spekolar::spktest
