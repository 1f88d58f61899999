// Currency against 128-bit reference arithmetic over seeded random operands (bounds included):
// the byte layout, arithmetic, rounding, comparison and keys, conversions and text round trips;
// then the documented texts and the overflow cases one by one.
#include "values/money.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace {

typedef __int128 i128;
typedef unsigned __int128 u128;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_UNDEFINED__)
constexpr int kRandomRounds = 100000;
#else
constexpr int kRandomRounds = 1000000;
#endif

constexpr i128 kMax = (static_cast<i128>(1) << 79) - 1;
constexpr i128 kMin = -kMax - 1;
constexpr u128 kMillion = 1000000;

// ---- Reference: the 10 bytes as an 80-bit little-endian two's-complement integer ----

i128 Val(const CMoney& m) {
  unsigned char b[10];
  memcpy(b, &m, 10);
  u128 raw = 0;
  for (int i = 9; i >= 0; --i) raw = (raw << 8) | b[i];
  if (b[9] & 0x80) raw |= ~static_cast<u128>(0) << 80;
  return static_cast<i128>(raw);
}

CMoney Mon(i128 v) {
  unsigned char b[10];
  for (int i = 0; i < 10; ++i) b[i] = static_cast<unsigned char>(static_cast<u128>(v) >> (8 * i));
  CMoney m;
  memcpy(&m, b, 10);
  return m;
}

std::optional<i128> InRange(i128 v) { return v < kMin || v > kMax ? std::nullopt : std::optional<i128>(v); }
u128 Abs(i128 v) { return v < 0 ? -static_cast<u128>(v) : static_cast<u128>(v); }
std::optional<i128> Signed(u128 m, bool neg) {
  if (m > static_cast<u128>(kMax) + 1) return std::nullopt;
  return InRange(neg ? -static_cast<i128>(m) : static_cast<i128>(m));
}

// Product of two magnitudes below 2^80 as four 64-bit words, divided by 10^6 word by word.
std::optional<i128> RefMul(i128 x, i128 y) {
  const u128 a = Abs(x), b = Abs(y);
  const uint64_t a0 = static_cast<uint64_t>(a), a1 = static_cast<uint64_t>(a >> 64);
  const uint64_t b0 = static_cast<uint64_t>(b), b1 = static_cast<uint64_t>(b >> 64);
  const u128 p00 = static_cast<u128>(a0) * b0, p01 = static_cast<u128>(a0) * b1, p10 = static_cast<u128>(a1) * b0;
  const u128 p11 = static_cast<u128>(a1) * b1;
  uint64_t w[4];
  w[0] = static_cast<uint64_t>(p00);
  u128 mid = (p00 >> 64) + static_cast<uint64_t>(p01) + static_cast<uint64_t>(p10);
  w[1] = static_cast<uint64_t>(mid);
  u128 high = (mid >> 64) + (p01 >> 64) + (p10 >> 64) + p11;
  w[2] = static_cast<uint64_t>(high);
  w[3] = static_cast<uint64_t>(high >> 64);
  uint64_t q[4];
  u128 rem = 0;
  for (int i = 3; i >= 0; --i) {
    const u128 cur = (rem << 64) | w[i];
    q[i] = static_cast<uint64_t>(cur / kMillion);
    rem = cur % kMillion;
  }
  if (q[3] != 0 || q[2] != 0) return std::nullopt;
  u128 m = (static_cast<u128>(q[1]) << 64) | q[0];
  if (2 * rem >= kMillion) ++m;
  return Signed(m, (x < 0) != (y < 0));
}

std::optional<i128> RefDiv(i128 x, i128 y) {
  if (y == 0) return std::nullopt;
  const u128 n = Abs(x) * kMillion, d = Abs(y);
  return Signed((2 * n + d) / (2 * d), (x < 0) != (y < 0));
}

