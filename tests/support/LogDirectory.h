// Points the program-wide paths at a test's log directory, as the run
// sequence does with the real one: LogDirectory, NotificationPath and
// MailTextPath. Opening protocol files is left to the test.
#pragma once

#include <string>

#include "state/ProgramState.h"

namespace spktest {

inline void UseLogDirectory(const std::string& dir) {
  ProgramState& s = State();
  s.LogDirectory = dir.c_str();
  s.NotificationPath = s.LogDirectory + "\\SPEKOLAR.NRT";
  s.MailTextPath = s.LogDirectory + "\\SPEKOLAR.EML";
}

}  // namespace spktest
