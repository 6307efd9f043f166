// The built program where passes overlap, disks fill up, files are not what
// they seem, the database freezes and installation paths hold blanks.
#include <gtest/gtest.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/fuse.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "e2e/Installation.h"
#include "support/Records.h"
#include "support/TempDir.h"
#include "support/Text.h"

namespace spekolar {

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

using spktest::CountOf;

// Two passes one after the other in the run protocol: start, closing line,
// start, closing line.
void ExpectPassesInTurn(const Installation& inst) {
  const std::string log = inst.Log("SPEKOLAR.log");
  const size_t start2 = log.find("Spekolar gestartet", log.find("Spekolar gestartet") + 1);
  ASSERT_NE(start2, std::string::npos) << log;
  EXPECT_EQ(CountOf(log.substr(0, start2), std::string(59, '*')), 1u) << log;
  EXPECT_EQ(CountOf(log.substr(start2), std::string(59, '*')), 1u) << log;
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
  inst.WriteMailScript("{ cat '" + inst.LogDir() + "/SPEKOLAR.EML'; echo ---; } >> '" + inst.Root() +
                       "/mail.all'\n");
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

    ASSERT_TRUE(inst.Start({inst.CredentialsPath()}, "@2026-12-07 22:45:00", "A"));
    ASSERT_TRUE(inst.Start({inst.CredentialsPath()}, "@2026-12-07 22:45:00", "B"));
    ASSERT_TRUE(inst.WaitFor("runA.exit", 150) && inst.WaitFor("runB.exit", 150));
    EXPECT_EQ(inst.ReadFile("runA.exit"), "0\n");
    EXPECT_EQ(inst.ReadFile("runB.exit"), "0\n");

    EXPECT_EQ(inst.Log("SPEKOLAR.old"), oldLog);
    EXPECT_EQ(inst.Log("SPEKOLAR.TXT.old"), oldFindings);
    ExpectPassesInTurn(inst);
    // Three findings a pass.
    const std::string findings = inst.Log("SPEKOLAR.TXT");
    ExpectWholeRecords(findings);
    EXPECT_EQ(spktest::Lines(findings).size(), 6u) << findings;
    // A finding and a section message for each of the two sections.
    EXPECT_EQ(inst.Sql("SELECT COUNT(*), COUNT(DISTINCT MsgUid) FROM QRVYSTEM.QRV200MSG"), "8\t8\n");
    // Each pass mailed its own notification; the later one moved the
    // earlier one's files aside after they had been sent.
    EXPECT_EQ(CountOf(inst.ReadFile("mail.all"), " - Jobcontroller-Fehler\n"), 2u) << inst.ReadFile("mail.all");
    EXPECT_EQ(CountOf(inst.Log("SPEKOLAR.NRT") + inst.Log("SPEKOLAR.NRT_Old"), "Tagesabschluss-Fehler"), 2u);
    if (HasFailure()) return;
  }
}

// A clean-up job deletes SPEKOLAR.LCK while a pass holds it (here: while
// its mail script runs). A pass started then still waits for the first
// one: start, closing line, start, closing line.
TEST(ReliabilityTest, ALockFileDeletedDuringAPassStillLocks) {
  Installation inst;
  ConfigureFindings(inst);
  inst.WriteMailScript("touch '" + inst.Root() + "/mail.started'\nsleep 3\n");
  ASSERT_TRUE(inst.Start({inst.CredentialsPath()}, "@2026-12-07 22:45:00", "A"));
  ASSERT_TRUE(inst.WaitFor("mail.started"));
  ASSERT_TRUE(std::filesystem::remove(inst.LogDir() + "/SPEKOLAR.LCK"));

  ASSERT_EQ(std::system(inst.Command({inst.CredentialsPath()}, "@2026-12-07 22:45:00", "B").c_str()), 0);
  ASSERT_TRUE(inst.WaitFor("runA.exit"));
  EXPECT_EQ(inst.ReadFile("runA.exit"), "0\n");
  EXPECT_EQ(inst.ReadFile("runB.exit"), "0\n");
  ExpectPassesInTurn(inst);
}

