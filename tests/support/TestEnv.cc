#include "support/TestEnv.h"

#include <utility>

namespace spktest {

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

  int64_t Size() override { return inner_->Size(); }
  bool Append(const char* data, size_t n) override {
    if (env_->NextAppendFails()) return false;
    return inner_->Append(data, n);
  }
  bool Close() override {
    bool ok = inner_->Close();
    return ok && !env_->closeFails();
  }

 private:
  FaultInjectionEnv* env_;
  std::unique_ptr<platform::AppendableFile> inner_;
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
  if (openForReadStatus_ != platform::Status::kOk) return openForReadStatus_;
  return EnvWrapper::OpenForRead(path, out);
}

platform::Status FaultInjectionEnv::OpenForAppend(
    const CString& path, std::unique_ptr<platform::AppendableFile>* out) {
  if (openForAppendStatus_ != platform::Status::kOk) return openForAppendStatus_;
  std::unique_ptr<platform::AppendableFile> inner;
  platform::Status status = EnvWrapper::OpenForAppend(path, &inner);
  if (status != platform::Status::kOk) return status;
  *out = std::make_unique<FaultyAppendableFile>(this, std::move(inner));
  return platform::Status::kOk;
}

platform::Status FaultInjectionEnv::RenameFile(const CString& from, const CString& to) {
  if (renameStatus_ != platform::Status::kOk) return renameStatus_;
  return EnvWrapper::RenameFile(from, to);
}

bool FaultInjectionEnv::IsWritable(const CString& path) {
  if (notWritable_) return false;
  return EnvWrapper::IsWritable(path);
}

}  // namespace spktest
