// Display texts of variant values (through the stand-in VM bound by dlopen) and the value-dump
// captions.
#include "values/any_display.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

#include "common/ctstring.h"
#include "common/xystring.h"
#include "tests/support/any_test_values.h"
#include "tests/support/stand_in_vm.h"
#include "values/vmbind.h"

namespace {

class AnyDisplay : public StandInVMTest {
 protected:
  static std::wstring Show(const CAny* p, const wchar_t* prefix, int debug, int* pRes = nullptr) {
    CXYString<wchar_t> s;
    const int n = nGetString(&s, p, prefix, debug);
    if (pRes != nullptr) *pRes = n;
    return s.pszGet();
  }
};

}  // namespace

TEST_F(AnyDisplay, EmptyNullAndMissingValues) {
  CAny empty;
  int n = -1;
  EXPECT_EQ(Show(&empty, L"v: ", 1, &n), L"v: <Empty>");
  EXPECT_EQ(n, 0);
  EXPECT_EQ(Show(nullptr, L"p=", 1, &n), L"p=<NULL>");
  EXPECT_EQ(n, 0);

  CAny i4;
  i4.SetI4(5);
  i4.SetNull(true);
  EXPECT_EQ(Show(&i4, L"x", 1, &n), L"xType=8, Len=4, Value=<NULL>");
  EXPECT_EQ(n, 0);
  EXPECT_EQ(Show(&i4, nullptr, 0), L"<NULL>");
}

TEST_F(AnyDisplay, NumbersAndTextsThroughTheVM) {
  CAny a;
  a.SetI4(-42);
  EXPECT_EQ(Show(&a, L"", 0), L"-42");
  EXPECT_EQ(Show(&a, L"n=", 1), L"n=Type=8, Len=4, Value=-42, Value(binary)=D6FFFFFF");
  a.SetUI1(200);
  EXPECT_EQ(Show(&a, nullptr, 0), L"200");
  a.SetI8(1234567890123LL);
  EXPECT_EQ(Show(&a, nullptr, 0), L"1234567890123");
  a.SetBOOL(1);
  EXPECT_EQ(Show(&a, nullptr, 0), L"1");

  CAny t;
  t.__SetType(ZV_PSTRW, 0);
  t.Intern()->SetValue(L"abc");
  EXPECT_EQ(Show(&t, L"[", 0), L"[abc");
  // The image is the text with its terminator (4 bytes a character).
  EXPECT_EQ(Show(&t, nullptr, 1),
            L"Type=110, Len=16, Value=abc, Value(binary)=61000000620000006300000000000000");
}

TEST_F(AnyDisplay, EveryTypeCodeGivesTextOrError) {
  for (unsigned short code : kAllCodes) {
    CAny a;
    a.__SetType(code, 0);
    int n = -1;
    const std::wstring s = Show(&a, L">", 1, &n);
    const std::wstring head = L">Type=" + std::to_wstring(a.wGetType()) + L", Len=";
    EXPECT_EQ(s.compare(0, head.size(), head), 0) << code << L" " << s.c_str();
    if (n != 0) {
      EXPECT_GT(n, 99) << code;
      EXPECT_EQ(s.substr(s.size() - 7), L"<ERROR>") << code;
    } else {
      EXPECT_EQ(s.find(L"<ERROR>"), std::wstring::npos) << code;
    }
    // The value shown is unchanged.
    EXPECT_EQ(a.wGetType(), code == 141 ? a.wGetType() : code);
  }
}

TEST_F(AnyDisplay, CarriedFlagIsAnError) {
  CAny a;
  a.SetI4(3);
  a.SetFlags(ZV_FLAG_CARRIED);
  int n = 0;
  EXPECT_EQ(Show(&a, L"v=", 0, &n), L"v=<ERROR>");
  EXPECT_EQ(n, 105);
  CAny t;
  t.__SetType(ZV_PSTRW, 0);
  t.Intern()->SetValue(L"z");
  t.SetFlags(ZV_FLAG_CARRIED);
  EXPECT_EQ(Show(&t, L"", 1, &n), L"Type=110, Len=8, Value=<ERROR>");
  EXPECT_EQ(n, 105);
}

TEST_F(AnyDisplay, BinaryImage) {
  std::vector<unsigned char> bytes(600);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(i);
  CAny a;
  a.SetBIN(bytes.data(), 600);
  const std::wstring s = Show(&a, nullptr, 1);
  const std::wstring mark = L", Value(binary)=(first 500 bytes only) ";
  const size_t at = s.find(mark);
  ASSERT_NE(at, std::wstring::npos) << s.c_str();
  const std::wstring hex = s.substr(at + mark.size());
  ASSERT_EQ(hex.size(), 1000u);
  EXPECT_EQ(hex.substr(0, 8), L"00010203");
  EXPECT_EQ(hex.substr(996), L"F2F3");
  EXPECT_EQ(s.compare(0, 19, L"Type=28, Len=600, V"), 0);

  CAny none;
  none.SetBIN(nullptr, 0);
  const std::wstring e = Show(&none, nullptr, 1);
  EXPECT_EQ(e.substr(e.size() - 16), L", Value(binary)=") << e.c_str();
}

