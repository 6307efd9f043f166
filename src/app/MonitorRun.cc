#include "app/MonitorRun.h"

#include <vector>

#include "state/ProgramState.h"

const char kDefaultMailRecipient[] = "support@korvane.de";

void RunMonitors(IniFile& ini, std::span<const DispatchEntry> table) {
  std::vector<CString> names;
  ini.GetSectionNames(names);
  State().MailRecipient = ini.GetString("SPEKOLAR", "E-Mail", kDefaultMailRecipient);
  for (size_t i = 0; i < names.size(); ++i) {
    CString upper = names[i];
    upper.MakeUpper();
    if (upper == "SPEKOLAR") continue;  // holds no monitor
    if (ReadMonitorSettings(ini, names[i])) DispatchSection(names[i], table);
  }
}

bool ReadMonitorSettings(IniFile& ini, const CString& sectionName) {
  MonitorSettingsRecord& m = State().MonitorSettings;
  const char* section = sectionName.c_str();
  bool content = false;

  m.Typ1.Empty();
  m.Typ2.Empty();
  m.Id2.Empty();
  m.Id3.Empty();

  CString typ = ini.GetString(section, "Typ", "");
  if (typ.Find('1') >= 0) m.Typ1 = "1";
  if (typ.Find('2') >= 0) m.Typ2 = "2";

  m.Datei = ini.GetString(section, "Datei", "");
  for (CString& slot : m.Files) slot.Empty();
  if (!m.Datei.IsEmpty()) {
    content = true;
    CString rest = m.Datei;
    for (CString& slot : m.Files) {
      int comma = rest.Find(',');
      if (comma >= 0) {
        slot = rest.Left(comma);
        rest = rest.Mid(comma + 1);
      } else {
        if (!rest.IsEmpty()) slot = rest;
        break;
      }
    }
  }

  m.Meldungstyp = ini.GetString(section, "Meldungstyp", "");
  m.MinLaufzeit = ini.GetString(section, "MinLaufzeit", "");
  m.MaxLaufzeit = ini.GetString(section, "MaxLaufzeit", "");
  m.MinGroesse = ini.GetString(section, "MinGroesse", "");
  if (!m.Meldungstyp.IsEmpty() || !m.MinLaufzeit.IsEmpty() || !m.MaxLaufzeit.IsEmpty() ||
      !m.MinGroesse.IsEmpty()) {
    content = true;
  }

  CString id = ini.GetString(section, "ID", "");
  if (!id.IsEmpty()) content = true;
  m.Id1 = id;
  int comma = id.Find(',');
  if (comma >= 0) {
    m.Id1 = id.Left(comma);
    CString rest = id.Mid(comma + 1);
    CString secondRest;
    comma = rest.Find(',');
    if (comma >= 0) {
      m.Id2 = rest.Left(comma);
      secondRest = rest.Mid(comma + 1);
    } else {
      m.Id2 = rest;
    }
    comma = secondRest.Find(',');
    m.Id3 = comma >= 0 ? secondRest.Left(comma) : secondRest;
  }
  return content;
}

bool DispatchSection(CString sectionName, std::span<const DispatchEntry> table) {
  sectionName.MakeUpper();
  for (const DispatchEntry& entry : table) {
    if (sectionName == entry.name) {
      PassObserver* observer = State().Observer;
      if (observer != nullptr) observer->SectionBegins(sectionName);
      if (entry.handler != nullptr) entry.handler(sectionName);
      if (observer != nullptr) observer->SectionEnds(sectionName);
      return true;
    }
  }
  return false;
}
