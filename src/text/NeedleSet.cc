#include "text/NeedleSet.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "text/VectorLevel.h"

#if SPK_X86_VECTORS
#include <immintrin.h>
#endif

namespace spekolar {

namespace {
// More distinct first bytes than this make the 16-byte vector compares per
// block cost more than looking every byte up in the table.
constexpr int kMaxVectorFirsts = 8;

uint64_t Load8(const char* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

unsigned Pair(unsigned char first, unsigned char second) { return first + 256u * second; }
}  // namespace

void NeedleSet::AddToNibbles(int table, unsigned char byte, unsigned bucket) {
  // Each table twice over: the 32-byte lookup works on two 16-byte halves.
  for (int half = 0; half < 32; half += 16) {
    nibbles_[table][half + (byte & 15)] |= static_cast<unsigned char>(bucket);
    nibbles_[table + 1][half + (byte >> 4)] |= static_cast<unsigned char>(bucket);
  }
}

NeedleSet::NeedleSet(std::span<const std::string_view> needles) {
  int i = 0;
  for (std::string_view text : needles) {
    if (i == kMaxNeedles) break;
    Needle n{std::string(text), 0, 0, 0};
    size_t k = text.size() < 8 ? text.size() : 8;
    std::memcpy(&n.head, text.data(), k);
    unsigned char ones[8] = {};
    std::memset(ones, 0xFF, k);
    std::memcpy(&n.headMask, ones, sizeof ones);
    if (text.size() >= 8) n.tail = Load8(text.data() + text.size() - 8);
    needles_.push_back(std::move(n));
    maxLength_ = std::max(maxLength_, text.size());
    all_ |= Bit(i);
    if (text.empty()) {
      empty_ |= Bit(i);
    } else {
      unsigned char first = static_cast<unsigned char>(text[0]);
      if (byFirst_[first] == 0) firsts_.push_back(first);
      byFirst_[first] |= Bit(i);
      // The distinct first bytes take the 8 buckets in turn; a needle of
      // one byte takes any second byte.
      const size_t index =
          static_cast<size_t>(std::find(firsts_.begin(), firsts_.end(), first) - firsts_.begin());
      const unsigned bucket = 1u << (index % 8);
      AddToNibbles(0, first, bucket);
      for (unsigned second = 0; second < 256; ++second) {
        if (text.size() > 1 && second != static_cast<unsigned char>(text[1])) continue;
        AddToNibbles(2, static_cast<unsigned char>(second), bucket);
        unsigned pair = Pair(first, static_cast<unsigned char>(second));
        pairs_[pair / 64] |= uint64_t{1} << (pair % 64);
      }
      for (unsigned third = 0; third < 256; ++third) {
        if (text.size() > 2 && third != static_cast<unsigned char>(text[2])) continue;
        AddToNibbles(4, static_cast<unsigned char>(third), bucket);
      }
    }
    ++i;
  }
}

uint64_t NeedleSet::MatchAt(std::string_view text, size_t pos, uint64_t candidates) const {
  uint64_t found = 0;
  const char* at = text.data() + pos;
  const size_t left = text.size() - pos;
  // Eight bytes may be read at `at` when the text has them.
  const uint64_t word = left >= 8 ? Load8(at) : 0;
  while (candidates != 0) {
    int i = __builtin_ctzll(candidates);
    candidates &= candidates - 1;
    const Needle& n = needles_[static_cast<size_t>(i)];
    const size_t size = n.text.size();
    if (size > left) continue;
    bool match;
    if (size >= 8) {
      // First and last eight bytes, then what lies between them.
      match = word == n.head && Load8(at + size - 8) == n.tail &&
              (size <= 16 || std::memcmp(at + 8, n.text.data() + 8, size - 16) == 0);
    } else if (left >= 8) {
      match = (word & n.headMask) == n.head;
    } else {
      match = std::memcmp(at, n.text.data(), size) == 0;
    }
    if (match) found |= Bit(i);
  }
  return found;
}

inline uint64_t NeedleSet::Visit(std::string_view text, size_t pos, uint64_t found) const {
  const unsigned char first = static_cast<unsigned char>(text[pos]);
  const uint64_t candidates = byFirst_[first] & ~found;
  if (candidates == 0) return found;
  if (pos + 1 < text.size()) {
    unsigned pair = Pair(first, static_cast<unsigned char>(text[pos + 1]));
    if ((pairs_[pair / 64] >> (pair % 64) & 1) == 0) return found;
  }
  return found | MatchAt(text, pos, candidates);
}

size_t NeedleSet::ShortestAt(std::string_view text, size_t pos) const {
  const unsigned char first = static_cast<unsigned char>(text[pos]);
  const uint64_t candidates = byFirst_[first];
  if (candidates == 0) return 0;
  if (pos + 1 < text.size()) {
    unsigned pair = Pair(first, static_cast<unsigned char>(text[pos + 1]));
    if ((pairs_[pair / 64] >> (pair % 64) & 1) == 0) return 0;
  }
  size_t shortest = 0;
  for (uint64_t found = MatchAt(text, pos, candidates); found != 0; found &= found - 1) {
    const size_t size = needles_[static_cast<size_t>(__builtin_ctzll(found))].text.size();
    if (shortest == 0 || size < shortest) shortest = size;
  }
  return shortest;
}

size_t NeedleSet::FindFirstPortable(std::string_view text, size_t from, size_t* length) const {
  for (size_t pos = from; pos < text.size(); ++pos) {
    if (size_t n = ShortestAt(text, pos)) {
      *length = n;
      return pos;
    }
  }
  return std::string_view::npos;
}

uint64_t NeedleSet::FindPortable(std::string_view text, uint64_t found) const {
  for (size_t pos = 0; pos < text.size() && found != all_; ++pos) found = Visit(text, pos, found);
  return found;
}

#if SPK_X86_VECTORS
// Each vector scan tests whole blocks and then the block that ends the text,
// of whose bits those already tested are shifted out; no load leaves the
// text.

template <int kFirsts>
uint64_t NeedleSet::FindSse2(std::string_view text, uint64_t found) const {
  __m128i firsts[kFirsts];
  for (int k = 0; k < kFirsts; ++k) {
    firsts[k] = _mm_set1_epi8(static_cast<char>(firsts_[static_cast<size_t>(k)]));
  }
  // Bit j: a first byte stands at at[j].
  auto hits = [&](const char* at) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    __m128i hit = _mm_cmpeq_epi8(bytes, firsts[0]);
    for (int k = 1; k < kFirsts; ++k) hit = _mm_or_si128(hit, _mm_cmpeq_epi8(bytes, firsts[k]));
    return static_cast<unsigned>(_mm_movemask_epi8(hit));
  };
  const size_t size = text.size();
  size_t block = 0;
  for (; block + 16 <= size; block += 16) {
    for (unsigned mask = hits(text.data() + block); mask != 0; mask &= mask - 1) {
      found = Visit(text, block + static_cast<size_t>(__builtin_ctz(mask)), found);
    }
    if (found == all_) return found;
  }
  if (block < size) {
    const size_t last = size - 16;
    for (unsigned mask = hits(text.data() + last) >> (block - last); mask != 0; mask &= mask - 1) {
      found = Visit(text, block + static_cast<size_t>(__builtin_ctz(mask)), found);
    }
  }
  return found;
}

template <int kFirsts>
size_t NeedleSet::FindFirstSse2(std::string_view text, size_t* length) const {
  __m128i firsts[kFirsts];
  for (int k = 0; k < kFirsts; ++k) {
    firsts[k] = _mm_set1_epi8(static_cast<char>(firsts_[static_cast<size_t>(k)]));
  }
  const size_t size = text.size();
  size_t block = 0;
  for (; block + 16 <= size; block += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + block));
    __m128i hit = _mm_cmpeq_epi8(bytes, firsts[0]);
    for (int k = 1; k < kFirsts; ++k) hit = _mm_or_si128(hit, _mm_cmpeq_epi8(bytes, firsts[k]));
    for (unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit)); mask != 0; mask &= mask - 1) {
      const size_t pos = block + static_cast<size_t>(__builtin_ctz(mask));
      if (size_t n = ShortestAt(text, pos)) {
        *length = n;
        return pos;
      }
    }
  }
  return FindFirstPortable(text, block, length);
}

