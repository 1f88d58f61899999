// Casts through the stand-in VM: a sample with hand-checked answers, flags kept, a value left byte
// for byte as it was when a cast fails, dynamic strings released exactly, allocation failures.
#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <string>

#include "common/xystring.h"
#include "host/vm_module.h"
#include "tests/support/any_test_values.h"
#include "values/any.h"
#include "values/any_operators.h"

namespace {

using AnyCasts = AnyTest;

const STOCAW kUtf8{65001};

// The value as text: its class's own, else that of a copy cast to DSTRW.
std::wstring Shown(CAny copy) {
  copy.SetFlags(0);
  return ClassText(copy) != L"-" || copy.__nCastTo(ZV_DSTRW, nullptr, 1) == 0 ? ClassText(copy) : L"(no text)";
}

struct Cast {
  unsigned short from;
  const wchar_t* text;  // the source, made by the VM from this text
  unsigned short to;
  int rc;
  const wchar_t* shown = nullptr;  // the result as text (none when refused)
  const char* bytes = nullptr;  // instead of text: the narrow source's bytes
  const STOCAW* options = nullptr;
};

constexpr int kRounded = VM_WARN_ROUNDED, kCut = VM_WARN_TEXT_CUT, kRange = VM_ERR_OVERFLOW,
              kSyntax = VM_ERR_SYNTAX;

const Cast kCasts[] = {
    {ZV_I4, L"42", ZV_I4, 0, L"42"}, {ZV_I4, L"42", ZV_I4BIS, 0, L"42"}, {ZV_I4, L"42", ZV_UI1, 0, L"42"},
    {ZV_I4, L"42", ZV_UI8, 0, L"42"}, {ZV_I4, L"42", ZV_R4, 0, L"42"}, {ZV_I4, L"42", ZV_CY, 0, L"42"},
    {ZV_I4, L"42", ZV_DECIMAL, 0, L"42"}, {ZV_I4, L"42", ZV_BOOL, 0, L"1"}, {ZV_I4, L"42", ZV_DSTRA, 0, L"42"},
    {ZV_I4, L"42", ZV_PSTRW, 0, L"42"}, {ZV_I4, L"42", ZV_PSTRA, 0, L"42"}, {ZV_I4, L"42", ZV_BIN, 0, L"42"},
    {ZV_I4, L"42", ZV_CARW, kCut, L"4"}, {ZV_I4, L"42", ZV_CARA, kCut, L"4"}, {ZV_DSTRW, L"42", ZV_I4, 0, L"42"},
    {ZV_PSTRA, L"42", ZV_UI1, 0, L"42"}, {ZV_DSTRA, L"42", ZV_R8, 0, L"42"}, {ZV_BIN, L"42", ZV_CY, 0, L"42"},
    {ZV_PSTRW, L"42", ZV_DECIMAL, 0, L"42"}, {ZV_R8, L"2.5", ZV_I4, kRounded, L"3"},
    {ZV_R8, L"-2.5", ZV_I4, kRounded, L"-3"}, {ZV_R8, L"-7", ZV_I4, 0, L"-7"}, {ZV_CY, L"-0.5", ZV_I2, kRounded, L"-1"},
    // The most negative integer has no positive twin: its text must not go through one.
    {ZV_I8, L"-9223372036854775808", ZV_DSTRW, 0, L"-9223372036854775808"},
    {ZV_I8, L"-9223372036854775808", ZV_DECIMAL, 0, L"-9223372036854775808"},
    {ZV_I4, L"300", ZV_I1, kRange}, {ZV_I4, L"-1", ZV_UI4, kRange}, {ZV_UI8, L"18446744073709551615", ZV_I8, kRange},
    {ZV_R8, L"1e300", ZV_R4, kRange},
    // Reals from texts whose digits lie beyond what the exact reading keeps.
    {ZV_DSTRW, L"1e-300", ZV_R8, 0, L"1e-300"}, {ZV_PSTRW, L"-2.5e-80", ZV_R8, 0, L"-2.5e-80"},
    {ZV_PSTRW, L"1e-40", ZV_R4, 0, L"1e-40"}, {ZV_PSTRW, L"1e-400", ZV_R8, 0, L"0"},
    {ZV_DSTRW, L"-1e39", ZV_R4, kRange}, {ZV_DSTRW, L"3.4028236e38", ZV_R4, kRange},
    {ZV_DSTRW, L"3.4028235e38", ZV_R4, kRounded, L"3.4028235e+38"},
    // A narrow text cut inside its last character keeps the characters before it.
    {ZV_DSTRA, nullptr, ZV_DSTRW, 0, L"caf\u00e9 ", "caf\xc3\xa9 \xe2\x82", &kUtf8},
    {ZV_PSTRA, nullptr, ZV_I4, 0, L"12", "12\xe2\x82", &kUtf8},
    {ZV_DATETIME, L"20240229123456789", ZV_DATEW, 0, L"20240229"},
    {ZV_DATETIME, L"20240229123456789", ZV_TIMEA, 0, L"123456789"},
    {ZV_DATETIME, L"20240229123456789", ZV_DSTRW, 0, L"20240229123456789"},
    {ZV_DATEW, L"20240229", ZV_DATETIME, 0, L"20240229000000000"}, {ZV_DSTRW, L"20230229", ZV_DATEW, kSyntax},
    {ZV_DUREE, L"1010101001", ZV_I8, 0, L"90061001"}, {ZV_PSTRW, L"abc", ZV_I4, kSyntax},
    {ZV_DSTRA, L"42abc", ZV_R8, kSyntax}, {ZV_DSTRW, L"4 2", ZV_CY, kSyntax}, {ZV_PSTRA, L"--1", ZV_DECIMAL, kSyntax},
    {ZV_DSTRW, L".", ZV_UI8, kSyntax},
};

}  // namespace

