// The stand-in host's locale service: comparison and mapping of the whole of Unicode through ICU
// collators and character properties. Narrow text is read in the service's current code page.
// One object serves the process; it owns its cached collators and converters.
#pragma once

#include <map>
#include <mutex>

#include "platform/iinfolocale.h"

struct UCollator;
struct UConverter;

class CHostInfoLocale : public IInfoLocale {
 public:
  CHostInfoLocale();
  ~CHostInfoLocale();
  CHostInfoLocale(const CHostInfoLocale&) = delete;
  CHostInfoLocale& operator=(const CHostInfoLocale&) = delete;

  void vNotCalled1() override {}
  void vNotCalled2() override {}
  int nGetCharset() override { return m_nCharset; }
  int nGetCodePage() override { return m_nCodePage; }
  int nGetLCID() override { return m_nLCID; }
  int nCompareStringA(int lcid, unsigned int flags, const char* a, int la, const char* b, int lb) override;
  int nCompareStringW(int lcid, unsigned int flags, const wchar_t* a, int la, const wchar_t* b, int lb) override;
  int nCompareStringCurA(unsigned int flags, const char* a, int la, const char* b, int lb) override;
  int nCompareStringCurW(unsigned int flags, const wchar_t* a, int la, const wchar_t* b, int lb) override;
  int nMapStringSortA(int lcid, char* dst, int dstSize, const char* src, int srcLen) override;
  void vNotCalled11() override {}
  int nMapStringA(int lcid, unsigned int flags, char* dst, int dstSize, const char* src, int srcLen) override;
  int nMapStringW(int lcid, unsigned int flags, wchar_t* dst, int dstSize, const wchar_t* src, int srcLen) override;
  int nMapStringCurA(unsigned int flags, char* dst, int dstSize, const char* src, int srcLen) override;
  int nMapStringCurW(unsigned int flags, wchar_t* dst, int dstSize, const wchar_t* src, int srcLen) override;
  int nGetSafeLCID() override { return m_nLCID; }

  // Beyond the host's slots: lets a test or program choose the current locale facts.
  virtual void SetCurrent(int lcid, int codePage, int charset);

 private:
  UCollator* Collator(int lcid, unsigned int flags);
  UConverter* Converter(int codePage);

  std::mutex m_mutex;
  std::map<std::pair<int, unsigned int>, UCollator*> m_collators;
  std::map<int, UConverter*> m_converters;
  int m_nLCID;
  int m_nCodePage;
  int m_nCharset;
};
