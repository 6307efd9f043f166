// gen_protocol OUT [--format NAME] [--size BYTES] [--today dd.mm.yyyy] [--days N]
//                  [--crlf] [--stray] [--seed N]
//
// Writes a protocol file for the benchmarks in the form one of the product's
// batch processes writes it: lines stamped with the date and time in the
// process's own date form, grouped into runs (a start, a body, an end) over
// N older days (40 by default) filling 95 % of the bytes and two runs of
// today filling the last 5 %. Bodies hold dated lines of 60 to 200
// characters, lines without a date (continuations, terminal lines), about
// 0.05 % error lines, near misses (the error words in other case or in
// longer words) and, every 20,000 lines or so, a line of 5,000 to 12,000
// characters. Texts are Windows-1252 bytes.
//
// Formats (--format, default tagesabschluss):
//   tagesabschluss  dd.mm.yyyy hh:mm:ss, closing runs with their phases
//   jobcontroller   yyyy-mm-dd hh:mm:ss:, jobs and the service's stop message
//   download        dd-mm-yyyy hh:mm:ss, downloads begun by an undated
//                   "Start" line, "Term      :" terminal lines, "Ende"
//   termcomm        ddmmyyyyhhmmss, terminal exchanges: "Start",
//                   "Terminal:" lines, "beendet"
//   upload          dd-mm-yyyy hh:mm:ss, uploads as download
//   rechen          dd.mm.yyyy hh:mm:ss, a computation program's lines
//   morvasten       six-line error blocks opened by the short date dd.mm.yy
//   payroll         dd.mm.yyyy hh:mm:ss, payroll runs ("Lohnprogramm Akr")
//   gruppe1, gruppe2  "d.Month yyyy" (English month), single lines
//   gruppe3         dd-mm-yyyy, entries with continuation lines
//   gruppe4         ddmmyyyy, entries with continuation lines
// --crlf ends lines with CR LF. --stray puts one undated line that mentions
// today's date (in the format's date form) at 1 % of the file, the
// adversarial case for monitors that read every line from the first mention
// of today on. The default today is the local date.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

