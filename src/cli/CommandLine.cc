#include "cli/CommandLine.h"

#include <CLI/CLI.hpp>
#include <memory>
#include <sstream>

#include "cli/ShiftedClock.h"
#include "platform/System.h"

#ifndef SPEKOLAR_VERSION
#define SPEKOLAR_VERSION "unknown"
#endif

namespace cli {

namespace {

// The monitor configuration's path as the system writes it.
const char* const kDescription =
    platform::kWindows
        ? "Spekolar watches the protocol files of the PELDAVORN batch processes and reports what "
          "goes wrong in them. One start is one pass over the monitor configuration "
          "..\\settings\\Spekolar.ini (relative to the working directory, the task's \"Start in\" "
          "folder); peldavorn.ini is the product's configuration file with the encrypted database "
          "access values. The installation directory is the value \"Path\" of the registry key "
          "HKEY_LOCAL_MACHINE\\Software\\KORVANE\\PELDAVORN."
        : "Spekolar watches the protocol files of the PELDAVORN batch processes and reports what "
          "goes wrong in them. One start is one pass over the monitor configuration "
          "../settings/Spekolar.ini (relative to the working directory); peldavorn.ini is the "
          "product's configuration file with the encrypted database access values. The "
          "installation directory is the value \"Path\" of HKEY_LOCAL_MACHINE\\Software\\KORVANE\\"
          "PELDAVORN in the registry store file /etc/peldavorn/registry.reg (or the file "
          "SPEKOLAR_REGISTRY names).";

// Exit codes as the system hands them on: Windows passes the whole number
// (%ERRORLEVEL%), a Linux shell only its last 8 bits.
const char* const kFooter =
    platform::kWindows
        ? "Exit codes of a pass: 0 completed; 1 no argument, the monitor configuration missing or "
          "unreadable, or another pass holding the lock; otherwise the failing database step's "
          "code as it is (%ERRORLEVEL% 1045 for a refused login, for example). "
          "--check: 0 when a pass would run, 1 otherwise. --plugin: 0 OK, 1 WARNING, "
          "2 CRITICAL, 3 UNKNOWN."
        : "Exit codes of a pass: 0 completed; 1 no argument, the monitor configuration missing or "
          "unreadable, or another pass holding the lock; otherwise the failing database step's "
          "code modulo 256 (the shell sees 21 for 1045, a refused login, for example). --check: 0 when a pass "
          "would run, 1 otherwise. --plugin: 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN.";

// The usage line names the one argument the program reads.
class UsageFormatter : public CLI::Formatter {
 public:
  std::string make_usage(const CLI::App* /*app*/, std::string name) const override {
    return "Usage: " + name + " [OPTIONS] [peldavorn.ini]\n";
  }
};

bool IsOwnOption(const std::string& arg) {
  for (const char* name : {"--check", "--dry-run", "--date", "--plugin", "--new-only", "--summary",
                           "--lock-wait", "--report", "--days", "--to", "--out", "--format",
                           "--help", "-h", "--version"}) {
    if (arg == name) return true;
  }
  for (const char* prefix : {"--date=", "--lock-wait=", "--days=", "--to=", "--out=", "--format="}) {
    if (arg.rfind(prefix, 0) == 0) return true;
  }
  return false;
}

}  // namespace

const char* VersionText() { return "spekolar " SPEKOLAR_VERSION; }

ParsedCommandLine ParseCommandLine(int argc, const char* const* argv) {
  ParsedCommandLine result;
  ProgramOptions& o = result.options;
  std::string date;
  std::string reportTo;

  CLI::App app(kDescription, "spekolar");
  app.formatter(std::make_shared<UsageFormatter>());
  app.footer(kFooter);
  app.set_version_flag("--version", VersionText(), "Print the version and exit");
  // Everything from the first argument on belongs to the pass.
  app.positionals_at_end();
  CLI::Option* check = app.add_flag(
      "--check", o.check,
      "Test everything a pass would need and act on nothing: no file written or moved, no row "
      "inserted, no command run. One line per item; exit 0 when a pass would run, 1 otherwise");
  CLI::Option* dryRun = app.add_flag(
      "--dry-run", o.dryRun,
      "Run the whole pass but write nothing anywhere: print what would go to SPEKOLAR.log, "
      "SPEKOLAR.TXT and the notification files, the message rows and the mail command, per "
      "section. Reads the database, never writes to it");
  CLI::Option* dateOption = app.add_option(
      "--date", date,
      "Run the pass as of that day (a past day at 23:59:59, today now) or moment: every \"today\" and every "
      "time stamp of the pass come from it");
  dateOption->type_name("YYYY-MM-DD[THH:MM:SS]");
  CLI::Option* plugin = app.add_flag(
      "--plugin",
      o.plugin,
      "A normal pass that also prints one status line in the monitoring-plugin convention "
      "(Nagios, Icinga, Checkmk, Zabbix) and exits 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN");
  CLI::Option* newOnly = app.add_flag(
      "--new-only", o.newOnly,
      "Report each finding once a day: findings that an earlier --new-only pass of the day "
      "reported (kept in SPEKOLAR.GEMELDET in the log directory) get no record, row, "
      "notification or mail again");
  CLI::Option* summary = app.add_flag(
      "--summary", o.summary,
      "Print one line at the end of the pass: sections, findings, rows, mail, lost lines, exit "
      "code (for the journal)");
  CLI::Option* lockWait = app.add_option(
      "--lock-wait", o.lockWaitSeconds,
      "Wait at most this long for another pass to end (default 600; 50 with --plugin)");
  lockWait->type_name("SECONDS")->check(CLI::NonNegativeNumber);
  CLI::Option* report = app.add_flag(
      "--report", o.report,
      "Report run times and findings of past days: for each day the pass a --dry-run --date of "
      "that day would run (nothing written, the database not used), with every measured run of "
      "the daily closing and the terminal exchanges, the findings by monitor and the terminals "
      "that did not answer. Text on standard output, or an HTML page with charts (--out)");
  CLI::Option* days = app.add_option("--days", o.reportDays, "--report: how many days (default 14)");
  days->type_name("N")->check(CLI::Range(1, 366));
  CLI::Option* to = app.add_option("--to", reportTo, "--report: the last day (default yesterday)");
  to->type_name("YYYY-MM-DD");
  CLI::Option* outOption = app.add_option(
      "--out", o.reportOut,
      "--report: write to this file (HTML unless --format says otherwise) instead of standard output");
  outOption->type_name("FILE");
  CLI::Option* format = app.add_option(
      "--format", o.reportFormat,
      "--report: html (a self-contained page, spekolar-report.html without --out), text, or csv "
      "(one row per measured run)");
  format->type_name("html|text|csv")->check(CLI::IsMember({"html", "text", "csv"}));
  days->needs(report);
  to->needs(report);
  outOption->needs(report);
  format->needs(report);
  report->excludes(check)->excludes(dryRun)->excludes(dateOption)->excludes(plugin)->excludes(
      newOnly)->excludes(summary)->excludes(lockWait);
  check->excludes(dryRun)->excludes(dateOption)->excludes(plugin)->excludes(newOnly)->excludes(
      summary)->excludes(lockWait);
  app.add_option("peldavorn.ini", o.arguments,
                 "The product's configuration file (further arguments are ignored)");

  std::vector<std::string> args;
  for (int i = argc - 1; i > 0; --i) args.emplace_back(argv[i]);

  auto fail = [&](const std::string& message) {
    result.run = false;
    result.exitCode = o.plugin ? 3 : 1;
    result.err = message + "\nRun with --help for more information.\n";
    return result;
  };
  std::ostringstream out;
  std::ostringstream err;
  try {
    app.parse(args);
  } catch (const CLI::CallForHelp& e) {
    result.exitCode = app.exit(e, out, err);
    result.out = out.str();
    return result;
  } catch (const CLI::CallForVersion& e) {
    result.exitCode = app.exit(e, out, err);
    result.out = out.str();
    return result;
  } catch (const CLI::ParseError& e) {
    // The plugin flag may not have been reached; look for it by hand so a
    // monitoring system still gets its UNKNOWN.
    for (int i = 1; i < argc; ++i) {
      if (std::string(argv[i]) == "--plugin") o.plugin = true;
    }
    return fail(std::string("spekolar: ") + e.what());
  }
  for (size_t i = 1; i < o.arguments.size(); ++i) {
    if (IsOwnOption(o.arguments[i])) {
      return fail("spekolar: options come before the configuration file: '" + o.arguments[i] +
                  "' after '" + o.arguments[0] + "'");
    }
  }
  if (!date.empty() || dateOption->count() > 0) {
    if (!ParseMoment(date, &o.date, &o.dateHasTime)) {
      return fail("spekolar: --date: '" + date + "' is not a day YYYY-MM-DD or a moment "
                  "YYYY-MM-DDTHH:MM:SS");
    }
    o.hasDate = true;
  }
  if (!reportTo.empty()) {
    bool hasTime = false;
    if (!ParseMoment(reportTo, &o.reportTo, &hasTime) || hasTime) {
      return fail("spekolar: --to: '" + reportTo + "' is not a day YYYY-MM-DD");
    }
    o.hasReportTo = true;
  }
  result.run = true;
  return result;
}

}  // namespace cli
