// needle_bench FILE [NEEDLE]
//
// How long the daily-closing error monitor's word search takes per line:
// reads the lines of FILE that contain NEEDLE (today's date key
// "dd.mm.yyyy" unless given) into memory, then times, over all of them,
//   set-N     NeedleSet::Find with the twelve words of a run, the search
//             limited to level N (0 portable, 1 16-byte, 2 32-byte vectors);
//   find      one std::string_view::find per word, the plain approach.
// Prints per mode the nanoseconds per line and a checksum of the results,
// which must agree.
#include <chrono>
#include <cstdio>
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Env.h"
#include "text/NeedleSet.h"
#include "text/VectorLevel.h"

namespace spekolar {

namespace {
const char* const kWords[] = {
    "Tagesabschluss beendet",
    "Keine Verbindung",
    "Schreibe Ersatzbuchungen...",
    "Starte TGB",
    "Starte Url",
    "Starte Folgemeldungen",
    "Schreibe Ersatzbuchungen beendet",
    "TGB beendet",
    "Url und Pkt beendet",
    "Folgemeldungen beendet",
    "Error",
    "Fehler",
};

template <typename F>
void Time(const char* name, const std::vector<std::string>& lines, F find) {
  const int rounds = 20;
  uint64_t sum = 0;
  auto begin = std::chrono::steady_clock::now();
  for (int r = 0; r < rounds; ++r) {
    for (const std::string& line : lines) sum += find(line);
  }
  double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - begin).count();
  std::printf("%-6s %7.1f ns/line  checksum %llu\n", name, ns / rounds / static_cast<double>(lines.size()),
              static_cast<unsigned long long>(sum / rounds));
}
}  // namespace

}  // namespace spekolar

using namespace spekolar;

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: needle_bench FILE [NEEDLE]\n");
    return 2;
  }
  std::string needle;
  if (argc > 2) {
    needle = argv[2];
  } else {
    platform::LocalTime t = platform::GetEnv()->Now();
    char key[16];
    std::snprintf(key, sizeof key, "%02d.%02d.%04d", t.day, t.month, t.year);
    needle = key;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (line.find(needle) != std::string::npos) lines.push_back(line.substr(0, 999));
  }
  if (lines.empty()) {
    std::fprintf(stderr, "needle_bench: no line with %s\n", needle.c_str());
    return 1;
  }
  std::printf("%zu lines\n", lines.size());
  const NeedleSet set = {kWords[0], kWords[1], kWords[2], kWords[3], kWords[4],  kWords[5],
                         kWords[6], kWords[7], kWords[8], kWords[9], kWords[10], kWords[11]};
  const char* names[] = {"set-0", "set-1", "set-2"};
  for (int level = 0; level <= 2; ++level) {
    LimitVectorLevelForTesting(level);
    Time(names[level], lines, [&](std::string_view text) { return set.Find(text); });
  }
  Time("find", lines, [](std::string_view text) {
    uint64_t bits = 0;
    for (int i = 0; i < 12; ++i) {
      if (text.find(kWords[i]) != std::string_view::npos) bits |= NeedleSet::Bit(i);
    }
    return bits;
  });
  return 0;
}
