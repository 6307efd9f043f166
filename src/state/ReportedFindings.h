// What earlier passes of the day already reported, for passes that report
// each finding once (--new-only).
//
// A finding is known by its identity: the section and the record text
// without the time stamp of its writing (for LAUFWERK the section and the
// drive path, whatever the free space). Identities are counted, so a
// record that occurs three times today and was reported twice is reported
// once more. Only 64-bit hashes of the identities are kept, with the day
// they belong to: a state of 100,000 findings takes about 2 MB.
//
// The text form (Parse, Text) is one header line, one line per identity
// and an end line with the count of identity lines, so a file cut short is
// told from a whole one:
//   SPEKOLAR-GEMELDET 1 07.12.2026
//   9c3f0d1e22a4b7f0 2
//   END 1
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "text/CString.h"

class ReportedFindings {
 public:
  enum class Parsed { kSameDay, kOtherDay, kDamaged };

  // The identity of a protocol monitor's record (section first, as every
  // record begins with it), or of a drive: section and path.
  static uint64_t KeyOf(std::string_view identity);

  // Takes the counts of `text` when it holds the state of the day `today`
  // ("dd.mm.yyyy"). kOtherDay (an earlier day: nothing reported yet today)
  // and kDamaged (not this form, or cut short) leave the memory empty.
  Parsed Parse(std::string_view text, const CString& today);

  // Counts one occurrence in this pass; true when it goes beyond what was
  // reported before, i.e. is to be reported now.
  bool IsNew(uint64_t key);

  // The state after this pass: every identity with the greater of its
  // earlier count and its count in this pass.
  std::string Text(const CString& today) const;

 private:
  std::unordered_map<uint64_t, uint32_t> reported_;  // by earlier passes of the day
  std::unordered_map<uint64_t, uint32_t> seen_;      // in this pass
};
