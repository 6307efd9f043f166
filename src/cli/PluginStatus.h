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

namespace spekolar::cli {

enum PluginState { kPluginOk = 0, kPluginWarning = 1, kPluginCritical = 2, kPluginUnknown = 3 };

// Whether findings of the section (upper-cased name) are only a warning.
bool IsWarningSection(const CString& upperName);

// What a pass did, as its observer hears it: for the plugin line and the
// journal summary.
class FindingCounter : public PassObserver {
 public:
  void SectionBegins(const CString& upperName) override;
  void FindingReported(const CString& record) override;
  void PassFailed(const CString& entry) override;
  void LockBusy() override { lockBusy_ = true; }
  void FileMissing(const CString& entry) override { missing_.push_back("[" + section_ + "] " + entry); }
  void FileUnreadable(const CString& path) override {
    unreadable_.push_back("[" + section_ + "] " + path);
  }
  void MessageStored(bool stored) override { rowsStored_ += stored ? 1 : 0; }
  void MailStarted(bool started) override { mail_ = started ? kMailStarted : kMailFailed; }
  // Set by the caller after the pass: the run protocol that could not be
  // written ("" when every entry was).
  void SetLostRunProtocol(const CString& path) { lostRunProtocol_ = path; }

  // Sections with findings, in the order of their first finding.
  const std::vector<std::pair<CString, int>>& Counts() const { return counts_; }
  int Sections() const { return sections_; }
  bool Failed() const { return failed_; }
  const CString& Failure() const { return failure_; }
  bool LockWasBusy() const { return lockBusy_; }
  // Configured entries that matched nothing / matches that could not be
  // opened, each as "[SECTION] entry".
  const std::vector<CString>& Missing() const { return missing_; }
  const std::vector<CString>& Unreadable() const { return unreadable_; }
  const CString& LostRunProtocol() const { return lostRunProtocol_; }
  int RowsStored() const { return rowsStored_; }
  enum Mail { kNoMail, kMailStarted, kMailFailed };
  Mail MailState() const { return mail_; }
  int Findings() const;

 private:
  CString section_;
  int sections_ = 0;
  std::vector<std::pair<CString, int>> counts_;
  bool failed_ = false;
  CString failure_;
  bool lockBusy_ = false;
  std::vector<CString> missing_;
  std::vector<CString> unreadable_;
  CString lostRunProtocol_;
  int rowsStored_ = 0;
  Mail mail_ = kNoMail;
};

struct PluginResult {
  PluginState state = kPluginUnknown;
  std::string line;  // Windows-1252, without line end
};

// The status line and state of a pass that ended with `exitCode`:
//   SPEKOLAR OK - 0 findings | findings=0;;;0 sections=3
//   SPEKOLAR CRITICAL - 4 findings: TAGESABSCHLUSS 3, LAUFWERK 1 | findings=4;;;0 sections=6
//   SPEKOLAR WARNING - 0 findings; 1 file missing: [TAGESABSCHLUSS] ../logs/ta*.log | ...
//   SPEKOLAR UNKNOWN - <the entry that ended the pass, on one line>
//   SPEKOLAR UNKNOWN - another pass is running
// UNKNOWN when the pass could not start (or ended with another exit code
// than 0 without saying why) or could not write its run protocol. A
// configured file that is missing or cannot be opened makes the state at
// least WARNING: the monitor is blind there.
PluginResult PluginStatus(const FindingCounter& counter, int exitCode);

// The one line for the journal (--summary), Windows-1252, without line end:
//   Spekolar: 3 Abschnitte, 3 Befunde (JOBCONTROLLER 2, TAGESABSCHLUSS 1),
//   4 Meldungen gespeichert, E-Mail gestartet, 0 Zeilen nicht geschrieben, Exit-Code 0
// `lostLines`: entries of the four protocol files that could not be written.
std::string SummaryLine(const FindingCounter& counter, int lostLines, int exitCode);

// The status line of a start without the configuration file argument,
// which runs no pass:
//   SPEKOLAR UNKNOWN - missing argument: peldavorn.ini (the product's configuration file)
PluginResult MissingArgumentStatus();

}  // namespace spekolar::cli
