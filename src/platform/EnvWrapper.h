// An Env that hands every call to another one: the base of every decorator
// that changes one or two kinds of call and leaves the rest to its target
// (the operator modes' dry run and shifted clock, the tests' fixed clock and
// fault injection). A call added to Env is forwarded here, once.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Env.h"

namespace spekolar::platform {

class EnvWrapper : public Env {
 public:
  // `target` is not owned and must outlive this object.
  explicit EnvWrapper(Env* target) : target_(target) {}
  Env* target() const { return target_; }

  Status OpenForRead(const CString& path,
                               std::unique_ptr<ReadableFile>* out) override {
    return target_->OpenForRead(path, out);
  }
  Status OpenForAppend(const CString& path,
                                 std::unique_ptr<AppendableFile>* out) override {
    return target_->OpenForAppend(path, out);
  }
  Status DeleteFile(const CString& path) override { return target_->DeleteFile(path); }
  Status RenameFile(const CString& from, const CString& to) override {
    return target_->RenameFile(from, to);
  }
  Status ReadWholeFile(const CString& path, std::string* out) override {
    return target_->ReadWholeFile(path, out);
  }
  Status WriteFileAtomically(const CString& path, const std::string& data) override {
    return target_->WriteFileAtomically(path, data);
  }
  Status ReplaceOwnFile(const CString& path, const std::string& data) override {
    return target_->ReplaceOwnFile(path, data);
  }
  bool IsWritable(const CString& path) override { return target_->IsWritable(path); }
  std::vector<FoundFile> FindFiles(const CString& pattern) override {
    return target_->FindFiles(pattern);
  }
  LocalTime Now() override { return target_->Now(); }
  Status DiskFreeBytes(const CString& path, uint64_t* freeBytes,
                                 CString* systemError) override {
    return target_->DiskFreeBytes(path, freeBytes, systemError);
  }
  bool GetVariable(const char* name, std::string* value) override {
    return target_->GetVariable(name, value);
  }
  int RunCommand(const CString& command) override { return target_->RunCommand(command); }
  Status LockFile(const CString& path, int64_t waitMillis, std::unique_ptr<FileLock>* out,
                  CString* systemError) override {
    return target_->LockFile(path, waitMillis, out, systemError);
  }
  Status GetFileFacts(const CString& path, FileFacts* out) override {
    return target_->GetFileFacts(path, out);
  }
  bool IsSymbolicLink(const CString& path) override { return target_->IsSymbolicLink(path); }
  Status ResolveCommand(const CString& commandLine, CString* program) override {
    return target_->ResolveCommand(commandLine, program);
  }
  bool FrameworkInit() override { return target_->FrameworkInit(); }
  CString UserName() override { return target_->UserName(); }

 private:
  Env* target_;
};

}  // namespace spekolar::platform
