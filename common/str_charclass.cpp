#include "common/str_charclass.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "common/str_compare.h"
#include "platform/codepage.h"
#include "platform/cp1252.h"

namespace {

inline uint32_t U(wchar_t c) { return static_cast<uint32_t>(c); }
inline unsigned char B(char c) { return static_cast<unsigned char>(c); }


template <typename T>
BOOL AllDigits(const T* s) {
  for (; *s; ++s) {
    if (*s < '0' || *s > '9') return FALSE;
  }
  return TRUE;
}

template <typename T>
BOOL OnlyBlanks(const T* s) {
  for (; *s; ++s) {
    if (*s != '\t' && *s != '\n' && *s != '\r' && *s != ' ') return FALSE;
  }
  return TRUE;
}

// Nothing allocated is kept after a failure.
template <typename T>
BOOL Fail(T** out, int* outLen) {
  *out = nullptr;
  if (outLen != nullptr) *outLen = 0;
  return FALSE;
}

// The allocating conversions share one shape: ask the size, allocate it and a terminator,
// convert. The size asked is already the exact need, so the conversion gets n (n + 1 could
// overflow the int size argument).
template <typename T, typename Convert>
BOOL ConvertAllocating(T** out, int* outLen, Convert convert) {
  const int n = convert(nullptr, 0);
  if (n <= 0) return Fail(out, outLen);
  T* buf = static_cast<T*>(malloc((static_cast<size_t>(n) + 1) * sizeof(T)));
  if (buf == nullptr) return Fail(out, outLen);
  const int m = convert(buf, n);
  if (m <= 0 || m > n) {
    free(buf);
    return Fail(out, outLen);
  }
  buf[m] = 0;
  *out = buf;
  if (outLen != nullptr) *outLen = m;
  return TRUE;
}

unsigned int CurrentCodePage() { return static_cast<unsigned int>(STR_nGetCurrentCodePage()); }

}  // namespace

const unsigned char pToNoAccentUpper_Latin1[256] = {
    // 0x00-0x3F: unchanged
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F,
    0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F,
    0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2A, 0x2B, 0x2C, 0x2D, 0x2E, 0x2F,
    0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3A, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F,
    // 0x40-0x7F: lower case folded to upper
    0x40, 'A',  'B',  'C',  'D',  'E',  'F',  'G',  'H',  'I',  'J',  'K',  'L',  'M',  'N',  'O',
    'P',  'Q',  'R',  'S',  'T',  'U',  'V',  'W',  'X',  'Y',  'Z',  0x5B, 0x5C, 0x5D, 0x5E, 0x5F,
    0x60, 'A',  'B',  'C',  'D',  'E',  'F',  'G',  'H',  'I',  'J',  'K',  'L',  'M',  'N',  'O',
    'P',  'Q',  'R',  'S',  'T',  'U',  'V',  'W',  'X',  'Y',  'Z',  0x7B, 0x7C, 0x7D, 0x7E, 0x7F,
    // 0x80-0x9F: Windows-1252 letters (S and Z with caron, oe, Y diaeresis)
    0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 'S',  0x8B, 0x8C, 0x8D, 'Z',  0x8F,
    0x90, 0x91, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 'S',  0x9B, 0x8C, 0x9D, 'Z',  'Y',
    // 0xA0-0xBF: unchanged
    0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF,
    0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7, 0xB8, 0xB9, 0xBA, 0xBB, 0xBC, 0xBD, 0xBE, 0xBF,
    // 0xC0-0xDF: accented capitals lose the accent; AE, ETH, THORN, sharp s and the sign stay
    'A',  'A',  'A',  'A',  'A',  'A',  0xC6, 'C',  'E',  'E',  'E',  'E',  'I',  'I',  'I',  'I',
    0xD0, 'N',  'O',  'O',  'O',  'O',  'O',  0xD7, 'O',  'U',  'U',  'U',  'U',  'Y',  0xDE, 0xDF,
    // 0xE0-0xFF: the small letters fold to the same capitals
    'A',  'A',  'A',  'A',  'A',  'A',  0xC6, 'C',  'E',  'E',  'E',  'E',  'I',  'I',  'I',  'I',
    0xD0, 'N',  'O',  'O',  'O',  'O',  'O',  0xF7, 'O',  'U',  'U',  'U',  'U',  'Y',  0xDE, 'Y',
};

// ---- Character classes ----

