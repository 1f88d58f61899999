// The variant value and its type classes: typing, copying and releasing, the typed setters and
// getters, increments, shared and owned texts, host objects and arrays.
#include "values/any.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <tuple>
#include <utility>
#include <vector>

#include "common/xystring.h"
#include "common/zvbin.h"
#include "values/idecimal.h"
#include "tests/support/any_test_values.h"

namespace {

using Any = AnyTest;
using ZVArea::Get;

// A value of code whose value area starts with the 8 bytes of bits.
CAny Raw(unsigned short code, uint64_t bits) {
  CAny a;
  a.__SetType(code, 0);
  memcpy(a.pGetValueArea(), &bits, sizeof bits);
  return a;
}
template <typename T>
uint64_t Bits(T v) {
  uint64_t b = 0;
  memcpy(&b, &v, sizeof v);
  return b;
}

}  // namespace

TEST_F(Any, EveryTypeIsCopiedAloneWithItsFlags) {
  for (unsigned short code : kAllCodes) {
    CAny a, copy = FromText(ZV_PSTRW, L"old");
    a.__SetType(code, 0);  // the value a type change leaves, or a sample when the type has a text
    for (const Sample& s : kSamples)
      if (s.code == code) a = FromText(code, s.text);
    a.SetFlags(ZV_FLAGS);
    const std::string before = Whole(a);
    copy = a;
    // Host objects with add-reference and release copy without flags, 141 as the base code.
    const bool bObject = code == ZV_OBJET_BASE || code == ZV_TRAITEMENT || code == ZV_DINO;
    const unsigned short base = code == ZV_TRAITEMENT ? uint16_t{ZV_OBJET_BASE} : code;
    EXPECT_EQ(copy.wGetTypeWord(), base | (bObject ? 0 : ZV_FLAGS)) << code;
    EXPECT_EQ(Whole(copy).substr(sizeof(CAny)), before.substr(sizeof(CAny))) << code;
    // Changing the copy leaves the source alone, shared blocks included.
    copy.__nCastTo(code == ZV_DSTRW ? ZV_PSTRA : ZV_DSTRW, nullptr, 1);
    EXPECT_EQ(Whole(a), before) << code;
  }
}

// A number assigned over any value ends, byte for byte, as the type object's own copy makes it:
// its flags, its width's bytes and zeros after them, whatever the source's area held past them;
// also through AssignLike, in line over a value of its own type (flags set or not).
TEST_F(Any, NumbersAssignedEndAsTheirTypeCopiesThem) {
  const unsigned short codes[] = {ZV_BOOL, ZV_UI1, ZV_UI2, ZV_UI4, ZV_UI8, ZV_I1,  ZV_I2,
                                  ZV_I4,   ZV_I8,  ZV_R4,  ZV_R8,  ZV_UIX, ZV_CY, ZV_DATETIME};
  for (unsigned short code : codes) {
    for (unsigned short flags : {uint16_t{0}, ZV_FLAG_NULL, ZV_FLAGS}) {
      CAny source;
      source.__SetType(code, 0);
      // Bytes in the whole area, past the type's width too.
      for (unsigned int i = 0; i < ZV_VALUE_SIZE; ++i) source.pGetValueArea()[i] = static_cast<unsigned char>(0xA1 + i);
      source.SetFlags(flags);
      CAny want;
      want.__SetType(code, 0);
      source.Intern()->Duplique(&want);
      CAny own = Raw(code, ~uint64_t{0}), ownFlagged = Raw(code, 0);
      ownFlagged.SetFlags(ZV_FLAGS);
      const CAny targets[] = {CAny(), FromText(ZV_DSTRW, L"a text of its own"), FromText(ZV_I4, L"9", ZV_FLAG_NULL),
                              FromText(ZV_DECIMAL, L"12.5"), FromText(code == ZV_I8 ? ZV_R8 : ZV_I8, L"-1"),
                              own, ownFlagged};
      for (const CAny& target : targets) {
        CAny assigned(target), like(target);
        assigned = source;
        like.AssignLike(source);
        EXPECT_EQ(Whole(assigned), Whole(want)) << code << " " << flags << " over " << target.wGetType();
        EXPECT_EQ(Whole(like), Whole(want)) << code << " " << flags << " like over " << target.wGetType();
      }
      CAny self(source);
      self.AssignLike(self);
      EXPECT_EQ(Whole(self), Whole(want)) << code << " " << flags << " over itself";
    }
  }
}

