// WindowsEnv against the real system (run under Wine in CI). Where Wine is
// known to answer otherwise than Windows, the case says what Windows does
// and checks Wine's answer as such.
#include "platform/WindowsEnv.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/Profile.h"
#include "platform/WindowsHeaders.h"
#include "support/TempDir.h"

namespace spekolar::platform {
namespace {

bool UnderWine() {
  HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::vector<std::string> Names(const std::vector<FoundFile>& found) {
  std::vector<std::string> names;
  for (const FoundFile& f : found) names.push_back(f.name.str());
  return names;
}

TEST(WindowsEnvTest, FindFilesSearchesLikeCFileFind) {
  spktest::TempDir dir;
  for (const char* name : {"b.log", "_a.log", "Za.log", "c.txt", "sub.log/x", "a.logx"}) {
    dir.Write(std::string("w/") + name, "");
  }
  WindowsEnv env;
  const std::string folder = dir / "w";
  std::vector<FoundFile> all = env.FindFiles(CString(folder + "\\*"));
  // No "." and "..", directories included, NTFS order (upper case).
  EXPECT_EQ(Names(all), (std::vector<std::string>{"a.logx", "b.log", "c.txt", "sub.log", "Za.log",
                                                  "_a.log"}));
  ASSERT_FALSE(all.empty());
  EXPECT_EQ(all[0].path.str(), folder + "\\a.logx");

  // Case does not matter, the name comes back as the folder spells it; a
  // '/' in the pattern and a relative folder give the absolute Windows path.
  std::vector<FoundFile> one = env.FindFiles(CString(dir.path() + "/w/ZA.LOG"));
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0].path.str(), folder + "\\Za.log");
  ASSERT_TRUE(::SetCurrentDirectoryA(dir.path().c_str()));
  std::vector<FoundFile> relative = env.FindFiles(CString("w\\b.*"));
  ASSERT_EQ(relative.size(), 1u);
  EXPECT_EQ(relative[0].path.str(), folder + "\\b.log");
  EXPECT_TRUE(env.FindFiles(CString(folder + "\\none*.log")).empty());
  EXPECT_TRUE(env.FindFiles(CString(folder + "\\")).empty());

