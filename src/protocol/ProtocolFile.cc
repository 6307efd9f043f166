#include "protocol/ProtocolFile.h"

#include <memory>

#include "platform/Env.h"
#include "platform/TimeText.h"

namespace {
const char kIndent[] = "                      ";  // 22 blanks
}  // namespace

void ProtocolFile::Open(CString directory, CString name) {
  if (name.Find('.') < 0) {
    logPath_ = directory + "\\" + name + ".log";
    oldPath_ = directory + "\\" + name + ".old";
  } else {
    logPath_ = directory + "\\" + name;
    oldPath_ = directory + "\\" + name + ".old";
  }
}

void ProtocolFile::SetMaxSize(int32_t bytes) { maxSize_ = bytes; }

void ProtocolFile::Reset() {
  logPath_.Empty();
  oldPath_.Empty();
  maxSize_ = 0;
}

void ProtocolFile::WriteLine(CString text, bool withTime, bool dash) {
  if (logPath_.IsEmpty()) return;
  CString entry;
  if (withTime) {
    entry = platform::ProtocolStamp(platform::GetEnv()->Now()) + (dash ? " - " : ";") + text + "\n";
  } else {
    entry = CString(kIndent) + text + "\n";
  }
  Append(entry);
}

void ProtocolFile::WriteText(CString text, bool withTime, bool indent) {
  if (logPath_.IsEmpty()) return;
  CString entry;
  if (withTime) {
    entry = platform::ProtocolStamp(platform::GetEnv()->Now()) + " - " + text + "\n";
  } else if (indent) {
    entry = CString(kIndent) + text + "\n";
  } else {
    entry = text + "\n";
  }
  Append(entry);
}

void ProtocolFile::Append(const CString& entry) {
  platform::Env* env = platform::GetEnv();
  std::unique_ptr<platform::AppendableFile> file;
  if (env->OpenForAppend(logPath_, &file) != platform::Status::kOk) return;
  if (maxSize_ != 0 && file->Size() > static_cast<int64_t>(maxSize_)) {
    file->Close();
    file.reset();
    env->DeleteFile(oldPath_);
    env->RenameFile(logPath_, oldPath_);
    if (env->OpenForAppend(logPath_, &file) != platform::Status::kOk) return;
  }
  file->Append(entry.view().data(), entry.view().size());
  file->Close();
}
