#include "values/any_display.h"

#include <cstdlib>
#include <cwchar>

#include "common/ctstring.h"
#include "common/xystring.h"
#include "platform/dllres.h"
#include "platform/errortable.h"

namespace {

constexpr unsigned int kMaxImageBytes = 500;

void AppendHexImage(CXYString<wchar_t>* pStr, const unsigned char* p, unsigned int n) {
  static const wchar_t kDigits[] = L"0123456789ABCDEF";
  wchar_t pair[2];
  for (unsigned int i = 0; i < n; ++i) {
    pair[0] = kDigits[p[i] >> 4];
    pair[1] = kDigits[p[i] & 0xF];
    pStr->nConcat(pair, 2);
  }
}

}  // namespace

int nGetString(CXYString<wchar_t>* pStr, const CAny& value, const wchar_t* pszPrefix, int bDebug) {
  pStr->nAffecte(pszPrefix, -1);
  const CAny_Intern* pIntern = value.Intern();
  if (value.wGetType() == ZV_VIDE) {
    pStr->nConcat(L"<Empty>");
    return 0;
  }
  if (bDebug) {
    unsigned int nSize = 0;
    if (pIntern->nGetDataSize(&nSize) != 0) nSize = 0;
    wchar_t header[64];
    swprintf(header, sizeof header / sizeof header[0], L"Type=%d, Len=%d, Value=", static_cast<int>(value.wGetType()),
             static_cast<int>(nSize));
    pStr->nConcat(header);
  }
  if (value.bIsNull()) {
    pStr->nConcat(L"<NULL>");
    return 0;
  }

  CAny copy;
  pIntern->Duplique(&copy);
  int nRes = copy.__nCastTo(ZV_PSTRW, nullptr, 1);
  bool bFailed = nRes > 99;
  // A copy still carrying a flag is not a plain text value.
  if (!bFailed && copy.wGetTypeWord() != ZV_PSTRW) {
    nRes = 105;
    bFailed = true;
  }
  const wchar_t* pszText = nullptr;
  if (!bFailed) {
    const int nFill = copy.Intern()->nFillBuffer(&pszText);
    if (nFill != 0) {
      nRes = nFill;
      bFailed = true;
    }
  }
  if (bFailed) {
    pStr->nConcat(L"<ERROR>");
    return nRes;
  }
  if (pszText != nullptr) pStr->nConcat(pszText);

  void* pData = nullptr;
  unsigned int nSize = 0;
  if (bDebug && pIntern->nGetDataAdr(&pData) == 0 && pIntern->nGetDataSize(&nSize) == 0) {
    pStr->nConcat(L", Value(binary)=");
    if (nSize > kMaxImageBytes) {
      pStr->nConcat(L"(first 500 bytes only) ");
      nSize = kMaxImageBytes;
    }
    if (pData != nullptr) AppendHexImage(pStr, static_cast<const unsigned char*>(pData), nSize);
  }
  return 0;
}

int nGetString(CXYString<wchar_t>* pStr, const CAny* pValue, const wchar_t* pszPrefix, int bDebug) {
  if (pValue != nullptr) return nGetString(pStr, *pValue, pszPrefix, bDebug);
  pStr->nAffecte(pszPrefix, -1);
  pStr->nConcat(L"<NULL>");
  return 0;
}

int nGetString(CTString* pStr, const CAny* pValue, const wchar_t* pszPrefix, int bDebug) {
  CXYString<wchar_t> text;
  const int nRes = nGetString(&text, pValue, pszPrefix, bDebug);
  pStr->Set(text);
  return nRes;
}

int nGetString(CTString* pStr, const CAny& value, const wchar_t* pszPrefix, int bDebug) {
  return nGetString(pStr, &value, pszPrefix, bDebug);
}

wchar_t* CQXVariant::s_pszDumpZVType = nullptr;
wchar_t* CQXVariant::s_pszDumpADOType = nullptr;
wchar_t* CQXVariant::s_pszDumpValue = nullptr;
wchar_t* CQXVariant::s_pszDumpTime = nullptr;
wchar_t* CQXVariant::s_pszDumpDate = nullptr;
wchar_t* CQXVariant::s_pszDumpConvFailed_Text = nullptr;
wchar_t* CQXVariant::s_pszDumpConvFailed_Date = nullptr;
wchar_t* CQXVariant::s_pszDumpConvFailed_Time = nullptr;

namespace {

struct STDumpCaption {
  wchar_t** ppsz;
  unsigned int nId;
  const wchar_t* pszFallback;
};

const STDumpCaption kCaptions[] = {
    {&CQXVariant::s_pszDumpZVType, 25675, L"Type Zavora"},
    {&CQXVariant::s_pszDumpADOType, 25680, L"Type ADO"},
    {&CQXVariant::s_pszDumpValue, 25670, L"Valeur"},
    {&CQXVariant::s_pszDumpTime, 25669, L"Heure"},
    {&CQXVariant::s_pszDumpDate, 25671, L"Date"},
    {&CQXVariant::s_pszDumpConvFailed_Text, 25674, L"Echec de la conversion de la valeur en texte."},
    {&CQXVariant::s_pszDumpConvFailed_Date, 25672, L"Echec de la conversion de la valeur en date"},
    {&CQXVariant::s_pszDumpConvFailed_Time, 25673, L"Echec de la conversion de la valeur en heure"},
};

}  // namespace

void CQXVariant::InitQueryDumpRessources() {
  for (const STDumpCaption& c : kCaptions) {
    CTString text;
    if (!DLLRES_bLoadString(&gstMyModuleInfo32, c.nId, &text)) text.Set(c.pszFallback);
    const wchar_t* psz = text.pszGet();
    const size_t n = wcslen(psz) + 1;
    auto* pCopy = static_cast<wchar_t*>(malloc(n * sizeof(wchar_t)));
    if (pCopy != nullptr) wmemcpy(pCopy, psz, n);
    // A caption loaded twice replaces the earlier copy instead of leaking it.
    free(*c.ppsz);
    *c.ppsz = pCopy;
  }
}

void CQXVariant::FreeQueryDumpRessources() {
  for (const STDumpCaption& c : kCaptions) {
    free(*c.ppsz);
    *c.ppsz = nullptr;
  }
}
