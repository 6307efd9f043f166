// The operators' modes end to end: --check, --dry-run, --date, --plugin and
// the command line around them, on the built program in a real installation.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "e2e/Installation.h"

namespace spekolar {

namespace {

using spktest::Installation;
using spktest::Lines;
using spktest::RunResult;

const char kNow[] = "2026-12-07 22:45:00";

// Every file below the installation's root (the run's own output files and
// the SQL client's output left out), by path, with its bytes.
std::map<std::string, std::string> Snapshot(const Installation& inst) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(inst.Root())) {
    if (!entry.is_regular_file()) continue;
    const std::string relative = std::filesystem::relative(entry.path(), inst.Root()).string();
    if (relative.rfind("run", 0) == 0 || relative == "sql.out") continue;
    files[relative] = inst.ReadFile(relative);
  }
  return files;
}

std::string MessageRows(const Installation& inst) {
  return inst.Sql("SELECT MsgUid, MsgCat, MsgTxt, MsgMod, MsgDbg FROM QRVYSTEM.QRV200MSG ORDER BY MsgUid");
}

// A job controller with errors of yesterday and today, notified by e-mail,
// and a drive that always has less free space than asked for.
void WriteBusyInstallation(Installation& inst) {
  inst.WriteFile("logs/jobctl_1.log",
                 "2026-12-06 23:00:00: Error of yesterday\n"
                 "2026-12-07 08:01:00: Error in job A\n"
                 "2026-12-07 09:00:00: Fehler beim Export\n");
  inst.WriteConfig("[SPEKOLAR]\nE-Mail=admin@example.org\n"
                   "[JobController]\nTyp=1,2\nMeldungstyp=E-Mail\nDatei=" + inst.Root() +
                   "/work/logs/jobctl_*.log\n"
                   "[LAUFWERK]\nMinGroesse=999999999 MB\nMeldungstyp=fenster\nID=" + inst.Root() + "\n");
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(OperatorsTest, CheckOfAHealthyInstallationNamesEverySectionAndMatchAndActsOnNothing) {
  Installation inst;
  inst.WriteFile("logs/jobctl_1.log", "2026-12-07 08:00:00: Job A gestartet\n");
  inst.WriteFile("logs/jobctl_2.log", "");
  inst.WriteConfig("[SPEKOLAR]\nE-Mail=admin@example.org\n"
                   "[JobController]\nTyp=1,2\nMeldungstyp=E-Mail\nMinLaufzeit=10\nDatei=" +
                   inst.Root() + "/work/logs/jobctl_*.log\n"
                   "[LAUFWERK]\nMinGroesse=1 MB\nMeldungstyp=fenster\nID=" + inst.Root() + "\n");
  inst.WriteFile("../inst/htdocs/PELDAVORN/peldavorn_php/common/Classes/phpMailer2/sendmail_Spk.php", "");
  const auto before = Snapshot(inst);

  RunResult r = inst.Run({"--check", inst.CredentialsPath()}, kNow);
  EXPECT_EQ(r.exitCode, 0) << r.out;
  for (const std::string& part :
       {std::string("[JobController] Jobcontroller: Typ 1 (Laufzeit) and Typ 2 (Fehlermeldungen)"),
        std::string("jobctl_1.log, 37 bytes, changed "), std::string("jobctl_2.log, 0 bytes"),
        std::string(": 2 match(es)"), std::string("[LAUFWERK] Laufwerk: 1 drive(s)"),
        std::string("[SPEKOLAR] e-mail recipient: admin@example.org"),
        std::string("credentials LOGIN: found and decrypted\n"), std::string("tenant: MNDLIZ "),
        std::string("database: connected"), std::string("runs " + inst.PhpPath()),
        std::string("result: a pass would run")}) {
    EXPECT_TRUE(Contains(r.out, part)) << part << "\n" << r.out;
  }
  EXPECT_FALSE(Contains(r.out, "ERROR")) << r.out;
  EXPECT_FALSE(Contains(r.out, "test-password")) << r.out;
  EXPECT_EQ(Snapshot(inst), before);
  EXPECT_EQ(MessageRows(inst), "");
}

TEST(OperatorsTest, CheckNamesEachMistakeAndTheNearestName) {
  struct Case {
    std::string config;  // Datei patterns are relative to ROOT/work/
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"[Gruppe 1]\nTyp=2\nDatei=logs/a.log\n", "[Gruppe 1] matches no monitor and is skipped; did you mean GRUPPE1?"},
      {"[GRUPPE1]\nTyp=2\nDateien=logs/a.log\n", "[GRUPPE1] key 'Dateien' is read by no monitor; did you mean Datei?"},
      {"[GRUPPE1]\nTyp=2\nMeldungstyp=Fenstr\nDatei=logs/a.log\n",
       "[GRUPPE1] Meldungstyp 'Fenstr' writes no notification; did you mean FENSTER?"},
      {"[GRUPPE1]\nTyp=3\nDatei=logs/a.log\n", "[GRUPPE1] Typ '3' selects no monitor"},
      {"[GRUPPE1]\nTyp=1\nMinLaufzeit=10s\nDatei=logs/a.log\n",
       "[GRUPPE1] MinLaufzeit '10s' is not a number of seconds: it is read as 10"},
      {"[GRUPPE1]\nTyp=1\nMaxLaufzeit=zehn\nDatei=logs/a.log\n", "[GRUPPE1] MaxLaufzeit 'zehn' is not a number"},
      {"[LAUFWERK]\nMinGroesse=viel\nID=/\n", "[LAUFWERK] MinGroesse 'viel' is not a number of megabytes"},
      {"[GRUPPE1]\nTyp=2\nDatei=logs/none*.log\n", "[GRUPPE1] Datei 1 '@/logs/none*.log' matches no file"},
      {"[GRUPPE1]\nTyp=2\nDatei=logs/a.log,,logs/a.log\n", "[GRUPPE1] Datei 3 '@/logs/a.log' comes after the empty slot 2 and is never read"},
      {"[GRUPPE1]\nTyp=2\nDatei=logs/fifo*\n", "    @/logs/fifo: cannot be opened (not a regular file)"},
      {"[LAUFWERK]\nMinGroesse=5 MB\nID=/no/such/drive\n", "[LAUFWERK] drive '/no/such/drive' cannot be queried"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.config);
    Installation inst;
    const std::string work = inst.Root() + "/work";
    inst.WriteFile("logs/a.log", "2026-12-07 08:00:00: Job A gestartet\n");
    ASSERT_EQ(::mkfifo((work + "/logs/fifo").c_str(), 0600), 0);
    std::string config = c.config;
    for (size_t at = config.find("logs/"); at != std::string::npos; at = config.find("logs/", at + 1)) {
      config.insert(at, work + "/");
      at += work.size() + 1;
    }
    inst.WriteConfig(config);
    std::string expected = c.expected;
    if (expected.find('@') != std::string::npos) expected.replace(expected.find('@'), 1, work);

    RunResult r = inst.Run({"--check", inst.CredentialsPath()}, kNow);
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_TRUE(Contains(r.out, "ERROR " + expected)) << r.out;
    EXPECT_TRUE(Contains(r.out, "result: ")) << r.out;
  }
}

