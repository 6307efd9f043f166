#include "app/MonitorRun.h"

#include <functional>
#include <vector>

#include "state/ProgramState.h"

namespace spekolar {

const char kDefaultMailRecipient[] = "support@korvane.de";

void RunMonitors(IniFile& ini, std::span<const SectionRow> catalogue) {
  ForEachMonitorSection(ini, [catalogue](const CString& name) { DispatchSection(name, catalogue); });
}

void ForEachMonitorSection(IniFile& ini, const std::function<void(const CString& name)>& run) {
  std::vector<CString> names;
  ini.GetSectionNames(names);
  State().MailRecipient = ini.GetString("SPEKOLAR", "E-Mail", kDefaultMailRecipient);
  for (size_t i = 0; i < names.size(); ++i) {
    CString upper = names[i];
    upper.MakeUpper();
    if (upper == "SPEKOLAR") continue;  // holds no monitor
    if (ReadMonitorSettings(ini, names[i])) run(names[i]);
  }
}

bool ReadMonitorSettings(IniFile& ini, const CString& sectionName) {
  MonitorSettingsRecord& m = State().MonitorSettings;
  ClearSettings(m);
  bool content = false;
  for (const SettingKey& key : kMonitorSettingsKeys) {
    const CString value = ini.GetString(sectionName.c_str(), key.name, "");
    ApplySetting(m, key, value);
    content = content || (key.content && !value.IsEmpty());
  }
  return content;
}

bool DispatchSection(CString sectionName, std::span<const SectionRow> catalogue) {
  sectionName.MakeUpper();
  const SectionRow* section = FindSection(sectionName.view(), catalogue);
  if (section == nullptr) return false;
  PassObserver* observer = State().Observer;
  if (observer != nullptr) observer->SectionBegins(sectionName);
  if (section->handler != nullptr) {
    section->handler(*section, State().MonitorSettings);
  } else {
    RunSectionHandler(*section, State().MonitorSettings);
  }
  if (observer != nullptr) observer->SectionEnds(sectionName);
  return true;
}

}  // namespace spekolar
