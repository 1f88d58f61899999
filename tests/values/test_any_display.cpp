// Display texts of variant values (through the stand-in VM) and the value-dump captions.
#include "values/any_display.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/ctstring.h"
#include "common/xystring.h"
#include "tests/support/any_test_values.h"

namespace {

using AnyDisplay = AnyTest;

std::wstring Show(const CAny* p, const wchar_t* prefix, int debug, int* pRes = nullptr) {
  CXYString<wchar_t> s;
  const int n = nGetString(&s, p, prefix, debug);
  if (pRes != nullptr) *pRes = n;
  return s.pszGet();
}

}  // namespace

TEST_F(AnyDisplay, Texts) {
  const CAny empty, nul = FromText(ZV_I4, L"5", ZV_FLAG_NULL), i4 = FromText(ZV_I4, L"-42"),
                    t = FromText(ZV_PSTRW, L"abc"), carried = FromText(ZV_PSTRW, L"abc", ZV_FLAG_CARRIED);
  const struct {
    const CAny* value;
    const wchar_t* prefix;
    int debug;
    const wchar_t* want;
    int rc;
  } cases[] = {
      {&empty, L"v: ", 1, L"v: <Empty>", 0}, {nullptr, L"p=", 1, L"p=<NULL>", 0}, {&nul, nullptr, 0, L"<NULL>", 0},
      {&nul, L"x", 1, L"xType=8, Len=4, Value=<NULL>", 0}, {&i4, L"", 0, L"-42", 0},
      {&i4, L"n=", 1, L"n=Type=8, Len=4, Value=-42, Value(binary)=D6FFFFFF", 0},
      // The image of a text is the text with its terminator, 4 bytes a character.
      {&t, nullptr, 1, L"Type=110, Len=16, Value=abc, Value(binary)=61000000620000006300000000000000", 0},
      {&carried, L"v=", 0, L"v=<ERROR>", 105},
      {&carried, L"", 1, L"Type=110, Len=16, Value=<ERROR>", 105},
  };
  for (const auto& c : cases) {
    int n = -1;
    EXPECT_EQ(Show(c.value, c.prefix, c.debug, &n), c.want);
    EXPECT_EQ(n, c.rc) << static_cast<const void*>(c.want);
  }
  // The text-object forms replace what the text held.
  CTString out(L"old text");
  EXPECT_EQ(nGetString(&out, i4, L"k=", 0), 0);
  EXPECT_STREQ(out.pszGet(), L"k=-42");
  EXPECT_EQ(nGetString(&out, &carried, L"e", 0), 105);
  EXPECT_STREQ(out.pszGet(), L"e<ERROR>");
}

TEST_F(AnyDisplay, EveryTypeGivesItsTextOrAnError) {
  for (unsigned short code : kAllCodes) {
    CAny a;
    a.__SetType(code, 0);
    int n = -1;
    const std::wstring s = Show(&a, L">", 1, &n);
    EXPECT_TRUE(s.starts_with(L">Type=" + std::to_wstring(a.wGetType()) + L", Len=")) << code;
    EXPECT_EQ(s.ends_with(L"<ERROR>"), n > 99) << code;
  }
  for (const Sample& s : kSamples) {
    const CAny a = FromText(s.code, s.text);
    EXPECT_EQ(Show(&a, nullptr, 0), s.text) << s.code;
  }
}

TEST_F(AnyDisplay, BinaryImageIsCutAt500Bytes) {
  std::vector<unsigned char> bytes(600);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(i);
  CAny a;
  a.SetBIN(bytes.data(), 600);
  const std::wstring s = Show(&a, nullptr, 1), mark = L", Value(binary)=(first 500 bytes only) ";
  ASSERT_TRUE(s.starts_with(L"Type=28, Len=600, V"));
  ASSERT_NE(s.find(mark), std::wstring::npos);
  const std::wstring hex = s.substr(s.find(mark) + mark.size());
  EXPECT_EQ(hex.size(), 1000u);
  EXPECT_TRUE(hex.starts_with(L"00010203") && hex.ends_with(L"F2F3"));
  a.SetBIN(nullptr, 0);
  EXPECT_TRUE(Show(&a, nullptr, 1).ends_with(L", Value(binary)="));
}

TEST(QXVariantDump, CaptionsLoadAndFree) {
  const wchar_t* const* all[] = {&CQXVariant::s_pszDumpZVType,          &CQXVariant::s_pszDumpADOType,
                                 &CQXVariant::s_pszDumpValue,           &CQXVariant::s_pszDumpTime,
                                 &CQXVariant::s_pszDumpDate,            &CQXVariant::s_pszDumpConvFailed_Text,
                                 &CQXVariant::s_pszDumpConvFailed_Date, &CQXVariant::s_pszDumpConvFailed_Time};
  // The failure texts start with an accented capital; the rest is compared.
  const wchar_t* const want[] = {L"Type Zavora", L"Type ADO", L"Valeur", L"Heure", L"Date",
                                 L"chec de la conversion de la valeur en texte.",
                                 L"chec de la conversion de la valeur en date",
                                 L"chec de la conversion de la valeur en heure"};
  CQXVariant::InitQueryDumpRessources();
  CQXVariant::InitQueryDumpRessources();  // a second load replaces the captions (no leak)
  for (size_t i = 0; i < std::size(all); ++i) {
    ASSERT_NE(*all[i], nullptr);
    EXPECT_STREQ(*all[i] + (i < 5 ? 0 : 1), want[i]);
  }
  for (int round = 0; round < 2; ++round) {  // the second frees nothing
    CQXVariant::FreeQueryDumpRessources();
    for (const wchar_t* const* pp : all) EXPECT_EQ(*pp, nullptr);
  }
}
