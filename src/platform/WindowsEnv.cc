#include "platform/WindowsEnv.h"

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "platform/WindowsHeaders.h"

namespace spekolar::platform {

namespace {

// The one place where a system error code becomes a Status.
Status StatusFromError(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_FILENAME_EXCED_RANGE:
      return Status::kNotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
    case ERROR_ALREADY_EXISTS:  // a rename onto an existing name
    case ERROR_FILE_EXISTS:
      return Status::kAccessDenied;
    case ERROR_DIRECTORY:
      return Status::kIsDirectory;
    case ERROR_PIPE_BUSY:  // a named pipe: never a file, and never waited for
      return Status::kNotAFile;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return Status::kNoSpace;
    default:
      return Status::kIoError;
  }
}

Status LastErrorStatus() { return StatusFromError(::GetLastError()); }

bool IsDirectory(const CString& path) {
  DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Keeps `file` when it is a regular file on a disk; otherwise closes it and
// says why. CreateFileA opens devices (NUL, CON, COM1) and pipes as well as
// files: reading the console or a serial line would wait for input that
// never comes, and a device is no configuration or protocol file.
Status AcceptRegularFile(HANDLE file) {
  Status status = Status::kOk;
  BY_HANDLE_FILE_INFORMATION info;
  if (::GetFileType(file) != FILE_TYPE_DISK) {
    status = Status::kNotAFile;
  } else if (!::GetFileInformationByHandle(file, &info)) {
    status = LastErrorStatus();
  } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    status = Status::kIsDirectory;
  } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) != 0) {
    status = Status::kNotAFile;
  }
  if (status != Status::kOk) ::CloseHandle(file);
  return status;
}

