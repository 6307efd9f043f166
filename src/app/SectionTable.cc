// The dispatch table: which handler serves which section name.
//
// Ten sections run through the common section handler with their two
// monitors; LAUFWERK has a handler of its own.
#include "app/MonitorRun.h"
#include "monitors/frame/JobController.h"
#include "monitors/frame/SectionHandler.h"
#include "monitors/groups/GroupMonitors.h"
#include "monitors/process/ComputationPrograms.h"
#include "monitors/process/DailyClosing.h"
#include "monitors/process/DriveCapacity.h"
#include "monitors/process/Payroll.h"
#include "monitors/terminal/TerminalMonitors.h"

namespace {

constexpr SectionSpec kJobController =
    MakeSectionSpec("JOBCONTROLLER", CheckJobControllerRuntime, CheckJobControllerErrors);
constexpr SectionSpec kDailyClosing =
    MakeSectionSpec("TAGESABSCHLUSS", CheckDailyClosingRuntime, CheckDailyClosingErrors);
constexpr SectionSpec kComputation = MakeSectionSpec(
    "RECHENPROGRAMME", CheckComputationProgramRuntime, CheckComputationProgramErrors);
constexpr SectionSpec kDownload = MakeSectionSpec(
    "TERMINAL DOWNLOAD", CheckTerminalDownloadRuntime, CheckTerminalDownloadErrors);
constexpr SectionSpec kUpload = MakeSectionSpec(
    "TERMINAL UPLOAD", CheckTerminalUploadRuntime, CheckTerminalUploadErrors);
constexpr SectionSpec kPayroll = MakeSectionSpec("LUG", CheckPayrollRuntime, CheckPayrollErrors);
constexpr SectionSpec kGroup1 = MakeSectionSpec("GRUPPE1", CheckGroupRuntime, CheckGroupErrors);
constexpr SectionSpec kGroup2 = MakeSectionSpec("GRUPPE2", CheckGroupRuntime, CheckGroupErrors);
constexpr SectionSpec kGroup3 = MakeSectionSpec("GRUPPE3", CheckGroupRuntime, CheckGroupErrors);
constexpr SectionSpec kGroup4 = MakeSectionSpec("GRUPPE4", CheckGroupRuntime, CheckGroupErrors);

const DispatchEntry kDispatchTable[] = {
    {kJobController.key, &HandleSection<kJobController>},
    {kDailyClosing.key, &HandleSection<kDailyClosing>},
    {kComputation.key, &HandleSection<kComputation>},
    {kDownload.key, &HandleSection<kDownload>},
    {kUpload.key, &HandleSection<kUpload>},
    {kPayroll.key, &HandleSection<kPayroll>},
    {"LAUFWERK", CheckDriveCapacity},
    {kGroup1.key, &HandleSection<kGroup1>},
    {kGroup2.key, &HandleSection<kGroup2>},
    {kGroup3.key, &HandleSection<kGroup3>},
    {kGroup4.key, &HandleSection<kGroup4>},
};

}  // namespace

std::span<const DispatchEntry> DefaultDispatchTable() { return kDispatchTable; }
