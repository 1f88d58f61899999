// Windows-style formatting: the format rewrite, the printf family's bounds and failures, and the
// two message formatters. Caller buffers are exact heap blocks, so AddressSanitizer sees any
// write past them.
#include "platform/winformat.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tests/support/exact_alloc.h"

namespace {

std::wstring Rewritten(const wchar_t* format) {
  const int size = _nCalculeTailleChaineFormattageUnix(format);
  Heap<wchar_t> out = Exact<wchar_t>(static_cast<size_t>(size));
  const int n = _ConvertFormatWindowsToUnix(format, out.get(), static_cast<unsigned int>(size));
  EXPECT_EQ(n, size - 1) << format;
  return n < 0 ? L"<fail>" : std::wstring(out.get());
}

// swprintfWin through vaswprintf: the whole text whatever its length.
std::wstring Fmt(const wchar_t* format, ...) {
  va_list ap;
  va_start(ap, format);
  wchar_t* p = nullptr;
  const int n = vaswprintf(&p, format, ap);
  va_end(ap);
  std::wstring s = n < 0 ? L"<fail>" : std::wstring(p, static_cast<size_t>(n));
  free(p);
  return s;
}

int Snw(wchar_t* buffer, unsigned int count, const wchar_t* format, ...) {
  va_list ap;
  va_start(ap, format);
  const int r = vsnwprintfWin(buffer, count, format, ap);
  va_end(ap);
  return r;
}

int Vsz(wchar_t* buffer, unsigned int max, const wchar_t* format, ...) {
  va_list ap;
  va_start(ap, format);
  const int r = vsznwprintf(buffer, max, format, ap);
  va_end(ap);
  return r;
}

// FormatMessageWin with an allocated result; *text receives it ("<null>" when none).
unsigned int MsgWin(unsigned int flags, const wchar_t* msg, std::wstring* text, ...) {
  va_list ap;
  va_start(ap, text);
  wchar_t* p = nullptr;
  errno = 0;
  const unsigned int n = FormatMessageWin(flags | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_STRING, msg,
                                          0, 0, reinterpret_cast<wchar_t*>(&p), 0, &ap);
  va_end(ap);
  *text = p != nullptr ? std::wstring(p) : L"<null>";
  if (p != nullptr) {
    EXPECT_EQ(text->size(), n);
  }
  free(p);
  return n;
}

unsigned int MsgW(unsigned int flags, const wchar_t* msg, wchar_t* buffer, unsigned int size, ...) {
  va_list ap;
  va_start(ap, size);
  errno = 0;
  const unsigned int n = FormatMessageW(flags, msg, 0, 0, buffer, size, &ap);
  va_end(ap);
  return n;
}

TEST(WinFormat, RewriteFollowsTheWindowsConventions) {
  struct Case {
    const wchar_t* windows;
    const wchar_t* unix;
  };
  const Case cases[] = {
      {L"", L""},
      {L"plain text", L"plain text"},
      {L"%s=%d", L"%ls=%d"},
      {L"%S", L"%s"},
      {L"%hs|%hS|%ls|%lS|%ws", L"%s|%s|%ls|%ls|%ls"},
      {L"%-10s|%.5s|%*.*s|%010s", L"%-10ls|%.5ls|%*.*ls|%010ls"},
      {L"%-10S|%.5hs", L"%-10s|%.5s"},
      {L"%2$s %1$S", L"%2$ls %1$s"},
      {L"%c|%C|%hc|%lc|%wc|%-3c", L"%lc|%c|%c|%lc|%lc|%-3lc"},
      {L"%%s", L"%%s"},
      {L"%%%s%%", L"%%%ls%%"},
      {L"%5%", L"%%"},
      {L"%I64d|%I64u|%I64x|%I32d|%Iu|%Id", L"%lld|%llu|%llx|%d|%zu|%zd"},
      {L"%d|%ld|%lld|%hd|%hhu|%zu|%jd|%td|%qd", L"%d|%ld|%lld|%hd|%hhu|%zu|%jd|%td|%lld"},
      {L"%#x|%+d|% d|%05d|%-+8.3i", L"%#x|%+d|% d|%05d|%-+8.3i"},
      {L"%5.2f|%Lf|%lf|%I64g|%e|%A", L"%5.2f|%Lf|%f|%g|%e|%A"},
      {L"%p|%n|%Np", L"%p|%n|%p"},
      {L"%y|%-5y|%*y|%m", L"%%y|%%-5y|%%*y|%%m"},
      {L"ab%", L"ab"},
      {L"ab%-08.", L"ab"},
      {L"%ll", L""},
  };
  for (const Case& c : cases) EXPECT_EQ(Rewritten(c.windows), c.unix) << c.windows;
}

TEST(WinFormat, RewriteNeverOverrunsItsOutput) {
  const wchar_t* format = L"%s and %c and %I64d %y";
  const int size = _nCalculeTailleChaineFormattageUnix(format);
  for (int n = 0; n <= size; ++n) {
    Heap<wchar_t> out = Exact<wchar_t>(static_cast<size_t>(n));
    const int r = _ConvertFormatWindowsToUnix(format, out.get(), static_cast<unsigned int>(n));
    if (n == size) {
      EXPECT_EQ(r, size - 1);
    } else {
      EXPECT_EQ(r, -1);
      if (n > 0) {
        EXPECT_EQ(out.get()[0], 0);
      }
    }
  }
  EXPECT_EQ(_nCalculeTailleChaineFormattageUnix(nullptr), 1);
  wchar_t one[1] = {L'x'};
  EXPECT_EQ(_ConvertFormatWindowsToUnix(nullptr, one, 1), -1);
  EXPECT_EQ(one[0], 0);
}

TEST(WinFormat, FormatsWithWindowsArguments) {
  EXPECT_EQ(Fmt(L"%s=%d", L"wide", 42), L"wide=42");
  EXPECT_EQ(Fmt(L"%S|%hs", "narrow", "x"), L"narrow|x");
  EXPECT_EQ(Fmt(L"[%-6s][%6s][%.2s]", L"ab", L"cd", L"efgh"), L"[ab    ][    cd][ef]");
  EXPECT_EQ(Fmt(L"[%-6S][%.2hs]", "ab", "efgh"), L"[ab    ][ef]");
  EXPECT_EQ(Fmt(L"%c%c%C", L'\u263A', L'\u00E9', 'a'), L"\u263A\u00E9a");
  EXPECT_EQ(Fmt(L"%I64d %I64x %I32d", -1234567890123LL, 0xFFFFFFFFFFULL, 7), L"-1234567890123 ffffffffff 7");
  // I32 reads 32 bits even when the word holds more.
  EXPECT_EQ(Fmt(L"%I32u|%Iu", 4294967295u, static_cast<size_t>(1) << 40), L"4294967295|1099511627776");
  EXPECT_EQ(Fmt(L"%%s|%%%s|100%%", L"x"), L"%s|%x|100%");
  EXPECT_EQ(Fmt(L"%y|%-3y|%*y", 5), L"%y|%-3y|%*y");
  EXPECT_EQ(Fmt(L"%2$s-%1$s", L"a", L"b"), L"b-a");
  EXPECT_EQ(Fmt(L"end%"), L"end");
  EXPECT_EQ(Fmt(L"%s", static_cast<const wchar_t*>(nullptr)), L"(null)");
  EXPECT_EQ(Fmt(L"%.3f|%Lf", 2.5, 1.5L), L"2.500|1.500000");
}

TEST(WinFormat, CountedFormsCutAndTerminate) {
  Heap<wchar_t> four = Exact<wchar_t>(4);
  errno = 5;
  EXPECT_EQ(Snw(four.get(), 4, L"%s", L"abcdef"), -1);
  EXPECT_EQ(errno, 0);  // "did not fit"
  EXPECT_STREQ(four.get(), L"abc");
  EXPECT_EQ(Snw(four.get(), 4, L"%s", L"abc"), 3);
  EXPECT_STREQ(four.get(), L"abc");
  four.get()[0] = L'x';
  EXPECT_EQ(Snw(four.get(), 0, L"a"), -1);
  EXPECT_EQ(four.get()[0], L'x');

  // vsznwprintf: max characters and a terminator at max.
  EXPECT_EQ(Vsz(four.get(), 3, L"%s", L"abcde"), -1);
  EXPECT_STREQ(four.get(), L"abc");
  EXPECT_EQ(Vsz(four.get(), 3, L"%d", 123), 3);
  EXPECT_STREQ(four.get(), L"123");
  Heap<wchar_t> one = Exact<wchar_t>(1);
  EXPECT_EQ(Vsz(one.get(), 0, L"x"), -1);
  EXPECT_EQ(one.get()[0], 0);

  Heap<wchar_t> big = Exact<wchar_t>(32);
  EXPECT_EQ(sznwprintf(big.get(), 31, L"%s:%d", L"k", 9), 3);
  EXPECT_STREQ(big.get(), L"k:9");
  EXPECT_EQ(swprintfWin(big.get(), L"%c%s", L'<', L">"), 2);
  EXPECT_STREQ(big.get(), L"<>");
}

TEST(WinFormat, OtherFailuresLeaveAnEmptyText) {
  Heap<wchar_t> buf = Exact<wchar_t>(16);
  // Not a character of the platform's (C) locale.
  EXPECT_EQ(Snw(buf.get(), 16, L"ab%S", "\xff\xfe"), -1);
  EXPECT_EQ(errno, EILSEQ);
  EXPECT_STREQ(buf.get(), L"");
  EXPECT_EQ(Snw(buf.get(), 16, nullptr), -1);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(Snw(nullptr, 16, L"x"), -1);

  wchar_t* p = nullptr;
  EXPECT_EQ(vaswprintf(&p, nullptr, nullptr), -1);
  ASSERT_NE(p, nullptr);
  EXPECT_STREQ(p, L"");
  free(p);
  p = nullptr;
  EXPECT_EQ(Fmt(L"%S", "\xff"), L"<fail>");
}

TEST(WinFormat, AllocatingFormatGrowsForAnyLength) {
  for (size_t n : {0u, 1u, 7u, 8u, 9u, 100u, 5000u, 100000u}) {
    const std::wstring body(n, L'q');
    EXPECT_EQ(Fmt(L"%s", body.c_str()), body);
    EXPECT_EQ(Fmt(L"<%s|%d|%S>", body.c_str(), 12, "z"), L"<" + body + L"|12|z>");
  }
  // Not a bound of the length estimate: 610 characters.
  EXPECT_EQ(Fmt(L"%.300f", 1e308).size(), 610u);

  // A block the caller already holds is reused (and may move).
  wchar_t* p = static_cast<wchar_t*>(malloc(3 * sizeof(wchar_t)));
  const std::wstring body(300, L'w');
  auto call = [&](const wchar_t* f, ...) {
    va_list ap;
    va_start(ap, f);
    const int r = vaswprintf(&p, f, ap);
    va_end(ap);
    return r;
  };
  EXPECT_EQ(call(L"%s", body.c_str()), 300);
  EXPECT_EQ(std::wstring(p), body);
  free(p);
}

TEST(WinFormat, NarrowTwinTranslatesSizePrefixes) {
  Heap<char> buf = Exact<char>(8);
  EXPECT_EQ(sznprintf(buf.get(), 7, "%I64d", 1234567LL), 7);
  EXPECT_STREQ(buf.get(), "1234567");
  EXPECT_EQ(sznprintf(buf.get(), 7, "%I64d", 12345678LL), -1);
  EXPECT_STREQ(buf.get(), "1234567");
  EXPECT_EQ(sznprintf(buf.get(), 7, "%s|%S", "a", L"b"), 3);
  EXPECT_STREQ(buf.get(), "a|b");
  EXPECT_EQ(sznprintf(buf.get(), 7, "%I32d%%", 5), 2);
  EXPECT_STREQ(buf.get(), "5%");
}

TEST(FormatMessageW, PrintfStyleAllocatedAndCounted) {
  wchar_t* p = nullptr;
  EXPECT_EQ(MsgW(0x500, L"%s #%d", reinterpret_cast<wchar_t*>(&p), 0, L"row", 3), 6u);
  ASSERT_NE(p, nullptr);
  EXPECT_STREQ(p, L"row #3");
  free(p);
  // A larger size asks for a larger block.
  p = nullptr;
  EXPECT_EQ(MsgW(0x500, L"ab", reinterpret_cast<wchar_t*>(&p), 100), 2u);
  ASSERT_NE(p, nullptr);
  p[99] = 0;  // inside the block
  free(p);

  Heap<wchar_t> buf = Exact<wchar_t>(5);
  EXPECT_EQ(MsgW(0x400, L"%d", buf.get(), 5, 1234), 4u);
  EXPECT_STREQ(buf.get(), L"1234");
  EXPECT_EQ(MsgW(0x400, L"%d", buf.get(), 5, 12345), 0u);
  EXPECT_EQ(errno, EOVERFLOW);
  EXPECT_STREQ(buf.get(), L"1234");

  // Without an argument list only formats that take nothing are accepted.
  errno = 0;
  EXPECT_EQ(FormatMessageW(0x400, L"100%%", 0, 0, buf.get(), 5, nullptr), 4u);
  EXPECT_STREQ(buf.get(), L"100%");
  EXPECT_EQ(FormatMessageW(0x400, L"%d", 0, 0, buf.get(), 5, nullptr), 0u);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(FormatMessageW(0x400, nullptr, 0, 0, buf.get(), 5, nullptr), 0u);

  // Failure hands out no block.
  p = reinterpret_cast<wchar_t*>(0x1);
  EXPECT_EQ(MsgW(0x500, L"%S", reinterpret_cast<wchar_t*>(&p), 0, "\xff"), 0u);
  EXPECT_EQ(p, nullptr);
}

TEST(FormatMessageW, SystemTextOfErrno) {
  const std::string text = strerror(ENOENT);
  const std::wstring want(text.begin(), text.end());
  wchar_t* p = nullptr;
  errno = ENOENT;
  const unsigned int n = FormatMessageW(0x1100, nullptr, 0, 0, reinterpret_cast<wchar_t*>(&p), 0, nullptr);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(std::wstring(p), want);
  EXPECT_EQ(n, want.size());
  free(p);

  char* a = nullptr;
  errno = ENOENT;
  EXPECT_EQ(FormatMessageA(0x1100, nullptr, 0, 0, reinterpret_cast<char*>(&a), 0, nullptr), text.size());
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(std::string(a), text);
  free(a);
}

TEST(FormatMessageA, NarrowTwin) {
  auto call = [](unsigned flags, const char* f, char* buffer, unsigned size, ...) {
    va_list ap;
    va_start(ap, size);
    const unsigned r = FormatMessageA(flags, f, 0, 0, buffer, size, &ap);
    va_end(ap);
    return r;
  };
  char* p = nullptr;
  EXPECT_EQ(call(0x500, "%s=%I64d", reinterpret_cast<char*>(&p), 0, "v", 1LL << 40), 15u);
  ASSERT_NE(p, nullptr);
  EXPECT_STREQ(p, "v=1099511627776");
  free(p);
  Heap<char> buf = Exact<char>(4);
  EXPECT_EQ(call(0x400, "%s", buf.get(), 4, "abc"), 3u);
  EXPECT_EQ(call(0x400, "%s", buf.get(), 4, "abcd"), 0u);
  EXPECT_EQ(errno, EOVERFLOW);
  EXPECT_STREQ(buf.get(), "abc");
}

TEST(FormatMessageWin, InsertsAndEscapes) {
  std::wstring t;
  EXPECT_EQ(MsgWin(0, L"Hello %1!d! %n%2", &t, 5, L"world"), 15u);
  EXPECT_EQ(t, L"Hello 5 \r\nworld");
  MsgWin(0, L"%2 %1 %2", &t, L"a", L"b");
  EXPECT_EQ(t, L"b a b");
  MsgWin(0, L"[%1!5d!][%1!-4x!][%2!S!][%3!c!]", &t, 255, "nar", L'\u263A');
  EXPECT_EQ(t, L"[  255][ff  ][nar][\u263A]");
  MsgWin(0, L"[%1!*.*s!][%4!I64d!]", &t, 6, 2, L"abcdef", -(1LL << 40));
  EXPECT_EQ(t, L"[    ab][-1099511627776]");
  MsgWin(0, L"%1!d! items", &t, 3);
  EXPECT_EQ(t, L"3 items");
  MsgWin(0, L"%%|%.|%!|%t|%r|%b|x", &t);
  EXPECT_EQ(t, L"%|.|!|\t|\r| |x");
  MsgWin(0, L"before%0after", &t);
  EXPECT_EQ(t, L"before");
  // Inserts as they stood, escapes still applied.
  MsgWin(FORMAT_MESSAGE_IGNORE_INSERTS, L"%1 and %2!d! %% %n", &t);
  EXPECT_EQ(t, L"%1 and %2!d! %% \r\n");
}

TEST(FormatMessageWin, ArgumentArrayOfWords) {
  const wchar_t* name = L"tbl";
  const intptr_t words[] = {reinterpret_cast<intptr_t>(name), 42, static_cast<intptr_t>(1) << 40};
  wchar_t* p = nullptr;
  const unsigned int n =
      FormatMessageWin(0x2500, L"%1:%2!u!:%3!I64x!", 0, 0, reinterpret_cast<wchar_t*>(&p), 0,
                       reinterpret_cast<va_list*>(const_cast<intptr_t*>(words)));
  ASSERT_NE(p, nullptr);
  EXPECT_STREQ(p, L"tbl:42:10000000000");
  EXPECT_EQ(n, 18u);
  free(p);
}

TEST(FormatMessageWin, FailuresAndCodes) {
  std::wstring t;
  struct Case {
    const wchar_t* msg;
    int code;
  };
  const Case bad[] = {
      {L"ends with %", EINVAL},
      {L"%1234", EINVAL},
      {L"%1!d", EINVAL},
      {L"%1!!", EINVAL},
      {L"%1!123456789012345678901234567890s!", EINVAL},
      {L"%1!***d!", EINVAL},
      {L"%1!f!", EINVAL},
      {L"%1!n!", EINVAL},
      {L"%1!d%s!", EINVAL},
      {L"%1!1$d!", EINVAL},
      {L"%200!*d!", EINVAL},
  };
  for (const Case& c : bad) {
    EXPECT_EQ(MsgWin(0, c.msg, &t, 1, 2, 3), 0u) << c.msg;
    EXPECT_EQ(errno, c.code) << c.msg;
    EXPECT_EQ(t, L"<null>") << c.msg;
  }
  // Insert 200 is the last one the cache holds.
  std::vector<intptr_t> words(200, 7);
  wchar_t* p = nullptr;
  EXPECT_EQ(FormatMessageWin(0x2500, L"%200!d!", 0, 0, reinterpret_cast<wchar_t*>(&p), 0,
                             reinterpret_cast<va_list*>(words.data())),
            1u);
  free(p);
  EXPECT_EQ(FormatMessageWin(0x2500, L"%201", 0, 0, reinterpret_cast<wchar_t*>(&p), 0,
                             reinterpret_cast<va_list*>(words.data())),
            0u);
  EXPECT_EQ(errno, EINVAL);

  Heap<wchar_t> buf = Exact<wchar_t>(8);
  errno = 0;
  EXPECT_EQ(FormatMessageWin(0x800, L"x", 0, 0, buf.get(), 8, nullptr), 0u);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(FormatMessageWin(0x100, L"x", 0, 0, buf.get(), 8, nullptr), 0u);
  EXPECT_EQ(errno, EINVAL);
  // An insert without an argument source.
  EXPECT_EQ(FormatMessageWin(0x400, L"%1", 0, 0, buf.get(), 8, nullptr), 0u);
  EXPECT_EQ(errno, EINVAL);
  // Without one an insert-free message is fine.
  EXPECT_EQ(FormatMessageWin(0x400, L"plain", 0, 0, buf.get(), 8, nullptr), 5u);
  EXPECT_STREQ(buf.get(), L"plain");
  // Too long for the caller's buffer: the cut text stays, the call fails.
  EXPECT_EQ(FormatMessageWin(0x400, L"Hello world", 0, 0, buf.get(), 8, nullptr), 0u);
  EXPECT_EQ(errno, EOVERFLOW);
  EXPECT_STREQ(buf.get(), L"Hello w");
  EXPECT_EQ(FormatMessageWin(0x400, L"1234567", 0, 0, buf.get(), 8, nullptr), 7u);
  EXPECT_EQ(FormatMessageWin(0x400, L"x", 0, 0, buf.get(), 0, nullptr), 0u);
  EXPECT_EQ(errno, EOVERFLOW);
}

TEST(FormatMessageWin, AllocatedResultGrowsPastTheFirstArea) {
  const std::wstring big(70000, L'z');
  std::wstring t;
  EXPECT_EQ(MsgWin(0, L"<%1>%n<%1>", &t, big.c_str()), 2 * big.size() + 6);
  EXPECT_EQ(t, L"<" + big + L">\r\n<" + big + L">");
}

TEST(FormatMessageWin, LineBreaksByWidth) {
  std::wstring t;
  MsgWin(0, L"a\nb\r\nc\rd\n\re", &t);
  EXPECT_EQ(t, L"a\r\nb\r\nc\r\nd\r\ne");
  MsgWin(FORMAT_MESSAGE_MAX_WIDTH_MASK, L"a\nb\r\nc\rd\n\re", &t);
  EXPECT_EQ(t, L"a b c d e");
  MsgWin(10, L"The quick brown fox", &t);
  EXPECT_EQ(t, L"The quick\r\nbrown fox");
  MsgWin(5, L"abcdefghij", &t);
  EXPECT_EQ(t, L"abcde\r\nfghij\r\n");
  // A run of blanks and tabs at the break goes.
  MsgWin(8, L"abc  \tdefgh", &t);
  EXPECT_EQ(t, L"abc\r\ndefgh");
  // Inserted text wraps like the message's own.
  // A line breaks as soon as it reaches the width.
  MsgWin(6, L"%1 end", &t, L"aa bb cc");
  EXPECT_EQ(t, L"aa bb\r\ncc\r\nend");
}

TEST(FormatMessageWin, WrappingKeepsWordsAndWidth) {
  std::mt19937 rng(7);
  for (int round = 0; round < 300; ++round) {
    const unsigned width = std::uniform_int_distribution<unsigned>(4, 40)(rng);
    std::wstring msg;
    std::vector<std::wstring> words;
    const int nWords = std::uniform_int_distribution<int>(1, 30)(rng);
    for (int i = 0; i < nWords; ++i) {
      std::wstring w(std::uniform_int_distribution<size_t>(1, width - 1)(rng), L'a' + static_cast<wchar_t>(i % 26));
      words.push_back(w);
      msg += w;
      if (i + 1 < nWords) msg += std::wstring(std::uniform_int_distribution<size_t>(1, 2)(rng), L' ');
    }
    std::wstring t;
    const unsigned int n = MsgWin(width, msg.c_str(), &t);
    ASSERT_EQ(n, t.size());
    size_t start = 0;
    std::vector<std::wstring> got;
    while (start <= t.size()) {
      size_t end = t.find(L"\r\n", start);
      if (end == std::wstring::npos) end = t.size();
      const std::wstring line = t.substr(start, end - start);
      EXPECT_LE(line.size(), width) << msg;
      size_t p = 0;
      while (p < line.size()) {
        const size_t q = line.find(L' ', p);
        const size_t e = q == std::wstring::npos ? line.size() : q;
        if (e > p) got.push_back(line.substr(p, e - p));
        p = e + 1;
      }
      start = end + 2;
    }
    EXPECT_EQ(got, words) << msg << " width " << width;
  }
}

TEST(FormatMessageWin, SystemMessages) {
  const std::string text = strerror(EACCES);
  const std::wstring want(text.begin(), text.end());
  wchar_t* p = nullptr;
  EXPECT_EQ(FormatMessageWin(0x1100, nullptr, EACCES, 0, reinterpret_cast<wchar_t*>(&p), 0, nullptr), want.size());
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(std::wstring(p), want);
  free(p);
  // Message id 0: errno.
  errno = EACCES;
  p = nullptr;
  EXPECT_EQ(FormatMessageWin(0x1100, nullptr, 0, 0, reinterpret_cast<wchar_t*>(&p), 4, nullptr), want.size());
  free(p);
  Heap<wchar_t> small = Exact<wchar_t>(4);
  EXPECT_EQ(FormatMessageWin(0x1000, nullptr, EACCES, 0, small.get(), 4, nullptr), 0u);
  EXPECT_EQ(errno, EOVERFLOW);
  EXPECT_EQ(std::wstring(small.get()), want.substr(0, 3));
}

}  // namespace
