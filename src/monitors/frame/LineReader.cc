#include "monitors/frame/LineReader.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Bytes needed from a piece's start to decide where it ends: 999 characters
// and, when the 999th is a CR, the byte after it (an LF there makes the CR LF
// pair the piece's final "\n").
constexpr size_t kLookahead = LineReader::kMaxPiece + 1;

// First occurrence of `needle` (at least two bytes) in [begin, end), or
// null. With SSE2 it tests 16 candidate positions at once for the needle's
// first, second and last byte and compares the rest only where all three
// match; the second byte keeps the candidates rare for keys such as dates
// whose first and last digits recur in every line.
const char* FindNeedle(const char* begin, const char* end, std::string_view needle) {
  const size_t m = needle.size();
  if (static_cast<size_t>(end - begin) < m) return nullptr;
  const char* stop = end - m + 1;  // candidates start before stop
  const char* p = begin;
#if defined(__SSE2__)
  const __m128i first = _mm_set1_epi8(needle[0]);
  const __m128i second = _mm_set1_epi8(needle[1]);
  const __m128i last = _mm_set1_epi8(needle[m - 1]);
  auto candidates = [&](const char* at) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 1));
    __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + m - 1));
    __m128i hits = _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, second)),
                                 _mm_cmpeq_epi8(c, last));
    return static_cast<unsigned>(_mm_movemask_epi8(hits));
  };
  // Every load stays inside [begin, end): a candidate block starts at most
  // at stop - 16, so its last load ends at stop - 16 + m - 1 + 16 = end.
  while (stop - p >= 16) {
    unsigned mask = candidates(p);
    while (mask != 0) {
      const char* at = p + __builtin_ctz(mask);
      if (std::memcmp(at + 2, needle.data() + 2, m - 2) == 0) return at;
      mask &= mask - 1;
    }
    p += 16;
  }
#endif
  std::string_view rest(p, static_cast<size_t>(end - p));
  size_t found = rest.find(needle);
  return found == std::string_view::npos ? nullptr : p + found;
}

// The last LF in [begin, end), or null.
const char* FindLastLf(const char* begin, const char* end) {
  while (end != begin) {
    if (*--end == '\n') return end;
  }
  return nullptr;
}

}  // namespace

struct LineReader::Impl {
  std::unique_ptr<platform::ReadableFile> file;
  size_t blockSize;
  size_t capacity;
  std::unique_ptr<char[]> buf;
  size_t pos = 0;  // start of the next piece; always a piece boundary
  size_t end = 0;  // end of the bytes read so far
  bool eof = false;
  bool failed = false;

  Impl(std::unique_ptr<platform::ReadableFile> f, size_t block)
      : file(std::move(f)),
        blockSize(std::max<size_t>(block, 1)),
        // Room for one block behind an unfinished piece carried over.
        capacity(blockSize + kLookahead),
        buf(new char[capacity]) {}

  // Reads one more block behind the buffered bytes, moving the unread rest
  // to the front first when the block would not fit. False when nothing
  // more can come (end of file or a read error).
  bool ReadMore() {
    if (eof || failed) return false;
    if (capacity - end < blockSize) {
      std::memmove(buf.get(), buf.get() + pos, end - pos);
      end -= pos;
      pos = 0;
    }
    long n = file->Read(buf.get() + end, std::min(blockSize, capacity - end));
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
      char* start = buf.get() + pos;
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
        *piece = std::string_view(buf.get() + pos, avail);
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
    for (;;) {
      if (failed) return false;
      const char* base = buf.get();
      const char* from = base + pos;
      const char* to = base + end;
      const char* hit = FindNeedle(from, to, needle);
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
        hit = FindNeedle(from, to, needle);
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
