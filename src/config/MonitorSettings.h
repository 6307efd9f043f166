// The keys of the monitor section being handled, and how each is read.
//
// One program-wide record, overwritten by each section in turn and handed by
// the frame to the section's monitors. Monitors read their settings from it
// and may write defaults (MinLaufzeit, MaxLaufzeit) and their working pattern
// (Datei) into it; a later monitor of the same section sees those values.
//
// kMonitorSettingsKeys is the one list of a monitor section's keys: the pass
// fills the record through it (ApplySetting), and --check takes from it the
// names it knows, the keys a section does not use and the values that must be
// numbers.
#pragma once

#include <string_view>
#include <vector>

#include "text/CString.h"

namespace spekolar {

struct MonitorSettingsRecord {
  static constexpr int kFileSlots = 20;
  static constexpr int kIds = 3;

  CString Typ1;   // "1" when Typ holds a '1', else empty
  CString Typ2;   // "2" when Typ holds a '2', else empty
  CString Datei;  // raw value, later the monitors' working pattern
  CString Files[kFileSlots];
  CString Meldungstyp;
  CString MinLaufzeit;
  CString MaxLaufzeit;
  CString MinGroesse;
  CString Id1, Id2, Id3;
};

// How a key's value becomes fields of the record.
enum class SettingParse {
  kTyp,        // Typ1 "1" when the value holds a '1', Typ2 "2" when it holds a '2'
  kFileSlots,  // Datei as written, and its first kFileSlots comma-separated patterns
  kIds,        // Id1, Id2, Id3: the first three comma-separated parts
  kText,       // the value as written
  kNumber,     // the value as written; a pass reads its leading integer
  kMegabytes,  // the value as written; a pass cuts it at its first 'M' (MegabytesOf)
};

// One bit per key, for the keys a section reads.
enum SettingKeyBit : unsigned {
  kKeyTyp = 1u << 0,
  kKeyDatei = 1u << 1,
  kKeyMeldungstyp = 1u << 2,
  kKeyMinLaufzeit = 1u << 3,
  kKeyMaxLaufzeit = 1u << 4,
  kKeyMinGroesse = 1u << 5,
  kKeyId = 1u << 6,
};

struct SettingKey {
  const char* name;  // as the configuration writes it (compared without regard to case)
  SettingKeyBit bit;
  SettingParse parse;
  CString MonitorSettingsRecord::*field;  // the field filled as written; null for kTyp and kIds
  bool content;      // a value here makes the section worth handing to its handler
  const char* unit;  // of a number, for --check's messages; null for others
};

inline constexpr SettingKey kMonitorSettingsKeys[] = {
    {"Typ", kKeyTyp, SettingParse::kTyp, nullptr, false, nullptr},
    {"Datei", kKeyDatei, SettingParse::kFileSlots, &MonitorSettingsRecord::Datei, true, nullptr},
    {"Meldungstyp", kKeyMeldungstyp, SettingParse::kText, &MonitorSettingsRecord::Meldungstyp, true,
     nullptr},
    {"MinLaufzeit", kKeyMinLaufzeit, SettingParse::kNumber, &MonitorSettingsRecord::MinLaufzeit, true,
     "seconds"},
    {"MaxLaufzeit", kKeyMaxLaufzeit, SettingParse::kNumber, &MonitorSettingsRecord::MaxLaufzeit, true,
     "seconds"},
    {"MinGroesse", kKeyMinGroesse, SettingParse::kMegabytes, &MonitorSettingsRecord::MinGroesse, true,
     "megabytes"},
    {"ID", kKeyId, SettingParse::kIds, nullptr, true, nullptr},
};

// The key whose name equals `name` without regard to case; nullptr for any
// other name.
const SettingKey* FindSettingKey(std::string_view name);

// Empties every field the keys fill.
void ClearSettings(MonitorSettingsRecord& m);

// Fills the record's fields for `key` from its value as written.
void ApplySetting(MonitorSettingsRecord& m, const SettingKey& key, const CString& value);

// MinGroesse without its first 'M' and what follows it: "500MB" and
// "500 MB" both give "500" and "500 ".
CString MegabytesOf(const CString& minGroesse);

// The comma-separated parts of `text`, all of them (one for a text without
// a comma).
std::vector<CString> SplitAtCommas(const CString& text);

}  // namespace spekolar
