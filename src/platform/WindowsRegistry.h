// The system's registry in namespace platform (Windows build only; included
// by platform/Registry.h, not meant to be included on its own).
//
// Callers write platform::RegOpenKeyExA, platform::DWORD,
// platform::HKEY_LOCAL_MACHINE and platform::REG_SZ on both systems. Here the
// functions, types and root keys are the system's own. The result codes,
// rights and value types are macros in <windows.h>; a macro cannot be named
// as platform::REG_SZ, so those that platform/Registry.h declares as
// constants (with the system's values) are removed here. Code that needs them
// after including this header names them through platform::.
#pragma once

#include "platform/WindowsHeaders.h"

namespace spekolar {

namespace platform {

using ::BYTE;
using ::DWORD;
using ::FILETIME;
using ::HKEY;
using ::LONG;
using ::LPBYTE;
using ::LPCSTR;
using ::LPDWORD;
using ::LPSECURITY_ATTRIBUTES;
using ::LPSTR;
using ::PFILETIME;
using ::PHKEY;
using ::REGSAM;
using ::SECURITY_ATTRIBUTES;

using ::RegCloseKey;
using ::RegCreateKeyExA;
using ::RegEnumValueA;
using ::RegOpenKeyExA;
using ::RegQueryInfoKeyA;
using ::RegSetValueExA;

// The predefined keys, taken before their macros go.
inline const HKEY kSystemClassesRoot = HKEY_CLASSES_ROOT;
inline const HKEY kSystemCurrentUser = HKEY_CURRENT_USER;
inline const HKEY kSystemLocalMachine = HKEY_LOCAL_MACHINE;
inline const HKEY kSystemUsers = HKEY_USERS;
inline const HKEY kSystemCurrentConfig = HKEY_CURRENT_CONFIG;

}  // namespace platform

#undef HKEY_CLASSES_ROOT
#undef HKEY_CURRENT_USER
#undef HKEY_LOCAL_MACHINE
#undef HKEY_USERS
#undef HKEY_CURRENT_CONFIG

#undef ERROR_SUCCESS
#undef ERROR_FILE_NOT_FOUND
#undef ERROR_ACCESS_DENIED
#undef ERROR_INVALID_HANDLE
#undef ERROR_WRITE_FAULT
#undef ERROR_INVALID_PARAMETER
#undef ERROR_MORE_DATA
#undef ERROR_NO_MORE_ITEMS
#undef ERROR_BADDB
#undef ERROR_KEY_DELETED
#undef KEY_QUERY_VALUE
#undef KEY_SET_VALUE
#undef KEY_CREATE_SUB_KEY
#undef KEY_ENUMERATE_SUB_KEYS
#undef KEY_READ
#undef KEY_WRITE
#undef KEY_ALL_ACCESS
#undef REG_NONE
#undef REG_SZ
#undef REG_EXPAND_SZ
#undef REG_BINARY
#undef REG_DWORD
#undef REG_MULTI_SZ
#undef REG_OPTION_NON_VOLATILE
#undef REG_CREATED_NEW_KEY
#undef REG_OPENED_EXISTING_KEY

namespace platform {

inline const HKEY HKEY_CLASSES_ROOT = kSystemClassesRoot;
inline const HKEY HKEY_CURRENT_USER = kSystemCurrentUser;
inline const HKEY HKEY_LOCAL_MACHINE = kSystemLocalMachine;
inline const HKEY HKEY_USERS = kSystemUsers;
inline const HKEY HKEY_CURRENT_CONFIG = kSystemCurrentConfig;

}  // namespace platform

}  // namespace spekolar
