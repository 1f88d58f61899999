// The 80-bit value is worked on as a 128-bit integer: every sum, difference and scaled quotient
// of two currencies fits in it, so overflow is simply a result outside [-2^79, 2^79 - 1].
// Only the product of two magnitudes can exceed 128 bits; it is split on the millionth (below).
#include "values/money.h"

#include <charconv>
#include <cmath>

#include "common/str_number.h"

namespace {

typedef __int128 i128;
typedef unsigned __int128 u128;

constexpr i128 kMax = (static_cast<i128>(1) << 79) - 1;
constexpr i128 kMin = -(static_cast<i128>(1) << 79);
constexpr u128 kOne = 1000000;                                           // one unit in millionths
constexpr uint32_t kUnits[6] = {1000000, 100000, 10000, 1000, 100, 10};  // one unit of the n-th decimal

i128 Get(const CMoney* a) {
  u128 raw = 0;
  for (int i = 4; i >= 0; --i) raw = (raw << 16) | a->m_awLimb[i];
  if (raw >> 79) raw |= ~static_cast<u128>(0) << 80;
  return static_cast<i128>(raw);
}

void Put(CMoney* a, i128 v) {
  const u128 raw = static_cast<u128>(v);
  for (int i = 0; i < 5; ++i) a->m_awLimb[i] = static_cast<uint16_t>(raw >> (16 * i));
}

CMoney* Store(CMoney* a, i128 v) {
  if (v < kMin || v > kMax) return nullptr;
  Put(a, v);
  return a;
}

// A magnitude with its sign; the magnitude may be 2^79 when negative.
CMoney* StoreSigned(CMoney* a, u128 magnitude, bool negative) {
  if (magnitude > static_cast<u128>(kMax) + (negative ? 1 : 0)) return nullptr;
  Put(a, negative ? -static_cast<i128>(magnitude) : static_cast<i128>(magnitude));
  return a;
}

u128 Magnitude(i128 v) { return v < 0 ? -static_cast<u128>(v) : static_cast<u128>(v); }

// n / d rounded, halves up.
u128 DivRound(u128 n, u128 d) { return n / d + (n % d >= d - n % d ? 1 : 0); }

// v / unit, rounded to a whole multiple of unit toward minus or plus infinity.
i128 FloorTo(i128 v, i128 unit) {
  const i128 r = v % unit;
  return v - r - (r < 0 ? unit : 0);
}
i128 CeilTo(i128 v, i128 unit) {
  const i128 r = v % unit;
  return v - r + (r > 0 ? unit : 0);
}

// The raw integer, bitsPerDigit bits a digit over digits digits, leading zeros removed.
wchar_t* WriteRaw(wchar_t* buffer, u128 raw, int bitsPerDigit, int digits) {
  static const wchar_t kDigits[] = L"0123456789ABCDEF";
  wchar_t* p = buffer;
  for (int i = digits - 1; i >= 0; --i) {
    const unsigned d = static_cast<unsigned>(raw >> (bitsPerDigit * i)) & ((1u << bitsPerDigit) - 1);
    if (d != 0 || p != buffer || i == 0) *p++ = kDigits[d];
  }
  *p = L'\0';
  return buffer;
}

int HexValue(wchar_t c) {
  const int d = STR_nDigitValue(c);
  return d < 16 ? d : -1;
}

}  // namespace

const CMoney gstMillion = {{0x4240, 0x000F, 0, 0, 0}};
const CMoney gstMoinsMillion = {{0xBDC0, 0xFFF0, 0xFFFF, 0xFFFF, 0xFFFF}};
const CMoney gstVersLong = {{0, 1, 0, 0, 0}};

// ---- In ----

CMoney* pstChaineVersMonetaire(CMoney* a, const wchar_t* text) {
  if (text == nullptr) text = L"";
  while (*text == L' ') ++text;
  bool negative = false;
  if (*text == L'+' || *text == L'\xFF0B') {
    ++text;
  } else if (*text == L'-' || *text == L'\xFF0D') {
    negative = true;
    ++text;
  }
  // The magnitude only grows from digit to digit, so it can be checked as it goes.
  const u128 limit = static_cast<u128>(kMax) + (negative ? 1 : 0);
  u128 m = 0;
  for (; *text >= L'0' && *text <= L'9'; ++text)
    if ((m = m * 10 + static_cast<unsigned>(*text - L'0')) > limit) return nullptr;
  int decimals = 0;
  if (*text == L'.')
    for (++text; decimals < 6 && *text >= L'0' && *text <= L'9'; ++text, ++decimals)
      if ((m = m * 10 + static_cast<unsigned>(*text - L'0')) > limit) return nullptr;
  for (; decimals < 6; ++decimals)
    if ((m *= 10) > limit) return nullptr;
  return StoreSigned(a, m, negative);
}

