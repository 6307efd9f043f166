#include "platform/LineReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "support/ChunkedFile.h"
#include "text/NeedleSet.h"
#include "text/VectorLevel.h"

namespace spekolar::platform {
namespace {

using spktest::ChunkedFile;

// fgets(buf, 1000, fp) on a text-mode stream.
std::vector<std::string> ReferencePieces(const std::string& raw) {
  return spktest::FgetsPieces(raw, LineReader::kMaxPiece);
}

std::string Repeat(std::string_view unit, size_t length) {
  std::string s;
  while (s.size() < length) s += unit;
  s.resize(length);
  return s;
}

// Text-like lines with the lengths around the piece size, CR LF and LF
// endings, lone CRs and NULs, and the occasional needle "ab".
std::string RandomFile(std::mt19937& rng) {
  static const size_t kLengths[] = {0, 1, 2, 997, 998, 999, 1000, 1001, 1997, 1998, 1999, 5000};
  std::string out;
  int lines = std::uniform_int_distribution<int>(0, 12)(rng);
  for (int i = 0; i < lines; ++i) {
    size_t length = rng() % 3 == 0 ? kLengths[rng() % std::size(kLengths)] : rng() % 80;
    static const char kAlphabet[] = {'a', 'b', 'x', '\r', '\0', ' ', '\xE4'};
    size_t needleAt = rng() % 4 == 0 ? rng() % (length + 1) : SIZE_MAX;
    for (size_t j = 0; j < length; ++j) {
      if (j == needleAt) out += "NEEDLE";
      out += kAlphabet[rng() % std::size(kAlphabet)];
    }
    switch (rng() % 4) {
      case 0: out += "\r\n"; break;
      case 3: if (i + 1 == lines) break; [[fallthrough]];
      default: out += '\n'; break;
    }
  }
  return out;
}

std::string RandomBinary(std::mt19937& rng) {
  std::string out(rng() % 6000, '\0');
  for (char& c : out) c = static_cast<char>(rng());
  return out;
}

struct Input {
  std::string name;
  std::string data;
};

std::vector<Input> Inputs() {
  std::vector<Input> in = {
      {"empty", ""},
      {"no final LF", "abc"},
      {"only LF", "\n"},
      {"only CR LF", "\r\n"},
      {"only CR at end of file", "\r"},
      {"CR at end of file after text", "ab\nxy\r"},
      {"lone CRs", "a\rb\r\rc\n\r\r\n\n\r"},
      {"LF CR", "\n\r\n\r"},
      {"NULs are bytes", std::string("a\0b\0\n\0ab\0", 10)},
      {"needle straddles 999", Repeat("xyz", 998) + "ab" + Repeat("x", 10) + "\n"},
      {"needle just fits 999", Repeat("xyz", 997) + "ab" + "\n"},
      {"needle straddles, then fits later in the line",
       Repeat("x", 995) + "NEEDLE" + Repeat("y", 1500) + "NEEDLE" + Repeat("z", 600) + "\n"},
      {"998 CR LF", Repeat("ab", 998) + "\r\n" + "next\n"},
      {"999 CR LF", Repeat("ab", 999) + "\r\n" + "next\n"},
      {"999 CR lone", Repeat("ab", 999) + "\r" + "ab\n"},
      {"998 CR CR LF", Repeat("ab", 998) + "\r\r\n"},
      {"997 CR CR LF", Repeat("ab", 997) + "\r\r\n"},
      {"one long line without LF", Repeat("0123456789ab", 3000)},
  };
  for (size_t length : {998, 999, 1000, 1998, 5000}) {
    for (const char* end : {"\n", "\r\n", ""}) {
      std::string line = Repeat("abcdefghij", length);
      in.push_back({std::to_string(length) + (*end == '\r' ? " CRLF" : *end ? " LF" : " none"),
                    line + end + "x ab\n" + line + end});
    }
  }
  std::mt19937 rng(20240611);
  for (int i = 0; i < 60; ++i) in.push_back({"random text " + std::to_string(i), RandomFile(rng)});
  for (int i = 0; i < 10; ++i) in.push_back({"random binary " + std::to_string(i), RandomBinary(rng)});
  return in;
}

struct ReadShape {
  size_t blockSize;
  size_t maxChunk;  // short reads
};

const ReadShape kShapes[] = {
    {1, 1}, {7, 7}, {7, 3}, {999, 999}, {1000, 1000}, {1001, 1001}, {4096, 100}, {LineReader::kDefaultBlockSize, SIZE_MAX},
};

std::unique_ptr<LineReader> Open(const std::string& data, ReadShape shape, ChunkedFile::Stats* stats,
                                 size_t failAt = SIZE_MAX) {
  return std::make_unique<LineReader>(std::make_unique<ChunkedFile>(data, shape.maxChunk, failAt, stats),
                                      shape.blockSize);
}

// One call of a mixed walk: the call, and the pieces at which it may stop
// (any, when `holds` is empty).
struct Step {
  std::function<bool(LineReader&, std::string_view*)> call;
  std::function<bool(const std::string&)> holds;
};

// Walks `reader` with the calls `pick` chooses against fgets' pieces: each
// call stops at the first piece from the current one that its step holds
// (none at the end), and LastSkipped gives the piece before it whenever the
// call passed over any.
void WalkMixed(LineReader& reader, const std::vector<std::string>& expected,
               const std::function<Step()>& pick) {
  size_t index = 0;
  for (;;) {
    const Step step = pick();
    const size_t from = index;
    while (index < expected.size() && step.holds && !step.holds(expected[index])) ++index;
    std::string_view piece;
    const bool ok = step.call(reader, &piece);
    std::string_view skipped;
    const bool hasSkipped = reader.LastSkipped(&skipped);
    ASSERT_EQ(hasSkipped, index > from) << "piece " << index;
    if (hasSkipped) {
      ASSERT_EQ(std::string(skipped), expected[index - 1]) << "piece " << index;
    }
    if (index == expected.size()) {
      EXPECT_FALSE(ok);
      return;
    }
    ASSERT_TRUE(ok) << "piece " << index;
    ASSERT_EQ(std::string(piece), expected[index]) << "piece " << index;
    ++index;
  }
}

// Next yields exactly fgets' pieces; NextContaining, alone or mixed with
// Next, yields exactly the pieces that a loop over Next would stop at, with
// each of the needle searches; no read asks for more than one block, and the
// first piece never needs more than a block and a piece read ahead.
class LineReaderTest : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override { LimitVectorLevelForTesting(GetParam()); }
  void TearDown() override { LimitVectorLevelForTesting(2); }
};

std::string SearchName(const ::testing::TestParamInfo<int>& info) {
  static const char* const kNames[] = {"Portable", "Vector16", "Widest"};
  return kNames[info.param];
}

INSTANTIATE_TEST_SUITE_P(Searches, LineReaderTest, ::testing::Values(0, 1, 2), SearchName);

TEST_P(LineReaderTest, PiecesAreThoseOfTextModeFgets) {
  const std::string kNeedles[] = {"ab", "b", "x ab", "abcdefghijabcdefghij", "NEEDLE", "\xE4", std::string("\0a", 2), "", "zzz"};
  std::mt19937 rng(7);
  for (const Input& input : Inputs()) {
    const std::vector<std::string> expected = ReferencePieces(input.data);
    for (ReadShape shape : kShapes) {
      // Byte-wise reads of the long inputs would only cost time.
      if (shape.blockSize == 1 && input.data.size() > 3000) continue;
      SCOPED_TRACE(input.name + ", block " + std::to_string(shape.blockSize) + ", chunk " +
                   std::to_string(std::min<size_t>(shape.maxChunk, 1 << 30)));
      ChunkedFile::Stats stats;
      auto reader = Open(input.data, shape, &stats);
      std::vector<std::string> got;
      std::string_view piece;
      while (reader->Next(&piece)) {
        if (got.empty()) {
          EXPECT_LE(stats.offset, shape.blockSize + LineReader::kMaxPiece + 1);
        }
        got.emplace_back(piece);
      }
      EXPECT_FALSE(reader->Next(&piece));
      EXPECT_EQ(got, expected);
      EXPECT_LE(stats.largestRequest, shape.blockSize);

      for (const std::string& needle : kNeedles) {
        SCOPED_TRACE("needle '" + needle + "'");
        std::vector<std::string> want;
        for (const std::string& p : expected)
          if (p.find(needle) != std::string::npos) want.push_back(p);
        ChunkedFile::Stats s;
        auto r = Open(input.data, shape, &s);
        std::vector<std::string> found;
        while (r->NextContaining(needle, &piece)) found.emplace_back(piece);
        EXPECT_EQ(found, want);
        EXPECT_FALSE(r->Next(&piece));  // the search consumed the whole file
      }

      // A random mix of both calls against the same walk over the pieces.
      ChunkedFile::Stats s;
      auto r = Open(input.data, shape, &s);
      WalkMixed(*r, expected, [&]() -> Step {
        if (rng() % 2 != 0) return {[](LineReader& lr, std::string_view* p) { return lr.Next(p); }, nullptr};
        const std::string& needle = kNeedles[rng() % std::size(kNeedles)];
        return {[&needle](LineReader& lr, std::string_view* p) { return lr.NextContaining(needle, p); },
                [&needle](const std::string& p) { return p.find(needle) != std::string::npos; }};
      });
    }
  }
}

// NextContainingAny stops at exactly the pieces that hold one of the set's
// needles, and LastSkipped gives the piece just before each stop (or before
// the end) when any was passed over; the calls may alternate with Next and
// with single-needle searches.
TEST_P(LineReaderTest, SetSearchAndLastSkippedFollowThePieces) {
  const std::vector<std::vector<std::string>> kSets = {
      {"ab", "NEEDLE"}, {"b", "x ab"}, {"abcdefghijabcdefghij", "ab", "\xE4x"}, {"zzz"}, {"ab", ""}};
  std::mt19937 rng(11);
  for (const Input& input : Inputs()) {
    const std::vector<std::string> expected = ReferencePieces(input.data);
    for (ReadShape shape : kShapes) {
      if (shape.blockSize == 1 && input.data.size() > 3000) continue;
      SCOPED_TRACE(input.name + ", block " + std::to_string(shape.blockSize));
      ChunkedFile::Stats stats;
      auto reader = Open(input.data, shape, &stats);
      WalkMixed(*reader, expected, [&]() -> Step {
        const int kind = static_cast<int>(rng() % 4);  // 0 Next, 1 one needle, 2-3 a set
        const std::vector<std::string>& words = kSets[rng() % kSets.size()];
        if (kind == 0) return {[](LineReader& lr, std::string_view* p) { return lr.Next(p); }, nullptr};
        auto holds = [&words, kind](const std::string& p) {
          if (kind == 1) return p.find(words[0]) != std::string::npos;
          for (const std::string& w : words)
            if (p.find(w) != std::string::npos) return true;
          return false;
        };
        if (kind == 1) {
          return {[&words](LineReader& lr, std::string_view* p) { return lr.NextContaining(words[0], p); }, holds};
        }
        auto set = std::make_shared<NeedleSet>(std::vector<std::string_view>(words.begin(), words.end()));
        return {[set](LineReader& lr, std::string_view* p) { return lr.NextContainingAny(*set, p); }, holds};
      });
    }
  }
}

// A read that fails mid-file ends reading: what came before it is a prefix
// of the pieces, nothing beyond the failed bytes is invented, and the reader
// stays at its end.
TEST(LineReaderErrorTest, ReadErrorEndsReading) {
  const std::string data = Repeat("abcdefghij", 2500) + "\n" + "x ab\r\n" + Repeat("ab\r\n", 700);
  const std::vector<std::string> expected = ReferencePieces(data);
  for (size_t failAt : {size_t{0}, size_t{1}, size_t{998}, size_t{1000}, size_t{2500}, size_t{2506},
                        size_t{2507}, data.size() - 1}) {
    for (ReadShape shape : {ReadShape{7, 7}, ReadShape{1000, 1000}, ReadShape{LineReader::kDefaultBlockSize, SIZE_MAX}}) {
      for (bool useNeedle : {false, true}) {
        SCOPED_TRACE("fail at " + std::to_string(failAt) + ", block " + std::to_string(shape.blockSize) +
                     (useNeedle ? ", NextContaining" : ", Next"));
        ChunkedFile::Stats stats;
        auto reader = Open(data, shape, &stats, failAt);
        std::string_view piece;
        std::vector<std::string> got;
        size_t length = 0;
        while (useNeedle ? reader->NextContaining("a", &piece) : reader->Next(&piece)) {
          got.emplace_back(piece);
          length += piece.size();
        }
        EXPECT_FALSE(reader->Next(&piece));
        EXPECT_FALSE(reader->NextContaining("", &piece));
        ASSERT_LE(got.size(), expected.size());
        EXPECT_TRUE(std::equal(got.begin(), got.end(), expected.begin()));
        EXPECT_LE(length, failAt);
      }
    }
  }
}

// Buffers of other sizes: the credentials file's 400 bytes, the smallest
// ones, and one of a byte, into which fgets reads nothing.
TEST(LineReaderPieceSizeTest, ReadsLikeTextModeFgetsOfAnyBuffer) {
  const std::string a400(400, 'k');
  const std::string x4094(4094, 'x');
  struct Case {
    std::string data;
    size_t maxPiece;
    std::vector<std::string> pieces;
  };
  const std::vector<Case> cases = {
      {"one\r\ntwo\nthree", 399, {"one\n", "two\n", "three"}},
      {"lone\rCR\r\n", 399, {"lone\rCR\n"}},
      {"end\r", 399, {"end\r"}},
      {"\r\r\n\n", 399, {"\r\n", "\n"}},
      {"", 399, {}},
      {a400 + "\n", 399, {std::string(399, 'k'), "k\n"}},
      {a400 + "\r\n", 400, {a400, "\n"}},
      {x4094 + "\r\nnext\r\n", LineReader::kLongestPiece, {x4094 + "\n", "next\n"}},
      {"abc\n", 1, {"a", "b", "c", "\n"}},
      // A piece boundary right before the LF: the CR LF still reads as one LF.
      {"ab\r\ncd", 2, {"ab", "\n", "cd"}},
      {"abc", 0, {}},
  };
  for (const Case& c : cases) {
    for (ReadShape shape : kShapes) {
      SCOPED_TRACE("data size " + std::to_string(c.data.size()) + ", piece " + std::to_string(c.maxPiece) +
                   ", block " + std::to_string(shape.blockSize));
      LineReader reader(std::make_unique<ChunkedFile>(c.data, shape.maxChunk), shape.blockSize, c.maxPiece);
      std::vector<std::string> got;
      std::string_view piece;
      while (reader.Next(&piece)) got.emplace_back(piece);
      EXPECT_EQ(got, c.pieces);
    }
  }
}

}  // namespace
}  // namespace spekolar::platform
