#include "monitors/process/Payroll.h"

#include "monitors/frame/FindingRecord.h"
#include "monitors/frame/ProtocolScan.h"
#include "platform/TimeText.h"
#include "state/ProgramState.h"
#include "text/NeedleSet.h"

namespace {
const char kErrorTitle[] = "LuG-Fehler";
const char kMonitorName[] = "Lohn und Gehalt";

// What an examined line is looked at for, searched together; the bits of
// Find's result in this order.
enum PayrollWord { kProgramWord, kFehlerWord, kLowerFehlerWord, kCostCentreWord, kNotOpenedWord };

const NeedleSet& PayrollWords() {
  static const NeedleSet words = {"Lohnprogramm Akr", "Fehler", "fehler", "Keine Stammkostenstelle",
                                  "nicht geoeffnet"};
  return words;
}

constexpr uint64_t kErrorWords =
    NeedleSet::Bit(kFehlerWord) | NeedleSet::Bit(kLowerFehlerWord) |
    NeedleSet::Bit(kCostCentreWord) | NeedleSet::Bit(kNotOpenedWord);
}  // namespace

bool CheckPayrollRuntime(CString /*sectionName*/) {
  WriteRunEntry(" \xDC" "berwachung Lohn und Gehalt Typ 1 (Laufzeit)");
  return false;
}

bool CheckPayrollErrors(CString sectionName) {
  MonitorSettingsRecord& settings = State().MonitorSettings;
  FindingReporter reporter(kErrorTitle, kMonitorName);
  bool dateSeen = false;
  // Not cleared between files: a read error in a later file names the
  // program line of an earlier one.
  CString programLine;

  const NeedleSet& words = PayrollWords();
  ProtocolScan scan(" \xDC" "berwachung Lohn und Gehalt Typ 2 (Fehlermeldungen)",
                    platform::DateDotted);
  scan.onFileOpened = [&](const platform::FoundFile&) {
    dateSeen = false;
    scan.FilterDated();
    return true;
  };
  scan.onLine = [&](ScanLine& line) {
    if (!dateSeen) {
      if (!line.dated) return;
      dateSeen = true;
      // From here on the date no longer matters; only lines with one of the
      // words can change anything.
      scan.FilterAny(&words);
    }
    const CString& text = line.text;
    const uint64_t found = words.Find(text.view());
    if (found & NeedleSet::Bit(kProgramWord)) programLine = text;
    if ((found & kErrorWords) == 0) return;

    FindingRecord record;
    record.section = sectionName;
    record.type = settings.Typ2;
    if (text.Contains("Fehler Lesen") || text.Contains("Abbruch Lesen")) {
      record.text = ProtectSemicolons(programLine + " - " + text);
    } else {
      record.text = ProtectSemicolons(text);
    }
    record.checkedFile = CheckedFileField(scan.CheckedFileName());
    reporter.Report(record);
  };
  return scan.Run();
}
