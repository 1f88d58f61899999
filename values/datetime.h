// Dates and times of the host language: CDateTimeBase (alias CDateTime), an 8-byte calendar date
// with a time of day to the millisecond, with its calendar arithmetic, its fixed digit texts and
// its conversions to and from _SYSTEMTIME; and the digit-field helpers that the driver layers
// build and read fixed-position date texts with. Durations are in values/duree.h.
//
// Values are plain data, copied bitwise; nothing here owns memory except the texts the callers
// are handed (pszCreeChaine: malloc'ed, the caller frees it) and the host strings they pass in.
//
// The calendar: the Julian calendar up to 4 October 1582, the Gregorian one from 15 October 1582
// on (the leap rule of __nBissextile switches at 1583, where the two agree). Day numbers count
// days on that calendar with 1 January 1800 as day 1; from 15 October 1582 on they are the
// proleptic Gregorian count, before it they stay in date order and agree with the Julian day
// number. The ten days 5 to 14 October 1582, which that calendar skips, are taken as
// 15 October 1582 wherever a day number is needed.
#pragma once

#include <cstdint>

#include "platform/wintime.h"
#include "platform/wintypes.h"

class CTString;
class CZVBIN;
class CDureeBase;
template <typename T>
class CXYString;

// Value-layer results of the date operations (0 is success; 108 comes from the host strings).
enum : int {
  DATETIME_ERR_INVALID_DATE = 110,
  DATETIME_ERR_INVALID_TIME = 111,
};

// Characters of the digit texts, terminator excluded: AAAAMMJJHHMMSSmmm, AAAAMMJJ, HHMMSSmmm.
constexpr int kDateTimeTextChars = 17;
constexpr int kDateTextChars = 8;
constexpr int kTimeTextChars = 9;

constexpr uint32_t kMillisecondsPerDay = 86400000;

class CDateTimeBase {
 public:
  // Layout of the host value: day, month, year form one little-endian 32-bit word (the date
  // word: year in the high half), then the milliseconds of the day. All zero: the empty value.
  uint8_t m_byJour = 0;     // 1-31
  uint8_t m_byMois = 0;     // 1-12
  uint16_t m_wAnnee = 0;    // 1-9999 for a valid date
  uint32_t m_dwMilli = 0;   // 0 to 86,399,999

  // Initial texts of new DATE and TIME host values; process-wide, set at start-up only.
  static const wchar_t* ms_pcszValeurInitDate;
  static const wchar_t* ms_pcszValeurInitTime;
  static const uint8_t ms_pbyNbJoursMois[12];
  static const uint8_t ms_pbyNbJoursMoisBissextile[12];

  // Ordered like the date: year, then month, then day.
  uint32_t dwGetMotDate() const { return (static_cast<uint32_t>(m_wAnnee) << 16) | (m_byMois << 8) | m_byJour; }
  BOOL bEstDateVide() const { return dwGetMotDate() == 0; }

  // ---- Comparison (-1, 0, 1) ----
  // By the date word, then the milliseconds.
  static int nCompare(const CDateTimeBase& a, const CDateTimeBase& b);
  static int s_nCompareDateSeule(const CDateTimeBase& a, const CDateTimeBase& b);
  // The value's 17-digit text against text, by nCompareDate.
  static int nCompare(const CDateTimeBase& value, const wchar_t* text);
  // An empty (or null) text sorts first; otherwise only the length of the shorter text is
  // compared, so a partial text equals every text it begins ("2024" = "20240101").
  static int nCompareDate(const wchar_t* a, const wchar_t* b);
  static int nCompareHeure(const wchar_t* a, const wchar_t* b);

  // ---- Setting fields ----
  // Raw store, no check: ms of day = h x 3,600,000 + mi x 60,000 + s x 1,000 + ms.
  void Set(int year, int month, int day, int hour, int minute, int second, int ms);
  // Each refuses a value out of range (FALSE, value unchanged). Year, month and day changes clamp
  // the day to the length of the month (a day stored beyond it becomes its last day).
  BOOL bModifieAnnee(int year);     // 1-9999
  BOOL bModifieMois(int month);     // 1-12
  BOOL bModifieJour(int day);       // 1-31, then clamped
  BOOL bModifieHeure(int hour);     // 0-23
  BOOL bModifieMinute(int minute);  // 0-59
  BOOL bModifieSeconde(int second); // 0-59
  BOOL bModifieMilli(int ms);       // 0-999
  // min(day, length of the month); the day as it is when any of the three is 0 or the month is
  // beyond 12.
  static int __nRectifieFinMois(int day, int month, int year);
  // Days of month 1-12 of year (by __nBissextile); 0 for another month.
  static int s_nGetNbJourMois(int month, int year);

