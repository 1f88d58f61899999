#include "host/host_infolocale.h"

#include <unicode/ucnv.h>
#include <unicode/ucol.h>
#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

const char* IcuLocale(int lcid) {
  switch (lcid) {
    case 1036: return "fr_FR";
    case 1033: return "en_US";
    case 1031: return "de_DE";
    case 1034: case 3082: return "es_ES";
    case 1040: return "it_IT";
    default: return "";
  }
}

const unsigned int kCompareFlags = 0x1 | 0x2 | 0x4;

// Counted UTF-32 (or invalid values) to UTF-16; invalid values become U+FFFD.
void ToUtf16(const wchar_t* s, int n, std::u16string& out) {
  out.clear();
  out.reserve(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    uint32_t c = static_cast<uint32_t>(s[i]);
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (c >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
  }
}

int WideLength(const wchar_t* s, int n, bool withTerminator) {
  if (n >= 0) return n;
  return static_cast<int>(wcslen(s)) + (withTerminator ? 1 : 0);
}
int NarrowLength(const char* s, int n, bool withTerminator) {
  if (n >= 0) return n;
  return static_cast<int>(strlen(s)) + (withTerminator ? 1 : 0);
}

// Maps one code point under the flags; false when the character is removed.
bool MapCodePoint(unsigned int flags, UChar32 c, UChar32* out) {
  if (c < 0 || c > 0x10FFFF) {
    *out = c;
    return true;
  }
  if ((flags & 0x4) && (u_isUWhiteSpace(c) || u_ispunct(c))) return false;
  if (flags & 0x2) {
    if (u_charType(c) == U_NON_SPACING_MARK) return false;
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2* nfd = unorm2_getNFDInstance(&status);
    UChar buf[32];
    int32_t len = U_SUCCESS(status) ? unorm2_getDecomposition(nfd, c, buf, 32, &status) : -1;
    if (len > 0 && U_SUCCESS(status)) {
      // Keep the decomposition's one base character when the rest are combining marks.
      UChar32 base = -1;
      int bases = 0;
      for (int32_t i = 0; i < len;) {
        UChar32 d;
        U16_NEXT(buf, i, len, d);
        if (u_charType(d) != U_NON_SPACING_MARK) {
          base = d;
          ++bases;
        }
      }
      if (bases == 1) c = base;
    }
  }
  if (flags & 0x100)
    c = u_tolower(c);
  else if (flags & 0x1)
    c = u_toupper(c);
  *out = c;
  return true;
}

template <typename T>
int CopyOut(const std::vector<T>& mapped, T* dst, int dstSize) {
  const int n = static_cast<int>(mapped.size());
  if (dstSize == 0) return n;
  if (dst == nullptr || n > dstSize) return 0;
  if (n > 0) memcpy(dst, mapped.data(), static_cast<size_t>(n) * sizeof(T));
  return n;
}

}  // namespace

CHostInfoLocale::CHostInfoLocale() : m_nLCID(1036), m_nCodePage(1252), m_nCharset(0) {}

CHostInfoLocale::~CHostInfoLocale() {
  for (auto& [key, coll] : m_collators) ucol_close(coll);
  for (auto& [key, conv] : m_converters) ucnv_close(conv);
}

void CHostInfoLocale::SetCurrent(int lcid, int codePage, int charset) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_nLCID = lcid;
  m_nCodePage = codePage;
  m_nCharset = charset;
}