namespace {
// The AVX2 scan tests two bytes per position, the first and the second of a
// needle, in 32 positions at once, by table lookups on their four-bit halves
// (nibbles): the needles fall into at most 8 buckets by first byte, and a
// table entry holds the buckets whose first (second) bytes have that nibble
// there. A position passes when a bucket takes all four of its nibbles.
// Where several bytes share a bucket, or several second bytes one, nibbles
// of different bytes can combine into a false hit, which Visit rejects.
__attribute__((target("avx2"), always_inline)) inline __m256i Load32(const void* at) {
  return _mm256_loadu_si256(static_cast<const __m256i*>(at));
}

__attribute__((target("avx2"), always_inline)) inline __m256i Lookup(__m256i bytes,
                                                                     __m256i lowTable,
                                                                     __m256i highTable) {
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  const __m256i low = _mm256_and_si256(bytes, nibble);
  const __m256i high = _mm256_and_si256(_mm256_srli_epi16(bytes, 4), nibble);
  return _mm256_and_si256(_mm256_shuffle_epi8(lowTable, low), _mm256_shuffle_epi8(highTable, high));
}

// The tables of one set, loaded. (No lambdas in the AVX2 code: they would
// not take the target of their caller.)
struct NibbleTables {
  __m256i low0, high0, low1, high1;
};

// Bit j: a needle of some bucket may begin at at[j]; reads at[0..32].
__attribute__((target("avx2"), always_inline)) inline unsigned PairHits(const char* at,
                                                                        const NibbleTables& t) {
  const __m256i both = _mm256_and_si256(Lookup(Load32(at), t.low0, t.high0),
                                        Lookup(Load32(at + 1), t.low1, t.high1));
  return ~static_cast<unsigned>(
      _mm256_movemask_epi8(_mm256_cmpeq_epi8(both, _mm256_setzero_si256())));
}
// Bit j: a needle of some bucket may begin at at[j] with its first three
// bytes; reads at[0..33].
__attribute__((target("avx2"), always_inline)) inline unsigned TripleHits(const char* at,
                                                                          const NibbleTables& t,
                                                                          __m256i low2,
                                                                          __m256i high2) {
  const __m256i all = _mm256_and_si256(
      _mm256_and_si256(Lookup(Load32(at), t.low0, t.high0), Lookup(Load32(at + 1), t.low1, t.high1)),
      Lookup(Load32(at + 2), low2, high2));
  return ~static_cast<unsigned>(
      _mm256_movemask_epi8(_mm256_cmpeq_epi8(all, _mm256_setzero_si256())));
}
}  // namespace