// Whether `file` is a symbolic link or a junction itself (opened with
// FILE_FLAG_OPEN_REPARSE_POINT), not a file. Other reparse points (cloud
// placeholders, deduplicated files) are files and stay accepted.
bool IsNameSurrogate(HANDLE file) {
  FILE_ATTRIBUTE_TAG_INFO info;
  return ::GetFileInformationByHandleEx(file, FileAttributeTagInfo, &info, sizeof info) &&
         (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
         IsReparseTagNameSurrogate(info.ReparseTag);
}

// Opens `path` as CreateFileA does with these arguments and keeps the handle
// only for a regular file: kIsDirectory for a folder (which the system
// refuses with "access denied" when no backup semantics are asked for),
// kNotAFile for a device or a pipe. Never waits: an open that another
// process's sharing mode forbids fails at once (kAccessDenied). With
// `refuseLink`, a symbolic link or junction as the last component is opened
// as itself and refused (kIsLink) instead of being followed. On failure,
// *error (when not null) is the system's error code.
Status OpenRegularFile(const CString& path, DWORD access, DWORD share, DWORD disposition,
                       HANDLE* out, bool refuseLink = false, DWORD* error = nullptr) {
  const DWORD flags = FILE_ATTRIBUTE_NORMAL | (refuseLink ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
  HANDLE file = ::CreateFileA(path.c_str(), access, share, nullptr, disposition, flags, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD openError = ::GetLastError();
    if (error != nullptr) *error = openError;
    Status status = StatusFromError(openError);
    if (status == Status::kAccessDenied && IsDirectory(path)) return Status::kIsDirectory;
    return status;
  }
  if (refuseLink && IsNameSurrogate(file)) {
    ::CloseHandle(file);
    if (error != nullptr) *error = ERROR_CANT_ACCESS_FILE;
    return Status::kIsLink;
  }
  Status status = AcceptRegularFile(file);
  if (status == Status::kOk) {
    *out = file;
  } else if (error != nullptr) {
    *error = status == Status::kIsDirectory ? ERROR_DIRECTORY : ERROR_BAD_FILE_TYPE;
  }
  return status;
}

// Others may go on writing, renaming or deleting a file while we read or
// append to it, as with the C runtime's files.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Writes all bytes; false when the system wrote fewer.
bool WriteAll(HANDLE file, const char* data, size_t n) {
  while (n > 0) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(n, 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(file, data, chunk, &written, nullptr) || written == 0) return false;
    data += written;
    n -= written;
  }
  return true;
}

class WindowsReadableFile : public ReadableFile {
 public:
  explicit WindowsReadableFile(HANDLE file) : file_(file) {}
  ~WindowsReadableFile() override { ::CloseHandle(file_); }
  WindowsReadableFile(const WindowsReadableFile&) = delete;
  WindowsReadableFile& operator=(const WindowsReadableFile&) = delete;

  long Read(char* buf, size_t n) override {
    DWORD got = 0;
    DWORD want = static_cast<DWORD>(std::min<size_t>(n, 1u << 30));
    if (!::ReadFile(file_, buf, want, &got, nullptr)) return -1;
    return static_cast<long>(got);
  }

 private:
  HANDLE file_;
};

// Written through a handle with write access, not append-only access: the
// file can then be cut back (SetEndOfFile needs write access). Each Append
// first moves to the end, as the C runtime's append mode does, so entries
// of other writers are never overwritten.
class WindowsAppendableFile : public AppendableFile {
 public:
  explicit WindowsAppendableFile(HANDLE file) : file_(file) {}
  ~WindowsAppendableFile() override {
    if (file_ != INVALID_HANDLE_VALUE) ::CloseHandle(file_);
  }
  WindowsAppendableFile(const WindowsAppendableFile&) = delete;
  WindowsAppendableFile& operator=(const WindowsAppendableFile&) = delete;

  // Bytes on disk, CR LF counted as two: the sizes Truncate takes.
  int64_t Size() override {
    LARGE_INTEGER size;
    if (file_ == INVALID_HANDLE_VALUE || !::GetFileSizeEx(file_, &size)) return -1;
    return static_cast<int64_t>(size.QuadPart);
  }

  bool Append(const char* data, size_t n) override {
    if (file_ == INVALID_HANDLE_VALUE) return false;
    std::string text = ToTextForm(std::string_view(data, n));
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    if (!::SetFilePointerEx(file_, zero, nullptr, FILE_END) ||
        !WriteAll(file_, text.data(), text.size())) {
      failed_ = true;
      return false;
    }
    return true;
  }

  // Sizes are bytes on disk, so a cut-back takes an entry's CR bytes with
  // it. A cut-back after a failed write takes the failure back: Close then
  // reports only what happened afterwards.
  bool Truncate(int64_t size) override {
    if (file_ == INVALID_HANDLE_VALUE || size < 0) return false;
    LARGE_INTEGER position;
    position.QuadPart = size;
    if (!::SetFilePointerEx(file_, position, nullptr, FILE_BEGIN) || !::SetEndOfFile(file_)) {
      return false;
    }
    failed_ = false;
    return true;
  }

  // Nothing is buffered here, so a failed write has already been seen.
  bool Close() override {
    if (file_ == INVALID_HANDLE_VALUE) return false;
    bool closed = ::CloseHandle(file_) != 0;
    file_ = INVALID_HANDLE_VALUE;
    return closed && !failed_;
  }

 private:
  HANDLE file_;
  bool failed_ = false;
};

// The exclusive lock: the lock file held open without any sharing, so that
// every other open of it, in this process or another, fails until the
// handle is closed (by the destructor, or by the system when the process
// ends).
class WindowsFileLock : public FileLock {
 public:
  explicit WindowsFileLock(HANDLE file) : file_(file) {}
  ~WindowsFileLock() override { ::CloseHandle(file_); }
  WindowsFileLock(const WindowsFileLock&) = delete;
  WindowsFileLock& operator=(const WindowsFileLock&) = delete;

 private:
  HANDLE file_;
};

// The system's description of an error code in the ANSI code page (the
// language of the system), without the line end it ends with; the code
// itself when the system has no text for it.
CString SystemErrorText(DWORD error) {
  char* text = nullptr;
  DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message;
  if (length > 0 && text != nullptr) message.assign(text, length);
  if (text != nullptr) ::LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
    message.pop_back();
  }
  if (message.empty()) message = "Fehler " + std::to_string(error);
  return CString(message);
}

