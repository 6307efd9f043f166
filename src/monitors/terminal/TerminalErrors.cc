// The download and upload error monitors: one pass that reads each match
// in one of two line forms, chosen by the entry's marker. The four forms
// differ only in the rules of the table below.
#include <iterator>
#include <string_view>
#include <utility>
#include <vector>

#include "monitors/frame/FindingRecord.h"
#include "monitors/frame/ProtocolScan.h"
#include "monitors/terminal/TerminalMonitors.h"
#include "monitors/terminal/TerminalText.h"
#include "config/MonitorSettings.h"
#include "platform/TimeText.h"

namespace spekolar {

namespace {

constexpr char kExchangeStart[] = "Start";
constexpr char kExchangeEnd[] = "beendet";
constexpr char kNoAnswer[] = " - Terminal reagiert nicht";

struct LineForm {
  // Lines are examined trimmed, or as read (leading blanks and the line end
  // kept; trailing white space is removed only from a reported line).
  bool trimmed;
  size_t stampLength;  // characters of the stamp, from where the date stands
  CString (*findingTime)(const CString& stamp);
  const char* terminalTag;  // nullptr: terminal lines are not recognised
  int terminalColumn;
  const char* errorWords[2];
  // One finding per stamp: an error line whose stamp is that of the last
  // reported one is passed over.
  bool oncePerStamp;
  // Exchanges with a terminal are followed: a dated start line opens one,
  // an end line closes it, and a start while one is open reports that the
  // terminal did not answer.
  bool exchanges;
};

// Communication logs: "ddmmyyyyhhmmss" stamps, "Terminal: name" lines.
const LineForm kCommunicationForm = {
    true, 14, DottedFromCompact, "Terminal:", 10, {"Fehler ", "Error "}, false, true,
};
// Download protocols.
const LineForm kDownloadProtocolForm = {
    false, 19, DottedStamp, kTerminalTag, kTerminalColumn, {" Fehler", "Error"}, true, false,
};
// TERMUPL_NEU upload protocols.
const LineForm kMarkedUploadForm = {
    true, 19, DottedFromHyphened, kTerminalTag, kTerminalColumn, {"Fehler ", "Error "}, true, false,
};
// Other upload protocols.
const LineForm kPlainUploadForm = {
    false, 19, DottedStamp, nullptr, 0, {" Fehler", "Error"}, false, false,
};

struct ErrorRules {
  const char* marker;
  ProtocolScan::DateForm markedDate;  // of a match whose own path is marked
  ProtocolScan::DateForm plainDate;
  const LineForm& markedForm;  // from the entry's first marked match on
  const LineForm& plainForm;   // before it
};

const ErrorRules kDownload = {
    "TERMCOMMLOG", platform::DateCompact, platform::DateHyphened,
    kCommunicationForm, kDownloadProtocolForm,
};

const ErrorRules kUpload = {
    "TERMUPL_NEU", platform::DateHyphened, platform::DateDotted,
    kMarkedUploadForm, kPlainUploadForm,
};

// The words that make a line of today count in a form, besides its date.
// The end of an exchange only counts while one is running: clearing a
// clear flag changes nothing.
std::vector<std::string_view> FilterWords(const LineForm& form, bool exchangeRunning) {
  std::vector<std::string_view> words(std::begin(form.errorWords), std::end(form.errorWords));
  if (form.terminalTag != nullptr) words.push_back(form.terminalTag);
  if (form.exchanges && exchangeRunning) words.push_back(kExchangeEnd);
  return words;
}

std::string_view WithoutLineEnd(std::string_view piece) {
  while (!piece.empty() && (piece.back() == '\n' || piece.back() == '\r')) piece.remove_suffix(1);
  return piece;
}

// Lines before a file's first line of today are passed over; from there on
// the form's rules decide. The filter follows the state: before today only
// dated lines; then the dated lines and those with the form's words; every
// line while a terminal that did not answer waits to be reported.
class ErrorPass : public TerminalPass {
 public:
  ErrorPass(const ErrorRules& rules, const SectionRow& section, MonitorSettingsRecord& settings)
      : TerminalPass(rules, section, settings, MonitorType::kErrors),
        rules_(rules),
        markedWords_(FilterWords(rules.markedForm, true)),
        plainWords_(FilterWords(rules.plainForm, true)),
        markedIdleWords_(FilterWords(rules.markedForm, false)),
        plainIdleWords_(FilterWords(rules.plainForm, false)) {}