TEST_F(Any, TypingRules) {
  const struct {
    unsigned short set, word;
    const wchar_t* text;  // the initial text of a text type
  } cases[] = {{15, ZV_I4, L"-"}, {20, ZV_VIDE, L"-"}, {200, ZV_VIDE, L"-"}, {ZV_TIMEW, ZV_TIMEW, L"000000000"},
               {ZV_DATEW, ZV_DATEW, L""}, {ZV_TIMEA, ZV_TIMEA, L"000000000"}, {ZV_DATEA, ZV_DATEA, L""}};
  for (const auto& c : cases) {
    CAny a;
    a.__SetType(c.set, 0);
    EXPECT_EQ(a.wGetTypeWord(), c.word) << c.set;
    EXPECT_EQ(ClassText(a), c.text) << c.set;
  }
  // The same code over a NULL value still releases and re-initialises it.
  CAny a = FromText(ZV_I4, L"5", ZV_FLAG_NULL);
  a.__SetType(ZV_I4, 0);
  EXPECT_EQ(Whole(a), Whole(Raw(ZV_I4, 0)));
}

TEST_F(Any, TypedGetters) {
  enum Getter { kByte, kInt, kInt64, kBits, kReal };
  const struct {
    CAny value;
    Getter getter;
    int rc;
    uint64_t want;  // the output's bits; a refused byte keeps 7, other refusals clear to 0
  } cases[] = {
      {Raw(ZV_I2, 0xFFFF), kByte, 115, 7},       {Raw(ZV_I1, 0xFF), kByte, 0, 255},
      {Raw(ZV_UI8, 0x100000005), kByte, 115, 7}, {Raw(ZV_UI4, 1), kInt, 105, 0},
      {Raw(ZV_I2, 0xFED4), kInt, 0, Bits(-300)}, {Raw(ZV_UI4, 0xFFFFFFFF), kInt64, 0, 0xFFFFFFFF},
      {Raw(ZV_UIX, 1), kInt64, 105, 0},          {Raw(ZV_I4, 0xFFFFFFFE), kBits, 0, ~1ULL},
      {Raw(ZV_BOOL, 3), kBits, 105, 0},          {Raw(ZV_R4, Bits(1.5f)), kReal, 0, Bits(1.5)},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const CAny& v = cases[i].value;
    unsigned char b = 7;
    int n = 9;
    long long ll = 9;
    unsigned long long u = 9;
    double d = 9;
    const int rc[] = {v.nGetBYTE(b), v.nGetINT(&n), v.nGetINT_64(&ll), v.nGetBitField_64(u), v.nGetREAL(&d)};
    const uint64_t got[] = {b, Bits(n), Bits(ll), u, Bits(d)};
    EXPECT_EQ(rc[cases[i].getter], cases[i].rc) << i;
    EXPECT_EQ(got[cases[i].getter], cases[i].want) << i;
  }
  double d = 0;  // a flag in the type word refuses like a wrong type
  EXPECT_EQ(FromText(ZV_R8, L"1.5", ZV_FLAG_CARRIED).nGetREAL(&d), 105);
}

