// The program as started from the command line: options, then one pass in
// the mode they ask for.
//
// Without options this is exactly the pass of RunSpekolar (the program-wide
// installation path built, then the run sequence), with the same output,
// files, rows and exit code. The modes wrap that same pass rather than
// copy it:
//   --date     the platform layer's clock, moved for the whole pass;
//   --dry-run  the platform layer and the session's inserts diverted to
//              standard output (DryRunEnv, DbSession::SetInsertSink);
//   --plugin   findings counted through the pass observer, one status line;
//   --check    no pass; ConfigCheck with the program's own readers.
#pragma once

#include <cstdint>
#include <cstdio>

namespace spekolar::cli {

struct ProgramIo {
  std::FILE* out = stdout;
  std::FILE* err = stderr;
  // How long a pass waits for the pass lock (RunOptions).
  int64_t lockWaitMillis = -1;  // negative: the program's default
};

int RunProgram(int argc, char** argv, const ProgramIo& io = ProgramIo());

}  // namespace spekolar::cli
