// Conversion members of CXYString<char>, CXYString<wchar_t> and CZVBIN, and the free conversions.
// Each conversion builds its result in a fresh value and only then replaces the target, so a
// source may be the target's own text.
#include "common/xystring_conversion.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/str_charclass.h"
#include "common/str_compare.h"
#include "common/utf.h"
#include "common/zvbin.h"
#include "platform/codepage.h"

namespace {

constexpr int kUTF8 = 65001;
constexpr uint32_t kWideMarker = 0xFFFFFFFFu;
constexpr char kNarrowMarker = static_cast<char>(0xFF);

// n, or for -1 the length of the terminated s (beyond an int: a length no block can take).
template <typename T>
int Count(const T* s, int n) {
  if (s == nullptr || n != -1) return n;
  const size_t len = std::char_traits<T>::length(s);
  return len >= static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(len);
}

int CodePage(int cp) { return cp == -1 ? STR_nGetCurrentCodePage() : cp; }

// The end-marker rule applies: a marked wide text of at least one character going to a code
// page other than UTF-8.
bool WideMarked(const wchar_t* text, int chars, uint32_t flags, int cp) {
  return chars >= 1 && cp != kUTF8 && (flags & XYSTR_FLAG_END_MARKER) != 0 &&
         static_cast<uint32_t>(text[chars - 1]) == kWideMarker;
}

// A fresh block of `units` units of room, length 0, for a conversion to write into.
int NewRoom(CXYString<char>& v, int64_t units) {
  return units > CXYString<char>::kMaxUnits ? XYSTR_ERR_SIZE : v.__nNew(static_cast<int>(units), nullptr, 0);
}
int NewRoom(CXYString<wchar_t>& v, int64_t units) {
  return units > CXYString<wchar_t>::kMaxUnits ? XYSTR_ERR_SIZE : v.__nNew(static_cast<int>(units), nullptr, 0);
}
int NewRoom(CZVBIN& v, int64_t bytes) {
  return bytes > XYSTR_MAX_BYTES ? XYSTR_ERR_SIZE : v._nNew(static_cast<int>(bytes), nullptr, 0);
}
char* Room(CXYString<char>& v) { return v.pGetData(); }
char* Room(CZVBIN& v) { return reinterpret_cast<char*>(v.pGetData()); }

// What a conversion wrote becomes the content; nothing written leaves the value empty.
template <typename T>
void SetUsed(CXYString<T>& v, int units) {
  if (units > 0) {
    v.SetUtilLength(units);
  } else {
    v.ReleaseDynStr();
  }
}
void SetUsed(CZVBIN& v, int bytes) {
  if (bytes > 0) {
    v.SetUtilSize(bytes);
  } else {
    v.Release();
  }
}

// n wide characters (n >= 1) as narrow text of cp into the fresh value out, with `extra` units
// of room beyond the converted size. The size is counted with the default text that the
// conversion writes, which may be longer than one byte.
template <class V>
int WideToNarrow(V& out, const wchar_t* s, int n, int64_t extra, int cp, int flags, const char* defaultChar,
                 int* usedDefault) {
  if (usedDefault != nullptr) *usedDefault = 0;
  if (s == nullptr || n < 1) return 0;
  const int size = WideCharToMultiByte(cp, flags, s, n, nullptr, 0, defaultChar, nullptr);
  if (size <= 0) return 0;
  const int r = NewRoom(out, size + extra);
  if (r != 0) return r;
  SetUsed(out, WideCharToMultiByte(cp, flags, s, n, Room(out), size, defaultChar, usedDefault));
  return 0;
}

// n units of s widened one to one (or pair to one) by convert into a fresh value; 105 for nothing.
template <typename Src>
int Widen(CXYString<wchar_t>& out, const Src* s, int n, int (*convert)(const Src*, int, wchar_t*, int)) {
  const int r = NewRoom(out, static_cast<int64_t>(n) + 1);
  if (r != 0) return r;
  SetUsed(out, convert(s, n, out.pGetData(), n));
  return out.bIsEmpty() ? XYSTR_ERR_CONVERSION : 0;
}

}  // namespace

// ---- CXYString<char> ----

template <>
int CXYString<char>::__nConversion(const wchar_t* s, int n, int extra, int cp, int flags, const char* defaultChar) {
  n = Count(s, n);
  CXYString<char> out;
  const int r = WideToNarrow(out, s, n, std::max(extra, 0) + 1LL, cp, flags, defaultChar, nullptr);
  *this = std::move(out);
  return r;
}

