// The handler that runs one monitor section and sends its notification.
//
// Ten sections are handled alike: clear SectionFindingFlag, run the type-1
// monitor when Typ1 is set and then the type-2 monitor when Typ2 is set, and,
// if a monitor set the flag, report the section once (ReportSectionResult).
// They differ only in their texts and their two monitors, so a section is a
// SectionRow and there is one handler for all. LAUFWERK has a handler of its
// own instead.
//
// Plugging in a monitor: every section is one SectionRow row of the section
// catalogue (src/app/SectionCatalogue.cc), which joins the section's texts,
// keys and monitors; the monitors live in their own folders. The dispatch,
// --check, --plugin, --report, the fuzz target and the fault sweep all walk
// that catalogue. A monitor that does not exist yet is nullptr and not run.
#pragma once

#include "text/CString.h"

namespace spekolar {

struct MonitorSettingsRecord;
struct SectionRow;

// A monitor, or a section's own handler. The frame hands it the section's
// catalogue row (its names: the key is the section name its findings carry,
// the protocol name its run protocol headers) and the section's settings,
// which it reads and into which it may write its defaults (MinLaufzeit,
// MaxLaufzeit) for a later monitor of the section to see. It reports its
// findings itself and sets SectionFindingFlag when it has any. Its result is
// ignored.
using SectionFunction = bool (*)(const SectionRow& section, MonitorSettingsRecord& settings);

// The two monitors of a section: type 1 watches run times, type 2 error
// messages.
enum class MonitorType { kRunTime = 1, kErrors = 2 };

// How --plugin rates a section's findings.
enum class FindingSeverity { kCritical, kWarning };

// Everything the program knows of one section the configuration can name.
struct SectionRow {
  const char* key;           // upper-case section name, e.g. "TERMINAL DOWNLOAD"
  const char* protocolName;  // the section's name in its run protocol headers
  const char* monitorName;   // category text of the section message
  const char* errorTitle;    // title of the section message and notification
  SectionFunction type1;     // nullable
  SectionFunction type2;     // nullable
  SectionFunction handler;   // the section's own handler instead of the frame's; nullable
  unsigned keys;             // the SettingKeyBits of the keys the section reads
  FindingSeverity severity;
  bool measuresRuns;         // its run-time monitor measures runs (--report charts them)
};

// A monitor's first run protocol entry: " \xDC" "berwachung <protocolName>
// Typ 1 (Laufzeit)" or "... Typ 2 (Fehlermeldungen)".
CString MonitorHeader(const SectionRow& section, MonitorType type);

// Runs the section: clears SectionFindingFlag, runs type1 if Typ1 is not
// empty and type2 if Typ2 is not empty (type 1 first), and if the flag is
// then set calls ReportSectionResult. Always false (the dispatcher ignores
// it).
bool RunSectionHandler(const SectionRow& section, MonitorSettingsRecord& settings);

// The section's report, once however many findings it had: the line
// "dd.mm.yyyy hh:mm:ss - <errorTitle>" from the current local time goes to
// SPEKOLAR.NRT when Meldungstyp is FENSTER or to SPEKOLAR.EML (with the
// tenant's address and MailRecipient as its address lines) when it is
// E-MAIL (either in any letter case; any other value, empty included,
// writes no notification file), then StoreSectionMessage(errorTitle,
// monitorName) in every case. Also the tail of the LAUFWERK handler.
void ReportSectionResult(const SectionRow& section, const MonitorSettingsRecord& settings);

}  // namespace spekolar
