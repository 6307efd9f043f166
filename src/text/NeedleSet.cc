#include "text/NeedleSet.h"

#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#define SPK_NEEDLE_SET_X86 1
#include <immintrin.h>
#endif

namespace {
// More distinct first bytes than this make the vector compares per block
// cost more than looking every byte up in the table.
constexpr int kMaxVectorFirsts = 8;

uint64_t Load8(const char* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

unsigned Pair(unsigned char first, unsigned char second) { return first + 256u * second; }

// The scan in force: 0 portable, 1 16-byte vectors, 2 32-byte vectors.
// Chosen on first use, so that no order of static initialisation can meet
// it unset.
int ChooseLevel(int limit) {
#if SPK_NEEDLE_SET_X86
  __builtin_cpu_init();
  if (limit >= 2 && __builtin_cpu_supports("avx2")) return 2;
  if (limit >= 1) return 1;
#endif
  (void)limit;
  return 0;
}

int& ActiveLevel() {
  static int level = ChooseLevel(2);
  return level;
}
}  // namespace

void NeedleSet::LimitSearchForTesting(int level) { ActiveLevel() = ChooseLevel(level); }

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
    all_ |= Bit(i);
    if (text.empty()) {
      empty_ |= Bit(i);
    } else {
      unsigned char first = static_cast<unsigned char>(text[0]);
      if (byFirst_[first] == 0) firsts_.push_back(first);
      byFirst_[first] |= Bit(i);
      for (unsigned second = 0; second < 256; ++second) {
        if (text.size() > 1 && second != static_cast<unsigned char>(text[1])) continue;
        unsigned pair = Pair(first, static_cast<unsigned char>(second));
        pairs_[pair / 64] |= uint64_t{1} << (pair % 64);
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

uint64_t NeedleSet::FindPortable(std::string_view text, uint64_t found) const {
  for (size_t pos = 0; pos < text.size() && found != all_; ++pos) found = Visit(text, pos, found);
  return found;
}

#if SPK_NEEDLE_SET_X86
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

namespace {
// Bit j: one of the kFirsts bytes stands at at[j]. (No lambda: it would not
// take the AVX2 target of its caller.)
template <int kFirsts>
__attribute__((target("avx2"), always_inline)) inline unsigned HitsAvx2(const char* at,
                                                                        const __m256i* firsts) {
  const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
  __m256i hit = _mm256_cmpeq_epi8(bytes, firsts[0]);
  for (int k = 1; k < kFirsts; ++k) hit = _mm256_or_si256(hit, _mm256_cmpeq_epi8(bytes, firsts[k]));
  return static_cast<unsigned>(_mm256_movemask_epi8(hit));
}
}  // namespace

template <int kFirsts>
__attribute__((target("avx2"))) uint64_t NeedleSet::FindAvx2(std::string_view text,
                                                             uint64_t found) const {
  __m256i firsts[kFirsts];
  for (int k = 0; k < kFirsts; ++k) {
    firsts[k] = _mm256_set1_epi8(static_cast<char>(firsts_[static_cast<size_t>(k)]));
  }
  const size_t size = text.size();
  size_t block = 0;
  for (; block + 32 <= size; block += 32) {
    for (unsigned mask = HitsAvx2<kFirsts>(text.data() + block, firsts); mask != 0;
         mask &= mask - 1) {
      found = Visit(text, block + static_cast<size_t>(__builtin_ctz(mask)), found);
    }
    if (found == all_) return found;
  }
  if (block < size) {
    const size_t last = size - 32;
    for (unsigned mask = HitsAvx2<kFirsts>(text.data() + last, firsts) >> (block - last); mask != 0;
         mask &= mask - 1) {
      found = Visit(text, block + static_cast<size_t>(__builtin_ctz(mask)), found);
    }
  }
  return found;
}
#endif

uint64_t NeedleSet::Find(std::string_view text) const {
  const uint64_t found = empty_;
#if SPK_NEEDLE_SET_X86
  const int level = ActiveLevel();
  // One template instance per count of distinct first bytes keeps them in
  // registers.
#define SPK_NEEDLE_SET_CASE(n) \
  case n:                      \
    return level >= 2 && text.size() >= 32 ? FindAvx2<n>(text, found) : FindSse2<n>(text, found);
  if (level >= 1 && text.size() >= 16) {
    switch (firsts_.size()) {
      SPK_NEEDLE_SET_CASE(1)
      SPK_NEEDLE_SET_CASE(2)
      SPK_NEEDLE_SET_CASE(3)
      SPK_NEEDLE_SET_CASE(4)
      SPK_NEEDLE_SET_CASE(5)
      SPK_NEEDLE_SET_CASE(6)
      SPK_NEEDLE_SET_CASE(7)
      SPK_NEEDLE_SET_CASE(8)
      default:
        break;
    }
  }
#undef SPK_NEEDLE_SET_CASE
  static_assert(kMaxVectorFirsts == 8, "one case per count of first bytes");
#endif
  return FindPortable(text, found);
}
