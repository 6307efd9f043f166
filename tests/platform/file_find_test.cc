#include "platform/FileFind.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/TestEnv.h"

namespace spekolar::platform {
namespace {

// Answers every search with a fixed list and records the pattern.
class FixedSearchEnv : public spktest::EnvWrapper {
 public:
  explicit FixedSearchEnv(std::vector<FoundFile> found)
      : EnvWrapper(DefaultEnv()), found_(std::move(found)) {}
  std::vector<FoundFile> FindFiles(const CString& pattern) override {
    lastPattern = pattern;
    return found_;
  }
  CString lastPattern;

 private:
  std::vector<FoundFile> found_;
};

std::vector<FoundFile> Matches(int count) {
  std::vector<FoundFile> found;
  for (int i = 0; i < count; ++i) {
    CString name = CString::Formatted("f%d", i);
    found.push_back(FoundFile{CString("/d/") + name, name});
  }
  return found;
}

// Both walking styles visit every match once, in order, for 0, 1 and 3
// matches.
TEST(FileFindTest, BothWalksVisitEveryMatchOnce) {
  for (int count : {0, 1, 3}) {
    FixedSearchEnv env(Matches(count));
    ScopedEnv scoped(&env);

    FileFind ff;
    std::vector<std::string> viaNext;
    EXPECT_EQ(ff.FindFile("C:\\d\\*.log"), count > 0);
    EXPECT_EQ(env.lastPattern, "C:\\d\\*.log");
    EXPECT_EQ(ff.GetFilePath(), "");  // nothing current before the first step
    while (ff.Next()) viaNext.push_back(ff.GetFileName().str() + "@" + ff.GetFilePath().str());
    EXPECT_EQ(ff.GetFileName(), "");
    EXPECT_FALSE(ff.Next());

    std::vector<std::string> viaWindows;
    bool more = ff.FindFile("x");
    while (more) {
      more = ff.FindNextFile();
      viaWindows.push_back(ff.GetFileName().str() + "@" + ff.GetFilePath().str());
    }

    std::vector<std::string> expected;
    for (const FoundFile& f : Matches(count)) expected.push_back(f.name.str() + "@" + f.path.str());
    EXPECT_EQ(viaNext, expected) << count;
    EXPECT_EQ(viaWindows, expected) << count;
  }
}

TEST(FileFindTest, FindNextFileIsFalseForTheLastMatchWhichStaysValid) {
  FixedSearchEnv env(Matches(2));
  ScopedEnv scoped(&env);
  FileFind ff;
  ASSERT_TRUE(ff.FindFile("p"));
  EXPECT_TRUE(ff.FindNextFile());
  EXPECT_EQ(ff.GetFileName(), "f0");
  EXPECT_FALSE(ff.FindNextFile());
  EXPECT_EQ(ff.GetFileName(), "f1");
  ff.Close();
  EXPECT_EQ(ff.GetFileName(), "");
  EXPECT_FALSE(ff.Next());
}

}  // namespace
}  // namespace spekolar::platform
