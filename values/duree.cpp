// Texts are built from the magnitude as an unsigned 64-bit count, so the most negative duration
// needs no special case and no field ever carries a sign of its own.
#include "values/duree.h"

#include <cwchar>

#include "common/str_buffer.h"
#include "common/xystring.h"
#include "common/zvbin.h"
#include "platform/winformat.h"

const wchar_t* const CDureeBase::ms_pcszFormatAffichageMillieme = L"%I64d%02d%02d%02d%03d";
const wchar_t* const CDureeBase::ms_cpszFormatAffichageCentieme = L"%I64d%02d%02d%02d%02d";

namespace {

constexpr uint64_t kDay = 86400000;
constexpr int64_t kFieldCap = 100000000000000000;  // 10^17: more days than any duration has
constexpr int kBinaryChars = 24;

typedef __int128 i128;

// The decimal number the n characters at p begin with (leading blanks and a sign accepted,
// reading stops at a non-digit), saturated far beyond any duration.
int64_t nField(const wchar_t* p, size_t n) {
  size_t i = 0;
  while (i < n && (p[i] == L' ' || (p[i] >= L'\t' && p[i] <= L'\r'))) ++i;
  bool negative = false;
  if (i < n && (p[i] == L'+' || p[i] == L'-')) negative = p[i++] == L'-';
  int64_t v = 0;
  for (; i < n && p[i] >= L'0' && p[i] <= L'9'; ++i)
    if (v < kFieldCap) v = v * 10 + (p[i] - L'0');
  return negative ? -v : v;
}

}  // namespace

int CDureeBase::nCompare(const CDureeBase& a, const CDureeBase& b) {
  return a.m_llMilli < b.m_llMilli ? -1 : a.m_llMilli > b.m_llMilli ? 1 : 0;
}

int CDureeBase::__nVersChaine(wchar_t* buffer, const wchar_t* format, int size) const {
  if (buffer == nullptr || size < 0) return -1;
  const bool hundredths = format != nullptr && wcscmp(format, ms_cpszFormatAffichageCentieme) == 0;
  const uint64_t magnitude = m_llMilli < 0 ? 0 - static_cast<uint64_t>(m_llMilli) : static_cast<uint64_t>(m_llMilli);
  // Rounding the whole magnitude lets 995 to 999 ms carry into the seconds.
  const uint64_t units = hundredths ? (magnitude + 5) / 10 : magnitude;
  const uint64_t perSecond = hundredths ? 100 : 1000;
  const uint64_t seconds = units / perSecond;
  const bool negative = m_llMilli < 0;
  wchar_t* p = buffer;
  unsigned int room = static_cast<unsigned int>(size) + 1;
  if (negative) {
    if (size == 0) {
      *buffer = 0;
      return -1;
    }
    *p++ = L'-';
    --room;
  }
  const int r = snwprintfWin(p, room, format, static_cast<long long>(seconds / 86400),
                             static_cast<int>(seconds / 3600 % 24), static_cast<int>(seconds / 60 % 60),
                             static_cast<int>(seconds % 60), static_cast<int>(units % perSecond));
  return r < 0 ? -1 : r + (negative ? 1 : 0);
}

wchar_t* CDureeBase::pszCreeChaine() const {
  wchar_t text[kDureeTextChars + 1];
  __nVersChaine(text, ms_pcszFormatAffichageMillieme, kDureeTextChars);
  return STR_pszCreate(text);
}

int CDureeBase::nVersBinaire(CZVBIN* bin) const {
  if (bin == nullptr) return 0;
  wchar_t text[kDureeTextChars + 1];
  char bytes[kDureeTextChars + 1];
  const int n = __nVersChaine(text, ms_pcszFormatAffichageMillieme, kDureeTextChars);
  for (int i = 0; i < n; ++i) bytes[i] = static_cast<char>(text[i]);
  return bin->nAssign(bytes, n < 0 ? 0 : n);
}

int CDureeBase::nVersChaine(CXYString<wchar_t>* s) const {
  if (s == nullptr) return 0;
  wchar_t text[kDureeTextChars + 1];
  return s->nAffecte(text, __nVersChaine(text, ms_pcszFormatAffichageMillieme, kDureeTextChars));
}

int CDureeBase::nVersChaineCentieme(CXYString<wchar_t>* s) const {
  if (s == nullptr) return 0;
  wchar_t text[kDureeTextChars + 1];
  return s->nAffecte(text, __nVersChaine(text, ms_cpszFormatAffichageCentieme, kDureeTextChars));
}

int CDureeBase::nLire(const wchar_t* text, int fractionDigits) {
  if (text == nullptr) return DUREE_ERR_TEXT;
  bool negative = false;
  if (*text == L'+' || *text == 0xFF0B) {
    ++text;
  } else if (*text == L'-' || *text == 0xFF0D) {
    negative = true;
    ++text;
  }
  const size_t len = wcslen(text);
  const size_t fixed = 6 + static_cast<size_t>(fractionDigits);
  if (len <= fixed) return DUREE_ERR_TEXT;
  // Fields by position from the end; the days are everything before them.
  const wchar_t* p = text + len - fixed;
  const i128 total = i128{nField(text, len - fixed)} * kDay + i128{nField(p, 2)} * 3600000 +
                     i128{nField(p + 2, 2)} * 60000 + i128{nField(p + 4, 2)} * 1000 +
                     i128{nField(p + 6, static_cast<size_t>(fractionDigits))} * (fractionDigits == 2 ? 10 : 1);
  const i128 value = negative ? -total : total;
  if (value < INT64_MIN || value > INT64_MAX) return DUREE_ERR_TEXT;
  m_llMilli = static_cast<int64_t>(value);
  return 0;
}

int CDureeBase::nDepuisChaine(const wchar_t* text) { return nLire(text, 3); }
int CDureeBase::nDepuisChaineCentieme(const wchar_t* text) { return nLire(text, 2); }

int CDureeBase::nDepuisBinaire(const CZVBIN* bin) {
  if (bin == nullptr || bin->bIsEmpty()) return DUREE_ERR_TEXT;
  wchar_t text[kBinaryChars + 1];
  const BYTE* p = bin->pGetData();
  const int size = bin->nGetSize();
  int n = 0;
  for (; n < kBinaryChars && n < size && p[n] != 0; ++n) text[n] = static_cast<signed char>(p[n]);
  text[n] = 0;
  return nDepuisChaine(text);
}
