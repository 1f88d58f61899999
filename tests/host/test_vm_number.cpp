// The stand-in VM's exact numbers and decimal objects.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/vm_decimal.h"
#include "host/vm_module.h"
#include "host/vm_number.h"

namespace {

VMExact Parse(const wchar_t* text) {
  VMExact x;
  EXPECT_EQ(ExactFromText(text, &x, nullptr), 0) << "text: " << std::wstring(text).size();
  return x;
}

std::wstring Text(const VMExact& x) { return ExactToText(x, false); }

TEST(VMExact, TextRoundTripsAndRounding) {
  EXPECT_EQ(Text(Parse(L"  -12.50 ")), L"-12.50");
  EXPECT_EQ(Text(Parse(L"0.05")), L"0.05");
  EXPECT_EQ(Text(Parse(L"1.5e3")), L"1500");
  EXPECT_EQ(Text(Parse(L"-0")), L"0");
  EXPECT_EQ(ExactToText(Parse(L"12.500"), true), L"12.5");
  EXPECT_EQ(ExactToText(Parse(L"0.000"), true), L"0");
  const wchar_t* big = L"-99999999999999999999999999999999999999";  // 38 nines
  EXPECT_EQ(Text(Parse(big)), big);
  VMExact x;
  EXPECT_EQ(ExactFromText(L"12a", &x, nullptr), VM_ERR_SYNTAX);
  EXPECT_EQ(ExactFromText(L"-", &x, nullptr), VM_ERR_SYNTAX);
  EXPECT_EQ(ExactFromText(L"1e", &x, nullptr), VM_ERR_SYNTAX);
  EXPECT_EQ(ExactFromText(L"1e80", &x, nullptr), VM_ERR_OVERFLOW);
  EXPECT_EQ(ExactFromText(L" ", &x, nullptr), 0);
  EXPECT_TRUE(ExactIsZero(x));
  // Halves go away from zero, on both signs.
  x = Parse(L"2.5");
  bool lost = false;
  ASSERT_TRUE(ExactRescale(&x, 0, &lost));
  EXPECT_EQ(Text(x), L"3");
  EXPECT_TRUE(lost);
  x = Parse(L"-2.45");
  ASSERT_TRUE(ExactRescale(&x, 1, nullptr));
  EXPECT_EQ(Text(x), L"-2.5");
  x = Parse(L"-0.4");
  ASSERT_TRUE(ExactRescale(&x, 0, nullptr));
  EXPECT_EQ(Text(x), L"0");  // no negative zero
}

TEST(VMExact, ArithmeticIsExact) {
  VMExact r;
  ASSERT_TRUE(ExactAdd(&r, Parse(L"0.1"), Parse(L"0.2")));
  EXPECT_EQ(Text(r), L"0.3");
  ASSERT_TRUE(ExactSub(&r, Parse(L"1"), Parse(L"1.001")));
  EXPECT_EQ(Text(r), L"-0.001");
  // 38 digits times 38 digits: 76 digits, no overflow of the 256-bit magnitude.
  ASSERT_TRUE(ExactMul(&r, Parse(L"99999999999999999999999999999999999999"), Parse(L"99999999999999999999999999999999999999")));
  EXPECT_EQ(U256Digits(r.mag), 76);
  bool lost = false, zero = false;
  ASSERT_TRUE(ExactDiv(&r, Parse(L"2"), Parse(L"3"), 6, &lost, &zero));
  EXPECT_EQ(Text(r), L"0.666667");
  EXPECT_TRUE(lost);
  lost = false;
  ASSERT_TRUE(ExactDiv(&r, Parse(L"-1"), Parse(L"8"), 3, &lost, &zero));
  EXPECT_EQ(Text(r), L"-0.125");
  EXPECT_FALSE(lost);
  EXPECT_FALSE(ExactDiv(&r, Parse(L"1"), Parse(L"0.00"), 3, &lost, &zero));
  EXPECT_TRUE(zero);
  ASSERT_TRUE(ExactMod(&r, Parse(L"-7.5"), Parse(L"2"), &zero));
  EXPECT_EQ(Text(r), L"-1.5");
  // Large divisions take the long-division path (divisor above 64 bits).
  ASSERT_TRUE(ExactDiv(&r, Parse(L"123456789012345678901234567890"), Parse(L"12345678901234567890"), 0, &lost, &zero));
  EXPECT_EQ(Text(r), L"10000000000");
}

TEST(VMExact, ComparesAcrossScalesAndWithDoubles) {
  EXPECT_EQ(ExactCmp(Parse(L"1.10"), Parse(L"1.1")), 0);
  EXPECT_EQ(ExactCmp(Parse(L"-2"), Parse(L"-1.99")), -1);
  EXPECT_EQ(ExactCmp(Parse(L"0"), Parse(L"-0.0")), 0);
  // 0.1 is not a double: the double 0.1 is slightly above it.
  EXPECT_EQ(ExactCmpDouble(Parse(L"0.1"), 0.1), -1);
  EXPECT_EQ(ExactCmpDouble(Parse(L"0.5"), 0.5), 0);
  EXPECT_EQ(ExactCmpDouble(Parse(L"9007199254740993"), 9007199254740992.0), 1);
  EXPECT_EQ(ExactCmpDouble(Parse(L"-1e-30"), -1e-30), 1);
  bool inexact = false;
  EXPECT_EQ(ExactToDouble(Parse(L"0.1"), false, &inexact), 0.1);
  EXPECT_FALSE(inexact);
  ExactToDouble(Parse(L"9007199254740993"), false, &inexact);
  EXPECT_TRUE(inexact);
  inexact = false;
  ExactToDouble(Parse(L"16777217"), true, &inexact);  // beyond a float's 24 bits
  EXPECT_TRUE(inexact);
  VMExact x;
  ASSERT_TRUE(ExactFromDouble(0.1, &x));
  EXPECT_EQ(Text(x), L"0.1");
  EXPECT_FALSE(ExactFromDouble(1.0 / 0.0, &x));
}

TEST(VMExact, TwosComplementBytes) {
  unsigned char b[10];
  ASSERT_TRUE(ExactToTwos(Parse(L"-1"), b, 10));
  for (unsigned char c : b) EXPECT_EQ(c, 0xFF);
  EXPECT_EQ(Text(ExactFromTwos(b, 10, 6)), L"-0.000001");
  EXPECT_FALSE(ExactToTwos(Parse(L"128"), b, 1));
  EXPECT_TRUE(ExactToTwos(Parse(L"-128"), b, 1));
  EXPECT_EQ(b[0], 0x80);
}

// ---- Decimal objects ----

class VMDecimal : public testing::Test {
 protected:
  void SetUp() override { m_nLive = CVMDecimalFactory::Instance().nLive(); }
  void TearDown() override {
    for (IDecimal* d : m_made) CVMDecimalFactory::Instance().Free(d);
    EXPECT_EQ(CVMDecimalFactory::Instance().nLive(), m_nLive);
  }
  IDecimal* Make(const wchar_t* text, int precision = 0) {
    IDecimal* d = CVMDecimalFactory::Instance().piCreate(0);
    m_made.push_back(d);
    EXPECT_EQ(static_cast<CVMDecimal*>(d)->nSetValue(Parse(text), precision), 0);
    return d;
  }
  static std::wstring Value(const IDecimal* d) { return ExactToText(ExactFromDecimal(d), false); }

