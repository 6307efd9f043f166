#include "state/ProgramState.h"

namespace {
std::unique_ptr<ProgramState>& Instance() {
  static std::unique_ptr<ProgramState> instance = std::make_unique<ProgramState>();
  return instance;
}
}  // namespace

ProgramState& State() { return *Instance(); }

void ResetProgramState() { Instance() = std::make_unique<ProgramState>(); }
