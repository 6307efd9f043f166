// What the four terminal manager monitors share: the terminal name of a
// terminal line, the rewrites of a protocol stamp into the program's own
// "dd.mm.yyyy hh:mm:ss", the marker that sorts an entry's matches into two
// kinds of file, and the word sets of their line filters.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "monitors/frame/FindingRecord.h"
#include "monitors/frame/ProtocolScan.h"
#include "monitors/frame/SectionHandler.h"
#include "text/CString.h"
#include "text/NeedleSet.h"

namespace spekolar {

// The terminal line of the download and upload protocols: the tag, a blank
// and the name, which so begins at column 12.
inline constexpr char kTerminalTag[] = "Term      :";
inline constexpr int kTerminalColumn = 12;

// The terminal name of a terminal line: the text from `column` on, trailing
// white space removed. If it holds a double quote, the name is the part
// after the first one that is two characters shorter than the whole text
// (or runs to its end, if that comes first): for a name quoted directly
// after the tag, the name between the quotes.
CString TerminalName(std::string_view line, int column);

// A stamp "dd-mm-yyyy hh:mm:ss" as "dd.mm.yyyy hh:mm:ss": characters 0 and
// 1, ".", 3 and 4, ".", then the 13 characters from 6 on as they stand. A
// short stamp gives a short text.
CString DottedStamp(const CString& stamp);

// "dd.mm.yyyy hh:mm:ss" put together field by field, the separators being
// the program's own whatever the stamp holds between its fields; a field
// beyond a short stamp comes out short or empty.
// From the 14 characters "ddmmyyyyhhmmss" of a communication log.
CString DottedFromCompact(const CString& stamp);
// From the 19 characters "dd-mm-yyyy hh:mm:ss".
CString DottedFromHyphened(const CString& stamp);

// The first `length` characters of `text` from where `date` first stands in
// it (fewer when the text ends sooner); empty when it is not there. A view
// into `text`.
std::string_view StampIn(std::string_view text, const CString& date, size_t length);

// A Datei entry of a terminal section may match both kinds of the section's
// files; those of the second kind carry a marker word in their path. From
// the entry's first match whose path, in upper case, contains the marker
// on, the marker counts as seen for the rest of the entry. Every opened
// match gets its date text from the clock at that moment, in the form its
// own path calls for.
class EntryMarker {
 public:
  // `marker` in upper case.
  EntryMarker(const char* marker, ProtocolScan::DateForm markedDate,
              ProtocolScan::DateForm plainDate);
  virtual ~EntryMarker() = default;

  // At the start of each Datei entry.
  void NewEntry() { seen_ = false; }
  // For a match just opened: notes whether its path carries the marker and
  // sets the scan's date text. True when its own path carries the marker.
  bool Open(const CString& path, ProtocolScan& scan);
  bool Seen() const { return seen_; }

 private:
  const char* marker_;
  ProtocolScan::DateForm markedDate_;
  ProtocolScan::DateForm plainDate_;
  bool seen_ = false;
};

// The words a monitor's line filter looks for once a file's part of today
// has begun, together with that file's date text: one NeedleSet per date
// text, built on its first use and kept for the pass.
class DatedWords {
 public:
  explicit DatedWords(std::vector<std::string_view> words);
  virtual ~DatedWords() = default;
  DatedWords(const DatedWords&) = delete;
  DatedWords& operator=(const DatedWords&) = delete;

  // The set of `date` and the words; lives as long as this object.
  const NeedleSet* For(const CString& date);

 private:
  std::vector<std::string> words_;
  std::map<std::string, std::unique_ptr<NeedleSet>> sets_;
};

// What a pass over a terminal section's files holds, whatever it looks for:
// the section's settings, its finding reporter (with the row's error title
// and monitor name), the entry marker and the scan, which starts each Datei
// entry unmarked. `Rules` (a monitor's table row) gives marker, markedDate
// and plainDate.
class TerminalPass {
 public:
  TerminalPass(const TerminalPass&) = delete;
  TerminalPass& operator=(const TerminalPass&) = delete;

 protected:
  template <typename Rules>
  TerminalPass(const Rules& rules, const SectionRow& section, MonitorSettingsRecord& settings,
               MonitorType type)
      : settings_(settings),
        reporter_(section.errorTitle, section.monitorName),
        marker_(rules.marker, rules.markedDate, rules.plainDate),
        scan_(section, settings, type, rules.plainDate) {
    scan_.onEntry = [this](const CString&) { marker_.NewEntry(); };
  }
  virtual ~TerminalPass() = default;

  MonitorSettingsRecord& settings_;
  FindingReporter reporter_;
  EntryMarker marker_;
  ProtocolScan scan_;
};

// Whether `text` contains `word` (case-sensitive).
inline bool Has(std::string_view text, std::string_view word) {
  return text.find(word) != std::string_view::npos;
}

}  // namespace spekolar
