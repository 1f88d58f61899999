// Windows-style formatting: the format rewrite, the printf family's bounds and failures, and the
// two message formatters. Caller buffers are exact heap blocks: AddressSanitizer sees any overrun.
#include "platform/winformat.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
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

// The whole text through vaswprintf, whatever its length.
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

// A message formatter with an allocated result; *text receives it ("??????" when none).
template <typename T>
unsigned int Msg(unsigned int (*fn)(unsigned int, const void*, unsigned int, unsigned int, T*, unsigned int, va_list*),
                 unsigned int flags, const T* msg, std::basic_string<T>* text, ...) {
  va_list ap;
  va_start(ap, text);
  T* p = nullptr;
  errno = 0;
  const unsigned int n = fn(flags | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_STRING, msg, 0, 0,
                            reinterpret_cast<T*>(&p), 0, &ap);
  va_end(ap);
  *text = p != nullptr ? std::basic_string<T>(p) : std::basic_string<T>(6, '?');
  EXPECT_TRUE(p == nullptr || text->size() == n);
  free(p);
  return n;
}

TEST(WinFormat, RewriteFollowsTheWindowsConventions) {
  const std::pair<const wchar_t*, const wchar_t*> kCases[] = {
      {L"plain text", L"plain text"},
      {L"%s=%d|%S|%hs|%lS|%ws", L"%ls=%d|%s|%s|%ls|%ls"},
      {L"%-10s|%.5s|%*.*s|%010s|%-10S", L"%-10ls|%.5ls|%*.*ls|%010ls|%-10s"},  // whole conversions
      {L"%2$s %1$S", L"%2$ls %1$s"},
      {L"%c|%C|%hc|%lc|%-3c", L"%lc|%c|%c|%lc|%-3lc"},
      {L"%%s|%%%s%%|%5%", L"%%s|%%%ls%%|%%"},
      {L"%I64d|%I64x|%I32d|%Iu|%Id|%qd", L"%lld|%llx|%d|%zu|%zd|%lld"},
      {L"%#x|%+d|% d|%-+8.3i|%hhu|%jd", L"%#x|%+d|% d|%-+8.3i|%hhu|%jd"},
      {L"%5.2f|%Lf|%lf|%I64g|%p|%Np", L"%5.2f|%Lf|%f|%g|%p|%p"},
      {L"%y|%-5y|%*y|%m", L"%%y|%%-5y|%%*y|%%m"},  // unknown: printed as written
      {L"ab%", L"ab"}, {L"ab%-08.", L"ab"}, {L"%ll", L""},  // ends inside a conversion
  };
  for (const auto& [windows, unix] : kCases) EXPECT_EQ(Rewritten(windows), unix) << windows;

  const wchar_t* format = L"%s and %c and %I64d %y";
  const int size = _nCalculeTailleChaineFormattageUnix(format);
  for (int n = 0; n < size; ++n) {  // too small: refused, and the output left empty
    Heap<wchar_t> out = Exact<wchar_t>(static_cast<size_t>(n));
    EXPECT_EQ(_ConvertFormatWindowsToUnix(format, out.get(), static_cast<unsigned int>(n)), -1);
    EXPECT_TRUE(n == 0 || out.get()[0] == 0);
  }
  EXPECT_EQ(_nCalculeTailleChaineFormattageUnix(nullptr), 1);
  wchar_t one[1] = {L'x'};
  EXPECT_EQ(_ConvertFormatWindowsToUnix(nullptr, one, 1), -1);
  EXPECT_EQ(one[0], 0);
}

TEST(WinFormat, FormatsWithWindowsArguments) {
  EXPECT_EQ(Fmt(L"%s=%d|%S|%hs", L"wide", 42, "narrow", "x"), L"wide=42|narrow|x");
  EXPECT_EQ(Fmt(L"[%-6s][%6s][%.2s][%.2hs]", L"ab", L"cd", L"efgh", "efgh"), L"[ab    ][    cd][ef][ef]");
  EXPECT_EQ(Fmt(L"%c%c%C", L'\u263A', L'\u00E9', 'a'), L"\u263A\u00E9a");
  // I32 reads 32 bits even when the word holds more.
  EXPECT_EQ(Fmt(L"%I64d %I64x %I32u|%Iu", -1234567890123LL, 0xFFFFFFFFFFULL, 4294967295u, size_t{1} << 40),
            L"-1234567890123 ffffffffff 4294967295|1099511627776");
  EXPECT_EQ(Fmt(L"%%s|%%%s|100%%|%y|%-3y", L"x"), L"%s|%x|100%|%y|%-3y");
  EXPECT_EQ(Fmt(L"%2$s-%1$s|end%", L"a", L"b"), L"b-a|end");
  EXPECT_EQ(Fmt(L"%s|%.3f|%Lf", static_cast<const wchar_t*>(nullptr), 2.5, 1.5L), L"(null)|2.500|1.500000");
}

