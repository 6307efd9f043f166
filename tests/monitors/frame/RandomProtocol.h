// Random protocol files for the tests that compare a monitor's filtered pass
// with the plain one that is handed every piece.
//
// The lines are made of what the monitor reacts to (its date forms, each
// followed by a random clock time, and its words) between filler, with the
// shapes that make the reading hard: lines around the 999-character piece
// length and several pieces long, words and dates across a piece boundary,
// CR LF and LF ends, lone CRs, blank and tab padding, a last line without a
// line end.
#pragma once

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace spekolar::spktest {

struct ProtocolVocabulary {
  std::vector<std::string> dates;  // a line may begin with one, plus " hh:mm:ss"
  std::vector<std::string> words;  // dropped into lines at random places
};

inline std::string RandomProtocol(std::mt19937& rng, const ProtocolVocabulary& v, int lines) {
  auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };
  auto clock = [&]() {
    char t[16];
    std::snprintf(t, sizeof t, " %02d:%02d:%02d", static_cast<int>(pick(24)),
                  static_cast<int>(pick(60)), static_cast<int>(pick(60)));
    return std::string(t);
  };
  static const char* const kFiller[] = {"a", "Satz ", "x;y ", "\"T", " ", "\t", "\xFC", "-", ":"};
  static const size_t kLong[] = {980, 995, 997, 998, 999, 1000, 1990, 1997, 1998, 2500};
  std::string out;
  for (int i = 0; i < lines; ++i) {
    std::string line;
    if (pick(5) == 0) line += pick(2) ? "  " : "\t";
    if (!v.dates.empty() && pick(3) != 0) line += v.dates[pick(v.dates.size())] + clock() + " ";
    const size_t target = pick(12) == 0 ? kLong[pick(std::size(kLong))] : pick(60);
    while (line.size() < target) {
      if (!v.words.empty() && pick(6) == 0) {
        line += v.words[pick(v.words.size())];
      } else if (!v.dates.empty() && pick(40) == 0) {
        line += v.dates[pick(v.dates.size())] + clock();
      } else {
        line += kFiller[pick(std::size(kFiller))];
      }
    }
    if (pick(4) == 0) line += "  ";
    out += line;
    switch (pick(8)) {
      case 0: case 1: out += "\r\n"; break;
      case 2: out += "\r"; [[fallthrough]];
      default: out += "\n"; break;
    }
  }
  if (pick(3) == 0) out += v.words.empty() ? "end" : v.words[pick(v.words.size())];
  return out;
}

}  // namespace spekolar::spktest
