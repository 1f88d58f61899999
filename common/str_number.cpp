#include "common/str_number.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>

#include "common/str_buffer.h"
#include "platform/codepage.h"

namespace {

constexpr unsigned int kCodePage1252 = 1252;

template <typename T>
T* ToText(unsigned long long magnitude, bool negative, T* buffer, int radix) {
  if (buffer == nullptr) return buffer;
  if (radix < 2 || radix > 36) {
    buffer[0] = 0;
    return buffer;
  }
  T digits[64];
  int i = 64;
  const unsigned long long base = static_cast<unsigned long long>(radix);
  do {
    const int d = static_cast<int>(magnitude % base);
    digits[--i] = static_cast<T>(d < 10 ? '0' + d : 'a' + d - 10);
    magnitude /= base;
  } while (magnitude != 0);
  T* w = buffer;
  if (negative) *w++ = '-';
  for (; i < 64; ++i) *w++ = digits[i];
  *w = 0;
  return buffer;
}

// Two's complement negation, so the most negative value has its magnitude too.
inline unsigned long long Magnitude(long long v) {
  return v < 0 ? 0ULL - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
}

// The first 99 characters of text in code page 1252, terminated, in a 100-byte scratch.
void ToScratch1252(const wchar_t* text, char (&scratch)[100]) {
  scratch[0] = 0;
  if (text == nullptr) return;
  const int len = static_cast<int>(wcsnlen(text, sizeof scratch - 1));
  if (len == 0) return;
  const int n = WideCharToMultiByte(kCodePage1252, 0, text, len, scratch, len, nullptr, nullptr);
  scratch[n > 0 ? n : 0] = 0;
}

inline bool Aligned(const void* p) { return reinterpret_cast<uintptr_t>(p) % alignof(wchar_t) == 0; }

inline wchar_t LoadAt(const char* s, size_t i) {
  wchar_t c;
  memcpy(&c, s + i * sizeof(wchar_t), sizeof c);
  return c;
}

template <typename T, typename Map>
T* MapEach(T* s, Map map) {
  if (s == nullptr) return s;
  for (T* p = s; *p != 0; ++p) *p = map(*p);
  return s;
}

template <typename T>
T* Fill(T* s, T c, size_t n) {
  if (s == nullptr) return s;
  for (size_t i = 0; i < n && s[i] != 0; ++i) s[i] = c;
  return s;
}

}  // namespace

// ---- Integers to text ----

char* ultoa(uint32_t value, char* buffer, int radix) { return ToText(value, false, buffer, radix); }
wchar_t* ultow(uint32_t value, wchar_t* buffer, int radix) { return ToText(value, false, buffer, radix); }
char* itoa(int32_t value, char* buffer, int radix) { return ToText(Magnitude(value), value < 0, buffer, radix); }
wchar_t* itow(int32_t value, wchar_t* buffer, int radix) {
  return ToText(Magnitude(value), value < 0, buffer, radix);
}
char* ui64toa(unsigned long long value, char* buffer, int radix) { return ToText(value, false, buffer, radix); }
wchar_t* ui64tow(unsigned long long value, wchar_t* buffer, int radix) { return ToText(value, false, buffer, radix); }
char* _ui64toaMvx(unsigned long long value, char* buffer, int radix) { return ToText(value, false, buffer, radix); }
wchar_t* _ui64towMvx(unsigned long long value, wchar_t* buffer, int radix) {
  return ToText(value, false, buffer, radix);
}
char* i64toa(long long value, char* buffer, int radix) { return ToText(Magnitude(value), value < 0, buffer, radix); }
wchar_t* i64tow(long long value, wchar_t* buffer, int radix) {
  return ToText(Magnitude(value), value < 0, buffer, radix);
}
char* _i64toaMvx(long long value, char* buffer, int radix) { return i64toa(value, buffer, radix); }
wchar_t* _i64towMvx(long long value, wchar_t* buffer, int radix) { return i64tow(value, buffer, radix); }

// ---- Text to numbers ----

long long _wtoi64Mvx(const wchar_t* text) {
  char scratch[100];
  ToScratch1252(text, scratch);
  return strtoll(scratch, nullptr, 10);
}

