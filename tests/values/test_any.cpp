// The variant value: typing, copying and releasing every type class, the typed setters and
// getters, the in-place changes, and casts through the stand-in VM bound by dlopen.
#include "values/any.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

#include "common/xystring.h"
#include "common/zvbin.h"
#include "tests/support/any_test_values.h"
#include "tests/support/stand_in_vm.h"
#include "values/datetime.h"
#include "values/duree.h"
#include "values/vmbind.h"

namespace {

class Any : public StandInVMTest {
 protected:
  static void SetUpTestSuite() {
    StandInVMTest::SetUpTestSuite();
    ASSERT_NE(gpiVMFactory, nullptr);
  }
};

template <typename T>
T ReadArea(const CAny& a) {
  T v;
  memcpy(&v, a.pGetValueArea(), sizeof v);
  return v;
}


}  // namespace

TEST_F(Any, LayoutAgreesWithTheVM) {
  CAny a;
  EXPECT_EQ(reinterpret_cast<unsigned char*>(&a) + CAny::kValueOffset, a.pGetValueArea());
  a.SetI4(7);
  uint16_t w;
  memcpy(&w, reinterpret_cast<unsigned char*>(&a) + CAny::kTypeOffset, 2);
  EXPECT_EQ(w, ZV_I4);
}

TEST_F(Any, EveryTypeIsSetCopiedAndReleased) {
  for (unsigned short code : kAllCodes) {
    CAny a;
    a.__SetType(code, 0);
    EXPECT_EQ(a.wGetType(), code == 141 ? 141 : code) << code;
    a.SetFlags(ZV_FLAG_NULL | ZV_FLAG_CARRIED);
    CAny b(a);
    CAny c;
    c = b;
    const unsigned short want = code == 141 ? 108 : code;
    EXPECT_EQ(c.wGetType(), want) << code;
    const bool hostObject = code == 108 || code == 141 || code == 111;
    EXPECT_EQ(c.bIsNull(), !hostObject) << code;
    a.__SetType(ZV_I4, 0);
  }
}

TEST_F(Any, TypingRules) {
  CAny a;
  a.__SetType(15, 0);
  EXPECT_EQ(a.wGetTypeWord(), ZV_I4);
  a.__SetType(20, 0);
  EXPECT_EQ(a.wGetTypeWord(), 0);
  a.__SetType(200, 0);
  EXPECT_EQ(a.wGetTypeWord(), 0);
  a.SetI4(5);
  a.SetNull(true);
  a.__SetType(ZV_I4, 0);
  EXPECT_EQ(a.wGetTypeWord(), ZV_I4);
  EXPECT_EQ(ReadArea<int32_t>(a), 0);
  a.__SetType(ZV_TIMEW, 0);
  EXPECT_STREQ(reinterpret_cast<const wchar_t*>(a.pGetValueArea()), L"000000000");
  a.__SetType(ZV_DATEW, 0);
  EXPECT_STREQ(reinterpret_cast<const wchar_t*>(a.pGetValueArea()), L"");
  a.__SetType(ZV_TIMEA, 0);
  EXPECT_STREQ(reinterpret_cast<const char*>(a.pGetValueArea()), "000000000");
}

