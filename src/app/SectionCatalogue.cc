#include "app/SectionCatalogue.h"

#include "config/MonitorSettings.h"
#include "monitors/frame/JobController.h"
#include "monitors/groups/GroupMonitors.h"
#include "monitors/process/ComputationPrograms.h"
#include "monitors/process/DailyClosing.h"
#include "monitors/process/DriveCapacity.h"
#include "monitors/process/Payroll.h"
#include "monitors/terminal/TerminalMonitors.h"

namespace spekolar {

namespace {

// The keys of the sections the frame's handler runs, and of LAUFWERK.
constexpr unsigned kMonitorKeys = kKeyTyp | kKeyDatei | kKeyMeldungstyp | kKeyMinLaufzeit | kKeyMaxLaufzeit;
constexpr unsigned kDriveKeys = kKeyMeldungstyp | kKeyMinGroesse | kKeyId;

constexpr FindingSeverity kCritical = FindingSeverity::kCritical;
constexpr FindingSeverity kWarning = FindingSeverity::kWarning;

const SectionRow kCatalogue[] = {
    {"JOBCONTROLLER", "Jobcontroller", "Jobcontroller", "Jobcontroller-Fehler",
     CheckJobControllerRuntime, CheckJobControllerErrors, nullptr, kMonitorKeys, kCritical,
     false},
    {"TAGESABSCHLUSS", "Tagesabschluss", "Tagesabschluss", "Tagesabschluss-Fehler",
     CheckDailyClosingRuntime, CheckDailyClosingErrors, nullptr, kMonitorKeys, kCritical,
     true},
    {"RECHENPROGRAMME", "Rechenprogramme", "Rechenprogramme", "Rechenprogramm-Fehler",
     CheckComputationProgramRuntime, CheckComputationProgramErrors, nullptr, kMonitorKeys,
     kCritical, false},
    {"TERMINAL DOWNLOAD", "Terminal Download", "Terminal Manager", "Terminal-Download-Fehler",
     CheckTerminalDownloadRuntime, CheckTerminalDownloadErrors, nullptr, kMonitorKeys,
     kWarning, true},
    {"TERMINAL UPLOAD", "Terminal Upload", "Terminal Manager", "Terminal-Upload-Fehler",
     CheckTerminalUploadRuntime, CheckTerminalUploadErrors, nullptr, kMonitorKeys, kWarning,
     true},
    {"LUG", "Lohn und Gehalt", "Lohn und Gehalt", "LuG-Fehler", CheckPayrollRuntime,
     CheckPayrollErrors, nullptr, kMonitorKeys, kCritical, false},
    {"LAUFWERK", "Laufwerk", "Laufwerk", "Kapazitaet vom Laufwerk ist unterschritten", nullptr, nullptr,
     CheckDriveCapacity, kDriveKeys, kWarning, false},
    {"GRUPPE1", "Gruppe1", "Gruppe1", "Gruppe1-Fehler", CheckGroupRuntime, CheckGroupErrors, nullptr,
     kMonitorKeys, kCritical, false},
    {"GRUPPE2", "Gruppe2", "Gruppe2", "Gruppe2-Fehler", CheckGroupRuntime, CheckGroupErrors, nullptr,
     kMonitorKeys, kCritical, false},
    {"GRUPPE3", "Gruppe3", "Gruppe3", "Gruppe3-Fehler", CheckGroupRuntime, CheckGroupErrors, nullptr,
     kMonitorKeys, kCritical, false},
    {"GRUPPE4", "Gruppe4", "Gruppe4", "Gruppe4-Fehler", CheckGroupRuntime, CheckGroupErrors, nullptr,
     kMonitorKeys, kCritical, false},
};

}  // namespace

std::span<const SectionRow> SectionCatalogue() { return kCatalogue; }

const SectionRow* FindSection(std::string_view upperName, std::span<const SectionRow> catalogue) {
  for (const SectionRow& section : catalogue) {
    if (upperName == section.key) return &section;
  }
  return nullptr;
}

}  // namespace spekolar
