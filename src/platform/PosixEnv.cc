#include "platform/PosixEnv.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <pwd.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "text/Ascii.h"

extern char** environ;

namespace spekolar::platform {

namespace {

// The one place where an errno value becomes a Status.
Status StatusFromErrno(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
      return Status::kNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EEXIST:  // a rename onto an existing name; the C runtime says EACCES
    case ETXTBSY:
      return Status::kAccessDenied;
    case EISDIR:
      return Status::kIsDirectory;
    case ENXIO:  // a FIFO without a reader, opened for writing without waiting
      return Status::kNotAFile;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return Status::kNoSpace;
    default:
      return Status::kIoError;
  }
}

Status LastErrorStatus() { return StatusFromErrno(errno); }

int64_t MonotonicMillis() {
  struct timespec ts;
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

bool NameLess(const std::string& a, const std::string& b) { return FoundNameLess(a, b); }

// Writes all bytes, going on after interrupted and short writes.
bool WriteAll(int fd, const char* data, size_t n) {
  while (n > 0) {
    ssize_t written = ::write(fd, data, n);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    n -= static_cast<size_t>(written);
  }
  return true;
}

class PosixReadableFile : public ReadableFile {
 public:
  explicit PosixReadableFile(int fd) : fd_(fd) {}
  ~PosixReadableFile() override { ::close(fd_); }
  PosixReadableFile(const PosixReadableFile&) = delete;
  PosixReadableFile& operator=(const PosixReadableFile&) = delete;

  long Read(char* buf, size_t n) override {
    for (;;) {
      ssize_t got = ::read(fd_, buf, n);
      if (got >= 0) return static_cast<long>(got);
      if (errno != EINTR) return -1;
    }
  }

 private:
  int fd_;
};

class PosixAppendableFile : public AppendableFile {
 public:
  explicit PosixAppendableFile(int fd) : fd_(fd) {}
  ~PosixAppendableFile() override {
    if (fd_ >= 0) ::close(fd_);
  }
  PosixAppendableFile(const PosixAppendableFile&) = delete;
  PosixAppendableFile& operator=(const PosixAppendableFile&) = delete;

  int64_t Size() override {
    if (fd_ < 0) return -1;
    struct stat st;
    if (::fstat(fd_, &st) != 0) return -1;
    return static_cast<int64_t>(st.st_size);
  }

  bool Append(const char* data, size_t n) override {
    if (fd_ < 0) return false;
    if (!WriteAll(fd_, data, n)) {
      failed_ = true;
      return false;
    }
    return true;
  }

  // A cut-back after a failed write takes the failure back: Close then
  // reports only what happened afterwards.
  bool Truncate(int64_t size) override {
    if (fd_ < 0 || size < 0) return false;
    while (::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
      if (errno != EINTR) return false;
    }
    failed_ = false;
    return true;
  }

  // Nothing is buffered here, so a failed write has already been seen;
  // close itself may still report a deferred error (network file systems).
  bool Close() override {
    if (fd_ < 0) return false;
    int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0 && !failed_;
  }

 private:
  int fd_;
  bool failed_ = false;
};

// The folder part of a file-system path ("." when there is none).
std::string FolderOf(const std::string& fsPath) {
  size_t slash = fsPath.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return fsPath.substr(0, slash);
}

// Joins `relative` to the current directory when it is not absolute and
// resolves "." and ".." as text (links are not followed), as Windows forms
// a full path. Empty on failure to learn the current directory.
std::string AbsoluteFolder(const std::string& folder) {
  std::string joined;
  if (!folder.empty() && folder[0] == '/') {
    joined = folder;
  } else {
    std::vector<char> cwd(PATH_MAX);
    while (::getcwd(cwd.data(), cwd.size()) == nullptr) {
      if (errno != ERANGE) return std::string();
      cwd.resize(cwd.size() * 2);
    }
    joined = std::string(cwd.data()) + "/" + folder;
  }
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= joined.size()) {
    size_t end = joined.find('/', start);
    if (end == std::string::npos) end = joined.size();
    std::string part = joined.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string result;
  for (const std::string& part : parts) result += "/" + part;
  return result.empty() ? "/" : result;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  return folder == "/" ? "/" + name : folder + "/" + name;
}

// Names in `folder` (without "." and "..") for which `accept` holds.
template <typename Accept>
std::vector<std::string> ListFolder(const std::string& folder, Accept accept) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return names;
  while (struct dirent* entry = ::readdir(dir)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (accept(name)) names.push_back(name);
  }
  ::closedir(dir);
  return names;
}

bool LookupEnvironment(const std::string& name, std::string* value) {
  if (name.empty()) return false;
  if (const char* exact = ::getenv(name.c_str())) {
    *value = exact;
    return true;
  }
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    const char* eq = std::strchr(*entry, '=');
    if (eq == nullptr) continue;
    if (ascii::EqualIgnoringCase(std::string_view(*entry, static_cast<size_t>(eq - *entry)), name)) {
      *value = eq + 1;
      return true;
    }
  }
  return false;
}

}  // namespace

