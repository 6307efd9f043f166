// Whole-pass fault injection: a pass over an installation with findings in
// several sections, with the platform layer failing its Nth operation, for
// every N from 1 to the number of operations the pass makes and for each
// kind of failure in turn. Whatever fails, the pass ends (no crash, no
// hang), its exit code is one the program defines, no protocol file holds
// a torn record, and lost findings or notifications are reported once on
// standard error.
//
// The sections come from the catalogue, in its order: those with a protocol
// in kMonitors, and the drive check.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/RunSequence.h"
#include "app/SectionCatalogue.h"
#include "config/Blowfish.h"
#include "config/InstallationPath.h"
#include "db/SqlClient.h"
#include "state/ProgramState.h"
#include "support/MariaDbServer.h"
#include "support/Records.h"
#include "support/TempDir.h"
#include "support/TestEnv.h"

namespace spekolar::spktest {
namespace {

// A monitor section of the installation and a protocol with findings for
// it (dated 7 December 2026, the pass's day). The sections stand for the
// ways a pass reaches the platform: the dated-line scan, the scan that looks
// back one line, both notification files, and (below) the drive check's
// free-space query. Every pass here inserts its message rows, so each
// further section costs the sweep a database round trip per operation.
struct MonitorRow {
  const char* section;
  const char* meldungstyp;
  const char* file;
  const char* protocol;
};

const MonitorRow kMonitors[] = {
    {"JOBCONTROLLER", "E-MAIL", "jobctl_1.log",
     "2026-12-07 08:00:00: Job A gestartet\n"
     "2026-12-07 08:01:00: Error in job A; retry\n"
     "2026-12-07 09:00:00: Fehler beim Export\r\n"},
    {"TAGESABSCHLUSS", "FENSTER", "tagab.log",
     "07.12.2026 22:00:00 Tagesabschluss wird gestartet\n"
     "07.12.2026 22:10:00 Fehler beim Lesen\n"
     "07.12.2026 22:40:00 Tagesabschluss beendet\n"},
    {"TERMINAL DOWNLOAD", "E-MAIL", "download.log",
     "Start Download\n07-12-2026 10:00:00 Verbindung\nTerm      : \"T01\"\n"
     "07-12-2026 10:00:30 Ende\n07-12-2026 10:01:00 Fehler 5 beim Senden\n"},
};

const char kLog[] = "inst/htdocs/PELDAVORN/peldavorn_php/log";

// Refuses every write outside the installation, so that a pass whose
// registry store could not be read (and whose log directory is therefore
// the root) leaves nothing behind on the machine.
class JailEnv : public EnvWrapper {
 public:
  explicit JailEnv(std::string root) : EnvWrapper(platform::DefaultEnv()), root_(std::move(root)) {}
  platform::Status OpenForAppend(const CString& path,
                                 std::unique_ptr<platform::AppendableFile>* out) override {
    return Inside(path) ? EnvWrapper::OpenForAppend(path, out) : platform::Status::kAccessDenied;
  }
  platform::Status DeleteFile(const CString& path) override {
    return Inside(path) ? EnvWrapper::DeleteFile(path) : platform::Status::kAccessDenied;
  }
  platform::Status RenameFile(const CString& from, const CString& to) override {
    return Inside(from) && Inside(to) ? EnvWrapper::RenameFile(from, to)
                                      : platform::Status::kAccessDenied;
  }
  platform::Status WriteFileAtomically(const CString& path, const std::string& data) override {
    return Inside(path) ? EnvWrapper::WriteFileAtomically(path, data)
                        : platform::Status::kAccessDenied;
  }
  platform::Status ReplaceOwnFile(const CString& path, const std::string& data) override {
    return Inside(path) ? EnvWrapper::ReplaceOwnFile(path, data) : platform::Status::kAccessDenied;
  }
  platform::Status LockFile(const CString& path, int64_t wait,
                            std::unique_ptr<platform::FileLock>* out, CString* error) override {
    return Inside(path) ? EnvWrapper::LockFile(path, wait, out, error)
                        : platform::Status::kAccessDenied;
  }

