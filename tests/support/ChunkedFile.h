// A file held in memory for the tests of the readers, unit tests and fuzz
// targets alike: each Read hands out at most `maxChunk` bytes, as a pipe or a
// network file may (so CR LF pairs and pieces fall across reads), and fails
// with -1 once the offset reaches `failAt`. Header only.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "platform/Env.h"

namespace spktest {

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

}  // namespace spktest
