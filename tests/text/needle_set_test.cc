#include "text/NeedleSet.h"

#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <string>
#include <vector>

#include "text/VectorLevel.h"

namespace spekolar {

namespace {

// What NeedleSet::Find must give: one plain search per needle.
uint64_t Plain(const std::vector<std::string>& needles, std::string_view text) {
  uint64_t bits = 0;
  for (size_t i = 0; i < needles.size() && i < NeedleSet::kMaxNeedles; ++i) {
    if (text.find(needles[i]) != std::string_view::npos) {
      bits |= NeedleSet::Bit(static_cast<int>(i));
    }
  }
  return bits;
}

// What NeedleSet::FindFirst must give: the earliest position of a non-empty
// needle and the length of the shortest needle standing there.
std::pair<size_t, size_t> PlainFirst(const std::vector<std::string>& needles, std::string_view text) {
  size_t best = std::string_view::npos, length = 0;
  for (size_t i = 0; i < needles.size() && i < NeedleSet::kMaxNeedles; ++i) {
    if (needles[i].empty()) continue;
    size_t at = text.find(needles[i]);
    if (at < best || (at == best && at != std::string_view::npos && needles[i].size() < length)) {
      best = at;
      length = needles[i].size();
    }
  }
  return {best, best == std::string_view::npos ? 0 : length};
}

std::pair<size_t, size_t> First(const NeedleSet& set, std::string_view text) {
  size_t length = 0;
  size_t at = set.FindFirst(text, &length);
  return {at, at == std::string_view::npos ? 0 : length};
}

NeedleSet Make(const std::vector<std::string>& needles) {
  std::vector<std::string_view> views(needles.begin(), needles.end());
  return NeedleSet(views);
}

// Portable code, 16-byte and (where the processor has them) 32-byte vectors.
const int kLevels[] = {0, 1, 2};

// Positions around the 16- and 32-byte blocks and the 8-byte head and tail
// compares, long needles, bytes above 0x7F and NUL, needles longer than the
// text.
TEST(NeedleSetTest, EdgeCases) {
  struct Case {
    const char* name;
    std::vector<std::string> needles;
    std::string text;
    uint64_t want;
  };
  const std::string block15 = std::string(15, '.');
  const std::string block31 = std::string(31, '.');
  const std::vector<Case> cases = {
      {"empty text", {"a", ""}, "", 0b10},
      {"no needles", {}, "abc", 0},
      {"at the start and end", {"Fehler", "Error"}, "Fehler x Error", 0b11},
      {"needle ends the text", {"beendet"}, block15 + "TGB beendet", 0b1},
      {"needle cut by the end", {"beendet"}, block15 + "TGB beende", 0},
      {"across a block", {"Verbindung"}, block15 + "Verbindung..", 0b1},
      {"across a wide block", {"Verbindung"}, block31 + "Verbindung", 0b1},
      {"one byte, in the last position", {"Keine", "K"}, block31 + ".K", 0b10},
      {"two bytes, ending the text", {"Ke", "e"}, block31 + ".Ke", 0b11},
      {"second byte in the next block", {"Ke"}, block31 + "Ke..", 0b1},
      {"many first bytes share buckets",
       {"a1", "b1", "c1", "d1", "e1", "f1", "g1", "h1", "i1", "j1"},
       block31 + "i2 j1 a2", NeedleSet::Bit(9)},
      {"first byte ends a block", {"Keine"}, block15 + "Keine", 0b1},
      {"longer than the text", {"Tagesabschluss beendet"}, "Tagesabschluss", 0},
      {"shares the first byte", {"Starte TGB", "Starte Url", "Schreibe"},
       std::string(40, ' ') + "Starte Url", 0b010},
      {"same eight bytes, differs later",
       {"Schreibe Ersatzbuchungen...", "Schreibe Ersatzbuchungen beendet"},
       "x Schreibe Ersatzbuchungen beendet", 0b10},
      {"duplicates", {"ok", "ok", "no"}, "is ok", 0b011},
      {"high bytes and NUL", {"\xFC" "ber", std::string("a\0b", 3)},
       std::string("x\xFC" "ber a\0b", 9), 0b11},
      {"case matters", {"Error", "Fehler"}, "ERROR fehlerfrei", 0},
  };
  for (int level : kLevels) {
    LimitVectorLevelForTesting(level);
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + ", level " + std::to_string(level));
      EXPECT_EQ(Make(c.needles).Find(c.text), c.want);
      EXPECT_EQ(First(Make(c.needles), c.text), PlainFirst(c.needles, c.text));
      EXPECT_EQ(Plain(c.needles, c.text), c.want);
    }
  }
  LimitVectorLevelForTesting(2);
}

TEST(NeedleSetTest, NeedlesBeyondSixtyFourAreIgnored) {
  std::vector<std::string> needles;
  for (int i = 0; i < 70; ++i) needles.emplace_back(i == 63 || i == 64 ? "a" : "z");
  EXPECT_EQ(Make(needles).Find("a"), NeedleSet::Bit(63));
}

// Random needles and texts over a small alphabet, so that partial matches
// are frequent; few distinct first bytes take the block scan, many the
// byte-by-byte one.
TEST(NeedleSetTest, SameAsOneSearchPerNeedle) {
  std::mt19937 rng(7);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const std::string narrow = "abAB \xFC";
  const std::string wide = std::string("abcdefghijklmnopqrstuvwxyz \xFC\x01", 29) + '\0';
  // A random position of a text of `size` bytes (size: one past the end).
  auto at = [&](size_t size) { return static_cast<size_t>(pick(0, static_cast<int>(size) - 1)); };
  for (int round = 0; round < 6000; ++round) {
    LimitVectorLevelForTesting(kLevels[round % 3]);
    const std::string& alphabet = round % 2 ? wide : narrow;
    auto random = [&](int maxLength) {
      std::string s(static_cast<size_t>(pick(0, maxLength)), ' ');
      for (char& c : s) c = alphabet[at(alphabet.size())];
      return s;
    };
    std::vector<std::string> needles(static_cast<size_t>(pick(1, 14)));
    for (std::string& n : needles) n = random(pick(0, 2) ? 4 : 20);
    NeedleSet set = Make(needles);
    for (int t = 0; t < 10; ++t) {
      std::string text = random(t % 2 ? 40 : 200);
      // Plant a needle now and then so that long ones are found too, or a
      // near miss: the needle with one byte changed.
      if (pick(0, 1)) {
        std::string n = needles[at(needles.size())];
        if (!n.empty() && pick(0, 1)) n[at(n.size())] ^= 1;
        text.insert(at(text.size() + 1), n);
      }
      ASSERT_EQ(set.Find(text), Plain(needles, text)) << "round " << round << ", text " << text;
      ASSERT_EQ(First(set, text), PlainFirst(needles, text)) << "round " << round << ", text " << text;
    }
  }
  LimitVectorLevelForTesting(2);
}

}  // namespace

}  // namespace spekolar
