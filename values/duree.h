// Durations of the host language: CDureeBase (alias CDuree), a signed 64-bit count of
// milliseconds, with its digit texts D...DHHMMSSmmm (or hundredths in place of milliseconds), a
// leading '-' when negative. Plain data, copied bitwise; texts handed out by pszCreeChaine are
// malloc'ed and the caller frees them.
#pragma once

#include <cstdint>

#include "platform/wintypes.h"

class CZVBIN;
template <typename T>
class CXYString;

// Value-layer result: the text is no duration (too short, a non-digit, or out of range).
enum : int {
  DUREE_ERR_TEXT = 112,
};

// Characters of the longest duration text (sign, 12 digits of days, 9 more), terminator excluded.
constexpr int kDureeTextChars = 22;

class CDureeBase {
 public:
  int64_t m_llMilli = 0;

  // Days, hours, minutes, seconds and the fraction; the days take a 64-bit argument.
  static const wchar_t* const ms_pcszFormatAffichageMillieme;
  static const wchar_t* const ms_cpszFormatAffichageCentieme;

  // -1, 0 or 1.
  static int nCompare(const CDureeBase& a, const CDureeBase& b);

  // Writes at most size characters and a terminator (the buffer holds size + 1) with one of the
  // two formats; with the hundredths format the magnitude is rounded to the nearest hundredth
  // (halves up) and the carry goes into the seconds, so the fraction always has two digits. A
  // negative value starts with '-', also when it rounds to zero. Returns the length, or -1 when
  // the text was cut.
  int __nVersChaine(wchar_t* buffer, const wchar_t* format, int size) const;
  // The millisecond text: malloc'ed (null without memory), as bytes (0 or the buffer's error),
  // as a host string (0, 108 or the allocator's error).
  wchar_t* pszCreeChaine() const;
  int nVersBinaire(CZVBIN* bin) const;
  int nVersChaine(CXYString<wchar_t>* s) const;
  int nVersChaineCentieme(CXYString<wchar_t>* s) const;

  // An optional sign ('+', '-', U+FF0B, U+FF0D), then at least 10 characters (9 for the
  // hundredths form) read by position from the end: mmm (or cc), SS, MM, HH, and the days before
  // them. Each field is the decimal number its characters begin with, so a non-digit ends a
  // field, not the reading. 0, or DUREE_ERR_TEXT with the value unchanged when the text is too
  // short or the result does not fit 64 bits.
  int nDepuisChaine(const wchar_t* text);
  int nDepuisChaineCentieme(const wchar_t* text);
  // At most 24 bytes of bin (up to a zero byte), each taken as a signed character.
  int nDepuisBinaire(const CZVBIN* bin);

 private:
  int nLire(const wchar_t* text, int fractionDigits);
};

// The host's name for the same value.
class CDuree : public CDureeBase {};

static_assert(sizeof(CDureeBase) == 8 && sizeof(CDuree) == 8, "the 8-byte duration of host values");
