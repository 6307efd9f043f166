#include "app/RunSequence.h"

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "app/MonitorRun.h"
#include "config/InstallationPath.h"
#include "config/IniFile.h"
#include "platform/Console.h"
#include "platform/Env.h"
#include "platform/Registry.h"
#include "state/ProgramState.h"

const char kConfigFilePath[] = "../settings/Spekolar.ini";

namespace {

const int32_t kProtocolMaxSize = 1000000;
const char kMailInterpreter[] = "peldavorn_php_bin";

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

void PrintUsage() {
  platform::WriteConsoleText(stdout,
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
  Entry(command);
  if (result == -1) {
    Entry("E-Mail konnte nicht gesendet werden.");
  } else {
    Entry(CString("E-Mail ist an ") + s.MailRecipient + " gesendet.");
  }
}

// One line on standard error at the end of the pass when findings or
// notifications were lost, so that cron tells the operator.
void ReportLostLines(std::FILE* errors) {
  ProgramState& s = State();
  int lost = s.FindingsProtocol.FailedWrites() + s.NotificationProtocol.FailedWrites() +
             s.MailTextProtocol.FailedWrites();
  if (lost == 0 || errors == nullptr) return;
  platform::WriteConsoleText(
      errors, CString::Formatted("Spekolar: %d Zeile(n) in SPEKOLAR.TXT, SPEKOLAR.NRT oder "
                                 "SPEKOLAR.EML konnten nicht geschrieben werden (Verzeichnis '%s').\n",
                                 lost, s.LogDirectory.c_str())
                  .view());
  std::fflush(errors);
}

}  // namespace

CString MailCommand(const CString& logDirectory) {
  if (logDirectory.Find("log") < 0) return CString();
  platform::Env* env = platform::GetEnv();
  std::string interpreter;
  const bool quoteInterpreter = env->GetVariable(kMailInterpreter, &interpreter) &&
                                NeedsQuotes(interpreter) &&
                                !env->FindFiles(CString(interpreter)).empty();
  CString program = CString("%") + kMailInterpreter + "%";
  if (quoteInterpreter) program = Quoted(program);
  CString script = logDirectory.Left(logDirectory.GetLength() - 3) +
                   "common\\Classes\\phpMailer2\\sendmail_Spk.php";
  if (NeedsQuotes(script.view())) script = Quoted(script);
  return program + " " + script;
}

int RunSpekolar(int argc, char** argv, const InstallationPath& installation,
                const RunOptions& options) {
  ProgramState& s = State();
  platform::Env* env = platform::GetEnv();
  int exitCode = 0;
  bool haveArgument = argc >= 2;
  // Held until the function returns, whichever way: past the mail script
  // and the closing entry.
  std::unique_ptr<platform::FileLock> lock;

  s.MailTextWritten = false;
  if (!haveArgument) PrintUsage();

  if (!env->FrameworkInit()) {
    platform::WriteConsoleText(stderr, "Fatal Error: MFC initialization failed\n");
    if (s.Observer != nullptr) s.Observer->PassFailed("Fatal Error: MFC initialization failed");
    exitCode = 1;
  } else {
    s.LogDirectory = installation.GetLogDirectory();
    platform::Status store = installation.StoreStatus();
    if (store != platform::Status::kOk && store != platform::Status::kNotFound &&
        options.errors != nullptr) {
      // Without the store there is no log directory to report into.
      platform::WriteConsoleText(
          options.errors,
          CString::Formatted("Spekolar: Registrierungsdatei '%s' konnte nicht gelesen werden%s.\n",
                             platform::RegistryStorePath().c_str(), ReadFailure(store))
              .view());
    }
    s.RunProtocol.Open(s.LogDirectory, "SPEKOLAR");
    s.RunProtocol.SetMaxSize(kProtocolMaxSize);

    // A lock file that cannot be made (no log directory, no right to write
    // there) leaves the pass unlocked: its entries could not be written
    // either, and refusing to run would lose its database messages as well.
    const CString lockPath = s.LogDirectory + "\\SPEKOLAR.LCK";
    if (env->LockFile(lockPath, options.lockWaitMillis, &lock) == platform::Status::kBusy) {
      FailureEntry("*** Abbruch: ein anderer Spekolar-Lauf h\xE4lt die Sperre '" + lockPath + "' ***");
      return 1;
    }
    Entry("Spekolar gestartet");
    s.FindingsProtocol.Open(s.LogDirectory, "SPEKOLAR.TXT");
    s.FindingsProtocol.SetMaxSize(kProtocolMaxSize);
    s.NotificationProtocol.Open(s.LogDirectory, "SPEKOLAR.NRT");
    s.NotificationPath = s.LogDirectory + "\\SPEKOLAR.NRT";
    s.MailTextPath = s.LogDirectory + "\\SPEKOLAR.EML";

    if (!haveArgument) {
      platform::WriteConsoleText(stdout, "Spekolar peldavorn.Ini-Datei\n");
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

    s.Credentials.SetFile(argv[1]);
    if (s.Credentials.Probe() == platform::Status::kTooLarge) {
      Entry(CString("Datenbank-Zugangsdatei '") + s.Credentials.Path() +
            "' konnte nicht gelesen werden" + ReadFailure(platform::Status::kTooLarge) + ".");
    }
    s.Db->SetCredentials(s.Credentials);

    int32_t status = StartDatabase();
    if (status != 0) return status;

    MoveAside(s.MailTextPath);
    MoveAside(s.NotificationPath);

    RunMonitors(ini);
    exitCode = 0;
  }

  if (s.MailTextWritten) SendMail();
  CString closing(std::string(59, '*'));
  Entry(closing + "\n");
  ReportLostLines(options.errors);
  return exitCode;
}
