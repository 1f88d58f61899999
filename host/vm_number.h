// Exact decimal numbers of the stand-in VM: a sign, a 256-bit magnitude and a scale (digits after
// the point). Integers, currency and decimals are all computed this way, so no digit goes through
// a double; reals are kept apart as doubles. Plain values, no ownership.
//
// Rounding is always half away from zero. Functions that can lose digits report it through a
// bool* (may be null); functions that can overflow return false and leave their output undefined.
#pragma once

#include <cstdint>
#include <string>

struct U256 {
  uint64_t w[4] = {0, 0, 0, 0};  // least significant first
};

// ---- 256-bit magnitudes ----
U256 U256From(uint64_t v);
bool U256IsZero(const U256& a);
int U256Cmp(const U256& a, const U256& b);
// a + b, a - b (a >= b), a * b: false on overflow.
bool U256Add(U256* out, const U256& a, const U256& b);
void U256Sub(U256* out, const U256& a, const U256& b);
bool U256Mul(U256* out, const U256& a, const U256& b);
// Quotient and remainder; d must not be zero.
void U256DivMod(const U256& n, const U256& d, U256* q, U256* r);
// 10^k for k in 0..77.
const U256& U256Pow10(int k);
// Number of decimal digits (1 for zero).
int U256Digits(const U256& a);

// ---- Exact decimals ----
struct VMExact {
  bool bNeg = false;  // never set for a zero magnitude
  U256 mag;
  int nScale = 0;  // 0..77
};

constexpr int kVMMaxDigits = 38;

VMExact ExactFromInt(int64_t v);
VMExact ExactFromUInt(uint64_t v);
// The unscaled value of a two's-complement little-endian integer of n bytes (n <= 16).
VMExact ExactFromTwos(const unsigned char* p, int n, int nScale);
// Writes the unscaled value as n two's-complement little-endian bytes; false when it does not fit.
bool ExactToTwos(const VMExact& x, unsigned char* p, int n);
bool ExactIsZero(const VMExact& x);
// -1, 0 or 1 by value.
int ExactCmp(const VMExact& a, const VMExact& b);
VMExact ExactNeg(const VMExact& x);
// To the given scale (rounding when it shrinks); false on overflow.
bool ExactRescale(VMExact* x, int nScale, bool* pbLost);
// Drops decimals until the value has at most nMaxDigits digits; false when even the integer part
// has more.
bool ExactFit(VMExact* x, int nMaxDigits, bool* pbLost);
// The whole number nearest x (halves away from zero) as a signed or unsigned 64-bit value; false
// when out of range.
bool ExactToInt64(const VMExact& x, int64_t* out, bool* pbLost);
bool ExactToUInt64(const VMExact& x, uint64_t* out, bool* pbLost);
// Arithmetic: false on overflow of 256 bits (add, sub, mul), and for div and mod also when b is
// zero (*pbDivZero set). The quotient is rounded to nScale decimals.
bool ExactAdd(VMExact* out, const VMExact& a, const VMExact& b);
bool ExactSub(VMExact* out, const VMExact& a, const VMExact& b);
bool ExactMul(VMExact* out, const VMExact& a, const VMExact& b);
bool ExactDiv(VMExact* out, const VMExact& a, const VMExact& b, int nScale, bool* pbLost, bool* pbDivZero);
// Remainder of the truncated quotient (sign of a), at the larger scale.
bool ExactMod(VMExact* out, const VMExact& a, const VMExact& b, bool* pbDivZero);

// Text: digits with exactly nScale decimals ("-12.50", "0.5"); bTrim drops trailing zero
// decimals and a lone point.
std::wstring ExactToText(const VMExact& x, bool bTrim);
// Parses [blanks][sign]digits[.digits][(e|E)[sign]digits][blanks]; a text of blanks only is 0.
// 0, or 202 when it is no number, or 201 when it needs more than 77 digits before the point.
// Digits beyond 77 significant ones or 77 decimals are cut (*pbLost when one of them is not 0),
// so that a later rounding to fewer digits rounds the text once.
int ExactFromText(const std::wstring& text, VMExact* out, bool* pbLost);

// Nearest double (or float with bFloat; infinite beyond its range); *pbInexact when the real does
// not read back as the same decimal (2^53 + 1 does not; 0.1 does).
double ExactToDouble(const VMExact& x, bool bFloat, bool* pbInexact);
// The decimal a real means: a whole real is its integer (2^60 as 1152921504606846976, not the
// 1152921504606847000 of its shortest text), any other real its shortest decimal. False for
// infinities, NaN and whole reals of more than 77 digits; *pbLost when the shortest decimal needs
// more than 77 decimals (1e-300 gives 0).
bool ExactFromDouble(double d, VMExact* out, bool* pbLost = nullptr);
// Shortest text of a real ("0.1", "1e+300", "inf", "nan").
std::wstring RealToText(double d, bool bFloat);
// -1, 0 or 1 between an exact value and a finite double, without rounding the exact value.
int ExactCmpDouble(const VMExact& x, double d);