// The folder part of a path, separator included ("" when there is none).
std::string FolderPart(const std::string& path) {
  size_t cut = path.find_last_of("\\/");
  if (cut == std::string::npos) {
    // "C:name" lies in the current folder of drive C.
    return path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) : std::string();
  }
  return path.substr(0, cut + 1);
}

// GetFullPathNameA of `path`; empty on failure.
std::string FullPath(const std::string& path) {
  DWORD needed = ::GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return std::string();
  std::vector<char> buffer(needed + 1);
  DWORD got = ::GetFullPathNameA(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(),
                                 nullptr);
  if (got == 0 || got >= buffer.size()) return std::string();
  return std::string(buffer.data(), got);
}

}  // namespace

std::string ToTextForm(std::string_view data) {
  std::string text;
  text.reserve(data.size() + data.size() / 32);
  for (char c : data) {
    if (c == '\n') text += '\r';
    text += c;
  }
  return text;
}

Status WindowsEnv::OpenForRead(const CString& path, std::unique_ptr<ReadableFile>* out) {
  HANDLE file = INVALID_HANDLE_VALUE;
  Status status = OpenRegularFile(path, GENERIC_READ, kShareAll, OPEN_EXISTING, &file);
  if (status != Status::kOk) return status;
  *out = std::make_unique<WindowsReadableFile>(file);
  return Status::kOk;
}

Status WindowsEnv::OpenForAppend(const CString& path, std::unique_ptr<AppendableFile>* out) {
  HANDLE file = INVALID_HANDLE_VALUE;
  Status status =
      OpenRegularFile(path, GENERIC_WRITE | FILE_READ_ATTRIBUTES, kShareAll, OPEN_ALWAYS, &file,
                      /*refuseLink=*/true);
  if (status != Status::kOk) return status;
  *out = std::make_unique<WindowsAppendableFile>(file);
  return Status::kOk;
}

Status WindowsEnv::DeleteFile(const CString& path) {
  if (!::DeleteFileA(path.c_str())) return LastErrorStatus();
  return Status::kOk;
}

Status WindowsEnv::RenameFile(const CString& from, const CString& to) {
  // Without MOVEFILE_REPLACE_EXISTING an existing target is refused, as the
  // C runtime's rename refuses it.
  if (!::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_COPY_ALLOWED)) return LastErrorStatus();
  return Status::kOk;
}

Status WindowsEnv::ReadWholeFile(const CString& path, std::string* out) {
  HANDLE handle = INVALID_HANDLE_VALUE;
  Status status = OpenRegularFile(path, GENERIC_READ, kShareAll, OPEN_EXISTING, &handle);
  if (status != Status::kOk) return status;
  WindowsReadableFile file(handle);
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(handle, &size)) return LastErrorStatus();
  if (size.QuadPart > kMaxWholeFileBytes) return Status::kTooLarge;
  return ReadAllCapped(file, size.QuadPart, out);
}

Status WindowsEnv::WriteFileAtomically(const CString& path, const std::string& data) {
  std::string folder = FolderPart(path.str());
  char temp[MAX_PATH + 1];
  if (::GetTempFileNameA(folder.empty() ? "." : folder.c_str(), "spk", 0, temp) == 0) {
    return LastErrorStatus();
  }
  HANDLE file = ::CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    Status status = LastErrorStatus();
    ::DeleteFileA(temp);
    return status;
  }
  Status status = Status::kOk;
  if (!WriteAll(file, data.data(), data.size()) || !::FlushFileBuffers(file)) {
    status = LastErrorStatus();
  }
  if (!::CloseHandle(file) && status == Status::kOk) status = LastErrorStatus();
  if (status == Status::kOk &&
      !::MoveFileExA(temp, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    status = LastErrorStatus();
  }
  if (status != Status::kOk) ::DeleteFileA(temp);
  return status;
}

