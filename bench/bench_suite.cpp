// The benchmark suite: one measurement per process, the driver loaded through the stand-in host
// exactly as the host loads it, or the client library called directly on the same server
// (scripts/testdb; its env file loaded), over TCP loopback. scripts/bench runs the passes and the
// summary; each run prints one line of key=value pairs:
//   mode side units wall_s cpu_s rss_kb allocs checksum
// units are rows read or operations done; cpu_s is user + system of this process (getrusage);
// rss_kb the peak resident set added by the measured part (VmHWM after a reset, less VmRSS
// before); allocs the host strings the driver asked for; checksum is over every value read (for
// the adds, over the rows the server then holds), in one canonical form on both sides.
// Each run reads twice: the measured pass reads and converts every value and sums none; a
// verification pass, not measured, reads the same again and sums what it read.
//
//   bench_suite --load ROWS [--real-rows N]   (re)makes the tables that do not hold ROWS rows
//                                             (`bench_real` N when given, `bench_tiny` 5 x ROWS)
//   bench_suite --mode M --side S [--rows ROWS] [--ops N]
//   bench_suite --summary FILE         medians, ratios and goals of a file of such lines
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>  // counts only the measured part under valgrind --instr-atstart=no
#else
#define CALLGRIND_START_INSTRUMENTATION
#define CALLGRIND_STOP_INSTRUMENTATION
#endif

#include "access/inatable.h"
#include "driver/inadriver.h"
#include "driver/inaerror.h"
#include "host/host_context.h"
#include "host/host_control.h"
#include "host/host_datasource.h"
#include "host/host_loader.h"
#include "host/host_nadescription.h"
#include "host/host_queryexecution.h"
#include "host/host_sqlparser.h"
#include "sql/nakjrecord.h"
#include "bench/bench_measure.h"
#include "tests/support/hostconnections.h"
#include "tests/support/rawmysql.h"
#include "values/any.h"
#include "values/datetime.h"
#include "values/idecimal.h"

namespace {

constexpr unsigned int kNoRowCache = 0x10000;
const char* const kColumns = "SELECT `id`,`name`,`qty`,`price`,`created`,`note` FROM ";

// ---- What every run shares ----

struct STArgs {
  std::string mode, side;
  long long rows = 200000;
  long long ops = 20000;
};

long ProcStatusKb(const char* key) {
  std::ifstream f("/proc/self/status");
  std::string line;
  const size_t n = strlen(key);
  while (std::getline(f, line))
    if (line.compare(0, n, key) == 0) return atol(line.c_str() + n);
  return 0;
}

// FNV-1a over the canonical form of the values: integers as 64-bit numbers, texts as their
// Latin-1 bytes and length, a NULL as one marker.
class CChecksum {
 public:
  void Bytes(const void* p, size_t n) {
    for (size_t i = 0; i < n; ++i) m_h = (m_h ^ static_cast<const unsigned char*>(p)[i]) * 1099511628211ull;
  }
  void Int(long long v) {
    if (m_bTrace && m_n++ < 24) fprintf(stderr, "%lld ", v);
    Bytes(&v, sizeof v);
  }
  void Text(const char* latin1, size_t n) {
    if (m_bTrace && m_n < 24) fprintf(stderr, "[%.*s] ", static_cast<int>(n), latin1);
    Int(static_cast<long long>(n));
    Bytes(latin1, n);
  }
  void Text(const std::string& latin1) { Text(latin1.data(), latin1.size()); }
  void Null() { Int(-0x7fffffffffffffffll); }
  // The real-shaped table's values a word at a time (a byte at a time would cost both sides more
  // than filling the record does): a number, a NULL, n bytes after their length.
  void Word(uint64_t w) { m_h = (m_h ^ w) * 1099511628211ull; }
  void NullWord() { Word(0x8000000000000001ull); }
  void Block(const void* p, size_t n) {
    Word(n);
    const auto* b = static_cast<const unsigned char*>(p);
    for (; n >= 8; n -= 8, b += 8) {
      uint64_t w;
      memcpy(&w, b, 8);
      Word(w);
    }
    uint64_t w = 0;
    memcpy(&w, b, n);
    Word(w);
  }
  uint64_t Value() const { return m_h; }

