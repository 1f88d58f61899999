// Code-page conversions of the Win32 emulation (narrow text of a Windows code page <-> wide text,
// UTF-8 and UTF-16), the code-page -> iconv name table, language ids and the locale helpers.
// Free functions; they keep only a process-wide cache of iconv descriptors (safe from any
// thread) and need the host's locale service only for the _CurrentCharset forms.
//
// Shared rules:
// - Code pages are Windows numbers; 0 and unknown numbers mean 1252; 65001 is UTF-8.
// - Lengths count source units (bytes of narrow text, characters of wide text, units of UTF-16).
//   A signed length of -1 means "up to and including the terminating zero", which is then
//   converted and counted. An unsigned length of 0xFFFFFFFF means the same.
// - A null destination or a size of 0 asks for the size only (where a function counts at all).
// - The result is the count written or needed, 0 on failure; a failure never reports a
//   partial count, nothing is ever written past the size given, and a destination of a size
//   above 0 then holds an empty text. A size that a counting call returns always suffices.
#pragma once

#include "platform/wintypes.h"

#ifndef CP_ACP
#define CP_ACP 0
#endif
#ifndef CP_UTF8
#define CP_UTF8 65001
#endif
// Fails the conversion on a sequence that is invalid in the source code page.
#ifndef MB_ERR_INVALID_CHARS
#define MB_ERR_INVALID_CHARS 0x8
#endif

// UTF-8 or a single-byte Windows page: each character below 0x80 is its own single byte, so
// ASCII text needs no converter.
inline bool bAsciiIsOwnByte(unsigned int cp) { return cp == CP_UTF8 || (cp >= 1250 && cp <= 1258); }

// Product language.
enum _ELangueProduit {
  LANGUE_PRODUIT_FRANCAIS = 0,
  LANGUE_PRODUIT_ANGLAIS = 1,
  LANGUE_PRODUIT_CHINOIS = 2,
};

// The iconv encoding name of a code page (static text).
const char* CodePageToIConv(int codePage);

// Narrow text of codePage -> wide text. Flag MB_ERR_INVALID_CHARS fails on an invalid sequence
// or one cut short at the end; without it each byte that starts no character is dropped, and so
// is a final sequence cut short (the whole characters before it are kept). Other flags are
// ignored. With a destination the whole result must fit, else 0.
int MultiByteToWideChar(unsigned int codePage, unsigned int flags, const char* src, int srcLen, wchar_t* dst,
                        int dstChars);

// Wide text -> narrow text of codePage. A character the code page cannot represent (or a wide
// value that is not a Unicode scalar value) is replaced by defaultText (null: "?") and sets
// *usedDefault; *usedDefault is cleared first when given. With a destination the whole result
// must fit (replacements included), else 0. flags are ignored.
int WideCharToMultiByte(unsigned int codePage, unsigned int flags, const wchar_t* src, int srcLen, char* dst,
                        int dstBytes, const char* defaultText, int* usedDefault);

// Direct conversion between two code pages, with the two modes of MultiByteToWideChar. Text
// that is invalid in the source or has no form in the target fails with 0; flags are ignored.
int MultiByteToMultiByte(unsigned int fromCodePage, const char* src, unsigned int srcLen, unsigned int toCodePage,
                         char* dst, unsigned int dstBytes, unsigned int flags);

// UTF-8 size of a terminated wide text, terminator included.
int nGetUTF8Len(const wchar_t* text);

// Code page <-> UTF-8 into a destination of dstBytes bytes (a null destination or size 0 gives 0).
// Returns the bytes written; the rest of the destination is zero-filled and a full destination
// carries no terminator. ASCII that does not fit is cut at the end of the destination; a
// non-ASCII stretch that does not fit fails the call with 0, and so does a run of bytes from
// 0x80 up that converts to nothing (bytes the code page leaves undefined, invalid UTF-8, tag
// characters, characters all replaced by an empty defaultText) once the output reaches it: a
// destination that is full before it stops the conversion first.
// Code page 65001 is a copy bounded by srcLen and by dstBytes - 1, always terminated:
// MultiByteToUTF8 stops at a zero byte and returns the length copied; UTF8ToMultiByte copies
// min(srcLen, dstBytes - 1) bytes.
// UTF8ToMultiByte: *usedDefault (when given) is cleared once, then set when any character of the
// text was replaced by defaultText (null: "?").
int MultiByteToUTF8(unsigned int codePage, const char* src, unsigned int srcLen, char* dst, unsigned int dstBytes,
                    unsigned int flags);
int UTF8ToMultiByte(unsigned int codePage, const char* src, unsigned int srcLen, char* dst, unsigned int dstBytes,
                    unsigned int flags, const char* defaultText, int* usedDefault);
// The same with the host's current ANSI code page (no default text, no flag).
int MultiByteToUTF8_CurrentCharset(const char* src, unsigned int srcLen, char* dst, unsigned int dstBytes,
                                   unsigned int flags);
int UTF8ToMultiByte_CurrentCharset(const char* src, unsigned int srcLen, char* dst, unsigned int dstBytes,
                                   unsigned int flags);

// Code page <-> UTF-16 through wide text; counts and modes follow WideCharToUTF16 /
// WideCharToMultiByte (dstUnits 0 counts).
int MultiByteToUTF16(unsigned int codePage, unsigned int flags, const char* src, int srcLen, unsigned short* dst,
                     int dstUnits);
int MultiByteToUTF16_CurrentCharset(const char* src, int srcLen, unsigned short* dst, int dstUnits,
                                    unsigned int flags);
int UTF16ToMultiByte(unsigned int codePage, unsigned int flags, const unsigned short* src, int srcLen, char* dst,
                     int dstBytes, const char* defaultText, int* usedDefault);

// Language ids: both defaults are 0x800; primary languages 12 French, 9 English, 4 Chinese.
WORD GetSystemDefaultLangID();
WORD GetUserDefaultLangID();
_ELangueProduit LANG_To_ELangueProduit(unsigned int primaryLanguage);
unsigned int ELangueProduit_To_LANG(_ELangueProduit langue);

// Process-wide locale changes (not thread-safe, like setlocale).
// Sets the category to "C"; returns what setlocale returns.
char* UnsetLocale(int category);
// Sets LC_CTYPE to the first UTF-8 locale accepted among the environment's, French, English and
// C ones; the locale name on success, null when none is accepted.
char* SetLocaleUTF8();
