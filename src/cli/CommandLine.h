// The command line of spekolar: options, then the one argument.
//
//   spekolar [--check | [--dry-run] [--date YYYY-MM-DD[THH:MM:SS]] [--plugin] [--new-only]
//             [--summary] [--lock-wait SECONDS]
//             | --report [--days N] [--to YYYY-MM-DD] [--out FILE] [--format html|text|csv]]
//            [peldavorn.ini]
//
// Without options the argument (and whatever follows it, which the pass
// ignores) goes to the pass exactly as before. Options must come before
// the argument: one of the program's options after it is refused, since a
// pass would run with it ignored.
#pragma once

#include <string>
#include <vector>

#include "platform/Env.h"

namespace spekolar::cli {

struct ProgramOptions {
  bool check = false;
  bool dryRun = false;
  bool plugin = false;
  bool newOnly = false;
  bool summary = false;
  // How long to wait for another pass's lock, in seconds; negative: the
  // default (10 minutes, 50 seconds with --plugin).
  int lockWaitSeconds = -1;
  bool hasDate = false;
  platform::LocalTime date;
  bool dateHasTime = false;
  // --report: the report of `reportDays` days up to `reportTo` (yesterday
  // unless hasReportTo), to `reportOut` ("" for standard output) in
  // `reportFormat` ("" for text, or html when there is a file).
  bool report = false;
  int reportDays = 14;
  bool hasReportTo = false;
  platform::LocalTime reportTo;
  std::string reportOut;
  std::string reportFormat;
  // The argument and anything after it, as given.
  std::vector<std::string> arguments;
};

struct ParsedCommandLine {
  // False: do not run; print `out` and `err` and end with `exitCode`
  // (--help and --version: 0; a mistake: 1, or 3 under --plugin).
  bool run = false;
  int exitCode = 0;
  std::string out;
  std::string err;
  ProgramOptions options;
};

ParsedCommandLine ParseCommandLine(int argc, const char* const* argv);

// "spekolar <version>".
const char* VersionText();

}  // namespace spekolar::cli