double wtof(const wchar_t* text) {
  char scratch[100];
  ToScratch1252(text, scratch);
  return strtod(scratch, nullptr);
}

wchar_t* _wgcvt(double value, int digits, wchar_t* buffer) {
  if (buffer == nullptr) return buffer;
  // 17 significant digits are all a double has; the text then stays within 25 characters.
  if (digits < 0) digits = 0;
  if (digits > 17) digits = 17;
  char scratch[64];
  gcvt(value, digits, scratch);
  const int len = static_cast<int>(strlen(scratch)) + 1;
  if (MultiByteToWideChar(kCodePage1252, 0, scratch, len, buffer, len) <= 0) buffer[0] = 0;
  return buffer;
}

int STR_nDigitValue(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'z') return c - L'a' + 10;
  if (c >= L'A' && c <= L'Z') return c - L'A' + 10;
  return -1;
}

long long nGetEntierHexa(const wchar_t* text, int& count) {
  count = 0;
  if (text == nullptr) return 0;
  unsigned long long value = 0;
  for (;; ++count) {
    const int d = STR_nDigitValue(text[count]);
    if (d < 0 || d > 15) break;
    value = value << 4 | static_cast<unsigned long long>(d);
  }
  return static_cast<long long>(value);
}

int nGetEntierHexa4(const wchar_t* text) {
  if (text == nullptr) return 0;
  // Unsigned arithmetic: unchecked characters may give any value, but never an overflow.
  uint32_t value = 0;
  for (int i = 0; i < 4 && text[i] != 0; ++i) {
    const wchar_t c = text[i];
    const uint32_t d = c < L'9' + 1 ? static_cast<uint32_t>(c) - L'0'
                                    : static_cast<uint32_t>(towupper(static_cast<wint_t>(c))) - 55u;
    value = value * 16u + d;
  }
  return static_cast<int>(value);
}

// ---- Case, filling, lengths ----

wchar_t* my_struprW(wchar_t* s) {
  return MapEach(s, [](wchar_t c) { return static_cast<wchar_t>(towupper(static_cast<wint_t>(c))); });
}
wchar_t* my_strlwrW(wchar_t* s) {
  return MapEach(s, [](wchar_t c) { return static_cast<wchar_t>(towlower(static_cast<wint_t>(c))); });
}
char* my_struprA(char* s) {
  return MapEach(s, [](char c) { return static_cast<char>(toupper(static_cast<unsigned char>(c))); });
}
char* my_strlwrA(char* s) {
  return MapEach(s, [](char c) { return static_cast<char>(tolower(static_cast<unsigned char>(c))); });
}

wchar_t* wcsset(wchar_t* s, wchar_t c) { return Fill(s, c, SIZE_MAX); }
char* _strset(char* s, int c) { return Fill(s, static_cast<char>(c), SIZE_MAX); }
wchar_t* wcsnset(wchar_t* s, wchar_t c, unsigned int n) { return Fill(s, c, n); }
char* _strnset(char* s, int c, unsigned int n) { return Fill(s, static_cast<char>(c), n); }

unsigned int xwcsnlen(const wchar_t* s, unsigned int n) {
  return s == nullptr ? 0 : static_cast<unsigned int>(wcsnlen(s, n));
}
unsigned int xstrnlen(const char* s, unsigned int n) {
  return s == nullptr ? 0 : static_cast<unsigned int>(strnlen(s, n));
}

// Skips by two where the pattern's first two bytes prove the next position cannot match.
void* xmemmem(const void* block, unsigned int size, const void* pattern, unsigned int patternSize) {
  if (block == nullptr || pattern == nullptr || size == 0 || patternSize == 0 || patternSize > size) {
    return nullptr;
  }
  const unsigned char* b = static_cast<const unsigned char*>(block);
  const unsigned char* pat = static_cast<const unsigned char*>(pattern);
  if (patternSize == 1) return const_cast<void*>(memchr(block, pat[0], size));
  const bool sameHead = pat[0] == pat[1];
  const unsigned int stepOnSecond = sameHead ? 1 : 2;
  const unsigned int stepOtherwise = sameHead ? 2 : 1;
  for (unsigned int p = 0; p <= size - patternSize;) {
    if (b[p + 1] == pat[1]) {
      if (memcmp(b + p + 2, pat + 2, patternSize - 2) == 0 && b[p] == pat[0]) {
        return const_cast<unsigned char*>(b + p);
      }
      p += stepOnSecond;
    } else {
      p += stepOtherwise;
    }
  }
  return nullptr;
}

