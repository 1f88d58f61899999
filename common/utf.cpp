#include "common/utf.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <cwctype>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <tmmintrin.h>
#define QX_UTF_SHUFFLE 1
#else
#define QX_UTF_SHUFFLE 0
#endif

const unsigned char TabUTF8len[64] = {
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 0x00-0x3F
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 0x40-0x7F
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 0x80-0xBF
    2, 2, 2, 2, 2, 2, 2, 2,                          // 0xC0-0xDF
    3, 3, 3, 3,                                      // 0xE0-0xEF
    4, 4,                                            // 0xF0-0xF7
    5,                                               // 0xF8-0xFB
    6,                                               // 0xFC-0xFF
};

namespace {

constexpr uint32_t kBad = '?';

// UTF-16 buffers may start at any byte (a host record packs its items without padding): units
// are moved through memcpy, which compiles to the same single load or store.
inline unsigned short load16(const unsigned short* p) {
  unsigned short u;
  std::memcpy(&u, p, sizeof u);
  return u;
}
inline void store16(unsigned short* p, uint32_t v) {
  const auto u = static_cast<unsigned short>(v);
  std::memcpy(p, &u, sizeof u);
}

inline bool isCont(unsigned b) { return (b & 0xC0) == 0x80; }

// A valid three-byte character in the low three bytes of a little-endian load: a lead of 0xE0
// takes a second byte from 0xA0 (no overlong form), one of 0xED a second byte below 0xA0 (no
// surrogate). Its unit.
inline bool isThreeByte(uint32_t w) {
  return (w & 0xC0C0F0u) == 0x8080E0u && (w & 0x20FFu) != 0x00E0u && (w & 0x20FFu) != 0x20EDu;
}
inline uint32_t threeByteUnit(uint32_t w) { return ((w & 0x0Fu) << 12) | ((w & 0x3F00u) >> 2) | ((w >> 16) & 0x3Fu); }

// Unicode scalar value: a code point that is not a surrogate.
inline bool isScalar(uint32_t c) { return c < 0xD800 || (c >= 0xE000 && c < 0x110000); }

inline bool isHighSurrogate(uint32_t u) { return (u & 0xFC00) == 0xD800; }
inline bool isLowSurrogate(uint32_t u) { return (u & 0xFC00) == 0xDC00; }

// Decodes one sequence starting at p (p < end when Bounded) and leaves p after what it took.
// The unbounded form relies on the terminating zero, which is no continuation byte and so ends
// any sequence before it.
template <bool Bounded>
inline uint32_t decodeOne(const unsigned char*& p, const unsigned char* end) {
  const unsigned b = *p++;
  if (b < 0x80) return b;
  const unsigned len = TabUTF8len[b >> 2];
  if (len == 0) return kBad;
  uint32_t c = b & (0x7Fu >> len);
  for (unsigned k = 1; k < len; ++k) {
    if ((Bounded && p == end) || !isCont(*p)) return kBad;
    c = (c << 6) | (*p++ & 0x3Fu);
  }
  static constexpr uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (len > 4 || c < kMin[len] || !isScalar(c)) return kBad;
  return c;
}

inline unsigned utf8Size(uint32_t c) {
  if (c < 0x80) return 1;
  if (c < 0x800) return 2;
  if (c < 0x10000) return isScalar(c) ? 3 : 1;
  return c < 0x110000 ? 4 : 1;
}

// Writes utf8Size(c) bytes.
inline unsigned encodeOne(uint32_t c, unsigned char* o) {
  if (c < 0x80) {
    o[0] = static_cast<unsigned char>(c);
    return 1;
  }
  if (c < 0x800) {
    o[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
    o[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    return 2;
  }
  if (!isScalar(c)) {
    o[0] = static_cast<unsigned char>(kBad);
    return 1;
  }
  if (c < 0x10000) {
    o[0] = static_cast<unsigned char>(0xE0 | (c >> 12));
    o[1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
    o[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    return 3;
  }
  o[0] = static_cast<unsigned char>(0xF0 | (c >> 18));
  o[1] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
  o[2] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
  o[3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
  return 4;
}

inline const unsigned char* bytes(const char* p) { return reinterpret_cast<const unsigned char*>(p); }

// Continuation bytes among n bytes known to be readable: eight at a time on aligned words.
size_t countContinuation(const unsigned char* s, size_t n) {
  size_t count = 0;
  size_t i = 0;
  while (i < n && (reinterpret_cast<uintptr_t>(s + i) & 7) != 0) count += isCont(s[i++]);
  for (; n - i >= 8; i += 8) {
    uint64_t w;
    std::memcpy(&w, s + i, 8);
    // Bit 7 of a byte set and bit 6 clear; then one count per byte, summed by the multiply.
    const uint64_t m = (w & ~(w << 1)) & 0x8080808080808080ull;
    count += static_cast<size_t>(((m >> 7) * 0x0101010101010101ull) >> 56);
  }
  for (; i < n; ++i) count += isCont(s[i]);
  return count;
}

// Two-byte sequence with a lead of 0xC2-0xDF (0xC0 and 0xC1 would be overlong).
inline bool isTwoByte(const unsigned char* p) { return static_cast<unsigned>(p[0] - 0xC2) < 0x1E && isCont(p[1]); }

// Decodes len bytes into at most cap characters; returns the characters written.
size_t decodeRun(const unsigned char* s, size_t len, wchar_t* d, size_t cap) {
  const unsigned char* p = s;
  const unsigned char* const end = s + len;
  wchar_t* o = d;
  wchar_t* const oend = d + cap;
#if defined(__SSE2__)
  const __m128i z = _mm_setzero_si128();
  // Bulk: every block of 16 bytes is widened and stored whole, and only its ASCII prefix kept.
  // With 112 bytes left, what follows the prefix makes at least 16 characters (6 bytes at most
  // each), so the slots stored beyond the result are always written again.
  while (end - p >= 112 && oend - o >= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    WidenSixteen(v, o);
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(v));
    if (mask == 0) {
      p += 16;
      o += 16;
      continue;
    }
    const unsigned ascii = static_cast<unsigned>(__builtin_ctz(mask));
    p += ascii;
    o += ascii;
    do {
      if (isTwoByte(p)) {
        *o++ = static_cast<wchar_t>(((p[0] & 0x1Fu) << 6) | (p[1] & 0x3Fu));
        p += 2;
      } else {
        *o++ = static_cast<wchar_t>(decodeOne<true>(p, end));
      }
    } while (end - p >= 2 && o < oend && *p >= 0x80);
  }
#endif
  while (p < end && o < oend) {
    if (*p >= 0x80) {
      *o++ = static_cast<wchar_t>(decodeOne<true>(p, end));
      continue;
    }
#if defined(__SSE2__)
    while (end - p >= 16 && oend - o >= 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(v));
      const __m128i lo = _mm_unpacklo_epi8(v, z);
      const __m128i hi = _mm_unpackhi_epi8(v, z);
      const __m128i q[4] = {_mm_unpacklo_epi16(lo, z), _mm_unpackhi_epi16(lo, z),
                            _mm_unpacklo_epi16(hi, z), _mm_unpackhi_epi16(hi, z)};
      // Near the end only whole groups of four ASCII characters are stored: nothing beyond the
      // result is touched.
      const unsigned ascii = mask == 0 ? 16 : static_cast<unsigned>(__builtin_ctz(mask));
      for (unsigned g = 0; g < ascii / 4; ++g) _mm_storeu_si128(reinterpret_cast<__m128i*>(o) + g, q[g]);
      p += ascii & ~3u;
      o += ascii & ~3u;
      if (mask != 0) break;
    }
#endif
    while (p < end && o < oend && *p < 0x80) *o++ = *p++;
  }
  return static_cast<size_t>(o - d);
}

// Characters the decoder makes of len bytes.
size_t countChars(const unsigned char* s, size_t len) {
  const unsigned char* p = s;
  const unsigned char* const end = s + len;
  size_t n = 0;
  while (p < end) {
    if (end - p >= 8) {
      uint64_t w;
      std::memcpy(&w, p, 8);
      if ((w & 0x8080808080808080ull) == 0) {
        p += 8;
        n += 8;
        continue;
      }
    }
    decodeOne<true>(p, end);
    ++n;
  }
  return n;
}

// Encodes n characters into at most cap bytes, stopping before one that does not fit.
size_t encodeRun(const wchar_t* s, size_t n, unsigned char* d, size_t cap) {
  const wchar_t* p = s;
  const wchar_t* const end = s + n;
  unsigned char* o = d;
  unsigned char* const oend = d + cap;
#if defined(__SSE2__)
  const __m128i high = _mm_set1_epi32(~0x7F);
  const __m128i z = _mm_setzero_si128();
  // Bulk: eight characters are narrowed and stored as eight bytes, and only the ASCII prefix is
  // kept. The characters after the prefix write at least one byte each, and with 12 bytes of
  // room any of them starting within those eight bytes fits, so they are always written again.
  while (end - p >= 8 && oend - o >= 12) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(o), _mm_packus_epi16(_mm_packs_epi32(a, b), z));
    const unsigned asciiA = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(a, high), z)));
    const unsigned asciiB = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(b, high), z)));
    const unsigned ascii = asciiA | (asciiB << 16);
    if (ascii == 0xFFFFFFFFu) {
      p += 8;
      o += 8;
      continue;
    }
    const unsigned prefix = static_cast<unsigned>(__builtin_ctz(~ascii)) / 4;
    p += prefix;
    o += prefix;
    do {
      const uint32_t c = static_cast<uint32_t>(*p++);
      if (c < 0x800) {
        o[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
        o[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        o += 2;
      } else {
        o += encodeOne(c, o);
      }
    } while (p < end && oend - o >= 4 && static_cast<uint32_t>(*p) >= 0x80);
  }
#endif
  while (p < end) {
    const uint32_t c = static_cast<uint32_t>(*p);
    const unsigned size = utf8Size(c);
    if (static_cast<size_t>(oend - o) < size) break;
    o += encodeOne(c, o);
    ++p;
  }
  return static_cast<size_t>(o - d);
}

}  // namespace