 private:
  bool Inside(const CString& path) const {
    std::string p = path.str();
    for (char& c : p) c = c == '\\' ? '/' : c;
    return p.rfind(root_ + "/", 0) == 0;
  }
  std::string root_;
};

class FaultSweepTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(LoadMariaDbServer(&server_, &error)) << error;
    ASSERT_TRUE(sql_.Connect(server_.Dsn(), server_.User(), server_.Password())) << sql_.LastError();
    ASSERT_TRUE(sql_.Exec("DELETE FROM qrvystem.qrv112mnd")) << sql_.LastError();
    ASSERT_TRUE(sql_.Exec("INSERT INTO qrvystem.qrv112mnd (MNDLIZ, MNDNUM, MNDEML, MNDSCH, MNDKON) "
                          "VALUES ('L0001', '00001', 'mandant@example.org', 'MANDANT1', 0)"));
    previous_ = std::filesystem::current_path();
    setenv("peldavorn_php_bin", "/bin/true", 1);
  }
  void TearDown() override {
    std::filesystem::current_path(previous_);
    unsetenv("SPEKOLAR_REGISTRY");
    unsetenv("peldavorn_php_bin");
    ResetProgramState();
  }

  // A fresh installation in `dir`, the working folder its bin folder.
  void Install(const TempDir& dir) {
    dir.Write(std::string(kLog) + "/.keep", "");
    std::filesystem::remove(dir / (std::string(kLog) + "/.keep"));
    dir.Write("registry.reg", "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\KORVANE\\PELDAVORN]\r\n"
                              "\"Path\"=\"" + dir.path() + "/inst\"\r\n\r\n");
    std::string ini = "[SPEKOLAR]\nE-Mail=admin@example.org\n";
    for (const SectionRow& section : SectionCatalogue()) {
      const std::string head = std::string("[") + section.key + "]\n";
      if ((section.keys & kKeyId) != 0) {
        // A drive that can never have the minimum free, and one that is gone.
        ini += head + "MinGroesse=999999999MB\nMeldungstyp=E-MAIL\nID=" + dir.path() + "," +
               dir.path() + "/gone\n";
      }
      for (const MonitorRow& m : kMonitors) {
        if (std::string(m.section) != section.key) continue;
        dir.Write(std::string("protocols/") + m.file, m.protocol);
        ini += head + "Typ=1,2\nMeldungstyp=" + m.meldungstyp + "\nDatei=" + dir.path() + "/protocols/" +
               m.file + ",missing.log\n";
      }
    }
    dir.Write("work/settings/Spekolar.ini", ini);
    std::string credentials;
    auto line = [&credentials](const char* key, const std::string& value) {
      credentials += std::string("pvn;") + key + ";" + EncryptCredentialValue(CString(value)).str() + "\r\n";
    };
    line("DB_SYSTEM", "MYSQL");
    line("DATABASE", server_.Dsn());
    line("LOGIN", server_.User());
    line("PASS", server_.Password());
    line("SCHEMA", "QRVYSTEM");
    dir.Write("peldavorn.ini", credentials);
    dir.Write("work/bin/.keep", "");
    std::filesystem::current_path(dir / "work/bin");
    setenv("SPEKOLAR_REGISTRY", (dir / "registry.reg").c_str(), 1);
  }

  struct Outcome {
    int exitCode;
    std::string errors;
  };

  // One pass under `env` (which must end in the jail for `dir`).
  Outcome Pass(const TempDir& dir, platform::Env* env) {
    ResetProgramState();
    std::FILE* errors = std::tmpfile();
    int exitCode;
    {
      platform::ScopedEnv scoped(env);
      InstallationPath installation;
      std::string program = "spekolar";
      std::string credentials = dir / "peldavorn.ini";
      char* argv[] = {program.data(), credentials.data(), nullptr};
      RunOptions options;
      options.lockWaitMillis = 0;
      options.errors = errors;
      exitCode = RunSpekolar(2, argv, installation, options);
    }
    ResetProgramState();
    std::rewind(errors);
    std::string text;
    for (int c; (c = std::fgetc(errors)) != EOF;) text += static_cast<char>(c);
    std::fclose(errors);
    return {exitCode, text};
  }

  MariaDbServer server_;
  SqlClient sql_;
  std::filesystem::path previous_;
};

// Every line of a findings protocol: its stamp and a record of seven fields.
void ExpectWholeRecords(const std::string& text, const std::string& where) {
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    ASSERT_NE(end, std::string::npos) << where << ": a record without its line end";
    const std::string line = text.substr(at, end - at);
    EXPECT_TRUE(IsFindingLine(line)) << where << ": " << line;
    at = end + 1;
  }
}

