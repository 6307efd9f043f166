#include "monitors/frame/LineReader.h"

#include <algorithm>
#include <cstring>

namespace {

// Bytes needed from a piece's start to decide where it ends: 999 characters
// and, when the 999th is a CR, the byte after it (an LF there makes the CR LF
// pair the piece's final "\n").
constexpr size_t kLookahead = LineReader::kMaxPiece + 1;

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
};

LineReader::LineReader(std::unique_ptr<platform::ReadableFile> file, size_t blockSize)
    : impl_(std::make_unique<Impl>(std::move(file), blockSize)) {}

LineReader::~LineReader() = default;

bool LineReader::Next(std::string_view* piece) { return impl_->CutPiece(piece); }

bool LineReader::NextContaining(std::string_view needle, std::string_view* piece) {
  std::string_view p;
  while (impl_->CutPiece(&p)) {
    if (p.find(needle) != std::string_view::npos) {
      *piece = p;
      return true;
    }
  }
  return false;
}
