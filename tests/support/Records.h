// How a reader takes the program's findings protocol apart, for tests that
// check files written under failures: every line a record, whole.
#pragma once

#include <cctype>
#include <string>
#include <vector>

namespace spekolar::spktest {

// The fields of a finding record: ";" separates them, the three characters
// ";" (quote, semicolon, quote) stand for a semicolon inside a field.
inline std::vector<std::string> RecordFields(const std::string& record) {
  std::vector<std::string> fields(1);
  for (size_t i = 0; i < record.size(); ++i) {
    if (record.compare(i, 3, "\";\"") == 0) {
      fields.back() += ';';
      i += 2;
    } else if (record[i] == ';') {
      fields.emplace_back();
    } else {
      fields.back() += record[i];
    }
  }
  return fields;
}

// Whether `line` (without its line end) is "dd.mm.yyyy hh:mm:ss;" and a
// record of seven fields whose first is a section name (capitals, digits,
// blanks) and second a type (1, 2, or 3 for the drive check).
inline bool IsFindingLine(const std::string& line) {
  static const char kStamp[] = "00.00.0000 00:00:00;";
  if (line.size() < sizeof kStamp - 1) return false;
  for (size_t i = 0; i + 1 < sizeof kStamp; ++i) {
    const bool digit = std::isdigit(static_cast<unsigned char>(line[i])) != 0;
    if (kStamp[i] == '0' ? !digit : line[i] != kStamp[i]) return false;
  }
  const std::vector<std::string> fields = RecordFields(line.substr(sizeof kStamp - 1));
  if (fields.size() != 7 || fields[0].empty()) return false;
  if (fields[1] != "1" && fields[1] != "2" && fields[1] != "3") return false;
  for (char c : fields[0]) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (!std::isupper(u) && !std::isdigit(u) && c != ' ') return false;
  }
  return true;
}

}  // namespace spekolar::spktest