// ---- UTF-8 measuring and walking ----

const char* UTF8next(const char* p) {
  if (p == nullptr || *p == 0) return p;
  const unsigned char* s = bytes(p);
  decodeOne<false>(s, nullptr);
  return reinterpret_cast<const char*>(s);
}

char* UTF8next(char* p) { return const_cast<char*>(UTF8next(static_cast<const char*>(p))); }

int UTF8Len(const char* p) { return static_cast<int>(UTF8next(p) - p); }

int StrLenUTF8(const char* text) {
  if (text == nullptr) return 0;
  const size_t n = std::strlen(text);
  return static_cast<int>(n - countContinuation(bytes(text), n));
}

int StrNLenUTF8(const char* text, int maxBytes) {
  if (text == nullptr || maxBytes < 1) return 0;
  const size_t n = strnlen(text, static_cast<size_t>(maxBytes));
  return static_cast<int>(n - countContinuation(bytes(text), n));
}

int UTF8ToWideLen(const char* text) {
  if (text == nullptr) return 0;
  return static_cast<int>(countChars(bytes(text), std::strlen(text)));
}

int UTF8FirstChar(const char* p, int& n) {
  if (p == nullptr || n < 1) {
    n = 0;
    return -1;
  }
  const unsigned char* s = bytes(p);
  const uint32_t c = decodeOne<true>(s, s + n);
  // Below 0x80 a '?' is itself; above, a well-formed sequence never decodes to it.
  if (c == kBad && *bytes(p) >= 0x80) {
    n = 0;
    return -1;
  }
  n = static_cast<int>(s - bytes(p));
  return static_cast<int>(c);
}

