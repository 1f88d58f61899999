// Unicode transforms between wide text (one code point per 4-byte wchar_t), UTF-8 and UTF-16
// (unsigned 16-bit units), with no platform converter. Stateless free functions on buffers the
// caller owns; nothing here allocates.
//
// Shared rules:
// - A source length of -1 means "up to and including the terminating zero", which is then
//   converted and counted like any other character.
// - Destinations are never written past the size given. A call that runs out of room stops
//   before the character that does not fit and returns the count written so far.
// - Decoding UTF-8 is strict (no overlong forms, no surrogates, nothing above U+10FFFF). A bad
//   or cut-short sequence decodes to one '?' and consumes its lead byte plus the continuation
//   bytes that follow it (at most as many as the lead announces); a byte that stops a sequence
//   short (including a terminating zero) is never consumed with it, and no read goes past an
//   explicit source length. A continuation byte in lead position is one '?'.
// - Wide values that are not Unicode scalar values (negative, surrogates, 0x110000 and above)
//   are encoded to UTF-8 as '?' and counted as its 1 byte.
#pragma once

#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/wintypes.h"

// Sequence length announced by a lead byte, indexed by byte >> 2: 1 for ASCII, 0 for a
// continuation byte, 2 to 6 for the lead forms.
extern const unsigned char TabUTF8len[64];

// ---- UTF-8 measuring and walking ----

// Address of the character after the one at p. At the terminator p itself is returned, so a
// walk never leaves the text.
const char* UTF8next(const char* p);
char* UTF8next(char* p);
// Byte length of the character at p as UTF8next steps it (0 at the terminator).
int UTF8Len(const char* p);

// Characters before the terminator, counted as bytes minus continuation bytes.
int StrLenUTF8(const char* text);
// The same within at most maxBytes bytes.
int StrNLenUTF8(const char* text, int maxBytes);
// Number of UTF8next steps before the terminator: the characters UTF8ToWide produces.
int UTF8ToWideLen(const char* text);

// Decodes the first character of a text of n bytes. Sets n to its byte length and returns the
// code point, or sets n to 0 and returns -1 when the text does not start with a well-formed
// character (or is null, or n < 1).
int UTF8FirstChar(const char* p, int& n);

// TRUE when the n bytes (-1: up to the terminator) are well-formed UTF-8. A null text is valid
// only for n == 0; n below 1 other than -1 is valid.
BOOL UTF8Valide(const char* text, int n);

// ---- Decoding ----

// Decodes the character at *p and advances *p past what it consumed. Bad sequences give '?'.
wchar_t UTF8_GetNext(const char** p);
// The same within a budget of *remaining bytes, which is reduced by the bytes consumed; a
// sequence cut short by the budget gives '?' and consumes the rest of it. An exhausted budget
// returns 0 without moving.
wchar_t UTF8_GetNext(const char** p, unsigned int* remaining);

// Decodes up to the terminator or dstChars - 1 characters, then terminates (when dstChars > 0).
// Returns the characters written, terminator excluded.
int UTF8ToWide(wchar_t* dst, unsigned int dstChars, const char* src);
// Decodes srcLen bytes (-1: strlen + 1) until the source is consumed or dstChars characters
// are written; returns that count. Adds no terminator of its own. 0 for dstChars < 1.
int nUTF8ToWide(wchar_t* dst, int dstChars, const char* src, int srcLen);

// Widens the leading ASCII bytes of src[0, n) other than zero, one character each, into dst
// (room for n); returns how many. Any page that maps ASCII to itself gives the same characters.
size_t nWidenASCII(wchar_t* dst, const char* src, size_t n);

#if defined(__SSE2__)
// Sixteen bytes below 0x80 (v) as sixteen characters at dst.
inline void WidenSixteen(__m128i v, wchar_t* dst) {
  const __m128i z = _mm_setzero_si128();
  const __m128i lo = _mm_unpacklo_epi8(v, z), hi = _mm_unpackhi_epi8(v, z);
  __m128i* const q = reinterpret_cast<__m128i*>(dst);
  _mm_storeu_si128(q, _mm_unpacklo_epi16(lo, z));
  _mm_storeu_si128(q + 1, _mm_unpackhi_epi16(lo, z));
  _mm_storeu_si128(q + 2, _mm_unpacklo_epi16(hi, z));
  _mm_storeu_si128(q + 3, _mm_unpackhi_epi16(hi, z));
}
#endif

