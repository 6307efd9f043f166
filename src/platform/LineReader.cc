#include "platform/LineReader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "text/NeedleSet.h"
#include "text/VectorLevel.h"

#if SPK_X86_VECTORS
#include <immintrin.h>
#endif

namespace spekolar::platform {

namespace {

// Needle searches: the first occurrence of `needle` (at least two bytes) in
// [begin, end), or null.
const char* FindPortable(const char* begin, const char* end, std::string_view needle) {
  std::string_view text(begin, static_cast<size_t>(end - begin));
  size_t found = text.find(needle);
  return found == std::string_view::npos ? nullptr : begin + found;
}

#if SPK_X86_VECTORS
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

// The widest search VectorLevel allows.
const char* FindNeedle(const char* begin, const char* end, std::string_view needle) {
#if SPK_X86_VECTORS
  switch (VectorLevel()) {
    case 2: return FindAvx2(begin, end, needle);
    case 1: return FindSse2(begin, end, needle);
    default: break;
  }
#endif
  return FindPortable(begin, end, needle);
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

// Room in front of the block for the unfinished piece carried over from the
// previous block (always fewer than lookahead bytes). Every block is read
// to the same page-aligned place behind it: the kernel's copy into a
// misaligned buffer measured three times slower than into an aligned one.
constexpr size_t kHeadRoom = 4096;
static_assert(kHeadRoom >= LineReader::kLongestPiece + 1);

// What a block search looks for: one needle (the fastest search) or any
// needle of a set.
struct Search {
  std::string_view needle;            // used when set is null
  const NeedleSet* set = nullptr;
  size_t maxLength = 0;               // longest needle

  // The first needle that begins at or after `from` and ends by `to`, and
  // its length (for a set: the shortest one beginning there); null if none.
  const char* Find(const char* from, const char* to, size_t* length) const {
    if (set == nullptr) {
      *length = needle.size();
      return FindNeedle(from, to, needle);
    }
    size_t at = set->FindFirst(std::string_view(from, static_cast<size_t>(to - from)), length);
    return at == std::string_view::npos ? nullptr : from + at;
  }
};

}  // namespace

struct LineReader::Impl {
  std::unique_ptr<ReadableFile> file;
  size_t blockSize;
  size_t maxPiece;
  // Bytes needed from a piece's start to decide where it ends: maxPiece
  // characters and, when the last of them is a CR, the byte after it (an LF
  // there makes the CR LF pair the piece's final "\n").
  size_t lookahead;
  std::unique_ptr<char[]> storage;
  char* buf;       // page-aligned start within storage
  size_t pos = 0;  // start of the next piece; always a piece boundary
  size_t end = 0;  // end of the bytes read so far
  bool eof;        // from the start when maxPiece is 0: fgets reads nothing
                   // into a buffer of one byte
  bool failed = false;

  // The pieces that a search passes over. Bytes from skipFrom up to pos
  // were neither handed out nor passed over yet when the search began;
  // every piece in [skipFrom, a hit's piece) is passed over. The last one
  // is kept as bytes of the buffer (lazyFrom..lazyTo: the last piece of that
  // region) until the buffer moves, and then as a copy in `saved`.
  size_t skipFrom = 0;
  bool lazy = false;
  size_t lazyFrom = 0, lazyTo = 0;
  bool savedValid = false;
  std::string saved;

  Impl(std::unique_ptr<ReadableFile> f, size_t block, size_t piece)
      : file(std::move(f)),
        blockSize(std::max<size_t>(block, 1)),
        maxPiece(std::min(piece, kLongestPiece)),
        lookahead(maxPiece + 1),
        storage(new char[kHeadRoom + blockSize + 4095]),
        buf(reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(storage.get()) + 4095) & ~uintptr_t{4095})),
        eof(maxPiece == 0) {}