BOOL UTF8Valide(const char* text, int n) {
  if (text == nullptr) return n == 0 ? TRUE : FALSE;
  size_t len;
  if (n == -1)
    len = std::strlen(text);
  else if (n < 1)
    return TRUE;
  else
    len = static_cast<size_t>(n);
  const unsigned char* p = bytes(text);
  const unsigned char* const end = p + len;
  while (p < end) {
    if (end - p >= 8) {
      uint64_t w;
      std::memcpy(&w, p, 8);
      if ((w & 0x8080808080808080ull) == 0) {
        p += 8;
        continue;
      }
    }
    if (*p < 0x80) {
      ++p;
    } else if (decodeOne<true>(p, end) == kBad) {
      return FALSE;
    }
  }
  return TRUE;
}

// ---- Decoding ----

wchar_t UTF8_GetNext(const char** p) {
  if (p == nullptr || *p == nullptr) return 0;
  const unsigned char* s = bytes(*p);
  const uint32_t c = decodeOne<false>(s, nullptr);
  *p = reinterpret_cast<const char*>(s);
  return static_cast<wchar_t>(c);
}

wchar_t UTF8_GetNext(const char** p, unsigned int* remaining) {
  if (p == nullptr || *p == nullptr || remaining == nullptr || *remaining == 0) return 0;
  const unsigned char* const start = bytes(*p);
  const unsigned char* s = start;
  const uint32_t c = decodeOne<true>(s, start + *remaining);
  *remaining -= static_cast<unsigned int>(s - start);
  *p = reinterpret_cast<const char*>(s);
  return static_cast<wchar_t>(c);
}

int UTF8ToWide(wchar_t* dst, unsigned int dstChars, const char* src) {
  if (dst == nullptr || dstChars == 0) return 0;
  size_t written = 0;
  if (src != nullptr) {
    const size_t cap = dstChars - 1;
    // A character never takes more than 6 bytes, so no sequence is cut by this bound before
    // the destination is full, and a long source is not measured for nothing.
    const size_t len = strnlen(src, cap * 6);
    written = decodeRun(bytes(src), len, dst, cap);
  }
  dst[written] = 0;
  return static_cast<int>(written);
}

int nUTF8ToWide(wchar_t* dst, int dstChars, const char* src, int srcLen) {
  if (dst == nullptr || src == nullptr || dstChars < 1 || srcLen == 0 || srcLen < -1) return 0;
  const size_t len = srcLen == -1 ? std::strlen(src) + 1 : static_cast<size_t>(srcLen);
  return static_cast<int>(decodeRun(bytes(src), len, dst, static_cast<size_t>(dstChars)));
}

#if defined(__SSE2__)
// Eight bytes below 0x80 (the low half of v) as eight characters.
inline void WidenEight(__m128i v, wchar_t* dst) {
  const __m128i z = _mm_setzero_si128();
  const __m128i lo = _mm_unpacklo_epi8(v, z);
  __m128i* const q = reinterpret_cast<__m128i*>(dst);
  _mm_storeu_si128(q, _mm_unpacklo_epi16(lo, z));
  _mm_storeu_si128(q + 1, _mm_unpackhi_epi16(lo, z));
}
#endif

size_t nWidenASCII(wchar_t* dst, const char* src, size_t n) {
  const unsigned char* s = bytes(src);
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i z = _mm_setzero_si128();
  for (; n - i >= 16; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    // Bytes from 0x80 up and zeros stop the run: as signed bytes, those not above zero.
    if (_mm_movemask_epi8(_mm_cmpgt_epi8(v, z)) != 0xFFFF) break;
    WidenSixteen(v, dst + i);
  }
  // A text of eight to fifteen bytes in two overlapping halves.
  if (n >= 8 && n < 16) {
    const __m128i lo = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(s));
    const __m128i hi = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(s + n - 8));
    if ((_mm_movemask_epi8(_mm_cmpgt_epi8(lo, z)) & _mm_movemask_epi8(_mm_cmpgt_epi8(hi, z)) & 0xFF) == 0xFF) {
      WidenEight(lo, dst);
      WidenEight(hi, dst + n - 8);
      return n;
    }
  }
  // The last sixteen bytes taken whole when the run reaches them: those before i are widened
  // again to the same characters.
  if (i < n && n >= 16 && n - i < 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + n - 16));
    if (_mm_movemask_epi8(_mm_cmpgt_epi8(v, z)) == 0xFFFF) {
      WidenSixteen(v, dst + n - 16);
      return n;
    }
  }
