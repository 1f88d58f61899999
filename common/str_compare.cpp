#include "common/str_compare.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <type_traits>

#include "platform/information_dll.h"

namespace {

inline IInfoLocale* Locale() { return CInformationDLL::ms_piInfoLocale; }

inline bool WantsCurrent(unsigned int flags) { return (flags & LOCALE_FLAG_CURRENT) != 0; }
inline unsigned int ServiceFlags(unsigned int flags) { return flags & ~LOCALE_FLAG_CURRENT; }
inline int LocaleFor(unsigned int flags, int fixedLcid) {
  return WantsCurrent(flags) ? Locale()->nGetLCID() : fixedLcid;
}
inline int Sign(int n) { return n < 0 ? -1 : (n > 0 ? 1 : 0); }

// The service's narrow and wide operations under one name, so the templates can serve both widths.
inline int ServiceCompare(int lcid, unsigned int flags, const char* a, int la, const char* b, int lb) {
  return Locale()->nCompareStringA(lcid, flags, a, la, b, lb);
}
inline int ServiceCompare(int lcid, unsigned int flags, const wchar_t* a, int la, const wchar_t* b, int lb) {
  return Locale()->nCompareStringW(lcid, flags, a, la, b, lb);
}
inline int ServiceMap(int lcid, unsigned int flags, char* dst, int dstSize, const char* src, int srcLen) {
  return Locale()->nMapStringA(lcid, flags, dst, dstSize, src, srcLen);
}
inline int ServiceMap(int lcid, unsigned int flags, wchar_t* dst, int dstSize, const wchar_t* src, int srcLen) {
  return Locale()->nMapStringW(lcid, flags, dst, dstSize, src, srcLen);
}
inline int ServiceMapCur(unsigned int flags, char* dst, int dstSize, const char* src, int srcLen) {
  return Locale()->nMapStringCurA(flags, dst, dstSize, src, srcLen);
}
inline int ServiceMapCur(unsigned int flags, wchar_t* dst, int dstSize, const wchar_t* src, int srcLen) {
  return Locale()->nMapStringCurW(flags, dst, dstSize, src, srcLen);
}

inline size_t Length(const char* s) { return strlen(s); }
inline size_t Length(const wchar_t* s) { return wcslen(s); }

template <typename T>
const T* EmptyText();
template <>
const char* EmptyText<char>() { return ""; }
template <>
const wchar_t* EmptyText<wchar_t>() { return L""; }

// Each character mapped alone; the character stays when the service maps it to nothing.
template <typename T, typename MapOne>
void MapEach(T* s, int n, MapOne mapOne) {
  for (int i = 0; i < n; ++i) {
    T out[2] = {s[i], 0};
    if (mapOne(out, s[i]) > 0) s[i] = out[0];
  }
}

template <typename T>
int MapStringEx(unsigned int flags, T* dst, int dstSize, const T* src, int srcLen) {
  return ServiceMap(LocaleFor(flags, LOCALE_ID_FRENCH), ServiceFlags(flags), dst, dstSize, src, srcLen);
}

template <typename T>
int GetMapStringLen(unsigned int flags, const T* src, int len) {
  return MapStringEx<T>(flags, nullptr, 0, src, len) + 1;
}

template <typename T>
int CreateMapString(unsigned int flags, T** out, const T* src) {
  const int size = GetMapStringLen(flags, src, -1);
  // Zeroed, so the result is terminated whatever the service counts.
  *out = static_cast<T*>(calloc(size > 0 ? size : 1, sizeof(T)));
  if (*out == nullptr) return 0;
  return MapStringEx(flags, *out, size, src, -1);
}

template <typename T>
T* CreateStandard(const T* src) {
  if (src == nullptr) return nullptr;
  const int len = static_cast<int>(Length(src));
  T* out = static_cast<T*>(malloc((static_cast<size_t>(len) + 1) * sizeof(T)));
  if (out == nullptr) return nullptr;
  int n = len > 0 ? MapStringEx<T>(LOCALE_FLAG_CASE_ACCENT, out, len + 1, src, len) : 0;
  if (n < 0 || n > len) n = 0;
  out[n] = 0;
  return out;
}

inline bool IsTrimmed(unsigned int c) { return c == ' ' || (c >= 9 && c <= 13); }

template <typename T>
int PrepareChaine(unsigned int options, const T* src, int len, T* dst, int dstSize) {
  if (len < 0) len = static_cast<int>(Length(src));
  if ((options & 0x1) && len >= 1) {
    while (len > 0 && IsTrimmed(static_cast<unsigned int>(*src))) {
      ++src;
      --len;
    }
    while (len > 0 && IsTrimmed(static_cast<unsigned int>(src[len - 1]))) --len;
  }
  if (dstSize < 1) return 0;
  const unsigned int flags = OptionZV2FlagSTR(options);
  int n;
  if (flags != 0) {
    n = len > 0 ? ServiceMapCur(flags, dst, dstSize, src, len) : 0;
    if (n < 0 || n > dstSize) n = 0;
  } else {
    n = len < dstSize - 1 ? len : dstSize - 1;
    memcpy(dst, src, static_cast<size_t>(n) * sizeof(T));
  }
  if (n < dstSize) dst[n] = 0;
  return n;
}

// Byte-wise comparison of counted texts in memory order; the longer text is greater.
template <typename T>
int CompareBytes(const T* a, int la, const T* b, int lb) {
  const int n = la < lb ? la : lb;
  const int r = memcmp(a, b, static_cast<size_t>(n) * sizeof(T));
  if (r != 0) return Sign(r);
  return la > lb ? 1 : (la < lb ? -1 : 0);
}

// A work buffer that lives on the stack for ordinary texts and on the heap for long ones.
template <typename T>
class CWorkBuffer {
 public:
  static constexpr size_t kStackBytes = 16384;
  explicit CWorkBuffer(size_t chars) {
    if (chars * sizeof(T) < kStackBytes) {
      m_p = m_stack;
    } else {
      m_heap = static_cast<T*>(malloc(chars * sizeof(T)));
      m_p = m_heap;
    }
  }
  ~CWorkBuffer() { free(m_heap); }
  CWorkBuffer(const CWorkBuffer&) = delete;
  CWorkBuffer& operator=(const CWorkBuffer&) = delete;
  T* get() const { return m_p; }

