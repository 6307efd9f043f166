// Reads a watched protocol file as the C runtime's fgets into a 1000-byte
// buffer in text mode would: a CR LF pair reads as one LF, a lone CR stays,
// and one read gives at most 999 characters counted after that translation,
// so a longer line arrives as consecutive pieces, each one "line" to the
// monitors. A piece ends with its LF when the LF fit into it.
//
// The reader works in large blocks and hands out views into its buffer (valid
// until the next call), so a file of any size is read with bounded memory.
// NUL bytes and binary content are ordinary bytes.
#pragma once

#include <memory>
#include <string_view>

#include "platform/Env.h"

class LineReader {
 public:
  static constexpr size_t kMaxPiece = 999;

  explicit LineReader(std::unique_ptr<platform::ReadableFile> file);
  ~LineReader();
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // The next piece, exactly as fgets would return it (LF included when it
  // fit). False at end of file or on a read error.
  bool Next(std::string_view* piece);

  // The next piece that contains `needle`, skipping the pieces before it;
  // the same result as calling Next until a piece contains the needle, only
  // faster (the block is searched for the needle first). A needle that
  // straddles a piece boundary is not found, as with Next. The needle must
  // hold neither CR nor LF.
  bool NextContaining(std::string_view needle, std::string_view* piece);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
