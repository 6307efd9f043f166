// The two notification files of a run.
//
// A section with findings appends one line either to the display
// notification file SPEKOLAR.NRT or to the e-mail text SPEKOLAR.EML, as its
// Meldungstyp says. The e-mail text begins with two address lines (the
// tenant's address, then MailRecipient), written only when the file does not
// exist yet; every WriteMailText sets MailTextWritten, which makes the run
// start the mail script at its end. Write failures are silent.
#pragma once

#include "text/CString.h"

// Appends the trimmed text as one line to SPEKOLAR.NRT. Always true.
bool WriteNotification(CString text);
// Appends the trimmed text as one line to SPEKOLAR.EML (after the two
// address lines when the file is new) and sets MailTextWritten. Always true.
bool WriteMailText(CString text);