// The end-of-pass line about lost lines.
bool IsLostLinesMessage(const std::string& text) {
  const std::string head = "Spekolar: ";
  const std::string middle =
      " Zeile(n) in SPEKOLAR.TXT, SPEKOLAR.NRT oder SPEKOLAR.EML konnten nicht geschrieben "
      "werden (Verzeichnis '";
  if (text.compare(0, head.size(), head) != 0) return false;
  size_t digits = head.size();
  while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits]))) ++digits;
  return digits > head.size() && text.compare(digits, middle.size(), middle) == 0 &&
         text.size() >= 4 && text.compare(text.size() - 4, 4, "').\n") == 0 &&
         text.find('\n') == text.size() - 1;
}

// Notification lines, and the run protocol's entries (whose texts may span
// lines): whole lines only.
void ExpectWholeLines(const std::string& text, const std::string& where) {
  EXPECT_TRUE(text.empty() || text.back() == '\n') << where << " ends in a torn line";
}

TEST_F(FaultSweepTest, EveryOperationFailingInTurn) {
  // The pass as it runs when nothing fails: how many operations it makes.
  int operations;
  {
    TempDir dir;
    Install(dir);
    JailEnv jail(dir.path());
    FaultInjectionEnv fault(&jail);
    FixedClockEnv clock(2026, 12, 7, 23, 30, 0, &fault);
    fault.FailNthOperation(0, platform::Status::kOk);
    Outcome o = Pass(dir, &clock);
    ASSERT_EQ(o.exitCode, 0) << o.errors;
    ASSERT_EQ(o.errors, "");
    operations = fault.operationCount();
    // The pass found something in every section, wrote it, and mailed it.
    const std::string findings = dir.Read(std::string(kLog) + "/SPEKOLAR.TXT");
    for (const MonitorRow& m : kMonitors) {
      EXPECT_NE(findings.find(std::string(";") + m.section + ";"), std::string::npos) << m.section;
    }
    EXPECT_NE(findings.find(";LAUFWERK;3;"), std::string::npos);
    EXPECT_NE(dir.Read(std::string(kLog) + "/SPEKOLAR.log").find("E-Mail ist an"), std::string::npos);
  }
  ASSERT_GT(operations, 50);

  const platform::Status kinds[] = {platform::Status::kNotFound, platform::Status::kAccessDenied,
                                    platform::Status::kIoError, platform::Status::kNoSpace,
                                    platform::Status::kBusy};
  for (platform::Status kind : kinds) {
    for (int n = 1; n <= operations; ++n) {
      SCOPED_TRACE("operation " + std::to_string(n) + ", failure " +
                   std::to_string(static_cast<int>(kind)));
      TempDir dir;
      Install(dir);
      JailEnv jail(dir.path());
      FaultInjectionEnv fault(&jail);
      FixedClockEnv clock(2026, 12, 7, 23, 30, 0, &fault);
      fault.FailNthOperation(n, kind);
      Outcome o = Pass(dir, &clock);

      // 0 for a pass, 1 for a failed start (configuration, lock), or the
      // result of the database step that failed, with its entry (a
      // credentials value that could not be read makes the connect fail).
      const std::string log = dir.Read(std::string(kLog) + "/SPEKOLAR.log");
      if (o.exitCode != 0 && o.exitCode != 1) {
        EXPECT_NE(log.find("Fehler beim "), std::string::npos) << o.exitCode << "\n" << log;
      }
      ExpectWholeRecords(dir.Read(std::string(kLog) + "/SPEKOLAR.TXT"), "SPEKOLAR.TXT");
      ExpectWholeRecords(dir.Read(std::string(kLog) + "/SPEKOLAR.TXT.old"), "SPEKOLAR.TXT.old");
      for (const char* file : {"SPEKOLAR.log", "SPEKOLAR.NRT", "SPEKOLAR.EML"}) {
        ExpectWholeLines(dir.Read(std::string(kLog) + "/" + file), file);
      }
      // At most one line on standard error about lost lines; the store's
      // own warning comes first when the store could not be read.
      std::string errors = o.errors;
      if (errors.rfind("Spekolar: Registrierungsdatei", 0) == 0) errors.erase(0, errors.find('\n') + 1);
      EXPECT_TRUE(errors.empty() || IsLostLinesMessage(errors)) << errors;
      if (HasFailure()) return;  // one case tells all
    }
  }
}

}  // namespace
}  // namespace spekolar::spktest
