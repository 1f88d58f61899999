// Code-page conversions on iconv, with table and Unicode fast paths that give the same results.
//
// Reference behaviour is the iconv one, on strict descriptors: without flag 8 a byte that starts
// no character of the page is dropped and reading resumes at the next byte, and a sequence cut
// short at the end of the text is dropped too (every whole character before it is kept); with
// flag 8 either fails the call. A wide -> narrow conversion stops on what the code page cannot
// represent (and on wide values that are no Unicode scalar value), writes the replacement and
// goes on. Counting and converting run the same code, so a size that the counting call returns
// always suffices. The fast paths (ASCII, 1252 by table, 65001 by the Unicode transforms) only
// take what they can answer identically and hand the rest of the text to iconv.
#include "platform/codepage.h"
#include "platform/cp1252.h"

#include <iconv.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <vector>

#include "common/utf.h"
#include "platform/iinfolocale.h"
#include "platform/information_dll.h"

namespace {

// ---- Code-page table ----

enum PageKind : unsigned char {
  PAGE_UTF8,
  PAGE_1252,
  PAGE_SBCS,      // one byte per character, no state
  PAGE_DBCS,      // lead and trail bytes (trail bytes may be ASCII), no state
  PAGE_STATEFUL,  // escape sequences or combining (1258 holds a base letter back)
};

struct PageInfo {
  const char* name;
  PageKind kind;
};

enum : int {
  IDX_1252, IDX_437, IDX_874, IDX_932, IDX_936, IDX_949, IDX_950,
  IDX_1250, IDX_1251, IDX_1253, IDX_1254, IDX_1255, IDX_1256, IDX_1257, IDX_1258,
  IDX_1361, IDX_50220, IDX_65001, IDX_COUNT
};

const PageInfo kPages[IDX_COUNT] = {
    {"CP1252", PAGE_1252},      {"CP437", PAGE_SBCS},      {"CP874", PAGE_SBCS},
    {"CP932", PAGE_DBCS},       {"CP936", PAGE_DBCS},      {"CP949", PAGE_DBCS},
    {"CP950", PAGE_DBCS},       {"CP1250", PAGE_SBCS},     {"CP1251", PAGE_SBCS},
    {"CP1253", PAGE_SBCS},      {"CP1254", PAGE_SBCS},     {"CP1255", PAGE_SBCS},
    {"CP1256", PAGE_SBCS},      {"CP1257", PAGE_SBCS},     {"CP1258", PAGE_STATEFUL},
    {"CP1361", PAGE_DBCS},      {"ISO-2022-JP", PAGE_STATEFUL}, {"UTF-8", PAGE_UTF8},
};

int PageIndex(unsigned int codePage) {
  switch (codePage) {
    case 1: return IDX_437;
    case 874: return IDX_874;
    case 932: return IDX_932;
    case 936: return IDX_936;
    case 949: return IDX_949;
    case 950: return IDX_950;
    case 1250: return IDX_1250;
    case 1251: return IDX_1251;
    case 1253: return IDX_1253;
    case 1254: return IDX_1254;
    case 1255: return IDX_1255;
    case 1256: return IDX_1256;
    case 1257: return IDX_1257;
    case 1258: return IDX_1258;
    case 1361: return IDX_1361;
    case 50220: return IDX_50220;
    case 65001: return IDX_65001;
    default: return IDX_1252;
  }
}

// Wide-side names, tried in this order. Only strict names: invalid input is dropped here (glibc's
// //IGNORE reads past the end of the input for some CP949 pairs and keeps no cut final sequence).
const char* const TabToCode[4] = {"UCS4LE", "UTF32LE", "UCS-4LE", "UTF-32LE"};

// ---- iconv descriptor pool ----
// Opening a descriptor costs far more than a short conversion, so descriptors are kept per
// (direction, names) and handed to one caller at a time.

enum LeaseKind { TO_WIDE, FROM_WIDE, NARROW_PAIR };

class IconvPool {
 public:
  using Slot = iconv_t;

  bool take(LeaseKind kind, const char* from, const char* to, Slot& slot) {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      Entry& e = entry(kind, from, to);
      if (!e.idle.empty()) {
        slot = e.idle.back();
        e.idle.pop_back();
        return true;
      }
    }
    return open(kind, from, to, slot);
  }

  void give(LeaseKind kind, const char* from, const char* to, const Slot& slot) {
    iconv(slot, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      Entry& e = entry(kind, from, to);
      if (e.idle.size() < kMaxIdle) {
        e.idle.push_back(slot);
        return;
      }
    }
    iconv_close(slot);
  }

 private:
  static constexpr size_t kMaxIdle = 8;
  struct Entry {
    LeaseKind kind;
    const char* from;  // static names: compared by address
    const char* to;
    std::vector<Slot> idle;
  };

  Entry& entry(LeaseKind kind, const char* from, const char* to) {
    for (Entry& e : m_entries)
      if (e.kind == kind && e.from == from && e.to == to) return e;
    m_entries.push_back(Entry{kind, from, to, {}});
    return m_entries.back();
  }

  static bool open(LeaseKind kind, const char* from, const char* to, Slot& slot) {
    const iconv_t none = reinterpret_cast<iconv_t>(-1);
    switch (kind) {
      case TO_WIDE:
        for (const char* name : TabToCode) {
          slot = iconv_open(name, from);
          if (slot != none) return true;
        }
        return false;
      case FROM_WIDE:
        slot = iconv_open(to, "UCS4LE");
        if (slot == none) slot = iconv_open(to, "UTF32LE");
        return slot != none;
      case NARROW_PAIR:
        slot = iconv_open(to, from);
        return slot != none;
    }
    return false;
  }

