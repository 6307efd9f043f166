// Points the program-wide log directory and the notification files at a
// test's folder, as the run sequence does with the real one. Opening the
// run and findings protocols is left to the test.
#pragma once

#include <string>

#include "state/ProgramState.h"

namespace spekolar::spktest {

inline void UseLogDirectory(const std::string& dir) {
  ProgramState& s = State();
  s.LogDirectory = dir.c_str();
  s.Notifications.Open(s.LogDirectory);
}

}  // namespace spekolar::spktest
