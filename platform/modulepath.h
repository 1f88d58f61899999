// The path of the running executable and path building, of the Win32 emulation. Stateless.
#pragma once

#include "platform/wintypes.h"

// path = directory (with "/" added unless it ends with one) + name + "." + extension (no "."
// added when the extension starts with one); the drive is ignored, empty or null parts are left
// out. FALSE with errno ENAMETOOLONG and an empty path when the result exceeds 260 characters.
BOOL makepath(wchar_t* path, const wchar_t* drive, const wchar_t* directory, const wchar_t* name,
              const wchar_t* extension);

// The running executable's path whatever the module: the target of /proc/self/exe, else the
// path of the first mapping of /proc/self/maps that names a file. FALSE when neither gives one,
// or (ENAMETOOLONG, buffer empty) when it does not fit size characters with its terminator;
// never a cut path.
BOOL GetModuleFileNameW(HINSTANCE__* module, wchar_t* buffer, unsigned int size);
// The same path as its bytes (UTF-8).
BOOL GetModuleFileNameA(HINSTANCE__* module, char* buffer, unsigned int size);