 private:
  T m_stack[kStackBytes / sizeof(T)];
  T* m_heap = nullptr;
  T* m_p = nullptr;
};

int CompareLexicoNarrow(const char* a, int la, const char* b, int lb) {
  const int n = la < lb ? la : lb;
  for (int i = 0; i < n; ++i) {
    const int r = STR_nCompareCharLexicoA(a[i], b[i], LOCALE_FLAG_CURRENT);
    if (r != 0) return Sign(r);
  }
  return la > lb ? 1 : (la < lb ? -1 : 0);
}

int CompareLexicoPrepared(const wchar_t* a, int la, const wchar_t* b, int lb, unsigned int options) {
  return Sign(STR_nCompareStringLexicoW(a, la, b, lb, (options & 0x80000000u) | LOCALE_FLAG_CURRENT));
}
int CompareLexicoPrepared(const char* a, int la, const char* b, int lb, unsigned int) {
  return CompareLexicoNarrow(a, la, b, lb);
}
int CompareNumeric(const wchar_t* a, int la, const wchar_t* b, int lb, unsigned int flags) {
  return STR_nCompareRespecteNumeriqueW(a, la, b, lb, flags);
}
int CompareNumeric(const char* a, int la, const char* b, int lb, unsigned int flags) {
  return STR_nCompareRespecteNumeriqueA(a, la, b, lb, flags);
}

template <typename T>
int ChaineCompare(const T* a, int la, const T* b, int lb, unsigned int options) {
  if (la < 0) la = static_cast<int>(Length(a));
  if (lb < 0) lb = static_cast<int>(Length(b));
  CWorkBuffer<T> bufA(static_cast<size_t>(la) + 1);
  CWorkBuffer<T> bufB(static_cast<size_t>(lb) + 1);
  // Without memory for the work buffers the texts are compared as they stand.
  const T* pa = a;
  const T* pb = b;
  if (bufA.get() != nullptr && bufB.get() != nullptr) {
    la = PrepareChaine(options, a, la, bufA.get(), la + 1);
    lb = PrepareChaine(options, b, lb, bufB.get(), lb + 1);
    pa = bufA.get();
    pb = bufB.get();
  }
  const bool lexical = (options & 0x8) != 0;
  const bool numeric = (options & 0x80) != 0;
  if (lexical && !numeric) return CompareLexicoPrepared(pa, la, pb, lb, options);
  if (lexical && numeric) return Sign(CompareNumeric(pa, la, pb, lb, LOCALE_FLAG_CURRENT | LOCALE_FLAG_LEXICAL));
  if (numeric) return Sign(CompareNumeric(pa, la, pb, lb, 0));
  return CompareBytes(pa, la, pb, lb);
}

inline bool IsDigit(unsigned int c) { return c >= '0' && c <= '9'; }

template <typename T>
int DigitRun(const T* s, int n) {
  int i = 0;
  while (i < n && IsDigit(static_cast<unsigned int>(s[i]))) ++i;
  return i;
}
template <typename T>
int TextRun(const T* s, int n) {
  int i = 0;
  while (i < n && !IsDigit(static_cast<unsigned int>(s[i]))) ++i;
  return i;
}

template <typename T>
int CompareDigitRuns(const T* a, int la, const T* b, int lb, int* pnTie) {
  int candidate = 0;
  if (la > lb) {
    for (int i = 0; i < la - lb; ++i)
      if (a[i] != '0') return 1;
    a += la - lb;
    candidate = -1;
  } else if (lb > la) {
    for (int i = 0; i < lb - la; ++i)
      if (b[i] != '0') return -1;
    b += lb - la;
    candidate = 1;
  }
  if (*pnTie == 0) *pnTie = candidate;
  const int n = la < lb ? la : lb;
  for (int i = 0; i < n; ++i) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  return 0;
}

// The two forms differ only in how the text between digit runs is compared.
template <typename T, typename CompareText>
int CompareRespecteNumerique(const T* a, int la, const T* b, int lb, unsigned int flags, CompareText compareText) {
  int tie = 0;
  for (;;) {
    if (lb <= 0) return la > 0 ? 1 : tie;
    if (la <= 0) return -1;
    const int da = DigitRun(a, la);
    const int db = DigitRun(b, lb);
    if (da > 0 && db > 0) {
      const int r = CompareDigitRuns(a, da, b, db, &tie);
      if (r != 0) return r;
      a += da, la -= da, b += db, lb -= db;
      continue;
    }
    if (da > 0 || db > 0) {
      if (flags & LOCALE_FLAG_LEXICAL)
        return STR_nCompareCharLexicoW(static_cast<wchar_t>(static_cast<std::make_unsigned_t<T>>(a[0])),
                                       static_cast<wchar_t>(static_cast<std::make_unsigned_t<T>>(b[0])), flags);
      return CompareBytes(a, 1, b, 1);
    }
    int ra = TextRun(a, la);
    int rb = TextRun(b, lb);
    const int r = compareText(a, &ra, b, &rb);
    if (r != 0) return r;
    a += ra, la -= ra, b += rb, lb -= rb;
  }
}

}  // namespace

