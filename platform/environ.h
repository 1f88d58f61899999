// Environment variables and the current directory of the Win32 emulation. Stateless; names and
// values reach the system as UTF-8 (the A forms convert from and to the host's current charset).
#pragma once

#include "platform/wintypes.h"

// 0 when the name is not set. Otherwise the value's length when it fits size characters with its
// terminator, else length + 1 (the size needed) with a cut copy in the buffer when size > 0.
unsigned int GetEnvironmentVariableW(const wchar_t* name, wchar_t* buffer, unsigned int size);
unsigned int GetEnvironmentVariableA(const char* name, char* buffer, unsigned int size);
// Sets (overwriting) or, with a null value, removes the variable (TRUE).
BOOL SetEnvironmentVariable(const wchar_t* name, const wchar_t* value);
BOOL SetCurrentDirectoryW(const wchar_t* path);
BOOL SetCurrentDirectoryA(const char* path);
