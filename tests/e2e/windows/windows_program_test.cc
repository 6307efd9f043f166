// spekolar.exe and spekolar-encrypt.exe under Wine, where the Windows build
// must show the Windows forms: CR LF line ends in every file it writes, its
// paths with their backslashes and drive, the mail script started as a batch
// file through cmd, start-up failures with the same codes and texts as on
// Linux (the database reached through the system's odbc32).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "e2e/Installation.h"
#include "e2e/windows/WindowsProgram.h"
#include "support/Bytes.h"
#include "support/MariaDbServer.h"
#include "support/Text.h"

namespace spekolar {

namespace {

using spktest::Installation;
using spktest::RunResult;
using spktest::WindowsPath;

const char kNow[] = "2026-12-07 22:45:00";
const std::string kStamp = "07.12.2026 22:45:00 - ";

class WindowsProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(spktest::LoadWindowsSetup(&setup_, &error)) << error;
    inst_.SetRegistryPath(WindowsPath(inst_.Root() + "/inst"));
  }
  RunResult Run(const std::vector<std::string>& args) {
    return spktest::RunWindowsPass(setup_, inst_, args, kNow);
  }
  std::vector<std::string> Credentials() { return {WindowsPath(inst_.CredentialsPath())}; }

  spktest::WindowsSetup setup_;
  Installation inst_;
};