template <>
int CXYString<char>::nAffecteConversionExplicite(const CXYString<wchar_t>& src, int cp, int flags,
                                                 const char* defaultChar) {
  const wchar_t* text = src.pGetData();
  const int chars = src.nGetLength();
  if (!WideMarked(text, chars, src.dwGetFlags(), cp)) return __nConversion(text, chars, 0, cp, flags, defaultChar);
  CXYString<char> out;
  int r = out.__nConversion(text, chars - 1, 1, cp, flags, defaultChar);
  if (r == 0) r = out.nConcat(&kNarrowMarker, 1);
  if (r == 0) {
    out.SetFlagsWord(XYSTR_FLAG_END_MARKER);
  } else {
    out.ReleaseDynStr();
  }
  *this = std::move(out);
  return r;
}

template <>
int CXYString<char>::nAffecteToUTF8(const wchar_t* s, int n, int) {
  return __nConversion(s, n, 0, kUTF8, 0, nullptr);
}

template <>
int CXYString<char>::nAffecteToUTF8(const char* s, int n, int cp) {
  if (s == nullptr || n < 1) {
    ReleaseDynStr();
    return 0;
  }
  if (cp == kUTF8) return nAffecte(s, n);
  // A byte of a code page gives at most 4 bytes of UTF-8.
  CXYString<char> out;
  const int64_t room = 4LL * n;
  int r = NewRoom(out, room + 1);
  if (r == 0) {
    SetUsed(out, MultiByteToUTF8(cp, s, n, out.pGetData(), static_cast<unsigned int>(room), 0));
    if (out.bIsEmpty()) r = XYSTR_ERR_CONVERSION;
  }
  *this = std::move(out);
  return r;
}

template <>
int CXYString<char>::nAffecteUTF8(const char* s, int n, int cp, int flags, const char* defaultChar,
                                  int* usedDefault) {
  if (s == nullptr || n < 1) {
    ReleaseDynStr();
    return 0;
  }
  if (cp == kUTF8) return nAffecte(s, n);
  CXYString<char> out;
  int r = NewRoom(out, static_cast<int64_t>(n) + 1);
  if (r == 0) {
    const int room = n + 1;
    const int written = UTF8ToMultiByte(cp, s, n, out.pGetData(), room, flags, defaultChar, usedDefault);
    if (written > 0 && written < room) {
      SetUsed(out, written);
    } else {
      // Nothing, or a full room: the text may be longer in the code page than in UTF-8 (a long
      // default text, a four-byte form) and was refused or cut. It is converted exactly instead.
      out.ReleaseDynStr();
      CXYString<wchar_t> wide;
      r = wide.__nConversion(s, n, 0, kUTF8, 0, nullptr);
      if (r == 0)
        r = WideToNarrow(out, wide.pGetData(), wide.nGetLength(), 1, cp, flags, defaultChar, usedDefault);
    }
    if (r == 0 && out.bIsEmpty()) r = XYSTR_ERR_CONVERSION;
  }
  *this = std::move(out);
  return r;
}

template <>
int CXYString<char>::nAffecteUTF16(const unsigned short* s, int n, int cp, int flags, const char* defaultChar) {
  CXYString<char> out;
  int r = 0;
  if (s != nullptr && n >= 1) {
    const int size = UTF16ToMultiByte(cp, flags, s, n, nullptr, 0, defaultChar, nullptr);
    if (size > 0) r = NewRoom(out, size + 1LL);
    if (r == 0 && size > 0)
      SetUsed(out, UTF16ToMultiByte(cp, flags, s, n, out.pGetData(), size, defaultChar, nullptr));
    if (r == 0 && out.bIsEmpty()) r = XYSTR_ERR_CONVERSION;
  }
  *this = std::move(out);
  return r;
}

template <>
int CXYString<char>::nAffecteUTF32(const wchar_t* s, int n, int cp, int flags, const char* defaultChar) {
  CXYString<char> out;
  int r = 0;
  if (s != nullptr && n >= 1) {
    r = WideToNarrow(out, s, n, 1, cp, flags, defaultChar, nullptr);
    if (r == 0 && out.bIsEmpty()) r = XYSTR_ERR_CONVERSION;
  }
  *this = std::move(out);
  return r;
}

template <>
BOOL CXYString<char>::bCreateY(wchar_t*& out, int cp) const {
  out = nullptr;
  const int length = nGetLength();
  if (length == 0) return TRUE;
  // The marker byte is never read as a character of the code page: it is appended afterwards.
  const bool marker = (dwGetFlags() & XYSTR_FLAG_END_MARKER) != 0 && cp != kUTF8 &&
                      m_pData[length - 1] == kNarrowMarker;
  const int convert = marker ? length - 1 : length;
  wchar_t* text = nullptr;
  int chars = 0;
  if (convert > 0 && !STR_CharToWChar_AnyCodepage(m_pData, convert, static_cast<unsigned int>(cp), &text, &chars, 0))
    return FALSE;
  if (marker) {
    wchar_t* grown = static_cast<wchar_t*>(realloc(text, (static_cast<size_t>(chars) + 2) * sizeof(wchar_t)));
    if (grown == nullptr) {
      free(text);
      return FALSE;
    }
    text = grown;
    text[chars] = static_cast<wchar_t>(kWideMarker);
    text[chars + 1] = 0;
  }
  out = text;
  return TRUE;
}

