// Passes that report each finding once a day (--new-only), end to end: over
// a protocol that grows, across a day's end, with a damaged state file, two
// at once, and one killed before it could save what it reported. The
// journal line (--summary) of each pass says what it reported.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "e2e/Installation.h"
#include "support/Text.h"

namespace spekolar {

namespace {

using spktest::Installation;
using spktest::Lines;
using spktest::CountOf;
using spktest::RunResult;

const char kState[] = "SPEKOLAR.GEMELDET";
const char kDrive[] = "Kapazitaet unterschritten";

std::string JobLine(const char* day, const char* time, const char* job) {
  return std::string(day) + " " + time + ": Error in job " + job + "\n";
}

// Job controller errors, mailed, and a drive always short of space, shown.
// The mail script stand-in counts its calls.
void Configure(Installation& inst) {
  inst.WriteConfig("[SPEKOLAR]\nE-Mail=admin@example.org\n"
                   "[JobController]\nTyp=2\nMeldungstyp=E-Mail\nDatei=" + inst.Root() +
                   "/work/logs/jobctl_*.log\n"
                   "[LAUFWERK]\nMinGroesse=999999999 MB\nMeldungstyp=fenster\nID=" + inst.Root() + "\n");
  inst.WriteMailScript("echo call >> '" + inst.Root() + "/mail.calls'\n");
}

void Append(Installation& inst, const std::string& lines) {
  inst.WriteFile("logs/jobctl_1.log", inst.ReadFile("work/logs/jobctl_1.log") + lines);
}

// What the installation holds so far, to be compared before and after a pass.
struct Tally {
  std::vector<std::string> records;  // SPEKOLAR.TXT
  int rows = 0;                      // QRV200MSG
  int mails = 0;                     // calls of the mail script
};

Tally TallyOf(const Installation& inst) {
  Tally t;
  t.records = Lines(inst.Log("SPEKOLAR.TXT"));
  t.rows = std::stoi(inst.Sql("SELECT COUNT(*) FROM QRVYSTEM.QRV200MSG"));
  t.mails = static_cast<int>(Lines(inst.ReadFile("mail.calls")).size());
  return t;
}

// The records a pass added, each matching one of `expected` (in order), and
// for the sections among them the notification, a message row and a section
// message, and one mail when a job controller error is among them.
void ExpectReported(const Installation& inst, const Tally& before, const std::vector<std::string>& expected) {
  const Tally after = TallyOf(inst);
  ASSERT_GE(after.records.size(), before.records.size());
  const std::vector<std::string> added(after.records.begin() + static_cast<long>(before.records.size()),
                                       after.records.end());
  ASSERT_EQ(added.size(), expected.size()) << inst.Log("SPEKOLAR.TXT");
  bool job = false, drive = false;
  for (size_t i = 0; i < added.size(); ++i) {
    EXPECT_NE(added[i].find(expected[i]), std::string::npos) << added[i];
    job = job || expected[i].find("Error in job") != std::string::npos;
    drive = drive || expected[i] == kDrive;
  }
  // A notification line for each section with new findings: the shown
  // one's in SPEKOLAR.NRT, the mailed one's in SPEKOLAR.EML, both files each
  // pass's own.
  const std::string notifications = inst.Log("SPEKOLAR.NRT");
  EXPECT_EQ(Lines(notifications).size(), drive ? 1u : 0u) << notifications;
  const std::string mail = inst.Log("SPEKOLAR.EML");
  EXPECT_EQ(CountOf(mail, " - Jobcontroller-Fehler\n"), job ? 1u : 0u) << mail;
  // A section with new findings stores its first one and a section message.
  EXPECT_EQ(after.rows - before.rows, 2 * (job + drive));
  EXPECT_EQ(after.mails - before.mails, job ? 1 : 0);
}

TEST(NewOnlyTest, EachFindingIsReportedOnceADayAcrossGrowingProtocols) {
  Installation inst;
  Configure(inst);
  const std::string state = inst.LogDir() + "/" + kState;
  const std::string a = JobLine("2026-12-07", "08:01:00", "A");
  struct Pass {
    const char* now;
    std::string append;                 // to the job controller's protocol before the pass
    std::vector<std::string> reported;  // the records the pass adds, in order
    std::string summary;
  };
  const std::vector<Pass> passes = {
      {"2026-12-07 09:00:00", a + JobLine("2026-12-07", "08:30:00", "B"),
       {"Error in job A", "Error in job B", kDrive},
       "Spekolar: 2 Abschnitte, 3 Befunde (JOBCONTROLLER 2, LAUFWERK 1), 4 Meldungen gespeichert, "
       "E-Mail gestartet, 0 Zeilen nicht geschrieben, Exit-Code 0"},
      // The same line again is a second occurrence, reported once more.
      {"2026-12-07 10:00:00", JobLine("2026-12-07", "09:30:00", "C") + a,
       {"Error in job C", "Error in job A"},
       "Spekolar: 2 Abschnitte, 2 Befunde (JOBCONTROLLER 2), 2 Meldungen gespeichert, E-Mail "
       "gestartet, 0 Zeilen nicht geschrieben, Exit-Code 0"},
      {"2026-12-07 11:00:00", "", {},
       "Spekolar: 2 Abschnitte, 0 Befunde, 0 Meldungen gespeichert, keine E-Mail, 0 Zeilen nicht "
       "geschrieben, Exit-Code 0"},
      {"2026-12-07 12:00:00", JobLine("2026-12-07", "11:30:00", "D"), {"Error in job D"},
       "Spekolar: 2 Abschnitte, 1 Befund (JOBCONTROLLER 1), 2 Meldungen gespeichert, E-Mail "
       "gestartet, 0 Zeilen nicht geschrieben, Exit-Code 0"},
      // A new day: the drive is reported again.
      {"2026-12-08 09:00:00", JobLine("2026-12-08", "08:00:00", "E"), {"Error in job E", kDrive},
       "Spekolar: 2 Abschnitte, 2 Befunde (JOBCONTROLLER 1, LAUFWERK 1), 4 Meldungen gespeichert, "
       "E-Mail gestartet, 0 Zeilen nicht geschrieben, Exit-Code 0"},
  };
  for (size_t i = 0; i < passes.size(); ++i) {
    const Pass& p = passes[i];
    SCOPED_TRACE(p.now);
    Append(inst, p.append);
    if (i == 3) {
      // A dry run shows what the pass would report and changes no state.
      const std::string stateBefore = inst.ReadFile(state.substr(inst.Root().size() + 1));
      RunResult dry = inst.Run({"--dry-run", "--new-only", inst.CredentialsPath()}, p.now);
      EXPECT_EQ(dry.exitCode, 0) << dry.err;
      std::vector<std::string> records;
      for (const std::string& line : Lines(dry.out)) {
        if (line.rfind("SPEKOLAR.TXT: ", 0) == 0) records.push_back(line);
      }
      ASSERT_EQ(records.size(), 1u) << dry.out;
      EXPECT_NE(records[0].find("Error in job D"), std::string::npos) << dry.out;
      EXPECT_EQ(inst.ReadFile(state.substr(inst.Root().size() + 1)), stateBefore);
    }
    const Tally before = TallyOf(inst);
    RunResult r = inst.Run({"--new-only", "--summary", inst.CredentialsPath()}, p.now);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, p.summary + "\n");
    // Only the first pass finds no state file, and says so.
    EXPECT_EQ(CountOf(r.err, "SPEKOLAR.GEMELDET' fehlt: alle Befunde von heute gelten als neu."),
              i == 0 ? 1u : 0u)
        << r.err;
    EXPECT_EQ(Lines(r.err).size(), i == 0 ? 1u : 0u) << r.err;
    ExpectReported(inst, before, p.reported);
    if (HasFailure()) return;
  }
  // The state holds the day and hashes, no record text.
  const std::string kept = inst.Log(kState);
  EXPECT_EQ(kept.rfind("SPEKOLAR-GEMELDET 1 08.12.2026\n", 0), 0u) << kept;
  EXPECT_EQ(CountOf(kept, "job"), 0u) << kept;

