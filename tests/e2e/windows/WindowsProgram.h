// Running the Windows programs under Wine from the end-to-end tests, and
// comparing what one pass leaves behind with the Linux program's.
//
// The tests of this folder are a Linux program that starts spekolar.exe
// through Wine. The Windows build's ctest runs them (tests/e2e/windows/
// CMakeLists.txt) with:
//   SPK_WINDOWS_BUILD  the folder with spekolar.exe and spekolar-encrypt.exe
//   SPK_WINEPREFIX     the Wine prefix of that build
//   SPK_WINE_RUN       tests/support/wine-run.sh
// and the MariaDB server of the "mariadb" fixture (SPK_MARIADB_DIR).
//
// Wine maps the drive Z: to the Linux root, so /tmp/spk-x is Z:\tmp\spk-x to
// the Windows program, and a path without drive (\tmp\spk-x) names the same
// folder on both systems when the working directory lies on Z:.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "e2e/Installation.h"

namespace spekolar::spktest {

struct WindowsSetup {
  std::string buildDir;
  std::string prefix;
  std::string wineRun;
};

// False with `error` set when the environment above is incomplete.
bool LoadWindowsSetup(WindowsSetup* setup, std::string* error);

// "/tmp/x/y" as the Windows program sees it: "Z:\tmp\x\y".
std::string WindowsPath(const std::string& linuxPath);
// "/tmp/x/y" with backslashes and no drive: "\tmp\x\y", the same folder to
// both programs.
std::string BackslashPath(const std::string& linuxPath);

// Runs `program` (a file of the Windows build) under Wine with `args`, in
// `workDir`, with `environment` ("NAME=value" items) added; with `fakeTime`
// the clock of the process stands at that time. Output goes to files below
// `workDir`'s parent and comes back in the result.
RunResult RunUnderWine(const WindowsSetup& setup, const std::string& program,
                       const std::vector<std::string>& args, const std::string& workDir,
                       const std::vector<std::string>& environment,
                       const std::string& fakeTime = "");

// Runs `commandLine` with Wine's "cmd /c" in `workDir` on a pseudo-terminal
// (script(1)), so that the programs it starts find a console on their
// standard handles, as in a console window. Returns what the terminal got:
// Wine's console passes the text on in the host's locale, set to C.UTF-8
// here, so text written for the console arrives as UTF-8 (CR LF as
// "\r\r\n": the terminal adds its own CR).
std::string RunInWineConsole(const WindowsSetup& setup, const std::string& commandLine,
                             const std::string& workDir,
                             const std::vector<std::string>& environment);

// Puts ROOT/registry.reg of the installation into Wine's registry with
// "reg import" (after removing what an earlier test left under the product's
// key); false when reg refused the file.
bool ImportRegistry(const WindowsSetup& setup, const Installation& inst);

// One pass of spekolar.exe on the installation: the registry imported, the
// mail script replaced by work\fake-php.bat (which records its arguments in
// ROOT/mail.args and copies the e-mail text to ROOT/mail.sent, as the Linux
// stand-in does).
RunResult RunWindowsPass(const WindowsSetup& setup, Installation& inst,
                         const std::vector<std::string>& args, const std::string& fakeTime);

// What a pass leaves behind: exit code, standard output, every file of the
// log directory, the message rows and what the mail script got.
struct PassOutcome {
  int exitCode = -1;
  std::string out;
  std::map<std::string, std::string> logFiles;
  std::string messageRows;
  std::string mailArgs;
  std::string mailSent;
};
PassOutcome CollectOutcome(const Installation& inst, const RunResult& run);
// Empties the log directory, the message table and the mail script's
// records, for the next pass on the same installation.
void ResetOutcome(const Installation& inst);

// The outcome in a form that does not depend on the system that produced
// it: CR LF read as LF; paths with '/' between their parts, without the
// drive Z: and without doubled separators (the database client doubles
// backslashes); the free space of a drive ("123 MB" in a LAUFWERK record)
// masked, as the disk changes between two passes.
PassOutcome Normalized(const PassOutcome& outcome);

}  // namespace spekolar::spktest
