// The INI reader: any bytes parse; the profile calls keep their buffer
// rules for every size; IniFile's growing buffers give what the parsed
// file holds.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "config/IniFile.h"
#include "fuzz/Fail.h"
#include "platform/Profile.h"
#include "support/MemoryEnv.h"

namespace spekolar {

using spkfuzz::Fail;

}  // namespace spekolar

using namespace spekolar;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  const std::string text(reinterpret_cast<const char*>(bytes), size);
  platform::ProfileData data = platform::ParseProfile(text);

  // The buffer sizes around the rules' edges (below 2, tiny, and enough).
  char buf[80];
  for (uint32_t n : {0u, 1u, 2u, 3u, 4u, 5u, 7u, 9u, 16u, 33u, 80u}) {
    std::memset(buf, 'x', sizeof buf);
    uint32_t count = platform::ProfileSectionNames(data, buf, n);
    if (n < 2 && count != 0) Fail("section names: result for a size below 2");
    // A whole list (its last name's NUL at count - 1, the final NUL at
    // count) fits into size - 1 bytes; a cut list ends with two NULs at
    // size - 2.
    if (n >= 2) {
      const bool cut = count == n - 2 && buf[n - 1] == '\0';
      if (count > n - 2 || buf[count] != '\0' || (!cut && count > 0 && buf[count - 1] != '\0')) {
        Fail("section names: list not ended within size");
      }
    }
    // The value rule for a few keys (every key at every size would make a
    // large input slow to run, and the rule does not depend on the key).
    int checked = 0;
    for (const platform::ProfileSection& section : data.sections) {
      for (const auto& entry : section.entries) {
        if (++checked > 8) break;
        count = platform::ProfileString(data, section.name.c_str(), entry.first.c_str(), "d", buf, n);
        if (n > 0 && (count >= n || buf[count] != '\0')) Fail("value: result not within size");
      }
      if (checked > 8) break;
    }
  }

  // IniFile over the same bytes: names in file order, values whole.
  spktest::MemoryEnv env;
  env.files["C:\\cfg\\Spekolar.ini"] = text;
  platform::ScopedEnv scoped(&env);
  IniFile ini;
  ini.SetPath("C:\\cfg\\Spekolar.ini");
  if (ini.Load() != platform::Status::kOk) Fail("IniFile could not read the file");
  std::vector<CString> names;
  ini.GetSectionNames(names);
  // Each section once, in file order; a name ends at a NUL byte, and an
  // empty one is not listed.
  std::vector<std::string> listed;
  for (const platform::ProfileSection& section : data.sections) {
    std::string name = section.name.substr(0, section.name.find('\0'));
    if (!name.empty()) listed.push_back(name);
  }
  if (names.size() != listed.size()) Fail("IniFile lists other sections than the file holds");
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i].str() != listed[i]) Fail("IniFile lists another section name");
  }
  // Values through IniFile for the first keys (its buffers grow the same
  // way for every key).
  int compared = 0;
  for (const platform::ProfileSection& section : data.sections) {
    // Lookups see the first section of a name only.
    if (data.FindSection(section.name) != &section) continue;
    if (compared > 32) break;
    for (const auto& entry : section.entries) {
      if (++compared > 32) break;
      std::string expected;
      if (!data.GetValue(section.name, entry.first, &expected)) Fail("a parsed key is not found");
      // Values end at a NUL byte, as a C string does.
      expected = expected.substr(0, expected.find('\0'));
      if (section.name.find('\0') != std::string::npos || entry.first.find('\0') != std::string::npos) {
        continue;
      }
      if (ini.GetString(section.name.c_str(), entry.first.c_str(), "").str() != expected) {
        Fail("IniFile's value differs from the parsed one");
      }
    }
  }
  return 0;
}