TEST_F(Any, IncrementsReportOverflow) {
  // 2^60 + 1 millionths: no double holds it, so a currency step must be exact.
  const uint64_t big = (1ULL << 60) + 1;
  const struct {
    unsigned short code;
    uint64_t bits;
    int step, rc;
    uint64_t want;
  } cases[] = {
      {ZV_UI1, 255, 1, 1, 0}, {ZV_I1, 0x80, -1, 1, 127}, {ZV_I8, INT64_MAX, 1, 0, 1ULL << 63},
      {ZV_UI8, UINT64_MAX, 1, 0, 0}, {ZV_UI8, INT64_MAX, 1, 1, 1ULL << 63}, {ZV_UIX, INT32_MAX, 1, 1, 0x80000000u},
      {ZV_R4, Bits(3.4028235e38f), 1, 0, Bits(3.4028235e38f)}, {ZV_CY, big, 1, 0, big + 1000000},
      {ZV_CY, big, -1, 0, big - 1000000}, {ZV_CY, 0, -1, 0, static_cast<uint64_t>(-1000000)}, {ZV_DSTRW, 0, 1, 105, 0},
  };
  for (const auto& c : cases) {
    CAny a = Raw(c.code, c.bits);
    EXPECT_EQ(c.step > 0 ? a.Intern()->nIncremente() : a.Intern()->nDecremente(), c.rc) << c.code;
    EXPECT_EQ(Area<uint64_t>(a), c.want) << c.code;
    if (c.code == ZV_CY) {  // the top 16 bits of 80 follow the sign
      EXPECT_EQ(Get<uint16_t>(a.pGetValueArea() + 8), static_cast<int64_t>(c.want) < 0 ? 0xFFFF : 0);
      EXPECT_EQ(a.Intern()->bIsPositive(), static_cast<int64_t>(c.want) >= 0);
    }
  }
}

TEST_F(Any, ConvertingTextSetters) {
  // Without a code page: 1252 (the wide dynamic string: the host's, 1252 here). The terminator is
  // not part of the text; inline texts keep their 8 (dates) or 9 (times) characters.
  const struct {
    unsigned short code;
    const char* ansi;  // else the wide text
    const wchar_t* wide;
    const wchar_t* want;
  } cases[] = {{ZV_CARW, "\xe9", nullptr, L"\u00e9"},           {ZV_CARA, nullptr, L"\u20ac", L"\x80"},
               {ZV_DSTRW, "caf\xe9", nullptr, L"caf\u00e9"},     {ZV_PSTRW, "\xe9t\xe9", nullptr, L"\u00e9t\u00e9"},
               {ZV_DATEW, "20241231XY", nullptr, L"20241231"}, {ZV_TIMEA, nullptr, L"123456789XY", L"123456789"}};
  for (const auto& c : cases) {
    CAny a;
    a.__SetType(c.code, 0);
    c.ansi != nullptr ? a.Intern()->SetValueFromANSI(c.ansi) : a.Intern()->SetValueFromUNICODE(c.wide);
    EXPECT_EQ(ClassText(a), c.want) << c.code;
  }
  CAny a = Raw(ZV_BOOL, 0xFFFFFFFF);  // two bytes of four: the others are zeroed
  a.SetValueByte("\1\2\3\4", 2);
  EXPECT_EQ(Area<uint32_t>(a), 0x0201u);
}

