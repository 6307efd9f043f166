// The finding line that every protocol monitor writes, and the way a finding
// is reported.
//
// A finding becomes one record of seven fields joined by ";" (no quoting):
//   section;type;minimum;maximum;run time;text;checked file
// e.g. TAGESABSCHLUSS;1;60;2100;30;07.12.2026 22:00:30 - Laufzeit
// unterschritten;(gepruefte Datei: tagab.log), with u-umlaut (0xFC) in the
// real texts. Readers split the record at ";", so text that comes from a
// protocol line gets its semicolons protected with ProtectSemicolons before it
// goes into field 6.
#pragma once

#include "text/CString.h"

namespace spekolar {

struct MeasuredRun;

struct FindingRecord {
  CString section;      // the section name as the handler passed it (upper case)
  CString type;         // Typ1 ("1") or Typ2 ("2")
  CString minimum;      // MinLaufzeit, or empty
  CString maximum;      // MaxLaufzeit, or empty
  CString runTime;      // run time in seconds, or empty
  CString text;         // the finding text
  CString checkedFile;  // usually CheckedFileField(scan.CheckedFileName()); empty for the job controller

  // The seven fields joined by ";", every field but `text` (which its
  // monitor has protected as far as it comes from a line) with its
  // semicolons protected. Fields without ";" are joined as they stand.
  CString Join() const;
};

// Every ";" becomes the three characters  ";"  (quote, semicolon, quote).
// Applied to finding texts that carry text from a protocol line, so a
// semicolon in the line cannot be taken for a field separator.
CString ProtectSemicolons(CString text);

// "(gepr\xFC" "fte Datei: " + fileName + ")", field 7; the name is the
// scan's CheckedFileName().
CString CheckedFileField(const CString& fileName);

// Writes one finding record to FindingsProtocol ("dd.mm.yyyy hh:mm:ss;record")
// and tells the pass observer; returns the record as written, which is also
// the detail of its message row. Every NUL byte (a protocol line may hold
// one, and is searched whole) is written as a blank: the row's detail is a
// C string that a NUL would cut, and the record in the file and the row
// must say the same. Every finding of every monitor goes through here.
CString WriteFindingRecord(CString record);

// Writes one entry to RunProtocol ("dd.mm.yyyy hh:mm:ss - text"): a
// monitor's header and its progress entries.
void WriteRunEntry(const CString& text);

// Reports the findings of one monitor pass. Every finding goes to
// FindingsProtocol ("dd.mm.yyyy hh:mm:ss;record") and sets
// SectionFindingFlag; only the pass's first finding is also stored as a
// message row, so a pass with many findings adds one row to the message table.
// One reporter lives for one pass (one monitor call).
class FindingReporter {
 public:
  // title and monitorName are handed to StoreFindingMessage; monitorName may
  // be empty (the job controller stores its findings without one).
  FindingReporter(CString title, CString monitorName);
  virtual ~FindingReporter() = default;

  // Writes the record, stores it as the pass's message if none was stored
  // yet, and sets SectionFindingFlag; does nothing for a finding that an
  // earlier pass of the day already reported (IsNewFinding). Failures of the writers are theirs; the
  // pass goes on regardless.
  void Report(const FindingRecord& record);

  // Tells the pass observer, if one watches, of a run that the monitor
  // measured / of a terminal that did not answer. Neither is a finding.
  void RunMeasured(const MeasuredRun& run) const;
  void TerminalNoAnswer(const CString& terminal) const;

  bool MessageStored() const { return messageStored_; }
  int FindingCount() const { return findingCount_; }

 private:
  CString title_;
  CString monitorName_;
  bool messageStored_ = false;
  int findingCount_ = 0;
};

}  // namespace spekolar