std::string ToFileSystemPath(const CString& path) {
  std::string mapped = path.str();
  std::replace(mapped.begin(), mapped.end(), '\\', '/');
  // Windows drops the trailing blanks and dots of a path's last component
  // ("a.log " and "a.log." name a.log), and configured paths were written
  // for it: "Datei=a.log ,b.log" has a blank in its first piece. A leading
  // blank stays part of the name there, as does everything before the last
  // '/'; "." and ".." keep their meaning, and a component of nothing but
  // dots and blanks is left as it is. In a last component with wildcards
  // a trailing dot is part of the pattern ("*." matches the names without
  // a dot), so there only the trailing blanks go.
  const size_t lastStart = mapped.rfind('/') + 1;  // 0 when there is no '/'
  const std::string_view last = std::string_view(mapped).substr(lastStart);
  if (last == "." || last == "..") return mapped;
  const bool pattern = last.find_first_of("*?") != std::string_view::npos;
  size_t end = mapped.size();
  while (end > lastStart && (mapped[end - 1] == ' ' || (!pattern && mapped[end - 1] == '.'))) --end;
  if (end > lastStart) mapped.resize(end);
  return mapped;
}

std::string ExpandCommandVariables(std::string_view text, const VariableLookup& lookup) {
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c != '%') {
      out += c;
      ++i;
      continue;
    }
    size_t close = text.find('%', i + 1);
    if (close == std::string_view::npos) {
      out.append(text.substr(i));
      break;
    }
    std::string name(text.substr(i + 1, close - i - 1));
    std::string value;
    if (!name.empty() && lookup(name, &value)) {
      out += value;
      i = close + 1;
    } else {
      out += '%';
      ++i;
    }
  }
  return out;
}

namespace {

// Opens `fsPath` with `flags` (O_NONBLOCK added, so that a FIFO never makes
// the open wait) and accepts the result only when it is a regular file.
// With `refuseLink`, a symbolic link as the last component is not followed
// (kIsLink). Returns the descriptor, or -1 with *status set and, when
// `error` is not null, the errno value that says why (EISDIR, ELOOP, EINVAL
// for a file that is no regular one).
int OpenRegularFile(const std::string& fsPath, int flags, Status* status, bool refuseLink = false,
                    int* error = nullptr) {
  auto fail = [&](Status failure, int errnoValue) {
    *status = failure;
    if (error != nullptr) *error = errnoValue;
    return -1;
  };
  int fd = ::open(fsPath.c_str(),
                  flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | (refuseLink ? O_NOFOLLOW : 0), 0644);
  if (fd < 0) {
    const int openError = errno;
    struct stat st;
    // ELOOP also stands for a chain of links that never ends in a folder
    // part; only a link as the last component is "a link".
    if (refuseLink && openError == ELOOP && ::lstat(fsPath.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
      return fail(Status::kIsLink, openError);
    }
    return fail(StatusFromErrno(openError), openError);
  }
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    const int statError = errno;
    ::close(fd);
    return fail(StatusFromErrno(statError), statError);
  }
  if (!S_ISREG(st.st_mode)) {
    // Linux opens a directory for reading; Windows refuses, and so do we.
    ::close(fd);
    return S_ISDIR(st.st_mode) ? fail(Status::kIsDirectory, EISDIR) : fail(Status::kNotAFile, EINVAL);
  }
  // Regular files never block; clear the flag all the same, so that reads
  // and writes behave as on any descriptor.
  int current = ::fcntl(fd, F_GETFL);
  if (current >= 0) ::fcntl(fd, F_SETFL, current & ~O_NONBLOCK);
  *status = Status::kOk;
  return fd;
}

// The file a path names after following symbolic links, as far as they
// lead: the path itself when it is no link, the target of a dangling
// link, or, after too many links, the last one reached.
std::string FollowLinks(std::string fsPath) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (::lstat(fsPath.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return fsPath;
    std::vector<char> target(static_cast<size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1);
    ssize_t n = ::readlink(fsPath.c_str(), target.data(), target.size());
    if (n < 0 || static_cast<size_t>(n) >= target.size()) return fsPath;
    std::string link(target.data(), static_cast<size_t>(n));
    fsPath = link[0] == '/' ? link : JoinPath(FolderOf(fsPath), link);
  }
  return fsPath;
}

}  // namespace

