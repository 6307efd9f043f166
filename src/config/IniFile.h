// The monitor configuration file: section names and string values of an
// INI file, read through the platform's profile calls (platform/Profile.h).
// Values and name lists of any length come back whole. There are no
// errors: a missing file, section or key gives the default or an empty
// list.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "text/CString.h"

class IniFile {
 public:
  IniFile() = default;
  virtual ~IniFile();

  // With a path, keeps a copy of it. With null, makes a path already set
  // empty (and leaves "no path" as it is).
  void SetPath(const char* path);
  void SetPath(const CString& path) { SetPath(path.c_str()); }

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

 private:
  const char* PathOrNull() const { return path_ ? path_->c_str() : nullptr; }

  std::optional<std::string> path_;
};
