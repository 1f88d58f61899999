#include "common/str_buffer.h"

#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <strings.h>

#include "common/str_compare.h"

namespace {

// Every length in this layer is an int, so no text may hold more than INT_MAX - 1 characters.
constexpr size_t kMaxChars = static_cast<size_t>(INT_MAX) - 1;

inline size_t Len(const char* s) { return strlen(s); }
inline size_t Len(const wchar_t* s) { return wcslen(s); }
inline size_t NLen(const char* s, size_t max) { return strnlen(s, max); }
inline size_t NLen(const wchar_t* s, size_t max) { return wcsnlen(s, max); }
inline bool IsSpace(char c) { return isspace(static_cast<unsigned char>(c)) != 0; }
inline bool IsSpace(wchar_t c) { return iswspace(static_cast<wint_t>(c)) != 0; }

// Room for chars characters plus the terminator, or null.
template <typename T>
T* Alloc(size_t chars) {
  if (chars > kMaxChars) return nullptr;
  return static_cast<T*>(malloc((chars + 1) * sizeof(T)));
}

template <typename T>
T* CreateCopy(const T* s) {
  if (s == nullptr) return nullptr;
  const size_t len = Len(s);
  T* p = Alloc<T>(len);
  if (p != nullptr) memcpy(p, s, (len + 1) * sizeof(T));
  return p;
}

template <typename T>
T* CreateN(unsigned int n, const T* s) {
  T* p = Alloc<T>(n);
  if (p == nullptr) return nullptr;
  const size_t k = s == nullptr ? 0 : NLen(s, n);
  if (k > 0) memcpy(p, s, k * sizeof(T));
  for (size_t i = k; i <= n; ++i) p[i] = 0;
  return p;
}

// Null-safe parts joined; sep (0 for none) goes between a and b.
template <typename T>
T* Join(const T* a, const T* b, const T* c, T sep) {
  const T empty[1] = {0};
  const T* parts[3] = {a ? a : empty, b ? b : empty, c ? c : empty};
  size_t lens[3];
  size_t total = sep != 0 ? 1 : 0;
  for (int i = 0; i < 3; ++i) {
    lens[i] = Len(parts[i]);
    if (lens[i] > kMaxChars - total) return nullptr;
    total += lens[i];
  }
  T* p = Alloc<T>(total);
  if (p == nullptr) return nullptr;
  T* w = p;
  for (int i = 0; i < 3; ++i) {
    memcpy(w, parts[i], lens[i] * sizeof(T));
    w += lens[i];
    if (i == 0 && sep != 0) *w++ = sep;
  }
  *w = 0;
  return p;
}

template <typename T>
BOOL Resize(T** p, unsigned int n) {
  if (p == nullptr || n > kMaxChars + 1) return FALSE;
  // realloc to 0 bytes would free the block and answer null, which reads as a failure.
  const size_t chars = n == 0 ? 1 : n;
  T* q = static_cast<T*>(realloc(*p, chars * sizeof(T)));
  if (q == nullptr) return FALSE;
  *p = q;
  return TRUE;
}

template <typename T>
int BoundedLen(const T* s, int max) {
  if (s == nullptr || max < 1) return 0;
  return static_cast<int>(NLen(s, static_cast<size_t>(max)));
}

template <typename T>
int Copy(T* dst, int capacity, const T* src, int n) {
  if (dst == nullptr || capacity < 1) return 0;
  size_t k = 0;
  if (src != nullptr && (n == -1 || n > 0)) {
    size_t limit = static_cast<size_t>(capacity) - 1;
    if (n > 0 && static_cast<size_t>(n) < limit) limit = static_cast<size_t>(n);
    k = NLen(src, limit);
    memmove(dst, src, k * sizeof(T));
  }
  dst[k] = 0;
  return static_cast<int>(k);
}

template <typename T>
int Cat(T* dst, int capacity, const T* src, int n) {
  if (dst == nullptr || capacity < 1) return 0;
  const size_t len = NLen(dst, static_cast<size_t>(capacity));
  if (len == static_cast<size_t>(capacity)) {
    dst[capacity - 1] = 0;
    return 0;
  }
  return Copy(dst + len, capacity - static_cast<int>(len), src, n);
}

template <typename T>
void SuppressAllSpaces(T* s) {
  if (s == nullptr) return;
  T* w = s;
  for (const T* r = s; *r != 0; ++r) {
    if (!IsSpace(*r)) *w++ = *r;
  }
  *w = 0;
}

template <typename T, typename Pred>
void SuppressRight(T* s, Pred drop) {
  if (s == nullptr) return;
  size_t len = Len(s);
  while (len > 0 && drop(s[len - 1])) --len;
  s[len] = 0;
}

template <typename T, typename Pred>
void SuppressLeft(T* s, Pred drop) {
  if (s == nullptr) return;
  size_t k = 0;
  while (s[k] != 0 && drop(s[k])) ++k;
  if (k > 0) memmove(s, s + k, (Len(s + k) + 1) * sizeof(T));
}

template <typename T>
void Complete(T* s, int size, T c) {
  if (s == nullptr || size < 1) return;
  const size_t last = static_cast<size_t>(size) - 1;
  for (size_t i = NLen(s, last); i < last; ++i) s[i] = c;
  s[last] = 0;
}

template <typename T>
const T* RChr(const T* s, int start, T c) {
  if (s == nullptr || start < 0) return nullptr;
  // Index len (the terminator) is a candidate when start reaches it, as in strrchr.
  const size_t len = NLen(s, static_cast<size_t>(start) + 1);
  const size_t top = len < static_cast<size_t>(start) ? len : static_cast<size_t>(start);
  for (size_t i = top + 1; i-- > 0;) {
    if (s[i] == c) return s + i;
  }
  return nullptr;
}

template <typename T>
const T* RStr(const T* s, int start, const T* sub) {
  if (s == nullptr || sub == nullptr || start < 0) return nullptr;
  const size_t m = Len(sub);
  // Only the characters a match at index start could reach are ever looked at.
  const size_t len = NLen(s, static_cast<size_t>(start) + m);
  if (len < m) return nullptr;
  const size_t top = len - m < static_cast<size_t>(start) ? len - m : static_cast<size_t>(start);
  for (size_t p = top + 1; p-- > 0;) {
    if (memcmp(s + p, sub, m * sizeof(T)) == 0) return s + p;
  }
  return nullptr;
}

// First match of sub within the first n characters of s, with equal(s + p, sub, m) as the test.
template <typename T, typename Equal>
const T* FindWithin(const T* s, size_t n, const T* sub, Equal equal) {
  const size_t m = Len(sub);
  const size_t len = NLen(s, n);
  if (m > len) return nullptr;
  for (size_t p = 0; p + m <= len; ++p) {
    if (equal(s + p, sub, m)) return s + p;
  }
  return nullptr;
}

inline bool SameBytes(const char* a, const char* b, size_t m) { return memcmp(a, b, m) == 0; }
inline bool SameChars(const wchar_t* a, const wchar_t* b, size_t m) { return wmemcmp(a, b, m) == 0; }
inline bool SameAsciiNoCase(const char* a, const char* b, size_t m) { return strncasecmp(a, b, m) == 0; }
inline bool SameNoCase(const wchar_t* a, const wchar_t* b, size_t m) { return wcsncasecmp(a, b, m) == 0; }

const char* StrnstrA(const char* s, const char* sub, int n, bool ignoreCase) {
  if (s == nullptr || sub == nullptr || n < 1) return nullptr;
  if (*sub == 0) return s;
  return ignoreCase ? FindWithin(s, static_cast<size_t>(n), sub, SameAsciiNoCase)
                    : FindWithin(s, static_cast<size_t>(n), sub, SameBytes);
}

wchar_t Upper(wchar_t c) {
  wchar_t out = 0;
  return STR_nMapCharEx(LOCALE_FLAG_CASE, &out, c) > 0 ? out : c;
}

}  // namespace

