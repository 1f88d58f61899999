// The stand-in VM's conversion between type codes (what nConversionDepassementExt does), and the
// release of what a conversion produced.
//
// Coverage, by target:
// - numbers (BOOL, UI1-UI8, I1-I8, UIX, CY, R4, R8, DECIMAL): from any number, a duration (its
//   milliseconds), a text or a binary (its text read as a number; BOOL also reads "true",
//   "false", "vrai", "faux"), the empty value (0). Exact values convert exactly; whole-number
//   targets round halves away from zero (warning 1), CY keeps 6 decimals, a real that is not
//   exact in the target warns 1. Out of range: 201.
// - texts (DSTRW, DSTRA, PSTRA, PSTRW, CARA, CARW): from every type but references: numbers as
//   shortest decimal text (DECIMAL with its scale), BOOL "1"/"0", dates and times as their
//   digits, date-times as 17 digits (the empty one as ""), durations as "DHHMMSSmmm", binaries as
//   narrow text; wide <-> narrow through the options' code page (else the host's).
// - BIN: the narrow form of any of those. BUFFER and the empty code are no target.
// - DATEW/DATEA: from a date-time (its date), a date, a text or binary of 8 digits.
// - TIMEW/TIMEA: from a date-time (its time), a time, a text of 2 to 9 digits.
// - DATETIME: from a date, a time (on the empty date), a text "YYYYMMDD[ ]HHMMSS[mmm]".
// - DUREE: from a number (milliseconds), a duration text, the empty value.
// - host objects and arrays: only to their own code (the pointer, not owned).
// The same code gives a copy: dynamic strings and binaries share their block (one reference).
#pragma once

#include "common/charset.h"

int nVMConvert(const void* pSource, unsigned int wSourceType, void* pDest, unsigned int wDestType,
               const STOCAW* pOptions);
int nVMFinConversion(void* pDest, unsigned int wDestType);