namespace spekolar {

namespace {

struct Date {
  int day, month, year;
};

Date AddDays(Date d, int delta) {
  std::tm tm{};
  tm.tm_mday = d.day + delta;
  tm.tm_mon = d.month - 1;
  tm.tm_year = d.year - 1900;
  tm.tm_hour = 12;
  std::mktime(&tm);
  return {tm.tm_mday, tm.tm_mon + 1, tm.tm_year + 1900};
}

// The date forms of the formats.
enum class DateForm { kDotted, kIso, kHyphens, kCompact, kShort, kMonthName };

std::string DateText(DateForm form, Date d) {
  static const char* const kMonths[] = {"January", "February", "March",     "April",
                                        "May",     "June",     "July",      "August",
                                        "September", "October", "November", "December"};
  char s[64];
  switch (form) {
    case DateForm::kDotted: std::snprintf(s, sizeof s, "%02d.%02d.%04d", d.day, d.month, d.year); break;
    case DateForm::kIso: std::snprintf(s, sizeof s, "%04d-%02d-%02d", d.year, d.month, d.day); break;
    case DateForm::kHyphens: std::snprintf(s, sizeof s, "%02d-%02d-%04d", d.day, d.month, d.year); break;
    case DateForm::kCompact: std::snprintf(s, sizeof s, "%02d%02d%04d", d.day, d.month, d.year); break;
    case DateForm::kShort: std::snprintf(s, sizeof s, "%02d.%02d.%02d", d.day, d.month, d.year % 100); break;
    case DateForm::kMonthName:
      std::snprintf(s, sizeof s, "%02d.%s %04d", d.day, kMonths[(d.month + 11) % 12], d.year);
      break;
  }
  return s;
}

// What a format's lines say. %d in a text takes a random number.
struct Format {
  const char* name;
  DateForm form;
  bool compactStamp;  // date and time run together (ddmmyyyyhhmmss)
  const char* afterStamp;  // between the stamp and the text
  std::vector<const char*> before;    // undated lines ahead of a run's start
  std::vector<const char*> start;     // dated lines that open a run
  std::vector<const char*> end;       // dated lines that close it
  std::vector<const char*> undated;   // lines without a date within a run
  std::vector<const char*> plain;     // ordinary dated lines
  std::vector<const char*> errors;    // dated error lines
  std::vector<const char*> near;      // near misses
  int undatedPercent;                 // share of undated body lines
  int runLines;                       // body lines of one exchange (0: one body per run)
  bool blocks;                        // six-line error blocks (morvasten)
};

const std::vector<Format>& Formats() {
  static const std::vector<Format> formats = {
      {"tagesabschluss", DateForm::kDotted, false, " ", {},
       {"Tagesabschluss wird gestartet (Mandant 00001, Lauf %d)", "Schreibe Ersatzbuchungen...",
        "Starte TGB", "Starte Url", "Starte Folgemeldungen"},
       {"Schreibe Ersatzbuchungen beendet", "TGB beendet", "Url und Pkt beendet",
        "Folgemeldungen beendet", "Tagesabschluss beendet"},
       {"    Details: Satz %d, Feld %d"},
       {"Mitarbeiter %d: Tageskonto berechnet", "Buche Zeitbuchung %d f\xFC" "r Personalnr. %d",
        "Lese Abwesenheiten f\xFC" "r Personalnr. %d", "Schreibe Monatskonto %d von Mitarbeiter %d"},
       {"Fehler beim Schreiben der Buchung %d: Satz gesperrt",
        "Error: Deadlock bei Tabelle QRV201BUC, Wiederholung %d"},
       {"Pr\xFC" "fung Zeitmodell %d fehlerfrei", "Statistik: ErrorCount=0 Warnungen=%d",
        "FEHLER-Tabelle geleert, %d Zeilen"},
       10, 0, false},
      {"jobcontroller", DateForm::kIso, false, ": ", {},
       {"Job %d gestartet"}, {"Job %d beendet"},
       {"    Parameter %d"},
       {"Pr\xFC" "fe Auftrag %d", "Starte Export %d", "Warte auf Auftrag %d"},
       {"Error in Job %d: Timeout", "Fehler beim Export %d"},
       {"ERROR-Zaehler %d", "Export %d fehlerfrei", "Service QRVJOBCTL wurde beendet"},
       5, 0, false},
      {"download", DateForm::kHyphens, false, " ", {"Start Download Gruppe %d", "TM_Autodownload Start %d"},
       {"Verbindung zu Terminal %d aufgebaut"}, {"Download Ende", "Autodownload Ende %d"},
       {"Term      : \"T%d\"", "    Satz %d \xFC" "bertragen", "    Satz %d \xFC" "bertragen"},
       {"Sende Stammsatz %d", "Sende Zeitmodell %d", "Quittung %d erhalten"},
       {"Fehler %d beim Senden", "Error %d: Terminal antwortet nicht"},
       {"fehlerfrei %d", "ErrorCount=0 %d", "FEHLER %d"},
       12, 0, false},
      {"termcomm", DateForm::kCompact, true, " ", {},
       {"Start Kommunikation %d"}, {"Kommunikation beendet"},
       {"Terminal: T%d"},
       {"Sende Satz %d", "Empfange Quittung %d", "Lese Buchung %d"},
       {"Fehler %d beim Senden", "Error %d beim Empfang"},
       {"fehlerfrei %d", "Fehler:%d", "ERROR %d"},
       4, 25, false},
      {"upload", DateForm::kHyphens, false, " ", {"Start Upload Gruppe %d"},
       {"Verbindung zu Terminal %d aufgebaut"}, {"Upload Ende"},
       {"Term      : \"T%d\"", "    Buchung %d empfangen"},
       {"Empfange Buchung %d", "Quittiere Buchung %d", "Pr\xFC" "fe Ausweis %d"},
       {"Fehler %d beim Empfang", "Error %d beim Empfang"},
       {"fehlerfrei %d", "ErrorCount=0 %d", "FEHLER %d"},
       10, 0, false},
      {"rechen", DateForm::kDotted, false, " ", {},
       {"Berechnung %d gestartet"}, {"Berechnung %d beendet"},
       {"    Mitarbeiter %d"},
       {"Berechne Konto %d", "Lese Zeitmodell %d", "Schreibe Ergebnis %d"},
       {"Fehler bei Konto %d", "Unzul\xE4ssiger Wert %d", "(datenbankConnect) %d fehlgeschlagen",
        "initProtokollierung %d fehlgeschlagen"},
       {"Fehler: keine %d", "fehlerfrei %d", "FEHLER %d"},
       5, 0, false},
      {"morvasten", DateForm::kShort, false, " ", {},
       {"MORVASTEN gestartet %d"}, {"MORVASTEN beendet %d"},
       {"Verarbeite Satz %d", "Lese Tabelle %d"},
       {"Verarbeite Satz %d"}, {}, {}, 95, 0, true},
      {"payroll", DateForm::kDotted, false, " ", {},
       {"Lohnprogramm Akr %d gestartet"}, {"Lohnprogramm %d beendet"},
       {"    Personalnummer %d"},
       {"Berechne Lohnart %d", "Lese Stammsatz %d", "Schreibe Abrechnung %d"},
       {"Fehler Lesen Satz %d", "Keine Stammkostenstelle f\xFC" "r %d", "Datei %d nicht geoeffnet",
        "Abbruch Lesen, fehler %d"},
       {"FEHLER %d", "Abbruch Lesen %d", "ERRORS %d"},
       5, 0, false},
      {"gruppe1", DateForm::kMonthName, false, " ", {},
       {"Import %d gestartet"}, {"Import %d beendet"},
       {"    Zeile %d"},
       {"Importiere Satz %d", "Pr\xFC" "fe Satz %d"},
       {"Import Fehler %d", "Satz Error %d"},
       {"Fehler:%d", "fehlerfrei %d", "ErrorCount %d"},
       10, 0, false},
      {"gruppe2", DateForm::kMonthName, false, " ", {},
       {"Export %d gestartet"}, {"Export %d beendet"},
       {"    Zeile %d", "    Tabelle %d"},
       {"Exportiere Satz %d", "Pr\xFC" "fe Satz %d"},
       {"Fehler %d beim Export", "Error %d", "[nativecode=%d]", "Failed %d"},
       {"Fehler:%d", "fehlerfrei %d", "ErrorCount=%d", "Failed:%d"},
       30, 0, false},
      {"gruppe3", DateForm::kHyphens, false, " ", {},
       {"Abgleich %d gestartet"}, {"Abgleich %d beendet"},
       {"    Zeile %d", "    Tabelle %d"},
       {"Gleiche Satz %d ab", "Pr\xFC" "fe Satz %d"},
       {"Fehler %d beim Abgleich", "Error %d", "[nativecode=%d]", "Failed %d"},
       {"Fehler:%d", "fehlerfrei %d", "ErrorCount=%d", "Failed:%d"},
       30, 0, false},
      {"gruppe4", DateForm::kCompact, false, " ", {},
       {"Archiv %d gestartet"}, {"Archiv %d beendet"},
       {"    Zeile %d", "    Tabelle %d"},
       {"Archiviere Satz %d", "Pr\xFC" "fe Satz %d"},
       {"Fehler %d beim Archiv", "Error %d", "[nativecode=%d]", "Failed %d"},
       {"Fehler:%d", "fehlerfrei %d", "ErrorCount=%d", "Failed:%d"},
       30, 0, false},
  };
  return formats;
}

class Writer {
 public:
  Writer(std::FILE* out, bool crlf) : out_(out), crlf_(crlf) { buf_.reserve(kFlush + 16384); }
  ~Writer() { Flush(); }