__attribute__((target("avx2"))) uint64_t NeedleSet::FindAvx2(std::string_view text,
                                                             uint64_t found) const {
  const NibbleTables tables = {Load32(nibbles_[0]), Load32(nibbles_[1]), Load32(nibbles_[2]),
                               Load32(nibbles_[3])};
  const char* data = text.data();
  const size_t size = text.size();  // at least 33
  size_t block = 0;
  for (; block + 33 <= size; block += 32) {
    for (unsigned mask = PairHits(data + block, tables); mask != 0; mask &= mask - 1) {
      found = Visit(text, block + static_cast<size_t>(__builtin_ctz(mask)), found);
    }
    if (found == all_) return found;
  }
  // Positions up to the last but one: the 32 that end there, minus those
  // already seen; the last position has no second byte and goes alone.
  if (block + 1 < size) {
    const size_t last = size - 33;
    for (unsigned mask = PairHits(data + last, tables) >> (block - last); mask != 0;
         mask &= mask - 1) {
      found = Visit(text, block + static_cast<size_t>(__builtin_ctz(mask)), found);
    }
  }
  return Visit(text, size - 1, found);
}
#endif

#if SPK_X86_VECTORS
__attribute__((target("avx2"))) size_t NeedleSet::FindFirstAvx2(std::string_view text,
                                                                 size_t* length) const {
  const NibbleTables tables = {Load32(nibbles_[0]), Load32(nibbles_[1]), Load32(nibbles_[2]),
                               Load32(nibbles_[3])};
  const __m256i low2 = Load32(nibbles_[4]);
  const __m256i high2 = Load32(nibbles_[5]);
  const char* data = text.data();
  const size_t size = text.size();
  size_t block = 0;
  // Two rounds of 32 positions per test: most of a large block holds no
  // candidate at all.
  for (; block + 66 <= size; block += 64) {
    const unsigned lo = TripleHits(data + block, tables, low2, high2);
    const unsigned hi = TripleHits(data + block + 32, tables, low2, high2);
    if ((lo | hi) == 0) continue;
    for (uint64_t mask = lo | uint64_t{hi} << 32; mask != 0; mask &= mask - 1) {
      const size_t pos = block + static_cast<size_t>(__builtin_ctzll(mask));
      if (size_t n = ShortestAt(text, pos)) {
        *length = n;
        return pos;
      }
    }
  }
  for (; block + 34 <= size; block += 32) {
    for (unsigned mask = TripleHits(data + block, tables, low2, high2); mask != 0; mask &= mask - 1) {
      const size_t pos = block + static_cast<size_t>(__builtin_ctz(mask));
      if (size_t n = ShortestAt(text, pos)) {
        *length = n;
        return pos;
      }
    }
  }
  return FindFirstPortable(text, block, length);
}
#endif

