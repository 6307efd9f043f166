// The dispatch table: which handler serves which section name.
//
// Ten sections run through the common section handler with their two
// monitors; a monitor not built yet is nullptr and simply does not run.
// LAUFWERK has a handler of its own; until it exists its sections are
// dispatched to nothing.
#include "app/MonitorRun.h"
#include "monitors/frame/JobController.h"
#include "monitors/frame/SectionHandler.h"
#include "monitors/process/DailyClosing.h"

namespace {

constexpr char kJobController[] = "JOBCONTROLLER";
constexpr char kDailyClosing[] = "TAGESABSCHLUSS";
constexpr char kComputation[] = "RECHENPROGRAMME";
constexpr char kDownload[] = "TERMINAL DOWNLOAD";
constexpr char kUpload[] = "TERMINAL UPLOAD";
constexpr char kPayroll[] = "LUG";
constexpr char kDrive[] = "LAUFWERK";
constexpr char kGroup1[] = "GRUPPE1";
constexpr char kGroup2[] = "GRUPPE2";
constexpr char kGroup3[] = "GRUPPE3";
constexpr char kGroup4[] = "GRUPPE4";

template <const char* Key, MonitorFunction Type1, MonitorFunction Type2>
bool Section(CString upperName) {
  static const SectionSpec spec = MakeSectionSpec(Key, Type1, Type2);
  return RunSectionHandler(spec, upperName);
}

const DispatchEntry kDispatchTable[] = {
    {kJobController,
     Section<kJobController, CheckJobControllerRuntime, CheckJobControllerErrors>},
    {kDailyClosing, Section<kDailyClosing, CheckDailyClosingRuntime, CheckDailyClosingErrors>},
    {kComputation, Section<kComputation, nullptr, nullptr>},
    {kDownload, Section<kDownload, nullptr, nullptr>},
    {kUpload, Section<kUpload, nullptr, nullptr>},
    {kPayroll, Section<kPayroll, nullptr, nullptr>},
    {kDrive, nullptr},
    {kGroup1, Section<kGroup1, nullptr, nullptr>},
    {kGroup2, Section<kGroup2, nullptr, nullptr>},
    {kGroup3, Section<kGroup3, nullptr, nullptr>},
    {kGroup4, Section<kGroup4, nullptr, nullptr>},
};

}  // namespace

std::span<const DispatchEntry> DefaultDispatchTable() { return kDispatchTable; }
