#include "platform/SharedReadEnv.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/ChunkedFile.h"
#include "support/MemoryEnv.h"
#include "support/TestEnv.h"

namespace spekolar {

namespace {

using platform::SharedReadEnv;
using spktest::ChunkedFile;
using spktest::CountingEnv;
using spktest::MemoryEnv;

const size_t kBlock = SharedReadEnv::kBlockBytes;

// Hands its files out in short reads, failing at `failAt`.
class ShortReadsEnv : public MemoryEnv {
 public:
  size_t failAt = SIZE_MAX;
  platform::Status OpenForRead(const CString& path, std::unique_ptr<platform::ReadableFile>* out) override {
    auto it = files.find(path.str());
    if (it == files.end()) return platform::Status::kNotFound;
    *out = std::make_unique<ChunkedFile>(it->second, 5000, failAt);
    return platform::Status::kOk;
  }
};

struct Reading {
  std::string bytes;
  long last = 0;  // the result of the read that ended it: 0 or -1
};

Reading ReadAll(platform::Env& env, const char* path, size_t pace) {
  Reading r;
  std::unique_ptr<platform::ReadableFile> file;
  if (env.OpenForRead(path, &file) != platform::Status::kOk) return {"<not opened>", -1};
  std::string buffer(pace, '\0');
  while ((r.last = file->Read(buffer.data(), pace)) > 0) r.bytes.append(buffer.data(), r.last);
  return r;
}

std::string Pattern(size_t size, int seed) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + seed * 7 + i / 977) & 0xFF);
  return bytes;
}

// Tasks read file A at their own pace; a late one first reads file B to
// its end, by which time the others have passed A's first block. With
// `failAt`, the target's reads of A fail there.
TEST(SharedReadEnvTest, EveryReaderGetsTheWholeFileAndReadersTogetherReadItOnce) {
  struct Task {
    bool late;
    size_t pace;
  };
  struct Case {
    const char* what;
    std::vector<Task> tasks;
    int readsOfA;  // how often A is opened on the target and read to its end
    size_t failAt = SIZE_MAX;
  } cases[] = {
      {"one reader", {{false, 4096}}, 1},
      {"paces below, at and above the block", {{false, 7}, {false, kBlock}, {false, 3 * kBlock + 5}}, 1},
      {"a late reader reads the file again", {{false, 4096}, {true, 4096}}, 2},
      {"late readers share their read", {{false, 4096}, {true, 999}, {true, 2 * kBlock}}, 2},
      {"a read error reaches every reader", {{false, 100}, {false, 4096}}, 1, kBlock + 10},
  };
  ShortReadsEnv memory;
  memory.files["B"] = Pattern(3 * kBlock, 2);
  for (const Case& c : cases) {
    memory.files["A"] = Pattern(5 * kBlock + 123, 1);
    memory.failAt = c.failAt;
    const std::string a = memory.files["A"].substr(0, c.failAt);
    CountingEnv counting(&memory);
    SharedReadEnv shared(&counting);
    std::vector<Reading> got(c.tasks.size());
    std::vector<std::function<void()>> tasks;
    bool anyLate = false;
    for (size_t i = 0; i < c.tasks.size(); ++i) {
      const Task task = c.tasks[i];
      anyLate = anyLate || task.late;
      tasks.push_back([&, i, task] {
        if (task.late) got[i] = ReadAll(shared, "B", 4096);
        if (task.late && got[i].bytes != memory.files["B"]) return;
        got[i] = ReadAll(shared, "A", task.pace);
      });
    }
    shared.baton().Run(std::move(tasks));
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_TRUE(got[i].bytes == a && got[i].last == (c.failAt == SIZE_MAX ? 0 : -1)) << c.what << ", " << i;
    }
    EXPECT_EQ(counting.opens, c.readsOfA + (anyLate ? 1 : 0)) << c.what;
  }
}

}  // namespace

}  // namespace spekolar
