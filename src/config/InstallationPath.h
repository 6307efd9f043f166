// The product's installation directory, read once from the registry when
// the program starts, and the log directory derived from it.
//
// The product keeps its installation directory in the value "Path" of the
// key Software\KORVANE\PELDAVORN under HKEY_LOCAL_MACHINE. A missing key, a
// missing value, a value of another type than string, number, binary or
// multi-string, or a registry that refuses access all give an empty
// directory, and so an empty log directory; nothing is reported.
#pragma once

#include "platform/Env.h"
#include "platform/Registry.h"
#include "text/CString.h"

class InstallationPath {
 public:
  // Opens the key with query-value and set-value rights (create-subkey is
  // added, so a missing key is created empty when the registry may be
  // written) and keeps "Path" as text. Writes no value.
  InstallationPath();
  // Reads "Path" with the query-value right only: a missing key stays
  // missing and nothing is written (for checking an installation without
  // acting on it).
  struct ReadOnly {};
  explicit InstallationPath(ReadOnly);
  virtual ~InstallationPath() = default;

  // Whether the product's key could be opened.
  bool KeyFound() const { return keyFound_; }

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
  platform::Status storeStatus_ = platform::Status::kOk;
};
