// The profile calls on Windows: the system's own functions, which our INI
// reader (Profile.cc, not built here) was written to match.
#include "platform/Profile.h"

#include <cstring>
#include <string>
#include <vector>

#include "platform/WindowsHeaders.h"

namespace spekolar::platform {

namespace {

// A list of no names: one empty name, so two NULs where they fit.
uint32_t EmptyList(char* buf, uint32_t size) {
  if (size >= 1) buf[0] = '\0';
  if (size >= 2) buf[1] = '\0';
  return 0;
}

// GetFullPathNameA of `path`; the path itself when that fails.
std::string AbsolutePath(const char* path) {
  DWORD needed = ::GetFullPathNameA(path, 0, nullptr, nullptr);
  if (needed == 0) return path;
  std::vector<char> buffer(needed + 1);
  DWORD got = ::GetFullPathNameA(path, static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
  if (got == 0 || got >= buffer.size()) return path;
  return std::string(buffer.data(), got);
}

}  // namespace

// The file is read once through the Env, for what the read says (a folder,
// a device, a file over the cap or one that may not be read holds
// nothing); the lookups are the system's own calls on the same file. Its
// path is made absolute first: the system looks for a name without a
// folder in the Windows folder, not in the current one, where the Env read
// it.
Status LoadProfile(const char* path, ProfileData* data) {
  *data = ProfileData();
  if (path == nullptr) return Status::kNotFound;
  std::string text;
  Status status = GetEnv()->ReadWholeFile(CString(path), &text);
  if (status == Status::kOk) data->systemPath = AbsolutePath(path);
  return status;
}

uint32_t ProfileString(const ProfileData& data, const char* section, const char* key,
                       const char* def, char* buf, uint32_t size) {
  if (buf == nullptr || size == 0) return 0;
  return GetPrivateProfileStringA(section, key, def, buf, size,
                                  data.systemPath.empty() ? nullptr : data.systemPath.c_str());
}

uint32_t ProfileSectionNames(const ProfileData& data, char* buf, uint32_t size) {
  if (buf == nullptr || size == 0) return 0;
  return GetPrivateProfileSectionNamesA(buf, size,
                                        data.systemPath.empty() ? nullptr : data.systemPath.c_str());
}

// The system would read WIN.INI for a null path; the program always names
// its file, and a null path reads as an empty file as on the other systems.
uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* def,
                                  char* buf, uint32_t size, const char* path) {
  if (path != nullptr) return ::GetPrivateProfileStringA(section, key, def, buf, size, path);
  if (size == 0) return 0;
  if (section == nullptr || key == nullptr) return EmptyList(buf, size);
  const char* fallback = def != nullptr ? def : "";
  size_t length = std::strlen(fallback);
  while (length > 0 && fallback[length - 1] == ' ') --length;
  if (length > size - 1) length = size - 1;
  std::memcpy(buf, fallback, length);
  buf[length] = '\0';
  return static_cast<uint32_t>(length);
}

uint32_t GetPrivateProfileSectionNamesA(char* buf, uint32_t size, const char* path) {
  if (path != nullptr) return ::GetPrivateProfileSectionNamesA(buf, size, path);
  return size < 2 ? 0 : EmptyList(buf, size);
}

}  // namespace spekolar::platform