TEST_F(WindowsProgramTest, StartUpFailuresGiveTheCodesAndEntriesOfTheLinuxProgram) {
  struct Case {
    const char* name;
    const char* dbSystem;
    const char* password;  // nullptr: the right one
    bool withArgument;
    int exitCode;  // as the shell sees it (8 bits)
    std::string logAfterStart;
  };
  const std::string kStart = kStamp + "Spekolar gestartet\r\n";
  const Case cases[] = {
      {"no argument", "MYSQL", nullptr, false, 1,
       kStamp + "*** Abbruch wegen fehlendes Parameters ***\r\n"},
      {"database system in lower case", "mysql", "x", true, 255,
       kStamp + "Fehler beim Verbindungsaufbau zur Datenbank:\r\n0\r\n\r\n\r\n\r\n"},
      {"wrong password", "MYSQL", "not-the-password", true, 1045 & 0xFF,
       kStamp + "Fehler beim Verbindungsaufbau zur Datenbank:\r\n1045\r\n28000\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Installation inst;
    inst.SetRegistryPath(WindowsPath(inst.Root() + "/inst"));
    if (c.password != nullptr) inst.WriteCredentials(c.dbSystem, c.password);
    RunResult r = spktest::RunWindowsPass(
        setup_, inst,
        c.withArgument ? std::vector<std::string>{WindowsPath(inst.CredentialsPath())}
                       : std::vector<std::string>{},
        kNow);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    std::string log = inst.Log("SPEKOLAR.log");
    std::string head = kStart + c.logAfterStart;
    EXPECT_EQ(log.substr(0, head.size()), head);
    if (!c.withArgument) {
      EXPECT_NE(r.out.find("\r\nAufruf: Spekolar Peldavorn.IniDatei\r\n\r\nSpekolar peldavorn.Ini-Datei\r\n"),
                std::string::npos)
          << r.out;
    }
  }
}

// One finding by e-mail, with the installation directory on a drive: every
// file in CR LF form, paths as Windows writes them, the batch stand-in of
// the mail script called through cmd with the expanded %peldavorn_php_bin%.
TEST_F(WindowsProgramTest, FindingByEmailInWindowsForms) {
  inst_.WriteFile("logs/jobctl.log", "2026-12-07 08:01:00: Error in job A\r\n");
  const std::string pattern = WindowsPath(inst_.Root() + "/work/logs/JOBCTL.LOG");
  inst_.WriteConfig("[SPEKOLAR]\r\nE-Mail=admin@example.org\r\n"
                    "[JOBCONTROLLER]\r\nTyp=2\r\nMeldungstyp=E-MAIL\r\nDatei=" + pattern + "\r\n");
  RunResult r = Run(Credentials());
  ASSERT_EQ(r.exitCode, 0) << r.err;

  const std::string web = WindowsPath(inst_.Root() + "/inst") + "\\htdocs\\PELDAVORN\\peldavorn_php\\";
  const std::string script = web + "common\\Classes\\phpMailer2\\sendmail_Spk.php";
  // The search hands back the name as the folder spells it.
  const std::string found = WindowsPath(inst_.Root() + "/work/logs") + "\\jobctl.log";
  EXPECT_EQ(inst_.Log("SPEKOLAR.log"),
            kStamp + "Spekolar gestartet\r\n" +
            kStamp + " \xDC" "berwachung Jobcontroller Typ 2 (Fehlermeldungen)\r\n" +
            kStamp + "  Bearbeiten Protokolldatei '" + found + "'\r\n" +
            kStamp + "%peldavorn_php_bin% " + script + "\r\n" +
            kStamp + "E-Mail ist an admin@example.org gesendet.\r\n" +
            kStamp + std::string(59, '*') + "\r\n\r\n");
  EXPECT_EQ(inst_.Log("SPEKOLAR.TXT"),
            "07.12.2026 22:45:00;JOBCONTROLLER;2;;;;07.12.2026 08:01:00 - Error in job A;\r\n");
  const std::string mail =
      "mandant@example.org\r\nadmin@example.org\r\n" + kStamp + "Jobcontroller-Fehler\r\n";
  EXPECT_EQ(inst_.Log("SPEKOLAR.EML"), mail);
  EXPECT_EQ(inst_.ReadFile("mail.sent"), mail);
  EXPECT_EQ(inst_.MailArgs(), script + "\r\n");
  EXPECT_EQ(inst_.Sql("SELECT HEX(MsgLnk), MsgCat FROM QRVYSTEM.QRV200MSG ORDER BY MsgUid"),
            spktest::ToHex(web + "log\\Spekolar.Txt") + "\tDEBUG\n" +
                spktest::ToHex(web + "log\\Spekolar.Txt") + "\tNACHRICHTEN\n");
}

// The console rule of --check's output, as far as Wine lets it be seen:
// - on a console (a pseudo-terminal, where Wine's console hands the text on
//   as UTF-8) "Überwachung" and "geprüft" arrive whole even with code page
//   866, which has neither character: the text went through the
//   wide-character interface, not as bytes of a code page;
// - redirected inside a console, the bytes follow that console's output
//   code page (1252 here, to tell it from the OEM code page);
// - redirected without any console, the OEM code page (437 under Wine).
// What a real console window draws is not seen here: Wine's console renders
// onto the terminal in the host's encoding.
TEST_F(WindowsProgramTest, CheckOutputReachesConsoleAndRedirectedStreamsReadably) {
  inst_.WriteConfig("[SPEKOLAR]\r\nE-Mail=admin@example.org\r\n"
                    "[\xDC" "berwachung gepr\xFC" "ft]\r\nTyp=1\r\n");
  const std::string credentials = WindowsPath(inst_.CredentialsPath());
  const std::string tail = "ft] matches no monitor and is skipped";
  std::string error;

  RunResult redirected = spktest::RunWindowsPass(setup_, inst_, {"--check", credentials}, "");
  EXPECT_EQ(redirected.exitCode, 1) << redirected.out;
  EXPECT_NE(redirected.out.find("[\x9A" "berwachung gepr\x81" + tail + "\r\n"), std::string::npos)
      << redirected.out;
  // The registry as Windows has it: a key, no store file.
  EXPECT_NE(redirected.out.find("OK    registry key HKEY_LOCAL_MACHINE\\Software\\KORVANE\\"
                                "PELDAVORN: Path = " + WindowsPath(inst_.Root() + "/inst") + "\r\n"),
            std::string::npos)
      << redirected.out;
  EXPECT_EQ(redirected.out.find("SPEKOLAR_REGISTRY"), std::string::npos);

  // No quotes: Wine hands cmd the one argument with inner quotes escaped.
  // The test's folders hold no blanks.
  const std::string program = WindowsPath(setup_.buildDir + "/spekolar.exe") + " --check " + credentials;
  spktest::MariaDbServer server;
  ASSERT_TRUE(spktest::LoadMariaDbServer(&server, &error)) << error;
  const std::vector<std::string> environment = {"ODBCINI=" + server.Get("ODBCINI")};
  const std::string workDir = inst_.Root() + "/work/bin";
  const std::string console =
      spktest::RunInWineConsole(setup_, "chcp 866 >nul & " + program, workDir, environment);
  EXPECT_NE(console.find("[\xC3\x9C" "berwachung gepr\xC3\xBC" + tail), std::string::npos) << console;

  const std::string file = WindowsPath(inst_.Root() + "/check.txt");
  spktest::RunInWineConsole(setup_, "chcp 1252 >nul & " + program + " > " + file, workDir,
                            environment);
  const std::string viaFile = inst_.ReadFile("check.txt");
  EXPECT_NE(viaFile.find("[\xDC" "berwachung gepr\xFC" + tail + "\r\n"), std::string::npos) << viaFile;
}

// --help on Windows speaks of Windows: the registry key, the path with
// backslashes, exit codes in full.
TEST(WindowsHelpTest, SaysNothingLinuxOnly) {
  spktest::WindowsSetup setup;
  std::string error;
  ASSERT_TRUE(spktest::LoadWindowsSetup(&setup, &error)) << error;
  spktest::TempDir dir;
  dir.Write("bin/.keep", "");
  RunResult help = spktest::RunUnderWine(setup, "spekolar.exe", {"--help"}, dir.path() + "/bin", {});
  EXPECT_EQ(help.exitCode, 0);
  for (const char* linuxOnly : {"modulo", "/etc/", "SPEKOLAR_REGISTRY", "../settings"}) {
    EXPECT_EQ(help.out.find(linuxOnly), std::string::npos) << linuxOnly << "\n" << help.out;
  }
  for (const char* windows : {"..\\settings\\Spekolar.ini", "HKEY_LOCAL_MACHINE\\Software\\KORVANE\\PELDAVORN",
                              "%ERRORLEVEL% 1045"}) {
    EXPECT_NE(help.out.find(windows), std::string::npos) << windows << "\n" << help.out;
  }
}

TEST(WindowsEncryptToolTest, SameCipherTextAsTheLinuxTool) {
  spktest::WindowsSetup setup;
  std::string error;
  ASSERT_TRUE(spktest::LoadWindowsSetup(&setup, &error)) << error;
  spktest::TempDir dir;
  dir.Write("bin/.keep", "");
  for (const std::string value : {"MYSQL", "secret", "QRVYSTEM."}) {
    RunResult windows = spktest::RunUnderWine(setup, "spekolar-encrypt.exe", {value},
                                              dir.path() + "/bin", {});
    EXPECT_EQ(windows.exitCode, 0) << value;
    const std::string linux = spktest::CommandOutput(std::string(SPEKOLAR_ENCRYPT_BINARY) + " " + value);
    ASSERT_FALSE(linux.empty()) << value;
    // The Windows tool ends its line with CR LF.
    EXPECT_EQ(windows.out, linux.substr(0, linux.find('\n')) + "\r\n") << value;
  }
  EXPECT_EQ(spktest::RunUnderWine(setup, "spekolar-encrypt.exe", {}, dir.path() + "/bin", {})
                .exitCode,
            2);
  // The tool's own options, as on Linux; "--help" itself after "--".
  for (const std::string args : {"--help", "--version", "-- --help"}) {
    std::vector<std::string> argv;
    for (size_t at = 0; at < args.size();) {
      const size_t blank = std::min(args.find(' ', at), args.size());
      argv.push_back(args.substr(at, blank - at));
      at = blank + 1;
    }
    RunResult windows = spktest::RunUnderWine(setup, "spekolar-encrypt.exe", argv, dir.path() + "/bin", {});
    EXPECT_EQ(windows.exitCode, 0) << args;
    const std::string linux = spktest::CommandOutput(std::string(SPEKOLAR_ENCRYPT_BINARY) + " " + args);
    std::string windowsText;
    for (char c : windows.out) {
      if (c != '\r') windowsText += c;
    }
    EXPECT_FALSE(linux.empty()) << args;
    EXPECT_EQ(windowsText, linux) << args;
  }
}

}  // namespace

}  // namespace spekolar