  // Copies the last piece of [from, to) into `saved` as Next would give it.
  // Both ends are piece boundaries and the region is not empty. Within a
  // line the pieces are maxPiece characters from its start (or from `from`, a
  // boundary); only a final CR LF reads as one character.
  void SaveLastPiece(size_t from, size_t to) {
    const char* a = buf + from;
    const char* b = buf + to;
    const char* lf = b - 1 > a ? FindLastLf(a, b - 1) : nullptr;
    const char* lineStart = lf != nullptr ? lf + 1 : a;
    const bool crlf = b - lineStart >= 2 && b[-1] == '\n' && b[-2] == '\r';
    const size_t chars = static_cast<size_t>(b - lineStart) - (crlf ? 1 : 0);
    const char* pieceStart = lineStart + (chars - 1) / maxPiece * maxPiece;
    if (crlf) {
      saved.assign(pieceStart, static_cast<size_t>(b - 2 - pieceStart));
      saved += '\n';
    } else {
      saved.assign(pieceStart, static_cast<size_t>(b - pieceStart));
    }
    savedValid = true;
  }

  // Called whenever a search hands out a piece at pos or ends at the end
  // of the file: the region before it holds the passed-over pieces.
  void NoteSkippedBefore(size_t at) {
    if (at > skipFrom) {
      lazy = true;
      lazyFrom = skipFrom;
      lazyTo = at;
    }
  }

