#include "cli/PluginStatus.h"

namespace cli {

namespace {

// An entry of several lines (the database failures: text, code, state,
// message) as one line.
std::string OneLine(const CString& entry) {
  std::string line;
  for (char c : entry.view()) {
    if (c == '\n' || c == '\r') {
      if (!line.empty() && line.back() != ' ') line += ' ';
    } else {
      line += c;
    }
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

}  // namespace

bool IsWarningSection(const CString& upperName) {
  return upperName == "LAUFWERK" || upperName == "TERMINAL DOWNLOAD" ||
         upperName == "TERMINAL UPLOAD";
}

void FindingCounter::SectionBegins(const CString& upperName) {
  section_ = upperName;
  ++sections_;
}

void FindingCounter::FindingReported(const CString& /*record*/) {
  for (auto& [name, count] : counts_) {
    if (name == section_) {
      ++count;
      return;
    }
  }
  counts_.emplace_back(section_, 1);
}

void FindingCounter::PassFailed(const CString& entry) {
  failed_ = true;
  failure_ = entry;
}

PluginResult PluginStatus(const FindingCounter& counter, int exitCode) {
  PluginResult result;
  if (counter.Failed() || exitCode != 0) {
    result.state = kPluginUnknown;
    const std::string reason = counter.Failed()
                                   ? OneLine(counter.Failure())
                                   : "the pass ended with exit code " + std::to_string(exitCode);
    result.line = "SPEKOLAR UNKNOWN - " + reason;
    return result;
  }
  int total = 0;
  result.state = kPluginOk;
  std::string list;
  for (const auto& [name, count] : counter.Counts()) {
    total += count;
    const PluginState state = IsWarningSection(name) ? kPluginWarning : kPluginCritical;
    if (state > result.state) result.state = state;
    list += (list.empty() ? ": " : ", ") + name.str() + " " + std::to_string(count);
  }
  static const char* const kNames[] = {"OK", "WARNING", "CRITICAL", "UNKNOWN"};
  result.line = std::string("SPEKOLAR ") + kNames[result.state] + " - " + std::to_string(total) +
                (total == 1 ? " finding" : " findings") + list + " | findings=" +
                std::to_string(total) + ";;;0 sections=" + std::to_string(counter.Sections());
  return result;
}

PluginResult MissingArgumentStatus() {
  PluginResult result;
  result.state = kPluginUnknown;
  result.line = "SPEKOLAR UNKNOWN - missing argument: peldavorn.ini (the product's configuration file)";
  return result;
}

}  // namespace cli