  bool Run() {
    scan_.onFileOpened = [this](const platform::FoundFile& match) {
      marker_.Open(match.path, scan_);
      form_ = marker_.Seen() ? &rules_.markedForm : &rules_.plainForm;
      formWords_ = (marker_.Seen() ? markedWords_ : plainWords_).For(scan_.Date());
      idleWords_ = (marker_.Seen() ? markedIdleWords_ : plainIdleWords_).For(scan_.Date());
      dateSeen_ = false;
      SetFilter();
      return true;
    };
    scan_.onLine = [this](ScanLine& line) {
      Handle(line);
      SetFilter();
    };
    return scan_.Run();
  }

 private:
  void SetFilter() {
    if (!dateSeen_) {
      scan_.FilterDated();
    } else if (noResponse_ && form_->exchanges) {
      scan_.FilterEvery();
    } else {
      scan_.FilterAny(running_ ? formWords_ : idleWords_);
    }
  }

  void Handle(const ScanLine& line) {
    const LineForm& form = *form_;
    if (!dateSeen_) {
      if (!line.dated) return;
      dateSeen_ = true;
    }
    const std::string_view text = form.trimmed ? line.text.view() : line.piece;
    if (line.dated) {
      // A line as read keeps its blanks but not its line end in the stamp:
      // a date within 19 characters of the line end would otherwise carry
      // the line end into the finding record and split it in two.
      const std::string_view stamp =
          form.trimmed ? line.stamp.view().substr(0, form.stampLength)
                       : StampIn(WithoutLineEnd(text), scan_.Date(), form.stampLength);
      lineStamp_.str().assign(stamp);  // keeps the buffer from line to line
      if (form.exchanges && Has(text, kExchangeStart)) {
        // A start opens an exchange; a start while one is open means the
        // terminal of the open one did not answer.
        if (!running_) {
          running_ = true;
          return;
        }
        noResponse_ = true;
      }
    }
    if (form.terminalTag != nullptr && Has(text, form.terminalTag)) {
      terminal_ = TerminalName(text, form.terminalColumn);
      return;
    }
    if (form.exchanges && Has(text, kExchangeEnd)) {
      running_ = false;
      return;
    }
    // A terminal that did not answer is reported with the first line that
    // gets this far, whatever the line says.
    if (form.exchanges && noResponse_) {
      noResponse_ = false;
      reporter_.TerminalNoAnswer(terminal_);
      Report(form.findingTime(lineStamp_) + kNoAnswer);
      return;
    }
    if (!Has(text, form.errorWords[0]) && !Has(text, form.errorWords[1])) return;
    if (form.oncePerStamp && lineStamp_ == lastReportedStamp_) return;
    CString reported(text);
    reported.TrimRight();
    Report(form.findingTime(lineStamp_) + " - " + reported);
    if (form.oncePerStamp) lastReportedStamp_ = lineStamp_;
  }

  void Report(const CString& findingText) {
    // The terminal name and the text both come from protocol lines: their
    // semicolons are protected, so that the record keeps its seven fields.
    reporter_.Report(
        scan_.Finding(ProtectSemicolons(terminal_) + " - " + ProtectSemicolons(findingText)));
  }

  const ErrorRules& rules_;
  DatedWords markedWords_;
  DatedWords plainWords_;
  DatedWords markedIdleWords_;  // without the end of an exchange
  DatedWords plainIdleWords_;

  // The form and filter words of the file being read.
  const LineForm* form_ = nullptr;
  const NeedleSet* formWords_ = nullptr;
  const NeedleSet* idleWords_ = nullptr;  // while no exchange is running
  bool dateSeen_ = false;  // per file
  // Carried over through the whole pass, across files and entries.
  CString lineStamp_;
  CString terminal_ = " ";
  CString lastReportedStamp_;
  bool running_ = false;
  bool noResponse_ = false;
};

}  // namespace

bool CheckTerminalDownloadErrors(const SectionRow& section, MonitorSettingsRecord& settings) {
  return ErrorPass(kDownload, section, settings).Run();
}

bool CheckTerminalUploadErrors(const SectionRow& section, MonitorSettingsRecord& settings) {
  return ErrorPass(kUpload, section, settings).Run();
}

}  // namespace spekolar
