// Texts and bytes as the comparisons of every column type show them: UTF-8 for texts, "x" and
// hexadecimal digits for bytes, whatever road or value form the driver used to hand them over.
#pragma once

#include <iconv.h>

#include <string>

#include "tests/support/every_column_type.h"
#include "values/any.h"

inline std::string Hex(const unsigned char* p, size_t n) {
  return "x" + HexDigits(std::string(reinterpret_cast<const char*>(p), n));
}

inline std::string Utf8Of(const std::u32string& s) {
  std::string out;
  for (char32_t c : s) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 63))};
    } else if (c < 0x10000) {
      out += {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 63)),
              static_cast<char>(0x80 | (c & 63))};
    } else {
      out += {static_cast<char>(0xF0 | (c >> 18)), static_cast<char>(0x80 | ((c >> 12) & 63)),
              static_cast<char>(0x80 | ((c >> 6) & 63)), static_cast<char>(0x80 | (c & 63))};
    }
  }
  return out;
}

// UTF-8 as code points (the raw connection's texts are well formed).
inline std::u32string CodePoints(const std::string& s) {
  std::u32string out;
  for (size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    const int n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    char32_t c = n == 1 ? b : b & (0x7F >> n);
    for (int k = 1; k < n && i + k < s.size(); ++k) c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 63);
    out += c;
    i += static_cast<size_t>(n);
  }
  return out;
}

// Bytes of a page as UTF-8, by iconv.
inline std::string FromPage(const char* page, const std::string& bytes) {
  iconv_t cd = iconv_open("UTF-8", page);
  std::string out(bytes.size() * 4 + 4, '\0');
  char* in = const_cast<char*>(bytes.data());
  char* to = out.data();
  size_t inLeft = bytes.size(), outLeft = out.size();
  while (inLeft > 0 && iconv(cd, &in, &inLeft, &to, &outLeft) == static_cast<size_t>(-1)) {
    *to++ = '?', --outLeft, ++in, --inLeft;  // a byte the page leaves undefined
  }
  iconv_close(cd);
  out.resize(out.size() - outLeft);
  return out;
}

// Whether the 1252 page holds the character.
inline bool In1252(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return true;
  static const std::u32string extra =
      U"\u20AC\u201A\u0192\u201E\u2026\u2020\u2021\u02C6\u2030\u0160\u2039\u0152"
      U"\u017D\u2018\u2019\u201C\u201D\u2022\u2013\u2014\u02DC\u2122\u0161\u203A"
      U"\u0153\u017E\u0178";
  return extra.find(c) != std::u32string::npos;
}

// A host value of bytes or text: "NULL", hexadecimal bytes, or the text as UTF-8 (the host's
// narrow texts are in its 1252 page).
inline std::string DecodedAny(const CAny& a) {
  if (a.bIsNull()) return "NULL";
  if (a.wGetType() == ZV_PSTRW) {
    const wchar_t* w = nullptr;
    unsigned int n = 0;
    if (a.Intern()->nGetPCWSTR(&w) != 0 || a.Intern()->nGetSTRLEN(&n) != 0) return "<unreadable wide text>";
    return Utf8Of(std::u32string(w, w + n));
  }
  void* p = nullptr;
  unsigned int n = 0;
  a.Intern()->nGetDataAdr(&p);
  a.Intern()->nGetUtilDataSize(&n);
  const auto* bytes = static_cast<const unsigned char*>(p);
  switch (a.wGetType()) {
    case ZV_BIN: return Hex(bytes, n);
    case ZV_DSTRA:
    case ZV_PSTRA: return FromPage("CP1252", std::string(reinterpret_cast<const char*>(bytes), n));
    case ZV_DSTRW: {
      const auto* w = static_cast<const wchar_t*>(p);
      return Utf8Of(std::u32string(w, w + n / sizeof(wchar_t)));
    }
    default: return "<type " + std::to_string(a.wGetType()) + ">";
  }
}
