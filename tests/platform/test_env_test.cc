// The shared test decorators must fail exactly where asked, or the tests
// that rely on them prove nothing.
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "support/TempDir.h"

namespace spekolar::spktest {
namespace {

TEST(FaultInjectionEnvTest, FailsTheNthAppendAndOpensOnDemand) {
  TempDir dir;
  FaultInjectionEnv env;
  const CString path((dir / "f.log").c_str());
  env.FailNthAppend(2);
  std::unique_ptr<platform::AppendableFile> file;
  ASSERT_EQ(env.OpenForAppend(path, &file), platform::Status::kOk);
  EXPECT_TRUE(file->Append("a", 1));
  EXPECT_FALSE(file->Append("b", 1));
  EXPECT_TRUE(file->Append("c", 1));
  EXPECT_TRUE(file->Close());
  EXPECT_EQ(env.appendCount(), 3);
  EXPECT_EQ(dir.Read("f.log"), "ac");

  env.FailNthAppend(1, /*everyAfter=*/true);
  env.FailClose();
  ASSERT_EQ(env.OpenForAppend(path, &file), platform::Status::kOk);
  EXPECT_FALSE(file->Append("d", 1));
  EXPECT_FALSE(file->Append("e", 1));
  EXPECT_FALSE(file->Close());
  EXPECT_EQ(dir.Read("f.log"), "ac");

  env.FailOpenForAppend(platform::Status::kNoSpace);
  EXPECT_EQ(env.OpenForAppend(path, &file), platform::Status::kNoSpace);
  EXPECT_TRUE(env.IsWritable(path));
  env.SetNotWritable();
  EXPECT_FALSE(env.IsWritable(path));
  env.FailRename();
  EXPECT_EQ(env.RenameFile(path, CString((dir / "g.log").c_str())),
            platform::Status::kAccessDenied);
  EXPECT_TRUE(dir.Exists("f.log"));
}

TEST(FixedClockEnvTest, NowIsTheSetTime) {
  FixedClockEnv env(2024, 2, 29, 23, 59, 58);
  platform::ScopedEnv scoped(&env);
  platform::LocalTime t = platform::GetEnv()->Now();
  EXPECT_EQ(t.year * 10000 + t.month * 100 + t.day, 20240229);
  EXPECT_EQ(t.hour * 10000 + t.minute * 100 + t.second, 235958);
  env.SetNow(platform::LocalTime{2025, 1, 1, 0, 0, 0});
  EXPECT_EQ(platform::GetEnv()->Now().year, 2025);
}

}  // namespace
}  // namespace spekolar::spktest