i128 FloorTo(i128 v, i128 u) { return (v >= 0 ? v / u : -((-v + u - 1) / u)) * u; }
i128 CeilTo(i128 v, i128 u) { return -FloorTo(-v, u); }
i128 NearestTo(i128 v, i128 u) { return (v < 0 ? -1 : 1) * static_cast<i128>((Abs(v) + u / 2) / u * u); }
const i128 kUnit[6] = {1000000, 100000, 10000, 1000, 100, 10};

std::string Dec(i128 v) {
  const u128 m = Abs(v);
  char b[64];
  snprintf(b, sizeof b, "%s%llu.%06u", v < 0 ? "-" : "", static_cast<unsigned long long>(m / kMillion),
           static_cast<unsigned>(m % kMillion));
  std::string s = b;
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  return s;
}

std::string Raw(i128 v, int bits, int digits) {
  u128 r = static_cast<u128>(v) & ((static_cast<u128>(1) << (bits * digits)) - 1);
  std::string s(digits, '0');
  for (int i = digits - 1; i >= 0; --i, r >>= bits)
    s[i] = "0123456789ABCDEF"[static_cast<unsigned>(r) & ((1u << bits) - 1)];
  const size_t nz = s.find_first_not_of('0');
  return nz == std::string::npos ? "0" : s.substr(nz);
}

std::string Narrow(const wchar_t* w) { return std::string(w, w + wcslen(w)); }
std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

// The double rounded to six decimals, halves to even (what "%.6f" does), computed exactly.
std::optional<i128> RefFromDouble(double d) {
  if (!std::isfinite(d)) return std::nullopt;
  int e;
  const double f = std::frexp(std::fabs(d), &e);
  const u128 mant = static_cast<u128>(std::ldexp(f, 53));
  e -= 53;
  u128 m;
  if (e >= 0) {
    if (e > 30) return std::nullopt;
    m = mant * kMillion << e;
  } else if (-e > 100) {
    m = 0;
  } else {
    const int k = -e;
    const u128 num = mant * kMillion, rest = num & ((static_cast<u128>(1) << k) - 1),
               half = static_cast<u128>(1) << (k - 1);
    m = num >> k;
    if (rest > half || (rest == half && (m & 1))) ++m;
  }
  return Signed(m, d < 0);
}

// Operands: uniform 80-bit, log-uniform, whole and half units, and the neighbourhoods of the bounds.
class Operands {
 public:
  explicit Operands(uint64_t seed) : rng_(seed) {}
  i128 Next() {
    const uint64_t lo = rng_(), hi = rng_();
    const u128 r = (static_cast<u128>(hi) << 64) | lo;
    switch (rng_() % 8) {
      case 0:
      case 1:
        return Val(Mon(static_cast<i128>(r)));
      case 2:
      case 3: {
        const int bits = static_cast<int>(rng_() % 80);
        const i128 m = static_cast<i128>(r & ((static_cast<u128>(1) << bits) - 1));
        return rng_() & 1 ? -m : m;
      }
      case 4:
        return static_cast<i128>(static_cast<int64_t>(lo) % 100000) * static_cast<i128>(kMillion) / kUnit[hi % 6] *
               kUnit[hi % 6] / (rng_() & 1 ? 1 : 2);
      case 5:
        return kMax - static_cast<i128>(lo % 3000000);
      case 6:
        return kMin + static_cast<i128>(lo % 3000000);
      default: {
        static const i128 fixed[] = {0, 1, -1, 500000, -500000, 999999, -999999, 1000000, -1000000, kMax, kMax - 1,
                                     kMin, kMin + 1, kMax / 1000000 * 1000000, kMin / 1000000 * 1000000};
        return fixed[lo % (sizeof fixed / sizeof fixed[0])];
      }
    }
  }

 private:
  std::mt19937_64 rng_;
};