#endif
  for (; i < n && s[i] != 0 && s[i] < 0x80; ++i) dst[i] = s[i];
  return i;
}

unsigned int UTF8ToUTF16Len(const char* src, unsigned int srcLen) {
  if (src == nullptr) return 0;
  const size_t len = srcLen == UINT_MAX ? std::strlen(src) + 1 : srcLen;
  const unsigned char* p = bytes(src);
  const unsigned char* const end = p + len;
  size_t units = 0;
  while (p < end) units += decodeOne<true>(p, end) > 0xFFFF ? 2 : 1;
  return static_cast<unsigned int>(units);
}

namespace {

// The source's last left bytes (1 to 3, the source holding four) from p into d, with room for
// left units: its ASCII, two-byte and three-byte characters read from the load of its last four,
// shifted down. Returns where it stopped: at the end, or before what decodeOne must read.
[[gnu::always_inline]] inline const unsigned char* pUTF16Tail(const unsigned char* p, ptrdiff_t left, unsigned short*& d) {
  uint32_t t;
  memcpy(&t, p + left - 4, 4);
  t >>= 8 * (4 - left);
  while (left > 0) {
    if ((t & 0x80u) == 0) {
      store16(d++, t & 0x7Fu);
      t >>= 8, p += 1, left -= 1;
    } else if (left >= 2 && (t & 0xC0E0u) == 0x80C0u && (t & 0x1Eu) != 0) {
      store16(d++, ((t & 0x1Fu) << 6) | ((t >> 8) & 0x3Fu));
      t >>= 16, p += 2, left -= 2;
    } else if (left == 3 && isThreeByte(t)) {
      store16(d++, threeByteUnit(t));
      p += 3, left = 0;
    } else {
      break;
    }
  }
  return p;
}

}  // namespace

namespace {

#if QX_UTF_SHUFFLE
// Set once at load: whether the processor has the byte shuffle (SSSE3), which the build does not assume.
const bool g_bShuffle = (__builtin_cpu_init(), __builtin_cpu_supports("ssse3") != 0);

struct STRun {
  const unsigned char* p;
  unsigned short* d;
};

// Three-byte characters four at a time (twelve bytes into four units) while twelve bytes lie
// from p and four units of room from d; stops before four that are not all well-formed three-byte
// characters, which the scalar steps then take.
[[gnu::target("ssse3")]] inline STRun stThreeByteRun(const unsigned char* p, const unsigned char* end, unsigned short* d,
                                                     const unsigned short* dend) {
  const __m128i mask = _mm_setr_epi8(-16, -64, -64, -16, -64, -64, -16, -64, -64, -16, -64, -64, 0, 0, 0, 0);
  const __m128i form = _mm_setr_epi8(-32, -128, -128, -32, -128, -128, -32, -128, -128, -32, -128, -128, 0, 0, 0, 0);
  // Each character's two continuation bytes into one lane (the last low), and its lead high.
  const __m128i tails = _mm_setr_epi8(2, 1, 5, 4, 8, 7, 11, 10, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m128i leads = _mm_setr_epi8(-1, 0, -1, 3, -1, 6, -1, 9, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m128i weights = _mm_setr_epi8(1, 64, 1, 64, 1, 64, 1, 64, 0, 0, 0, 0, 0, 0, 0, 0);
  while (end - p >= 12 && dend - d >= 4) {
    uint32_t last;
    memcpy(&last, p + 8, 4);
    const __m128i v = _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)),
                                         _mm_cvtsi32_si128(static_cast<int>(last)));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(v, mask), form)) != 0xFFFF) break;
    const __m128i low = _mm_maddubs_epi16(_mm_and_si128(_mm_shuffle_epi8(v, tails), _mm_set1_epi8(0x3F)), weights);
    const __m128i high = _mm_slli_epi16(_mm_and_si128(_mm_shuffle_epi8(v, leads), _mm_set1_epi16(0x0F00)), 4);
    const __m128i units = _mm_or_si128(low, high);
    // No overlong form (below U+0800), no surrogate.
    const __m128i top = _mm_and_si128(units, _mm_set1_epi16(static_cast<short>(0xF800)));
    const __m128i bad = _mm_or_si128(_mm_cmpeq_epi16(top, _mm_setzero_si128()),
                                     _mm_cmpeq_epi16(top, _mm_set1_epi16(static_cast<short>(0xD800))));
    if ((_mm_movemask_epi8(bad) & 0xFF) != 0) break;
    _mm_storel_epi64(reinterpret_cast<__m128i*>(d), units);
    p += 12;
    d += 4;
  }
  return {p, d};
}
#endif

