// Env decorators for tests.
//
// EnvWrapper forwards every call to a target Env, so a test double
// overrides only what it changes. FixedClockEnv pins the clock;
// FaultInjectionEnv makes writes fail on demand; CountingEnv counts
// reads. Install one with platform::ScopedEnv for the duration
// of a test. (MemoryEnv.h holds the in-memory file tree, ChunkedFile.h a
// file in memory read in short reads.)
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Env.h"
#include "platform/EnvWrapper.h"

namespace spekolar::spktest {

using platform::EnvWrapper;

// The default (POSIX) Env with a clock that stands still at a settable
// time, so date-dependent code sees "today" as the test wants.
class FixedClockEnv : public EnvWrapper {
 public:
  explicit FixedClockEnv(const platform::LocalTime& now,
                         platform::Env* target = platform::DefaultEnv())
      : EnvWrapper(target), now_(now) {}
  FixedClockEnv(int year, int month, int day, int hour = 12, int minute = 0, int second = 0,
                platform::Env* target = platform::DefaultEnv());

  void SetNow(const platform::LocalTime& now) { now_ = now; }
  platform::LocalTime Now() override { return now_; }

 private:
  platform::LocalTime now_;
};

// Forwards to a target Env (the default one unless given) and counts the
// whole-file reads and the opens for reading: for tests that an input is
// read once per pass.
class CountingEnv : public EnvWrapper {
 public:
  explicit CountingEnv(platform::Env* target = platform::DefaultEnv()) : EnvWrapper(target) {}
  platform::Status ReadWholeFile(const CString& path, std::string* out) override {
    ++reads;
    return EnvWrapper::ReadWholeFile(path, out);
  }
  platform::Status OpenForRead(const CString& path, std::unique_ptr<platform::ReadableFile>* out) override {
    ++opens;
    return EnvWrapper::OpenForRead(path, out);
  }
  int reads = 0;
  int opens = 0;
};

// Forwards to a target Env (the default one unless given) but fails on
// demand. Counters are shared by all files opened through this Env.
class FaultInjectionEnv : public EnvWrapper {
 public:
  explicit FaultInjectionEnv(platform::Env* target = platform::DefaultEnv())
      : EnvWrapper(target) {}

  // Counts every operation that can fail from now on: opens, reads (each
  // Read of a file), appends, size queries, cut-backs and closes of
  // appended files, deletes, renames, whole-file reads and writes, file
  // searches, locks and the free-space query. The nth of them (1-based)
  // fails in the manner of `kind`: an operation with a Status returns it;
  // a search finds nothing; Read returns -1; Size returns -1; Append with
  // kNoSpace writes the first half of its bytes (a disk that fills up
  // mid-record), otherwise nothing, and returns false; Truncate and Close
  // return false. 0 disables.
  void FailNthOperation(int n, platform::Status kind) {
    failOperationAt_ = n;
    failKind_ = kind;
    operationCount_ = 0;
  }
  // Operations counted since the last FailNthOperation (or construction).
  int operationCount() const { return operationCount_; }
  // Counts one operation; true when it is the one to fail.
  bool NextOperationFails() { return ++operationCount_ == failOperationAt_; }
  platform::Status failKind() const { return failKind_; }

  // The nth Append (1-based, counted over all files opened for appending
  // through this Env from now on) fails and writes nothing; 0 disables.
  // With `everyAfter`, that one and every later Append fail.
  void FailNthAppend(int n, bool everyAfter = false) {
    failAppendAt_ = n;
    failAppendsAfter_ = everyAfter;
    appendCount_ = 0;
  }
  // Every OpenForAppend fails with `status` (kOk disables).
  void FailOpenForAppend(platform::Status status = platform::Status::kAccessDenied) {
    openForAppendStatus_ = status;
  }
  // Every OpenForRead fails with `status` (kOk disables).
  void FailOpenForRead(platform::Status status = platform::Status::kAccessDenied) {
    openForReadStatus_ = status;
  }
  // Every Close of an appendable file reports failure.
  void FailClose(bool fail = true) { failClose_ = fail; }
  // Every rename fails with `status` (kOk disables).
  void FailRename(platform::Status status = platform::Status::kAccessDenied) {
    renameStatus_ = status;
  }
  // IsWritable answers false for every path.
  void SetNotWritable(bool notWritable = true) { notWritable_ = notWritable; }

  // Appends attempted so far (failed ones included).
  int appendCount() const { return appendCount_; }

  platform::Status OpenForRead(const CString& path,
                               std::unique_ptr<platform::ReadableFile>* out) override;
  platform::Status OpenForAppend(const CString& path,
                                 std::unique_ptr<platform::AppendableFile>* out) override;
  platform::Status RenameFile(const CString& from, const CString& to) override;
  bool IsWritable(const CString& path) override;
  platform::Status DeleteFile(const CString& path) override;
  platform::Status ReadWholeFile(const CString& path, std::string* out) override;
  platform::Status WriteFileAtomically(const CString& path, const std::string& data) override;
  platform::Status ReplaceOwnFile(const CString& path, const std::string& data) override;
  std::vector<platform::FoundFile> FindFiles(const CString& pattern) override;
  platform::Status DiskFreeBytes(const CString& path, uint64_t* freeBytes,
                                 CString* systemError) override;
  platform::Status LockFile(const CString& path, int64_t waitMillis,
                            std::unique_ptr<platform::FileLock>* out, CString* systemError) override;

  // Called by the files this Env hands out: true when this Append must fail.
  bool NextAppendFails();
  bool closeFails() const { return failClose_; }

 private:
  int failAppendAt_ = 0;
  bool failAppendsAfter_ = false;
  int appendCount_ = 0;
  platform::Status openForAppendStatus_ = platform::Status::kOk;
  platform::Status openForReadStatus_ = platform::Status::kOk;
  platform::Status renameStatus_ = platform::Status::kOk;
  bool failClose_ = false;
  bool notWritable_ = false;
  int failOperationAt_ = 0;
  int operationCount_ = 0;
  platform::Status failKind_ = platform::Status::kIoError;
};

}  // namespace spekolar::spktest
