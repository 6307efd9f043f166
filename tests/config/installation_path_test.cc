#include "config/InstallationPath.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/Env.h"
#include "platform/registry/Hive.h"
#include "support/TempDir.h"
#include "support/TestEnv.h"

namespace spekolar {

namespace {

const char* const kHeader = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\KORVANE\\PELDAVORN]\r\n";

class InstallationPathTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("SPEKOLAR_REGISTRY", (dir_ / "registry.reg").c_str(), 1); }
  void TearDown() override { unsetenv("SPEKOLAR_REGISTRY"); }

  spktest::TempDir dir_;
  platform::ScopedRegistryHive hive_;
};

TEST_F(InstallationPathTest, LogDirectoryFromPathValue) {
  struct Case {
    const char* store;  // whole store file, or nullptr for none
    const char* directory;
    const char* logDirectory;
  } cases[] = {
      {"\"Path\"=\"C:\\\\PELDAVORN\\\\\"\r\n", "C:\\PELDAVORN\\",
       "C:\\PELDAVORN\\htdocs\\PELDAVORN\\peldavorn_php\\log"},
      {"\"Path\"=\"D:\\\\Pv\"\r\n", "D:\\Pv", "D:\\Pv\\htdocs\\PELDAVORN\\peldavorn_php\\log"},
      {"\"path\"=\"/opt/p\"\r\n", "/opt/p", "/opt/p\\htdocs\\PELDAVORN\\peldavorn_php\\log"},
      {"\"Path\"=dword:0000002a\r\n", "42", "42\\htdocs\\PELDAVORN\\peldavorn_php\\log"},
      {"\"Path\"=hex(2):43,3a,5c,00\r\n", "", ""},
      {"\"Path\"=\"\"\r\n", "", ""},
      {"\"Other\"=\"C:\\\\x\"\r\n", "", ""},
  };
  for (const Case& c : cases) {
    dir_.Write("registry.reg", std::string(kHeader) + c.store);
    InstallationPath installation;
    EXPECT_EQ(installation.Directory(), c.directory) << c.store;
    EXPECT_EQ(installation.GetLogDirectory(), c.logDirectory) << c.store;
  }
}

TEST_F(InstallationPathTest, MissingKeyIsCreatedEmpty) {
  InstallationPath installation;
  EXPECT_EQ(installation.GetLogDirectory(), "");
  EXPECT_TRUE(installation.KeyCreated());
  EXPECT_EQ(dir_.Read("registry.reg"),
            "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\KORVANE\\PELDAVORN]\r\n\r\n");
}

// A user who may read the store but not change it (a service account)
// still gets the log directory; only a missing key, which would have to be
// created, is refused, and the store stays as it was.
TEST_F(InstallationPathTest, ARegistryThatMayNotBeWrittenIsStillRead) {
  struct Case {
    const char* store;
    const char* logDirectory;
    platform::LONG result;
  } cases[] = {
      {"\"Path\"=\"C:\\\\P\"\r\n", "C:\\P\\htdocs\\PELDAVORN\\peldavorn_php\\log",
       platform::ERROR_SUCCESS},
      {nullptr, "", platform::ERROR_ACCESS_DENIED},
  };
  for (const Case& c : cases) {
    const std::string store = c.store ? std::string(kHeader) + c.store : "REGEDIT4\r\n\r\n";
    dir_.Write("registry.reg", store);
    spktest::FaultInjectionEnv env;
    env.SetNotWritable();
    platform::ScopedEnv scoped(&env);
    InstallationPath installation;
    EXPECT_EQ(installation.GetLogDirectory(), c.logDirectory);
    EXPECT_EQ(installation.KeyResult(), c.result);
    EXPECT_FALSE(installation.KeyCreated());
    EXPECT_EQ(dir_.Read("registry.reg"), store);
  }
}

// A store that is no regular file, or far too large, is never waited for
// nor replaced: the log directory is empty and the reason is kept for the
// run to report.
TEST_F(InstallationPathTest, SpecialOrHugeStoresAreNotRead) {
  const std::string store = dir_ / "registry.reg";
  struct Case {
    const char* what;
    platform::Status status;
  };
  const Case cases[] = {{"fifo", platform::Status::kNotAFile},
                        {"zero", platform::Status::kNotAFile},
                        {"huge", platform::Status::kTooLarge}};
  for (const Case& c : cases) {
    std::filesystem::remove(store);
    if (std::string(c.what) == "fifo") {
      ASSERT_EQ(mkfifo(store.c_str(), 0644), 0);
    }
    if (std::string(c.what) == "zero") std::filesystem::create_symlink("/dev/zero", store);
    if (std::string(c.what) == "huge") {
      dir_.Write("registry.reg", std::string(kHeader) + "\"Path\"=\"C:\\\\P\"\r\n");
      ASSERT_EQ(truncate(store.c_str(), platform::kMaxWholeFileBytes + 1), 0);
    }
    InstallationPath installation;
    EXPECT_EQ(installation.GetLogDirectory(), "") << c.what;
    EXPECT_EQ(installation.StoreStatus(), c.status) << c.what;
  }
  EXPECT_EQ(std::filesystem::file_size(store), static_cast<uintmax_t>(platform::kMaxWholeFileBytes + 1));
}

// The product key with thousands of values: read once, each value looked
// up in one step. (Reading the store per value took minutes.)
TEST_F(InstallationPathTest, AKeyWithThousandsOfValuesIsReadOnce) {
  std::string store = kHeader;
  for (int i = 0; i < 4000; ++i) store += "\"V" + std::to_string(i) + "\"=\"x\"\r\n";
  store += "\"Path\"=\"/opt/p\"\r\n";
  dir_.Write("registry.reg", store);
  spktest::CountingEnv env;
  platform::ScopedEnv scoped(&env);
  InstallationPath installation;
  EXPECT_EQ(installation.Directory(), "/opt/p");
  EXPECT_EQ(installation.StoreStatus(), platform::Status::kOk);
  EXPECT_EQ(env.reads, 1);
  EXPECT_EQ(dir_.Read("registry.reg"), store);
}

}  // namespace

}  // namespace spekolar