 private:
  uint64_t m_h = 1469598103934665603ull;
  // QX_BENCH_TRACE set: the first values go to standard error, to find where two sides differ.
  const bool m_bTrace = getenv("QX_BENCH_TRACE") != nullptr;
  int m_n = 0;
};

// The server's UTF-8 as Latin-1 (the table holds nothing above U+00FF): the host's 1252 bytes.
std::string Latin1(const char* p, size_t n) {
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    const auto c = static_cast<unsigned char>(p[i]);
    if (c >= 0xC0 && i + 1 < n) {
      out += static_cast<char>(((c & 0x1F) << 6) | (static_cast<unsigned char>(p[++i]) & 0x3F));
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// "123.45" or "-0.50" as hundredths.
long long Cents(const char* p) {
  const bool neg = *p == '-';
  if (neg) ++p;
  long long v = 0;
  int decimals = -1;
  for (; *p != 0; ++p) {
    if (*p == '.') {
      decimals = 0;
      continue;
    }
    v = v * 10 + (*p - '0');
    if (decimals >= 0) ++decimals;
  }
  for (decimals = std::max(decimals, 0); decimals < 2; ++decimals) v *= 10;
  return neg ? -v : v;
}

// "2024-01-01 00:01:00" as 20240101000100.
long long DateTimeNumber(const char* p) {
  long long v = 0;
  for (; *p != 0; ++p)
    if (*p >= '0' && *p <= '9') v = v * 10 + (*p - '0');
  return v;
}

// What a measured pass read: the compiler may not drop a conversion that nothing sums.
template <typename T>
void Keep(const T& v) {
  asm volatile("" : : "r"(&v) : "memory");
}

// The canonical values of one row of the bench columns, as either side reads them.
struct STBenchRow {
  long long id;
  std::string name;
  long long qty, cents, created;
  bool noteNull;
  std::string note;
};
void Sum(CChecksum* sum, const STBenchRow& v) {
  sum->Int(v.id);
  sum->Text(v.name);
  sum->Int(v.qty);
  sum->Int(v.cents);
  sum->Int(v.created);
  if (v.noteNull)
    sum->Null();
  else
    sum->Text(v.note);
}

// One row read: summed in the verification pass (sum given), kept in the measured one.
template <typename V>
void Take(CChecksum* sum, const V& v) {
  if (sum != nullptr)
    Sum(sum, v);
  else
    Keep(v);
}

// One raw row of the bench columns.
void ReadRawRow(CChecksum* sum, char** row, const unsigned long* lengths) {
  Take(sum, STBenchRow{atoll(row[0]), Latin1(row[1], lengths[1]), atoll(row[2]), Cents(row[3]), DateTimeNumber(row[4]),
                       row[5] == nullptr, row[5] == nullptr ? std::string() : Latin1(row[5], lengths[5])});
}

// The composite-key table `bench_pair`: (a, b) its primary key, inserted in no order of it.
const char* const kPairColumns = "SELECT `a`,`b`,`v` FROM `bench_pair`";

// One row of the pair columns where its reader holds it: the two keys in the host's 1252.
struct STPairView {
  const char* a;
  size_t aLength;
  const char* b;
  size_t bLength;
  int32_t v;
};
void Sum(CChecksum* sum, const STPairView& v) {
  sum->Text(v.a, v.aLength);
  sum->Text(v.b, v.bLength);
  sum->Int(v.v);
}

// `bench_tiny`: a BIGINT key and 19 TINYINT, many rows of little data each, where what a whole
// result costs in memory beyond the client's own rows shows most. Five times the bench rows.
const char* const kTinyColumns =
    "SELECT `id`,`t1`,`t2`,`t3`,`t4`,`t5`,`t6`,`t7`,`t8`,`t9`,`t10`,`t11`,`t12`,`t13`,`t14`,`t15`,`t16`,`t17`,`t18`,`t19` "
    "FROM `bench_tiny` ORDER BY `id`";
constexpr size_t kTinyCount = 20;

// `bench_words`: a word list, one short utf8mb4 text a row (its key), as many rows as the bench.
const char* const kWordsColumns = "SELECT `word` FROM `bench_words` ORDER BY `word`";
// The host's item of a word: UNICODE of 32 characters and a terminator.
constexpr unsigned int kWordUnits = 33;
constexpr long long kTinyPerRow = 5;

struct STResult {
  long long units = 0;
  long long handlerReads = -1;  // the server's, when asked
  double wall = 0, cpu = 0;
  long rssKb = 0, allocs = 0;
  uint64_t checksum = 0;
  std::string why;
};

// The server's handler reads, for the modes that report them: asked on a connection of its own
// around the measured part, less what asking itself costs.
struct STHandlerProbe {
  std::function<long long()> ask;
  long long cost = 0;
} g_probe;

// Runs the measured part: time, CPU, the resident set it adds at most, the host's string
// allocations (when a host is loaded), the server's handler reads (when probed).
template <typename F>
STResult Measure(CHostControl* host, F&& body) {
  const long long reads0 = g_probe.ask ? g_probe.ask() : -1;
  if (FILE* f = fopen("/proc/self/clear_refs", "w")) {  // resets VmHWM to the current set
    fputs("5", f);
    fclose(f);
  }
  const long rss0 = ProcStatusKb("VmRSS:");
  const long allocs0 = host != nullptr ? host->nAllocCalls() : 0;
  const double cpu0 = CpuSeconds();
  const auto t0 = std::chrono::steady_clock::now();
  STResult r;
  CALLGRIND_START_INSTRUMENTATION;
  body(&r);
  CALLGRIND_STOP_INSTRUMENTATION;
  r.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  r.cpu = CpuSeconds() - cpu0;
  r.rssKb = std::max(0l, ProcStatusKb("VmHWM:") - rss0);
  r.allocs = host != nullptr ? host->nAllocCalls() - allocs0 : 0;
  if (reads0 >= 0) r.handlerReads = g_probe.ask() - reads0 - g_probe.cost;
  return r;
}

// Runs pass(result, sum) twice: measured with no sum, the pass reading and converting every value
// and summing none; then, not measured, with sum, the verification pass, which must read as many.
template <typename Pass>
STResult Passes(CHostControl* host, Pass&& pass) {
  STResult r = Measure(host, [&](STResult* res) { pass(res, nullptr); });
  if (!r.why.empty()) return r;
  CChecksum sum;
  STResult check;
  pass(&check, &sum);
  if (!check.why.empty())
    r.why = "verification: " + check.why;
  else if (check.units != r.units)
    r.why = "verification read " + std::to_string(check.units) + " units";
  r.checksum = sum.Value();
  return r;
}

uint64_t CountChecksum(long long count) {
  CChecksum sum;
  sum.Int(count);
  return sum.Value();
}

// The seek keys: a fixed generator over 1..rows.
long long SeekKey(long long i, long long rows) { return (i * 7919 + 13) % rows + 1; }

// The values the adds write for row i (1-based), on both sides.
struct STAddRow {
  int id, qty;
  long long cents;
  std::string name;  // Latin-1
  CDateTimeBase created;
  bool noteNull;
  std::string note;
};
STAddRow AddRow(long long i) {
  STAddRow r;
  r.id = static_cast<int>(i);
  r.qty = static_cast<int>(i % 1000) - 500;
  r.cents = i * 125;
  r.name = "add \xe9 " + std::to_string(i);
  r.created.m_wAnnee = 2025;
  r.created.m_byMois = static_cast<uint8_t>(i % 12 + 1);
  r.created.m_byJour = static_cast<uint8_t>(i % 28 + 1);
  r.created.m_dwMilli = static_cast<uint32_t>(i % 86400) * 1000;
  r.noteNull = i % 10 == 0;
  for (long long k = 0; k < i % 20; ++k) r.note += "note ";
  return r;
}

// ---- The real-shaped table `bench_real` ----
// Sixteen columns as the tables users read hold them: integers, a DECIMAL set in one row of ten,
// texts beyond Latin-1 of 1 to 80 characters, two short latin1 codes, a date, a double, and NULL
// in a third of the rows of seven columns. Each side reads a row into the item types the host's
// record holds (below) and sums it from there.
const char* const kRealColumns =
    "SELECT `id`,`cp`,`up`,`low`,`grp`,`sm`,`ti`,`amount`,`name`,`label`,`alias`,`note`,`cat`,`place`,`born`,`ratio` "
    "FROM `bench_real`";
constexpr size_t kRealCount = 16;
enum class ERealKind { kI4, kI2, kI1, kDecimal, kUTF16, kText, kDate8, kR8 };
// The host's items of each column, as a host declares them for such columns: as the driver's
// own import describes them, INT I4, SMALLINT I2, TINYINT I1, a utf8mb4 VARCHAR(80) UNICODE of
// 81 units, a latin1 CHAR(n) TEXTE of n + 1 bytes in the host's page, DATE DATE8 (its digits),
// DOUBLE R8; the DECIMAL(10,2) the host's plain numeric item, a DECIMAL of 38 digits of which
// 6 decimals (the import would make it a currency).
const struct STRealItem {
  const wchar_t* name;
  ERealKind kind;
  eNA_ITEMTYPE type;
  unsigned int size;
} kRealItems[kRealCount] = {
    {L"id", ERealKind::kI4, NA_IT_I4, 4},           {L"cp", ERealKind::kI4, NA_IT_I4, 4},
    {L"up", ERealKind::kI4, NA_IT_I4, 4},           {L"low", ERealKind::kI4, NA_IT_I4, 4},
    {L"grp", ERealKind::kI4, NA_IT_I4, 4},          {L"sm", ERealKind::kI2, NA_IT_I2, 2},
    {L"ti", ERealKind::kI1, NA_IT_I1, 1},           {L"amount", ERealKind::kDecimal, NA_IT_DECIMAL, IDecimal::mg_PToN[38]},
    {L"name", ERealKind::kUTF16, NA_IT_UNICODE, 162}, {L"label", ERealKind::kUTF16, NA_IT_UNICODE, 162},
    {L"alias", ERealKind::kUTF16, NA_IT_UNICODE, 162}, {L"note", ERealKind::kUTF16, NA_IT_UNICODE, 162},
    {L"cat", ERealKind::kText, NA_IT_TEXTE, 3},     {L"place", ERealKind::kText, NA_IT_TEXTE, 13},
    {L"born", ERealKind::kDate8, NA_IT_DATE8, 9},   {L"ratio", ERealKind::kR8, NA_IT_R8, 8},
};

// Where a reader holds one row of bench_real: each value's bytes in its item's form (the decimal
// as its unscaled value at scale 6 in 16 bytes, two's complement, least significant first) and
// whether it is defined.
struct STRealView {
  bool defined[kRealCount];
  const unsigned char* at[kRealCount];
};

// The units of a UTF-16 text before its terminator, at most cap, four at a time while they lie
// within cap.
size_t UnitCount(const unsigned char* p, size_t cap) {
  size_t n = 0;
  for (; n + 4 <= cap; n += 4) {
    uint64_t w;
    memcpy(&w, p + 2 * n, 8);
    if (const uint64_t zero = (w - 0x0001000100010001ull) & ~w & 0x8000800080008000ull; zero != 0)
      return n + static_cast<size_t>(__builtin_ctzll(zero)) / 16;
  }
  while (n < cap && (p[2 * n] | p[2 * n + 1]) != 0) ++n;
  return n;
}

// A word where its reader holds it, as UTF-16 units ended by a terminator or by the item's end.
struct STWordView {
  const unsigned char* units;
};
void Sum(CChecksum* sum, const STWordView& v) { sum->Block(v.units, 2 * UnitCount(v.units, kWordUnits)); }

// One row of bench_tiny, every value widened.
struct STTinyRow {
  int64_t v[kTinyCount];
};
void Sum(CChecksum* sum, const STTinyRow& row) {
  for (int64_t v : row.v) sum->Word(static_cast<uint64_t>(v));
}

void Sum(CChecksum* sum, const STRealView& v) {
  for (size_t i = 0; i < kRealCount; ++i) {
    if (!v.defined[i]) {
      sum->NullWord();
      continue;
    }
    const unsigned char* p = v.at[i];
    switch (kRealItems[i].kind) {
      case ERealKind::kI4: {
        int32_t n;
        memcpy(&n, p, 4);
        sum->Word(static_cast<uint64_t>(n));
        break;
      }
      case ERealKind::kI2: {
        int16_t n;
        memcpy(&n, p, 2);
        sum->Word(static_cast<uint64_t>(n));
        break;
      }
      case ERealKind::kI1: sum->Word(static_cast<uint64_t>(static_cast<int8_t>(*p))); break;
      case ERealKind::kDecimal: sum->Block(p, 16); break;
      case ERealKind::kUTF16: sum->Block(p, 2 * UnitCount(p, kRealItems[i].size / 2)); break;
      case ERealKind::kText:
      case ERealKind::kDate8:
        sum->Block(p, strnlen(reinterpret_cast<const char*>(p), kRealItems[i].size));
        break;
      case ERealKind::kR8: {
        uint64_t bits;
        memcpy(&bits, p, 8);
        sum->Word(bits);
        break;
      }
    }
  }
}

// The raw side's record of bench_real: every value converted from the client library's texts
// into the host's item types in one pass, as a careful C program fills its own structure: digit
// loops, fixed positions, a tight UTF-8 loop; only the double goes through the library's parse
// (the server's shortest text of it needs a correct rounding). Each kind stands in a function
// of its own, so that a profile gives its instructions a value.
class CRealRow {
 public:
  CRealRow() {
    for (size_t i = 0; i < kRealCount; ++i) m_view.at[i] = m_values[i];
  }
  // One row of kRealColumns; false when a value does not convert.
  bool Set(char** row, const unsigned long* lengths) {
    bool ok = true;
    for (size_t i = 0; i < kRealCount; ++i) {
      const char* text = row[i];
      m_view.defined[i] = text != nullptr;
      if (text == nullptr) continue;
      const char* end = text + lengths[i];
      unsigned char* out = m_values[i];
      switch (kRealItems[i].kind) {
        case ERealKind::kI4: ok = Integer<int32_t>(text, end, out) && ok; break;
        case ERealKind::kI2: ok = Integer<int16_t>(text, end, out) && ok; break;
        case ERealKind::kI1: ok = Integer<int8_t>(text, end, out) && ok; break;
        case ERealKind::kDecimal: ok = Decimal(text, end, out) && ok; break;
        case ERealKind::kUTF16: g_UTF16(text, end, reinterpret_cast<char16_t*>(out), kRealItems[i].size / 2 - 1); break;
        case ERealKind::kText: Latin1(text, end, reinterpret_cast<char*>(out), kRealItems[i].size - 1); break;
        case ERealKind::kDate8: ok = Date8(text, end, out) && ok; break;
        case ERealKind::kR8: ok = R8(text, end, out) && ok; break;
      }
    }
    return ok;
  }
  const STRealView& View() const { return m_view; }

  // UTF-8 into at most cap units and a terminator, cut before a character that does not fit.
  [[gnu::noinline]] static void g_UTF16(const char* s, const char* end, char16_t* out, size_t cap) {
    const auto* p = reinterpret_cast<const unsigned char*>(s);
    const auto* e = reinterpret_cast<const unsigned char*>(end);
    char16_t* o = out;
    char16_t* const stop = out + cap;
    while (p < e && o < stop) {
      const unsigned c = *p;
      if (c < 0x80) {
        *o++ = static_cast<char16_t>(c);
        ++p;
      } else if (c < 0xE0) {
        *o++ = static_cast<char16_t>((c & 0x1Fu) << 6 | (p[1] & 0x3Fu));
        p += 2;
      } else if (c < 0xF0) {
        *o++ = static_cast<char16_t>((c & 0x0Fu) << 12 | (p[1] & 0x3Fu) << 6 | (p[2] & 0x3Fu));
        p += 3;
      } else {
        if (stop - o < 2) break;
        const char32_t cp = (c & 0x07u) << 18 | (p[1] & 0x3Fu) << 12 | (p[2] & 0x3Fu) << 6 | (p[3] & 0x3Fu);
        *o++ = static_cast<char16_t>(0xD7C0 + (cp >> 10));
        *o++ = static_cast<char16_t>(0xDC00 | (cp & 0x3FF));
        p += 4;
      }
    }
    *o = 0;
  }

  // A signed decimal integer within [lo, hi] by a digit loop.
  static bool Digits(const char* p, const char* end, long long lo, long long hi, long long* v) {
    const bool neg = p < end && *p == '-';
    p += neg;
    if (p == end || end - p > 18) return false;
    long long n = 0;
    for (; p < end; ++p) {
      const unsigned d = static_cast<unsigned char>(*p) - '0';
      if (d > 9) return false;
      n = n * 10 + d;
    }
    *v = neg ? -n : n;
    return *v >= lo && *v <= hi;
  }
  // An integer item of T (each T its own function in a profile).
  template <typename T>
  [[gnu::noinline]] static bool Integer(const char* p, const char* end, unsigned char* out) {
    long long v;
    if (!Digits(p, end, std::numeric_limits<T>::min(), std::numeric_limits<T>::max(), &v)) return false;
    const auto n = static_cast<T>(v);
    memcpy(out, &n, sizeof n);
    return true;
  }
  // The server's DECIMAL(10,2) text as the item's unscaled value at scale 6, 16 bytes.
  [[gnu::noinline]] static bool Decimal(const char* p, const char* end, unsigned char* out) {
    const bool neg = p < end && *p == '-';
    p += neg;
    long long v = 0;
    int decimals = -1;
    for (; p < end; ++p) {
      if (*p == '.' && decimals < 0) {
        decimals = 0;
        continue;
      }
      const unsigned d = static_cast<unsigned char>(*p) - '0';
      if (d > 9 || decimals >= 6) return false;
      v = v * 10 + d;
      decimals += decimals >= 0;
    }
    for (decimals = decimals < 0 ? 0 : decimals; decimals < 6; ++decimals) v *= 10;
    const __int128 unscaled = neg ? -static_cast<__int128>(v) : v;
    memcpy(out, &unscaled, 16);
    return true;
  }
  // "YYYY-MM-DD" as its eight digits.
  [[gnu::noinline]] static bool Date8(const char* p, const char* end, unsigned char* out) {
    if (end - p != 10) return false;
    memcpy(out, p, 4);
    memcpy(out + 4, p + 5, 2);
    memcpy(out + 6, p + 8, 2);
    out[8] = 0;
    return true;
  }
  [[gnu::noinline]] static bool R8(const char* p, const char* end, unsigned char* out) {
    double d;
    if (std::from_chars(p, end, d).ec != std::errc()) return false;
    memcpy(out, &d, 8);
    return true;
  }
  // UTF-8 of Latin-1 characters into their bytes (the host's 1252), at most cap and a terminator;
  // the bytes written before it.
  [[gnu::noinline]] static size_t Latin1(const char* p, const char* end, char* out, size_t cap) {
    size_t n = 0;
    for (; p < end && n < cap; ++n) {
      const auto c = static_cast<unsigned char>(*p);
      if (c < 0x80) {
        out[n] = static_cast<char>(c), p += 1;
      } else {
        out[n] = static_cast<char>((c & 0x1F) << 6 | (p[1] & 0x3F)), p += 2;
      }
    }
    out[n] = 0;
    return n;
  }

 private:
  unsigned char m_values[kRealCount][168];
  STRealView m_view;
};

// The raw side's row of bench_pair: the keys into the host's 1252 and v into its integer by the
// same loops, each into a buffer of its own as the driver's record holds them.
class CPairRow {
 public:
  // false when v does not convert.
  bool Set(char** row, const unsigned long* lengths) {
    m_view.aLength = CRealRow::Latin1(row[0], row[0] + lengths[0], m_a, sizeof m_a - 1);
    m_view.bLength = CRealRow::Latin1(row[1], row[1] + lengths[1], m_b, sizeof m_b - 1);
    return CRealRow::Integer<int32_t>(row[2], row[2] + lengths[2], reinterpret_cast<unsigned char*>(&m_view.v));
  }
  const STPairView& View() const { return m_view; }

 private:
  char m_a[4], m_b[9];  // the host's items of CHAR(3) and VARCHAR(8)
  STPairView m_view{m_a, 0, m_b, 0, 0};
};

// ---- The raw side ----

class CRaw {
 public:
  bool Open(std::string* why) {
    return TestServer::fromEnv(&m_server) && m_lib.load(why) && m_cnx.connect(m_server, RawTransport::Tcp, why);
  }
  RawConnection& Cnx() { return m_cnx; }
  RawMySQL& Lib() { return m_lib; }
  const TestServer& Server() const { return m_server; }

  // Runs text and hands every row, stored or streamed, to row(values, lengths); the rows read,
  // -1 on failure.
  template <typename Row>
  long long ReadRows(const std::string& text, bool stored, Row&& row) {
    if (m_lib.real_query(m_cnx.handle(), text.data(), text.size()) != 0) return -1;
    RawMySQL::MYSQL_RES* result = stored ? m_lib.store_result(m_cnx.handle()) : m_lib.use_result(m_cnx.handle());
    if (result == nullptr) return -1;
    long long got = 0;
    while (RawMySQL::MYSQL_ROW values = m_lib.fetch_row(result)) {
      row(values, m_lib.fetch_lengths(result));
      ++got;
    }
    m_lib.free_result(result);
    return got;
  }
  // The same over the bench columns, each row read (and summed when sum): *last is the first
  // column of the last row.
  long long Read(const std::string& text, bool stored, CChecksum* sum, long long* last) {
    return ReadRows(text, stored, [&](char** row, const unsigned long* lengths) {
      ReadRawRow(sum, row, lengths);
      if (last != nullptr) *last = atoll(row[0]);
    });
  }

  // Every row through keyset blocks of size, as the driver's blocks go.
  long long Blocks(long long size, CChecksum* sum) {
    long long rows = 0, last = 0;
    std::string text = std::string(kColumns) + "`bench` ORDER BY `id` LIMIT " + std::to_string(size);
    for (;;) {
      const long long got = Read(text, true, sum, &last);
      if (got < 0) return -1;
      rows += got;
      if (got < size) return rows;
      text = std::string(kColumns) + "`bench` WHERE `id`>" + std::to_string(last) + " ORDER BY `id` LIMIT " +
             std::to_string(size);
    }
  }

  // Every row of the pair table into pair, handed to row(view) (whole: by the key's order;
  // else through keyset blocks of size on its key, from the first row forward or from the last
  // backward, as the driver's blocks go); the rows read, -1 on failure or a value that does not
  // convert.
  template <typename Row>
  long long PairRows(bool whole, long long size, bool forward, CPairRow* pair, Row&& row) {
    const std::string order = forward ? " ORDER BY `a`,`b`" : " ORDER BY `a` DESC,`b` DESC";
    const std::string limit = whole ? "" : " LIMIT " + std::to_string(size);
    const char* const past = forward ? ">" : "<";
    std::string text = kPairColumns + order + limit;
    bool ok = true;
    for (long long rows = 0;;) {
      const long long got = ReadRows(text, true, [&](char** values, const unsigned long* lengths) {
        ok = pair->Set(values, lengths) && ok;
        row(pair->View());
      });
      if (got < 0 || !ok) return -1;
      rows += got;
      if (whole || got < size) return rows;
      // The next block starts past the last row read, still in pair; the keys are plain letters
      // and digits.
      const std::string a(pair->View().a, pair->View().aLength), b(pair->View().b, pair->View().bLength);
      text = kPairColumns + std::string(" WHERE `a`") + past + "'" + a + "' OR `a`='" + a + "' AND `b`" + past + "'" +
             b + "'" + order + limit;
    }
  }

  // Every row of bench_real through keyset blocks of size on its id, each into row(values,
  // lengths); the rows read, -1 on failure.
  template <typename Row>
  long long RealBlocks(long long size, Row&& row) {
    const std::string order = " ORDER BY `id` LIMIT " + std::to_string(size);
    std::string text = kRealColumns + order, last;
    for (long long rows = 0;;) {
      const long long got = ReadRows(text, true, [&](char** values, const unsigned long* lengths) {
        row(values, lengths);
        last.assign(values[0], lengths[0]);
      });
      if (got < 0) return -1;
      rows += got;
      if (got < size) return rows;
      text = kRealColumns + std::string(" WHERE `id`>") + last + order;
    }
  }

  // The rows every handler of the server has read so far, -1 when the server does not say.
  long long HandlerReads() {
    long long sum = -1;
    if (ReadRows("SHOW GLOBAL STATUS LIKE 'Handler_read%'", true, [&](char** row, const unsigned long*) {
          sum = std::max(sum, 0ll) + atoll(row[1]);
        }) < 0)
      return -1;
    return sum;
  }

  bool Exec(const std::string& text, std::string* why) { return m_cnx.exec(text, why); }

 private:
  TestServer m_server;
  RawMySQL m_lib;
  RawConnection m_cnx{m_lib};
};

std::string SqlText(const std::string& latin1) {
  std::string out = "'";
  for (unsigned char c : latin1) {
    if (c == '\'' || c == '\\') out += static_cast<char>(c);
    if (c >= 0x80) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "'";
}

std::string InsertText(const STAddRow& r) {
  char created[32];
  snprintf(created, sizeof created, "'%04u-%02u-%02u %02u:%02u:%02u'", r.created.m_wAnnee, r.created.m_byMois,
           r.created.m_byJour, r.created.m_dwMilli / 3600000, r.created.m_dwMilli / 60000 % 60,
           r.created.m_dwMilli / 1000 % 60);
  char price[32];
  snprintf(price, sizeof price, "%s%lld.%02lld", r.cents < 0 ? "-" : "", llabs(r.cents) / 100, llabs(r.cents) % 100);
  return "INSERT INTO `bench_add` (`id`,`name`,`qty`,`price`,`created`,`note`) VALUES (" + std::to_string(r.id) +
         "," + SqlText(r.name) + "," + std::to_string(r.qty) + "," + price + "," + created + "," +
         (r.noteNull ? std::string("NULL") : SqlText(r.note)) + ")";
}

const char* const kTableShape =
    " (`id` INT PRIMARY KEY AUTO_INCREMENT, `name` VARCHAR(64), `qty` INT, `price` DECIMAL(12,2), "
    "`created` DATETIME, `note` TEXT) CHARACTER SET utf8mb4";

// The adds' table, empty.
bool ResetAddTable(CRaw* raw, std::string* why) {
  return raw->Exec("DROP TABLE IF EXISTS `bench_add`", why) &&
         raw->Exec(std::string("CREATE TABLE `bench_add`") + kTableShape, why);
}

// The checksum of what the adds left on the server.
uint64_t AddedChecksum(CRaw* raw) {
  CChecksum sum;
  if (raw->Read(std::string(kColumns) + "`bench_add` ORDER BY `id`", true, &sum, nullptr) < 0) return 0;
  return sum.Value();
}

STResult RunRaw(const STArgs& a) {
  CRaw raw;
  STResult fail;
  if (!raw.Open(&fail.why)) return fail;
  const std::string all = std::string(kColumns) + "`bench` ORDER BY `id`";
  if (a.mode == "whole" || a.mode == "whole_rowcache" || (a.mode == "streamed" && a.side == "raw_use")) {
    const bool stored = a.side != "raw_use";
    return Passes(nullptr, [&](STResult* r, CChecksum* sum) { r->units = raw.Read(all, stored, sum, nullptr); });
  }
  if (a.mode == "streamed" || a.mode == "default" || a.mode == "blocks500" || a.mode == "blocks1000") {
    const long long size = a.mode == "streamed" ? 2000 : a.mode == "blocks500" ? 500 : a.mode == "blocks1000" ? 1000 : 100;
    return Passes(nullptr, [&](STResult* r, CChecksum* sum) { r->units = raw.Blocks(size, sum); });
  }
  if (a.mode == "count") {
    STResult res = Measure(nullptr, [&](STResult* r) {
      r->units = raw.ReadRows(all, false, [](char**, const unsigned long*) {});
    });
    res.checksum = CountChecksum(res.units);
    return res;
  }
  if (a.mode == "seeks") {
    // The driver's own text, so that both sides ask the server the same; the plain point SELECT is
    // measured beside it.
    const std::string tail = a.side == "raw_point" ? "" : " ORDER BY `id` LIMIT 100";
    return Passes(nullptr, [&](STResult* r, CChecksum* sum) {
      for (long long i = 0; i < a.ops; ++i)
        if (raw.Read(std::string(kColumns) + "`bench` WHERE `id`=" + std::to_string(SeekKey(i, a.rows)) + tail, true,
                     sum, nullptr) != 1)
          return;
      r->units = a.ops;
    });
  }
  if (a.mode == "adds" || a.mode == "adds_tx") {
    if (!ResetAddTable(&raw, &fail.why)) return fail;
    const bool tx = a.mode == "adds_tx";
    STResult res = Measure(nullptr, [&](STResult* r) {
      if (tx && !raw.Exec("START TRANSACTION", &r->why)) return;
      for (long long i = 1; i <= a.ops; ++i)
        if (!raw.Exec(InsertText(AddRow(i)), &r->why)) return;
      if (tx && !raw.Exec("COMMIT", &r->why)) return;
      r->units = a.ops;
    });
    res.checksum = AddedChecksum(&raw);
    return res;
  }
  if (a.mode == "query") {
    return Passes(nullptr, [&](STResult* r, CChecksum* sum) {
      r->units = raw.Read(std::string(kColumns) + "`bench` WHERE `qty` < 250 ORDER BY `id`", true, sum, nullptr);
    });
  }
  if (a.mode == "pair_whole" || a.mode == "pair_forward" || a.mode == "pair_backward") {
    CPairRow pair;
    return Passes(nullptr, [&](STResult* r, CChecksum* sum) {
      r->units = raw.PairRows(a.mode == "pair_whole", 100, a.mode != "pair_backward", &pair,
                              [&](const STPairView& v) { Take(sum, v); });
      if (r->units < 0) r->why = "a value that does not convert";
    });
  }
  if (a.mode == "words_whole") {
    return Passes(nullptr, [&](STResult* r, CChecksum* sum) {
      char16_t word[kWordUnits];
      r->units = raw.ReadRows(kWordsColumns, true, [&](char** row, const unsigned long* lengths) {
        CRealRow::g_UTF16(row[0], row[0] + lengths[0], word, kWordUnits - 1);
        Take(sum, STWordView{reinterpret_cast<const unsigned char*>(word)});
      });
    });
  }
  if (a.mode == "tiny_whole") {
    return Passes(nullptr, [&](STResult* r, CChecksum* sum) {
      bool ok = true;
      STTinyRow values;
      r->units = raw.ReadRows(kTinyColumns, true, [&](char** row, const unsigned long* lengths) {
        for (size_t i = 0; i < kTinyCount; ++i)
          ok = row[i] != nullptr && std::from_chars(row[i], row[i] + lengths[i], values.v[i]).ec == std::errc() && ok;
        Take(sum, values);
      });
      if (!ok) r->why = "a value that does not convert";
    });
  }
  if (a.mode == "real_whole" || a.mode == "real_default") {
    return Passes(nullptr, [&](STResult* r, CChecksum* sum) {
      CRealRow record;
      bool ok = true;
      auto row = [&](char** values, const unsigned long* lengths) {
        ok = record.Set(values, lengths) && ok;
        Take(sum, record.View());
      };
      r->units = a.mode == "real_whole" ? raw.ReadRows(std::string(kRealColumns) + " ORDER BY `id`", true, row)
                                        : raw.RealBlocks(100, row);
      if (!ok) r->why = "a value that does not convert";
    });
  }
  fail.why = "unknown mode " + a.mode;
  return fail;
}

// ---- The driver side: the host's file layer over the loaded library ----

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

class CDriverSide {
 public:
  bool Open(std::string* why) {
    if (!TestServer::fromEnv(&m_server)) {
      *why = "no test server: load .testdb/env first";
      return false;
    }
    m_driver = m_loader.piQueryInterface(why);
    if (m_driver == nullptr) return false;
    Describe(&m_bench, L"bench");
    Describe(&m_add, L"bench_add");
    DescribePair();
    DescribeReal();
    DescribeTiny();
    DescribeWords();
    return true;
  }
  ~CDriverSide() {
    if (m_driver == nullptr) return;
    for (INATable* t : m_tables) t->nExternalRelease();
    m_driver->nExternalRelease();
    m_loader.Stop();
  }
  CHostControl* Host() const { return m_loader.Control(); }
  INADriver* Driver() const { return m_driver; }
  CHostLoader& Loader() { return m_loader; }

  // The host's parse of a query over the bench table, with the host's own SQL engine.
  ISQLParserInformation* Parse(const std::string& sql, std::string* why) {
    if (m_catalogue.Descriptions().empty()) m_catalogue.Add(&m_bench.desc);
    CTString error;
    ISQLParserInformation* parse = CHostSQLParser::piParse(m_texts.emplace_back(Wide(sql)).c_str(), m_catalogue, &error);
    if (parse == nullptr) *why = "parse failed";
    return parse;
  }

  // A host connection whose extended information ends with extra.
  CHostConnectionDescription* Connection(const std::string& extra) {
    return m_connections.Add(m_server, extra);
  }
  enum class Shape { kBench, kAdd, kPair, kReal, kTiny, kWords };
  INATable* Table(CHostConnectionDescription* cnx, bool add) { return Table(cnx, add ? Shape::kAdd : Shape::kBench); }
  INATable* Table(CHostConnectionDescription* cnx, Shape shape) {
    STDesc& d = shape == Shape::kAdd    ? m_add
                : shape == Shape::kPair ? m_pair
                : shape == Shape::kReal ? m_real
                : shape == Shape::kTiny ? m_tiny
                : shape == Shape::kWords ? m_words
                                        : m_bench;
    INATable* t = m_loader.piGetTable(cnx, &d.desc);
    if (t != nullptr) m_tables.push_back(t);
    return t;
  }
  std::string Error(INATable* t, INAContext* ctx) {
    INAError* e = t != nullptr ? t->piGetLastError(ctx) : m_driver->piGetLastError();
    if (e == nullptr || e->pszGetError() == nullptr) return "no error text";
    std::string out;
    for (const wchar_t* p = e->pszGetError(); *p != 0; ++p) out += *p < 0x80 ? static_cast<char>(*p) : '?';
    return out;
  }

  // Every value of ctx's current record read (and summed when sum) where the host reads its
  // items: in the record the driver hands over, at the host's own offsets (the raw side reads its
  // row in place too).
  bool ReadRecord(INATable* t, INAContext* ctx, CChecksum* sum) {
    CNAKJRecord* record = nullptr;
    if (!t->bGetRecord(ctx, &record) || record == nullptr) return false;
    // The host's record layout is its own, known before any read.
    if (m_tabRead[0].item == nullptr) {
      for (size_t i = 0; i < 6; ++i)
        m_tabRead[i] = {&m_bench.items[i], static_cast<size_t>(m_bench.items[i].nGetOffset(0)),
                        m_bench.items[i].nGetTotalSize()};
    }
    const BYTE* values = record->pbyGetValues();
    auto at = [&](size_t i) { return values + m_tabRead[i].offset; };
    auto i4 = [&](size_t i) {
      int32_t n = 0;
      memcpy(&n, at(i), 4);
      return static_cast<long long>(n);
    };
    auto text = [&](size_t i) {
      const char* p = reinterpret_cast<const char*>(at(i));
      return std::string(p, strnlen(p, m_tabRead[i].size));
    };
    // The host asks whether each item is defined as it reads it.
    bool defined[6];
    for (size_t i = 0; i < 6; ++i) defined[i] = record->vbItemValueDefined(m_tabRead[i].item, 0) != FALSE;
    CDateTimeBase dt;
    memcpy(&dt, at(4), sizeof dt);
    Take(sum, STBenchRow{i4(0), text(1), i4(2), Cents(at(3)),
                         ((dt.m_wAnnee * 100ll + dt.m_byMois) * 100 + dt.m_byJour) * 1000000 +
                             dt.m_dwMilli / 3600000 * 10000 + dt.m_dwMilli / 60000 % 60 * 100 + dt.m_dwMilli / 1000 % 60,
                         !defined[5], defined[5] ? text(5) : std::string()});
    record->vnRelease();
    return true;
  }

  // The values of ctx's current record of the pair table, read in place as ReadRecord reads.
  bool ReadPairRecord(INATable* t, INAContext* ctx, CChecksum* sum) {
    CNAKJRecord* record = nullptr;
    if (!t->bGetRecord(ctx, &record) || record == nullptr) return false;
    const BYTE* values = record->pbyGetValues();
    if (sum != nullptr) {
      // The keys' lengths are the checksum's: the measured pass holds the items where the host
      // reads them, as the word list's does.
      const auto* a = reinterpret_cast<const char*>(values + m_pairRead[0].offset);
      const auto* b = reinterpret_cast<const char*>(values + m_pairRead[1].offset);
      STPairView v{a, strnlen(a, m_pairRead[0].size), b, strnlen(b, m_pairRead[1].size), 0};
      memcpy(&v.v, values + m_pairRead[2].offset, 4);
      Sum(sum, v);
    } else {
      Keep(values);
    }
    record->vnRelease();
    return true;
  }

  // The values of ctx's current record of bench_real, read where the host reads them, asking
  // whether each item is defined.
  bool ReadRealRecord(INATable* t, INAContext* ctx, CChecksum* sum) {
    CNAKJRecord* record = nullptr;
    if (!t->bGetRecord(ctx, &record) || record == nullptr) return false;
    const BYTE* values = record->pbyGetValues();
    STRealView view;
    for (size_t i = 0; i < kRealCount; ++i) {
      view.defined[i] = record->vbItemValueDefined(m_realItem[i], 0) != FALSE;
      view.at[i] = values + m_realOffset[i];
    }
    Take(sum, view);
    record->vnRelease();
    return true;
  }

  // The values of ctx's current record of bench_tiny, as ReadRealRecord reads.
  bool ReadTinyRecord(INATable* t, INAContext* ctx, CChecksum* sum) {
    CNAKJRecord* record = nullptr;
    if (!t->bGetRecord(ctx, &record) || record == nullptr) return false;
    const BYTE* values = record->pbyGetValues();
    STTinyRow row;
    memcpy(&row.v[0], values + m_tinyOffset[0], 8);
    for (size_t i = 1; i < kTinyCount; ++i) row.v[i] = static_cast<int8_t>(values[m_tinyOffset[i]]);
    Take(sum, row);
    record->vnRelease();
    return true;
  }

  // The word of ctx's current record of bench_words, in place.
  bool ReadWordRecord(INATable* t, INAContext* ctx, CChecksum* sum) {
    CNAKJRecord* record = nullptr;
    if (!t->bGetRecord(ctx, &record) || record == nullptr) return false;
    Take(sum, STWordView{record->pbyGetValues() + m_wordOffset});
    record->vnRelease();
    return true;
  }

  // ctx's current record of the adds' table takes row r, every item written as the host writes.
  bool WriteRecord(INATable* t, INAContext* ctx, const STAddRow& r) {
    CNAKJRecord* record = nullptr;
    if (!t->bGetRecord(ctx, &record) || record == nullptr) return false;
    BYTE* values = record->pbyGetValues();
    auto put = [&](size_t i, const void* bytes, size_t n) {
      CHostItemDescription& item = m_add.items[i];
      BYTE* at = values + item.nGetOffset(0);
      memset(at, 0, item.nGetTotalSize());
      if (bytes != nullptr) memcpy(at, bytes, std::min<size_t>(n, item.nGetTotalSize()));
      record->vSetItemValueDefined(&item, bytes != nullptr ? TRUE : FALSE, 0);
    };
    put(0, &r.id, 4);
    put(1, r.name.c_str(), r.name.size());
    put(2, &r.qty, 4);
    put(3, &r.cents, IDecimal::mg_PToN[12]);  // the data form: two's complement, least significant first
    put(4, &r.created, sizeof r.created);
    put(5, r.noteNull ? nullptr : r.note.c_str(), r.note.size());
    const BOOL ok = m_loader.bSetRecord(t, ctx, record);
    record->vnRelease();
    return ok;
  }

 private:
  // The host's description of a table of the bench shape.
  struct STDesc {
    std::deque<CHostItemDescription> items;
    CHostRecordDescription desc;
  };
  static void Describe(STDesc* d, const wchar_t* name) {
    d->desc.m_pszName = d->desc.m_pszPhysicalName = d->desc.m_pszDBTableName = name;
    const struct {
      const wchar_t* name;
      eNA_ITEMTYPE type;
      unsigned int size;
    } layout[] = {{L"id", NA_IT_I4, 4},          {L"name", NA_IT_TEXTE, 65},       {L"qty", NA_IT_I4, 4},
                  {L"price", NA_IT_DECIMAL, 24}, {L"created", NA_IT_DATETIME, 8}, {L"note", NA_IT_TEXTE, 101}};
    for (const auto& l : layout) {
      CHostItemDescription& item = d->items.emplace_back(l.name, l.type, l.size);
      item.m_pszNameInSource = L"";
      item.m_pszSourceName = name;  // what a query over the file names as the column's table
      d->desc.Add(&item);
    }
    d->items[0].m_wKeyFlags = 0x8000;
    d->items[3].m_nIntegerPart = 10;
    d->items[3].m_nDecimalPart = 2;
  }
  // The host's description of the pair table: a CHAR(3), b VARCHAR(8), v INT and its primary
  // key (a, b), which the host does not say is not null.
  void DescribePair() {
    m_pair.desc.m_pszName = m_pair.desc.m_pszPhysicalName = m_pair.desc.m_pszDBTableName = L"bench_pair";
    const struct {
      const wchar_t* name;
      eNA_ITEMTYPE type;
      unsigned int size;
    } layout[] = {{L"a", NA_IT_TEXTE, 4}, {L"b", NA_IT_TEXTE, 9}, {L"v", NA_IT_I4, 4}, {L"ab", NA_IT_BINAIRE, 13}};
    for (const auto& l : layout) {
      CHostItemDescription& item = m_pair.items.emplace_back(l.name, l.type, l.size);
      item.m_pszNameInSource = L"";
      item.m_pszSourceName = L"bench_pair";
    }
    CHostItemDescription& key = m_pair.items[3];
    key.m_wKeyFlags = 0x9000;  // primary, composite
    key.m_tabComponents = {&m_pair.items[0], &m_pair.items[1]};
    for (CHostItemDescription& item : m_pair.items) m_pair.desc.Add(&item);
    m_pair.desc.m_pBestParseItem = &key;
    for (size_t i = 0; i < 3; ++i)
      m_pairRead[i] = {&m_pair.items[i], static_cast<size_t>(m_pair.items[i].nGetOffset(0)), m_pair.items[i].nGetTotalSize()};
  }
  void DescribeReal() {
    m_real.desc.m_pszName = m_real.desc.m_pszPhysicalName = m_real.desc.m_pszDBTableName = L"bench_real";
    for (const STRealItem& r : kRealItems) {
      CHostItemDescription& item = m_real.items.emplace_back(r.name, r.type, r.size);
      item.m_pszNameInSource = L"";
      item.m_pszSourceName = L"bench_real";
      m_real.desc.Add(&item);
    }
    m_real.items[0].m_wKeyFlags = 0x8000;
    m_real.items[7].m_nIntegerPart = 32;
    m_real.items[7].m_nDecimalPart = 6;
    for (size_t i = 0; i < kRealCount; ++i) {
      m_realItem[i] = &m_real.items[i];
      m_realOffset[i] = static_cast<size_t>(m_real.items[i].nGetOffset(0));
    }
  }
  void DescribeTiny() {
    m_tiny.desc.m_pszName = m_tiny.desc.m_pszPhysicalName = m_tiny.desc.m_pszDBTableName = L"bench_tiny";
    for (size_t i = 0; i < kTinyCount; ++i) {
      m_tinyNames.push_back(i == 0 ? std::wstring(L"id") : L"t" + std::to_wstring(i));
      CHostItemDescription& item =
          m_tiny.items.emplace_back(m_tinyNames.back().c_str(), i == 0 ? NA_IT_I8 : NA_IT_I1, i == 0 ? 8u : 1u);
      item.m_pszNameInSource = L"";
      item.m_pszSourceName = L"bench_tiny";
      m_tiny.desc.Add(&item);
    }
    m_tiny.items[0].m_wKeyFlags = 0x8000;
    for (size_t i = 0; i < kTinyCount; ++i) m_tinyOffset[i] = static_cast<size_t>(m_tiny.items[i].nGetOffset(0));
  }
  void DescribeWords() {
    m_words.desc.m_pszName = m_words.desc.m_pszPhysicalName = m_words.desc.m_pszDBTableName = L"bench_words";
    CHostItemDescription& item = m_words.items.emplace_back(L"word", NA_IT_UNICODE, 2 * kWordUnits);
    item.m_pszNameInSource = L"";
    item.m_pszSourceName = L"bench_words";
    item.m_wKeyFlags = 0x8000;
    m_words.desc.Add(&item);
    m_wordOffset = static_cast<size_t>(item.nGetOffset(0));
  }
  // The hundredths of a host decimal slot of precision 12, scale 2: its data form, the unscaled
  // value in two's complement over mg_PToN[12] bytes, least significant first.
  static long long Cents(const unsigned char* slot) {
    const unsigned int width = IDecimal::mg_PToN[12];
    uint64_t v = 0;
    memcpy(&v, slot, width);
    if (width < 8 && (slot[width - 1] & 0x80) != 0) v |= ~0ull << (8 * width);
    return static_cast<long long>(v);
  }

  TestServer m_server;
  CHostLoader m_loader;
  INADriver* m_driver = nullptr;
  std::deque<std::wstring> m_texts;
  CTestHostConnections m_connections;
  std::vector<INATable*> m_tables;
  STDesc m_bench, m_add, m_pair, m_real, m_tiny, m_words;
  size_t m_wordOffset = 0;
  std::deque<std::wstring> m_tinyNames;
  size_t m_tinyOffset[kTinyCount] = {};
  // Where ReadRealRecord reads each item of bench_real, known before any read as the host knows it.
  const CHostItemDescription* m_realItem[kRealCount] = {};
  size_t m_realOffset[kRealCount] = {};
  CHostSQLCatalogue m_catalogue;
  // Where ReadRecord reads each item of the bench table.
  struct STRead {
    const CHostItemDescription* item = nullptr;
    size_t offset = 0;
    unsigned int size = 0;
  } m_tabRead[6], m_pairRead[3];
};

// First, next to the end on item (or last, previous to the start): every record read by
// readRecord(). flags go with each read.
template <typename ReadRecord>
void Browse(CDriverSide* d, INATable* t, INAContext* ctx, unsigned int flags, STResult* r, const wchar_t* item,
            bool forward, ReadRecord&& readRecord) {
  long long rows = 0;
  for (eNA_PARSEDIRECTION dir = forward ? NA_PARSE_FIRST : NA_PARSE_LAST;;
       dir = forward ? NA_PARSE_NEXT : NA_PARSE_PREVIOUS) {
    int out = 0;
    if (!t->bHLitxxx(ctx, item, dir, 1, eNA_LOCKTYPE{0}, nullptr, flags) || !t->bHEnDehors(ctx, item, &out)) {
      r->why = d->Error(t, ctx);
      return;
    }
    if (out) break;
    if (!readRecord()) {
      r->why = "no record";
      return;
    }
    ++rows;
  }
  r->units = rows;
}
// The bench table on id, from its first row.
void Browse(CDriverSide* d, INATable* t, INAContext* ctx, unsigned int flags, STResult* r, CChecksum* sum) {
  Browse(d, t, ctx, flags, r, L"id", true, [&] { return d->ReadRecord(t, ctx, sum); });
}

STResult RunDriver(const STArgs& a) {
  CDriverSide d;
  STResult fail;
  if (!d.Open(&fail.why)) return fail;
  CHostContext ctx(1, 1);
  auto open = [&](const std::string& extra, auto shape) -> INATable* {
    INATable* t = d.Table(d.Connection(extra), shape);
    if (t == nullptr) {
      fail.why = "no table: " + d.Error(nullptr, nullptr);
      return nullptr;
    }
    if (!t->bHOuvre(&ctx, eNA_ACCESS{0}, nullptr)) {
      fail.why = "open: " + d.Error(t, &ctx);
      return nullptr;
    }
    return t;
  };
  struct {
    const char* mode;
    const char* extra;
    unsigned int flags;
  } browses[] = {{"whole", ";QX Cache Size=-1", kNoRowCache},
                 {"whole_rowcache", ";QX Cache Size=-1", 0},
                 {"streamed", ";QX Cache Size=2000", kNoRowCache},
                 {"default", "", 0},
                 {"blocks500", ";QX Cache Size=500", 0},
                 {"blocks1000", ";QX Cache Size=1000", 0}};
  for (const auto& b : browses) {
    if (a.mode != b.mode) continue;
    INATable* t = open(b.extra, false);
    if (t == nullptr) return fail;
    STResult r = Passes(d.Host(), [&](STResult* res, CChecksum* sum) { Browse(&d, t, &ctx, b.flags, res, sum); });
    t->bHFerme(&ctx);
    return r;
  }
  if (a.mode == "pair_whole" || a.mode == "pair_forward" || a.mode == "pair_backward") {
    // The whole result as the whole mode reads it; the blocks are the default ones.
    const bool whole = a.mode == "pair_whole";
    INATable* t = open(whole ? ";QX Cache Size=-1" : "", CDriverSide::Shape::kPair);
    if (t == nullptr) return fail;
    STResult r = Passes(d.Host(), [&](STResult* res, CChecksum* sum) {
      Browse(&d, t, &ctx, whole ? kNoRowCache : 0, res, L"ab", a.mode != "pair_backward",
             [&] { return d.ReadPairRecord(t, &ctx, sum); });
    });
    t->bHFerme(&ctx);
    return r;
  }
  if (a.mode == "words_whole" || a.mode == "tiny_whole") {
    const bool words = a.mode == "words_whole";
    INATable* t = open(";QX Cache Size=-1", words ? CDriverSide::Shape::kWords : CDriverSide::Shape::kTiny);
    if (t == nullptr) return fail;
    STResult r = Passes(d.Host(), [&](STResult* res, CChecksum* sum) {
      Browse(&d, t, &ctx, kNoRowCache, res, words ? L"word" : L"id", true,
             [&] { return words ? d.ReadWordRecord(t, &ctx, sum) : d.ReadTinyRecord(t, &ctx, sum); });
    });
    t->bHFerme(&ctx);
    return r;
  }
  if (a.mode == "real_whole" || a.mode == "real_default") {
    // As the whole and default modes read the bench table.
    const bool whole = a.mode == "real_whole";
    INATable* t = open(whole ? ";QX Cache Size=-1" : "", CDriverSide::Shape::kReal);
    if (t == nullptr) return fail;
    STResult r = Passes(d.Host(), [&](STResult* res, CChecksum* sum) {
      Browse(&d, t, &ctx, whole ? kNoRowCache : 0, res, L"id", true,
             [&] { return d.ReadRealRecord(t, &ctx, sum); });
    });
    t->bHFerme(&ctx);
    return r;
  }
  if (a.mode == "seeks") {
    INATable* t = open("", false);
    if (t == nullptr) return fail;
    STResult r = Passes(d.Host(), [&](STResult* res, CChecksum* sum) {
      CAny key;
      for (long long i = 0; i < a.ops; ++i) {
        key.SetI4(static_cast<int>(SeekKey(i, a.rows)));
        int out = 0;
        if (!t->bHRecherche(&ctx, L"id", &key, 0, 1, eNA_LOCKTYPE{0}, nullptr, 1, 0) ||
            !t->bHEnDehors(&ctx, L"id", &out) || out != 0 || !d.ReadRecord(t, &ctx, sum)) {
          res->why = "seek " + std::to_string(i) + ": " + d.Error(t, &ctx);
          return;
        }
      }
      res->units = a.ops;
    });
    t->bHFerme(&ctx);
    return r;
  }
  if (a.mode == "adds" || a.mode == "adds_tx") {
    CRaw raw;
    if (!raw.Open(&fail.why) || !ResetAddTable(&raw, &fail.why)) return fail;
    CHostConnectionDescription* cnx = d.Connection("");
    // A transaction is one of the connection's: the host opens the connection first.
    if (!d.Loader().bOpenConnection(cnx)) {
      fail.why = "connection: " + d.Error(nullptr, nullptr);
      return fail;
    }
    INATable* t = d.Table(cnx, true);
    if (t == nullptr || !t->bHOuvre(&ctx, eNA_ACCESS{0}, nullptr)) {
      fail.why = "open: " + d.Error(t, &ctx);
      return fail;
    }
    const bool tx = a.mode == "adds_tx";
    STResult r = Measure(d.Host(), [&](STResult* res) {
      if (tx && !d.Driver()->bTransactionBegin(cnx, L"bench")) {
        res->why = "begin: " + d.Error(nullptr, nullptr);
        return;
      }
      for (long long i = 1; i <= a.ops; ++i)
        if (!d.WriteRecord(t, &ctx, AddRow(i)) || !t->bHAjoute(&ctx, 0, eNA_LOCKTYPE{0})) {
          res->why = "add " + std::to_string(i) + ": " + d.Error(t, &ctx);
          return;
        }
      if (tx && !d.Driver()->bTransactionCommit(cnx, L"bench")) {
        res->why = "commit: " + d.Error(nullptr, nullptr);
        return;
      }
      res->units = a.ops;
    });
    t->bHFerme(&ctx);
    r.checksum = AddedChecksum(&raw);
    return r;
  }
  if (a.mode == "query" || a.mode == "count") {
    // The host's query, parsed by the host and run by name; its result table is browsed or counted.
    // The browse reads the whole result at once, as the raw side's stored result does.
    CHostConnectionDescription* cnx = d.Connection(a.mode == "query" ? ";QX Cache Size=-1" : "");
    const std::string where = a.mode == "query" ? " WHERE qty < 250" : "";
    ISQLParserInformation* parse =
        d.Parse("SELECT id, name, qty, price, created, note FROM bench" + where + " ORDER BY id", &fail.why);
    if (parse == nullptr || !d.Loader().bOpenConnection(cnx)) return fail;
    INATable* t = nullptr;
    STResult r;
    auto run = [&](STResult* res) {
      // The host names the item it browses by, so the run's result serves the first read. The
      // driver_nocache side asks for no table cache (0x10000), as the whole-result browse does for
      // its row cache: the rows are then kept once, by the client library, as on the raw side.
      CHostQueryExecution execution(a.side == "driver_nocache" ? kNoRowCache : 0u, L"id");
      if (!d.Driver()->bHExecuteRequeteSQLEx(&t, &ctx, L"QBENCH", cnx, parse, 0, &execution) || t == nullptr) {
        res->why = "query: " + d.Error(nullptr, nullptr);
        return false;
      }
      return true;
    };
    if (a.mode == "query") {
      // The verification pass runs the query again, as the measured one did.
      r = Passes(d.Host(), [&](STResult* res, CChecksum* sum) {
        if (t != nullptr) {
          t->nExternalRelease();
          t = nullptr;
          d.Driver()->bFreeDataSource(&ctx, L"QBENCH", cnx);
        }
        if (run(res)) Browse(&d, t, &ctx, 0, res, sum);
      });
    } else if (run(&r)) {
      // The count alone is measured: the driver streams the query's rows to count them.
      r = Measure(d.Host(), [&](STResult* res) {
        long long count = 0;
        if (!t->bHNbEnr(&ctx, &count, 16, 0)) {
          res->why = "count: " + d.Error(t, &ctx);
          return;
        }
        res->units = count;
      });
      r.checksum = CountChecksum(r.units);
    }
    if (t != nullptr) t->nExternalRelease();
    d.Driver()->bFreeDataSource(&ctx, L"QBENCH", cnx);
    parse->nRelease();
    return r;
  }
  fail.why = "mode " + a.mode + " is not run on the driver side";
  return fail;
}

// ---- Loading and the summary ----

// The real-shaped table of rows rows, made again when it does not hold them.
bool LoadReal(CRaw* raw, long long rows, std::string* why) {
  RawRows got;
  if (raw->Cnx().query("SELECT COUNT(*), MAX(`id`) FROM `bench_real`", &got, nullptr) && got.size() == 1 &&
      got[0][0] && got[0][1] && std::stoll(*got[0][0]) == rows && std::stoll(*got[0][1]) == rows)
    return true;
  // Each text a piece of a pattern of its own script, from a place of its row, of 1 to 60, 40, 20
  // or 80 characters; the fourth holds characters above U+FFFF, so that some of its texts fill
  // their items. The amounts range from hundredths to millions.
  auto piece = [](const char* pattern, int from, int step, int longest) {
    return "SUBSTRING(REPEAT('" + std::string(pattern) + "', 3), 1 + seq % " + std::to_string(from) + ", 1 + seq * " +
           std::to_string(step) + " % " + std::to_string(longest) + ")";
  };
  const std::string insert =
      "INSERT INTO `bench_real` SELECT seq, seq * 7 % 1114112, IF(seq % 3 = 1, NULL, seq + 32), "
      "IF(seq % 3 = 2, NULL, seq * 31 % 100000 - 50000), IF(seq % 3 = 0, NULL, seq % 1000 - 500), "
      "seq % 65536 - 32768, seq % 256 - 128, IF(seq % 10 = 0, (seq * 2654435761 % 2000000001 - 1000000000) DIV "
      "ELT(1 + seq DIV 10 % 6, 1, 10, 100, 1000, 100000, 10000000) / 100, NULL), " +
      piece("Άλφα βήτα γάμμα δέλτα έψιλον ζήτα ήτα θήτα ιώτα κάππα λάμδα μι νι ξι όμικρον πι ρο σίγμα ταυ ", 37, 7, 60) +
      ", IF(seq % 3 = 0, NULL, " +
      piece("Съешь же ещё этих мягких французских булок, да выпей чаю. CYRILLIC SMALL LETTER ", 41, 11, 40) + "), " +
      piece("漢字かな交じり文の例です。東京都千代田区一丁目二番地。中文字符集测试数据。한국어 텍스트 ", 29, 13, 20) +
      ", IF(seq % 3 = 1, NULL, " + piece("emoji 😀 ✓ € ‰ — “quoted” café ½ 𝔘𝔫𝔦𝔠𝔬𝔡𝔢 ∑∫√ ≠ ≤ 🀄 ", 31, 17, 80) +
      "), ELT(1 + seq % 7, 'Lu', 'Ll', 'Lo', 'Mn', 'Nd', 'Po', 'Sm'), "
      "IF(seq % 3 = 2, NULL, SUBSTRING('Zürich Genève Málaga Søborg Ærøskøbing Ñandú Façade Québec ', 1 + seq % 40, "
      "1 + seq % 12)), IF(seq % 3 = 0, NULL, '1990-01-01' + INTERVAL seq * 37 % 15000 DAY), "
      "IF(seq % 3 = 1, NULL, IF(seq % 5 = 0, -seq / 3e0, seq * 1e-3 / 7)) "
      "FROM (SELECT CAST(seq AS SIGNED) AS seq FROM seq_1_to_" + std::to_string(rows) + ") AS s";
  return raw->Exec("DROP TABLE IF EXISTS `bench_real`", why) &&
         raw->Exec("CREATE TABLE `bench_real` (`id` INT PRIMARY KEY, `cp` INT NOT NULL, `up` INT, `low` INT, "
                   "`grp` INT, `sm` SMALLINT NOT NULL, `ti` TINYINT NOT NULL, `amount` DECIMAL(10,2), "
                   "`name` VARCHAR(80) NOT NULL, `label` VARCHAR(80), `alias` VARCHAR(80) NOT NULL, "
                   "`note` VARCHAR(80), `cat` CHAR(2) CHARACTER SET latin1 NOT NULL, "
                   "`place` CHAR(12) CHARACTER SET latin1, `born` DATE, `ratio` DOUBLE) CHARACTER SET utf8mb4",
                   why) &&
         raw->Exec(insert, why);
}

// The tiny table of rows rows, made again when it does not hold them.
bool LoadTiny(CRaw* raw, long long rows, std::string* why) {
  RawRows got;
  if (raw->Cnx().query("SELECT COUNT(*), MAX(`id`) FROM `bench_tiny`", &got, nullptr) && got.size() == 1 &&
      got[0][0] && got[0][1] && std::stoll(*got[0][0]) == rows && std::stoll(*got[0][1]) == rows)
    return true;
  std::string columns, values;
  for (size_t i = 1; i < kTinyCount; ++i) {
    columns += ", `t" + std::to_string(i) + "` TINYINT NOT NULL";
    values += ", CAST((seq * " + std::to_string(2 * i + 1) + " + " + std::to_string(i) + ") % 256 AS SIGNED) - 128";
  }
  return raw->Exec("DROP TABLE IF EXISTS `bench_tiny`", why) &&
         raw->Exec("CREATE TABLE `bench_tiny` (`id` BIGINT PRIMARY KEY" + columns + ")", why) &&
         raw->Exec("INSERT INTO `bench_tiny` SELECT seq" + values + " FROM seq_1_to_" + std::to_string(rows), why);
}

// The word list of rows words, made again when it does not hold them: three syllables a word, each
// of 60 (a few beyond ASCII), so that every seq below 216,000 makes its own.
bool LoadWords(CRaw* raw, long long rows, std::string* why) {
  RawRows got;
  if (raw->Cnx().query("SELECT COUNT(*) FROM `bench_words`", &got, nullptr) && got.size() == 1 && got[0][0] &&
      std::stoll(*got[0][0]) == rows)
    return true;
  const std::string syllables =
      "'ka','lo','mi','ne','ru','sa','ti','vo','xe','zu','bar','den','fol','gim','hus','jor','kel','lun','mar','nob',"
      "'pra','qui','ros','sel','tor','ung','vel','wis','yor','zan','st','tr','pl','gr','ch','sh','th','ph','br','cl',"
      "'\xc3\xa9','\xc3\xbc','\xc3\xb1','\xc3\xb8','\xc3\x9f','\xc3\xa7','\xc3\xa5','\xc3\xa0','er','an',"
      "'in','on','en','ar','or','al','el','il','ol','ul'";
  const auto part = [&](const char* of) { return "ELT(1 + " + std::string(of) + " % 60, " + syllables + ")"; };
  return raw->Exec("DROP TABLE IF EXISTS `bench_words`", why) &&
         raw->Exec("CREATE TABLE `bench_words` (`word` VARCHAR(32) NOT NULL PRIMARY KEY) CHARACTER SET utf8mb4 "
                   "COLLATE utf8mb4_bin",
                   why) &&
         raw->Exec("INSERT INTO `bench_words` SELECT CONCAT(" + part("seq") + ", " + part("seq DIV 60") + ", " +
                       part("seq DIV 3600") + ") FROM seq_0_to_" + std::to_string(rows - 1),
                   why);
}

// realRows: those of bench_real, when not rows.
int Load(long long rows, long long realRows = -1) {
  CRaw raw;
  std::string why;
  if (!raw.Open(&why)) {
    fprintf(stderr, "bench_suite: %s\n", why.c_str());
    return 1;
  }
  const std::string n = std::to_string(rows);
  // Whether table holds rows rows, numbered 1..rows in column.
  auto holds = [&](const char* table, const char* column) {
    RawRows got;
    return raw.Cnx().query(std::string("SELECT COUNT(*), MAX(") + column + ") FROM " + table, &got, nullptr) &&
           got.size() == 1 && got[0][0] && got[0][1] && std::stoll(*got[0][0]) == rows && std::stoll(*got[0][1]) == rows;
  };
  // The pair table: three letters for a (17,576 of them), b unique beside each, the rows inserted
  // in no order of the key.
  const bool loaded =
      (holds("`bench`", "`id`") ||
       (raw.Exec("DROP TABLE IF EXISTS `bench`", &why) && raw.Exec(std::string("CREATE TABLE `bench`") + kTableShape, &why) &&
        raw.Exec("INSERT INTO `bench` SELECT seq, CONCAT('name \xc3\xa9 ', seq), CAST(seq % 1000 AS SIGNED) - 500, "
                 "seq * 1.25, '2024-01-01' + INTERVAL seq MINUTE, IF(seq % 10 = 0, NULL, REPEAT('note ', seq % 20)) "
                 "FROM seq_1_to_" + n,
                 &why))) &&
      (holds("`bench_pair`", "`v`") ||
       (raw.Exec("DROP TABLE IF EXISTS `bench_pair`", &why) &&
        raw.Exec("CREATE TABLE `bench_pair` (`a` CHAR(3), `b` VARCHAR(8), `v` INT, PRIMARY KEY (`a`, `b`)) "
                 "CHARACTER SET utf8mb4",
                 &why) &&
        raw.Exec("INSERT INTO `bench_pair` SELECT CONCAT(CHAR(65 + seq % 17576 DIV 676), CHAR(65 + seq % 676 DIV 26), "
                 "CHAR(65 + seq % 26)), CONCAT('v', seq DIV 17576), seq FROM seq_1_to_" + n,
                 &why))) &&
      LoadReal(&raw, realRows >= 0 ? realRows : rows, &why) && LoadTiny(&raw, kTinyPerRow * rows, &why) &&
      LoadWords(&raw, rows, &why);
  if (!loaded) {
    fprintf(stderr, "bench_suite: loading: %s\n", why.c_str());
    return 1;
  }
  return 0;
}

struct STGoal {
  const char* mode;
  double minRatio;  // driver rate over raw rate
  double maxCpu;    // driver CPU per unit over raw's; 0: no goal
  long maxRssKb;    // 0: no goal
  double maxHandlerPerUnit = 0;  // the server's handler reads per unit on the driver side; 0: no goal
  const char* pace = nullptr;    // a mode listed before whose driver rate this one's may fall short of
  double maxSlower = 0;          // by at most this factor
  double maxRssRatio = 0;        // the driver's peak memory over raw's; 0: no goal
};
const STGoal kGoals[] = {{"whole", 0.9, 2.0, 0},        {"whole_rowcache", 0, 0, 0}, {"streamed", 0.9, 2.0, 1024},
                         {"default", 0.9, 0, 0},        {"blocks500", 0, 0, 0},      {"blocks1000", 0, 0, 0},
                         {"count", 0.9, 0, 1024},       {"seeks", 0.95, 0, 0},
                         {"adds", 0.95, 0, 0},          {"adds_tx", 0.95, 0, 0},     {"query", 0.9, 0, 0},
                         {"pair_whole", 0.9, 0, 0},     {"pair_forward", 0, 0, 0, 2.0},
                         {"pair_backward", 0, 0, 0, 2.0, "pair_forward", 1.5},
                         {"real_whole", 0, 0, 0},       {"real_default", 0, 0, 0},
                         {"tiny_whole", 0, 0, 0, 0, nullptr, 0, 1.05}, {"words_whole", 0, 0, 0}};

// Reads the run lines of file; prints one line per mode and answers 1 when a checksum differs
// or a run failed (goals missed are printed, not failed: runs vary).
int Summary(const char* file) {
  std::ifstream in(file);
  std::map<std::string, std::map<std::string, std::vector<std::map<std::string, std::string>>>> runs;
  std::string line;
  int bad = 0;
  while (std::getline(in, line)) {
    std::map<std::string, std::string> kv;
    std::istringstream words(line);
    std::string w;
    while (words >> w)
      if (auto eq = w.find('='); eq != std::string::npos) kv[w.substr(0, eq)] = w.substr(eq + 1);
    if (kv.count("mode") == 0 || kv.count("side") == 0) continue;
    if (kv.count("error") != 0) {
      printf("FAILED RUN: %s\n", line.c_str());
      ++bad;
      continue;
    }
    runs[kv["mode"]][kv["side"]].push_back(kv);
  }
  printf("%-15s %12s %12s %6s %10s %10s %9s %9s %9s %s\n", "mode", "raw/s", "driver/s", "ratio", "raw cpu",
         "drv cpu", "raw rss", "drv rss", "allocs", "checksum");
  std::map<std::string, double> driverRates;
  for (const STGoal& g : kGoals) {
    auto& sides = runs[g.mode];
    if (sides["raw"].empty() || sides["driver"].empty()) {
      printf("%-15s not run\n", g.mode);
      continue;
    }
    auto median = [&](const char* side, const std::function<double(std::map<std::string, std::string>&)>& f) {
      std::vector<double> v;
      for (auto& kv : sides[side]) v.push_back(f(kv));
      return Median(v);
    };
    auto rate = [](auto& kv) { return std::stod(kv["units"]) / std::stod(kv["wall_s"]); };
    auto cpu = [](auto& kv) { return std::stod(kv["cpu_s"]) * 1e9 / std::stod(kv["units"]); };
    auto rss = [](auto& kv) { return std::stod(kv["rss_kb"]); };
    auto allocs = [](auto& kv) { return std::stod(kv["allocs"]) / std::stod(kv["units"]); };
    const double rawRate = median("raw", rate), drvRate = median("driver", rate);
    const double rawCpu = median("raw", cpu), drvCpu = median("driver", cpu);
    const double drvRss = median("driver", rss);
    std::string sums = "equal";
    const std::string want = sides["raw"][0]["checksum"];
    for (auto& side : sides)
      for (auto& kv : side.second)
        if (side.first != "raw_use" && kv["checksum"] != want) sums = "DIFFERENT";
    if (sums != "equal") ++bad;
    const double ratio = drvRate / rawRate;
    std::string verdict;
    if (g.minRatio > 0 && ratio < g.minRatio) verdict += " rate<" + std::to_string(g.minRatio).substr(0, 4);
    if (g.maxCpu > 0 && drvCpu > g.maxCpu * rawCpu) verdict += " cpu>" + std::to_string(g.maxCpu).substr(0, 3) + "x";
    if (g.maxRssKb > 0 && drvRss > g.maxRssKb) verdict += " rss>1MB";
    if (g.maxRssRatio > 0 && drvRss > g.maxRssRatio * median("raw", rss))
      verdict += " rss>" + std::to_string(g.maxRssRatio).substr(0, 4) + "x";
    driverRates[g.mode] = drvRate;
    auto handlerPerUnit = [](auto& kv) {
      return kv.count("handler") != 0 ? std::stod(kv["handler"]) / std::stod(kv["units"]) : -1.0;
    };
    const double drvHandler = median("driver", handlerPerUnit);
    if (g.maxHandlerPerUnit > 0 && drvHandler > g.maxHandlerPerUnit)
      verdict += " handler>" + std::to_string(g.maxHandlerPerUnit).substr(0, 3) + "/row";
    const double pace = g.pace != nullptr ? driverRates[g.pace] : 0;
    if (pace > 0 && drvRate * g.maxSlower < pace)
      verdict += " rate<" + std::string(g.pace) + "/" + std::to_string(g.maxSlower).substr(0, 3);
    printf("%-15s %12.0f %12.0f %6.2f %8.0fns %8.0fns %7.0fkB %7.0fkB %9.2f %s%s\n", g.mode, rawRate, drvRate, ratio,
           rawCpu, drvCpu, median("raw", rss), drvRss, median("driver", allocs), sums.c_str(),
           verdict.empty() ? (g.minRatio > 0 || g.maxHandlerPerUnit > 0 || g.maxRssRatio > 0 ? " goal met" : "") : (" goal missed:" + verdict).c_str());
    if (drvHandler >= 0)
      printf("%-15s %12.2f %12.2f %6s  (the server's handler reads per row)%s\n", "  handler", median("raw", handlerPerUnit),
             drvHandler, "", pace > 0 ? (", driver rate " + std::to_string(drvRate / pace).substr(0, 4) + "x " + g.pace).c_str() : "");
    for (const auto& [side, what] : {std::pair{"raw_use", "streamed result"}, std::pair{"raw_point", "plain point SELECT"}})
      if (!sides[side].empty())
        printf("%-15s %12.0f %12s %6s %8.0fns %10s %7.0fkB  (raw, %s)\n", (std::string("  ") + side).c_str(),
               median(side, rate), "", "", median(side, cpu), "", median(side, rss), what);
    if (!sides["driver_nocache"].empty()) {
      const double rate2 = median("driver_nocache", rate);
      printf("%-15s %12s %12.0f %6.2f %10s %8.0fns %9s %7.0fkB  (driver, no table cache)\n", "  driver_nocache", "",
             rate2, rate2 / rawRate, "", median("driver_nocache", cpu), "", median("driver_nocache", rss));
    }
  }
  return bad == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  STArgs a;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string k = argv[i], v = argv[i + 1];
    if (k == "--load") return Load(std::stoll(v), i + 3 < argc && std::string(argv[i + 2]) == "--real-rows" ? std::stoll(argv[i + 3]) : -1);
    if (k == "--summary") return Summary(v.c_str());
    if (k == "--mode") a.mode = v;
    else if (k == "--side") a.side = v;
    else if (k == "--rows") a.rows = std::stoll(v);
    else if (k == "--ops") a.ops = std::stoll(v);
  }
  if (a.mode.empty() || a.side.empty()) {
    fprintf(stderr, "usage: bench_suite --load ROWS [--real-rows N] | --summary FILE | --mode M --side "
                    "driver|driver_nocache|raw|raw_use|raw_point [--rows N] [--ops N]\n");
    return 2;
  }
  // The pair modes report the server's handler reads, counted over the whole server: scripts/bench
  // keeps its server for one run at a time (the smoke pass shares it with the tests).
  CRaw probe;
  std::string why;
  if (a.mode.rfind("pair_", 0) == 0 && probe.Open(&why)) {
    g_probe.ask = [&] { return probe.HandlerReads(); };
    const long long asked = g_probe.ask();
    g_probe.cost = g_probe.ask() - asked;
  }
  const STResult r = a.side == "driver" || a.side == "driver_nocache" ? RunDriver(a) : RunRaw(a);
  const bool ok = r.why.empty() && r.units > 0;
  const std::string handler = r.handlerReads >= 0 ? " handler=" + std::to_string(r.handlerReads) : "";
  printf("mode=%s side=%s units=%lld wall_s=%.6f cpu_s=%.6f rss_kb=%ld allocs=%ld checksum=%016llx%s%s%s\n",
         a.mode.c_str(), a.side.c_str(), r.units, r.wall, r.cpu, r.rssKb, r.allocs,
         static_cast<unsigned long long>(r.checksum), handler.c_str(), ok ? "" : " error=",
         ok ? "" : (r.why.empty() ? "no-units" : "1"));
  if (!ok) fprintf(stderr, "bench_suite: %s %s: %s\n", a.mode.c_str(), a.side.c_str(), r.why.c_str());
  return ok ? 0 : 1;
}