  void Line(const std::string& text) {
    buf_ += text;
    buf_ += crlf_ ? "\r\n" : "\n";
    written_ += text.size() + (crlf_ ? 2 : 1);
    if (buf_.size() >= kFlush) Flush();
  }
  uint64_t written() const { return written_; }
  bool ok() const { return ok_; }

 private:
  static constexpr size_t kFlush = 1 << 20;
  void Flush() {
    if (!buf_.empty() && std::fwrite(buf_.data(), 1, buf_.size(), out_) != buf_.size()) ok_ = false;
    buf_.clear();
  }
  std::FILE* out_;
  bool crlf_;
  bool ok_ = true;
  uint64_t written_ = 0;
  std::string buf_;
};

class Generator {
 public:
  Generator(const Format& f, Writer* w, uint32_t seed) : f_(f), w_(w), rng_(seed) {}

  // One run on `date`, from `startSecond` of the day on, until about
  // `bytes` have been written.
  void Run(Date date, int startSecond, uint64_t bytes) {
    date_ = date;
    second_ = startSecond;
    const uint64_t stop = w_->written() + bytes;
    if (f_.runLines > 0) {
      // Many short exchanges.
      while (w_->written() < stop) {
        Exchange(stop);
        second_ = std::min(86399, second_ + Pick(1, 30));
      }
      return;
    }
    for (const char* b : f_.before) {
      if (Pick(0, 3) == 0 || b == f_.before.front()) Undated(b);
    }
    for (const char* s : f_.start) Dated(s);
    while (w_->written() < stop) Body();
    for (const char* e : f_.end) Dated(e);
  }

