#include "cli/ConfigCheck.h"

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "app/MonitorRun.h"
#include "app/RunSequence.h"
#include "app/SectionCatalogue.h"
#include "config/CredentialsFile.h"
#include "config/IniFile.h"
#include "config/InstallationPath.h"
#include "config/MonitorSettings.h"
#include "db/DbSession.h"
#include "monitors/frame/RunTime.h"
#include "platform/Registry.h"
#include "platform/System.h"
#include "platform/TimeText.h"
#include "state/ProgramState.h"
#include "text/NameList.h"

namespace spekolar::cli {

namespace {

const char* const kSpekolarKeys[] = {"E-Mail"};
const char* const kMeldungstypen[] = {"FENSTER", "E-MAIL"};

// The names of the monitor sections' keys, for the nearest-name hints.
std::vector<const char*> MonitorKeyNames() {
  std::vector<const char*> names;
  for (const SettingKey& key : kMonitorSettingsKeys) names.push_back(key.name);
  return names;
}

// "A, B and C" of the keys whose value makes a section worth handling.
CString ContentKeyList() {
  std::vector<const char*> names;
  for (const SettingKey& key : kMonitorSettingsKeys) {
    if (key.content) names.push_back(key.name);
  }
  return JoinNames(names, "and");
}

CString Upper(CString text) {
  text.MakeUpper();
  return text;
}

bool SameName(const CString& a, const char* b) { return Upper(a) == Upper(CString(b)); }

const char* StatusText(platform::Status status) {
  switch (status) {
    case platform::Status::kOk: return "ok";
    case platform::Status::kNotFound: return "not found";
    case platform::Status::kAccessDenied: return "access denied";
    case platform::Status::kIsDirectory: return "a folder";
    case platform::Status::kNoSpace: return "no space";
    case platform::Status::kIoError: return "input/output error";
    case platform::Status::kNotAFile: return "not a regular file";
    case platform::Status::kTooLarge: return "larger than 16 MiB";
    case platform::Status::kBusy: return "busy";
    case platform::Status::kIsLink: return "a symbolic link (not followed)";
    case platform::Status::kTimedOut: return "no answer in time";
  }
  return "unknown";
}

bool IsNumber(const CString& text) {
  return !text.IsEmpty() &&
         std::all_of(text.view().begin(), text.view().end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Text that a value decrypted with the right key gives: printable
// Windows-1252 characters, at least one.
bool IsReadable(const CString& text) {
  return !text.IsEmpty() && std::all_of(text.view().begin(), text.view().end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x20 && byte != 0x7F;
  });
}

// A diagnostic message of several lines as one.
CString OneLine(CString text) {
  text.Replace("\r", "");
  text.Replace("\n", " ");
  return text.Trim();
}

class Checker {
 public:
  Checker(std::FILE* out, ConsoleEncoding encoding) : out_(out), encoding_(encoding) {}

  void User();
  void Registry();
  void LogDirectory();
  void Configuration();
  void Credentials(const char* argument);
  void Mail();
  int Finish();

 private:
  enum class Level { kOk, kNote, kError };
  void Line(Level level, const CString& text);
  void Ok(const CString& text) { Line(Level::kOk, text); }
  void Note(const CString& text) { Line(Level::kNote, text); }
  void Error(const CString& text) { Line(Level::kError, text); }

  void SpekolarSection(IniFile& ini, const CString& name);
  void MonitorSection(IniFile& ini, const CString& name, std::set<std::string>* seen);
  void Keys(IniFile& ini, const CString& name, const SectionRow& section);
  CString Notification(const CString& label);
  void Number(const CString& label, const char* key, const CString& value, const char* unit);
  void FileSlots(const CString& label);
  void Drives(const CString& label, const CString& notification, const CString& id);
  void Database();

  std::FILE* out_;
  ConsoleEncoding encoding_;
  int errors_ = 0;
  CString logDirectory_;
  std::vector<CString> mailSections_;
};

void Checker::Line(Level level, const CString& text) {
  const char* mark = level == Level::kOk ? "OK    " : level == Level::kNote ? "NOTE  " : "ERROR ";
  if (level == Level::kError) ++errors_;
  PrintForConsole(out_, std::string(mark) + text.str() + "\n", encoding_);
}

// Every right below is the running user's: the service's user or a
// monitoring engine's may see less than root does.
void Checker::User() {
  const CString user = platform::GetEnv()->UserName();
  Ok("checked as user " + (user.IsEmpty() ? CString("(unknown)") : user) +
     ": what follows is what this user may read and write");
}

void Checker::Registry() {
  InstallationPath installation{InstallationPath::ReadOnly{}};
  const platform::Status status = installation.StoreStatus();
  const CString key = CString("HKEY_LOCAL_MACHINE\\") + InstallationPath::KeyPath();
  // Windows reads the system's registry; Linux a store file standing in
  // for it, which the operator must be able to find from the text.
  const CString where = platform::kWindows
                            ? "registry key " + key
                            : "registry store " + platform::RegistryStorePath() + ": key " + key;
  logDirectory_ = installation.GetLogDirectory();
  if (status != platform::Status::kOk) {
    Error("registry store " + platform::RegistryStorePath() + ": " + StatusText(status) +
          ": a pass has no log directory (SPEKOLAR_REGISTRY names another store)");
  } else if (!installation.KeyFound() && !installation.KeyMissing()) {
    Error(where + " may not be read by this user (" +
          platform::RegistryErrorName(installation.KeyResult()) + "): a pass has no log directory");
  } else if (!installation.KeyFound()) {
    const platform::LONG create = InstallationPath::ProbeKeyCreation();
    if (create == platform::ERROR_SUCCESS) {
      Error(where + ": missing: a pass creates it empty and has no log directory");
    } else {
      Error(where + ": missing, and this user may not create it (" +
            platform::RegistryErrorName(create) + "): a pass has no log directory");
    }
  } else if (installation.Directory().IsEmpty()) {
    Error(where +
          " has no value \"Path\" (string, number, binary or multi-string): a pass has no log "
          "directory");
  } else {
    Ok(where + ": Path = " + installation.Directory());
  }
}

void Checker::LogDirectory() {
  if (logDirectory_.IsEmpty()) return;
  platform::Env* env = platform::GetEnv();
  platform::FileFacts facts;
  const platform::Status status = env->GetFileFacts(logDirectory_, &facts);
  if (status != platform::Status::kOk) {
    Error("log directory " + logDirectory_ + ": " + StatusText(status) +
          ": the pass's entries, findings and notifications are lost");
    return;
  }
  if (facts.kind != platform::FileFacts::Kind::kDirectory) {
    Error("log directory " + logDirectory_ + ": not a folder");
    return;
  }
  const auto& written = kPassFileNames;
  const auto& generations = kPassGenerationNames;
  auto add = [](CString* list, const char* name) {
    *list += CString(list->IsEmpty() ? "" : ", ") + name;
  };
  CString refused, links;
  // New files and the generations (renames) need the folder itself; a name
  // no pass uses asks for it even where every file above already exists.
  if (!env->IsWritable(logDirectory_ + "\\SPEKOLAR.write-check")) add(&refused, "new files in it");
  for (const char* name : written) {
    const CString path = logDirectory_ + "\\" + name;
    if (env->IsSymbolicLink(path)) {
      add(&links, name);
    } else if (!env->IsWritable(path)) {
      add(&refused, name);
    }
  }
  for (const char* name : generations) {
    if (env->IsSymbolicLink(logDirectory_ + "\\" + name)) add(&links, name);
  }
  bool sound = refused.IsEmpty() && links.IsEmpty();
  if (!refused.IsEmpty()) Error("log directory " + logDirectory_ + ": may not write " + refused);
  if (!links.IsEmpty()) {
    Error("log directory " + logDirectory_ + ": symbolic links, never written through: " + links);
  }
  platform::FileFacts lock;
  if (env->GetFileFacts(logDirectory_ + "\\SPEKOLAR.LCK", &lock) == platform::Status::kOk &&
      lock.kind != platform::FileFacts::Kind::kRegular && !env->IsSymbolicLink(logDirectory_ + "\\SPEKOLAR.LCK")) {
    const bool folder = lock.kind == platform::FileFacts::Kind::kDirectory;
    Error("log directory " + logDirectory_ + ": SPEKOLAR.LCK is " +
          (folder ? "a folder" : "not a regular file") +
          ": a pass cannot take its lock and stops with exit code 1");
    sound = false;
  }
  if (sound) Ok("log directory " + logDirectory_ + ": exists, writable");
}

void Checker::Configuration() {
  platform::Env* env = platform::GetEnv();
  const std::vector<platform::FoundFile> found = env->FindFiles(kConfigFilePath);
  if (found.empty()) {
    Error(CString("monitor configuration ") + kConfigFilePath +
          ": not found (it is looked for relative to the working directory): a pass stops "
          "with exit code 1");
    return;
  }
  IniFile ini;
  ini.SetPath(kConfigFilePath);
  const platform::Status status = ini.Load();
  if (status != platform::Status::kOk) {
    Error(CString("monitor configuration ") + found.front().path + ": " + StatusText(status) +
          ": a pass stops with exit code 1");
    return;
  }
  std::vector<CString> names;
  ini.GetSectionNames(names);
  Ok(CString("monitor configuration ") + found.front().path +
     CString::Formatted(": %d section(s)", static_cast<int>(names.size())));

  bool spekolar = false;
  std::set<std::string> seen;
  for (const CString& name : names) {
    if (Upper(name) == "SPEKOLAR") {
      if (!spekolar) SpekolarSection(ini, name);
      spekolar = true;
    } else {
      MonitorSection(ini, name, &seen);
    }
  }
  if (!spekolar) {
    Note(CString("no section [SPEKOLAR]: the e-mail text names ") + kDefaultMailRecipient);
  }
  if (seen.empty()) Error("no section names a monitor: a pass checks nothing");
}

void Checker::SpekolarSection(IniFile& ini, const CString& name) {
  const CString label = "[" + name + "]";
  std::vector<CString> keys;
  ini.GetKeyNames(name, keys);
  bool recipient = false;
  for (const CString& key : keys) {
    if (SameName(key, "E-Mail")) {
      recipient = true;
      continue;
    }
    if (FindSettingKey(key.view()) != nullptr) {
      Error(label + " key '" + key + "' is read by no monitor: [SPEKOLAR] holds none");
    } else {
      const char* nearest = NearestName(key.view(), kSpekolarKeys);
      Error(label + " key '" + key + "' is read by no monitor" +
            (nearest ? CString("; did you mean ") + nearest + "?" : CString()));
    }
  }
  if (recipient) {
    Ok(label + " e-mail recipient: " + ini.GetString(name.c_str(), "E-Mail", ""));
  } else {
    Note(label + " no E-Mail: the e-mail text names " + kDefaultMailRecipient);
  }
}

void Checker::MonitorSection(IniFile& ini, const CString& name, std::set<std::string>* seen) {
  const CString label = "[" + name + "]";
  const CString upper = Upper(name);
  const SectionRow* section = FindSection(upper.view());
  if (section == nullptr) {
    std::vector<const char*> known;
    for (const SectionRow& row : SectionCatalogue()) known.push_back(row.key);
    known.push_back("SPEKOLAR");
    const char* nearest = NearestName(name.view(), known);
    Error(label + " matches no monitor and is skipped" +
          (nearest ? CString("; did you mean ") + nearest + "?" : CString()));
    return;
  }
  if (!seen->insert(upper.str()).second) {
    Error(label + " appears again: it runs once more, with the keys of its first occurrence");
    return;
  }
  Keys(ini, name, *section);
  if (!ReadMonitorSettings(ini, name)) {
    Error(label + " has none of " + ContentKeyList() + ": it is skipped");
    return;
  }
  const MonitorSettingsRecord& m = State().MonitorSettings;
  const CString notification = Notification(label);
  // A section that reads drives is checked for them; the others for their
  // monitors, numbers and files.
  if ((section->keys & kKeyId) != 0) {
    Drives(label, notification, ini.GetString(name.c_str(), "ID", ""));
    return;
  }
  const CString typ = ini.GetString(name.c_str(), "Typ", "");
  if (m.Typ1.IsEmpty() && m.Typ2.IsEmpty()) {
    Error(label + (typ.IsEmpty() ? CString(" has no Typ") : " Typ '" + typ + "' selects no monitor") +
          ": nothing is checked (1 run time, 2 error messages, 1,2 both)");
  } else {
    CString monitors;
    if (!m.Typ1.IsEmpty()) monitors = "Typ 1 (Laufzeit)";
    if (!m.Typ2.IsEmpty()) monitors += CString(monitors.IsEmpty() ? "" : " and ") + "Typ 2 (Fehlermeldungen)";
    Ok(label + " " + section->monitorName + ": " + monitors + ", " + notification);
  }
  for (const SettingKey& key : kMonitorSettingsKeys) {
    if (key.parse == SettingParse::kNumber && (section->keys & key.bit) != 0) {
      Number(label, key.name, m.*key.field, key.unit);
    }
  }
  if ((section->keys & kKeyDatei) != 0) FileSlots(label);
}

void Checker::Keys(IniFile& ini, const CString& name, const SectionRow& section) {
  const CString label = "[" + name + "]";
  std::vector<CString> keys;
  ini.GetKeyNames(name, keys);
  std::set<std::string> seen;
  for (const CString& key : keys) {
    const SettingKey* known = FindSettingKey(key.view());
    if (known == nullptr) {
      const char* nearest = NearestName(key.view(), MonitorKeyNames());
      Error(label + " key '" + key + "' is read by no monitor" +
            (nearest ? CString("; did you mean ") + nearest + "?" : CString()));
      continue;
    }
    if (!seen.insert(known->name).second) {
      Error(label + " key '" + key + "' appears again: only its first value counts");
      continue;
    }
    if ((section.keys & known->bit) == 0) {
      Note(label + " key '" + key + "' is not used by this section's monitors");
    }
  }
}

CString Checker::Notification(const CString& label) {
  const CString value = State().MonitorSettings.Meldungstyp;
  const CString upper = Upper(value);
  if (upper == "FENSTER") return "findings notified in SPEKOLAR.NRT";
  if (upper == "E-MAIL") {
    mailSections_.push_back(label);
    return "findings notified by e-mail (SPEKOLAR.EML)";
  }
  if (value.IsEmpty()) {
    Note(label + " has no Meldungstyp: its findings are not notified (SPEKOLAR.TXT and message rows only)");
    return "no notification";
  }
  const char* nearest = NearestName(value.view(), kMeldungstypen);
  Error(label + " Meldungstyp '" + value + "' writes no notification" +
        (nearest ? CString("; did you mean ") + nearest + "?" : CString(" (FENSTER or E-MAIL)")));
  return "no notification";
}

void Checker::Number(const CString& label, const char* key, const CString& value, const char* unit) {
  if (value.IsEmpty() || IsNumber(value)) return;
  Error(label + " " + key + " '" + value + "' is not a number of " + unit +
        CString::Formatted(": it is read as %d", LeadingInteger(value)));
}

void Checker::FileSlots(const CString& label) {
  platform::Env* env = platform::GetEnv();
  const MonitorSettingsRecord& m = State().MonitorSettings;
  if (m.Datei.IsEmpty()) {
    Error(label + " has no Datei: its monitors read no file");
    return;
  }
  const size_t pieces = SplitAtCommas(m.Datei).size();
  if (pieces > static_cast<size_t>(MonitorSettingsRecord::kFileSlots)) {
    Error(label + CString::Formatted(" Datei has %d patterns: those after the %d. are dropped", static_cast<int>(pieces),
                                     MonitorSettingsRecord::kFileSlots));
  }
  int firstEmpty = 0;
  for (int slot = 0; slot < MonitorSettingsRecord::kFileSlots; ++slot) {
    const CString& pattern = m.Files[slot];
    const CString slotLabel = label + CString::Formatted(" Datei %d '", slot + 1) + pattern + "'";
    if (pattern.IsEmpty()) {
      if (firstEmpty == 0) firstEmpty = slot + 1;
      continue;
    }
    if (firstEmpty != 0) {
      Error(slotLabel + CString::Formatted(" comes after the empty slot %d and is never read", firstEmpty));
      continue;
    }
    const bool blanks = CString(CString::Trimmed(pattern.view())).GetLength() != pattern.GetLength();
    const std::vector<platform::FoundFile> matches = env->FindFiles(pattern);
    if (matches.empty()) {
      Error(slotLabel + " matches no file" +
            (blanks ? " (a blank at its start or end is part of the name)" : ""));
      continue;
    }
    Ok(slotLabel + CString::Formatted(": %d match(es)", static_cast<int>(matches.size())));
    for (const platform::FoundFile& match : matches) {
      platform::FileFacts facts;
      std::unique_ptr<platform::ReadableFile> file;
      const platform::Status facted = env->GetFileFacts(match.path, &facts);
      const platform::Status opened = env->OpenForRead(match.path, &file);
      if (opened != platform::Status::kOk) {
        Error("    " + match.path + ": cannot be opened (" + StatusText(opened) +
              "): the monitor ends its pass there");
      } else if (facted == platform::Status::kOk) {
        Ok("    " + match.name +
           CString::Formatted(", %lld bytes, changed ", static_cast<long long>(facts.size)) +
           platform::ProtocolStamp(facts.lastChange) + " (" + match.path + ")");
      } else {
        Ok("    " + match.name + " (" + match.path + ")");
      }
    }
  }
}

void Checker::Drives(const CString& label, const CString& notification, const CString& id) {
  platform::Env* env = platform::GetEnv();
  const MonitorSettingsRecord& m = State().MonitorSettings;
  const CString minimumText = MegabytesOf(m.MinGroesse);
  const int minimum = LeadingInteger(minimumText);
  if (m.MinGroesse.IsEmpty()) {
    Error(label + " has no MinGroesse: no drive is ever reported");
  } else if (!IsNumber(CString(CString::Trimmed(minimumText.view())))) {
    const SettingKey& key = *FindSettingKey("MinGroesse");
    Error(label + " " + key.name + " '" + m.MinGroesse + "' is not a number of " + key.unit +
          CString::Formatted(": it is read as %d", minimum));
  } else if (minimum == 0) {
    Error(label + " MinGroesse 0: no drive is ever reported");
  }
  std::vector<const CString*> drives;
  for (const CString* id : {&m.Id1, &m.Id2, &m.Id3}) {
    if (!id->IsEmpty()) drives.push_back(id);
  }
  if (drives.empty()) {
    Error(label + " has no ID: no drive is checked");
    return;
  }
  const size_t pieces = SplitAtCommas(id).size();
  if (pieces > 3) {
    Error(label + CString::Formatted(" ID has %d drives: those after the third are dropped", static_cast<int>(pieces)));
  }
  Ok(label + CString::Formatted(" Laufwerk: %d drive(s), at least %d MB free each, ", static_cast<int>(drives.size()), minimum) +
     notification);
  for (const CString* drive : drives) {
    uint64_t freeBytes = 0;
    CString reason;
    const platform::Status status = env->DiskFreeBytes(*drive, &freeBytes, &reason);
    if (status == platform::Status::kTimedOut) {
      reason = CString::Formatted("no answer in %d seconds",
                                  static_cast<int>(platform::kDiskQueryLimitMillis / 1000));
    }
    if (status != platform::Status::kOk) {
      Error(label + " drive '" + *drive + "' cannot be queried (" + reason +
            "): a pass reports it with 0 MB free");
      continue;
    }
    const long long megabytes = static_cast<long long>(freeBytes >> 20);
    const CString line = label + " drive '" + *drive + CString::Formatted("': %lld MB free", megabytes);
    if (megabytes < minimum) {
      Note(line + CString::Formatted(", below %d MB: a pass reports it", minimum));
    } else {
      Ok(line);
    }
  }
}

void Checker::Credentials(const char* argument) {
  if (argument == nullptr) {
    Error("no argument: a pass stops with exit code 1 (name the product's configuration file)");
    return;
  }
  CredentialsFile& credentials = State().Credentials;
  if (!credentials.SetFile(argument)) {
    Error(CString("credentials file ") + argument + ": not found");
    return;
  }
  const platform::Status status = credentials.Probe();
  if (status != platform::Status::kOk) {
    Error("credentials file " + credentials.Path() + ": " + StatusText(status));
    return;
  }
  Ok("credentials file " + credentials.Path());
  struct Key {
    const char* name;
    bool required;
    bool secret;
  };
  for (const Key& key : {Key{"DB_SYSTEM", true, false}, Key{"DATABASE", true, false},
                         Key{"LOGIN", false, true}, Key{"PASS", false, true},
                         Key{"SCHEMA", false, false}}) {
    const CString label = CString("credentials ") + key.name;
    const CString raw = credentials.GetValue(key.name);
    if (raw.IsEmpty()) {
      if (key.required) {
        Error(label + ": not found");
      } else {
        Note(label + ": not found (empty)");
      }
      continue;
    }
    const CString value = credentials.DecryptValue(raw);
    if (!IsReadable(value)) {
      Error(label + ": found, but it does not decrypt to text (encrypted with another key?)");
      continue;
    }
    if (key.secret) {
      Ok(label + ": found and decrypted");
    } else if (CString(key.name) == "DB_SYSTEM" && !IsKnownDbSystem(value)) {
      Error(label + ": '" + value + "' is none of " + JoinNames(kDbSystems, "and") + " (exact case)");
    } else {
      Ok(label + ": found and decrypted: " + value);
    }
  }
  Database();
}

void Checker::Database() {
  ProgramState& s = State();
  DbSession& db = *s.Db;
  db.SetCredentials(s.Credentials);
  auto failure = [&](const char* step, int32_t result) {
    Error(CString("database: ") + step + CString::Formatted(" failed: %ld ", static_cast<long>(db.NativeError())) +
          db.SqlState() + " " + OneLine(db.MessageText()) +
          CString::Formatted(" (a pass ends with exit code %ld)", static_cast<long>(result)));
  };
  int32_t result = db.Connect();
  if (result != 0) return failure("connect", result);
  Ok("database: connected to data source '" + s.Credentials.GetDatabase() + "' (" + db.DbSystem() + ")");
  result = db.SQLOpenQrv112Mnd();
  if (result != 0) return failure("tenant query", result);
  TenantRowRecord& t = s.TenantRow;
  result = db.SQLFetchQrv112Mnd(t.MNDLIZ, t.MNDNUM, t.MNDEML, t.MNDSCH);
  db.SQLCloseQrv112Mnd();
  if (result == 100) {
    Error("database: the tenant query returns no row (MNDKON = 0 and MNDSCH set): a pass ends with exit code 100");
    return;
  }
  if (result != 0) return failure("tenant fetch", result);
  Ok("tenant: MNDLIZ " + t.MNDLIZ + ", MNDNUM " + t.MNDNUM + ", MNDEML " + t.MNDEML + ", MNDSCH " + t.MNDSCH);
  CString uid;
  result = db.MakeMessageUid(uid);
  if (result != 0) return failure("count of the message table QRVYSTEM.QRV200MSG", result);
  Ok("message table QRVYSTEM.QRV200MSG: readable, next id " + uid);
}

void Checker::Mail() {
  platform::Env* env = platform::GetEnv();
  const bool used = !mailSections_.empty();
  auto problem = [&](const CString& text) {
    if (used) {
      Error(text);
    } else {
      Note(text + " (no section notifies by e-mail)");
    }
  };
  std::string interpreter;
  const bool defined = env->GetVariable(kMailInterpreterVariable, &interpreter);
  const CString command = MailCommand(logDirectory_);
  if (command.IsEmpty()) {
    problem("mail command: empty, as the log directory holds no \"log\"");
    return;
  }
  CString users;
  for (const CString& section : mailSections_) users += (users.IsEmpty() ? "" : ", ") + section;
  Ok("mail command: " + command + (used ? " (for " + users + ")" : CString(" (run only after e-mail text)")));
  if (!defined) {
    problem(CString("mail: %") + kMailInterpreterVariable + "% is not set");
  } else {
    CString program;
    const platform::Status status = env->ResolveCommand(command, &program);
    if (status == platform::Status::kOk) {
      Ok(CString("mail: ") + kMailInterpreterVariable + " = " + CString(interpreter) + ": runs " + program);
    } else {
      problem(CString("mail: ") + kMailInterpreterVariable + " = " + CString(interpreter) +
              ": names no program that can be run (" + StatusText(status) + ")");
    }
  }
  const CString script = MailScriptPath(logDirectory_);
  if (env->FindFiles(script).empty()) problem("mail: script " + script + " not found");
}

int Checker::Finish() {
  if (errors_ == 0) {
    PrintForConsole(out_, "result: a pass would run\n", encoding_);
    return 0;
  }
  PrintForConsole(out_, CString::Formatted("result: %d error(s)\n", errors_).str(), encoding_);
  return 1;
}

}  // namespace

int RunConfigCheck(const char* argument, std::FILE* out, ConsoleEncoding encoding) {
  Checker checker(out, encoding);
  checker.User();
  checker.Registry();
  checker.LogDirectory();
  checker.Configuration();
  checker.Credentials(argument);
  checker.Mail();
  return checker.Finish();
}

}  // namespace spekolar::cli