Status WindowsEnv::ReplaceOwnFile(const CString& path, const std::string& data) {
  // MoveFileEx replaces a link at the path itself rather than its target.
  if (IsSymbolicLink(path)) return Status::kIsLink;
  return WriteFileAtomically(path, data);
}

bool WindowsEnv::IsWritable(const CString& path) {
  DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) return false;
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(file);
    return true;
  }
  if (StatusFromError(::GetLastError()) != Status::kNotFound) return false;
  // Missing: whether it could be created, tried with a file that goes away
  // again when closed.
  HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(file);
  return true;
}

std::vector<FoundFile> WindowsEnv::FindFiles(const CString& pattern) {
  std::vector<FoundFile> found;
  std::string text = pattern.str();
  std::string folder = FolderPart(text);
  if (folder.size() == text.size()) return found;  // no name part
  // The folder as an absolute path with its final separator.
  std::string root = FullPath(folder.empty() ? std::string(".") : folder);
  if (root.empty()) return found;
  if (root.back() != '\\') root += '\\';

  WIN32_FIND_DATAA data;
  HANDLE search = ::FindFirstFileA(text.c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return found;
  std::vector<std::string> names;
  do {
    std::string name = data.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (::FindNextFileA(search, &data));
  ::FindClose(search);

  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return FoundNameLess(a, b); });
  for (const std::string& name : names) {
    found.push_back(FoundFile{CString(root + name), CString(name)});
  }
  return found;
}

namespace {

LocalTime FromSystemTime(const SYSTEMTIME& st) {
  LocalTime t;
  t.year = st.wYear;
  t.month = st.wMonth;
  t.day = st.wDay;
  t.hour = st.wHour;
  t.minute = st.wMinute;
  t.second = st.wSecond;
  return t;
}

}  // namespace

CString WindowsEnv::UserName() {
  char name[257];
  DWORD size = sizeof name;
  if (!::GetUserNameA(name, &size) || size == 0) return CString();
  return CString(name, static_cast<size_t>(size - 1));
}

LocalTime WindowsEnv::Now() {
  SYSTEMTIME st;
  ::GetLocalTime(&st);
  return FromSystemTime(st);
}

unsigned long QueryVolumeFreeBytes(const char* path, uint64_t* freeBytes) {
  ULARGE_INTEGER available, total, totalFree;
  if (!::GetDiskFreeSpaceExA(path, &available, &total, &totalFree)) return ::GetLastError();
  *freeBytes = totalFree.QuadPart;
  return ERROR_SUCCESS;
}

namespace {

// What DiskFreeBytes and its query thread share. It lives on the heap with
// two references, one for each side, and whichever side lets go last frees
// it: normally the caller after the thread has ended, but after a time-out
// the thread, whenever its call returns (the caller has gone on by then).
struct DiskQueryBlock {
  LONG references = 2;
  std::string path;
  WindowsDiskQuery query = nullptr;
  uint64_t freeBytes = 0;
  DWORD error = ERROR_SUCCESS;
};

void Release(DiskQueryBlock* block) {
  if (::InterlockedDecrement(&block->references) == 0) delete block;
}

DWORD WINAPI DiskQueryThread(LPVOID parameter) {
  auto* block = static_cast<DiskQueryBlock*>(parameter);
  block->error = block->query(block->path.c_str(), &block->freeBytes);
  Release(block);
  return 0;
}

}  // namespace

