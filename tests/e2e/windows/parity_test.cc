// The same installation, one pass by the Linux program and one by the
// Windows program under Wine: the findings records, run protocol entries,
// notification files, message rows and mail script calls must agree, line
// ends and path forms aside. The installation configures all eleven
// sections with protocol lines that each section's monitors report, so every
// monitor the program has takes part.
#include <gtest/gtest.h>

#include <string>

#include "e2e/Installation.h"
#include "e2e/windows/WindowsProgram.h"

namespace spekolar {

namespace {

using spktest::Installation;
using spktest::PassOutcome;

const char kNow[] = "2026-12-07 22:45:00";

// Protocol files of every section for 7 December 2026, and a configuration
// that names them with paths without drive, valid on both systems.
void WriteEverySection(Installation& inst) {
  const std::string logs = spktest::BackslashPath(inst.Root() + "/work/logs") + "\\";
  // Job controller: two files whose order differs between a comparison in
  // upper case (NTFS: "_Za" first) and one in lower case; a Ctrl-Z byte,
  // which ends a read in the C runtime's text mode, ahead of an error line.
  inst.WriteFile("logs/jobctl__a.log", "2026-12-07 08:00:00: Error in second file\n");
  inst.WriteFile("logs/jobctl_Za.log",
                 "2026-12-06 23:00:00: Error of yesterday\n"
                 "2026-12-07 08:01:00: Error in job A; retry\n"
                 "2026-12-07 08:02:00: \x1A stray byte\r\n"
                 "2026-12-07 09:00:00: Fehler beim Export\r\n");
  inst.WriteFile("logs/tagesabschluss.log",
                 "07.12.2026 22:00:00 Tagesabschluss wird gestartet\n"
                 "07.12.2026 22:10:00 Schreibe Ersatzbuchungen...\n"
                 "07.12.2026 22:20:00 Starte TGB\n"
                 "07.12.2026 22:30:00 Fehler in Buchung 4711; Satz 2\n"
                 "07.12.2026 22:40:00 Tagesabschluss beendet\n");
  inst.WriteFile("logs/rechen.log", "07.12.2026 10:00:00 Fehler beim Rechnen\n");
  inst.WriteFile("logs/MORVASTEN.log",
                 "Lauf vom 07.12.26\n"
                 "Uhrzeit    : 10:11:12\n"
                 "Programm   : MORVASTEN\n"
                 "Meldung    :Satz gesperrt\n"
                 "Benutzer   : batch\n"
                 "ErrorCode__:904\n");
  inst.WriteFile("logs/termdl.log",
                 "Start Download\n"
                 "07-12-2026 10:00:00 Verbindung\n"
                 "Term      : \"T01\"\n"
                 "07-12-2026 10:00:30 Ende\n"
                 "07-12-2026 10:00:40 Daten Fehler beim Laden\n");
  inst.WriteFile("logs/TERMCOMMLOG_1.log",
                 "07122026100000 Start\n"
                 "Terminal: T01\n"
                 "07122026100005 Fehler 17 beim Senden\n");
  inst.WriteFile("logs/TERMUPL_NEU.log",
                 "Start Upload\n"
                 "07-12-2026 10:00:00 Verbindung\n"
                 "Term      : \"T02\"\n"
                 "07-12-2026 10:02:30 Ende\n"
                 "07-12-2026 10:03:00 Fehler beim Senden\n");
  inst.WriteFile("logs/upload.log", "07.12.2026 11:00:00 Error bei Terminal 5\n");
  inst.WriteFile("logs/lug.log",
                 "06.12.2026 Fehler von gestern\n"
                 "07.12.2026 08:00:00 Lohnprogramm Akr gestartet\n"
                 "07.12.2026 08:05:00 Fehler Lesen Satz 3\n"
                 "Keine Stammkostenstelle fuer PNR 17\n");
  inst.WriteFile("logs/gruppe1.log", "7.December 2026 10:00:00 Job Fehler beim Export\n");
  inst.WriteFile("logs/gruppe2.log",
                 "7.December 2026 10:00:00 Lauf\n"
                 "  Failed to connect\n"
                 "7.December 2026 10:05:00 ok\n");
  inst.WriteFile("logs/gruppe3.log", "07-12-2026 10:00:00 Lauf\nError in Schritt 2\n");
  inst.WriteFile("logs/gruppe4.log", "07122026 100000 Lauf\n[nativecode=1045] abgelehnt\n");

  inst.WriteConfig(
      "[SPEKOLAR]\r\nE-Mail=admin@example.org\r\n"
      "[JobController]\r\nTyp=1,2\r\nMeldungstyp=E-MAIL\r\nDatei=" + logs + "jobctl_*.log," + logs +
      "missing*.log\r\n"
      "[TAGESABSCHLUSS]\r\nTyp=12\r\nMeldungstyp=FENSTER\r\nDatei=" + logs + "tagesabschluss.log\r\n"
      "[RECHENPROGRAMME]\r\nTyp=2\r\nMeldungstyp=E-MAIL\r\nDatei=" + logs + "rechen.log," + logs +
      "morvasten.log\r\n"
      "[TERMINAL DOWNLOAD]\r\nTyp=1,2\r\nMeldungstyp=FENSTER\r\nDatei=" + logs + "termdl.log," +
      logs + "TERMCOMMLOG_*.log\r\n"
      "[TERMINAL UPLOAD]\r\nTyp=1,2\r\nMeldungstyp=E-MAIL\r\nDatei=" + logs + "TERMUPL_NEU.log," +
      logs + "upload.log\r\n"
      "[LUG]\r\nTyp=1,2\r\nMeldungstyp=FENSTER\r\nDatei=" + logs + "lug.log\r\n"
      "[LAUFWERK]\r\nMeldungstyp=E-MAIL\r\nMinGroesse=2000000000MB\r\nID=" +
      spktest::BackslashPath(inst.Root()) + "\r\n"
      "[GRUPPE1]\r\nTyp=1,2\r\nMeldungstyp=FENSTER\r\nDatei=" + logs + "gruppe1.log\r\n"
      "[GRUPPE2]\r\nTyp=2\r\nMeldungstyp=E-MAIL\r\nDatei=" + logs + "gruppe2.log\r\n"
      "[GRUPPE3]\r\nTyp=2\r\nMinLaufzeit=5\r\nDatei=" + logs + "gruppe3.log\r\n"
      "[GRUPPE4]\r\nTyp=2\r\nMeldungstyp=fenster\r\nDatei=" + logs + "gruppe4.log\r\n");
  // The installation directory without drive, and the argument likewise.
  inst.SetRegistryPath(spktest::BackslashPath(inst.Root() + "/inst"));
}

void ExpectSameOutcome(const PassOutcome& linux, const PassOutcome& windows) {
  EXPECT_EQ(windows.exitCode, linux.exitCode);
  EXPECT_EQ(windows.out, linux.out);
  EXPECT_EQ(windows.messageRows, linux.messageRows);
  EXPECT_EQ(windows.mailArgs, linux.mailArgs);
  EXPECT_EQ(windows.mailSent, linux.mailSent);
  std::vector<std::string> linuxNames, windowsNames;
  for (const auto& [name, bytes] : linux.logFiles) linuxNames.push_back(name);
  for (const auto& [name, bytes] : windows.logFiles) windowsNames.push_back(name);
  ASSERT_EQ(windowsNames, linuxNames);
  for (const auto& [name, bytes] : linux.logFiles) {
    EXPECT_EQ(windows.logFiles.at(name), bytes) << name;
  }
}

TEST(WindowsParityTest, OnePassOverEverySectionGivesTheSameOutcome) {
  spktest::WindowsSetup setup;
  std::string error;
  ASSERT_TRUE(spktest::LoadWindowsSetup(&setup, &error)) << error;

  Installation inst;
  WriteEverySection(inst);
  const std::vector<std::string> args = {spktest::BackslashPath(inst.CredentialsPath())};

  spktest::RunResult linuxRun = inst.Run(args, kNow);
  ASSERT_EQ(linuxRun.exitCode, 0) << linuxRun.err;
  const PassOutcome linux = spktest::Normalized(spktest::CollectOutcome(inst, linuxRun));
  // The comparison means something only if the pass found something.
  ASSERT_NE(linux.logFiles.count("SPEKOLAR.TXT"), 0u);
  EXPECT_NE(linux.logFiles.at("SPEKOLAR.TXT").find("JOBCONTROLLER;2;;;;07.12.2026 09:00:00 - "
                                                   "Fehler beim Export;"),
            std::string::npos)
      << "the line after the Ctrl-Z byte was not read";
  EXPECT_NE(linux.messageRows, "");
  EXPECT_NE(linux.mailArgs, "");

  spktest::ResetOutcome(inst);
  spktest::RunResult windowsRun = spktest::RunWindowsPass(setup, inst, args, kNow);
  ASSERT_EQ(windowsRun.exitCode, 0) << windowsRun.err;
  const PassOutcome windows = spktest::Normalized(spktest::CollectOutcome(inst, windowsRun));
  ExpectSameOutcome(linux, windows);
}

}  // namespace

}  // namespace spekolar
