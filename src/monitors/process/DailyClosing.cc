#include "monitors/process/DailyClosing.h"

#include "monitors/frame/FindingRecord.h"
#include "monitors/frame/ProtocolScan.h"
#include "monitors/frame/RunTime.h"
#include "config/MonitorSettings.h"
#include "platform/TimeText.h"
#include "state/ProgramState.h"  // MeasuredRun
#include "text/NeedleSet.h"

namespace spekolar {

namespace {
const char kStartText[] = "Tagesabschluss wird gestartet";
const char kEndText[] = "Tagesabschluss beendet";
const char kBreakOffText[] = "Keine Verbindung";

// A processing phase of a run, logged by a start and an end marker. A run
// that logged exactly one of the two lost the phase's other half.
struct Phase {
  const char* startMarker;
  const char* endMarker;
  const char* findingText;  // appended to the end line's stamp
};

// The TGB text has no " - " of its own: its finding reads "<stamp>Kein ...".
const Phase kPhases[] = {
    {"Schreibe Ersatzbuchungen...", "Schreibe Ersatzbuchungen beendet",
     " - Kein Start/Ende 'Schreibe Ersatzbuchungen'"},
    {"Starte TGB", "TGB beendet", "Kein Start/Ende TGB"},
    {"Starte Url", "Url und Pkt beendet", " - Kein Start/Ende Url und Pkt"},
    {"Starte Folgemeldungen", "Folgemeldungen beendet", " - Kein Start/Ende Folgemeldung"},
};
constexpr int kPhaseCount = sizeof kPhases / sizeof kPhases[0];

// The words CheckDailyClosingErrors looks for in each line of a run, searched
// together; their bits in RunWords().Find(text).
enum RunWord {
  kEndWord,
  kBreakOffWord,
  kPhaseStartWord0,  // + phase index
  kPhaseEndWord0 = kPhaseStartWord0 + kPhaseCount,  // + phase index
  kErrorWord = kPhaseEndWord0 + kPhaseCount,
  kFehlerWord,
};

const NeedleSet& RunWords() {
  static const NeedleSet words = {
      kEndText,
      kBreakOffText,
      kPhases[0].startMarker,
      kPhases[1].startMarker,
      kPhases[2].startMarker,
      kPhases[3].startMarker,
      kPhases[0].endMarker,
      kPhases[1].endMarker,
      kPhases[2].endMarker,
      kPhases[3].endMarker,
      "Error",
      "Fehler",
  };
  static_assert(kPhaseCount == 4 && kFehlerWord == 11, "RunWords lists every phase marker");
  return words;
}
}  // namespace

bool CheckDailyClosingRuntime(const SectionRow& section, MonitorSettingsRecord& settings) {
  if (settings.MinLaufzeit.IsEmpty()) settings.MinLaufzeit = "60";
  if (settings.MaxLaufzeit.IsEmpty()) settings.MaxLaufzeit = "2100";

  FindingReporter reporter(section.errorTitle, section.monitorName);
  // A run may start in one file and end in a later one of the same pass.
  bool started = false;
  int startSeconds = 0;
  CString startStamp;

  ProtocolScan scan(section, settings, MonitorType::kRunTime, platform::DateDotted);
  auto report = [&](const CString& runTime, const CString& text) {
    FindingRecord record = scan.Finding(text);
    record.minimum = settings.MinLaufzeit;
    record.maximum = settings.MaxLaufzeit;
    record.runTime = runTime;
    reporter.Report(record);
  };

  scan.onLine = [&](ScanLine& line) {
    if (!line.dated) return;
    const CString& text = line.text;
    if (!started) {
      if (text.Contains(kStartText)) {
        started = true;
        startSeconds = SecondsAtStampColumns(text);
        startStamp = line.stamp;
      }
      return;
    }
    if (text.Contains(kEndText)) {
      // No midnight handling: a run across midnight comes out negative and
      // is reported as too short.
      int runTime = SecondsAtStampColumns(text) - startSeconds;
      CString runTimeText = CString::Formatted("%d", runTime);
      MeasuredRun run;
      run.section = section.key;
      run.start = startStamp;
      run.end = line.stamp;
      run.seconds = runTime;
      run.minimum = LeadingInteger(settings.MinLaufzeit);
      run.maximum = LeadingInteger(settings.MaxLaufzeit);
      reporter.RunMeasured(run);
      if (runTime < LeadingInteger(settings.MinLaufzeit)) {
        report(runTimeText, ProtectSemicolons(line.stamp) + " - Laufzeit unterschritten");
      }
      if (runTime > LeadingInteger(settings.MaxLaufzeit)) {
        report(runTimeText, ProtectSemicolons(line.stamp) + " - Laufzeit \xFC" "berschritten");
      }
      started = false;
    } else if (text.Contains(kBreakOffText)) {
      report(CString(), ProtectSemicolons(line.stamp + text.Mid(19)));
      started = false;
    }
  };
  return scan.Run();
}

bool CheckDailyClosingErrors(const SectionRow& section, MonitorSettingsRecord& settings) {
  FindingReporter reporter(section.errorTitle, section.monitorName);
  bool started = false;
  bool ended = false;
  bool errorSeen = false;
  bool phaseStarted[kPhaseCount] = {};
  bool phaseEnded[kPhaseCount] = {};

  auto closeRun = [&]() {
    started = false;
    ended = false;
    for (int i = 0; i < kPhaseCount; ++i) phaseStarted[i] = phaseEnded[i] = false;
  };
  ProtocolScan scan(section, settings, MonitorType::kErrors, platform::DateDotted);
  auto report = [&](const CString& text) { reporter.Report(scan.Finding(text)); };

  const NeedleSet& runWords = RunWords();
  scan.onLine = [&](ScanLine& line) {
    if (!line.dated) return;
    const CString& text = line.text;
    if (!started) {
      // The start line itself is not examined.
      if (text.Contains(kStartText)) started = true;
      return;
    }
    // One search for all words of the line; the tests below keep the order
    // in which the words are looked at.
    const uint64_t words = runWords.Find(text.view());
    auto has = [words](int word) { return (words & NeedleSet::Bit(word)) != 0; };
    if (has(kEndWord)) ended = true;
    if (has(kBreakOffWord)) {
      report(ProtectSemicolons(text));
      closeRun();
      return;
    }
    for (int i = 0; i < kPhaseCount; ++i) {
      if (has(kPhaseStartWord0 + i)) phaseStarted[i] = true;
      if (has(kPhaseEndWord0 + i)) phaseEnded[i] = true;
    }
    if (has(kErrorWord)) errorSeen = true;
    if (has(kFehlerWord) || errorSeen) {
      report(ProtectSemicolons(text));
      errorSeen = false;
    }
    if (ended) {
      for (int i = 0; i < kPhaseCount; ++i) {
        if (phaseStarted[i] != phaseEnded[i]) {
          report(ProtectSemicolons(line.stamp) + kPhases[i].findingText);
        }
      }
      closeRun();
    }
  };
  scan.onEndOfFile = [&]() {
    closeRun();
    errorSeen = false;
  };
  return scan.Run();
}

}  // namespace spekolar
