// Reads a file as the C runtime's fgets into a fixed buffer in text mode
// would: a CR LF pair reads as one LF, a lone CR stays, and one read gives at
// most maxPiece characters (the buffer's size less one: 999 for the watched
// protocol files, 399 for the credentials file) counted after that
// translation, so a longer line arrives as consecutive pieces, each one
// "line" to its reader. A piece ends with its LF when the LF fit into it:
// with 999, a line of 999 characters and its LF gives the 999 characters and
// then a piece "\n"; 998 characters, CR and LF give one piece of 998
// characters and "\n". This is the program's one implementation of that rule.
//
// The reader works in large blocks and hands out views into its buffer (valid
// until the next call), so a file of any size is read with bounded memory
// (one block plus one piece). A piece made of a translated CR LF holds the
// translated form: the reader rewrites the buffer in place.
//
// NUL bytes and binary content are ordinary bytes. fgets followed by strlen
// would cut a line at its first NUL; the views here carry their length, so
// the bytes after a NUL stay visible to the monitors' substring searches.
// A CR as the last byte of the file stays a CR. Ctrl-Z (0x1A) is an
// ordinary byte as well, not an end of file.
//
// A read error ends reading: pieces wholly read before it are handed out,
// the piece that needed the failed read is not, and every later call
// returns false.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "platform/Env.h"

namespace spekolar {

class NeedleSet;

namespace platform {

class LineReader {
 public:
  // The pieces of the watched protocol files: fgets into 1000 bytes.
  static constexpr size_t kMaxPiece = 999;
  // The largest maxPiece a reader takes.
  static constexpr size_t kLongestPiece = 4095;
  static constexpr size_t kDefaultBlockSize = size_t{1} << 20;

  // blockSize: how many bytes one Read asks for (at least 1; tests use tiny
  // blocks to put CR LF pairs and pieces across block boundaries).
  // maxPiece: the fgets buffer's size less one, at most kLongestPiece; 0 (a
  // buffer of one byte) reads nothing at all.
  explicit LineReader(std::unique_ptr<ReadableFile> file, size_t blockSize = kDefaultBlockSize,
                      size_t maxPiece = kMaxPiece);
  ~LineReader();
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // The next piece, exactly as fgets would return it (LF included when it
  // fit). False at end of file or on a read error.
  bool Next(std::string_view* piece);

  // The next piece that contains `needle`, skipping the pieces before it;
  // the same result as calling Next until a piece contains the needle, only
  // faster (the block is searched for the needle first, with the vectors
  // VectorLevel allows). A needle that straddles a piece boundary is not
  // found, as with Next. The needle must hold neither CR nor LF. An empty
  // needle is in every piece.
  bool NextContaining(std::string_view needle, std::string_view* piece);

  // The next piece that contains one of the needles of the set; the same
  // result as calling Next until a piece holds one of them (a set with an
  // empty needle takes every piece). The needles must hold neither CR nor
  // LF, and the set must stay alive during the call.
  bool NextContainingAny(const NeedleSet& needles, std::string_view* piece);

  // The last piece that the latest NextContaining or NextContainingAny call
  // passed over before the piece it handed out, or before the end of the
  // file when it found none; false when it passed over none (the piece
  // followed the previous one directly, or the call was Next). The piece is
  // as Next would have given it (CR LF read as LF). Valid until the next
  // call of any method but this one.
  bool LastSkipped(std::string_view* piece);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform

}  // namespace spekolar
