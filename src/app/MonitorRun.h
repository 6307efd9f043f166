// The walk over the monitor configuration and the dispatch of each section.
//
// RunMonitors lists the sections in file order, reads the mail recipient,
// and for every section but SPEKOLAR fills the program-wide MonitorSettings
// (ReadMonitorSettings) and, when the section has content, hands it to the
// handler for its upper-cased name (DispatchSection). Nothing here fails: a
// missing key reads as empty, a section without content or without a
// handler is skipped silently.
#pragma once

#include <span>

#include "config/IniFile.h"
#include "text/CString.h"

// A section handler takes the upper-cased section name; its result is
// ignored.
using SectionHandlerFunction = bool (*)(CString upperName);

struct DispatchEntry {
  const char* name;  // upper case, compared as a whole
  SectionHandlerFunction handler;
};

// Recipient used when section SPEKOLAR has no E-Mail key.
extern const char kDefaultMailRecipient[];

// The eleven monitor sections in the order in which names are compared.
std::span<const DispatchEntry> DefaultDispatchTable();

void RunMonitors(IniFile& ini, std::span<const DispatchEntry> table = DefaultDispatchTable());

// Fills State().MonitorSettings from the section as written in the file.
// True when any of Datei, Meldungstyp, MinLaufzeit, MaxLaufzeit, MinGroesse
// and ID is not empty (Typ alone is no content).
bool ReadMonitorSettings(IniFile& ini, const CString& sectionName);

// Upper-cases the name and calls the first handler whose name equals it.
// True when a handler exists.
bool DispatchSection(CString sectionName,
                     std::span<const DispatchEntry> table = DefaultDispatchTable());