IInfoLocale* STR_piGetInfoLocale() { return Locale(); }

int STR_nGetCurrentChangeCharset() {
  const int n = Locale()->nGetCharset();
  return n == 127 ? 0 : n;
}
int STR_nGetCurrentChangeCharsetInterne() { return Locale()->nGetCharset(); }
int STR_nGetCurrentCodePage() { return Locale() != nullptr ? Locale()->nGetCodePage() : 0; }
int STR_nGetCurrentLCID() { return Locale()->nGetLCID(); }
int STR_nGetSafeCurrentLCID() { return Locale()->nGetSafeLCID(); }

int STR_nCompareW(const wchar_t* a, const wchar_t* b, unsigned int flags) {
  if (WantsCurrent(flags)) return Locale()->nCompareStringCurW(ServiceFlags(flags), a, -1, b, -1);
  return Locale()->nCompareStringW(LOCALE_ID_SYSTEM_DEFAULT, flags, a, -1, b, -1);
}
int STR_nUpCompareW(const wchar_t* a, const wchar_t* b, unsigned int flags) {
  return STR_nCompareW(a, b, flags | LOCALE_FLAG_CASE);
}
int STR_nAcCompare(const wchar_t* a, const wchar_t* b, unsigned int flags) {
  return STR_nCompareW(a, b, flags | LOCALE_FLAG_ACCENT);
}
int STR_nUpCompareA(const char* a, const char* b, unsigned int flags) {
  flags |= LOCALE_FLAG_UPCOMPARE | LOCALE_FLAG_CASE;
  if (WantsCurrent(flags)) return Locale()->nCompareStringCurA(ServiceFlags(flags), a, -1, b, -1);
  return Locale()->nCompareStringA(LOCALE_ID_SYSTEM_DEFAULT, flags, a, -1, b, -1);
}
int STR_nCompareCharLexicoA(char ca, char cb, unsigned int flags) {
  return Locale()->nCompareStringA(LocaleFor(flags, LOCALE_ID_FRENCH), ServiceFlags(flags) | LOCALE_FLAG_LEXICAL,
                                   &ca, 1, &cb, 1);
}
int STR_nCompareStringLexicoW(const wchar_t* a, int la, const wchar_t* b, int lb, unsigned int flags) {
  return Locale()->nCompareStringW(LocaleFor(flags, LOCALE_ID_SYSTEM_DEFAULT),
                                   ServiceFlags(flags) | LOCALE_FLAG_LEXICAL, a, la, b, lb);
}
int STR_nCompareCharLexicoW(wchar_t ca, wchar_t cb, unsigned int flags) {
  return STR_nCompareStringLexicoW(&ca, 1, &cb, 1, flags);
}
int STR_nCompareCharSoupleA(char ca, char cb) {
  return Locale()->nCompareStringA(LOCALE_ID_FRENCH, LOCALE_FLAG_CASE_ACCENT, &ca, 1, &cb, 1);
}
int STR_nCompareCharSoupleW(wchar_t ca, wchar_t cb) {
  return Locale()->nCompareStringW(LOCALE_ID_SYSTEM_DEFAULT, LOCALE_FLAG_CASE_ACCENT, &ca, 1, &cb, 1);
}