  void InitDate() { *this = CDateTimeBase(); }
  // The fields of st through bModifieAnnee, bModifieMois, bModifieJour (clamped to the month:
  // 29 February 2023 gives the 28th), bModifieHeure ... bModifieMilli; the day of the week is
  // ignored. FALSE, value unchanged, when a setter refuses its field (or st is null).
  BOOL InitDate(const _SYSTEMTIME* st);
  // Now, in local time or in UTC; FALSE (value unchanged) when the clock cannot be read.
  BOOL InitDateCourante();
  BOOL InitDateCouranteUTC();

  // ---- Calendar arithmetic ----
  // 1 for a leap year: every 4th year, and from 1583 on not the centuries that 400 does not divide.
  static int __nBissextile(int year);
  // The day number, or 0 for an invalid date (0 is also 31 December 1799: nVersEntier tells them
  // apart).
  static int s_nDateVersEntier(int day, int month, int year);
  // FALSE for a month outside 1-12 or a day outside its month; with check, also for a year
  // outside 1-9999 (without, any year from 0 to 65535 is counted on the same calendar).
  static BOOL __bDateVersEntier(int day, int month, int year, int* n, BOOL check);
  // The date of day number n; FALSE (outputs untouched) outside 1 January 1 to 1 January 10000
  // (2,994,989, the day after the last date the shifts reach).
  static BOOL __bEntierVersDate(int n, int* day, int* month, int* year);
  // 0 and the day number, or DATETIME_ERR_INVALID_DATE.
  int nVersEntier(int* n) const;
  // Julian day number (1 January 2000 is 2,451,545); 0 for an invalid date.
  int nVersJourJulien() const;
  // 0 Sunday to 6 Saturday; -1 for an invalid date.
  int nGetJourDeLaSemaine() const;
  // 1 for 1 January; 0 for a month outside 1-12.
  int nGetJourDansAnnee() const;
  // ISO 8601 week date (weekday 1 Monday to 7 Sunday). FALSE, all three 0, for an invalid date or
  // one whose week's Thursday lies outside years 1 to 9999.
  BOOL VersISO8601YWD(int& year, int& week, int& weekday) const;
  // Shifts refuse (FALSE, value unchanged) an invalid date and a result outside years 1-9999.
  // The empty value is left as it is and counts as shifted by days.
  BOOL bDecaleJour(int n);
  // Moves the time of day, carrying whole days into bDecaleJour (so a value with an empty date
  // wraps within the day).
  BOOL bDecaleMilli(int64_t n);
  // The day is clamped to the new month.
  BOOL bDecaleMois(int n);
  BOOL bDecaleAnnee(int n);
  // d = a - b in milliseconds: 0, or DATETIME_ERR_INVALID_DATE (d untouched) when either date is
  // invalid.
  static int nCalculeDuree(const CDateTimeBase& a, const CDateTimeBase& b, CDureeBase* d);
  // *n = day number of a - day number of b, an invalid side counting as 0 (written in any case);
  // TRUE only when both are valid.
  static BOOL bCalculeDiffJour(const CDateTimeBase& a, const CDateTimeBase& b, int* n);

  // ---- Platform structures (the day of the week is never written; no checks) ----
  int nVersSysteme(_SYSTEMTIME* st) const;
  // AAAAMMJJ: the date, time 0. HHMMSS[m[m[m]]]: the time (a short fraction is scaled), date 0.
  static int nDateVersSysteme(const wchar_t* text, _SYSTEMTIME* st);
  static int nHeureVersSysteme(const wchar_t* text, _SYSTEMTIME* st);