// Where the lock cannot be made but the run protocol can be written (here
// a folder in the lock file's place), the pass says why and stops with 1
// instead of running unlocked; --check names the folder.
TEST(ReliabilityTest, ALockThatCannotBeMadeStopsThePass) {
  Installation inst;
  ConfigureFindings(inst);
  ASSERT_TRUE(std::filesystem::create_directory(inst.LogDir() + "/SPEKOLAR.LCK"));
  RunResult r = inst.Run(kNow);
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_EQ(inst.Log("SPEKOLAR.log"),
            kStamp + " - *** Abbruch: die Sperre '" + inst.Root() +
                "/inst\\htdocs\\PELDAVORN\\peldavorn_php\\log\\SPEKOLAR.LCK' konnte nicht angelegt "
                "werden: Is a directory ***\n");
  EXPECT_EQ(inst.Sql("SELECT COUNT(*) FROM QRVYSTEM.QRV200MSG"), "0\n");

  r = inst.Run({"--check", inst.CredentialsPath()}, kNow);
  EXPECT_NE(r.out.find("SPEKOLAR.LCK is a folder: a pass cannot take its lock and stops with exit "
                       "code 1"),
            std::string::npos)
      << r.out;
}

// Links planted in the log directory (writable by the web server's user)
// are never written through, by a pass run as root least of all: their
// targets stay as they were, nothing is created through a dangling one,
// renames move the link and not its target, and standard error names each
// link once. A link in the lock file's place stops the pass.
TEST(ReliabilityTest, LinksInTheLogDirectoryAreNotWrittenThrough) {
  Installation inst;
  ConfigureFindings(inst);
  const std::string outside = inst.Root() + "/outside";
  std::ofstream(outside, std::ios::binary) << "keep\n";
  const std::string log = inst.LogDir() + "/";
  std::filesystem::create_symlink(outside, log + "SPEKOLAR.TXT");
  std::filesystem::create_symlink(outside, log + "SPEKOLAR.NRT");  // moved aside to NRT_Old
  std::filesystem::create_symlink(inst.Root() + "/created", log + "SPEKOLAR.log");

  RunResult r = inst.Run(kNow);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(inst.ReadFile("outside"), "keep\n");
  EXPECT_FALSE(std::filesystem::exists(inst.Root() + "/created"));
  EXPECT_TRUE(std::filesystem::is_symlink(log + "SPEKOLAR.NRT_Old"));
  EXPECT_TRUE(std::filesystem::is_symlink(log + "SPEKOLAR.TXT"));
  const std::string dir = inst.Root() + "/inst\\htdocs\\PELDAVORN\\peldavorn_php\\log\\";
  const std::string links = "Spekolar: symbolische Links im Protokollverzeichnis werden nicht "
                            "beschrieben: '" + dir + "SPEKOLAR.log', '" + dir + "SPEKOLAR.TXT'.\n";
  ASSERT_GE(r.err.size(), links.size()) << r.err;
  EXPECT_EQ(r.err.substr(r.err.size() - links.size()), links) << r.err;
  EXPECT_EQ(CountOf(r.err, "\n"), 2u) << r.err;  // and the lost lines, once

  r = inst.Run({"--check", inst.CredentialsPath()}, kNow);
  EXPECT_NE(r.out.find("symbolic links, never written through: SPEKOLAR.log, SPEKOLAR.TXT, "
                       "SPEKOLAR.NRT_Old"),
            std::string::npos)
      << r.out;

  std::filesystem::remove(log + "SPEKOLAR.log");
  std::filesystem::remove(log + "SPEKOLAR.LCK");
  std::filesystem::create_symlink(inst.Root() + "/lock", log + "SPEKOLAR.LCK");
  r = inst.Run(kNow);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_FALSE(std::filesystem::exists(inst.Root() + "/lock"));
  EXPECT_NE(inst.Log("SPEKOLAR.log").find("SPEKOLAR.LCK' konnte nicht angelegt werden: symbolic link, "
                                          "not followed ***\n"),
            std::string::npos);
  EXPECT_NE(r.err.find("beschrieben: '" + dir + "SPEKOLAR.LCK'"), std::string::npos) << r.err;
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
    const char* place;  // below the installation's root
    bool fifo;          // else a link to /dev/zero
    int exitCode;
    const char* entry;
  };
  const Case cases[] = {
      {"configuration FIFO", "work/settings/Spekolar.ini", true, 1,
       "Konfigurationsdatei '../settings/Spekolar.ini' konnte nicht gelesen werden."},
      {"configuration /dev/zero", "work/settings/Spekolar.ini", false, 1,
       "Konfigurationsdatei '../settings/Spekolar.ini' konnte nicht gelesen werden."},
      {"credentials FIFO", "peldavorn.ini", true, 255,
       "Fehler beim Verbindungsaufbau zur Datenbank:\n0\n\n\n\n"},
      {"credentials /dev/zero", "peldavorn.ini", false, 255,
       "Fehler beim Verbindungsaufbau zur Datenbank:\n0\n\n\n\n"},
      {"protocol FIFO", "work/logs/tagab.log", true, 0, "' konnte nicht ge\xF6" "ffnet werden\n"},
      {"protocol /dev/zero", "work/logs/tagab.log", false, 0, "' konnte nicht ge\xF6" "ffnet werden\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Installation inst;
    inst.WriteConfig("[SPEKOLAR]\nE-Mail=admin@example.org\n[TAGESABSCHLUSS]\nTyp=1,2\nDatei=" +
                     inst.Root() + "/work/logs/tagab.log\n");
    const std::string target = inst.Root() + "/" + c.place;
    std::filesystem::create_directories(std::filesystem::path(target).parent_path());
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

// A FUSE file system whose server has stopped answering, as a hard-mounted
// share whose server is gone: a child process mounts it through /dev/fuse,
// answers the kernel's INIT and from then on reads every request without
// answering it. A statfs there waits in the kernel, where once its request
// has been read not even SIGKILL ends it. Taken away (lazily unmounted, its
// server killed, which fails every request still waiting) before its
// folder is removed.
class SilentFuseMount {
 public:
  SilentFuseMount() : point_(base_.path() + "/share") {
    std::filesystem::create_directory(point_);
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0) {
      failure_ = std::strerror(errno);
      return;
    }
    server_ = ::fork();
    if (server_ == 0) {
      ::close(ready[0]);
      Serve(point_.c_str(), ready[1]);
    }
    ::close(ready[1]);
    char answer[256] = {};
    const ssize_t n = server_ > 0 ? ::read(ready[0], answer, sizeof answer - 1) : -1;
    ::close(ready[0]);
    if (n > 0 && std::string(answer) == "ok") {
      mounted_ = true;
    } else {
      failure_ = n > 0 ? answer : "the server ended";
    }
  }
  ~SilentFuseMount() {
    if (mounted_) ::umount2(point_.c_str(), MNT_DETACH);
    if (server_ > 0) {
      ::kill(server_, SIGKILL);
      ::waitpid(server_, nullptr, 0);
    }
  }
  SilentFuseMount(const SilentFuseMount&) = delete;
  SilentFuseMount& operator=(const SilentFuseMount&) = delete;

  bool mounted() const { return mounted_; }
  const std::string& failure() const { return failure_; }
  const std::string& point() const { return point_; }
  int server() const { return server_; }

 private:
  // The server: says "ok" on `ready` once the kernel's INIT is answered, or
  // why the mount failed.
  [[noreturn]] static void Serve(const char* point, int ready) {
    const int fuse = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
    char options[128];
    std::snprintf(options, sizeof options, "fd=%d,rootmode=40000,user_id=0,group_id=0", fuse);
    if (fuse < 0 || ::mount("spekolar-silent", point, "fuse", MS_NOSUID | MS_NODEV, options) != 0) {
      const char* why = std::strerror(errno);
      if (::write(ready, why, std::strlen(why)) < 0) ::_exit(1);
      ::_exit(1);
    }
    static char request[1 << 20];
    for (;;) {
      const ssize_t n = ::read(fuse, request, sizeof request);
      if (n < 0 && (errno == EINTR || errno == ENOENT)) continue;
      if (n < static_cast<ssize_t>(sizeof(fuse_in_header))) ::_exit(0);  // unmounted
      const auto* in = reinterpret_cast<const fuse_in_header*>(request);
      if (in->opcode != FUSE_INIT) continue;  // read, never answered
      const auto* init = reinterpret_cast<const fuse_init_in*>(in + 1);
      struct {
        fuse_out_header head;
        fuse_init_out body;
      } reply = {};
      reply.head.len = sizeof reply;
      reply.head.unique = in->unique;
      reply.body.major = FUSE_KERNEL_VERSION;
      reply.body.minor = std::min<uint32_t>(init->minor, FUSE_KERNEL_MINOR_VERSION);
      reply.body.max_readahead = init->max_readahead;
      reply.body.max_write = 4096;
      if (::write(fuse, &reply, sizeof reply) < 0 || ::write(ready, "ok", 2) < 0) ::_exit(1);
    }
  }

  spktest::TempDir base_;
  std::string point_;
  int server_ = -1;
  bool mounted_ = false;
  std::string failure_;
};

// Children of this process: pid and state letter ('D' waits in the kernel).
std::vector<std::pair<int, char>> Children() {
  std::vector<std::pair<int, char>> children;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::ifstream stat(entry.path() / "stat");
    std::string text;
    if (!std::getline(stat, text)) continue;
    const size_t close = text.rfind(')');
    if (close == std::string::npos) continue;
    char state = 0;
    int parent = 0;
    if (std::sscanf(text.c_str() + close + 1, " %c %d", &state, &parent) != 2) continue;
    if (parent == ::getpid()) children.emplace_back(std::atoi(entry.path().filename().c_str()), state);
  }
  return children;
}