template <typename T>
int __STR_CompareStringEx(unsigned int flags, const T* a, int la, const T* b, int lb, int lcid) {
  // Only the sign of the service's answer is meaningful.
  const int r = ServiceCompare(lcid, flags, a, la, b, lb);
  return r < 0 ? 1 : (r == 0 ? 2 : 3);
}

template <typename T>
int STR_nNCompare(const T* a, const T* b, int n, unsigned int flags) {
  const int lcid = LocaleFor(flags, LOCALE_ID_FRENCH);
  const bool aEmpty = a == nullptr || *a == 0;
  const bool bEmpty = b == nullptr || *b == 0;
  int la = 0, lb = 0;
  if (!aEmpty) {
    la = static_cast<int>(Length(a));
    if (la > n) la = n;
  }
  if (!bEmpty) {
    lb = static_cast<int>(Length(b));
    if (lb > n) lb = n;
  } else if constexpr (sizeof(T) == 1) {
    if (n < 0) lb = n;
  }
  return __STR_CompareStringEx<T>(ServiceFlags(flags), aEmpty ? EmptyText<T>() : a, la,
                                  bEmpty ? EmptyText<T>() : b, lb, lcid) - 2;
}

template int __STR_CompareStringEx<char>(unsigned int, const char*, int, const char*, int, int);
template int __STR_CompareStringEx<wchar_t>(unsigned int, const wchar_t*, int, const wchar_t*, int, int);
template int STR_nNCompare<char>(const char*, const char*, int, unsigned int);
template int STR_nNCompare<wchar_t>(const wchar_t*, const wchar_t*, int, unsigned int);

int STR_nNullCompare(const wchar_t* a, const wchar_t* b, unsigned int flags) {
  if (a == nullptr) return b == nullptr ? 0 : -1;
  if (b == nullptr) return 1;
  return STR_nCompareW(a, b, flags);
}
int STR_nNullNCompare(const wchar_t* a, const wchar_t* b, int n, unsigned int flags) {
  if (a == nullptr) return b == nullptr ? 0 : -1;
  if (b == nullptr) return 1;
  return STR_nNCompare<wchar_t>(a, b, n, flags);
}
int STR_nEmptyNullCompare(const wchar_t* a, const wchar_t* b, unsigned int flags) {
  const bool aEmpty = a == nullptr || *a == 0;
  const bool bEmpty = b == nullptr || *b == 0;
  if (aEmpty && bEmpty) return 0;
  if (!aEmpty && b == nullptr) return 1;
  return STR_nCompareW(a ? a : L"", b ? b : L"", flags);
}
BOOL STR_bDebut(const wchar_t* s, const wchar_t* prefix) {
  const size_t lp = wcslen(prefix);
  if (lp > wcslen(s)) return FALSE;
  return STR_nNCompare<wchar_t>(s, prefix, static_cast<int>(lp), LOCALE_FLAG_CASE_ACCENT) == 0 ? TRUE : FALSE;
}

