// Charset, code-page and language-id tables over their whole argument ranges, the conversion
// preparation rows, the locale-service calls under a charset's language, and the locale switch
// (setlocale is wrapped here to see the names asked for).
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <clocale>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "common/charset.h"
#include "platform/iinfolocale.h"
#include "platform/information_dll.h"

namespace {

std::vector<std::string> g_setlocaleNames;

}  // namespace

// Every setlocale of the process comes here first; the real one still does the work.
extern "C" char* setlocale(int category, const char* locale) noexcept {
  using Fn = char* (*)(int, const char*);
  static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "setlocale"));
  if (locale != nullptr && category == LC_ALL) g_setlocaleNames.emplace_back(locale);
  return real(category, locale);
}

namespace {

// Charset -> (code page, language id) as published.
struct CharsetRow {
  int charset;
  DWORD codePage;
  WORD languageId;
};
const CharsetRow kCharsets[] = {
    {0, 1252, 0},         {255, 1252, 0},       {128, 932, 0x0011},   {129, 949, 0x0012},  {130, 1361, 0x0012},
    {134, 936, 0x0804},   {136, 950, 0x0404},   {161, 1253, 0x0008},  {162, 1254, 0x001F}, {163, 1258, 0x002A},
    {177, 1255, 0x000D},  {178, 1256, 0x0001},  {186, 1257, 0x0025},  {204, 1251, 0x0419}, {222, 874, 0x001E},
    {238, 1250, 0x0015},  {65001, 65001, 0},
};

const std::map<int, int> kCharsetByCodePage = {
    {1252, 0},   {0, 127},    {874, 222},  {932, 128},  {936, 134},  {949, 129},  {950, 136},  {1250, 238}, {1251, 204},
    {1253, 161}, {1254, 162}, {1255, 177}, {1256, 178}, {1257, 186}, {1258, 163}, {1361, 130}, {65001, 65001},
};

TEST(CharsetTables, CodePageAndLanguageOfEveryCharset) {
  std::map<int, CharsetRow> rows;
  for (const CharsetRow& r : kCharsets) rows[r.charset] = r;
  for (int cs = -1000; cs <= 70000; ++cs) {
    auto it = rows.find(cs);
    const DWORD cp = it == rows.end() ? 0 : it->second.codePage;
    const WORD lang = it == rows.end() ? 0 : it->second.languageId;
    ASSERT_EQ(dwGetCodePageFromCharset(cs), cp) << cs;
    ASSERT_EQ(wGetLanguageID(cs), lang) << cs;
  }
  for (int cs : {INT_MIN, INT_MAX, 65001 + 128}) {
    EXPECT_EQ(dwGetCodePageFromCharset(cs), 0u);
    EXPECT_EQ(wGetLanguageID(cs), 0);
  }
}

TEST(CharsetTables, CharsetOfEveryCodePage) {
  for (int cp = -1000; cp <= 70000; ++cp) {
    auto it = kCharsetByCodePage.find(cp);
    ASSERT_EQ(nGetCharsetFromCodePage(cp), it == kCharsetByCodePage.end() ? -1 : it->second) << cp;
  }
  EXPECT_EQ(nGetCharsetFromCodePage(INT_MIN), -1);
  EXPECT_EQ(nGetCharsetFromCodePage(437), -1);
  // Every charset but the OEM one comes back from its code page.
  for (const CharsetRow& r : kCharsets) {
    if (r.charset == 255) continue;
    EXPECT_EQ(nGetCharsetFromCodePage(static_cast<int>(r.codePage)), r.charset) << r.charset;
  }
}

// Charset of a language as published, by primary language and sublanguage.
int ExpectedCharset(unsigned int primary, unsigned int sub) {
  switch (primary) {
    case 1: return 178;
    case 2: case 25: case 34: case 35: return 204;
    case 4: return sub == 1 ? 136 : 134;
    case 5: case 14: case 21: case 24: case 27: case 28: case 36: case 47: return 238;
    case 8: return 161;
    case 13: return 177;
    case 17: return 128;
    case 18: return 129;
    case 26: return sub == 3 ? 204 : 238;
    case 30: return 222;
    case 31: return 162;
    case 37: case 38: case 39: return 186;
    case 42: return 163;
    case 43: case 55: return 65001;
    case 67: return sub == 2 ? 204 : 238;
    default: return 0;
  }
}

TEST(CharsetTables, CharsetOfEveryLanguageId) {
  for (unsigned int id = 0; id <= 0xFFFF; ++id) {
    const int expected = ExpectedCharset(id & 0x3FF, id >> 10);
    ASSERT_EQ(nGetCharsetFromLanguage(static_cast<unsigned short>(id)), expected) << std::hex << id;
    ASSERT_EQ(GetCharSetFromLanguageID(id), expected) << std::hex << id;
  }
  EXPECT_EQ(nGetCharsetFromLanguage(0x0C1A), 204);
  EXPECT_EQ(nGetCharsetFromLanguage(0x041A), 238);
  EXPECT_EQ(nGetCharsetFromLanguage(0x0404), 136);
  EXPECT_EQ(nGetCharsetFromLanguage(0x0804), 134);
  EXPECT_EQ(nGetCharsetFromLanguage(0x0409), 0);
  EXPECT_EQ(nGetCharsetFromLanguage(0x0419), 204);
  EXPECT_EQ(nGetCharsetFromLanguage(0x0844), 0);  // primary 68: above the table
  // The charset of each table language leads back to a language of that charset.
  for (const CharsetRow& r : kCharsets) {
    if (r.languageId != 0 && r.charset != 130) {
      EXPECT_EQ(nGetCharsetFromLanguage(r.languageId), r.charset);
    }
  }
}

// ---- Conversion preparation ----

// A locale service that records the mappings it is asked for and answers a fixed code page.
class CRecordingLocale : public IInfoLocale {
 public:
  struct Call {
    std::string op;
    int lcid;
    unsigned int flags;
    int dstSize;
    int srcLen;
  };
  std::vector<Call> calls;

