// The MSI (made with wixl by the Windows build's msi target) under Wine's
// msiexec, as an administrator or a deployment tool uses it: a silent
// install into Program Files and into a folder given as INSTALLDIR (the
// product's bin folder, which holds other files), the installed program
// running, the uninstall entry, a silent removal of every file it put there,
// and the product's own registry key never written. And the scheduled task's
// definition that both packages hold, imported with schtasks.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e/windows/WindowsProgram.h"
#include "support/TempDir.h"
#include "support/Text.h"

namespace spekolar {

namespace {

using spktest::ShellQuote;
using spktest::WindowsPath;

// Runs a Windows command line in the build's prefix; its exit code, and its
// standard output in `out` when asked for.
int Wine(const spktest::WindowsSetup& setup, const std::vector<std::string>& args,
         std::string* out = nullptr) {
  std::string command = "bash " + ShellQuote(setup.wineRun) + " " + ShellQuote(setup.prefix);
  for (const std::string& a : args) {
    command += ' ';
    command += ShellQuote(a);
  }
  command += " </dev/null 2>/dev/null";
  if (out == nullptr) command += " >/dev/null";
  int exitCode = -1;
  const std::string text = spktest::CommandOutput(command, &exitCode);
  if (out != nullptr) *out += text;
  return exitCode;
}

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  if (!std::filesystem::is_directory(folder)) return names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(MsiTest, InstallsRunsAndRemovesEveryFileUnderWine) {
  spktest::WindowsSetup setup;
  std::string error;
  ASSERT_TRUE(spktest::LoadWindowsSetup(&setup, &error)) << error;
  const std::string msi = setup.buildDir + "/spekolar-" SPEKOLAR_VERSION "-win64.msi";
  ASSERT_TRUE(std::filesystem::exists(msi)) << msi << " is missing: build the msi target (wixl)";
  const std::string product = "HKLM\\Software\\KORVANE\\PELDAVORN";
  const std::string remember = "HKLM\\Software\\KORVANE\\Spekolar";
  const std::string uninstall = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
  const std::vector<std::string> installed = {"README.txt", "Spekolar-task.xml",
                                              "spekolar-encrypt.exe", "spekolar.exe"};

  spktest::TempDir dir;
  dir.Write("bin/other.txt", "the product's own file\r\n");
  struct Case {
    const char* name;
    std::string installDir;  // empty: the default
    std::string linuxFolder;
    std::string windowsFolder;
    std::vector<std::string> left;  // what stays after the removal
  };
  const Case cases[] = {
      {"Program Files", "", setup.prefix + "/drive_c/Program Files/Spekolar",
       "C:\\Program Files\\Spekolar", {}},
      {"INSTALLDIR the product's bin folder", WindowsPath(dir.path() + "/bin"), dir.path() + "/bin",
       WindowsPath(dir.path() + "/bin"), {"other.txt"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Wine(setup, {"reg", "delete", product, "/f"});
    std::vector<std::string> install = {"msiexec", "/i", WindowsPath(msi), "/qn"};
    if (!c.installDir.empty()) install.push_back("INSTALLDIR=" + c.installDir);
    ASSERT_EQ(Wine(setup, install), 0);

    std::vector<std::string> expected = installed;
    expected.insert(expected.end(), c.left.begin(), c.left.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(FilesIn(c.linuxFolder), expected);
    EXPECT_EQ(dir.Read("bin/other.txt"), "the product's own file\r\n");
    std::string version;
    EXPECT_EQ(Wine(setup, {c.windowsFolder + "\\spekolar.exe", "--version"}, &version), 0);
    EXPECT_EQ(version, "spekolar " SPEKOLAR_VERSION "\r\n");
    std::string entries;
    Wine(setup, {"reg", "query", uninstall, "/s"}, &entries);
    EXPECT_NE(entries.find("DisplayName    REG_SZ    Spekolar\r\n"), std::string::npos) << entries;
    // The product's key is its setup's: the MSI writes none. Its own value
    // remembers the folder for the removal.
    EXPECT_NE(Wine(setup, {"reg", "query", product}), 0);
    std::string remembered;
    Wine(setup, {"reg", "query", remember, "/v", "InstallDir"}, &remembered);
    EXPECT_NE(remembered.find("REG_SZ    " + c.windowsFolder + "\\\r\n"), std::string::npos) << remembered;

    EXPECT_EQ(Wine(setup, {"msiexec", "/x", WindowsPath(msi), "/qn"}), 0);
    EXPECT_EQ(FilesIn(c.linuxFolder), c.left);
    entries.clear();
    Wine(setup, {"reg", "query", uninstall, "/s"}, &entries);
    EXPECT_EQ(entries.find("DisplayName    REG_SZ    Spekolar\r\n"), std::string::npos) << entries;
    EXPECT_NE(Wine(setup, {"reg", "query", remember, "/v", "InstallDir"}), 0);
  }
}

// Wine's schtasks checks the definition against the elements it knows (a
// misspelt or misplaced element fails the import) and keeps the task's
// description and settings, but not its trigger, principal or command
// (docs/windows.md): so this shows a well-formed definition that Windows'
// schema accepts as far as Wine knows it, not the schedule running.
TEST(ScheduledTaskTest, SchtasksImportsTheDefinition) {
  spktest::WindowsSetup setup;
  std::string error;
  ASSERT_TRUE(spktest::LoadWindowsSetup(&setup, &error)) << error;
  const std::string xml = setup.buildDir + "/windows/Spekolar-task.xml";
  ASSERT_TRUE(std::filesystem::exists(xml)) << xml;
  const std::string name = "SpekolarImportTest";
  Wine(setup, {"schtasks", "/Delete", "/TN", name, "/F"});
  EXPECT_EQ(Wine(setup, {"schtasks", "/Create", "/TN", name, "/XML", WindowsPath(xml)}), 0);
  const std::string stored = setup.prefix + "/drive_c/windows/system32/tasks/" + name;
  const std::string task = spktest::ReadBytes(stored);
  EXPECT_NE(task.find("every 15 minutes"), std::string::npos) << task;
  EXPECT_EQ(Wine(setup, {"schtasks", "/Delete", "/TN", name, "/F"}), 0);
  EXPECT_FALSE(std::filesystem::exists(stored));
}

}  // namespace

}  // namespace spekolar
