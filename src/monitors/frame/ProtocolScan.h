// How the protocol monitors find, open and read their files.
//
// One ProtocolScan is one monitor pass over the `Files` list of the
// section's settings. The scan owns everything the monitors have in common: the
// header entry, the file search, the run protocol entries, opening and
// reading, trimming and the date filter. A monitor states only what it does
// with a line, through the callbacks, and keeps its own pass state in the
// variables its lambdas capture.
//
// Run() does, in this order:
//   1. reads the local time once and forms Today() with the monitor's date
//      form; the filter needle starts as Today();
//   2. writes the header (MonitorHeader) to RunProtocol;
//   3. for each of the 20 slots: copies the slot into the settings' Datei
//      (the working copy); an empty slot ends the pass; onEntry; searches
//      the pattern (no match: "   Protokolldatei '<entry>' nicht gefunden.",
//      next slot); for each match in search order, directories included:
//      CheckedFileName() = its plain name, open its full path; a match that
//      cannot be opened is reported ("   Protokolldatei '<path>' konnte nicht
//      ge\xF6ffnet werden") and ends the whole pass; otherwise
//      "  Bearbeiten Protokolldatei '<path>'", onFileOpened, the lines, and
//      onEndOfFile.
//
// Lines are the reads of a 1000-byte fgets (LineReader): a line longer than
// 999 characters arrives as several pieces, each one a line here.
//
// Which pieces reach onLine is the monitor's filter, which it changes as its
// state changes: the pieces that contain the date text (the default), the
// pieces that contain any of a set of words, or every piece. A filter only
// spares the monitor pieces that its line handling would pass over: the
// handling must give the same result for every piece it is handed (each
// handed-over line says whether it is dated), so that a pass that is handed
// every piece finds exactly what the filtered pass finds. The pieces a
// filter passes over are skipped inside the reader's block search, which
// keeps large protocols cheap; LastSkipped gives the one just before a
// handed-over piece, for the monitor that looks back one line.
#pragma once

#include <functional>
#include <string_view>
#include <utility>

#include "monitors/frame/FindingRecord.h"
#include "monitors/frame/SectionHandler.h"
#include "platform/Env.h"
#include "text/CString.h"

namespace spekolar {

class NeedleSet;

namespace platform {
class LineReader;
}

// One line handed to a monitor. Valid only during the callback.
struct ScanLine {
  // The piece exactly as read: untrimmed, its LF included when it fit.
  std::string_view piece;
  // The piece with white space (blanks, tabs, line ends) removed at both
  // ends; what most monitors examine.
  CString text;
  // Whether `text` contains the scan's date text (SetDate).
  bool dated = false;
  // The 19 characters of `text` that begin where the date text first stands
  // in it (fewer when the text ends sooner): for a dated protocol line its
  // date and time. Empty when the line is not dated.
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

  // The pass of `section`'s monitor of `type` over the Files of `settings`,
  // which live as long as the scan.
  ProtocolScan(const SectionRow& section, MonitorSettingsRecord& settings, MonitorType type,
               DateForm dateForm);
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

  // Name without folder of the match being read (or the last one tried):
  // what a finding names as its checked file (CheckedFileField). Empty
  // before the first match.
  const CString& CheckedFileName() const { return checkedFileName_; }

  // A finding of this pass in the file being read: the section's name, the
  // monitor's Typ1 or Typ2, `text` as given (protected as far as it comes
  // from a line) and CheckedFileField(CheckedFileName()); no limits, no run
  // time.
  FindingRecord Finding(CString text) const;

  // The date text that makes a line dated and begins its stamp. Run() sets
  // it to Today(); a monitor whose files carry other date forms sets it per
  // file (in onFileOpened). It must not begin or end with white space.
  void SetDate(CString date) { date_ = std::move(date); }
  const CString& Date() const { return date_; }

  // The filter: which pieces reach onLine. Each call takes effect with the
  // next read (also from within onLine) and holds, across files, until the
  // next call. Run() starts with FilterDated.
  // Pieces that contain the date text.
  void FilterDated() { mode_ = Mode::kDated; }
  // Pieces whose bytes contain one of `words` (a word with white space at an
  // end may stand there untrimmed only: the monitor checks). The set must
  // live until the filter changes or the pass ends; its words hold neither
  // CR nor LF.
  void FilterAny(const NeedleSet* words) {
    mode_ = Mode::kAny;
    words_ = words;
  }
  // Every piece.
  void FilterEvery() { mode_ = Mode::kEvery; }

  // From within onLine or onEndOfFile: the trimmed text of the last piece
  // of the current file that the filter passed over since the piece handed
  // over before (or since the file's start), up to the current line (or the
  // end of the file). False when it passed over none.
  bool LastSkipped(CString* text) const;

  // Only from within onLine: reads the next piece of the current file,
  // whatever the filter, into `line`. False at the end of the file; the
  // scan then ends that file after onLine returns.
  bool ReadLine(ScanLine* line);

  // Tests: every later scan hands every piece to onLine, whatever the
  // filter, and LastSkipped finds none: the plain line-by-line pass that a
  // filtered pass must equal.
  static void HandEveryPieceForTesting(bool on);
  // Tests and fuzzing: later scans read their files in blocks of this many
  // bytes (0: LineReader's default), which puts lines across block
  // boundaries and spares a short input the large block's allocation.
  static void BlockSizeForTesting(size_t bytes);

 private:
  void ReadLines(platform::LineReader& reader);
  // Sets `line` from `piece`, reusing the capacity of its texts.
  void Fill(std::string_view piece, ScanLine* line) const;

  enum class Mode { kDated, kAny, kEvery };

  const SectionRow& section_;
  MonitorSettingsRecord& settings_;
  MonitorType type_;
  DateForm dateForm_;
  platform::LocalTime startTime_;
  CString today_;
  CString date_;
  CString checkedFileName_;
  Mode mode_ = Mode::kDated;
  const NeedleSet* words_ = nullptr;
  platform::LineReader* reader_ = nullptr;
};

}  // namespace spekolar