Status PosixEnv::OpenForRead(const CString& path, std::unique_ptr<ReadableFile>* out) {
  Status status;
  int fd = OpenRegularFile(ToFileSystemPath(path), O_RDONLY, &status);
  if (fd < 0) return status;
  *out = std::make_unique<PosixReadableFile>(fd);
  return Status::kOk;
}

Status PosixEnv::OpenForAppend(const CString& path, std::unique_ptr<AppendableFile>* out) {
  Status status;
  int fd = OpenRegularFile(ToFileSystemPath(path), O_WRONLY | O_CREAT | O_APPEND, &status,
                           /*refuseLink=*/true);
  if (fd < 0) return status;
  *out = std::make_unique<PosixAppendableFile>(fd);
  return Status::kOk;
}

Status PosixEnv::DeleteFile(const CString& path) {
  std::string fsPath = ToFileSystemPath(path);
  if (::unlink(fsPath.c_str()) != 0) return LastErrorStatus();
  return Status::kOk;
}

Status PosixEnv::RenameFile(const CString& from, const CString& to) {
  std::string fsFrom = ToFileSystemPath(from);
  std::string fsTo = ToFileSystemPath(to);
  if (::renameat2(AT_FDCWD, fsFrom.c_str(), AT_FDCWD, fsTo.c_str(), RENAME_NOREPLACE) == 0) {
    return Status::kOk;
  }
  if (errno != EINVAL && errno != ENOSYS) return LastErrorStatus();
  // The file system cannot refuse atomically; check first. The gap between
  // check and rename is harmless here: one process, one thread.
  struct stat st;
  if (::lstat(fsTo.c_str(), &st) == 0) return StatusFromErrno(EEXIST);
  if (::rename(fsFrom.c_str(), fsTo.c_str()) != 0) return LastErrorStatus();
  return Status::kOk;
}

Status PosixEnv::ReadWholeFile(const CString& path, std::string* out) {
  Status status;
  int fd = OpenRegularFile(ToFileSystemPath(path), O_RDONLY, &status);
  if (fd < 0) return status;
  struct stat st;
  if (::fstat(fd, &st) != 0 || st.st_size > kMaxWholeFileBytes) {
    status = st.st_size > kMaxWholeFileBytes ? Status::kTooLarge : LastErrorStatus();
    ::close(fd);
    return status;
  }
  PosixReadableFile file(fd);
  return ReadAllCapped(file, st.st_size, out);
}

