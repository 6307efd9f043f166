// Findings end to end: protocol lines in, findings protocol, notification
// files, message rows and the mail script out.
#include <gtest/gtest.h>

#include <string>

#include "e2e/Installation.h"
#include "support/Bytes.h"

namespace spekolar {

namespace {

using spktest::Installation;
using spktest::MailText;

const char kNow[] = "2026-12-07 22:45:00";
const std::string kStamp = "07.12.2026 22:45:00";

std::string MailScriptPath(const Installation& inst) {
  return inst.Root() + "/inst/htdocs/PELDAVORN/peldavorn_php/common/Classes/phpMailer2/sendmail_Spk.php\n";
}

TEST(FindingsTest, JobControllerErrorsOfTodayByEmail) {
  Installation inst;
  inst.WriteFile("logs/jobctl_1.log",
                 "2026-12-06 23:00:00: Error of yesterday\n"
                 "2026-12-07 08:00:00: Job A gestartet\n"
                 "2026-12-07 08:01:00: Error in job A; retry\n"
                 "2026-12-07 09:00:00: Fehler beim Export\r\n"
                 "2026-12-07 09:30:00: ERROR is no error word\n"
                 "2026-12-07 10:00:00: Fehlerfrei beendet\n");
  ASSERT_TRUE(Passes(inst, "[SPEKOLAR]\nE-Mail=admin@example.org\n"
                           "[JobController]\nTyp=1,2\nMeldungstyp=E-Mail\nDatei=" + inst.Root() +
                           "/work/logs/jobctl_*.log\n", kNow));

  EXPECT_EQ(inst.Log("SPEKOLAR.TXT"),
            kStamp + ";JOBCONTROLLER;2;;;;07.12.2026 08:01:00 - Error in job A\";\" retry;\n" +
                kStamp + ";JOBCONTROLLER;2;;;;07.12.2026 09:00:00 - Fehler beim Export;\n" +
                kStamp + ";JOBCONTROLLER;2;;;;07.12.2026 10:00:00 - Fehlerfrei beendet;\n");
  EXPECT_EQ(inst.Log("SPEKOLAR.EML"), MailText(kStamp + " - Jobcontroller-Fehler\n"));
  EXPECT_FALSE(std::filesystem::exists(inst.LogDir() + "/SPEKOLAR.NRT"));
  EXPECT_EQ(inst.Sql("SELECT MsgCat, MsgTxt, MsgMod, MsgDbg FROM QRVYSTEM.QRV200MSG ORDER BY MsgUid"),
            "DEBUG\tJobcontroller-Fehler\t\tJOBCONTROLLER;2;;;;07.12.2026 08:01:00 - Error in job "
            "A\";\" retry;\n"
            "NACHRICHTEN\tJobcontroller-Fehler\tJobcontroller\t\n");

  // The mail script ran once, after the last section, with the script path.
  EXPECT_EQ(inst.MailArgs(), MailScriptPath(inst));
  EXPECT_EQ(inst.ReadFile("mail.sent"), inst.Log("SPEKOLAR.EML"));
  std::string log = inst.Log("SPEKOLAR.log");
  std::string dir = inst.Root() + "/inst\\htdocs\\PELDAVORN\\peldavorn_php\\";
  std::string tail = kStamp + " - %peldavorn_php_bin% " + dir +
                     "common\\Classes\\phpMailer2\\sendmail_Spk.php\n" + kStamp +
                     " - E-Mail ist an admin@example.org gesendet.\n" + kStamp + " - " +
                     std::string(59, '*') + "\n\n";
  ASSERT_GE(log.size(), tail.size());
  EXPECT_EQ(log.substr(log.size() - tail.size()), tail);
  EXPECT_NE(log.find(kStamp + " -  \xDC" "berwachung Jobcontroller Typ 1 (Laufzeit)\n" + kStamp +
                     " -  \xDC" "berwachung Jobcontroller Typ 2 (Fehlermeldungen)\n" + kStamp +
                     " -   Bearbeiten Protokolldatei '" + inst.Root() + "/work/logs/jobctl_1.log'\n"),
            std::string::npos)
      << log;
}

TEST(FindingsTest, DisplayNotificationsRunNoMailScript) {
  Installation inst;
  inst.WriteFile("logs/jobctl.log", "2026-12-07 08:01:00: Error in job A\n");
  ASSERT_TRUE(Passes(inst, "[JOBCONTROLLER]\nTyp=2\nMeldungstyp=fenster\nDatei=" + inst.Root() +
                           "/work/logs/jobctl.log\n"
                           "[GRUPPE1]\nTyp=2\nMeldungstyp=FENSTER\nDatei=nothing\n", kNow));
  EXPECT_EQ(inst.Log("SPEKOLAR.NRT"), kStamp + " - Jobcontroller-Fehler\n");
  EXPECT_FALSE(std::filesystem::exists(inst.LogDir() + "/SPEKOLAR.EML"));
  EXPECT_EQ(inst.MailArgs(), "");
  EXPECT_EQ(inst.Log("SPEKOLAR.log").find("E-Mail"), std::string::npos);
}

// The road of one finding: a daily closing run that took too long.
TEST(FindingsTest, DailyClosingRunTooLong) {
  Installation inst;
  inst.WriteFile("logs/tagesabschluss.log",
                 "06.12.2026 22:00:00 Tagesabschluss wird gestartet\n"
                 "06.12.2026 22:50:00 Tagesabschluss beendet\n"
                 "07.12.2026 22:00:00 Tagesabschluss wird gestartet\n"
                 "07.12.2026 22:10:00 Schreibe Ersatzbuchungen...\n"
                 "07.12.2026 22:40:00 Tagesabschluss beendet\n");
  ASSERT_TRUE(Passes(inst, "[SPEKOLAR]\nE-Mail=admin@example.org\n"
                           "[TAGESABSCHLUSS]\nTyp=1\nMeldungstyp=E-MAIL\nDatei=" + inst.Root() +
                           "/work/logs/tagesabschluss.log\n", kNow));
  std::string record =
      "TAGESABSCHLUSS;1;60;2100;2400;07.12.2026 22:40:00 - Laufzeit \xFC" "berschritten;"
      "(gepr\xFC" "fte Datei: tagesabschluss.log)";
  EXPECT_EQ(inst.Log("SPEKOLAR.TXT"), kStamp + ";" + record + "\n");
  EXPECT_EQ(inst.Log("SPEKOLAR.EML"), MailText(kStamp + " - Tagesabschluss-Fehler\n"));
  EXPECT_EQ(inst.Sql("SELECT MsgCat, MsgTxt, MsgMod, HEX(MsgDbg), MsgLnk, MsgMnd, MsgLiz, MsgSch,"
                     " MsgTin, MsgUid FROM QRVYSTEM.QRV200MSG ORDER BY MsgUid"),
            "DEBUG\tTagesabschluss-Fehler\tTagesabschluss\t" + spktest::ToHex(record) + "\t" + inst.Root() + "/inst\\\\htdocs\\\\PELDAVORN\\\\peldavorn_php\\\\log\\\\Spekolar.Txt"
                  "\t00001\tL0001\tMANDANT1\t20261207224500\tSpekolar_20261207224500.0\n"
                  "NACHRICHTEN\tTagesabschluss-Fehler\tTagesabschluss\t\t" + inst.Root() +
                  "/inst\\\\htdocs\\\\PELDAVORN\\\\peldavorn_php\\\\log\\\\Spekolar.Txt"
                  "\t00001\tL0001\tMANDANT1\t20261207224500\tSpekolar_20261207224500.1\n");
  EXPECT_EQ(inst.MailArgs(), MailScriptPath(inst));
}

// A watched line holding NUL bytes: the record in SPEKOLAR.TXT and the
// row's detail are the same, each NUL a blank, the rest of the line and the
// record's closing ";" kept.
TEST(FindingsTest, NulBytesOfALineAreBlanksInTheRecordAndTheRow) {
  using namespace std::string_literals;
  Installation inst;
  inst.WriteFile("logs/jobctl.log", "2026-12-07 08:01:00: Error\0in job A; retry\0\n"s);
  ASSERT_TRUE(Passes(inst, "[JobController]\nTyp=2\nMeldungstyp=Fenster\nDatei=" + inst.Root() +
                           "/work/logs/jobctl.log\n", kNow));
  const std::string record = "JOBCONTROLLER;2;;;;07.12.2026 08:01:00 - Error in job A\";\" retry ;";
  EXPECT_EQ(inst.Log("SPEKOLAR.TXT"), kStamp + ";" + record + "\n");
  EXPECT_EQ(inst.Sql("SELECT HEX(MsgDbg) FROM QRVYSTEM.QRV200MSG WHERE MsgCat = 'DEBUG'"),
            spktest::ToHex(record) + "\n");
}

}  // namespace

namespace {

// The job controller's file loop and stop-message rule through the whole
// program: a pattern that matches nothing is reported and skipped, the
// stop/restart sequences decide which error lines count, an empty slot ends
// the list, and a matched directory ends the monitor.
TEST(FindingsTest, JobControllerFileLoopAndStopMessages) {
  Installation inst;
  const std::string logs = inst.Root() + "/work/logs/";
  inst.WriteFile("logs/a.log",
                 "2026-12-07 01:00:00: Service QRVJOBCTL wurde beendet\n"
                 "2026-12-07 01:00:01: Dienst gestartet\n"
                 "2026-12-07 01:00:02: Error suppressed\n"
                 "2026-12-07 02:00:00: Service QRVJOBCTL wurde beendet\n"
                 "2026-12-07 02:00:01: Error right after the stop\n"
                 "2026-12-07 03:00:00: Service QRVJOBCTL wurde beendet\n"
                 "2026-12-07 03:00:01: plain\n"
                 "2026-12-07 03:00:02: plain\n"
                 "2026-12-07 03:00:03: Error after two lines\n");
  inst.WriteFile("logs/c.log", "2026-12-07 04:00:00: Error in slot 3\n");
  inst.WriteFile("logs/dir.d/x", "");
  ASSERT_TRUE(Passes(inst, "[JOBCONTROLLER]\nTyp=2\nMeldungstyp=EMAIL\nDatei=" + logs + "none*.log," + logs +
                           "a.log,," + logs + "c.log\n"
                           "[GRUPPE1]\nMeldungstyp=FENSTER\nDatei=" + logs + "c.log\n"
                           "[JOBCONTROLLER]\nTyp=2\nDatei=x\n", kNow));
  EXPECT_EQ(inst.Log("SPEKOLAR.TXT"),
            kStamp + ";JOBCONTROLLER;2;;;;07.12.2026 02:00:01 - Error right after the stop;\n" +
                kStamp + ";JOBCONTROLLER;2;;;;07.12.2026 03:00:03 - Error after two lines;\n" +
                // The duplicate section reads the keys of the first one.
                kStamp + ";JOBCONTROLLER;2;;;;07.12.2026 02:00:01 - Error right after the stop;\n" +
                kStamp + ";JOBCONTROLLER;2;;;;07.12.2026 03:00:03 - Error after two lines;\n");
  std::string log = spktest::MaskStamps(inst.Log("SPEKOLAR.log"));
  std::string pass = "<STAMP> -  \xDC" "berwachung Jobcontroller Typ 2 (Fehlermeldungen)\n"
                     "<STAMP> -    Protokolldatei '" + logs + "none*.log' nicht gefunden.\n"
                     "<STAMP> -   Bearbeiten Protokolldatei '" + logs + "a.log'\n";
  EXPECT_EQ(log, "<STAMP> - Spekolar gestartet\n" + pass + pass + "<STAMP> - " +
                     std::string(59, '*') + "\n\n");
  // Meldungstyp EMAIL is neither FENSTER nor E-MAIL: no notification file,
  // but each section still stores its section message. GRUPPE1 has no Typ:
  // nothing runs and nothing is written for it.
  EXPECT_FALSE(std::filesystem::exists(inst.LogDir() + "/SPEKOLAR.EML"));
  EXPECT_FALSE(std::filesystem::exists(inst.LogDir() + "/SPEKOLAR.NRT"));
  EXPECT_EQ(inst.Sql("SELECT MsgCat, MsgMod FROM QRVYSTEM.QRV200MSG ORDER BY MsgUid"),
            "DEBUG\t\nNACHRICHTEN\tJobcontroller\nDEBUG\t\nNACHRICHTEN\tJobcontroller\n");
  EXPECT_EQ(inst.MailArgs(), "");

  // A directory among the matches cannot be opened and ends the monitor.
  ASSERT_TRUE(Passes(inst, "[JOBCONTROLLER]\nTyp=2\nDatei=" + logs + "dir.d," + logs + "c.log\n", kNow));
  log = inst.Log("SPEKOLAR.log");
  EXPECT_NE(log.find(kStamp + " -    Protokolldatei '" + logs +
                     "dir.d' konnte nicht ge\xF6" "ffnet werden\n" + kStamp + " - ****"),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("c.log"), std::string::npos);
}

}  // namespace

}  // namespace spekolar