// UTF8ToUTF16's body; with Track, *replaced is set when a byte that is no UTF-8 became '?'; with
// Shuffle, only in a function built for the byte shuffle, runs of three-byte characters use it.
template <bool Track, bool Shuffle>
[[gnu::always_inline]] inline unsigned int Utf8IntoUtf16(unsigned short* dst, unsigned int dstUnits, const char* src,
                                                         unsigned int srcLen, bool* replaced) {
  if (dst == nullptr || src == nullptr) return 0;
  const size_t len = srcLen == UINT_MAX ? std::strlen(src) + 1 : srcLen;
  const unsigned char* p = bytes(src);
  const unsigned char* const end = p + len;
  unsigned int o = 0;
  while (p < end && o < dstUnits) {
    if (*p < 0x80) {
#if defined(__SSE2__)
      // Long runs sixteen bytes at once, their ASCII prefix kept; what follows it is written again.
      if (end - p >= 16 && dstUnits - o >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i z = _mm_setzero_si128();
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + o), _mm_unpacklo_epi8(v, z));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + o + 8), _mm_unpackhi_epi8(v, z));
        const unsigned int mask = static_cast<unsigned int>(_mm_movemask_epi8(v));
        const unsigned int ascii = mask == 0 ? 16 : static_cast<unsigned int>(__builtin_ctz(mask));
        p += ascii;
        o += ascii;
        continue;
      }
      // Shorter runs eight bytes at once: from p while eight remain, else the source's last eight
      // with those before p shifted out.
      if (dstUnits - o >= 8 && len >= 8) {
        const size_t left = static_cast<size_t>(end - p);
        uint64_t w;
        if (left >= 8) {
          memcpy(&w, p, 8);
        } else {
          memcpy(&w, end - 8, 8);
          w >>= 8 * (8 - left);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + o),
                         _mm_unpacklo_epi8(_mm_cvtsi64_si128(static_cast<long long>(w)), _mm_setzero_si128()));
        const uint64_t high = w & 0x8080808080808080ull;
        const size_t ascii = std::min<size_t>(high == 0 ? 8 : static_cast<size_t>(__builtin_ctzll(high)) / 8, left);
        p += ascii;
        o += static_cast<unsigned int>(ascii);
        continue;
      }
#endif
      const unsigned char* const stop = p + std::min<size_t>(static_cast<size_t>(end - p), dstUnits - o);
      unsigned short* d = dst + o;
#if defined(__SSE2__)
      for (uint32_t four; stop - p >= 4; p += 4, d += 4) {
        memcpy(&four, p, 4);
        if ((four & 0x80808080u) != 0) break;
        _mm_storel_epi64(reinterpret_cast<__m128i*>(d),
                         _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(four)), _mm_setzero_si128()));
      }
