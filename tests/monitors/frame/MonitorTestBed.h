// Fixture for monitor tests: a temporary log directory with the run and
// findings protocols opened in it, a clock standing at 07.12.2026 23:30:00,
// and fresh program state. The database stays unconnected, so a stored
// message never reaches a table; the message buffer still shows the last
// message built (category, title, monitor name, detail).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "app/SectionCatalogue.h"
#include "monitors/frame/ProtocolScan.h"
#include "monitors/frame/RandomProtocol.h"
#include "platform/Env.h"
#include "platform/TimeText.h"
#include "state/ProgramState.h"
#include "support/LogDirectory.h"
#include "support/TempDir.h"
#include "support/TestEnv.h"

namespace spekolar::spktest {

// Joins lines with "\n" after each, as a protocol file holds them.
inline std::string Text(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines) out += l + "\n";
  return out;
}

// The last field of a finding record: the file it was found in.
inline std::string FileField(const std::string& name) {
  return "(gepr\xFC" "fte Datei: " + name + ")";
}

// A finding record without its time stamp: section, monitor type, the
// three limit fields (";;" when all are empty), field 6 and the checked file.
inline std::string Record(const std::string& section, const std::string& type,
                          const std::string& limits, const std::string& text,
                          const std::string& file) {
  return section + ";" + type + ";" + limits + ";" + text + ";" + FileField(file);
}

// One case of a table: the lines of the watched file and the records the
// monitor writes for them (without their time stamp).
struct FileCase {
  const char* name;
  std::vector<std::string> lines;
  std::vector<std::string> findings;
};

class MonitorTestBed : public ::testing::Test {
 protected:
  // `typ1` and `typ2`: the section's Typ1 and Typ2 keys, set at every SetUp().
  explicit MonitorTestBed(const char* typ1 = "", const char* typ2 = "")
      : clock_(2026, 12, 7, 23, 30, 0), scoped_(&clock_), typ1_(typ1), typ2_(typ2) {}

  void SetUp() override {
    ResetProgramState();
    UseLogDirectory(dir_.path());
    ProgramState& s = State();
    if (*typ1_) s.MonitorSettings.Typ1 = typ1_;
    if (*typ2_) s.MonitorSettings.Typ2 = typ2_;
    s.RunProtocol.Open(s.LogDirectory, "SPEKOLAR");
    s.FindingsProtocol.Open(s.LogDirectory, "SPEKOLAR.TXT");
  }
  void TearDown() override { ResetProgramState(); }

  // Runs `monitor` as the frame does: with the catalogue row of `section`
  // and the program's settings.
  static bool Run(SectionFunction monitor, const std::string& section) {
    return monitor(*FindSection(section), State().MonitorSettings);
  }

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
    std::istringstream in(dir_.ReadText(name));
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
  // The run protocol's entry for a file the monitor reads.
  std::string Opened(const std::string& name) const {
    return "  Bearbeiten Protokolldatei '" + P(name) + "'";
  }
  // The run protocol of a pass that writes `header` and then reads `files`
  // in this order.
  std::vector<std::string> Reads(const std::string& header,
                                 std::initializer_list<std::string> files) const {
    std::vector<std::string> entries{header};
    for (const std::string& file : files) entries.push_back(Opened(file));
    return entries;
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

  // Starts one case of a table afresh: SetUp() again (the fixture's own
  // settings included), no findings protocol yet, and `content` in `file`,
  // the only file configured.
  void StartCase(const std::string& file, const std::string& content) {
    SetUp();
    std::filesystem::remove(P("SPEKOLAR.TXT"));
    dir_.Write(file, content);
    SetFiles({P(file)});
  }

  // Compares the findings with `expected`, and the section flag and the
  // stored message (the first finding, with `title` and `monitor`) with them.
  void ExpectFindings(const std::vector<std::string>& expected, const char* title,
                      const char* monitor) {
    EXPECT_EQ(Findings(), expected);
    EXPECT_EQ(State().SectionFindingFlag, !expected.empty());
    EXPECT_EQ(LastMessageDetail(), expected.empty() ? "" : expected.front());
    if (!expected.empty()) {
      EXPECT_STREQ(State().MessageBuffer.MsgTxt, title);
      EXPECT_STREQ(State().MessageBuffer.MsgMod, monitor);
    }
  }

  // Runs `check` for `section` over each case's lines, written to `file`
  // with `eol` after each, and checks its findings (ExpectFindings).
  // `prepare`, if given, runs after the fresh start, before the monitor.
  void RunCases(SectionFunction check, const char* section, const char* title,
                const char* monitor, const std::string& file, const std::vector<FileCase>& cases,
                const std::function<void()>& prepare = nullptr, const std::string& eol = "\n") {
    for (const FileCase& c : cases) {
      SCOPED_TRACE(c.name);
      std::string content;
      for (const std::string& line : c.lines) content += line + eol;
      StartCase(file, content);
      if (prepare) prepare();
      Run(check, section);
      ExpectFindings(c.findings, title, monitor);
    }
  }

  // Writes random protocols over `vocabulary`, each file (a path in the
  // temporary folder) with its number of lines, into a fresh folder "w".
  void WriteRandomFiles(std::mt19937& rng, const ProtocolVocabulary& vocabulary,
                        std::initializer_list<std::pair<const char*, int>> files) {
    std::filesystem::remove_all(P("w"));
    for (const auto& [name, lines] : files) dir_.Write(name, RandomProtocol(rng, vocabulary, lines));
  }

  // Runs `pass` (a monitor call) over the files as they stand twice from the
  // same MonitorSettings: as monitors run, and handed every piece, as a
  // plain line-by-line pass reads. The findings protocol, the run protocol,
  // the stored message and the section flag must come out the same. Returns
  // the findings of the pass.
  std::vector<std::string> ExpectFilteredEqualsPlain(const std::function<void()>& pass) {
    struct Outcome {
      std::string findings, log, message;
      bool flag;
    };
    const MonitorSettingsRecord settings = State().MonitorSettings;
    auto run = [&](bool plain) {
      State().MonitorSettings = settings;
      State().SectionFindingFlag = false;
      State().MessageBuffer = MessageRecord{};
      std::filesystem::remove(P("SPEKOLAR.TXT"));
      std::filesystem::remove(P("SPEKOLAR.log"));
      ProtocolScan::HandEveryPieceForTesting(plain);
      pass();
      ProtocolScan::HandEveryPieceForTesting(false);
      return Outcome{dir_.ReadText("SPEKOLAR.TXT"), dir_.ReadText("SPEKOLAR.log"),
                     State().MessageBuffer.MsgDbg, State().SectionFindingFlag};
    };
    const Outcome plain = run(true);
    const Outcome filtered = run(false);
    EXPECT_EQ(filtered.findings, plain.findings);
    EXPECT_EQ(filtered.log, plain.log);
    EXPECT_EQ(filtered.message, plain.message);
    EXPECT_EQ(filtered.flag, plain.flag);
    return Findings();
  }

  TempDir dir_;
  FixedClockEnv clock_;
  platform::ScopedEnv scoped_;

 private:
  const char* typ1_;
  const char* typ2_;
};

}  // namespace spekolar::spktest