UCollator* CHostInfoLocale::Collator(int lcid, unsigned int flags) {
  flags &= kCompareFlags;
  std::lock_guard<std::mutex> lock(m_mutex);
  if (lcid == 1024) lcid = m_nLCID;
  auto it = m_collators.find({lcid, flags});
  if (it != m_collators.end()) return it->second;
  UErrorCode status = U_ZERO_ERROR;
  UCollator* coll = ucol_open(IcuLocale(lcid), &status);
  if (U_FAILURE(status)) return nullptr;
  const bool noCase = flags & 0x1, noAccent = flags & 0x2;
  if (noCase && noAccent) {
    ucol_setStrength(coll, UCOL_PRIMARY);
  } else if (noCase) {
    ucol_setStrength(coll, UCOL_SECONDARY);
  } else if (noAccent) {
    ucol_setStrength(coll, UCOL_PRIMARY);
    ucol_setAttribute(coll, UCOL_CASE_LEVEL, UCOL_ON, &status);
  } else {
    ucol_setStrength(coll, UCOL_TERTIARY);
  }
  if (flags & 0x4) ucol_setAttribute(coll, UCOL_ALTERNATE_HANDLING, UCOL_SHIFTED, &status);
  m_collators[{lcid, flags}] = coll;
  return coll;
}

UConverter* CHostInfoLocale::Converter(int codePage) {
  auto it = m_converters.find(codePage);
  if (it != m_converters.end()) return it->second;
  std::string name = codePage == 65001 ? "UTF-8" : "windows-" + std::to_string(codePage == 0 ? 1252 : codePage);
  UErrorCode status = U_ZERO_ERROR;
  UConverter* conv = ucnv_open(name.c_str(), &status);
  if (U_FAILURE(status)) {
    status = U_ZERO_ERROR;
    conv = ucnv_open("windows-1252", &status);
  }
  m_converters[codePage] = conv;
  return conv;
}

// Narrow text of the current code page to and from code points; unmappable characters become '?'.
namespace {
struct CNarrowCodec {
  UConverter* conv;
  std::vector<UChar32> Decode(const char* s, int n) {
    std::vector<UChar32> out;
    if (n <= 0) return out;
    std::u16string u(static_cast<size_t>(n) * 2 + 2, u'\0');
    UErrorCode status = U_ZERO_ERROR;
    ucnv_reset(conv);
    int32_t len = ucnv_toUChars(conv, reinterpret_cast<UChar*>(u.data()), static_cast<int32_t>(u.size()), s, n, &status);
    if (U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING) len = 0;
    for (int32_t i = 0; i < len;) {
      UChar32 c;
      U16_NEXT(u.data(), i, len, c);
      out.push_back(c);
    }
    return out;
  }
  std::vector<char> Encode(const std::vector<UChar32>& cps) {
    std::u16string u;
    for (UChar32 c : cps) {
      if (c < 0 || c > 0x10FFFF) c = '?';
      if (c >= 0x10000) {
        u.push_back(static_cast<char16_t>(U16_LEAD(c)));
        u.push_back(static_cast<char16_t>(U16_TRAIL(c)));
      } else {
        u.push_back(static_cast<char16_t>(c));
      }
    }
    std::vector<char> out(u.size() * 4 + 4);
    UErrorCode status = U_ZERO_ERROR;
    ucnv_reset(conv);
    int32_t len = ucnv_fromUChars(conv, out.data(), static_cast<int32_t>(out.size()),
                                  reinterpret_cast<const UChar*>(u.data()), static_cast<int32_t>(u.size()), &status);
    if (U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING) len = 0;
    out.resize(static_cast<size_t>(len));
    return out;
  }
};
}  // namespace

int CHostInfoLocale::nCompareStringW(int lcid, unsigned int flags, const wchar_t* a, int la, const wchar_t* b,
                                     int lb) {
  UCollator* coll = Collator(lcid, flags);
  if (coll == nullptr || a == nullptr || b == nullptr) return 0;
  std::u16string ua, ub;
  ToUtf16(a, WideLength(a, la, false), ua);
  ToUtf16(b, WideLength(b, lb, false), ub);
  return ucol_strcoll(coll, reinterpret_cast<const UChar*>(ua.data()), static_cast<int32_t>(ua.size()),
                      reinterpret_cast<const UChar*>(ub.data()), static_cast<int32_t>(ub.size()));
}