TEST(WinFormat, CountedFormsCutAndFailuresLeaveAnEmptyText) {
  Heap<wchar_t> four = Exact<wchar_t>(4);
  errno = 5;
  EXPECT_EQ(snwprintfWin(four.get(), 4, L"%s", L"abcdef"), -1);
  EXPECT_EQ(errno, 0);  // "did not fit"
  EXPECT_STREQ(four.get(), L"abc");
  four.get()[0] = L'x';
  EXPECT_EQ(snwprintfWin(four.get(), 0, L"a"), -1);
  EXPECT_EQ(four.get()[0], L'x');
  // vsznwprintf: at most max characters, then a terminator.
  EXPECT_EQ(sznwprintf(four.get(), 3, L"%s", L"abcde"), -1);
  EXPECT_STREQ(four.get(), L"abc");
  EXPECT_EQ(sznwprintf(four.get(), 3, L"%d", 123), 3);
  Heap<wchar_t> one = Exact<wchar_t>(1);
  EXPECT_EQ(sznwprintf(one.get(), 0, L"x"), -1);
  EXPECT_EQ(one.get()[0], 0);
  // The narrow twin translates the size prefixes too.
  Heap<char> narrow = Exact<char>(8);
  EXPECT_EQ(sznprintf(narrow.get(), 7, "%I64d|%I32d", 12345LL, 5), 7);
  EXPECT_STREQ(narrow.get(), "12345|5");
  EXPECT_EQ(sznprintf(narrow.get(), 7, "%I64d", 12345678LL), -1);
  EXPECT_STREQ(narrow.get(), "1234567");

  // Other failures leave an empty text.
  Heap<wchar_t> buf = Exact<wchar_t>(16);
  EXPECT_EQ(snwprintfWin(buf.get(), 16, L"ab%S", "\xff\xfe"), -1);  // not a character of the C locale
  EXPECT_EQ(errno, EILSEQ);
  EXPECT_STREQ(buf.get(), L"");
  EXPECT_EQ(snwprintfWin(buf.get(), 16, nullptr), -1);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(snwprintfWin(nullptr, 16, L"x"), -1);
  wchar_t* p = nullptr;
  EXPECT_EQ(vaswprintf(&p, nullptr, nullptr), -1);
  ASSERT_NE(p, nullptr);
  EXPECT_STREQ(p, L"");
  free(p);
  EXPECT_EQ(Fmt(L"%S", "\xff"), L"<fail>");
}

TEST(WinFormat, AllocatingFormatGrowsForAnyLength) {
  for (size_t n : {0u, 1u, 7u, 8u, 9u, 100u, 5000u, 100000u}) {
    const std::wstring body(n, L'q');
    EXPECT_EQ(Fmt(L"<%s|%d|%S>", body.c_str(), 12, "z"), L"<" + body + L"|12|z>");
  }
  EXPECT_EQ(Fmt(L"%.300f", 1e308).size(), 610u);  // beyond the length estimate
}

TEST(FormatMessageW, PrintfStyleAllocatedAndCounted) {
  std::wstring t;
  EXPECT_EQ(Msg<wchar_t>(FormatMessageW, 0, L"%s #%d", &t, L"row", 3), 6u);
  EXPECT_EQ(t, L"row #3");
  EXPECT_EQ(Msg<wchar_t>(FormatMessageW, 0, L"%S", &t, "\xff"), 0u);  // failure hands out no block
  EXPECT_EQ(t, L"??????");

  // Into the caller's buffer; without an argument list only formats that take nothing.
  Heap<wchar_t> buf = Exact<wchar_t>(5);
  errno = 0;
  EXPECT_EQ(FormatMessageW(0x400, L"100%%", 0, 0, buf.get(), 5, nullptr), 4u);
  EXPECT_STREQ(buf.get(), L"100%");
  EXPECT_EQ(FormatMessageW(0x400, L"10000", 0, 0, buf.get(), 5, nullptr), 0u);
  EXPECT_EQ(errno, EOVERFLOW);
  EXPECT_STREQ(buf.get(), L"1000");
  EXPECT_EQ(FormatMessageW(0x400, L"%d", 0, 0, buf.get(), 5, nullptr), 0u);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(FormatMessageW(0x400, nullptr, 0, 0, buf.get(), 5, nullptr), 0u);
}

TEST(FormatMessage, SystemTextOfErrno) {
  const std::string text = strerror(ENOENT);
  const std::wstring want(text.begin(), text.end());
  wchar_t* p = nullptr;
  errno = ENOENT;
  EXPECT_EQ(FormatMessageW(0x1100, nullptr, 0, 0, reinterpret_cast<wchar_t*>(&p), 0, nullptr), want.size());
  EXPECT_EQ(std::wstring(p), want);
  free(p);
  Heap<wchar_t> small = Exact<wchar_t>(4);  // FormatMessageWin: cut in a small buffer, and the call fails
  EXPECT_EQ(FormatMessageWin(0x1000, nullptr, ENOENT, 0, small.get(), 4, nullptr), 0u);
  EXPECT_EQ(errno, EOVERFLOW);
  EXPECT_EQ(std::wstring(small.get()), want.substr(0, 3));
}

