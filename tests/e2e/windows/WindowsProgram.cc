#include "e2e/windows/WindowsProgram.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "support/MariaDbServer.h"
#include "support/TempDir.h"
#include "support/Text.h"

namespace spekolar::spktest {

namespace {

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// The shell command that runs `rest` with Wine's settings for the prefix.
std::string WineEnvironment(const WindowsSetup& setup) {
  return "WINEPREFIX=" + ShellQuote(setup.prefix) + " WINEDEBUG=-all ";
}

int ExitCode(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

// The prefix and its wineserver first, outside any stopped clock. Only a
// warm-up: whether the program itself ran is judged by its results.
void WarmUp(const WindowsSetup& setup) {
  std::string ready = "bash " + ShellQuote(setup.wineRun) + " " + ShellQuote(setup.prefix) +
                      " cmd /c exit 0 </dev/null >/dev/null 2>&1";
  if (std::system(ready.c_str()) != 0) std::system(ready.c_str());
}

std::string Assignments(const std::vector<std::string>& environment) {
  std::string text;
  for (const std::string& item : environment) {
    size_t eq = item.find('=');
    text += item.substr(0, eq + 1) + ShellQuote(item.substr(eq + 1)) + " ";
  }
  return text;
}

}  // namespace

bool LoadWindowsSetup(WindowsSetup* setup, std::string* error) {
  const char* build = std::getenv("SPK_WINDOWS_BUILD");
  const char* prefix = std::getenv("SPK_WINEPREFIX");
  const char* wineRun = std::getenv("SPK_WINE_RUN");
  if (!build || !prefix || !wineRun || !*build || !*prefix || !*wineRun) {
    *error = "SPK_WINDOWS_BUILD, SPK_WINEPREFIX and SPK_WINE_RUN must be set: run these tests "
             "through the Windows build's ctest (scripts/test-windows.sh)";
    return false;
  }
  setup->buildDir = build;
  setup->prefix = prefix;
  setup->wineRun = wineRun;
  if (!std::filesystem::exists(setup->buildDir + "/spekolar.exe")) {
    *error = setup->buildDir + "/spekolar.exe is missing";
    return false;
  }
  return true;
}

std::string WindowsPath(const std::string& linuxPath) { return "Z:" + BackslashPath(linuxPath); }

std::string BackslashPath(const std::string& linuxPath) {
  std::string path = linuxPath;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

RunResult RunUnderWine(const WindowsSetup& setup, const std::string& program,
                       const std::vector<std::string>& args, const std::string& workDir,
                       const std::vector<std::string>& environment, const std::string& fakeTime) {
  WarmUp(setup);
  const std::string outFile = workDir + "/../wine.out";
  const std::string errFile = workDir + "/../wine.err";
  std::string command =
      "cd " + ShellQuote(workDir) + " && " + WineEnvironment(setup) + Assignments(environment);
  // faketime's stat() interception confuses Wine; the clock alone is enough.
  if (!fakeTime.empty()) command += "NO_FAKE_STAT=1 faketime -f " + ShellQuote(fakeTime) + " ";
  command += "wine " + ShellQuote(setup.buildDir + "/" + program);
  for (const std::string& a : args) {
    command += ' ';
    command += ShellQuote(a);
  }
  command += " </dev/null > " + ShellQuote(outFile) + " 2> " + ShellQuote(errFile);
  RunResult r;
  r.exitCode = ExitCode(std::system(command.c_str()));
  r.out = ReadBytes(outFile);
  r.err = ReadBytes(errFile);
  return r;
}

std::string RunInWineConsole(const WindowsSetup& setup, const std::string& commandLine,
                             const std::string& workDir,
                             const std::vector<std::string>& environment) {
  WarmUp(setup);
  const std::string outFile = workDir + "/../console.out";
  const std::string command = "cd " + ShellQuote(workDir) + " && " + WineEnvironment(setup) +
                              "LANG=C.UTF-8 LC_ALL= " + Assignments(environment) + "script -qec " +
                              ShellQuote("wine cmd /c " + ShellQuote(commandLine)) + " /dev/null </dev/null > " +
                              ShellQuote(outFile) + " 2>&1";
  std::system(command.c_str());
  return ReadBytes(outFile);
}

bool ImportRegistry(const WindowsSetup& setup, const Installation& inst) {
  const std::string run = "bash " + ShellQuote(setup.wineRun) + " " + ShellQuote(setup.prefix) + " ";
  // Keys persist in the prefix: take away what an earlier test wrote.
  std::system((run + "reg delete 'HKLM\\Software\\KORVANE\\PELDAVORN' /f >/dev/null 2>&1").c_str());
  std::string import = run + "reg import " + ShellQuote(WindowsPath(inst.Root() + "/registry.reg")) +
                       " >/dev/null 2>&1";
  return std::system(import.c_str()) == 0;
}

RunResult RunWindowsPass(const WindowsSetup& setup, Installation& inst,
                         const std::vector<std::string>& args, const std::string& fakeTime) {
  EXPECT_TRUE(ImportRegistry(setup, inst));
  // The command processor runs Windows programs and batch files only.
  const std::string root = WindowsPath(inst.Root());
  inst.WriteFile(
      "fake-php.bat",
      "@echo off\r\n"
      "for %%a in (%*) do echo %%~a>> \"" + root + "\\mail.args\"\r\n"
      "copy /b \"" + WindowsPath(inst.LogDir()) + "\\SPEKOLAR.EML\" \"" + root +
          "\\mail.sent\" >nul\r\n");
  MariaDbServer server;
  std::string error;
  EXPECT_TRUE(LoadMariaDbServer(&server, &error)) << error;
  return RunUnderWine(setup, "spekolar.exe", args, inst.Root() + "/work/bin",
                      {"ODBCINI=" + server.Get("ODBCINI"),
                       "peldavorn_php_bin=" + root + "\\work\\fake-php.bat"},
                      fakeTime);
}

PassOutcome CollectOutcome(const Installation& inst, const RunResult& run) {
  PassOutcome o;
  o.exitCode = run.exitCode;
  o.out = run.out;
  for (const auto& entry : std::filesystem::directory_iterator(inst.LogDir())) {
    o.logFiles[entry.path().filename().string()] = ReadBytes(entry.path().string());
  }
  // Every column but MsgDat, which the server fills with its own clock.
  o.messageRows = inst.Sql(
      "SELECT MsgTnr, MsgTxt, MsgLnk, MsgMod, MsgSrc, MsgSch, MsgCat, MsgAdr, MsgBer, MsgPri,"
      " MsgTyp, MsgBrk, MsgVal, MsgDbg, MsgMnd, MsgLiz, MsgTin, MsgSts, MsgErf, MsgUid"
      " FROM QRVYSTEM.QRV200MSG ORDER BY MsgUid");
  o.mailArgs = inst.ReadFile("mail.args");
  o.mailSent = inst.ReadFile("mail.sent");
  return o;
}

void ResetOutcome(const Installation& inst) {
  for (const auto& entry : std::filesystem::directory_iterator(inst.LogDir())) {
    std::filesystem::remove_all(entry.path());
  }
  std::filesystem::remove(inst.Root() + "/mail.args");
  std::filesystem::remove(inst.Root() + "/mail.sent");
  inst.Sql("DELETE FROM QRVYSTEM.QRV200MSG;");
}

PassOutcome Normalized(const PassOutcome& outcome) {
  auto text = [](std::string s) {
    s = Replace(s, "\r\n", "\n");
    for (char& c : s) {
      if (c == '\\') c = '/';
    }
    std::string single;
    for (char c : s) {
      if (!(c == '/' && !single.empty() && single.back() == '/')) single += c;
    }
    s = Replace(single, "Z:/", "/");
    // LAUFWERK;3;minimum;;<free> MB;... in records and message rows.
    const std::string head = "LAUFWERK;3;";
    for (size_t at = s.find(head); at != std::string::npos; at = s.find(head, at + 1)) {
      const size_t gap = s.find(";;", at + head.size());
      if (gap == std::string::npos || s.find_first_of(";\n", at + head.size()) != gap) continue;
      const size_t digits = gap + 2;
      const size_t end = s.find_first_not_of("0123456789-", digits);
      if (end == digits || end == std::string::npos || s.compare(end, 4, " MB;") != 0) continue;
      s.replace(digits, end - digits, "<free>");
    }
    return s;
  };
  PassOutcome n = outcome;
  n.out = text(n.out);
  for (auto& [name, bytes] : n.logFiles) bytes = text(bytes);
  n.messageRows = text(n.messageRows);
  n.mailArgs = text(n.mailArgs);
  n.mailSent = text(n.mailSent);
  return n;
}

}  // namespace spekolar::spktest