void STR_ToUpperBuff(char* s, int n) {
  MapEach(s, n, [](char* out, char c) {
    return Locale()->nMapStringA(LOCALE_ID_SYSTEM_DEFAULT, LOCALE_FLAG_CASE, out, 2, &c, 1);
  });
}
void STR_ToLowerBuff(char* s, int n) {
  MapEach(s, n, [](char* out, char c) {
    return Locale()->nMapStringA(LOCALE_ID_SYSTEM_DEFAULT, LOCALE_FLAG_LOWER, out, 2, &c, 1);
  });
}
void STR_ToUpperBuff(wchar_t* s, int n) {
  MapEach(s, n, [](wchar_t* out, wchar_t c) { return Locale()->nMapStringCurW(LOCALE_FLAG_CASE, out, 2, &c, 1); });
}
void STR_ToLowerBuff(wchar_t* s, int n) {
  MapEach(s, n, [](wchar_t* out, wchar_t c) { return Locale()->nMapStringCurW(LOCALE_FLAG_LOWER, out, 2, &c, 1); });
}
void STR_ToUpper(char* s) { STR_ToUpperBuff(s, static_cast<int>(strlen(s))); }
void STR_ToLower(char* s) { STR_ToLowerBuff(s, static_cast<int>(strlen(s))); }
void STR_ToUpper(wchar_t* s) { STR_ToUpperBuff(s, static_cast<int>(wcslen(s))); }
void STR_ToLower(wchar_t* s) { STR_ToLowerBuff(s, static_cast<int>(wcslen(s))); }

int STR_nGetMapStringLenEx(unsigned int flags, const char* src, int len) { return GetMapStringLen(flags, src, len); }
int STR_nGetMapStringLenEx(unsigned int flags, const wchar_t* src, int len) {
  return GetMapStringLen(flags, src, len);
}
int STR_nMapStringEx(unsigned int flags, char* dst, int dstSize, const char* src, int srcLen) {
  return MapStringEx(flags, dst, dstSize, src, srcLen);
}
int STR_nMapStringEx(unsigned int flags, wchar_t* dst, int dstSize, const wchar_t* src, int srcLen) {
  return MapStringEx(flags, dst, dstSize, src, srcLen);
}
int STR_nCreateMapString(unsigned int flags, char** out, const char* src) { return CreateMapString(flags, out, src); }
int STR_nCreateMapString(unsigned int flags, wchar_t** out, const wchar_t* src) {
  return CreateMapString(flags, out, src);
}
wchar_t* STR_pszCreateStandard(const wchar_t* src) { return CreateStandard(src); }
char* STR_pszCreateStandard(const char* src) { return CreateStandard(src); }

template <typename T>
int __T_STR_nMapCharEx(unsigned int flags, T* out, T c) {
  T buf[2] = {0, 0};
  const int n = ServiceMap(LocaleFor(flags, LOCALE_ID_FRENCH), ServiceFlags(flags), buf, 2, &c, 1);
  if (out != nullptr) *out = n > 0 ? buf[0] : 0;
  return n;
}
template int __T_STR_nMapCharEx<char>(unsigned int, char*, char);
template int __T_STR_nMapCharEx<wchar_t>(unsigned int, wchar_t*, wchar_t);

int STR_nMapCharEx(unsigned int flags, wchar_t* out, wchar_t c) { return __T_STR_nMapCharEx(flags, out, c); }
int STR_nMapCharEx(unsigned int flags, char* out, char c) { return __T_STR_nMapCharEx(flags, out, c); }
int STR_nMapCharExANSI(unsigned int flags, char* out, char c) { return __T_STR_nMapCharEx(flags, out, c); }
int STR_nMapCharIgnoreCaseAccent(wchar_t* out, wchar_t c) {
  return __T_STR_nMapCharEx<wchar_t>(LOCALE_FLAG_CASE_ACCENT, out, c);
}

int STR_MapStringSortEx(char* dst, int dstSize, const char* src, int srcLen, BOOL bCurrentLocale) {
  return Locale()->nMapStringSortA(bCurrentLocale ? Locale()->nGetLCID() : LOCALE_ID_FRENCH, dst, dstSize, src,
                                   srcLen);
}

