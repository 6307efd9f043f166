// The tenant values of the run: the first row of the tenant query.
#pragma once

#include "text/CString.h"

namespace spekolar {

struct TenantRowRecord {
  CString MNDLIZ;  // licence number, up to 5 characters
  CString MNDNUM;  // tenant number, up to 5
  CString MNDEML;  // e-mail address, up to 50
  CString MNDSCH;  // schema, up to 20
};

}  // namespace spekolar
