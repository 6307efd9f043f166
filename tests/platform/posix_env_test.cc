#include "platform/PosixEnv.h"

#include <gtest/gtest.h>
#include <errno.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/TempDir.h"

namespace platform {
namespace {

class PosixEnvTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(dir_.path().empty()); }

  // The folder in the program's form, with backslashes.
  std::string Backslashed(const std::string& name = "") const {
    std::string p = name.empty() ? dir_.path() : dir_ / name;
    for (char& c : p) {
      if (c == '/') c = '\\';
    }
    return p;
  }

  std::vector<std::string> Names(const std::vector<FoundFile>& found) {
    std::vector<std::string> names;
    for (const FoundFile& f : found) names.push_back(f.name.str());
    return names;
  }

  spktest::TempDir dir_;
  PosixEnv env_;
};

TEST(WildcardMatchTest, FollowsTheWindowsRules) {
  struct Case {
    const char* pattern;
    const char* name;
    bool match;
  };
  const Case cases[] = {
      {"*", "abc", true},          {"*", "a.b.c", true},
      {"*.*", "abc", true},        {"*.*", "a.b", true},
      {"*.*", ".profile", true},   {"*.", "abc", true},
      {"*.", "a.b", false},        {"a.*", "a", true},
      {"a.*", "a.txt", true},      {"a.*", "ab", false},
      {"*.log", "JOB.LOG", true},  {"*.log", "job.log.old", false},
      {"*.log", "a.b.log", true},  {"JOB*.TXT", "job_1.txt", true},
      {"a?c", "abc", true},        {"a?c", "ac", false},
      {"a?c", "a.c", false},       {"a?.txt", "a.txt", true},
      {"a??", "a", true},          {"a??", "abcd", false},
      {"abc", "ABC", true},        {"abc", "abd", false},
      {"*\xE4*", "x\xE4y", true},  {"*\xC4*", "x\xE4y", false},  // only ASCII folds
      {"*1*2*", "x1y2z", true},    {"*1*2*", "x2y1z", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WildcardMatch(c.pattern, c.name), c.match) << c.pattern << " vs " << c.name;
  }
}

TEST_F(PosixEnvTest, FindFilesMatchesWithoutCaseSortedWithDirectories) {
  dir_.Write("b.log", "");
  dir_.Write("A.LOG", "");
  dir_.Write("c.Log", "");
  dir_.Write("a.log", "");
  dir_.Write("d.txt", "");
  dir_.Write("readme", "");
  std::filesystem::create_directory(dir_ / "sub.log");

  EXPECT_EQ(Names(env_.FindFiles(Backslashed("*.log"))),
            (std::vector<std::string>{"A.LOG", "a.log", "b.log", "c.Log", "sub.log"}));
  EXPECT_EQ(Names(env_.FindFiles(Backslashed("*.*"))),
            (std::vector<std::string>{"A.LOG", "a.log", "b.log", "c.Log", "d.txt", "readme",
                                      "sub.log"}));
  EXPECT_EQ(Names(env_.FindFiles(Backslashed("*."))), (std::vector<std::string>{"readme"}));
  EXPECT_EQ(Names(env_.FindFiles(Backslashed("?.txt"))), (std::vector<std::string>{"d.txt"}));
  EXPECT_TRUE(env_.FindFiles(Backslashed("*.csv")).empty());
  EXPECT_TRUE(env_.FindFiles(Backslashed("nofolder\\*.log")).empty());
  EXPECT_TRUE(env_.FindFiles(Backslashed() + "\\").empty());  // no name part
  for (const char* dots : {".", ".."}) {
    EXPECT_TRUE(env_.FindFiles(Backslashed(dots)).empty()) << dots;
  }
}

TEST_F(PosixEnvTest, FindFilesGivesAbsolutePathsWithDotsResolved) {
  dir_.Write("sub/x.log", "");
  std::filesystem::create_directory(dir_ / "other");

  std::vector<FoundFile> found = env_.FindFiles(Backslashed("other\\..\\sub\\.\\*.log"));
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].path.str(), dir_ / "sub/x.log");
  EXPECT_EQ(found[0].name.str(), "x.log");

  // Relative to the current directory.
  char* old = getcwd(nullptr, 0);
  ASSERT_EQ(chdir((dir_ / "other").c_str()), 0);
  found = env_.FindFiles("..\\sub\\X.LOG");
  std::vector<FoundFile> wild = env_.FindFiles("../sub/*");
  ASSERT_EQ(chdir(old), 0);
  free(old);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].path.str(), dir_ / "sub/x.log");  // case fallback gives the real name
  EXPECT_EQ(found[0].name.str(), "x.log");
  ASSERT_EQ(wild.size(), 1u);
  EXPECT_EQ(wild[0].path.str(), dir_ / "sub/x.log");
}

