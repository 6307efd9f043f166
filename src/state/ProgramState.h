// Every program-wide object of a run, gathered in one place.
//
// The run has one thread and these objects live from start-up to process
// end. (The report's passes run monitors on threads that take turns, one
// at a time; each turn puts the running monitor's settings, section flag
// and observer in place here: src/app/SharedMonitorRun.h.) Parts of the program reach them through State(); tests call
// ResetProgramState() so each test starts from the state of a new process
// (protocol files not opened, flags clear, session unconnected).
#pragma once

#include <memory>
#include <string_view>

#include "config/CredentialsFile.h"
#include "config/MonitorSettings.h"
#include "db/MessageRecord.h"
#include "db/TenantRow.h"
#include "protocol/NotificationFiles.h"
#include "protocol/ProtocolFile.h"
#include "text/CString.h"

namespace spekolar {

// Declared only, so that a file that includes this one does not get the
// ODBC headers; the files that use the session include db/DbSession.h.
class DbSession;

// Watches a pass from outside, for the operator modes (a dry run groups its
// output by section, the monitoring-plugin line counts findings). The pass
// runs exactly as without one; an observer only hears of it. Every call
// has an empty default.
// A run that a run-time monitor measured, within its limits or not: what
// the report of past days draws (the daily closing, the terminal download
// and upload exchanges).
struct MeasuredRun {
  CString section;   // upper-cased, as the monitor got it
  CString terminal;  // the terminal the protocol named last; empty for the closing
  CString start;     // "dd.mm.yyyy hh:mm:ss"; empty when no start was taken
  CString end;       // "dd.mm.yyyy hh:mm:ss"
  int seconds = 0;   // as the monitor computed it (negative across midnight)
  int minimum = 0;   // MinLaufzeit / MaxLaufzeit as the monitor compared them
  int maximum = 0;
  bool WithinLimits() const { return seconds >= minimum && seconds <= maximum; }
};

class PassObserver {
 public:
  virtual ~PassObserver() = default;
  // A section is handed to its handler / its handler has returned; the name
  // is upper-cased, as the handler gets it.
  virtual void SectionBegins(const CString& /*upperName*/) {}
  virtual void SectionEnds(const CString& /*upperName*/) {}
  // A finding record was written to the findings protocol (or would have
  // been, had the write not failed): the record without its time stamp.
  virtual void FindingReported(const CString& /*record*/) {}
  // The pass could not start: the entry that ended it (what it wrote to the
  // run protocol, or to standard error where there is no protocol yet).
  virtual void PassFailed(const CString& /*entry*/) {}
  // The pass did not start because another one held the lock to the end of
  // the wait (PassFailed follows with the entry).
  virtual void LockBusy() {}
  // A configured Datei entry matched no file / a match could not be opened:
  // the monitor did not see what it was configured to watch.
  virtual void FileMissing(const CString& /*entry*/) {}
  virtual void FileUnreadable(const CString& /*path*/) {}
  // A run-time monitor measured a run, at the place where it compares the
  // run time with its limits (before any finding of that run).
  virtual void RunMeasured(const MeasuredRun& /*run*/) {}
  // A terminal error monitor reports that a terminal did not answer.
  virtual void TerminalNoAnswer(const CString& /*terminal*/) {}
  // A message row was inserted (true) or refused (false).
  virtual void MessageStored(bool /*stored*/) {}
  // The mail script was started (true) or could not be (false).
  virtual void MailStarted(bool /*started*/) {}
};

class ReportedFindings;

struct ProgramState {
  ProgramState();
  ~ProgramState();
  ProgramState(const ProgramState&) = delete;
  ProgramState& operator=(const ProgramState&) = delete;

  ProtocolFile RunProtocol;           // SPEKOLAR.log
  ProtocolFile FindingsProtocol;      // SPEKOLAR.TXT
  NotificationFiles Notifications;    // SPEKOLAR.NRT and SPEKOLAR.EML

  CString LogDirectory;
  CString ConfigFilePath;
  // The second address line of the e-mail text and whom the mail script's
  // entry names.
  CString MailRecipient;

  MonitorSettingsRecord MonitorSettings;
  bool SectionFindingFlag = false;

  TenantRowRecord TenantRow;
  CredentialsFile Credentials;
  // Held by pointer so that a reset releases the connection.
  std::unique_ptr<DbSession> Db;
  MessageRecord MessageBuffer{};

  // Not owned; null unless an operator mode watches the pass.
  PassObserver* Observer = nullptr;
  // Not owned; null unless the pass reports each finding once a day.
  ReportedFindings* Reported = nullptr;
};

ProgramState& State();

// Whether a finding with this identity (see ReportedFindings) is reported
// in this pass: always, unless the pass reports each finding once a day and
// an earlier such pass of the day reported it as often as it occurs now.
bool IsNewFinding(std::string_view identity);
void ResetProgramState();

}  // namespace spekolar