// Checks an operation's result: the expected value, or a failure that kept the old value.
#define EXPECT_RESULT(expected, result, m, old, what)                                                                \
  do {                                                                                                               \
    const std::optional<i128> e_ = (expected);                                                                       \
    const bool ok_ = (result) != nullptr;                                                                            \
    const i128 got_ = Val(m);                                                                                        \
    ASSERT_TRUE(ok_ == e_.has_value() && got_ == (e_ ? *e_ : static_cast<i128>(old)))                                \
        << what << " of " << Dec(x) << " and " << Dec(y) << ": expected " << (e_ ? Dec(*e_) : "failure") << ", got " \
        << (ok_ ? "" : "failure, ") << Dec(got_);                                                                    \
  } while (0)

#define ASSERT_SAME(expected, actual) \
  ASSERT_TRUE((expected) == (actual)) << Dec(x) << ": expected " << Dec(expected) << ", got " << Dec(actual)

TEST(MoneyRandom, ArithmeticAgainstReference) {
  Operands ops(0x5EEDC0DE);
  for (int i = 0; i < kRandomRounds; ++i) {
    const i128 x = ops.Next(), y = ops.Next();
    const CMoney b = Mon(y);
    CMoney m = Mon(x);
    EXPECT_RESULT(InRange(x + y), pstAddMonetaire(&m, &b), m, x, "add");
    m = Mon(x);
    EXPECT_RESULT(InRange(x - y), pstSubMonetaire(&m, &b), m, x, "sub");
    m = Mon(x);
    EXPECT_RESULT(RefMul(x, y), pstMulMonetaire(&m, &b), m, x, "mul");
    m = Mon(x);
    EXPECT_RESULT(RefDiv(x, y), pstDivMonetaire(&m, &b), m, x, "div");

    const CMoney a = Mon(x);
    ASSERT_EQ(x < y ? -1 : x > y ? 1 : 0, nCmpMonetaire(&a, &b));
    unsigned char ka[10], kb[10];
    MonetaireVersCleKJ(ka, &a);
    MonetaireVersCleKJ(kb, &b);
    const int byKey = memcmp(ka, kb, 10);
    ASSERT_EQ(x < y ? -1 : x > y ? 1 : 0, (byKey > 0) - (byKey < 0));
  }
}

TEST(MoneyRandom, RoundingAgainstReference) {
  Operands ops(0xA11CE);
  std::mt19937 rng(5);
  const i128 y = 0;
  for (int i = 0; i < kRandomRounds; ++i) {
    const i128 x = ops.Next();
    const int n = static_cast<int>(rng() % 8) - 1;  // -1 to 6: outside 0-5 changes nothing
    const bool applies = n >= 0 && n <= 5;
    CMoney m = Mon(x);
    EXPECT_RESULT(applies ? InRange(NearestTo(x, kUnit[n])) : x, pstArrMonetaire(&m, n), m, x, "nearest " << n);
    m = Mon(x);
    EXPECT_RESULT(applies ? InRange(FloorTo(x, kUnit[n])) : x, pstArrMonetaireInf(&m, n), m, x, "floor " << n);
    m = Mon(x);
    EXPECT_RESULT(applies ? InRange(CeilTo(x, kUnit[n])) : x, pstArrMonetaireSup(&m, n), m, x, "ceil " << n);
    m = Mon(x);
    EXPECT_RESULT(InRange(FloorTo(x, 1000000)), pstEntMonetaire(&m), m, x, "whole");
    m = Mon(x);
    EXPECT_RESULT(static_cast<i128>(Abs(x) % kMillion), pstDecMonetaire(&m), m, x, "fraction");
    m = Mon(x);
    EXPECT_RESULT(InRange(-x), NegMonetaire(&m), m, x, "neg");
    m = Mon(x);
    EXPECT_RESULT(InRange(x < 0 ? -x : x), pstAbsMonetaire(&m), m, x, "abs");
    m = Mon(x);
    ASSERT_EQ(x + 1000000 <= kMax, bIncrementeMonetaire(&m) != FALSE);
    ASSERT_SAME(x + 1000000 <= kMax ? x + 1000000 : x, Val(m));
    m = Mon(x);
    ASSERT_EQ(x - 1000000 >= kMin, bDecrementeMonetaire(&m) != FALSE);
    ASSERT_SAME(x - 1000000 >= kMin ? x - 1000000 : x, Val(m));
  }
}

