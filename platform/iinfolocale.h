// The host's locale service, as the runtime calls it. The host owns the object; the runtime keeps
// the pointer it is handed without a reference. The virtual operations stand in the host's slot
// order, so nothing may be inserted, removed or reordered here.
#pragma once

#include "platform/wintypes.h"

// Flags understood by the service. In a comparison they say what to ignore; in a mapping what to do.
enum : unsigned int {
  LOCALE_FLAG_CASE = 0x1,             // ignore case / to upper case
  LOCALE_FLAG_ACCENT = 0x2,           // ignore accents / remove accents
  LOCALE_FLAG_CASE_ACCENT = 0x3,      // the flexible rule / the standard form
  LOCALE_FLAG_PUNCT = 0x4,            // ignore / remove white space and punctuation
  LOCALE_FLAG_LOWER = 0x100,          // mapping to lower case
  LOCALE_FLAG_HOST_0x100 = 0x800,     // passed on from the host's comparison option 0x100
  LOCALE_FLAG_CURRENT = 0x10000000,   // runtime only: use the current locale, cleared before a call
  LOCALE_FLAG_LEXICAL = 0x20000000,   // lexical comparison
  LOCALE_FLAG_UPCOMPARE = 0x40000000, // added by the narrow case-insensitive comparison
};

// Locale ids the runtime passes.
enum : int {
  LOCALE_ID_FRENCH = 1036,
  LOCALE_ID_SYSTEM_DEFAULT = 1024,
};

// Lengths are in characters (bytes for narrow text); -1 means up to the terminating zero.
// Comparisons answer negative, 0 or positive. Mappings answer the count written, or with a null
// destination and size 0 the count needed.
class IInfoLocale {
 public:
  virtual void vNotCalled1() = 0;
  virtual void vNotCalled2() = 0;
  virtual int nGetCharset() = 0;
  virtual int nGetCodePage() = 0;
  virtual int nGetLCID() = 0;
  virtual int nCompareStringA(int lcid, unsigned int flags, const char* a, int la, const char* b, int lb) = 0;
  virtual int nCompareStringW(int lcid, unsigned int flags, const wchar_t* a, int la, const wchar_t* b,
                              int lb) = 0;
  virtual int nCompareStringCurA(unsigned int flags, const char* a, int la, const char* b, int lb) = 0;
  virtual int nCompareStringCurW(unsigned int flags, const wchar_t* a, int la, const wchar_t* b, int lb) = 0;
  virtual int nMapStringSortA(int lcid, char* dst, int dstSize, const char* src, int srcLen) = 0;
  virtual void vNotCalled11() = 0;
  virtual int nMapStringA(int lcid, unsigned int flags, char* dst, int dstSize, const char* src, int srcLen) = 0;
  virtual int nMapStringW(int lcid, unsigned int flags, wchar_t* dst, int dstSize, const wchar_t* src,
                          int srcLen) = 0;
  virtual int nMapStringCurA(unsigned int flags, char* dst, int dstSize, const char* src, int srcLen) = 0;
  virtual int nMapStringCurW(unsigned int flags, wchar_t* dst, int dstSize, const wchar_t* src, int srcLen) = 0;
  virtual int nGetSafeLCID() = 0;

 protected:
  ~IInfoLocale() = default;
};