TEST_F(Any, TypedGetters) {
  CAny a;
  unsigned char b = 7;
  a.SetI2(-1);
  EXPECT_EQ(a.nGetBYTE(b), 115);
  EXPECT_EQ(b, 7);
  a.SetI1(-1);
  EXPECT_EQ(a.nGetBYTE(b), 0);
  EXPECT_EQ(b, 255);
  a.SetUI8(0x100000005ULL);
  EXPECT_EQ(a.nGetBYTE(b), 115);
  int n = 9;
  a.SetUI4(1);
  EXPECT_EQ(a.nGetINT(&n), 105);
  EXPECT_EQ(n, 0);
  a.SetI2(-300);
  EXPECT_EQ(a.nGetINT(&n), 0);
  EXPECT_EQ(n, -300);
  long long ll = 0;
  a.SetUI4(0xFFFFFFFFu);
  EXPECT_EQ(a.nGetINT_64(&ll), 0);
  EXPECT_EQ(ll, 0xFFFFFFFFLL);
  a.__SetType(ZV_UIX, 0);
  EXPECT_EQ(a.nGetINT_64(&ll), 105);
  unsigned long long u = 0;
  a.SetI4(-2);
  EXPECT_EQ(a.nGetBitField_64(u), 0);
  EXPECT_EQ(u, ~1ULL);
  a.SetBOOL(3);
  EXPECT_EQ(a.nGetBitField_64(u), 105);
  double d = 0;
  a.SetR4(1.5f);
  EXPECT_EQ(a.nGetREAL(&d), 0);
  EXPECT_EQ(d, 1.5);
  a.SetFlags(ZV_FLAG_CARRIED);
  EXPECT_EQ(a.nGetREAL(&d), 105);
}

TEST_F(Any, IncrementsReportOverflow) {
  CAny a;
  a.SetUI1(255);
  EXPECT_EQ(a.Intern()->nIncremente(), 1);
  EXPECT_EQ(ReadArea<uint8_t>(a), 0);
  a.SetI1(-128);
  EXPECT_EQ(a.Intern()->nDecremente(), 1);
  EXPECT_EQ(ReadArea<int8_t>(a), 127);
  a.SetI8(INT64_MAX);
  EXPECT_EQ(a.Intern()->nIncremente(), 0);
  a.SetUI8(UINT64_MAX);
  EXPECT_EQ(a.Intern()->nIncremente(), 0);
  a.SetUI8(INT64_MAX);
  EXPECT_EQ(a.Intern()->nIncremente(), 1);
  a.SetR4(3.4028235e38f);
  EXPECT_EQ(a.Intern()->nIncremente(), 0);
  a.__SetType(ZV_DSTRW, 0);
  EXPECT_EQ(a.Intern()->nIncremente(), 105);
}

TEST_F(Any, CurrencyStepsByExactlyOneUnit) {
  CAny a;
  a.__SetType(ZV_CY, 0);
  // 2^60 + 1 millionths: not representable as a double.
  const uint64_t big = (1ULL << 60) + 1;
  memcpy(a.pGetValueArea(), &big, 8);
  EXPECT_EQ(a.Intern()->nIncremente(), 0);
  EXPECT_EQ(ReadArea<uint64_t>(a), big + 1000000);
  EXPECT_EQ(a.Intern()->nDecremente(), 0);
  EXPECT_EQ(a.Intern()->nDecremente(), 0);
  EXPECT_EQ(ReadArea<uint64_t>(a), big - 1000000);
  a.__SetType(ZV_I4, 0);
  a.__SetType(ZV_CY, 0);
  EXPECT_EQ(a.Intern()->nDecremente(), 0);
  EXPECT_EQ(ReadArea<int64_t>(a), -1000000);
  EXPECT_EQ(ReadArea<uint16_t>(*&a) , 0xBDC0);
  EXPECT_FALSE(a.Intern()->bIsPositive());
}

TEST_F(Any, FixedSetValueForms) {
  CAny a;
  a.SetBOOL(-1);
  const unsigned char two[4] = {1, 2, 3, 4};
  a.SetValueByte(two, 2);
  EXPECT_EQ(ReadArea<uint32_t>(a), 0x0201u);
  a.__SetType(ZV_CARW, 0);
  a.Intern()->SetValueFromANSI("\xe9");
  const wchar_t* w = nullptr;
  ASSERT_EQ(a.Intern()->nGetPCWSTR(&w), 0);
  EXPECT_STREQ(w, L"\u00e9");
  a.__SetType(ZV_CARA, 0);
  a.Intern()->SetValueFromUNICODE(L"\u20ac");
  const char* s = nullptr;
  ASSERT_EQ(a.Intern()->nGetPCASTR(&s), 0);
  EXPECT_STREQ(s, "\x80");
}

