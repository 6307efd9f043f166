// The monitors of all sections side by side, for the report of past days:
// a file that several monitors read (the two monitors of a section, other
// sections naming the same protocol) is read once per pass, not once per
// monitor, and no file is held in memory.
//
// Every monitor of a section that the frame's handler runs becomes a task
// of a platform::TaskBaton over a platform::SharedReadEnv: one task runs at
// a time, and each gives up its turn only when it needs the next block of a
// file, so the readers of a file move through it together. At every turn
// the task's slice of the program-wide state is put in place: its section's
// MonitorSettings and SectionFindingFlag (shared by the section's two
// monitors, as in a plain pass) and its observer. The sections are
// finished in file order as a plain pass finishes them: the observer hears
// the section's begin, its monitors' events in the order of a plain pass,
// its report (notification line, section message) and its end. A section
// is finished between two turns once its monitors have ended and the
// sections before it are finished; the first monitor that has not ended in
// the next section then tells the observer its events as they come, while
// the monitors after it keep theirs until their turn. A section with its
// own handler (LAUFWERK) and those after it are finished when no task is
// left. The observer therefore hears exactly what it hears from
// RunMonitors; the entries the pass writes to its own files come in another
// order.
//
// A monitor that could read the pass's own files (a Datei pattern that
// matches SPEKOLAR.log, say) would see them at another point of the pass:
// then the pass runs RunMonitors instead.
#pragma once

#include <span>

#include "app/SectionCatalogue.h"
#include "config/IniFile.h"

namespace spekolar {

void RunMonitorsSharingReads(IniFile& ini, std::span<const SectionRow> catalogue = SectionCatalogue());

}  // namespace spekolar