TEST_F(Any, ByteSetterNeverReadsPastItsLength) {
  // The bytes past the length given are 0xEE: none may reach the value, which is zero-filled
  // instead. size: the class's bytes; unit: the width of its characters.
  const struct { unsigned short code; unsigned int size, unit = 1; } kRows[] = {
      {ZV_BOOL, 4},     {ZV_UI1, 1},  {ZV_UI2, 2},   {ZV_UI4, 4},   {ZV_UI8, 8},      {ZV_I1, 1},
      {ZV_I2, 2},       {ZV_I4, 4},   {ZV_I8, 8},    {ZV_CY, 10},   {ZV_R4, 4},       {ZV_R8, 8},
      {ZV_UIX, 4},      {ZV_CARA, 1}, {ZV_CARW, 4},  {ZV_DATETIME, 8}, {ZV_DUREE, 8}, {ZV_DATEA, 8},
      {ZV_TIMEA, 9},    {ZV_DATEW, 32, 4}, {ZV_TIMEW, 36, 4}};
  for (const auto& row : kRows) {
    for (unsigned int n : {0u, row.size / 2, row.size + 3}) {
      std::vector<uint8_t> source(64, 0xEE);
      memset(source.data(), 0x11, n);
      CAny a;
      a.__SetType(row.code, 0);
      a.SetValueByte(source.data(), n);
      unsigned int size = 0;
      ASSERT_EQ(a.Intern()->nGetDataSize(&size), 0);
      std::vector<uint8_t> got(size, 0), want(size, 0);
      a.Intern()->nFillDataBuffer(got.data());
      memset(want.data(), 0x11, std::min(n, row.size) / row.unit * row.unit);
      EXPECT_EQ(got, want) << row.code << " " << n;
    }
  }
  // A decimal's 18-byte form: precision, scale, then the value (12345 at scale 2).
  const uint8_t form[] = {5, 2, 0x39, 0x30, 0, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
  for (unsigned int n : {0u, 2u, 5u}) {
    CAny a;
    a.__SetType(ZV_DECIMAL, 0);
    a.SetValueByte(form, n);
    std::vector<uint8_t> got(IDecimal::kFormSize, 0), want(IDecimal::kFormSize, 0);
    a.Intern()->nFillDataBuffer(got.data());
    memcpy(want.data(), form, n);
    EXPECT_EQ(got, want) << n;
  }
}

TEST_F(Any, InlineDatesAndTimesKeepTheirLength) {
  CAny a, d;
  a.SetDATEW(L"202401159");
  EXPECT_EQ(ClassText(a), L"20240115");
  EXPECT_EQ(a.SetTIMEA("1234567890"), 0);
  EXPECT_EQ(ClassText(a), L"123456789");
  // The useful-data writers write exactly what they report: a time its characters, a date 8.
  a.SetTIMEW(L"1234");
  d.SetDATEA("2024");
  for (const auto& [v, want] : {std::pair{&a, std::string("1\0\0\0" "2\0\0\0" "3\0\0\0" "4\0\0\0", 16)},
                                std::pair{&d, std::string("2024\0\0\0\0", 8)}}) {
    unsigned int n = 0;
    std::string buf(64, '#');
    ASSERT_EQ(v->Intern()->nGetUtilDataSize(&n), 0);
    v->Intern()->nFillUtilDataBuffer(buf.data());
    EXPECT_EQ(buf.substr(0, n + 1), want + '#');
  }
}

TEST_F(Any, DynamicStringsAreSharedUntilUnshared) {
  for (const unsigned short code : {ZV_DSTRW, ZV_DSTRA}) {
    CAny a = FromText(code, L"hello"), b(a);
    void* const block = Area<void*>(a);
    EXPECT_EQ(Area<void*>(b), block);
    EXPECT_TRUE(CBaseStrMem::s_bIsShared(block));
    ASSERT_EQ(b.nUnshare(), 0);
    EXPECT_NE(Area<void*>(b), block);
    EXPECT_FALSE(CBaseStrMem::s_bIsShared(block));
    static_cast<char*>(Area<void*>(b))[0] = 'J';  // the private copy, not the other value's text
    EXPECT_EQ(ClassText(a), L"hello");
    EXPECT_EQ(ClassText(b), L"Jello");
  }
}

TEST_F(Any, TextSettersWithoutAConversionShareAnotherString) {
  // Without a conversion of their own, the one-argument forms (ANSI or UNICODE, with a code page
  // or not) take another value's string or binary; the counted forms copy n bytes.
  for (const unsigned short code : {ZV_DSTRA, ZV_BIN, ZV_DSTRW}) {
    const CAny src = FromText(code, L"abcd");
    const void* p = src.pGetValueArea();
    for (int form = code == ZV_DSTRW ? 2 : 0; form < 4; ++form) {
      CAny a;
      a.__SetType(code, 0);
      CAny_Intern* i = a.Intern();
      if (form == 0) i->SetValueFromANSI(p);
      if (form == 1) i->SetValueFromANSI_CP(65001, p);
      if (form == 2) i->SetValueFromUNICODE(p);
      if (form == 3) i->SetValueFromUNICODE_CP(65001, p);
      EXPECT_EQ(Area<void*>(a), Area<void*>(src)) << code << " form " << form;
      EXPECT_TRUE(CBaseStrMem::s_bIsShared(Area<void*>(src))) << code << " form " << form;
    }
  }
  CAny a;
  a.__SetType(ZV_DSTRA, 0);
  a.Intern()->SetValueFromANSI_CP(65001, "abcdef", 3);
  EXPECT_EQ(ClassText(a), L"abc");
  a.Intern()->SetValueFromANSI("xyz", 0xFFFFFFFFu);
  EXPECT_EQ(ClassText(a), L"xyz");
}

TEST_F(Any, OwnedTexts) {
  CAny a;
  a.__SetType(ZV_PSTRW, 0);
  a.SetValueByte(L"abcdef", 10);  // bytes: two characters and a half
  EXPECT_EQ(ClassText(a), L"ab");
  a.Intern()->SetValue(Area<wchar_t*>(a));  // its own text
  EXPECT_EQ(ClassText(a), L"ab");
  CAny b(a);
  EXPECT_NE(Area<wchar_t*>(b), Area<wchar_t*>(a));
  EXPECT_EQ(ClassText(b), L"ab");
  // A reserved text counts characters; the caller fills the room and its terminator is there.
  a.Intern()->SetValueOption(L"abcdefgh", 5, 1);
  EXPECT_EQ(ClassText(a), L"abcde");
  wmemcpy(Area<wchar_t*>(a), L"vwxyz", 5);
  EXPECT_EQ(ClassText(a), L"vwxyz");
  a.Intern()->SetValueOption(L"abcdefgh", 3, 0);
  EXPECT_EQ(ClassText(a), L"abc");
  a.Intern()->SetValueOption(nullptr, 4, 1);
  EXPECT_EQ(wmemcmp(Area<wchar_t*>(a), L"\0\0\0\0", 5), 0);
  // A size whose room would wrap around reserves nothing.
  a.__SetType(ZV_PSTRA, 0);
  a.Intern()->SetValueOption("abc", 0xFFFFFFFFu, 1);
  EXPECT_EQ(Area<char*>(a), nullptr);
}

TEST_F(Any, BinariesReinterpretedOnlyAtEightBytes) {
  const unsigned char bytes[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  for (const unsigned int n : {7u, 9u, 8u}) {
    CAny a, b;
    a.SetBIN(bytes, n);
    b = a;
    const std::string before = Whole(a);
    EXPECT_EQ(a.nCastFrom_BIN_DATEHEURE_To_DATEHEURE(), n == 8 ? 0 : 104);
    EXPECT_EQ(b.nCastFrom_BIN_DUREE_To_DUREE(), n == 8 ? 0 : 104);
    EXPECT_EQ(Whole(a), n == 8 ? Whole(Raw(ZV_DATETIME, Get<uint64_t>(bytes))) : before);
    EXPECT_EQ(Whole(b), n == 8 ? Whole(Raw(ZV_DUREE, Get<uint64_t>(bytes))) : before);
  }
}

TEST_F(Any, HostObjectsHoldOneReference) {
  HostObject obj, other;
  HostCounted counted;
  {
    CAny a, c;
    SetObject(a, ZV_OBJET_142, &obj);
    a.SetNull(true);
    CAny b(a);
    EXPECT_EQ(b.wGetTypeWord(), ZV_OBJET_BASE);
    SetObject(b, ZV_OBJET_BASE, &other);  // the object held is released
    EXPECT_EQ(obj.nRef, 2);
    SetObject(c, ZV_POLICE, &counted);
    CAny d(c);
    EXPECT_EQ(counted.m_nRef, 3);
  }
  EXPECT_EQ(std::tuple(obj.nRef, other.nRef, counted.m_nRef.load()), std::tuple(1, 1, 1));
}

TEST_F(Any, ProcessingInterfaceOnlyOnTheOriginal) {
  struct Traitement final : IHostTraitement {
    void AddRef() override { ++nRef; }
    void Release() override { --nRef; }
    void* piGetTraitement() override { return &nRef; }
    int nRef = 1;
  } obj;
  CAny a, b;
  a.__SetType(ZV_TRAITEMENT, 0);
  EXPECT_EQ(a.piGetTraitement(), nullptr);  // no object yet
  SetObject(a, ZV_TRAITEMENT, &obj);
  EXPECT_EQ(a.piGetTraitement(), &obj.nRef);
  b = a;  // copies are plain object values
  EXPECT_EQ(b.piGetTraitement(), nullptr);
  a.SetNull(true);
  EXPECT_EQ(a.piGetTraitement(), nullptr);  // the whole type word must be 141
}

TEST_F(Any, ArraysOfValues) {
  CAny src[] = {FromText(ZV_I4, L"1"), FromText(ZV_DSTRA, L"two"), FromText(ZV_PSTRW, L"three")}, t;
  t.__SetType(ZV_TABANY, 0);
  t.SetValueByte(src, 3);
  unsigned int n = 0;
  ASSERT_EQ(t.Intern()->nGetDataSize(&n), 0);
  EXPECT_EQ(n, 3u);
  // A new array is built before the old one goes: the source may lie in it.
  t.SetValueByte(&Area<STTabAny>(t).pTab[1], 2);
  ASSERT_EQ(Area<STTabAny>(t).nCount, 2u);
  EXPECT_EQ(ClassText(Area<STTabAny>(CAny(t)).pTab[0]), L"two");
  t = Area<STTabAny>(t).pTab[1];  // an element of its own array
  EXPECT_EQ(ClassText(t), L"three");
  // An array taken over frees the array the value held, unless it is that one.
  HostObject obj;
  auto* tab = new (malloc(sizeof(CAny))) CAny();
  SetObject(*tab, ZV_DINO, &obj);
  CAny_ZVTABANY::s_SetDirect(&t, STTabAny{tab, 1});
  t.SetNull(true);
  CAny_ZVTABANY::s_SetDirect(&t, STTabAny{tab, 1});
  EXPECT_EQ(obj.nRef, 2);
  EXPECT_EQ(t.wGetTypeWord(), ZV_TABANY);
  CAny_ZVTABANY::s_SetDirect(&t, STTabAny{new (malloc(sizeof(CAny))) CAny(), 1});
  EXPECT_EQ(obj.nRef, 1);
}

TEST_F(Any, TextIntoDynamicStrings) {
  CAny a = FromText(ZV_DSTRA, L"old"), b(a);
  const STOCAW opt{1252};
  ASSERT_EQ(a.__nSetString(L"\u00e9t\u00e9", 3, &opt), 0);  // the shared block is released
  EXPECT_EQ(a.wGetTypeWord(), ZV_DSTRA);
  EXPECT_EQ(ClassText(a), L"\u00e9t\u00e9");
  EXPECT_FALSE(CBaseStrMem::s_bIsShared(Area<void*>(b)));
  CXYString<wchar_t> w;
  CXYString<char> s;
  a = FromText(ZV_DSTRW, L"abc");
  ASSERT_EQ(a.__nFillString(w, nullptr), 0);
  EXPECT_EQ(w.pGetData(), Area<void*>(a));  // shared
  a.SetDATEA("20240115");
  ASSERT_EQ(a.__nFillString(w, nullptr), 0);  // through the VM
  ASSERT_EQ(a.__nFillString(s, nullptr), 0);  // copied
  EXPECT_STREQ(w.pszGet(), L"20240115");
  EXPECT_STREQ(s.pszGet(), "20240115");
  a.SetDATEA("");
  ASSERT_EQ(a.__nFillString(s, nullptr), 0);
  EXPECT_EQ(s.pGetData(), nullptr);
  alignas(8) unsigned char out[ZV_VALUE_SIZE] = {};
  ASSERT_EQ(CAny::__s_nCastTo(out, L"-17", ZV_I4, nullptr), 0);
  EXPECT_EQ(Get<int32_t>(out), -17);
}

TEST_F(Any, WideTextsFromUTF16) {
  // "é", a pair for U+1F600, "z": four units, three characters.
  const unsigned short units[] = {0xE9, 0xD83D, 0xDE00, 'z'};
  CAny a = FromText(ZV_I4, L"5", ZV_FLAG_NULL);
  ASSERT_EQ(CAny_ZVDSTRW::s_SetFromUTF16(&a, units, 4), 0);
  EXPECT_EQ(a.wGetTypeWord(), ZV_DSTRW);
  EXPECT_EQ(ClassText(a), L"\u00e9\U0001F600z");
  // A private block is reused; a shared one is left to its other holder.
  void* const before = Area<void*>(a);
  ASSERT_EQ(CAny_ZVDSTRW::s_SetFromUTF16(&a, units + 3, 1), 0);
  EXPECT_EQ(Area<void*>(a), before);
  CAny b(a);
  ASSERT_EQ(CAny_ZVDSTRW::s_SetFromUTF16(&b, units, 1), 0);
  EXPECT_EQ(ClassText(a) + ClassText(b), L"z\u00e9");
  ASSERT_EQ(CAny_ZVDSTRW::s_SetFromUTF16(&b, units, 0), 0);
  EXPECT_EQ(Whole(b), Whole(Raw(ZV_DSTRW, 0)));
  // The owned form: n < 1 keeps whatever the value was; a new text frees the old one.
  CAny_ZVPSTRW::s_SetFromUTF16(&b, units, 0);
  EXPECT_EQ(b.wGetTypeWord(), ZV_DSTRW);
  CAny_ZVPSTRW::s_SetFromUTF16(&b, units, 4);
  CAny_ZVPSTRW::s_SetFromUTF16(&b, units + 1, 3);
  EXPECT_EQ(b.wGetTypeWord(), ZV_PSTRW);
  EXPECT_EQ(ClassText(b), L"\U0001F600z");
  // The character form keeps the first character, a pair joined.
  CAny_ZVCARW::s_SetFromUTF16(&b, units + 1, 3);
  EXPECT_EQ(Whole(b), Whole(Raw(ZV_CARW, 0x1F600)));
  CAny_ZVCARW::s_SetFromUTF16(&b, units, 0);
  EXPECT_EQ(Whole(b), Whole(Raw(ZV_CARW, 0)));
}

TEST_F(Any, BinaryFromAnArrayOfValues) {
  CAny vals[] = {FromText(ZV_UI1, L"65"), FromText(ZV_I1, L"-1"), FromText(ZV_I4, L"200"), FromText(ZV_UI8, L"0")};
  const CAny bad[] = {FromText(ZV_I4, L"256"), FromText(ZV_I4, L"1", ZV_FLAG_NULL), FromText(ZV_I2, L"-1")};
  CZVBIN bin;
  ASSERT_EQ(bin.nAssignInit(STTabAny{vals, 4}), 0);
  ASSERT_EQ(bin.nGetSize(), 4);
  EXPECT_EQ(memcmp(bin.pGetData(), "\x41\xff\xc8\x00", 4), 0);
  // One element that is no byte refuses the whole, allocating nothing.
  for (const CAny& b : bad) {
    vals[2] = b;
    CZVBIN other;
    EXPECT_EQ(other.nAssignInit(STTabAny{vals, 4}), 115);
    EXPECT_EQ(other.pGetData(), nullptr);
  }
  EXPECT_EQ(bin.nAssignInit(STTabAny{vals, 0}), 0);
  EXPECT_EQ(bin.pGetData(), nullptr);
}