  void vNotCalled1() override {}
  void vNotCalled2() override {}
  int nGetCharset() override { return 204; }
  int nGetCodePage() override { return 1251; }
  int nGetLCID() override { return 1049; }
  int nCompareStringA(int, unsigned int, const char*, int, const char*, int) override { return 0; }
  int nCompareStringW(int, unsigned int, const wchar_t*, int, const wchar_t*, int) override { return 0; }
  int nCompareStringCurA(unsigned int, const char*, int, const char*, int) override { return 0; }
  int nCompareStringCurW(unsigned int, const wchar_t*, int, const wchar_t*, int) override { return 0; }
  int nMapStringSortA(int lcid, char*, int dstSize, const char*, int srcLen) override {
    calls.push_back({"SortA", lcid, 0, dstSize, srcLen});
    return 11;
  }
  void vNotCalled11() override {}
  int nMapStringA(int lcid, unsigned int flags, char*, int dstSize, const char*, int srcLen) override {
    calls.push_back({"MapA", lcid, flags, dstSize, srcLen});
    return 12;
  }
  int nMapStringW(int lcid, unsigned int flags, wchar_t*, int dstSize, const wchar_t*, int srcLen) override {
    calls.push_back({"MapW", lcid, flags, dstSize, srcLen});
    return 13;
  }
  int nMapStringCurA(unsigned int, char*, int, const char*, int) override { return 0; }
  int nMapStringCurW(unsigned int, wchar_t*, int, const wchar_t*, int) override { return 0; }
  int nGetSafeLCID() override { return 1049; }
};

class WithRecordingLocale : public testing::Test {
 protected:
  void SetUp() override {
    saved_ = CInformationDLL::ms_piInfoLocale;
    CInformationDLL::ms_piInfoLocale = &rec_;
  }
  void TearDown() override { CInformationDLL::ms_piInfoLocale = saved_; }
  CRecordingLocale rec_;
  IInfoLocale* saved_ = nullptr;
};

TEST_F(WithRecordingLocale, MappingsRunUnderTheCharsetLanguage) {
  char a[8];
  wchar_t w[8];
  EXPECT_EQ(STR_MapStringSortEx_Charset(204, a, 8, "abc", 3), 11);
  EXPECT_EQ(STR_nMapStringEx_Charset(161, 0x3u, a, 8u, "abc", -1), 12);
  EXPECT_EQ(STR_nMapStringEx_Charset(128, 0x101u, w, 6u, L"abc", 2), 13);
  EXPECT_EQ(STR_nMapStringEx_Charset(0, 0x1u, w, 6u, L"abc", 2), 13);
  // A size beyond the service's int is passed as the largest it takes.
  EXPECT_EQ(STR_MapStringSortEx_Charset(238, a, 0x80000000u, "abc", 3), 11);
  EXPECT_EQ(STR_nMapStringEx_Charset(130, 0x2u, w, 0xFFFFFFFFu, L"abc", 3), 13);
  ASSERT_EQ(rec_.calls.size(), 6u);
  const CRecordingLocale::Call expected[] = {
      {"SortA", 0x0419, 0, 8, 3},    {"MapA", 0x0008, 0x3, 8, -1},         {"MapW", 0x0011, 0x101, 6, 2},
      {"MapW", 0, 0x1, 6, 2},        {"SortA", 0x0015, 0, INT_MAX, 3},    {"MapW", 0x0012, 0x2, INT_MAX, 3},
  };
  for (size_t i = 0; i < 6; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(rec_.calls[i].op, expected[i].op);
    EXPECT_EQ(rec_.calls[i].lcid, expected[i].lcid);
    EXPECT_EQ(rec_.calls[i].flags, expected[i].flags);
    EXPECT_EQ(rec_.calls[i].dstSize, expected[i].dstSize);
    EXPECT_EQ(rec_.calls[i].srcLen, expected[i].srcLen);
  }
}

const uint32_t kUnset = 0xDEADBEEF;

struct AnsiUnicodeRow {
  unsigned int type;
  bool setsCodePage;
  uint32_t codePage;  // 1251 is the recording service's current code page
  unsigned int dynamicAnswer;
  unsigned int staticAnswer;
};
const AnsiUnicodeRow kAnsiUnicode[] = {
    {121, true, 1252, 16, 16},  {122, true, 1252, 16, 110}, {126, true, 0, 16, 16},     {127, true, 0, 16, 110},
    {130, true, 1251, 16, 16},  {131, true, 1251, 16, 110}, {110, false, 0, 16, 110},  {18, false, 0, 19, 18},
};

TEST_F(WithRecordingLocale, AnsiToUnicodeEveryRow) {
  for (const AnsiUnicodeRow& r : kAnsiUnicode) {
    for (int bDynamic : {0, 1}) {
      for (int bMark : {0, 1}) {
        SCOPED_TRACE(testing::Message() << r.type << " dynamic " << bDynamic << " mark " << bMark);
        unsigned int flags = 0x5;
        STOCAW conv{kUnset};
        EXPECT_EQ(PrepareConversionAnsiUnicode(r.type, flags, conv, bDynamic, bMark),
                  bDynamic ? r.dynamicAnswer : r.staticAnswer);
        EXPECT_EQ(conv.dwCodePage, r.setsCodePage ? r.codePage : kUnset);
        EXPECT_EQ(flags, r.setsCodePage && bMark ? 0x45u : 0x5u);
      }
    }
  }
  // Any other type passes unchanged and sets nothing.
  for (unsigned int type = 0; type <= 300; ++type) {
    bool listed = false;
    for (const AnsiUnicodeRow& r : kAnsiUnicode) listed = listed || r.type == type;
    if (listed) continue;
    unsigned int flags = 0;
    STOCAW conv{kUnset};
    ASSERT_EQ(PrepareConversionAnsiUnicode(type, flags, conv, 1, 1), type);
    ASSERT_EQ(conv.dwCodePage, kUnset);
    ASSERT_EQ(flags, 0u);
  }
  // A mark already present stays single.
  unsigned int flags = 0x40;
  STOCAW conv{kUnset};
  PrepareConversionAnsiUnicode(121, flags, conv, 0, 1);
  EXPECT_EQ(flags, 0x40u);
}

TEST_F(WithRecordingLocale, UnicodeToAnsiEveryType) {
  const std::map<unsigned int, uint32_t> codePages = {{121, 1252}, {122, 1252}, {126, 0},
                                                      {127, 0},    {130, 1251}, {131, 1251}};
  for (unsigned int type = 0; type <= 0xFFFF; ++type) {
    STOCAW conv{kUnset};
    auto it = codePages.find(type);
    ASSERT_EQ(PrepareConversionUnicodeAnsi(static_cast<unsigned short>(type), conv), it != codePages.end() ? TRUE : FALSE)
        << type;
    ASSERT_EQ(conv.dwCodePage, it != codePages.end() ? it->second : kUnset) << type;
  }
}

TEST(Conversion, CurrentCodePageComesFromTheHostService) {
  unsigned int flags = 0;
  STOCAW conv{kUnset};
  EXPECT_EQ(PrepareConversionAnsiUnicode(130, flags, conv, 0, 0), 16u);
  EXPECT_EQ(conv.dwCodePage, 1252u);  // the stand-in host's code page
}

// ---- Locale switch ----

class LocaleSwitch : public testing::Test {
 protected:
  void SetUp() override {
    saved_ = ::setlocale(LC_ALL, nullptr);
    g_setlocaleNames.clear();
  }
  void TearDown() override { ::setlocale(LC_ALL, saved_.c_str()); }
  std::string Current() { return ::setlocale(LC_ALL, nullptr); }
  std::string saved_;
};

TEST_F(LocaleSwitch, OtherCharsetsAnswerTheirCodePageAndLeaveTheLocale) {
  for (int cs : {0, 128, 129, 130, 134, 136, 163, 186, 222, 238, 255, 65001, 1, -1}) {
    EXPECT_EQ(ChangeLocale(cs), static_cast<intptr_t>(dwGetCodePageFromCharset(cs))) << cs;
  }
  EXPECT_EQ(ChangeLocale(186), 1257);
  EXPECT_TRUE(g_setlocaleNames.empty());
  EXPECT_EQ(Current(), saved_);
}

TEST_F(LocaleSwitch, FiveCharsetsAskForTheirLocaleName) {
  const std::pair<int, const char*> names[] = {
      {161, "greek_greece.1253"}, {162, "turkey_turkish.1254"}, {177, ".1255"},
      {178, ".1256"},             {204, "russian_russia.1251"},
  };
  for (const auto& [cs, name] : names) {
    SCOPED_TRACE(cs);
    g_setlocaleNames.clear();
    ::setlocale(LC_ALL, "C");
    g_setlocaleNames.clear();
    const intptr_t r = ChangeLocale(cs);
    ASSERT_EQ(g_setlocaleNames.size(), 1u);
    EXPECT_EQ(g_setlocaleNames[0], name);
    // This system has none of these locales: refused, answered as 0, locale unchanged.
    if (r == 0) {
      EXPECT_EQ(Current(), "C");
    } else {
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(r)), Current());
    }
  }
}

TEST_F(LocaleSwitch, AnAcceptedLocaleAnswersItsName) {
  // A locale directory named as asked for is accepted through LOCPATH.
  namespace fs = std::filesystem;
  const fs::path source = "/usr/lib/locale/C.utf8";
  std::error_code ec;
  if (!fs::is_directory(source, ec)) GTEST_SKIP() << "no compiled C.utf8 locale to copy";
  char dir[] = "/tmp/qx-locale-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  fs::copy(source, fs::path(dir) / ".1255", fs::copy_options::recursive, ec);
  ASSERT_FALSE(ec) << ec.message();
  const char* oldPath = getenv("LOCPATH");
  const std::string savedPath = oldPath ? oldPath : "";
  setenv("LOCPATH", dir, 1);
  const intptr_t r = ChangeLocale(177);
  const std::string now = Current();
  if (oldPath) {
    setenv("LOCPATH", savedPath.c_str(), 1);
  } else {
    unsetenv("LOCPATH");
  }
  ::setlocale(LC_ALL, saved_.c_str());
  fs::remove_all(dir, ec);
  ASSERT_NE(r, 0);
  EXPECT_EQ(now, ".1255");
}

}  // namespace
