// Estimate, before formatting, of how many characters a Windows-style printf format (the
// conventions of platform/winformat.h) produces with a given argument list.
#pragma once

#include <cstdarg>

// T = wchar_t reads a wide format ("%s" wide, "%S" narrow), T = char a narrow one. Literal text
// counts 1 per character in the narrow form and 4 in the wide form; numbers at least 32
// (floating point 512), strings their length, characters 2. The caller's list is not advanced.
//
// The result is an upper bound of the formatted length (terminator excluded) for every format
// without "n$" argument numbers; with them the walk stops at the first such conversion and the
// rest of the format counts as literal text, which is no bound. Clamped to INT_MAX.
template <typename T>
int STRG_nCalculeLongueurPrintf(const T* format, va_list args);
