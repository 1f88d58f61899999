// Free conversions that return a new host dynamic string (common/xystring.h) converted from
// another encoding. Each answers the empty value when the conversion fails or produces nothing.
// A code page of -1, where accepted, means the host's current ANSI code page; a length of -1
// means the whole terminated text.
#pragma once

#include "common/xystring.h"

// Wide text as narrow text of code page cp (-1 accepted).
CXYString<char> PCWSTR_To_CAString(const wchar_t* s, int cp, int n);
// Wide text as UTF-8.
CXYString<char> PCWSTR_N_To_UTF8(const wchar_t* s, int n);
CXYString<char> PCWSTR_To_UTF8(const wchar_t* s);
// A wide string as UTF-8 (its end marker, if any, converted like any other character).
CXYString<char> CWString_To_UTF8(const CXYString<wchar_t>& s);
// Narrow text of code page cp (-1 accepted) as wide text.
CXYString<wchar_t> PCASTR_To_CWString(const char* s, int cp, int n);
// UTF-8 as wide text.
CXYString<wchar_t> UTF8_To_CWString(const char* s, int n);
CXYString<wchar_t> UTF8_To_CWString(const char* s);
// UTF-8 (n bytes, or the whole terminated s) as narrow text of code page cp (65001: a copy).
CXYString<char> UTF8_To_CAString(const char* s, int n, int cp);
CXYString<char> UTF8_To_CAString(const char* s, int cp);
// Narrow text of code page cp as UTF-8 (65001: a copy).
CXYString<char> PCASTR_N_To_UTF8(const char* s, int n, int cp);
CXYString<char> PCASTR_To_UTF8(const char* s, int cp);
// A narrow string of code page cp as UTF-8 (65001: its block shared). A marked string's last
// byte becomes the wide end marker on the way, which UTF-8 then writes like any other character.
CXYString<char> CAString_To_UTF8(const CXYString<char>& s, int cp);
