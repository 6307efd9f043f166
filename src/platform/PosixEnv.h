// The POSIX implementation of Env, and the pieces of it that tests reach
// without a process or a file system.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Env.h"
#include "platform/Wildcard.h"

namespace spekolar::platform {

// Looks up one environment variable: true and its value when defined.
using VariableLookup = std::function<bool(const std::string& name, std::string* value)>;

// Expands %NAME% references as the Windows command processor does for a
// command line: scanning left to right, a '%' opens a reference that the
// next '%' closes; when NAME is defined the whole reference is replaced by
// its value and the scan goes on after it. When NAME is undefined (or
// empty, as in "%%") the opening '%' stays as written and the scan goes on
// right after it, so the closing '%' may open the next reference. A '%'
// without a closing one stays as written. The substring and replacement
// forms (%NAME:~1,2%, %NAME:a=b%) are not supported.
std::string ExpandCommandVariables(std::string_view text, const VariableLookup& lookup);

// Maps a path from the program's form to the file system's: each '\'
// becomes '/', and the last component loses its trailing blanks and dots
// as on Windows (only its trailing blanks when it holds a wildcard).
std::string ToFileSystemPath(const CString& path);

// Splits a command line into program and arguments by the rules of the
// Windows C runtime, so that a command written for the Windows command
// processor means the same here: blanks and tabs separate; double quotes
// group and vanish. In the program name, backslashes are plain characters.
// In the arguments, 2n backslashes before a quote give n backslashes and
// the quote groups, 2n+1 give n backslashes and a literal quote, and "" in
// a quoted run gives one quote; backslashes before anything else are plain.
// A blank line gives no words.
std::vector<std::string> SplitCommandLine(std::string_view line);

// The free-space query that PosixEnv::DiskFreeBytes runs in its child
// process: 0 with *freeBytes set, or an errno value. It runs between fork
// and _exit, so it may make async-signal-safe calls only.
using DiskQuery = int (*)(const char* fsPath, uint64_t* freeBytes);

// The query the system's PosixEnv runs: the volume's free blocks times its
// fragment size, as statvfs gives them.
int QueryFreeBytes(const char* fsPath, uint64_t* freeBytes);

class PosixEnv : public Env {
 public:
  // `diskQueryLimitMillis` and `diskQuery` are there for tests, which
  // shorten the wait and put a query in place that never answers.
  explicit PosixEnv(int64_t diskQueryLimitMillis = kDiskQueryLimitMillis,
                    DiskQuery diskQuery = QueryFreeBytes)
      : diskQueryLimitMillis_(diskQueryLimitMillis), diskQuery_(diskQuery) {}

  Status OpenForRead(const CString& path, std::unique_ptr<ReadableFile>* out) override;
  Status OpenForAppend(const CString& path, std::unique_ptr<AppendableFile>* out) override;
  Status DeleteFile(const CString& path) override;
  Status RenameFile(const CString& from, const CString& to) override;
  Status ReadWholeFile(const CString& path, std::string* out) override;
  Status WriteFileAtomically(const CString& path, const std::string& data) override;
  Status ReplaceOwnFile(const CString& path, const std::string& data) override;
  bool IsWritable(const CString& path) override;
  std::vector<FoundFile> FindFiles(const CString& pattern) override;
  LocalTime Now() override;
  // The query runs in a child process that first closes every descriptor
  // it inherited (the lock file, the database connection, the protocol
  // files) and sends its result through a pipe. A child that has not
  // answered within the limit is killed and left behind (reaped when it
  // ends, never waited for): kTimedOut.
  Status DiskFreeBytes(const CString& path, uint64_t* freeBytes, CString* systemError) override;
  // Environment names match exactly first and then, as on Windows, without
  // regard to ASCII case.
  bool GetVariable(const char* name, std::string* value) override;
  // No shell: expands %NAME% (ExpandCommandVariables), splits the line
  // (SplitCommandLine), maps each '\' to '/' in every word and starts the
  // program directly (searched on PATH when its name has no '/'), waiting
  // for it; standard output and error are inherited. Nothing of the text
  // is interpreted: a "$(...)" in a path is part of that path. Returns the
  // exit status, 128 + signal number for a program killed by a signal, and
  // -1 when the program cannot be started (not found, not executable).
  int RunCommand(const CString& command) override;
  Status GetFileFacts(const CString& path, FileFacts* out) override;
  bool IsSymbolicLink(const CString& path) override;
  // Searches PATH as posix_spawnp does (an empty entry is the current
  // folder; without PATH, /bin and /usr/bin).
  Status ResolveCommand(const CString& commandLine, CString* program) override;
  // The effective user's name from the user database, or "uid N".
  CString UserName() override;
  // flock on the lock file, polled until the limit.
  Status LockFile(const CString& path, int64_t waitMillis, std::unique_ptr<FileLock>* out,
                  CString* systemError) override;

 private:
  int64_t diskQueryLimitMillis_;
  DiskQuery diskQuery_;
  // Query children killed at their time-out but not yet reaped (stuck in
  // the kernel): tried again, without waiting, at each later query.
  std::vector<int> unreaped_;
};

}  // namespace spekolar::platform