  std::mutex m_mutex;
  std::vector<Entry> m_entries;
};

IconvPool& Pool() {
  // Never destroyed: conversions may still run from other static destructors.
  static IconvPool* pool = new IconvPool;
  return *pool;
}

class Lease {
 public:
  Lease(LeaseKind kind, const char* from, const char* to) : m_kind(kind), m_from(from), m_to(to) {
    m_ok = Pool().take(kind, from, to, m_slot);
  }
  ~Lease() {
    if (m_ok) Pool().give(m_kind, m_from, m_to, m_slot);
  }
  Lease(const Lease&) = delete;
  Lease& operator=(const Lease&) = delete;
  bool ok() const { return m_ok; }
  iconv_t cd() const { return m_slot; }

 private:
  LeaseKind m_kind;
  const char* m_from;
  const char* m_to;
  IconvPool::Slot m_slot{};
  bool m_ok;
};

constexpr size_t kIconvFail = static_cast<size_t>(-1);
constexpr long kFail = -1;

// Output of an iconv run: into the caller's buffer, or counted through a scratch area. When the
// caller's buffer is full the run goes on counting, so that a rest that gives nothing (dropped
// or empty replacements) still succeeds, exactly as the counting run would.
struct Out {
  char* base;
  char* p;
  size_t left;
  size_t counted = 0;        // bytes before base
  size_t fitted = SIZE_MAX;  // set when the caller's buffer ran full: the bytes it holds
  bool counting;
  char scratch[1024];

  Out(char* dst, size_t cap, bool count) : counting(count) {
    base = count ? scratch : dst;
    p = base;
    left = count ? sizeof scratch : cap;
  }
  // No room left: go on counting in the scratch area. False when that cannot help.
  bool more() {
    if (!counting) {
      counting = true;
      fitted = static_cast<size_t>(p - base);
    } else if (p == base) {
      return false;
    }
    counted += static_cast<size_t>(p - base);
    base = p = scratch;
    left = sizeof scratch;
    return true;
  }
  // len bytes of text at the output position, or counted once the caller's buffer is full.
  void put(const char* text, size_t len) {
    if (!counting && left < len) more();
    if (counting) {
      counted += len;
      return;
    }
    std::memcpy(p, text, len);
    p += len;
    left -= len;
  }
  size_t total() const { return counted + static_cast<size_t>(p - base); }
  // The bytes produced, kFail when they did not all fit the caller's buffer.
  long result() const { return total() > fitted ? kFail : static_cast<long>(total()); }
};

// Returns the conversion state to the initial one, writing the closing shift sequence if any.
bool IconvFlush(iconv_t cd, Out& out) {
  for (;;) {
    if (iconv(cd, nullptr, nullptr, &out.p, &out.left) != kIconvFail) return true;
    if (errno != E2BIG || !out.more()) return false;
  }
}

// Hears of the source bytes a lenient conversion drops and tells whether a whole run of bytes
// from 0x80 up went that way (a run that converts to nothing fails the UTF-8 conversions), and
// where: the wide characters produced before the first such run.
class RunWatch {
 public:
  RunWatch(const char* src, size_t n) : m_s(reinterpret_cast<const unsigned char*>(src)), m_n(n) {}
  // Wide characters produced before the converter that reports to the watch starts.
  void SetWideBase(size_t chars) { m_base = chars; }
  // [from, to) dropped when the converter had produced outBytes bytes; spans come in increasing order.
  void Dropped(const char* from, const char* to, size_t outBytes) {
    const size_t a = static_cast<size_t>(reinterpret_cast<const unsigned char*>(from) - m_s);
    const size_t b = static_cast<size_t>(reinterpret_cast<const unsigned char*>(to) - m_s);
    if (m_open && a == m_to) {
      m_to = b;
      return;
    }
    Close();
    m_from = a;
    m_to = b;
    m_at = m_base + outBytes / sizeof(wchar_t);
    m_open = true;
  }
  bool bRunLost() { return nFirstLostAt() != SIZE_MAX; }
  // The wide position of the first run lost, SIZE_MAX when none was.
  size_t nFirstLostAt() {
    Close();
    return m_lostAt;
  }

 private:
  // Does the dropped span hold a run from its first byte to its last?
  void Close() {
    if (!m_open) return;
    m_open = false;
    for (size_t i = m_from; i < m_to && m_lostAt == SIZE_MAX; ++i) {
      if (m_s[i] < 0x80 || (i > 0 && m_s[i - 1] >= 0x80)) continue;
      size_t end = i;
      while (end < m_n && m_s[end] >= 0x80) ++end;
      if (end <= m_to) m_lostAt = m_at;  // nothing came out within the span
      i = end;
    }
  }

  const unsigned char* m_s;
  size_t m_n;
  size_t m_base = 0;
  size_t m_from = 0;
  size_t m_to = 0;
  size_t m_at = 0;
  bool m_open = false;
  size_t m_lostAt = SIZE_MAX;
};

