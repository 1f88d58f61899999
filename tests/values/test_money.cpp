// Currency against 128-bit reference arithmetic over seeded operands (bounds included): every
// operation, comparison, key, conversion and text; then the edge cases, one table per operation.
#include "values/money.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <optional>
#include <random>
#include <string>

namespace {

typedef __int128 i128;
typedef unsigned __int128 u128;
typedef std::optional<i128> Result;  // nullopt: the operation fails

constexpr i128 kMax = (static_cast<i128>(1) << 79) - 1, kMin = -kMax - 1;
constexpr u128 kMillion = 1000000;
const i128 kUnit[6] = {1000000, 100000, 10000, 1000, 100, 10};

// The 10 bytes as an 80-bit little-endian two's-complement integer.
i128 Val(const CMoney& m) {
  u128 raw = 0;
  memcpy(&raw, &m, 10);
  return static_cast<i128>(raw << 48) >> 48;
}
CMoney Mon(i128 v) {
  CMoney m;
  memcpy(&m, &v, 10);
  return m;
}

Result InRange(i128 v) { return v < kMin || v > kMax ? std::nullopt : Result(v); }
u128 Abs(i128 v) { return v < 0 ? -static_cast<u128>(v) : static_cast<u128>(v); }
Result Signed(u128 m, bool negative) {
  return m > Abs(kMin) ? std::nullopt : InRange(negative ? -static_cast<i128>(m) : static_cast<i128>(m));
}

// |x| * |y| / 10^6, halves up, with |x| split at bit 40 so that every partial product fits.
Result RefMul(i128 x, i128 y) {
  const u128 a = Abs(x), b = Abs(y), high = (a >> 40) * b, low = (a & ((u128{1} << 40) - 1)) * b;
  if (high / kMillion >= u128{1} << 80) return std::nullopt;
  const u128 rest = ((high % kMillion) << 40) + low;
  const u128 q = ((high / kMillion) << 40) + rest / kMillion + (2 * (rest % kMillion) >= kMillion ? 1 : 0);
  return Signed(q, (x < 0) != (y < 0));
}
Result RefDiv(i128 x, i128 y) {
  if (y == 0) return std::nullopt;
  return Signed((2 * Abs(x) * kMillion + Abs(y)) / (2 * Abs(y)), (x < 0) != (y < 0));
}
i128 FloorTo(i128 v, i128 u) { return (v >= 0 ? v / u : -((-v + u - 1) / u)) * u; }
i128 CeilTo(i128 v, i128 u) { return -FloorTo(-v, u); }
i128 NearestTo(i128 v, i128 u) { return (v < 0 ? -1 : 1) * static_cast<i128>((Abs(v) + u / 2) / u * u); }

std::string Dec(i128 v) {
  char b[64];
  snprintf(b, sizeof b, "%s%llu.%06u", v < 0 ? "-" : "", static_cast<unsigned long long>(Abs(v) / kMillion),
           static_cast<unsigned>(Abs(v) % kMillion));
  std::string s = b;
  s.erase(s.find_last_not_of('0') + 1);
  return s.back() == '.' ? s.substr(0, s.size() - 1) : s;
}
std::string Raw(i128 v, int bits, int digits) {
  std::string s;
  for (int i = digits - 1; i >= 0; --i)
    s += "0123456789ABCDEF"[static_cast<unsigned>(static_cast<u128>(v) >> (bits * i)) & ((1u << bits) - 1)];
  return s.substr(std::min(s.find_first_not_of('0'), s.size() - 1));
}
std::string Narrow(const wchar_t* w) { return std::string(w, w + wcslen(w)); }

// Uniform 80-bit, log-uniform, whole and half units of the n-th decimal, and the bounds' neighbourhoods.
i128 NextOperand(std::mt19937_64& rng) {
  const uint64_t lo = rng(), hi = rng();
  const u128 r = (u128{hi} << 64) | lo;
  static const i128 fixed[] = {0, 1, -1, 500000, -500000, 999999, 1000000, -1000000, kMax, kMin, kMin + 1,
                               kMax / 1000000 * 1000000, kMin / 1000000 * 1000000};
  switch (rng() % 6) {
    case 0: return Val(Mon(static_cast<i128>(r)));
    case 1: return static_cast<i128>(r & ((u128{1} << (rng() % 80)) - 1)) * (rng() & 1 ? -1 : 1);
    case 2: return static_cast<int64_t>(lo) % 100000 * kUnit[hi % 6] / (rng() & 1 ? 1 : 2);
    case 3: return kMax - static_cast<i128>(lo % 3000000);
    case 4: return kMin + static_cast<i128>(lo % 3000000);
    default: return fixed[lo % (sizeof fixed / sizeof fixed[0])];
  }
}

// The operation gave the expected value, or failed and kept the operand.
::testing::AssertionResult Gives(Result expected, const CMoney* result, const CMoney& m, i128 x, const char* what) {
  if ((result != nullptr) == expected.has_value() && Val(m) == (expected ? *expected : x))
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << what << " of " << Dec(x) << ": expected "
                                       << (expected ? Dec(*expected) : "failure") << ", got "
                                       << (result ? "" : "failure, ") << Dec(Val(m));
}

TEST(Money, EveryOperationAgainstTheReference) {
  std::mt19937_64 rng(0x5EEDC0DE);
  for (int i = 0; i < 100000; ++i) {
    const i128 x = NextOperand(rng), y = NextOperand(rng);
    const CMoney a = Mon(x), b = Mon(y);
    CMoney m;
    auto run2 = [&](CMoney* (*op)(CMoney*, const CMoney*)) { return m = a, op(&m, &b); };
    ASSERT_TRUE(Gives(InRange(x + y), run2(pstAddMonetaire), m, x, "add")) << Dec(y);
    ASSERT_TRUE(Gives(InRange(x - y), run2(pstSubMonetaire), m, x, "sub")) << Dec(y);
    ASSERT_TRUE(Gives(RefMul(x, y), run2(pstMulMonetaire), m, x, "mul")) << Dec(y);
    ASSERT_TRUE(Gives(RefDiv(x, y), run2(pstDivMonetaire), m, x, "div")) << Dec(y);
    unsigned char ka[10], kb[10];
    MonetaireVersCleKJ(ka, &a);
    MonetaireVersCleKJ(kb, &b);
    const int order = x < y ? -1 : x > y ? 1 : 0, byKey = memcmp(ka, kb, 10);
    ASSERT_EQ(order, nCmpMonetaire(&a, &b));
    ASSERT_EQ(order, (byKey > 0) - (byKey < 0));

    const int n = static_cast<int>(rng() % 8) - 1;  // -1 to 6: outside 0-5 changes nothing
    const bool applies = n >= 0 && n <= 5;
    auto run1 = [&](CMoney* (*op)(CMoney*, int)) { return m = a, op(&m, n); };
    auto run0 = [&](CMoney* (*op)(CMoney*)) { return m = a, op(&m); };
    ASSERT_TRUE(Gives(applies ? InRange(NearestTo(x, kUnit[n])) : x, run1(pstArrMonetaire), m, x, "nearest"));
    ASSERT_TRUE(Gives(applies ? InRange(FloorTo(x, kUnit[n])) : x, run1(pstArrMonetaireInf), m, x, "floor"));
    ASSERT_TRUE(Gives(applies ? InRange(CeilTo(x, kUnit[n])) : x, run1(pstArrMonetaireSup), m, x, "ceil"));
    ASSERT_TRUE(Gives(InRange(FloorTo(x, 1000000)), run0(pstEntMonetaire), m, x, "whole"));
    ASSERT_TRUE(Gives(static_cast<i128>(Abs(x) % kMillion), run0(pstDecMonetaire), m, x, "fraction"));
    ASSERT_TRUE(Gives(InRange(-x), run0(NegMonetaire), m, x, "neg"));
    ASSERT_TRUE(Gives(InRange(x < 0 ? -x : x), run0(pstAbsMonetaire), m, x, "abs"));
    m = a;
    ASSERT_TRUE(Gives(InRange(x + 1000000), bIncrementeMonetaire(&m) ? &m : nullptr, m, x, "increment"));
    m = a;
    ASSERT_TRUE(Gives(InRange(x - 1000000), bDecrementeMonetaire(&m) ? &m : nullptr, m, x, "decrement"));

    // Texts: decimal, hexadecimal, octal.
    wchar_t text[kMoneyOctalChars];
    const std::string dec = Dec(x);
    ASSERT_EQ(dec, Narrow(pszMonetaireVersChaineC(text, &a)));
    ASSERT_TRUE(Gives(x, pstChaineVersMonetaire(&m, text), m, x, "decimal"));
    ASSERT_EQ(Raw(x, 4, 20), Narrow(pszMonetaireVersChaineHexa(text, &a)));
    ASSERT_TRUE(Gives(x, pstChaineHexaVersMonetaire(&m, text), m, x, "hexadecimal"));
    ASSERT_EQ(Raw(x, 3, 27), Narrow(pszMonetaireVersChaineOctale(text, &a)));

    // Whole numbers: rounded halves away from zero, and the whole part through the 2^16 scale.
    const i128 rounded = (x < 0 ? -1 : 1) * static_cast<i128>((Abs(x) + kMillion / 2) / kMillion);
    const i128 whole = (x < 0 ? -1 : 1) * static_cast<i128>(((Abs(x) << 17) + kMillion) / (2 * kMillion) >> 16);
    uint64_t u;
    int64_t l;
    int n32;
    ASSERT_EQ(static_cast<int64_t>(rounded), lMonetaireVersTresLong(&a));
    ASSERT_EQ(static_cast<int>(static_cast<uint32_t>(rounded)), lMonetaireVersInt32(&a));
    ASSERT_TRUE(bMonetaireVersTresLongSansSigne(&a, &u)) << "negative values within the range fit too";
    ASSERT_EQ(static_cast<uint64_t>(rounded), u);
    ASSERT_TRUE(bMonetaireVersTresLong(&a, &l));
    ASSERT_EQ(static_cast<int64_t>(whole), l);
    ASSERT_EQ(whole >= INT32_MIN && whole <= INT32_MAX, bMonetaireVersInt32(&a, &n32) != FALSE);

    // The nearest double.
    ASSERT_EQ(strtod(dec.c_str(), nullptr), dMonetaireVersDouble(&a)) << dec;
  }
}

// Texts, integers and doubles in: what does not fit and what is not finite is refused and the
// value kept; doubles are rounded as "%.6f" rounds them (halves to even) at any magnitude.
TEST(Money, ConversionsIn) {
  const struct { const wchar_t* text; Result value; } decimal[] = {  // nullopt: refused, the value kept
      {L"12.345", 12345000}, {L"  -0.5", -500000}, {L"1.1234567", 1123456}, {L"12abc", 12000000},
                 {L"1.2.3", 1200000}, {L"\uFF0D.25", -250000}, {L"\uFF0B3", 3000000}, {L"", 0}, {L"abc", 0},
                 {L"+", 0}, {L"\t5", 0}, {L"- 5", 0}, {nullptr, 0}, {L"0000000000000000000000000000001", 1000000},
                 {L"604462909807314587.353087", kMax}, {L"-604462909807314587.353088", kMin},
                 {L"604462909807314587.353088", std::nullopt}, {L"-604462909807314587.353089", std::nullopt},
                 {L"1234567890123456789012345", std::nullopt}};
  for (const auto& r : decimal) {
    CMoney m = Mon(7);
    EXPECT_TRUE(Gives(r.value, pstChaineVersMonetaire(&m, r.text), m, 7, "decimal text"))
        << (r.text ? Narrow(r.text) : "");
  }
  // At most the first 20 digits of the run, leading zeros counted; the caller's text is not changed.
  wchar_t lower[] = L"  7a120xyz";
  const struct { const wchar_t* text; i128 value; } hexa[] = {
      {lower, 500000}, {L"fffffffffffffffffffF123", -1}, {L"00000000000000000000F", 0}, {L"g", 0}, {nullptr, 0}};
  for (const auto& r : hexa) {
    CMoney m = Mon(7);
    EXPECT_TRUE(Gives(r.value, pstChaineHexaVersMonetaire(&m, r.text), m, 7, "hexadecimal text"));
  }
  EXPECT_STREQ(lower, L"  7a120xyz");
  auto from = [](auto op, auto value, Result expected) {
    CMoney a = Mon(7);
    return Gives(expected, op(&a, value), a, 7, "conversion");
  };
  const int64_t top = 604462909807314587;  // the largest whole number of the range
  EXPECT_TRUE(from(pstTresLongVersMonetaire, -top, -top * i128{1000000}));
  EXPECT_TRUE(from(pstTresLongVersMonetaire, top + 1, std::nullopt));
  EXPECT_TRUE(from(pstTresLongVersMonetaire, INT64_MIN, std::nullopt));
  EXPECT_TRUE(from(pstTresLongSansSigneVersMonetaire, uint64_t{top}, top * i128{1000000}));
  EXPECT_TRUE(from(pstTresLongSansSigneVersMonetaire, UINT64_MAX, std::nullopt));
  EXPECT_TRUE(from(pstInt32VersMonetaire, INT_MIN, i128{INT_MIN} * 1000000));
  const struct { double in; Result out; } doubles[] = {
      {NAN, std::nullopt}, {INFINITY, std::nullopt}, {-INFINITY, std::nullopt}, {DBL_MAX, std::nullopt},
      {-DBL_MAX, std::nullopt}, {1e19, std::nullopt}, {0x1p79 / 1e6 + 1e3, std::nullopt}, {0.1, 100000},
      {-2.5, -2500000}, {0.0078125, 7812}, {-0.0234375, -23438}, {4.9406564584124654e-324, 0}, {-1e-7, 0},
      {6.0e17, i128{600000000000000000} * 1000000}};
  for (const auto& r : doubles) EXPECT_TRUE(from(pstDoubleVersMonetaire, r.in, r.out)) << r.in;
}

// Bounds, comparison and whole parts; rounding halves away from zero, and overflow reported
// where it happens and only there.
TEST(Money, EdgesOfTheRangeAndRounding) {
  CMoney m;
  SetMonetaireToMin(&m);
  EXPECT_EQ(kMin, Val(m));
  EXPECT_EQ(-604462909807314587.353088, dMonetaireVersDouble(&m));
  SetMonetaireToMax(&m);
  EXPECT_EQ(kMax, Val(m));
  EXPECT_EQ(Val(gstMillion) * 1000000 + Val(gstMoinsMillion) * 1000 + Val(gstVersLong), i128{999000065536});
  EXPECT_EQ(0, nCmpMonetaireEtInt32(&(m = Mon(i128{INT_MIN} * 1000000)), INT_MIN));
  EXPECT_EQ(1, nCmpMonetaire(nullptr, &m));
  EXPECT_EQ(-1, nCmpMonetaire(&m, nullptr));
  EXPECT_EQ(0, nCmpMonetaire(nullptr, nullptr));
  EXPECT_TRUE(bMonetaireZero(&(m = Mon(0))) && !bMonetaireZero(&gstVersLong));
  // The whole part through the 2^16 scale: a fraction of 0.999993 or more counts as a unit.
  const struct { i128 in; int out; bool ok; } toInt[] = {
      {2999999, 3, true}, {2999990, 2, true}, {2999993, 3, true}, {2999992, 2, true}, {-2999999, -3, true},
      {i128{3000000000} * 1000000, -1294967296, false}};
  for (const auto& r : toInt) {
    int n = 0;
    EXPECT_EQ(r.ok, bMonetaireVersInt32(&(m = Mon(r.in)), &n) != FALSE) << Dec(r.in);
    EXPECT_EQ(r.out, n) << Dec(r.in);
  }
  // y: the second operand, or n.
  const struct { decltype(&pstAddMonetaire) op2; decltype(&pstArrMonetaire) op1; decltype(&NegMonetaire) op0; i128 x, y;
                 Result value; } rows[] = {
      {pstMulMonetaire, 0, 0, -1, 500000, -1}, {pstDivMonetaire, 0, 0, 2000000, 3000000, 666667},
      {pstDivMonetaire, 0, 0, 1000000, 0, std::nullopt}, {pstSubMonetaire, 0, 0, 0, kMin, std::nullopt},
      {pstAddMonetaire, 0, 0, kMin + 0x10000, -0x10000, kMin},  // top limb 0x8000 and lowest limb 0: it fits
      {0, pstArrMonetaire, 0, -2500000, 0, -3000000}, {0, pstArrMonetaireInf, 0, -1210000, 1, -1300000},
      {0, pstArrMonetaireSup, 0, kMax, -1, kMax},  // n taken as unsigned: out of range
      {0, pstArrMonetaire, 0, kMax, 0, kMax / 1000000 * 1000000}, {0, pstArrMonetaire, 0, kMax, 5, std::nullopt},
      {0, pstArrMonetaireSup, 0, kMax, 0, std::nullopt}, {0, pstArrMonetaireInf, 0, kMin, 3, std::nullopt},
      {0, pstArrMonetaireSup, 0, kMin, 1, kMin / 100000 * 100000},
      {0, 0, pstEntMonetaire, -12500000, 0, -13000000}, {0, 0, pstEntMonetaire, -12000000, 0, -12000000},
      {0, 0, pstDecMonetaire, -12500000, 0, 500000}, {0, 0, pstEntMonetaire, kMin, 0, std::nullopt},
      {0, 0, NegMonetaire, kMin, 0, std::nullopt}, {0, 0, pstAbsMonetaire, kMin, 0, std::nullopt}};
  for (const auto& r : rows) {
    CMoney a = Mon(r.x);
    const CMoney b = Mon(r.y);
    CMoney* result = r.op2 ? r.op2(&a, &b) : r.op1 ? r.op1(&a, static_cast<int>(r.y)) : r.op0(&a);
    EXPECT_TRUE(Gives(r.value, result, a, r.x, "operation")) << Dec(r.y);
  }
}

}  // namespace
