#include "app/RunSequence.h"

#include <cstdio>

#include "app/MonitorRun.h"
#include "config/InstallationPath.h"
#include "config/IniFile.h"
#include "platform/Env.h"
#include "state/ProgramState.h"

const char kConfigFilePath[] = "../settings/Spekolar.ini";

namespace {

const int32_t kProtocolMaxSize = 1000000;

void Entry(const CString& text) { State().RunProtocol.WriteLine(text, true, true); }

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
    Entry(message);
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
  std::fputs("Spekolar - \xDC" "berwachung der PELDAVORN-Protokolldateien, KORVANE\n", stdout);
  std::fputs("Aufruf: Spekolar Peldavorn.IniDatei\n", stdout);
  std::fputs("\n", stdout);
}

// Starts the mail script when a section wrote e-mail text.
void SendMail() {
  ProgramState& s = State();
  CString command;
  if (s.LogDirectory.Find("log") >= 0) {
    command = CString("%peldavorn_php_bin% ") + s.LogDirectory.Left(s.LogDirectory.GetLength() - 3) +
              "common\\Classes\\phpMailer2\\sendmail_Spk.php";
  }
  int result = platform::GetEnv()->RunCommand(command);
  Entry(command);
  if (result == -1) {
    Entry("E-Mail konnte nicht gesendet werden.");
  } else {
    Entry(CString("E-Mail ist an ") + s.MailRecipient + " gesendet.");
  }
}

}  // namespace

int RunSpekolar(int argc, char** argv, const InstallationPath& installation) {
  ProgramState& s = State();
  platform::Env* env = platform::GetEnv();
  int exitCode = 0;
  bool haveArgument = argc >= 2;

  s.MailTextWritten = false;
  if (!haveArgument) PrintUsage();

  if (!env->FrameworkInit()) {
    std::fputs("Fatal Error: MFC initialization failed\n", stderr);
    exitCode = 1;
  } else {
    s.LogDirectory = installation.GetLogDirectory();
    s.RunProtocol.Open(s.LogDirectory, "SPEKOLAR");
    s.RunProtocol.SetMaxSize(kProtocolMaxSize);
    Entry("Spekolar gestartet");
    s.FindingsProtocol.Open(s.LogDirectory, "SPEKOLAR.TXT");
    s.FindingsProtocol.SetMaxSize(kProtocolMaxSize);
    s.NotificationProtocol.Open(s.LogDirectory, "SPEKOLAR.NRT");
    s.NotificationPath = s.LogDirectory + "\\SPEKOLAR.NRT";
    s.MailTextPath = s.LogDirectory + "\\SPEKOLAR.EML";

    if (!haveArgument) {
      std::fputs("Spekolar peldavorn.Ini-Datei\n", stdout);
      Entry("*** Abbruch wegen fehlendes Parameters ***");
      return 1;
    }

    s.ConfigFilePath = kConfigFilePath;
    if (!Exists(s.ConfigFilePath)) {
      Entry(CString("Konfigurationsdatei '") + s.ConfigFilePath + "' nicht gefunden.");
      return 1;
    }

    s.Credentials.SetFile(argv[1]);
    s.Db->SetCredentials(s.Credentials);

    int32_t status = StartDatabase();
    if (status != 0) return status;

    MoveAside(s.MailTextPath);
    MoveAside(s.NotificationPath);

    IniFile ini;
    ini.SetPath(s.ConfigFilePath.c_str());
    RunMonitors(ini);
    exitCode = 0;
  }

  if (s.MailTextWritten) SendMail();
  CString closing(std::string(59, '*'));
  Entry(closing + "\n");
  return exitCode;
}
