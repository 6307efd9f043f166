#include "cli/Program.h"

#include <memory>
#include <string>
#include <vector>

#include "app/RunSequence.h"
#include "cli/CommandLine.h"
#include "cli/ConfigCheck.h"
#include "cli/ConsoleText.h"
#include "cli/DryRun.h"
#include "cli/PluginStatus.h"
#include "cli/Report.h"
#include "cli/ShiftedClock.h"
#include "config/InstallationPath.h"
#include "db/DbSession.h"
#include "state/ProgramState.h"

namespace spekolar::cli {

namespace {

const int64_t kPluginLockWaitMillis = 50 * 1000;

// Hands every event to each of several observers (a dry run with a plugin
// line has two).
class ObserverList : public PassObserver {
 public:
  void Add(PassObserver* observer) { observers_.push_back(observer); }
  bool Empty() const { return observers_.empty(); }
  void SectionBegins(const CString& name) override { Tell(&PassObserver::SectionBegins, name); }
  void SectionEnds(const CString& name) override { Tell(&PassObserver::SectionEnds, name); }
  void FindingReported(const CString& record) override {
    Tell(&PassObserver::FindingReported, record);
  }
  void PassFailed(const CString& entry) override { Tell(&PassObserver::PassFailed, entry); }
  void LockBusy() override { Tell(&PassObserver::LockBusy); }
  void FileMissing(const CString& entry) override { Tell(&PassObserver::FileMissing, entry); }
  void FileUnreadable(const CString& path) override { Tell(&PassObserver::FileUnreadable, path); }
  void RunMeasured(const MeasuredRun& run) override { Tell(&PassObserver::RunMeasured, run); }
  void TerminalNoAnswer(const CString& terminal) override {
    Tell(&PassObserver::TerminalNoAnswer, terminal);
  }
  void MessageStored(bool stored) override { Tell(&PassObserver::MessageStored, stored); }
  void MailStarted(bool started) override { Tell(&PassObserver::MailStarted, started); }

 private:
  // Calls `event` with `args` on every observer, in the order they were added.
  template <typename... Params, typename... Args>
  void Tell(void (PassObserver::*event)(Params...), const Args&... args) {
    for (PassObserver* o : observers_) (o->*event)(args...);
  }

  std::vector<PassObserver*> observers_;
};

// Decorators of the Env in force, each installed over the one before and
// removed in the reverse order.
class EnvStack {
 public:
  EnvStack() = default;
  EnvStack(const EnvStack&) = delete;
  EnvStack& operator=(const EnvStack&) = delete;
  ~EnvStack() {
    while (!scopes_.empty()) {
      scopes_.pop_back();
      envs_.pop_back();
    }
  }
  void Install(std::unique_ptr<platform::Env> env) {
    scopes_.push_back(std::make_unique<platform::ScopedEnv>(env.get()));
    envs_.push_back(std::move(env));
  }

