// The LAUFWERK section: free space of up to three drives.
#pragma once

#include "monitors/frame/SectionHandler.h"

namespace spekolar {

// The section's own handler (it runs no type-1/type-2 monitors and ignores
// Typ); `section` is its catalogue row, whose names and title it uses. Cuts
// MinGroesse at its first "M", in the settings themselves, so "500MB" and
// "500 MB" both mean and show 500; the minimum is the leading integer of what
// is left (none: 0). Writes the header " \xDC" "berwachung <protocolName>",
// then for Id1, Id2 and Id3 in turn, skipping empty ones, takes the free
// space of the volume holding the path (all its free bytes, not only the
// caller's quota) in whole MiB, rounded down. A drive with strictly less than
// the minimum is a finding, each one reported on its own:
//   LAUFWERK;3;<MinGroesse>;;<free> MB;Kapazitaet unterschritten;<path>
// to FindingsProtocol and as a message row ("Laufwerks\xFC" "berwachungs-Fehler",
// the row's monitorName). A path whose free space cannot be queried (missing,
// a share that is gone, a drive that is not ready) counts as 0 MB free, so
// the operator hears of it, and its reason is written to RunProtocol:
//   "   Laufwerk '<path>' konnte nicht abgefragt werden: <system's text>".
// With at least one finding the section is reported once (notification
// line and section message, ReportSectionResult). SectionFindingFlag is not
// touched. Always false.
bool CheckDriveCapacity(const SectionRow& section, MonitorSettingsRecord& settings);

}  // namespace spekolar
