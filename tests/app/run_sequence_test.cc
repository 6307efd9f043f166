// The run sequence up to the database: the pass lock, the monitor
// configuration that is there but cannot be read, and the mail command.
// The steps before the connect need no server.
#include "app/RunSequence.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "config/InstallationPath.h"
#include "platform/Env.h"
#include "state/ProgramState.h"
#include "support/TempDir.h"
#include "support/TestEnv.h"

namespace spekolar {

namespace {

using spktest::TempDir;

// An installation without a database: the registry store names ROOT/inst,
// the run's working folder is ROOT/work/bin.
class RunSequenceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetProgramState();
    dir_.Write("inst/htdocs/PELDAVORN/peldavorn_php/log/.keep", "");
    dir_.Write("work/bin/.keep", "");
    dir_.Write("registry.reg", "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\KORVANE\\PELDAVORN]\r\n"
                               "\"Path\"=\"" + dir_.path() + "/inst\"\r\n");
    setenv("SPEKOLAR_REGISTRY", (dir_ / "registry.reg").c_str(), 1);
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_ / "work/bin");
    errors_ = std::tmpfile();
  }
  void TearDown() override {
    std::filesystem::current_path(previous_);
    unsetenv("SPEKOLAR_REGISTRY");
    if (errors_) std::fclose(errors_);
    ResetProgramState();
  }

  int Run(std::vector<std::string> args, int64_t lockWaitMillis) {
    ResetProgramState();
    InstallationPath installation;
    std::vector<char*> argv;
    std::string program = "spekolar";
    argv.push_back(program.data());
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    RunOptions options;
    options.lockWaitMillis = lockWaitMillis;
    options.errors = errors_;
    return RunSpekolar(static_cast<int>(args.size() + 1), argv.data(), installation, options);
  }
  std::string LogDir() const { return dir_ / "inst/htdocs/PELDAVORN/peldavorn_php/log"; }
  std::string Log() const { return dir_.Read("inst/htdocs/PELDAVORN/peldavorn_php/log/SPEKOLAR.log"); }
  // The entries' texts, without their stamps.
  std::vector<std::string> Entries() const {
    std::vector<std::string> texts;
    std::string log = Log();
    for (size_t at = 0; at < log.size();) {
      size_t end = log.find('\n', at);
      std::string line = log.substr(at, end - at);
      texts.push_back(line.size() > 22 ? line.substr(22) : line);
      at = end + 1;
    }
    return texts;
  }
  std::string Errors() const {
    std::rewind(errors_);
    std::string text;
    for (int c; (c = std::fgetc(errors_)) != EOF;) text += static_cast<char>(c);
    return text;
  }

  TempDir dir_;
  std::filesystem::path previous_;
  std::FILE* errors_ = nullptr;
};

// Another pass holds the lock: this one waits up to its limit, then writes
// one entry (and nothing else) and ends with 1.
TEST_F(RunSequenceTest, APassThatCannotGetTheLockWithinItsLimitEndsWithOne) {
  std::unique_ptr<platform::FileLock> other;
  const CString lockPath = LogDir() + "/SPEKOLAR.LCK";
  ASSERT_EQ(platform::GetEnv()->LockFile(lockPath, 0, &other, nullptr), platform::Status::kOk);
  EXPECT_EQ(Run({"peldavorn.ini"}, 200), 1);
  const std::string lockText = dir_.path() + "/inst\\htdocs\\PELDAVORN\\peldavorn_php\\log\\SPEKOLAR.LCK";
  EXPECT_EQ(Entries(), (std::vector<std::string>{
                           "*** Abbruch: ein anderer Spekolar-Lauf h\xE4lt die Sperre '" + lockText +
                           "' ***"}));
  EXPECT_EQ(Errors(), "");
}

// Released while the second pass waits: it goes on as usual (here: to the
// missing argument).
TEST_F(RunSequenceTest, APassWaitsForTheOneBeforeIt) {
  std::unique_ptr<platform::FileLock> other;
  ASSERT_EQ(platform::GetEnv()->LockFile(LogDir() + "/SPEKOLAR.LCK", 0, &other, nullptr),
            platform::Status::kOk);
  std::thread release([&other] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    other.reset();
  });
  EXPECT_EQ(Run({}, 60000), 1);
  release.join();
  EXPECT_EQ(Entries(), (std::vector<std::string>{"Spekolar gestartet",
                                                 "*** Abbruch wegen fehlendes Parameters ***"}));
}