BOOL bEstUnChiffreA(char c) { return c >= '0' && c <= '9'; }
BOOL bEstUnChiffreW(wchar_t c) { return U(c) >= '0' && U(c) <= '9'; }
BOOL bEstUnNombreEntierNaturel(const wchar_t* s) { return AllDigits(s); }
BOOL bEstUnNombreEntierNaturel(const char* s) { return AllDigits(s); }
BOOL bExtendedASCII(wchar_t c) { return U(c) > 127; }
BOOL bExtendedASCII(char c) { return B(c) > 127; }
BOOL bMajusculeA(char c) { return c >= 'A' && c <= 'Z'; }
BOOL bMajusculeW(wchar_t c) { return U(c) >= 'A' && U(c) <= 'Z'; }
BOOL bMinusculeA(char c) { return c >= 'a' && c <= 'z'; }
BOOL bMinusculeW(wchar_t c) { return U(c) >= 'a' && U(c) <= 'z'; }
BOOL bUnprintable(wchar_t c) { return U(c) < 32; }
BOOL bUnprintable(char c) { return B(c) < 32; }

BOOL bPonctuation(wchar_t c) {
  const uint32_t u = U(c);
  return (u >= 33 && u <= 47) || (u >= 58 && u <= 64) || (u >= 91 && u <= 95);
}
BOOL bPonctuation(char c) { return bPonctuation(static_cast<wchar_t>(B(c))); }

BOOL STR_bNeContientRienDeLisibleA(const char* s) { return OnlyBlanks(s); }
BOOL STR_bNeContientRienDeLisibleW(const wchar_t* s) { return OnlyBlanks(s); }
BOOL STR_bContainSpace(const wchar_t* s) { return s != nullptr && wcschr(s, L' ') != nullptr; }

BOOL STR_bIsANSI7(const wchar_t* s) {
  for (; *s; ++s) {
    if (U(*s) >= 0x80) return FALSE;
  }
  return TRUE;
}
BOOL STR_bIsANSI7(const wchar_t* s, int n) {
  for (int i = 0; i < n; ++i) {
    if (U(s[i]) >= 0x80) return FALSE;
  }
  return TRUE;
}
BOOL STR_bIsANSI7(const char* s) {
  for (; *s; ++s) {
    if (B(*s) >= 0x80) return FALSE;
  }
  return TRUE;
}
BOOL STR_bIsANSI7(const char* s, int n) {
  for (int i = 0; i < n; ++i) {
    if (B(s[i]) >= 0x80) return FALSE;
  }
  return TRUE;
}
BOOL STR_bIsANSI7(char c) { return B(c) < 0x80; }

BOOL STR_bIsCp1252(wchar_t c, unsigned char& b) {
  const uint32_t u = U(c);
  if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
    b = static_cast<unsigned char>(u);
    return TRUE;
  }
  const int byte = CP1252ByteOf(u);
  if (byte < 0) return FALSE;
  b = static_cast<unsigned char>(byte);
  return TRUE;
}
BOOL STR_bIsCp1252(wchar_t c) {
  unsigned char b;
  return STR_bIsCp1252(c, b);
}
BOOL STR_bIsCp1252(const wchar_t* s) {
  for (; *s; ++s) {
    if (!STR_bIsCp1252(*s)) return FALSE;
  }
  return TRUE;
}

int STR_nGetNbByteUTF8(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  if (lead < 0xF8) return 4;
  if (lead < 0xFC) return 5;
  if (lead < 0xFE) return 6;
  return 1;
}

// ---- Single characters ----

char STR_ToCP1252(wchar_t c, char cDefault, int* pbLost) {
  unsigned char b;
  if (STR_bIsCp1252(c, b)) return static_cast<char>(b);
  if (pbLost != nullptr) *pbLost = 1;
  return cDefault;
}

char STR_ToAnsi7(wchar_t c, char cDefault) { return U(c) <= 127 ? static_cast<char>(c) : cDefault; }
wchar_t STR_FromAnsi7(char c, wchar_t cDefault) { return B(c) < 0x80 ? static_cast<wchar_t>(c) : cDefault; }

wchar_t STR_FromCP1252(char b) {
  const unsigned char u = B(b);
  if (u >= 0x80 && u <= 0x9F && kCP1252High[u - 0x80] != 0) return static_cast<wchar_t>(kCP1252High[u - 0x80]);
  return static_cast<wchar_t>(u);
}

char STR_WCharToAChar(wchar_t c, unsigned int flags, unsigned int codePage) {
  char b = 0;
  if (WideCharToMultiByte(codePage, flags, &c, 1, &b, 1, nullptr, nullptr) != 1) return 0;
  return b;
}

wchar_t STR_CharToWChar(char b, unsigned int flags, unsigned int codePage) {
  wchar_t c = 0;
  if (MultiByteToWideChar(codePage, flags, &b, 1, &c, 1) != 1) return 0;
  return c;
}

wchar_t STR_CharToWChar_CurrentCharset(char b, unsigned int flags) {
  return STR_CharToWChar(b, flags, CurrentCodePage());
}

// ---- Whole texts ----