CMoney* pstChaineHexaVersMonetaire(CMoney* a, const wchar_t* text) {
  if (text == nullptr) text = L"";
  while (*text == L' ') ++text;
  // At most the first 20 digits of the run: the 80 bits; the rest of the run is not read.
  u128 raw = 0;
  for (int digits = 0, d; digits < 20 && (d = HexValue(*text)) >= 0; ++text, ++digits)
    raw = (raw << 4) | static_cast<unsigned>(d);
  Put(a, static_cast<i128>(raw));
  return a;
}

CMoney* pstDoubleVersMonetaire(CMoney* a, double value) {
  // Out of range before any text is made: the text then has at most 19 whole digits.
  if (!std::isfinite(value) || std::fabs(value) >= 0x1p80 / 1e6) return nullptr;
  char narrow[64];
  const std::to_chars_result r = std::to_chars(narrow, narrow + sizeof narrow - 1, value, std::chars_format::fixed, 6);
  if (r.ec != std::errc()) return nullptr;
  wchar_t text[64];
  for (int i = 0; i < r.ptr - narrow; ++i) text[i] = static_cast<unsigned char>(narrow[i]);
  text[r.ptr - narrow] = L'\0';
  return pstChaineVersMonetaire(a, text);
}

CMoney* pstInt32VersMonetaire(CMoney* a, int value) { return Store(a, static_cast<i128>(value) * 1000000); }
CMoney* pstTresLongVersMonetaire(CMoney* a, int64_t value) { return Store(a, static_cast<i128>(value) * 1000000); }
CMoney* pstTresLongSansSigneVersMonetaire(CMoney* a, uint64_t value) {
  return Store(a, static_cast<i128>(value) * 1000000);
}

void SetMonetaireToMin(CMoney* a) { Put(a, kMin); }
void SetMonetaireToMax(CMoney* a) { Put(a, kMax); }

// ---- Out ----

wchar_t* pszMonetaireVersChaineC(wchar_t* buffer, const CMoney* a) {
  const i128 v = Get(a);
  const u128 m = Magnitude(v);
  wchar_t* p = buffer;
  if (v < 0) *p++ = L'-';
  ui64tow(static_cast<unsigned long long>(m / kOne), p, 10);  // at most 18 digits
  uint32_t fraction = static_cast<uint32_t>(m % kOne);
  if (fraction != 0) {
    while (*p) ++p;
    *p++ = L'.';
    for (uint32_t unit = 100000; fraction != 0; unit /= 10) {
      *p++ = static_cast<wchar_t>(L'0' + fraction / unit);
      fraction %= unit;
    }
    *p = L'\0';
  }
  return buffer;
}

wchar_t* pszMonetaireVersChaineHexa(wchar_t* buffer, const CMoney* a) {
  return WriteRaw(buffer, static_cast<u128>(Get(a)), 4, 20);
}

wchar_t* pszMonetaireVersChaineOctale(wchar_t* buffer, const CMoney* a) {
  return WriteRaw(buffer, static_cast<u128>(Get(a)), 3, 27);
}

double dMonetaireVersDouble(const CMoney* a) {
  // The decimal text read back gives the correctly rounded double, independently of the locale.
  wchar_t text[kMoneyDecimalChars];
  char narrow[kMoneyDecimalChars];
  pszMonetaireVersChaineC(text, a);
  int n = 0;
  for (; text[n]; ++n) narrow[n] = static_cast<char>(text[n]);
  double d = 0;
  std::from_chars(narrow, narrow + n, d);
  return d;
}

namespace {

// The value rounded to a whole number, halves away from zero (always within 64 bits).
int64_t Rounded(const CMoney* a) {
  const i128 v = Get(a);
  const int64_t q = static_cast<int64_t>(DivRound(Magnitude(v), kOne));
  return v < 0 ? -q : q;
}

// The whole part through a 2^16 scale: round(|a| * 65536 / 10^6) >> 16, so a fraction of
// 0.999993 or more counts as a further unit.
int64_t ScaledWhole(const CMoney* a) {
  const i128 v = Get(a);
  const int64_t q = static_cast<int64_t>(DivRound(Magnitude(v) << 16, kOne) >> 16);
  return v < 0 ? -q : q;
}

}  // namespace

int lMonetaireVersInt32(const CMoney* a) { return static_cast<int>(static_cast<uint32_t>(Rounded(a))); }
int64_t lMonetaireVersTresLong(const CMoney* a) { return Rounded(a); }
uint64_t lMonetaireVersTresLongSansSigne(const CMoney* a) { return static_cast<uint64_t>(Rounded(a)); }