TEST(OperatorsTest, CheckNamesInstallationMistakes) {
  Installation inst;
  inst.WriteConfig("[GRUPPE1]\nTyp=2\nMeldungstyp=E-Mail\nDatei=" + inst.Root() + "/work/settings/Spekolar.ini\n");
  inst.WriteCredentials("MYSQL", "wrong-password");
  RunResult r = inst.Run({"--check", inst.CredentialsPath()}, kNow);
  EXPECT_EQ(r.exitCode, 1) << r.out;
  EXPECT_TRUE(Contains(r.out, "ERROR database: connect failed")) << r.out;
  EXPECT_TRUE(Contains(r.out, "ERROR mail: script ")) << r.out;

  inst.SetRegistryPath(inst.Root() + "/elsewhere");
  r = inst.Run({"--check", "missing.ini"}, kNow);
  EXPECT_EQ(r.exitCode, 1) << r.out;
  EXPECT_TRUE(Contains(r.out, "ERROR log directory " + inst.Root() + "/elsewhere")) << r.out;
  EXPECT_TRUE(Contains(r.out, "ERROR credentials file missing.ini: not found")) << r.out;

  // A terminal with a UTF-8 locale gets UTF-8; the file stays Windows-1252.
  inst.WriteConfig("[\xDC" "bersicht]\n");
  inst.SetRunEnvironment("LC_ALL= LANG=de_DE.UTF-8");
  r = inst.Run({"--check", inst.CredentialsPath()}, kNow);
  EXPECT_TRUE(Contains(r.out, "ERROR [\xC3\x9C" "bersicht] matches no monitor")) << r.out;
}

