// A pass and --check run by a user without root's rights (the service's
// user, a monitoring engine's user): the registry store may be read, not
// written.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "e2e/Installation.h"

namespace spekolar {

namespace {

using spktest::Installation;
using spktest::RunResult;

const char kNow[] = "2026-12-07 22:45:00";
const char kKey[] = "HKEY_LOCAL_MACHINE\\Software\\KORVANE\\PELDAVORN";

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

void WriteStore(const Installation& inst, const std::string& bytes) {
  std::ofstream(inst.Root() + "/registry.reg", std::ios::binary | std::ios::trunc) << bytes;
}

TEST(UnprivilegedTest, APassReadsAStoreItMayNotWriteAndCheckNamesWhatTheUserCannotDo) {
  if (::geteuid() != 0) GTEST_SKIP() << "runs the program as nobody, which needs root";
  Installation inst;
  inst.WriteFile("logs/jobctl_1.log", "2026-12-07 08:01:00: Error in job A\n");
  inst.WriteConfig("[JobController]\nTyp=2\nMeldungstyp=fenster\nDatei=" + inst.Root() +
                   "/work/logs/jobctl_*.log\n");
  inst.RunAs("nobody");
  const std::string store = inst.Root() + "/registry.reg";
  ASSERT_EQ(::chmod(store.c_str(), 0444), 0);
  ASSERT_EQ(::chown(inst.LogDir().c_str(), 65534, 65534), 0);
  const std::string storeBytes = inst.ReadFile("registry.reg");

  // The pass finds its log directory and writes its files there.
  RunResult r = inst.Run(kNow);
  EXPECT_EQ(r.exitCode, 0) << r.err << inst.Log("SPEKOLAR.log");
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(Contains(inst.Log("SPEKOLAR.log"), "Spekolar gestartet")) << inst.Log("SPEKOLAR.log");
  EXPECT_TRUE(Contains(inst.Log("SPEKOLAR.TXT"), "JOBCONTROLLER;2;;;;07.12.2026 08:01:00 - Error in job A"))
      << inst.Log("SPEKOLAR.TXT");
  EXPECT_NE(inst.Log("SPEKOLAR.NRT"), "");
  struct stat facts {};
  ASSERT_EQ(::stat((inst.LogDir() + "/SPEKOLAR.TXT").c_str(), &facts), 0);
  EXPECT_EQ(facts.st_uid, 65534u);
  EXPECT_EQ(inst.ReadFile("registry.reg"), storeBytes);

  // What the user cannot do, as --check names it and as the pass's one line
  // on standard error says it.
  struct Case {
    const char* what;
    std::string store;  // bytes, or empty to keep the store
    mode_t storeMode;
    bool logDirectoryOwned;
    std::string checkError;
    std::string passError;  // its line on standard error; empty: it has a log directory
  };
  const Case cases[] = {
      {"log directory not writable", "", 0444, false,
       "ERROR log directory " + inst.Root() + "/inst\\htdocs\\PELDAVORN\\peldavorn_php\\log: may not write new files in it",
       ""},
      {"key missing", "REGEDIT4\r\n\r\n", 0444, true,
       "ERROR registry store " + store + ": key " + kKey +
           ": missing, and this user may not create it (ERROR_ACCESS_DENIED (5)): a pass has no log directory",
       std::string(kKey) + "' fehlt und konnte nicht angelegt werden (ERROR_ACCESS_DENIED (5)): "
                           "kein Protokollverzeichnis.\n"},
      {"store unreadable", "", 0000, true, "ERROR registry store " + store + ": access denied",
       "Spekolar: Registrierungsdatei '" + store +
           "' konnte nicht gelesen werden (Zugriff verweigert): kein Protokollverzeichnis.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (!c.store.empty()) WriteStore(inst, c.store);
    ASSERT_EQ(::chmod(store.c_str(), c.storeMode), 0);
    const uid_t owner = c.logDirectoryOwned ? 65534 : 0;
    ASSERT_EQ(::chown(inst.LogDir().c_str(), owner, owner), 0);
    const std::string before = inst.ReadFile("registry.reg");

    RunResult check = inst.Run({"--check", inst.CredentialsPath()}, kNow);
    EXPECT_EQ(check.exitCode, 1) << check.out;
    EXPECT_TRUE(Contains(check.out, "OK    checked as user nobody")) << check.out;
    EXPECT_TRUE(Contains(check.out, c.checkError)) << check.out;

    RunResult pass = inst.Run(kNow);
    if (c.passError.empty()) {
      EXPECT_FALSE(Contains(pass.err, "Protokollverzeichnis")) << pass.err;
    } else {
      EXPECT_TRUE(Contains(pass.err, c.passError)) << pass.err;
    }
    EXPECT_EQ(inst.ReadFile("registry.reg"), before);
  }
}

}  // namespace

}  // namespace spekolar
