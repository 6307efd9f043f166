#include "monitors/process/DailyClosing.h"

#include "monitors/frame/FindingRecord.h"
#include "monitors/frame/ProtocolScan.h"
#include "monitors/frame/RunTime.h"
#include "platform/TimeText.h"
#include "state/ProgramState.h"

namespace {
const char kErrorTitle[] = "Tagesabschluss-Fehler";
const char kMonitorName[] = "Tagesabschluss";
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
}  // namespace

bool CheckDailyClosingRuntime(CString sectionName) {
  MonitorSettingsRecord& settings = State().MonitorSettings;
  if (settings.MinLaufzeit.IsEmpty()) settings.MinLaufzeit = "60";
  if (settings.MaxLaufzeit.IsEmpty()) settings.MaxLaufzeit = "2100";

  FindingReporter reporter(kErrorTitle, kMonitorName);
  // A run may start in one file and end in a later one of the same pass.
  bool started = false;
  int startSeconds = 0;

  auto report = [&](const CString& runTime, const CString& text) {
    FindingRecord record;
    record.section = sectionName;
    record.type = settings.Typ1;
    record.minimum = settings.MinLaufzeit;
    record.maximum = settings.MaxLaufzeit;
    record.runTime = runTime;
    record.text = text;
    record.checkedFile = CheckedFileField();
    reporter.Report(record);
  };

  ProtocolScan scan(" \xDC" "berwachung Tagesabschluss Typ 1 (Laufzeit)", platform::DateDotted);
  scan.onLine = [&](ScanLine& line) {
    const CString& text = line.text;
    if (!started) {
      if (text.Contains(kStartText)) {
        started = true;
        startSeconds = SecondsAtStampColumns(text);
      }
      return;
    }
    if (text.Contains(kEndText)) {
      // No midnight handling: a run across midnight comes out negative and
      // is reported as too short.
      int runTime = SecondsAtStampColumns(text) - startSeconds;
      CString runTimeText = CString::Formatted("%d", runTime);
      if (runTime < LeadingInteger(settings.MinLaufzeit)) {
        report(runTimeText, line.stamp + " - Laufzeit unterschritten");
      }
      if (runTime > LeadingInteger(settings.MaxLaufzeit)) {
        report(runTimeText, line.stamp + " - Laufzeit \xFC" "berschritten");
      }
      started = false;
    } else if (text.Contains(kBreakOffText)) {
      report(CString(), ProtectSemicolons(line.stamp + text.Mid(19)));
      started = false;
    }
  };
  return scan.Run();
}

bool CheckDailyClosingErrors(CString sectionName) {
  MonitorSettingsRecord& settings = State().MonitorSettings;
  FindingReporter reporter(kErrorTitle, kMonitorName);
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
  auto report = [&](const CString& text) {
    FindingRecord record;
    record.section = sectionName;
    record.type = settings.Typ2;
    record.text = text;
    record.checkedFile = CheckedFileField();
    reporter.Report(record);
  };

  ProtocolScan scan(" \xDC" "berwachung Tagesabschluss Typ 2 (Fehlermeldungen)",
                    platform::DateDotted);
  scan.onLine = [&](ScanLine& line) {
    const CString& text = line.text;
    if (!started) {
      // The start line itself is not examined.
      if (text.Contains(kStartText)) started = true;
      return;
    }
    if (text.Contains(kEndText)) ended = true;
    if (text.Contains(kBreakOffText)) {
      report(ProtectSemicolons(text));
      closeRun();
      return;
    }
    for (int i = 0; i < kPhaseCount; ++i) {
      if (text.Contains(kPhases[i].startMarker)) phaseStarted[i] = true;
      if (text.Contains(kPhases[i].endMarker)) phaseEnded[i] = true;
    }
    if (text.Contains("Error")) errorSeen = true;
    if (text.Contains("Fehler") || errorSeen) {
      report(ProtectSemicolons(text));
      errorSeen = false;
    }
    if (ended) {
      for (int i = 0; i < kPhaseCount; ++i) {
        if (phaseStarted[i] != phaseEnded[i]) report(line.stamp + kPhases[i].findingText);
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
