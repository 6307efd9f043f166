#include "support/TestEnv.h"

#include <utility>

namespace spekolar::spktest {

FixedClockEnv::FixedClockEnv(int year, int month, int day, int hour, int minute, int second,
                             platform::Env* target)
    : EnvWrapper(target) {
  now_.year = year;
  now_.month = month;
  now_.day = day;
  now_.hour = hour;
  now_.minute = minute;
  now_.second = second;
}

namespace {

// An appendable file whose Append and Close consult the owning Env's fault
// settings before forwarding to the real file.
class FaultyAppendableFile : public platform::AppendableFile {
 public:
  FaultyAppendableFile(FaultInjectionEnv* env, std::unique_ptr<platform::AppendableFile> inner)
      : env_(env), inner_(std::move(inner)) {}

  int64_t Size() override {
    if (env_->NextOperationFails()) return -1;
    return inner_->Size();
  }
  bool Append(const char* data, size_t n) override {
    if (env_->NextOperationFails()) {
      if (env_->failKind() == platform::Status::kNoSpace) inner_->Append(data, n / 2);
      return false;
    }
    if (env_->NextAppendFails()) return false;
    return inner_->Append(data, n);
  }
  bool Truncate(int64_t size) override {
    if (env_->NextOperationFails()) return false;
    return inner_->Truncate(size);
  }
  bool Close() override {
    if (env_->NextOperationFails()) {
      inner_->Close();
      return false;
    }
    bool ok = inner_->Close();
    return ok && !env_->closeFails();
  }

 private:
  FaultInjectionEnv* env_;
  std::unique_ptr<platform::AppendableFile> inner_;
};

// A readable file whose reads count as operations of the owning Env.
class FaultyReadableFile : public platform::ReadableFile {
 public:
  FaultyReadableFile(FaultInjectionEnv* env, std::unique_ptr<platform::ReadableFile> inner)
      : env_(env), inner_(std::move(inner)) {}

  long Read(char* buf, size_t n) override {
    if (env_->NextOperationFails()) return -1;
    return inner_->Read(buf, n);
  }

 private:
  FaultInjectionEnv* env_;
  std::unique_ptr<platform::ReadableFile> inner_;
};

}  // namespace

bool FaultInjectionEnv::NextAppendFails() {
  ++appendCount_;
  if (failAppendAt_ <= 0) return false;
  if (appendCount_ == failAppendAt_) return true;
  return failAppendsAfter_ && appendCount_ > failAppendAt_;
}

platform::Status FaultInjectionEnv::OpenForRead(const CString& path,
                                                std::unique_ptr<platform::ReadableFile>* out) {
  if (NextOperationFails()) return failKind_;
  if (openForReadStatus_ != platform::Status::kOk) return openForReadStatus_;
  std::unique_ptr<platform::ReadableFile> inner;
  platform::Status status = EnvWrapper::OpenForRead(path, &inner);
  if (status != platform::Status::kOk) return status;
  *out = std::make_unique<FaultyReadableFile>(this, std::move(inner));
  return platform::Status::kOk;
}

platform::Status FaultInjectionEnv::OpenForAppend(
    const CString& path, std::unique_ptr<platform::AppendableFile>* out) {
  if (NextOperationFails()) return failKind_;
  if (openForAppendStatus_ != platform::Status::kOk) return openForAppendStatus_;
  std::unique_ptr<platform::AppendableFile> inner;
  platform::Status status = EnvWrapper::OpenForAppend(path, &inner);
  if (status != platform::Status::kOk) return status;
  *out = std::make_unique<FaultyAppendableFile>(this, std::move(inner));
  return platform::Status::kOk;
}

platform::Status FaultInjectionEnv::RenameFile(const CString& from, const CString& to) {
  if (NextOperationFails()) return failKind_;
  if (renameStatus_ != platform::Status::kOk) return renameStatus_;
  return EnvWrapper::RenameFile(from, to);
}

platform::Status FaultInjectionEnv::DeleteFile(const CString& path) {
  if (NextOperationFails()) return failKind_;
  return EnvWrapper::DeleteFile(path);
}

platform::Status FaultInjectionEnv::ReadWholeFile(const CString& path, std::string* out) {
  if (NextOperationFails()) return failKind_;
  return EnvWrapper::ReadWholeFile(path, out);
}

platform::Status FaultInjectionEnv::ReplaceOwnFile(const CString& path, const std::string& data) {
  if (NextOperationFails()) return failKind_;
  return EnvWrapper::ReplaceOwnFile(path, data);
}

platform::Status FaultInjectionEnv::WriteFileAtomically(const CString& path,
                                                        const std::string& data) {
  if (NextOperationFails()) return failKind_;
  return EnvWrapper::WriteFileAtomically(path, data);
}

std::vector<platform::FoundFile> FaultInjectionEnv::FindFiles(const CString& pattern) {
  if (NextOperationFails()) return {};
  return EnvWrapper::FindFiles(pattern);
}

platform::Status FaultInjectionEnv::DiskFreeBytes(const CString& path, uint64_t* freeBytes,
                                                  CString* systemError) {
  if (NextOperationFails()) return failKind_;
  return EnvWrapper::DiskFreeBytes(path, freeBytes, systemError);
}

platform::Status FaultInjectionEnv::LockFile(const CString& path, int64_t waitMillis,
                                             std::unique_ptr<platform::FileLock>* out,
                                             CString* systemError) {
  if (NextOperationFails()) {
    if (systemError != nullptr) *systemError = "injected failure";
    return failKind_;
  }
  return EnvWrapper::LockFile(path, waitMillis, out, systemError);
}

bool FaultInjectionEnv::IsWritable(const CString& path) {
  if (notWritable_) return false;
  return EnvWrapper::IsWritable(path);
}

}  // namespace spekolar::spktest
