#include "app/SharedMonitorRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/MonitorRun.h"
#include "platform/Env.h"
#include "platform/TaskBaton.h"
#include "state/ProgramState.h"
#include "support/MemoryEnv.h"
#include "support/TempDir.h"
#include "support/TestEnv.h"

namespace spekolar {

namespace {

using spktest::CountingEnv;
using spktest::MemoryEnv;
using spktest::TempDir;

// Everything the observer hears, as text.
class Transcript : public PassObserver {
 public:
  std::vector<std::string> lines;
  void SectionBegins(const CString& name) override { lines.push_back("begins " + name.str()); }
  void SectionEnds(const CString& name) override { lines.push_back("ends " + name.str()); }
  void FindingReported(const CString& record) override { lines.push_back("finding " + record.str()); }
  void FileMissing(const CString& entry) override { lines.push_back("missing " + entry.str()); }
  void RunMeasured(const MeasuredRun& r) override {
    lines.push_back("run " + r.section.str() + " " + r.terminal.str() + " " + r.start.str() + " " + r.end.str() +
                    " " + std::to_string(r.seconds));
  }
  void TerminalNoAnswer(const CString& terminal) override { lines.push_back("no answer " + terminal.str()); }
  void MessageStored(bool stored) override { lines.push_back(stored ? "stored" : "not stored"); }
};

// A day of the closing and of the terminal manager, each some blocks long.
void WriteProtocols(MemoryEnv& memory) {
  std::string closing = "07.12.2026 22:00:00 Tagesabschluss wird gestartet\n", download;
  for (int i = 0; i < 4000; ++i) closing += "07.12.2026 22:10:00 Buchung " + std::to_string(i) + " ok\n";
  closing += "07.12.2026 22:15:00 Fehler beim Buchen\n07.12.2026 22:40:00 Tagesabschluss beendet\n";
  for (int i = 0; i < 2000; ++i) {
    const int start = i * 20, end = start + 30 + i % 1500;
    char exchange[160];
    std::snprintf(exchange, sizeof exchange,
                  "Start Download\n07-12-2026 %02d:%02d:%02d Verbindung\nTerm      : \"T%02d\"\n"
                  "07-12-2026 %02d:%02d:%02d Ende\n",
                  start / 3600, start / 60 % 60, start % 60, i % 40, end / 3600, end / 60 % 60, end % 60);
    download += exchange;
  }
  memory.files["C:\\logs\\closing.log"] = closing;
  memory.files["C:\\logs\\download.log"] = download;
}

// The sections share files (the two monitors of a section, the terminal
// sections and a group the closing's protocol), LAUFWERK runs between them.
// The observer hears the same from both walks; the shared walk reads each
// file once, unless a pattern could name the pass's own files.
TEST(SharedMonitorRunTest, ObserverHearsWhatThePlainWalkTellsItAndSharedFilesAreReadOnce) {
  const std::string sections =
      "[TAGESABSCHLUSS]\nTyp=1,2\nDatei=C:\\logs\\closing.log\n"
      "[LAUFWERK]\nID=C:\nMinGroesse=2000000000\n"
      "[TERMINAL DOWNLOAD]\nTyp=1,2\nDatei=C:\\logs\\download.log\n"
      "[TERMINAL UPLOAD]\nTyp=1,2\nDatei=C:\\logs\\download.log\n"
      "[GRUPPE1]\nTyp=1,2\nDatei=C:\\logs\\closing.log,C:\\logs\\missing.log\n";
  struct Case {
    const char* what;
    std::string config;
    bool readOnce;  // by the shared walk; else as often as by the plain one
    size_t threads = SIZE_MAX;  // how many threads the system lets the walk start
  } cases[] = {
      {"shared files", sections, true},
      {"a pattern for the pass's own files", sections + "[GRUPPE2]\nTyp=2\nDatei=C:\\logs\\SPEKOLAR.*\n", false},
      // The monitors whose threads could not be started run one after
      // another: the same result, their reads not shared.
      {"one thread only", sections, false, 1},
      {"no thread at all", sections, false, 0},
  };
  MemoryEnv memory;
  WriteProtocols(memory);
  for (const Case& c : cases) {
    TempDir dir;
    dir.Write("Spekolar.ini", c.config);
    Transcript heard[2];
    int opens[2] = {};
    for (int shared = 0; shared < 2; ++shared) {
      ResetProgramState();
      IniFile ini;
      ini.SetPath((dir / "Spekolar.ini").c_str());
      ini.Load();
      CountingEnv counting(&memory);
      platform::ScopedEnv scope(&counting);
      State().Observer = &heard[shared];
      platform::TaskBaton::LimitThreadsForTesting(c.threads);
      shared ? RunMonitorsSharingReads(ini) : RunMonitors(ini);
      platform::TaskBaton::LimitThreadsForTesting(SIZE_MAX);
      opens[shared] = counting.opens;
    }
    ResetProgramState();
    EXPECT_EQ(heard[1].lines, heard[0].lines) << c.what;
    // Both walks heard the runs, the findings and the drive's shortage.
    const std::vector<std::string>& lines = heard[0].lines;
    for (const char* kind : {"run TAGESABSCHLUSS", "run TERMINAL DOWNLOAD T39", "finding TAGESABSCHLUSS;2",
                             "finding LAUFWERK", "missing C:\\logs\\missing.log"}) {
      EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                              [kind](const std::string& l) { return l.rfind(kind, 0) == 0; }))
          << c.what << ": " << kind;
    }
    EXPECT_GT(opens[0], 2) << c.what;  // each file by several monitors
    if (c.threads == SIZE_MAX) {
      EXPECT_EQ(opens[1], c.readOnce ? 2 : opens[0]) << c.what;
    }
  }
}

}  // namespace

}  // namespace spekolar
