// Basic Win32-style scalar types of the platform layer. The runtime keeps the Windows names,
// argument orders and result conventions (TRUE/FALSE, counts with 0 for failure) on Linux.
#pragma once

#include <cstdint>

typedef int BOOL;
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t UINT;

// A module handle is what dlopen returns.
struct HINSTANCE__;
typedef HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;

static_assert(sizeof(wchar_t) == 4, "wide text holds one code point per 4-byte character");
