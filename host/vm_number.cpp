#include "host/vm_number.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <cstdlib>

namespace {

using u128 = unsigned __int128;

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

// a * m + add on a single 64-bit multiplier; false on overflow.
bool MulSmall(U256* a, uint64_t m, uint64_t add) {
  u128 carry = add;
  for (auto& w : a->w) {
    u128 t = static_cast<u128>(w) * m + carry;
    w = static_cast<uint64_t>(t);
    carry = t >> 64;
  }
  return carry == 0;
}

// a / d in place, returns the remainder.
uint64_t DivSmall(U256* a, uint64_t d) {
  u128 rem = 0;
  for (int i = 3; i >= 0; --i) {
    u128 cur = (rem << 64) | a->w[i];
    a->w[i] = static_cast<uint64_t>(cur / d);
    rem = cur % d;
  }
  return static_cast<uint64_t>(rem);
}

int BitLength(const U256& a) {
  for (int i = 3; i >= 0; --i)
    if (a.w[i] != 0) return i * 64 + 64 - __builtin_clzll(a.w[i]);
  return 0;
}

void ShiftLeft1(U256* a) {
  for (int i = 3; i > 0; --i) a->w[i] = (a->w[i] << 1) | (a->w[i - 1] >> 63);
  a->w[0] <<= 1;
}

bool TestBit(const U256& a, int bit) { return (a.w[bit / 64] >> (bit % 64)) & 1; }

// Divides mag by 10^k rounding half away from zero.
bool DivPow10Round(U256* mag, int k, bool* pbLost) {
  if (k <= 0) return true;
  if (k > 77) {
    if (pbLost && !U256IsZero(*mag)) *pbLost = true;
    *mag = U256{};
    return true;
  }
  U256 q, r;
  U256DivMod(*mag, U256Pow10(k), &q, &r);
  if (!U256IsZero(r)) {
    if (pbLost) *pbLost = true;
    // r >= 10^k - r rounds up (2r would overflow 256 bits from k = 77 on).
    U256 rest;
    U256Sub(&rest, U256Pow10(k), r);
    if (U256Cmp(r, rest) >= 0) U256Add(&q, q, U256From(1));
  }
  *mag = q;
  return true;
}

void Normalise(VMExact* x) {
  if (U256IsZero(x->mag)) x->bNeg = false;
}

// Both to the larger scale; false on overflow.
bool Align(VMExact* a, VMExact* b) {
  const int s = a->nScale > b->nScale ? a->nScale : b->nScale;
  return ExactRescale(a, s, nullptr) && ExactRescale(b, s, nullptr);
}

std::string Narrow(const std::wstring& s) {
  std::string out;
  out.reserve(s.size());
  for (wchar_t c : s) out.push_back(c < 128 ? static_cast<char>(c) : '?');
  return out;
}

}  // namespace

U256 U256From(uint64_t v) {
  U256 r;
  r.w[0] = v;
  return r;
}

bool U256IsZero(const U256& a) { return (a.w[0] | a.w[1] | a.w[2] | a.w[3]) == 0; }

int U256Cmp(const U256& a, const U256& b) {
  for (int i = 3; i >= 0; --i)
    if (a.w[i] != b.w[i]) return a.w[i] < b.w[i] ? -1 : 1;
  return 0;
}

bool U256Add(U256* out, const U256& a, const U256& b) {
  u128 carry = 0;
  for (int i = 0; i < 4; ++i) {
    u128 t = static_cast<u128>(a.w[i]) + b.w[i] + carry;
    out->w[i] = static_cast<uint64_t>(t);
    carry = t >> 64;
  }
  return carry == 0;
}

void U256Sub(U256* out, const U256& a, const U256& b) {
  uint64_t borrow = 0;
  for (int i = 0; i < 4; ++i) {
    const uint64_t ai = a.w[i], bi = b.w[i];
    const uint64_t d = ai - bi - borrow;
    borrow = (ai < bi || (ai == bi && borrow)) ? 1 : 0;
    out->w[i] = d;
  }
}