// Narrow input through a leased descriptor. Strict: invalid or cut input fails. Lenient: a byte
// that starts no character is dropped, and so is a sequence cut short at the end; watch (when
// given) hears of each. Returns the bytes produced, kFail on failure.
long IconvNarrowInput(const Lease& lease, const char* src, size_t n, Out& out, bool lenient, RunWatch* watch) {
  char* ip = const_cast<char*>(src);
  size_t il = n;
  const char* refused = nullptr;
  for (;;) {
    if (iconv(lease.cd(), &ip, &il, &out.p, &out.left) != kIconvFail) break;
    const int e = errno;
    if (e == E2BIG) {
      if (out.more()) continue;
      return kFail;
    }
    if (!lenient || (e != EILSEQ && e != EINVAL)) return kFail;
    if (e == EINVAL) {  // cut short at the end
      if (watch != nullptr) watch->Dropped(ip, ip + il, out.total());
      break;
    }
    // Asked once more first: some glibc modules answer EILSEQ already past the bytes refused.
    if (ip != refused) {
      refused = ip;
      continue;
    }
    if (watch != nullptr) watch->Dropped(ip, ip + 1, out.total());
    ++ip;
    --il;
  }
  if (!IconvFlush(lease.cd(), out)) return kFail;
  return out.result();
}

long IconvToWide(int page, bool strict, const char* src, size_t n, wchar_t* dst, size_t cap, bool counting,
                 RunWatch* watch) {
  Lease lease(TO_WIDE, kPages[page].name, nullptr);
  if (!lease.ok()) return kFail;
  Out out(reinterpret_cast<char*>(dst), cap * sizeof(wchar_t), counting);
  const long r = IconvNarrowInput(lease, src, n, out, !strict, watch);
  return r < 0 ? kFail : r / static_cast<long>(sizeof(wchar_t));
}

struct Replacement {
  const char* text;
  size_t len;
  bool used = false;
};

long IconvFromWide(int page, const wchar_t* src, size_t n, char* dst, size_t cap, bool counting,
                   Replacement& rep) {
  Lease lease(FROM_WIDE, nullptr, kPages[page].name);
  if (!lease.ok()) return kFail;
  Out out(dst, cap, counting);
  char* ip = reinterpret_cast<char*>(const_cast<wchar_t*>(src));
  size_t il = n * sizeof(wchar_t);
  for (;;) {
    if (iconv(lease.cd(), &ip, &il, &out.p, &out.left) != kIconvFail) break;
    const int e = errno;
    if (e == E2BIG) {
      if (out.more()) continue;
      return kFail;
    }
    if (e != EILSEQ || il < sizeof(wchar_t)) return kFail;
    rep.used = true;
    // The replacement must read as plain bytes: leave any shifted state first.
    if (!IconvFlush(lease.cd(), out)) return kFail;
    out.put(rep.text, rep.len);
    ip += sizeof(wchar_t);
    il -= sizeof(wchar_t);
  }
  if (!IconvFlush(lease.cd(), out)) return kFail;
  return out.result();
}

// ---- ASCII identity of a page, learnt from iconv once ----

enum : signed char { ASCII_UNKNOWN = 0, ASCII_SAME = 1, ASCII_DIFFERENT = 2 };
std::atomic<signed char> g_asciiIn[IDX_COUNT];
std::atomic<signed char> g_asciiOut[IDX_COUNT];

bool AsciiSame(int page, bool toWide) {
  const PageKind kind = kPages[page].kind;
  if (kind == PAGE_UTF8 || kind == PAGE_1252) return true;
  if (kind == PAGE_STATEFUL) return false;
  std::atomic<signed char>& known = toWide ? g_asciiIn[page] : g_asciiOut[page];
  signed char state = known.load(std::memory_order_relaxed);
  if (state == ASCII_UNKNOWN) {
    char bytes[128];
    wchar_t wide[128];
    for (int i = 0; i < 128; ++i) {
      bytes[i] = static_cast<char>(i);
      wide[i] = static_cast<wchar_t>(i);
    }
    bool same = false;
    if (toWide) {
      wchar_t got[128];
      same = IconvToWide(page, true, bytes, 128, got, 128, false, nullptr) == 128 &&
             std::memcmp(got, wide, sizeof got) == 0;
    } else {
      char got[128];
      Replacement rep{"", 0};
      same = IconvFromWide(page, wide, 128, got, 128, false, rep) == 128 && !rep.used &&
             std::memcmp(got, bytes, sizeof got) == 0;
    }
    state = same ? ASCII_SAME : ASCII_DIFFERENT;
    known.store(state, std::memory_order_relaxed);
  }
  return state == ASCII_SAME;
}

// ---- 1252 by table ----

constexpr wchar_t kNoChar = static_cast<wchar_t>(0xFFFF);
// 0x80-0x9F; the other bytes are Latin-1. The five holes are invalid input for iconv too.