TEST_F(Any, InlineDatesAndTimes) {
  CAny a;
  a.SetDATEW(L"202401159");
  const wchar_t* w = nullptr;
  ASSERT_EQ(a.Intern()->nGetPCWSTR(&w), 0);
  EXPECT_STREQ(w, L"20240115");
  EXPECT_EQ(a.SetTIMEA("1234567890"), 0);
  const char* s = nullptr;
  ASSERT_EQ(a.Intern()->nGetPCASTR(&s), 0);
  EXPECT_STREQ(s, "123456789");
  // The useful-data writers write exactly what they report.
  a.SetTIMEW(L"1234");
  unsigned int n = 0;
  ASSERT_EQ(a.Intern()->nGetUtilDataSize(&n), 0);
  EXPECT_EQ(n, 4 * sizeof(wchar_t));
  unsigned char buf[64];
  memset(buf, 0xAB, sizeof buf);
  a.Intern()->nFillUtilDataBuffer(buf);
  EXPECT_EQ(memcmp(buf, L"1234", n), 0);
  EXPECT_EQ(buf[n], 0xAB);
  a.SetDATEA("2024");
  ASSERT_EQ(a.Intern()->nGetUtilDataSize(&n), 0);
  EXPECT_EQ(n, 8u);
  memset(buf, 0xAB, sizeof buf);
  a.Intern()->nFillUtilDataBuffer(buf);
  EXPECT_EQ(memcmp(buf, "2024\0\0\0\0", 8), 0);
  EXPECT_EQ(buf[8], 0xAB);
  a.__SetType(ZV_DATEW, 0);
  a.Intern()->SetValueFromANSI("20241231XY");
  ASSERT_EQ(a.Intern()->nGetPCWSTR(&w), 0);
  EXPECT_STREQ(w, L"20241231");
}

TEST_F(Any, DynamicStringsAreShared) {
  CAny a;
  a.__SetType(ZV_DSTRW, 0);
  a.SetValueByte(L"abc", 3 * sizeof(wchar_t));
  CAny b(a);
  const wchar_t* pa = nullptr;
  const wchar_t* pb = nullptr;
  a.Intern()->nGetPCWSTR(&pa);
  b.Intern()->nGetPCWSTR(&pb);
  EXPECT_EQ(pa, pb);
  EXPECT_TRUE(CBaseStrMem::s_bIsShared(pa));
  EXPECT_EQ(b.nUnshare(), 0);
  b.Intern()->nGetPCWSTR(&pb);
  EXPECT_NE(pa, pb);
  EXPECT_STREQ(pb, L"abc");
  EXPECT_FALSE(CBaseStrMem::s_bIsShared(pa));

  CAny c;
  c.__SetType(ZV_DSTRA, 0);
  c.SetValueByte("hello", 0xFFFFFFFFu);
  CAny d(c);
  ASSERT_EQ(d.nUnshare(), 0);
  const char* sc = nullptr;
  const char* sd = nullptr;
  c.Intern()->nGetPCASTR(&sc);
  d.Intern()->nGetPCASTR(&sd);
  EXPECT_NE(sc, sd);
  const_cast<char*>(sd)[0] = 'J';
  EXPECT_STREQ(sc, "hello");
  unsigned int n = 0;
  c.Intern()->nGetDataSize(&n);
  EXPECT_EQ(n, 6u);
}

TEST_F(Any, NarrowTextIntoWideStringKeepsNoTerminator) {
  CAny a;
  a.__SetType(ZV_DSTRW, 0);
  a.Intern()->SetValueFromANSI("caf\xe9");
  unsigned int n = 0;
  ASSERT_EQ(a.Intern()->nGetSTRLEN(&n), 0);
  EXPECT_EQ(n, 4u);
  const wchar_t* w = nullptr;
  a.Intern()->nGetPCWSTR(&w);
  EXPECT_STREQ(w, L"caf\u00e9");
  a.Intern()->SetValueFromANSI_CP(1252, "x");
  a.Intern()->nGetSTRLEN(&n);
  EXPECT_EQ(n, 1u);
}

