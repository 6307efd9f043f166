// The two monitors of the TAGESABSCHLUSS section.
//
// The daily closing writes a protocol whose lines begin with a stamp
// "dd.mm.yyyy hh:mm:ss". A run begins with a line containing
// "Tagesabschluss wird gestartet" and ends with one containing
// "Tagesabschluss beendet", or breaks off with "Keine Verbindung". Both
// monitors look at today's lines only, report each finding to
// FindingsProtocol, store the first finding of a pass as a message row
// (the row's error title and monitor name) and set SectionFindingFlag.
// Their results are not used by callers: true when the pass went through all
// 20 Files slots, false when it stopped at an empty slot or an unreadable
// match.
#pragma once

#include "monitors/frame/SectionHandler.h"

namespace spekolar {

// Run times: puts the defaults "60" and "2100" seconds into an empty
// MinLaufzeit / MaxLaufzeit of the settings, pairs each start line with
// the next end line (also in a later file of the pass) and reports a run
// shorter than the minimum ("Laufzeit unterschritten") and, independently,
// one longer than the maximum ("Laufzeit \xFC" "berschritten"), plus every
// "Keine Verbindung" that breaks off a started run. Clock times are cut from
// columns 11, 14 and 17; a run across midnight gives a negative run time.
bool CheckDailyClosingRuntime(const SectionRow& section, MonitorSettingsRecord& settings);

// Errors within a run: every line with "Fehler" or "Error", a break-off with
// "Keine Verbindung", and each of four processing phases whose start was
// logged without its end or the other way round (checked at the end line).
// A run is bounded by its file: an open run is dropped at the end of a file.
bool CheckDailyClosingErrors(const SectionRow& section, MonitorSettingsRecord& settings);

}  // namespace spekolar