 private:
  std::vector<std::unique_ptr<platform::Env>> envs_;
  std::vector<std::unique_ptr<platform::ScopedEnv>> scopes_;
};

// Leaves the program-wide state as a plain pass would have found it.
struct StateRestore {
  ~StateRestore() {
    State().Observer = nullptr;
    State().Db->SetInsertSink(nullptr);
  }
};

}  // namespace

int RunProgram(int argc, char** argv, const ProgramIo& io) {
  ParsedCommandLine parsed = ParseCommandLine(argc, argv);
  if (!parsed.run) {
    // Help and messages about the command line, which may quote an argument:
    // on Linux in the terminal's encoding already, on Windows in the ANSI
    // code page, which the console writer converts.
    PrintForConsole(io.out, parsed.out, ConsoleEncoding::kWindows1252);
    PrintForConsole(io.err, parsed.err, ConsoleEncoding::kWindows1252);
    return parsed.exitCode;
  }
  const ProgramOptions& options = parsed.options;
  const ConsoleEncoding encoding = ProgramConsoleEncoding(platform::GetEnv());

  StateRestore restore;
  std::unique_ptr<DryRunReport> report;
  ObserverList observers;
  FindingCounter counter;
  // Last, so that the decorators go before what their sinks write to.
  EnvStack envs;

  if (options.check) {
    // Belt and braces: whatever a check would write stays in memory.
    envs.Install(std::make_unique<DryRunEnv>(platform::GetEnv(), DryRunSink()));
    const char* argument = options.arguments.empty() ? nullptr : options.arguments[0].c_str();
    const int result = RunConfigCheck(argument, io.out, encoding);
    std::fflush(io.out);
    return result;
  }

  if (options.report) return RunReport(options, argv[0], io.out, io.err, encoding);

  if (options.plugin && options.arguments.empty()) {
    // The status line and nothing else: a pass would print its usage text
    // on the same output, and might wait for another pass's lock, only to
    // stop for the missing argument.
    const PluginResult status = MissingArgumentStatus();
    PrintForConsole(io.out, status.line + "\n", encoding);
    std::fflush(io.out);
    return status.state;
  }

  if (options.hasDate) {
    platform::Env* system = platform::GetEnv();
    envs.Install(std::make_unique<ShiftedClockEnv>(
        system, ShiftTo(system->Now(), options.date, options.dateHasTime)));
  }

  if (options.dryRun) {
    report = std::make_unique<DryRunReport>(io.out, encoding);
    DryRunReport* sink = report.get();
    envs.Install(std::make_unique<DryRunEnv>(
        platform::GetEnv(), [sink](const DryRunAction& action) { sink->Take(action); }));
    State().Db->SetInsertSink(
        [sink](const MessageRecord& record, const CString&) { sink->TakeMessageRow(record); });
    observers.Add(sink);
  }
  if (options.plugin || options.summary) observers.Add(&counter);
  if (!observers.Empty()) State().Observer = &observers;

  // The pass sees the program name and the argument with what follows, as
  // if no option had been given.
  std::vector<char*> passArgv = {argv[0]};
  std::vector<std::string> arguments = options.arguments;
  for (std::string& argument : arguments) passArgv.push_back(argument.data());
  passArgv.push_back(nullptr);

  RunOptions runOptions;
  runOptions.errors = io.err;
  if (encoding == ConsoleEncoding::kUtf8) {
    runOptions.consoleText = [](std::string_view text) { return Windows1252ToUtf8(text); };
  }
  // A monitoring engine gives a check about a minute: a plugin that waited
  // the pass's ten minutes for the lock would be killed without a word.
  if (options.plugin) runOptions.lockWaitMillis = kPluginLockWaitMillis;
  if (options.lockWaitSeconds >= 0) runOptions.lockWaitMillis = int64_t{options.lockWaitSeconds} * 1000;
  if (io.lockWaitMillis >= 0) runOptions.lockWaitMillis = io.lockWaitMillis;
  runOptions.newOnly = options.newOnly;
  runOptions.saveReported = !options.dryRun;
  // Built under the decorators: a registry key it creates is a dry run's
  // action too.
  InstallationPath installation;
  int exitCode = RunSpekolar(static_cast<int>(passArgv.size()) - 1, passArgv.data(), installation,
                             runOptions);
  if (report) report->Finish();
  ProgramState& s = State();
  if (s.RunProtocol.FailedWrites() > 0) counter.SetLostRunProtocol(s.RunProtocol.LogPath());
  if (options.summary) {
    const int lost = s.RunProtocol.FailedWrites() + s.FindingsProtocol.FailedWrites() +
                     s.Notifications.FailedWrites();
    PrintForConsole(io.out, SummaryLine(counter, lost, exitCode) + "\n", encoding);
  }
  if (options.plugin) {
    const PluginResult status = PluginStatus(counter, exitCode);
    PrintForConsole(io.out, status.line + "\n", encoding);
    exitCode = status.state;
  }
  std::fflush(io.out);
  return exitCode;
}

}  // namespace spekolar::cli
