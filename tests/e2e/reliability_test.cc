// The built program where passes overlap, disks fill up, files are not what
// they seem, the database freezes and installation paths hold blanks.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "e2e/Installation.h"
#include "support/Records.h"

namespace {

using spktest::Installation;
using spktest::RunResult;

const char kNow[] = "2026-12-07 22:45:00";
const std::string kStamp = "07.12.2026 22:45:00";

// Findings in two sections, one mailed and one shown.
void ConfigureFindings(Installation& inst, int errorLines = 2) {
  std::string job;
  for (int i = 0; i < errorLines; ++i) {
    job += "2026-12-07 08:" + std::string(i % 60 < 10 ? "0" : "") + std::to_string(i % 60) +
           ":00: Error in job " + std::to_string(i) + "; retry\n";
  }
  inst.WriteFile("logs/jobctl_1.log", job);
  inst.WriteFile("logs/tagab.log",
                 "07.12.2026 22:00:00 Tagesabschluss wird gestartet\n"
                 "07.12.2026 22:40:00 Tagesabschluss beendet\n");
  inst.WriteConfig("[SPEKOLAR]\nE-Mail=admin@example.org\n"
                   "[JobController]\nTyp=2\nMeldungstyp=E-Mail\nDatei=" + inst.Root() +
                   "/work/logs/jobctl_*.log\n"
                   "[TAGESABSCHLUSS]\nTyp=1\nMeldungstyp=FENSTER\nDatei=" + inst.Root() +
                   "/work/logs/tagab.log\n");
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// Every line: a stamp and a record of seven fields.
void ExpectWholeRecords(const std::string& text) {
  ASSERT_TRUE(text.empty() || text.back() == '\n') << "torn last record";
  for (const std::string& line : spktest::Lines(text)) {
    EXPECT_TRUE(spktest::IsFindingLine(line)) << line;
  }
}

// Two passes started at once, twenty times over, each time with both
// protocol files due for rotation. The lock makes them one after the other:
// the .old generations are the files as they were (rotated once, not
// deleted by the second pass), both passes' entries, records, rows and
// mails are all there, and no message id is stored twice.
TEST(ReliabilityTest, TwoPassesAtOnceLoseNothing) {
  Installation inst;
  ConfigureFindings(inst);
  // The mail script stand-in keeps every mail it was given.
  {
    std::ofstream php(inst.PhpPath(), std::ios::trunc);
    php << "#!/bin/sh\n{ cat '" << inst.LogDir() << "/SPEKOLAR.EML'; echo ---; } >> '"
        << inst.Root() << "/mail.all'\n";
  }
  const std::string oldLog = std::string(1000001, 'L');
  const std::string oldFindings = std::string(1000001, 'T');
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    for (const char* name : {"SPEKOLAR.NRT", "SPEKOLAR.NRT_Old", "SPEKOLAR.EML", "SPEKOLAR.EML_Old"}) {
      std::filesystem::remove(inst.LogDir() + "/" + name);
    }
    std::filesystem::remove(inst.Root() + "/mail.all");
    std::ofstream(inst.LogDir() + "/SPEKOLAR.log", std::ios::binary) << oldLog;
    std::ofstream(inst.LogDir() + "/SPEKOLAR.TXT", std::ios::binary) << oldFindings;
    std::ofstream(inst.LogDir() + "/SPEKOLAR.old", std::ios::binary) << "older generation";
    std::ofstream(inst.LogDir() + "/SPEKOLAR.TXT.old", std::ios::binary) << "older generation";
    inst.Sql("DELETE FROM QRVYSTEM.QRV200MSG");

    // Built piece by piece: g++ 12 -O3 wrongly flags "(" + std::string&&.
    std::string both = "(";
    both += inst.Command({inst.CredentialsPath()}, "@2026-12-07 22:45:00", "A");
    both += ") & (";
    both += inst.Command({inst.CredentialsPath()}, "@2026-12-07 22:45:00", "B");
    both += ") & wait";
    ASSERT_EQ(std::system(both.c_str()), 0);
    EXPECT_EQ(inst.ReadFile("runA.exit"), "0\n");
    EXPECT_EQ(inst.ReadFile("runB.exit"), "0\n");

    EXPECT_EQ(inst.Log("SPEKOLAR.old"), oldLog);
    EXPECT_EQ(inst.Log("SPEKOLAR.TXT.old"), oldFindings);
    // One pass after the other: start, closing line, start, closing line.
    const std::string log = inst.Log("SPEKOLAR.log");
    const size_t start2 = log.find("Spekolar gestartet", log.find("Spekolar gestartet") + 1);
    ASSERT_NE(start2, std::string::npos) << log;
    EXPECT_EQ(Count(log.substr(0, start2), std::string(59, '*')), 1u) << log;
    EXPECT_EQ(Count(log.substr(start2), std::string(59, '*')), 1u) << log;
    // Three findings a pass.
    const std::string findings = inst.Log("SPEKOLAR.TXT");
    ExpectWholeRecords(findings);
    EXPECT_EQ(spktest::Lines(findings).size(), 6u) << findings;
    // A finding and a section message for each of the two sections.
    EXPECT_EQ(inst.Sql("SELECT COUNT(*), COUNT(DISTINCT MsgUid) FROM QRVYSTEM.QRV200MSG"), "8\t8\n");
    // Each pass mailed its own notification; the later one moved the
    // earlier one's files aside after they had been sent.
    EXPECT_EQ(Count(inst.ReadFile("mail.all"), " - Jobcontroller-Fehler\n"), 2u) << inst.ReadFile("mail.all");
    EXPECT_EQ(Count(inst.Log("SPEKOLAR.NRT") + inst.Log("SPEKOLAR.NRT_Old"), "Tagesabschluss-Fehler"), 2u);
    if (HasFailure()) return;
  }
}

// A small file system that fills up during the pass: the findings protocol
// holds whole records only (the next pass's first record starts a line of
// its own), and standard error says once how many lines were lost.
TEST(ReliabilityTest, AFullDiskTearsNoRecord) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a file system needs root";
  Installation inst;
  const std::string log = inst.LogDir();
  if (std::system(("mount -t tmpfs -o size=64k spktmpfs '" + log + "' 2>/dev/null").c_str()) != 0) {
    GTEST_SKIP() << "tmpfs cannot be mounted here";
  }
  struct Unmount {
    std::string path;
    ~Unmount() { std::system(("umount '" + path + "'").c_str()); }
  } unmount{log};

