// The two monitors of the JOBCONTROLLER section.
//
// The job controller service writes dated protocol lines that begin with a
// stamp "yyyy-mm-dd hh:mm:ss". The error monitor reports today's lines that
// carry "Error" or "Fehler", except the error line the service typically
// writes one line after its own stop message.
#pragma once

#include "monitors/frame/SectionHandler.h"

namespace spekolar {

// Records that it ran: writes its header (MonitorHeader, " \xDC" "berwachung
// Jobcontroller Typ 1 (Laufzeit)") to RunProtocol. Always true.
bool CheckJobControllerRuntime(const SectionRow& section, MonitorSettingsRecord& settings);

// Scans today's lines of the Files patterns and reports every error line as
// a finding "<section>;<Typ2>;;;;dd.mm.yyyy hh:mm:ss - <message>;" (last
// field empty), the first one of the call also as a message row with the
// row's error title ("Jobcontroller-Fehler") and no monitor name. True after
// all 20 slots; false when it ended at an empty slot or at a file it could
// not open.
bool CheckJobControllerErrors(const SectionRow& section, MonitorSettingsRecord& settings);

}  // namespace spekolar