TEST(MoneyRandom, ConversionsAgainstReference) {
  Operands ops(0xC0FFEE);
  std::mt19937_64 rng(99);
  const i128 y = 0;
  for (int i = 0; i < kRandomRounds; ++i) {
    const i128 x = ops.Next();
    const CMoney a = Mon(x);
    CMoney m;
    wchar_t text[kMoneyOctalChars];
    // Text round trips; a seventh decimal is ignored, not rounded.
    const std::string dec = Dec(x);
    ASSERT_EQ(dec, Narrow(pszMonetaireVersChaineC(text, &a)));
    EXPECT_RESULT(x, pstChaineVersMonetaire(&m, text), m, x, "decimal");
    const std::wstring longer = Wide(dec + (dec.find('.') == std::string::npos ? ".0000009" : "0000009"));
    EXPECT_RESULT(x, pstChaineVersMonetaire(&m, longer.c_str()), m, x, "seventh decimal");
    ASSERT_EQ(Raw(x, 4, 20), Narrow(pszMonetaireVersChaineHexa(text, &a)));
    m = Mon(0);
    EXPECT_RESULT(x, pstChaineHexaVersMonetaire(&m, text), m, x, "hexadecimal");
    ASSERT_EQ(Raw(x, 3, 27), Narrow(pszMonetaireVersChaineOctale(text, &a)));

    // Whole numbers: rounded halves away from zero, and the 2^16-scaled whole part.
    const i128 rounded = (x < 0 ? -1 : 1) * static_cast<i128>((Abs(x) + kMillion / 2) / kMillion);
    ASSERT_EQ(static_cast<int64_t>(rounded), lMonetaireVersTresLong(&a));
    ASSERT_EQ(static_cast<int>(static_cast<uint32_t>(rounded)), lMonetaireVersInt32(&a));
    uint64_t u;
    ASSERT_TRUE(bMonetaireVersTresLongSansSigne(&a, &u));
    ASSERT_EQ(static_cast<uint64_t>(rounded), u);
    const i128 whole = (x < 0 ? -1 : 1) * static_cast<i128>(((Abs(x) << 17) + kMillion) / (2 * kMillion) >> 16);
    int64_t l;
    int n32;
    ASSERT_TRUE(bMonetaireVersTresLong(&a, &l));
    ASSERT_EQ(static_cast<int64_t>(whole), l);
    ASSERT_EQ(whole >= INT32_MIN && whole <= INT32_MAX, bMonetaireVersInt32(&a, &n32) != FALSE);

    // Doubles: the nearest double of the value, and doubles rounded to six decimals.
    ASSERT_EQ(strtod(dec.c_str(), nullptr), dMonetaireVersDouble(&a)) << dec;
    const double d = std::ldexp(static_cast<double>(static_cast<int64_t>(rng())), static_cast<int>(rng() % 100) - 90);
    m = Mon(x);
    EXPECT_RESULT(RefFromDouble(d), pstDoubleVersMonetaire(&m, d), m, x, "double " << d);
  }
}

// ---- Documented texts and results ----

i128 Read(const wchar_t* text) {
  CMoney m = Mon(12345);
  EXPECT_NE(nullptr, pstChaineVersMonetaire(&m, text));
  return Val(m);
}
std::string Write(i128 v) {
  const CMoney m = Mon(v);
  wchar_t b[kMoneyDecimalChars];
  return Narrow(pszMonetaireVersChaineC(b, &m));
}

