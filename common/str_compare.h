// Text comparison and case/accent mapping by the host's locale rules, for narrow text (a code page)
// and wide text (one code point per 4-byte character). The linguistic work is the host locale
// service's (CInformationDLL::ms_piInfoLocale, which must be set); here are the option translation,
// trimming, the byte-wise and numeric-aware orderings and the version comparison.
//
// Flag bit 0x10000000 (LOCALE_FLAG_CURRENT) asks for the service's current locale instead of the
// fixed locale id; it is cleared before the service sees the flags.
// Allocating functions return malloc'ed buffers that the caller frees with free().
#pragma once

#include "platform/iinfolocale.h"
#include "platform/wintypes.h"

IInfoLocale* STR_piGetInfoLocale();
int STR_nGetCurrentChangeCharset();          // 127 is answered as 0
int STR_nGetCurrentChangeCharsetInterne();
int STR_nGetCurrentCodePage();               // 0 without a locale service
int STR_nGetCurrentLCID();
int STR_nGetSafeCurrentLCID();

// Comparisons answer negative, 0 or positive, as the service does. Texts must not be null.
int STR_nCompareW(const wchar_t* a, const wchar_t* b, unsigned int flags);
int STR_nUpCompareW(const wchar_t* a, const wchar_t* b, unsigned int flags);
int STR_nAcCompare(const wchar_t* a, const wchar_t* b, unsigned int flags);
int STR_nUpCompareA(const char* a, const char* b, unsigned int flags);
int STR_nCompareCharLexicoA(char ca, char cb, unsigned int flags);
int STR_nCompareStringLexicoW(const wchar_t* a, int la, const wchar_t* b, int lb, unsigned int flags);
int STR_nCompareCharLexicoW(wchar_t ca, wchar_t cb, unsigned int flags);
int STR_nCompareCharSoupleA(char ca, char cb);
int STR_nCompareCharSoupleW(wchar_t ca, wchar_t cb);

// Three-valued: 1 less, 2 equal, 3 greater, whatever magnitude the service answers with.
template <typename T>
int __STR_CompareStringEx(unsigned int flags, const T* a, int la, const T* b, int lb,
                          int lcid = LOCALE_ID_FRENCH);
// Compares at most n characters of each text; -1, 0 or 1. Null texts count as empty.
template <typename T>
int STR_nNCompare(const T* a, const T* b, int n, unsigned int flags);

// Null-aware: a null text sorts before any text; two nulls are equal.
int STR_nNullCompare(const wchar_t* a, const wchar_t* b, unsigned int flags);
int STR_nNullNCompare(const wchar_t* a, const wchar_t* b, int n, unsigned int flags);
// A null text counts as the empty text.
int STR_nEmptyNullCompare(const wchar_t* a, const wchar_t* b, unsigned int flags);
// Prefix test ignoring case and accents.
BOOL STR_bDebut(const wchar_t* s, const wchar_t* prefix);

// In-place case mapping, one character at a time (a character the service cannot map is kept).
void STR_ToUpperBuff(char* s, int n);
void STR_ToLowerBuff(char* s, int n);
void STR_ToUpperBuff(wchar_t* s, int n);
void STR_ToLowerBuff(wchar_t* s, int n);
void STR_ToUpper(char* s);
void STR_ToLower(char* s);
void STR_ToUpper(wchar_t* s);
void STR_ToLower(wchar_t* s);

// Size, in characters, of a buffer that holds the mapped text and a terminator.
int STR_nGetMapStringLenEx(unsigned int flags, const char* src, int len);
int STR_nGetMapStringLenEx(unsigned int flags, const wchar_t* src, int len);
// The service's count of characters written.
int STR_nMapStringEx(unsigned int flags, char* dst, int dstSize, const char* src, int srcLen);
int STR_nMapStringEx(unsigned int flags, wchar_t* dst, int dstSize, const wchar_t* src, int srcLen);
// *out receives a new terminated buffer with the mapped text (null when allocation fails).
int STR_nCreateMapString(unsigned int flags, char** out, const char* src);
int STR_nCreateMapString(unsigned int flags, wchar_t** out, const wchar_t* src);
// New buffer with the standard form (upper case, no accents); null for a null text or no memory.
wchar_t* STR_pszCreateStandard(const wchar_t* src);
char* STR_pszCreateStandard(const char* src);

// One character mapped; *out (when not null) receives the first output character, 0 when the
// service removed it. Returns the service's count.
template <typename T>
int __T_STR_nMapCharEx(unsigned int flags, T* out, T c);
int STR_nMapCharEx(unsigned int flags, wchar_t* out, wchar_t c);
int STR_nMapCharEx(unsigned int flags, char* out, char c);
int STR_nMapCharExANSI(unsigned int flags, char* out, char c);
int STR_nMapCharIgnoreCaseAccent(wchar_t* out, wchar_t c);
int STR_MapStringSortEx(char* dst, int dstSize, const char* src, int srcLen, BOOL bCurrentLocale);
BOOL STR_bWhiteCharOrPunctA(char c);
BOOL STR_bWhiteCharOrPunctW(wchar_t c);

// The host language's comparison options: 0x1 trim, 0x2 ignore punctuation, 0x4 ignore accents,
// 0x8 lexical, 0x10/0x20 ignore case, 0x40 lower case, 0x80 numeric-aware, 0x100 passed on.
unsigned int OptionZV2FlagSTR(unsigned int options);
// Trims and folds len characters of src into dst (dstSize characters, terminated when room is
// left); returns the prepared length.
int STR_PrepareChaineW(unsigned int options, const wchar_t* src, int len, wchar_t* dst, int dstSize);
int STR_PrepareChaineA(unsigned int options, const char* src, int len, char* dst, int dstSize);
// The host language's text comparison under its options: negative, 0 or positive.
int STR_ChaineCompareW(const wchar_t* a, int la, const wchar_t* b, int lb, unsigned int options);
int STR_ChaineCompareA(const char* a, int la, const char* b, int lb, unsigned int options);

// Numeric-aware ordering of counted texts: digit runs compare by value, and leading zeros break
// a tie only when everything else is equal.
int STR_nCompareRespecteNumeriqueW(const wchar_t* a, int la, const wchar_t* b, int lb, unsigned int flags);
int STR_nCompareRespecteNumeriqueA(const char* a, int la, const char* b, int lb, unsigned int flags);
// Compares two digit runs by value; *pnTie takes the leading-zero verdict when it is still 0.
int __nCompareNumeriqueChaineW(const wchar_t* a, int la, const wchar_t* b, int lb, int* pnTie);
int __nCompareNumeriqueChaineA(const char* a, int la, const char* b, int lb, int* pnTie);
int nCompareVersionModule(const wchar_t* a, const wchar_t* b);
int nCompareVersionModuleA(const char* a, const char* b);