  // A damaged state file: today's findings are reported again, the pass
  // says why (in the console's UTF-8) and writes a whole state again.
  for (const char* damaged : {"SPEKOLAR-GEMELDET 1 08.12.2026\n00000000000000", "\x01\x02 garbage"}) {
    std::ofstream(state, std::ios::binary | std::ios::trunc) << damaged;
    inst.SetRunEnvironment("LANG=C.UTF-8");
    const Tally before = TallyOf(inst);
    RunResult r = inst.Run({"--new-only", inst.CredentialsPath()}, "2026-12-08 10:00:00");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(CountOf(r.err, "SPEKOLAR.GEMELDET' ist besch\xC3\xA4" "digt: alle Befunde von heute gelten als neu."),
              1u)
        << r.err;
    ExpectReported(inst, before, {"Error in job E", kDrive});
    const Tally after = TallyOf(inst);
    r = inst.Run({"--new-only", inst.CredentialsPath()}, "2026-12-08 10:15:00");
    EXPECT_EQ(r.err, "");
    ExpectReported(inst, after, {});
  }
}

TEST(NewOnlyTest, TwoPassesAtOnceReportEachFindingOnceInTotal) {
  Installation inst;
  Configure(inst);
  Append(inst, JobLine("2026-12-07", "08:01:00", "A") + JobLine("2026-12-07", "08:30:00", "B"));
  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    std::filesystem::remove(inst.LogDir() + "/" + kState);
    std::filesystem::remove(inst.LogDir() + "/SPEKOLAR.TXT");
    std::filesystem::remove(inst.Root() + "/mail.calls");
    inst.Sql("DELETE FROM QRVYSTEM.QRV200MSG");
    const Tally before = TallyOf(inst);
    ASSERT_TRUE(inst.Start({"--new-only", inst.CredentialsPath()}, "@2026-12-07 22:45:00", "A"));
    ASSERT_TRUE(inst.Start({"--new-only", inst.CredentialsPath()}, "@2026-12-07 22:45:00", "B"));
    ASSERT_TRUE(inst.WaitFor("runA.exit", 150) && inst.WaitFor("runB.exit", 150));
    EXPECT_EQ(inst.ReadFile("runA.exit"), "0\n");
    EXPECT_EQ(inst.ReadFile("runB.exit"), "0\n");
    const Tally after = TallyOf(inst);
    ASSERT_EQ(after.records.size(), 3u) << inst.Log("SPEKOLAR.TXT");
    for (const char* what : {"Error in job A", "Error in job B", kDrive}) {
      EXPECT_EQ(CountOf(inst.Log("SPEKOLAR.TXT"), what), 1u) << what;
    }
    EXPECT_EQ(Lines(inst.Log("SPEKOLAR.NRT") + inst.Log("SPEKOLAR.NRT_Old")).size(), 1u);
    EXPECT_EQ(after.rows - before.rows, 4);
    EXPECT_EQ(after.mails - before.mails, 1);
    if (HasFailure()) return;
  }
}

