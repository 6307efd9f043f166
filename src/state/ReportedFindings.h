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
#include <vector>

#include "text/CString.h"

namespace spekolar {

class ReportedFindings {
 public:
  enum class Parsed { kSameDay, kOtherDay, kDamaged };

  // The identity of a protocol monitor's record (section first, as every
  // record begins with it), or of a drive: section and path.
  static uint64_t KeyOf(std::string_view identity);

  // Takes the counts of `text` when it holds the state of the day `today`
  // ("dd.mm.yyyy"). kOtherDay (an earlier day: nothing reported yet today)
  // and kDamaged (not this form, or cut short) leave the memory empty. Called
  // before the pass counts (IsNew): it forgets what was counted.
  Parsed Parse(std::string_view text, const CString& today);

  // Counts one occurrence in this pass; true when it goes beyond what was
  // reported before, i.e. is to be reported now.
  bool IsNew(uint64_t key);

  // The state after this pass: every identity with the greater of its
  // earlier count and its count in this pass.
  std::string Text(const CString& today) const;

 private:
  // One slot for both counts of an identity; free while both are 0.
  struct Slot {
    uint64_t key = 0;
    uint32_t reported = 0;  // by earlier passes of the day
    uint32_t seen = 0;      // in this pass
  };
  // The slot of `key`, a free one claimed for it if it has none yet (the
  // caller makes one of its counts non-zero).
  Slot& SlotOf(uint64_t key);
  void Resize(size_t slots);
  void Clear();

  // Open addressing with linear probing, a power of two of slots, at most
  // half of them used: a finding costs one probe into one array, no
  // allocation (a pass may report 100,000 findings, and --new-only is to
  // cost it little). The keys are hashes already; their top bits after a
  // multiplication pick the slot.
  std::vector<Slot> slots_;
  size_t used_ = 0;
  int shift_ = 64;
};

}  // namespace spekolar
