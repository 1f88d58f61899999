// Raw text buffers: heap texts made with malloc and freed with free (STR_Delete*), bounded copies
// and concatenations on caller buffers, in-place trimming, searches and replacement.
//
// Shared rules:
// - Capacities and sizes count characters (bytes for narrow text) and include the terminator.
// - A bounded copy never writes past its capacity and, when the capacity is at least 1, always
//   leaves a terminated text.
// - Allocating functions answer null when the memory cannot be had or when the text would be
//   longer than an int can count; the caller owns and frees every buffer they return.
// - Searches answer a pointer into the searched text, or null; they never read past the
//   terminator of either text, nor past an explicit length.
#pragma once

#include <cstring>
#include <cwchar>

#include "platform/wintypes.h"

enum eELLIPSISPOSITION {
  ELLIPSIS_END = 0,
  ELLIPSIS_MIDDLE = 1,
  ELLIPSIS_START = 2,
};

// ---- Exact equality ----

// The same characters (neither null). For the short names asked again at every row read, where
// the library's vector compare costs more to set up than the loop does.
inline bool STR_bSameW(const wchar_t* a, const wchar_t* b) {
  for (;; ++a, ++b) {
    if (*a != *b) return false;
    if (*a == 0) return true;
  }
}

// ---- Creation and release ----

// Uninitialised buffers of n + 1 characters.
wchar_t* STR_pszCreate(unsigned int n);
char* STR_pszCreateA(unsigned int n);
template <typename T>
T* STRG_pszCreate(unsigned int n);

// Copies; a null text gives null.
wchar_t* STR_pszCreate(const wchar_t* s);
wchar_t* STR_pszCreateW(const wchar_t* s);
char* STR_pszCreateA(const char* s);
// a followed by b; a null part counts as empty.
wchar_t* STR_pszCreateW(const wchar_t* a, const wchar_t* b);
char* STR_pszCreateA(const char* a, const char* b);
// n + 1 characters: the first n of s (reading stops at its terminator), NUL-filled up to and
// including index n. A null s counts as empty.
wchar_t* STR_pszCreate(unsigned int n, const wchar_t* s);
wchar_t* STR_pszCreateW(unsigned int n, const wchar_t* s);
char* STR_pszCreateA(unsigned int n, const char* s);
// The same for wide text at an address that may not be 4-byte aligned (read out of packed data).
wchar_t* STR_pszCreateW_UNALIGNED(unsigned int n, const void* s);
wchar_t* STR_pszCreateW_UNALIGNED(const void* s);
// a "." b, and a b c; null parts count as empty.
wchar_t* STR_pszConcatPoint(const wchar_t* a, const wchar_t* b);
wchar_t* STR_pszConcat(const wchar_t* a, const wchar_t* b, const wchar_t* c);

// Replaces *p by a copy of s (s may point into *p). TRUE when a copy was made; otherwise *p is
// freed and left null.
BOOL STR_bRedefine(wchar_t** p, const wchar_t* s);
// Reallocates *p to n characters (at least one is kept). FALSE leaves *p as it was.
BOOL STR_bResizeW(wchar_t** p, unsigned int n);
BOOL STR_bResizeA(char** p, unsigned int n);

void STR_DeleteW(wchar_t* p);
void STR_DeleteA(char* p);
void STR_Delete(void* p);

// ---- Bounded lengths: up to the first NUL or max; max below 1 or a null text gives 0 ----

int STR_nLenA(const char* s, int max);
int STR_nLenW(const wchar_t* s, int max);
int STR_nLen(const wchar_t* s, int max);

// ---- Bounded copies ----
// dst holds capacity characters. The result is the count of characters placed (NUL excluded).

// Copies min(n, length of src, capacity - 1) characters; n -1 means the whole text, any other
// n below 1 (or a null src) copies nothing. Capacity below 1 writes nothing.
int STR_nCopyW(wchar_t* dst, int capacity, const wchar_t* src, int n);
int STR_nCopy(wchar_t* dst, int capacity, const wchar_t* src, int n);
int STR_nCopyA(char* dst, int capacity, const char* src, int n);
// STR_nCopy at the end of dst with what is left of the capacity. A dst with no NUL within the
// capacity is cut to capacity - 1 characters and nothing is appended.
int STR_nCatW(wchar_t* dst, int capacity, const wchar_t* src, int n);
int STR_nCat(wchar_t* dst, int capacity, const wchar_t* src, int n);
int STR_nCatA(char* dst, int capacity, const char* src, int n);
// The whole src when it fits, else its first capacity - 1 characters.
int STR_nCut(wchar_t* dst, int capacity, const wchar_t* src);
int STR_nCut(char* dst, int capacity, const char* src);
int STR_nCatCut(wchar_t* dst, int capacity, const wchar_t* src);
int STR_nCatCut(char* dst, int capacity, const char* src);

