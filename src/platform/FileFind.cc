#include "platform/FileFind.h"

namespace spekolar::platform {

bool FileFind::FindFile(const CString& pattern) {
  matches_ = GetEnv()->FindFiles(pattern);
  current_ = -1;
  return !matches_.empty();
}

bool FileFind::FindNextFile() {
  long count = static_cast<long>(matches_.size());
  if (current_ < count) ++current_;
  return current_ + 1 < count;
}

bool FileFind::Next() {
  long count = static_cast<long>(matches_.size());
  if (current_ < count) ++current_;
  return current_ < count;
}

CString FileFind::GetFilePath() const {
  if (current_ < 0 || current_ >= static_cast<long>(matches_.size())) return CString();
  return matches_[static_cast<size_t>(current_)].path;
}

CString FileFind::GetFileName() const {
  if (current_ < 0 || current_ >= static_cast<long>(matches_.size())) return CString();
  return matches_[static_cast<size_t>(current_)].name;
}

void FileFind::Close() {
  matches_.clear();
  current_ = -1;
}

}  // namespace spekolar::platform