Status WindowsEnv::DiskFreeBytes(const CString& path, uint64_t* freeBytes, CString* systemError) {
  auto* block = new DiskQueryBlock;
  block->path = path.str();
  block->query = diskQuery_;
  HANDLE thread = ::CreateThread(nullptr, 64 * 1024, DiskQueryThread, block,
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (thread == nullptr) {
    const DWORD error = ::GetLastError();
    delete block;  // no thread holds it
    if (systemError != nullptr) *systemError = SystemErrorText(error);
    return StatusFromError(error);
  }
  const DWORD limit = static_cast<DWORD>(std::clamp<int64_t>(diskQueryLimitMillis_, 0, 0x7FFFFFFF));
  const DWORD waited = ::WaitForSingleObject(thread, limit);
  ::CloseHandle(thread);
  if (waited != WAIT_OBJECT_0) {
    Release(block);  // the thread frees it when its call returns
    return Status::kTimedOut;
  }
  // The thread has ended: its results are complete and visible here.
  const DWORD error = block->error;
  const uint64_t bytes = block->freeBytes;
  Release(block);
  if (error != ERROR_SUCCESS) {
    if (systemError != nullptr) *systemError = SystemErrorText(error);
    return StatusFromError(error);
  }
  *freeBytes = bytes;
  return Status::kOk;
}

bool WindowsEnv::GetVariable(const char* name, std::string* value) {
  if (name == nullptr || *name == '\0') return false;
  ::SetLastError(ERROR_SUCCESS);
  DWORD needed = ::GetEnvironmentVariableA(name, nullptr, 0);
  if (needed == 0) {
    if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
    value->clear();  // defined and empty
    return true;
  }
  std::vector<char> buffer(needed);
  DWORD got = ::GetEnvironmentVariableA(name, buffer.data(), needed);
  if (got >= needed) return false;  // changed in between; treat as unknown
  value->assign(buffer.data(), got);
  return true;
}

namespace {

// The command processor system() would start: %ComSpec%, else cmd.exe in
// the system folder. Empty when neither can be named.
std::string CommandProcessorPath(WindowsEnv& env) {
  std::string comspec;
  if (env.GetVariable("ComSpec", &comspec) && !comspec.empty()) return comspec;
  char folder[MAX_PATH];
  const UINT length = ::GetSystemDirectoryA(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::string();
  return std::string(folder, length) + "\\cmd.exe";
}

bool IsConsole(HANDLE handle) {
  DWORD mode;
  return ::GetFileType(handle) == FILE_TYPE_CHAR && ::GetConsoleMode(handle, &mode);
}

// Starts `commandLine` (program `application`) and waits for it. Only the
// standard handles in `inherited` are passed on: the C runtime opens its
// files inheritable and Winsock its sockets, so a plain inheriting start
// would hand the command the database connection, the lock file and every
// open protocol file. With `inherited` empty nothing is inherited, and a
// console child takes its standard handles from the shared console.
// Returns false when the program could not be started.
bool StartAndWait(const std::string& application, std::string commandLine,
                  const std::vector<HANDLE>& inherited, HANDLE standard[3], DWORD* exitCode) {
  STARTUPINFOEXA info{};
  info.StartupInfo.cb = sizeof(STARTUPINFOA);
  std::vector<char> attributeBuffer;
  DWORD flags = 0;
  if (!inherited.empty()) {
    SIZE_T size = 0;
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    attributeBuffer.resize(size);
    info.lpAttributeList = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributeBuffer.data());
    if (!::InitializeProcThreadAttributeList(info.lpAttributeList, 1, 0, &size)) return false;
    if (!::UpdateProcThreadAttribute(info.lpAttributeList, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                     const_cast<HANDLE*>(inherited.data()),
                                     inherited.size() * sizeof(HANDLE), nullptr, nullptr)) {
      ::DeleteProcThreadAttributeList(info.lpAttributeList);
      return false;
    }
    info.StartupInfo.cb = sizeof(STARTUPINFOEXA);
    info.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    info.StartupInfo.hStdInput = standard[0];
    info.StartupInfo.hStdOutput = standard[1];
    info.StartupInfo.hStdError = standard[2];
    flags = EXTENDED_STARTUPINFO_PRESENT;
  }
  PROCESS_INFORMATION process{};
  // A bare name (a ComSpec without folder) is searched for as system() would.
  const char* program = application.find_first_of("\\/:") == std::string::npos ? nullptr
                                                                              : application.c_str();
  const BOOL started = ::CreateProcessA(program, commandLine.data(), nullptr, nullptr,
                                        inherited.empty() ? FALSE : TRUE, flags, nullptr, nullptr,
                                        &info.StartupInfo, &process);
  const DWORD startError = ::GetLastError();
  if (info.lpAttributeList != nullptr) ::DeleteProcThreadAttributeList(info.lpAttributeList);
  if (!started) {
    ::SetLastError(startError);
    return false;
  }
  ::CloseHandle(process.hThread);
  ::WaitForSingleObject(process.hProcess, INFINITE);
  const BOOL gotCode = ::GetExitCodeProcess(process.hProcess, exitCode);
  ::CloseHandle(process.hProcess);
  return gotCode != FALSE;
}

}  // namespace

int WindowsEnv::RunCommand(const CString& command) {
  const std::string& line = command.str();
  if (line.find_first_not_of(" \t") == std::string::npos) return 0;
  // cmd /c takes a command line that begins with a double quote apart: it
  // drops that quote and the line's last one (unless the line is exactly
  // one quoted program name), so '"C:\php dir\php.exe" "x y.php"' would
  // lose its outer quotes. One more pair around a line that holds a quote
  // is what cmd drops then, and the line runs as written.
  const std::string run = line.find('"') == std::string::npos ? line : "\"" + line + "\"";
  // cmd /c <line>, as system() starts it; cmd expands %NAME% itself.
  const std::string processor = CommandProcessorPath(*this);
  if (processor.empty()) return -1;
  const std::string commandLine = "\"" + processor + "\" /c " + run;

  // A standard handle redirected to a file or pipe reaches the command only
  // when it is inherited; a console handle reaches it through the console.
  // So: nothing inherited when no standard handle is redirected, else the
  // standard handles that are valid and can be made inheritable (their
  // inherit flags are set back afterwards), and nothing else.
  HANDLE standard[3] = {::GetStdHandle(STD_INPUT_HANDLE), ::GetStdHandle(STD_OUTPUT_HANDLE),
                        ::GetStdHandle(STD_ERROR_HANDLE)};
  auto valid = [](HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; };
  bool redirected = false;
  for (HANDLE h : standard) redirected = redirected || (valid(h) && !IsConsole(h));
  std::vector<HANDLE> inherited;
  std::vector<std::pair<HANDLE, DWORD>> restore;
  if (redirected) {
    for (HANDLE h : standard) {
      if (!valid(h) || std::find(inherited.begin(), inherited.end(), h) != inherited.end()) continue;
      DWORD before = 0;
      if (!::GetHandleInformation(h, &before)) continue;
      if ((before & HANDLE_FLAG_INHERIT) == 0) {
        if (!::SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT)) continue;
        restore.emplace_back(h, before);
      }
      inherited.push_back(h);
    }
  }

  // The command writes to the same standard streams; what we buffered must
  // come first.
  ::fflush(nullptr);
  DWORD exitCode = 0;
  bool ran = StartAndWait(processor, commandLine, inherited, standard, &exitCode);
  if (!ran && !inherited.empty() && ::GetLastError() == ERROR_INVALID_PARAMETER) {
    // A system that refuses one of the handles in the list (old consoles'
    // pseudo handles): start without inheriting anything rather than with
    // everything.
    ran = StartAndWait(processor, commandLine, {}, standard, &exitCode);
  }
  for (const auto& [h, flags] : restore) {
    ::SetHandleInformation(h, HANDLE_FLAG_INHERIT, flags & HANDLE_FLAG_INHERIT);
  }
  return ran ? static_cast<int>(exitCode) : -1;
}

