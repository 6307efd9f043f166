#include "monitors/terminal/TerminalText.h"

#include "platform/Env.h"

namespace spekolar {

CString TerminalName(std::string_view line, int column) {
  CString name = CString(line).Mid(column);
  name.TrimRight();
  const int quote = name.Find('"');
  if (quote >= 0) name = name.Mid(quote + 1, name.GetLength() - 2);
  return name;
}

CString DottedStamp(const CString& stamp) {
  return stamp.Mid(0, 2) + "." + stamp.Mid(3, 2) + "." + stamp.Mid(6, 13);
}

namespace {
// Where the fields of a stamp begin; the year has four characters, every
// other field two.
struct StampLayout {
  int day, month, year, hour, minute, second;
};

CString DottedFromFields(const CString& stamp, const StampLayout& at) {
  return stamp.Mid(at.day, 2) + "." + stamp.Mid(at.month, 2) + "." + stamp.Mid(at.year, 4) + " " +
         stamp.Mid(at.hour, 2) + ":" + stamp.Mid(at.minute, 2) + ":" + stamp.Mid(at.second, 2);
}
}  // namespace

CString DottedFromCompact(const CString& stamp) {
  return DottedFromFields(stamp, {0, 2, 4, 8, 10, 12});
}

CString DottedFromHyphened(const CString& stamp) {
  return DottedFromFields(stamp, {0, 3, 6, 11, 14, 17});
}

std::string_view StampIn(std::string_view text, const CString& date, size_t length) {
  const size_t at = text.find(date.view());
  if (date.IsEmpty() || at == std::string_view::npos) return {};
  return text.substr(at, length);
}

EntryMarker::EntryMarker(const char* marker, ProtocolScan::DateForm markedDate,
                         ProtocolScan::DateForm plainDate)
    : marker_(marker), markedDate_(markedDate), plainDate_(plainDate) {}

bool EntryMarker::Open(const CString& path, ProtocolScan& scan) {
  CString upper = path;
  upper.MakeUpper();
  const bool marked = upper.Contains(marker_);
  if (marked) seen_ = true;
  const platform::LocalTime now = platform::GetEnv()->Now();
  scan.SetDate((marked ? markedDate_ : plainDate_)(now));
  return marked;
}

DatedWords::DatedWords(std::vector<std::string_view> words) : words_(words.begin(), words.end()) {}

const NeedleSet* DatedWords::For(const CString& date) {
  std::unique_ptr<NeedleSet>& set = sets_[date.str()];
  if (!set) {
    std::vector<std::string_view> needles = {date.view()};
    needles.insert(needles.end(), words_.begin(), words_.end());
    set = std::make_unique<NeedleSet>(needles);
  }
  return set.get();
}

}  // namespace spekolar
