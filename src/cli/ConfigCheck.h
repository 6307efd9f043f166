// Tests everything a pass would need and acts on nothing (--check).
//
// One line per item, each marked OK, NOTE (worth knowing, does not stop a
// pass) or ERROR (a pass would not run, or would check less than the
// configuration seems to ask for): the registry store and its "Path", the
// log directory, the monitor configuration section by section (handler,
// monitors, Typ, Meldungstyp, numbers, unknown names and keys with the
// nearest known one), each Datei slot with its matches, LAUFWERK's drives,
// the credentials file (never the values of LOGIN and PASS), the database
// connection with the tenant row and the message table, and the mail
// command. It uses the program's own readers, so it sees what a pass would
// see. It writes, moves and inserts nothing; the registry is opened for
// reading only, so a missing key is not created.
#pragma once

#include <cstdio>

#include "cli/ConsoleText.h"

namespace spekolar::cli {

// `argument`: the pass's one argument, null when none was given. Prints to
// `out` in the console's encoding. 0 when a pass would run without an
// ERROR, 1 otherwise.
int RunConfigCheck(const char* argument, std::FILE* out, ConsoleEncoding encoding);

}  // namespace spekolar::cli
