#include "state/ProgramState.h"

#include "db/DbSession.h"
#include "state/ReportedFindings.h"

namespace spekolar {

ProgramState::ProgramState() : Db(std::make_unique<DbSession>()) {}

ProgramState::~ProgramState() = default;

namespace {
std::unique_ptr<ProgramState>& Instance() {
  static std::unique_ptr<ProgramState> instance = std::make_unique<ProgramState>();
  return instance;
}
}  // namespace

ProgramState& State() { return *Instance(); }

void ResetProgramState() { Instance() = std::make_unique<ProgramState>(); }

bool IsNewFinding(std::string_view identity) {
  ReportedFindings* reported = State().Reported;
  return reported == nullptr || reported->IsNew(ReportedFindings::KeyOf(identity));
}

}  // namespace spekolar