#endif
      while (p < stop && *p < 0x80) store16(d++, *p++);
      o = static_cast<unsigned int>(d - dst);
      continue;
    }
    // Text beyond ASCII (most scripts: two- and three-byte characters, words parted by a few
    // ASCII bytes) a character at a time from a load of four bytes, two-byte characters four at
    // once from a load of eight or two from the four, while the loads and four units fit. An overlong form, a
    // surrogate, a cut sequence and anything else are decodeOne's, a run of four ASCII bytes
    // the loads above.
    {
      unsigned short* d = dst + o;
      unsigned short* const dend = dst + dstUnits;
      // No step writes more units than it reads bytes: while p stays within limit, four bytes
      // and four units of room lie ahead. The bound is taken again where p passes it.
      const unsigned char* limit = p;
      for (;;) {
        if (p >= limit) {
          const ptrdiff_t left = end - p, room = dend - d;
          if (left >= 4 && room >= 4) {
            limit = p + (std::min(left, room) - 3);
          } else {
            if (left > 0 && left < 4 && room >= left && len >= 4) p = pUTF16Tail(p, left, d);
            break;
          }
        }
        uint32_t w;
        memcpy(&w, p, 4);
        if ((w & 0x80u) == 0) {
          uint64_t high = w & 0x80808080u;
          if (high == 0) {
            // Four ASCII bytes: a run of eight or more is the loads' above, a shorter one taken
            // here with the character after it.
            uint64_t w8;
            if (end - p >= 8 && (memcpy(&w8, p, 8), (w8 & 0x8080808080808080ull) == 0)) break;
            high = 1ull << 32;
          }
          // One to four ASCII bytes: the four widened, those before the next character kept.
          const unsigned int ascii = static_cast<unsigned int>(__builtin_ctzll(high)) / 8;
#if defined(__SSE2__)
          _mm_storel_epi64(reinterpret_cast<__m128i*>(d),
                           _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(w)), _mm_setzero_si128()));
#else
          for (unsigned int k = 0; k < ascii; ++k) store16(d + k, (w >> (8 * k)) & 0x7Fu);
#endif
          d += ascii;
          p += ascii;
          continue;
        }
        if ((w & 0xE0u) == 0xC0u) {
          if (end - p >= 8) {
            uint64_t w8;
            memcpy(&w8, p, 8);
            // One to four characters from the load of eight: the 16-bit lanes up to the first that
            // is no lead of 0xC2 to 0xDF and a continuation byte, all four converted and stored.
            const uint64_t stop =
                ((w8 & 0xC0E0C0E0C0E0C0E0ull) ^ 0x80C080C080C080C0ull) |
                (~((w8 & 0x001E001E001E001Eull) + 0x007F007F007F007Full) & 0x0080008000800080ull);
            const unsigned int pairs = stop == 0 ? 4 : static_cast<unsigned int>(__builtin_ctzll(stop)) / 16;
            if (pairs == 0) break;
            const uint64_t units = ((w8 & 0x001F001F001F001Full) << 6) | ((w8 >> 8) & 0x003F003F003F003Full);
            memcpy(d, &units, 8);
            d += pairs;
            p += 2 * pairs;
            // With the byte after them when that is ASCII (the space after a word).
            if (pairs < 4 && *p < 0x80) store16(d++, *p++);
            continue;
          }
          // Two at once from the four bytes, or one.
          if ((w & 0xC0E0C0E0u) == 0x80C080C0u && (w & 0x1Eu) != 0 && (w & 0x1E0000u) != 0) {
            const uint32_t units = ((w & 0x001F001Fu) << 6) | ((w >> 8) & 0x003F003Fu);
            memcpy(d, &units, 4);
            d += 2;
            p += 4;
            continue;
          }
          if ((w & 0xC000u) != 0x8000u || (w & 0x1Eu) == 0) break;
          store16(d, ((w & 0x1Fu) << 6) | ((w >> 8) & 0x3Fu));
          // With the byte after it when that is ASCII (a word's last letter, the space after it).
          if ((w & 0x800000u) == 0) {
            store16(d + 1, (w >> 16) & 0x7Fu);
            d += 2;
            p += 3;
            continue;
          }
          d += 1;
          p += 2;
          continue;
        }
        if (isThreeByte(w)) {
#if QX_UTF_SHUFFLE
          // A run of four or more of them four at a time where the processor shuffles bytes.
          if constexpr (Shuffle) {
            if ((w >> 28) == 0xEu && end - p >= 12 && dend - d >= 4 && (p[6] & 0xF0u) == 0xE0u &&
                (p[9] & 0xF0u) == 0xE0u) {
              const STRun run = stThreeByteRun(p, end, d, dend);
              if (run.p != p) {
                p = run.p, d = run.d;
                continue;
              }
            }
          }
#endif
          store16(d, threeByteUnit(w));
          // With the byte after it when that is ASCII, or the character after it when that takes
          // three bytes too (the scripts of such characters run without spaces).
          if ((w & 0x80000000u) == 0) {
            store16(d + 1, w >> 24);
            d += 2;
            p += 4;
            continue;
          }
          uint32_t w2;
          if (end - p >= 7 && (memcpy(&w2, p + 3, 4), isThreeByte(w2))) {
            store16(d + 1, threeByteUnit(w2));
            d += 2;
            p += 6;
            continue;
          }
          d += 1;
          p += 3;
          continue;
        }
        // Four bytes of U+10000 to U+10FFFF: a pair.
        if ((w & 0xC0C0C0F8u) == 0x808080F0u) {
          // Two of them from a load of eight (such characters come in runs: letters of the
          // mathematical alphabets, symbols), each 32-bit lane decoded as below.
          uint64_t w8;
          if (end - p >= 8 && (memcpy(&w8, p, 8), (w8 & 0xC0C0C0F8C0C0C0F8ull) == 0x808080F0808080F0ull)) {
            const uint64_t t = (((w8 & 0x0000000700000007ull) << 18) | ((w8 & 0x00003F0000003F00ull) << 4) |
                                ((w8 >> 10) & 0x00000FC000000FC0ull) | ((w8 >> 24) & 0x0000003F0000003Full)) -
                               0x0001000000010000ull;
            // Both at or above U+10000 (no borrow) and below U+110000.
            if ((t & 0xFFF00000FFF00000ull) == 0) {
              const uint64_t units =
                  ((t >> 10) & 0x000003FF000003FFull) | ((t & 0x000003FF000003FFull) << 16) | 0xDC00D800DC00D800ull;
              memcpy(d, &units, 8);
              d += 4;
              p += 8;
              continue;
            }
          }
          const uint32_t c = ((w & 0x07u) << 18) | ((w & 0x3F00u) << 4) | ((w >> 10) & 0xFC0u) | ((w >> 24) & 0x3Fu);
          if (c < 0x10000 || c >= 0x110000) break;
          store16(d++, 0xD800 + ((c - 0x10000) >> 10));
          store16(d++, 0xDC00 + (c & 0x3FF));
          p += 4;
          // With the byte after it when that is ASCII (the space after a symbol).
          if (p != end && *p < 0x80) store16(d++, *p++);
          continue;
        }
        break;
      }
      o = static_cast<unsigned int>(d - dst);
    }
    if (p == end || o == dstUnits) break;
    if (*p < 0x80) continue;
    if (end - p >= 2 && isTwoByte(p)) {
      store16(dst + o++, ((p[0] & 0x1Fu) << 6) | (p[1] & 0x3Fu));
      p += 2;
      continue;
    }
    const uint32_t c = decodeOne<true>(p, end);
    // The lead was no ASCII byte: '?' stands for bytes that were no character.
    if constexpr (Track) {
      if (c == kBad) *replaced = true;
    }
    if (c <= 0xFFFF) {
      store16(dst + o++, c);
    } else {
      if (dstUnits - o < 2) break;
      store16(dst + o++, 0xD800 + ((c - 0x10000) >> 10));
      store16(dst + o++, 0xDC00 + (c & 0x3FF));
    }
  }
  return o;
}