TEST_F(Any, PlainTextsAndBinaries) {
  CAny a;
  a.__SetType(ZV_PSTRW, 0);
  a.SetValueByte(L"abcdef", 10);
  const wchar_t* w = nullptr;
  a.Intern()->nGetPCWSTR(&w);
  EXPECT_STREQ(w, L"ab");
  // Setting the value from its own text.
  a.Intern()->SetValue(w);
  a.Intern()->nGetPCWSTR(&w);
  EXPECT_STREQ(w, L"ab");
  a.Intern()->SetValueFromANSI("\xe9t\xe9");
  a.Intern()->nGetPCWSTR(&w);
  EXPECT_STREQ(w, L"\u00e9t\u00e9");
  CAny b(a);
  const wchar_t* wb = nullptr;
  b.Intern()->nGetPCWSTR(&wb);
  EXPECT_NE(w, wb);
  EXPECT_STREQ(wb, w);
  a.__SetType(ZV_PSTRA, 0);
  a.Intern()->SetValueOption("xy", 5, 1);
  const char* s = nullptr;
  a.Intern()->nGetPCASTR(&s);
  EXPECT_STREQ(s, "xy");

  const unsigned char bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  a.SetBIN(bytes, 7);
  CAny c(a);
  EXPECT_EQ(c.nCastFrom_BIN_DUREE_To_DUREE(), 104);
  EXPECT_EQ(c.wGetType(), ZV_BIN);
  a.SetBIN(bytes, 8);
  EXPECT_EQ(a.nCastFrom_BIN_DATEHEURE_To_DATEHEURE(), 0);
  EXPECT_EQ(a.wGetType(), ZV_DATETIME);
  EXPECT_EQ(memcmp(a.pGetValueArea(), bytes, 8), 0);
}

TEST_F(Any, HostObjectsHoldOneReference) {
  HostObject obj;
  HostCounted counted;
  {
    CAny a;
    a.__SetType(ZV_OBJET_142, 0);
    void* p = &obj;
    a.SetValueByte(&p, 8);
    EXPECT_EQ(obj.nRef, 2);
    a.SetNull(true);
    CAny b(a);
    EXPECT_EQ(b.wGetTypeWord(), ZV_OBJET_BASE);
    EXPECT_EQ(obj.nRef, 3);
    CAny c;
    c.__SetType(ZV_POLICE, 0);
    void* q = &counted;
    c.SetValueByte(&q, 8);
    CAny d(c);
    EXPECT_EQ(counted.m_nRef, 3);
  }
  EXPECT_EQ(obj.nRef, 1);
  EXPECT_EQ(counted.m_nRef, 1);
}

TEST_F(Any, ArraysOfValues) {
  CAny src[3];
  src[0].SetI4(1);
  src[1].__SetType(ZV_DSTRA, 0);
  src[1].SetValueByte("two", 3);
  src[2].__SetType(ZV_PSTRW, 0);
  src[2].SetValueByte(L"three", 5 * sizeof(wchar_t));
  CAny t;
  t.__SetType(ZV_TABANY, 0);
  t.SetValueByte(src, 3);
  unsigned int n = 0;
  ASSERT_EQ(t.Intern()->nGetDataSize(&n), 0);
  EXPECT_EQ(n, 3u);
  // Setting a new array frees the old one, also when the source lies in it.
  const STTabAny tab = ReadArea<STTabAny>(t);
  t.SetValueByte(&tab.pTab[1], 2);
  const STTabAny now = ReadArea<STTabAny>(t);
  ASSERT_EQ(now.nCount, 2u);
  const char* s = nullptr;
  now.pTab[0].Intern()->nGetPCASTR(&s);
  EXPECT_STREQ(s, "two");
  // Copying an element of its own array into the value.
  t = now.pTab[1];
  EXPECT_EQ(t.wGetType(), ZV_PSTRW);
  CAny nested;
  nested.__SetType(ZV_TABANY, 0);
  nested.SetValueByte(src, 3);
  CAny copy(nested);
  EXPECT_EQ(ReadArea<STTabAny>(copy).pTab[2].wGetType(), ZV_PSTRW);
}