int CHostInfoLocale::nCompareStringA(int lcid, unsigned int flags, const char* a, int la, const char* b, int lb) {
  if (a == nullptr || b == nullptr) return 0;
  std::vector<UChar32> ca, cb;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    CNarrowCodec codec{Converter(m_nCodePage)};
    ca = codec.Decode(a, NarrowLength(a, la, false));
    cb = codec.Decode(b, NarrowLength(b, lb, false));
  }
  std::wstring wa(ca.begin(), ca.end()), wb(cb.begin(), cb.end());
  return nCompareStringW(lcid, flags, wa.data(), static_cast<int>(wa.size()), wb.data(), static_cast<int>(wb.size()));
}

int CHostInfoLocale::nCompareStringCurA(unsigned int flags, const char* a, int la, const char* b, int lb) {
  return nCompareStringA(m_nLCID, flags, a, la, b, lb);
}
int CHostInfoLocale::nCompareStringCurW(unsigned int flags, const wchar_t* a, int la, const wchar_t* b, int lb) {
  return nCompareStringW(m_nLCID, flags, a, la, b, lb);
}

int CHostInfoLocale::nMapStringW(int, unsigned int flags, wchar_t* dst, int dstSize, const wchar_t* src,
                                 int srcLen) {
  if (src == nullptr || srcLen == 0 || dstSize < 0) return 0;
  const int n = WideLength(src, srcLen, true);
  std::vector<wchar_t> mapped;
  mapped.reserve(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    UChar32 c;
    if (MapCodePoint(flags, static_cast<UChar32>(src[i]), &c)) mapped.push_back(static_cast<wchar_t>(c));
  }
  return CopyOut(mapped, dst, dstSize);
}

int CHostInfoLocale::nMapStringA(int, unsigned int flags, char* dst, int dstSize, const char* src, int srcLen) {
  if (src == nullptr || srcLen == 0 || dstSize < 0) return 0;
  const int n = NarrowLength(src, srcLen, true);
  std::lock_guard<std::mutex> lock(m_mutex);
  CNarrowCodec codec{Converter(m_nCodePage)};
  std::vector<UChar32> cps = codec.Decode(src, n), mappedCps;
  for (UChar32 c : cps) {
    UChar32 m;
    if (MapCodePoint(flags, c, &m)) mappedCps.push_back(m);
  }
  return CopyOut(codec.Encode(mappedCps), dst, dstSize);
}

int CHostInfoLocale::nMapStringCurA(unsigned int flags, char* dst, int dstSize, const char* src, int srcLen) {
  return nMapStringA(m_nLCID, flags, dst, dstSize, src, srcLen);
}
int CHostInfoLocale::nMapStringCurW(unsigned int flags, wchar_t* dst, int dstSize, const wchar_t* src, int srcLen) {
  return nMapStringW(m_nLCID, flags, dst, dstSize, src, srcLen);
}

int CHostInfoLocale::nMapStringSortA(int lcid, char* dst, int dstSize, const char* src, int srcLen) {
  if (src == nullptr || dstSize < 0) return 0;
  std::vector<UChar32> cps;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    cps = CNarrowCodec{Converter(m_nCodePage)}.Decode(src, NarrowLength(src, srcLen, false));
  }
  std::wstring w(cps.begin(), cps.end());
  std::u16string u;
  ToUtf16(w.data(), static_cast<int>(w.size()), u);
  UCollator* coll = Collator(lcid, 0);
  if (coll == nullptr) return 0;
  const int32_t needed = ucol_getSortKey(coll, reinterpret_cast<const UChar*>(u.data()),
                                         static_cast<int32_t>(u.size()), nullptr, 0);
  if (dstSize == 0) return needed;
  if (dst == nullptr || needed > dstSize) return 0;
  return ucol_getSortKey(coll, reinterpret_cast<const UChar*>(u.data()), static_cast<int32_t>(u.size()),
                         reinterpret_cast<uint8_t*>(dst), dstSize);
}
