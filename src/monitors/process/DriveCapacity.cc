#include "monitors/process/DriveCapacity.h"

#include <cstdint>

#include "config/MonitorSettings.h"
#include "messages/MessageEmission.h"
#include "monitors/frame/FindingRecord.h"
#include "monitors/frame/RunTime.h"
#include "monitors/frame/SectionHandler.h"
#include "platform/Env.h"
#include "state/ProgramState.h"

namespace spekolar {

namespace {
const char kFindingTitle[] = "Laufwerks\xFC" "berwachungs-Fehler";

// Free MiB of the volume holding `path`; 0 for a path that cannot be
// queried, whose reason goes to the run protocol: the system's text, or,
// for a path that gave no answer within the query's limit (a share whose
// server is gone), that the answer did not come.
int64_t FreeMegabytes(const CString& path) {
  uint64_t freeBytes = 0;
  CString reason;
  const platform::Status status = platform::GetEnv()->DiskFreeBytes(path, &freeBytes, &reason);
  if (status != platform::Status::kOk) {
    if (status == platform::Status::kTimedOut) {
      reason = CString::Formatted("keine Antwort in %d Sekunden",
                                  static_cast<int>(platform::kDiskQueryLimitMillis / 1000));
    }
    WriteRunEntry("   Laufwerk '" + path + "' konnte nicht abgefragt werden: " + reason);
    return 0;
  }
  return static_cast<int64_t>(freeBytes >> 20);
}
}  // namespace

bool CheckDriveCapacity(const SectionRow& section, MonitorSettingsRecord& settings) {
  const CString sectionName(section.key);
  settings.MinGroesse = MegabytesOf(settings.MinGroesse);
  const int64_t minimum = LeadingInteger(settings.MinGroesse);

  WriteRunEntry(CString(" \xDC" "berwachung ") + section.protocolName);
  bool anyShort = false;
  for (const CString* drive : {&settings.Id1, &settings.Id2, &settings.Id3}) {
    if (drive->IsEmpty()) continue;
    const int64_t free = FreeMegabytes(*drive);
    if (free >= minimum) continue;
    // One drive is one finding for the day, whatever its free space.
    if (!IsNewFinding((sectionName + ";" + *drive).view())) continue;
    anyShort = true;
    const CString record = sectionName + ";3;" + settings.MinGroesse + ";;" +
                           CString::Formatted("%lld MB", static_cast<long long>(free)) +
                           ";Kapazitaet unterschritten;" + *drive;
    StoreFindingMessage(kFindingTitle, section.monitorName, WriteFindingRecord(record));
  }
  if (anyShort) ReportSectionResult(section, settings);
  return false;
}

}  // namespace spekolar
