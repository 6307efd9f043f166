#include "platform/registry/Hive.h"

#include "platform/registry/ExportEditor.h"

namespace spekolar::platform {

namespace {

constexpr const char* kDefaultStorePath = "/etc/peldavorn/registry.reg";
constexpr const char* kStoreVariable = "SPEKOLAR_REGISTRY";

RegistryHive*& InstalledHive() {
  static RegistryHive* installed = nullptr;
  return installed;
}

LONG StatusToError(Status status) {
  switch (status) {
    case Status::kOk: return ERROR_SUCCESS;
    case Status::kAccessDenied: return ERROR_ACCESS_DENIED;
    case Status::kNotFound: return ERROR_FILE_NOT_FOUND;
    default: return ERROR_WRITE_FAULT;
  }
}

void PutInto(RegistryStoreKey* key, RegistryStoreValue value) {
  for (RegistryStoreValue& v : key->values) {
    if (RegistryNamesEqual(v.name, value.name)) {
      v.type = value.type;
      v.data = std::move(value.data);
      return;
    }
  }
  key->values.push_back(std::move(value));
}

}  // namespace

RegistryHive::~RegistryHive() {
  for (HKEY key : handles_) delete static_cast<registry::OpenKey*>(key);
}

RegistryHive::Contents& RegistryHive::Load() {
  CString path = RegistryStorePath();
  if (!contents_ || contents_->path != path) {
    Contents loaded;
    loaded.path = path;
    std::string bytes;
    loaded.status = GetEnv()->ReadWholeFile(path, &bytes);
    if (loaded.status == Status::kOk) {
      loaded.file = registry::ParseExportFile(bytes);
    } else if (loaded.status != Status::kNotFound) {
      loaded.file.parsed = false;
    }
    lastRead_ = loaded.status;
    contents_ = std::move(loaded);
  }
  return *contents_;
}

void RegistryHive::EndCall() {
  if (handles_.empty()) contents_.reset();
}

bool RegistryHive::Writable() const { return GetEnv()->IsWritable(RegistryStorePath()); }

HKEY RegistryHive::OpenHandle(RegistryRoot root, std::string path, REGSAM rights) {
  registry::OpenKey* handle = new registry::OpenKey;
  handle->root = root;
  handle->path = std::move(path);
  handle->rights = rights;
  handles_.insert(handle);
  return handle;
}

bool RegistryHive::HoldsHandle(HKEY key) const { return handles_.count(key) != 0; }

bool RegistryHive::CloseHandle(HKEY key) {
  if (handles_.erase(key) == 0) return false;
  delete static_cast<registry::OpenKey*>(key);
  EndCall();
  return true;
}

// Writes `bytes` as the new store, but only when they read back as
// `expected`; the kept contents then follow the file.
LONG RegistryHive::WriteStore(const std::string& bytes, const RegistryStore& expected) {
  Contents& loaded = Load();
  registry::ExportFile written = registry::ParseExportFile(bytes);
  if (!written.parsed || !SameRegistryStore(written.ToStore(), expected)) return ERROR_WRITE_FAULT;
  LONG result = StatusToError(GetEnv()->WriteFileAtomically(loaded.path, bytes));
  if (result != ERROR_SUCCESS) return result;
  loaded.status = Status::kOk;
  loaded.file = std::move(written);
  return ERROR_SUCCESS;
}

// The whole store in the form FormatRegistryExport writes: for a file that
// holds nothing yet (missing, blank, or explicitly replaced).
LONG RegistryHive::WriteFresh(const RegistryStore& expected) {
  return WriteStore(FormatRegistryExport(expected), expected);
}

LONG RegistryHive::AddKey(RegistryRoot root, const std::string& path) {
  const registry::ExportFile& file = Load().file;
  RegistryStore expected = file.ToStore();
  expected.keys.push_back(RegistryStoreKey{root, path, {}});
  if (!file.hasHeader) return WriteFresh(expected);
  return WriteStore(registry::WithBlockAppended(file, root, path, {}), expected);
}

LONG RegistryHive::SetValue(RegistryRoot root, const std::string& path, RegistryStoreValue value) {
  // A failed write leaves the kept file as it was, for the fallback below.
  registry::ExportFile& file = Load().file;
  RegistryStore expected = file.parsed ? file.ToStore() : RegistryStore();
  RegistryStoreKey* target = expected.FindKey(root, path);
  if (target == nullptr) {
    expected.keys.push_back(RegistryStoreKey{root, path, {}});
    target = &expected.keys.back();
  }
  PutInto(target, value);
  // A store that could not be parsed holds no keys; an explicit write
  // replaces it.
  if (!file.parsed || !file.hasHeader) return WriteFresh(expected);

  registry::SourceKey* key = file.FindKey(root, path);
  registry::SourceValue* existing = key != nullptr ? key->Find(value.name) : nullptr;
  // A value set under a name that differs only in case keeps its name.
  if (existing != nullptr) value.name = existing->value.name;
  const std::vector<std::string> lines = registry::FormatValueLines(value, file.unicodeData);
  std::string bytes;
  if (key == nullptr) {
    bytes = registry::WithBlockAppended(file, root, path, lines);
  } else if (existing != nullptr) {
    bytes = registry::Edited(file, existing->first, existing->last + 1, lines);
  } else {
    bytes = registry::Edited(file, key->insertAt, key->insertAt, lines);
  }
  LONG result = WriteStore(bytes, expected);
  // Should the edit in place not read back as meant (a file laid out in a
  // way the edit did not foresee), a block of its own at the end says it:
  // the last definition of a value counts.
  if (result == ERROR_WRITE_FAULT) {
    result = WriteStore(registry::WithBlockAppended(file, root, path, lines), expected);
  }
  return result;
}

RegistryHive& CurrentRegistryHive() {
  if (RegistryHive* installed = InstalledHive()) return *installed;
  // Never destroyed: program-wide objects may close their keys at exit.
  static RegistryHive* const process = new RegistryHive;
  return *process;
}

ScopedRegistryHive::ScopedRegistryHive() : ScopedRegistryHive(nullptr) {}

ScopedRegistryHive::ScopedRegistryHive(RegistryHive* hive) : previous_(InstalledHive()) {
  InstalledHive() = hive != nullptr ? hive : &own_;
}

ScopedRegistryHive::~ScopedRegistryHive() { InstalledHive() = previous_; }

CString RegistryStorePath() {
  std::string value;
  if (GetEnv()->GetVariable(kStoreVariable, &value) && !value.empty()) return CString(value);
  return CString(kDefaultStorePath);
}

Status LastRegistryStoreRead() { return CurrentRegistryHive().LastRead(); }

}  // namespace spekolar::platform