// ---- Trimming in place; white space as iswspace/isspace classify it; null texts are left ----

void STR_SuppressAllSpacesW(wchar_t* s);
void STR_SuppressAllSpacesA(char* s);
void STR_SuppressRightSpaces(wchar_t* s);
void STR_SuppressRightSpaces(char* s);
void STR_SuppressLeftSpaces(wchar_t* s);
void STR_SuppressLeftSpaces(char* s);
void STR_SuppressSideSpaces(wchar_t* s);
void STR_SuppressSideSpaces(char* s);
void STR_SuppressRightCar(wchar_t* s, wchar_t c);
void STR_SuppressRightCar(char* s, char c);
void STR_SuppressLeftCar(wchar_t* s, wchar_t c);
void STR_SuppressLeftCar(char* s, char c);
void STR_SuppressSideCar(wchar_t* s, wchar_t c);
// Pads s with c to size - 1 characters and terminates it there, which also cuts a longer text.
// Only the first size characters of s are read or written; size below 1 does nothing.
void STR_Complete(wchar_t* s, int size, wchar_t c);
void STR_Complete(char* s, int size, char c);

// ---- Searches ----

// Last c at or before index start (a start beyond the text means its end); negative start: null.
const char* strrchr(const char* s, int start, int c);
char* strrchr(char* s, int start, int c);
const wchar_t* wcsrchr(const wchar_t* s, int start, wchar_t c);
wchar_t* wcsrchr(wchar_t* s, int start, wchar_t c);
// Last position at or before index start where sub begins; negative start: null.
const char* STRRSTRA(const char* s, int start, const char* sub);
char* STRRSTRA(char* s, int start, const char* sub);
const wchar_t* STRRSTR(const wchar_t* s, int start, const wchar_t* sub);
wchar_t* STRRSTR(wchar_t* s, int start, const wchar_t* sub);
// Last character of s that belongs to set; an empty s or set gives null.
const wchar_t* STRRPBRK(const wchar_t* s, const wchar_t* set);
wchar_t* STRRPBRK(wchar_t* s, const wchar_t* set);
// First occurrence of sub lying wholly within the first n characters of s (the search also ends
// at the terminator of s). An empty or null sub gives s.
const wchar_t* STR_pszStrnstr(const wchar_t* s, const wchar_t* sub, int n);
wchar_t* STR_pszStrnstr(wchar_t* s, const wchar_t* sub, int n);
// The same for narrow text, case-sensitive and ignoring ASCII case; here n below 1 gives null,
// and otherwise an empty sub gives s.
const char* STR_strnstrA(const char* s, const char* sub, int n);
char* STR_strnstrA(char* s, const char* sub, int n);
const char* STR_strnistrA(const char* s, const char* sub, int n);
char* STR_strnistrA(char* s, const char* sub, int n);
// First occurrence ignoring case (wcsncasecmp); an empty sub gives s.
const wchar_t* STR_StrIStr(const wchar_t* s, const wchar_t* sub);
wchar_t* STR_StrIStr(wchar_t* s, const wchar_t* sub);
// First occurrence comparing the upper-case forms given by the locale service, one character
// at a time; an empty sub gives s.
const wchar_t* STR_pszUpStrstr(const wchar_t* s, const wchar_t* sub);
wchar_t* STR_pszUpStrstr(wchar_t* s, const wchar_t* sub);
// TRUE when s starts with "{\rtf1" or "{\rtf{" in any case.
BOOL bEstDuTexteRTF(const wchar_t* s);
BOOL bEstDuTexteRTF(const char* s);

// ---- Replacement and shortening ----

// New text with every occurrence of from (left to right, not overlapping) replaced by to (null
// counts as empty). A copy when from does not occur; null when s or from is null or empty, or
// when the memory cannot be had.
wchar_t* STR_RemplaceW(const wchar_t* s, const wchar_t* from, const wchar_t* to);
// Writes src into dst (width + 1 characters) shortened to width characters with "..." at the
// given position. A src that fits is copied whole; a width below 3 leaves no room for the
// ellipsis and cuts src to width characters; an unknown position writes the empty text.
void STR_Ellipsis(wchar_t* dst, const wchar_t* src, unsigned int width, eELLIPSISPOSITION position);