TEST_F(PosixEnvTest, FindFilesWithoutWildcardsFindsTheOneEntry) {
  dir_.Write("Job.log", "");
  dir_.Write("job.LOG", "");
  std::filesystem::create_directory(dir_ / "folder");

  EXPECT_EQ(Names(env_.FindFiles(Backslashed("job.LOG"))), (std::vector<std::string>{"job.LOG"}));
  EXPECT_EQ(Names(env_.FindFiles(Backslashed("JOB.log"))), (std::vector<std::string>{"Job.log"}));
  EXPECT_EQ(Names(env_.FindFiles(Backslashed("folder"))), (std::vector<std::string>{"folder"}));
  EXPECT_TRUE(env_.FindFiles(Backslashed("missing.log")).empty());
}

TEST_F(PosixEnvTest, OpenForReadRefusesDirectoriesAndMissingFiles) {
  std::unique_ptr<ReadableFile> file;
  EXPECT_EQ(env_.OpenForRead(Backslashed(), &file), Status::kIsDirectory);
  EXPECT_EQ(env_.OpenForRead(Backslashed("missing"), &file), Status::kNotFound);
  EXPECT_EQ(env_.OpenForRead(Backslashed("missing\\x"), &file), Status::kNotFound);

  dir_.Write("data", std::string("a\r\nb\0c", 7));
  ASSERT_EQ(env_.OpenForRead(Backslashed("data"), &file), Status::kOk);
  char buf[16];
  EXPECT_EQ(file->Read(buf, sizeof buf), 7);
  EXPECT_EQ(std::string(buf, 7), std::string("a\r\nb\0c", 7));
  EXPECT_EQ(file->Read(buf, sizeof buf), 0);
}

TEST_F(PosixEnvTest, AppendCreatesAndReportsSizeOnDisk) {
  std::unique_ptr<AppendableFile> file;
  ASSERT_EQ(env_.OpenForAppend(Backslashed("new.log"), &file), Status::kOk);
  EXPECT_EQ(file->Size(), 0);
  EXPECT_TRUE(file->Append("one\r\n", 5));
  EXPECT_EQ(file->Size(), 5);
  EXPECT_TRUE(file->Close());

  ASSERT_EQ(env_.OpenForAppend(Backslashed("new.log"), &file), Status::kOk);
  EXPECT_EQ(file->Size(), 5);
  std::string big(100000, 'x');
  EXPECT_TRUE(file->Append(big.data(), big.size()));
  EXPECT_TRUE(file->Close());
  EXPECT_FALSE(file->Append("y", 1));  // closed
  EXPECT_EQ(dir_.Read("new.log"), "one\r\n" + big);

  struct stat st;
  ASSERT_EQ(stat((dir_ / "new.log").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0133, 0u);  // 0644 at most: no one executes, only the owner writes

  EXPECT_EQ(env_.OpenForAppend(Backslashed("missing\\x.log"), &file), Status::kNotFound);
  EXPECT_EQ(env_.OpenForAppend(Backslashed(), &file), Status::kIsDirectory);
}

TEST_F(PosixEnvTest, AppendToAFullDeviceFailsAndCloseSaysSo) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  std::unique_ptr<AppendableFile> file;
  ASSERT_EQ(env_.OpenForAppend("\\dev\\full", &file), Status::kOk);
  EXPECT_FALSE(file->Append("x", 1));
  EXPECT_FALSE(file->Close());
}

TEST_F(PosixEnvTest, RenameRefusesAnExistingTargetAndDeleteRemoves) {
  dir_.Write("a", "A");
  dir_.Write("b", "B");
  EXPECT_EQ(env_.RenameFile(Backslashed("a"), Backslashed("b")), Status::kAccessDenied);
  EXPECT_EQ(dir_.Read("a"), "A");
  EXPECT_EQ(dir_.Read("b"), "B");

  EXPECT_EQ(env_.DeleteFile(Backslashed("b")), Status::kOk);
  EXPECT_FALSE(dir_.Exists("b"));
  EXPECT_EQ(env_.DeleteFile(Backslashed("b")), Status::kNotFound);
  EXPECT_EQ(env_.RenameFile(Backslashed("a"), Backslashed("b")), Status::kOk);
  EXPECT_EQ(dir_.Read("b"), "A");
  EXPECT_FALSE(dir_.Exists("a"));
  EXPECT_EQ(env_.RenameFile(Backslashed("a"), Backslashed("c")), Status::kNotFound);
}

TEST_F(PosixEnvTest, WholeFilesAreReadAndReplacedAtomically) {
  std::string out = "stale";
  EXPECT_EQ(env_.ReadWholeFile(Backslashed("store"), &out), Status::kNotFound);
  EXPECT_EQ(env_.ReadWholeFile(Backslashed(), &out), Status::kIsDirectory);

  std::string data("first\0line\n", 11);
  ASSERT_EQ(env_.WriteFileAtomically(Backslashed("store"), data), Status::kOk);
  ASSERT_EQ(env_.ReadWholeFile(Backslashed("store"), &out), Status::kOk);
  EXPECT_EQ(out, data);
  ASSERT_EQ(chmod((dir_ / "store").c_str(), 0600), 0);
  ASSERT_EQ(env_.WriteFileAtomically(Backslashed("store"), "second"), Status::kOk);
  EXPECT_EQ(dir_.Read("store"), "second");

  struct stat st;
  ASSERT_EQ(stat((dir_ / "store").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);  // the file keeps its mode
  // No temporary file is left behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()),
                          std::filesystem::directory_iterator()),
            1);
  EXPECT_EQ(env_.WriteFileAtomically(Backslashed("missing\\store"), "x"), Status::kNotFound);
}