#if SPK_X86_VECTORS
namespace {
// The 16-byte scans keep the distinct first bytes in registers, one template
// instance per count: calls vector(std::integral_constant<int, N>) for the
// count N of 1 to kMaxVectorFirsts, portable() for any other.
template <typename Vector, typename Portable>
auto ByFirstCount(size_t count, Vector vector, Portable portable) {
  static_assert(kMaxVectorFirsts == 8, "one case per count of first bytes");
  switch (count) {
    case 1: return vector(std::integral_constant<int, 1>{});
    case 2: return vector(std::integral_constant<int, 2>{});
    case 3: return vector(std::integral_constant<int, 3>{});
    case 4: return vector(std::integral_constant<int, 4>{});
    case 5: return vector(std::integral_constant<int, 5>{});
    case 6: return vector(std::integral_constant<int, 6>{});
    case 7: return vector(std::integral_constant<int, 7>{});
    case 8: return vector(std::integral_constant<int, 8>{});
    default: return portable();
  }
}
}  // namespace
#endif

size_t NeedleSet::FindFirst(std::string_view text, size_t* length) const {
  if (firsts_.empty()) return std::string_view::npos;
#if SPK_X86_VECTORS
  const int level = VectorLevel();
  if (level >= 2 && text.size() >= 33) return FindFirstAvx2(text, length);
  if (level >= 1 && text.size() >= 16) {
    return ByFirstCount(
        firsts_.size(),
        [&](auto firsts) { return FindFirstSse2<decltype(firsts)::value>(text, length); },
        [&] { return FindFirstPortable(text, 0, length); });
  }
#endif
  return FindFirstPortable(text, 0, length);
}

uint64_t NeedleSet::Find(std::string_view text) const {
  const uint64_t found = empty_;
#if SPK_X86_VECTORS
  const int level = VectorLevel();
  if (level >= 2 && text.size() >= 33) return FindAvx2(text, found);
  if (level >= 1 && text.size() >= 16) {
    return ByFirstCount(
        firsts_.size(), [&](auto firsts) { return FindSse2<decltype(firsts)::value>(text, found); },
        [&] { return FindPortable(text, found); });
  }
#endif
  return FindPortable(text, found);
}

}  // namespace spekolar