// A drive whose file system does not answer: the pass gives its query 10
// seconds, reports the drive as not queryable with 0 MB free and ends; the
// query, still stuck in the kernel, holds no copy of the lock, so the next
// pass takes it at once. Nothing is left behind once the file system goes.
TEST(ReliabilityTest, ADriveThatDoesNotAnswerIsGivenUpAfterTenSeconds) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a FUSE file system needs root";
  Installation inst;
  // The pass's query child comes to this process when the pass ends.
  ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  std::optional<SilentFuseMount> share;
  share.emplace();
  if (!share->mounted()) GTEST_SKIP() << "cannot mount a FUSE file system here: " << share->failure();
  inst.WriteConfig("[SPEKOLAR]\nE-Mail=admin@example.org\n"
                   "[LAUFWERK]\nMinGroesse=1\nMeldungstyp=fenster\nID=" + share->point() + "\n");

  // Should a pass wait for the query after all, the file system goes after
  // a minute, so that the test fails instead of hanging with it.
  std::atomic<bool> passesDone{false};
  std::thread watchdog([&passesDone, server = share->server()] {
    for (int i = 0; i < 600 && !passesDone; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (!passesDone) ::kill(server, SIGKILL);
  });
  auto start = std::chrono::steady_clock::now();
  RunResult first = inst.Run();
  const auto firstTook = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(first.exitCode, 0) << first.err;
  EXPECT_GE(firstTook, std::chrono::seconds(10));
  EXPECT_LT(firstTook, std::chrono::seconds(30));
  const std::string log = inst.Log("SPEKOLAR.log");
  EXPECT_NE(log.find(" -    Laufwerk '" + share->point() +
                     "' konnte nicht abgefragt werden: keine Antwort in 10 Sekunden\n"),
            std::string::npos)
      << log;
  EXPECT_NE(inst.Log("SPEKOLAR.TXT").find(";LAUFWERK;3;1;;0 MB;Kapazitaet unterschritten;" +
                                          share->point() + "\n"),
            std::string::npos)
      << inst.Log("SPEKOLAR.TXT");
  // The stand-in works as a dead server does: the killed query still waits.
  size_t stuck = 0;
  for (const auto& [pid, state] : Children()) {
    if (pid != share->server() && state == 'D') ++stuck;
  }
  EXPECT_EQ(stuck, 1u);

  inst.WriteConfig("[SPEKOLAR]\nE-Mail=admin@example.org\n");
  start = std::chrono::steady_clock::now();
  RunResult second = inst.Run();
  EXPECT_EQ(second.exitCode, 0) << second.err;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(inst.Log("SPEKOLAR.log").find("Abbruch"), std::string::npos);
  passesDone = true;
  watchdog.join();

  // Gone with the file system: no process is left.
  share.reset();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (::waitpid(-1, nullptr, WNOHANG) >= 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(Children(), (std::vector<std::pair<int, char>>{}));
  ::prctl(PR_SET_CHILD_SUBREAPER, 0);
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
  inst.WriteMailScript("LD_PRELOAD= ls -ln /proc/self/fd > '" + inst.Root() + "/mail.fds' 2>&1\n");
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

}  // namespace spekolar