// ---- Creation and release ----

template <typename T>
T* STRG_pszCreate(unsigned int n) {
  return Alloc<T>(n);
}
template __attribute__((visibility("default"))) char* STRG_pszCreate<char>(unsigned int n);
template __attribute__((visibility("default"))) wchar_t* STRG_pszCreate<wchar_t>(unsigned int n);

wchar_t* STR_pszCreate(unsigned int n) { return Alloc<wchar_t>(n); }
char* STR_pszCreateA(unsigned int n) { return Alloc<char>(n); }
wchar_t* STR_pszCreate(const wchar_t* s) { return CreateCopy(s); }
wchar_t* STR_pszCreateW(const wchar_t* s) { return CreateCopy(s); }
char* STR_pszCreateA(const char* s) { return CreateCopy(s); }
wchar_t* STR_pszCreateW(const wchar_t* a, const wchar_t* b) { return Join<wchar_t>(a, b, nullptr, 0); }
char* STR_pszCreateA(const char* a, const char* b) { return Join<char>(a, b, nullptr, 0); }
wchar_t* STR_pszCreate(unsigned int n, const wchar_t* s) { return CreateN(n, s); }
wchar_t* STR_pszCreateW(unsigned int n, const wchar_t* s) { return CreateN(n, s); }
char* STR_pszCreateA(unsigned int n, const char* s) { return CreateN(n, s); }

