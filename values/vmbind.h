// Bindings to the host's virtual machine: the host hands its VM module over through the two
// exported entry points below, and the conversions, comparisons, string matching, logic,
// arithmetic and decimal objects of the value layer call the VM through the pointers bound here.
//
// The pointers are process-wide, written while the host initialises the VM and only read
// afterwards (no lock). Nothing clears them: a failed binding leaves the names bound before the
// missing one, so every caller tests the pointer it is about to call.
//
// Call forms (all results: 0 success, 1-99 a warning, above 99 an error code passed on as it is):
// - value areas are the 40-byte value areas of the variant value, typed by a host type code;
// - comparisons, matching and two-operand logic receive the whole type word (flags included,
//   zero-extended); conversions, negation and arithmetic receive the type code alone;
// - a conversion or arithmetic destination is a 40-byte area that the caller owns afterwards; a
//   conversion's destination goes back to FinConversion, which frees what it refers to.
#pragma once

#include "common/charset.h"
#include "platform/wintypes.h"
#include "values/idecimal.h"

// Conversion: (source area, source code, destination area, destination code, flags, options).
using PFNVMCONVERSION = int (*)(const void* pSource, unsigned short wSourceType, void* pDest,
                                unsigned short wDestType, unsigned int nFlags, const STOCAW* pOptions);
// Frees what a conversion left in (destination area, destination code).
using PFNVMFINCONVERSION = int (*)(void* pDest, unsigned short wDestType);
// Comparison, matching, AND, OR: (a, type word of a, b, type word of b, result, flags, 0).
using PFNVMCOMPARE = int (*)(const void* pA, unsigned int wTypeA, const void* pB, unsigned int wTypeB,
                             int* pnResult, unsigned int nFlags, void* pReserved);
// NOT: (a, type word of a, result, flags, 0).
using PFNVMNOT = int (*)(const void* pA, unsigned int wTypeA, int* pnResult, unsigned int nFlags, void* pReserved);
// Negation: (a, code of a, destination area, result code, flags, 0).
using PFNVMNEGATION = int (*)(const void* pA, unsigned short wTypeA, void* pDest, unsigned short* pwResultType,
                              unsigned int nFlags, void* pReserved);
// Arithmetic: (a, code of a, b, code of b, destination area, result code, flags, 0).
using PFNVMARITHMETIC = int (*)(const void* pA, unsigned short wTypeA, const void* pB, unsigned short wTypeB,
                                void* pDest, unsigned short* pwResultType, unsigned int nFlags, void* pReserved);
// Type-level questions (bound, never called by the runtime): can the two codes be compared, and
// the code an operation on them gives (0: none).
using PFNVMCANCOMPARE = int (*)(unsigned short wTypeA, unsigned short wTypeB);
using PFNVMRESULTTYPE = unsigned short (*)(unsigned short wTypeA, unsigned short wTypeB);
// The VM's interface of a given id (VM_PROXY_DECIMAL_FACTORY: the decimal factory).
using PFNVMQUERYPROXY = void* (*)(int nId);

// Conversion.
extern PFNVMCONVERSION gpfnConvDepExt;
extern PFNVMFINCONVERSION gpfnFinConv;
extern void* ghConvVM;
extern int gnVersionConvVM;
extern int gnVersionCompatConvVM;

// Calculation.
extern PFNVMCANCOMPARE gpfnCompareEx;
extern PFNVMRESULTTYPE gpfnGetTypeAjouteEx;
extern PFNVMRESULTTYPE gpfnGetTypeSoustraitEx;
extern PFNVMRESULTTYPE gpfnGetTypeMultiplieEx;
extern PFNVMRESULTTYPE gpfnGetTypeDiviseEx;
extern PFNVMRESULTTYPE gpfnGetTypeModuloEx;
extern PFNVMCOMPARE gpfnComparaisonEx;
extern PFNVMCOMPARE gpfnEgaliteEx;
extern PFNVMCOMPARE gpfnSuperieurEx;
extern PFNVMCOMPARE gpfnInferieurEx;
extern PFNVMCOMPARE gpfnPresqueEgalEx;
extern PFNVMCOMPARE gpfnSoupleEgalEx;
extern PFNVMCOMPARE gpfnCommenceParEx;
extern PFNVMCOMPARE gpfnCommenceParSoupleEx;
extern PFNVMCOMPARE gpfnCommenceParTresSoupleEx;
extern PFNVMCOMPARE gpfnContientEx;
extern PFNVMCOMPARE gpfnContientSoupleEx;
extern PFNVMCOMPARE gpfnContientTresSoupleEx;
extern PFNVMCOMPARE gpfnTermineParEx;
extern PFNVMCOMPARE gpfnTermineParSoupleEx;
extern PFNVMCOMPARE gpfnTermineParTresSoupleEx;
extern PFNVMCOMPARE gpfnETLogiqueEx;
extern PFNVMCOMPARE gpfnOULogiqueEx;
extern PFNVMNOT gpfnNONLogiqueEx;
extern PFNVMNEGATION gpfnNegationEx;
extern PFNVMARITHMETIC gpfnAdditionEx;
extern PFNVMARITHMETIC gpfnSoustractionEx;
extern PFNVMARITHMETIC gpfnMultiplicationEx;
extern PFNVMARITHMETIC gpfnDivisionEx;
extern PFNVMARITHMETIC gpfnModuloEx;
extern void* ghCalcVM;
extern int gnVersionCalcVM;
extern int gnVersionCompatCalcVM;

// The VM's decimal factory.
extern IDecimalFactory* gpiVMFactory;

// Entry points of the host. Both answer FALSE without looking at the module unless nCompat < 3
// and nVersion >= 2, and FALSE at the first name the module lacks (the names bound before it
// stay bound; handle and versions are stored only on success).
extern "C" __attribute__((visibility("default"))) BOOL bInitZVConvFromVM(void* hVM, int nVersion, int nCompat);
extern "C" __attribute__((visibility("default"))) BOOL bInitZVCalcFromVM(void* hVM, int nVersion, int nCompat);

// Binds "pQueryProxy" and takes its decimal factory; FALSE when the module lacks the name or
// gives no factory (a null factory is not kept).
BOOL bInitFactory(void* hVM);

// For a module that hosts another: hands the stored conversion (calculation) binding on to the
// module's own "bInitZVConvFromVM" ("bInitZVCalcFromVM") and answers its result; TRUE when the
// module has no such entry point.
BOOL bInitZVConvFromServeur_OBSOLETE(HINSTANCE hModule);
BOOL bInitZVCalcFromServeur(HINSTANCE hModule);
