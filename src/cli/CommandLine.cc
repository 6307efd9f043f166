#include "cli/CommandLine.h"

#include <CLI/CLI.hpp>
#include <memory>
#include <sstream>

#include "cli/ShiftedClock.h"
#include "config/InstallationPath.h"
#include "platform/System.h"

#ifndef SPEKOLAR_VERSION
#define SPEKOLAR_VERSION "unknown"
#endif

namespace spekolar::cli {

namespace {

// The help fits on one 80-column screen: texts are wrapped by hand, each
// option's line holds its name and a short description, and the manual
// page says the rest. The monitor configuration's path and the registry
// are named as the system knows them.
std::string Description() {
  const std::string key = std::string("HKEY_LOCAL_MACHINE\\") + InstallationPath::KeyPath();
  if (platform::kWindows) {
    return "Watches the protocol files of the PELDAVORN batch processes; one start is one\n"
           "pass over ..\\settings\\Spekolar.ini (relative to the working directory, the\n"
           "task's \"Start in\" folder). The installation directory is \"Path\" of the\n"
           "registry key " + key + ".";
  }
  // The key breaks after its last backslash to fit the line.
  const size_t cut = key.rfind('\\') + 1;
  return "Watches the protocol files of the PELDAVORN batch processes; one start is one\n"
         "pass over ../settings/Spekolar.ini (relative to the working directory). The\n"
         "installation directory is \"Path\" of " + key.substr(0, cut) + "\n" + key.substr(cut) +
         " in /etc/peldavorn/registry.reg (or the file SPEKOLAR_REGISTRY names).";
}

// Exit codes as the system hands them on: Windows passes the whole number
// (%ERRORLEVEL%), a Linux shell only its last 8 bits.
const char* const kFooter =
    platform::kWindows
        ? "Exit codes: 0 completed; 1 no argument, no readable monitor configuration or\n"
          "the lock held by another pass; else the failing database step's code as it is\n"
          "(%ERRORLEVEL% 1045: a refused login). --check: 0 a pass would run, else 1.\n"
          "--plugin: 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN. More: README.txt."
        : "Exit codes: 0 completed; 1 no argument, no readable monitor configuration or\n"
          "the lock held by another pass; else the failing database step's code modulo\n"
          "256 (21 for 1045, a refused login). --check: 0 a pass would run, else 1.\n"
          "--plugin: 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN. More: man spekolar.";

// The usage line names the one argument the program reads; an option shows
// its value's form only (CLI11 would also list what it excludes).
class UsageFormatter : public CLI::Formatter {
 public:
  UsageFormatter() { column_width(31); }
  std::string make_usage(const CLI::App* /*app*/, std::string name) const override {
    return "Usage: " + name + " [OPTIONS] [peldavorn.ini]\n";
  }
  std::string make_option_opts(const CLI::Option* option) const override {
    if (option->get_type_name().empty() || option->get_expected_max() == 0) return std::string();
    // Without the checks' names that CLI11 appends (":NONNEGATIVE").
    // They begin with a capital after a colon; a time's "hh:mm" does not.
    std::string type = option->get_type_name();
    for (size_t colon = type.find(':'); colon != std::string::npos; colon = type.find(':', colon + 1)) {
      if (colon + 1 < type.size() && type[colon + 1] >= 'A' && type[colon + 1] <= 'Z') {
        type.resize(colon);
        break;
      }
    }
    return " " + type;
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

  CLI::App app(Description(), "spekolar");
  app.formatter(std::make_shared<UsageFormatter>());
  app.footer(kFooter);
  app.set_version_flag("--version", VersionText(), "Print the version and exit");
  // Everything from the first argument on belongs to the pass.
  app.positionals_at_end();
  CLI::Option* check = app.add_flag(
      "--check", o.check, "Test what a pass needs; change nothing");
  CLI::Option* dryRun = app.add_flag(
      "--dry-run", o.dryRun, "Run the pass; print, not write, what it writes");
  CLI::Option* dateOption = app.add_option(
      "--date", date, "Run as of that moment (a past day: 23:59:59)");
  dateOption->type_name("YYYY-MM-DD[Thh:mm:ss]");
  CLI::Option* plugin = app.add_flag(
      "--plugin", o.plugin, "Also print a monitoring-plugin status line");
  CLI::Option* newOnly = app.add_flag(
      "--new-only", o.newOnly, "Report each finding once a day");
  CLI::Option* summary = app.add_flag(
      "--summary", o.summary, "Print one line on what the pass did");
  CLI::Option* lockWait = app.add_option(
      "--lock-wait", o.lockWaitSeconds,
      "Wait for another pass (600; with --plugin 50)");
  lockWait->type_name("SECONDS")->check(CLI::NonNegativeNumber);
  CLI::Option* report = app.add_flag(
      "--report", o.report, "Run times and findings of past days");
  CLI::Option* days = app.add_option("--days", o.reportDays, "Days of the report (14)");
  days->check(CLI::Range(1, 366))->type_name("N");
  CLI::Option* to = app.add_option("--to", reportTo, "Its last day (yesterday)");
  to->type_name("YYYY-MM-DD");
  CLI::Option* outOption = app.add_option(
      "--out", o.reportOut,
      "Write it to FILE (HTML unless --format says)");
  outOption->type_name("FILE");
  CLI::Option* format = app.add_option(
      "--format", o.reportFormat,
      "html (a page with charts), text or csv");
  format->type_name("html|text|csv")->check(CLI::IsMember({"html", "text", "csv"}));
  days->needs(report);
  to->needs(report);
  outOption->needs(report);
  format->needs(report);
  report->excludes(check)->excludes(dryRun)->excludes(dateOption)->excludes(plugin)->excludes(
      newOnly)->excludes(summary)->excludes(lockWait);
  check->excludes(dryRun)->excludes(dateOption)->excludes(plugin)->excludes(newOnly)->excludes(
      summary)->excludes(lockWait);
  app.add_option("peldavorn.ini", o.arguments, "The product's configuration file");

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

}  // namespace spekolar::cli