// A configuration file that the search finds but that cannot be read runs
// no monitor: it is reported and the pass ends with 1, before the database.
TEST_F(RunSequenceTest, AConfigurationThatCannotBeReadEndsThePass) {
  const std::string config = dir_ / "work/settings/Spekolar.ini";
  struct Case {
    const char* what;
    const char* reason;
  };
  const Case cases[] = {{"fifo", ""},   {"folder", ""}, {"dangling link", ""},
                        {"/dev/zero", ""}, {"too large", " (gr\xF6\xDF" "er als 16 MiB)"},
                        {"no permission", ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(dir_ / "work/settings");
    std::filesystem::create_directories(dir_ / "work/settings");
    std::filesystem::remove(LogDir() + "/SPEKOLAR.log");
    const std::string what = c.what;
    if (what == "fifo") {
      ASSERT_EQ(mkfifo(config.c_str(), 0644), 0);
    }
    if (what == "folder") std::filesystem::create_directories(config);
    if (what == "dangling link") std::filesystem::create_symlink(dir_ / "nowhere", config);
    if (what == "/dev/zero") std::filesystem::create_symlink("/dev/zero", config);
    if (what == "too large" || what == "no permission") {
      dir_.Write("work/settings/Spekolar.ini", "[SPEKOLAR]\n");
      if (what == "too large") {
        ASSERT_EQ(truncate(config.c_str(), platform::kMaxWholeFileBytes + 1), 0);
      } else {
        if (geteuid() == 0) continue;  // root reads everything
        ASSERT_EQ(chmod(config.c_str(), 0), 0);
      }
    }
    EXPECT_EQ(Run({"peldavorn.ini"}, 0), 1);
    EXPECT_EQ(Entries(), (std::vector<std::string>{
                             "Spekolar gestartet",
                             std::string("Konfigurationsdatei '../settings/Spekolar.ini' konnte "
                                         "nicht gelesen werden") + c.reason + "."}));
  }
}

// The script path is quoted where the command processor would take it
// apart; the interpreter where its value is one such path of a file, not a
// program with its options.
TEST(MailCommandTest, QuotesOnlyWhatTheCommandProcessorWouldTakeApart) {
  TempDir dir;
  dir.Write("Program Files (x86)/php.exe", "");
  const std::string spacedPhp = dir / "Program Files (x86)/php.exe";
  struct Case {
    const char* logDirectory;
    const char* interpreter;  // nullptr: not defined
    const char* command;
  };
  const Case cases[] = {
      {"C:\\PV\\htdocs\\PELDAVORN\\peldavorn_php\\log", "C:\\php\\php.exe",
       "%peldavorn_php_bin% C:\\PV\\htdocs\\PELDAVORN\\peldavorn_php\\common\\Classes\\phpMailer2\\sendmail_Spk.php"},
      {"/opt/pv\\htdocs\\PELDAVORN\\peldavorn_php\\log", nullptr,
       "%peldavorn_php_bin% /opt/pv\\htdocs\\PELDAVORN\\peldavorn_php\\common\\Classes\\phpMailer2\\sendmail_Spk.php"},
      {"C:\\Program Files\\PV\\log", spacedPhp.c_str(),
       "\"%peldavorn_php_bin%\" \"C:\\Program Files\\PV\\common\\Classes\\phpMailer2\\sendmail_Spk.php\""},
      {"C:\\PV(x86)\\log", "/usr/bin/php -q",
       "%peldavorn_php_bin% \"C:\\PV(x86)\\common\\Classes\\phpMailer2\\sendmail_Spk.php\""},
      {"/opt/$(touch x)\\log", "/usr/bin/php",
       "%peldavorn_php_bin% \"/opt/$(touch x)\\common\\Classes\\phpMailer2\\sendmail_Spk.php\""},
      {"/opt/a&b\\log", spacedPhp.c_str(),
       "\"%peldavorn_php_bin%\" \"/opt/a&b\\common\\Classes\\phpMailer2\\sendmail_Spk.php\""},
      {"C:\\PV", spacedPhp.c_str(), ""},
  };
  for (const Case& c : cases) {
    if (c.interpreter != nullptr) {
      setenv("peldavorn_php_bin", c.interpreter, 1);
    } else {
      unsetenv("peldavorn_php_bin");
    }
    EXPECT_EQ(MailCommand(c.logDirectory), c.command) << c.logDirectory;
  }
  unsetenv("peldavorn_php_bin");
}

}  // namespace

}  // namespace spekolar