TEST(Money, DecimalText) {
  EXPECT_EQ(12345000, Read(L"12.345"));
  EXPECT_EQ(-500000, Read(L"  -0.5"));
  EXPECT_EQ(1123456, Read(L"1.1234567"));
  EXPECT_EQ(12000000, Read(L"12abc"));
  EXPECT_EQ(1200000, Read(L"1.2.3"));
  EXPECT_EQ(-250000, Read(L"\xFF0D.25"));
  EXPECT_EQ(3000000, Read(L"\xFF0B"
                          L"3"));
  for (const wchar_t* zero : {L"", L"abc", L"+", L"-", L"\t5", L"- 5"}) EXPECT_EQ(0, Read(zero));
  CMoney m = Mon(7);
  EXPECT_EQ(&m, pstChaineVersMonetaire(&m, nullptr));
  EXPECT_EQ(0, Val(m));
  EXPECT_EQ(1000000, Read(L"0000000000000000000000000000001"));
  // Both bounds read back; one millionth beyond either is refused and changes nothing.
  EXPECT_EQ(kMax, Read(L"604462909807314587.353087"));
  EXPECT_EQ(kMin, Read(L"-604462909807314587.353088"));
  for (const wchar_t* over : {L"604462909807314587.353088", L"-604462909807314587.353089", L"1234567890123456789012345",
                              L"604462909807314588"}) {
    m = Mon(7);
    EXPECT_EQ(nullptr, pstChaineVersMonetaire(&m, over)) << Narrow(over);
    EXPECT_EQ(7, Val(m));
  }
  EXPECT_EQ("0", Write(0));
  EXPECT_EQ("0.000001", Write(1));
  EXPECT_EQ("-1", Write(-1000000));
  EXPECT_EQ("100", Write(100000000));
  EXPECT_EQ("-12.5", Write(-12500000));
  EXPECT_EQ("-604462909807314587.353088", Write(kMin));  // the longest text: 26 characters
}

TEST(Money, RawTexts) {
  wchar_t b[kMoneyOctalChars];
  CMoney m = Mon(-1);
  EXPECT_EQ("FFFFFFFFFFFFFFFFFFFF", Narrow(pszMonetaireVersChaineHexa(b, &m)));
  EXPECT_EQ(std::string(27, '7'), Narrow(pszMonetaireVersChaineOctale(b, &m)));
  m = Mon(0);
  EXPECT_EQ("0", Narrow(pszMonetaireVersChaineHexa(b, &m)));
  EXPECT_EQ("0", Narrow(pszMonetaireVersChaineOctale(b, &m)));
  m = Mon(kMin);  // the top digit has the sign as its third bit
  EXPECT_EQ("6" + std::string(26, '0'), Narrow(pszMonetaireVersChaineOctale(b, &m)));

  EXPECT_NE(nullptr, pstChaineHexaVersMonetaire(&m, L"  7a120xyz"));
  EXPECT_EQ(500000, Val(m));
  EXPECT_NE(nullptr, pstChaineHexaVersMonetaire(&m, L"fffffffffffffffffffF123"));
  EXPECT_EQ(-1, Val(m)) << "the first 20 digits of a longer run";
  EXPECT_NE(nullptr, pstChaineHexaVersMonetaire(&m, L"00000000000000000000F"));
  EXPECT_EQ(0, Val(m)) << "leading zeros count among the 20";
  const wchar_t* literal = L"abc";  // read, never written
  EXPECT_NE(nullptr, pstChaineHexaVersMonetaire(&m, literal));
  EXPECT_EQ(0xABC, Val(m));
  EXPECT_NE(nullptr, pstChaineHexaVersMonetaire(&m, L"g"));
  EXPECT_EQ(0, Val(m));

}