  std::vector<std::string> logs = Names(env.FindFiles(CString(folder + "\\*.log")));
  if (UnderWine()) {
    // Wine also matches the generated 8.3 name A~1.LOG of "a.logx".
    EXPECT_EQ(logs, (std::vector<std::string>{"a.logx", "b.log", "sub.log", "Za.log", "_a.log"}));
  } else {
    // Windows without 8.3 names on the volume.
    EXPECT_EQ(logs, (std::vector<std::string>{"b.log", "sub.log", "Za.log", "_a.log"}));
  }
}

TEST(WindowsEnvTest, FilesOpenAppendRenameAndDelete) {
  spktest::TempDir dir;
  dir.Write("sub/x", "");
  WindowsEnv env;
  const CString file(dir / "a.log");
  std::unique_ptr<ReadableFile> reader;
  EXPECT_EQ(env.OpenForRead(CString(dir / "sub"), &reader), Status::kIsDirectory);
  EXPECT_EQ(env.OpenForRead(CString(dir / "missing.log"), &reader), Status::kNotFound);

  // Appends go to disk in text form; the size is the bytes on disk.
  for (const char* entry : {"one\n", "two\r\nthree\n"}) {
    std::unique_ptr<AppendableFile> out;
    ASSERT_EQ(env.OpenForAppend(file, &out), Status::kOk);
    EXPECT_TRUE(out->Append(entry, std::strlen(entry)));
    EXPECT_TRUE(out->Close());
  }
  EXPECT_EQ(dir.Read("a.log"), "one\r\ntwo\r\r\nthree\r\n");
  std::unique_ptr<AppendableFile> out;
  ASSERT_EQ(env.OpenForAppend(file, &out), Status::kOk);
  EXPECT_EQ(out->Size(), 18);
  out->Close();
  // Read back as the bytes on disk, a Ctrl-Z byte no end.
  dir.Write("z.log", "a\x1A" "b\r\n");
  std::string whole;
  ASSERT_EQ(env.ReadWholeFile(CString(dir / "z.log"), &whole), Status::kOk);
  EXPECT_EQ(whole, "a\x1A" "b\r\n");

  // A rename onto an existing file fails and leaves both.
  EXPECT_EQ(env.RenameFile(CString(dir / "z.log"), file), Status::kAccessDenied);
  EXPECT_EQ(dir.Read("z.log"), "a\x1A" "b\r\n");
  EXPECT_EQ(env.RenameFile(CString(dir / "z.log"), CString(dir / "y.log")), Status::kOk);
  EXPECT_EQ(env.DeleteFile(CString(dir / "y.log")), Status::kOk);
  EXPECT_EQ(env.DeleteFile(CString(dir / "y.log")), Status::kNotFound);

  EXPECT_EQ(env.WriteFileAtomically(file, "new\n"), Status::kOk);
  EXPECT_EQ(dir.Read("a.log"), "new\n");  // whole-file writes stay as given
  EXPECT_TRUE(env.IsWritable(file));
  EXPECT_TRUE(env.IsWritable(CString(dir / "not-yet.log")));
  EXPECT_FALSE(dir.Exists("not-yet.log"));
  EXPECT_FALSE(env.IsWritable(CString(dir / "sub")));
}

// A query that answers only after the caller has given up, as
// GetDiskFreeSpaceExA on a share whose server is gone.
unsigned long AnswersLate(const char*, uint64_t* freeBytes) {
  ::Sleep(1000);
  *freeBytes = 1;
  return ERROR_SUCCESS;
}

TEST(WindowsEnvTest, DiskQueryWaitsOnlyUpToItsLimit) {
  WindowsEnv env(200, AnswersLate);
  uint64_t free = 7;
  CString error = "untouched";
  const ULONGLONG start = ::GetTickCount64();
  EXPECT_EQ(env.DiskFreeBytes("\\\\gone\\share", &free, &error), Status::kTimedOut);
  const ULONGLONG took = ::GetTickCount64() - start;
  EXPECT_GE(took, 150u);
  EXPECT_LT(took, 900u);
  EXPECT_EQ(free, 7u);
  EXPECT_EQ(error, "untouched");
  // The thread ends later on its own and frees what it shared.
  ::Sleep(1200);
}

TEST(WindowsEnvTest, DiskVariablesAndCommandProcessor) {
  spktest::TempDir dir;
  WindowsEnv env;
  uint64_t free = 0;
  ASSERT_EQ(env.DiskFreeBytes(CString(dir.path()), &free, nullptr), Status::kOk);
  EXPECT_GT(free, 0u);
  EXPECT_EQ(env.DiskFreeBytes(CString(dir / "missing\\folder"), &free, nullptr), Status::kNotFound);

  ASSERT_TRUE(::SetEnvironmentVariableA("Spk_Test_Var", "x y"));
  std::string value;
  EXPECT_TRUE(env.GetVariable("SPK_TEST_VAR", &value));
  EXPECT_EQ(value, "x y");
  EXPECT_FALSE(env.GetVariable("SPK_UNDEFINED_VAR", &value));
  // The account the process runs as, the one the system names in USERNAME.
  ASSERT_TRUE(env.GetVariable("USERNAME", &value));
  EXPECT_EQ(env.UserName(), value);

  // On its command line cmd expands what is defined and keeps an undefined
  // %NAME% as written; a batch file's exit code comes back whole.
  EXPECT_EQ(env.RunCommand(CString("echo %SPK_TEST_VAR% %SPK_UNDEFINED_VAR%> \"") +
                           (dir / "out.txt") + "\""),
            0);
  EXPECT_EQ(dir.ReadText("out.txt"), "x y %SPK_UNDEFINED_VAR%\n");
  dir.Write("t.bat", "@exit /b 1045\r\n");
  EXPECT_EQ(env.RunCommand(CString(dir / "t.bat")), 1045);
  EXPECT_EQ(env.RunCommand(CString("exit 3")), 3);
  EXPECT_TRUE(env.FrameworkInit());
}

// The command gets the standard handles of the pass and no other, even one
// the pass holds inheritable (as the C runtime's files and Winsock's sockets
// are). While the command runs (ping waits about two seconds), the test
// closes its write end of a probe pipe: the probe is broken only if the
// command's cmd holds no copy of it.
TEST(WindowsEnvTest, CommandInheritsOnlyTheStandardHandles) {
  spktest::TempDir dir;
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE probeRead, probeWrite;
  ASSERT_TRUE(::CreatePipe(&probeRead, &probeWrite, &inheritable, 0));

  WindowsEnv env;
  std::atomic<int> result{-2};
  std::thread command([&] {
    result = env.RunCommand(CString("echo x> \"") + (dir / "started") +
                            "\" & ping -n 3 127.0.0.1 > nul");
  });
  for (int i = 0; i < 200 && !dir.Exists("started"); ++i) ::Sleep(50);
  ::CloseHandle(probeWrite);
  DWORD available = 0;
  const BOOL peeked = ::PeekNamedPipe(probeRead, nullptr, 0, nullptr, &available, nullptr);
  const DWORD error = ::GetLastError();
  ASSERT_EQ(result, -2) << "the command ended before the probe";
  EXPECT_FALSE(peeked);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_BROKEN_PIPE));
  command.join();
  EXPECT_EQ(result, 0);
  ::CloseHandle(probeRead);
}

TEST(WindowsEnvTest, TextFormOfAppends) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""}, {"a", "a"}, {"\n", "\r\n"}, {"a\nb\n", "a\r\nb\r\n"}, {"\r\n", "\r\r\n"},
      {"\n\n", "\r\n\r\n"}, {"\r", "\r"}};
  for (const auto& [in, out] : cases) EXPECT_EQ(ToTextForm(in), out) << in;
}

// A null path is an empty file, not the system's WIN.INI.
TEST(WindowsProfileTest, NullPathReadsAsAnEmptyFile) {
  char buf[8] = "xxxxxxx";
  EXPECT_EQ(GetPrivateProfileStringA("s", "k", "default  ", buf, sizeof buf, nullptr), 7u);
  EXPECT_EQ(std::string(buf), "default");
  EXPECT_EQ(GetPrivateProfileStringA("s", "k", "toolongvalue", buf, 4, nullptr), 3u);
  EXPECT_EQ(std::string(buf), "too");
  EXPECT_EQ(GetPrivateProfileSectionNamesA(buf, sizeof buf, nullptr), 0u);
  EXPECT_EQ(std::string(buf, 2), std::string(2, '\0'));
}

}  // namespace
}  // namespace spekolar::platform
