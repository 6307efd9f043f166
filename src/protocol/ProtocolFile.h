// Size-limited, append-only text file in the log directory.
//
// Each entry opens the file, checks its size, moves it aside to the single
// ".old" generation when it has grown strictly beyond maxSize, appends the
// entry and closes the file again, so other processes can read it between
// entries. An entry that could not be appended whole (a full disk) is cut
// back off, so the file never ends in half an entry for the next one to be
// glued to. Every failure is silent here: this file is where failures
// would be reported; FailedWrites counts them for the end of the pass.
// Until Open has been called nothing is written.
#pragma once

#include <cstdint>
#include <memory>

#include "text/CString.h"

namespace spekolar {

namespace platform {
class AppendableFile;
}

class ProtocolFile {
 public:
  ProtocolFile() = default;
  virtual ~ProtocolFile() = default;

  // Sets the paths; touches no file. A name without '.' gets ".log" for the
  // current file and ".old" for the old one; a name with '.' keeps its own
  // extension and the old file is name + ".old".
  virtual void Open(CString directory, CString name);
  // 0 means no limit.
  virtual void SetMaxSize(int32_t bytes);

  // withTime && dash:  "dd.mm.yyyy hh:mm:ss - text\n"
  // withTime && !dash: "dd.mm.yyyy hh:mm:ss;text\n"
  // !withTime:         22 blanks + "text\n"
  void WriteLine(CString text, bool withTime, bool dash);
  // withTime:            "dd.mm.yyyy hh:mm:ss - text\n"
  // !withTime && indent: 22 blanks + "text\n"
  // otherwise:           "text\n"
  void WriteText(CString text, bool withTime, bool indent);

  // Entries lost since construction or Reset: the file could not be opened
  // or the entry not appended whole. Writes before Open do not count.
  int FailedWrites() const { return failedWrites_; }
  // Whether an entry was refused because the file's path is a symbolic link
  // (never written through: see Env::OpenForAppend).
  bool RefusedLink() const { return refusedLink_; }

  const CString& LogPath() const { return logPath_; }
  const CString& OldPath() const { return oldPath_; }
  int32_t MaxSize() const { return maxSize_; }

  // Back to the not-opened state (tests).
  void Reset();

 private:
  void Append(const CString& entry);
  // Opens the current file for one entry; false (the entry counted as
  // lost) when it cannot be.
  bool OpenFile(std::unique_ptr<platform::AppendableFile>* file);

  CString logPath_;
  CString oldPath_;
  int32_t maxSize_ = 0;
  int failedWrites_ = 0;
  bool refusedLink_ = false;
};

}  // namespace spekolar