// The process of the built program running in `inst` (its working folder
// tells it from other installations' passes); 0 when there is none.
pid_t PassProcess(const Installation& inst) {
  const std::filesystem::path program = std::filesystem::canonical(SPEKOLAR_BINARY);
  const std::filesystem::path folder = inst.Root() + "/work/bin";
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::error_code ec;
    if (std::filesystem::read_symlink(entry.path() / "exe", ec) == program && !ec &&
        std::filesystem::read_symlink(entry.path() / "cwd", ec) == folder && !ec) {
      return static_cast<pid_t>(std::stol(name));
    }
  }
  return 0;
}

// A pass killed after it reported (during its mail) but before it saved:
// the next pass reports that pass's findings again, and only those.
TEST(NewOnlyTest, APassKilledBeforeSavingLosesNothing) {
  Installation inst;
  Configure(inst);
  Append(inst, JobLine("2026-12-07", "08:01:00", "A"));
  RunResult r = inst.Run({"--new-only", inst.CredentialsPath()}, "2026-12-07 09:00:00");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string saved = inst.Log(kState);

  Append(inst, JobLine("2026-12-07", "09:30:00", "C"));
  inst.WriteMailScript("echo $$ > '" + inst.Root() + "/mail.pid'\nmv '" + inst.Root() + "/mail.pid' '" +
                       inst.Root() + "/mail.started'\nexec sleep 60\n");
  ASSERT_TRUE(inst.Start({"--new-only", inst.CredentialsPath()}, "@2026-12-07 10:00:00", "K"));
  ASSERT_TRUE(inst.WaitFor("mail.started"));
  const pid_t pass = PassProcess(inst);
  ASSERT_NE(pass, 0);
  ASSERT_EQ(::kill(pass, SIGKILL), 0);
  ASSERT_TRUE(inst.WaitFor("runK.exit"));
  EXPECT_NE(inst.ReadFile("runK.exit"), "0\n");
  EXPECT_EQ(CountOf(inst.Log("SPEKOLAR.TXT"), "Error in job C"), 1u) << inst.Log("SPEKOLAR.TXT");
  EXPECT_EQ(inst.Log(kState), saved);
  ::kill(static_cast<pid_t>(std::stol(inst.ReadFile("mail.started"))), SIGKILL);  // the sleeping script

  Configure(inst);
  const Tally before = TallyOf(inst);
  r = inst.Run({"--new-only", inst.CredentialsPath()}, "2026-12-07 10:15:00");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  ExpectReported(inst, before, {"Error in job C"});
}

// A pass that starts before midnight and saves after it keeps its findings
// as the old day's: the drive, still short of space, is reported on the new
// day.
TEST(NewOnlyTest, APassAcrossMidnightLeavesTheNewDayItsFindings) {
  Installation inst;
  Configure(inst);
  Append(inst, JobLine("2026-12-07", "23:50:00", "A"));
  inst.WriteMailScript("sleep 3\n");  // the pass saves after midnight
  ASSERT_EQ(std::system(inst.Command({"--new-only", inst.CredentialsPath()}, "@2026-12-07 23:59:58", "M").c_str()), 0);
  EXPECT_EQ(inst.ReadFile("runM.exit"), "0\n");
  EXPECT_EQ(inst.Log(kState).rfind("SPEKOLAR-GEMELDET 1 07.12.2026\n", 0), 0u) << inst.Log(kState);

  Configure(inst);
  const Tally before = TallyOf(inst);
  RunResult r = inst.Run({"--new-only", inst.CredentialsPath()}, "2026-12-08 00:10:00");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  ExpectReported(inst, before, {kDrive});
}

}  // namespace

}  // namespace spekolar
