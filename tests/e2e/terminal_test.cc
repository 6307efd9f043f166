// The terminal manager's sections end to end: download and upload
// protocols and a communication log in, findings, notifications, message
// rows and the run protocol out.
#include <gtest/gtest.h>

#include <string>

#include "e2e/Installation.h"
#include "support/Bytes.h"

namespace spekolar {

namespace {

using spktest::Installation;
using spktest::RunResult;

const char kNow[] = "2026-12-07 22:45:00";
const std::string kStamp = "07.12.2026 22:45:00";

std::string Checked(const std::string& name) { return ";(gepr\xFC" "fte Datei: " + name + ")"; }

TEST(TerminalSectionsTest, DownloadAndUploadFindings) {
  Installation inst;
  const std::string logs = inst.Root() + "/work/logs/";
  inst.WriteFile("logs/download.log",
                 "06-12-2026 23:00:00 Fehler von gestern\n"
                 "Start Download\n"
                 "07-12-2026 10:00:00 Verbindung\n"
                 "Term      : \"T01\"\n"
                 "07-12-2026 10:00:05 Fehler beim Lesen; Satz 3\r\n"
                 "07-12-2026 10:00:05 Fehler beim Schreiben\n"
                 "07-12-2026 10:00:30 Ende\n");
  inst.WriteFile("logs/comm/termcommlog_1.log",
                 "07122026100000 Start\n"
                 "Terminal: T07\n"
                 "07122026100100 Start\n"
                 "07122026100105 Error 4 Timeout\n"
                 "07122026100110 Download beendet\n");
  inst.WriteFile("logs/upload/a.log", "07.12.2026 10:59:00 Fehler vor dem Upload\n");
  inst.WriteFile("logs/upload/termupl_neu_1.log",
                 "Start Upload\n"
                 "07-12-2026 11:00:00 Verbindung\n"
                 "Term      : \"T02\"\n"
                 "07-12-2026 11:00:10 Error 9 beim Empfang\n"
                 "07-12-2026 11:00:10 Error 10 beim Empfang\n"
                 "07-12-2026 11:03:00 Ende\n");
  inst.WriteFile("logs/upload/z.log",
                 "Start\n"
                 "07.12.2026 11:05:00 Error 11 \n"
                 "07.12.2026 11:05:30 Ende\n");
  inst.WriteConfig("[SPEKOLAR]\nE-Mail=admin@example.org\n"
                   "[Terminal Download]\nTyp=1,2\nMeldungstyp=Fenster\nDatei=" + logs +
                   "download*.log," + logs + "comm/*\n"
                   "[TERMINAL UPLOAD]\nTyp=1,2\nMeldungstyp=E-MAIL\nDatei=" + logs + "upload/*.log\n");
  RunResult r = inst.Run(kNow);
  ASSERT_EQ(r.exitCode, 0) << r.err;

  const std::string downloadRun = "TERMINAL DOWNLOAD;1;60;1200;30;T01 - 07.12.2026 10:00:30 - Laufzeit "
                                  "unterschritten" + Checked("download.log");
  const std::string downloadError =
      "TERMINAL DOWNLOAD;2;;;;T01 - 07.12.2026 10:00:05 - 07-12-2026 10:00:05 Fehler beim "
      "Lesen\";\" Satz 3" + Checked("download.log");
  const std::string uploadRun = "TERMINAL UPLOAD;1;0;120;180;T02 - 07.12.2026 11:03:00 - Laufzeit "
                                "\xFC" "berschritten" + Checked("termupl_neu_1.log");
  const std::string uploadError =
      "TERMINAL UPLOAD;2;;;;  - 07.12.2026 10:59:00 - 07.12.2026 10:59:00 Fehler vor dem Upload" +
      Checked("a.log");
  EXPECT_EQ(inst.Log("SPEKOLAR.TXT"),
            kStamp + ";" + downloadRun + "\n" +
            kStamp + ";" + downloadError + "\n" +
            kStamp + ";TERMINAL DOWNLOAD;2;;;;T07 - 07.12.2026 10:01:00 - Terminal reagiert nicht" +
                Checked("termcommlog_1.log") + "\n" +
            kStamp + ";TERMINAL DOWNLOAD;2;;;;T07 - 07.12.2026 10:01:05 - 07122026100105 Error 4 "
                "Timeout" + Checked("termcommlog_1.log") + "\n" +
            kStamp + ";" + uploadRun + "\n" +
            kStamp + ";" + uploadError + "\n" +
            kStamp + ";TERMINAL UPLOAD;2;;;;T02 - 07.12.2026 11:00:10 - 07-12-2026 11:00:10 Error 9 "
                "beim Empfang" + Checked("termupl_neu_1.log") + "\n" +
            kStamp + ";TERMINAL UPLOAD;2;;;;T02 - 07.12.2026 11:05:00 - 07.12.2026 11:05:00 Error 11" +
                Checked("z.log") + "\n");

  EXPECT_EQ(inst.Log("SPEKOLAR.NRT"), kStamp + " - Terminal-Download-Fehler\n");
  EXPECT_EQ(inst.Log("SPEKOLAR.EML"),
            "mandant@example.org\nadmin@example.org\n" + kStamp + " - Terminal-Upload-Fehler\n");
  EXPECT_EQ(inst.Sql("SELECT MsgCat, MsgTxt, MsgMod, HEX(MsgDbg) FROM QRVYSTEM.QRV200MSG"
                     " ORDER BY MsgUid"),
            "DEBUG\tTerminal-Download-Fehler\tTerminal Manager\t" + spktest::ToHex(downloadRun) + "\n"
            "DEBUG\tTerminal-Download-Fehler\tTerminal Manager\t" + spktest::ToHex(downloadError) + "\n"
            "NACHRICHTEN\tTerminal-Download-Fehler\tTerminal Manager\t\n"
            "DEBUG\tTerminal-Upload-Fehler\tTerminal Manager\t" + spktest::ToHex(uploadRun) + "\n"
            "DEBUG\tTerminal-Upload-Fehler\tTerminal Manager\t" + spktest::ToHex(uploadError) + "\n"
            "NACHRICHTEN\tTerminal-Upload-Fehler\tTerminal Manager\t\n");

  const std::string opened = "<STAMP> -   Bearbeiten Protokolldatei '" + logs;
  const std::string download = opened + "download.log'\n" + opened + "comm/termcommlog_1.log'\n";
  const std::string upload =
      opened + "upload/a.log'\n" + opened + "upload/termupl_neu_1.log'\n" + opened + "upload/z.log'\n";
  const std::string log = spktest::MaskStamps(inst.Log("SPEKOLAR.log"));
  EXPECT_NE(log.find("<STAMP> - Spekolar gestartet\n"
                     "<STAMP> -  \xDC" "berwachung Terminal Download Typ 1 (Laufzeit)\n" + download +
                     "<STAMP> -  \xDC" "berwachung Terminal Download Typ 2 (Fehlermeldungen)\n" + download +
                     "<STAMP> -  \xDC" "berwachung Terminal Upload Typ 1 (Laufzeit)\n" + upload +
                     "<STAMP> -  \xDC" "berwachung Terminal Upload Typ 2 (Fehlermeldungen)\n" + upload +
                     "<STAMP> - %peldavorn_php_bin% "),
            std::string::npos)
      << log;
}

}  // namespace

}  // namespace spekolar