TEST_F(Any, DecimalsThroughTheFactory) {
  CAny a;
  a.__SetType(ZV_DECIMAL, 0);
  ASSERT_EQ(a.__nCastTo(ZV_I4, nullptr, 0), 0);
  a.SetI4(-42);
  ASSERT_EQ(a.__nCastTo(ZV_DECIMAL, nullptr, 1), 0);
  EXPECT_FALSE(a.Intern()->bIsPositive());
  CAny b(a);
  ASSERT_EQ(b.__nCastTo(ZV_I8, nullptr, 1), 0);
  EXPECT_EQ(ReadArea<int64_t>(b), -42);
  unsigned char form[18];
  EXPECT_EQ(a.Intern()->nFillDataBuffer(form), 0);
}

TEST_F(Any, CastsThroughTheVM) {
  CAny a;
  a.SetR8(2.5);
  EXPECT_EQ(a.__nCastTo(ZV_R8, nullptr, 0), 0);
  EXPECT_LT(a.__nCastTo(ZV_I4, nullptr, 1), 100);
  EXPECT_EQ(a.wGetType(), ZV_I4);
  EXPECT_EQ(ReadArea<int32_t>(a), 3);
  a.SetNull(true);
  ASSERT_EQ(a.__nCastTo(ZV_PSTRW, nullptr, 1), 0);
  EXPECT_TRUE(a.bIsNull());
  const wchar_t* w = nullptr;
  ASSERT_EQ(a.__nCastToString(&w, nullptr), 0);
  EXPECT_STREQ(w, L"3");
  ASSERT_EQ(a.__nCastTo(ZV_UI1, nullptr, 1), 0);
  EXPECT_EQ(ReadArea<uint8_t>(a), 3);
  a.SetI4(1000);
  EXPECT_GT(a.__nCastTo(ZV_UI1, nullptr, 1), 99);
  EXPECT_EQ(a.wGetType(), ZV_I4);
  a.__SetType(ZV_PSTRA, 0);
  a.SetValueByte("20240115", 8);
  ASSERT_EQ(a.__nCastTo(ZV_DATEW, nullptr, 1), 0);
  a.Intern()->nGetPCWSTR(&w);
  EXPECT_STREQ(w, L"20240115");
}

TEST_F(Any, WideTextIntoAnsiString) {
  CAny a;
  STOCAW opt{1252};
  ASSERT_EQ(a.__nSetString(L"\u00e9t\u00e9", 3, &opt), 0);
  EXPECT_EQ(a.wGetTypeWord(), ZV_DSTRA);
  const char* s = nullptr;
  a.Intern()->nGetPCASTR(&s);
  EXPECT_STREQ(s, "\xe9t\xe9");
}

TEST_F(Any, TextIntoDynamicStrings) {
  CAny a;
  a.__SetType(ZV_DSTRW, 0);
  a.SetValueByte(L"abc", 3 * sizeof(wchar_t));
  CXYString<wchar_t> w;
  ASSERT_EQ(a.__nFillString(w, nullptr), 0);
  const wchar_t* pa = nullptr;
  a.Intern()->nGetPCWSTR(&pa);
  EXPECT_EQ(w.pGetData(), pa);
  a.SetTIMEW(L"1230");
  ASSERT_EQ(a.__nFillString(w, nullptr), 0);
  EXPECT_STREQ(w.pszGet(), L"1230");
  CXYString<char> s;
  a.SetDATEA("20240115");
  ASSERT_EQ(a.__nFillString(s, nullptr), 0);
  EXPECT_STREQ(s.pszGet(), "20240115");
  a.SetDATEA("");
  ASSERT_EQ(a.__nFillString(s, nullptr), 0);
  EXPECT_EQ(s.pGetData(), nullptr);

  alignas(8) unsigned char out[40] = {};
  ASSERT_EQ(CAny::__s_nCastTo(out, L"-17", ZV_I4, nullptr), 0);
  int32_t n = 0;
  memcpy(&n, out, 4);
  EXPECT_EQ(n, -17);
}