  // The line of the adversarial case: today's date in a line of its own.
  void Stray(Date today) {
    w_->Line("Hinweis: Stichtag " + DateText(f_.form, today) + " vorgemerkt");
  }

 private:
  int Pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

  std::string Stamp() {
    // The clock advances about one second every 40 lines and stays within
    // the day.
    if (Pick(0, 39) == 0 && second_ < 86399) ++second_;
    char s[32];
    std::snprintf(s, sizeof s, f_.compactStamp ? "%02d%02d%02d" : " %02d:%02d:%02d", second_ / 3600,
                  second_ / 60 % 60, second_ % 60);
    return DateText(f_.form, date_) + s + f_.afterStamp;
  }

  std::string Text(const char* pattern) {
    char text[256];
    std::snprintf(text, sizeof text, pattern, Pick(1, 999999), Pick(1, 999999));
    return text;
  }

  // Pads a line with plausible words to a length of 60 to 200 characters.
  void Fill(std::string* line) {
    static const char* const kWords[] = {
        " Konto",  " Saldo", " Zeitmodell", " Kostenstelle", " Abteilung", " Buchungsart",
        " \xFC" "bernommen", " ge\xE4" "ndert", " Sollzeit", " Istzeit", " Gleitzeit", " ok",
    };
    const size_t target = static_cast<size_t>(Pick(60, 200));
    while (line->size() + 12 < target) *line += kWords[Pick(0, std::size(kWords) - 1)];
  }

  void Dated(const char* pattern) { w_->Line(Stamp() + Text(pattern)); }
  void Undated(const char* pattern) { w_->Line(Text(pattern)); }

  template <typename List>
  const char* Any(const List& list) {
    return list[static_cast<size_t>(Pick(0, static_cast<int>(list.size()) - 1))];
  }

  void Exchange(uint64_t stop) {
    Dated(Any(f_.start));
    Undated(Any(f_.undated));
    const int lines = Pick(f_.runLines / 2, f_.runLines * 3 / 2);
    for (int i = 0; i < lines && w_->written() < stop; ++i) Body();
    Dated(Any(f_.end));
  }

  void Block() {
    char line[128];
    const int s = second_;
    std::snprintf(line, sizeof line, "------ %s %02d:%02d:%02d ------", DateText(f_.form, date_).c_str(),
                  s / 3600, s / 60 % 60, s % 60);
    w_->Line(line);
    std::snprintf(line, sizeof line, "Zeit       : %02d:%02d:%02d", s / 3600, s / 60 % 60, s % 60);
    w_->Line(line);
    w_->Line("Programm   : MORVASTEN");
    w_->Line(Text("Meldung   : Satz %d nicht gefunden"));
    w_->Line(Text("Tabelle   : QRV%d"));
    const int roll = Pick(0, 999);
    const char* code = roll == 0 ? "904" : roll < 500 ? "1403" : roll < 800 ? "0" : "100";
    w_->Line(std::string("ErrorCode__: ") + code);
  }