TEST(Money, ConstantsAndBounds) {
  EXPECT_EQ(1000000, Val(gstMillion));
  EXPECT_EQ(-1000000, Val(gstMoinsMillion));
  EXPECT_EQ(65536, Val(gstVersLong));
  CMoney m;
  unsigned char bytes[10];
  SetMonetaireToMin(&m);
  memcpy(bytes, &m, 10);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(0x00, bytes[i]);
  EXPECT_EQ(0x80, bytes[9]);
  SetMonetaireToMax(&m);
  memcpy(bytes, &m, 10);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(0xFF, bytes[i]);
  EXPECT_EQ(0x7F, bytes[9]);

  // 64-bit integers beyond the range of whole units do not fit.
  const int64_t top = 604462909807314587;
  EXPECT_NE(nullptr, pstTresLongVersMonetaire(&m, -top));
  EXPECT_EQ(-top * static_cast<i128>(1000000), Val(m));
  EXPECT_NE(nullptr, pstTresLongSansSigneVersMonetaire(&m, top));
  EXPECT_EQ(top * static_cast<i128>(1000000), Val(m));
  for (int64_t over : {top + 1, -top - 1, INT64_MIN, INT64_MAX}) EXPECT_EQ(nullptr, pstTresLongVersMonetaire(&m, over));
  EXPECT_EQ(nullptr, pstTresLongSansSigneVersMonetaire(&m, UINT64_MAX));
  EXPECT_EQ(nullptr, pstTresLongSansSigneVersMonetaire(&m, top + 1));
  EXPECT_EQ(top * static_cast<i128>(1000000), Val(m));
  EXPECT_NE(nullptr, pstInt32VersMonetaire(&m, INT_MIN));
  EXPECT_EQ(static_cast<i128>(INT_MIN) * 1000000, Val(m));
  EXPECT_EQ(0, nCmpMonetaireEtInt32(&m, INT_MIN));
  EXPECT_EQ(1, nCmpMonetaireEtInt32(&gstMillion, 0));
  EXPECT_EQ(-1, nCmpMonetaireEtInt32(&gstMoinsMillion, 0));

  unsigned char key[10];
  m = Mon(-1);
  MonetaireVersCleKJ(key, &m);
  EXPECT_EQ(0x7F, key[0]);
  for (int i = 1; i < 10; ++i) EXPECT_EQ(0xFF, key[i]);
  m = Mon(0);
  MonetaireVersCleKJ(key, &m);
  EXPECT_EQ(0x80, key[0]);
  for (int i = 1; i < 10; ++i) EXPECT_EQ(0x00, key[i]);

  EXPECT_EQ(1, nCmpMonetaire(nullptr, &m));
  EXPECT_EQ(-1, nCmpMonetaire(&m, nullptr));
  EXPECT_EQ(0, nCmpMonetaire(nullptr, nullptr));
  EXPECT_TRUE(bMonetaireZero(&m));
  EXPECT_FALSE(bMonetaireZero(&gstVersLong));
}

