#include "app/RunSequence.h"

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/MonitorRun.h"
#include "app/SharedMonitorRun.h"
#include "config/InstallationPath.h"
#include "config/IniFile.h"
#include "db/DbSession.h"
#include "platform/Console.h"
#include "platform/Env.h"
#include "platform/Registry.h"
#include "platform/TimeText.h"
#include "state/ProgramState.h"
#include "state/ReportedFindings.h"

namespace spekolar {

const char kConfigFilePath[] = "../settings/Spekolar.ini";
const char kMailInterpreterVariable[] = "peldavorn_php_bin";

namespace {

const int32_t kProtocolMaxSize = 1000000;

// Writes a line of the pass's own (Windows-1252) to the operator's console
// in its encoding (the options' consoleText).
void ConsoleLine(const RunOptions& options, std::FILE* stream, std::string_view text) {
  if (options.consoleText != nullptr) {
    platform::WriteConsoleText(stream, options.consoleText(text));
  } else {
    platform::WriteConsoleText(stream, text);
  }
}

// A warning at the end of the pass on the options' `errors` (standard
// error, which cron mails to the operator); none where there is no such
// stream.
void ErrorLine(const RunOptions& options, const CString& text) {
  if (options.errors == nullptr) return;
  ConsoleLine(options, options.errors, text.view());
  std::fflush(options.errors);
}

void Entry(const CString& text) { State().RunProtocol.WriteLine(text, true, true); }

// The entry that ends a pass before it could start, also told to an
// observer (the monitoring-plugin line names it).
void FailureEntry(const CString& text) {
  Entry(text);
  if (State().Observer != nullptr) State().Observer->PassFailed(text);
}

// What could not be read, for an entry or a warning.
const char* ReadFailure(platform::Status status) {
  return status == platform::Status::kTooLarge ? " (gr\xF6\xDF" "er als 16 MiB)" : "";
}

// Why a store file could not be read, for the line on standard error.
const char* StoreFailure(platform::Status status) {
  switch (status) {
    case platform::Status::kAccessDenied: return " (Zugriff verweigert)";
    case platform::Status::kIsDirectory: return " (ein Ordner)";
    case platform::Status::kNotAFile: return " (keine regul\xE4re Datei)";
    case platform::Status::kIoError: return " (Ein-/Ausgabefehler)";
    default: return ReadFailure(status);
  }
}

// One line: which store (file) and key, and what kept the pass from its
// log directory.
CString NoLogDirectoryReason(const InstallationPath& installation) {
  const CString storePath = platform::RegistryStorePath();
  // The Windows build has the system's registry, no store file.
  const CString store = storePath.IsEmpty() ? CString("Spekolar: Registrierung")
                                            : "Spekolar: Registrierungsdatei '" + storePath + "'";
  const CString key = CString("Schl\xFCssel 'HKEY_LOCAL_MACHINE\\") + InstallationPath::KeyPath() + "'";
  const CString error = CString(" (") + platform::RegistryErrorName(installation.KeyResult()) + ")";
  const char* const none = ": kein Protokollverzeichnis.";
  const platform::Status status = installation.StoreStatus();
  if (status != platform::Status::kOk && status != platform::Status::kNotFound) {
    return store + " konnte nicht gelesen werden" + StoreFailure(status) + none;
  }
  if (!installation.KeyFound() && !installation.KeyMissing()) {
    return store + ": " + key + " konnte nicht ge\xF6" "ffnet werden" + error + none;
  }
  if (!installation.KeyFound()) {
    const CString missing = status == platform::Status::kNotFound ? " nicht gefunden" : "";
    if (installation.KeyResult() == platform::ERROR_FILE_NOT_FOUND) {
      return store + missing + ": " + key + " nicht gefunden" + none;
    }
    return store + missing + ": " + key + " fehlt und konnte nicht angelegt werden" + error + none;
  }
  if (installation.KeyCreated()) {
    return store + ": " + key + " fehlte und wurde ohne Wert 'Path' angelegt" + none;
  }
  return store + ": " + key + " hat keinen Wert 'Path' (Text, Zahl, Bin\xE4r- oder Mehrfachtext)" + none;
}

// Characters at which the Windows command processor splits a command line
// or that it interprets outside double quotes.
bool NeedsQuotes(std::string_view text) {
  return text.find_first_of(" \t&|<>^(),;=!") != std::string_view::npos;
}

CString Quoted(const CString& text) { return "\"" + text + "\""; }

bool Exists(const CString& path) { return !platform::GetEnv()->FindFiles(path).empty(); }

// Moves `path` to path + "_Old", replacing an older copy. Failures are
// ignored: the new run then appends to the file that is still there.
void MoveAside(const CString& path) {
  if (!Exists(path)) return;
  platform::Env* env = platform::GetEnv();
  CString target = path + "_Old";
  if (Exists(target)) env->DeleteFile(target);
  env->RenameFile(path, target);
}

// Runs the database start-up steps in order; returns 0 or the first failing
// step's result after writing its entry.
int32_t StartDatabase() {
  ProgramState& s = State();
  DbSession& db = *s.Db;
  auto fail = [&](const char* format, int32_t result) {
    CString message;
    message.Format(format, static_cast<long>(db.NativeError()), db.SqlState().c_str(),
                   db.MessageText().c_str());
    FailureEntry(message);
    return result;
  };
  int32_t status = db.Connect();
  if (status != 0) return fail("Fehler beim Verbindungsaufbau zur Datenbank:\n%ld\n%s\n%s\n", status);
  status = db.SQLOpenQrv112Mnd();
  if (status != 0) return fail("Fehler beim SQLOpenQrv112Mnd:\n%ld\n%s\n%s\n", status);
  status = db.SQLFetchQrv112Mnd(s.TenantRow.MNDLIZ, s.TenantRow.MNDNUM, s.TenantRow.MNDEML,
                                s.TenantRow.MNDSCH);
  if (status != 0) return fail("Fehler beim SQLFetchQrv112Mnd:\n%ld\n%s\n%s\n", status);
  status = db.SQLCloseQrv112Mnd();
  if (status != 0) return fail("Fehler beim SQLCloseQrv112Mnd:\n%ld\n%s\n%s\n", status);
  return 0;
}

void PrintUsage(const RunOptions& options) {
  ConsoleLine(options, stdout,
              "Spekolar - \xDC" "berwachung der PELDAVORN-Protokolldateien, KORVANE\n"
              "Aufruf: Spekolar Peldavorn.IniDatei\n"
              "\n");
}

// Starts the mail script when a section wrote e-mail text. A result of -1
// (the script could not be started at all) is the one failure.
void SendMail() {
  ProgramState& s = State();
  CString command = MailCommand(s.LogDirectory);
  int result = platform::GetEnv()->RunCommand(command);
  if (s.Observer != nullptr) s.Observer->MailStarted(result != -1);
  Entry(command);
  if (result == -1) {
    Entry("E-Mail konnte nicht gesendet werden.");
  } else {
    Entry(CString("E-Mail ist an ") + s.MailRecipient + " gesendet.");
  }
}

// One line on standard error at the end of the pass when findings or
// notifications were lost, so that cron tells the operator.
void ReportLostLines(const RunOptions& options) {
  ProgramState& s = State();
  int lost = s.FindingsProtocol.FailedWrites() + s.Notifications.FailedWrites();
  if (lost == 0) return;
  ErrorLine(options,
            CString::Formatted("Spekolar: %d Zeile(n) in SPEKOLAR.TXT, SPEKOLAR.NRT oder "
                               "SPEKOLAR.EML konnten nicht geschrieben werden (Verzeichnis '%s').\n",
                               lost, s.LogDirectory.c_str()));
}

// The program's own files in the log directory are never written through
// a symbolic link (the directory is writable by the product's web server
// user, and a pass may run with more rights). One line on standard error
// names every such link this pass met, so that cron tells the operator.
void ReportRefusedLinks(const RunOptions& options, const std::vector<CString>& refused) {
  const ProgramState& s = State();
  CString names;
  auto add = [&names](const CString& path) {
    names += CString(names.IsEmpty() ? "'" : ", '") + path + "'";
  };
  for (const CString& path : refused) add(path);
  for (const ProtocolFile* file :
       {&s.RunProtocol, &s.FindingsProtocol, &s.Notifications.Notification(),
        &s.Notifications.MailText()}) {
    if (file->RefusedLink()) add(file->LogPath());
  }
  if (names.IsEmpty()) return;
  ErrorLine(options, "Spekolar: symbolische Links im Protokollverzeichnis werden nicht beschrieben: " +
                         names + ".\n");
}

// The day's date as the state of reported findings names it.
CString Today() { return platform::ProtocolStamp(platform::GetEnv()->Now()).Left(10); }

void StateWarning(const RunOptions& options, const CString& path, const char* what,
                  const char* outcome) {
  ErrorLine(options, CString::Formatted("Spekolar: Zustandsdatei '%s' %s: %s.\n", path.c_str(),
                                        what, outcome));
}

const char kAllNew[] = "alle Befunde von heute gelten als neu";

// Reads what earlier passes of the day reported. False when the file is a
// link (never read or replaced; the caller names it).
bool LoadReported(const CString& path, const CString& today, ReportedFindings* reported,
                  const RunOptions& options) {
  platform::Env* env = platform::GetEnv();
  if (env->IsSymbolicLink(path)) return false;
  std::string text;
  const platform::Status status = env->ReadWholeFile(path, &text);
  if (status == platform::Status::kNotFound) {
    StateWarning(options, path, "fehlt", kAllNew);
  } else if (status != platform::Status::kOk) {
    StateWarning(options, path, "konnte nicht gelesen werden", kAllNew);
  } else if (reported->Parse(text, today) == ReportedFindings::Parsed::kDamaged) {
    StateWarning(options, path, "ist besch\xE4" "digt", kAllNew);
  }
  return true;
}

int RunPass(int argc, char** argv, const InstallationPath& installation, const RunOptions& options,
            std::vector<CString>* refusedLinks, ReportedFindings* reported);

}  // namespace

int RunSpekolar(int argc, char** argv, const InstallationPath& installation,
                const RunOptions& options) {
  std::vector<CString> refusedLinks;
  ReportedFindings reported;
  const int exitCode = RunPass(argc, argv, installation, options, &refusedLinks, &reported);
  State().Reported = nullptr;
  ReportRefusedLinks(options, refusedLinks);
  return exitCode;
}

CString MailScriptPath(const CString& logDirectory) {
  return logDirectory.Left(logDirectory.GetLength() - 3) + "common\\Classes\\phpMailer2\\sendmail_Spk.php";
}

CString MailCommand(const CString& logDirectory) {
  if (logDirectory.Find("log") < 0) return CString();
  platform::Env* env = platform::GetEnv();
  std::string interpreter;
  const bool quoteInterpreter = env->GetVariable(kMailInterpreterVariable, &interpreter) &&
                                NeedsQuotes(interpreter) &&
                                !env->FindFiles(CString(interpreter)).empty();
  CString program = CString("%") + kMailInterpreterVariable + "%";
  if (quoteInterpreter) program = Quoted(program);
  CString script = MailScriptPath(logDirectory);
  if (NeedsQuotes(script.view())) script = Quoted(script);
  return program + " " + script;
}

namespace {

int RunPass(int argc, char** argv, const InstallationPath& installation, const RunOptions& options,
            std::vector<CString>* refusedLinks, ReportedFindings* reported) {
  ProgramState& s = State();
  platform::Env* env = platform::GetEnv();
  int exitCode = 0;
  CString reportedDay;  // the day of the reported findings read (--new-only)
  bool haveArgument = argc >= 2;
  // Held until the function returns, whichever way: past the mail script
  // and the closing entry.
  std::unique_ptr<platform::FileLock> lock;

  s.Notifications.ForgetMailText();
  if (!haveArgument) PrintUsage(options);

  if (!env->FrameworkInit()) {
    ConsoleLine(options, stderr, "Fatal Error: MFC initialization failed\n");
    if (s.Observer != nullptr) s.Observer->PassFailed("Fatal Error: MFC initialization failed");
    exitCode = 1;
  } else {
    s.LogDirectory = installation.GetLogDirectory();
    if (s.LogDirectory.IsEmpty() && options.errors != nullptr) {
      // Without a log directory there is no run protocol to report into;
      // standard error is the one place left to say why.
      ConsoleLine(options, options.errors, (NoLogDirectoryReason(installation) + "\n").view());
    }
    s.RunProtocol.Open(s.LogDirectory, "SPEKOLAR");
    s.RunProtocol.SetMaxSize(kProtocolMaxSize);

    const CString lockPath = s.LogDirectory + "\\SPEKOLAR.LCK";
    CString lockError;
    const platform::Status locked =
        env->LockFile(lockPath, options.lockWaitMillis, &lock, &lockError);
    if (locked == platform::Status::kBusy) {
      if (s.Observer != nullptr) s.Observer->LockBusy();
      FailureEntry("*** Abbruch: ein anderer Spekolar-Lauf h\xE4lt die Sperre '" + lockPath + "' ***");
      return 1;
    }
    if (locked == platform::Status::kIsLink) refusedLinks->push_back(lockPath);
    if (locked != platform::Status::kOk) {
      // A pass without the lock may overlap another one (the same message
      // ids stored twice, .old generations lost), so it does not run where
      // it can say why. Only where not even this entry can be written (no
      // log directory, no right to write there) does the pass run unlocked:
      // refusing would lose its database messages as well, and no other
      // pass could write its files either.
      const int lostBefore = s.RunProtocol.FailedWrites();
      const CString text = "*** Abbruch: die Sperre '" + lockPath +
                           "' konnte nicht angelegt werden: " + lockError + " ***";
      Entry(text);
      if (s.RunProtocol.FailedWrites() == lostBefore) {
        if (s.Observer != nullptr) s.Observer->PassFailed(text);
        return 1;
      }
    }
    Entry("Spekolar gestartet");
    s.FindingsProtocol.Open(s.LogDirectory, "SPEKOLAR.TXT");
    s.FindingsProtocol.SetMaxSize(kProtocolMaxSize);
    s.Notifications.Open(s.LogDirectory);

    if (!haveArgument) {
      ConsoleLine(options, stdout, "Spekolar peldavorn.Ini-Datei\n");
      FailureEntry("*** Abbruch wegen fehlendes Parameters ***");
      return 1;
    }

    s.ConfigFilePath = kConfigFilePath;
    if (!Exists(s.ConfigFilePath)) {
      FailureEntry(CString("Konfigurationsdatei '") + s.ConfigFilePath + "' nicht gefunden.");
      return 1;
    }
    // Read now, once for the whole pass: a file that is there but cannot
    // be read (no right, a folder, a dangling link, a FIFO) would run no
    // monitor and look like a quiet day.
    IniFile ini;
    ini.SetPath(s.ConfigFilePath.c_str());
    platform::Status config = ini.Load();
    if (config != platform::Status::kOk) {
      FailureEntry(CString("Konfigurationsdatei '") + s.ConfigFilePath +
                   "' konnte nicht gelesen werden" + ReadFailure(config) + ".");
      return 1;
    }

    if (options.database) {
      s.Credentials.SetFile(argv[1]);
      if (s.Credentials.Probe() == platform::Status::kTooLarge) {
        Entry(CString("Datenbank-Zugangsdatei '") + s.Credentials.Path() +
              "' konnte nicht gelesen werden" + ReadFailure(platform::Status::kTooLarge) + ".");
      }
      s.Db->SetCredentials(s.Credentials);

      int32_t status = StartDatabase();
      if (status != 0) return status;
    }

    MoveAside(s.Notifications.MailTextPath());
    MoveAside(s.Notifications.NotificationPath());

    if (options.newOnly) {
      const CString statePath = s.LogDirectory + "\\" + kReportedFileName;
      // The state is saved under the day it was read for: a pass that runs
      // past midnight must not hand its findings to the new day (a drive
      // still short of space would then go unreported all that day).
      reportedDay = Today();
      if (LoadReported(statePath, reportedDay, reported, options)) {
        s.Reported = reported;
      } else {
        refusedLinks->push_back(statePath);
      }
    }
    if (options.sharedReads) {
      RunMonitorsSharingReads(ini);
    } else {
      RunMonitors(ini);
    }
    exitCode = 0;
  }

  if (s.Notifications.MailTextWritten()) SendMail();
  // Saved only now, with everything reported: a pass that ends before this
  // reports its findings again next time rather than never.
  if (s.Reported != nullptr && options.saveReported) {
    const CString statePath = s.LogDirectory + "\\" + kReportedFileName;
    const platform::Status saved = env->ReplaceOwnFile(statePath, s.Reported->Text(reportedDay));
    if (saved == platform::Status::kIsLink) {
      refusedLinks->push_back(statePath);
    } else if (saved != platform::Status::kOk) {
      StateWarning(options, statePath, "konnte nicht geschrieben werden",
                   "die Befunde dieses Laufs werden erneut gemeldet");
    }
  }
  CString closing(std::string(59, '*'));
  Entry(closing + "\n");
  ReportLostLines(options);
  return exitCode;
}

}  // namespace

}  // namespace spekolar
