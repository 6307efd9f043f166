// Message rows for the product's message table, one per call.
//
// Both operations fill the program-wide State().MessageBuffer (cleared
// first) with the caller's texts, the tenant values of the run
// (State().TenantRow), a 14-digit local time stamp and a new MsgUid, and
// insert a copy through State().Db. The callers write the protocol lines
// that go with a message; the one entry written here is for a failed
// insert (a dropped table, a refused value, a read-only user), since that
// row is lost for good: "Fehler beim InsertMessage:" with the native error
// code, SQL state and message text on lines of their own, as the start-up
// failures are written. (A session that never connected writes none: the
// run stops before any monitor then.)
//
// Precondition: the session is connected and the tenant row fetched; a
// session that is not gives -1 and no row.
//
// Texts are cut to their columns: title 80, monitorName 50, detail 1024
// characters. The title loses its trailing white space (blanks, tabs, line
// ends); monitorName and detail are stored as given.
//
// Result: that of DbSession::InsertMessage, 0 (or 1) when the row was
// stored, -1 or the database's native error code otherwise, with the
// session's diagnostics set. A failed id query only leaves MsgUid empty; the
// insert is attempted all the same.
#pragma once

#include "text/CString.h"

namespace spekolar {

// A finding of a monitor: category "DEBUG", MsgDbg = detail (the finding
// record).
int StoreFindingMessage(CString title, CString monitorName, CString detail);

// The end of a section with findings: category "NACHRICHTEN", MsgDbg empty.
int StoreSectionMessage(CString title, CString monitorName);

}  // namespace spekolar