// ---- CXYString<wchar_t> ----

template <>
int CXYString<wchar_t>::__nConversion(const char* s, int n, int extra, int cp, int flags, const wchar_t*) {
  n = Count(s, n);
  CXYString<wchar_t> out;
  int r = 0;
  if (s != nullptr && n >= 1) {
    const int64_t room = std::max(extra, 0) + 1LL;
    if (cp == 1252 && flags == 0) {
      r = NewRoom(out, n + room);
      if (r == 0) SetUsed(out, STR_CP1252ToWideChar(s, n, out.pGetData(), n));
    } else {
      const int size = MultiByteToWideChar(static_cast<unsigned int>(cp), static_cast<unsigned int>(flags), s, n,
                                           nullptr, 0);
      if (size > 0) r = NewRoom(out, size + room);
      if (r == 0 && size > 0)
        SetUsed(out, MultiByteToWideChar(static_cast<unsigned int>(cp), static_cast<unsigned int>(flags), s, n,
                                         out.pGetData(), size));
    }
  }
  *this = std::move(out);
  return r;
}

template <>
int CXYString<wchar_t>::nAffecteUTF8(const char* s, int n) {
  return __nConversion(s, n, 0, kUTF8, 0, nullptr);
}

template <>
int CXYString<wchar_t>::nAffecteToUTF8(const wchar_t*, int, int) {
  return 0;
}

template <>
int CXYString<wchar_t>::nAffecteToUTF8(const char*, int, int) {
  return 0;
}

template <>
int CXYString<wchar_t>::nAffecteUTF16(const unsigned short* s, int n) {
  CXYString<wchar_t> out;
  const int r = s != nullptr && n >= 1 ? Widen(out, s, n, UTF16ToWideChar) : 0;
  *this = std::move(out);
  return r;
}

template <>
int CXYString<wchar_t>::nAffecteUTF32(const wchar_t* s, int n) {
  CXYString<wchar_t> out;
  const int r = s != nullptr && n >= 1 ? Widen(out, s, n, UTF32ToWideChar) : 0;
  *this = std::move(out);
  return r;
}

template <>
BOOL CXYString<wchar_t>::bCreateY(char*& out, int cp) const {
  out = nullptr;
  const int chars = nGetLength();
  if (chars == 0) return TRUE;
  const unsigned int page = static_cast<unsigned int>(cp);
  if (!WideMarked(m_pData, chars, dwGetFlags(), cp)) {
    int length = 0;
    return STR_WCharToChar_AnyCodepage(m_pData, -1, &out, &length, page);
  }
  const int text = chars - 1;
  const int size = text > 0 ? WideCharToMultiByte(page, 0, m_pData, text, nullptr, 0, nullptr, nullptr) : 0;
  if (size == 0 && text > 0) return FALSE;
  char* buf = static_cast<char*>(malloc(static_cast<size_t>(size) + 2));
  if (buf == nullptr) return FALSE;
  const int written = text > 0 ? WideCharToMultiByte(page, 0, m_pData, text, buf, size, nullptr, nullptr) : 0;
  if (written == 0 && text > 0) {
    free(buf);
    return FALSE;
  }
  buf[written] = kNarrowMarker;
  buf[written + 1] = 0;
  out = buf;
  return TRUE;
}

// ---- CZVBIN ----

int CZVBIN::nAffecteToUNICODE(const char* s, int n, int cp, int flags) {
  n = Count(s, n);
  CZVBIN out;
  int r = 0;
  if (s != nullptr && n >= 1) {
    const unsigned int page = static_cast<unsigned int>(cp);
    const unsigned int how = static_cast<unsigned int>(flags);
    const int size = MultiByteToWideChar(page, how, s, n, nullptr, 0);
    if (size > 0) r = NewRoom(out, 4LL * size);
    if (r == 0 && size > 0) {
      const int chars = MultiByteToWideChar(page, how, s, n, reinterpret_cast<wchar_t*>(out.pGetData()), size);
      SetUsed(out, chars * 4);
    }
    if (r == 0 && out.bIsEmpty()) r = XYSTR_ERR_CONVERSION;
  }
  *this = std::move(out);
  return r;
}

