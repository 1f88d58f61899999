// Currency: decimal text in and out and the arithmetic, against 128-bit integer arithmetic on the
// count of millionths. Every result is the exact one rounded as the operation says, or a failure
// exactly when that result is out of range; a failure leaves the operand as it was.
#include <cstring>
#include <string>

#include "fuzz/fuzz_input.h"
#include "values/money.h"

namespace {

using i128 = __int128;
using u128 = unsigned __int128;

const i128 kMax = (static_cast<i128>(1) << 79) - 1, kMin = -(static_cast<i128>(1) << 79);
const i128 kMillion = 1000000;

i128 Value(const CMoney& m) {
  u128 v = 0;
  for (int i = 4; i >= 0; --i) v = v << 16 | m.m_awLimb[i];
  // Sign-extend the 80 bits.
  return static_cast<i128>(v << 48) >> 48;
}

CMoney Money(i128 v) {
  CMoney m;
  for (int i = 0; i < 5; ++i) m.m_awLimb[i] = static_cast<uint16_t>(static_cast<u128>(v) >> (16 * i));
  return m;
}

bool bInRange(i128 v) { return v >= kMin && v <= kMax; }

std::string Text(i128 v) {
  std::string s;
  u128 m = v < 0 ? -static_cast<u128>(v) : static_cast<u128>(v);
  do {
    s.insert(s.begin(), static_cast<char>('0' + static_cast<int>(m % 10)));
    m /= 10;
  } while (m != 0);
  return (v < 0 ? "-" : "") + s;
}

// The decimal text of a count of millionths: no trailing zeros, no point for a whole number.
std::wstring Decimal(i128 v) {
  const u128 m = v < 0 ? -static_cast<u128>(v) : static_cast<u128>(v);
  std::string whole = Text(static_cast<i128>(m / 1000000)), frac = Text(static_cast<i128>(m % 1000000));
  frac.insert(0, 6 - frac.size(), '0');
  while (!frac.empty() && frac.back() == '0') frac.pop_back();
  std::string s = (v < 0 ? "-" : "") + whole + (frac.empty() ? "" : "." + frac);
  return std::wstring(s.begin(), s.end());
}

// |a| * |b| / 10^6 rounded half up, or -1 when it is beyond 2^80: the product needs 160 bits.
i128 MulMagnitude(u128 a, u128 b) {
  const uint64_t al = static_cast<uint64_t>(a), ah = static_cast<uint64_t>(a >> 64);
  const uint64_t bl = static_cast<uint64_t>(b), bh = static_cast<uint64_t>(b >> 64);
  // Three 64-bit limbs (a and b are below 2^80, so ah * bh < 2^32).
  u128 lo = static_cast<u128>(al) * bl;
  u128 mid = static_cast<u128>(al) * bh + static_cast<u128>(ah) * bl + (lo >> 64);
  const uint64_t w0 = static_cast<uint64_t>(lo), w1 = static_cast<uint64_t>(mid);
  const u128 w2 = (mid >> 64) + static_cast<u128>(ah) * bh;
  // Long division of (w2, w1, w0) by 10^6.
  u128 rem = w2 % 1000000;
  const u128 q2 = w2 / 1000000;
  u128 cur = rem << 64 | w1;
  const u128 q1 = cur / 1000000;
  rem = cur % 1000000;
  cur = rem << 64 | w0;
  const u128 q0 = cur / 1000000;
  rem = cur % 1000000;
  if (q2 != 0 || (q1 >> 64) != 0) return -1;
  u128 q = q1 << 64 | q0;
  if (2 * rem >= 1000000) ++q;
  return q >> 80 != 0 ? -1 : static_cast<i128>(q);
}

// An operation's expected result, or nothing when it must fail.
struct STExpect {
  bool ok;
  i128 v;
};
STExpect Ok(i128 v) { return {bInRange(v), v}; }
const STExpect kFail{false, 0};

i128 RoundHalfAway(i128 n, i128 d) {
  const i128 m = n < 0 ? -n : n, e = d < 0 ? -d : d;
  i128 q = m / e;
  if (2 * (m % e) >= e) ++q;
  return (n < 0) != (d < 0) ? -q : q;
}
i128 Floor(i128 n, i128 d) { return n / d - ((n % d != 0 && n < 0) ? 1 : 0); }
i128 Ceil(i128 n, i128 d) { return n / d + ((n % d != 0 && n > 0) ? 1 : 0); }

void Check(const char* what, CMoney* (*op)(CMoney*), i128 a, STExpect e) {
  CMoney m = Money(a);
  const CMoney* r = op(&m);
  FUZZ_CHECK((r != nullptr) == e.ok, "%s(%s): %s", what, Text(a).c_str(), r != nullptr ? "succeeded" : "failed");
  FUZZ_CHECK(Value(m) == (e.ok ? e.v : a), "%s(%s) = %s, not %s", what, Text(a).c_str(), Text(Value(m)).c_str(),
             Text(e.ok ? e.v : a).c_str());
}

void CheckBinary(const char* what, CMoney* (*op)(CMoney*, const CMoney*), i128 a, i128 b, STExpect e) {
  CMoney m = Money(a);
  const CMoney n = Money(b);
  const CMoney* r = op(&m, &n);
  FUZZ_CHECK((r != nullptr) == e.ok, "%s(%s, %s): %s", what, Text(a).c_str(), Text(b).c_str(),
             r != nullptr ? "succeeded" : "failed");
  FUZZ_CHECK(Value(m) == (e.ok ? e.v : a), "%s(%s, %s) = %s, not %s", what, Text(a).c_str(), Text(b).c_str(),
             Text(Value(m)).c_str(), Text(e.ok ? e.v : a).c_str());
}

void CheckText(const std::wstring& text) {
  // The model reader: blanks, a sign, digits, at most six decimals after a point.
  size_t i = 0;
  while (i < text.size() && text[i] == L' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-' || text[i] == 0xFF0B || text[i] == 0xFF0D))
    negative = text[i] == L'-' || text[i] == 0xFF0D, ++i;
  i128 v = 0;
  bool overflow = false;
  int decimals = -1;
  for (; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (c == L'.' && decimals < 0) {
      decimals = 0;
      continue;
    }
    if (c < L'0' || c > L'9' || decimals == 6) break;
    v = v * 10 + (c - L'0');
    if (v > kMax) overflow = true, v = kMax;
    if (decimals >= 0) ++decimals;
  }
  for (int d = decimals < 0 ? 0 : decimals; d < 6; ++d) {
    v *= 10;
    if (v > kMax) overflow = true, v = kMax;
  }
  CMoney m = Money(12345);
  const CMoney* r = pstChaineVersMonetaire(&m, text.c_str());
  FUZZ_CHECK((r != nullptr) == !overflow, "reading '%ls': %s", text.c_str(), r != nullptr ? "succeeded" : "failed");
  if (overflow) return;
  FUZZ_CHECK(Value(m) == (negative ? -v : v), "'%ls' read as %s", text.c_str(), Text(Value(m)).c_str());
}