TEST_F(AnyDisplay, CTStringFormsAndPrefixReplacement) {
  CAny a;
  a.SetI2(7);
  CTString out(L"old text");
  EXPECT_EQ(nGetString(&out, a, L"k=", 0), 0);
  EXPECT_STREQ(out.pszGet(), L"k=7");
  EXPECT_EQ(nGetString(&out, static_cast<const CAny*>(nullptr), L"", 0), 0);
  EXPECT_STREQ(out.pszGet(), L"<NULL>");
  a.SetFlags(ZV_FLAG_CARRIED);
  EXPECT_EQ(nGetString(&out, &a, L"e", 0), 105);
  EXPECT_STREQ(out.pszGet(), L"e<ERROR>");
}

TEST(QXVariantDump, CaptionsLoadAndFree) {
  CQXVariant::InitQueryDumpRessources();
  const wchar_t* const* all[] = {&CQXVariant::s_pszDumpZVType,          &CQXVariant::s_pszDumpADOType,
                                 &CQXVariant::s_pszDumpValue,           &CQXVariant::s_pszDumpTime,
                                 &CQXVariant::s_pszDumpDate,            &CQXVariant::s_pszDumpConvFailed_Text,
                                 &CQXVariant::s_pszDumpConvFailed_Date, &CQXVariant::s_pszDumpConvFailed_Time};
  for (const wchar_t* const* pp : all) ASSERT_NE(*pp, nullptr);
  EXPECT_STREQ(CQXVariant::s_pszDumpZVType, L"Type Zavora");
  EXPECT_STREQ(CQXVariant::s_pszDumpADOType, L"Type ADO");
  EXPECT_STREQ(CQXVariant::s_pszDumpValue, L"Valeur");
  EXPECT_STREQ(CQXVariant::s_pszDumpTime, L"Heure");
  EXPECT_STREQ(CQXVariant::s_pszDumpDate, L"Date");
  const std::wstring text = CQXVariant::s_pszDumpConvFailed_Text;
  EXPECT_EQ(text.substr(1), L"chec de la conversion de la valeur en texte.");
  EXPECT_EQ(std::wstring(CQXVariant::s_pszDumpConvFailed_Date).substr(1), L"chec de la conversion de la valeur en date");
  EXPECT_EQ(std::wstring(CQXVariant::s_pszDumpConvFailed_Time).substr(1), L"chec de la conversion de la valeur en heure");
  // Loading again replaces the captions (no leak under the sanitizer).
  CQXVariant::InitQueryDumpRessources();
  CQXVariant::FreeQueryDumpRessources();
  for (const wchar_t* const* pp : all) EXPECT_EQ(*pp, nullptr);
  CQXVariant::FreeQueryDumpRessources();
  for (const wchar_t* const* pp : all) EXPECT_EQ(*pp, nullptr);
}

// Each type made from a text by the VM and shown again: the display is the value's text.
TEST_F(AnyDisplay, EveryValueTypeShowsItsText) {
  const struct {
    unsigned short code;
    const wchar_t* in;
    const wchar_t* shown;
  } cases[] = {
      {ZV_BOOL, L"1", L"1"},          {ZV_UI1, L"255", L"255"},
      {ZV_UI2, L"65535", L"65535"},   {ZV_UI4, L"4294967295", L"4294967295"},
      {ZV_UI8, L"18446744073709551615", L"18446744073709551615"},
      {ZV_I1, L"-128", L"-128"},      {ZV_I2, L"-32768", L"-32768"},
      {ZV_I4, L"-2147483648", L"-2147483648"},
      {ZV_I8, L"-9223372036854775808", L"-9223372036854775808"},
      {ZV_CY, L"-12.345678", L"-12.345678"},
      {ZV_R4, L"0.5", L"0.5"},        {ZV_R8, L"-1.25", L"-1.25"},
      {ZV_DECIMAL, L"123456789012345678.5", L"123456789012345678.5"},
      {ZV_UIX, L"7", L"7"},           {ZV_DSTRW, L"wide \u00e9", L"wide \u00e9"},
      {ZV_CARA, L"Q", L"Q"},          {ZV_PSTRA, L"plain", L"plain"},
      {ZV_DSTRA, L"narrow", L"narrow"}, {ZV_DATEW, L"20261206", L"20261206"},
      {ZV_TIMEW, L"235959990", L"235959990"},
      {ZV_DATETIME, L"20261206235959990", L"20261206235959990"},
      {ZV_CARW, L"\u20ac", L"\u20ac"}, {ZV_PSTRW, L"owned", L"owned"},
      {ZV_DATEA, L"19991231", L"19991231"}, {ZV_TIMEA, L"010203040", L"010203040"},
  };
  for (const auto& c : cases) {
    CAny a;
    a.__SetType(ZV_DSTRW, 0);
    a.Intern()->SetValue(c.in, static_cast<unsigned int>(wcslen(c.in) * sizeof(wchar_t)));
    ASSERT_LT(a.__nCastTo(c.code, nullptr, 1), 100) << c.code;
    ASSERT_EQ(a.wGetTypeWord(), c.code);
    int n = -1;
    EXPECT_EQ(Show(&a, nullptr, 0, &n), c.shown) << c.code;
    EXPECT_EQ(n, 0) << c.code;
  }
}
