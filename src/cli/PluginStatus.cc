#include "cli/PluginStatus.h"

#include "app/SectionCatalogue.h"

namespace spekolar::cli {

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
  const SectionRow* section = FindSection(upperName.view());
  return section != nullptr && section->severity == FindingSeverity::kWarning;
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

int FindingCounter::Findings() const {
  int total = 0;
  for (const auto& entry : counts_) total += entry.second;
  return total;
}

namespace {

// "; 1 file missing: [A] x" or "; 2 files unreadable: [A] x, [B] y".
std::string FileList(const std::vector<CString>& files, const char* what) {
  if (files.empty()) return std::string();
  std::string text = "; " + std::to_string(files.size()) + (files.size() == 1 ? " file " : " files ") +
                     what + ": ";
  for (size_t i = 0; i < files.size(); ++i) text += (i == 0 ? "" : ", ") + files[i].str();
  return text;
}

}  // namespace

PluginResult PluginStatus(const FindingCounter& counter, int exitCode) {
  PluginResult result;
  if (counter.LockWasBusy() || counter.Failed() || exitCode != 0 ||
      !counter.LostRunProtocol().IsEmpty()) {
    result.state = kPluginUnknown;
    std::string reason;
    if (counter.LockWasBusy()) {
      reason = "another pass is running";
    } else if (counter.Failed()) {
      reason = OneLine(counter.Failure());
    } else if (exitCode != 0) {
      reason = "the pass ended with exit code " + std::to_string(exitCode);
    } else {
      reason = "the run protocol " + counter.LostRunProtocol().str() + " could not be written";
    }
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
  const std::string blind =
      FileList(counter.Missing(), "missing") + FileList(counter.Unreadable(), "unreadable");
  if (!blind.empty() && result.state < kPluginWarning) result.state = kPluginWarning;
  static const char* const kNames[] = {"OK", "WARNING", "CRITICAL", "UNKNOWN"};
  result.line = std::string("SPEKOLAR ") + kNames[result.state] + " - " + std::to_string(total) +
                (total == 1 ? " finding" : " findings") + list + blind + " | findings=" +
                std::to_string(total) + ";;;0 sections=" + std::to_string(counter.Sections());
  return result;
}

std::string SummaryLine(const FindingCounter& counter, int lostLines, int exitCode) {
  // "1 Befund", "2 Befunde": German plurals.
  auto counted = [](int n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
  };
  std::string line = "Spekolar: " + counted(counter.Sections(), "Abschnitt", "Abschnitte") + ", " +
                     counted(counter.Findings(), "Befund", "Befunde");
  std::string list;
  for (const auto& [name, count] : counter.Counts()) {
    list += (list.empty() ? " (" : ", ") + name.str() + " " + std::to_string(count);
  }
  if (!list.empty()) line += list + ")";
  static const char* const kMail[] = {"keine E-Mail", "E-Mail gestartet",
                                      "E-Mail nicht gestartet"};
  line += ", " + counted(counter.RowsStored(), "Meldung", "Meldungen") + " gespeichert, " +
          kMail[counter.MailState()] + ", " + counted(lostLines, "Zeile", "Zeilen") +
          " nicht geschrieben, Exit-Code " + std::to_string(exitCode);
  return line;
}

PluginResult MissingArgumentStatus() {
  PluginResult result;
  result.state = kPluginUnknown;
  result.line = "SPEKOLAR UNKNOWN - missing argument: peldavorn.ini (the product's configuration file)";
  return result;
}

}  // namespace spekolar::cli
