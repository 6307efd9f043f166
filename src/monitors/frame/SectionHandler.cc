#include "monitors/frame/SectionHandler.h"

#include "config/MonitorSettings.h"
#include "messages/MessageEmission.h"
#include "platform/Env.h"
#include "state/ProgramState.h"

namespace spekolar {

CString MonitorHeader(const SectionRow& section, MonitorType type) {
  return CString(" \xDC" "berwachung ") + section.protocolName +
         (type == MonitorType::kRunTime ? " Typ 1 (Laufzeit)" : " Typ 2 (Fehlermeldungen)");
}

bool RunSectionHandler(const SectionRow& section, MonitorSettingsRecord& settings) {
  ProgramState& state = State();
  state.SectionFindingFlag = false;
  if (!settings.Typ1.IsEmpty() && section.type1 != nullptr) section.type1(section, settings);
  if (!settings.Typ2.IsEmpty() && section.type2 != nullptr) section.type2(section, settings);
  if (state.SectionFindingFlag) ReportSectionResult(section, settings);
  return false;
}

void ReportSectionResult(const SectionRow& section, const MonitorSettingsRecord& settings) {
  platform::LocalTime t = platform::GetEnv()->Now();
  CString line = CString::Formatted("%02d.%02d.%04d %02d:%02d:%02d - %s\n", t.day, t.month,
                                    t.year, t.hour, t.minute, t.second, section.errorTitle);
  ProgramState& state = State();
  CString kind = settings.Meldungstyp;
  kind.MakeUpper();
  if (kind == "FENSTER") {
    state.Notifications.WriteNotification(line);
  } else if (kind == "E-MAIL") {
    state.Notifications.WriteMailText(line, state.TenantRow.MNDEML, state.MailRecipient);
  }
  StoreSectionMessage(section.errorTitle, section.monitorName);
}

}  // namespace spekolar
