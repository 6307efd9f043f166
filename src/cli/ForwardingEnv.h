// An Env that hands every call to another one: the base of the operator
// modes' decorators, which change one or two kinds of call and leave the
// rest to the system.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Env.h"

namespace cli {

class ForwardingEnv : public platform::Env {
 public:
  // `target` is not owned and must outlive this object.
  explicit ForwardingEnv(platform::Env* target) : target_(target) {}
  platform::Env* target() const { return target_; }

  platform::Status OpenForRead(const CString& path,
                               std::unique_ptr<platform::ReadableFile>* out) override {
    return target_->OpenForRead(path, out);
  }
  platform::Status OpenForAppend(const CString& path,
                                 std::unique_ptr<platform::AppendableFile>* out) override {
    return target_->OpenForAppend(path, out);
  }
  platform::Status DeleteFile(const CString& path) override { return target_->DeleteFile(path); }
  platform::Status RenameFile(const CString& from, const CString& to) override {
    return target_->RenameFile(from, to);
  }
  platform::Status ReadWholeFile(const CString& path, std::string* out) override {
    return target_->ReadWholeFile(path, out);
  }
  platform::Status WriteFileAtomically(const CString& path, const std::string& data) override {
    return target_->WriteFileAtomically(path, data);
  }
  bool IsWritable(const CString& path) override { return target_->IsWritable(path); }
  std::vector<platform::FoundFile> FindFiles(const CString& pattern) override {
    return target_->FindFiles(pattern);
  }
  platform::LocalTime Now() override { return target_->Now(); }
  platform::Status DiskFreeBytes(const CString& path, uint64_t* freeBytes,
                                 CString* systemError) override {
    return target_->DiskFreeBytes(path, freeBytes, systemError);
  }
  bool GetVariable(const char* name, std::string* value) override {
    return target_->GetVariable(name, value);
  }
  int RunCommand(const CString& command) override { return target_->RunCommand(command); }
  platform::Status LockFile(const CString& path, int64_t waitMillis,
                            std::unique_ptr<platform::FileLock>* out) override {
    return target_->LockFile(path, waitMillis, out);
  }
  platform::Status GetFileFacts(const CString& path, platform::FileFacts* out) override {
    return target_->GetFileFacts(path, out);
  }
  platform::Status ResolveCommand(const CString& commandLine, CString* program) override {
    return target_->ResolveCommand(commandLine, program);
  }
  bool FrameworkInit() override { return target_->FrameworkInit(); }

 private:
  platform::Env* target_;
};

}  // namespace cli
