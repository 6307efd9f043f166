// The monitoring-plugin view of a pass (--plugin): one status line in the
// convention of Nagios, Icinga, Checkmk and Zabbix plugins, and their exit
// codes 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN.
//
// Findings are counted per section as the pass reports them (every record
// of the findings protocol, LAUFWERK's included), through the pass
// observer. Severity by section, fixed: LAUFWERK (free space below a
// minimum, not yet a full disk) and the two terminal sections (a terminal
// that did not answer is tried again at the next exchange) are WARNING;
// the job controller, the daily closing, the computation programs, payroll
// and the four groups report failed batch work and are CRITICAL.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "state/ProgramState.h"
#include "text/CString.h"

namespace cli {

enum PluginState { kPluginOk = 0, kPluginWarning = 1, kPluginCritical = 2, kPluginUnknown = 3 };

// Whether findings of the section (upper-cased name) are only a warning.
bool IsWarningSection(const CString& upperName);

class FindingCounter : public PassObserver {
 public:
  void SectionBegins(const CString& upperName) override;
  void FindingReported(const CString& record) override;
  void PassFailed(const CString& entry) override;

  // Sections with findings, in the order of their first finding.
  const std::vector<std::pair<CString, int>>& Counts() const { return counts_; }
  int Sections() const { return sections_; }
  bool Failed() const { return failed_; }
  const CString& Failure() const { return failure_; }

 private:
  CString section_;
  int sections_ = 0;
  std::vector<std::pair<CString, int>> counts_;
  bool failed_ = false;
  CString failure_;
};

struct PluginResult {
  PluginState state = kPluginUnknown;
  std::string line;  // Windows-1252, without line end
};

// The status line and state of a pass that ended with `exitCode`:
//   SPEKOLAR OK - 0 findings | findings=0;;;0 sections=3
//   SPEKOLAR CRITICAL - 4 findings: TAGESABSCHLUSS 3, LAUFWERK 1 | findings=4;;;0 sections=6
//   SPEKOLAR UNKNOWN - <the entry that ended the pass, on one line>
// UNKNOWN when the pass could not start (or ended with another exit code
// than 0 without saying why).
PluginResult PluginStatus(const FindingCounter& counter, int exitCode);

// The status line of a start without the configuration file argument,
// which runs no pass:
//   SPEKOLAR UNKNOWN - missing argument: peldavorn.ini (the product's configuration file)
PluginResult MissingArgumentStatus();

}  // namespace cli