struct CP1252Tables {
  wchar_t toWide[256] = {};
  unsigned char utf8[256][4] = {};  // UTF-8 bytes, length in [3]
  constexpr CP1252Tables() {
    for (int b = 0; b < 256; ++b) {
      const wchar_t c = b < 0x80 || b >= 0xA0 ? static_cast<wchar_t>(b)
                        : kCP1252High[b - 0x80] != 0 ? static_cast<wchar_t>(kCP1252High[b - 0x80]) : kNoChar;
      toWide[b] = c;
      unsigned char* u = utf8[b];
      if (c == kNoChar) {
        u[3] = 0;
      } else if (c < 0x80) {
        u[0] = static_cast<unsigned char>(c);
        u[3] = 1;
      } else if (c < 0x800) {
        u[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
        u[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        u[3] = 2;
      } else {
        u[0] = static_cast<unsigned char>(0xE0 | (c >> 12));
        u[1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
        u[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        u[3] = 3;
      }
    }
  }
};
// Built at compile time: usable from any static initialiser.
constexpr CP1252Tables g_cp1252;


long CP1252ToWide(bool strict, const unsigned char* s, size_t n, wchar_t* dst, size_t cap, bool counting) {
  const wchar_t* tab = g_cp1252.toWide;
  if (counting) {
    size_t o = 0;
    for (size_t i = 0; i < n; ++i) {
      if (tab[s[i]] != kNoChar) ++o;
      else if (strict) return kFail;
    }
    return static_cast<long>(o);
  }
  size_t o = 0;
  if (n <= cap) {  // everything fits: no room check per byte
    for (size_t i = 0; i < n; ++i) {
      const wchar_t c = tab[s[i]];
      dst[o] = c;
      if (c == kNoChar) {
        if (strict) return kFail;
        continue;
      }
      ++o;
    }
    return static_cast<long>(o);
  }
  for (size_t i = 0; i < n; ++i) {
    const wchar_t c = tab[s[i]];
    if (c == kNoChar) {
      if (strict) return kFail;
      continue;
    }
    if (o == cap) return kFail;
    dst[o++] = c;
  }
  return static_cast<long>(o);
}

// 1252 bytes of U+0000-U+00FF (-1 where 1252 has other characters).
struct CP1252LowTable {
  short byte[256] = {};
  constexpr CP1252LowTable() {
    for (int c = 0; c < 256; ++c) byte[c] = static_cast<short>(c >= 0x80 && c < 0xA0 ? -1 : c);
  }
};
constexpr CP1252LowTable g_cp1252Low;

inline bool IsTagCharacter(uint32_t c) { return c >= 0xE0000 && c <= 0xE007F; }

// The narrowing loops come in three forms: counting (kWrite false), writing into a destination
// that cannot run out (kCheck false) and writing with a room check. The replacement is read into
// locals so that the byte stores cannot alias it. RunNarrowing picks the form: unchecked when cap
// holds n characters of the worst size (the replacement or maxBytes), else checked.
template <typename Loop>
long RunNarrowing(const wchar_t* s, size_t n, char* dst, size_t cap, bool counting, Replacement& rep,
                  size_t maxBytes) {
  if (counting) return Loop::template Run<false, false>(s, n, dst, cap, rep);
  const size_t worst = rep.len > maxBytes ? rep.len : maxBytes;
  if (cap / worst >= n) return Loop::template Run<true, false>(s, n, dst, cap, rep);
  return Loop::template Run<true, true>(s, n, dst, cap, rep);
}

// Writes (or, counting, only counts) the replacement at o; false when it does not fit.
template <bool kWrite, bool kCheck>
inline bool bPutReplacement(char* dst, size_t cap, size_t& o, const char* text, size_t len) {
  if (kWrite) {
    if (kCheck && cap - o < len) return false;
    std::memcpy(dst + o, text, len);
  }
  o += len;
  return true;
}

struct CP1252Narrowing {
  template <bool kWrite, bool kCheck>
  static long Run(const wchar_t* s, size_t n, char* dst, size_t cap, Replacement& rep) {
    const char* const repText = rep.text;
    const size_t repLen = rep.len;
    bool used = false;
    size_t o = 0;
    long result = 0;
    for (size_t i = 0; i < n; ++i) {
      const uint32_t c = static_cast<uint32_t>(s[i]);
      const int b = c < 0x100 ? g_cp1252Low.byte[c] : CP1252ByteOf(c);
      if (b >= 0) {
        if (kWrite) {
          if (kCheck && o == cap) {
            result = kFail;
            break;
          }
          dst[o] = static_cast<char>(b);
        }
        ++o;
        continue;
      }
      if (IsTagCharacter(c)) continue;  // glibc drops them silently for 8-bit pages
      used = true;
      if (!bPutReplacement<kWrite, kCheck>(dst, cap, o, repText, repLen)) {
        result = kFail;
        break;
      }
    }
    if (used) rep.used = true;
    return result < 0 ? kFail : static_cast<long>(o);
  }
};

long WideToCP1252(const wchar_t* s, size_t n, char* dst, size_t cap, bool counting, Replacement& rep) {
  return RunNarrowing<CP1252Narrowing>(s, n, dst, cap, counting, rep, 1);
}

// ---- UTF-8 ----

// Decodes the well-formed UTF-8 at the start of s[0, n) (no overlong forms, surrogates or
// values above U+10FFFF). Stops before the first sequence that is not, or when cap characters
// are written. Returns the bytes consumed; *produced receives the characters.
size_t UTF8DecodeValid(const unsigned char* s, size_t n, wchar_t* dst, size_t cap, bool counting,
                       size_t* produced) {
  size_t i = 0;
  size_t o = 0;
  const size_t limit = counting ? SIZE_MAX : cap;
  while (i < n && o < limit) {
    // Runs of ASCII, the bulk of most texts, sixteen or eight bytes at a time.
#if defined(__SSE2__)
    if (!counting && n - i >= 16 && cap - o >= 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
      if (_mm_movemask_epi8(v) == 0) {
        WidenSixteen(v, dst + o);
        i += 16;
        o += 16;
        continue;
      }
    }
#endif
    if (!counting && n - i >= 8 && cap - o >= 8) {
      uint64_t eight;
      std::memcpy(&eight, s + i, 8);
      if ((eight & 0x8080808080808080ULL) == 0) {
        for (size_t k = 0; k < 8; ++k) dst[o + k] = static_cast<wchar_t>(s[i + k]);
        i += 8;
        o += 8;
        continue;
      }
    }
    const unsigned int c = s[i];
    if (c < 0x80) {
      if (!counting) dst[o] = static_cast<wchar_t>(c);
      ++o;
      ++i;
      continue;
    }
    uint32_t cp;
    size_t len;
    if (c >= 0xC2 && c <= 0xDF) {
      if (n - i < 2 || (s[i + 1] & 0xC0) != 0x80) break;
      cp = ((c & 0x1Fu) << 6) | (s[i + 1] & 0x3Fu);
      len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      if (n - i < 3) break;
      const unsigned int c1 = s[i + 1];
      const unsigned int lo = c == 0xE0 ? 0xA0 : 0x80;
      const unsigned int hi = c == 0xED ? 0x9F : 0xBF;
      if (c1 < lo || c1 > hi || (s[i + 2] & 0xC0) != 0x80) break;
      cp = ((c & 0x0Fu) << 12) | ((c1 & 0x3Fu) << 6) | (s[i + 2] & 0x3Fu);
      len = 3;
    } else if (c >= 0xF0 && c <= 0xF4) {
      if (n - i < 4) break;
      const unsigned int c1 = s[i + 1];
      const unsigned int lo = c == 0xF0 ? 0x90 : 0x80;
      const unsigned int hi = c == 0xF4 ? 0x8F : 0xBF;
      if (c1 < lo || c1 > hi || (s[i + 2] & 0xC0) != 0x80 || (s[i + 3] & 0xC0) != 0x80) break;
      cp = ((c & 0x07u) << 18) | ((c1 & 0x3Fu) << 12) | ((s[i + 2] & 0x3Fu) << 6) | (s[i + 3] & 0x3Fu);
      len = 4;
    } else {
      break;
    }
    if (!counting) dst[o] = static_cast<wchar_t>(cp);
    ++o;
    i += len;
  }
  *produced = o;
  return i;
}

struct UTF8Narrowing {
  template <bool kWrite, bool kCheck>
  static long Run(const wchar_t* s, size_t n, char* dst, size_t cap, Replacement& rep) {
    const char* const repText = rep.text;
    const size_t repLen = rep.len;
    unsigned char* const out = reinterpret_cast<unsigned char*>(dst);
    bool used = false;
    size_t o = 0;
    long result = 0;
    for (size_t i = 0; i < n; ++i) {
      const uint32_t c = static_cast<uint32_t>(s[i]);
      if (c < 0x80) {
        if (kWrite) {
          if (kCheck && o == cap) {
            result = kFail;
            break;
          }
          out[o] = static_cast<unsigned char>(c);
        }
        ++o;
        continue;
      }
      size_t need;
      if (c < 0x800) need = 2;
      else if (c < 0x10000) need = (c >= 0xD800 && c <= 0xDFFF) ? 0 : 3;
      else need = c < 0x110000 ? 4 : 0;
      if (need == 0) {  // iconv refuses it like an unrepresentable character
        used = true;
        if (!bPutReplacement<kWrite, kCheck>(dst, cap, o, repText, repLen)) {
          result = kFail;
          break;
        }
        continue;
      }
      if (kWrite) {
        if (kCheck && cap - o < need) {
          result = kFail;
          break;
        }
        unsigned char* p = out + o;
        if (need == 2) {
          p[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
          p[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        } else if (need == 3) {
          p[0] = static_cast<unsigned char>(0xE0 | (c >> 12));
          p[1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
          p[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        } else {
          p[0] = static_cast<unsigned char>(0xF0 | (c >> 18));
          p[1] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
          p[2] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
          p[3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        }
      }
      o += need;
    }
    if (used) rep.used = true;
    return result < 0 ? kFail : static_cast<long>(o);
  }
};

long WideToUTF8Fast(const wchar_t* s, size_t n, char* dst, size_t cap, bool counting, Replacement& rep) {
  return RunNarrowing<UTF8Narrowing>(s, n, dst, cap, counting, rep, 4);
}

// ---- Conversions with failure distinct from an empty result (kFail) ----

// Narrow text of a page -> wide. Without a destination (counting) cap is ignored; with one the
// whole result must fit. watch (lenient, pages other than 1252) hears of the bytes dropped.
long ToWide(int page, bool strict, const char* src, size_t n, wchar_t* dst, size_t cap, bool counting,
            RunWatch* watch = nullptr) {
  const unsigned char* s = reinterpret_cast<const unsigned char*>(src);
  const PageKind kind = kPages[page].kind;
  if (kind == PAGE_1252) return CP1252ToWide(strict, s, n, dst, cap, counting);
  size_t i = 0;
  size_t o = 0;
  if (kind == PAGE_UTF8) {
    i = UTF8DecodeValid(s, n, dst, cap, counting, &o);
  } else if (AsciiSame(page, true)) {
    const size_t limit = counting ? n : (n < cap ? n : cap);
    while (i < limit && s[i] < 0x80) {
      if (!counting) dst[i] = static_cast<wchar_t>(s[i]);
      ++i;
    }
    o = i;
  }
  if (i == n) return static_cast<long>(o);
  if (watch != nullptr) watch->SetWideBase(o);
  // The rest starts at a character boundary of a stateless page: iconv takes it from there.
  const long r = IconvToWide(page, strict, src + i, n - i, counting ? nullptr : dst + o, counting ? 0 : cap - o,
                             counting, watch);
  if (r < 0) return kFail;
  return static_cast<long>(o) + r;
}

long FromWide(int page, const wchar_t* src, size_t n, char* dst, size_t cap, bool counting, Replacement& rep) {
  const PageKind kind = kPages[page].kind;
  if (kind == PAGE_UTF8) return WideToUTF8Fast(src, n, dst, cap, counting, rep);
  if (kind == PAGE_1252) return WideToCP1252(src, n, dst, cap, counting, rep);
  size_t i = 0;
  if (AsciiSame(page, false)) {
    const size_t limit = counting ? n : (n < cap ? n : cap);
    while (i < limit && static_cast<uint32_t>(src[i]) < 0x80) {
      if (!counting) dst[i] = static_cast<char>(src[i]);
      ++i;
    }
  }
  if (i == n) return static_cast<long>(i);
  const long r =
      IconvFromWide(page, src + i, n - i, counting ? nullptr : dst + i, counting ? 0 : cap - i, counting, rep);
  if (r < 0) return kFail;
  return static_cast<long>(i) + r;
}

// Does every run of characters from U+0080 up in w[0, n) narrow to at least one byte?
bool bRunsGiveBytes(int page, const wchar_t* w, size_t n, Replacement& rep) {
  for (size_t i = 0; i < n;) {
    if (static_cast<uint32_t>(w[i]) < 0x80) {
      ++i;
      continue;
    }
    size_t j = i;
    while (j < n && static_cast<uint32_t>(w[j]) >= 0x80) ++j;
    if (FromWide(page, w + i, j - i, nullptr, 0, true, rep) <= 0) return false;
    i = j;
  }
  return true;
}

// A wide scratch area: on the stack when small, else on the heap.
class WideScratch {
 public:
  explicit WideScratch(size_t chars) {
    if (chars <= kStackChars) {
      m_p = m_stack;
    } else if (chars < SIZE_MAX / sizeof(wchar_t)) {
      m_heap = static_cast<wchar_t*>(std::malloc(chars * sizeof(wchar_t)));
      m_p = m_heap;
    }
  }
  ~WideScratch() { std::free(m_heap); }
  WideScratch(const WideScratch&) = delete;
  WideScratch& operator=(const WideScratch&) = delete;
  wchar_t* get() const { return m_p; }

 private:
  static constexpr size_t kStackChars = 256;  // 1,024 bytes
  wchar_t m_stack[kStackChars];
  wchar_t* m_heap = nullptr;
  wchar_t* m_p = nullptr;
};

// The int answer of a conversion; a failure leaves an empty text in a destination of any size.
template <typename T>
int ToIntResult(long r, T* dst, size_t cap) {
  if (r >= 0 && r <= INT_MAX) return static_cast<int>(r);
  if (dst != nullptr && cap > 0) dst[0] = 0;
  return 0;
}

}  // namespace

// ---- Public interface ----

const char* CodePageToIConv(int codePage) { return kPages[PageIndex(static_cast<unsigned int>(codePage))].name; }

int MultiByteToWideChar(unsigned int codePage, unsigned int flags, const char* src, int srcLen, wchar_t* dst,
                        int dstChars) {
  if (dstChars < 0) return 0;
  const size_t cap = static_cast<size_t>(dstChars);
  if (src == nullptr || srcLen < -1) return ToIntResult(kFail, dst, cap);
  const size_t n = srcLen == -1 ? std::strlen(src) + 1 : static_cast<size_t>(srcLen);
  const bool counting = dst == nullptr || dstChars == 0;
  const bool strict = (flags & MB_ERR_INVALID_CHARS) != 0;
  return ToIntResult(ToWide(PageIndex(codePage), strict, src, n, dst, cap, counting), dst, cap);
}

int WideCharToMultiByte(unsigned int codePage, unsigned int /*flags*/, const wchar_t* src, int srcLen, char* dst,
                        int dstBytes, const char* defaultText, int* usedDefault) {
  if (dstBytes < 0) return 0;
  if (usedDefault != nullptr) *usedDefault = 0;
  if (src == nullptr || srcLen < -1) return ToIntResult(kFail, dst, static_cast<size_t>(dstBytes));
  const size_t n = srcLen == -1 ? std::wcslen(src) + 1 : static_cast<size_t>(srcLen);
  const bool counting = dst == nullptr || dstBytes == 0;
  Replacement rep{defaultText != nullptr ? defaultText : "?", defaultText != nullptr ? std::strlen(defaultText) : 1};
  const long r = FromWide(PageIndex(codePage), src, n, dst, static_cast<size_t>(dstBytes), counting, rep);
  if (rep.used && usedDefault != nullptr) *usedDefault = 1;
  return ToIntResult(r, dst, static_cast<size_t>(dstBytes));
}

int MultiByteToMultiByte(unsigned int fromCodePage, const char* src, unsigned int srcLen, unsigned int toCodePage,
                         char* dst, unsigned int dstBytes, unsigned int /*flags*/) {
  Lease lease(NARROW_PAIR, kPages[PageIndex(fromCodePage)].name, kPages[PageIndex(toCodePage)].name);
  if (src == nullptr || !lease.ok()) return ToIntResult(kFail, dst, dstBytes);
  const size_t n = srcLen == 0xFFFFFFFFu ? std::strlen(src) + 1 : srcLen;
  const bool counting = dst == nullptr || dstBytes == 0;
  Out out(dst, dstBytes, counting);
  return ToIntResult(IconvNarrowInput(lease, src, n, out, false, nullptr), dst, dstBytes);
}

int nGetUTF8Len(const wchar_t* text) { return WideCharToMultiByte(65001, 0, text, -1, nullptr, 0, nullptr, nullptr); }

int MultiByteToUTF8(unsigned int codePage, const char* src, unsigned int srcLen, char* dst, unsigned int dstBytes,
                    unsigned int /*flags*/) {
  if (dst == nullptr || dstBytes == 0 || dstBytes > INT_MAX) return 0;
  if (src == nullptr) srcLen = 0;
  const size_t n = srcLen == 0xFFFFFFFFu ? std::strlen(src) + 1 : srcLen;
  const size_t cap = dstBytes;
  const int page = PageIndex(codePage);
  if (kPages[page].kind == PAGE_UTF8) {
    size_t len = src != nullptr ? strnlen(src, n) : 0;
    if (len > cap - 1) len = cap - 1;
    std::memcpy(dst, src, len);
    std::memset(dst + len, 0, cap - len);
    return static_cast<int>(len);
  }
  size_t o = 0;
  if (kPages[page].kind == PAGE_1252) {
    // ASCII is copied; each run of other bytes must fit whole and give something, or the call
    // fails.
    const unsigned char* s = reinterpret_cast<const unsigned char*>(src);
    size_t i = 0;
    while (i < n && o < cap) {
      if (s[i] < 0x80) {
        dst[o++] = static_cast<char>(s[i++]);
        continue;
      }
      const size_t runStart = o;
      for (; i < n && s[i] >= 0x80; ++i) {
        const unsigned char* u = g_cp1252.utf8[s[i]];
        const size_t len = u[3];
        if (cap - o < len) return ToIntResult(kFail, dst, cap);
        std::memcpy(dst + o, u, len);
        o += len;
      }
      if (o == runStart) return ToIntResult(kFail, dst, cap);
    }
  } else {
    // Converted whole: trail bytes of double-byte pages can be ASCII, and stateful pages read
    // across characters. The output keeps the rules above, by character.
    WideScratch scratch(n);
    wchar_t* w = scratch.get();
    if (w == nullptr) return ToIntResult(kFail, dst, cap);
    RunWatch watch(src, n);
    const long chars = ToWide(page, false, src, n, w, n, false, &watch);
    if (chars < 0) return ToIntResult(kFail, dst, cap);
    // A run that gave nothing fails the call only when the output reaches it before it is full.
    const size_t lostAt = watch.nFirstLostAt();
    const size_t count = static_cast<size_t>(chars);
    size_t i = 0;
    while (i < count && o < cap) {
      if (static_cast<uint32_t>(w[i]) < 0x80) {
        dst[o++] = static_cast<char>(w[i++]);
        continue;
      }
      size_t j = i;
      while (j < count && static_cast<uint32_t>(w[j]) >= 0x80) ++j;
      Replacement rep{"?", 1};
      const long r = WideToUTF8Fast(w + i, j - i, dst + o, cap - o, false, rep);
      if (r < 0) return ToIntResult(kFail, dst, cap);
      o += static_cast<size_t>(r);
      i = j;
    }
    if (lostAt < i || (lostAt == i && o < cap)) return ToIntResult(kFail, dst, cap);
  }
  std::memset(dst + o, 0, cap - o);
  return static_cast<int>(o);
}

int UTF8ToMultiByte(unsigned int codePage, const char* src, unsigned int srcLen, char* dst, unsigned int dstBytes,
                    unsigned int /*flags*/, const char* defaultText, int* usedDefault) {
  if (dst == nullptr || dstBytes == 0 || dstBytes > INT_MAX) return 0;
  if (usedDefault != nullptr) *usedDefault = 0;
  if (src == nullptr) srcLen = 0;
  const size_t n = srcLen == 0xFFFFFFFFu ? std::strlen(src) + 1 : srcLen;
  const size_t cap = dstBytes;
  const int page = PageIndex(codePage);
  if (kPages[page].kind == PAGE_UTF8) {
    const size_t len = n < cap ? n : cap - 1;
    if (len > 0) std::memcpy(dst, src, len);
    std::memset(dst + len, 0, cap - len);
    return static_cast<int>(len);
  }
  // ASCII bytes are copied where the page writes ASCII as itself; elsewhere they join the
  // stretch that is converted. A stretch ends before an ASCII byte, which no UTF-8 character
  // contains, and each is narrowed back to the initial shift state.
  const bool copyAscii = AsciiSame(page, false);
  Replacement rep{defaultText != nullptr ? defaultText : "?", defaultText != nullptr ? std::strlen(defaultText) : 1};
  const unsigned char* s = reinterpret_cast<const unsigned char*>(src);
  size_t i = 0;
  size_t o = 0;
  long result = 0;
  while (i < n && o < cap) {
    if (copyAscii && s[i] < 0x80) {
      dst[o++] = static_cast<char>(s[i++]);
      continue;
    }
    size_t j = i + 1;
    while (j < n && (!copyAscii || s[j] >= 0x80)) ++j;
    WideScratch scratch(j - i);
    wchar_t* w = scratch.get();
    if (w == nullptr) {
      result = kFail;
      break;
    }
    // A run of bytes from 0x80 up that gives no character fails the call.
    RunWatch watch(src + i, j - i);
    const long chars = ToWide(IDX_65001, false, src + i, j - i, w, j - i, false, &watch);
    if (chars < 0 || watch.bRunLost()) {
      result = kFail;
      break;
    }
    const long r = FromWide(page, w, static_cast<size_t>(chars), dst + o, cap - o, false, rep);
    // So does a run whose characters all narrow to nothing (tag characters, an empty replacement).
    if (r < 0 || (copyAscii ? r == 0 : !bRunsGiveBytes(page, w, static_cast<size_t>(chars), rep))) {
      result = kFail;
      break;
    }
    o += static_cast<size_t>(r);
    i = j;
  }
  // Reported when any stretch needed the replacement, also one before a failure.
  if (rep.used && usedDefault != nullptr) *usedDefault = 1;
  if (result < 0) return ToIntResult(kFail, dst, cap);
  std::memset(dst + o, 0, cap - o);
  return static_cast<int>(o);
}

namespace {
unsigned int CurrentCodePage() {
  IInfoLocale* locale = CInformationDLL::ms_piInfoLocale;
  return locale != nullptr ? static_cast<unsigned int>(locale->nGetCodePage()) : 0;
}
}  // namespace

int MultiByteToUTF8_CurrentCharset(const char* src, unsigned int srcLen, char* dst, unsigned int dstBytes,
                                   unsigned int flags) {
  return MultiByteToUTF8(CurrentCodePage(), src, srcLen, dst, dstBytes, flags);
}

int UTF8ToMultiByte_CurrentCharset(const char* src, unsigned int srcLen, char* dst, unsigned int dstBytes,
                                   unsigned int flags) {
  return UTF8ToMultiByte(CurrentCodePage(), src, srcLen, dst, dstBytes, flags, nullptr, nullptr);
}

int MultiByteToUTF16(unsigned int codePage, unsigned int flags, const char* src, int srcLen, unsigned short* dst,
                     int dstUnits) {
  if (dstUnits < 0) return 0;
  const size_t cap = dst != nullptr ? static_cast<size_t>(dstUnits) : 0;
  const int chars = MultiByteToWideChar(codePage, flags, src, srcLen, nullptr, 0);
  if (chars <= 0) return ToIntResult(kFail, dst, cap);
  WideScratch scratch(static_cast<size_t>(chars));
  wchar_t* w = scratch.get();
  if (w == nullptr || MultiByteToWideChar(codePage, flags, src, srcLen, w, chars) != chars)
    return ToIntResult(kFail, dst, cap);
  const int units = WideCharToUTF16(w, chars, dst, static_cast<int>(cap));
  return units > 0 ? units : ToIntResult(kFail, dst, cap);
}

int MultiByteToUTF16_CurrentCharset(const char* src, int srcLen, unsigned short* dst, int dstUnits,
                                    unsigned int flags) {
  return MultiByteToUTF16(CurrentCodePage(), flags, src, srcLen, dst, dstUnits);
}

int UTF16ToMultiByte(unsigned int codePage, unsigned int flags, const unsigned short* src, int srcLen, char* dst,
                     int dstBytes, const char* defaultText, int* usedDefault) {
  if (usedDefault != nullptr) *usedDefault = 0;
  const size_t cap = dst != nullptr && dstBytes > 0 ? static_cast<size_t>(dstBytes) : 0;
  const int chars = UTF16ToWideChar(src, srcLen, nullptr, 0);
  if (chars <= 0) return ToIntResult(kFail, dst, cap);
  WideScratch scratch(static_cast<size_t>(chars));
  wchar_t* w = scratch.get();
  if (w == nullptr || UTF16ToWideChar(src, srcLen, w, chars) != chars) return ToIntResult(kFail, dst, cap);
  return WideCharToMultiByte(codePage, flags, w, chars, dst, dstBytes, defaultText, usedDefault);
}

WORD GetSystemDefaultLangID() { return 0x800; }

WORD GetUserDefaultLangID() { return 0x800; }

_ELangueProduit LANG_To_ELangueProduit(unsigned int primaryLanguage) {
  switch (primaryLanguage) {
    case 4: return LANGUE_PRODUIT_CHINOIS;
    case 12: return LANGUE_PRODUIT_FRANCAIS;
    default: return LANGUE_PRODUIT_ANGLAIS;
  }
}

unsigned int ELangueProduit_To_LANG(_ELangueProduit langue) {
  switch (langue) {
    case LANGUE_PRODUIT_FRANCAIS: return 12;
    case LANGUE_PRODUIT_CHINOIS: return 4;
    default: return 9;
  }
}

char* UnsetLocale(int category) { return std::setlocale(category, "C"); }

char* SetLocaleUTF8() {
  static const char* const candidates[] = {"", "fr_FR.UTF-8", "fr_FR.utf8", "en_US.UTF-8",
                                           "en_US.utf8", "C.UTF-8", "C.utf8"};
  const size_t count = sizeof candidates / sizeof candidates[0];
  for (size_t k = 0; k < count; ++k) {
    char* name = std::setlocale(LC_CTYPE, candidates[k]);
    if (name == nullptr) continue;
    if (k + 1 == count) return name;
    char lower[101];
    size_t len = 0;
    for (; len < 100 && name[len] != '\0'; ++len)
      lower[len] = static_cast<char>(name[len] >= 'A' && name[len] <= 'Z' ? name[len] - 'A' + 'a' : name[len]);
    lower[len] = '\0';
    if (std::strstr(lower, "utf8") != nullptr || std::strstr(lower, "utf-8") != nullptr) return name;
  }
  return nullptr;
}