bool U256Mul(U256* out, const U256& a, const U256& b) {
  uint64_t r[8] = {};
  for (int i = 0; i < 4; ++i) {
    if (a.w[i] == 0) continue;
    u128 carry = 0;
    for (int j = 0; j < 4; ++j) {
      u128 t = static_cast<u128>(a.w[i]) * b.w[j] + r[i + j] + carry;
      r[i + j] = static_cast<uint64_t>(t);
      carry = t >> 64;
    }
    for (int k = i + 4; carry != 0 && k < 8; ++k) {
      u128 t = static_cast<u128>(r[k]) + carry;
      r[k] = static_cast<uint64_t>(t);
      carry = t >> 64;
    }
  }
  if ((r[4] | r[5] | r[6] | r[7]) != 0) return false;
  memcpy(out->w, r, sizeof(out->w));
  return true;
}

void U256DivMod(const U256& n, const U256& d, U256* q, U256* r) {
  if (BitLength(d) <= 64) {
    U256 quot = n;
    const uint64_t rem = DivSmall(&quot, d.w[0]);
    *q = quot;
    *r = U256From(rem);
    return;
  }
  U256 quot, rem;
  for (int bit = BitLength(n) - 1; bit >= 0; --bit) {
    ShiftLeft1(&rem);
    rem.w[0] |= TestBit(n, bit) ? 1 : 0;
    if (U256Cmp(rem, d) >= 0) {
      U256Sub(&rem, rem, d);
      quot.w[bit / 64] |= uint64_t{1} << (bit % 64);
    }
  }
  *q = quot;
  *r = rem;
}

const U256& U256Pow10(int k) {
  static const auto table = [] {
    struct T {
      U256 p[78];
    } t;
    t.p[0] = U256From(1);
    for (int i = 1; i < 78; ++i) {
      t.p[i] = t.p[i - 1];
      MulSmall(&t.p[i], 10, 0);
    }
    return t;
  }();
  return table.p[k < 0 ? 0 : (k > 77 ? 77 : k)];
}

int U256Digits(const U256& a) {
  int n = 1;
  while (n < 78 && U256Cmp(a, U256Pow10(n)) >= 0) ++n;
  return n;
}

VMExact ExactFromInt(int64_t v) {
  VMExact x;
  x.bNeg = v < 0;
  x.mag = U256From(v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v));
  return x;
}

VMExact ExactFromUInt(uint64_t v) {
  VMExact x;
  x.mag = U256From(v);
  return x;
}

VMExact ExactFromTwos(const unsigned char* p, int n, int nScale) {
  u128 v = 0;
  for (int i = n - 1; i >= 0; --i) v = (v << 8) | p[i];
  const bool neg = n > 0 && (p[n - 1] & 0x80);
  if (neg && n < 16) v |= ~u128{0} << (8 * n);  // sign extension
  VMExact x;
  x.bNeg = neg;
  const u128 mag = neg ? ~v + 1 : v;
  x.mag.w[0] = static_cast<uint64_t>(mag);
  x.mag.w[1] = static_cast<uint64_t>(mag >> 64);
  x.nScale = nScale;
  Normalise(&x);
  return x;
}

