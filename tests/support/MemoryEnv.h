// An Env over files held in memory, for the unit tests and the fuzz
// targets: no file system, no clock, no processes, so that a run depends on
// the files and values set here alone and costs microseconds. Header only:
// the fuzz targets use it without GoogleTest.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/Env.h"

namespace spekolar::spktest {

class MemoryEnv : public platform::Env {
 public:
  std::map<std::string, std::string> files;      // path as the program writes it -> bytes
  std::map<std::string, std::string> variables;  // environment
  platform::LocalTime now{2026, 12, 7, 23, 30, 0};

  platform::Status OpenForRead(const CString& path,
                               std::unique_ptr<platform::ReadableFile>* out) override {
    auto it = files.find(path.str());
    if (it == files.end()) return platform::Status::kNotFound;
    *out = std::make_unique<platform::BytesFile>(it->second);
    return platform::Status::kOk;
  }
  platform::Status OpenForAppend(const CString& path,
                                 std::unique_ptr<platform::AppendableFile>* out) override {
    *out = std::make_unique<Appender>(&files[path.str()]);
    return platform::Status::kOk;
  }
  platform::Status DeleteFile(const CString& path) override {
    return files.erase(path.str()) ? platform::Status::kOk : platform::Status::kNotFound;
  }
  platform::Status RenameFile(const CString& from, const CString& to) override {
    auto it = files.find(from.str());
    if (it == files.end()) return platform::Status::kNotFound;
    if (files.count(to.str())) return platform::Status::kAccessDenied;
    files[to.str()] = std::move(it->second);
    files.erase(from.str());
    return platform::Status::kOk;
  }
  platform::Status ReadWholeFile(const CString& path, std::string* out) override {
    auto it = files.find(path.str());
    if (it == files.end()) return platform::Status::kNotFound;
    *out = it->second;
    return platform::Status::kOk;
  }
  platform::Status WriteFileAtomically(const CString& path, const std::string& data) override {
    files[path.str()] = data;
    return platform::Status::kOk;
  }
  platform::Status ReplaceOwnFile(const CString& path, const std::string& data) override {
    return WriteFileAtomically(path, data);
  }
  bool IsWritable(const CString&) override { return true; }
  // Exact names only: its users name their files without wildcards.
  std::vector<platform::FoundFile> FindFiles(const CString& pattern) override {
    std::vector<platform::FoundFile> found;
    auto it = files.find(pattern.str());
    if (it == files.end()) return found;
    const std::string& path = it->first;
    size_t cut = path.find_last_of("\\/");
    found.push_back({CString(path), CString(cut == std::string::npos ? path : path.substr(cut + 1))});
    return found;
  }
  platform::LocalTime Now() override { return now; }
  platform::Status DiskFreeBytes(const CString&, uint64_t* freeBytes, CString*) override {
    *freeBytes = uint64_t{1} << 40;
    return platform::Status::kOk;
  }
  bool GetVariable(const char* name, std::string* value) override {
    auto it = variables.find(name);
    if (it == variables.end()) return false;
    *value = it->second;
    return true;
  }
  int RunCommand(const CString&) override { return 0; }
  platform::Status GetFileFacts(const CString& path, platform::FileFacts* out) override {
    auto it = files.find(path.str());
    if (it == files.end()) return platform::Status::kNotFound;
    out->kind = platform::FileFacts::Kind::kRegular;
    out->size = static_cast<int64_t>(it->second.size());
    out->lastChange = now;
    return platform::Status::kOk;
  }
  bool IsSymbolicLink(const CString&) override { return false; }  // memory has no links
  platform::Status ResolveCommand(const CString&, CString*) override {
    return platform::Status::kNotFound;
  }
  platform::Status LockFile(const CString&, int64_t, std::unique_ptr<platform::FileLock>* out,
                            CString*) override {
    *out = std::make_unique<platform::FileLock>();
    return platform::Status::kOk;
  }

 private:
  class Appender : public platform::AppendableFile {
   public:
    explicit Appender(std::string* bytes) : bytes_(bytes) {}
    int64_t Size() override { return static_cast<int64_t>(bytes_->size()); }
    bool Append(const char* data, size_t n) override {
      bytes_->append(data, n);
      return true;
    }
    bool Truncate(int64_t size) override {
      bytes_->resize(static_cast<size_t>(size));
      return true;
    }
    bool Close() override { return true; }

   private:
    std::string* bytes_;
  };
};
}  // namespace spekolar::spktest