namespace {

const wchar_t* WideText(const CAny& a) {
  const wchar_t* p = nullptr;
  return a.Intern()->nGetPCWSTR(&p) == 0 ? p : nullptr;
}

}  // namespace

TEST_F(Any, WideTextsFromUTF16) {
  // "é", a pair for U+1F600, "z": four units, three characters.
  const unsigned short units[] = {0xE9, 0xD83D, 0xDE00, 'z'};
  CAny a;
  a.SetI4(5);
  a.SetNull(true);
  ASSERT_EQ(CAny_ZVDSTRW::s_SetFromUTF16(&a, units, 4), 0);
  EXPECT_EQ(a.wGetTypeWord(), ZV_DSTRW);
  EXPECT_STREQ(WideText(a), L"\u00e9\U0001F600z");
  unsigned int n = 0;
  a.Intern()->nGetSTRLEN(&n);
  EXPECT_EQ(n, 3u);

  // A private buffer is reused; a shared one is left to its other holder.
  const wchar_t* before = WideText(a);
  ASSERT_EQ(CAny_ZVDSTRW::s_SetFromUTF16(&a, units + 3, 1), 0);
  EXPECT_EQ(WideText(a), before);
  EXPECT_STREQ(WideText(a), L"z");
  CAny b(a);
  ASSERT_EQ(CAny_ZVDSTRW::s_SetFromUTF16(&b, units, 1), 0);
  EXPECT_STREQ(WideText(a), L"z");
  EXPECT_STREQ(WideText(b), L"\u00e9");
  ASSERT_EQ(CAny_ZVDSTRW::s_SetFromUTF16(&b, units, 0), 0);
  EXPECT_EQ(b.wGetTypeWord(), ZV_DSTRW);
  EXPECT_STREQ(WideText(b), L"");
  EXPECT_EQ(reinterpret_cast<const CXYString<wchar_t>*>(b.pGetValueArea())->pGetData(), nullptr);

  // The owned text form: n < 1 keeps whatever the value was.
  CAny c;
  c.SetI4(7);
  CAny_ZVPSTRW::s_SetFromUTF16(&c, units, 0);
  EXPECT_EQ(c.wGetTypeWord(), ZV_I4);
  CAny_ZVPSTRW::s_SetFromUTF16(&c, units, 4);
  EXPECT_EQ(c.wGetTypeWord(), ZV_PSTRW);
  EXPECT_STREQ(WideText(c), L"\u00e9\U0001F600z");
  CAny_ZVPSTRW::s_SetFromUTF16(&c, units + 3, 1);
  EXPECT_STREQ(WideText(c), L"z");

  // The character form keeps the first character, a pair joined.
  CAny d;
  CAny_ZVCARW::s_SetFromUTF16(&d, units + 1, 3);
  EXPECT_EQ(d.wGetTypeWord(), ZV_CARW);
  EXPECT_EQ(ReadArea<wchar_t>(d), 0x1F600);
  CAny_ZVCARW::s_SetFromUTF16(&d, units, 1);
  EXPECT_EQ(ReadArea<wchar_t>(d), 0xE9);
  CAny_ZVCARW::s_SetFromUTF16(&d, units, 0);
  EXPECT_EQ(ReadArea<wchar_t>(d), 0);
}