BOOL bMonetaireVersTresLongSansSigne(const CMoney* a, uint64_t* out) {
  // Every currency rounds to a whole number within 64 bits, negative ones included.
  *out = static_cast<uint64_t>(Rounded(a));
  return TRUE;
}

BOOL bMonetaireVersTresLong(const CMoney* a, int64_t* out) {
  *out = ScaledWhole(a);
  return TRUE;
}

BOOL bMonetaireVersInt32(const CMoney* a, int* out) {
  const int64_t q = ScaledWhole(a);
  *out = static_cast<int>(static_cast<uint32_t>(q));
  return q >= INT32_MIN && q <= INT32_MAX;
}

// ---- Arithmetic ----

CMoney* pstAddMonetaire(CMoney* a, const CMoney* b) { return Store(a, Get(a) + Get(b)); }
CMoney* pstSubMonetaire(CMoney* a, const CMoney* b) { return Store(a, Get(a) - Get(b)); }
BOOL bIncrementeMonetaire(CMoney* a) { return Store(a, Get(a) + 1000000) != nullptr; }
BOOL bDecrementeMonetaire(CMoney* a) { return Store(a, Get(a) - 1000000) != nullptr; }

CMoney* pstMulMonetaire(CMoney* a, const CMoney* b) {
  const i128 x = Get(a), y = Get(b);
  const u128 mx = Magnitude(x), my = Magnitude(y);
  // mx * my / 10^6 = mx * (my / 10^6) + mx * (my % 10^6) / 10^6: the first term is whole, the
  // second fits in 100 bits, so the rounding is that of the second alone.
  u128 whole;
  if (__builtin_mul_overflow(mx, my / kOne, &whole) || whole > static_cast<u128>(kMax) + 1) return nullptr;
  return StoreSigned(a, whole + DivRound(mx * (my % kOne), kOne), (x < 0) != (y < 0));
}

CMoney* pstDivMonetaire(CMoney* a, const CMoney* b) {
  const i128 x = Get(a), y = Get(b);
  if (y == 0) return nullptr;
  return StoreSigned(a, DivRound(Magnitude(x) * kOne, Magnitude(y)), (x < 0) != (y < 0));  // |x| * 10^6 < 2^99
}

CMoney* NegMonetaire(CMoney* a) { return Store(a, -Get(a)); }

CMoney* pstAbsMonetaire(CMoney* a) {
  const i128 v = Get(a);
  return v < 0 ? Store(a, -v) : a;
}

CMoney* pstEntMonetaire(CMoney* a) { return Store(a, FloorTo(Get(a), 1000000)); }

CMoney* pstDecMonetaire(CMoney* a) {
  Put(a, static_cast<i128>(Magnitude(Get(a)) % kOne));
  return a;
}

CMoney* pstArrMonetaire(CMoney* a, int n) {
  if (n < 0 || n > 5) return a;
  const i128 v = Get(a);
  const u128 unit = kUnits[n];
  return StoreSigned(a, DivRound(Magnitude(v), unit) * unit, v < 0);
}

CMoney* _pstArrMonetaireInfSup(CMoney* a, unsigned int n, BOOL inf) {
  if (n > 5) return a;
  const i128 v = Get(a);
  return Store(a, inf ? FloorTo(v, kUnits[n]) : CeilTo(v, kUnits[n]));
}

CMoney* pstArrMonetaireInf(CMoney* a, int n) { return _pstArrMonetaireInfSup(a, static_cast<unsigned int>(n), TRUE); }
CMoney* pstArrMonetaireSup(CMoney* a, int n) { return _pstArrMonetaireInfSup(a, static_cast<unsigned int>(n), FALSE); }

// ---- Comparison ----

int nCmpMonetaire(const CMoney* a, const CMoney* b) {
  if (a == nullptr || b == nullptr) return a == b ? 0 : (a == nullptr ? 1 : -1);
  const i128 x = Get(a), y = Get(b);
  return x < y ? -1 : (x > y ? 1 : 0);
}

int nCmpMonetaireEtInt32(const CMoney* a, int value) {
  CMoney m;
  pstInt32VersMonetaire(&m, value);
  return nCmpMonetaire(a, &m);
}

BOOL bMonetaireZero(const CMoney* a) { return Get(a) == 0; }

void MonetaireVersCleKJ(unsigned char* key, const CMoney* a) {
  const u128 raw = static_cast<u128>(Get(a));
  for (int i = 0; i < 10; ++i) key[i] = static_cast<unsigned char>(raw >> (8 * (9 - i)));
  key[0] ^= 0x80;
}
