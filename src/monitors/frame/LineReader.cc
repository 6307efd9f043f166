#include "monitors/frame/LineReader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#define SPK_LINE_READER_X86 1
#include <immintrin.h>
#endif

namespace {

// Bytes needed from a piece's start to decide where it ends: 999 characters
// and, when the 999th is a CR, the byte after it (an LF there makes the CR LF
// pair the piece's final "\n").
constexpr size_t kLookahead = LineReader::kMaxPiece + 1;

// Needle search: the first occurrence of `needle` (at least two bytes) in
// [begin, end), or null.
using Finder = const char* (*)(const char* begin, const char* end, std::string_view needle);

const char* FindPortable(const char* begin, const char* end, std::string_view needle) {
  std::string_view text(begin, static_cast<size_t>(end - begin));
  size_t found = text.find(needle);
  return found == std::string_view::npos ? nullptr : begin + found;
}

#if SPK_LINE_READER_X86
// The vector searches test 16 or 64 candidate positions at once for the
// needle's first, second and last byte and compare the rest only where all
// three match; the second byte keeps candidates rare for keys such as dates,
// whose first and last digits recur in almost every line. Every load stays
// inside [begin, end): a block of W candidates starts at most at stop - W,
// so its last load ends at stop - W + m - 1 + W = end. The remaining fewer
// than W candidates go to the next narrower search.

const char* FindSse2(const char* begin, const char* end, std::string_view needle) {
  const size_t m = needle.size();
  if (static_cast<size_t>(end - begin) < m) return nullptr;
  const char* stop = end - m + 1;  // candidates start before stop
  const char* p = begin;
  const __m128i first = _mm_set1_epi8(needle[0]);
  const __m128i second = _mm_set1_epi8(needle[1]);
  const __m128i last = _mm_set1_epi8(needle[m - 1]);
  for (; stop - p >= 16; p += 16) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
    __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + m - 1));
    __m128i hits = _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, second)),
                                 _mm_cmpeq_epi8(c, last));
    for (unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hits)); mask != 0; mask &= mask - 1) {
      const char* at = p + __builtin_ctz(mask);
      if (std::memcmp(at + 2, needle.data() + 2, m - 2) == 0) return at;
    }
  }
  return FindPortable(p, end, needle);
}

__attribute__((target("avx2"), always_inline)) inline __m256i Load32(const char* at) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
}

__attribute__((target("avx2"))) const char* FindAvx2(const char* begin, const char* end,
                                                     std::string_view needle) {
  const size_t m = needle.size();
  if (static_cast<size_t>(end - begin) < m) return nullptr;
  const char* stop = end - m + 1;
  const char* p = begin;
  const __m256i first = _mm256_set1_epi8(needle[0]);
  const __m256i second = _mm256_set1_epi8(needle[1]);
  const __m256i last = _mm256_set1_epi8(needle[m - 1]);
  // Two vectors a round: most rounds find no candidate and cost one test.
  for (; stop - p >= 64; p += 64) {
    __m256i lo = _mm256_and_si256(
        _mm256_and_si256(_mm256_cmpeq_epi8(Load32(p), first), _mm256_cmpeq_epi8(Load32(p + 1), second)),
        _mm256_cmpeq_epi8(Load32(p + m - 1), last));
    __m256i hi = _mm256_and_si256(
        _mm256_and_si256(_mm256_cmpeq_epi8(Load32(p + 32), first), _mm256_cmpeq_epi8(Load32(p + 33), second)),
        _mm256_cmpeq_epi8(Load32(p + m + 31), last));
    __m256i any = _mm256_or_si256(lo, hi);
    if (_mm256_testz_si256(any, any)) continue;
    uint64_t mask = static_cast<uint32_t>(_mm256_movemask_epi8(lo)) |
                    uint64_t{static_cast<uint32_t>(_mm256_movemask_epi8(hi))} << 32;
    for (; mask != 0; mask &= mask - 1) {
      const char* at = p + __builtin_ctzll(mask);
      if (std::memcmp(at + 2, needle.data() + 2, m - 2) == 0) return at;
    }
  }
  return FindSse2(p, end, needle);
}
#endif

// The widest search this processor has, at most `level` (0 portable, 1
// 16-byte vectors, 2 32-byte vectors).
Finder ChooseFinder(int level) {
#if SPK_LINE_READER_X86
  __builtin_cpu_init();
  if (level >= 2 && __builtin_cpu_supports("avx2")) return FindAvx2;
  if (level >= 1) return FindSse2;
#endif
  (void)level;
  return FindPortable;
}

// The search in force; chosen on first use, so that no order of static
// initialisation can meet it unset.
Finder& ActiveFinder() {
  static Finder finder = ChooseFinder(2);
  return finder;
}

// The last LF in [begin, end), or null.
const char* FindLastLf(const char* begin, const char* end) {
#if defined(__GLIBC__)
  return static_cast<const char*>(memrchr(begin, '\n', static_cast<size_t>(end - begin)));
#else
  while (end != begin) {
    if (*--end == '\n') return end;
  }
  return nullptr;
#endif
}

}  // namespace

// Room in front of the block for the unfinished piece carried over from the
// previous block (always fewer than kLookahead bytes). Every block is read
// to the same page-aligned place behind it: the kernel's copy into a
// misaligned buffer measured three times slower than into an aligned one.
constexpr size_t kHeadRoom = 4096;
static_assert(kHeadRoom >= kLookahead);

struct LineReader::Impl {
  std::unique_ptr<platform::ReadableFile> file;
  size_t blockSize;
  std::unique_ptr<char[]> storage;
  char* buf;       // page-aligned start within storage
  size_t pos = 0;  // start of the next piece; always a piece boundary
  size_t end = 0;  // end of the bytes read so far
  bool eof = false;
  bool failed = false;

