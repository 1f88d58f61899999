// Translation between the host's Windows charset numbers, Windows code pages and Windows language
// ids (fixed tables), the choice of target type and code page when host text values change width,
// the process locale switch for a few charsets, and locale-service mappings under a charset's
// language. Charset 65001 is a pseudo-charset for UTF-8.
#pragma once

#include <cstdint>

#include "platform/wintypes.h"

// Options of the host's text conversions; the runtime sets only the code page.
struct STOCAW {
  uint32_t dwCodePage;  // between wide and narrow text
};

// 0 for a charset without a code page.
DWORD dwGetCodePageFromCharset(int charset);
// -1 for a code page without a charset; code page 0 answers 127.
int nGetCharsetFromCodePage(int codePage);
// 0 for a charset without a language.
WORD wGetLanguageID(int charset);
// By primary language (low 10 bits) and sublanguage (high 6 bits); 0 (Western) by default.
int nGetCharsetFromLanguage(unsigned short languageId);
int GetCharSetFromLanguageID(unsigned int languageId);

// The locale service's sort form / mapping under the charset's language; the service's count.
// Sizes above INT_MAX are passed as INT_MAX.
int STR_MapStringSortEx_Charset(int charset, char* dst, unsigned int dstSize, const char* src, int srcLen);
template <typename T>
int STR_nMapStringEx_Charset(int charset, unsigned int flags, T* dst, unsigned int dstSize, const T* src,
                             int srcLen);

// Host value type codes: 16 dynamic wide string, 110 wide string pointer, 18 narrow string
// pointer, 19 dynamic narrow string; 121/122, 126/127 and 130/131 narrow text of code page 1252,
// 0 and the current code page.
// Answers the wide type a narrow-text value converts to: 16 for 121, 126, 130; for 122, 127,
// 131 and 110, 16 with bDynamic else 110; for 18, 19 with bDynamic else 18; other types
// unchanged. For the code-page types conversion.dwCodePage is set, and with bMark 0x40 is added
// to flags.
unsigned int PrepareConversionAnsiUnicode(unsigned int type, unsigned int& flags, STOCAW& conversion, int bDynamic,
                                          int bMark);
// Sets the code page of a code-page text type and answers TRUE; FALSE, nothing set, otherwise.
BOOL PrepareConversionUnicodeAnsi(unsigned short type, STOCAW& conversion);

// For charsets 161, 162, 177, 178 and 204 sets the process locale (all categories) to the
// charset's locale name and code page and answers setlocale's result (0 when refused). Any other
// charset leaves the locale alone and answers its code page.
intptr_t ChangeLocale(int charset);