// ---- Unaligned wide text ----

size_t __UNALIGNED__UNICODE__STRLEN__(const char* s) {
  if (Aligned(s)) return wcslen(reinterpret_cast<const wchar_t*>(s));
  size_t n = 0;
  while (LoadAt(s, n) != 0) ++n;
  return n;
}

char* __UNALIGNED__UNICODE__STRCPY__(char* dst, const char* src) {
  if (Aligned(dst) && Aligned(src)) {
    wcscpy(reinterpret_cast<wchar_t*>(dst), reinterpret_cast<const wchar_t*>(src));
    return dst;
  }
  const size_t n = __UNALIGNED__UNICODE__STRLEN__(src);
  memmove(dst, src, (n + 1) * sizeof(wchar_t));
  return dst;
}

char* __UNALIGNED__UNICODE__STRNCPY__(char* dst, const char* src, int n) {
  if (dst == nullptr || n < 1) return dst;
  const size_t last = static_cast<size_t>(n) - 1;
  if (Aligned(dst) && Aligned(src)) {
    wchar_t* d = reinterpret_cast<wchar_t*>(dst);
    wcsncpy(d, reinterpret_cast<const wchar_t*>(src), last);
    d[last] = 0;
    return dst;
  }
  size_t k = 0;
  while (k < last && LoadAt(src, k) != 0) ++k;
  memmove(dst, src, k * sizeof(wchar_t));
  memset(dst + k * sizeof(wchar_t), 0, (static_cast<size_t>(n) - k) * sizeof(wchar_t));
  return dst;
}

// ---- Owned copies ----

char* pszXSTR2CSTR(const wchar_t* text, int n) {
  if (text == nullptr) text = L"";
  size_t len;
  if (n == -1) {
    len = wcslen(text);
    if (len > static_cast<size_t>(INT_MAX) - 1) return nullptr;
    n = static_cast<int>(len);
  } else {
    if (n < 0) n = 0;
    len = wcsnlen(text, static_cast<size_t>(n));
  }
  char* out = static_cast<char*>(calloc(static_cast<size_t>(n) + 1, 1));
  if (out == nullptr || len == 0) return out;
  // Code page 1252 is one byte a character, so len bytes always hold the result.
  const int k = static_cast<int>(len);
  if (WideCharToMultiByte(kCodePage1252, 0, text, k, out, k, nullptr, nullptr) <= 0) {
    free(out);
    return nullptr;
  }
  return out;
}

wchar_t* pszCSTR2XSTR(const char* text, int n, unsigned int codePage) {
  if (text == nullptr) text = "";
  const size_t len = n < 0 ? strlen(text) : strnlen(text, static_cast<size_t>(n));
  if (len > static_cast<size_t>(INT_MAX) - 1) return nullptr;
  if (len == 0) return STR_pszCreate(0u, L"");
  const int k = static_cast<int>(len);
  const int need = MultiByteToWideChar(codePage, 0, text, k, nullptr, 0);
  if (need <= 0) return nullptr;
  wchar_t* out = STR_pszCreate(static_cast<unsigned int>(need));
  if (out == nullptr) return nullptr;
  const int got = MultiByteToWideChar(codePage, 0, text, k, out, need);
  if (got <= 0) {
    free(out);
    return nullptr;
  }
  out[got] = 0;
  return out;
}

wchar_t* pszWSTR2XSTR(const wchar_t* text, int n, int) {
  if (text == nullptr) return nullptr;
  return n < 1 ? STR_pszCreate(text) : STR_pszCreate(static_cast<unsigned int>(n), text);
}
wchar_t* pszXSTR2WSTR(const wchar_t* text, int n, int unused) { return pszWSTR2XSTR(text, n, unused); }
