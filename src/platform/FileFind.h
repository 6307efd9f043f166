// Wildcard search over the files of one folder, in the manner of MFC's
// CFileFind, on top of Env::FindFiles (so fakes installed with ScopedEnv
// apply). All matches are collected when the search starts; every match,
// directories included, is reported.
//
// Two ways to walk the matches; both visit every match exactly once:
//
//   FileFind ff;                          // the usual form
//   if (!ff.FindFile(pattern)) { ...no match... }
//   while (ff.Next()) { use(ff.GetFilePath(), ff.GetFileName()); }
//
//   bool more = ff.FindFile(pattern);     // the Windows form
//   while (more) {
//     more = ff.FindNextFile();           // false for the last match,
//     use(ff.GetFilePath());              // whose data is still valid
//   }
//
// Do not mix the two in one walk.
#pragma once

#include <vector>

#include "platform/Env.h"
#include "text/CString.h"

namespace spekolar::platform {

class FileFind {
 public:
  FileFind() = default;
  virtual ~FileFind() = default;

  // Starts a search (ending any previous one) and positions before the
  // first match. True when there is at least one match.
  bool FindFile(const CString& pattern);
  // Makes the next match current. True while further matches follow it;
  // false when it is the last one (or there is none: then the current
  // match is empty), as Windows' FindNextFile.
  bool FindNextFile();
  // Makes the next match current; false, with no current match, once all
  // matches have been visited.
  bool Next();

  // The current match: absolute path in the file system's form, and the
  // last path component. Empty when there is no current match.
  CString GetFilePath() const;
  CString GetFileName() const;

  // Ends the search.
  void Close();

 private:
  std::vector<FoundFile> matches_;
  // Index of the current match; -1 before the first, size() after the last.
  long current_ = -1;
};

}  // namespace spekolar::platform
