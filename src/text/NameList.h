// Names as a sentence lists them: "A", "A and B", "A, B and C".
#pragma once

#include <span>

#include "text/CString.h"

namespace spekolar {

// The names joined by ", ", the last by " <conjunction> ".
inline CString JoinNames(std::span<const char* const> names, const char* conjunction) {
  CString list;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) list += i + 1 == names.size() ? CString(" ") + conjunction + " " : CString(", ");
    list += names[i];
  }
  return list;
}

}  // namespace spekolar
