// The stand-in VM's calculation: comparison, equality at three strengths, string matching, logic,
// arithmetic and negation on value areas of any host type code. Type words may carry the NULL
// and carried flags: only the low byte counts (NULL operands are refused before the VM is asked).
//
// Ordering and equality, by the kinds of the two operands:
// - numbers (BOOL as 0/1, integers, CY, DECIMAL, reals) and durations (milliseconds) compare by
//   exact value, also across exact and real (no rounding of the exact side); NaN sorts first;
// - a number and a text: the text read as a number (a boolean word against a BOOL), else both
//   compared as texts;
// - texts (the empty value is the empty text) by code point; binaries, and a binary against
//   narrow text, byte by byte, the shorter first when one is a prefix of the other;
// - dates, times and date-times against each other or texts: their digit texts compared over the
//   length of the shorter one (so "2024" equals "20240115"; an empty text sorts first); two
//   date-times by date, then time of day;
// - host objects and arrays: by identity (the pointer);
// - anything else: VM_ERR_UNSUPPORTED.
// Lenient equality: "souple" ignores case and accents, "très souple" (nPresqueEgalEx) also white
// space and punctuation, both through the host's locale service and only between two texts;
// otherwise they are plain equality, except that nPresqueEgalEx accepts reals within a relative
// 1e-9. Matching reads both operands as texts and asks whether the first starts with, contains or
// ends with the second (an empty second always matches).
//
// Arithmetic result codes:
// - integers (BOOL included): I4 when both operands are 32-bit signed or narrower (BOOL, UI1,
//   UI2, I1, I2, I4, UIX) and the result fits, else I8, else UI8, else DECIMAL; division gives R8;
// - with a DECIMAL operand DECIMAL (38 digits at most; quotients get max(6, scales) decimals),
//   else with a CY operand CY, else with a real R8 (R4 when both are R4); a real meeting CY or
//   DECIMAL joins them through its shortest decimal;
// - a text operand of + concatenates (DSTRW when either side is stored wide, else DSTRA); for the
//   other operators a text is read as a number; BIN + BIN concatenates;
// - dates: DATETIME +/- DUREE gives DATETIME, DATETIME - DATETIME gives DUREE, a date +/- a whole
//   number of days keeps its date code, date - date gives I4 days, a date with a duration is a
//   DATETIME at midnight; DUREE with DUREE or a number (milliseconds) gives DUREE, DUREE / DUREE
//   gives R8.
// Negation keeps the code where the result fits (an unsigned code gives a signed one).
#pragma once

#include <string>

enum class VMStrength { Exact, Souple, TresSouple };
enum class VMMatch { StartsWith, Contains, EndsWith };
enum class VMOp { Add, Sub, Mul, Div, Mod };

int nVMCompare(const void* pA, unsigned int wTypeA, const void* pB, unsigned int wTypeB, int* pnOrder);
int nVMEqual(const void* pA, unsigned int wTypeA, const void* pB, unsigned int wTypeB, VMStrength strength,
             bool* pbEqual);
int nVMMatch(const void* pA, unsigned int wTypeA, const void* pB, unsigned int wTypeB, VMMatch match,
             VMStrength strength, bool* pbMatch);
int nVMLogic(const void* pA, unsigned int wTypeA, const void* pB, unsigned int wTypeB, bool bAnd, bool* pbResult);
int nVMNot(const void* pA, unsigned int wTypeA, bool* pbResult);
int nVMArithmetic(VMOp op, const void* pA, unsigned int wTypeA, const void* pB, unsigned int wTypeB, void* pDest,
                  unsigned short* pwResultType);
int nVMNegate(const void* pA, unsigned int wTypeA, void* pDest, unsigned short* pwResultType);
// Type level: whether two codes compare at all; the nominal result code of op (0: none).
bool bVMCanCompare(unsigned int wTypeA, unsigned int wTypeB);
unsigned short wVMResultType(VMOp op, unsigned int wTypeA, unsigned int wTypeB);

// The text in the host's lenient form (case and accents folded; with TresSouple also white space
// and punctuation removed); Exact gives it back unchanged.
std::wstring VMFold(const std::wstring& text, VMStrength strength);
