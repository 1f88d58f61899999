#include "common/charset.h"

#include <climits>
#include <clocale>
#include <cstdio>

#include "common/str_compare.h"
#include "platform/information_dll.h"

namespace {

// Language ids of charsets 128 to 238, indexed by charset - 128.
const WORD kLanguageByCharset[238 - 128 + 1] = {
    /*128*/ 0x0011, /*129*/ 0x0012, /*130*/ 0x0012, 0, 0, 0, /*134*/ 0x0804, 0, /*136*/ 0x0404, 0,  // 128-137
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0,                                                                  // 138-147
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0,                                                                  // 148-157
    0, 0, 0, /*161*/ 0x0008, /*162*/ 0x001F, /*163*/ 0x002A, 0, 0, 0, 0,                           // 158-167
    0, 0, 0, 0, 0, 0, 0, 0, 0, /*177*/ 0x000D,                                                     // 168-177
    /*178*/ 0x0001, 0, 0, 0, 0, 0, 0, 0, /*186*/ 0x0025, 0,                                        // 178-187
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0,                                                                  // 188-197
    0, 0, 0, 0, 0, 0, /*204*/ 0x0419, 0, 0, 0,                                                     // 198-207
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0,                                                                  // 208-217
    0, 0, 0, 0, /*222*/ 0x001E, 0, 0, 0, 0, 0,                                                     // 218-227
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0,                                                                  // 228-237
    /*238*/ 0x0015,
};

int ServiceSize(unsigned int dstSize) { return dstSize > INT_MAX ? INT_MAX : static_cast<int>(dstSize); }

int ServiceMap(int lcid, unsigned int flags, char* dst, int dstSize, const char* src, int srcLen) {
  return CInformationDLL::ms_piInfoLocale->nMapStringA(lcid, flags, dst, dstSize, src, srcLen);
}
int ServiceMap(int lcid, unsigned int flags, wchar_t* dst, int dstSize, const wchar_t* src, int srcLen) {
  return CInformationDLL::ms_piInfoLocale->nMapStringW(lcid, flags, dst, dstSize, src, srcLen);
}

uint32_t CurrentCodePage() { return static_cast<uint32_t>(STR_nGetCurrentCodePage()); }

}  // namespace

DWORD dwGetCodePageFromCharset(int charset) {
  switch (charset) {
    case 0:
    case 255: return 1252;
    case 128: return 932;
    case 129: return 949;
    case 130: return 1361;
    case 134: return 936;
    case 136: return 950;
    case 161: return 1253;
    case 162: return 1254;
    case 163: return 1258;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    case 65001: return 65001;
    default: return 0;
  }
}

int nGetCharsetFromCodePage(int codePage) {
  switch (codePage) {
    case 1252: return 0;
    case 0: return 127;
    case 874: return 222;
    case 932: return 128;
    case 936: return 134;
    case 949: return 129;
    case 950: return 136;
    case 1250: return 238;
    case 1251: return 204;
    case 1253: return 161;
    case 1254: return 162;
    case 1255: return 177;
    case 1256: return 178;
    case 1257: return 186;
    case 1258: return 163;
    case 1361: return 130;
    case 65001: return 65001;
    default: return -1;
  }
}

WORD wGetLanguageID(int charset) {
  if (charset < 128 || charset > 238) return 0;
  return kLanguageByCharset[charset - 128];
}

int nGetCharsetFromLanguage(unsigned short languageId) { return GetCharSetFromLanguageID(languageId); }

int GetCharSetFromLanguageID(unsigned int languageId) {
  const unsigned int primary = languageId & 0x3FF;
  const unsigned int sub = languageId >> 10;
  switch (primary) {
    case 1: return 178;
    case 2:
    case 25:
    case 34:
    case 35: return 204;
    case 4: return sub == 1 ? 136 : 134;
    case 5:
    case 14:
    case 21:
    case 24:
    case 27:
    case 28:
    case 36:
    case 47: return 238;
    case 8: return 161;
    case 13: return 177;
    case 17: return 128;
    case 18: return 129;
    case 26: return sub == 3 ? 204 : 238;
    case 30: return 222;
    case 31: return 162;
    case 37:
    case 38:
    case 39: return 186;
    case 42: return 163;
    case 43:
    case 55: return 65001;
    case 67: return sub == 2 ? 204 : 238;
    default: return 0;
  }
}

int STR_MapStringSortEx_Charset(int charset, char* dst, unsigned int dstSize, const char* src, int srcLen) {
  return CInformationDLL::ms_piInfoLocale->nMapStringSortA(wGetLanguageID(charset), dst, ServiceSize(dstSize), src,
                                                            srcLen);
}

template <typename T>
int STR_nMapStringEx_Charset(int charset, unsigned int flags, T* dst, unsigned int dstSize, const T* src,
                             int srcLen) {
  return ServiceMap(wGetLanguageID(charset), flags, dst, ServiceSize(dstSize), src, srcLen);
}
template int STR_nMapStringEx_Charset<char>(int, unsigned int, char*, unsigned int, const char*, int);
template int STR_nMapStringEx_Charset<wchar_t>(int, unsigned int, wchar_t*, unsigned int, const wchar_t*, int);

unsigned int PrepareConversionAnsiUnicode(unsigned int type, unsigned int& flags, STOCAW& conversion, int bDynamic,
                                          int bMark) {
  const unsigned int wideDynamic = 16;
  const unsigned int widePointer = 110;
  const unsigned int wideByDynamic = bDynamic ? wideDynamic : widePointer;
  uint32_t codePage = 0;
  unsigned int answer = 0;
  switch (type) {
    case 121: codePage = 1252; answer = wideDynamic; break;
    case 122: codePage = 1252; answer = wideByDynamic; break;
    case 126: codePage = 0; answer = wideDynamic; break;
    case 127: codePage = 0; answer = wideByDynamic; break;
    case 130: codePage = CurrentCodePage(); answer = wideDynamic; break;
    case 131: codePage = CurrentCodePage(); answer = wideByDynamic; break;
    case 110: return wideByDynamic;
    case 18: return bDynamic ? 19 : 18;
    default: return type;
  }
  conversion.dwCodePage = codePage;
  if (bMark) flags |= 0x40;
  return answer;
}

BOOL PrepareConversionUnicodeAnsi(unsigned short type, STOCAW& conversion) {
  switch (type) {
    case 121:
    case 122: conversion.dwCodePage = 1252; return TRUE;
    case 126:
    case 127: conversion.dwCodePage = 0; return TRUE;
    case 130:
    case 131: conversion.dwCodePage = CurrentCodePage(); return TRUE;
    default: return FALSE;
  }
}

intptr_t ChangeLocale(int charset) {
  const DWORD codePage = dwGetCodePageFromCharset(charset);
  const char* name = nullptr;
  switch (charset) {
    case 161: name = "greek_greece"; break;
    case 162: name = "turkey_turkish"; break;
    case 204: name = "russian_russia"; break;
    case 177:
    case 178: name = ""; break;
    default: break;
  }
  if (name == nullptr || codePage == 0) return static_cast<intptr_t>(codePage);
  char locale[64];
  snprintf(locale, sizeof locale, "%s.%u", name, static_cast<unsigned int>(codePage));
  return reinterpret_cast<intptr_t>(setlocale(LC_ALL, locale));
}