int STR_CP1252ToWideChar(const char* src, int srcLen, wchar_t* dst, int dstSize) {
  if (src == nullptr || srcLen < -1) return 0;
  size_t n = static_cast<size_t>(srcLen);
  if (srcLen == -1) {
    n = strlen(src) + 1;
    if (n > static_cast<size_t>(INT_MAX)) return 0;
  }
  if (dst == nullptr || dstSize <= 0) return static_cast<int>(n);
  if (n > static_cast<size_t>(dstSize)) n = static_cast<size_t>(dstSize);
  for (size_t i = 0; i < n; ++i) dst[i] = STR_FromCP1252(src[i]);
  return static_cast<int>(n);
}

BOOL __STR_WCharToChar(const wchar_t* src, int srcLen, char** out, int* outLen, unsigned int codePage) {
  if (src == nullptr) return Fail(out, outLen);
  return ConvertAllocating(out, outLen, [&](char* dst, int size) {
    return WideCharToMultiByte(codePage, 0, src, srcLen, dst, size, nullptr, nullptr);
  });
}

BOOL STR_WCharToChar_AnyCodepage(const wchar_t* src, int srcLen, char** out, int* outLen, unsigned int codePage) {
  return __STR_WCharToChar(src, srcLen, out, outLen, codePage);
}

BOOL STR_WCharToChar_CurrentCharset(char** out, const wchar_t* src, int srcLen) {
  return __STR_WCharToChar(src, srcLen, out, nullptr, CurrentCodePage());
}

BOOL __STR_CharToWChar(const char* src, int srcLen, unsigned int codePage, wchar_t** out, int* outLen,
                       unsigned int flags) {
  if (src == nullptr) return Fail(out, outLen);
  return ConvertAllocating(out, outLen, [&](wchar_t* dst, int size) {
    return MultiByteToWideChar(codePage, flags, src, srcLen, dst, size);
  });
}

BOOL STR_CharToWChar_AnyCodepage(const char* src, int srcLen, unsigned int codePage, wchar_t** out, int* outLen,
                                 unsigned int flags) {
  if (codePage != CP_UTF8) flags |= 1;
  return __STR_CharToWChar(src, srcLen, codePage, out, outLen, flags);
}

BOOL STR_CharToWChar_CurrentCharset(wchar_t** out, const char* src, unsigned int flags, int srcLen) {
  if (src == nullptr) {
    *out = nullptr;
    return TRUE;
  }
  return __STR_CharToWChar(src, srcLen, CurrentCodePage(), out, nullptr, flags);
}

BOOL STR_CharToWChar(wchar_t** out, const char* src) { return __STR_CharToWChar(src, -1, 1252, out, nullptr, 9); }

BOOL STR_CharToChar_AnyCodepage(const char* src, int srcLen, unsigned int fromCodePage, char** out, int* outLen,
                                unsigned int toCodePage) {
  if (src == nullptr || srcLen < -1) return Fail(out, outLen);
  if (fromCodePage == toCodePage) {
    const size_t n = srcLen == -1 ? strlen(src) : static_cast<size_t>(srcLen);
    if (n >= static_cast<size_t>(INT_MAX)) return Fail(out, outLen);
    char* buf = static_cast<char*>(malloc(n + 1));
    if (buf == nullptr) return Fail(out, outLen);
    memcpy(buf, src, n);
    buf[n] = '\0';
    *out = buf;
    if (outLen != nullptr) *outLen = static_cast<int>(n);
    return TRUE;
  }
  wchar_t* wide = nullptr;
  int wideLen = 0;
  if (!STR_CharToWChar_AnyCodepage(src, srcLen, fromCodePage, &wide, &wideLen, 0)) return Fail(out, outLen);
  const BOOL ok = __STR_WCharToChar(wide, wideLen, out, outLen, toCodePage);
  free(wide);
  return ok;
}

BOOL bAnsiCompatible(const wchar_t* s, unsigned int codePage) {
  if (s == nullptr || *s == 0) return TRUE;
  char* narrow = nullptr;
  int narrowLen = 0;
  if (!__STR_WCharToChar(s, -1, &narrow, &narrowLen, codePage)) return FALSE;
  wchar_t* back = nullptr;
  const BOOL ok = __STR_CharToWChar(narrow, narrowLen, codePage, &back, nullptr, 9) && wcscmp(s, back) == 0;
  free(back);
  free(narrow);
  return ok;
}

BOOL bLatin1(const wchar_t* s) { return bAnsiCompatible(s, 1252); }

int STR_nCmpLogiqueAnsiFast(const char* a, const char* b) {
  for (;; ++a, ++b) {
    if (*a == '\0') return *b == '\0' ? 0 : -1;
    if (*b == '\0') return 1;
    const unsigned char fa = pToNoAccentUpper_Latin1[B(*a)];
    const unsigned char fb = pToNoAccentUpper_Latin1[B(*b)];
    if (fa != fb) return fa < fb ? -1 : 1;
  }
}
