// Line reading in the manner of the Windows C runtime's fgets on a file
// opened in text mode, for small files read line by line (the credentials
// file). CR LF reads as LF; a CR not followed by LF stays as it is.
#pragma once

#include <cstddef>

#include "platform/Env.h"
#include "text/CString.h"

namespace platform {

class TextLineReader {
 public:
  // Reads from `file`, which must outlive the reader; the reader does not
  // own it.
  explicit TextLineReader(ReadableFile* file) : file_(file) {}
  virtual ~TextLineReader() = default;
  TextLineReader(const TextLineReader&) = delete;
  TextLineReader& operator=(const TextLineReader&) = delete;

  // Reads as fgets(buf, bufferSize, f) would: up to and including the next
  // LF, but at most bufferSize - 1 characters counted after the CR LF
  // translation. A longer line comes in pieces over several calls; the LF
  // belongs to the piece in which it fits. Returns false, with `line`
  // empty, at end of file (or on a read error) when nothing was read, and
  // always when bufferSize is below 2.
  bool ReadLine(CString* line, size_t bufferSize);

 private:
  // Next byte of the file, or -1 at end of file or on a read error.
  int NextByte();
  // The byte NextByte would return, without taking it.
  int PeekByte();
  bool Fill();

  ReadableFile* file_;
  char buffer_[4096];
  size_t pos_ = 0;
  size_t len_ = 0;
  bool atEnd_ = false;
};

}  // namespace platform
