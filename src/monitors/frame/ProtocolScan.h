// How the protocol monitors find, open and read their files.
//
// One ProtocolScan is one monitor pass over the `Files` list of the current
// MonitorSettings. The scan owns everything the monitors have in common: the
// header entry, the file search, the run protocol entries, opening and
// reading, trimming and the date filter. A monitor states only what it does
// with a line, through the callbacks, and keeps its own pass state in the
// variables its lambdas capture.
//
// Run() does, in this order:
//   1. reads the local time once and forms Today() with the monitor's date
//      form; the filter needle starts as Today();
//   2. writes the header to RunProtocol;
//   3. for each of the 20 slots: copies the slot into MonitorSettings.Datei
//      (the working copy); an empty slot ends the pass; onEntry; searches
//      the pattern (no match: "   Protokolldatei '<entry>' nicht gefunden.",
//      next slot); for each match in search order, directories included:
//      CheckedFileName = its plain name, open its full path; a match that
//      cannot be opened is reported ("   Protokolldatei '<path>' konnte nicht
//      ge\xF6ffnet werden") and ends the whole pass; otherwise
//      "  Bearbeiten Protokolldatei '<path>'", onFileOpened, the lines, and
//      onEndOfFile.
//
// Lines are the reads of a 1000-byte fgets (LineReader): a line longer than
// 999 characters arrives as several pieces, each one a line here. A piece
// reaches onLine only when its trimmed text contains the filter needle; an
// empty needle lets every piece through. Skipping undated lines happens
// inside the reader's block search, which keeps large protocols cheap.
#pragma once

#include <functional>
#include <string_view>
#include <utility>

#include "platform/Env.h"
#include "text/CString.h"

class LineReader;

// One line handed to a monitor. Valid only during the callback.
struct ScanLine {
  // The piece exactly as read: untrimmed, its LF included when it fit.
  std::string_view piece;
  // The piece with white space (blanks, tabs, line ends) removed at both
  // ends; what most monitors examine.
  CString text;
  // The 19 characters of `text` that begin where the filter needle first
  // stands in it (fewer when the text ends sooner): for a dated protocol
  // line its date and time. Empty when the filter is off or the needle is not
  // in the text.
  CString stamp;
};

// The 19 characters of `text` from the first occurrence of `date` (fewer
// when the text ends sooner); empty when `date` is empty or not in the text.
// For monitors that run with the filter off and find their dates themselves.
CString StampAt(const CString& text, const CString& date);

class ProtocolScan {
 public:
  // Forms the date text searched for, e.g. platform::DateDotted
  // ("dd.mm.yyyy") or platform::DateIso ("yyyy-mm-dd").
  using DateForm = CString (*)(const platform::LocalTime&);

  // `header` is the monitor's first RunProtocol entry, e.g.
  // " \xDC" "berwachung Jobcontroller Typ 2 (Fehlermeldungen)".
  ProtocolScan(CString header, DateForm dateForm);
  virtual ~ProtocolScan();
  ProtocolScan(const ProtocolScan&) = delete;
  ProtocolScan& operator=(const ProtocolScan&) = delete;

  // Callbacks; each may be left empty.
  // A non-empty slot has been copied into Datei and is about to be searched.
  std::function<void(const CString& entry)> onEntry;
  // A match has been opened and its "Bearbeiten" entry written. Return false
  // to close it without reading a line (onEndOfFile is then not called).
  std::function<bool(const platform::FoundFile& match)> onFileOpened;
  // A line that passed the filter.
  std::function<void(ScanLine& line)> onLine;
  // A file has been read to its end (or to a failed read).
  std::function<void()> onEndOfFile;

  // Runs the pass. True when all 20 slots were gone through; false when it
  // ended early, at an empty slot or at a match that could not be opened.
  bool Run();

  // The local time read at the start of Run() and today's date text formed
  // from it. Valid from the start of Run() on.
  const platform::LocalTime& StartTime() const { return startTime_; }
  const CString& Today() const { return today_; }

  // The filter needle: pieces whose trimmed text does not contain it are
  // skipped. Empty: every piece passes. Run() sets it to Today(); a monitor
  // may change it at any time (also from within onLine, taking effect with
  // the next read) and it is not reset between files.
  void SetFilter(CString needle) { needle_ = std::move(needle); }
  const CString& Filter() const { return needle_; }

  // Only from within onLine: reads the next piece of the current file,
  // whatever the filter, into `line` (stamp as for filtered lines). False at
  // the end of the file; the scan then ends that file after onLine returns.
  bool ReadLine(ScanLine* line);

 private:
  void ReadLines(LineReader& reader);
  // Sets `line` from `piece` (reusing the capacity of its texts); true when
  // the filter needle is not empty and stands in the trimmed text.
  bool Fill(std::string_view piece, ScanLine* line) const;

  CString header_;
  DateForm dateForm_;
  platform::LocalTime startTime_;
  CString today_;
  CString needle_;
  LineReader* reader_ = nullptr;
};
