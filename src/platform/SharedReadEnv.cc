#include "platform/SharedReadEnv.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace spekolar::platform {

// One reader's place in its shared file.
class SharedReadEnv::Reader : public ReadableFile {
 public:
  Reader(SharedReadEnv* env, SharedFile* file) : env_(env), file_(file) {}
  ~Reader() override { env_->Detach(this); }

  long Read(char* buf, size_t n) override {
    for (;;) {
      const int64_t held = file_->firstBlock + static_cast<int64_t>(file_->blocks.size());
      if (block_ < held) {
        const std::string& bytes = file_->blocks[static_cast<size_t>(block_ - file_->firstBlock)];
        const size_t count = std::min(n, bytes.size() - offset_);
        std::memcpy(buf, bytes.data() + offset_, count);
        offset_ += count;
        if (offset_ == bytes.size()) {
          ++block_;
          offset_ = 0;
          file_->DropPassedBlocks();
        }
        return static_cast<long>(count);
      }
      if (file_->failed) return -1;
      if (file_->ended || n == 0) return 0;
      file_->waited = true;
      env_->baton_.Stall();
    }
  }

  int64_t block() const { return block_; }
  SharedFile* file() const { return file_; }

 private:
  SharedReadEnv* env_;
  SharedFile* file_;
  int64_t block_ = 0;  // the block the next byte comes from
  size_t offset_ = 0;  // in that block
};

void SharedReadEnv::SharedFile::ReadNextBlock() {
  waited = false;
  if (ended || failed) return;
  // A dropped block's memory is used again: a fresh one would be mapped,
  // filled with zeros and given back to the system for every block.
  std::string block;
  if (!spare.empty()) {
    block = std::move(spare.back());
    spare.pop_back();
  }
  block.resize(kBlockBytes);
  const long count = source->Read(block.data(), block.size());
  if (count < 0) {
    failed = true;
  } else if (count == 0) {
    ended = true;
  } else {
    block.resize(static_cast<size_t>(count));
    blocks.push_back(std::move(block));
  }
}

void SharedReadEnv::SharedFile::DropPassedBlocks() {
  int64_t slowest = firstBlock + static_cast<int64_t>(blocks.size());
  for (const Reader* reader : readers) slowest = std::min(slowest, reader->block());
  while (firstBlock < slowest) {
    if (spare.size() < 2) spare.push_back(std::move(blocks.front()));
    blocks.pop_front();
    ++firstBlock;
  }
}

Status SharedReadEnv::OpenForRead(const CString& path, std::unique_ptr<ReadableFile>* out) {
  SharedFile* shared = nullptr;
  for (const std::unique_ptr<SharedFile>& file : files_) {
    if (file->path == path && file->firstBlock == 0) shared = file.get();
  }
  if (shared == nullptr) {
    std::unique_ptr<ReadableFile> source;
    const Status status = EnvWrapper::OpenForRead(path, &source);
    if (status != Status::kOk) return status;
    files_.push_back(std::make_unique<SharedFile>());
    shared = files_.back().get();
    shared->path = path;
    shared->source = std::move(source);
  }
  auto reader = std::make_unique<Reader>(this, shared);
  shared->readers.push_back(reader.get());
  *out = std::move(reader);
  return Status::kOk;
}

void SharedReadEnv::ReadWaitedBlocks() {
  for (const std::unique_ptr<SharedFile>& file : files_) {
    if (file->waited) file->ReadNextBlock();
  }
}

void SharedReadEnv::Detach(Reader* reader) {
  SharedFile* file = reader->file();
  file->readers.erase(std::find(file->readers.begin(), file->readers.end(), reader));
  if (file->readers.empty()) {
    files_.erase(std::find_if(files_.begin(), files_.end(),
                              [file](const std::unique_ptr<SharedFile>& f) { return f.get() == file; }));
  } else {
    file->DropPassedBlocks();
  }
}

}  // namespace spekolar::platform
