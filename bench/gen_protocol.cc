// gen_protocol OUT [--size BYTES] [--today dd.mm.yyyy] [--days N] [--crlf] [--seed N]
//
// Writes a daily-closing protocol file for the benchmark: dated lines
// "dd.mm.yyyy hh:mm:ss text" of 60 to 200 characters, one closing run per
// older day (N days, 40 by default) filling 95 % of the bytes and two runs of
// today filling the last 5 %. Among them: about 0.1 % error lines ("Fehler",
// "Error"), near misses ("fehlerfrei", "ErrorCount=0"... contain the words
// in other case or as part of longer words), continuation lines without a
// date, the four phase markers per run, and every 20,000th line or so a line
// of 5,000 to 12,000 characters. --crlf ends lines with CR LF. Texts are
// Windows-1252 bytes. The default size is 1 GiB; the default today is the
// local date.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

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
  Generator(Writer* w, uint32_t seed) : w_(w), rng_(seed) {}

  // One closing run on `date`, from `startSecond` of the day on, until
  // about `bytes` have been written.
  void Run(Date date, int startSecond, uint64_t bytes, bool withErrors) {
    date_ = date;
    second_ = startSecond;
    uint64_t stop = w_->written() + bytes;
    Dated("Tagesabschluss wird gestartet (Mandant 00001, Lauf " + std::to_string(Pick(1, 9)) + ")");
    static const char* const kPhases[][2] = {
        {"Schreibe Ersatzbuchungen...", "Schreibe Ersatzbuchungen beendet"},
        {"Starte TGB", "TGB beendet"},
        {"Starte Url", "Url und Pkt beendet"},
        {"Starte Folgemeldungen", "Folgemeldungen beendet"},
    };
    uint64_t perPhase = bytes / 4;
    for (const auto& phase : kPhases) {
      Dated(phase[0]);
      uint64_t phaseStop = std::min(stop, w_->written() + perPhase);
      while (w_->written() < phaseStop) Body(withErrors);
      Dated(phase[1]);
    }
    Dated("Tagesabschluss beendet");
  }

 private:
  int Pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

  std::string Stamp() {
    // The clock advances about one second every 40 lines and stays within
    // the day.
    if (Pick(0, 39) == 0 && second_ < 86399) ++second_;
    char s[32];
    std::snprintf(s, sizeof s, "%02d.%02d.%04d %02d:%02d:%02d ", date_.day, date_.month, date_.year,
                  second_ / 3600, second_ / 60 % 60, second_ % 60);
    return s;
  }

  void Dated(const std::string& text) { w_->Line(Stamp() + text); }

  // Pads a line with plausible words to a length of 60 to 200 characters.
  void Fill(std::string* line) {
    static const char* const kWords[] = {
        " Konto",  " Saldo", " Zeitmodell", " Kostenstelle", " Abteilung", " Buchungsart",
        " \xFC" "bernommen", " ge\xE4" "ndert", " Sollzeit", " Istzeit", " Gleitzeit", " ok",
    };
    size_t target = static_cast<size_t>(Pick(60, 200));
    while (line->size() + 12 < target) *line += kWords[Pick(0, std::size(kWords) - 1)];
    while (line->size() < target) *line += '.';
  }

  void Body(bool withErrors) {
    int roll = Pick(0, 99999);
    char text[256];
    if (withErrors && roll < 100) {
      // About 0.1 %: real error lines.
      static const char* const kErrors[] = {
          "Fehler beim Schreiben der Buchung %d: Satz gesperrt",
          "Error: Deadlock bei Tabelle QRV201BUC, Wiederholung %d",
          "Fehler: Mitarbeiter %06d ohne g\xFC" "ltiges Zeitmodell",
      };
      std::snprintf(text, sizeof text, kErrors[roll % 3], Pick(1, 999999));
    } else if (roll < 400) {
      // Near misses, in other case or as parts of other words.
      static const char* const kNear[] = {
          "Pr\xFC" "fung Zeitmodell %06d fehlerfrei",
          "Statistik: ErrorCount=0 Warnungen=%d",
          "FEHLER-Tabelle geleert, %d Zeilen",
          "Hinweis: keine fehlerhaften Buchungen f\xFC" "r Personalnr. %06d",
      };
      std::snprintf(text, sizeof text, kNear[roll % 4], Pick(0, 999999));
    } else if (roll < 405) {
      // A long line: a list of personnel numbers as the product logs it.
      std::string line = Stamp() + "Mitarbeiterliste:";
      size_t length = static_cast<size_t>(Pick(5000, 12000));
      while (line.size() < length) {
        line += ' ';
        line += std::to_string(Pick(100000, 999999));
      }
      line.resize(length);
      w_->Line(line);
      return;
    } else if (roll < 905) {
      // Continuation lines carry no date.
      std::snprintf(text, sizeof text, "    Details: Satz %d, Feld %d", Pick(1, 99999), Pick(1, 40));
      std::string line = text;
      Fill(&line);
      w_->Line(line);
      return;
    } else {
      static const char* const kPlain[] = {
          "Mitarbeiter %06d: Tageskonto berechnet",
          "Buche Zeitbuchung %d f\xFC" "r Personalnr. %06d",
          "Lese Abwesenheiten f\xFC" "r Personalnr. %06d",
          "Schreibe Monatskonto %d von Mitarbeiter %06d",
          "Pr\xFC" "fe Zuschl\xE4" "ge f\xFC" "r Mitarbeiter %06d",
      };
      std::snprintf(text, sizeof text, kPlain[roll % 5], Pick(1, 999999), Pick(1, 999999));
    }
    std::string line = Stamp() + text;
    Fill(&line);
    w_->Line(line);
  }

  Writer* w_;
  std::mt19937 rng_;
  Date date_{};
  int second_ = 0;
};