TEST(OperatorsTest, DryRunTouchesNothingAndPrintsWhatARealPassWrites) {
  Installation inst;
  WriteBusyInstallation(inst);
  const auto before = Snapshot(inst);

  RunResult dry = inst.Run({"--dry-run", inst.CredentialsPath()}, kNow);
  ASSERT_EQ(dry.exitCode, 0) << dry.err;
  EXPECT_EQ(Snapshot(inst), before);
  EXPECT_EQ(MessageRows(inst), "");
  EXPECT_EQ(inst.MailArgs(), "");

  RunResult real = inst.Run(kNow);
  ASSERT_EQ(real.exitCode, 0) << real.err;
  // What each file received, as the dry run printed it, line by line.
  std::map<std::string, std::string> printed;
  for (const std::string& line : Lines(dry.out)) {
    for (const char* file : {"SPEKOLAR.TXT", "SPEKOLAR.EML", "SPEKOLAR.NRT"}) {
      if (line.rfind(std::string(file) + ": ", 0) == 0) printed[file] += line.substr(14) + "\n";
    }
  }
  // The free space of the drive may move between the two passes (other
  // programs write to the same disk): its figure is left out of the comparison.
  const auto freeSpace = [](const std::string& text) {
    return std::regex_replace(text, std::regex("[0-9]+ MB"), "<n> MB");
  };
  for (const char* file : {"SPEKOLAR.TXT", "SPEKOLAR.EML", "SPEKOLAR.NRT"}) {
    EXPECT_EQ(freeSpace(printed[file]), freeSpace(inst.Log(file))) << file << "\n" << dry.out;
  }
  EXPECT_TRUE(Contains(inst.Log("SPEKOLAR.TXT"), "Error in job A")) << inst.Log("SPEKOLAR.TXT");
  // The rows a real pass inserted, with the same ids, and the same command.
  for (const std::string& row : Lines(MessageRows(inst))) {
    const std::string uid = row.substr(0, row.find('\t'));
    EXPECT_TRUE(Contains(dry.out, "message row: ")) << dry.out;
    EXPECT_TRUE(Contains(dry.out, " | " + uid + " | ")) << uid << "\n" << dry.out;
  }
  EXPECT_TRUE(Contains(dry.out, "command: %peldavorn_php_bin% ")) << dry.out;
  EXPECT_NE(inst.MailArgs(), "");
  // Grouped by section, in the order the sections ran.
  const size_t job = dry.out.find("--- [JOBCONTROLLER] ---");
  const size_t drive = dry.out.find("--- [LAUFWERK] ---");
  EXPECT_TRUE(job != std::string::npos && drive != std::string::npos && job < drive) << dry.out;
}

