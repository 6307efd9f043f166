#include "platform/TextLineReader.h"

namespace platform {

bool TextLineReader::Fill() {
  if (pos_ < len_) return true;
  if (atEnd_) return false;
  long got = file_->Read(buffer_, sizeof buffer_);
  if (got <= 0) {
    // A read error ends the file as well: fgets reports both alike.
    atEnd_ = true;
    return false;
  }
  pos_ = 0;
  len_ = static_cast<size_t>(got);
  return true;
}

int TextLineReader::NextByte() {
  if (!Fill()) return -1;
  return static_cast<unsigned char>(buffer_[pos_++]);
}

int TextLineReader::PeekByte() {
  if (!Fill()) return -1;
  return static_cast<unsigned char>(buffer_[pos_]);
}

bool TextLineReader::ReadLine(CString* line, size_t bufferSize) {
  line->Empty();
  if (bufferSize < 2) return false;
  std::string& out = line->str();
  const size_t limit = bufferSize - 1;
  while (out.size() < limit) {
    int c = NextByte();
    if (c < 0) break;
    // The CR may be the last byte of the buffer; PeekByte refills, so a
    // CR LF split over two reads still becomes one LF.
    if (c == '\r' && PeekByte() == '\n') c = NextByte();
    out += static_cast<char>(c);
    if (c == '\n') break;
  }
  return !out.empty();
}

}  // namespace platform
