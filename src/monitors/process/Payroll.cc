#include "monitors/process/Payroll.h"

#include "monitors/frame/FindingRecord.h"
#include "monitors/frame/ProtocolScan.h"
#include "config/MonitorSettings.h"
#include "platform/TimeText.h"
#include "text/NeedleSet.h"

namespace spekolar {

namespace {

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

bool CheckPayrollRuntime(const SectionRow& section, MonitorSettingsRecord& /*settings*/) {
  WriteRunEntry(MonitorHeader(section, MonitorType::kRunTime));
  return false;
}

bool CheckPayrollErrors(const SectionRow& section, MonitorSettingsRecord& settings) {
  FindingReporter reporter(section.errorTitle, section.monitorName);
  bool dateSeen = false;
  // Not cleared between files: a read error in a later file names the
  // program line of an earlier one.
  CString programLine;

  const NeedleSet& words = PayrollWords();
  ProtocolScan scan(section, settings, MonitorType::kErrors, platform::DateDotted);
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
    const bool readError = text.Contains("Fehler Lesen") || text.Contains("Abbruch Lesen");
    reporter.Report(scan.Finding(ProtectSemicolons(readError ? programLine + " - " + text : text)));
  };
  return scan.Run();
}

}  // namespace spekolar