bool ParseDate(const char* text, Date* d) {
  return std::sscanf(text, "%2d.%2d.%4d", &d->day, &d->month, &d->year) == 3;
}

}  // namespace

int main(int argc, char** argv) {
  const char* outPath = nullptr;
  uint64_t size = uint64_t{1} << 30;
  int days = 40;
  bool crlf = false;
  uint32_t seed = 1;
  std::time_t now = std::time(nullptr);
  std::tm local = *std::localtime(&now);
  Date today{local.tm_mday, local.tm_mon + 1, local.tm_year + 1900};
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    bool hasValue = i + 1 < argc;
    if (arg == "--size" && hasValue) size = std::strtoull(argv[++i], nullptr, 10);
    else if (arg == "--today" && hasValue) {
      if (!ParseDate(argv[++i], &today)) {
        std::fprintf(stderr, "gen_protocol: --today wants dd.mm.yyyy\n");
        return 2;
      }
    } else if (arg == "--days" && hasValue) days = std::max(1, std::atoi(argv[++i]));
    else if (arg == "--seed" && hasValue) seed = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    else if (arg == "--crlf") crlf = true;
    else if (outPath == nullptr && arg[0] != '-') outPath = argv[i];
    else {
      std::fprintf(stderr, "usage: gen_protocol OUT [--size BYTES] [--today dd.mm.yyyy] [--days N] [--crlf] [--seed N]\n");
      return 2;
    }
  }
  if (outPath == nullptr) {
    std::fprintf(stderr, "usage: gen_protocol OUT [--size BYTES] [--today dd.mm.yyyy] [--days N] [--crlf] [--seed N]\n");
    return 2;
  }
  std::FILE* out = std::fopen(outPath, "wb");
  if (out == nullptr) {
    std::perror(outPath);
    return 1;
  }
  bool ok;
  {
    Writer w(out, crlf);
    Generator g(&w, seed);
    uint64_t older = size / 100 * 95;
    for (int d = days; d >= 1; --d) {
      uint64_t target = older / static_cast<uint64_t>(days) * static_cast<uint64_t>(days - d + 1);
      if (w.written() < target) g.Run(AddDays(today, -d), 22 * 3600, target - w.written(), true);
    }
    // Today: an early run and the main one.
    if (w.written() < size) g.Run(today, 1 * 3600, (size - w.written()) / 5, true);
    if (w.written() < size) g.Run(today, 2 * 3600, size - w.written(), true);
    ok = w.ok();
  }
  if (std::fclose(out) != 0 || !ok) {
    std::fprintf(stderr, "gen_protocol: writing %s failed\n", outPath);
    return 1;
  }
  return 0;
}