TEST_F(PosixEnvTest, IsWritableLooksAtTheFileOrItsFolder) {
  dir_.Write("file", "");
  EXPECT_TRUE(env_.IsWritable(Backslashed("file")));
  EXPECT_TRUE(env_.IsWritable(Backslashed("absent")));
  EXPECT_FALSE(env_.IsWritable(Backslashed("missing\\absent")));
  if (geteuid() == 0) GTEST_SKIP() << "root may write everything";
  ASSERT_EQ(chmod((dir_ / "file").c_str(), 0444), 0);
  EXPECT_FALSE(env_.IsWritable(Backslashed("file")));
  ASSERT_EQ(chmod(dir_.path().c_str(), 0555), 0);
  EXPECT_FALSE(env_.IsWritable(Backslashed("absent")));
  ASSERT_EQ(chmod(dir_.path().c_str(), 0755), 0);
}

TEST_F(PosixEnvTest, DiskFreeBytesOfAnExistingFolder) {
  uint64_t free = 0;
  CString error = "untouched";
  ASSERT_EQ(env_.DiskFreeBytes("\\", &free, &error), Status::kOk);
  EXPECT_GT(free, 0u);
  EXPECT_EQ(error, "untouched");
  EXPECT_EQ(env_.DiskFreeBytes(Backslashed("missing"), &free, &error), Status::kNotFound);
  EXPECT_EQ(error, std::strerror(ENOENT));
  EXPECT_EQ(env_.DiskFreeBytes(Backslashed("missing"), &free, nullptr), Status::kNotFound);
}

TEST(ExpandCommandVariablesTest, ExpandsDefinedNamesOnly) {
  std::map<std::string, std::string> vars = {{"BIN", "/usr/bin/php"}, {"X", "1"}};
  VariableLookup lookup = [&](const std::string& name, std::string* value) {
    auto it = vars.find(name);
    if (it == vars.end()) return false;
    *value = it->second;
    return true;
  };
  struct Case {
    const char* text;
    const char* expanded;
  };
  const Case cases[] = {
      {"%BIN% mail.php", "/usr/bin/php mail.php"},
      {"a%X%b%X%c", "a1b1c"},
      {"%NOPE% x", "%NOPE% x"},
      {"%NOPE%X%", "%NOPE1"},  // the closing '%' of an undefined name opens the next
      {"100% sure", "100% sure"},
      {"%BIN", "%BIN"},
      {"%%X%%", "%1%"},
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ExpandCommandVariables(c.text, lookup), c.expanded) << c.text;
  }
}

TEST_F(PosixEnvTest, RunCommandReportsTheExitStatus) {
  ASSERT_EQ(setenv("SPK_TEST_TARGET", dir_.path().c_str(), 1), 0);
  // %NAME% is expanded and backslashes become slashes before the shell runs.
  EXPECT_EQ(env_.RunCommand("echo hi > %SPK_TEST_TARGET%\\out.txt"), 0);
  EXPECT_EQ(dir_.Read("out.txt"), "hi\n");
  EXPECT_EQ(env_.RunCommand("exit 3"), 3);
  EXPECT_EQ(env_.RunCommand(""), 0);
  EXPECT_EQ(env_.RunCommand("kill -TERM $$"), 128 + 15);
  EXPECT_EQ(env_.RunCommand("no-such-command-spk 2>/dev/null"), 127);
  unsetenv("SPK_TEST_TARGET");

  PosixEnv noShell("/nonexistent/sh");
  EXPECT_EQ(noShell.RunCommand("exit 0"), -1);
}

TEST(PosixEnvVariableTest, GetVariableFallsBackToAnyCase) {
  PosixEnv env;
  ASSERT_EQ(setenv("Spk_Test_Var", "value", 1), 0);
  std::string value;
  EXPECT_TRUE(env.GetVariable("Spk_Test_Var", &value));
  EXPECT_EQ(value, "value");
  EXPECT_TRUE(env.GetVariable("SPK_TEST_VAR", &value));
  EXPECT_EQ(value, "value");
  unsetenv("Spk_Test_Var");
  EXPECT_FALSE(env.GetVariable("SPK_TEST_VAR", &value));
}

TEST(ScopedEnvTest, InstallsAndRestores) {
  PosixEnv a;
  PosixEnv b;
  Env* before = GetEnv();
  EXPECT_EQ(before, DefaultEnv());
  {
    ScopedEnv outer(&a);
    EXPECT_EQ(GetEnv(), &a);
    {
      ScopedEnv inner(&b);
      EXPECT_EQ(GetEnv(), &b);
    }
    EXPECT_EQ(GetEnv(), &a);
  }
  EXPECT_EQ(GetEnv(), before);
}

}  // namespace
}  // namespace platform