template <bool Track>
[[gnu::noinline]] unsigned int nUtf8IntoUtf16Plain(unsigned short* dst, unsigned int dstUnits, const char* src,
                                                   unsigned int srcLen, bool* replaced) {
  return Utf8IntoUtf16<Track, false>(dst, dstUnits, src, srcLen, replaced);
}

#if QX_UTF_SHUFFLE
// The whole decoder built for the shuffle, chosen once a call rather than at each run.
template <bool Track>
[[gnu::target("ssse3"), gnu::noinline, gnu::flatten]] unsigned int nUtf8IntoUtf16Shuffled(
    unsigned short* dst, unsigned int dstUnits, const char* src, unsigned int srcLen, bool* replaced) {
  return Utf8IntoUtf16<Track, true>(dst, dstUnits, src, srcLen, replaced);
}
#endif

template <bool Track>
inline unsigned int nUtf8IntoUtf16(unsigned short* dst, unsigned int dstUnits, const char* src, unsigned int srcLen,
                                   bool* replaced) {
#if QX_UTF_SHUFFLE
  if (g_bShuffle) return nUtf8IntoUtf16Shuffled<Track>(dst, dstUnits, src, srcLen, replaced);
#endif
  return nUtf8IntoUtf16Plain<Track>(dst, dstUnits, src, srcLen, replaced);
}

}  // namespace

unsigned int UTF8ToUTF16(unsigned short* dst, unsigned int dstUnits, const char* src, unsigned int srcLen) {
  return nUtf8IntoUtf16<false>(dst, dstUnits, src, srcLen, nullptr);
}

unsigned int UTF8ToUTF16(unsigned short* dst, unsigned int dstUnits, const char* src, unsigned int srcLen,
                         bool* replaced) {
  return nUtf8IntoUtf16<true>(dst, dstUnits, src, srcLen, replaced);
}

// ---- Encoding ----

int nWideToUTF8(char* dst, int dstBytes, const wchar_t* src, int srcLen) {
  if (dst == nullptr || src == nullptr || dstBytes < 1 || srcLen == 0 || srcLen < -1) return 0;
  const size_t n = srcLen == -1 ? std::wcslen(src) + 1 : static_cast<size_t>(srcLen);
  return static_cast<int>(
      encodeRun(src, n, reinterpret_cast<unsigned char*>(dst), static_cast<size_t>(dstBytes)));
}

int WideToUTF8(char* dst, unsigned int dstBytes, const wchar_t* src) {
  if (dst == nullptr || dstBytes == 0) return 0;
  size_t written = 0;
  if (src != nullptr) {
    const size_t cap = dstBytes - 1;
    // Every character takes at least one byte: no more than cap of them can fit.
    written = encodeRun(src, wcsnlen(src, cap), reinterpret_cast<unsigned char*>(dst), cap);
  }
  dst[written] = 0;
  return static_cast<int>(written);
}

int WideToUTF8(char* dst, const wchar_t* src) {
  if (dst == nullptr) return 0;
  size_t written = 0;
  if (src != nullptr) {
    const size_t n = std::wcslen(src);
    written = encodeRun(src, n, reinterpret_cast<unsigned char*>(dst), 4 * n);
  }
  dst[written] = 0;
  return static_cast<int>(written);
}

int UTF32ToUTF8(wchar_t c, char* out) {
  if (out == nullptr) return 0;
  const unsigned n = encodeOne(static_cast<uint32_t>(c), reinterpret_cast<unsigned char*>(out));
  out[n] = 0;
  return static_cast<int>(n);
}

int UTF8ByteLen(const wchar_t* text) {
  if (text == nullptr) return 0;
  size_t n = 0;
  for (; *text != 0; ++text) n += utf8Size(static_cast<uint32_t>(*text));
  return static_cast<int>(n);
}

int UTF8ByteLenTotal(const wchar_t* text, int maxChars) {
  if (text == nullptr || maxChars < 1) return 0;
  size_t n = 0;
  for (int i = 0; i < maxChars; ++i) {
    if (text[i] == 0) return static_cast<int>(n + 1);
    n += utf8Size(static_cast<uint32_t>(text[i]));
  }
  return static_cast<int>(n);
}

// ---- UTF-16 and UTF-32 ----

int UTF16ToWideChar(const unsigned short* src, int n, wchar_t* dst, int dstChars) {
  if (src == nullptr || n == 0 || n < -1 || dstChars < 0) return 0;
  const size_t units = n == -1 ? static_cast<size_t>(utf16len(src)) + 1 : static_cast<size_t>(n);
  const size_t limit = dstChars == 0 ? SIZE_MAX : static_cast<size_t>(dstChars);
  // Forward pass: the characters to make and the units they take.
  size_t j = 0;
  size_t chars = 0;
  while (j < units && chars < limit) {
    j += isHighSurrogate(load16(src + j)) && j + 1 < units && isLowSurrogate(load16(src + j + 1)) ? 2 : 1;
    ++chars;
  }
  if (dstChars == 0) return static_cast<int>(chars);
  if (dst == nullptr) return 0;
  // Backward pass: character i starts at unit 2i or below and its 4 bytes cover units 2i and
  // 2i + 1, so with dst at or after src only units already read get overwritten.
  size_t o = chars;
  while (j > 0) {
    const uint32_t u = load16(src + j - 1);
    uint32_t c = u;
    if (isLowSurrogate(u) && j >= 2 && isHighSurrogate(load16(src + j - 2))) {
      c = 0x10000 + ((static_cast<uint32_t>(load16(src + j - 2)) - 0xD800) << 10) + (u - 0xDC00);
      j -= 2;
    } else {
      j -= 1;
    }
    dst[--o] = static_cast<wchar_t>(c);
  }
  return static_cast<int>(chars);
}

