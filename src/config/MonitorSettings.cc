#include "config/MonitorSettings.h"

namespace spekolar {

namespace {

CString Upper(std::string_view text) {
  CString upper(text);
  upper.MakeUpper();
  return upper;
}

}  // namespace

const SettingKey* FindSettingKey(std::string_view name) {
  const CString upper = Upper(name);
  for (const SettingKey& key : kMonitorSettingsKeys) {
    if (upper == Upper(key.name)) return &key;
  }
  return nullptr;
}

void ClearSettings(MonitorSettingsRecord& m) { m = MonitorSettingsRecord(); }

void ApplySetting(MonitorSettingsRecord& m, const SettingKey& key, const CString& value) {
  if (key.field != nullptr) m.*key.field = value;
  switch (key.parse) {
    case SettingParse::kTyp:
      m.Typ1 = value.Find('1') >= 0 ? "1" : "";
      m.Typ2 = value.Find('2') >= 0 ? "2" : "";
      break;
    case SettingParse::kFileSlots: {
      const std::vector<CString> patterns = SplitAtCommas(value);
      for (int slot = 0; slot < MonitorSettingsRecord::kFileSlots; ++slot) {
        m.Files[slot] = static_cast<size_t>(slot) < patterns.size() ? patterns[slot] : CString();
      }
      break;
    }
    case SettingParse::kIds: {
      const std::vector<CString> ids = SplitAtCommas(value);
      CString* fields[MonitorSettingsRecord::kIds] = {&m.Id1, &m.Id2, &m.Id3};
      for (size_t i = 0; i < std::size(fields); ++i) *fields[i] = i < ids.size() ? ids[i] : CString();
      break;
    }
    case SettingParse::kText:
    case SettingParse::kNumber:
    case SettingParse::kMegabytes:
      break;
  }
}

CString MegabytesOf(const CString& minGroesse) {
  const int cut = minGroesse.Find('M');
  return cut >= 0 ? minGroesse.Left(cut) : minGroesse;
}

std::vector<CString> SplitAtCommas(const CString& text) {
  std::vector<CString> pieces;
  CString rest = text;
  for (int comma = rest.Find(','); comma >= 0; comma = rest.Find(',')) {
    pieces.push_back(rest.Left(comma));
    rest = rest.Mid(comma + 1);
  }
  pieces.push_back(rest);
  return pieces;
}

}  // namespace spekolar