TEST(Money, DocumentedResults) {
  auto run = [](CMoney* (*op)(CMoney*, const CMoney*), i128 x, i128 y) {
    CMoney a = Mon(x);
    const CMoney b = Mon(y);
    return op(&a, &b) ? std::optional<i128>(Val(a)) : std::nullopt;
  };
  EXPECT_EQ(1, run(pstMulMonetaire, 1, 500000));
  EXPECT_EQ(-1, run(pstMulMonetaire, -1, 500000));
  EXPECT_EQ(333333, run(pstDivMonetaire, 1000000, 3000000));
  EXPECT_EQ(666667, run(pstDivMonetaire, 2000000, 3000000));
  EXPECT_EQ(std::nullopt, run(pstDivMonetaire, 1000000, 0));
  EXPECT_EQ(0, run(pstSubMonetaire, kMin, kMin));
  EXPECT_EQ(kMin, run(pstSubMonetaire, -1, kMax));
  EXPECT_EQ(std::nullopt, run(pstSubMonetaire, 0, kMin));
  // Two negatives whose sum has top limb 0x8000 and lowest limb 0: it fits.
  EXPECT_EQ(kMin, run(pstAddMonetaire, kMin + 0x10000, -0x10000));
  EXPECT_EQ(kMin + 0x10000, run(pstAddMonetaire, -1000000 + 0x10000, kMin + 1000000));
  EXPECT_EQ(std::nullopt, run(pstAddMonetaire, kMin, -1));
  EXPECT_EQ(std::nullopt, run(pstAddMonetaire, kMax, 1));

  auto one = [](CMoney* (*op)(CMoney*, int), i128 x, int n) {
    CMoney a = Mon(x);
    return op(&a, n) ? std::optional<i128>(Val(a)) : std::nullopt;
  };
  EXPECT_EQ(3000000, one(pstArrMonetaire, 2500000, 0));
  EXPECT_EQ(-3000000, one(pstArrMonetaire, -2500000, 0));
  EXPECT_EQ(1230000, one(pstArrMonetaire, 1234560, 2));
  EXPECT_EQ(1300000, one(pstArrMonetaireSup, 1210000, 1));
  EXPECT_EQ(1200000, one(pstArrMonetaireSup, 1200000, 1));
  EXPECT_EQ(-1300000, one(pstArrMonetaireInf, -1210000, 1));
  EXPECT_EQ(kMax, one(pstArrMonetaireSup, kMax, -1));  // n taken as unsigned: out of range
  // Rounding the maximum to a whole number fits; to five decimals, or up, it does not.
  EXPECT_EQ(kMax / 1000000 * 1000000, one(pstArrMonetaire, kMax, 0));
  EXPECT_EQ(std::nullopt, one(pstArrMonetaire, kMax, 5));
  EXPECT_EQ(std::nullopt, one(pstArrMonetaireSup, kMax, 0));
  EXPECT_EQ(std::nullopt, one(pstArrMonetaireInf, kMin, 3));
  EXPECT_EQ(kMin / 100000 * 100000, one(pstArrMonetaireSup, kMin, 1));

  CMoney m = Mon(-12500000);
  EXPECT_EQ(-13000000, Val(*pstEntMonetaire(&m)));
  m = Mon(-12000000);
  EXPECT_EQ(-12000000, Val(*pstEntMonetaire(&m)));
  m = Mon(-12500000);
  EXPECT_EQ(500000, Val(*pstDecMonetaire(&m)));
  m = Mon(kMin);
  EXPECT_EQ(nullptr, pstEntMonetaire(&m));  // its floor is below the range
  EXPECT_EQ(nullptr, NegMonetaire(&m));
  EXPECT_EQ(nullptr, pstAbsMonetaire(&m));
  EXPECT_EQ(kMin, Val(m));

  int n;
  for (const auto& [in, expected, ok] : {std::tuple<i128, int, bool>{2999999, 3, true},
                                         {2999990, 2, true},
                                         {2999993, 3, true},
                                         {2999992, 2, true},
                                         {-2999999, -3, true},
                                         {static_cast<i128>(3000000000) * 1000000, -1294967296, false}}) {
    m = Mon(in);
    EXPECT_EQ(ok, bMonetaireVersInt32(&m, &n) != FALSE) << Dec(in);
    EXPECT_EQ(expected, n) << Dec(in);
  }
}

TEST(Money, Doubles) {
  CMoney m = Mon(7);
  for (double bad :
       {double(NAN), double(INFINITY), -double(INFINITY), DBL_MAX, -DBL_MAX, 1e308, 1e19, 0x1p79 / 1e6 + 1e3}) {
    EXPECT_EQ(nullptr, pstDoubleVersMonetaire(&m, bad)) << bad;
    EXPECT_EQ(7, Val(m));
  }
  const struct {
    double in;
    i128 out;
  } cases[] = {{0.1, 100000},
               {-2.5, -2500000},
               {0.0078125, 7812},
               {-0.0234375, -23438},
               {4.9406564584124654e-324, 0},
               {-1e-7, 0},
               {6.0e17, static_cast<i128>(6) * 100000000000000000 * 1000000}};
  for (const auto& c : cases) {
    EXPECT_NE(nullptr, pstDoubleVersMonetaire(&m, c.in)) << c.in;
    EXPECT_EQ(Dec(c.out), Dec(Val(m))) << c.in;
  }
  m = Mon(kMin);
  EXPECT_EQ(-604462909807314587.353088, dMonetaireVersDouble(&m));
}

}  // namespace
