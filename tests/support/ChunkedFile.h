// For the tests of the line reader, unit tests and fuzz targets alike (header
// only): a file held in memory that is read in short reads, and the plain
// model of the pieces the reader must give.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/Env.h"

namespace spekolar::spktest {

// Each Read hands out at most `maxChunk` bytes, as a pipe or a network file
// may (so CR LF pairs and pieces fall across reads), and fails with -1 once
// the offset reaches `failAt`.
class ChunkedFile : public platform::ReadableFile {
 public:
  // What the reads asked for; kept outside the file, which its reader owns.
  struct Stats {
    size_t offset = 0;          // bytes handed out so far
    size_t largestRequest = 0;  // the largest n a Read asked for
  };

  explicit ChunkedFile(std::string data, size_t maxChunk = SIZE_MAX, size_t failAt = SIZE_MAX,
                       Stats* stats = nullptr)
      : data_(std::move(data)), maxChunk_(maxChunk), failAt_(failAt), stats_(stats ? stats : &own_) {}

  long Read(char* buf, size_t n) override {
    stats_->largestRequest = std::max(stats_->largestRequest, n);
    size_t& off = stats_->offset;
    if (off >= failAt_) return -1;
    const size_t count = std::min({n, maxChunk_, data_.size() - off, failAt_ - off});
    std::memcpy(buf, data_.data() + off, count);
    off += count;
    return static_cast<long>(count);
  }

 private:
  std::string data_;
  size_t maxChunk_;
  size_t failAt_;
  Stats own_;
  Stats* stats_;
};

// fgets(buf, limit + 1, f) on a text-mode stream, read after read to the
// end, one character at a time: CR LF reads as LF, a lone CR stays, a read
// ends after its LF or its limit-th character.
inline std::vector<std::string> FgetsPieces(const std::string& raw, size_t limit) {
  std::string text;
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
    text += raw[i];
  }
  std::vector<std::string> pieces;
  std::string current;
  for (char c : text) {
    current += c;
    if (c == '\n' || current.size() == limit) {
      pieces.push_back(current);
      current.clear();
    }
  }
  if (!current.empty()) pieces.push_back(current);
  return pieces;
}

}  // namespace spekolar::spktest
