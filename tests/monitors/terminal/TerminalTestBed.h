// Fixture of the terminal monitor tests: the monitor test bed (clock at
// 07.12.2026 23:30:00) plus cases of one file each, and a file search that
// returns the matches of chosen patterns in a chosen order, as the Windows
// file system may.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "monitors/frame/MonitorTestBed.h"
#include "state/ProgramState.h"
#include "support/TestEnv.h"

namespace spekolar::spktest {

inline const std::string kTermTag = "Term      : ";
inline const std::string kUnder = " - Laufzeit unterschritten";
inline const std::string kOver = " - Laufzeit \xFC" "berschritten";

// "07-12-2026 <time> <text>" and "07.12.2026 <time> <text>", lines of today.
inline std::string Hy(const std::string& time, const std::string& text) {
  return "07-12-2026 " + time + " " + text;
}
inline std::string Dot(const std::string& time, const std::string& text) {
  return "07.12.2026 " + time + " " + text;
}
// The terminal line of the protocols with the name in double quotes.
inline std::string Quoted(const std::string& name) { return kTermTag + "\"" + name + "\""; }

using TerminalCase = FileCase;

// Hands out the matches of the listed patterns in the listed order.
class ListedOrderEnv : public EnvWrapper {
 public:
  using EnvWrapper::EnvWrapper;
  void List(const std::string& pattern, const std::vector<std::string>& paths) {
    std::vector<platform::FoundFile>& found = listed_[pattern];
    for (const std::string& path : paths) {
      found.push_back({CString(path), CString(std::filesystem::path(path).filename().string())});
    }
  }
  std::vector<platform::FoundFile> FindFiles(const CString& pattern) override {
    auto it = listed_.find(pattern.str());
    return it == listed_.end() ? EnvWrapper::FindFiles(pattern) : it->second;
  }

 private:
  std::map<std::string, std::vector<platform::FoundFile>> listed_;
};

class TerminalTestBed : public MonitorTestBed {
 protected:
  TerminalTestBed() : MonitorTestBed("1", "2") {}

  // Runs `check` over each case's lines, written to `file` (the monitor
  // name of both terminal directions is "Terminal Manager").
  void RunCases(SectionFunction check, const char* section, const char* title,
                const std::string& file, const std::vector<TerminalCase>& cases) {
    MonitorTestBed::RunCases(check, section, title, "Terminal Manager", file, cases);
  }
};

}  // namespace spekolar::spktest
