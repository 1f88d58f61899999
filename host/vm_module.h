// The stand-in host VM: the conversions, comparisons, string matching, logic and arithmetic of
// the host language, and its decimal objects, exported by name from libqxvm.so the way the host
// runtime's VM module exports them. It is part of the host: dynamic strings and binaries it makes
// come from the host's string allocator (CHostServices), and the lenient text rules use the
// host's locale service. It knows the runtime's value areas only as bytes: 40-byte areas whose
// content is given by the type code (pointers at offset 0, texts and numbers inline).
//
// Ownership: a conversion or arithmetic destination owns what it refers to (a dynamic string or
// binary reference, a malloc'ed PSTRA/PSTRW text, a decimal object of the VM's factory) until
// FinConversion frees it or the caller takes it over. Sources are only read.
//
// Results: 0 success; warnings (the value was produced):
//   1 VM_WARN_ROUNDED   digits were lost (rounding to a scale, a real that is not exact, ...)
//   2 VM_WARN_TEXT_CUT  characters were dropped or replaced (a character type from a longer
//                       text, a date from a date-time text, a character the code page lacks)
// errors (nothing was produced, the destination holds nothing to free):
//   201 VM_ERR_OVERFLOW         the value lies outside the target type's range
//   202 VM_ERR_SYNTAX           a text is no number, boolean, date, time or duration of the target
//   203 VM_ERR_UNSUPPORTED      no such conversion or operation for these type codes
//   204 VM_ERR_DIVIDE_BY_ZERO   division or modulo by zero
//   205 VM_ERR_ARGUMENT         a null pointer where one is needed, or a decimal shape out of range
//   206 VM_ERR_NO_MEMORY        the heap or the decimal factory failed
//   207 VM_ERR_TOO_LONG         a text or binary above 0x7FFFFEFF bytes
//   and the host allocator's own codes (above 99) as they come.
// The flags argument of every function is accepted and ignored.
#pragma once

#include "common/charset.h"

enum : int {
  VM_WARN_ROUNDED = 1,
  VM_WARN_TEXT_CUT = 2,
  VM_ERR_OVERFLOW = 201,
  VM_ERR_SYNTAX = 202,
  VM_ERR_UNSUPPORTED = 203,
  VM_ERR_DIVIDE_BY_ZERO = 204,
  VM_ERR_ARGUMENT = 205,
  VM_ERR_NO_MEMORY = 206,
  VM_ERR_TOO_LONG = 207,
};

#define QX_VM_EXPORT extern "C" __attribute__((visibility("default")))

// Conversion between any two type codes that have a common meaning (see vm_convert.h). The
// destination's 40 bytes are overwritten; after an error they hold nothing to free.
QX_VM_EXPORT int nConversionDepassementExt(const void* pSource, unsigned short wSourceType, void* pDest,
                                           unsigned short wDestType, unsigned int nFlags, const STOCAW* pOptions);
// Frees what a conversion or an arithmetic operation left in pDest and clears the pointer.
QX_VM_EXPORT int FinConversion(void* pDest, unsigned short wDestType);

// Type-level questions: whether two codes compare, and the nominal result code of an operation
// (0: none; the operations may widen by value, see vm_calc.h).
QX_VM_EXPORT int bCanCompareEx(unsigned short wTypeA, unsigned short wTypeB);
QX_VM_EXPORT unsigned short wAjouteEx(unsigned short wTypeA, unsigned short wTypeB);
QX_VM_EXPORT unsigned short wSoustraitEx(unsigned short wTypeA, unsigned short wTypeB);
QX_VM_EXPORT unsigned short wMultiplieEx(unsigned short wTypeA, unsigned short wTypeB);
QX_VM_EXPORT unsigned short wDiviseEx(unsigned short wTypeA, unsigned short wTypeB);
QX_VM_EXPORT unsigned short wModuloEx(unsigned short wTypeA, unsigned short wTypeB);

// Two operands by area and whole type word; *pnResult receives a boolean, or for
// nComparaisonEx -1, 0 or 1.
#define QX_VM_COMPARE(name)                                                                               \
  QX_VM_EXPORT int name(const void* pA, unsigned int wTypeA, const void* pB, unsigned int wTypeB, int* pnResult, \
                        unsigned int nFlags, void* pReserved)
QX_VM_COMPARE(nComparaisonEx);
QX_VM_COMPARE(nEgaliteEx);
QX_VM_COMPARE(nSuperieurEx);
QX_VM_COMPARE(nInferieurEx);
QX_VM_COMPARE(nPresqueEgalEx);
QX_VM_COMPARE(nSoupleEgalEx);
QX_VM_COMPARE(nCommenceParEx);
QX_VM_COMPARE(nCommenceParSoupleEx);
QX_VM_COMPARE(nCommenceParTresSoupleEx);
QX_VM_COMPARE(nContientEx);
QX_VM_COMPARE(nContientSoupleEx);
QX_VM_COMPARE(nContientTresSoupleEx);
QX_VM_COMPARE(nTermineParEx);
QX_VM_COMPARE(nTermineParSoupleEx);
QX_VM_COMPARE(nTermineParTresSoupleEx);
QX_VM_COMPARE(nETLogiqueEx);
QX_VM_COMPARE(nOULogiqueEx);
#undef QX_VM_COMPARE
QX_VM_EXPORT int nNONLogiqueEx(const void* pA, unsigned int wTypeA, int* pnResult, unsigned int nFlags,
                               void* pReserved);

// -a into pDest (for DECIMAL into the decimal object pDest already holds, else a new one).
QX_VM_EXPORT int nNegationEx(const void* pA, unsigned short wTypeA, void* pDest, unsigned short* pwResultType,
                             unsigned int nFlags, void* pReserved);
// a op b into a fresh 40-byte destination, its code into *pwResultType.
#define QX_VM_ARITHMETIC(name)                                                                       \
  QX_VM_EXPORT int name(const void* pA, unsigned short wTypeA, const void* pB, unsigned short wTypeB, \
                        void* pDest, unsigned short* pwResultType, unsigned int nFlags, void* pReserved)
QX_VM_ARITHMETIC(nAdditionEx);
QX_VM_ARITHMETIC(nSoustractionEx);
QX_VM_ARITHMETIC(nMultiplicationEx);
QX_VM_ARITHMETIC(nDivisionEx);
QX_VM_ARITHMETIC(nModuloEx);
#undef QX_VM_ARITHMETIC

// The VM's interfaces by id: 102 gives the decimal factory (IDecimalFactory); others null.
QX_VM_EXPORT void* pQueryProxy(int nId);
