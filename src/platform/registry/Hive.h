// The registry store as the process sees it: one object that owns the
// store file's parsed contents, the key handles handed out on it and the
// result of the latest read. The stand-ins for the Windows registry
// functions (Registry.h) work on CurrentRegistryHive().
//
// Contract:
// - The file (RegistryStorePath(), looked up again at every load) is read
//   and parsed once and kept for as long as any handle of the hive is open,
//   so a loop over a key's values costs one read; after the call that closes
//   the last handle, or any call made while none is open, it is dropped and
//   the next call reads the file anew.
// - A missing file holds no keys and may be written; a file that cannot be
//   read counts as unparsed and is never replaced by the creation of a key.
// - A change is written at once through Env::WriteFileAtomically, and only
//   when the edited bytes read back as the store plus the change
//   (ERROR_WRITE_FAULT otherwise, nothing written). An edit of the
//   operator's file changes only the lines it must (ExportEditor.h).
// - Handles belong to the hive that handed them out: another hive refuses
//   them, and destroying a hive releases the handles still open on it.
//
// The process has one hive for its whole life. A test installs a fresh one
// with ScopedRegistryHive, so that no kept contents or open handles cross
// from one test into the next.
#pragma once

#include <optional>
#include <set>
#include <string>

#include "platform/Env.h"
#include "platform/Registry.h"
#include "platform/registry/ExportParser.h"
#include "text/CString.h"

namespace spekolar::platform {

// A root handle knows only its root; handles handed out by the open and
// create calls add the key path and the rights asked for.
struct HKEY__ {
  RegistryRoot root;
};

namespace registry {

struct OpenKey : HKEY__ {
  std::string path;
  REGSAM rights = 0;
};

}  // namespace registry

class RegistryHive {
 public:
  RegistryHive() = default;
  ~RegistryHive();
  RegistryHive(const RegistryHive&) = delete;
  RegistryHive& operator=(const RegistryHive&) = delete;

  struct Contents {
    CString path;
    Status status = Status::kOk;  // of the read; kNotFound for a missing file
    registry::ExportFile file;
  };
  // The store as it is on disk, or as kept for the open handles.
  Contents& Load();
  // Ends one registry call: drops the kept contents unless a handle is open.
  void EndCall();

  // Whether the process may change the store file (or create it).
  bool Writable() const;

  HKEY OpenHandle(RegistryRoot root, std::string path, REGSAM rights);
  bool HoldsHandle(HKEY key) const;
  // False for a handle this hive did not hand out (or already closed).
  bool CloseHandle(HKEY key);

  // Adds an empty key: a new block at the end of the file.
  LONG AddKey(RegistryRoot root, const std::string& path);
  // Sets a value: its line(s) replaced where it stands, or a new line after
  // the last one of its key, or a new block for a key the file does not
  // list. A store that could not be parsed is replaced by this write.
  LONG SetValue(RegistryRoot root, const std::string& path, RegistryStoreValue value);

  // The result of the latest read (kOk before the first).
  Status LastRead() const { return lastRead_; }

 private:
  LONG WriteStore(const std::string& bytes, const RegistryStore& expected);
  LONG WriteFresh(const RegistryStore& expected);

  std::set<HKEY> handles_;
  std::optional<Contents> contents_;
  Status lastRead_ = Status::kOk;
};

// The hive the registry functions use: the installed one, else the
// process's own.
RegistryHive& CurrentRegistryHive();

// Installs a hive for the lifetime of the object (tests): a fresh one of its
// own, or the one given; the previous one is restored afterwards.
class ScopedRegistryHive {
 public:
  ScopedRegistryHive();
  explicit ScopedRegistryHive(RegistryHive* hive);
  ~ScopedRegistryHive();
  ScopedRegistryHive(const ScopedRegistryHive&) = delete;
  ScopedRegistryHive& operator=(const ScopedRegistryHive&) = delete;

 private:
  RegistryHive own_;
  RegistryHive* previous_;
};

}  // namespace spekolar::platform
