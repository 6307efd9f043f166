#include "state/ReportedFindings.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <vector>

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
  // FNV-1a: stable across builds and systems, unlike std::hash.
  uint64_t hash = 14695981039346656037ull;
  for (char c : identity) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  return hash;
}

ReportedFindings::Parsed ReportedFindings::Parse(std::string_view text, const CString& today) {
  reported_.clear();
  size_t at = 0;
  std::string_view line;
  if (!NextLine(text, &at, &line) || line.substr(0, sizeof kHeader - 1) != kHeader) {
    return Parsed::kDamaged;
  }
  const std::string_view day = line.substr(sizeof kHeader - 1);
  std::unordered_map<uint64_t, uint32_t> counts;
  uint64_t lines = 0;
  while (NextLine(text, &at, &line)) {
    if (line.substr(0, 4) == "END ") {
      uint64_t expected = 0;
      if (!ParseNumber(line.substr(4), 10, &expected) || expected != lines || at < text.size()) {
        return Parsed::kDamaged;
      }
      if (day != today.view()) return Parsed::kOtherDay;
      reported_ = std::move(counts);
      return Parsed::kSameDay;
    }
    const size_t blank = line.find(' ');
    uint64_t key = 0;
    uint32_t count = 0;
    if (blank == std::string_view::npos || !ParseNumber(line.substr(0, blank), 16, &key) ||
        !ParseNumber(line.substr(blank + 1), 10, &count)) {
      return Parsed::kDamaged;
    }
    counts[key] = std::max(counts[key], count);
    ++lines;
  }
  return Parsed::kDamaged;  // no end line: cut short
}

bool ReportedFindings::IsNew(uint64_t key) {
  const uint32_t seen = ++seen_[key];
  const auto earlier = reported_.find(key);
  return earlier == reported_.end() || seen > earlier->second;
}

std::string ReportedFindings::Text(const CString& today) const {
  std::unordered_map<uint64_t, uint32_t> merged = reported_;
  for (const auto& [key, count] : seen_) merged[key] = std::max(merged[key], count);
  // Sorted, so that the same state always gives the same file.
  std::vector<std::pair<uint64_t, uint32_t>> sorted(merged.begin(), merged.end());
  std::sort(sorted.begin(), sorted.end());
  std::string text = kHeader + today.str() + "\n";
  text.reserve(text.size() + sorted.size() * 22 + 16);
  char line[40];
  for (const auto& [key, count] : sorted) {
    const int n = std::snprintf(line, sizeof line, "%016llx %u\n",
                                static_cast<unsigned long long>(key), static_cast<unsigned>(count));
    text.append(line, static_cast<size_t>(n));
  }
  text += "END " + std::to_string(sorted.size()) + "\n";
  return text;
}