TEST_F(AnyCasts, SampleWithFlagsKeptAndFailuresChangingNothing) {
  for (const Cast& c : kCasts) {
    for (const unsigned short wFlags : {uint16_t{0}, ZV_FLAG_NULL, ZV_FLAGS}) {
      CAny a = FromText(c.from, c.text != nullptr ? c.text : L"", wFlags);
      if (c.bytes != nullptr) a.SetValueByte(c.bytes, static_cast<unsigned int>(strlen(c.bytes)));
      a.SetFlags(wFlags);
      const std::string before = Whole(a), where = std::to_string(c.from) + " to " + std::to_string(c.to);
      EXPECT_EQ(a.__nCastTo(c.to, c.options, 0), c.rc) << where;
      if (c.rc > 99 || c.to == c.from) {
        EXPECT_EQ(Whole(a), before) << where;
        continue;
      }
      EXPECT_EQ(a.wGetTypeWord(), (c.to == ZV_I4BIS ? uint16_t{ZV_I4} : c.to) | wFlags) << where;
      EXPECT_EQ(Shown(a), c.shown) << where;
    }
  }
}

TEST_F(AnyCasts, ObjectsAndArraysConvertToNothingAndKeepTheirReferences) {
  HostObject object;
  CAny o, t;
  SetObject(o, ZV_OBJET_BASE, &object);
  t.__SetType(ZV_TABANY, 0);
  t.SetValueByte(&o, 1);
  for (CAny* v : {&o, &t}) {
    const std::string before = Whole(*v);
    for (const unsigned short to : {ZV_DSTRW, ZV_I4, ZV_BIN, ZV_TRAITEMENT}) {
      EXPECT_GT(v->__nCastTo(to, nullptr, 1), 99) << v->wGetType() << " to " << to;
      EXPECT_EQ(Whole(*v), before) << to;
    }
  }
  EXPECT_EQ(object.nRef, 3);
}

TEST_F(AnyCasts, DynamicStringsOfCastsAndConcatenationAreHeldExactly) {
  {
    CAny a = FromText(ZV_I4, L"42"), b, s, x = FromText(ZV_DSTRA, L"x");
    for (const unsigned short to : {ZV_DSTRW, ZV_DSTRA, ZV_BIN, ZV_DSTRW, ZV_PSTRW, ZV_DSTRA}) {
      ASSERT_EQ(a.__nCastTo(to, nullptr, 0), 0) << to;
      EXPECT_EQ(nLive(), to == ZV_PSTRW ? 1 : 2) << to;
      // The VM's block is taken with its one reference, not shared with a reference left over.
      EXPECT_FALSE(to != ZV_PSTRW && CBaseStrMem::s_bIsShared(Area<void*>(a))) << to;
    }
    b = a;
    const wchar_t* w = nullptr;
    ASSERT_EQ(b.__nCastToString(&w, nullptr), 0);  // a DSTRA has no wide text: cast to DSTRW
    EXPECT_STREQ(w, L"42");
    EXPECT_FALSE(CBaseStrMem::s_bIsShared(Area<void*>(a)));
    EXPECT_EQ(nLive(), 3);
    ASSERT_EQ(nAjoute(b, b, &b, 0), 0);  // the result replaces an operand: its old block goes
    EXPECT_EQ(ClassText(b), L"4242");
    EXPECT_EQ(nLive(), 3);
    for (int i = 0; i < 50; ++i) ASSERT_EQ(nAjoute(s, x, &s, 0), 0);
    EXPECT_EQ(s.wGetTypeWord(), ZV_DSTRA);
    EXPECT_EQ(ClassText(s), std::wstring(50, L'x'));
    ASSERT_EQ(nAjoute(a, x, nullptr, 0), 0);  // no taker: the host frees what it made
    EXPECT_EQ(nLive(), 4);
  }
  EXPECT_EQ(nLive(), 0);
}

TEST_F(AnyCasts, AllocationFailureIsAnErrorAndChangesNothing) {
  const Sample sources[] = {{ZV_I4, L"42"}, {ZV_PSTRW, L"caf\u00e9"}, {ZV_DSTRW, L"abc"}, {ZV_BIN, L"xyz"}};
  CAny a, b = FromText(ZV_DSTRW, L"cd"), r = FromText(ZV_I4, L"5");
  for (const Sample& s : sources) {
    for (const unsigned short to : {ZV_DSTRW, ZV_DSTRA, ZV_BIN}) {
      a = FromText(s.code, s.text, ZV_FLAG_CARRIED);
      const std::string before = Whole(a);
      const long live = nLive();
      CHostServices::Instance().FailNextAllocations(1);
      EXPECT_EQ(a.__nCastTo(to, nullptr, 0), s.code == to ? 0 : CHostStrMemAlloc::kErrNoMemory) << s.code << to;
      CHostServices::Instance().FailNextAllocations(0);
      EXPECT_EQ(Whole(a), before);
      EXPECT_EQ(nLive(), live);
    }
  }
  a = FromText(ZV_I8, L"7");
  const std::string before = Whole(a), rBefore = Whole(r);
  const wchar_t* w = L"untouched";
  CHostServices::Instance().FailNextAllocations(1);
  EXPECT_EQ(a.__nCastToString(&w, nullptr), CHostStrMemAlloc::kErrNoMemory);
  EXPECT_EQ(w, nullptr);
  EXPECT_EQ(Whole(a), before);
  const long live = nLive();
  CHostServices::Instance().FailNextAllocations(1);
  EXPECT_EQ(nAjoute(b, b, &r, 0), CHostStrMemAlloc::kErrNoMemory);
  EXPECT_EQ(Whole(r), rBefore);
  EXPECT_EQ(nLive(), live);
}