  void Body() {
    const int roll = Pick(0, 99999);
    if (roll < 5) {
      // A long line: a list of personnel numbers as the product logs it.
      std::string line = Stamp() + "Mitarbeiterliste:";
      const size_t length = static_cast<size_t>(Pick(5000, 12000));
      while (line.size() < length) {
        line += ' ';
        line += std::to_string(Pick(100000, 999999));
      }
      line.resize(length);
      w_->Line(line);
      return;
    }
    if (f_.blocks && roll < 2000) {
      Block();
      return;
    }
    if (!f_.errors.empty() && roll < 55) {
      std::string line = Stamp() + Text(Any(f_.errors));
      Fill(&line);
      w_->Line(line);
      return;
    }
    if (!f_.near.empty() && roll < 400) {
      std::string line = Stamp() + Text(Any(f_.near));
      Fill(&line);
      w_->Line(line);
      return;
    }
    if (roll < 400 + f_.undatedPercent * 1000) {
      std::string line = Text(Any(f_.undated));
      if (line[0] == ' ') Fill(&line);
      w_->Line(line);
      return;
    }
    std::string line = (f_.blocks ? Text("Lauf %d: ") : Stamp()) + Text(Any(f_.plain));
    Fill(&line);
    w_->Line(line);
  }

  const Format& f_;
  Writer* w_;
  std::mt19937 rng_;
  Date date_{};
  int second_ = 0;
};

bool ParseDate(const char* text, Date* d) {
  return std::sscanf(text, "%2d.%2d.%4d", &d->day, &d->month, &d->year) == 3;
}

int Usage() {
  std::fprintf(stderr,
               "usage: gen_protocol OUT [--format NAME] [--size BYTES] [--today dd.mm.yyyy] "
               "[--days N] [--crlf] [--stray] [--seed N]\nformats:");
  for (const Format& f : Formats()) std::fprintf(stderr, " %s", f.name);
  std::fprintf(stderr, "\n");
  return 2;
}

}  // namespace

}  // namespace spekolar

using namespace spekolar;

int main(int argc, char** argv) {
  const char* outPath = nullptr;
  const Format* format = &Formats().front();
  uint64_t size = uint64_t{1} << 30;
  int days = 40;
  bool crlf = false;
  bool stray = false;
  uint32_t seed = 1;
  std::time_t now = std::time(nullptr);
  std::tm local = *std::localtime(&now);
  Date today{local.tm_mday, local.tm_mon + 1, local.tm_year + 1900};
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    bool hasValue = i + 1 < argc;
    if (arg == "--size" && hasValue) {
      size = std::strtoull(argv[++i], nullptr, 10);
    } else if (arg == "--today" && hasValue) {
      if (!ParseDate(argv[++i], &today)) return Usage();
    } else if (arg == "--format" && hasValue) {
      std::string name = argv[++i];
      format = nullptr;
      for (const Format& f : Formats()) {
        if (name == f.name) format = &f;
      }
      if (format == nullptr) return Usage();
    } else if (arg == "--days" && hasValue) {
      days = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--seed" && hasValue) {
      seed = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    } else if (arg == "--crlf") {
      crlf = true;
    } else if (arg == "--stray") {
      stray = true;
    } else if (outPath == nullptr && arg[0] != '-') {
      outPath = argv[i];
    } else {
      return Usage();
    }
  }
  if (outPath == nullptr) return Usage();
  std::FILE* out = std::fopen(outPath, "wb");
  if (out == nullptr) {
    std::perror(outPath);
    return 1;
  }
  bool ok;
  {
    Writer w(out, crlf);
    Generator g(*format, &w, seed);
    const uint64_t older = size / 100 * 95;
    bool strayWritten = !stray;
    for (int d = days; d >= 1; --d) {
      uint64_t target = older / static_cast<uint64_t>(days) * static_cast<uint64_t>(days - d + 1);
      while (w.written() < target) {
        const uint64_t chunk = std::min<uint64_t>(target - w.written(), 8u << 20);
        g.Run(AddDays(today, -d), 6 * 3600, chunk);
        if (!strayWritten && w.written() >= size / 100) {
          g.Stray(today);
          strayWritten = true;
        }
      }
    }
    // Today: an early run and the main one.
    if (w.written() < size) g.Run(today, 1 * 3600, (size - w.written()) / 5);
    if (w.written() < size) g.Run(today, 2 * 3600, size - w.written());
    ok = w.ok();
  }
  if (std::fclose(out) != 0 || !ok) {
    std::fprintf(stderr, "gen_protocol: writing %s failed\n", outPath);
    return 1;
  }
  return 0;
}
