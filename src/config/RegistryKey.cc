#include "config/RegistryKey.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace spekolar {

using platform::BYTE;
using platform::DWORD;
using platform::HKEY;
using platform::REGSAM;

namespace {

constexpr DWORD kEnumNameSize = 260;
constexpr DWORD kEnumDataSize = 2048;

}  // namespace

// ---- RegistryValue -------------------------------------------------------

RegistryValue::RegistryValue(RegistryKey& key, const CString& name)
    : key_(key), name_(name.Left(kMaxNameLength)) {}

char* RegistryValue::Buffer() {
  if (!buffer_) {
    buffer_ = std::make_unique<char[]>(kBufferSize);
    buffer_[0] = '\0';
  }
  return buffer_.get();
}

void RegistryValue::WriteBack(const BYTE* data, DWORD size) {
  if (key_.mode_ & RegistryKey::Loading) return;
  bool onDemand = (key_.mode_ & RegistryKey::OpenOnDemand) != 0;
  if (onDemand && !key_.OpenOnDemandWith(platform::KEY_SET_VALUE)) return;
  if (key_.handle_ != nullptr) {
    platform::RegSetValueExA(key_.handle_, name_.c_str(), 0, type_, data, size);
  }
  if (onDemand) key_.CloseKey();
}

void RegistryValue::SetString(const CString& text) {
  type_ = platform::REG_SZ;
  char* buffer = Buffer();
  size_t length = std::min(std::strlen(text.c_str()), static_cast<size_t>(kBufferSize - 1));
  std::memcpy(buffer, text.c_str(), length);
  buffer[length] = '\0';
  WriteBack(reinterpret_cast<const BYTE*>(buffer), static_cast<DWORD>(length + 1));
  hasValue_ = true;
}

void RegistryValue::SetDword(DWORD number) {
  type_ = platform::REG_DWORD;
  number_ = number;
  BYTE bytes[4];
  std::memcpy(bytes, &number, 4);
  WriteBack(bytes, 4);
  hasValue_ = true;
}

void RegistryValue::SetBinary(const BYTE* data, DWORD count) {
  if (count == 0 || data == nullptr) return;
  type_ = platform::REG_BINARY;
  bytes_.assign(data, data + count);
  WriteBack(bytes_.data(), count);
  hasValue_ = true;
}

void RegistryValue::SetMultiString(const BYTE* data, DWORD count) {
  type_ = platform::REG_MULTI_SZ;
  texts_.clear();
  const char* chars = reinterpret_cast<const char*>(data);
  DWORD start = 0;
  for (DWORD i = 0; data != nullptr && i <= count; ++i) {
    bool end = i == count;
    if (!end && chars[i] != '\0') continue;
    // An empty text at a zero byte is the list's end marker.
    if (i == start) break;
    texts_.emplace_back(chars + start, i - start);
    start = i + 1;
  }
  WriteBack(data, data ? count : 0);
  hasValue_ = true;
}

CString RegistryValue::AsString() {
  if ((key_.mode_ & RegistryKey::ReloadOnRead) && !(key_.mode_ & RegistryKey::Loading)) {
    key_.LoadValues();
  }
  switch (type_) {
    case platform::REG_SZ:
      return CString(Buffer());
    case platform::REG_BINARY: {
      char* buffer = Buffer();
      size_t n = 0;
      while (n < bytes_.size() && n < static_cast<size_t>(kBufferSize - 1) && bytes_[n] != 0) {
        buffer[n] = static_cast<char>(bytes_[n]);
        ++n;
      }
      buffer[n] = '\0';
      return CString(buffer);
    }
    case platform::REG_DWORD: {
      char* buffer = Buffer();
      std::snprintf(buffer, kBufferSize, "%lu", static_cast<unsigned long>(number_));
      return CString(buffer);
    }
    case platform::REG_MULTI_SZ: {
      // Each text with its zero byte and a final zero byte, as far as the
      // buffer holds them; read as one text that is the first text.
      char* buffer = Buffer();
      size_t at = 0;
      for (const CString& text : texts_) {
        size_t room = kBufferSize - 1 - at;
        if (room == 0) break;
        size_t n = std::min(static_cast<size_t>(text.GetLength()), room - 1);
        std::memcpy(buffer + at, text.c_str(), n);
        at += n;
        buffer[at++] = '\0';
      }
      buffer[at] = '\0';
      return CString(buffer);
    }
    default:
      return CString();
  }
}

