#include "config/InstallationPath.h"

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "platform/Env.h"
#include "support/TempDir.h"
#include "support/TestEnv.h"

namespace {

const char* const kHeader = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\KORVANE\\PELDAVORN]\r\n";

class InstallationPathTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("SPEKOLAR_REGISTRY", (dir_ / "registry.reg").c_str(), 1); }
  void TearDown() override { unsetenv("SPEKOLAR_REGISTRY"); }

  spktest::TempDir dir_;
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
  EXPECT_EQ(dir_.Read("registry.reg"),
            "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\KORVANE\\PELDAVORN]\r\n\r\n");
}

TEST_F(InstallationPathTest, RefusedRegistryGivesEmptyLogDirectory) {
  const std::string store = std::string(kHeader) + "\"Path\"=\"C:\\\\P\"\r\n";
  dir_.Write("registry.reg", store);
  spktest::FaultInjectionEnv env;
  env.SetNotWritable();
  platform::ScopedEnv scoped(&env);
  InstallationPath installation;
  EXPECT_EQ(installation.GetLogDirectory(), "");
  EXPECT_EQ(dir_.Read("registry.reg"), store);
}

}  // namespace