  ConfigureFindings(inst, 300);
  // Leave some 6 KB free: room for the run protocol and a few records.
  struct statvfs vfs;
  ASSERT_EQ(statvfs(log.c_str(), &vfs), 0);
  const uint64_t freeBytes = uint64_t{vfs.f_bavail} * vfs.f_frsize;
  ASSERT_GT(freeBytes, 16384u);
  std::ofstream(log + "/filler", std::ios::binary) << std::string(freeBytes - 6144, 'f');

  RunResult r = inst.Run(kNow);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  const std::string first = inst.Log("SPEKOLAR.TXT");
  ExpectWholeRecords(first);
  const size_t written = spktest::Lines(first).size();
  EXPECT_LT(written, 301u);
  const std::string message = " Zeile(n) in SPEKOLAR.TXT, SPEKOLAR.NRT oder SPEKOLAR.EML konnten "
                              "nicht geschrieben werden (Verzeichnis '" + inst.Root() +
                              "/inst\\htdocs\\PELDAVORN\\peldavorn_php\\log').\n";
  ASSERT_EQ(r.err.rfind("Spekolar: ", 0), 0u) << r.err;
  const size_t count = r.err.find(' ', 10);
  ASSERT_NE(count, std::string::npos) << r.err;
  EXPECT_EQ(r.err.substr(count), message);
  EXPECT_GE(std::stoul(r.err.substr(10, count - 10)), 301u - written);