// UTF-16 units needed for srcLen bytes (0xFFFFFFFF: strlen + 1): 2 for characters above U+FFFF.
unsigned int UTF8ToUTF16Len(const char* src, unsigned int srcLen);
// Decodes srcLen bytes (0xFFFFFFFF: strlen + 1) into at most dstUnits units, characters above
// U+FFFF as a surrogate pair; stops before a character that does not fit. No terminator added.
// Returns the units written; units of dst past them may have been written too.
unsigned int UTF8ToUTF16(unsigned short* dst, unsigned int dstUnits, const char* src,
                         unsigned int srcLen);
// The same; *replaced is set (never cleared) when bytes that are no UTF-8 became '?'.
unsigned int UTF8ToUTF16(unsigned short* dst, unsigned int dstUnits, const char* src, unsigned int srcLen,
                         bool* replaced);

// ---- Encoding ----

// Encodes srcLen characters (-1: wcslen + 1) into at most dstBytes bytes; stops before a
// character whose bytes do not fit. Adds no terminator of its own. Returns the bytes written.
int nWideToUTF8(char* dst, int dstBytes, const wchar_t* src, int srcLen);
// Encodes up to the terminator, keeping one byte for the terminator, which is always written
// when dstBytes > 0 (a null source gives an empty text). Returns the bytes before it.
int WideToUTF8(char* dst, unsigned int dstBytes, const wchar_t* src);
// Unbounded form: dst must hold UTF8ByteLen(src) + 1 bytes.
int WideToUTF8(char* dst, const wchar_t* src);
// Writes one character and a terminator into out (room for 5 bytes); returns the bytes before
// the terminator.
int UTF32ToUTF8(wchar_t c, char* out);

// UTF-8 bytes of the whole text, terminator excluded.
int UTF8ByteLen(const wchar_t* text);
// UTF-8 bytes of at most maxChars characters, plus 1 when the terminator is among them.
int UTF8ByteLenTotal(const wchar_t* text, int maxChars);

// ---- UTF-16 and UTF-32 ----

// Widens n units (-1: up to and including the terminator), joining each valid surrogate pair
// into one character; an unpaired surrogate is kept as its own value. dstChars 0 returns the
// characters needed; otherwise at most dstChars are written and their count returned.
// dst may be the source buffer itself (conversion in place; any dst >= src works).
int UTF16ToWideChar(const unsigned short* src, int n, wchar_t* dst, int dstChars);
// Narrows n characters (-1: wcslen + 1): one unit up to U+FFFF, a surrogate pair above; a value
// that is no code point becomes '?'. dstUnits 0 returns the units needed; otherwise stops before
// a character that does not fit and returns the units written. dst may be the source buffer.
int WideCharToUTF16(const wchar_t* src, int n, unsigned short* dst, int dstUnits);
// Plain copies with the same counting rules (the buffers may overlap).
int UTF32ToWideChar(const wchar_t* src, int n, wchar_t* dst, int dstChars);
int WideCharToUTF32(const wchar_t* src, int n, wchar_t* dst, int dstChars);

int utf16len(const unsigned short* s);
// utf16len capped at max; 0 for max < 1.
int utf16nlen(const unsigned short* s, int max);
// Copies units until the source terminator or n units; writes no terminator and no padding.
unsigned short* utf16ncpy(unsigned short* dst, const unsigned short* src, int n);
// Compares at most n units after towlower; the difference of the first differing pair, or 0.
int utf16nicmp(const unsigned short* a, const unsigned short* b, int n);
// First case-insensitive occurrence of needle lying wholly within the first n units of
// haystack (the first position included); an empty needle gives haystack; null when none.
const unsigned short* utf16niutf16(const unsigned short* haystack, const unsigned short* needle,
                                   int n);

// Stores the low byte of each character up to the terminator or dstBytes - 1 bytes, then the
// terminator; returns its address (dst itself, untouched, when dstBytes < 1).
char* WideCharToANSI(char* dst, int dstBytes, const wchar_t* src);
// Widens each byte as Latin-1 (0x00-0xFF) with the same limits; returns the terminator's address.
wchar_t* ANSIToWideChar(wchar_t* dst, int dstChars, const char* src);
