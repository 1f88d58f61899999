// Currency of the host language: a fixed-point number with six decimals, held as an 80-bit
// two's-complement count of millionths (-2^79 to 2^79 - 1, about +-6.04e17 units). CMoney is the
// 10-byte layout the variant value stores; the free functions below read, write, convert,
// compute, compare and round it in place on the caller's structure.
//
// Functions that can fail return the CMoney* they were given, or null on failure (overflow,
// division by zero, a number that is not finite, text too large); after a failure the operand
// keeps its old value. Names beginning with b return TRUE or FALSE. Decimal texts always use
// '.' whatever the process locale.
#pragma once

#include <cstdint>

#include "platform/wintypes.h"

// Five 16-bit limbs, least significant first: bytes 0-9 are the little-endian 80-bit integer.
struct CMoney {
  uint16_t m_awLimb[5];
};
static_assert(sizeof(CMoney) == 10 && alignof(CMoney) == 2, "CMoney is the host's 10-byte currency layout");

extern const CMoney gstMillion;       // 1.000000
extern const CMoney gstMoinsMillion;  // -1.000000
extern const CMoney gstVersLong;      // 65,536 millionths

// Buffer sizes (characters, terminator included) of the text writers.
constexpr unsigned int kMoneyDecimalChars = 27;
constexpr unsigned int kMoneyHexaChars = 21;
constexpr unsigned int kMoneyOctalChars = 28;

// ---- In ----
// Decimal text: leading blanks (U+0020), an optional sign ('+', '-', U+FF0B, U+FF0D), digits, and
// after a '.' at most six decimals (further digits are ignored, not rounded). Reading stops at
// the first other character; a text without digits, or a null text, gives 0. Null on overflow.
CMoney* pstChaineVersMonetaire(CMoney* a, const wchar_t* text);
// Hexadecimal text of the raw 80-bit two's-complement integer (either case, leading blanks
// skipped, reading stops at the first non-digit): at most the first 20 digits of the run are
// read, leading zeros counted. Never fails.
CMoney* pstChaineHexaVersMonetaire(CMoney* a, const wchar_t* text);
// The double rounded to six decimals (as "%.6f" rounds). Null when it is not finite or out of
// range.
CMoney* pstDoubleVersMonetaire(CMoney* a, double value);
CMoney* pstInt32VersMonetaire(CMoney* a, int value);
CMoney* pstTresLongVersMonetaire(CMoney* a, int64_t value);
CMoney* pstTresLongSansSigneVersMonetaire(CMoney* a, uint64_t value);
void SetMonetaireToMin(CMoney* a);
void SetMonetaireToMax(CMoney* a);

// ---- Out ----
// Shortest decimal text: "0", "0.000001", "-12.5", "100". buffer holds kMoneyDecimalChars.
wchar_t* pszMonetaireVersChaineC(wchar_t* buffer, const CMoney* a);
// The raw integer in upper-case hexadecimal (20 digits) or octal (27 digits, the top one as if
// sign-extended to 81 bits), leading zeros removed ("0" for zero).
wchar_t* pszMonetaireVersChaineHexa(wchar_t* buffer, const CMoney* a);
wchar_t* pszMonetaireVersChaineOctale(wchar_t* buffer, const CMoney* a);
// The nearest double.
double dMonetaireVersDouble(const CMoney* a);
// The value rounded to a whole number (halves away from zero), then its low 32 or 64 bits.
int lMonetaireVersInt32(const CMoney* a);
int64_t lMonetaireVersTresLong(const CMoney* a);
uint64_t lMonetaireVersTresLongSansSigne(const CMoney* a);
// The same rounded whole number, its low 64 bits stored (a negative one as two's complement);
// TRUE, since every currency's whole number fits 64 bits.
BOOL bMonetaireVersTresLongSansSigne(const CMoney* a, uint64_t* out);
// The whole part, toward zero, except that a fraction of 0.999993 or more counts as one more
// unit. bMonetaireVersTresLong always succeeds; bMonetaireVersInt32 stores the low 32 bits and
// returns TRUE when the whole part is in the 32-bit range.
BOOL bMonetaireVersTresLong(const CMoney* a, int64_t* out);
BOOL bMonetaireVersInt32(const CMoney* a, int* out);

// ---- Arithmetic (in place on a; a and b may be the same object) ----
CMoney* pstAddMonetaire(CMoney* a, const CMoney* b);
CMoney* pstSubMonetaire(CMoney* a, const CMoney* b);
// a += 1 or a -= 1; FALSE on overflow.
BOOL bIncrementeMonetaire(CMoney* a);
BOOL bDecrementeMonetaire(CMoney* a);
// a * b and a / b, rounded to the millionth, halves away from zero. Division by 0 fails.
CMoney* pstMulMonetaire(CMoney* a, const CMoney* b);
CMoney* pstDivMonetaire(CMoney* a, const CMoney* b);
// Negation and absolute value; the minimum has no positive counterpart and fails.
CMoney* NegMonetaire(CMoney* a);
CMoney* pstAbsMonetaire(CMoney* a);
// The largest whole number not above a (-12.5 -> -13); fails only below the minimum's floor.
CMoney* pstEntMonetaire(CMoney* a);
// The fraction of |a|, in [0, 1) (-12.5 -> 0.5).
CMoney* pstDecMonetaire(CMoney* a);
// Rounding to n decimals: to nearest (halves away from zero), toward minus infinity, toward
// plus infinity. n outside 0-5 leaves a unchanged; a result out of range fails.
CMoney* pstArrMonetaire(CMoney* a, int n);
CMoney* pstArrMonetaireInf(CMoney* a, int n);
CMoney* pstArrMonetaireSup(CMoney* a, int n);
// The directed roundings: toward minus infinity when inf is set.
CMoney* _pstArrMonetaireInfSup(CMoney* a, unsigned int n, BOOL inf);

// ---- Comparison ----
// -1, 0 or 1. A null a is the greater, a null b the smaller; two nulls are equal.
int nCmpMonetaire(const CMoney* a, const CMoney* b);
int nCmpMonetaireEtInt32(const CMoney* a, int value);
BOOL bMonetaireZero(const CMoney* a);

// 10 bytes whose unsigned byte-wise order is the order of the values (big-endian, sign bit
// flipped).
void MonetaireVersCleKJ(unsigned char* key, const CMoney* a);