void CheckValue(i128 a, i128 b, int n) {
  // Text out and back in.
  wchar_t buffer[kMoneyDecimalChars];
  CMoney m = Money(a);
  FUZZ_CHECK(Decimal(a) == pszMonetaireVersChaineC(buffer, &m), "%s written as '%ls'", Text(a).c_str(), buffer);
  CMoney back;
  FUZZ_CHECK(pstChaineVersMonetaire(&back, buffer) != nullptr && Value(back) == a, "'%ls' read back", buffer);

  CheckBinary("add", pstAddMonetaire, a, b, Ok(a + b));
  CheckBinary("sub", pstSubMonetaire, a, b, Ok(a - b));
  const u128 ma = a < 0 ? -static_cast<u128>(a) : static_cast<u128>(a);
  const u128 mb = b < 0 ? -static_cast<u128>(b) : static_cast<u128>(b);
  const i128 product = MulMagnitude(ma, mb);
  CheckBinary("mul", pstMulMonetaire, a, b, product < 0 ? kFail : Ok((a < 0) != (b < 0) ? -product : product));
  CheckBinary("div", pstDivMonetaire, a, b, b == 0 ? kFail : Ok(RoundHalfAway(a * kMillion, b)));
  Check("neg", NegMonetaire, a, Ok(-a));
  Check("abs", pstAbsMonetaire, a, Ok(a < 0 ? -a : a));
  Check("ent", pstEntMonetaire, a, Ok(Floor(a, kMillion) * kMillion));
  Check("dec", pstDecMonetaire, a, Ok(static_cast<i128>(ma % 1000000)));
  CMoney same = Money(a);
  FUZZ_CHECK((pstAddMonetaire(&same, &same) != nullptr) == bInRange(2 * a), "add to itself");

  // Rounding to n decimals; n outside 0-5 changes nothing.
  i128 unit = 1;
  for (int k = n; k < 6; ++k) unit *= 10;
  const bool inRange = n >= 0 && n <= 5;
  CMoney r = Money(a);
  CMoney* got = pstArrMonetaire(&r, n);
  const STExpect nearest = inRange ? Ok(RoundHalfAway(a, unit) * unit) : STExpect{true, a};
  FUZZ_CHECK((got != nullptr) == nearest.ok && Value(r) == (nearest.ok ? nearest.v : a), "round(%s, %d) = %s",
             Text(a).c_str(), n, Text(Value(r)).c_str());
  for (const bool inf : {true, false}) {
    r = Money(a);
    got = inf ? pstArrMonetaireInf(&r, n) : pstArrMonetaireSup(&r, n);
    const STExpect e = inRange ? Ok((inf ? Floor(a, unit) : Ceil(a, unit)) * unit) : STExpect{true, a};
    FUZZ_CHECK((got != nullptr) == e.ok && Value(r) == (e.ok ? e.v : a), "round %s(%s, %d) = %s",
               inf ? "down" : "up", Text(a).c_str(), n, Text(Value(r)).c_str());
  }

  // Order, by comparison and by key bytes.
  const CMoney x = Money(a), y = Money(b);
  const int expected = a < b ? -1 : a > b ? 1 : 0;
  FUZZ_CHECK(nCmpMonetaire(&x, &y) == expected, "compare %s %s", Text(a).c_str(), Text(b).c_str());
  unsigned char kx[10], ky[10];
  MonetaireVersCleKJ(kx, &x);
  MonetaireVersCleKJ(ky, &y);
  const int keys = std::memcmp(kx, ky, 10);
  FUZZ_CHECK((keys < 0 ? -1 : keys > 0 ? 1 : 0) == expected, "keys of %s %s", Text(a).c_str(), Text(b).c_str());
  // The whole number, rounded half away from zero, in 64 bits.
  FUZZ_CHECK(lMonetaireVersTresLong(&x) == static_cast<int64_t>(RoundHalfAway(a, kMillion)), "whole of %s",
             Text(a).c_str());
}

// Values near the edges and the rounding points more often than uniform bytes would give them.
i128 Draw(CFuzzInput& in) {
  const uint8_t kind = in.Byte();
  const i128 raw = Value(Money(static_cast<i128>(in.U64()) << 16 | in.Byte() << 8 | in.Byte()));
  const i128 small = static_cast<int16_t>(in.U32()) * static_cast<i128>(1 + (kind >> 4) * 62500);
  switch (kind & 7) {
    case 0: return kMax - (small < 0 ? -small : small);
    case 1: return kMin + (small < 0 ? -small : small);
    case 2: case 3: return small;
    case 4: return small * kMillion / 2;
    default: return raw;
  }
}

const std::wstring kTextAlphabet = L"0123456789.. -+\uff0d\uff0b x9999999999";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CFuzzInput in(data, size);
  if (in.Byte() & 1) {
    CheckText(in.Text(kTextAlphabet, 0xFF));
    return 0;
  }
  const int n = static_cast<int8_t>(in.Byte()) % 8;
  const i128 a = Draw(in), b = Draw(in);
  CheckValue(a, b, n);
  return 0;
}
