#include "config/IniFile.h"

#include <cstdint>
#include <vector>

#include "platform/Profile.h"

namespace {
// Buffers start at this size and grow by it until the result fits.
constexpr uint32_t kStep = 512;
}  // namespace

IniFile::~IniFile() = default;

void IniFile::SetPath(const char* path) {
  if (path != nullptr) {
    path_ = std::string(path);
  } else if (path_) {
    path_->clear();
  }
}

CString IniFile::GetString(const char* section, const char* key, const char* def) {
  if (section == nullptr || key == nullptr) return CString(def);
  const char* fallback = def != nullptr ? def : "";
  // A result that fills the buffer may have been cut: try again larger.
  uint32_t size = kStep;
  std::vector<char> buffer(size + 1);
  uint32_t length = platform::GetPrivateProfileStringA(section, key, fallback, buffer.data(),
                                                       size, PathOrNull());
  while (length + 1 >= size) {
    size += kStep;
    buffer.assign(size + 1, '\0');
    length = platform::GetPrivateProfileStringA(section, key, fallback, buffer.data(), size,
                                                PathOrNull());
  }
  return CString(buffer.data(), length);
}

void IniFile::GetSectionNames(std::vector<CString>& names) {
  names.clear();
  // Measure: a list that does not fit comes back as size-2, so grow until
  // the count leaves more room than that.
  uint32_t size = kStep;
  std::vector<char> buffer(size + 1);
  uint32_t count = platform::GetPrivateProfileSectionNamesA(buffer.data(), size, PathOrNull());
  while (count + 2 >= size) {
    size += kStep;
    buffer.assign(size + 1, '\0');
    count = platform::GetPrivateProfileSectionNamesA(buffer.data(), size, PathOrNull());
  }
  size = count + 2;
  buffer.assign(size + 1, '\0');
  platform::GetPrivateProfileSectionNamesA(buffer.data(), size, PathOrNull());
  const char* name = buffer.data();
  const char* end = buffer.data() + size;
  while (name < end && *name != '\0') {
    CString entry(name);
    names.push_back(entry);
    name += entry.GetLength() + 1;
  }
}
