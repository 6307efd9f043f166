#include "platform/WindowsEnv.h"

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <vector>

#include "platform/WindowsHeaders.h"

namespace platform {

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

class WindowsAppendableFile : public AppendableFile {
 public:
  explicit WindowsAppendableFile(HANDLE file) : file_(file) {}
  ~WindowsAppendableFile() override {
    if (file_ != INVALID_HANDLE_VALUE) ::CloseHandle(file_);
  }
  WindowsAppendableFile(const WindowsAppendableFile&) = delete;
  WindowsAppendableFile& operator=(const WindowsAppendableFile&) = delete;

  int64_t Size() override {
    LARGE_INTEGER size;
    if (file_ == INVALID_HANDLE_VALUE || !::GetFileSizeEx(file_, &size)) return -1;
    return static_cast<int64_t>(size.QuadPart);
  }

  bool Append(const char* data, size_t n) override {
    if (file_ == INVALID_HANDLE_VALUE) return false;
    std::string text = ToTextForm(std::string_view(data, n));
    if (!WriteAll(file_, text.data(), text.size())) {
      failed_ = true;
      return false;
    }
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
  HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    Status status = LastErrorStatus();
    // Opening a folder for reading is refused with "access denied".
    if (status == Status::kAccessDenied && IsDirectory(path)) return Status::kIsDirectory;
    return status;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (::GetFileInformationByHandle(file, &info) &&
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    ::CloseHandle(file);
    return Status::kIsDirectory;
  }
  *out = std::make_unique<WindowsReadableFile>(file);
  return Status::kOk;
}

Status WindowsEnv::OpenForAppend(const CString& path, std::unique_ptr<AppendableFile>* out) {
  HANDLE file = ::CreateFileA(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                              kShareAll, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    Status status = LastErrorStatus();
    if (status == Status::kAccessDenied && IsDirectory(path)) return Status::kIsDirectory;
    return status;
  }
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
  std::unique_ptr<ReadableFile> file;
  Status status = OpenForRead(path, &file);
  if (status != Status::kOk) return status;
  std::string data;
  char buf[8192];
  for (;;) {
    long got = file->Read(buf, sizeof buf);
    if (got < 0) return Status::kIoError;
    if (got == 0) break;
    data.append(buf, static_cast<size_t>(got));
  }
  *out = std::move(data);
  return Status::kOk;
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

LocalTime WindowsEnv::Now() {
  SYSTEMTIME st;
  ::GetLocalTime(&st);
  LocalTime t;
  t.year = st.wYear;
  t.month = st.wMonth;
  t.day = st.wDay;
  t.hour = st.wHour;
  t.minute = st.wMinute;
  t.second = st.wSecond;
  return t;
}

Status WindowsEnv::DiskFreeBytes(const CString& path, uint64_t* freeBytes) {
  ULARGE_INTEGER available, total, totalFree;
  if (!::GetDiskFreeSpaceExA(path.c_str(), &available, &total, &totalFree)) {
    return LastErrorStatus();
  }
  *freeBytes = totalFree.QuadPart;
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

int WindowsEnv::RunCommand(const CString& command) {
  // The command writes to the same standard streams; what we buffered must
  // come first.
  ::fflush(nullptr);
  return ::system(command.c_str());
}

bool WindowsEnv::FrameworkInit() {
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  return true;
}

Env* DefaultEnv() {
  static WindowsEnv* env = new WindowsEnv();  // never destroyed: used up to exit
  return env;
}

}  // namespace platform