TEST_F(Any, ProcessingInterfaceOfAHostObject) {
  struct Traitement final : IHostTraitement {
    void AddRef() override { ++nRef; }
    void Release() override { --nRef; }
    void* piGetTraitement() override { return &nAnswer; }
    int nRef = 1;
    int nAnswer = 0;
  } obj;
  {
    CAny a;
    EXPECT_EQ(a.piGetTraitement(), nullptr);
    a.__SetType(ZV_TRAITEMENT, 0);
    EXPECT_EQ(a.piGetTraitement(), nullptr);  // no object yet
    void* p = &obj;
    a.SetValueByte(&p, sizeof p);
    EXPECT_EQ(a.piGetTraitement(), &obj.nAnswer);
    a.SetNull(true);
    EXPECT_EQ(a.piGetTraitement(), nullptr);  // the whole type word must be 141
    a.SetNull(false);
    CAny b(a);  // copies are plain object values
    EXPECT_EQ(b.piGetTraitement(), nullptr);
    EXPECT_EQ(obj.nRef, 3);
  }
  EXPECT_EQ(obj.nRef, 1);
}

TEST_F(Any, BinaryFromAnArrayOfValues) {
  CAny vals[4];
  vals[0].SetUI1(0x41);
  vals[1].SetI1(-1);
  vals[2].SetI4(200);
  vals[3].SetUI8(0);
  CZVBIN bin;
  ASSERT_EQ(bin.nAssignInit(STTabAny{vals, 4}), 0);
  ASSERT_EQ(bin.nGetSize(), 4);
  EXPECT_EQ(memcmp(bin.pGetData(), "\x41\xff\xc8\x00", 4), 0);

  // One element that is no byte refuses the whole, allocating nothing.
  CZVBIN other;
  vals[2].SetI4(256);
  EXPECT_EQ(other.nAssignInit(STTabAny{vals, 4}), 115);
  EXPECT_EQ(other.pGetData(), nullptr);
  vals[2].SetI4(1);
  vals[2].SetNull(true);
  EXPECT_EQ(other.nAssignInit(STTabAny{vals, 4}), 115);
  vals[2].SetI2(-1);
  EXPECT_EQ(other.nAssignInit(STTabAny{vals, 4}), 115);

  EXPECT_EQ(bin.nAssignInit(STTabAny{vals, 0}), 0);
  EXPECT_EQ(bin.pGetData(), nullptr);
}

TEST_F(Any, SettersOverTheSameTypeReleaseWhatTheValueHeld) {
  // Wide text into a value that already is an ANSI dynamic string sharing its block.
  CAny a;
  a.__SetType(ZV_DSTRA, 0);
  a.SetValueByte("old", 3);
  CAny b(a);
  const char* shared = nullptr;
  b.Intern()->nGetPCASTR(&shared);
  ASSERT_TRUE(CBaseStrMem::s_bIsShared(shared));
  STOCAW opt{1252};
  ASSERT_EQ(a.__nSetString(L"new", 3, &opt), 0);
  EXPECT_FALSE(CBaseStrMem::s_bIsShared(shared));
  const char* s = nullptr;
  a.Intern()->nGetPCASTR(&s);
  EXPECT_STREQ(s, "new");
  EXPECT_STREQ(shared, "old");

  // An array taken over by an array value: the array it had goes, its own array stays.
  HostObject obj;
  void* p = &obj;
  CAny* first = static_cast<CAny*>(malloc(sizeof(CAny)));
  new (first) CAny();
  first->__SetType(ZV_DINO, 0);
  first->SetValueByte(&p, sizeof p);
  CAny t;
  CAny_ZVTABANY::s_SetDirect(&t, STTabAny{first, 1});
  EXPECT_EQ(obj.nRef, 2);
  t.SetNull(true);
  CAny_ZVTABANY::s_SetDirect(&t, STTabAny{first, 1});
  EXPECT_EQ(obj.nRef, 2);
  EXPECT_EQ(t.wGetTypeWord(), ZV_TABANY);
  CAny* second = static_cast<CAny*>(malloc(2 * sizeof(CAny)));
  new (&second[0]) CAny();
  new (&second[1]) CAny();
  second[1].SetI4(9);
  CAny_ZVTABANY::s_SetDirect(&t, STTabAny{second, 2});
  EXPECT_EQ(obj.nRef, 1);
  unsigned int n = 0;
  ASSERT_EQ(t.Intern()->nGetDataSize(&n), 0);
  EXPECT_EQ(n, 2u);
}