wchar_t* STR_pszCreateW_UNALIGNED(unsigned int n, const void* s) {
  wchar_t* p = Alloc<wchar_t>(n);
  if (p == nullptr) return nullptr;
  const unsigned char* src = static_cast<const unsigned char*>(s);
  size_t k = 0;
  if (src != nullptr) {
    for (; k < n; ++k) {
      memcpy(&p[k], src + k * sizeof(wchar_t), sizeof(wchar_t));
      if (p[k] == 0) break;
    }
  }
  for (; k <= n; ++k) p[k] = 0;
  return p;
}

wchar_t* STR_pszCreateW_UNALIGNED(const void* s) {
  if (s == nullptr) return nullptr;
  const unsigned char* src = static_cast<const unsigned char*>(s);
  size_t len = 0;
  for (wchar_t c;; ++len) {
    memcpy(&c, src + len * sizeof(wchar_t), sizeof(wchar_t));
    if (c == 0) break;
  }
  wchar_t* p = Alloc<wchar_t>(len);
  if (p != nullptr) memcpy(p, src, (len + 1) * sizeof(wchar_t));
  return p;
}

wchar_t* STR_pszConcatPoint(const wchar_t* a, const wchar_t* b) { return Join<wchar_t>(a, b, nullptr, L'.'); }
wchar_t* STR_pszConcat(const wchar_t* a, const wchar_t* b, const wchar_t* c) { return Join<wchar_t>(a, b, c, 0); }

BOOL STR_bRedefine(wchar_t** p, const wchar_t* s) {
  if (p == nullptr) return FALSE;
  // Copy before freeing: s may be the old text itself.
  wchar_t* copy = CreateCopy(s);
  free(*p);
  *p = copy;
  return copy != nullptr ? TRUE : FALSE;
}

BOOL STR_bResizeW(wchar_t** p, unsigned int n) { return Resize(p, n); }
BOOL STR_bResizeA(char** p, unsigned int n) { return Resize(p, n); }

void STR_DeleteW(wchar_t* p) { free(p); }
void STR_DeleteA(char* p) { free(p); }
void STR_Delete(void* p) {
  if (p != nullptr) free(p);
}

// ---- Bounded lengths and copies ----

int STR_nLenA(const char* s, int max) { return BoundedLen(s, max); }
int STR_nLenW(const wchar_t* s, int max) { return BoundedLen(s, max); }
int STR_nLen(const wchar_t* s, int max) { return BoundedLen(s, max); }

int STR_nCopyW(wchar_t* dst, int capacity, const wchar_t* src, int n) { return Copy(dst, capacity, src, n); }
int STR_nCopy(wchar_t* dst, int capacity, const wchar_t* src, int n) { return Copy(dst, capacity, src, n); }
int STR_nCopyA(char* dst, int capacity, const char* src, int n) { return Copy(dst, capacity, src, n); }
int STR_nCatW(wchar_t* dst, int capacity, const wchar_t* src, int n) { return Cat(dst, capacity, src, n); }
int STR_nCat(wchar_t* dst, int capacity, const wchar_t* src, int n) { return Cat(dst, capacity, src, n); }
int STR_nCatA(char* dst, int capacity, const char* src, int n) { return Cat(dst, capacity, src, n); }
int STR_nCut(wchar_t* dst, int capacity, const wchar_t* src) { return Copy(dst, capacity, src, -1); }
int STR_nCut(char* dst, int capacity, const char* src) { return Copy(dst, capacity, src, -1); }
int STR_nCatCut(wchar_t* dst, int capacity, const wchar_t* src) { return Cat(dst, capacity, src, -1); }
int STR_nCatCut(char* dst, int capacity, const char* src) { return Cat(dst, capacity, src, -1); }

// ---- Trimming ----

