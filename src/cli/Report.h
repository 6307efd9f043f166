// The report of past days (--report): run times and findings over N days,
// as text, CSV or one self-contained HTML page.
//
// Each day is one pass exactly as `--dry-run --date DAY` would run it (a
// past day as of 23:59:59): the same sections, files and rules, nothing
// written anywhere. The report only listens to those passes through the
// pass observer: the runs the run-time monitors measured (within their
// limits too), the finding records by monitor, the terminals that did not
// answer. It does not connect to the database: the passes neither read the
// credentials nor fetch the tenant row, and their message rows stay in
// memory and are dropped. Within a day's pass the sections' monitors run
// side by side (RunOptions::sharedReads), so a protocol that several of
// them watch is read once that day.
//
// The collected data are small and plain (one 32-byte row per run, names
// kept once), so that a month of busy terminals fits in a few MiB; the
// renderers take these data and return bytes, they touch no file.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "cli/ConsoleText.h"
#include "platform/Env.h"
#include "state/ProgramState.h"
#include "text/CString.h"

namespace spekolar::cli {

struct ProgramOptions;

struct ReportRun {
  int day = 0;        // index into ReportData::days
  int section = 0;    // index into ReportData::sections
  int terminal = -1;  // index into ReportData::terminals; -1 for the closing
  int start = -1;     // seconds since midnight; -1 when no start was taken
  int end = 0;        // seconds since midnight
  int seconds = 0;
  int minimum = 0;
  int maximum = 0;
  bool WithinLimits() const { return seconds >= minimum && seconds <= maximum; }
};

struct ReportData {
  std::vector<platform::LocalTime> days;  // oldest first
  // Names as the passes gave them (Windows-1252): the sections in the order
  // the passes ran them, the terminals in the order they were first named.
  std::vector<CString> sections;
  std::vector<CString> terminals;
  std::vector<ReportRun> runs;
  // Findings by monitor ("SECTION Typ N", in order of first finding) and day.
  std::vector<CString> monitors;
  std::vector<std::vector<int>> findings;  // [monitor][day]
  // Terminals that did not answer: one entry per report.
  struct NoAnswer {
    int day = 0;
    int section = 0;
    int terminal = 0;
  };
  std::vector<NoAnswer> noAnswers;

  int SectionIndex(const CString& name);
  int TerminalIndex(const CString& name);
  int MonitorIndex(const CString& name);
};

// Listens to the pass of one day and adds what it hears to `data`.
class ReportCollector : public PassObserver {
 public:
  ReportCollector(ReportData* data, int day) : data_(data), day_(day) {}
  void SectionBegins(const CString& upperName) override;
  void FindingReported(const CString& record) override;
  void RunMeasured(const MeasuredRun& run) override;
  void TerminalNoAnswer(const CString& terminal) override;
  void PassFailed(const CString& entry) override { failure_ = entry; }
  const CString& Failure() const { return failure_; }

 private:
  ReportData* data_;
  int day_;
  int section_ = -1;
  CString failure_;
};

// The sections whose runs are measured, and their monitors' German names.
bool IsRunTimeSection(const CString& upperName);
const char* RunTimeMonitorName(const CString& upperName);

// "dd.mm.yyyy" / "yyyy-mm-dd".
std::string GermanDay(const platform::LocalTime& day);
std::string IsoDay(const platform::LocalTime& day);

// The renderers. CSV and HTML are UTF-8. The text is UTF-8 with block
// sparklines when `utf8`, else Windows-1252 with ASCII sparklines.
std::string RenderCsv(const ReportData& data);
std::string RenderText(const ReportData& data, bool utf8);
std::string RenderHtml(const ReportData& data);

// Runs the passes of the report's days and writes the report; returns the
// exit code (0, or 1 when a pass could not start or the file could not be
// written).
int RunReport(const ProgramOptions& options, char* programName, std::FILE* out, std::FILE* err,
              ConsoleEncoding encoding);

}  // namespace spekolar::cli