  Impl(std::unique_ptr<platform::ReadableFile> f, size_t block)
      : file(std::move(f)),
        blockSize(std::max<size_t>(block, 1)),
        storage(new char[kHeadRoom + blockSize + 4095]),
        buf(reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(storage.get()) + 4095) & ~uintptr_t{4095})) {}

  // Moves the unread rest (fewer than kLookahead bytes: callers read more
  // only when the rest does not make a piece) to just before the block and
  // reads the next block behind it. False when nothing more can come (end
  // of file or a read error).
  bool ReadMore() {
    if (eof || failed) return false;
    size_t rest = end - pos;
    std::memmove(buf + kHeadRoom - rest, buf + pos, rest);
    pos = kHeadRoom - rest;
    end = kHeadRoom;
    long n = file->Read(buf + end, blockSize);
    if (n < 0) {
      failed = true;
      return false;
    }
    if (n == 0) {
      eof = true;
      return false;
    }
    end += static_cast<size_t>(n);
    return true;
  }

  // Cuts the piece that begins at pos, reading more when the buffered bytes
  // do not decide its end.
  bool CutPiece(std::string_view* piece) {
    for (;;) {
      if (failed) return false;
      char* start = buf + pos;
      size_t avail = end - pos;
      size_t span = std::min(avail, kLookahead);
      auto* lf = static_cast<char*>(std::memchr(start, '\n', span));
      if (lf != nullptr) {
        size_t raw = static_cast<size_t>(lf - start) + 1;  // with the LF
        bool crlf = lf > start && lf[-1] == '\r';
        if (crlf) {
          // CR LF reads as LF: the piece is one shorter than its bytes.
          lf[-1] = '\n';
          *piece = std::string_view(start, raw - 1);
          pos += raw;
          return true;
        }
        if (raw <= kMaxPiece) {
          *piece = std::string_view(start, raw);
          pos += raw;
          return true;
        }
        // The LF is the 1000th byte and does not fit: 999 characters now.
        *piece = std::string_view(start, kMaxPiece);
        pos += kMaxPiece;
        return true;
      }
      if (avail >= kLookahead) {
        *piece = std::string_view(start, kMaxPiece);
        pos += kMaxPiece;
        return true;
      }
      if (!ReadMore()) {
        if (failed || avail == 0) return false;
        // End of file without a final LF: the rest is the last piece.
        // (ReadMore may have moved the bytes to the front.)
        *piece = std::string_view(buf + pos, avail);
        pos += avail;
        return true;
      }
    }
  }

  // Searches the buffered bytes for the needle first and only then works
  // out the piece around the first hit. pos is a piece boundary; from a
  // line's start (or from pos) the pieces of that line are 999 bytes each
  // until its last piece, because the only CR LF of a line is at its end.
  bool FindPieceWith(std::string_view needle, std::string_view* piece) {
    const size_t m = needle.size();
    size_t searched = 0;  // bytes from pos on in which no hit starts
    for (;;) {
      if (failed) return false;
      const char* base = buf;
      const char* from = base + pos;
      const char* to = base + end;
      const Finder find = ActiveFinder();
      const char* hit = find(from + searched, to, needle);
      while (hit != nullptr) {
        const char* lf = FindLastLf(from, hit);
        const char* lineStart = lf != nullptr ? lf + 1 : from;
        const char* pieceStart = lineStart + (hit - lineStart) / kMaxPiece * kMaxPiece;
        if (hit + m <= pieceStart + kMaxPiece) {
          // No LF lies between pieceStart and the hit's end, so the piece
          // that begins there holds the whole hit, whatever its end.
          pos = static_cast<size_t>(pieceStart - base);
          return CutPiece(piece);
        }
        // The hit straddles the end of a full 999-character piece: that
        // piece is not final (the next byte is a needle byte, not an LF),
        // so its end is a piece boundary, and no earlier piece holds the
        // needle. Go on from there.
        pos = static_cast<size_t>(pieceStart + kMaxPiece - base);
        from = base + pos;
        hit = find(from, to, needle);
      }
      // No piece that begins in the buffer holds the needle, except maybe
      // the unfinished last one. Keep the bytes from the last piece
      // boundary that lies before the end of the buffer: after an LF, or at
      // 999-byte steps from the last line's start (a boundary right at the
      // end could still turn out to split a CR LF pair).
      const char* lf = FindLastLf(from, to);
      const char* lineStart = lf != nullptr ? lf + 1 : from;
      if (to > lineStart) {
        lineStart += (to - lineStart - 1) / kMaxPiece * kMaxPiece;
      }
      pos = static_cast<size_t>(lineStart - base);
      // The kept bytes were searched, but for the last m - 1 of them, which
      // may begin a hit that ends in the next block.
      searched = end - pos >= m ? end - pos - (m - 1) : 0;
      if (!ReadMore()) {
        // End of file (the kept tail was searched already) or a read error.
        if (!failed) pos = end;
        return false;
      }
    }
  }
};

LineReader::LineReader(std::unique_ptr<platform::ReadableFile> file, size_t blockSize)
    : impl_(std::make_unique<Impl>(std::move(file), blockSize)) {}

LineReader::~LineReader() = default;

bool LineReader::Next(std::string_view* piece) { return impl_->CutPiece(piece); }

bool LineReader::NextContaining(std::string_view needle, std::string_view* piece) {
  if (needle.size() < 2) {
    std::string_view p;
    while (impl_->CutPiece(&p)) {
      if (p.find(needle) != std::string_view::npos) {
        *piece = p;
        return true;
      }
    }
    return false;
  }
  return impl_->FindPieceWith(needle, piece);
}

void LineReader::LimitSearchForTesting(int level) { ActiveFinder() = ChooseFinder(level); }
