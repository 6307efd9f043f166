// The profile calls on Windows: the system's own functions, which our INI
// reader (Profile.cc, not built here) was written to match.
#include "platform/Profile.h"

#include <cstring>

#include "platform/WindowsHeaders.h"

namespace platform {

namespace {

// A list of no names: one empty name, so two NULs where they fit.
uint32_t EmptyList(char* buf, uint32_t size) {
  if (size >= 1) buf[0] = '\0';
  if (size >= 2) buf[1] = '\0';
  return 0;
}

}  // namespace

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

}  // namespace platform
