#include "monitors/frame/JobController.h"

#include "monitors/frame/FindingRecord.h"
#include "monitors/frame/ProtocolScan.h"
#include "config/MonitorSettings.h"
#include "platform/TimeText.h"

namespace spekolar {

namespace {
const char kStopMessage[] = "Service QRVJOBCTL wurde beendet";
// The message of a line starts after its stamp and the ": " that follows it,
// at this fixed position whatever the position of the date.
constexpr int kMessageColumn = 21;

// "yyyy-mm-dd hh:mm:ss" -> "dd.mm.yyyy hh:mm:ss".
CString TimeText(const CString& stamp) {
  return stamp.Mid(8, 2) + "." + stamp.Mid(5, 2) + "." + stamp.Mid(0, 4) + stamp.Mid(10, 9);
}
}  // namespace

bool CheckJobControllerRuntime(const SectionRow& section, MonitorSettingsRecord& /*settings*/) {
  WriteRunEntry(MonitorHeader(section, MonitorType::kRunTime));
  return true;
}

bool CheckJobControllerErrors(const SectionRow& section, MonitorSettingsRecord& settings) {
  // Its findings are stored without a monitor name.
  FindingReporter reporter(section.errorTitle, "");
  // The service logs an error line of its own shortly after stopping; the
  // one that follows the stop message after exactly one other line of today
  // is that line and is not reported.
  bool serviceStopped = false;
  int linesSinceStop = 0;

  ProtocolScan scan(section, settings, MonitorType::kErrors, platform::DateIso);
  scan.onLine = [&](ScanLine& line) {
    if (!line.dated) return;  // lines of other days are never counted
    const CString& text = line.text;
    if (text.Contains(kStopMessage)) {
      serviceStopped = true;
      linesSinceStop = 0;
      return;
    }
    if (!text.Contains("Error") && !text.Contains("Fehler")) {
      ++linesSinceStop;
      return;
    }
    if (serviceStopped && linesSinceStop == 1) {
      serviceStopped = false;
      return;
    }
    // The job controller's findings name no checked file.
    FindingRecord record =
        scan.Finding(ProtectSemicolons(TimeText(line.stamp) + " - " + text.Mid(kMessageColumn)));
    record.checkedFile.Empty();
    reporter.Report(record);
    serviceStopped = false;
  };
  return scan.Run();
}

}  // namespace spekolar
