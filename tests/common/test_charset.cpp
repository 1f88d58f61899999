// Charset, code-page and language tables, conversion preparation, mappings under a charset's
// language, and the locale switch (setlocale is wrapped to see the names).
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <clocale>
#include <climits>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "common/charset.h"
#include "host/host_infolocale.h"
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

// The tables agree with each other over every argument: a charset's code page leads back to it
// (but OEM 255 and Johab's shared language), its language leads back to it.
TEST(CharsetTables, EveryCharsetCodePageAndLanguageAgree) {
  std::map<int, int> charsets;  // charset -> code page
  for (int cs = -1000; cs <= 70000; ++cs)
    if (DWORD cp = dwGetCodePageFromCharset(cs)) charsets[cs] = static_cast<int>(cp);
  EXPECT_EQ(charsets.size(), 17u);
  for (auto [cs, cp] : charsets) {
    EXPECT_EQ(nGetCharsetFromCodePage(cp), cs == 255 ? 0 : cs) << cs;
    const WORD lang = wGetLanguageID(cs);
    EXPECT_EQ(lang != 0, cs >= 128 && cs <= 238) << cs;
    EXPECT_TRUE(lang == 0 || cs == 130 || nGetCharsetFromLanguage(lang) == cs) << cs;
  }
  int codePages = 0;
  for (int cp = -1000; cp <= 70000; ++cp) codePages += nGetCharsetFromCodePage(cp) != -1;
  EXPECT_EQ(codePages, 17);  // the 16 charsets' pages and 0
  for (unsigned int id = 0; id <= 0xFFFF; ++id)
    ASSERT_EQ(GetCharSetFromLanguageID(id), nGetCharsetFromLanguage(static_cast<unsigned short>(id))) << id;
  for (int v : {INT_MIN, INT_MAX, 65001 + 128}) EXPECT_EQ(dwGetCodePageFromCharset(v) + wGetLanguageID(v), 0u);

  const std::tuple<int, DWORD, WORD> byCharset[] = {{255, 1252, 0}, {1, 0, 0}, {65001, 65001, 0}, {130, 1361, 0x0012},
                                                    {0, 1252, 0},   {186, 1257, 0x0025}};
  for (auto [cs, cp, lang] : byCharset)
    EXPECT_EQ(std::make_pair(dwGetCodePageFromCharset(cs), wGetLanguageID(cs)), std::make_pair(cp, lang)) << cs;
  const std::pair<int, int> byCodePage[] = {{0, 127}, {437, -1}, {1252, 0}, {INT_MIN, -1}};
  for (auto [cp, cs] : byCodePage) EXPECT_EQ(nGetCharsetFromCodePage(cp), cs);
  // Primary language in the low 10 bits, sublanguage above; primary languages above 67 are Western.
  const std::pair<unsigned short, int> byLanguage[] = {{0x0C1A, 204}, {0x041A, 238}, {0x0404, 136}, {0x0804, 134},
                                                       {0x0409, 0},   {0x0419, 204}, {0x0844, 0},   {0x0843, 204},
                                                       {0x0443, 238}, {0x002B, 65001}, {0x0037, 65001}};
  for (auto [id, cs] : byLanguage) EXPECT_EQ(nGetCharsetFromLanguage(id), cs) << std::hex << id;
}

// The stand-in locale service in Russian (code page 1251), recording the mappings it is asked for.
class CRecordingLocale : public CHostInfoLocale {
 public:
  using Call = std::tuple<std::string, int, unsigned int, int, int>;  // operation, lcid, flags, size, length
  CRecordingLocale() { SetCurrent(1049, 1251, 204); }
  int nMapStringSortA(int lcid, char*, int dstSize, const char*, int srcLen) override {
    return calls.emplace_back("SortA", lcid, 0, dstSize, srcLen), 11;
  }
  int nMapStringA(int lcid, unsigned int flags, char*, int dstSize, const char*, int srcLen) override {
    return calls.emplace_back("MapA", lcid, flags, dstSize, srcLen), 12;
  }
  int nMapStringW(int lcid, unsigned int flags, wchar_t*, int dstSize, const wchar_t*, int srcLen) override {
    return calls.emplace_back("MapW", lcid, flags, dstSize, srcLen), 13;
  }
  std::vector<Call> calls;
};

class WithRecordingLocale : public testing::Test {
 protected:
  void SetUp() override { std::swap(CInformationDLL::ms_piInfoLocale, saved_); }
  void TearDown() override { std::swap(CInformationDLL::ms_piInfoLocale, saved_); }
  CRecordingLocale rec_;
  IInfoLocale* saved_ = &rec_;
};

