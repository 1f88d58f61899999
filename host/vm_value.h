// How the stand-in VM reads and writes the 40-byte value areas of each host type code: type
// kinds, numbers, texts in their four storage forms, dates, times, date-times, durations and
// binaries. The VM's own view of the layouts; only its calendar is the date class's
// (CDateTimeBase: Julian leap years before 1583, its day numbers), so that the two agree.
#pragma once

#include <cstdint>
#include <string>

#include "common/charset.h"
#include "host/vm_number.h"
#include "values/datetime.h"

// Host type codes.
constexpr unsigned int VMT_EMPTY = 0;
constexpr unsigned int VMT_BOOL = 1;
constexpr unsigned int VMT_UI1 = 2;
constexpr unsigned int VMT_UI2 = 3;
constexpr unsigned int VMT_UI4 = 4;
constexpr unsigned int VMT_UI8 = 5;
constexpr unsigned int VMT_I1 = 6;
constexpr unsigned int VMT_I2 = 7;
constexpr unsigned int VMT_I4 = 8;
constexpr unsigned int VMT_I8 = 9;
constexpr unsigned int VMT_CY = 10;
constexpr unsigned int VMT_R4 = 11;
constexpr unsigned int VMT_R8 = 12;
constexpr unsigned int VMT_DECIMAL = 13;
constexpr unsigned int VMT_UIX = 14;
constexpr unsigned int VMT_I4_SYNONYM = 15;
constexpr unsigned int VMT_DSTRW = 16;
constexpr unsigned int VMT_CARA = 17;
constexpr unsigned int VMT_PSTRA = 18;
constexpr unsigned int VMT_DSTRA = 19;
constexpr unsigned int VMT_DATEW = 24;
constexpr unsigned int VMT_TIMEW = 25;
constexpr unsigned int VMT_DATETIME = 26;
constexpr unsigned int VMT_DUREE = 27;
constexpr unsigned int VMT_BIN = 28;
constexpr unsigned int VMT_BUFFER = 29;
constexpr unsigned int VMT_MEMOIMG = 30;
constexpr unsigned int VMT_CONVOYEUR = 50;
constexpr unsigned int VMT_POLICE = 65;
constexpr unsigned int VMT_CARW = 81;
constexpr unsigned int VMT_TABANY = 83;
constexpr unsigned int VMT_OBJET_BASE = 108;
constexpr unsigned int VMT_PSTRW = 110;
constexpr unsigned int VMT_DINO = 111;
constexpr unsigned int VMT_OBJET_141 = 141;
constexpr unsigned int VMT_OBJET_142 = 142;
constexpr unsigned int VMT_OBJET_143 = 143;
constexpr unsigned int VMT_DATEA = 128;
constexpr unsigned int VMT_TIMEA = 129;

constexpr unsigned int kVMAreaSize = 40;
constexpr uint32_t kVMMaxBytes = 0x7FFFFEFF;

enum class VMKind {
  Empty,
  Bool,
  Integer,  // UI1-UI8, I1-I8, UIX
  Currency,
  Decimal,
  Real,
  Text,  // DSTRW, DSTRA, PSTRA, PSTRW, CARA, CARW
  Date,  // DATEW, DATEA
  Time,  // TIMEW, TIMEA
  DateTime,
  Duration,
  Bytes,      // BIN, BUFFER
  Reference,  // host objects and arrays: only identity
  Unknown,
};

// The code the VM works with: the low byte, 15 read as I4.
unsigned int VMCode(unsigned int wType);
VMKind VMKindOf(unsigned int code);
// Narrow storage: CARA, PSTRA, DSTRA, DATEA, TIMEA (and bytes).
bool bVMNarrow(unsigned int code);
bool bVMNumeric(VMKind kind);

// A number: exact (integers, currency, decimals, durations in milliseconds) or real.
struct VMNum {
  bool bReal = false;
  VMExact exact;
  double real = 0;
};

// The 8-byte date-time: day, month, year, milliseconds of the day; all zero is the empty value.
struct VMDateTime {
  uint8_t byDay;
  uint8_t byMonth;
  uint16_t wYear;
  uint32_t dwMilli;
};
static_assert(sizeof(VMDateTime) == 8, "the host's 8-byte date-time");

// The code page of a conversion: the options' first field, else (and for 0) the host's.
unsigned int VMCodePage(const STOCAW* pOptions);