namespace {

// Writes `data` to a temporary file beside `fsPath` and renames it over
// `fsPath`, so a crash never leaves a half-written file. The rename
// replaces whatever is at `fsPath`, a link included.
Status ReplaceThroughTemporary(const std::string& fsPath, const std::string& data) {
  std::string temp = fsPath + ".tmpXXXXXX";
  int fd = ::mkstemp(temp.data());
  if (fd < 0) return LastErrorStatus();
  // mkstemp creates the file readable by its owner only; give it the mode
  // the file has now, or that a newly created file would get.
  struct stat st;
  mode_t mode;
  if (::stat(fsPath.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  Status status = Status::kOk;
  if (::fchmod(fd, mode) != 0 || !WriteAll(fd, data.data(), data.size()) || ::fsync(fd) != 0) {
    status = LastErrorStatus();
  }
  if (::close(fd) != 0 && status == Status::kOk) status = LastErrorStatus();
  if (status == Status::kOk && ::rename(temp.c_str(), fsPath.c_str()) != 0) {
    status = LastErrorStatus();
  }
  if (status != Status::kOk) {
    ::unlink(temp.c_str());
    return status;
  }
  // Make the rename itself durable.
  int dirFd = ::open(FolderOf(fsPath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return Status::kOk;
}

}  // namespace

Status PosixEnv::WriteFileAtomically(const CString& path, const std::string& data) {
  // Replacing a link by a file would cut the operator's link; the new
  // content goes where the link points.
  return ReplaceThroughTemporary(FollowLinks(ToFileSystemPath(path)), data);
}

Status PosixEnv::ReplaceOwnFile(const CString& path, const std::string& data) {
  if (IsSymbolicLink(path)) return Status::kIsLink;
  return ReplaceThroughTemporary(ToFileSystemPath(path), data);
}

bool PosixEnv::IsWritable(const CString& path) {
  std::string fsPath = ToFileSystemPath(path);
  if (::access(fsPath.c_str(), W_OK) == 0) return true;
  if (errno != ENOENT) return false;
  return ::access(FolderOf(fsPath).c_str(), W_OK | X_OK) == 0;
}

std::vector<FoundFile> PosixEnv::FindFiles(const CString& pattern) {
  std::vector<FoundFile> found;
  std::string fsPattern = ToFileSystemPath(pattern);
  size_t slash = fsPattern.rfind('/');
  std::string folderPart = slash == std::string::npos ? "" : fsPattern.substr(0, slash + 1);
  std::string namePattern = slash == std::string::npos ? fsPattern : fsPattern.substr(slash + 1);
  if (namePattern.empty() || namePattern == "." || namePattern == "..") return found;
  std::string folder = AbsoluteFolder(folderPart);
  if (folder.empty()) return found;

  std::vector<std::string> names;
  if (namePattern.find_first_of("*?") != std::string::npos) {
    names = ListFolder(folder, [&](const std::string& name) {
      return WildcardMatch(namePattern, name);
    });
  } else {
    struct stat st;
    if (::lstat(JoinPath(folder, namePattern).c_str(), &st) == 0) {
      names.push_back(namePattern);
    } else {
      // Windows names are case-insensitive and the program's configured
      // names were written for it; when the exact name is missing, take an
      // entry that differs only in case (the first in sorted order).
      names = ListFolder(folder, [&](const std::string& name) {
        return ascii::EqualIgnoringCase(name, namePattern);
      });
      std::sort(names.begin(), names.end(), NameLess);
      if (names.size() > 1) names.resize(1);
    }
  }
  std::sort(names.begin(), names.end(), NameLess);
  for (const std::string& name : names) {
    found.push_back(FoundFile{CString(JoinPath(folder, name)), CString(name)});
  }
  return found;
}

namespace {

LocalTime LocalTimeOf(time_t when) {
  struct tm local;
  ::localtime_r(&when, &local);
  LocalTime t;
  t.year = local.tm_year + 1900;
  t.month = local.tm_mon + 1;
  t.day = local.tm_mday;
  t.hour = local.tm_hour;
  t.minute = local.tm_min;
  t.second = local.tm_sec;
  return t;
}

}  // namespace

CString PosixEnv::UserName() {
  const uid_t uid = ::geteuid();
  struct passwd entry;
  struct passwd* found = nullptr;
  char buffer[4096];
  if (::getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
      found->pw_name != nullptr) {
    return CString(found->pw_name);
  }
  return CString("uid " + std::to_string(static_cast<unsigned long>(uid)));
}

LocalTime PosixEnv::Now() { return LocalTimeOf(::time(nullptr)); }

int QueryFreeBytes(const char* fsPath, uint64_t* freeBytes) {
  // In glibc on Linux, statvfs is the statfs system call and a copy of its
  // fields: safe between fork and _exit.
  struct statvfs vfs;
  if (::statvfs(fsPath, &vfs) != 0) return errno;
  *freeBytes = static_cast<uint64_t>(vfs.f_bfree) * static_cast<uint64_t>(vfs.f_frsize);
  return 0;
}

namespace {

// What the query child sends back: 0 and the free bytes, or an errno value.
struct DiskQueryAnswer {
  int error = 0;
  uint64_t freeBytes = 0;
};

// The descriptor the query child writes its answer to; it closes all others.
constexpr int kAnswerFd = 3;

// The query child: keeps only the pipe's write end (as kAnswerFd), runs the
// query and writes the answer. Async-signal-safe calls only: the child of a
// fork may not allocate or take locks. `maxFd` (from the parent) bounds the
// close loop where close_range is missing.
[[noreturn]] void RunDiskQueryChild(int answerFd, int maxFd, const char* fsPath, DiskQuery query) {
  if (answerFd != kAnswerFd && ::dup2(answerFd, kAnswerFd) < 0) ::_exit(127);
  // No descriptor of the pass may live on here: a child stuck in the kernel
  // would keep the pass lock (flock belongs to the open file, and the
  // child's copy is the same open file), the database socket and the
  // protocol files for as long as it is stuck.
  if (::close_range(0, kAnswerFd - 1, 0) != 0 || ::close_range(kAnswerFd + 1, ~0U, 0) != 0) {
    for (int fd = 0; fd < maxFd; ++fd) {
      if (fd != kAnswerFd) ::close(fd);
    }
  }
  DiskQueryAnswer answer;
  answer.error = query(fsPath, &answer.freeBytes);
  // One write under PIPE_BUF arrives whole.
  if (::write(kAnswerFd, &answer, sizeof answer) != static_cast<ssize_t>(sizeof answer)) ::_exit(1);
  ::_exit(0);
}

// Reads the child's answer until `deadline` (MonotonicMillis). kOk with the
// answer; kTimedOut when it did not come in time; kIoError when the pipe
// closed first (the child ended without answering).
Status ReadDiskAnswer(int fd, int64_t deadline, DiskQueryAnswer* answer) {
  char* into = reinterpret_cast<char*>(answer);
  size_t got = 0;
  while (got < sizeof *answer) {
    const int64_t left = deadline - MonotonicMillis();
    if (left <= 0) return Status::kTimedOut;
    struct pollfd ready = {fd, POLLIN, 0};
    const int n = ::poll(&ready, 1, static_cast<int>(std::min<int64_t>(left, INT_MAX)));
    // poll's own time-out ends the wait even where the clock does not move
    // (a test's frozen clock).
    if (n == 0) return Status::kTimedOut;
    if (n < 0 && errno != EINTR) return Status::kIoError;
    if (n < 0) continue;
    const ssize_t count = ::read(fd, into + got, sizeof *answer - got);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return Status::kIoError;
    got += static_cast<size_t>(count);
  }
  return Status::kOk;
}

// Reaps `pid` without ever blocking: polls waitpid(WNOHANG) every
// millisecond, `millis` times at most (counted, not clocked, so that a clock
// that does not move cannot keep it here). False when the child is still
// there (stuck in the kernel, where not even SIGKILL ends it until the file
// system answers or goes away).
bool ReapWithin(pid_t pid, int64_t millis) {
  for (int64_t tried = 0;; ++tried) {
    int status = 0;
    const pid_t reaped = ::waitpid(pid, &status, WNOHANG);
    if (reaped == pid || (reaped < 0 && errno != EINTR)) return true;  // gone, or not ours
    if (reaped < 0) continue;
    if (tried >= millis) return false;
    struct timespec pause = {0, 1000000};
    ::nanosleep(&pause, nullptr);
  }
}

// The highest descriptor number + 1 the process may have, for the child's
// close loop where close_range is missing.
int DescriptorLimit() {
  struct rlimit limit;
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 65536;
  return static_cast<int>(std::min<rlim_t>(limit.rlim_cur, 1 << 20));
}

}  // namespace

Status PosixEnv::DiskFreeBytes(const CString& path, uint64_t* freeBytes, CString* systemError) {
  std::erase_if(unreaped_, [](int pid) { return ReapWithin(pid, 0); });
  auto failed = [systemError](int error) {
    if (systemError != nullptr) *systemError = CString(std::strerror(error));
    return StatusFromErrno(error);
  };
  const std::string fsPath = ToFileSystemPath(path);
  const int maxFd = DescriptorLimit();
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return failed(errno);
  const int64_t deadline = MonotonicMillis() + std::max<int64_t>(diskQueryLimitMillis_, 0);
  const pid_t pid = ::fork();
  if (pid < 0) {
    const int error = errno;
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    return failed(error);
  }
  if (pid == 0) RunDiskQueryChild(pipeFds[1], maxFd, fsPath.c_str(), diskQuery_);
  ::close(pipeFds[1]);
  DiskQueryAnswer answer;
  const Status received = ReadDiskAnswer(pipeFds[0], deadline, &answer);
  ::close(pipeFds[0]);
  if (received == Status::kTimedOut) ::kill(pid, SIGKILL);
  // An answered child is at its _exit; a killed one ends at once unless the
  // kernel holds it, and then it is tried again at the next query.
  if (!ReapWithin(pid, 200)) unreaped_.push_back(pid);
  if (received == Status::kTimedOut) return Status::kTimedOut;
  if (received != Status::kOk) return failed(EIO);
  if (answer.error != 0) return failed(answer.error);
  *freeBytes = answer.freeBytes;
  return Status::kOk;
}

bool PosixEnv::GetVariable(const char* name, std::string* value) {
  if (name == nullptr) return false;
  return LookupEnvironment(name, value);
}

std::vector<std::string> SplitCommandLine(std::string_view line) {
  std::vector<std::string> args;
  size_t i = 0;
  while (i < line.size() && ascii::IsBlank(line[i])) ++i;
  if (i == line.size()) return args;

  // The program name: quotes group and vanish, backslashes are plain.
  std::string program;
  bool quoted = false;
  for (; i < line.size() && (quoted || !ascii::IsBlank(line[i])); ++i) {
    if (line[i] == '"') {
      quoted = !quoted;
    } else {
      program += line[i];
    }
  }
  args.push_back(program);

  for (;;) {
    while (i < line.size() && ascii::IsBlank(line[i])) ++i;
    if (i == line.size()) break;
    std::string arg;
    quoted = false;
    while (i < line.size() && (quoted || !ascii::IsBlank(line[i]))) {
      size_t slashes = 0;
      while (i < line.size() && line[i] == '\\') {
        ++slashes;
        ++i;
      }
      if (i < line.size() && line[i] == '"') {
        arg.append(slashes / 2, '\\');
        if (slashes % 2 == 1) {
          arg += '"';  // an escaped quote
        } else if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
          arg += '"';  // "" inside quotes: one quote, still quoted
          ++i;
        } else {
          quoted = !quoted;
        }
        ++i;
      } else {
        arg.append(slashes, '\\');
        if (i < line.size() && (quoted || !ascii::IsBlank(line[i]))) arg += line[i++];
      }
    }
    args.push_back(arg);
  }
  return args;
}

namespace {

// Marks every descriptor above standard error close-on-exec, for systems
// whose posix_spawn cannot close them in the child itself. The pass has one
// thread and starts no program but through RunCommand, so the flag changes
// nothing else for its own descriptors.
[[maybe_unused]] void MarkCloseOnExecBeyondStandard() {
  auto mark = [](int fd) {
    int flags = ::fcntl(fd, F_GETFD);
    if (flags >= 0 && (flags & FD_CLOEXEC) == 0) ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
  };
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    const int own = ::dirfd(dir);
    while (struct dirent* entry = ::readdir(dir)) {
      char* end = nullptr;
      long fd = std::strtol(entry->d_name, &end, 10);
      if (end == entry->d_name || *end != '\0' || fd <= 2 || fd == own || fd > INT_MAX) continue;
      mark(static_cast<int>(fd));
    }
    ::closedir(dir);
    return;
  }
  long limit = ::sysconf(_SC_OPEN_MAX);
  if (limit < 0 || limit > 65536) limit = 65536;
  for (int fd = 3; fd < limit; ++fd) mark(fd);
}

// Leaves the started program standard input, output and error and nothing
// else of the pass. Database drivers do not mark their connection sockets
// close-on-exec: without this the mail script would hold the pass's
// connection (and any descriptor opened without O_CLOEXEC) as long as it
// runs, and pass it on to whatever it starts.
bool CloseBeyondStandardInChild(posix_spawn_file_actions_t* actions) {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
  return ::posix_spawn_file_actions_addclosefrom_np(actions, 3) == 0;
#else
  (void)actions;
  MarkCloseOnExecBeyondStandard();
  return true;
#endif
}

}  // namespace

int PosixEnv::RunCommand(const CString& command) {
  std::string expanded = ExpandCommandVariables(command.view(), LookupEnvironment);
  std::vector<std::string> args = SplitCommandLine(expanded);
  if (args.empty()) return 0;
  // Backslashes are the program's path separators; each argument is mapped
  // on its own, after the split, so no text is interpreted on the way.
  for (std::string& arg : args) std::replace(arg.begin(), arg.end(), '\\', '/');
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  // The command writes to the same standard streams; what we buffered must
  // come first.
  ::fflush(nullptr);
  if (args[0].empty()) return -1;
  posix_spawn_file_actions_t actions;
  if (::posix_spawn_file_actions_init(&actions) != 0) return -1;
  pid_t pid;
  // posix_spawnp reports a program that cannot be executed (not found, not
  // executable) as its own failure, before anything runs.
  const bool started = CloseBeyondStandardInChild(&actions) &&
                       ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
  ::posix_spawn_file_actions_destroy(&actions);
  if (!started) return -1;
  int wstatus = 0;
  while (::waitpid(pid, &wstatus, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  if (WIFEXITED(wstatus)) return WEXITSTATUS(wstatus);
  if (WIFSIGNALED(wstatus)) return 128 + WTERMSIG(wstatus);
  return -1;
}

Status PosixEnv::GetFileFacts(const CString& path, FileFacts* out) {
  struct stat st;
  if (::stat(ToFileSystemPath(path).c_str(), &st) != 0) return LastErrorStatus();
  FileFacts facts;
  if (S_ISREG(st.st_mode)) {
    facts.kind = FileFacts::Kind::kRegular;
    facts.size = static_cast<int64_t>(st.st_size);
  } else if (S_ISDIR(st.st_mode)) {
    facts.kind = FileFacts::Kind::kDirectory;
  }
  facts.lastChange = LocalTimeOf(st.st_mtime);
  *out = facts;
  return Status::kOk;
}

bool PosixEnv::IsSymbolicLink(const CString& path) {
  struct stat st;
  return ::lstat(ToFileSystemPath(path).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

namespace {

// What a candidate for a program is: kOk for an executable regular file.
Status ProgramStatus(const std::string& fsPath) {
  struct stat st;
  if (::stat(fsPath.c_str(), &st) != 0) return LastErrorStatus();
  if (S_ISDIR(st.st_mode)) return Status::kIsDirectory;
  if (!S_ISREG(st.st_mode)) return Status::kNotAFile;
  return ::access(fsPath.c_str(), X_OK) == 0 ? Status::kOk : Status::kAccessDenied;
}

}  // namespace

Status PosixEnv::ResolveCommand(const CString& commandLine, CString* program) {
  std::string expanded = ExpandCommandVariables(commandLine.view(), LookupEnvironment);
  std::vector<std::string> args = SplitCommandLine(expanded);
  if (args.empty() || args[0].empty()) return Status::kNotFound;
  std::string name = args[0];
  std::replace(name.begin(), name.end(), '\\', '/');
  auto found = [&](const std::string& fsPath) {
    *program = CString(fsPath);
    return Status::kOk;
  };
  if (name.find('/') != std::string::npos) {
    Status status = ProgramStatus(name);
    return status == Status::kOk ? found(name) : status;
  }
  const char* pathVariable = ::getenv("PATH");
  std::string searchPath = pathVariable != nullptr ? pathVariable : "/bin:/usr/bin";
  // The first candidate that exists but cannot be run says why, when no
  // later one can be run either (posix_spawnp goes on searching too).
  Status firstFailure = Status::kNotFound;
  size_t start = 0;
  for (;;) {
    size_t colon = searchPath.find(':', start);
    std::string folder = searchPath.substr(start, colon == std::string::npos ? std::string::npos
                                                                             : colon - start);
    std::string candidate = (folder.empty() ? std::string(".") : folder) + "/" + name;
    Status status = ProgramStatus(candidate);
    if (status == Status::kOk) return found(candidate);
    if (firstFailure == Status::kNotFound) firstFailure = status;
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  return firstFailure;
}

namespace {

// Holds the lock file and, where the folder could be locked too, the
// folder: closing releases both.
class PosixFileLock : public FileLock {
 public:
  PosixFileLock(int fd, int folderFd) : fd_(fd), folderFd_(folderFd) {}
  ~PosixFileLock() override {
    if (folderFd_ >= 0) ::close(folderFd_);
    ::close(fd_);
  }
  PosixFileLock(const PosixFileLock&) = delete;
  PosixFileLock& operator=(const PosixFileLock&) = delete;

 private:
  int fd_;
  int folderFd_;
};

// flock without waiting: 1 when taken, 0 when another holder has it, -1 on
// any other failure (errno says why).
int TryExclusiveLock(int fd) {
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return 1;
    if (errno == EINTR) continue;
    return errno == EWOULDBLOCK ? 0 : -1;
  }
}

// Whether `fd` is still the file at `fsPath` itself (not deleted, not
// replaced by another file or by a link).
bool IsFileAtPath(int fd, const std::string& fsPath) {
  struct stat held, atPath;
  return ::fstat(fd, &held) == 0 && ::lstat(fsPath.c_str(), &atPath) == 0 &&
         held.st_dev == atPath.st_dev && held.st_ino == atPath.st_ino;
}

}  // namespace

Status PosixEnv::LockFile(const CString& path, int64_t waitMillis, std::unique_ptr<FileLock>* out,
                          CString* systemError) {
  const std::string fsPath = ToFileSystemPath(path);
  // flock locks belong to the open file, so a second LockFile in this
  // process conflicts with the first, as one in another process does. The
  // wait polls: a blocking flock could not be given a limit without a
  // signal, and a pass waits seconds at most, not milliseconds.
  const int64_t deadline = MonotonicMillis() + std::max<int64_t>(waitMillis, 0);
  // Sleeps before the next try; false when the wait is over.
  auto pauseBeforeRetry = [deadline]() {
    const int64_t left = deadline - MonotonicMillis();
    if (left <= 0) return false;
    const int64_t pause = std::min<int64_t>(left, 50);
    struct timespec ts = {static_cast<time_t>(pause / 1000), static_cast<long>(pause % 1000) * 1000000};
    ::nanosleep(&ts, nullptr);
    return true;
  };
  auto fail = [systemError](Status status, int error) {
    if (systemError != nullptr) {
      *systemError = status == Status::kIsLink ? CString("symbolic link, not followed")
                                               : CString(std::strerror(error));
    }
    return status;
  };
  for (;;) {
    Status status;
    int error = 0;
    const int fd = OpenRegularFile(fsPath, O_RDWR | O_CREAT, &status, /*refuseLink=*/true, &error);
    if (fd < 0) return fail(status, error);
    const int taken = TryExclusiveLock(fd);
    if (taken < 0) {
      error = errno;
      ::close(fd);
      return fail(LastErrorStatus(), error);
    }
    // Locked, but perhaps a file that was deleted (or replaced) between the
    // open and the lock: another caller would lock the file now at the path.
    if (taken == 0 || !IsFileAtPath(fd, fsPath)) {
      ::close(fd);
      if (!pauseBeforeRetry()) return Status::kBusy;
      continue;
    }
    // A holder whose file was deleted still holds its folder. A folder that
    // cannot be locked (some network file systems) leaves the file's lock
    // alone in force, as before.
    int folderFd = ::open(FolderOf(fsPath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
      const int folderTaken = TryExclusiveLock(folderFd);
      if (folderTaken == 0) {
        ::close(folderFd);
        ::close(fd);
        if (!pauseBeforeRetry()) return Status::kBusy;
        continue;
      }
      if (folderTaken < 0) {
        ::close(folderFd);
        folderFd = -1;
      }
    }
    // Clean-up jobs delete files by age: a lock file in use is a new one.
    ::futimens(fd, nullptr);
    *out = std::make_unique<PosixFileLock>(fd, folderFd);
    return Status::kOk;
  }
}

Env* DefaultEnv() {
  static PosixEnv* env = new PosixEnv();  // never destroyed: used up to exit
  return env;
}

}  // namespace spekolar::platform