  std::vector<IDecimal*> m_made;
  long m_nLive = 0;
};

TEST_F(VMDecimal, DataFormFollowsThePrecision) {
  IDecimal* d = Make(L"-123.45");
  EXPECT_EQ(d->nGetDataSize(), IDecimal::kFormSize);
  EXPECT_EQ(d->nSetPrecisionScale(5, 2), 0);
  ASSERT_EQ(d->nGetDataSize(), 3u);  // 10^5 needs 3 bytes
  const auto* p = static_cast<const unsigned char*>(d->pGetData());
  // -12345 in three little-endian two's-complement bytes.
  EXPECT_EQ(p[0], 0xC7);
  EXPECT_EQ(p[1], 0xCF);
  EXPECT_EQ(p[2], 0xFF);
  IDecimal* e = Make(L"0");
  ASSERT_EQ(e->nLoad(5, 2, p), 0);
  EXPECT_EQ(Value(e), L"-123.45");
  int precision = 0, scale = 0;
  e->GetPrecisionScale(&precision, &scale);
  EXPECT_EQ(precision, 5);
  EXPECT_EQ(scale, 2);
  // Bytes that hold more digits than the precision allows are refused.
  const unsigned char big[3] = {0xFF, 0xFF, 0x7F};
  EXPECT_EQ(e->nLoad(5, 2, big), VM_ERR_OVERFLOW);
  EXPECT_EQ(Value(e), L"-123.45");
  EXPECT_EQ(e->nLoad(39, 0, big), VM_ERR_ARGUMENT);
  EXPECT_EQ(e->nLoad(3, 4, big), VM_ERR_ARGUMENT);
}

TEST_F(VMDecimal, FormCopyAndSign) {
  IDecimal* d = Make(L"-98765432109876543210.987654321098765432");
  unsigned char form[IDecimal::kFormSize];
  d->WriteForm(form);
  IDecimal* e = Make(L"0");
  ASSERT_EQ(e->nLoadForm(form), 0);
  EXPECT_EQ(Value(e), L"-98765432109876543210.987654321098765432");
  IDecimal* f = Make(L"1");
  ASSERT_EQ(f->nCopy(d), 0);
  EXPECT_EQ(f->nCompare(d), 0);
  EXPECT_EQ(f->bIsNegative(), 1);
  EXPECT_EQ(Make(L"0")->bIsNegative(), 0);
}

TEST_F(VMDecimal, RescalingRoundsAndSaturates) {
  IDecimal* d = Make(L"2.345");
  EXPECT_EQ(d->nSetPrecisionScale(10, 2), VM_WARN_ROUNDED);
  EXPECT_EQ(Value(d), L"2.35");
  // Too many digits for the precision: the bound of the sign, so the data form keeps its size.
  IDecimal* e = Make(L"-12345.6");
  EXPECT_EQ(e->nSetPrecisionScale(4, 1), VM_ERR_OVERFLOW);
  EXPECT_EQ(Value(e), L"-999.9");
  EXPECT_EQ(e->nGetDataSize(), 2u);
  // nWrite leaves the object alone.
  unsigned char out[16];
  EXPECT_EQ(d->nWrite(3, 1, out), VM_WARN_ROUNDED);
  EXPECT_EQ(ExactToText(ExactFromTwos(out, 2, 1), false), L"2.4");
  EXPECT_EQ(Value(d), L"2.35");
  d->SetToMax();
  EXPECT_EQ(Value(d), L"99999999.99");
  d->SetToMin();
  EXPECT_EQ(Value(d), L"-99999999.99");
}

TEST_F(VMDecimal, KeysSortLikeValuesAcrossScales) {
  const wchar_t* ordered[] = {L"-99999999999999999999999999999999999999", L"-1.5", L"-1.49", L"-0.00000001",
                              L"0", L"0.00000001", L"1.49", L"1.5", L"99999999999999999999999999999999999999"};
  unsigned char prev[IDecimal::kKeySize] = {};
  for (size_t i = 0; i < std::size(ordered); ++i) {
    unsigned char key[IDecimal::kKeySize];
    Make(ordered[i])->WriteKey(key);
    if (i > 0) {
      EXPECT_LT(memcmp(prev, key, sizeof(key)), 0) << i;
    }
    memcpy(prev, key, sizeof(key));
  }
  unsigned char a[IDecimal::kKeySize], b[IDecimal::kKeySize];
  Make(L"1.5")->WriteKey(a);
  Make(L"1.500")->WriteKey(b);
  EXPECT_EQ(memcmp(a, b, sizeof(a)), 0);
}

TEST_F(VMDecimal, ValuesBeyond38DigitsAreRefused) {
  IDecimal* d = Make(L"1");
  auto* vm = static_cast<CVMDecimal*>(d);
  EXPECT_EQ(vm->nSetValue(Parse(L"123456789012345678901234567890123456789"), 0), VM_ERR_OVERFLOW);
  EXPECT_EQ(Value(d), L"1");
  // Decimals beyond 38 digits in all are rounded away.
  EXPECT_EQ(vm->nSetValue(Parse(L"1234567890.12345678901234567890123456789"), 0), VM_WARN_ROUNDED);
  EXPECT_EQ(Value(d), L"1234567890.1234567890123456789012345679");
}

}  // namespace