int CZVBIN::nAffecteToANSI(const wchar_t* s, int n, int cp, int flags, const char* defaultChar, int* usedDefault,
                           int extra) {
  CZVBIN out;
  int r = 0;
  if (s != nullptr && n >= 1) {
    r = WideToNarrow(out, s, n, std::max(extra, 0), cp, flags, defaultChar, usedDefault);
    if (r == 0 && out.bIsEmpty()) r = XYSTR_ERR_CONVERSION;
  }
  *this = std::move(out);
  return r;
}

int CZVBIN::nAffecteToANSI(const CZVBIN* src, int cp, int flags, const char* defaultChar, int* usedDefault) {
  // Held: the source stays whole when it is this value.
  const CZVBIN held = src != nullptr ? *src : CZVBIN();
  const wchar_t* text = reinterpret_cast<const wchar_t*>(held.pGetData());
  const int chars = held.nGetSize() / 4;
  if (!WideMarked(text, chars, held.dwGetFlags(), cp))
    return nAffecteToANSI(text, chars, cp, flags, defaultChar, usedDefault, 0);
  int r = nAffecteToANSI(text, chars - 1, cp, flags, defaultChar, usedDefault, 1);
  if (r == 0) r = nConcat(&kNarrowMarker, 1);
  if (r == 0) {
    Header(m_pData)->dwFlags = XYSTR_FLAG_END_MARKER;
  } else {
    Release();
  }
  return r;
}

// ---- Free conversions ----

namespace {
// The other form's text converted with the code page (-1: the current one).
template <typename T>
CXYString<T> Converted(const typename CXYString<T>::OtherT* s, int cp, int n) {
  CXYString<T> out;
  out.__nConversion(s, n, 0, CodePage(cp), 0, nullptr);
  return out;
}
}  // namespace

CXYString<char> PCWSTR_To_CAString(const wchar_t* s, int cp, int n) { return Converted<char>(s, cp, n); }

CXYString<char> PCWSTR_N_To_UTF8(const wchar_t* s, int n) { return PCWSTR_To_CAString(s, kUTF8, n); }

CXYString<char> PCWSTR_To_UTF8(const wchar_t* s) { return PCWSTR_To_CAString(s, kUTF8, -1); }

CXYString<char> CWString_To_UTF8(const CXYString<wchar_t>& s) {
  CXYString<char> out;
  out.nAffecteConversionExplicite(s, kUTF8, 0, nullptr);
  return out;
}

CXYString<wchar_t> PCASTR_To_CWString(const char* s, int cp, int n) { return Converted<wchar_t>(s, cp, n); }

CXYString<wchar_t> UTF8_To_CWString(const char* s, int n) { return PCASTR_To_CWString(s, kUTF8, n); }

CXYString<wchar_t> UTF8_To_CWString(const char* s) { return PCASTR_To_CWString(s, kUTF8, -1); }

CXYString<char> UTF8_To_CAString(const char* s, int n, int cp) {
  CXYString<char> out;
  if (cp == kUTF8) {
    out.nAffecte(s, n);
  } else {
    out.nAffecteConversionExplicite(UTF8_To_CWString(s, n), cp, 0, nullptr);
  }
  return out;
}

CXYString<char> UTF8_To_CAString(const char* s, int cp) { return UTF8_To_CAString(s, -1, cp); }

CXYString<char> PCASTR_N_To_UTF8(const char* s, int n, int cp) {
  if (cp != kUTF8) {
    const CXYString<wchar_t> wide = PCASTR_To_CWString(s, cp, n);
    return PCWSTR_N_To_UTF8(wide.pGetData(), wide.nGetLength());
  }
  CXYString<char> out;
  out.nAffecte(s, n);
  return out;
}

CXYString<char> PCASTR_To_UTF8(const char* s, int cp) { return PCASTR_N_To_UTF8(s, -1, cp); }

CXYString<char> CAString_To_UTF8(const CXYString<char>& s, int cp) {
  if (cp == kUTF8) return s;
  const char* text = s.pGetData();
  const int length = s.nGetLength();
  const bool marker =
      length >= 1 && (s.dwGetFlags() & XYSTR_FLAG_END_MARKER) != 0 && text[length - 1] == kNarrowMarker;
  if (!marker) return PCASTR_N_To_UTF8(text, length, cp);
  // The marker byte becomes the wide marker, which the UTF-8 step converts like any character.
  CXYString<wchar_t> wide;
  const wchar_t wideMarker = static_cast<wchar_t>(kWideMarker);
  if (wide.__nConversion(text, length - 1, 1, cp, 0, nullptr) != 0 || wide.nConcat(&wideMarker, 1) != 0)
    return CXYString<char>();
  return PCWSTR_N_To_UTF8(wide.pGetData(), wide.nGetLength());
}
