#include "monitors/groups/GroupMonitors.h"

#include <memory>
#include <string_view>

#include "monitors/frame/FindingRecord.h"
#include "monitors/frame/ProtocolScan.h"
#include "config/MonitorSettings.h"
#include "platform/TimeText.h"
#include "text/NeedleSet.h"

namespace spekolar {

namespace {

// What sets a group's monitors apart; its names and titles are its
// catalogue row's.
struct GroupVariant {
  const char* section;  // the upper-case section name
  ProtocolScan::DateForm dateKey;
  bool blockScan;
  const char* findingMonitorName;  // handed to StoreFindingMessage; null: the row's monitorName
};

const GroupVariant kGroups[] = {
    {"GRUPPE1", platform::DateMonthName, false, nullptr},
    {"GRUPPE2", platform::DateMonthName, true, " "},
    {"GRUPPE3", platform::DateHyphened, true, nullptr},
    {"GRUPPE4", platform::DateCompact, true, nullptr},
};

const GroupVariant* FindGroup(std::string_view sectionName) {
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

bool CheckGroupRuntime(const SectionRow& section, MonitorSettingsRecord& /*settings*/) {
  const GroupVariant* group = FindGroup(section.key);
  if (group == nullptr) return false;
  WriteRunEntry(MonitorHeader(section, MonitorType::kRunTime));
  return true;
}

bool CheckGroupErrors(const SectionRow& section, MonitorSettingsRecord& settings) {
  const GroupVariant* group = FindGroup(section.key);
  if (group == nullptr) return false;
  FindingReporter reporter(section.errorTitle, group->findingMonitorName != nullptr
                                                  ? group->findingMonitorName
                                                  : section.monitorName);

  ProtocolScan scan(section, settings, MonitorType::kErrors, group->dateKey);
  auto report = [&](const CString& text) {
    FindingRecord record = scan.Finding(ProtectSemicolons(text));
    record.minimum = settings.MinLaufzeit;
    record.maximum = settings.MaxLaufzeit;
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

}  // namespace spekolar
