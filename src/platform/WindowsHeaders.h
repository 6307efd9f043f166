// The one place that includes <windows.h> (Windows build only).
//
// Every file that needs the Windows API includes this header instead of
// <windows.h>, so that the same macros are in force everywhere. <windows.h>
// turns many function names into macros that pick the narrow or wide
// variant (DeleteFile becomes DeleteFileA). Where such a name is also a name
// of our own interfaces (Env::DeleteFile, FileFind::FindNextFile), the macro
// would rename our member in some files and not in others; so those macros
// are removed here, and the platform code calls the ...A functions by their
// full names.
#pragma once

#ifndef _WIN32
#error "platform/WindowsHeaders.h is for the Windows build only"
#endif

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#undef DeleteFile
#undef FindNextFile
#undef GetFileAttributes
#undef CopyFile
#undef MoveFile
#undef ReplaceFile

namespace spekolar {

}  // namespace spekolar
