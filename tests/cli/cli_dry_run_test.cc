// The dry run's decorator over the real file system: the pass sees its own
// changes, the disk sees none, every change becomes an action.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/DryRun.h"
#include "support/TempDir.h"

namespace spekolar {

namespace {

std::string ReadDisk(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::string ReadThrough(platform::Env& env, const CString& path) {
  std::string bytes;
  return env.ReadWholeFile(path, &bytes) == platform::Status::kOk ? bytes : "<none>";
}

TEST(DryRunEnvTest, ChangesStayInMemoryAndAreReportedInOrder) {
  spktest::TempDir dir;
  const std::string root = dir.path();
  { std::ofstream(root + "/SPEKOLAR.EML", std::ios::binary) << "old mail\n"; }
  { std::ofstream(root + "/SPEKOLAR.log", std::ios::binary) << "entry 1\n"; }
  std::vector<std::string> actions;
  cli::DryRunEnv env(platform::DefaultEnv(), [&](const cli::DryRunAction& a) {
    static const char* const kKinds[] = {"append", "delete", "rename", "write", "lock", "command"};
    actions.push_back(std::string(kKinds[static_cast<int>(a.kind)]) + " " +
                      std::string(a.path.view().substr(a.path.view().find_last_of("\\/") + 1)) +
                      (a.target.IsEmpty() ? "" : " -> " + std::string(a.target.view().substr(
                                                              a.target.view().find_last_of("\\/") + 1))) +
                      (a.bytes.empty() ? "" : " [" + a.bytes + "]"));
  });
  const CString log(root + "\\SPEKOLAR.log");
  const CString eml(root + "\\SPEKOLAR.EML");
  const CString old(root + "\\SPEKOLAR_Old.EML");

  std::unique_ptr<platform::FileLock> lock;
  ASSERT_EQ(env.LockFile(CString(root + "/SPEKOLAR.LCK"), 0, &lock, nullptr), platform::Status::kOk);
  std::unique_ptr<platform::AppendableFile> file;
  ASSERT_EQ(env.OpenForAppend(log, &file), platform::Status::kOk);
  EXPECT_EQ(file->Size(), 8);
  EXPECT_TRUE(file->Append("entry 2\n", 8));
  EXPECT_TRUE(file->Close());
  ASSERT_EQ(env.RenameFile(eml, old), platform::Status::kOk);
  ASSERT_EQ(env.OpenForAppend(eml, &file), platform::Status::kOk);
  EXPECT_EQ(file->Size(), 0);
  EXPECT_TRUE(file->Append("new mail\n", 9));
  EXPECT_TRUE(file->Close());
  EXPECT_EQ(env.RunCommand("php send.php"), 0);

  // The pass sees its own changes, also through a search and an open.
  EXPECT_EQ(ReadThrough(env, log), "entry 1\nentry 2\n");
  EXPECT_EQ(ReadThrough(env, old), "old mail\n");
  EXPECT_EQ(ReadThrough(env, eml), "new mail\n");
  std::unique_ptr<platform::ReadableFile> reader;
  ASSERT_EQ(env.OpenForRead(CString(root + "/spekolar.log"), &reader), platform::Status::kOk);
  char buf[64];
  EXPECT_EQ(reader->Read(buf, sizeof buf), 16);
  EXPECT_EQ(env.DeleteFile(old), platform::Status::kOk);
  EXPECT_TRUE(env.FindFiles(CString(root + "/SPEKOLAR_Old.*")).empty());
  EXPECT_EQ(env.FindFiles(CString(root + "/*.log")).size(), 1u);

  // The disk is as it was.
  EXPECT_EQ(ReadDisk(root + "/SPEKOLAR.log"), "entry 1\n");
  EXPECT_EQ(ReadDisk(root + "/SPEKOLAR.EML"), "old mail\n");
  EXPECT_FALSE(std::filesystem::exists(root + "/SPEKOLAR_Old.EML"));
  EXPECT_FALSE(std::filesystem::exists(root + "/SPEKOLAR.LCK"));

  EXPECT_EQ(actions, (std::vector<std::string>{"lock SPEKOLAR.LCK", "append SPEKOLAR.log [entry 2\n]",
                                               "rename SPEKOLAR.EML -> SPEKOLAR_Old.EML",
                                               "append SPEKOLAR.EML [new mail\n]", "command php send.php",
                                               "delete SPEKOLAR_Old.EML"}));
}

}  // namespace

}  // namespace spekolar
