// The monitor configuration file: section names and string values of an
// INI file, with the results of the platform's profile calls
// (platform/Profile.h). The file is read and parsed once, at the first
// lookup (or Load), and kept until the path changes: a pass over thousands
// of sections costs one read, not one per value. Values and name lists of
// any length come back whole. A missing file, section or key gives the
// default or an empty list; Load tells a file that is missing from one
// that cannot be read.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/Profile.h"
#include "text/CString.h"

namespace spekolar {

class IniFile {
 public:
  IniFile() = default;
  virtual ~IniFile();

  // With a path, keeps a copy of it. With null, makes a path already set
  // empty (and leaves "no path" as it is). Either way the file is read
  // anew at the next lookup.
  void SetPath(const char* path);
  void SetPath(const CString& path) { SetPath(path.c_str()); }

  // Reads and parses the file now (unless done since the path was set) and
  // returns how the read went: kOk; kNotFound for a missing file (or no
  // path); otherwise why it could not be read (kAccessDenied, kIsDirectory,
  // kNotAFile, kTooLarge, ...). A file that cannot be read holds nothing.
  platform::Status Load();

  // The value of `key` in `section` (both matched without regard to case),
  // without surrounding blanks; `def` (null: an empty text) when the key
  // is missing. A null section or key gives the default without reading
  // the file.
  CString GetString(const char* section, const char* key, const char* def = nullptr);
  CString GetString(const CString& section, const CString& key, const CString& def = CString()) {
    return GetString(section.c_str(), key.c_str(), def.c_str());
  }

  // Empties `names` and appends every section name of the file in file
  // order, spelled as in the file (a repeated section appears each time).
  void GetSectionNames(std::vector<CString>& names);

  // Empties `names` and appends the keys of `section` (its first
  // occurrence, matched without regard to case) in file order, spelled as
  // in the file, a repeated key each time. Through the profile call that
  // lists a section's keys.
  void GetKeyNames(const CString& section, std::vector<CString>& names);

 private:
  const char* PathOrNull() const { return path_ ? path_->c_str() : nullptr; }
  const platform::ProfileData& Data();

  std::optional<std::string> path_;
  std::optional<platform::ProfileData> data_;
  platform::Status loadStatus_ = platform::Status::kNotFound;
};

}  // namespace spekolar
