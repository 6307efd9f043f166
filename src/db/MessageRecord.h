// One row of the product's message table QRVYSTEM.QRV200MSG, without MsgDat
// (the insert statement sets it to the server's current time).
//
// Text fields are fixed-width, zero-terminated arrays; the width in the name
// of each constant is the number of characters the column holds. SetText cuts
// a longer value to the width, so nothing ever runs past a field.
#pragma once

#include <cstdint>
#include <cstring>

#include "text/CString.h"

namespace spekolar {

struct MessageRecord {
  int32_t MsgTnr;
  char MsgTxt[80 + 1];
  char MsgLnk[80 + 1];
  char MsgMod[50 + 1];
  char MsgSrc[50 + 1];
  char MsgSch[20 + 1];
  char MsgCat[25 + 1];
  char MsgAdr[10 + 1];
  char MsgBer[10 + 1];  // "KORVANE"
  int32_t MsgPri;
  char MsgTyp[5 + 1];
  char MsgBrk[10 + 1];  // always empty
  int32_t MsgVal;
  char MsgDbg[1024 + 1];
  char MsgMnd[5 + 1];
  char MsgLiz[5 + 1];
  char MsgTin[14 + 1];
  int32_t MsgSts;
  char MsgErf[50 + 1];
  char MsgUid[40 + 1];

  // All bytes zero.
  void Clear() { std::memset(this, 0, sizeof *this); }

  // Copies at most N-1 bytes of `value` into `field` and terminates it.
  template <size_t N>
  static void SetText(char (&field)[N], const CString& value) {
    size_t n = value.view().size();
    if (n > N - 1) n = N - 1;
    std::memcpy(field, value.view().data(), n);
    field[n] = '\0';
  }
};

}  // namespace spekolar
