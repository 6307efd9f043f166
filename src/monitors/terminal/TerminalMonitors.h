// The monitors of the sections TERMINAL DOWNLOAD and TERMINAL UPLOAD.
//
// The terminal manager exchanges data with the time-recording terminals and
// writes protocols of its download and upload runs, and communication logs
// of each exchange with a terminal. One Datei list serves both monitors of a
// section; a marker word in a match's path ("TERMCOMMLOG" for the download,
// "TERMUPL_NEU" for the upload) tells the kinds of file apart, counting from
// the first marked match of a Datei entry to the entry's end.
//
// Every monitor reads only today's part of a file: the lines from the first
// one bearing today's date (in the file's own date form, formed from the
// clock when the file is opened) on. Findings name the terminal that the
// protocol mentioned last in the pass (" " before any), go to
// FindingsProtocol, set SectionFindingFlag, and the first one of a pass is
// stored as a message row with the row's error title and monitor name
// ("Terminal Manager"). Results are not used by callers: true when the pass
// went through all 20 Files slots, false when it stopped at an empty slot or
// an unreadable match.
#pragma once

#include "monitors/frame/SectionHandler.h"

namespace spekolar {

// Run times of the download runs: "60" and "1200" seconds go into an empty
// MinLaufzeit / MaxLaufzeit. Reads the matches of an entry before its first
// TERMCOMMLOG match (which, like every later match of the entry, only gets
// its "Bearbeiten" entry), with the date dd-mm-yyyy. A run starts at the
// first line of today after a line with "Start" (not "TM_Autodownload") and
// ends at a line with "Ende" (not "Autodownload"); one finding per run, too
// short first, then too long.
bool CheckTerminalDownloadRuntime(const SectionRow& section, MonitorSettingsRecord& settings);

// Run times of the upload runs, the same pairing with the defaults "0" and
// "120", no exclusions, reading the first TERMUPL_NEU match of an entry and
// every later one (dates dd-mm-yyyy in marked paths, dd.mm.yyyy otherwise).
bool CheckTerminalUploadRuntime(const SectionRow& section, MonitorSettingsRecord& settings);

// Error lines of the download: communication logs (from an entry's first
// TERMCOMMLOG match on; stamps ddmmyyyyhhmmss) with their error lines and
// the terminals that did not answer before the next exchange started, and
// download protocols with their error lines, one finding per stamp.
bool CheckTerminalDownloadErrors(const SectionRow& section, MonitorSettingsRecord& settings);

// Error lines of the upload: TERMUPL_NEU protocols (from an entry's first
// marked match on) with one finding per stamp, and the other protocols
// with every error line.
bool CheckTerminalUploadErrors(const SectionRow& section, MonitorSettingsRecord& settings);

}  // namespace spekolar
