#include "cli/DryRun.h"

#include <utility>

#include "text/Ascii.h"

namespace spekolar::cli {

namespace {

// Paths as the pass forms them ("C:\x\log\SPEKOLAR.EML",
// "/opt/x\htdocs\...\SPEKOLAR.EML") and as a search gives them back
// ("/opt/x/htdocs/.../SPEKOLAR.EML") name the same file: one separator,
// one letter case (the pass spells its own files one way).
std::string Key(std::string_view path) {
  std::string key(path);
  for (char& c : key) {
    if (c == '/') c = '\\';
    c = ascii::Upper(c);
  }
  return key;
}

std::string_view LastComponent(std::string_view path) {
  size_t cut = path.find_last_of("\\/");
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

bool HasWildcard(std::string_view pattern) {
  return LastComponent(pattern).find_first_of("*?") != std::string_view::npos;
}

}  // namespace

// A file opened for appending whose bytes go to its shadow and, as an
// action, to the sink.
class DryRunEnv::ShadowFile : public platform::AppendableFile {
 public:
  ShadowFile(DryRunEnv* env, Shadow* shadow, CString path)
      : env_(env), shadow_(shadow), path_(std::move(path)) {}
  int64_t Size() override { return static_cast<int64_t>(shadow_->bytes.size()); }
  bool Append(const char* data, size_t n) override {
    shadow_->bytes.append(data, n);
    env_->Emit(DryRunAction::Kind::kAppend, path_, std::string(data, n));
    return true;
  }
  bool Truncate(int64_t size) override {
    if (size < 0 || static_cast<size_t>(size) > shadow_->bytes.size()) return false;
    shadow_->bytes.resize(static_cast<size_t>(size));
    return true;
  }
  bool Close() override { return true; }