// ---- Reading a source ----
// The number of a numeric or duration value (BOOL reads 0 or 1).
int nVMReadNumber(const void* pArea, unsigned int code, VMNum* out);
// The text form of any value that has one (203 otherwise). Narrow storage is read in cp.
int nVMReadText(const void* pArea, unsigned int code, unsigned int cp, std::wstring* out);
// Narrow bytes: narrow storage and binaries as they are, everything else its text in cp
// (*pbReplaced when a character had no form there).
int nVMReadNarrow(const void* pArea, unsigned int code, unsigned int cp, std::string* out, bool* pbReplaced);
VMDateTime VMReadDateTime(const void* pArea);
int64_t VMReadDuration(const void* pArea);
// Address of the pointer or bytes a reference type holds, for identity.
uintptr_t VMReadReference(const void* pArea, unsigned int code);

// A number from a text (ExactFromText); with bReal a text only a real can hold ("1e400", or
// "1e-300" whose digits the exact form drops) gives a real, and dropped decimals are no loss.
int nVMParseNumber(const std::wstring& text, bool bReal, VMNum* out);
// A text read straight as a real (a float with bFloat), rounded once from all its digits; 1 when
// the real does not mean the text's decimal (ExactFromDouble), 201 beyond the largest real (below
// the smallest: a zero), 202 when it is no number.
int nVMParseReal(const std::wstring& text, bool bFloat, double* out);

// ---- Writing a destination (40 bytes, zeroed first by the caller) ----
// The number in the storage of a numeric code (BOOL: 0 or 1). Warnings for lost digits; 201
// outside the range; DECIMAL makes a new object whose precision is what its digits need.
int nVMWriteNumber(void* pDest, unsigned int code, const VMNum& num);
// Text into DSTRW, DSTRA, PSTRA, PSTRW, CARA, CARW or BIN; narrow targets through cp.
int nVMWriteText(void* pDest, unsigned int code, const std::wstring& text, unsigned int cp);
// Bytes into a narrow target (DSTRA, PSTRA, CARA, BIN) as they are.
int nVMWriteNarrow(void* pDest, unsigned int code, const std::string& bytes);
// Frees what a destination of that code refers to and clears its pointer.
void VMFree(void* pDest, unsigned int code);
// Host dynamic blocks: a new block holding n bytes and a 4-byte zero terminator (n 0: null),
// and the release of one reference.
int nVMNewHostBlock(void** ppData, const void* src, size_t n);
void VMReleaseHostBlock(void* pData);
void VMAddRefHostBlock(void* pData);

// ---- Dates, times, durations ----
// Days of a month by the date class's calendar (0 for a month outside 1-12).
int nVMDaysInMonth(int year, int month);
// The date class's value of the same 8 bytes, and whether it is a date of years 1-9999 with a time
// of day within the day.
CDateTimeBase VMDateClass(const VMDateTime& dt);
bool bVMValidDate(const VMDateTime& dt);
// Texts: "YYYYMMDD" (8 digits; "" for the empty date), "HHMMSSmmm" (9 digits), the date-time's
// 17 digits ("" when empty), the duration "DHHMMSSmmm" with a '-' when negative.
std::wstring VMDateText(const VMDateTime& dt);
std::wstring VMTimeText(uint32_t dwMilli);
std::wstring VMDateTimeText(const VMDateTime& dt);
std::wstring VMDurationText(int64_t ms);
// Parsers, on digit texts: a date (8 digits, or more with a cut warning; "" or all zeros: empty),
// a time (2, 4, 6, 7, 8 or 9 digits; "": midnight), a date-time (a date, then optionally a blank
// and a time), a duration (sign, at least 10 digits). 0, a warning, or VM_ERR_SYNTAX.
int nVMParseDate(const std::wstring& text, VMDateTime* out);
int nVMParseTime(const std::wstring& text, uint32_t* pdwMilli);
int nVMParseDateTime(const std::wstring& text, VMDateTime* out);
int nVMParseDuration(const std::wstring& text, int64_t* pms);
// Truth of a value for the logic operators: numbers non-zero, texts "1"/"0", "true"/"false",
// "vrai"/"faux" in any case or a number, the empty text false. 202/203 otherwise.
int nVMReadBool(const void* pArea, unsigned int code, unsigned int cp, bool* out);
int nVMTextToBool(const std::wstring& text, bool* out);
