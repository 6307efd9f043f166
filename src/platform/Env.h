// The one interface through which the program reaches the operating system.
//
// Every other folder calls the operating system only through an Env: files,
// wildcard search, the clock, disk space, environment variables, the command
// processor and framework start-up. The system's implementation is the
// default (PosixEnv, or WindowsEnv in the Windows build); tests install fakes
// (an in-memory tree, a fixed clock, a wrapper that fails the Nth write) with
// ScopedEnv.
//
// Paths: callers pass the program's own form, with backslashes
// ("C:\x\log\SPEKOLAR.log" or "\SPEKOLAR.log"). An implementation maps them
// to its file system where they meet it (the POSIX one maps each '\' to '/',
// the Windows one hands them over as they are) and nowhere else; texts handed
// back (FoundFile::path) are in the file system's form.
//
// Results, not exceptions: every fallible call returns a Status.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "text/CString.h"

namespace spekolar::platform {

enum class Status {
  kOk = 0,
  kNotFound,       // no such file or folder
  kAccessDenied,   // permissions, or a read-only file system
  kIsDirectory,    // a directory where a file was asked for
  kNoSpace,        // disk full or quota
  kIoError,        // anything else
  kNotAFile,       // exists, but is neither a regular file nor a directory
                   // (a FIFO, a device, a socket)
  kTooLarge,       // a whole-file read over kMaxWholeFileBytes
  kBusy,           // LockFile: another process still held the lock at the
                   // end of the wait
  kIsLink,         // a symbolic link where the program's own file must be
                   // (OpenForAppend, LockFile): not gone through
  kTimedOut,       // DiskFreeBytes: the system gave no answer within
                   // kDiskQueryLimitMillis (a share whose server is gone)
};

// Whole-file reads (ReadWholeFile) refuse files larger than this. No real
// INI file, registry export or credentials file comes near it; a larger
// file is a mistake (or /dev/zero behind a link), not configuration.
inline constexpr int64_t kMaxWholeFileBytes = int64_t{16} << 20;

// DiskFreeBytes waits this long for the system's answer about one path. A
// hard-mounted share whose server is gone can hold the query in the kernel
// for good, where not even SIGKILL ends it; the pass must not wait with it.
inline constexpr int64_t kDiskQueryLimitMillis = 10000;

// Local wall-clock time, broken down. month is 1..12, year four digits.
struct LocalTime {
  int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

// A file opened for reading. Bytes come back exactly as on disk; line
// semantics (text mode) are layered on top by LineReader.
class ReadableFile {
 public:
  virtual ~ReadableFile() = default;
  // Reads up to n bytes into buf. Returns the count (0 at end of file) or -1
  // on a read error.
  virtual long Read(char* buf, size_t n) = 0;
};

// Bytes held in memory, handed out as a file: for text that was read whole
// (or is kept, as by the dry run) and goes on to a reader that takes a file.
class BytesFile : public ReadableFile {
 public:
  explicit BytesFile(std::string bytes) : bytes_(std::move(bytes)) {}
  long Read(char* buf, size_t n) override;

 private:
  std::string bytes_;
  size_t at_ = 0;
};

// Reads `file` to its end into *out, for the systems' ReadWholeFile.
// `expectedSize` (the size the system reported) only reserves memory.
// kTooLarge as soon as the bytes read pass kMaxWholeFileBytes (a file may
// grow while it is read), kIoError on a read error; *out is unchanged then.
Status ReadAllCapped(ReadableFile& file, int64_t expectedSize, std::string* out);

// A file opened for appending (created if missing).
class AppendableFile {
 public:
  virtual ~AppendableFile() = default;
  // Size in bytes on disk at the moment of the call (seek to end and tell).
  virtual int64_t Size() = 0;
  // Appends the bytes unchanged. False when not all of them were written.
  virtual bool Append(const char* data, size_t n) = 0;
  // Cuts the file back to `size` bytes (a size the file had before): the
  // caller takes back an Append that did not write all of its bytes, so a
  // full disk leaves no half record behind. False when the file could not
  // be cut.
  virtual bool Truncate(int64_t size) = 0;
  // Flushes and closes; false when the data did not reach the file.
  virtual bool Close() = 0;
};

// An exclusive lock taken with Env::LockFile; released when the object is
// destroyed (and by the system when the process ends, however it ends).
class FileLock {
 public:
  virtual ~FileLock() = default;
};

// What the file system says about one path (Env::GetFileFacts).
struct FileFacts {
  enum class Kind { kRegular, kDirectory, kOther };
  Kind kind = Kind::kOther;  // kOther: a FIFO, a device, a socket
  int64_t size = 0;          // bytes; 0 for anything but a regular file
  LocalTime lastChange;      // last modification, local time
};

// One match of a wildcard search.
struct FoundFile {
  CString path;  // absolute full path in the file system's form
  CString name;  // last path component only
};

class Env {
 public:
  virtual ~Env() = default;

