#include "protocol/ProtocolFile.h"

#include <memory>

#include "platform/Env.h"
#include "platform/TimeText.h"

namespace spekolar {

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
  failedWrites_ = 0;
  refusedLink_ = false;
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

bool ProtocolFile::OpenFile(std::unique_ptr<platform::AppendableFile>* file) {
  const platform::Status status = platform::GetEnv()->OpenForAppend(logPath_, file);
  if (status == platform::Status::kOk) return true;
  if (status == platform::Status::kIsLink) refusedLink_ = true;
  ++failedWrites_;
  return false;
}

void ProtocolFile::Append(const CString& entry) {
  platform::Env* env = platform::GetEnv();
  std::unique_ptr<platform::AppendableFile> file;
  if (!OpenFile(&file)) return;
  int64_t size = file->Size();
  if (maxSize_ != 0 && size > static_cast<int64_t>(maxSize_)) {
    file->Close();
    file.reset();
    env->DeleteFile(oldPath_);
    env->RenameFile(logPath_, oldPath_);
    if (!OpenFile(&file)) return;
    size = file->Size();
  }
  if (!file->Append(entry.view().data(), entry.view().size())) {
    // Part of the entry may have reached the file: take it back. Without
    // the size the file had, nothing can be cut (nor was it measured).
    if (size >= 0) file->Truncate(size);
    file->Close();
    ++failedWrites_;
    return;
  }
  if (!file->Close()) ++failedWrites_;
}

}  // namespace spekolar
