#include "platform/TextLineReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace platform {
namespace {

// Serves fixed bytes in reads of at most `chunk` bytes, so that a CR can be
// placed at the end of one read and its LF at the start of the next.
class MemoryFile : public ReadableFile {
 public:
  MemoryFile(std::string data, size_t chunk) : data_(std::move(data)), chunk_(chunk) {}
  long Read(char* buf, size_t n) override {
    size_t count = std::min({n, chunk_, data_.size() - pos_});
    std::memcpy(buf, data_.data() + pos_, count);
    pos_ += count;
    return static_cast<long>(count);
  }

 private:
  std::string data_;
  size_t chunk_;
  size_t pos_ = 0;
};

std::vector<std::string> ReadAll(const std::string& data, size_t bufferSize, size_t chunk) {
  MemoryFile file(data, chunk);
  TextLineReader reader(&file);
  std::vector<std::string> pieces;
  CString line;
  while (reader.ReadLine(&line, bufferSize)) pieces.push_back(line.str());
  EXPECT_EQ(line, "");
  return pieces;
}

TEST(TextLineReaderTest, ReadsLikeTextModeFgets) {
  const std::string a998(998, 'a');
  const std::string a999(999, 'a');
  const std::string a1000(1000, 'a');
  struct Case {
    std::string data;
    size_t bufferSize;
    std::vector<std::string> pieces;
  };
  const std::vector<Case> cases = {
      {"one\r\ntwo\nthree", 1000, {"one\n", "two\n", "three"}},
      {"lone\rCR\r\n", 1000, {"lone\rCR\n"}},
      {"end\r", 1000, {"end\r"}},
      {"\r\r\n\n", 1000, {"\r\n", "\n"}},
      {"", 1000, {}},
      // 999 characters after translation fit; the LF then comes alone.
      {a998 + "\r\n", 1000, {a998 + "\n"}},
      {a999 + "\r\n", 1000, {a999, "\n"}},
      {a1000 + "\r\nx", 1000, {a999, "a\n", "x"}},
      {a999 + "b\n", 1000, {a999, "b\n"}},
      // 399 for the credentials file.
      {std::string(400, 'k') + "\n", 400, {std::string(399, 'k'), "k\n"}},
      {"abc\n", 2, {"a", "b", "c", "\n"}},
  };
  for (const Case& c : cases) {
    for (size_t chunk : {size_t{1}, size_t{3}, size_t{1000}, size_t{4096}}) {
      EXPECT_EQ(ReadAll(c.data, c.bufferSize, chunk), c.pieces)
          << "data size " << c.data.size() << ", chunk " << chunk;
    }
  }
}

TEST(TextLineReaderTest, CrLfAcrossTheReadersOwnBufferBoundary) {
  // The reader fills 4096 bytes at a time: put the CR last in the first fill.
  std::string first(4095, 'x');
  std::string data = first + "\r\nnext\r\n";
  EXPECT_EQ(ReadAll(data, 8000, 1 << 20), (std::vector<std::string>{first + "\n", "next\n"}));
  // A piece boundary right before the LF: the CR LF still reads as one LF.
  EXPECT_EQ(ReadAll("ab\r\ncd", 3, 1 << 20), (std::vector<std::string>{"ab", "\n", "cd"}));
}

TEST(TextLineReaderTest, TooSmallBufferReadsNothing) {
  MemoryFile file("abc", 10);
  TextLineReader reader(&file);
  CString line = "stale";
  EXPECT_FALSE(reader.ReadLine(&line, 1));
  EXPECT_EQ(line, "");
  EXPECT_TRUE(reader.ReadLine(&line, 10));
  EXPECT_EQ(line, "abc");
}

}  // namespace
}  // namespace platform