  // Moves the unread rest (fewer than lookahead bytes: callers read more
  // only when the rest does not make a piece) to just before the block and
  // reads the next block behind it. False when nothing more can come (end
  // of file or a read error).
  bool ReadMore() {
    if (eof || failed) return false;
    // Passed-over pieces about to leave the buffer: keep the last one.
    if (lazy) {
      SaveLastPiece(lazyFrom, lazyTo);
      lazy = false;
    } else if (pos > skipFrom) {
      SaveLastPiece(skipFrom, pos);
    }
    size_t rest = end - pos;
    std::memmove(buf + kHeadRoom - rest, buf + pos, rest);
    pos = kHeadRoom - rest;
    skipFrom = pos;
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

  // Starts a call that hands out the next piece: nothing passed over yet.
  void BeginCall() {
    lazy = false;
    savedValid = false;
    skipFrom = pos;
  }

  // Cuts the piece that begins at pos, reading more when the buffered bytes
  // do not decide its end.
  bool CutPiece(std::string_view* piece) {
    for (;;) {
      if (failed) return false;
      char* start = buf + pos;
      size_t avail = end - pos;
      size_t span = std::min(avail, lookahead);
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
        if (raw <= maxPiece) {
          *piece = std::string_view(start, raw);
          pos += raw;
          return true;
        }
        // The LF comes right after maxPiece characters and does not fit:
        // those characters now.
        *piece = std::string_view(start, maxPiece);
        pos += maxPiece;
        return true;
      }
      if (avail >= lookahead) {
        *piece = std::string_view(start, maxPiece);
        pos += maxPiece;
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
  // line's start (or from pos) the pieces of that line are maxPiece bytes each
  // until its last piece, because the only CR LF of a line is at its end.
  bool FindPieceWith(const Search& search, std::string_view* piece) {
    const size_t longest = search.maxLength;
    size_t searched = 0;  // bytes from pos on in which no hit starts
    for (;;) {
      if (failed) return false;
      const char* base = buf;
      const char* to = base + end;
      size_t length = 0;
      const char* hit = search.Find(base + pos + searched, to, &length);
      while (hit != nullptr) {
        const char* from = base + pos;
        const char* lf = FindLastLf(from, hit);
        const char* lineStart = lf != nullptr ? lf + 1 : from;
        const char* pieceStart = lineStart + (hit - lineStart) / maxPiece * maxPiece;
        if (hit + length <= pieceStart + maxPiece) {
          // No LF lies between pieceStart and the hit's end, so the piece
          // that begins there holds the whole hit, whatever its end.
          pos = static_cast<size_t>(pieceStart - base);
          NoteSkippedBefore(pos);
          return CutPiece(piece);
        }
        // The hit straddles the end of a full maxPiece-character piece: that
        // piece is not final (the next byte is a needle byte, not an LF).
        // No needle begins in it before the hit, and none that begins at the
        // hit fits; one needle alone cannot fit later in the piece either,
        // so its search goes on at the piece's end. A set goes on after the
        // hit, where a shorter needle may still fit.
        if (search.set == nullptr) {
          pos = static_cast<size_t>(pieceStart + maxPiece - base);
          hit = search.Find(base + pos, to, &length);
        } else {
          pos = static_cast<size_t>(pieceStart - base);
          hit = search.Find(hit + 1, to, &length);
        }
      }
      // No piece that begins in the buffer holds the needle, except maybe
      // the unfinished last one. Keep the bytes from the last piece
      // boundary that lies before the end of the buffer: after an LF, or at
      // maxPiece-byte steps from the last line's start (a boundary right at the
      // end could still turn out to split a CR LF pair).
      const char* from = base + pos;
      const char* lf = FindLastLf(from, to);
      const char* lineStart = lf != nullptr ? lf + 1 : from;
      if (to > lineStart) {
        lineStart += (to - lineStart - 1) / maxPiece * maxPiece;
      }
      pos = static_cast<size_t>(lineStart - base);
      // The kept bytes were searched, but for the last longest - 1 of them,
      // which may begin a hit that ends in the next block.
      searched = end - pos >= longest ? end - pos - (longest - 1) : 0;
      if (!ReadMore()) {
        // End of file (the kept tail was searched already) or a read error.
        if (!failed) {
          pos = end;
          NoteSkippedBefore(pos);
        }
        return false;
      }
    }
  }

  bool LastSkipped(std::string_view* piece) {
    if (lazy) {
      SaveLastPiece(lazyFrom, lazyTo);
      lazy = false;
    }
    if (!savedValid) return false;
    *piece = saved;
    return true;
  }
};

LineReader::LineReader(std::unique_ptr<ReadableFile> file, size_t blockSize, size_t maxPiece)
    : impl_(std::make_unique<Impl>(std::move(file), blockSize, maxPiece)) {}

LineReader::~LineReader() = default;

bool LineReader::Next(std::string_view* piece) {
  impl_->BeginCall();
  return impl_->CutPiece(piece);
}

bool LineReader::NextContaining(std::string_view needle, std::string_view* piece) {
  impl_->BeginCall();
  if (needle.size() < 2) {
    // Piece by piece; each one passed over is kept as the last skipped.
    std::string_view p;
    while (impl_->CutPiece(&p)) {
      impl_->skipFrom = impl_->pos;  // the copy below keeps what was passed over
      if (p.find(needle) != std::string_view::npos) {
        *piece = p;
        return true;
      }
      impl_->saved.assign(p);
      impl_->savedValid = true;
    }
    return false;
  }
  Search search;
  search.needle = needle;
  search.maxLength = needle.size();
  return impl_->FindPieceWith(search, piece);
}

bool LineReader::NextContainingAny(const NeedleSet& needles, std::string_view* piece) {
  if (needles.HasEmptyNeedle()) return Next(piece);
  impl_->BeginCall();
  if (needles.MaxLength() == 0) {
    // No needle at all: every piece is passed over.
    std::string_view p;
    while (impl_->CutPiece(&p)) {
      impl_->skipFrom = impl_->pos;
      impl_->saved.assign(p);
      impl_->savedValid = true;
    }
    return false;
  }
  Search search;
  search.set = &needles;
  search.maxLength = needles.MaxLength();
  return impl_->FindPieceWith(search, piece);
}

bool LineReader::LastSkipped(std::string_view* piece) { return impl_->LastSkipped(piece); }

}  // namespace spekolar::platform
