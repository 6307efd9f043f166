// The handler that runs one monitor section and sends its notification.
//
// Ten sections are handled alike: clear SectionFindingFlag, run the type-1
// monitor when Typ1 is set and then the type-2 monitor when Typ2 is set, and,
// if a monitor set the flag, report the section once (ReportSectionResult).
// They differ only in their texts and their two monitors, so a section is a
// SectionSpec and there is one handler for all.
//
// Plugging in a monitor: the texts of every section live here
// (kSectionTexts), the monitors in their own folders. The app joins them,
// at compile time, into a plain handler function for its dispatch table:
//
//   constexpr SectionSpec kDailyClosing = MakeSectionSpec(
//       "TAGESABSCHLUSS", CheckDailyClosingRuntime, CheckDailyClosingErrors);
//   ... {"TAGESABSCHLUSS", &HandleSection<kDailyClosing>}, ...
//
// A monitor that does not exist yet is passed as nullptr and not run.
#pragma once

#include <iterator>
#include <string_view>

#include "text/CString.h"

// A monitor: takes the upper-cased section name, reads its settings from
// MonitorSettings, reports its findings itself and sets SectionFindingFlag
// when it has any. Its result is ignored.
using MonitorFunction = bool (*)(CString sectionName);

// The constant texts of one section.
struct SectionTexts {
  const char* key;          // upper-case section name, e.g. "TERMINAL DOWNLOAD"
  const char* monitorName;  // category text of the section message
  const char* errorTitle;   // title of the section message and notification
};

// All eleven sections in dispatch order. LAUFWERK is among them for its
// texts only: it has its own handler, which ends with ReportSectionResult.
inline constexpr SectionTexts kSectionTexts[] = {
    {"JOBCONTROLLER", "Jobcontroller", "Jobcontroller-Fehler"},
    {"TAGESABSCHLUSS", "Tagesabschluss", "Tagesabschluss-Fehler"},
    {"RECHENPROGRAMME", "Rechenprogramme", "Rechenprogramm-Fehler"},
    {"TERMINAL DOWNLOAD", "Terminal Manager", "Terminal-Download-Fehler"},
    {"TERMINAL UPLOAD", "Terminal Manager", "Terminal-Upload-Fehler"},
    {"LUG", "Lohn und Gehalt", "LuG-Fehler"},
    {"LAUFWERK", "Laufwerk", "Kapazitaet vom Laufwerk ist unterschritten"},
    {"GRUPPE1", "Gruppe1", "Gruppe1-Fehler"},
    {"GRUPPE2", "Gruppe2", "Gruppe2-Fehler"},
    {"GRUPPE3", "Gruppe3", "Gruppe3-Fehler"},
    {"GRUPPE4", "Gruppe4", "Gruppe4-Fehler"},
};

// Index into kSectionTexts of the texts whose key equals `upperName`
// exactly; -1 for any other name.
constexpr int SectionTextsIndex(std::string_view upperName) {
  for (int i = 0; i < static_cast<int>(std::size(kSectionTexts)); ++i) {
    if (upperName == kSectionTexts[i].key) return i;
  }
  return -1;
}

// The texts whose key equals `upperName` exactly; nullptr for any other name.
inline const SectionTexts* FindSectionTexts(std::string_view upperName) {
  int i = SectionTextsIndex(upperName);
  return i < 0 ? nullptr : &kSectionTexts[i];
}

struct SectionSpec {
  const char* key;
  const char* monitorName;
  const char* errorTitle;
  MonitorFunction type1;  // nullable
  MonitorFunction type2;  // nullable
};

// The description of a section from its texts and its monitors. `key` must be one
// of the keys of kSectionTexts; for another key the texts are empty.
constexpr SectionSpec MakeSectionSpec(const char* key, MonitorFunction type1,
                                      MonitorFunction type2) {
  int i = SectionTextsIndex(key);
  if (i < 0) return SectionSpec{key, "", "", type1, type2};
  return SectionSpec{kSectionTexts[i].key, kSectionTexts[i].monitorName,
                     kSectionTexts[i].errorTitle, type1, type2};
}

// Runs the section: clears SectionFindingFlag, runs type1 if Typ1 is not
// empty and type2 if Typ2 is not empty (type 1 first), and if the flag is
// then set calls ReportSectionResult with the section's texts. Always false (the
// dispatcher ignores it).
bool RunSectionHandler(const SectionSpec& section, CString sectionName);

// RunSectionHandler bound to one section, as a plain function for a dispatch
// table of function pointers.
template <const SectionSpec& Section>
bool HandleSection(CString sectionName) {
  return RunSectionHandler(Section, sectionName);
}

// The section's report, once however many findings it had: the line
// "dd.mm.yyyy hh:mm:ss - <errorTitle>" from the current local time goes to
// SPEKOLAR.NRT when Meldungstyp is FENSTER or to SPEKOLAR.EML (with the
// tenant's address and MailRecipient as its address lines) when it is
// E-MAIL (either in any letter case; any other value, empty included,
// writes no notification file), then StoreSectionMessage(errorTitle,
// monitorName) in every case. Also the tail of the LAUFWERK handler.
void ReportSectionResult(CString monitorName, CString errorTitle);
