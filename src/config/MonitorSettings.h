// The keys of the monitor section being handled.
//
// One program-wide record, overwritten by each section in turn. Monitors read
// their settings from it and may write defaults (MinLaufzeit, MaxLaufzeit)
// and their working pattern (Datei) into it; a later monitor of the same
// section sees those values.
#pragma once

#include "text/CString.h"

struct MonitorSettingsRecord {
  static constexpr int kFileSlots = 20;

  CString Typ1;   // "1" when Typ holds a '1', else empty
  CString Typ2;   // "2" when Typ holds a '2', else empty
  CString Datei;  // raw value, later the monitors' working pattern
  CString Files[kFileSlots];
  CString Meldungstyp;
  CString MinLaufzeit;
  CString MaxLaufzeit;
  CString MinGroesse;
  CString Id1, Id2, Id3;
};