// ---- RegistryKey ---------------------------------------------------------

RegistryKey::RegistryKey(unsigned mode) : mode_(mode & ~static_cast<unsigned>(Loading)) {}

RegistryKey::~RegistryKey() { CloseKey(); }

bool RegistryKey::OpenKey(const CString& path, HKEY root, REGSAM access, bool reopen) {
  if (!reopen) {
    if (!hasPath_ || !platform::RegistryNamesEqual(path_.view(), path.view())) {
      if (hasPath_) {
        values_.clear();
        valueIndex_.clear();
      }
      path_ = path;
      hasPath_ = true;
    }
    root_ = root;
  }
  CloseKey();

  REGSAM rights = access;
  if ((mode_ & OpenOnDemand) && !reopen) {
    rights = platform::KEY_QUERY_VALUE | platform::KEY_CREATE_SUB_KEY;
  } else if (mode_ & CreateIfMissing) {
    rights |= platform::KEY_CREATE_SUB_KEY;
  }

  HKEY opened = nullptr;
  platform::LONG result;
  if (mode_ & CreateIfMissing) {
    DWORD disposition = 0;
    result = platform::RegCreateKeyExA(root_, path_.c_str(), 0, nullptr,
                                       platform::REG_OPTION_NON_VOLATILE, rights, nullptr, &opened,
                                       &disposition);
  } else {
    result = platform::RegOpenKeyExA(root_, path_.c_str(), 0, rights, &opened);
  }
  lastOpenResult_ = result;
  if (result != platform::ERROR_SUCCESS) return false;
  handle_ = opened;
  return reopen ? true : LoadValues();
}

bool RegistryKey::OpenOnDemandWith(REGSAM access) {
  return hasPath_ && OpenKey(path_, root_, access, true);
}

bool RegistryKey::LoadValues() {
  if ((mode_ & OpenOnDemand) && !OpenOnDemandWith(platform::KEY_QUERY_VALUE)) return false;
  if (handle_ == nullptr) return false;

  DWORD count = 0;
  if (platform::RegQueryInfoKeyA(handle_, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                 &count, nullptr, nullptr, nullptr,
                                 nullptr) != platform::ERROR_SUCCESS) {
    return false;
  }

  const unsigned savedMode = mode_;
  mode_ = (mode_ | Loading) & ~static_cast<unsigned>(OpenOnDemand);
  for (DWORD index = 0; index < count; ++index) {
    char name[kEnumNameSize];
    DWORD nameSize = kEnumNameSize;
    // One byte beyond the reported size stays zero, so a string stored
    // without its terminator still ends.
    BYTE data[kEnumDataSize + 1] = {};
    DWORD dataSize = kEnumDataSize;
    DWORD type = platform::REG_NONE;
    if (platform::RegEnumValueA(handle_, index, name, &nameSize, nullptr, &type, data,
                                &dataSize) != platform::ERROR_SUCCESS) {
      continue;
    }
    CString valueName(name, nameSize);
    switch (type) {
      case platform::REG_SZ:
        Value(valueName).SetString(CString(reinterpret_cast<const char*>(data)));
        break;
      case platform::REG_BINARY:
        Value(valueName).SetBinary(data, dataSize);
        break;
      case platform::REG_DWORD: {
        DWORD number = 0;
        std::memcpy(&number, data, std::min<DWORD>(dataSize, 4));
        Value(valueName).SetDword(number);
        break;
      }
      case platform::REG_MULTI_SZ:
        Value(valueName).SetMultiString(data, dataSize);
        break;
      default:
        break;  // REG_EXPAND_SZ and every other type are not used
    }
  }
  mode_ = savedMode;
  if (mode_ & OpenOnDemand) CloseKey();
  return true;
}

RegistryValue& RegistryKey::Value(const CString& name) {
  CString wanted = name.Left(RegistryValue::kMaxNameLength);
  std::string folded = platform::RegistryFoldedName(wanted.view());
  auto found = valueIndex_.find(folded);
  if (found != valueIndex_.end()) return *values_[found->second];
  valueIndex_.emplace(std::move(folded), values_.size());
  values_.push_back(std::make_unique<RegistryValue>(*this, wanted));
  return *values_.back();
}

void RegistryKey::CloseKey() {
  if (handle_ != nullptr) {
    platform::RegCloseKey(handle_);
    handle_ = nullptr;
  }
}

}  // namespace spekolar
