#include "app/SharedMonitorRun.h"

#include <functional>
#include <string_view>
#include <utility>
#include <vector>

#include "app/MonitorRun.h"
#include "app/RunSequence.h"
#include "platform/SharedReadEnv.h"
#include "platform/Wildcard.h"
#include "state/ProgramState.h"

namespace spekolar {

namespace {

// Keeps what a monitor tells the observer, to be told again in pass order.
class HeldEvents : public PassObserver {
 public:
  void FindingReported(const CString& record) override {
    Hold([record](PassObserver& o) { o.FindingReported(record); });
  }
  void FileMissing(const CString& entry) override {
    Hold([entry](PassObserver& o) { o.FileMissing(entry); });
  }
  void FileUnreadable(const CString& path) override {
    Hold([path](PassObserver& o) { o.FileUnreadable(path); });
  }
  void RunMeasured(const MeasuredRun& run) override {
    Hold([run](PassObserver& o) { o.RunMeasured(run); });
  }
  void TerminalNoAnswer(const CString& terminal) override {
    Hold([terminal](PassObserver& o) { o.TerminalNoAnswer(terminal); });
  }
  void MessageStored(bool stored) override {
    Hold([stored](PassObserver& o) { o.MessageStored(stored); });
  }
  void TellAgain(PassObserver& observer) {
    for (const auto& event : events_) event(observer);
    events_.clear();
  }

 private:
  void Hold(std::function<void(PassObserver&)> event) { events_.push_back(std::move(event)); }
  std::vector<std::function<void(PassObserver&)>> events_;
};

struct SectionRun {
  CString upperName;
  const SectionRow* row = nullptr;
  MonitorSettingsRecord settings;
  bool findingFlag = false;
  bool begun = false;  // the observer has heard SectionBegins
};

struct MonitorTask {
  size_t section = 0;
  SectionFunction monitor = nullptr;
  HeldEvents events;
  bool direct = false;  // its events go to the observer as they come
  bool ended = false;
};

// Whether a Datei pattern of the section could match a file the pass
// itself writes: its last component against each of their names.
bool MayReadPassFiles(const MonitorSettingsRecord& settings) {
  for (const CString& entry : settings.Files) {
    if (entry.IsEmpty()) continue;
    const std::string_view path = entry.view();
    const size_t slash = path.find_last_of("\\/");
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    for (const char* own : kPassFileNames) {
      if (platform::WildcardMatch(name, own)) return true;
    }
    for (const char* own : kPassGenerationNames) {
      if (platform::WildcardMatch(name, own)) return true;
    }
  }
  return false;
}

}  // namespace

void RunMonitorsSharingReads(IniFile& ini, std::span<const SectionRow> catalogue) {
  ProgramState& state = State();
  std::vector<SectionRun> sections;
  bool mayReadPassFiles = false;
  ForEachMonitorSection(ini, [&](const CString& name) {
    SectionRun run;
    run.upperName = name;
    run.upperName.MakeUpper();
    run.row = FindSection(run.upperName.view(), catalogue);
    if (run.row == nullptr) return;
    run.settings = state.MonitorSettings;
    mayReadPassFiles = mayReadPassFiles || (run.row->handler == nullptr && MayReadPassFiles(run.settings));
    sections.push_back(std::move(run));
  });
  if (mayReadPassFiles) {
    for (SectionRun& run : sections) {
      state.MonitorSettings = std::move(run.settings);
      DispatchSection(run.upperName, catalogue);
    }
    return;
  }

  // The monitors of the frame's sections, type 1 before type 2 as the
  // section handler runs them.
  std::vector<MonitorTask> tasks;
  for (size_t i = 0; i < sections.size(); ++i) {
    const SectionRun& run = sections[i];
    if (run.row->handler != nullptr) continue;
    for (const SectionFunction monitor : {run.settings.Typ1.IsEmpty() ? nullptr : run.row->type1,
                                          run.settings.Typ2.IsEmpty() ? nullptr : run.row->type2}) {
      if (monitor == nullptr) continue;
      tasks.emplace_back();
      tasks.back().section = i;
      tasks.back().monitor = monitor;
    }
  }

  // The sections are finished in file order: `finished` is the next one,
  // `told` the first of its tasks whose held events the observer has not
  // heard. The first task that has not ended there tells its events as
  // they come; the others hold theirs until it is their turn.
  PassObserver* const observer = state.Observer;
  size_t finished = 0, told = 0;
  auto begin = [&](SectionRun& run) {
    if (observer != nullptr && !run.begun) observer->SectionBegins(run.upperName);
    run.begun = true;
  };
  // Tells the held events of the finished section's tasks up to the first
  // that has not ended, which tells its own from now on; true when all
  // have ended.
  auto tellEnded = [&]() {
    for (; told < tasks.size() && tasks[told].section == finished; ++told) {
      if (observer != nullptr) tasks[told].events.TellAgain(*observer);
      tasks[told].direct = true;
      if (!tasks[told].ended) return false;
    }
    return true;
  };
  // The section's report and end, with its settings in place.
  auto end = [&](SectionRun& run) {
    if (run.row->handler != nullptr) {
      run.row->handler(*run.row, state.MonitorSettings);
    } else {
      state.SectionFindingFlag = run.findingFlag;
      if (run.findingFlag) ReportSectionResult(*run.row, state.MonitorSettings);
    }
    if (observer != nullptr) observer->SectionEnds(run.upperName);
  };
  {
    platform::SharedReadEnv shared(platform::GetEnv());
    platform::ScopedEnv scope(&shared);
    std::vector<std::function<void()>> bodies;
    for (MonitorTask& task : tasks) {
      const SectionRun& run = sections[task.section];
      // The settings are handed as the program-wide record: at each turn
      // the task's own are swapped into it.
      bodies.push_back([&run, &task, &state]() {
        task.monitor(*run.row, state.MonitorSettings);
        task.ended = true;
      });
    }
    // Swapping puts the task's slice in place and, done again, takes it
    // out. Between two turns the sections whose tasks have all ended are
    // finished, up to the first section with its own handler, which runs
    // only once no task is left.
    shared.baton().Run(std::move(bodies), [&](size_t index, bool entering) {
      MonitorTask& task = tasks[index];
      SectionRun& run = sections[task.section];
      std::swap(state.MonitorSettings, run.settings);
      std::swap(state.SectionFindingFlag, run.findingFlag);
      state.Observer = entering && !task.direct && observer != nullptr ? &task.events : observer;
      if (entering) return;
      while (finished < sections.size() && sections[finished].row->handler == nullptr) {
        SectionRun& next = sections[finished];
        begin(next);
        if (!tellEnded()) return;
        std::swap(state.MonitorSettings, next.settings);
        end(next);
        std::swap(state.MonitorSettings, next.settings);
        ++finished;
      }
    });
  }

  for (; finished < sections.size(); ++finished) {
    SectionRun& run = sections[finished];
    state.MonitorSettings = std::move(run.settings);
    begin(run);
    tellEnded();
    end(run);
  }
}

}  // namespace spekolar