  // Opens a file for reading. Only regular files are opened, and the open
  // itself never waits: a directory is refused with kIsDirectory (as on
  // Windows, where opening a directory for reading fails), anything else
  // that is not a regular file (a FIFO, which would block the open until a
  // writer comes, a device such as /dev/zero, which never ends) with
  // kNotAFile. Links are followed.
  virtual Status OpenForRead(const CString& path, std::unique_ptr<ReadableFile>* out) = 0;
  // Opens a file for appending, creating it when missing. Only regular
  // files, never waiting, as OpenForRead: kIsDirectory, kNotAFile. Only
  // the program's own files are appended to, in a log directory that other
  // users (the product's web server) may write: a symbolic link as the
  // last component is never followed (kIsLink), so a pass run with more
  // rights never writes through a link planted there. Appends
  // are written in the system's text form: on Windows each LF goes to disk
  // as CR LF, as the C runtime's text mode writes it; elsewhere unchanged.
  virtual Status OpenForAppend(const CString& path, std::unique_ptr<AppendableFile>* out) = 0;
  virtual Status DeleteFile(const CString& path) = 0;
  // Renames; fails (and leaves both alone) when the target exists, as
  // Windows' rename does.
  virtual Status RenameFile(const CString& from, const CString& to) = 0;

  // Whole-file helpers for small files (INI, registry store, credentials).
  // Reads a regular file as OpenForRead opens it (kIsDirectory, kNotAFile);
  // a file larger than kMaxWholeFileBytes is refused with kTooLarge without
  // being read.
  virtual Status ReadWholeFile(const CString& path, std::string* out) = 0;
  // Writes through a temporary file in the same folder and a rename, so a
  // crash never leaves a half-written file. Symbolic links are followed:
  // when `path` is a link (or a chain of links), the file it points to is
  // replaced, in that file's folder, and the link stays a link.
  virtual Status WriteFileAtomically(const CString& path, const std::string& data) = 0;
  // As WriteFileAtomically, for the program's own files in the log
  // directory: a symbolic link at `path` is never followed (kIsLink, nothing
  // written), and one planted meanwhile is replaced by the rename, not
  // written through.
  virtual Status ReplaceOwnFile(const CString& path, const std::string& data) = 0;
  // Whether the process may write the file (or, when missing, create it in
  // its folder).
  virtual bool IsWritable(const CString& path) = 0;

  // Wildcard search. '*' and '?' only in the last component, matched
  // without regard to ASCII case, "*.*" matches every name. Directories
  // are matches; "." and ".." never are. Sorted by name with FoundNameLess.
  // A pattern without wildcards finds the one entry of that name. An empty
  // vector means no match.
  virtual std::vector<FoundFile> FindFiles(const CString& pattern) = 0;

  virtual LocalTime Now() = 0;

  // Total free bytes of the volume holding `path` (any existing folder),
  // not only what the caller's quota allows. On failure, when `systemError`
  // is not null, it receives the operating system's own description of the
  // error (POSIX: strerror of errno; Windows: the FormatMessage text of
  // GetLastError without its line end), for the run protocol; on success it
  // is left as it was. The system's implementations wait at most
  // kDiskQueryLimitMillis for the answer (the query runs apart from the
  // caller: a child process holding no descriptor of ours, or a thread of
  // its own) and then give kTimedOut, leaving `systemError` as it was (the
  // system has said nothing); the query may still be stuck in the system
  // then, but it holds nothing the caller needs.
  virtual Status DiskFreeBytes(const CString& path, uint64_t* freeBytes,
                               CString* systemError) = 0;