void STR_SuppressAllSpacesW(wchar_t* s) { SuppressAllSpaces(s); }
void STR_SuppressAllSpacesA(char* s) { SuppressAllSpaces(s); }
void STR_SuppressRightSpaces(wchar_t* s) { SuppressRight(s, [](wchar_t c) { return IsSpace(c); }); }
void STR_SuppressRightSpaces(char* s) { SuppressRight(s, [](char c) { return IsSpace(c); }); }
void STR_SuppressLeftSpaces(wchar_t* s) { SuppressLeft(s, [](wchar_t c) { return IsSpace(c); }); }
void STR_SuppressLeftSpaces(char* s) { SuppressLeft(s, [](char c) { return IsSpace(c); }); }
void STR_SuppressSideSpaces(wchar_t* s) {
  STR_SuppressRightSpaces(s);
  STR_SuppressLeftSpaces(s);
}
void STR_SuppressSideSpaces(char* s) {
  STR_SuppressRightSpaces(s);
  STR_SuppressLeftSpaces(s);
}
void STR_SuppressRightCar(wchar_t* s, wchar_t c) { SuppressRight(s, [c](wchar_t x) { return x == c; }); }
void STR_SuppressRightCar(char* s, char c) { SuppressRight(s, [c](char x) { return x == c; }); }
void STR_SuppressLeftCar(wchar_t* s, wchar_t c) { SuppressLeft(s, [c](wchar_t x) { return x == c; }); }
void STR_SuppressLeftCar(char* s, char c) { SuppressLeft(s, [c](char x) { return x == c; }); }
void STR_SuppressSideCar(wchar_t* s, wchar_t c) {
  STR_SuppressRightCar(s, c);
  STR_SuppressLeftCar(s, c);
}
void STR_Complete(wchar_t* s, int size, wchar_t c) { Complete(s, size, c); }
void STR_Complete(char* s, int size, char c) { Complete(s, size, c); }

// ---- Searches ----

const char* strrchr(const char* s, int start, int c) { return RChr(s, start, static_cast<char>(c)); }
char* strrchr(char* s, int start, int c) { return const_cast<char*>(RChr<char>(s, start, static_cast<char>(c))); }
const wchar_t* wcsrchr(const wchar_t* s, int start, wchar_t c) { return RChr(s, start, c); }
wchar_t* wcsrchr(wchar_t* s, int start, wchar_t c) { return const_cast<wchar_t*>(RChr<wchar_t>(s, start, c)); }

const char* STRRSTRA(const char* s, int start, const char* sub) { return RStr(s, start, sub); }
char* STRRSTRA(char* s, int start, const char* sub) { return const_cast<char*>(RStr<char>(s, start, sub)); }
const wchar_t* STRRSTR(const wchar_t* s, int start, const wchar_t* sub) { return RStr(s, start, sub); }
wchar_t* STRRSTR(wchar_t* s, int start, const wchar_t* sub) {
  return const_cast<wchar_t*>(RStr<wchar_t>(s, start, sub));
}

const wchar_t* STRRPBRK(const wchar_t* s, const wchar_t* set) {
  if (s == nullptr || set == nullptr || *set == 0) return nullptr;
  const wchar_t* last = nullptr;
  for (const wchar_t* p = s; *p != 0; ++p) {
    if (wcschr(set, *p) != nullptr) last = p;
  }
  return last;
}
wchar_t* STRRPBRK(wchar_t* s, const wchar_t* set) {
  return const_cast<wchar_t*>(STRRPBRK(static_cast<const wchar_t*>(s), set));
}

const wchar_t* STR_pszStrnstr(const wchar_t* s, const wchar_t* sub, int n) {
  if (s == nullptr) return nullptr;
  if (sub == nullptr || *sub == 0) return s;
  return FindWithin(s, n < 0 ? 0 : static_cast<size_t>(n), sub, SameChars);
}
wchar_t* STR_pszStrnstr(wchar_t* s, const wchar_t* sub, int n) {
  return const_cast<wchar_t*>(STR_pszStrnstr(static_cast<const wchar_t*>(s), sub, n));
}

const char* STR_strnstrA(const char* s, const char* sub, int n) { return StrnstrA(s, sub, n, false); }
char* STR_strnstrA(char* s, const char* sub, int n) { return const_cast<char*>(StrnstrA(s, sub, n, false)); }
const char* STR_strnistrA(const char* s, const char* sub, int n) { return StrnstrA(s, sub, n, true); }
char* STR_strnistrA(char* s, const char* sub, int n) { return const_cast<char*>(StrnstrA(s, sub, n, true)); }

const wchar_t* STR_StrIStr(const wchar_t* s, const wchar_t* sub) {
  if (s == nullptr || sub == nullptr) return nullptr;
  if (*sub == 0) return s;
  return FindWithin(s, SIZE_MAX, sub, SameNoCase);
}
wchar_t* STR_StrIStr(wchar_t* s, const wchar_t* sub) {
  return const_cast<wchar_t*>(STR_StrIStr(static_cast<const wchar_t*>(s), sub));
}

