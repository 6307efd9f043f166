// Which of a fixed set of needles occur in a text, found in one pass.
//
// A monitor that tests each line of a large protocol for a dozen words would
// otherwise search the line once per word. NeedleSet scans the line once for
// the bytes the needles begin with (32 or 16 bytes at a time where the
// processor has AVX2 or SSE2) and compares the needles only where such a
// byte stands together with a second byte one of them begins with; the
// result is the same as one std::string_view::find per needle. A set holds
// tables of about 10 KB: build it once and use it for many texts.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace spekolar {

class NeedleSet {
 public:
  static constexpr int kMaxNeedles = 64;

  // Copies the needles; bit i of Find's result stands for the i-th. Needles
  // beyond kMaxNeedles are ignored. Duplicates and empty needles are allowed.
  explicit NeedleSet(std::span<const std::string_view> needles);
  NeedleSet(std::initializer_list<std::string_view> needles)
      : NeedleSet(std::span<const std::string_view>(needles.begin(), needles.size())) {}

  // Bit i set when needle i occurs in `text` (text.find(needle) != npos; an
  // empty needle occurs in every text, the empty one included).
  uint64_t Find(std::string_view text) const;

  static constexpr uint64_t Bit(int i) { return uint64_t{1} << i; }

  // The earliest position in `text` at which a non-empty needle begins and
  // fits, or npos; *length receives the length of the shortest needle that
  // begins there. Empty needles are not looked for (see HasEmptyNeedle).
  // The same result as the minimum of text.find(needle) over the needles.
  size_t FindFirst(std::string_view text, size_t* length) const;

  bool HasEmptyNeedle() const { return empty_ != 0; }
  // Length of the longest needle (0 for a set without needles).
  size_t MaxLength() const { return maxLength_; }

 private:
  struct Needle {
    std::string text;
    uint64_t head;      // its first bytes (up to 8), as an unaligned load gives them
    uint64_t headMask;  // the bits of `head` that belong to the needle
    uint64_t tail;      // its last 8 bytes (needles of 8 bytes or more)
  };
  // Needles `candidates` (all beginning with text[pos]) that stand at `pos`.
  uint64_t MatchAt(std::string_view text, size_t pos, uint64_t candidates) const;
  // Adds to `found` the needles that begin at `pos`, a position holding the
  // first byte of one of them.
  uint64_t Visit(std::string_view text, size_t pos, uint64_t found) const;
  uint64_t FindPortable(std::string_view text, uint64_t found) const;
  // The 16-byte vector scan with `kFirsts` distinct first bytes, over texts
  // of 16 bytes at least.
  template <int kFirsts>
  uint64_t FindSse2(std::string_view text, uint64_t found) const;
  // The 32-byte vector scan over texts of 33 bytes at least.
  uint64_t FindAvx2(std::string_view text, uint64_t found) const;
  // FindFirst's check of one position holding the first byte of a needle:
  // the length of the shortest needle that stands there, or 0.
  size_t ShortestAt(std::string_view text, size_t pos) const;
  size_t FindFirstPortable(std::string_view text, size_t from, size_t* length) const;
  template <int kFirsts>
  size_t FindFirstSse2(std::string_view text, size_t* length) const;
  size_t FindFirstAvx2(std::string_view text, size_t* length) const;
  // Adds `bucket` to the entries of `byte`'s low nibble in nibbles_[table]
  // and its high nibble in nibbles_[table + 1].
  void AddToNibbles(int table, unsigned char byte, unsigned bucket);

  std::vector<Needle> needles_;
  uint64_t all_ = 0;
  uint64_t empty_ = 0;                 // the empty needles
  size_t maxLength_ = 0;
  uint64_t byFirst_[256] = {};         // the non-empty needles by first byte
  std::vector<unsigned char> firsts_;  // the distinct first bytes
  // One bit per pair of bytes (first + 256 * second) with which a needle
  // begins (a needle of one byte: its byte and any other); keeps the
  // needles from being compared where only their first byte stands.
  uint64_t pairs_[65536 / 64] = {};
  // For FindAvx2: bucket bits by the low and high nibble of a needle's first
  // byte (tables 0, 1) and second byte (2, 3), each 16 entries twice over;
  // FindFirstAvx2 also looks at the third byte (4, 5), which keeps its
  // candidates to the places where a needle's first three bytes stand.
  unsigned char nibbles_[6][32] = {};
};

}  // namespace spekolar
