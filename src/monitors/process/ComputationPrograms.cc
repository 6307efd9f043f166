#include "monitors/process/ComputationPrograms.h"

#include "monitors/frame/FindingRecord.h"
#include "monitors/frame/ProtocolScan.h"
#include "config/MonitorSettings.h"
#include "platform/TimeText.h"
#include "text/NeedleSet.h"

namespace spekolar {

namespace {
const char kErrorCodeLabel[] = "ErrorCode__:";

// The error words of line mode, searched together.
const NeedleSet& LineModeWords() {
  static const NeedleSet words = {"Fehler ", "Unzul\xE4" "ssiger", "(datenbankConnect)",
                                  "initProtokollierung"};
  return words;
}

// Whether a file is one of the two block-writing programs' protocols.
bool IsBlockProtocol(const CString& fullPath) {
  CString upper = fullPath;
  upper.MakeUpper();
  return upper.Contains("MORVASTEN") || upper.Contains("QUARDELIN");
}

// Whether the code cut from a block's last line means that all went well.
bool IsNoErrorCode(const CString& code) { return code == "0" || code == "1403" || code == "100"; }
}  // namespace

bool CheckComputationProgramRuntime(const SectionRow&, MonitorSettingsRecord&) { return false; }

bool CheckComputationProgramErrors(const SectionRow& section, MonitorSettingsRecord& settings) {
  // Its findings are stored without a monitor name.
  FindingReporter reporter(section.errorTitle, "");
  bool blockMode = false;
  CString longDate;
  CString shortDate;

  ProtocolScan scan(section, settings, MonitorType::kErrors, platform::DateDotted);
  auto report = [&](const CString& text) { reporter.Report(scan.Finding(ProtectSemicolons(text))); };

  scan.onEntry = [&](const CString&) { blockMode = false; };
  scan.onFileOpened = [&](const platform::FoundFile& match) {
    if (longDate.IsEmpty()) {
      longDate = scan.Today();
      shortDate = longDate.Left(6) + longDate.Right(2);
    }
    if (IsBlockProtocol(match.path)) blockMode = true;
    // Both modes hand over only the lines with their date; block mode reads
    // a block's further lines itself.
    scan.SetDate(blockMode ? shortDate : longDate);
    return true;
  };

  const NeedleSet& lineWords = LineModeWords();
  auto lineMode = [&](const ScanLine& line) {
    if (line.dated && lineWords.Find(line.text.view()) != 0) report(line.text);
  };

  // `line` opens a block when dated; it is reused for the block's lines.
  auto blockModeLine = [&](ScanLine& line) {
    if (!line.dated) return;
    CString time;
    CString message;
    for (int i = 1; i <= 5; ++i) {
      // A block cut off by the end of the file is dropped.
      if (!scan.ReadLine(&line)) return;
      if (i == 1) time = line.text.Mid(13, 8);
      if (i == 3) message = line.text.Mid(12);
    }
    if (!line.text.Contains(kErrorCodeLabel)) return;
    CString code = line.text.Mid(12);
    code.Trim();
    if (IsNoErrorCode(code)) return;
    report(longDate + " " + time + " - " + message);
  };

  scan.onLine = [&](ScanLine& line) {
    if (blockMode) {
      blockModeLine(line);
    } else {
      lineMode(line);
    }
  };
  return scan.Run();
}

}  // namespace spekolar
