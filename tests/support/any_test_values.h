// What the variant tests share: a fixture binding the stand-in VM (linked into the test with
// ENABLE_EXPORTS and bound by the program's own handle, so VM and runtime share one allocator),
// every type code, counted host objects, samples of every type with a text, a value's content.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <string>

#include "common/xystring.h"
#include "host/host_services.h"
#include "host/vm_decimal.h"
#include "values/any.h"
#include "values/vmbind.h"

class AnyTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    void* h = dlopen(nullptr, RTLD_NOW);
    ASSERT_NE(dlsym(h, "nConversionDepassementExt"), nullptr) << "link the VM with ENABLE_EXPORTS";
    ASSERT_TRUE(bInitZVConvFromVM(h, 2, 0));
    ASSERT_TRUE(bInitZVCalcFromVM(h, 2, 0));
  }
  void TearDown() override {
    CHostServices::Instance().FailNextAllocations(0);
    EXPECT_EQ(CVMDecimalFactory::Instance().nLive(), m_nDecimals) << "decimal objects leaked";
  }
  // Host string blocks alive beyond those alive when the test started.
  long nLive() const { return CHostServices::Instance().nLiveBlocks() - m_nBlocks; }

 private:
  // Counted when the test is made, right before it runs.
  long m_nDecimals = CVMDecimalFactory::Instance().nLive();
  long m_nBlocks = CHostServices::Instance().nLiveBlocks();
};

inline constexpr unsigned short kAllCodes[] = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12,  13,  14,  16,  17,  18, 19,
                                               24, 25, 26, 27, 28, 29, 30, 50, 65, 81, 83, 108, 110, 111, 128, 129, 141};

struct HostObject final : IHostObject {
  void AddRef() override { ++nRef; }
  void Release() override { --nRef; }
  int nRef = 1;
};
struct HostCounted final : IHostCounted {
  HostCounted() { m_nRef = 1; }
  void vSlot0() override {}
  void vSlot1() override {}
  void Release() override { --m_nRef; }
};

// A value of every type that has a text, with the text it is made from and shown as.
struct Sample {
  unsigned short code;
  const wchar_t* text;
};
inline constexpr Sample kSamples[] = {
    {ZV_BOOL, L"1"}, {ZV_UI1, L"255"}, {ZV_UI2, L"65535"}, {ZV_UI4, L"4294967295"},
    {ZV_UI8, L"18446744073709551615"}, {ZV_I1, L"-128"}, {ZV_I2, L"-32768"}, {ZV_I4, L"-2147483648"},
    {ZV_I8, L"-9223372036854775808"}, {ZV_CY, L"-1234.567891"}, {ZV_R4, L"0.5"}, {ZV_R8, L"-1.25"},
    {ZV_DECIMAL, L"123456789012345678.5"}, {ZV_UIX, L"7"}, {ZV_DSTRW, L"wide \u00e9"}, {ZV_CARA, L"Q"},
    {ZV_PSTRA, L"plain"}, {ZV_DSTRA, L"narrow"}, {ZV_DATEW, L"20240229"}, {ZV_TIMEW, L"235959990"},
    {ZV_DATETIME, L"20240229123456789"}, {ZV_DUREE, L"-1020304005"}, {ZV_BIN, L"bytes"}, {ZV_CARW, L"\u20ac"},
    {ZV_PSTRW, L"owned"}, {ZV_DATEA, L"19991231"}, {ZV_TIMEA, L"010203040"},
};

inline void SetObject(CAny& a, unsigned short code, void* p) {
  a.__SetType(code, 0);
  a.SetValueByte(&p, sizeof p);
}
// A value of code made by the VM from a wide text, with the flags given.
inline CAny FromText(unsigned short code, const wchar_t* s, unsigned short wFlags = 0) {
  CAny a;
  a.__SetType(ZV_DSTRW, 0);
  a.SetValueByte(s, static_cast<unsigned int>(wcslen(s) * sizeof(wchar_t)));
  EXPECT_LT(a.__nCastTo(code, nullptr, 1), 100) << code;
  a.SetFlags(wFlags);
  return a;
}

template <typename T>
T Area(const CAny& a) { return ZVArea::Get<T>(a.pGetValueArea()); }

// The text the value's class hands out, as long as the class says it is (else up to its
// terminator), narrow bytes widened one by one; "-" when it has none.
inline std::wstring ClassText(const CAny& a) {
  const wchar_t* w = nullptr;
  const char* s = nullptr;
  unsigned int n = 0;
  const bool bCounted = a.Intern()->nGetSTRLEN(&n) == 0;
  if (a.Intern()->nGetPCWSTR(&w) == 0) return std::wstring(w, bCounted ? n : wcslen(w));
  if (a.Intern()->nGetPCASTR(&s) != 0) return L"-";
  std::wstring r(bCounted ? n : strlen(s), L'\0');
  for (size_t i = 0; i < r.size(); ++i) r[i] = static_cast<unsigned char>(s[i]);
  return r;
}

// A value as text for comparisons: NULL, a binary's bytes in hexadecimal, else its text.
inline std::wstring Show(const CAny& a) {
  if (a.bIsNull()) return L"NULL";
  if (a.wGetType() == ZV_BIN) {
    void* p = nullptr;
    unsigned int n = 0;
    a.Intern()->nGetDataAdr(&p);
    a.Intern()->nGetUtilDataSize(&n);
    std::wstring hex;
    for (unsigned int i = 0; i < n; ++i) hex += {L"0123456789ABCDEF"[static_cast<unsigned char*>(p)[i] >> 4],
                                                L"0123456789ABCDEF"[static_cast<unsigned char*>(p)[i] & 15]};
    return hex;
  }
  CAny copy(a);
  CXYString<wchar_t> text;
  copy.__nCastTo(ZV_DSTRW, nullptr, 1);
  copy.__nFillString(text, nullptr);
  return text.pszGet();
}

// A value's 64 bytes and its data form (a text's or a binary's bytes, a decimal's 18 bytes):
// what an operation that fails must leave exactly as it was.
inline std::string Whole(const CAny& a) {
  std::string s(reinterpret_cast<const char*>(&a), sizeof a);
  unsigned int n = 0;
  if (a.wGetType() != ZV_TABANY && a.Intern()->nGetDataSize(&n) == 0) {
    std::string data(n, '\0');
    if (a.Intern()->nFillDataBuffer(data.data()) == 0) s += data;
  }
  return s;
}