 private:
  DryRunEnv* env_;
  Shadow* shadow_;  // a node of shadows_, which never moves
  CString path_;
};

DryRunEnv::DryRunEnv(platform::Env* target, DryRunSink sink)
    : platform::EnvWrapper(target), sink_(std::move(sink)) {}

void DryRunEnv::Emit(DryRunAction::Kind kind, const CString& path, std::string bytes,
                     const CString& target) {
  if (!sink_) return;
  DryRunAction action;
  action.kind = kind;
  action.path = path;
  action.target = target;
  action.bytes = std::move(bytes);
  sink_(action);
}

const DryRunEnv::Shadow* DryRunEnv::Find(const CString& path) const {
  auto it = shadows_.find(Key(path.view()));
  return it == shadows_.end() ? nullptr : &it->second;
}

DryRunEnv::Shadow* DryRunEnv::Touch(const CString& path, platform::Status* status) {
  const std::string key = Key(path.view());
  auto it = shadows_.find(key);
  if (it != shadows_.end()) return &it->second;
  Shadow shadow;
  // The program's own files, read whole as every whole-file read is (and
  // refused, as there, beyond kMaxWholeFileBytes).
  const platform::Status read = target()->ReadWholeFile(path, &shadow.bytes);
  if (read == platform::Status::kOk) {
    shadow.present = true;
  } else if (read != platform::Status::kNotFound) {
    *status = read;
    return nullptr;
  }
  return &shadows_.emplace(key, std::move(shadow)).first->second;
}

platform::Status DryRunEnv::OpenForRead(const CString& path,
                                        std::unique_ptr<platform::ReadableFile>* out) {
  const Shadow* shadow = Find(path);
  if (shadow == nullptr) return target()->OpenForRead(path, out);
  if (!shadow->present) return platform::Status::kNotFound;
  *out = std::make_unique<platform::BytesFile>(shadow->bytes);
  return platform::Status::kOk;
}

platform::Status DryRunEnv::OpenForAppend(const CString& path,
                                          std::unique_ptr<platform::AppendableFile>* out) {
  platform::Status status = platform::Status::kOk;
  Shadow* shadow = Touch(path, &status);
  if (shadow == nullptr) return status;
  shadow->present = true;
  *out = std::make_unique<ShadowFile>(this, shadow, path);
  return platform::Status::kOk;
}

platform::Status DryRunEnv::DeleteFile(const CString& path) {
  platform::Status status = platform::Status::kOk;
  Shadow* shadow = Touch(path, &status);
  if (shadow == nullptr) return status;
  if (!shadow->present) return platform::Status::kNotFound;
  shadow->present = false;
  shadow->bytes.clear();
  Emit(DryRunAction::Kind::kDelete, path);
  return platform::Status::kOk;
}

platform::Status DryRunEnv::RenameFile(const CString& from, const CString& to) {
  platform::Status status = platform::Status::kOk;
  Shadow* source = Touch(from, &status);
  if (source == nullptr) return status;
  if (!source->present) return platform::Status::kNotFound;
  Shadow* destination = Touch(to, &status);
  if (destination == nullptr) return status;
  // As the system's rename: never onto an existing name.
  if (destination->present) return platform::Status::kAccessDenied;
  destination->present = true;
  destination->bytes = std::move(source->bytes);
  source->present = false;
  source->bytes.clear();
  Emit(DryRunAction::Kind::kRename, from, {}, to);
  return platform::Status::kOk;
}

platform::Status DryRunEnv::ReadWholeFile(const CString& path, std::string* out) {
  const Shadow* shadow = Find(path);
  if (shadow == nullptr) return target()->ReadWholeFile(path, out);
  if (!shadow->present) return platform::Status::kNotFound;
  if (static_cast<int64_t>(shadow->bytes.size()) > platform::kMaxWholeFileBytes) {
    return platform::Status::kTooLarge;
  }
  *out = shadow->bytes;
  return platform::Status::kOk;
}

platform::Status DryRunEnv::WriteFileAtomically(const CString& path, const std::string& data) {
  platform::Status status = platform::Status::kOk;
  Shadow* shadow = Touch(path, &status);
  if (shadow == nullptr) return status;
  shadow->present = true;
  shadow->bytes = data;
  Emit(DryRunAction::Kind::kWrite, path, data);
  return platform::Status::kOk;
}

std::vector<platform::FoundFile> DryRunEnv::FindFiles(const CString& pattern) {
  std::vector<platform::FoundFile> found = target()->FindFiles(pattern);
  std::erase_if(found, [this](const platform::FoundFile& match) {
    const Shadow* shadow = Find(match.path);
    return shadow != nullptr && !shadow->present;
  });
  if (found.empty() && !HasWildcard(pattern.view())) {
    const Shadow* shadow = Find(pattern);
    if (shadow != nullptr && shadow->present) {
      found.push_back({pattern, CString(LastComponent(pattern.view()))});
    }
  }
  return found;
}

platform::Status DryRunEnv::GetFileFacts(const CString& path, platform::FileFacts* out) {
  const Shadow* shadow = Find(path);
  if (shadow == nullptr) return target()->GetFileFacts(path, out);
  if (!shadow->present) return platform::Status::kNotFound;
  out->kind = platform::FileFacts::Kind::kRegular;
  out->size = static_cast<int64_t>(shadow->bytes.size());
  out->lastChange = Now();
  return platform::Status::kOk;
}

int DryRunEnv::RunCommand(const CString& command) {
  Emit(DryRunAction::Kind::kCommand, command);
  return 0;
}

platform::Status DryRunEnv::LockFile(const CString& path, int64_t /*waitMillis*/,
                                     std::unique_ptr<platform::FileLock>* out,
                                     CString* /*systemError*/) {
  Emit(DryRunAction::Kind::kLock, path);
  *out = std::make_unique<platform::FileLock>();
  return platform::Status::kOk;
}

// --- DryRunReport -------------------------------------------------------------

DryRunReport::DryRunReport(std::FILE* out, ConsoleEncoding encoding)
    : out_(out), encoding_(encoding), group_("start of pass") {}

void DryRunReport::Add(Category category, const std::string& line) {
  lines_[category].push_back(line);
}

void DryRunReport::Take(const DryRunAction& action) {
  switch (action.kind) {
    case DryRunAction::Kind::kAppend: {
      const std::string name(LastComponent(action.path.view()));
      const std::string key = Key(name);
      Category category = kFiles;
      if (key == "SPEKOLAR.LOG") category = kRunProtocol;
      if (key == "SPEKOLAR.TXT") category = kFindings;
      if (key == "SPEKOLAR.NRT" || key == "SPEKOLAR.EML") category = kNotifications;
      // One printed line per line of the entry, each named by its file, so
      // that what a file would have received can be picked out again.
      std::string_view bytes = action.bytes;
      while (!bytes.empty()) {
        size_t end = bytes.find('\n');
        std::string_view line = bytes.substr(0, end);
        Add(category, name + ": " + std::string(line));
        bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
      }
      break;
    }
    case DryRunAction::Kind::kDelete:
      Add(kFiles, "delete: " + action.path.str());
      break;
    case DryRunAction::Kind::kRename:
      Add(kFiles, "rename: " + action.path.str() + " -> " + action.target.str());
      break;
    case DryRunAction::Kind::kWrite:
      Add(kFiles, "write: " + action.path.str() + " (" + std::to_string(action.bytes.size()) +
                      " bytes)");
      break;
    case DryRunAction::Kind::kLock:
      Add(kFiles, "lock: " + action.path.str());
      break;
    case DryRunAction::Kind::kCommand:
      Add(kCommand, "command: " + action.path.str());
      break;
  }
}

void DryRunReport::TakeMessageRow(const MessageRecord& r) {
  Add(kMessageRows, std::string("message row: ") + r.MsgCat + " | " + r.MsgTxt + " | " + r.MsgMod +
                        " | " + r.MsgUid + " | " + r.MsgDbg);
}

void DryRunReport::SectionBegins(const CString& upperName) {
  Flush();
  group_ = "[" + upperName + "]";
}

void DryRunReport::SectionEnds(const CString& /*upperName*/) {
  Flush();
  group_ = "end of pass";
}

void DryRunReport::Finish() { Flush(); }

void DryRunReport::Flush() {
  bool any = false;
  for (const auto& lines : lines_) any = any || !lines.empty();
  if (!any) return;
  PrintForConsole(out_, "--- " + group_.str() + " ---\n", encoding_);
  for (auto& lines : lines_) {
    for (const std::string& line : lines) PrintForConsole(out_, line + "\n", encoding_);
    lines.clear();
  }
  std::fflush(out_);
}

}  // namespace spekolar::cli