  // With room again, the next pass appends whole records after them.
  std::filesystem::remove(log + "/filler");
  r = inst.Run(kNow);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err, "");
  const std::string both = inst.Log("SPEKOLAR.TXT");
  ExpectWholeRecords(both);
  EXPECT_EQ(spktest::Lines(both).size(), written + 301);
}

// FIFOs (an open would wait for a writer forever) and /dev/zero (a read
// never ends) wherever the program opens a file: each is reported like a
// file that cannot be read, at once.
TEST(ReliabilityTest, SpecialFilesAreNeverWaitedFor) {
  struct Case {
    const char* what;
    const char* place;  // "config", "credentials" or "protocol"
    bool fifo;          // else a link to /dev/zero
    int exitCode;
    const char* entry;
  };
  const Case cases[] = {
      {"configuration FIFO", "config", true, 1,
       "Konfigurationsdatei '../settings/Spekolar.ini' konnte nicht gelesen werden."},
      {"configuration /dev/zero", "config", false, 1,
       "Konfigurationsdatei '../settings/Spekolar.ini' konnte nicht gelesen werden."},
      {"credentials FIFO", "credentials", true, 255,
       "Fehler beim Verbindungsaufbau zur Datenbank:\n0\n\n\n\n"},
      {"credentials /dev/zero", "credentials", false, 255,
       "Fehler beim Verbindungsaufbau zur Datenbank:\n0\n\n\n\n"},
      {"protocol FIFO", "protocol", true, 0, "' konnte nicht ge\xF6" "ffnet werden\n"},
      {"protocol /dev/zero", "protocol", false, 0, "' konnte nicht ge\xF6" "ffnet werden\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Installation inst;
    inst.WriteConfig("[SPEKOLAR]\nE-Mail=admin@example.org\n[TAGESABSCHLUSS]\nTyp=1,2\nDatei=" +
                     inst.Root() + "/work/logs/tagab.log\n");
    std::string target;
    if (std::string(c.place) == "config") target = inst.Root() + "/work/settings/Spekolar.ini";
    if (std::string(c.place) == "credentials") target = inst.CredentialsPath();
    if (std::string(c.place) == "protocol") {
      std::filesystem::create_directories(inst.Root() + "/work/logs");
      target = inst.Root() + "/work/logs/tagab.log";
    }
    std::filesystem::remove(target);
    if (c.fifo) {
      ASSERT_EQ(mkfifo(target.c_str(), 0644), 0);
    } else {
      std::filesystem::create_symlink("/dev/zero", target);
    }
    RunResult r = inst.Run(kNow);
    EXPECT_EQ(r.exitCode, c.exitCode);
    EXPECT_NE(inst.Log("SPEKOLAR.log").find(c.entry), std::string::npos) << inst.Log("SPEKOLAR.log");
  }
}

// A server that does not answer (stopped, as a frozen machine looks) ends
// the connect with its failure entry and exit code after the login time-out,
// instead of holding the pass until it is killed.
TEST(ReliabilityTest, AFrozenServerEndsTheConnect) {
  Installation inst;
  std::ifstream env(std::string(std::getenv("SPK_MARIADB_DIR")) + "/env");
  int pid = 0;
  for (std::string line; std::getline(env, line);) {
    if (line.rfind("PID=", 0) == 0) pid = std::atoi(line.c_str() + 4);
  }
  ASSERT_GT(pid, 0);
  RunResult r;
  {
    struct Continue {
      int pid;
      ~Continue() { kill(pid, SIGCONT); }
    } resume{pid};
    ASSERT_EQ(kill(pid, SIGSTOP), 0);
    r = inst.Run(kNow);
  }
  EXPECT_EQ(r.exitCode, 2013 & 0xFF);
  const std::string head = kStamp + " - Spekolar gestartet\n" + kStamp +
                           " - Fehler beim Verbindungsaufbau zur Datenbank:\n2013\n08S01\n";
  const std::string log = inst.Log("SPEKOLAR.log");
  EXPECT_EQ(log.substr(0, head.size()), head) << log;
}

// The installation and the interpreter in folders with blanks, "(x86)" and
// shell text: the command quotes them, the script runs with its path as one
// argument, and nothing of the path is executed. A script that cannot be
// started is reported as not sent.
TEST(ReliabilityTest, MailScriptFromPathsWithBlanksAndShellText) {
  Installation inst("my inst (x86) $(touch pwned)", "Program Files (x86)/php");
  ConfigureFindings(inst);
  RunResult r = inst.Run(kNow);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string script = inst.Root() + "/my inst (x86) $(touch pwned)\\htdocs\\PELDAVORN\\"
                             "peldavorn_php\\common\\Classes\\phpMailer2\\sendmail_Spk.php";
  std::string fsScript = script;
  for (char& ch : fsScript) ch = ch == '\\' ? '/' : ch;
  EXPECT_EQ(inst.MailArgs(), fsScript + "\n");
  EXPECT_EQ(inst.ReadFile("mail.sent"), inst.Log("SPEKOLAR.EML"));
  const std::string log = inst.Log("SPEKOLAR.log");
  EXPECT_NE(log.find(kStamp + " - \"%peldavorn_php_bin%\" \"" + script + "\"\n" + kStamp +
                     " - E-Mail ist an admin@example.org gesendet.\n"),
            std::string::npos)
      << log;
  EXPECT_FALSE(std::filesystem::exists(inst.Root() + "/work/bin/pwned"));
  EXPECT_FALSE(std::filesystem::exists(inst.Root() + "/pwned"));

  std::filesystem::remove(inst.PhpPath());
  r = inst.Run(kNow);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(inst.Log("SPEKOLAR.log").find("E-Mail konnte nicht gesendet werden.\n"),
            std::string::npos);
}

// The mail script gets standard input, output and error of the pass and no
// other descriptor: not the database connection (the driver leaves its
// socket open across exec), not the lock file, not a protocol file. The
// stand-in lists what it holds; ls's own listing of the folder is the one
// other entry (ls runs without the preloaded clock library, which would
// open a file of its own).
TEST(ReliabilityTest, MailScriptInheritsOnlyTheStandardDescriptors) {
  Installation inst;
  ConfigureFindings(inst);
  {
    std::ofstream php(inst.PhpPath(), std::ios::trunc);
    php << "#!/bin/sh\nLD_PRELOAD= ls -ln /proc/self/fd > '" << inst.Root() << "/mail.fds' 2>&1\n";
  }
  RunResult r = inst.Run(kNow);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string listing = inst.ReadFile("mail.fds");
  std::vector<std::string> beyond;
  int entries = 0;
  for (const std::string& line : spktest::Lines(listing)) {
    const size_t arrow = line.find(" -> ");
    if (arrow == std::string::npos) continue;  // "total 0"
    ++entries;
    const size_t nameStart = line.rfind(' ', arrow - 1) + 1;
    const std::string fd = line.substr(nameStart, arrow - nameStart);
    const std::string target = line.substr(arrow + 4);
    const bool ownListing = target.rfind("/proc/", 0) == 0 && target.size() > 3 &&
                            target.compare(target.size() - 3, 3, "/fd") == 0;
    if (fd != "0" && fd != "1" && fd != "2" && !ownListing) beyond.push_back(fd + " -> " + target);
  }
  EXPECT_GE(entries, 4) << listing;  // 0, 1, 2 and the listing
  EXPECT_EQ(beyond, std::vector<std::string>{}) << listing;
}

}  // namespace