TEST_F(Any, ReservedTextsCountCharacters) {
  CAny a;
  a.__SetType(ZV_PSTRW, 0);
  a.Intern()->SetValueOption(L"abcdefgh", 5, 1);
  const wchar_t* w = nullptr;
  a.Intern()->nGetPCWSTR(&w);
  EXPECT_STREQ(w, L"abcde");
  // The caller fills the reserved room: all 5 characters and the terminator are there.
  wmemcpy(const_cast<wchar_t*>(w), L"vwxyz", 5);
  EXPECT_EQ(w[5], L'\0');
  a.Intern()->SetValueOption(L"abcdefgh", 3, 0);
  a.Intern()->nGetPCWSTR(&w);
  EXPECT_STREQ(w, L"abc");
  a.Intern()->SetValueOption(nullptr, 4, 1);
  a.Intern()->nGetPCWSTR(&w);
  EXPECT_EQ(wmemcmp(w, L"\0\0\0\0", 5), 0);

  // A size whose room would wrap around reserves nothing.
  CAny b;
  b.__SetType(ZV_PSTRA, 0);
  b.Intern()->SetValueOption("abc", 0xFFFFFFFFu, 1);
  const char* s = nullptr;
  b.Intern()->nGetPCASTR(&s);
  EXPECT_STREQ(s, "");
  unsigned int n = 9;
  b.Intern()->nGetSTRLEN(&n);
  EXPECT_EQ(n, 0u);
}

TEST_F(Any, TextSettersWithoutAConversionShareAnotherString) {
  // The one-argument forms, ANSI or UNICODE, with a code page or not, take another value's string
  // or binary; only the wide string converts narrow text (checked above).
  using Form = void (*)(CAny_Intern*, const void*);
  const Form forms[] = {
      [](CAny_Intern* i, const void* p) { i->SetValueFromANSI(p); },
      [](CAny_Intern* i, const void* p) { i->SetValueFromANSI_CP(65001, p); },
      [](CAny_Intern* i, const void* p) { i->SetValueFromUNICODE(p); },
      [](CAny_Intern* i, const void* p) { i->SetValueFromUNICODE_CP(65001, p); },
  };
  for (const unsigned short code : {ZV_DSTRA, ZV_BIN, ZV_DSTRW}) {
    CAny src;
    src.__SetType(code, 0);
    src.SetValueByte(L"abcd", 4 * sizeof(wchar_t));
    const void* block = ReadArea<void*>(src);
    for (size_t f = 0; f < std::size(forms); ++f) {
      if (code == ZV_DSTRW && f < 2) continue;
      CAny a;
      a.__SetType(code, 0);
      forms[f](a.Intern(), src.pGetValueArea());
      EXPECT_EQ(ReadArea<void*>(a), block) << code << " form " << f;
      EXPECT_TRUE(CBaseStrMem::s_bIsShared(block)) << code << " form " << f;
    }
  }
  // The counted forms copy n bytes of a plain text.
  CAny a;
  a.__SetType(ZV_DSTRA, 0);
  a.Intern()->SetValueFromANSI_CP(65001, "abcdef", 3);
  const char* s = nullptr;
  a.Intern()->nGetPCASTR(&s);
  EXPECT_STREQ(s, "abc");
  a.Intern()->SetValueFromANSI("xyz", 0xFFFFFFFFu);
  a.Intern()->nGetPCASTR(&s);
  EXPECT_STREQ(s, "xyz");
}
