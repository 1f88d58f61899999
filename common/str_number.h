// The Windows runtime's small text functions the platform lacks: integers to text in any radix,
// text to numbers, in-place case change and filling, bounded lengths, byte-block search, owned
// narrow/wide copies, and wide-text operations on addresses that may not be 4-byte aligned.
// Everything works on caller buffers, except the psz... converters, which return a malloc'ed
// block that the caller frees.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/wintypes.h"

// ---- Integers to text ----
// Digits 0-9 then a-z; negative values of the signed forms get "-" in every radix. The buffer
// must hold 66 characters for radix 2 (64 digits, sign, terminator). A radix outside 2..36
// gives the empty text. Each returns its buffer.
char* ultoa(uint32_t value, char* buffer, int radix);
wchar_t* ultow(uint32_t value, wchar_t* buffer, int radix);
char* itoa(int32_t value, char* buffer, int radix);
wchar_t* itow(int32_t value, wchar_t* buffer, int radix);
char* ui64toa(unsigned long long value, char* buffer, int radix);
wchar_t* ui64tow(unsigned long long value, wchar_t* buffer, int radix);
char* _ui64toaMvx(unsigned long long value, char* buffer, int radix);
wchar_t* _ui64towMvx(unsigned long long value, wchar_t* buffer, int radix);
char* i64toa(long long value, char* buffer, int radix);
wchar_t* i64tow(long long value, wchar_t* buffer, int radix);
char* _i64toaMvx(long long value, char* buffer, int radix);
wchar_t* _i64towMvx(long long value, wchar_t* buffer, int radix);

// ---- Text to numbers ----
// The text (its first 99 characters) taken to code page 1252, then strtoll base 10 / strtod.
// A null text gives 0.
long long _wtoi64Mvx(const wchar_t* text);
double wtof(const wchar_t* text);
// gcvt(value, digits) widened into buffer, which must hold 32 characters (digits is taken
// between 0 and 17).
wchar_t* _wgcvt(double value, int digits, wchar_t* buffer);
// Value of the leading hexadecimal digits (the low 64 bits when there are more than 16);
// count receives how many were read.
long long nGetEntierHexa(const wchar_t* text, int& count);
// Value of c as a digit of base 2 to 36 ('0'-'9', then 'a'-'z' or 'A'-'Z'), or -1.
int STR_nDigitValue(wchar_t c);
// Value of four characters taken as hexadecimal digits without checking them (anything up to '9'
// counts as c - '0', anything else as its upper case - 55). Reading stops early at a terminator.
int nGetEntierHexa4(const wchar_t* text);

// ---- Case, filling, lengths (in place; each returns its first argument) ----
wchar_t* my_struprW(wchar_t* s);
wchar_t* my_strlwrW(wchar_t* s);
char* my_struprA(char* s);
char* my_strlwrA(char* s);
// Every character up to the terminator (at most n of them) becomes c.
wchar_t* wcsset(wchar_t* s, wchar_t c);
char* _strset(char* s, int c);
wchar_t* wcsnset(wchar_t* s, wchar_t c, unsigned int n);
char* _strnset(char* s, int c, unsigned int n);
unsigned int xwcsnlen(const wchar_t* s, unsigned int n);
unsigned int xstrnlen(const char* s, unsigned int n);

// First occurrence of pattern in block, or null (also when either size is 0 or the pattern is
// longer than the block).
void* xmemmem(const void* block, unsigned int size, const void* pattern, unsigned int patternSize);

// ---- Wide text at addresses that may not be 4-byte aligned ----
size_t __UNALIGNED__UNICODE__STRLEN__(const char* s);
char* __UNALIGNED__UNICODE__STRCPY__(char* dst, const char* src);
// dst holds n wide characters: at most n - 1 are copied, the rest of the n are zeroed, so the
// result is always terminated. n below 1 writes nothing.
char* __UNALIGNED__UNICODE__STRNCPY__(char* dst, const char* src, int n);

// ---- Owned copies (malloc'ed; null only when memory or the conversion fails) ----
// n characters of text (-1: the whole text; reading stops at its terminator) in code page 1252,
// in a zeroed block of n + 1 bytes. A null text counts as empty.
char* pszXSTR2CSTR(const wchar_t* text, int n);
// Wide text from n bytes of narrow text in codePage (-1: the whole text; reading stops at its
// terminator), terminated after the characters converted. A null or empty text gives an empty
// text.
wchar_t* pszCSTR2XSTR(const char* text, int n, unsigned int codePage);
// A copy of the first n characters, or of the whole text when n is below 1; null for null.
wchar_t* pszWSTR2XSTR(const wchar_t* text, int n, int unused);
wchar_t* pszXSTR2WSTR(const wchar_t* text, int n, int unused);
