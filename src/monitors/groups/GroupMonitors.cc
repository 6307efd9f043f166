#include "monitors/groups/GroupMonitors.h"

#include <memory>
#include <string_view>

#include "monitors/frame/FindingRecord.h"
#include "monitors/frame/ProtocolScan.h"
#include "platform/TimeText.h"
#include "state/ProgramState.h"
#include "text/NeedleSet.h"

namespace {

struct GroupVariant {
  const char* section;      // the upper-case section name
  const char* name;         // as the headers write it
  ProtocolScan::DateForm dateKey;
  bool blockScan;
  const char* monitorName;  // handed to StoreFindingMessage
  const char* errorTitle;
};

const GroupVariant kGroups[] = {
    {"GRUPPE1", "Gruppe1", platform::DateMonthName, false, "Gruppe1", "Gruppe1-Fehler"},
    {"GRUPPE2", "Gruppe2", platform::DateMonthName, true, " ", "Gruppe2-Fehler"},
    {"GRUPPE3", "Gruppe3", platform::DateHyphened, true, "Gruppe3", "Gruppe3-Fehler"},
    {"GRUPPE4", "Gruppe4", platform::DateCompact, true, "Gruppe4", "Gruppe4-Fehler"},
};

const GroupVariant* FindGroup(const CString& sectionName) {
  for (const GroupVariant& group : kGroups) {
    if (sectionName == group.section) return &group;
  }
  return nullptr;
}

// The error words of the line scan, with a blank on both sides.
const NeedleSet& LineScanWords() {
  static const NeedleSet words = {" Fehler ", " Error "};
  return words;
}

// The error words of the block scan.
constexpr std::string_view kBlockWords[] = {"Fehler ", "Error ", "[nativecode=", "Failed "};

const NeedleSet& BlockScanWords() {
  static const NeedleSet words(kBlockWords);
  return words;
}

}  // namespace

bool CheckGroupRuntime(CString sectionName) {
  const GroupVariant* group = FindGroup(sectionName);
  if (group == nullptr) return false;
  WriteRunEntry(CString(" \xDC" "berwachung ") + group->name + " Typ 1 (Laufzeit)");
  return true;
}

bool CheckGroupErrors(CString sectionName) {
  const GroupVariant* group = FindGroup(sectionName);
  if (group == nullptr) return false;
  MonitorSettingsRecord& settings = State().MonitorSettings;
  FindingReporter reporter(group->errorTitle, group->monitorName);

  ProtocolScan scan(CString(" \xDC" "berwachung ") + group->name + " Typ 2 (Fehlermeldungen)",
                    group->dateKey);
  auto report = [&](const CString& text) {
    FindingRecord record;
    record.section = sectionName;
    record.type = settings.Typ2;
    record.minimum = settings.MinLaufzeit;
    record.maximum = settings.MaxLaufzeit;
    record.text = ProtectSemicolons(text);
    record.checkedFile = CheckedFileField(scan.CheckedFileName());
    reporter.Report(record);
  };

  if (!group->blockScan) {
    const NeedleSet& words = LineScanWords();
    scan.onLine = [&](ScanLine& line) {
      if (line.dated && words.Find(line.text.view()) != 0) report(line.text);
    };
    return scan.Run();
  }

  const NeedleSet& words = BlockScanWords();
  // Once a file's first entry is open, only lines with the date key (a new
  // entry) or an error word can matter: the filter for the rest of the
  // file. Built when the date key is known, at the first file.
  std::unique_ptr<NeedleSet> entryFilter;
  bool inEntry = false;
  // The trimmed dated line of the current entry; its finding text is
  // "Fehler - " + this line. Assigned, not rebuilt, for each dated line: in
  // a protocol whose every line is dated that keeps the copy cheap.
  CString entryLine;
  scan.onFileOpened = [&](const platform::FoundFile&) {
    if (!entryFilter) {
      std::string_view needles[] = {scan.Today().view(), kBlockWords[0], kBlockWords[1],
                                    kBlockWords[2], kBlockWords[3]};
      entryFilter = std::make_unique<NeedleSet>(needles);
    }
    inEntry = false;
    scan.FilterDated();
    return true;
  };
  scan.onLine = [&](ScanLine& line) {
    if (line.dated) {
      if (!inEntry) {
        inEntry = true;
        scan.FilterAny(entryFilter.get());
      }
      entryLine = line.text;
      if (words.Find(line.text.view()) != 0) report("Fehler - " + entryLine);
    } else if (inEntry && words.Find(line.piece) != 0) {
      report("Fehler - " + entryLine);
    }
  };
  return scan.Run();
}
