// Fixture for monitor tests: a temporary log directory with the run and
// findings protocols opened in it, a clock standing at 07.12.2026 23:30:00,
// and fresh program state. The database stays unconnected, so a stored
// message never reaches a table; the message buffer still shows the last
// message built (category, title, monitor name, detail).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "platform/Env.h"
#include "platform/TimeText.h"
#include "state/ProgramState.h"
#include "support/LogDirectory.h"
#include "support/TempDir.h"
#include "support/TestEnv.h"

namespace spktest {

class MonitorTestBed : public ::testing::Test {
 protected:
  MonitorTestBed() : clock_(2026, 12, 7, 23, 30, 0), scoped_(&clock_) {}

  void SetUp() override {
    ResetProgramState();
    UseLogDirectory(dir_.path());
    ProgramState& s = State();
    s.RunProtocol.Open(s.LogDirectory, "SPEKOLAR");
    s.FindingsProtocol.Open(s.LogDirectory, "SPEKOLAR.TXT");
  }
  void TearDown() override { ResetProgramState(); }

  // Full path of a file in the temporary folder.
  std::string P(const std::string& name) const { return dir_ / name; }

  // Fills the Files slots in order; the remaining slots are emptied.
  static void SetFiles(std::initializer_list<std::string> entries) {
    MonitorSettingsRecord& m = State().MonitorSettings;
    for (CString& slot : m.Files) slot.Empty();
    int i = 0;
    for (const std::string& e : entries) m.Files[i++] = CString(e);
  }

  // Lines of a file in the log folder, each without its "\n".
  std::vector<std::string> Lines(const std::string& name) const {
    std::vector<std::string> lines;
    std::istringstream in(dir_.Read(name));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  // Lines with `prefix` checked and removed.
  std::vector<std::string> Stripped(const std::string& name, const std::string& prefix) const {
    std::vector<std::string> out;
    for (const std::string& line : Lines(name)) {
      EXPECT_EQ(line.substr(0, prefix.size()), prefix) << line;
      out.push_back(line.substr(std::min(prefix.size(), line.size())));
    }
    return out;
  }
  std::string Stamp() { return platform::ProtocolStamp(clock_.Now()).str(); }
  // SPEKOLAR.log entries without their "dd.mm.yyyy hh:mm:ss - ".
  std::vector<std::string> RunEntries() { return Stripped("SPEKOLAR.log", Stamp() + " - "); }
  // SPEKOLAR.TXT records without their "dd.mm.yyyy hh:mm:ss;".
  std::vector<std::string> Findings() { return Stripped("SPEKOLAR.TXT", Stamp() + ";"); }

  // What the last StoreFindingMessage / StoreSectionMessage put into the
  // message buffer.
  static std::string LastMessageCategory() { return State().MessageBuffer.MsgCat; }
  static std::string LastMessageDetail() { return State().MessageBuffer.MsgDbg; }

  TempDir dir_;
  FixedClockEnv clock_;
  platform::ScopedEnv scoped_;
};

// Joins lines with "\n" after each, as a protocol file holds them.
inline std::string Text(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines) out += l + "\n";
  return out;
}

}  // namespace spktest
