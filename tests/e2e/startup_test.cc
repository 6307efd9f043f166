// The run sequence end to end: start, failures of each start-up step, the
// normal end, and the previous run's notification files.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "e2e/Installation.h"
#include "support/Text.h"

namespace spekolar {

namespace {

using spktest::Installation;
using spktest::RunResult;

const char kNow[] = "2026-12-07 22:45:00";
const std::string kStamp = "07.12.2026 22:45:00 - ";
const std::string kClosing = kStamp + std::string(59, '*') + "\n\n";

TEST(StartupTest, WithoutArgumentPrintsUsageAndStops) {
  Installation inst;
  RunResult r = inst.Run(std::vector<std::string>{}, kNow);
  EXPECT_EQ(r.exitCode, 1);
  std::vector<std::string> out = spktest::Lines(r.out);
  ASSERT_EQ(out.size(), 4u) << r.out;
  EXPECT_EQ(out[1], "Aufruf: Spekolar Peldavorn.IniDatei");
  EXPECT_EQ(out[2], "");
  EXPECT_EQ(out[3], "Spekolar peldavorn.Ini-Datei");
  EXPECT_EQ(inst.Log("SPEKOLAR.log"), kStamp + "Spekolar gestartet\n" + kStamp +
                                          "*** Abbruch wegen fehlendes Parameters ***\n");
}

TEST(StartupTest, MissingConfigurationFile) {
  Installation inst;
  std::filesystem::remove(inst.Root() + "/work/settings/Spekolar.ini");
  RunResult r = inst.Run(kNow);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(inst.Log("SPEKOLAR.log"),
            kStamp + "Spekolar gestartet\n" + kStamp +
                "Konfigurationsdatei '../settings/Spekolar.ini' nicht gefunden.\n");
}

TEST(StartupTest, WrongPasswordReportsTheServersDiagnostics) {
  Installation inst;
  inst.WriteCredentials("MYSQL", "not-the-password");
  RunResult r = inst.Run(kNow);
  EXPECT_EQ(r.exitCode, 1045 & 0xFF);  // the shell sees 8 bits of 1045
  std::string log = inst.Log("SPEKOLAR.log");
  std::string head = kStamp + "Spekolar gestartet\n" + kStamp +
                     "Fehler beim Verbindungsaufbau zur Datenbank:\n1045\n28000\n";
  ASSERT_EQ(log.substr(0, head.size()), head) << log;
  EXPECT_NE(log.find("Access denied", head.size()), std::string::npos) << log;
  EXPECT_EQ(log.substr(log.size() - 2), "\n\n");  // message ends in a line end of its own
  EXPECT_EQ(log.find("*****"), std::string::npos);
}

TEST(StartupTest, UnknownDatabaseSystemIsRefusedBeforeAnyOdbcCall) {
  for (const char* system : {"mysql", "POSTGRES", ""}) {
    Installation inst;
    inst.WriteCredentials(system, "irrelevant");
    RunResult r = inst.Run(kNow);
    EXPECT_EQ(r.exitCode, 255) << system;  // -1
    EXPECT_EQ(inst.Log("SPEKOLAR.log"),
              kStamp + "Spekolar gestartet\n" + kStamp +
                  "Fehler beim Verbindungsaufbau zur Datenbank:\n0\n\n\n\n")
        << system;
  }
}

TEST(StartupTest, NoMatchingTenantEndsWithNoData) {
  Installation inst;
  inst.Sql("UPDATE qrvystem.qrv112mnd SET MNDKON = 1;"
           "INSERT INTO qrvystem.qrv112mnd (MNDLIZ, MNDNUM, MNDEML, MNDSCH, MNDKON)"
           " VALUES ('L0002', '00002', 'x@y', NULL, 0);");
  RunResult r = inst.Run(kNow);
  EXPECT_EQ(r.exitCode, 100);
  EXPECT_EQ(inst.Log("SPEKOLAR.log"), kStamp + "Spekolar gestartet\n" + kStamp +
                                          "Fehler beim SQLFetchQrv112Mnd:\n0\n\n\n\n");
}

TEST(StartupTest, NormalRunEndsWithTheAsteriskEntry) {
  Installation inst;
  RunResult r = inst.Run(kNow);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(inst.Log("SPEKOLAR.log"), kStamp + "Spekolar gestartet\n" + kClosing);
  // A second run appends; runs are separated by the asterisk entry.
  inst.Run(kNow);
  EXPECT_EQ(inst.Log("SPEKOLAR.log"),
            kStamp + "Spekolar gestartet\n" + kClosing + kStamp + "Spekolar gestartet\n" + kClosing);
  EXPECT_EQ(inst.MailArgs(), "");  // no e-mail text, no mail script
}

TEST(StartupTest, PreviousNotificationFilesAreMovedAside) {
  Installation inst;
  std::string log = inst.LogDir();
  auto write = [&](const char* name, const char* text) {
    std::ofstream(log + "/" + name, std::ios::binary) << text;
  };
  write("SPEKOLAR.EML", "last run's mail\n");
  write("SPEKOLAR.EML_Old", "older mail\n");
  write("SPEKOLAR.NRT", "last run's notes\n");
  RunResult r = inst.Run(kNow);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(inst.Log("SPEKOLAR.EML_Old"), "last run's mail\n");
  EXPECT_EQ(inst.Log("SPEKOLAR.NRT_Old"), "last run's notes\n");
  EXPECT_FALSE(std::filesystem::exists(log + "/SPEKOLAR.EML"));
  EXPECT_FALSE(std::filesystem::exists(log + "/SPEKOLAR.NRT"));
}

}  // namespace

namespace {

TEST(EncryptToolTest, WithoutArgumentPrintsUsageAndExits2) {
  int status = std::system((std::string(SPEKOLAR_ENCRYPT_BINARY) + " > /dev/null 2>&1").c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 2);
}

// The tool's own options, and "--" before a text that looks like one.
TEST(EncryptToolTest, HelpVersionAndTextsAfterDoubleDash) {
  auto run = [](const std::string& args, std::string* out) {
    int exitCode = -1;
    *out = spktest::CommandOutput(std::string(SPEKOLAR_ENCRYPT_BINARY) + " " + args + " 2>/dev/null", &exitCode);
    return exitCode;
  };
  std::string secret;
  ASSERT_EQ(run("secret", &secret), 0);
  struct Case {
    const char* args;
    int exitCode;
    std::string outPart;  // contained in standard output
  };
  for (const Case& c : std::vector<Case>{
           {"--help", 0, "PELDAVORN;DB_SYSTEM;<hex>"},
           {"-h", 0, "usage: spekolar-encrypt"},
           {"--version", 0, "spekolar-encrypt 1."},
           {"-- secret", 0, secret},
           {"--", 2, ""},
           {"--frobnicate", 2, ""},
           {"-x", 2, ""},
       }) {
    std::string out;
    EXPECT_EQ(run(c.args, &out), c.exitCode) << c.args;
    EXPECT_NE(out.find(c.outPart), std::string::npos) << c.args << ": " << out;
    if (c.exitCode != 0) {
      EXPECT_EQ(out, "") << c.args;
    }
  }
  // "--help" itself, as a text, is encrypted after "--": one line of hex.
  std::string help;
  EXPECT_EQ(run("-- --help", &help), 0);
  EXPECT_EQ(help.size(), 17u) << help;
  EXPECT_EQ(help.find_first_not_of("0123456789ABCDEF"), 16u) << help;
}

}  // namespace

}  // namespace spekolar