TEST(OperatorsTest, DateOfYesterdayFindsYesterdaysFindings) {
  Installation inst;
  WriteBusyInstallation(inst);
  inst.WriteConfig("[JobController]\nTyp=2\nMeldungstyp=fenster\nDatei=" + inst.Root() +
                   "/work/logs/jobctl_*.log\n");
  struct Case {
    std::vector<std::string> options;
    std::string expected;  // the findings protocol's new lines
  };
  const std::vector<Case> cases = {
      {{"--date", "2026-12-06", "--dry-run"},
       "SPEKOLAR.TXT: 06.12.2026 23:59:59;JOBCONTROLLER;2;;;;06.12.2026 23:00:00 - Error of yesterday;\n"},
      {{"--date=2026-12-06T23:59:00"},
       "06.12.2026 23:59:00;JOBCONTROLLER;2;;;;06.12.2026 23:00:00 - Error of yesterday;\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.options;
    args.push_back(inst.CredentialsPath());
    RunResult r = inst.Run(args, kNow);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::string got;
    for (const std::string& line : Lines(r.out)) {
      if (line.rfind("SPEKOLAR.TXT: ", 0) == 0) got += line + "\n";
    }
    EXPECT_EQ(c.options.back() == "--dry-run" ? got : inst.Log("SPEKOLAR.TXT"), c.expected) << r.out;
  }
  EXPECT_TRUE(Contains(inst.Log("SPEKOLAR.log"), "06.12.2026 23:59:00 - Spekolar gestartet"))
      << inst.Log("SPEKOLAR.log");
}

TEST(OperatorsTest, PluginPrintsOneStatusLineWithItsExitCode) {
  struct Case {
    std::string config;  // empty: no monitor configuration at all
    int exitCode;
    std::string line;
    bool argument = true;  // false: started without the configuration file
  };
  const std::vector<Case> cases = {
      {"[GRUPPE1]\nTyp=2\nDatei=@/work/logs/quiet.log\n", 0,
       "SPEKOLAR OK - 0 findings | findings=0;;;0 sections=1"},
      {"[LAUFWERK]\nMinGroesse=999999999 MB\nID=@\n", 1,
       "SPEKOLAR WARNING - 1 finding: LAUFWERK 1 | findings=1;;;0 sections=1"},
      {"[JobController]\nTyp=2\nDatei=@/work/logs/jobctl_*.log\n"
       "[LAUFWERK]\nMinGroesse=999999999 MB\nID=@\n[GRUPPE1]\nTyp=2\nDatei=@/work/logs/quiet.log\n",
       2, "SPEKOLAR CRITICAL - 3 findings: JOBCONTROLLER 2, LAUFWERK 1 | findings=3;;;0 sections=3"},
      // A Datei that matches nothing: the monitor is blind there.
      {"[TAGESABSCHLUSS]\nTyp=2\nDatei=@/work/logs/ta*.log\n", 1,
       "SPEKOLAR WARNING - 0 findings; 1 file missing: [TAGESABSCHLUSS] @/work/logs/ta*.log | "
       "findings=0;;;0 sections=1"},
      {"", 3, "SPEKOLAR UNKNOWN - Konfigurationsdatei '../settings/Spekolar.ini' nicht gefunden."},
      // The line alone, no usage text, and no pass.
      {"[GRUPPE1]\nTyp=2\nDatei=@/work/logs/quiet.log\n", 3,
       "SPEKOLAR UNKNOWN - missing argument: peldavorn.ini (the product's configuration file)",
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    Installation inst;
    WriteBusyInstallation(inst);
    inst.WriteFile("logs/quiet.log", "2026-12-07 08:00:00: Job A gestartet\n");
    std::string config = c.config;
    for (size_t at = config.find('@'); at != std::string::npos; at = config.find('@')) {
      config.replace(at, 1, inst.Root());
    }
    std::string line = c.line;
    for (size_t at = line.find('@'); at != std::string::npos; at = line.find('@')) {
      line.replace(at, 1, inst.Root());
    }
    if (config.empty()) {
      std::filesystem::remove(inst.Root() + "/work/settings/Spekolar.ini");
    } else {
      inst.WriteConfig(config);
    }
    RunResult r = c.argument ? inst.Run({"--plugin", inst.CredentialsPath()}, kNow)
                             : inst.Run(std::vector<std::string>{"--plugin"}, kNow);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.out << r.err;
    EXPECT_EQ(r.out, line + "\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(std::filesystem::exists(inst.LogDir() + "/SPEKOLAR.log"), c.argument);
  }
}

// A pass that could not write its run protocol, or did not get the lock
// within --lock-wait, is UNKNOWN to the monitoring engine, with the reason.
TEST(OperatorsTest, PluginIsUnknownWithoutARunProtocolOrTheLock) {
  struct Case {
    const char* what;
    std::string line;  // '@' stands for the log directory
  };
  const std::vector<Case> cases = {
      {"SPEKOLAR.log is a folder",
       "SPEKOLAR UNKNOWN - the run protocol @\\SPEKOLAR.log could not be written"},
      {"log directory not writable for the pass's user",
       "SPEKOLAR UNKNOWN - the run protocol @\\SPEKOLAR.log could not be written"},
      {"lock held", "SPEKOLAR UNKNOWN - another pass is running"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Installation inst;
    WriteBusyInstallation(inst);
    const std::string logDir = inst.LogDir();
    std::vector<int> held;
    if (c.what == cases[0].what) {
      ASSERT_TRUE(std::filesystem::create_directory(logDir + "/SPEKOLAR.log"));
    } else if (c.what == cases[1].what) {
      if (::geteuid() != 0) GTEST_SKIP() << "runs the program as nobody, which needs root";
      inst.RunAs("nobody");
    } else {
      // Another pass's lock: the lock file and the folder, as a pass takes them.
      for (const std::string& path : {logDir + "/SPEKOLAR.LCK", logDir}) {
        const int fd = ::open(path.c_str(), path == logDir ? O_RDONLY | O_DIRECTORY : O_RDWR | O_CREAT, 0644);
        ASSERT_GE(fd, 0) << path;
        ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0) << path;
        held.push_back(fd);
      }
    }
    std::string line = c.line;
    // The program names the log directory as the registry path leads to it.
    const std::string shown = inst.Root() + "/inst\\htdocs\\PELDAVORN\\peldavorn_php\\log";
    if (line.find('@') != std::string::npos) line.replace(line.find('@'), 1, shown);
    const auto start = std::chrono::steady_clock::now();
    RunResult r = inst.Run({"--plugin", "--lock-wait", "1", inst.CredentialsPath()}, "");
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(r.exitCode, 3) << r.out << r.err;
    EXPECT_EQ(r.out, line + "\n");
    EXPECT_LT(seconds, 10);
    if (!held.empty()) {
      EXPECT_EQ(inst.Sql("SELECT COUNT(*) FROM QRVYSTEM.QRV200MSG"), "0\n");  // no pass ran
    }
    for (int fd : held) ::close(fd);
  }
}

TEST(OperatorsTest, CommandLineMistakesAreRefusedBeforeAnyPass) {
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string err;
  };
  const std::vector<Case> cases = {
      {{"--check", "--dry-run", "x.ini"}, 1, "--check excludes --dry-run"},
      {{"--date", "2026-02-30", "x.ini"}, 1, "--date: '2026-02-30' is not a day"},
      {{"x.ini", "--dry-run"}, 1, "options come before the configuration file: '--dry-run'"},
      {{"--plugin", "--bogus", "x.ini"}, 3, "--bogus"},
  };
  Installation inst;
  WriteBusyInstallation(inst);
  for (const Case& c : cases) {
    RunResult r = inst.Run(c.args, kNow);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    EXPECT_TRUE(Contains(r.err, c.err)) << r.err;
  }
  EXPECT_FALSE(std::filesystem::exists(inst.LogDir() + "/SPEKOLAR.log"));

  RunResult help = inst.Run(std::vector<std::string>{"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_TRUE(Contains(help.out, "Usage: spekolar [OPTIONS] [peldavorn.ini]")) << help.out;
  RunResult version = inst.Run(std::vector<std::string>{"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out.rfind("spekolar ", 0), 0u) << version.out;
}

}  // namespace

}  // namespace spekolar
