// One run of the program, from the start entry to the exit code.
//
// The fixed order: framework start-up, log directory, protocol files and the
// start entry, argument check, monitor configuration check, credentials and
// the database start-up (connect, tenant query), moving the previous run's
// notification files aside, the monitors, the mail script when e-mail text
// was written, the closing entry. The first failing step ends the run with
// its entry in SPEKOLAR.log and its exit code: 1 for a missing argument or
// configuration file, the failing database step's result otherwise.
#pragma once

#include "text/CString.h"

class InstallationPath;

// Runs one pass. `installation` is the program-wide object built at start-up.
// Returns the process exit code.
int RunSpekolar(int argc, char** argv, const InstallationPath& installation);

// Relative to the current directory.
extern const char kConfigFilePath[];