BOOL STR_bWhiteCharOrPunctA(char c) {
  char out[2] = {0, 0};
  const int n = Locale()->nMapStringA(LOCALE_ID_FRENCH, LOCALE_FLAG_PUNCT, out, 2, &c, 1);
  return (n == 0 || out[0] == 0) ? TRUE : FALSE;
}
BOOL STR_bWhiteCharOrPunctW(wchar_t c) {
  wchar_t out[2] = {0, 0};
  const int n = Locale()->nMapStringW(LOCALE_ID_SYSTEM_DEFAULT, LOCALE_FLAG_PUNCT, out, 2, &c, 1);
  return (n == 0 || out[0] == 0) ? TRUE : FALSE;
}

unsigned int OptionZV2FlagSTR(unsigned int options) {
  unsigned int flags = 0;
  if (options & 0x2) flags |= LOCALE_FLAG_PUNCT;
  if (options & 0x4) flags |= LOCALE_FLAG_ACCENT;
  if (options & 0x40)
    flags |= LOCALE_FLAG_LOWER;
  else if (options & (0x10 | 0x20))
    flags |= LOCALE_FLAG_CASE;
  if (options & 0x100) flags |= LOCALE_FLAG_HOST_0x100;
  return flags;
}

int STR_PrepareChaineW(unsigned int options, const wchar_t* src, int len, wchar_t* dst, int dstSize) {
  return PrepareChaine(options, src, len, dst, dstSize);
}
int STR_PrepareChaineA(unsigned int options, const char* src, int len, char* dst, int dstSize) {
  return PrepareChaine(options, src, len, dst, dstSize);
}
int STR_ChaineCompareW(const wchar_t* a, int la, const wchar_t* b, int lb, unsigned int options) {
  return ChaineCompare(a, la, b, lb, options);
}
int STR_ChaineCompareA(const char* a, int la, const char* b, int lb, unsigned int options) {
  return ChaineCompare(a, la, b, lb, options);
}

int __nCompareNumeriqueChaineW(const wchar_t* a, int la, const wchar_t* b, int lb, int* pnTie) {
  return CompareDigitRuns(a, la, b, lb, pnTie);
}
int __nCompareNumeriqueChaineA(const char* a, int la, const char* b, int lb, int* pnTie) {
  return CompareDigitRuns(a, la, b, lb, pnTie);
}

int STR_nCompareRespecteNumeriqueW(const wchar_t* a, int la, const wchar_t* b, int lb, unsigned int flags) {
  // Runs of text compare whole: through the service when lexical, else byte-wise.
  return CompareRespecteNumerique(a, la, b, lb, flags, [flags](const wchar_t* ra, int* na, const wchar_t* rb, int* nb) {
    if (flags & LOCALE_FLAG_LEXICAL) return STR_nCompareStringLexicoW(ra, *na, rb, *nb, flags);
    return CompareBytes(ra, *na, rb, *nb);
  });
}
int STR_nCompareRespecteNumeriqueA(const char* a, int la, const char* b, int lb, unsigned int flags) {
  // Text between digit runs compares one byte at a time.
  return CompareRespecteNumerique(a, la, b, lb, flags, [flags](const char* ra, int* na, const char* rb, int* nb) {
    *na = *nb = 1;
    const unsigned char ca = static_cast<unsigned char>(*ra);
    const unsigned char cb = static_cast<unsigned char>(*rb);
    if (flags & LOCALE_FLAG_LEXICAL)
      return STR_nCompareCharLexicoW(static_cast<wchar_t>(ca), static_cast<wchar_t>(cb), flags);
    return static_cast<int>(ca) - static_cast<int>(cb);
  });
}

int nCompareVersionModule(const wchar_t* a, const wchar_t* b) {
  return STR_nCompareRespecteNumeriqueW(a, static_cast<int>(wcslen(a)), b, static_cast<int>(wcslen(b)),
                                        LOCALE_FLAG_LEXICAL);
}
int nCompareVersionModuleA(const char* a, const char* b) {
  return STR_nCompareRespecteNumeriqueA(a, static_cast<int>(strlen(a)), b, static_cast<int>(strlen(b)),
                                        LOCALE_FLAG_LEXICAL);
}
