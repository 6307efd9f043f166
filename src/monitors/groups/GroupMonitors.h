// The monitors of the four free groups GRUPPE1 to GRUPPE4.
//
// Each group watches whatever protocol files its Datei names. The groups
// differ in how today's date is written in their files and in how an error
// is found:
//
//   GRUPPE1  "dd.Month yyyy" (English month name)  line scan
//   GRUPPE2  "dd.Month yyyy"                       block scan
//   GRUPPE3  "dd-mm-yyyy"                          block scan
//   GRUPPE4  "ddmmyyyy"                            block scan
//
// Line scan: a line (trimmed) that holds the date and " Fehler " or
// " Error " (blanks on both sides) is a finding with the line as its text.
//
// Block scan: a dated line opens an entry, and the lines up to the next
// dated line belong to it; the entry text is "Fehler - " + the dated line,
// trimmed. Each line of an entry with "Fehler ", "Error ", "[nativecode="
// or "Failed " is a finding with the entry text: the dated line is searched
// trimmed, the other lines as read (untrimmed, line end included). Lines
// before a file's first dated line belong to no entry and are not searched;
// each file starts without an entry.
//
// The record: section;2;MinLaufzeit;MaxLaufzeit;;text;(gepr\xFC" "fte Datei: name),
// with MinLaufzeit and MaxLaufzeit as configured and the text's semicolons
// protected. The first finding of a call is stored as a message row with
// the row's title ("Gruppe1-Fehler", ...) and monitor name ("Gruppe1",
// but " " for GRUPPE2).
//
// Both monitors take the section's catalogue row, whose names and title
// they use and whose key names the group; a row of any other key does
// nothing and gives false.
#pragma once

#include "monitors/frame/SectionHandler.h"

namespace spekolar {

// Writes the header " \xDC" "berwachung <protocolName> Typ 1 (Laufzeit)"
// and nothing else. True for a group's row.
bool CheckGroupRuntime(const SectionRow& section, MonitorSettingsRecord& settings);

// Scans the Files of the section for today's errors as above. True when
// the pass went through all 20 Files slots.
bool CheckGroupErrors(const SectionRow& section, MonitorSettingsRecord& settings);

}  // namespace spekolar
