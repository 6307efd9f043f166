// Computation programs, payroll, drive capacity and the four groups end to
// end: configuration and protocol files in; findings protocol, run
// protocol, notification files and message rows out.
#include <gtest/gtest.h>
#include <sys/statvfs.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "e2e/Installation.h"
#include "support/Bytes.h"

namespace spekolar {

namespace {

using spktest::Installation;
using spktest::MailText;
using spktest::MaskStamps;
using spktest::RunResult;
using spktest::ToHex;

const char kNow[] = "2026-12-07 22:45:00";
const std::string kStamp = "07.12.2026 22:45:00";
const std::string kChecked = "(gepr\xFC" "fte Datei: ";
const std::string kEnd = "<STAMP> - " + std::string(59, '*') + "\n\n";

// The message rows: category, title, [monitor name], detail in hex.
std::string Messages(const Installation& inst) {
  return inst.Sql("SELECT MsgCat, HEX(MsgTxt), CONCAT('[', MsgMod, ']'), HEX(MsgDbg)"
                  " FROM QRVYSTEM.QRV200MSG ORDER BY MsgUid");
}
std::string Row(const std::string& category, const std::string& title, const std::string& name,
                const std::string& detail = "") {
  return category + "\t" + ToHex(title) + "\t[" + name + "]\t" + ToHex(detail) + "\n";
}

// The run protocol, stamps masked, up to the mail script's command.
std::string LogBeforeMail(const Installation& inst) {
  const std::string log = MaskStamps(inst.Log("SPEKOLAR.log"));
  return log.substr(0, log.find("<STAMP> - %peldavorn_php_bin%"));
}

TEST(ProcessGroupsTest, ComputationProgramsLinesAndBlocks) {
  Installation inst;
  const std::string rp = inst.Root() + "/work/rp/";
  inst.WriteFile("rp/berechnung.log",
                 "07.12.2026 01:00:00 Fehler beim Berechnen; Satz 4\n"
                 "07.12.2026 01:00:01 Fehler: kein Befund\n"
                 "06.12.2026 01:00:02 Unzul\xE4" "ssiger Wert\n"
                 "07.12.2026 01:00:03 Unzul\xE4" "ssiger Wert\r\n");
  inst.WriteFile("rp/quardelin.log",
                 "07.12.26 QUARDELIN\nUhrzeit    : 22:15:03\nProgramm   : Q\n"
                 "Meldung   : Satz gesperrt\n---\nErrorCode__: 904\n"
                 "07.12.26 QUARDELIN\nUhrzeit    : 22:16:00\nProgramm   : Q\n"
                 "Meldung   : kein Satz\n---\nErrorCode__: 1403\n"
                 "07.12.2026 Fehler beim Lesen\n");
  ASSERT_TRUE(Passes(inst, "[Rechenprogramme]\nTyp=1,2\nMeldungstyp=FENSTER\nDatei=" + rp +
                           "berechnung.log," + rp + "quardelin.log\n", kNow));

  const std::string first = "RECHENPROGRAMME;2;;;;07.12.2026 01:00:00 Fehler beim Berechnen\";\" Satz 4;" +
                            kChecked + "berechnung.log)";
  EXPECT_EQ(inst.Log("SPEKOLAR.TXT"),
            kStamp + ";" + first + "\n" + kStamp +
                ";RECHENPROGRAMME;2;;;;07.12.2026 01:00:03 Unzul\xE4" "ssiger Wert;" + kChecked +
                "berechnung.log)\n" + kStamp +
                ";RECHENPROGRAMME;2;;;;07.12.2026 22:15:03 - Satz gesperrt;" + kChecked +
                "quardelin.log)\n");
  EXPECT_EQ(inst.Log("SPEKOLAR.NRT"), kStamp + " - Rechenprogramm-Fehler\n");
  EXPECT_EQ(Messages(inst), Row("DEBUG", "Rechenprogramm-Fehler", "", first) +
                                Row("NACHRICHTEN", "Rechenprogramm-Fehler", "Rechenprogramme"));
  // The type-1 monitor of this section writes nothing.
  EXPECT_EQ(MaskStamps(inst.Log("SPEKOLAR.log")),
            "<STAMP> - Spekolar gestartet\n"
            "<STAMP> -  \xDC" "berwachung Rechenprogramme Typ 2 (Fehlermeldungen)\n"
            "<STAMP> -   Bearbeiten Protokolldatei '" + rp + "berechnung.log'\n"
            "<STAMP> -   Bearbeiten Protokolldatei '" + rp + "quardelin.log'\n" + kEnd);
}

TEST(ProcessGroupsTest, PayrollByEmail) {
  Installation inst;
  const std::string lug = inst.Root() + "/work/lug/";
  inst.WriteFile("lug/lohn1.log",
                 "06.12.2026 Fehler von gestern\n"
                 "07.12.2026 06:00:00 Lohnprogramm Akr 12 gestartet\n"
                 "Keine Stammkostenstelle fuer PNr 4711\n");
  inst.WriteFile("lug/lohn2.log",
                 "Fehler vor dem Datum\n"
                 "07.12.2026 07:00:00 Lauf 2\n"
                 "Fehler Lesen Satz 9\n");
  ASSERT_TRUE(Passes(inst, "[SPEKOLAR]\nE-Mail=admin@example.org\n[LUG]\nTyp=12\nMeldungstyp=E-MAIL\nDatei=" +
                           lug + "lohn*.log\n", kNow));

  const std::string first = "LUG;2;;;;Keine Stammkostenstelle fuer PNr 4711;" + kChecked + "lohn1.log)";
  EXPECT_EQ(inst.Log("SPEKOLAR.TXT"),
            kStamp + ";" + first + "\n" + kStamp +
                ";LUG;2;;;;07.12.2026 06:00:00 Lohnprogramm Akr 12 gestartet - Fehler Lesen Satz 9;" +
                kChecked + "lohn2.log)\n");
  EXPECT_EQ(inst.Log("SPEKOLAR.EML"), MailText(kStamp + " - LuG-Fehler\n"));
  EXPECT_EQ(Messages(inst), Row("DEBUG", "LuG-Fehler", "Lohn und Gehalt", first) +
                                Row("NACHRICHTEN", "LuG-Fehler", "Lohn und Gehalt"));
  EXPECT_EQ(LogBeforeMail(inst),
            "<STAMP> - Spekolar gestartet\n"
            "<STAMP> -  \xDC" "berwachung Lohn und Gehalt Typ 1 (Laufzeit)\n"
            "<STAMP> -  \xDC" "berwachung Lohn und Gehalt Typ 2 (Fehlermeldungen)\n"
            "<STAMP> -   Bearbeiten Protokolldatei '" + lug + "lohn1.log'\n"
            "<STAMP> -   Bearbeiten Protokolldatei '" + lug + "lohn2.log'\n");
  EXPECT_NE(inst.MailArgs(), "");
}

// Free MiB of the volume holding `path`, as the program counts them.
int64_t FreeMiB(const std::string& path) {
  struct statvfs vfs;
  if (::statvfs(path.c_str(), &vfs) != 0) return -1;
  return static_cast<int64_t>((static_cast<uint64_t>(vfs.f_bfree) * vfs.f_frsize) >> 20);
}

TEST(ProcessGroupsTest, DriveCapacityOfARealFolderAndAMissingPath) {
  Installation inst;
  const std::string drive = inst.Root();
  const std::string missing = inst.Root() + "/fehlt";
  // No Typ: the drive check runs all the same.
  inst.WriteConfig("[LAUFWERK]\nMinGroesse=999999999 MB\nMeldungstyp=fenster\nID=" + drive + "," +
                   missing + "\n");
  const int64_t before = FreeMiB(drive);
  RunResult r = inst.Run(kNow);
  const int64_t after = FreeMiB(drive);
  ASSERT_EQ(r.exitCode, 0) << r.err;

  // The free space of the real folder is what the volume had during the
  // run; other processes may change it a little meanwhile.
  const std::string findings = inst.Log("SPEKOLAR.TXT");
  const std::string head = kStamp + ";LAUFWERK;3;999999999 ;;";
  ASSERT_EQ(findings.substr(0, head.size()), head) << findings;
  const int64_t free = std::stoll(findings.substr(head.size()));
  EXPECT_GE(free, std::min(before, after) - 64);
  EXPECT_LE(free, std::max(before, after) + 64);
  const std::string record1 = "LAUFWERK;3;999999999 ;;" + std::to_string(free) +
                              " MB;Kapazitaet unterschritten;" + drive;
  const std::string record2 = "LAUFWERK;3;999999999 ;;0 MB;Kapazitaet unterschritten;" + missing;
  EXPECT_EQ(findings, kStamp + ";" + record1 + "\n" + kStamp + ";" + record2 + "\n");

  EXPECT_EQ(inst.Log("SPEKOLAR.NRT"), kStamp + " - Kapazitaet vom Laufwerk ist unterschritten\n");
  const std::string title = "Laufwerks\xFC" "berwachungs-Fehler";
  EXPECT_EQ(Messages(inst), Row("DEBUG", title, "Laufwerk", record1) +
                                Row("DEBUG", title, "Laufwerk", record2) +
                                Row("NACHRICHTEN", "Kapazitaet vom Laufwerk ist unterschritten",
                                    "Laufwerk"));
  EXPECT_EQ(MaskStamps(inst.Log("SPEKOLAR.log")),
            "<STAMP> - Spekolar gestartet\n"
            "<STAMP> -  \xDC" "berwachung Laufwerk\n"
            "<STAMP> -    Laufwerk '" + missing +
                "' konnte nicht abgefragt werden: No such file or directory\n" + kEnd);
}

TEST(ProcessGroupsTest, FourGroups) {
  Installation inst;
  const std::string g = inst.Root() + "/work/g/";
  inst.WriteFile("g/g1.log",
                 "07.December 2026 10:00:00 Job A Error 17\n"
                 "07.December 2026 10:00:01 Job B Fehler\n"
                 "06.December 2026 10:00:02 Job C Error 1\n");
  inst.WriteFile("g/g2.log",
                 "Error before the first entry\n"
                 "07.December 2026 11:00:00 Import; Lauf 3\n"
                 "  Failed to open x\n"
                 "[nativecode=1045] denied\n");
  inst.WriteFile("g/g3a.log", "07-12-2026 12:00:00 Export Error 5\n");
  inst.WriteFile("g/g4.log", "07122026 13:00:00 Sync\n06122026 Failed gestern\n");
  ASSERT_TRUE(Passes(inst, "[SPEKOLAR]\nE-Mail=admin@example.org\n"
                           "[GRUPPE1]\nTyp=1,2\nMeldungstyp=FENSTER\nMinLaufzeit=5\nDatei=" + g + "g1.log\n"
                           "[Gruppe2]\nTyp=2\nMeldungstyp=E-MAIL\nDatei=" + g + "g2.log\n"
                           "[GRUPPE3]\nTyp=2\nMeldungstyp=FENSTER\nDatei=" + g + "none.log," + g + "g3*.log\n"
                           "[GRUPPE4]\nTyp=2\nMeldungstyp=FENSTER\nMaxLaufzeit=99\nDatei=" + g + "g4.log\n",
                     kNow));

  const std::string g1 = "GRUPPE1;2;5;;;07.December 2026 10:00:00 Job A Error 17;" + kChecked + "g1.log)";
  const std::string g2 = "GRUPPE2;2;;;;Fehler - 07.December 2026 11:00:00 Import\";\" Lauf 3;" +
                         kChecked + "g2.log)";
  const std::string g3 = "GRUPPE3;2;;;;Fehler - 07-12-2026 12:00:00 Export Error 5;" + kChecked + "g3a.log)";
  const std::string g4 = "GRUPPE4;2;;99;;Fehler - 07122026 13:00:00 Sync;" + kChecked + "g4.log)";
  EXPECT_EQ(inst.Log("SPEKOLAR.TXT"), kStamp + ";" + g1 + "\n" + kStamp + ";" + g2 + "\n" + kStamp +
                                          ";" + g2 + "\n" + kStamp + ";" + g3 + "\n" + kStamp + ";" +
                                          g4 + "\n");
  EXPECT_EQ(inst.Log("SPEKOLAR.NRT"), kStamp + " - Gruppe1-Fehler\n" + kStamp + " - Gruppe3-Fehler\n" +
                                          kStamp + " - Gruppe4-Fehler\n");
  EXPECT_EQ(inst.Log("SPEKOLAR.EML"), MailText(kStamp + " - Gruppe2-Fehler\n"));
  EXPECT_EQ(Messages(inst), Row("DEBUG", "Gruppe1-Fehler", "Gruppe1", g1) +
                                Row("NACHRICHTEN", "Gruppe1-Fehler", "Gruppe1") +
                                Row("DEBUG", "Gruppe2-Fehler", " ", g2) +
                                Row("NACHRICHTEN", "Gruppe2-Fehler", "Gruppe2") +
                                Row("DEBUG", "Gruppe3-Fehler", "Gruppe3", g3) +
                                Row("NACHRICHTEN", "Gruppe3-Fehler", "Gruppe3") +
                                Row("DEBUG", "Gruppe4-Fehler", "Gruppe4", g4) +
                                Row("NACHRICHTEN", "Gruppe4-Fehler", "Gruppe4"));
  EXPECT_EQ(LogBeforeMail(inst),
            "<STAMP> - Spekolar gestartet\n"
            "<STAMP> -  \xDC" "berwachung Gruppe1 Typ 1 (Laufzeit)\n"
            "<STAMP> -  \xDC" "berwachung Gruppe1 Typ 2 (Fehlermeldungen)\n"
            "<STAMP> -   Bearbeiten Protokolldatei '" + g + "g1.log'\n"
            "<STAMP> -  \xDC" "berwachung Gruppe2 Typ 2 (Fehlermeldungen)\n"
            "<STAMP> -   Bearbeiten Protokolldatei '" + g + "g2.log'\n"
            "<STAMP> -  \xDC" "berwachung Gruppe3 Typ 2 (Fehlermeldungen)\n"
            "<STAMP> -    Protokolldatei '" + g + "none.log' nicht gefunden.\n"
            "<STAMP> -   Bearbeiten Protokolldatei '" + g + "g3a.log'\n"
            "<STAMP> -  \xDC" "berwachung Gruppe4 Typ 2 (Fehlermeldungen)\n"
            "<STAMP> -   Bearbeiten Protokolldatei '" + g + "g4.log'\n");
  EXPECT_NE(inst.MailArgs(), "");
}

// Typ 1 alone: the computation programs write nothing, payroll and the
// groups their header only.
TEST(ProcessGroupsTest, TypeOneOnly) {
  Installation inst;
  inst.WriteFile("x.log", "07.12.2026 Fehler x\n07.December 2026 a Error b\n");
  const std::string file = inst.Root() + "/work/x.log";
  ASSERT_TRUE(Passes(inst, "[RECHENPROGRAMME]\nTyp=1\nDatei=" + file + "\n[LUG]\nTyp=1\nDatei=" + file +
                           "\n[GRUPPE2]\nTyp=1\nDatei=" + file + "\n", kNow));
  EXPECT_EQ(MaskStamps(inst.Log("SPEKOLAR.log")),
            "<STAMP> - Spekolar gestartet\n"
            "<STAMP> -  \xDC" "berwachung Lohn und Gehalt Typ 1 (Laufzeit)\n"
            "<STAMP> -  \xDC" "berwachung Gruppe2 Typ 1 (Laufzeit)\n" + kEnd);
  EXPECT_FALSE(std::filesystem::exists(inst.LogDir() + "/SPEKOLAR.TXT"));
  EXPECT_EQ(Messages(inst), "");
}

}  // namespace

}  // namespace spekolar