  // Value of an environment variable; false when it is not defined.
  virtual bool GetVariable(const char* name, std::string* value) = 0;

  // Runs a command line synchronously after expanding %NAME% references
  // (an undefined name stays as written). Returns the command's exit
  // status, or -1 only when the command could not be started at all: the
  // command processor, or, where the program is started directly without
  // one, the program itself (not found, not executable). An empty or blank
  // command line runs nothing and gives 0.
  virtual int RunCommand(const CString& command) = 0;

  // Takes an exclusive lock on the file at `path`, creating the file when
  // missing (it is never deleted: a lock file that comes and goes lets two
  // processes hold "the" lock at once). Only one holder at a time, whether
  // in another process or through another LockFile call in this one. When
  // another holder has it, waits up to `waitMillis` milliseconds for its
  // release and then gives up with kBusy. Other failures (kNotFound for a
  // missing folder, kAccessDenied, kIsDirectory, kNotAFile, kIsLink for a
  // symbolic link, which is not followed, ...) come back at once; then, when
  // `systemError` is not null, it receives the system's description of the
  // failure, as for DiskFreeBytes. The lock lasts as long as *out.
  //
  // The lock must hold even when someone deletes the file while it is held
  // (a clean-up job in the log directory): a later caller would create a
  // new file and lock that one. Where the system lets a deleted file go on
  // being held (POSIX), the lock therefore also covers the file's folder,
  // and a lock taken on a file that is no longer the one at the path is
  // taken again; Windows refuses to delete a file held this way.
  virtual Status LockFile(const CString& path, int64_t waitMillis,
                          std::unique_ptr<FileLock>* out, CString* systemError) = 0;

  // Facts about the file or folder at `path` (links followed), without
  // opening it: kind, size and last modification in local time. kNotFound
  // when nothing is there, kAccessDenied when the folder may not be
  // searched. Reads only; used to describe files to an operator.
  virtual Status GetFileFacts(const CString& path, FileFacts* out) = 0;

  // Whether the last component of `path` is a symbolic link (or, on
  // Windows, a junction), dangling or not: what OpenForAppend and LockFile
  // refuse to go through. False when nothing is there or the folder cannot
  // be searched. Reads only; for telling an operator before a pass does.
  virtual bool IsSymbolicLink(const CString& path) = 0;

  // Which program RunCommand(commandLine) would start, without starting
  // it: %NAME% references expanded and the line split into words as
  // RunCommand does, the first word looked up as RunCommand looks it up
  // (a name with a folder taken as it is, a bare name searched on the
  // program path). kOk with the program's full path in the file system's
  // form in *program; kNotFound when there is no such program (or the line
  // is blank); kAccessDenied when the file is there but may not be run;
  // kIsDirectory for a folder.
  virtual Status ResolveCommand(const CString& commandLine, CString* program) = 0;

  // Framework start-up; true on this platform.
  virtual bool FrameworkInit() { return true; }

  // The name of the user the process runs as (its effective user), for
  // telling an operator whose rights a check saw; empty when unknown.
  virtual CString UserName() { return CString(); }
};

// The order of FindFiles, the one NTFS lists a folder in: names compared
// with ASCII letters in upper case (so "Za.log" comes before "_a.log"), and
// names equal so by their bytes, so the order never depends on the folder.
bool FoundNameLess(std::string_view a, std::string_view b);

// The Env in force: the system's own (POSIX or Windows) unless a test
// installed another.
Env* GetEnv();
Env* DefaultEnv();

// Installs an Env for the lifetime of the object (tests), restoring the
// previous one afterwards.
class ScopedEnv {
 public:
  explicit ScopedEnv(Env* env);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  Env* previous_;
};

}  // namespace spekolar::platform
