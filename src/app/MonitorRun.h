// The walk over the monitor configuration and the dispatch of each section.
//
// RunMonitors lists the sections in file order, reads the mail recipient,
// and for every section but SPEKOLAR fills the program-wide MonitorSettings
// (ReadMonitorSettings) and, when the section has content, hands it to the
// handler of its catalogue row (DispatchSection). Nothing here fails: a
// missing key reads as empty, a section without content or without a row is
// skipped silently.
#pragma once

#include <functional>
#include <span>

#include "app/SectionCatalogue.h"
#include "config/IniFile.h"
#include "text/CString.h"

namespace spekolar {

// Recipient used when section SPEKOLAR has no E-Mail key.
extern const char kDefaultMailRecipient[];

void RunMonitors(IniFile& ini, std::span<const SectionRow> catalogue = SectionCatalogue());

// The walk of RunMonitors: reads the mail recipient, then calls `run` with
// the name of each section (but SPEKOLAR) that has content, in file order,
// its settings in State().MonitorSettings.
void ForEachMonitorSection(IniFile& ini, const std::function<void(const CString& name)>& run);

// Fills State().MonitorSettings from the section as written in the file,
// every key of kMonitorSettingsKeys. True when a key that counts as content
// (any but Typ) is not empty.
bool ReadMonitorSettings(IniFile& ini, const CString& sectionName);

// Upper-cases the name and runs the row whose key equals it: its own handler,
// or else the frame's section handler. True when a row exists.
bool DispatchSection(CString sectionName, std::span<const SectionRow> catalogue = SectionCatalogue());

}  // namespace spekolar
