#include "platform/PosixEnv.h"

#include <gtest/gtest.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/TempDir.h"

namespace spekolar::platform {
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

  // Creates empty files (folders created) below the folder.
  void Touch(std::initializer_list<const char*> names) const {
    for (const char* name : names) dir_.Write(name, "");
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
  Touch({"b.log", "A.LOG", "c.Log", "a.log", "d.txt", "readme"});
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
  Touch({"Job.log", "job.LOG"});
  std::filesystem::create_directory(dir_ / "folder");

  EXPECT_EQ(Names(env_.FindFiles(Backslashed("job.LOG"))), (std::vector<std::string>{"job.LOG"}));
  EXPECT_EQ(Names(env_.FindFiles(Backslashed("JOB.log"))), (std::vector<std::string>{"Job.log"}));
  EXPECT_EQ(Names(env_.FindFiles(Backslashed("folder"))), (std::vector<std::string>{"folder"}));
  EXPECT_TRUE(env_.FindFiles(Backslashed("missing.log")).empty());
}

// Trailing blanks and dots of the last component go, as on Windows, where
// the path meets the file system; a leading blank, an inner component,
// "." and ".." stay, and a pattern keeps its trailing dot.
TEST_F(PosixEnvTest, TrailingBlanksAndDotsOfTheLastComponentAreDropped) {
  Touch({"a.log", " b.log", "noext", "n.txt", "sub./c.log"});
  struct Case {
    const char* path;
    const char* fsPath;
    std::vector<std::string> found;
  };
  const Case cases[] = {
      {"a.log ", "a.log", {"a.log"}},
      {"a.log.", "a.log", {"a.log"}},
      {"a.log. . ", "a.log", {"a.log"}},
      {" b.log.", " b.log", {" b.log"}},
      {"b.log", "b.log", {}},                       // the leading blank is part of the name
      {"sub.\\c.log ", "sub./c.log", {"c.log"}},  // only the last component changes
      {"sub \\c.log", "sub /c.log", {}},
      {"n*. ", "n*.", {"noext"}},                   // "*." matches names without a dot
      {"a.* ", "a.*", {"a.log"}},
      {"sub.\\..", "sub./..", {}},
      {"sub.\\.", "sub./.", {}},
      {"...", "...", {}},
      {"sub.\\", "sub./", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("'") + c.path + "'");
    EXPECT_EQ(ToFileSystemPath(c.path), c.fsPath);
    EXPECT_EQ(Names(env_.FindFiles(Backslashed() + "\\" + c.path)), c.found);
  }
  std::unique_ptr<ReadableFile> file;
  EXPECT_EQ(env_.OpenForRead(Backslashed() + "\\a.log .", &file), Status::kOk);
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

// FIFOs block an open until a writer comes; /dev/zero never ends; a link
// may point at either or at nothing. Every way in refuses them at once. The
// program's own files (appended to, locked) are never reached through a
// link, not even a dangling one, which would create its target.
TEST_F(PosixEnvTest, OnlyRegularFilesAreOpenedAndNothingWaits) {
  ASSERT_EQ(mkfifo((dir_ / "fifo").c_str(), 0644), 0);
  dir_.Write("plain", "text");
  std::filesystem::create_symlink(dir_ / "fifo", dir_ / "to-fifo");
  std::filesystem::create_symlink("/dev/zero", dir_ / "to-zero");
  std::filesystem::create_symlink(dir_ / "nowhere", dir_ / "dangling");
  std::filesystem::create_symlink(dir_ / "plain", dir_ / "to-plain");
  struct Case {
    std::string path;
    Status read;     // OpenForRead, ReadWholeFile
    Status ownFile;  // OpenForAppend, LockFile
  };
  const Case cases[] = {
      {Backslashed("fifo"), Status::kNotAFile, Status::kNotAFile},
      {Backslashed("to-fifo"), Status::kNotAFile, Status::kIsLink},
      {Backslashed("to-zero"), Status::kNotAFile, Status::kIsLink},
      {"\\dev\\full", Status::kNotAFile, Status::kNotAFile},
      {Backslashed("dangling"), Status::kNotFound, Status::kIsLink},
      {Backslashed("to-plain"), Status::kOk, Status::kIsLink},
      {Backslashed(), Status::kIsDirectory, Status::kIsDirectory},
  };
  for (const Case& c : cases) {
    std::unique_ptr<ReadableFile> reader;
    std::unique_ptr<AppendableFile> appender;
    std::unique_ptr<FileLock> lock;
    std::string bytes;
    CString reason;
    EXPECT_EQ(env_.OpenForRead(c.path, &reader), c.read) << c.path;
    EXPECT_EQ(env_.ReadWholeFile(c.path, &bytes), c.read) << c.path;
    EXPECT_EQ(env_.OpenForAppend(c.path, &appender), c.ownFile) << c.path;
    EXPECT_EQ(env_.LockFile(c.path, 0, &lock, &reason), c.ownFile) << c.path;
    EXPECT_FALSE(reason.IsEmpty()) << c.path;
    EXPECT_EQ(env_.IsSymbolicLink(c.path), c.ownFile == Status::kIsLink) << c.path;
  }
  EXPECT_FALSE(std::filesystem::exists(dir_ / "nowhere"));
  EXPECT_EQ(dir_.Read("plain"), "text");
}

TEST_F(PosixEnvTest, WholeFileReadsStopAtTheCap) {
  // A sparse file: the size is there without the bytes.
  dir_.Write("big", "");
  ASSERT_EQ(truncate((dir_ / "big").c_str(), kMaxWholeFileBytes + 1), 0);
  std::string out = "kept";
  EXPECT_EQ(env_.ReadWholeFile(Backslashed("big"), &out), Status::kTooLarge);
  EXPECT_EQ(out, "kept");
  ASSERT_EQ(truncate((dir_ / "big").c_str(), kMaxWholeFileBytes), 0);
  EXPECT_EQ(env_.ReadWholeFile(Backslashed("big"), &out), Status::kOk);
  EXPECT_EQ(out.size(), static_cast<size_t>(kMaxWholeFileBytes));
}

TEST_F(PosixEnvTest, TruncateTakesBackAnAppend) {
  std::unique_ptr<AppendableFile> file;
  ASSERT_EQ(env_.OpenForAppend(Backslashed("f.log"), &file), Status::kOk);
  ASSERT_TRUE(file->Append("whole\n", 6));
  ASSERT_TRUE(file->Append("half", 4));
  EXPECT_TRUE(file->Truncate(6));
  EXPECT_EQ(file->Size(), 6);
  EXPECT_TRUE(file->Append("next\n", 5));  // appends go to the new end
  EXPECT_TRUE(file->Close());
  EXPECT_EQ(dir_.Read("f.log"), "whole\nnext\n");
}

TEST_F(PosixEnvTest, LockFileIsExclusiveAndWaitsUpToItsLimit) {
  std::unique_ptr<FileLock> first;
  ASSERT_EQ(env_.LockFile(Backslashed("SPEKOLAR.LCK"), 0, &first, nullptr), Status::kOk);
  ASSERT_TRUE(dir_.Exists("SPEKOLAR.LCK"));
  std::unique_ptr<FileLock> second;
  EXPECT_EQ(env_.LockFile(Backslashed("SPEKOLAR.LCK"), 0, &second, nullptr), Status::kBusy);
  EXPECT_EQ(env_.LockFile(Backslashed("SPEKOLAR.LCK"), 120, &second, nullptr), Status::kBusy);
  EXPECT_EQ(second, nullptr);
  EXPECT_EQ(env_.LockFile(Backslashed("missing\\SPEKOLAR.LCK"), 0, &second, nullptr), Status::kNotFound);

  // Released by the holder while the other one waits: the waiter gets it.
  std::thread release([&first] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    first.reset();
  });
  EXPECT_EQ(env_.LockFile(Backslashed("SPEKOLAR.LCK"), 60000, &second, nullptr), Status::kOk);
  release.join();
  EXPECT_NE(second, nullptr);
  EXPECT_TRUE(dir_.Exists("SPEKOLAR.LCK"));  // never deleted

  // Deleted (or replaced) while held, as by a clean-up job: the holder
  // still holds it, a new file at the path notwithstanding; once released,
  // the next caller locks the file that is there now.
  std::filesystem::remove(dir_ / "SPEKOLAR.LCK");
  EXPECT_EQ(env_.LockFile(Backslashed("SPEKOLAR.LCK"), 120, &first, nullptr), Status::kBusy);
  dir_.Write("SPEKOLAR.LCK", "");
  EXPECT_EQ(env_.LockFile(Backslashed("SPEKOLAR.LCK"), 0, &first, nullptr), Status::kBusy);
  second.reset();
  EXPECT_EQ(env_.LockFile(Backslashed("SPEKOLAR.LCK"), 0, &first, nullptr), Status::kOk);
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

  // A link (here a chain of two) stays a link; the file it points to is
  // replaced, in its own folder.
  dir_.Write("real/store.reg", "old");
  std::filesystem::create_symlink("real/store.reg", dir_ / "inner");
  std::filesystem::create_symlink(dir_ / "inner", dir_ / "outer");
  ASSERT_EQ(env_.WriteFileAtomically(Backslashed("outer"), "new"), Status::kOk);
  EXPECT_TRUE(std::filesystem::is_symlink(dir_ / "outer"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir_ / "inner"));
  EXPECT_EQ(dir_.Read("real/store.reg"), "new");
  // A dangling link gets its target created.
  std::filesystem::create_symlink("real/fresh.reg", dir_ / "dangling");
  ASSERT_EQ(env_.WriteFileAtomically(Backslashed("dangling"), "fresh"), Status::kOk);
  EXPECT_TRUE(std::filesystem::is_symlink(dir_ / "dangling"));
  EXPECT_EQ(dir_.Read("real/fresh.reg"), "fresh");
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

// A query that never answers, as statvfs on a share whose server is gone.
int NeverAnswers(const char*, uint64_t*) {
  for (;;) ::pause();
}

// How many descriptors the query child has open, sent back as its "free
// bytes". fcntl is async-signal-safe.
int CountsOpenDescriptors(const char*, uint64_t* freeBytes) {
  *freeBytes = 0;
  for (int fd = 0; fd < 1024; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1) ++*freeBytes;
  }
  return 0;
}

// The query runs in a child that keeps no descriptor of ours (only its
// answer pipe), so a query stuck in the kernel holds neither the pass lock
// nor anything else; one that does not answer is given up at the limit,
// killed and reaped.
TEST_F(PosixEnvTest, DiskQueryHoldsNothingAndWaitsOnlyUpToItsLimit) {
  const CString lockPath(Backslashed("SPEKOLAR.LCK"));
  // The lowest free descriptor is taken first, so the lock's is not the
  // one the child keeps its answer pipe at (3).
  const int filler = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  std::unique_ptr<FileLock> lock;
  ASSERT_EQ(env_.LockFile(lockPath, 0, &lock, nullptr), Status::kOk);
  const int inherited = ::dup2(STDOUT_FILENO, 700);  // no close-on-exec
  ASSERT_EQ(inherited, 700);
  PosixEnv counting(kDiskQueryLimitMillis, CountsOpenDescriptors);
  uint64_t free = 0;
  ASSERT_EQ(counting.DiskFreeBytes(Backslashed(), &free, nullptr), Status::kOk);
  EXPECT_EQ(free, 1u);
  ::close(inherited);

  // While a query hangs, another holder takes the lock the moment this one
  // lets it go: the child has no copy of it.
  PosixEnv stuck(300, NeverAnswers);
  Status retaken = Status::kIoError;
  std::thread other([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    lock.reset();
    std::unique_ptr<FileLock> again;
    retaken = env_.LockFile(lockPath, 0, &again, nullptr);
  });
  CString error = "untouched";
  const auto start = std::chrono::steady_clock::now();
  const Status status = stuck.DiskFreeBytes(Backslashed(), &free, &error);
  const auto waited = std::chrono::steady_clock::now() - start;
  other.join();
  EXPECT_EQ(status, Status::kTimedOut);
  EXPECT_EQ(error, "untouched");
  EXPECT_EQ(retaken, Status::kOk);
  EXPECT_GE(waited, std::chrono::milliseconds(300));
  EXPECT_LT(waited, std::chrono::seconds(3));
  // The killed child was reaped: no zombie is left.
  errno = 0;
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
  ::close(filler);
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

TEST(SplitCommandLineTest, FollowsTheWindowsRules) {
  struct Case {
    const char* line;
    std::vector<std::string> words;
  };
  const Case cases[] = {
      {"", {}},
      {" \t ", {}},
      {"php a.php", {"php", "a.php"}},
      {"  php   a  b ", {"php", "a", "b"}},
      {"\"C:\\Program Files\\php.exe\" \"C:\\x (x86)\\s.php\"",
       {"C:\\Program Files\\php.exe", "C:\\x (x86)\\s.php"}},
      {"p a\"b c\"d", {"p", "ab cd"}},
      {"p a\\\\\"b c\"", {"p", "a\\b c"}},    // 2n backslashes: n, and the quote groups
      {"p a\\\"b", {"p", "a\"b"}},               // 2n+1: n and a literal quote
      {"p a\\b\\", {"p", "a\\b\\"}},           // backslashes before others stay
      {"p \"a\"\"b\"", {"p", "a\"b"}},            // "" inside quotes is one quote
      {"p \"\"", {"p", ""}},
      {"\"my prog\"x y", {"my progx", "y"}},
      {"c:\\dir\\\"x", {"c:\\dir\\x"}},          // the program name keeps its backslashes
  };
  for (const Case& c : cases) EXPECT_EQ(SplitCommandLine(c.line), c.words) << c.line;
}

// The mail script's command line: a program and its arguments, started
// without a shell, from folders whose names a shell or the Windows command
// processor would take apart.
TEST_F(PosixEnvTest, RunCommandStartsTheProgramWithoutAShell) {
  const std::string folder = "my inst (x86) $(touch pwned)";
  dir_.Write(folder + "/rec.sh",
             "#!/bin/sh\nprintf '%s|' \"$@\" > \"$(dirname \"$0\")/args\"\nexit \"${SPK_EXIT:-0}\"\n");
  std::filesystem::permissions(dir_ / (folder + "/rec.sh"), std::filesystem::perms::owner_all);
  dir_.Write("plain.txt", "not a program");
  ASSERT_EQ(setenv("SPK_TEST_DIR", Backslashed(folder).c_str(), 1), 0);

  // Quoted words keep their blanks; %NAME% is expanded and backslashes
  // become slashes, in the program and in every argument.
  EXPECT_EQ(env_.RunCommand("\"%SPK_TEST_DIR%\\rec.sh\" \"a b\" c\\d $(x)"), 0);
  EXPECT_EQ(dir_.Read(folder + "/args"), "a b|c/d|$(x)|");
  EXPECT_FALSE(dir_.Exists("pwned"));
  EXPECT_FALSE(dir_.Exists(folder + "/pwned"));

  // A variable may hold a program and its options: it is split after it
  // is expanded.
  dir_.Write("plain/rec.sh", "#!/bin/sh\nprintf '%s|' \"$@\" > \"$(dirname \"$0\")/args\"\n");
  std::filesystem::permissions(dir_ / "plain/rec.sh", std::filesystem::perms::owner_all);
  ASSERT_EQ(setenv("SPK_PROGRAM", (dir_ / "plain/rec.sh -q").c_str(), 1), 0);
  EXPECT_EQ(env_.RunCommand("%SPK_PROGRAM% x"), 0);
  EXPECT_EQ(dir_.Read("plain/args"), "-q|x|");
  unsetenv("SPK_PROGRAM");

  ASSERT_EQ(setenv("SPK_EXIT", "3", 1), 0);
  EXPECT_EQ(env_.RunCommand("\"%SPK_TEST_DIR%\\rec.sh\""), 3);
  unsetenv("SPK_EXIT");
  dir_.Write("killed.sh", "#!/bin/sh\nkill -TERM $$\n");
  std::filesystem::permissions(dir_ / "killed.sh", std::filesystem::perms::owner_all);
  EXPECT_EQ(env_.RunCommand(CString(dir_ / "killed.sh")), 128 + 15);

  // Nothing to run gives 0; a program that cannot be started, -1.
  EXPECT_EQ(env_.RunCommand(""), 0);
  EXPECT_EQ(env_.RunCommand("   "), 0);
  EXPECT_EQ(env_.RunCommand("%SPK_NO_SUCH_VARIABLE% x"), -1);
  EXPECT_EQ(env_.RunCommand(CString(dir_ / "no-such-program")), -1);
  EXPECT_EQ(env_.RunCommand(CString(dir_ / "plain.txt")), -1);
  EXPECT_EQ(env_.RunCommand(CString(dir_.path())), -1);
  // The unquoted path splits at its blank, as it would on Windows.
  EXPECT_EQ(env_.RunCommand("%SPK_TEST_DIR%\\rec.sh"), -1);
  unsetenv("SPK_TEST_DIR");
}

TEST_F(PosixEnvTest, ResolveCommandNamesWhatRunCommandWouldStart) {
  dir_.Write("my dir/tool", "#!/bin/sh\n");
  std::filesystem::permissions(dir_ / "my dir/tool", std::filesystem::perms::owner_all);
  dir_.Write("plain.txt", "not a program");
  ASSERT_EQ(setenv("SPK_TOOL", (dir_ / "my dir/tool").c_str(), 1), 0);
  const char* oldPath = getenv("PATH");
  const std::string savedPath = oldPath != nullptr ? oldPath : "";
  ASSERT_EQ(setenv("PATH", (dir_.path() + ":" + dir_ / "my dir").c_str(), 1), 0);
  struct Case {
    std::string line;
    Status status;
    std::string program;
  };
  std::string quoted = "\"";
  quoted += Backslashed("my dir");
  quoted += "\\tool\" -q x";
  const std::vector<Case> cases = {
      {quoted, Status::kOk, dir_ / "my dir/tool"},
      {"\"%SPK_TOOL%\" script.php", Status::kOk, dir_ / "my dir/tool"},
      {"tool x", Status::kOk, dir_ / "my dir/tool"},  // found on PATH
      {"plain.txt", Status::kAccessDenied, ""},        // on PATH, not executable
      {dir_ / "plain.txt", Status::kAccessDenied, ""},
      {dir_.path(), Status::kIsDirectory, ""},
      {"%SPK_NO_SUCH_VARIABLE% x", Status::kNotFound, ""},
      {"   ", Status::kNotFound, ""},
  };
  for (const Case& c : cases) {
    CString program;
    EXPECT_EQ(env_.ResolveCommand(CString(c.line), &program), c.status) << c.line;
    if (c.status == Status::kOk) {
      EXPECT_EQ(program.str(), c.program) << c.line;
    }
  }
  unsetenv("SPK_TOOL");
  setenv("PATH", savedPath.c_str(), 1);

  FileFacts facts;
  ASSERT_EQ(env_.GetFileFacts(CString(Backslashed("plain.txt")), &facts), Status::kOk);
  EXPECT_EQ(facts.kind, FileFacts::Kind::kRegular);
  EXPECT_EQ(facts.size, 13);
  EXPECT_GE(facts.lastChange.year, 2020);
  ASSERT_EQ(env_.GetFileFacts(CString(dir_.path()), &facts), Status::kOk);
  EXPECT_EQ(facts.kind, FileFacts::Kind::kDirectory);
  EXPECT_EQ(env_.GetFileFacts(CString(dir_ / "missing"), &facts), Status::kNotFound);
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
}  // namespace spekolar::platform
