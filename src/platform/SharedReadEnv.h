// An Env decorator under which readers of the same file share its reads.
//
// Files opened for reading through it that are read at the same time (by
// tasks of one TaskBaton) are read from the target once: a shared file
// keeps the blocks read from it until every reader attached to it has
// passed them, so it holds about one block while its readers move
// together. A reader that needs a block not yet read stalls its task; when
// every task stalls, the baton's idle step reads the next block of each
// file a reader waits for. A reader that opens a file whose first block has
// already been dropped starts a shared file of its own (read again from the
// start, shared with whoever comes after it): correct, just not shared, so
// correctness never depends on the readers' pace.
//
// Files are told apart by their path as the caller gives it. Each reader
// gets exactly the bytes the target's reads gave, in their order; a read
// error of the target reaches every reader at the same place.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/EnvWrapper.h"
#include "platform/TaskBaton.h"

namespace spekolar::platform {

class SharedReadEnv : public EnvWrapper {
 public:
  // The size of the blocks read from the target.
  static constexpr size_t kBlockBytes = 256 * 1024;

  // `target` is not owned and must outlive this object and every file
  // opened through it.
  explicit SharedReadEnv(Env* target)
      : EnvWrapper(target), baton_([this] { ReadWaitedBlocks(); }) {}

  Status OpenForRead(const CString& path, std::unique_ptr<ReadableFile>* out) override;

  // The tasks whose reads are shared; its idle step reads the next block
  // of every shared file a reader waits for. Readers used outside its tasks
  // read each block themselves when they need it.
  TaskBaton& baton() { return baton_; }

 private:
  class Reader;
  struct SharedFile {
    CString path;
    std::unique_ptr<ReadableFile> source;
    std::deque<std::string> blocks;  // the blocks still held, in file order
    std::vector<std::string> spare;  // dropped blocks, to be read into again
    int64_t firstBlock = 0;          // index of blocks.front()
    bool ended = false;              // the target gave 0: end of file
    bool failed = false;             // the target gave -1
    bool waited = false;             // a reader waits for the next block
    std::vector<Reader*> readers;
    void ReadNextBlock();
    void DropPassedBlocks();
  };

  void ReadWaitedBlocks();
  void Detach(Reader* reader);

  TaskBaton baton_;
  std::vector<std::unique_ptr<SharedFile>> files_;
};

}  // namespace spekolar::platform