bool ExactToTwos(const VMExact& x, unsigned char* p, int n) {
  if (x.mag.w[2] != 0 || x.mag.w[3] != 0) return false;
  const u128 mag = (static_cast<u128>(x.mag.w[1]) << 64) | x.mag.w[0];
  // n bytes hold -(2^(8n-1)) .. 2^(8n-1) - 1.
  const u128 limit = n >= 16 ? (u128{1} << 127) : (u128{1} << (8 * n - 1));
  if (x.bNeg ? mag > limit : mag >= limit) return false;
  const u128 v = x.bNeg ? ~mag + 1 : mag;
  for (int i = 0; i < n; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
  return true;
}

bool ExactIsZero(const VMExact& x) { return U256IsZero(x.mag); }

int ExactCmp(const VMExact& a, const VMExact& b) {
  const bool za = ExactIsZero(a), zb = ExactIsZero(b);
  if (za && zb) return 0;
  const bool na = a.bNeg && !za, nb = b.bNeg && !zb;
  if (na != nb) return na ? -1 : 1;
  VMExact x = a, y = b;
  int c;
  if (Align(&x, &y)) {
    c = U256Cmp(x.mag, y.mag);
  } else {
    // Too large to bring to one scale: integer parts first, then the fractions (each below 1,
    // so they align).
    VMExact ix = a, iy = b, fx = a, fy = b;
    U256DivMod(a.mag, U256Pow10(a.nScale), &ix.mag, &fx.mag);
    U256DivMod(b.mag, U256Pow10(b.nScale), &iy.mag, &fy.mag);
    c = U256Cmp(ix.mag, iy.mag);
    if (c == 0 && Align(&fx, &fy)) c = U256Cmp(fx.mag, fy.mag);
  }
  return na ? -c : c;
}

VMExact ExactNeg(const VMExact& x) {
  VMExact r = x;
  r.bNeg = !x.bNeg;
  Normalise(&r);
  return r;
}

bool ExactRescale(VMExact* x, int nScale, bool* pbLost) {
  if (nScale > x->nScale) {
    U256 m;
    if (!U256Mul(&m, x->mag, U256Pow10(nScale - x->nScale))) return false;
    x->mag = m;
  } else if (nScale < x->nScale) {
    DivPow10Round(&x->mag, x->nScale - nScale, pbLost);
  }
  x->nScale = nScale;
  Normalise(x);
  return true;
}

bool ExactFit(VMExact* x, int nMaxDigits, bool* pbLost) {
  int digits = U256Digits(x->mag);
  if (digits > nMaxDigits && x->nScale > 0) {
    const int drop = digits - nMaxDigits < x->nScale ? digits - nMaxDigits : x->nScale;
    ExactRescale(x, x->nScale - drop, pbLost);
    digits = U256Digits(x->mag);
  }
  return digits <= nMaxDigits;
}

bool ExactToInt64(const VMExact& x, int64_t* out, bool* pbLost) {
  VMExact r = x;
  ExactRescale(&r, 0, pbLost);
  if (r.mag.w[1] | r.mag.w[2] | r.mag.w[3]) return false;
  const uint64_t m = r.mag.w[0];
  if (r.bNeg) {
    if (m > uint64_t{1} << 63) return false;
    *out = static_cast<int64_t>(0 - m);
  } else {
    if (m > static_cast<uint64_t>(INT64_MAX)) return false;
    *out = static_cast<int64_t>(m);
  }
  return true;
}

bool ExactToUInt64(const VMExact& x, uint64_t* out, bool* pbLost) {
  VMExact r = x;
  ExactRescale(&r, 0, pbLost);
  if (r.bNeg || (r.mag.w[1] | r.mag.w[2] | r.mag.w[3])) return false;
  *out = r.mag.w[0];
  return true;
}

bool ExactAdd(VMExact* out, const VMExact& a, const VMExact& b) {
  VMExact x = a, y = b;
  if (!Align(&x, &y)) return false;
  VMExact r;
  r.nScale = x.nScale;
  if (x.bNeg == y.bNeg) {
    if (!U256Add(&r.mag, x.mag, y.mag)) return false;
    r.bNeg = x.bNeg;
  } else if (U256Cmp(x.mag, y.mag) >= 0) {
    U256Sub(&r.mag, x.mag, y.mag);
    r.bNeg = x.bNeg;
  } else {
    U256Sub(&r.mag, y.mag, x.mag);
    r.bNeg = y.bNeg;
  }
  Normalise(&r);
  *out = r;
  return true;
}

bool ExactSub(VMExact* out, const VMExact& a, const VMExact& b) { return ExactAdd(out, a, ExactNeg(b)); }

bool ExactMul(VMExact* out, const VMExact& a, const VMExact& b) {
  VMExact r;
  if (!U256Mul(&r.mag, a.mag, b.mag)) return false;
  r.bNeg = a.bNeg != b.bNeg;
  r.nScale = a.nScale + b.nScale;
  // Scales beyond 77 cannot be represented: round the excess away first.
  if (r.nScale > 77) {
    DivPow10Round(&r.mag, r.nScale - 77, nullptr);
    r.nScale = 77;
  }
  Normalise(&r);
  *out = r;
  return true;
}

bool ExactDiv(VMExact* out, const VMExact& a, const VMExact& b, int nScale, bool* pbLost, bool* pbDivZero) {
  if (ExactIsZero(b)) {
    if (pbDivZero) *pbDivZero = true;
    return false;
  }
  // q = A * 10^e / B with e = b.scale + nScale - a.scale; the numerator must stay within 256 bits.
  const int room = 77 - U256Digits(a.mag);
  int e = b.nScale + nScale - a.nScale;
  if (e > room) {
    nScale -= e - room;
    e = room;
  }
  U256 n = a.mag, d = b.mag;
  if (e >= 0) {
    if (!U256Mul(&n, a.mag, U256Pow10(e))) return false;
  } else if (!U256Mul(&d, b.mag, U256Pow10(-e))) {
    // Divisor beyond 256 bits: the quotient rounds to zero.
    *out = VMExact{};
    out->nScale = nScale < 0 ? 0 : nScale;
    if (pbLost && !ExactIsZero(a)) *pbLost = true;
    return true;
  }
  U256 q, r;
  U256DivMod(n, d, &q, &r);
  if (!U256IsZero(r)) {
    if (pbLost) *pbLost = true;
    U256 twice;
    const bool fits = U256Add(&twice, r, r);
    if (!fits || U256Cmp(twice, d) >= 0) U256Add(&q, q, U256From(1));
  }
  VMExact res;
  res.mag = q;
  res.bNeg = a.bNeg != b.bNeg;
  res.nScale = nScale;
  if (nScale < 0 && !ExactRescale(&res, 0, nullptr)) return false;
  Normalise(&res);
  *out = res;
  return true;
}

bool ExactMod(VMExact* out, const VMExact& a, const VMExact& b, bool* pbDivZero) {
  if (ExactIsZero(b)) {
    if (pbDivZero) *pbDivZero = true;
    return false;
  }
  VMExact x = a, y = b;
  if (!Align(&x, &y)) return false;
  U256 q, r;
  U256DivMod(x.mag, y.mag, &q, &r);
  VMExact res;
  res.mag = r;
  res.bNeg = x.bNeg;
  res.nScale = x.nScale;
  Normalise(&res);
  *out = res;
  return true;
}

std::wstring ExactToText(const VMExact& x, bool bTrim) {
  U256 m = x.mag;
  std::wstring digits;
  do {
    digits.insert(digits.begin(), static_cast<wchar_t>(L'0' + DivSmall(&m, 10)));
  } while (!U256IsZero(m));
  int scale = x.nScale;
  if (bTrim)
    while (scale > 0 && digits.size() > 1 && digits.back() == L'0') {
      digits.pop_back();
      --scale;
    }
  if (bTrim && scale > 0 && digits == L"0") scale = 0;
  if (static_cast<int>(digits.size()) <= scale) digits.insert(0, static_cast<size_t>(scale) + 1 - digits.size(), L'0');
  if (scale > 0) digits.insert(digits.size() - static_cast<size_t>(scale), 1, L'.');
  if (x.bNeg && !ExactIsZero(x)) digits.insert(0, 1, L'-');
  return digits;
}

int ExactFromText(const std::wstring& text, VMExact* out, bool* pbLost) {
  size_t i = 0, n = text.size();
  while (i < n && IsBlank(text[i])) ++i;
  while (n > i && IsBlank(text[n - 1])) --n;
  VMExact x;
  if (i == n) {
    *out = x;
    return 0;
  }
  bool neg = false;
  if (text[i] == L'+' || text[i] == L'-') neg = text[i++] == L'-';
  std::wstring digits;
  int fraction = 0;
  bool anyDigit = false, point = false;
  for (; i < n; ++i) {
    const wchar_t c = text[i];
    if (c >= L'0' && c <= L'9') {
      anyDigit = true;
      if (digits.empty() && c == L'0') {
        if (point) ++fraction;
        continue;  // leading zeros carry no digit
      }
      digits.push_back(c);
      if (point) ++fraction;
    } else if (c == L'.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (!anyDigit) return 202;
  long exponent = 0;
  if (i < n && (text[i] == L'e' || text[i] == L'E')) {
    ++i;
    bool eneg = false;
    if (i < n && (text[i] == L'+' || text[i] == L'-')) eneg = text[i++] == L'-';
    if (i == n || text[i] < L'0' || text[i] > L'9') return 202;
    for (; i < n && text[i] >= L'0' && text[i] <= L'9'; ++i)
      if (exponent < 100000) exponent = exponent * 10 + (text[i] - L'0');
    if (eneg) exponent = -exponent;
  }
  if (i != n) return 202;
  // value = digits * 10^(exponent - fraction)
  long scale = fraction - exponent;
  const long intDigits = static_cast<long>(digits.size()) - scale;
  if (!digits.empty() && intDigits > 77) return 201;
  // Keep at most 77 significant digits and a scale of at most 77. The rest is cut, not rounded:
  // every later rounding (to a whole number, 6 decimals, 38 digits) falls well before the cut,
  // where a cut value rounds as the full one does and a rounded one could make a false half.
  long keep = static_cast<long>(digits.size());
  if (scale > 77) keep -= scale - 77;
  if (keep > 77) keep = 77;
  bool lost = false;
  if (keep < static_cast<long>(digits.size())) {
    const size_t k = keep < 0 ? 0 : static_cast<size_t>(keep);
    for (size_t j = k; j < digits.size(); ++j)
      if (digits[j] != L'0') lost = true;
    scale -= static_cast<long>(digits.size() - k);
    if (scale > 77) scale = 77;  // nothing kept: a zero
    digits.resize(k);
  }
  for (wchar_t c : digits) MulSmall(&x.mag, 10, static_cast<uint64_t>(c - L'0'));
  if (scale < 0) {
    x.nScale = 0;
    if (!U256Mul(&x.mag, x.mag, U256Pow10(static_cast<int>(-scale)))) return 201;
  } else {
    x.nScale = static_cast<int>(scale);
  }
  x.bNeg = neg;
  Normalise(&x);
  if (lost && pbLost) *pbLost = true;
  *out = x;
  return 0;
}

namespace {

// True when x is exactly a double (53-bit significand) or float (24 bits, normal range).
bool ExactlyBinary(const VMExact& x, bool bFloat) {
  U256 m = x.mag;
  int s5 = x.nScale, s2 = x.nScale;
  // k / 10^s = k / (2^s * 5^s): the 5s must cancel for the value to be dyadic.
  while (s5 > 0 && !U256IsZero(m)) {
    U256 t = m;
    if (DivSmall(&t, 5) != 0) return false;
    m = t;
    --s5;
  }
  if (U256IsZero(m)) return true;
  while (s2 > 0 && !(m.w[0] & 1)) {
    U256 t = m;
    DivSmall(&t, 2);
    m = t;
    --s2;
  }
  // Trailing zero bits of an integer are exponent, not significand.
  while (!(m.w[0] & 1)) {
    U256 t = m;
    DivSmall(&t, 2);
    m = t;
  }
  return BitLength(m) <= (bFloat ? 24 : 53);
}

}  // namespace

double ExactToDouble(const VMExact& x, bool bFloat, bool* pbInexact) {
  const std::string s = Narrow(ExactToText(x, false));
  double d = 0;
  std::from_chars_result res;
  if (bFloat) {
    float f = 0;
    res = std::from_chars(s.data(), s.data() + s.size(), f);
    d = f;
  } else {
    res = std::from_chars(s.data(), s.data() + s.size(), d);
  }
  // from_chars leaves the value alone out of range: past the largest real is infinite (the
  // caller's overflow), below the smallest is zero.
  if (res.ec == std::errc::result_out_of_range) {
    d = U256Digits(x.mag) > x.nScale ? HUGE_VAL : 0.0;
    if (x.bNeg) d = -d;
  }
  if (pbInexact) {
    // Lost means the real does not mean the same decimal.
    VMExact back;
    const bool ok = bFloat && d != std::trunc(d) ? ExactFromText(RealToText(d, true), &back, nullptr) == 0
                                                 : ExactFromDouble(d, &back);
    if (!ok || ExactCmp(back, x) != 0) *pbInexact = true;
  }
  return d;
}

bool ExactFromDouble(double d, VMExact* out, bool* pbLost) {
  if (!std::isfinite(d)) return false;
  if (std::fabs(d) < 0x1p53 || d != std::trunc(d)) return ExactFromText(RealToText(d, false), out, pbLost) == 0;
  // A whole real beyond 2^53: its shortest text drops digits the real holds.
  int exponent = 0;
  const double fraction = std::frexp(std::fabs(d), &exponent);
  if (exponent > 256) return false;
  VMExact x;
  x.mag = U256From(static_cast<uint64_t>(std::ldexp(fraction, 53)));
  for (int i = 53; i < exponent; ++i) ShiftLeft1(&x.mag);
  if (U256Cmp(x.mag, U256Pow10(77)) >= 0) return false;
  x.bNeg = d < 0;
  *out = x;
  return true;
}

std::wstring RealToText(double d, bool bFloat) {
  char buf[64];
  auto res = bFloat ? std::to_chars(buf, buf + sizeof(buf), static_cast<float>(d)) : std::to_chars(buf, buf + sizeof(buf), d);
  return std::wstring(buf, res.ptr);
}

int ExactCmpDouble(const VMExact& x, double d) {
  const double rx = ExactToDouble(x, false, nullptr);
  if (rx < d) return -1;  // rounding is monotonic: x <= rx < d
  if (rx > d) return 1;
  if (ExactlyBinary(x, false)) return 0;
  // x rounds to d without being d: compare with d's exact expansion (a double has at most 767
  // significant decimals, which %.*f prints exactly), cut toward zero to what VMExact holds.
  char buf[1200];
  snprintf(buf, sizeof(buf), "%.1080f", d);
  std::wstring w(buf, buf + strlen(buf));
  const size_t sign = w[0] == L'-' ? 1 : 0;
  const size_t point = w.find(L'.');
  const size_t intDigits = (point - sign == 1 && w[sign] == L'0') ? 0 : point - sign;
  if (intDigits > 77) return d > 0 ? -1 : 1;
  size_t end = w.size();
  while (end > point + 1 && w[end - 1] == L'0') --end;
  bool cut = false;
  if (end - point - 1 > 77 - intDigits) {
    end = point + 1 + (77 - intDigits);
    cut = true;
  }
  w.resize(end);
  VMExact dx;
  ExactFromText(w, &dx, nullptr);
  const int c = ExactCmp(x, dx);
  // Equal to the cut expansion means nearer to zero than d.
  if (c == 0 && cut) return d > 0 ? -1 : 1;
  return c;
}
