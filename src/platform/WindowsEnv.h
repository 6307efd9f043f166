// The Windows implementation of Env: the system's own calls throughout.
//
// Paths are handed to the system as the program writes them, backslashes
// and all; nothing is mapped. Files are opened through CreateFileA, and only
// regular files on a disk are kept (GetFileType, the file's attributes): a
// device name such as NUL or CON, or a pipe, is refused with kNotAFile. No
// open waits: one that another process's sharing mode forbids fails at once
// with kAccessDenied. Files are read as the bytes on disk (LineReader gives
// them the C runtime's text-mode line semantics, but reads past a Ctrl-Z
// byte, where the runtime's text mode would stop). Appends are written in
// text form, each LF as CR LF, as Windows programs write their text files.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Env.h"

namespace spekolar::platform {

// The bytes to append for `data` in text form: each LF becomes CR LF (an LF
// after a CR too, as the C runtime's text mode writes it).
std::string ToTextForm(std::string_view data);

// The free-space query that WindowsEnv::DiskFreeBytes runs on a thread of
// its own: ERROR_SUCCESS with *freeBytes set, or the system's error code.
using WindowsDiskQuery = unsigned long (*)(const char* path, uint64_t* freeBytes);

// The query the system's WindowsEnv runs: GetDiskFreeSpaceExA's third
// result, the volume's total free bytes.
unsigned long QueryVolumeFreeBytes(const char* path, uint64_t* freeBytes);

class WindowsEnv : public Env {
 public:
  // `diskQueryLimitMillis` and `diskQuery` are there for tests, which
  // shorten the wait and put a query in place that does not answer.
  explicit WindowsEnv(int64_t diskQueryLimitMillis = kDiskQueryLimitMillis,
                      WindowsDiskQuery diskQuery = QueryVolumeFreeBytes)
      : diskQueryLimitMillis_(diskQueryLimitMillis), diskQuery_(diskQuery) {}

  Status OpenForRead(const CString& path, std::unique_ptr<ReadableFile>* out) override;
  Status OpenForAppend(const CString& path, std::unique_ptr<AppendableFile>* out) override;
  Status DeleteFile(const CString& path) override;
  Status RenameFile(const CString& from, const CString& to) override;
  Status ReadWholeFile(const CString& path, std::string* out) override;
  Status WriteFileAtomically(const CString& path, const std::string& data) override;
  Status ReplaceOwnFile(const CString& path, const std::string& data) override;
  bool IsWritable(const CString& path) override;
  // FindFirstFileA / FindNextFileA. The folder part of the pattern is made
  // absolute (GetFullPathNameA, as CFileFind does) and each match's path is
  // that folder + its name. "." and ".." are left out; the matches are
  // sorted with FoundNameLess, which is the order NTFS gives anyway.
  std::vector<FoundFile> FindFiles(const CString& pattern) override;
  // GetLocalTime.
  LocalTime Now() override;
  // GetDiskFreeSpaceExA: the volume's total free bytes (its third result);
  // on failure the FormatMessageA text of the error. The call cannot be
  // cancelled (a UNC path whose server is gone waits for the network's
  // time-outs), so it runs on a thread of its own, waited for up to the
  // limit: kTimedOut then, and the thread finishes on its own later.
  Status DiskFreeBytes(const CString& path, uint64_t* freeBytes, CString* systemError) override;
  // GetEnvironmentVariableA: names match without regard to case.
  bool GetVariable(const char* name, std::string* value) override;
  // The C runtime's system(): cmd /c with the command as written; cmd
  // expands %NAME% itself. A line that holds a double quote gets one more
  // pair around it, which cmd's quote rule for /c removes again, so the
  // line's own quotes stay as written. The result is cmd's exit code, -1
  // when the command processor cannot be started; a blank line runs
  // nothing and gives 0.
  int RunCommand(const CString& command) override;
  // GetFileAttributesExA; the last write time in local time.
  Status GetFileFacts(const CString& path, FileFacts* out) override;
  bool IsSymbolicLink(const CString& path) override;
  // %NAME% expanded (ExpandEnvironmentStringsA), the first word taken (in
  // double quotes when it begins with one); a name with a folder is taken
  // as it is, a bare one searched with SearchPathA (.exe added).
  Status ResolveCommand(const CString& commandLine, CString* program) override;
  // The lock file opened without sharing (CreateFileA, share mode 0), the
  // open tried again every 50 ms while it fails with a sharing violation.
  Status LockFile(const CString& path, int64_t waitMillis, std::unique_ptr<FileLock>* out,
                  CString* systemError) override;
  // Keeps the system from asking the (absent) user about a drive that is
  // not ready; the call then fails instead. Always true.
  bool FrameworkInit() override;
  // GetUserNameA: the account the process runs as.
  CString UserName() override;

 private:
  int64_t diskQueryLimitMillis_;
  WindowsDiskQuery diskQuery_;
};

}  // namespace spekolar::platform
