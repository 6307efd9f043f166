#include "config/IniFile.h"

#include <cstdint>
#include <climits>
#include <vector>

#include "platform/Profile.h"

namespace spekolar {

namespace {
// Buffers start at this size and double until the result fits, so a value
// of n bytes costs a few copies of itself, not n / 512 of them.
constexpr uint32_t kStep = 512;

uint32_t Grown(uint32_t size) { return size <= UINT32_MAX / 2 ? size * 2 : UINT32_MAX; }
}  // namespace

IniFile::~IniFile() = default;

void IniFile::SetPath(const char* path) {
  if (path != nullptr) {
    path_ = std::string(path);
  } else if (path_) {
    path_->clear();
  }
  data_.reset();
}

platform::Status IniFile::Load() {
  Data();
  return loadStatus_;
}

const platform::ProfileData& IniFile::Data() {
  if (!data_) {
    data_.emplace();
    loadStatus_ = platform::LoadProfile(PathOrNull(), &*data_);
  }
  return *data_;
}

CString IniFile::GetString(const char* section, const char* key, const char* def) {
  if (section == nullptr || key == nullptr) return CString(def);
  const char* fallback = def != nullptr ? def : "";
  // A result that fills the buffer may have been cut: try again larger.
  uint32_t size = kStep;
  std::vector<char> buffer(size + 1);
  const platform::ProfileData& data = Data();
  uint32_t length = platform::ProfileString(data, section, key, fallback, buffer.data(), size);
  while (length + 1 >= size && size < UINT32_MAX) {
    size = Grown(size);
    buffer.assign(size + 1, '\0');
    length = platform::ProfileString(data, section, key, fallback, buffer.data(), size);
  }
  return CString(buffer.data(), length);
}

namespace {

// Splits a list of zero-terminated names, ended by an empty one, that
// `call` (a profile call given a buffer and its size) hands back: measured
// first, since a list that does not fit comes back cut as size-2, then
// fetched whole.
template <typename Call>
void ReadNameList(Call call, std::vector<CString>& names) {
  names.clear();
  uint32_t size = kStep;
  std::vector<char> buffer(size + 1);
  uint32_t count = call(buffer.data(), size);
  while (count + 2 >= size && size < UINT32_MAX) {
    size = Grown(size);
    buffer.assign(size + 1, '\0');
    count = call(buffer.data(), size);
  }
  size = count + 2;
  buffer.assign(size + 1, '\0');
  call(buffer.data(), size);
  const char* name = buffer.data();
  const char* end = buffer.data() + size;
  while (name < end && *name != '\0') {
    CString entry(name);
    names.push_back(entry);
    name += entry.GetLength() + 1;
  }
}

}  // namespace

void IniFile::GetKeyNames(const CString& section, std::vector<CString>& names) {
  const platform::ProfileData& data = Data();
  ReadNameList(
      [&](char* buf, uint32_t size) {
        return platform::ProfileString(data, section.c_str(), nullptr, "", buf, size);
      },
      names);
}

void IniFile::GetSectionNames(std::vector<CString>& names) {
  const platform::ProfileData& data = Data();
  ReadNameList([&](char* buf, uint32_t size) { return platform::ProfileSectionNames(data, buf, size); },
               names);
}

}  // namespace spekolar
