#include "monitors/frame/SectionHandler.h"

#include "messages/MessageEmission.h"
#include "platform/Env.h"
#include "state/ProgramState.h"

bool RunSectionHandler(const SectionSpec& section, CString sectionName) {
  ProgramState& state = State();
  state.SectionFindingFlag = false;
  if (!state.MonitorSettings.Typ1.IsEmpty() && section.type1 != nullptr) section.type1(section, sectionName);
  if (!state.MonitorSettings.Typ2.IsEmpty() && section.type2 != nullptr) section.type2(section, sectionName);
  if (state.SectionFindingFlag) ReportSectionResult(section.monitorName, section.errorTitle);
  return false;
}

void ReportSectionResult(CString monitorName, CString errorTitle) {
  platform::LocalTime t = platform::GetEnv()->Now();
  CString line = CString::Formatted("%02d.%02d.%04d %02d:%02d:%02d - %s\n", t.day, t.month,
                                    t.year, t.hour, t.minute, t.second, errorTitle.c_str());
  ProgramState& state = State();
  CString kind = state.MonitorSettings.Meldungstyp;
  kind.MakeUpper();
  if (kind == "FENSTER") {
    state.Notifications.WriteNotification(line);
  } else if (kind == "E-MAIL") {
    state.Notifications.WriteMailText(line, state.TenantRow.MNDEML, state.MailRecipient);
  }
  StoreSectionMessage(errorTitle, monitorName);
}