  // ---- Digit texts ----
  // The first n characters of AAAAMMJJHHMMSSmmm (n from 17 on: all), terminated; the buffer holds
  // min(n, 17) + 1 characters. Every field keeps its width: a field stored beyond it (only Set
  // can do that) writes its low digits.
  void VersChaine(wchar_t* buffer, int n) const;
  void VersChaine(char* buffer, int n) const;
  // The first n of AAAAMMJJ / HHMMSSmmm, terminated; 0.
  int nVersDate(wchar_t* buffer, int n) const;
  int nVersDate(char* buffer, int n) const;
  int nVersHeure(wchar_t* buffer, int n) const;
  int nVersHeure(char* buffer, int n) const;
  // The 17 digits as a malloc'ed text (null without memory), a CTString, a host string (0, 108 or
  // the allocator's error) or 17 bytes of a binary buffer (0 or its error).
  wchar_t* pszCreeChaine() const;
  void VersChaine(CTString* s) const;
  CTString VersChaine() const;
  int nVersChaine(CXYString<wchar_t>* s) const;
  int nVersBinaire(CZVBIN* bin) const;
  // "Y-M-D h:m:s,ms" without padding, for people.
  CTString VersChaineFormate() const;

  // AAAAMMJJ[HHMMSS[mmm]] without any check (a missing field reads 0; a short fraction is
  // scaled); the time part only from 9 characters on. Null reads as empty.
  void FromString(const wchar_t* text);
  void FromString(const char* text);
  // The time of day from HHMMSS[m[m[m]]], without checks.
  void __SetPartieHeure(const wchar_t* text);
  void __SetPartieHeure(const char* text);
  // At most 17 bytes of bin (up to a zero byte) read by FromString.
  void DepuisBinaire(const CZVBIN* bin);
  // The same, checked: DATETIME_ERR_INVALID_DATE when the first 8 are no valid AAAAMMJJ (also
  // for an empty buffer), DATETIME_ERR_INVALID_TIME when a time part follows and is invalid;
  // else 0. A refused text leaves the value unchanged; a date alone sets midnight.
  int nDepuisBinaireValide(const CZVBIN* bin);
  // AAAAMMJJ, 8 digits, month 1-12 and a day of that month: stored (time untouched), else FALSE.
  // Year 0 passes (with the leap rule of __nBissextile); the day-number operations refuse it.
  BOOL __bSetPartieDateValide(const wchar_t* text);
  BOOL __bSetPartieDateValide(const char* text);
  // HH, HHMM, HHMMSS, then up to 3 fraction digits (1: tenths, 2: hundredths, 3: ms), within
  // 23:59:59.999; a non-digit after the seconds ends the time there. Null or empty: midnight.
  // FALSE leaves the value unchanged.
  BOOL __bSetPartieHeureValide(const wchar_t* text);
  BOOL __bSetPartieHeureValide(const char* text);

  // ---- Digit fields ----
  // The decimal number in characters start to start + count - 1 (leading blanks and a sign
  // accepted, reading stops at a non-digit; saturates at the int range). A text that ends inside
  // the field gives 0, unless partial is set and the field has begun: then what is there is read
  // and scaled by 10 per missing character ("5" in a 3-digit field: 500).
  static int nGetPropDateTime(const wchar_t* text, int start, int count, BOOL partial);
  static int nGetPropDateTime(const char* text, int start, int count, BOOL partial);
  // Writes value right-aligned in positions start to start + count - 1, '0'-filled on the left
  // (only the last count characters of a longer number), and ends the buffer at total. A field
  // that passes total: positions start to total - 1 become '0', ended at total. Negative start,
  // count or total: nothing.
  static void SetPropDateTime(wchar_t* buffer, int start, int count, int value, int total);
  static void SetPropDateTime(char* buffer, int start, int count, int value, int total);

 private:
  // Day number when the date converts (5-14 October 1582 as the 15th).
  bool bJour(int* n) const;
  bool bDecaleJours(int64_t n);
  // Year moved by years (the result within 1-9999), month set, day clamped; all or nothing.
  bool bDeplaceAnneeMois(int64_t years, int month);
  template <typename T>
  void TexteComplet(T* out) const;
  template <typename T>
  void FromStringT(const T* text);
  template <typename T>
  void SetPartieHeureT(const T* text);
  template <typename T>
  bool bPartieDateValideT(const T* text);
  template <typename T>
  bool bPartieHeureValideT(const T* text);
};

// The host's name for the same value.
class CDateTime : public CDateTimeBase {};

static_assert(sizeof(CDateTimeBase) == 8 && sizeof(CDateTime) == 8 && alignof(CDateTimeBase) == 4,
              "the 8-byte date-time of host values");

// Writes value on exactly width digits for width 2 and 3, on 4 digits for width 4 and more, and
// on one digit for any other width (the low digits of a larger value). Returns the position after
// the last digit written.
wchar_t* FAST_SETI2DATE(wchar_t* buffer, unsigned int value, int width);
char* FAST_SETI2DATE(char* buffer, unsigned int value, int width);