const wchar_t* STR_pszUpStrstr(const wchar_t* s, const wchar_t* sub) {
  if (s == nullptr || sub == nullptr) return nullptr;
  if (*sub == 0) return s;
  const size_t len = wcslen(s), m = wcslen(sub);
  if (m > len) return nullptr;
  // Each character goes through the locale service once; without memory, once per comparison.
  wchar_t* up = static_cast<wchar_t*>(malloc((len + m) * sizeof(wchar_t)));
  if (up != nullptr) {
    for (size_t i = 0; i < len; ++i) up[i] = Upper(s[i]);
    for (size_t j = 0; j < m; ++j) up[len + j] = Upper(sub[j]);
  }
  const wchar_t* found = nullptr;
  for (size_t p = 0; p + m <= len && found == nullptr; ++p) {
    size_t j = 0;
    if (up != nullptr) {
      while (j < m && up[p + j] == up[len + j]) ++j;
    } else {
      while (j < m && Upper(s[p + j]) == Upper(sub[j])) ++j;
    }
    if (j == m) found = s + p;
  }
  free(up);
  return found;
}
wchar_t* STR_pszUpStrstr(wchar_t* s, const wchar_t* sub) {
  return const_cast<wchar_t*>(STR_pszUpStrstr(static_cast<const wchar_t*>(s), sub));
}

BOOL bEstDuTexteRTF(const wchar_t* s) {
  if (s == nullptr) return FALSE;
  return (wcsncasecmp(s, L"{\\rtf1", 6) == 0 || wcsncasecmp(s, L"{\\rtf{", 6) == 0) ? TRUE : FALSE;
}
BOOL bEstDuTexteRTF(const char* s) {
  if (s == nullptr) return FALSE;
  return (strncasecmp(s, "{\\rtf1", 6) == 0 || strncasecmp(s, "{\\rtf{", 6) == 0) ? TRUE : FALSE;
}

// ---- Replacement and shortening ----

wchar_t* STR_RemplaceW(const wchar_t* s, const wchar_t* from, const wchar_t* to) {
  if (s == nullptr || *s == 0 || from == nullptr || *from == 0) return nullptr;
  if (to == nullptr) to = L"";
  const wchar_t* hit = wcsstr(s, from);
  if (hit == nullptr) return CreateCopy(s);
  const size_t len = wcslen(s), lf = wcslen(from), lt = wcslen(to);
  size_t newLen = len;
  if (lf != lt) {
    size_t count = 0;
    for (const wchar_t* p = hit; p != nullptr; p = wcsstr(p + lf, from)) ++count;
    if (lt < lf) {
      newLen = len - count * (lf - lt);
    } else {
      if (lt - lf > (kMaxChars - len) / count) return nullptr;
      newLen = len + count * (lt - lf);
    }
  }
  wchar_t* out = Alloc<wchar_t>(newLen);
  if (out == nullptr) return nullptr;
  wchar_t* w = out;
  const wchar_t* r = s;
  for (; hit != nullptr; hit = wcsstr(r, from)) {
    wmemcpy(w, r, static_cast<size_t>(hit - r));
    w += hit - r;
    wmemcpy(w, to, lt);
    w += lt;
    r = hit + lf;
  }
  wcscpy(w, r);
  return out;
}

void STR_Ellipsis(wchar_t* dst, const wchar_t* src, unsigned int width, eELLIPSISPOSITION position) {
  if (dst == nullptr) return;
  if (src == nullptr) src = L"";
  const size_t w = width;
  const size_t len = wcsnlen(src, w + 1);
  if (len <= w) {
    wmemcpy(dst, src, len + 1);
    return;
  }
  if (w < 3) {
    wmemcpy(dst, src, w);
    dst[w] = 0;
    return;
  }
  const size_t full = wcslen(src);
  switch (position) {
    case ELLIPSIS_END:
      wmemcpy(dst, src, w - 3);
      wmemcpy(dst + w - 3, L"...", 3);
      break;
    case ELLIPSIS_MIDDLE: {
      const size_t head = (w - 3) / 2, tail = (w - 2) / 2;
      wmemcpy(dst, src, head);
      wmemcpy(dst + head, L"...", 3);
      wmemcpy(dst + head + 3, src + full - tail, tail);
      break;
    }
    case ELLIPSIS_START:
      wmemcpy(dst, L"...", 3);
      wmemcpy(dst + 3, src + full - (w - 3), w - 3);
      break;
    default:
      dst[0] = 0;
      return;
  }
  dst[w] = 0;
}