TEST_F(WithRecordingLocale, MappingsRunUnderTheCharsetLanguage) {
  char a[8];
  wchar_t w[8];
  EXPECT_EQ(STR_MapStringSortEx_Charset(204, a, 8, "abc", 3), 11);
  EXPECT_EQ(STR_nMapStringEx_Charset(161, 0x3u, a, 8u, "abc", -1), 12);
  EXPECT_EQ(STR_nMapStringEx_Charset(0, 0x101u, w, 6u, L"abc", 2), 13);
  // A size beyond the service's int is passed as the largest it takes.
  EXPECT_EQ(STR_MapStringSortEx_Charset(238, a, 0x80000000u, "abc", 3), 11);
  EXPECT_EQ(STR_nMapStringEx_Charset(130, 0x2u, w, 0xFFFFFFFFu, L"abc", 3), 13);
  const std::vector<CRecordingLocale::Call> expected = {{"SortA", 0x0419, 0, 8, 3}, {"MapA", 0x0008, 0x3, 8, -1},
                                                        {"MapW", 0, 0x101, 6, 2},   {"SortA", 0x0015, 0, INT_MAX, 3},
                                                        {"MapW", 0x0012, 0x2, INT_MAX, 3}};
  EXPECT_EQ(rec_.calls, expected);
}

TEST_F(WithRecordingLocale, ConversionPreparationForEveryType) {
  // type, code page set (kUnset: none), answer with bDynamic, answer without
  const uint32_t kUnset = 0xDEADBEEF;
  std::map<unsigned int, std::tuple<uint32_t, unsigned int, unsigned int>> rows = {
      {121, {1252, 16, 16}}, {122, {1252, 16, 110}}, {126, {0, 16, 16}},         {127, {0, 16, 110}},
      {130, {1251, 16, 16}}, {131, {1251, 16, 110}}, {110, {kUnset, 16, 110}}, {18, {kUnset, 19, 18}}};
  for (unsigned int type = 0; type <= 0xFFFF; ++type) {
    const auto it = rows.find(type);
    const auto [cp, dynamic, fixed] = it != rows.end() ? it->second : std::tuple(kUnset, type, type);
    for (int bDynamic : {0, 1}) {
      for (int bMark : {0, 1}) {
        unsigned int flags = 0x5;
        STOCAW conv{kUnset};
        ASSERT_EQ(PrepareConversionAnsiUnicode(type, flags, conv, bDynamic, bMark), bDynamic ? dynamic : fixed) << type;
        ASSERT_EQ(conv.dwCodePage, cp) << type;
        ASSERT_EQ(flags, cp != kUnset && bMark ? 0x45u : 0x5u) << type;
      }
    }
    STOCAW conv{kUnset};
    const bool sets = cp != kUnset && type != 110 && type != 18;
    ASSERT_EQ(PrepareConversionUnicodeAnsi(static_cast<unsigned short>(type), conv), sets ? TRUE : FALSE) << type;
    ASSERT_EQ(conv.dwCodePage, sets ? cp : kUnset) << type;
  }
  unsigned int flags = 0x40;  // a mark already present stays single
  STOCAW conv{kUnset};
  PrepareConversionAnsiUnicode(121, flags, conv, 0, 1);
  EXPECT_EQ(flags, 0x40u);
}

// Five charsets set their locale (none of which this system has: refused, answered as 0, locale
// unchanged); the others answer their code page and leave the locale alone.
TEST(LocaleSwitch, FiveCharsetsSetTheirLocaleOthersAnswerTheirCodePage) {
  const std::string saved = ::setlocale(LC_ALL, nullptr);
  const std::pair<int, const char*> rows[] = {
      {161, "greek_greece.1253"}, {162, "turkey_turkish.1254"}, {177, ".1255"}, {178, ".1256"},
      {204, "russian_russia.1251"}, {186, nullptr}, {0, nullptr}, {128, nullptr}, {163, nullptr}, {255, nullptr},
      {65001, nullptr}, {1, nullptr}, {-1, nullptr}};
  for (auto [cs, name] : rows) {
    ::setlocale(LC_ALL, "C");
    g_setlocaleNames.clear();
    const intptr_t r = ChangeLocale(cs);
    EXPECT_EQ(g_setlocaleNames, name ? std::vector<std::string>{name} : std::vector<std::string>{}) << cs;
    EXPECT_EQ(::setlocale(LC_ALL, nullptr), std::string(r != 0 && name ? reinterpret_cast<const char*>(r) : "C"));
    EXPECT_TRUE(name || r == static_cast<intptr_t>(dwGetCodePageFromCharset(cs))) << cs;
  }
  EXPECT_EQ(ChangeLocale(186), 1257);
  ::setlocale(LC_ALL, saved.c_str());
}

}  // namespace
