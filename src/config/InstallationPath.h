// The product's installation directory, read once from the registry when
// the program starts, and the log directory derived from it.
//
// The product keeps its installation directory in the value "Path" of the
// key Software\KORVANE\PELDAVORN under HKEY_LOCAL_MACHINE. A missing key, a
// missing value, a value of another type than string, number, binary or
// multi-string, or a registry that refuses access all give an empty
// directory, and so an empty log directory; the object keeps why (store
// status, the open's result) for its callers to report.
//
// Reading needs no write access: the key is opened for reading, and only a
// key that is missing is created, which does need it. A pass run by a user
// who may read but not change the registry (a service account, a monitoring
// engine's user) so finds its log directory.
#pragma once

#include "platform/Env.h"
#include "platform/Registry.h"
#include "text/CString.h"

namespace spekolar {

class InstallationPath {
 public:
  // Opens the key for reading (KEY_READ) and keeps "Path" as text. Only when
  // the key is missing is it created empty, with query-value, set-value and
  // create-subkey rights, where the registry may be written. Writes no
  // value.
  InstallationPath();
  // Reads "Path" for reading only (KEY_READ): a missing key stays missing
  // and nothing is written (for checking an installation without acting on
  // it).
  struct ReadOnly {};
  explicit InstallationPath(ReadOnly);
  virtual ~InstallationPath() = default;

  // The product's key below HKEY_LOCAL_MACHINE, for messages.
  static const char* KeyPath();

  // Whether the product's key could be opened (or was created).
  bool KeyFound() const { return keyFound_; }
  // Whether the key was missing when opened for reading, and whether this
  // object then created it.
  bool KeyMissing() const { return keyMissing_; }
  bool KeyCreated() const { return keyCreated_; }
  // The result of the last open or create: ERROR_SUCCESS,
  // ERROR_FILE_NOT_FOUND for a missing key that was not to be created,
  // ERROR_ACCESS_DENIED, ...
  platform::LONG KeyResult() const { return keyResult_; }

  // Whether the running user could create the missing key: the nearest
  // existing ancestor opened with the create-subkey right (opened and
  // closed again; nothing is created). ERROR_SUCCESS or why not.
  static platform::LONG ProbeKeyCreation();

  // The installation directory as read; empty when none was found.
  const CString& Directory() const { return directory_; }
  // How the registry store was read (platform::LastRegistryStoreRead):
  // kOk, kNotFound for a missing store, or why it could not be read.
  platform::Status StoreStatus() const { return storeStatus_; }

  // Empty when the directory is empty; otherwise the directory, one '\',
  // and "htdocs\PELDAVORN\peldavorn_php\log" (no '\' at the end).
  CString GetLogDirectory() const;

 private:
  void Read(unsigned mode, platform::REGSAM access);

  CString directory_;
  bool keyFound_ = false;
  bool keyMissing_ = false;
  bool keyCreated_ = false;
  platform::LONG keyResult_ = platform::ERROR_SUCCESS;
  platform::Status storeStatus_ = platform::Status::kOk;
};

}  // namespace spekolar
