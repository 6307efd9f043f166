// A pass that writes nothing anywhere (--dry-run).
//
// DryRunEnv stands between the pass and the system: every call that would
// change a file (appends, deletes, renames, whole-file writes such as the
// creation of the registry key, the lock file) and the start of a command
// becomes a DryRunAction for a sink instead, and nothing reaches the disk.
// So that the pass still takes the turns a real one would, the changes are
// kept in memory and every later read, search and size of a changed file
// sees them: SPEKOLAR.EML moved aside is gone for the rest of the pass, so
// the first e-mail line creates a new one with its address lines; a run
// protocol over its size limit is moved to .old; a created registry key is
// there when it is read. Reads of files the pass did not change go to the
// system.
//
// DryRunReport prints the actions, and the message rows that the session
// hands over instead of inserting them, grouped by section in the order in
// which the sections ran: per group what went to SPEKOLAR.log, to
// SPEKOLAR.TXT, to the notification files, the other file operations, the
// message rows and the command, in that order.
#pragma once

#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "cli/ConsoleText.h"
#include "platform/EnvWrapper.h"
#include "db/MessageRecord.h"
#include "state/ProgramState.h"
#include "text/CString.h"

namespace spekolar::cli {

struct DryRunAction {
  enum class Kind { kAppend, kDelete, kRename, kWrite, kLock, kCommand };
  Kind kind = Kind::kAppend;
  // The file (the source of a rename), or the command line.
  CString path;
  // The new name of a rename.
  CString target;
  // The bytes appended, or the whole content written.
  std::string bytes;
};

using DryRunSink = std::function<void(const DryRunAction& action)>;

class DryRunEnv : public platform::EnvWrapper {
 public:
  // `sink` may be empty: the actions are then only kept from the disk.
  DryRunEnv(platform::Env* target, DryRunSink sink);

  platform::Status OpenForRead(const CString& path,
                               std::unique_ptr<platform::ReadableFile>* out) override;
  // A file that cannot be read now (a folder, a FIFO, no right) is refused
  // with that reason, as the real open would most likely be; any other is
  // opened in memory and never fails. The system is not asked whether the
  // pass may write there: a dry run is often started by someone who may not.
  platform::Status OpenForAppend(const CString& path,
                                 std::unique_ptr<platform::AppendableFile>* out) override;
  platform::Status DeleteFile(const CString& path) override;
  platform::Status RenameFile(const CString& from, const CString& to) override;
  platform::Status ReadWholeFile(const CString& path, std::string* out) override;
  platform::Status WriteFileAtomically(const CString& path, const std::string& data) override;
  platform::Status ReplaceOwnFile(const CString& path, const std::string& data) override {
    return WriteFileAtomically(path, data);  // kept in memory like any write
  }
  // The system's matches less the files the pass deleted or moved away;
  // a file the pass created is found by its exact name (not by wildcards,
  // which the pass never uses for its own files).
  std::vector<platform::FoundFile> FindFiles(const CString& pattern) override;
  platform::Status GetFileFacts(const CString& path, platform::FileFacts* out) override;
  // Runs nothing; 0, as a started command that succeeds.
  int RunCommand(const CString& command) override;
  // Takes no lock and creates no file; always kOk.
  platform::Status LockFile(const CString& path, int64_t waitMillis,
                            std::unique_ptr<platform::FileLock>* out, CString* systemError) override;

 private:
  struct Shadow {
    bool present = false;
    std::string bytes;
  };
  class ShadowFile;

  // The in-memory state of the file, read from the system on first use;
  // null (with the reason) when the file cannot be read.
  Shadow* Touch(const CString& path, platform::Status* status);
  // The shadow of a path already touched, or null.
  const Shadow* Find(const CString& path) const;
  // Hands one action to the sink.
  void Emit(DryRunAction::Kind kind, const CString& path, std::string bytes = {},
            const CString& target = {});

  std::map<std::string, Shadow> shadows_;
  DryRunSink sink_;
};

class DryRunReport : public PassObserver {
 public:
  DryRunReport(std::FILE* out, ConsoleEncoding encoding);

  void Take(const DryRunAction& action);
  void TakeMessageRow(const MessageRecord& record);

  void SectionBegins(const CString& upperName) override;
  void SectionEnds(const CString& upperName) override;
  // Prints what is left: the end of the pass.
  void Finish();

 private:
  enum Category { kRunProtocol, kFindings, kNotifications, kFiles, kMessageRows, kCommand, kCount };
  void Add(Category category, const std::string& line);
  void Flush();

  std::FILE* out_;
  ConsoleEncoding encoding_;
  CString group_;
  std::vector<std::string> lines_[kCount];
};

}  // namespace spekolar::cli