TEST(FormatMessageWin, InsertsAndEscapes) {
  std::wstring t;
  EXPECT_EQ(Msg<wchar_t>(FormatMessageWin, 0, L"Hello %1!d! %n%2", &t, 5, L"world"), 15u);
  EXPECT_EQ(t, L"Hello 5 \r\nworld");
  Msg<wchar_t>(FormatMessageWin, 0, L"%2 %1 %2|%3!5d!|%3!-4x!|%4!S!|%5!c!", &t, L"a", L"b", 255, "nar", L'\u263A');
  EXPECT_EQ(t, L"b a b|  255|ff  |nar|\u263A");
  Msg<wchar_t>(FormatMessageWin, 0, L"[%1!*.*s!][%4!I64d!]", &t, 6, 2, L"abcdef", -(1LL << 40));
  EXPECT_EQ(t, L"[    ab][-1099511627776]");
  Msg<wchar_t>(FormatMessageWin, 0, L"%%|%.|%!|%t|%r|%b|x|before%0after", &t);
  EXPECT_EQ(t, L"%|.|!|\t|\r| |x|before");
  const std::wstring big(70000, L'z');  // beyond the first output area
  EXPECT_EQ(Msg<wchar_t>(FormatMessageWin, 0, L"<%1>%n<%1>", &t, big.c_str()), 2 * big.size() + 6);
  EXPECT_EQ(t, L"<" + big + L">\r\n<" + big + L">");

  // An argument array holds pointer-sized words; insert 200 is the last one the cache holds.
  std::vector<intptr_t> words(200, 7);
  words[0] = reinterpret_cast<intptr_t>(L"tbl");
  words[2] = intptr_t{1} << 40;
  wchar_t* p = nullptr;
  EXPECT_EQ(FormatMessageWin(0x2500, L"%1:%2!u!:%3!I64x!:%200!d!", 0, 0, reinterpret_cast<wchar_t*>(&p), 0,
                             reinterpret_cast<va_list*>(words.data())),
            19u);
  EXPECT_STREQ(p, L"tbl:7:10000000000:7");
  free(p);
  EXPECT_EQ(FormatMessageWin(0x2500, L"%201", 0, 0, reinterpret_cast<wchar_t*>(&p), 0,
                             reinterpret_cast<va_list*>(words.data())),
            0u);
  EXPECT_EQ(errno, EINVAL);
}

TEST(FormatMessageWin, FailuresAndCodes) {
  std::wstring t;
  for (const wchar_t* msg : {L"ends with %", L"%1234", L"%1!d", L"%1!!", L"%1!123456789012345678901234567890s!",
                             L"%1!***d!", L"%1!f!", L"%1!n!", L"%1!d%s!", L"%1!1$d!", L"%200!*d!"}) {
    EXPECT_EQ(Msg<wchar_t>(FormatMessageWin, 0, msg, &t, 1, 2, 3), 0u) << msg;
    EXPECT_EQ(errno, EINVAL) << msg;
    EXPECT_EQ(t, L"??????") << msg;
  }
  Heap<wchar_t> buf = Exact<wchar_t>(8);
  const struct {
    unsigned int nFlags, nSize;
    const wchar_t* pszMsg;
    unsigned int nResult;
    int nErrno;
    const wchar_t* pszBuffer;
  } kCases[] = {{0x800, 8, L"x", 0, EINVAL, nullptr},
                {0x400, 8, L"%1", 0, EINVAL, nullptr},  // an insert without an argument source
                {0x400, 8, L"Hello world", 0, EOVERFLOW, L"Hello w"},  // the cut text stays, the call fails
                {0x400, 0, L"x", 0, EOVERFLOW, nullptr}};
  for (const auto& c : kCases) {
    errno = 0;
    EXPECT_EQ(FormatMessageWin(c.nFlags, c.pszMsg, 0, 0, buf.get(), c.nSize, nullptr), c.nResult) << c.pszMsg;
    EXPECT_EQ(errno, c.nErrno) << c.pszMsg;
    if (c.pszBuffer == nullptr) continue;
    EXPECT_STREQ(buf.get(), c.pszBuffer);
  }
}

TEST(FormatMessageWin, LineBreaksByWidth) {
  const struct {
    unsigned int nWidth;
    const wchar_t *pszMsg, *pszText;
  } kCases[] = {{0, L"a\nb\r\nc\rd\n\re", L"a\r\nb\r\nc\r\nd\r\ne"},
                {FORMAT_MESSAGE_MAX_WIDTH_MASK, L"a\nb\r\nc\rd\n\re", L"a b c d e"},
                {10, L"The quick brown fox", L"The quick\r\nbrown fox"},
                {5, L"abcdefghij", L"abcde\r\nfghij\r\n"},
                {8, L"abc  \tdefgh", L"abc\r\ndefgh"},         // the blanks at the break go
                {6, L"%1 end", L"aa bb\r\ncc\r\nend"}};        // inserted text wraps like the message's own
  std::wstring t;
  for (const auto& c : kCases) {
    Msg<wchar_t>(FormatMessageWin, c.nWidth, c.pszMsg, &t, L"aa bb cc");
    EXPECT_EQ(t, c.pszText) << c.pszMsg;
  }
}

}  // namespace
