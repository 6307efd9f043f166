#include "state/ReportedFindings.h"

#include <algorithm>
#include <charconv>
#include <vector>

namespace spekolar {

namespace {

const char kHeader[] = "SPEKOLAR-GEMELDET 1 ";

// The next line of `text` from *at (without its LF); false at the end.
bool NextLine(std::string_view text, size_t* at, std::string_view* line) {
  if (*at >= text.size()) return false;
  size_t end = text.find('\n', *at);
  if (end == std::string_view::npos) end = text.size();
  *line = text.substr(*at, end - *at);
  *at = end + 1;
  return true;
}

template <typename Number>
bool ParseNumber(std::string_view text, int base, Number* out) {
  if (text.empty()) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *out, base);
  return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

uint64_t ReportedFindings::KeyOf(std::string_view identity) {
  // Eight bytes a step (a record is some hundred bytes, and a pass may
  // have 100,000), read as little-endian whatever the machine, so that the
  // key is the same on every system and build, unlike std::hash. Each step
  // is a bijection of the word for a given state; the end mixes all bits.
  auto step = [](uint64_t hash, uint64_t word) {
    hash = (hash ^ word) * 0xBF58476D1CE4E5B9ull;
    return hash ^ (hash >> 31);
  };
  uint64_t hash = 0x9E3779B97F4A7C15ull ^ identity.size();
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(identity.data());
  size_t left = identity.size();
  for (; left >= 8; left -= 8, bytes += 8) {
    uint64_t word = 0;
    for (int i = 7; i >= 0; --i) word = word << 8 | bytes[i];
    hash = step(hash, word);
  }
  if (left > 0) {
    uint64_t word = 0;
    for (size_t i = left; i-- > 0;) word = word << 8 | bytes[i];
    hash = step(hash, word);
  }
  hash ^= hash >> 33;
  hash *= 0xFF51AFD7ED558CCDull;
  hash ^= hash >> 33;
  hash *= 0xC4CEB9FE1A85EC53ull;
  return hash ^ (hash >> 33);
}

void ReportedFindings::Clear() {
  slots_.clear();
  used_ = 0;
  shift_ = 64;
}

void ReportedFindings::Resize(size_t slots) {
  std::vector<Slot> old = std::move(slots_);
  slots_.assign(slots, Slot());
  used_ = 0;
  shift_ = 64;
  for (size_t n = slots; n > 1; n >>= 1) --shift_;
  for (const Slot& slot : old) {
    if (slot.reported != 0 || slot.seen != 0) SlotOf(slot.key) = slot;
  }
}

ReportedFindings::Slot& ReportedFindings::SlotOf(uint64_t key) {
  if ((used_ + 1) * 2 > slots_.size()) Resize(std::max<size_t>(1024, slots_.size() * 2));
  const size_t mask = slots_.size() - 1;
  size_t at = static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> shift_);
  for (;; at = (at + 1) & mask) {
    Slot& slot = slots_[at];
    if (slot.reported == 0 && slot.seen == 0) {
      slot.key = key;
      ++used_;
      return slot;
    }
    if (slot.key == key) return slot;
  }
}

ReportedFindings::Parsed ReportedFindings::Parse(std::string_view text, const CString& today) {
  Clear();
  size_t at = 0;
  std::string_view line;
  if (!NextLine(text, &at, &line) || line.substr(0, sizeof kHeader - 1) != kHeader) {
    return Parsed::kDamaged;
  }
  const std::string_view day = line.substr(sizeof kHeader - 1);
  // An identity line takes 19 bytes or more; room for all at most half full.
  size_t slots = 1024;
  while (slots < text.size() / 19 * 2) slots *= 2;
  Resize(slots);
  uint64_t lines = 0;
  while (NextLine(text, &at, &line)) {
    if (line.substr(0, 4) == "END ") {
      uint64_t expected = 0;
      if (!ParseNumber(line.substr(4), 10, &expected) || expected != lines || at < text.size()) {
        Clear();
        return Parsed::kDamaged;
      }
      if (day != today.view()) {
        Clear();
        return Parsed::kOtherDay;
      }
      return Parsed::kSameDay;
    }
    const size_t blank = line.find(' ');
    uint64_t key = 0;
    uint32_t count = 0;
    if (blank == std::string_view::npos || !ParseNumber(line.substr(0, blank), 16, &key) ||
        !ParseNumber(line.substr(blank + 1), 10, &count)) {
      Clear();
      return Parsed::kDamaged;
    }
    if (count > 0) {
      Slot& slot = SlotOf(key);
      slot.reported = std::max(slot.reported, count);
    }
    ++lines;
  }
  Clear();
  return Parsed::kDamaged;  // no end line: cut short
}

bool ReportedFindings::IsNew(uint64_t key) {
  Slot& slot = SlotOf(key);
  return ++slot.seen > slot.reported;
}

std::string ReportedFindings::Text(const CString& today) const {
  // Sorted, so that the same state always gives the same file.
  std::vector<std::pair<uint64_t, uint32_t>> sorted;
  sorted.reserve(used_);
  for (const Slot& slot : slots_) {
    if (slot.reported != 0 || slot.seen != 0) {
      sorted.emplace_back(slot.key, std::max(slot.reported, slot.seen));
    }
  }
  std::sort(sorted.begin(), sorted.end());
  std::string text = kHeader + today.str() + "\n";
  text.reserve(text.size() + sorted.size() * 22 + 16);
  // Formatted by hand: snprintf costs more than the rest of a line.
  static const char kHex[] = "0123456789abcdef";
  char line[40];
  for (const auto& [key, count] : sorted) {
    for (int i = 0; i < 16; ++i) line[i] = kHex[(key >> (60 - 4 * i)) & 0xf];
    line[16] = ' ';
    char* end = std::to_chars(line + 17, line + sizeof line - 1, count).ptr;
    *end = '\n';
    text.append(line, static_cast<size_t>(end + 1 - line));
  }
  text += "END " + std::to_string(sorted.size()) + "\n";
  return text;
}

}  // namespace spekolar