namespace {

LocalTime LocalTimeOf(const FILETIME& utc) {
  FILETIME local;
  SYSTEMTIME st{};
  if (!::FileTimeToLocalFileTime(&utc, &local) || !::FileTimeToSystemTime(&local, &st)) {
    return LocalTime{};
  }
  return FromSystemTime(st);
}

// What a candidate for a program is: kOk for a file that is no folder.
Status ProgramStatus(const std::string& path) {
  DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return LastErrorStatus();
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? Status::kIsDirectory : Status::kOk;
}

}  // namespace

Status WindowsEnv::GetFileFacts(const CString& path, FileFacts* out) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return LastErrorStatus();
  FileFacts facts;
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    facts.kind = FileFacts::Kind::kDirectory;
  } else if ((data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) == 0) {
    facts.kind = FileFacts::Kind::kRegular;
    facts.size = static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) |
                                      data.nFileSizeLow);
  }
  facts.lastChange = LocalTimeOf(data.ftLastWriteTime);
  *out = facts;
  return Status::kOk;
}

bool WindowsEnv::IsSymbolicLink(const CString& path) {
  // Opened as itself, with no access asked: reads no data and takes no share.
  HANDLE file = ::CreateFileA(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool link = IsNameSurrogate(file);
  ::CloseHandle(file);
  return link;
}

Status WindowsEnv::ResolveCommand(const CString& commandLine, CString* program) {
  // cmd expands %NAME% before it looks at the line.
  const DWORD needed = ::ExpandEnvironmentStringsA(commandLine.c_str(), nullptr, 0);
  std::vector<char> buffer(needed + 1, '\0');
  if (needed == 0 || ::ExpandEnvironmentStringsA(commandLine.c_str(), buffer.data(), needed) == 0) {
    return Status::kNotFound;
  }
  const std::string line(buffer.data());
  size_t start = line.find_first_not_of(" \t");
  if (start == std::string::npos) return Status::kNotFound;
  std::string name;
  if (line[start] == '"') {
    const size_t close = line.find('"', start + 1);
    name = line.substr(start + 1, close == std::string::npos ? std::string::npos : close - start - 1);
  } else {
    const size_t end = line.find_first_of(" \t", start);
    name = line.substr(start, end == std::string::npos ? std::string::npos : end - start);
  }
  if (name.empty()) return Status::kNotFound;
  if (name.find_first_of("\\/:") != std::string::npos) {
    Status status = ProgramStatus(name);
    if (status == Status::kOk) *program = CString(name);
    return status;
  }
  // A bare name: the current folder, then PATH, with .exe added when the
  // name has no extension (the extensions cmd tries besides are scripts).
  char found[MAX_PATH];
  const DWORD length = ::SearchPathA(nullptr, name.c_str(), ".exe", MAX_PATH, found, nullptr);
  if (length == 0 || length >= MAX_PATH) return Status::kNotFound;
  *program = CString(std::string(found, length));
  return ProgramStatus(found);
}

Status WindowsEnv::LockFile(const CString& path, int64_t waitMillis,
                            std::unique_ptr<FileLock>* out, CString* systemError) {
  // Without any sharing, only one open of the file can exist at a time; a
  // second one fails at once with a sharing violation, and is tried again
  // until the limit. Read access is enough for that, so a lock file that
  // was made read-only still locks. Without FILE_SHARE_DELETE the file
  // cannot be deleted while it is held, so there is only ever one file to
  // hold and no folder lock is needed.
  const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(std::max<int64_t>(waitMillis, 0));
  for (;;) {
    HANDLE file = INVALID_HANDLE_VALUE;
    DWORD error = ERROR_SUCCESS;
    Status status = OpenRegularFile(path, GENERIC_READ, 0, OPEN_ALWAYS, &file,
                                    /*refuseLink=*/true, &error);
    if (status == Status::kOk) {
      *out = std::make_unique<WindowsFileLock>(file);
      return Status::kOk;
    }
    if (error != ERROR_SHARING_VIOLATION) {
      if (systemError != nullptr) {
        *systemError = status == Status::kIsLink ? CString("symbolic link, not followed")
                                                 : SystemErrorText(error);
      }
      return status;
    }
    const ULONGLONG now = ::GetTickCount64();
    if (now >= deadline) return Status::kBusy;
    ::Sleep(static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 50)));
  }
}

bool WindowsEnv::FrameworkInit() {
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  return true;
}

Env* DefaultEnv() {
  static WindowsEnv* env = new WindowsEnv();  // never destroyed: used up to exit
  return env;
}

}  // namespace spekolar::platform
