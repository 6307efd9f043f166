// One run of the program, from the start entry to the exit code.
//
// The fixed order: framework start-up, log directory, protocol files, the
// pass lock and the start entry, argument check, monitor configuration
// check, credentials and the database start-up (connect, tenant query),
// moving the previous run's notification files aside, the monitors, the
// mail script when e-mail text was written, the closing entry. The first
// failing step ends the run with its entry in SPEKOLAR.log and its exit
// code: 1 for a missing argument, a missing or unreadable configuration
// file or another pass that holds the lock too long, the failing database
// step's result otherwise.
//
// Passes are started by a timer and by hand, so two may overlap. Each
// holds an exclusive lock on SPEKOLAR.LCK in the log directory from before
// its first entry to its end; a second one waits for it (at most
// RunOptions::lockWaitMillis, so that a pass that hangs does not pile
// starts up behind it) and then gives up with one entry and exit code 1.
// Without the lock, two passes would rotate the protocol files under each
// other (one deleting the .old generation the other just made), compute
// the same message ids, and move each other's e-mail text aside. So a lock
// that cannot be made ends the pass with one entry and exit code 1 as well,
// unless not even that entry can be written: then the pass runs unlocked.
//
// The program's own files are never written through a symbolic link; the
// pass names each such link once on standard error at its end.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "text/CString.h"

namespace spekolar {

class InstallationPath;

// How long a pass waits for the one before it: longer than any sound pass
// takes, short enough that a hung one does not hold back a day of starts.
inline constexpr int64_t kDefaultLockWaitMillis = 10 * 60 * 1000;

struct RunOptions {
  int64_t lockWaitMillis = kDefaultLockWaitMillis;
  // Where the end-of-pass warnings go; the program's standard error, which
  // cron mails to the operator.
  std::FILE* errors = stderr;
  // The console's form of a line the pass prints itself (its texts are
  // Windows-1252): UTF-8 under a UTF-8 locale; null keeps the bytes.
  std::string (*consoleText)(std::string_view) = nullptr;
  // Report each finding once a day (--new-only): what earlier such passes
  // of the day reported is read from kReportedFileName in the log
  // directory before the monitors run and, with `saveReported`, replaced
  // at the end of the pass, under the lock. A missing, unreadable or
  // damaged file counts as nothing reported (said on `errors`): a finding
  // may be reported twice, never lost.
  bool newOnly = false;
  bool saveReported = true;  // false: a dry run, which changes no state
  // False: the pass neither reads the credentials nor connects (no tenant
  // row); for the report of past days, which keeps the message rows in
  // memory anyway and needs none of the database's values.
  bool database = true;
  // Run the monitors of all sections side by side, each file they share
  // read once (RunMonitorsSharingReads), for the report of past days: the
  // observer hears what it hears from a plain pass, but the entries the
  // pass writes come in another order.
  bool sharedReads = false;
};

inline constexpr char kReportedFileName[] = "SPEKOLAR.GEMELDET";

// The files a pass writes in the log directory, and the generations it
// moves them to (with the state of --new-only passes, replaced whole).
inline constexpr const char* kPassFileNames[] = {"SPEKOLAR.log", "SPEKOLAR.TXT", "SPEKOLAR.NRT",
                                                 "SPEKOLAR.EML", "SPEKOLAR.LCK"};
inline constexpr const char* kPassGenerationNames[] = {"SPEKOLAR.old", "SPEKOLAR.TXT.old",
                                                       "SPEKOLAR.NRT_Old", "SPEKOLAR.EML_Old",
                                                       kReportedFileName};

// Runs one pass. `installation` is the program-wide object built at start-up.
// Returns the process exit code.
int RunSpekolar(int argc, char** argv, const InstallationPath& installation,
                const RunOptions& options = RunOptions());

// The environment variable that names the mail script's interpreter; the
// command processor expands it.
extern const char kMailInterpreterVariable[];

// The mail script's path for the log directory: the directory without its
// last three characters ("log"), then
// "common\Classes\phpMailer2\sendmail_Spk.php".
CString MailScriptPath(const CString& logDirectory);

// The mail script's command line for the log directory: empty when the
// directory holds no "log"; otherwise "%peldavorn_php_bin% " and the
// script's path (MailScriptPath). A script path that holds
// blanks or characters the command processor would split at or interpret
// ("(x86)", "&", ...) is put in double quotes; so is the interpreter
// reference when the variable's value is one such path, the path of a file
// ("C:\Program Files\PHP\php.exe"), but not when it is a program and its
// options ("php -q"), which must stay open to be split. Without such
// characters the text is unchanged.
CString MailCommand(const CString& logDirectory);

// Relative to the current directory.
extern const char kConfigFilePath[];

}  // namespace spekolar