int WideCharToUTF16(const wchar_t* src, int n, unsigned short* dst, int dstUnits) {
  if (src == nullptr || n == 0 || n < -1 || dstUnits < 0) return 0;
  const size_t count = n == -1 ? std::wcslen(src) + 1 : static_cast<size_t>(n);
  auto units = [](uint32_t c) { return c >= 0x10000 && c < 0x110000 ? 2u : 1u; };
  if (dstUnits == 0) {
    size_t total = 0;
    for (size_t i = 0; i < count; ++i) total += units(static_cast<uint32_t>(src[i]));
    return static_cast<int>(total);
  }
  if (dst == nullptr) return 0;
  const size_t cap = static_cast<size_t>(dstUnits);
  // Forward in place is safe: character i is read before its at most two units are written at
  // unit 2i or below.
  size_t o = 0;
  for (size_t i = 0; i < count; ++i) {
    const uint32_t c = static_cast<uint32_t>(src[i]);
    if (cap - o < units(c)) break;
    if (c < 0x10000) {
      store16(dst + o++, c);
    } else if (c < 0x110000) {
      store16(dst + o++, 0xD800 + ((c - 0x10000) >> 10));
      store16(dst + o++, 0xDC00 + (c & 0x3FF));
    } else {
      store16(dst + o++, kBad);
    }
  }
  return static_cast<int>(o);
}

int UTF32ToWideChar(const wchar_t* src, int n, wchar_t* dst, int dstChars) {
  if (src == nullptr || n == 0 || n < -1 || dstChars < 0) return 0;
  const size_t count = n == -1 ? std::wcslen(src) + 1 : static_cast<size_t>(n);
  if (dstChars == 0) return static_cast<int>(count);
  if (dst == nullptr) return 0;
  const size_t k = count < static_cast<size_t>(dstChars) ? count : static_cast<size_t>(dstChars);
  std::memmove(dst, src, k * sizeof(wchar_t));
  return static_cast<int>(k);
}

int WideCharToUTF32(const wchar_t* src, int n, wchar_t* dst, int dstChars) {
  return UTF32ToWideChar(src, n, dst, dstChars);
}

int utf16len(const unsigned short* s) {
  if (s == nullptr) return 0;
  const unsigned short* p = s;
  while (load16(p) != 0) ++p;
  return static_cast<int>(p - s);
}

int utf16nlen(const unsigned short* s, int max) {
  if (s == nullptr || max < 1) return 0;
  int n = 0;
  while (n < max && load16(s + n) != 0) ++n;
  return n;
}

unsigned short* utf16ncpy(unsigned short* dst, const unsigned short* src, int n) {
  if (dst == nullptr || src == nullptr) return dst;
  for (int i = 0; i < n && load16(src + i) != 0; ++i) store16(dst + i, load16(src + i));
  return dst;
}

int utf16nicmp(const unsigned short* a, const unsigned short* b, int n) {
  if (n < 1 || a == b) return 0;
  if (a == nullptr || b == nullptr) return a == nullptr ? -1 : 1;
  for (int i = 0; i < n; ++i) {
    const int ca = static_cast<int>(std::towlower(load16(a + i)));
    const int cb = static_cast<int>(std::towlower(load16(b + i)));
    if (ca != cb) return ca - cb;
    if (ca == 0) return 0;
  }
  return 0;
}

const unsigned short* utf16niutf16(const unsigned short* haystack, const unsigned short* needle,
                                   int n) {
  if (haystack == nullptr || needle == nullptr) return nullptr;
  if (load16(needle) == 0) return haystack;
  const int needleLen = utf16len(needle);
  const int hayLen = utf16nlen(haystack, n);
  for (int pos = 0; pos + needleLen <= hayLen; ++pos)
    if (utf16nicmp(haystack + pos, needle, needleLen) == 0) return haystack + pos;
  return nullptr;
}

char* WideCharToANSI(char* dst, int dstBytes, const wchar_t* src) {
  if (dst == nullptr || dstBytes < 1) return dst;
  int i = 0;
  if (src != nullptr)
    for (; i < dstBytes - 1 && src[i] != 0; ++i) dst[i] = static_cast<char>(src[i] & 0xFF);
  dst[i] = 0;
  return dst + i;
}

wchar_t* ANSIToWideChar(wchar_t* dst, int dstChars, const char* src) {
  if (dst == nullptr || dstChars < 1) return dst;
  int i = 0;
  if (src != nullptr)
    for (; i < dstChars - 1 && src[i] != 0; ++i) dst[i] = static_cast<unsigned char>(src[i]);
  dst[i] = 0;
  return dst + i;
}
