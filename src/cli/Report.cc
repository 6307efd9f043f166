#include "cli/Report.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <string_view>
#include <utility>

#include "app/RunSequence.h"
#include "app/SectionCatalogue.h"
#include "cli/CommandLine.h"
#include "cli/DryRun.h"
#include "cli/ShiftedClock.h"
#include "config/InstallationPath.h"
#include "db/DbSession.h"

namespace spekolar::cli {

namespace {

const int64_t kDaySeconds = 24 * 60 * 60;

// The section whose longest run the summary names.
const char kClosingSection[] = "TAGESABSCHLUSS";

// Above this many runs in a chart its points carry no tooltip.
const size_t kTitledPoints = 2000;

int FindOrAdd(std::vector<CString>* names, const CString& name) {
  for (size_t i = 0; i < names->size(); ++i) {
    if ((*names)[i] == name) return static_cast<int>(i);
  }
  names->push_back(name);
  return static_cast<int>(names->size() - 1);
}

// Seconds since midnight of a "dd.mm.yyyy hh:mm:ss" stamp; -1 when it has
// no clock time.
int StampClock(const CString& stamp) {
  const std::string_view s = stamp.view();
  if (s.size() < 19) return -1;
  auto two = [&](size_t at) {
    const char a = s[at];
    const char b = s[at + 1];
    if (a < '0' || a > '9' || b < '0' || b > '9') return -1;
    return (a - '0') * 10 + (b - '0');
  };
  const int h = two(11), m = two(14), sec = two(17);
  if (h < 0 || m < 0 || sec < 0) return -1;
  return h * 3600 + m * 60 + sec;
}

std::string Clock(int seconds) {
  if (seconds < 0) return "";
  return CString::Formatted("%02d:%02d:%02d", seconds / 3600, seconds / 60 % 60, seconds % 60).str();
}

// A run time for people: "34:00 min" style minutes and seconds, or seconds
// below a minute.
std::string Duration(int seconds) {
  const char* sign = seconds < 0 ? "-" : "";
  const int s = seconds < 0 ? -seconds : seconds;
  if (s < 60) return CString::Formatted("%s%d s", sign, s).str();
  if (s < 3600) return CString::Formatted("%s%d:%02d min", sign, s / 60, s % 60).str();
  return CString::Formatted("%s%d:%02d:%02d h", sign, s / 3600, s / 60 % 60, s % 60).str();
}

std::string ShortDay(const platform::LocalTime& day) {
  return CString::Formatted("%02d.%02d.", day.day, day.month).str();
}

std::vector<int> SectionRuns(const ReportData& data, int section) {
  std::vector<int> runs;
  for (size_t i = 0; i < data.runs.size(); ++i) {
    if (data.runs[i].section == section) runs.push_back(static_cast<int>(i));
  }
  return runs;
}

// The sections with measured runs or a run-time monitor, in pass order.
std::vector<int> RunTimeSections(const ReportData& data) {
  std::vector<int> sections;
  for (size_t i = 0; i < data.sections.size(); ++i) {
    if (IsRunTimeSection(data.sections[i])) sections.push_back(static_cast<int>(i));
  }
  return sections;
}

int FindingsOfDay(const ReportData& data, size_t day) {
  int total = 0;
  for (const std::vector<int>& perDay : data.findings) total += perDay[day];
  return total;
}

// One terminal of a terminal section, for the rankings.
struct TerminalStats {
  int terminal = 0;
  int runs = 0;
  int outside = 0;
  int noAnswer = 0;
  int slowest = 0;
  int slowestDay = -1;
  int Failures() const { return outside + noAnswer; }
};

std::vector<TerminalStats> TerminalsOf(const ReportData& data, int section) {
  std::map<int, TerminalStats> byTerminal;
  for (const ReportRun& run : data.runs) {
    if (run.section != section || run.terminal < 0) continue;
    TerminalStats& t = byTerminal[run.terminal];
    t.terminal = run.terminal;
    ++t.runs;
    if (!run.WithinLimits()) ++t.outside;
    if (t.slowestDay < 0 || run.seconds > t.slowest) {
      t.slowest = run.seconds;
      t.slowestDay = run.day;
    }
  }
  for (const ReportData::NoAnswer& n : data.noAnswers) {
    if (n.section != section) continue;
    TerminalStats& t = byTerminal[n.terminal];
    t.terminal = n.terminal;
    ++t.noAnswer;
  }
  std::vector<TerminalStats> list;
  for (auto& entry : byTerminal) list.push_back(entry.second);
  return list;
}

std::vector<TerminalStats> ByFailures(std::vector<TerminalStats> list) {
  std::stable_sort(list.begin(), list.end(), [](const TerminalStats& a, const TerminalStats& b) {
    return a.Failures() > b.Failures();
  });
  return list;
}

std::vector<TerminalStats> BySlowest(std::vector<TerminalStats> list) {
  list.erase(std::remove_if(list.begin(), list.end(), [](const TerminalStats& t) { return t.runs == 0; }),
             list.end());
  std::stable_sort(list.begin(), list.end(), [](const TerminalStats& a, const TerminalStats& b) {
    return a.slowest > b.slowest;
  });
  return list;
}

// What the summary at the top says.
struct Summary {
  int findings = 0;
  int runs = 0;
  int outside = 0;
  int longestClosing = -1;  // index into runs
  int noAnswers = 0;
};

Summary Summarize(const ReportData& data) {
  Summary s;
  for (size_t d = 0; d < data.days.size(); ++d) s.findings += FindingsOfDay(data, d);
  for (size_t i = 0; i < data.runs.size(); ++i) {
    const ReportRun& run = data.runs[i];
    ++s.runs;
    if (!run.WithinLimits()) ++s.outside;
    if (data.sections[run.section] == kClosingSection &&
        (s.longestClosing < 0 || run.seconds > data.runs[s.longestClosing].seconds)) {
      s.longestClosing = static_cast<int>(i);
    }
  }
  s.noAnswers = static_cast<int>(data.noAnswers.size());
  return s;
}

std::string Period(const ReportData& data) {
  if (data.days.empty()) return "";
  return GermanDay(data.days.front()) + " \x96 " + GermanDay(data.days.back()) +
         CString::Formatted(" (%d Tage)", static_cast<int>(data.days.size())).str();
}

std::string SectionList(const ReportData& data) {
  std::string list;
  for (const CString& name : data.sections) {
    if (!list.empty()) list += ", ";
    list += name.str();
  }
  return list.empty() ? "keine" : list;
}

// The longest run of each day of a section; -1 for days without runs.
std::vector<int> LongestPerDay(const ReportData& data, int section) {
  std::vector<int> longest(data.days.size(), -1);
  for (const ReportRun& run : data.runs) {
    if (run.section != section) continue;
    longest[run.day] = std::max(longest[run.day], std::max(run.seconds, 0));
  }
  return longest;
}

std::string Sparkline(const std::vector<int>& values, bool utf8) {
  static const char* const kBlocks[] = {"\xE2\x96\x81", "\xE2\x96\x82", "\xE2\x96\x83",
                                        "\xE2\x96\x84", "\xE2\x96\x85", "\xE2\x96\x86",
                                        "\xE2\x96\x87", "\xE2\x96\x88"};
  static const char kAscii[] = "_.-~=+*#";
  // Scaled from the day's shortest to the longest value, so that a closing
  // that creeps up by minutes still shows as a slope.
  int low = -1, high = 0;
  for (int v : values) {
    if (v < 0) continue;
    low = low < 0 ? v : std::min(low, v);
    high = std::max(high, v);
  }
  std::string line;
  for (int v : values) {
    if (v < 0) {
      line += ' ';
      continue;
    }
    const int level = high == low ? 0 : static_cast<int>(int64_t{v - low} * 7 / (high - low));
    if (utf8) {
      line += kBlocks[level];
    } else {
      line += kAscii[level];
    }
  }
  return line;
}

std::string Padded(std::string text, size_t width) {
  // Widths count bytes of Windows-1252 text, one per character.
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

std::string PaddedLeft(const std::string& text, size_t width) {
  return text.size() < width ? std::string(width - text.size(), ' ') + text : text;
}

std::string Html(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string Csv(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string Num(int value) { return std::to_string(value); }

// The chart of one run-time section: run time by day, each run a point,
// the band between MinLaufzeit and MaxLaufzeit, runs outside it in red.
void HtmlChart(std::string& h, const ReportData& data, int section) {
  const std::vector<int> runs = SectionRuns(data, section);
  const int w = 760, ht = 260, left = 64, right = 14, top = 14, bottom = 36;
  const double pw = w - left - right, ph = ht - top - bottom;
  int minimum = 0, maximum = 0;
  int highest = 60;
  for (int i : runs) {
    const ReportRun& r = data.runs[i];
    minimum = r.minimum;
    maximum = r.maximum;
    highest = std::max(highest, r.seconds);
  }
  highest = std::max(highest, maximum);
  const double scale = highest * 1.1;
  const size_t days = std::max<size_t>(data.days.size(), 1);
  auto y = [&](int v) { return top + ph - std::clamp(v / scale, 0.0, 1.0) * ph; };
  auto x = [&](int day) { return left + (day + 0.5) * pw / days; };
  auto fmt = [](double v) { return CString::Formatted("%.1f", v).str(); };

  h += "<svg class=\"chart\" xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Num(w) + "\" height=\"" +
       Num(ht) + "\" viewBox=\"0 0 " + Num(w) + " " + Num(ht) + "\" role=\"img\" aria-label=\"Laufzeit je Tag: " +
       Html(data.sections[section].view()) + "\">\n";
  h += "<rect class=\"plot\" x=\"" + Num(left) + "\" y=\"" + Num(top) + "\" width=\"" + fmt(pw) +
       "\" height=\"" + fmt(ph) + "\"/>\n";
  if (!runs.empty()) {
    h += "<rect class=\"band\" x=\"" + Num(left) + "\" y=\"" + fmt(y(maximum)) + "\" width=\"" + fmt(pw) +
         "\" height=\"" + fmt(y(minimum) - y(maximum)) + "\"><title>MinLaufzeit " + Duration(minimum) +
         " \x96 MaxLaufzeit " + Duration(maximum) + "</title></rect>\n";
  }
  // Grid lines at round run times, at most six of them.
  static const int kSteps[] = {5, 10, 15, 30, 60, 120, 300, 600, 900, 1200, 1800, 3600, 7200, 14400, 28800};
  int step = 28800;
  for (int candidate : kSteps) {
    if (scale / candidate <= 6) {
      step = candidate;
      break;
    }
  }
  if (runs.empty()) {
    h += "<text class=\"axis\" x=\"" + fmt(left + pw / 2) + "\" y=\"" + fmt(top + ph / 2) +
         "\" text-anchor=\"middle\">Keine gemessenen L\xE4ufe</text>\n";
  }
  for (int v = 0; v <= scale; v += step) {
    h += "<line class=\"grid\" x1=\"" + Num(left) + "\" x2=\"" + Num(w - right) + "\" y1=\"" + fmt(y(v)) +
         "\" y2=\"" + fmt(y(v)) + "\"/><text class=\"axis\" x=\"" + Num(left - 6) + "\" y=\"" +
         fmt(y(v) + 4) + "\" text-anchor=\"end\">" + Html(Duration(v)) + "</text>\n";
  }
  const size_t every = (days + 14) / 15;
  for (size_t d = 0; d < data.days.size(); d += every) {
    h += "<text class=\"axis\" x=\"" + fmt(x(static_cast<int>(d))) + "\" y=\"" + Num(ht - bottom + 16) +
         "\" text-anchor=\"middle\">" + ShortDay(data.days[d]) + "</text>\n";
  }
  // Each point names its run in a tooltip, unless there are so many that
  // they cover each other anyway: then the page stays small.
  const bool titled = runs.size() <= kTitledPoints;
  for (int i : runs) {
    const ReportRun& r = data.runs[i];
    const bool out = !r.WithinLimits();
    if (!titled) {
      h += std::string("<circle class=\"") + (out ? "run out" : "run") + "\" cx=\"" + fmt(x(r.day)) +
           "\" cy=\"" + fmt(y(r.seconds)) + "\" r=\"" + (out ? "5" : "3.5") + "\"/>\n";
      continue;
    }
    std::string title = GermanDay(data.days[r.day]) + " " + Clock(r.start) + " \x96 " + Clock(r.end) + ": " +
                        Num(r.seconds) + " s";
    if (r.terminal >= 0) title += ", Terminal " + data.terminals[r.terminal].str();
    if (out) title += r.seconds < r.minimum ? " (unterschritten)" : " (\xFC" "berschritten)";
    h += std::string("<circle class=\"") + (out ? "run out" : "run") + "\" cx=\"" + fmt(x(r.day)) +
         "\" cy=\"" + fmt(y(r.seconds)) + "\" r=\"" + (out ? "5" : "3.5") + "\"><title>" + Html(title) +
         "</title></circle>\n";
  }
  h += "</svg>\n";
}

void HtmlTerminalTables(std::string& h, const ReportData& data, int section) {
  const std::vector<TerminalStats> terminals = TerminalsOf(data, section);
  if (terminals.empty()) return;
  h += "<h3>Terminals nach Fehlern</h3>\n<table class=\"terminals failures\">\n<tr><th>Terminal</th>"
       "<th>Fehler</th><th>Nicht geantwortet</th><th>Au\xDF" "erhalb der Grenzen</th><th>L\xE4" "ufe</th></tr>\n";
  for (const TerminalStats& t : ByFailures(terminals)) {
    h += "<tr><td>" + Html(data.terminals[t.terminal].view()) + "</td><td>" + Num(t.Failures()) +
         "</td><td>" + Num(t.noAnswer) + "</td><td>" + Num(t.outside) + "</td><td>" + Num(t.runs) +
         "</td></tr>\n";
  }
  h += "</table>\n<h3>Terminals nach l\xE4ngstem Austausch</h3>\n<table class=\"terminals slowest\">\n"
       "<tr><th>Terminal</th><th>L\xE4ngster Austausch</th><th>am</th><th>L\xE4" "ufe</th></tr>\n";
  for (const TerminalStats& t : BySlowest(terminals)) {
    h += "<tr><td>" + Html(data.terminals[t.terminal].view()) + "</td><td>" + Html(Duration(t.slowest)) +
         "</td><td>" + GermanDay(data.days[t.slowestDay]) + "</td><td>" + Num(t.runs) + "</td></tr>\n";
  }
  h += "</table>\n";
}

const char kStyle[] =
    "body{font-family:Helvetica,Arial,sans-serif;margin:24px;color:#222;background:#fff}"
    "h1{font-size:22px}h2{font-size:18px;margin-top:28px;border-bottom:1px solid #ccc}"
    "h3{font-size:15px}table{border-collapse:collapse;margin:8px 0}"
    "th,td{border:1px solid #ccc;padding:3px 8px;text-align:right}th:first-child,td:first-child{text-align:left}"
    "th{background:#eee}td.nonzero{background:#fde2e1;font-weight:bold}"
    ".summary td{text-align:left}"
    ".chart .plot{fill:#fafafa;stroke:#999}.chart .band{fill:#cfeccf;stroke:#6bb36b;stroke-dasharray:4 3}"
    ".chart .grid{stroke:#ddd}.chart .axis{font-size:11px;fill:#555}"
    ".chart .run{fill:#2a6db0}.chart .run.out{fill:#d0302f;stroke:#600;stroke-width:1}"
    ".legend span{display:inline-block;margin-right:16px}";

}  // namespace

int ReportData::SectionIndex(const CString& name) { return FindOrAdd(&sections, name); }
int ReportData::TerminalIndex(const CString& name) { return FindOrAdd(&terminals, name); }
int ReportData::MonitorIndex(const CString& name) {
  const int index = FindOrAdd(&monitors, name);
  if (findings.size() < monitors.size()) findings.emplace_back(days.size(), 0);
  return index;
}

void ReportCollector::SectionBegins(const CString& upperName) { section_ = data_->SectionIndex(upperName); }

void ReportCollector::FindingReported(const CString& record) {
  // The monitor is the record's section and type: its first two fields.
  const std::string_view r = record.view();
  const size_t first = r.find(';');
  const size_t second = first == std::string_view::npos ? first : r.find(';', first + 1);
  CString monitor;
  if (second == std::string_view::npos) {
    monitor = CString(std::string(r.substr(0, first)));
  } else {
    monitor = CString(std::string(r.substr(0, first)) + " Typ " +
                      std::string(r.substr(first + 1, second - first - 1)));
  }
  ++data_->findings[data_->MonitorIndex(monitor)][day_];
}

void ReportCollector::RunMeasured(const MeasuredRun& run) {
  ReportRun r;
  r.day = day_;
  r.section = data_->SectionIndex(run.section);
  if (!run.terminal.IsEmpty()) r.terminal = data_->TerminalIndex(run.terminal);
  r.start = run.start.IsEmpty() ? -1 : StampClock(run.start);
  r.end = StampClock(run.end);
  r.seconds = run.seconds;
  r.minimum = run.minimum;
  r.maximum = run.maximum;
  data_->runs.push_back(r);
}

void ReportCollector::TerminalNoAnswer(const CString& terminal) {
  ReportData::NoAnswer n;
  n.day = day_;
  n.section = section_ < 0 ? 0 : section_;
  n.terminal = data_->TerminalIndex(terminal);
  data_->noAnswers.push_back(n);
}

bool IsRunTimeSection(const CString& upperName) { return RunTimeMonitorName(upperName) != nullptr; }

const char* RunTimeMonitorName(const CString& upperName) {
  const SectionRow* section = FindSection(upperName.view());
  return section != nullptr && section->measuresRuns ? section->protocolName : nullptr;
}

std::string GermanDay(const platform::LocalTime& day) {
  return CString::Formatted("%02d.%02d.%04d", day.day, day.month, day.year).str();
}

std::string IsoDay(const platform::LocalTime& day) {
  return CString::Formatted("%04d-%02d-%02d", day.year, day.month, day.day).str();
}

std::string RenderCsv(const ReportData& data) {
  std::string csv = "day,section,monitor,terminal,start,end,seconds,within_limits\r\n";
  for (const ReportRun& r : data.runs) {
    const CString& section = data.sections[r.section];
    const char* monitor = RunTimeMonitorName(section);
    csv += IsoDay(data.days[r.day]) + "," + Csv(section.view()) + "," + Csv(monitor ? monitor : "") + "," +
           (r.terminal >= 0 ? Csv(data.terminals[r.terminal].view()) : "") + "," + Clock(r.start) + "," +
           Clock(r.end) + "," + Num(r.seconds) + "," + (r.WithinLimits() ? "1" : "0") + "\r\n";
  }
  return Windows1252ToUtf8(csv);
}

std::string RenderText(const ReportData& data, bool utf8) {
  // Built in Windows-1252; the sparklines go in as they are.
  std::string out;
  auto add = [&](const std::string& text1252) { out += utf8 ? Windows1252ToUtf8(text1252) : text1252; };
  const Summary s = Summarize(data);
  add("Spekolar-Bericht " + Period(data) + "\n");
  add("Abschnitte: " + SectionList(data) + "\n");
  add("Befunde: " + Num(s.findings) + "\n");
  if (s.longestClosing >= 0) {
    const ReportRun& r = data.runs[s.longestClosing];
    add("L\xE4ngster Tagesabschluss: " + Duration(r.seconds) + " am " + GermanDay(data.days[r.day]) + "\n");
  }
  add("L\xE4" "ufe au\xDF" "erhalb der Grenzen: " + Num(s.outside) + " von " + Num(s.runs) + "\n");
  add("Terminals ohne Antwort: " + Num(s.noAnswers) + "\n");

  for (int section : RunTimeSections(data)) {
    const std::vector<int> runs = SectionRuns(data, section);
    add("\nLaufzeiten " + data.sections[section].str() + "\n");
    add(Padded("", 12));
    out += Sparkline(LongestPerDay(data, section), utf8);
    add("  (l\xE4ngster Lauf je Tag)\n");
    add(Padded("Tag", 12) + PaddedLeft("L\xE4" "ufe", 6) + PaddedLeft("au\xDF" "erhalb", 10) +
        PaddedLeft("k\xFCrzester", 14) + PaddedLeft("l\xE4ngster", 14) + "\n");
    for (size_t d = 0; d < data.days.size(); ++d) {
      int count = 0, outside = 0, shortest = 0, longest = 0;
      for (int i : runs) {
        const ReportRun& r = data.runs[i];
        if (r.day != static_cast<int>(d)) continue;
        shortest = count == 0 ? r.seconds : std::min(shortest, r.seconds);
        longest = count == 0 ? r.seconds : std::max(longest, r.seconds);
        ++count;
        if (!r.WithinLimits()) ++outside;
      }
      add(Padded(GermanDay(data.days[d]), 12) + PaddedLeft(Num(count), 6) + PaddedLeft(Num(outside), 10) +
          PaddedLeft(count ? Duration(shortest) : "-", 14) + PaddedLeft(count ? Duration(longest) : "-", 14) +
          "\n");
    }
    const std::vector<TerminalStats> terminals = TerminalsOf(data, section);
    if (!terminals.empty()) {
      add("Terminals nach Fehlern (nicht geantwortet / au\xDF" "erhalb der Grenzen):\n");
      for (const TerminalStats& t : ByFailures(terminals)) {
        add("  " + Padded(data.terminals[t.terminal].str(), 20) + PaddedLeft(Num(t.Failures()), 5) + "  (" +
            Num(t.noAnswer) + " / " + Num(t.outside) + ")\n");
      }
      add("Terminals nach l\xE4ngstem Austausch:\n");
      for (const TerminalStats& t : BySlowest(terminals)) {
        add("  " + Padded(data.terminals[t.terminal].str(), 20) + PaddedLeft(Duration(t.slowest), 14) +
            "  am " + GermanDay(data.days[t.slowestDay]) + "\n");
      }
    }
  }

  add("\nBefunde je Tag und Monitor\n");
  std::string header = Padded("Tag", 12);
  for (const CString& monitor : data.monitors) header += "  " + monitor.str();
  add(header + "  Summe\n");
  for (size_t d = 0; d < data.days.size(); ++d) {
    std::string row = Padded(GermanDay(data.days[d]), 12);
    for (size_t m = 0; m < data.monitors.size(); ++m) {
      row += "  " + PaddedLeft(Num(data.findings[m][d]), static_cast<size_t>(data.monitors[m].GetLength()));
    }
    add(row + "  " + PaddedLeft(Num(FindingsOfDay(data, d)), 5) + "\n");
  }
  return out;
}

std::string RenderHtml(const ReportData& data) {
  // Built in Windows-1252 like every text of the program, converted once.
  std::string h;
  const Summary s = Summarize(data);
  h += "<!DOCTYPE html>\n<html lang=\"de\">\n<head>\n<meta charset=\"utf-8\">\n<title>Spekolar-Bericht " +
       Html(Period(data)) + "</title>\n<style>" + kStyle + "</style>\n</head>\n<body>\n";
  h += "<h1>Spekolar-Bericht: L\xE4ufe und Befunde " + Html(Period(data)) + "</h1>\n";
  h += "<table class=\"summary\">\n";
  h += "<tr><th>Zeitraum</th><td>" + Html(Period(data)) + "</td></tr>\n";
  h += "<tr><th>Abschnitte</th><td>" + Html(SectionList(data)) + "</td></tr>\n";
  h += "<tr><th>Befunde</th><td>" + Num(s.findings) + "</td></tr>\n";
  if (s.longestClosing >= 0) {
    const ReportRun& r = data.runs[s.longestClosing];
    h += "<tr><th>L\xE4ngster Tagesabschluss</th><td>" + Html(Duration(r.seconds)) + " am " +
         GermanDay(data.days[r.day]) + "</td></tr>\n";
  }
  h += "<tr><th>L\xE4ufe au\xDF" "erhalb der Grenzen</th><td>" + Num(s.outside) + " von " + Num(s.runs) +
       "</td></tr>\n";
  h += "<tr><th>Terminals ohne Antwort</th><td>" + Num(s.noAnswers) + "</td></tr>\n</table>\n";

  for (int section : RunTimeSections(data)) {
    h += "<section class=\"runtime\">\n<h2>Laufzeiten " + Html(data.sections[section].view()) + "</h2>\n";
    h += "<p class=\"legend\"><span>&#9679; ein Lauf</span><span style=\"color:#d0302f\">&#9679; au\xDF"
         "erhalb der Grenzen</span><span style=\"color:#3c8c3c\">&#9632; MinLaufzeit bis MaxLaufzeit</span></p>\n";
    HtmlChart(h, data, section);
    HtmlTerminalTables(h, data, section);
    h += "</section>\n";
  }

  h += "<h2>Befunde je Tag und Monitor</h2>\n<table class=\"findings\">\n<tr><th>Tag</th>";
  for (const CString& monitor : data.monitors) h += "<th>" + Html(monitor.view()) + "</th>";
  h += "<th>Summe</th></tr>\n";
  for (size_t d = 0; d < data.days.size(); ++d) {
    h += "<tr><td>" + GermanDay(data.days[d]) + "</td>";
    for (size_t m = 0; m < data.monitors.size(); ++m) {
      const int n = data.findings[m][d];
      h += n > 0 ? "<td class=\"nonzero\">" + Num(n) + "</td>" : "<td>0</td>";
    }
    h += "<td>" + Num(FindingsOfDay(data, d)) + "</td></tr>\n";
  }
  h += "</table>\n</body>\n</html>\n";
  return Windows1252ToUtf8(h);
}

int RunReport(const ProgramOptions& options, char* programName, std::FILE* out, std::FILE* err,
              ConsoleEncoding encoding) {
  if (options.arguments.empty()) {
    PrintForConsole(err, "spekolar: --report needs the configuration file argument peldavorn.ini\n", encoding);
    return 1;
  }
  platform::Env* system = platform::GetEnv();
  const platform::LocalTime now = system->Now();
  platform::LocalTime last = options.reportTo;
  if (!options.hasReportTo) {
    platform::LocalTime today = now;
    today.hour = today.minute = today.second = 0;
    last = FromCalendarSeconds(CalendarSeconds(today) - kDaySeconds);
  }
  ReportData data;
  for (int i = options.reportDays - 1; i >= 0; --i) {
    data.days.push_back(FromCalendarSeconds(CalendarSeconds(last) - int64_t{i} * kDaySeconds));
  }

  std::string argument = options.arguments[0];
  for (size_t day = 0; day < data.days.size(); ++day) {
    // Each day's pass starts from the state of a new process, as a
    // `--dry-run --date` start of that day would.
    ResetProgramState();
    ReportCollector collector(&data, static_cast<int>(day));
    ShiftedClockEnv clock(system, ShiftTo(now, data.days[day], false));
    platform::ScopedEnv clockScope(&clock);
    DryRunEnv dryRun(&clock, [](const DryRunAction&) {});
    platform::ScopedEnv dryRunScope(&dryRun);
    State().Db->SetInsertSink([](const MessageRecord&, const CString&) {});
    State().Observer = &collector;
    RunOptions runOptions;
    // What a pass says on standard error (no log directory, say) would be
    // the same for every day: the first day's pass says it once.
    runOptions.errors = day == 0 ? err : nullptr;
    runOptions.saveReported = false;
    runOptions.database = false;
    // Sections that name the same protocol read it once a day.
    runOptions.sharedReads = true;
    char* argv[] = {programName, argument.data(), nullptr};
    InstallationPath installation;
    const int exitCode = RunSpekolar(2, argv, installation, runOptions);
    State().Observer = nullptr;
    if (exitCode != 0) {
      PrintForConsole(err,
                      "spekolar: --report: the pass of " + GermanDay(data.days[day]) + " did not run: " +
                          collector.Failure().str() + "\n",
                      encoding);
      ResetProgramState();
      return 1;
    }
  }
  ResetProgramState();

  std::string format = options.reportFormat;
  if (format.empty()) format = options.reportOut.empty() ? "text" : "html";
  std::string path = options.reportOut;
  if (path.empty() && format == "html") path = "spekolar-report.html";

  std::string bytes;
  if (format == "csv") {
    bytes = RenderCsv(data);
  } else if (format == "html") {
    bytes = RenderHtml(data);
  } else if (path.empty() && encoding != ConsoleEncoding::kUtf8) {
    PrintForConsole(out, RenderText(data, false), ConsoleEncoding::kWindows1252);
    std::fflush(out);
    return 0;
  } else {
    bytes = RenderText(data, true);
  }
  if (path.empty()) {
    std::fwrite(bytes.data(), 1, bytes.size(), out);
    std::fflush(out);
    return 0;
  }
  const platform::Status written = system->WriteFileAtomically(CString(path), bytes);
  if (written != platform::Status::kOk) {
    PrintForConsole(err, "spekolar: --report: '" + path + "' could not be written\n", encoding);
    return 1;
  }
  return 0;
}

}  // namespace spekolar::cli
