// The run pairing of the download and upload runtime monitors: one pass,
// told apart by a table of its texts and rules.
#include <utility>

#include "monitors/frame/FindingRecord.h"
#include "monitors/frame/ProtocolScan.h"
#include "monitors/frame/RunTime.h"
#include "monitors/terminal/TerminalMonitors.h"
#include "monitors/terminal/TerminalText.h"
#include "config/MonitorSettings.h"
#include "platform/TimeText.h"
#include "state/ProgramState.h"  // MeasuredRun

namespace spekolar {

namespace {

constexpr char kStartWord[] = "Start";
constexpr char kEndWord[] = "Ende";

struct RuntimeRules {
  const char* defaultMinimum;
  const char* defaultMaximum;
  const char* marker;
  // Which matches of an entry are read: false, those before its first
  // marked match; true, that one and all after it.
  bool readMarked;
  ProtocolScan::DateForm markedDate;  // of a match whose own path is marked
  ProtocolScan::DateForm plainDate;
  // A previous line holding this starts no run; nullptr for none.
  const char* startExclusion;
  // An end line holding this ends no run; nullptr for none.
  const char* endExclusion;
};

const RuntimeRules kDownload = {
    "60", "1200", "TERMCOMMLOG", false, platform::DateHyphened, platform::DateHyphened,
    "TM_Autodownload", "Autodownload",
};

const RuntimeRules kUpload = {
    "0", "120", "TERMUPL_NEU", true, platform::DateHyphened, platform::DateDotted,
    nullptr, nullptr,
};

bool HasUnless(const CString& text, const char* word, const char* exclusion) {
  return text.Contains(word) && (exclusion == nullptr || !text.Contains(exclusion));
}

// Within a file a run begins at the first line bearing today's date (after
// the file's start or after the last end line), and only if the line read
// just before it does not bear the date and contains the start word: the
// start time is that first dated line's stamp. The run ends at the next
// line with the end word; its end time is the stamp of the latest dated
// line. An end with no start taken since the last end is measured from the
// start taken last in the pass, or from 00:00:00 if there was none. A run
// open at the end of a file is dropped.
//
// The filter follows the state: before a run only dated lines matter (the
// one before the first is LastSkipped); in a run the dated, terminal and
// end lines.
class RunPairing : public TerminalPass {
 public:
  RunPairing(const RuntimeRules& rules, const SectionRow& section, MonitorSettingsRecord& settings)
      : TerminalPass(rules, section, settings, MonitorType::kRunTime),
        section_(section),
        rules_(rules) {}

  bool Run() {
    if (settings_.MinLaufzeit.IsEmpty()) settings_.MinLaufzeit = rules_.defaultMinimum;
    if (settings_.MaxLaufzeit.IsEmpty()) settings_.MaxLaufzeit = rules_.defaultMaximum;
    scan_.onFileOpened = [this](const platform::FoundFile& match) { return Open(match); };
    scan_.onLine = [this](ScanLine& line) { Handle(line); };
    scan_.onEndOfFile = [this]() {
      if (!dateSeen_) TakeSkippedAsPrevious();
    };
    return scan_.Run();
  }

 private:
  bool Open(const platform::FoundFile& match) {
    marker_.Open(match.path, scan_);
    if (marker_.Seen() != rules_.readMarked) return false;
    dateSeen_ = false;
    startSeen_ = false;
    runWords_ = words_.For(scan_.Date());
    scan_.FilterDated();
    return true;
  }

  // The lines the filter passed over before the run count as read: the
  // last of them is the previous line.
  void TakeSkippedAsPrevious() {
    CString skipped;
    if (scan_.LastSkipped(&skipped)) previousLine_ = std::move(skipped);
  }

  void Handle(ScanLine& line) {
    const CString& text = line.text;
    if (!dateSeen_) {
      if (!line.dated) {
        previousLine_ = text;
        return;
      }
      TakeSkippedAsPrevious();
      dateSeen_ = true;
      scan_.FilterAny(runWords_);
    }
    if (line.dated) {
      lineStamp_ = line.stamp;
      if (!startSeen_ && HasUnless(previousLine_, kStartWord, rules_.startExclusion)) {
        previousLine_.Empty();
        startStamp_ = lineStamp_;
        startSeen_ = true;
      }
    }
    if (text.Contains(kTerminalTag)) {
      terminal_ = TerminalName(text.view(), kTerminalColumn);
      return;
    }
    if (HasUnless(text, kEndWord, rules_.endExclusion)) {
      Evaluate();
      startSeen_ = false;
      dateSeen_ = false;
      scan_.FilterDated();
    }
  }

  // The clock times come from the stamps' fixed columns; there is no
  // midnight handling, so a run across midnight comes out negative.
  void Evaluate() {
    const MonitorSettingsRecord& settings = settings_;
    const int runTime = SecondsAtStampColumns(lineStamp_) - SecondsAtStampColumns(startStamp_);
    MeasuredRun run;
    run.section = section_.key;
    run.terminal = terminal_;
    if (!startStamp_.IsEmpty()) run.start = DottedStamp(startStamp_);
    run.end = DottedStamp(lineStamp_);
    run.seconds = runTime;
    run.minimum = LeadingInteger(settings.MinLaufzeit);
    run.maximum = LeadingInteger(settings.MaxLaufzeit);
    reporter_.RunMeasured(run);
    const char* verdict = nullptr;
    if (runTime < LeadingInteger(settings.MinLaufzeit)) {
      verdict = " - Laufzeit unterschritten";
    } else if (runTime > LeadingInteger(settings.MaxLaufzeit)) {
      verdict = " - Laufzeit \xFC" "berschritten";
    }
    if (verdict == nullptr) return;
    // The terminal name and the stamp's columns come from protocol lines: a
    // semicolon in them is protected, so that the record keeps its seven
    // fields.
    FindingRecord record =
        scan_.Finding(ProtectSemicolons(terminal_ + " - " + DottedStamp(lineStamp_)) + verdict);
    record.minimum = settings.MinLaufzeit;
    record.maximum = settings.MaxLaufzeit;
    record.runTime = CString::Formatted("%d", runTime);
    reporter_.Report(record);
  }

  const SectionRow& section_;
  const RuntimeRules& rules_;
  DatedWords words_{{kTerminalTag, kEndWord}};
  const NeedleSet* runWords_ = nullptr;

  // Per file, and cleared after each end line.
  bool dateSeen_ = false;
  bool startSeen_ = false;
  // Carried over through the whole pass, across files and entries.
  CString previousLine_;
  CString lineStamp_;
  CString startStamp_;
  CString terminal_ = " ";
};

}  // namespace

bool CheckTerminalDownloadRuntime(const SectionRow& section, MonitorSettingsRecord& settings) {
  return RunPairing(kDownload, section, settings).Run();
}

bool CheckTerminalUploadRuntime(const SectionRow& section, MonitorSettingsRecord& settings) {
  return RunPairing(kUpload, section, settings).Run();
}

}  // namespace spekolar
