#include "values/any.h"

#include <cstring>
#include <type_traits>

#include "common/xystring.h"
#include "common/zvbin.h"
#include "platform/iinfolocale.h"
#include "platform/information_dll.h"
#include "values/datetime.h"
#include "values/duree.h"
#include "values/vmbind.h"

void InitValueArea(unsigned char* area, unsigned short wType);

using ZVArea::Get;

static_assert(CAny::kInternOffset == 8 && CAny::kTypeOffset == 16 && CAny::kValueOffset == 24);

CAny& CAny::operator=(const CAny& other) {
  if (&other == this) return *this;
  // A plain number ends as the general road leaves it: other's type object, type and flags, its
  // bytes and zeros after them. Read first: other may live inside this value's array.
  if (const unsigned int width = nPlainNumberWidth(other.wGetType())) {
    const STPlainNumber plain = s_ReadPlainNumber(other, width);
    Intern()->~CAny_Intern();
    _WritePlainNumber(plain);
    return *this;
  }
  // Built aside first: other may live inside this value's array.
  CAny copy;
  copy.__SetType(other.wGetType(), 0);
  other.Intern()->Duplique(&copy);
  TakeOver(copy);
  return *this;
}

void CAny::TakeOver(CAny& other) {
  static_assert(offsetof(CAny, m_abyIntern) == kInternOffset && offsetof(CAny, m_wType) == kTypeOffset &&
                offsetof(CAny, m_abyValue) == kValueOffset);
  Intern()->~CAny_Intern();
  // The type objects hold no address of their own: the table pointer moves with the bytes.
  memcpy(static_cast<void*>(m_abyIntern), other.m_abyIntern, sizeof m_abyIntern);
  m_wType = other.m_wType;
  memcpy(m_abyValue, other.m_abyValue, ZV_VALUE_SIZE);
  new (other.m_abyIntern) CAny_Intern();
  other.m_wType = 0;
  memset(other.m_abyValue, 0, ZV_VALUE_SIZE);
}

void CAny::__SetType(unsigned short wType, int bNoInit) {
  if (m_wType == wType) return;
  Intern()->~CAny_Intern();
  new (m_abyIntern) CAny_Intern();
  m_wType = 0;
  if (!bNoInit) memset(m_abyValue, 0, ZV_VALUE_SIZE);
  // The object is installed before the area is initialised so that a failing factory leaves an
  // empty value (the installed class tolerates a null decimal).
  const unsigned short wCode = CAny_Intern::s_wInstall(m_abyIntern, wType);
  m_wType = wCode;
  if (!bNoInit) {
    try {
      InitValueArea(m_abyValue, wCode);
    } catch (...) {
      Intern()->~CAny_Intern();
      new (m_abyIntern) CAny_Intern();
      m_wType = 0;
      memset(m_abyValue, 0, ZV_VALUE_SIZE);
      throw;
    }
  }
}

void CAny::__TransfertValeurInterne(unsigned short wType, const unsigned char* pValue) {
  unsigned char copy[ZV_VALUE_SIZE];
  memcpy(copy, pValue, ZV_VALUE_SIZE);
  Intern()->~CAny_Intern();
  new (m_abyIntern) CAny_Intern();
  m_wType = 0;
  __SetType(wType, 1);
  memcpy(m_abyValue, copy, ZV_VALUE_SIZE);
}

#define QX_ANY_SETTER(name, code, T)   \
  void CAny::name(T v) {               \
    __SetType(code, 0);                \
    Intern()->SetValue(&v);            \
    SetFlags(0);                       \
  }
QX_ANY_SETTER(SetBOOL, ZV_BOOL, int)
QX_ANY_SETTER(SetUI1, ZV_UI1, unsigned char)
QX_ANY_SETTER(SetUI2, ZV_UI2, unsigned short)
QX_ANY_SETTER(SetUI4, ZV_UI4, unsigned int)
QX_ANY_SETTER(SetUI8, ZV_UI8, unsigned long long)
QX_ANY_SETTER(SetI1, ZV_I1, char)
QX_ANY_SETTER(SetI2, ZV_I2, short)
QX_ANY_SETTER(SetI4, ZV_I4, int)
QX_ANY_SETTER(SetI8, ZV_I8, long long)
QX_ANY_SETTER(SetR4, ZV_R4, float)
QX_ANY_SETTER(SetR8, ZV_R8, double)
#undef QX_ANY_SETTER

#define QX_ANY_PTR_SETTER(name, code, T) \
  void CAny::name(T p) {                 \
    __SetType(code, 0);                  \
    Intern()->SetValue(p);               \
    SetFlags(0);                         \
  }
QX_ANY_PTR_SETTER(SetDATEW, ZV_DATEW, const wchar_t*)
QX_ANY_PTR_SETTER(SetTIMEW, ZV_TIMEW, const wchar_t*)
QX_ANY_PTR_SETTER(SetDATEA, ZV_DATEA, const char*)
QX_ANY_PTR_SETTER(SetDATETIME, ZV_DATETIME, CDateTime*)
QX_ANY_PTR_SETTER(SetDUREE, ZV_DUREE, CDuree*)
#undef QX_ANY_PTR_SETTER

int CAny::SetTIMEA(const char* p) {
  __SetType(ZV_TIMEA, 0);
  Intern()->SetValue(p);
  SetFlags(0);
  return 0;
}

void CAny::SetDATETIME(const CDateTime& dt) { SetDATETIME(const_cast<CDateTime*>(&dt)); }

void CAny::SetBIN(const unsigned char* p, unsigned int n) {
  __SetType(ZV_BIN, 0);
  Intern()->SetValue(p, n);
  SetFlags(0);
}

void CAny::SetValueByte(const void* p, unsigned int n) {
  Intern()->SetValue(p, n);
  SetFlags(0);
}

void CAny::SetTabDirect(const STTabAny& tab) {
  // The array this value held goes unless it is the one taken over.
  if (wGetType() == ZV_TABANY && Get<STTabAny>(m_abyValue).pTab == tab.pTab) {
    memcpy(m_abyValue, &tab, sizeof tab);
    SetFlags(0);
    return;
  }
  __SetType(ZV_VIDE, 0);
  __SetType(ZV_TABANY, 0);
  memcpy(m_abyValue, &tab, sizeof tab);
}

void* CAny::piGetTraitement() const {
  auto* obj = Get<IHostTraitement*>(m_abyValue);
  return m_wType == ZV_TRAITEMENT && obj != nullptr ? obj->piGetTraitement() : nullptr;
}

int CAny::nGetBYTE(unsigned char& b) const {
  uint64_t v = 0;
  switch (m_wType) {
    case ZV_UI1: case ZV_I1: b = m_abyValue[0]; return 0;
    case ZV_UI2: case ZV_I2: v = Get<uint16_t>(m_abyValue); break;
    case ZV_UI4: case ZV_UIX: case ZV_I4: v = Get<uint32_t>(m_abyValue); break;
    case ZV_UI8: case ZV_I8: v = Get<uint64_t>(m_abyValue); break;
    default: return 115;
  }
  if (v > 255) return 115;
  b = static_cast<unsigned char>(v);
  return 0;
}

int CAny::nGetINT(int* pn) const {
  *pn = 0;
  switch (m_wType) {
    case ZV_BOOL: case ZV_I4: case ZV_UIX: *pn = Get<int32_t>(m_abyValue); return 0;
    case ZV_UI1: *pn = m_abyValue[0]; return 0;
    case ZV_UI2: *pn = Get<uint16_t>(m_abyValue); return 0;
    case ZV_I1: *pn = Get<int8_t>(m_abyValue); return 0;
    case ZV_I2: *pn = Get<int16_t>(m_abyValue); return 0;
    default: return 105;
  }
}

int CAny::nGetINT_64(long long* pn) const {
  *pn = 0;
  switch (m_wType) {
    case ZV_BOOL: case ZV_I4: *pn = Get<int32_t>(m_abyValue); return 0;
    case ZV_I1: *pn = Get<int8_t>(m_abyValue); return 0;
    case ZV_I2: *pn = Get<int16_t>(m_abyValue); return 0;
    case ZV_UI1: *pn = m_abyValue[0]; return 0;
    case ZV_UI2: *pn = Get<uint16_t>(m_abyValue); return 0;
    case ZV_UI4: *pn = Get<uint32_t>(m_abyValue); return 0;
    case ZV_I8: *pn = Get<int64_t>(m_abyValue); return 0;
    default: return 105;
  }
}

int CAny::nGetBitField_64(unsigned long long& n) const {
  n = 0;
  switch (m_wType) {
    case ZV_UI1: n = m_abyValue[0]; return 0;
    case ZV_UI2: n = Get<uint16_t>(m_abyValue); return 0;
    case ZV_UI4: n = Get<uint32_t>(m_abyValue); return 0;
    case ZV_UI8: case ZV_I8: n = Get<uint64_t>(m_abyValue); return 0;
    case ZV_I1: n = static_cast<unsigned long long>(static_cast<long long>(Get<int8_t>(m_abyValue))); return 0;
    case ZV_I2: n = static_cast<unsigned long long>(static_cast<long long>(Get<int16_t>(m_abyValue))); return 0;
    case ZV_I4: case ZV_UIX:
      n = static_cast<unsigned long long>(static_cast<long long>(Get<int32_t>(m_abyValue)));
      return 0;
    default: return 105;
  }
}

int CAny::nGetREAL(double* pd) const {
  if (m_wType == ZV_R4) *pd = Get<float>(m_abyValue);
  else if (m_wType == ZV_R8) *pd = Get<double>(m_abyValue);
  else return 105;
  return 0;
}

int CAny::nGetManipAUB(STManipAUB* p) const {
  if (m_wType != ZV_DSTRA && m_wType != ZV_DSTRW && m_wType != ZV_BIN) return 105;
  p->pData = Get<void*>(m_abyValue);
  p->nType = m_wType;
  p->nReserved = 0;
  return 0;
}

int CAny::__nSetString(const wchar_t* p, int n, const STOCAW* pOptions) {
  int cp = 1252;
  if (pOptions != nullptr) cp = static_cast<int>(pOptions->dwCodePage);
  else if (CInformationDLL::ms_piInfoLocale != nullptr) cp = CInformationDLL::ms_piInfoLocale->nGetCodePage();
  CXYString<char> str;
  const int nRes = str.__nConversion(p, n, 0, cp, 0, nullptr);
  if (nRes > 99) return nRes;
  __SetType(ZV_DSTRA, 0);
  // A value that already was a DSTRA keeps its block until now: it is released, not overwritten.
  reinterpret_cast<CXYString<char>*>(m_abyValue)->Attach(str.Detach());
  SetFlags(0);
  return nRes;
}

int CAny::__nCastTo(unsigned short wType, const STOCAW* pOptions, unsigned int nFlags) {
  if (wGetType() == wType) return 0;
  if (gpfnConvDepExt == nullptr) return 105;
  alignas(8) unsigned char scratch[ZV_VALUE_SIZE] = {};
  const int nRes = gpfnConvDepExt(m_abyValue, wGetType(), scratch, wType, nFlags, pOptions);
  if (nRes > 99) return nRes;
  const unsigned short wOld = m_wType;
  __SetType(wType, 0);
  if (wType == ZV_PSTRA || wType == ZV_PSTRW || wType == ZV_DECIMAL)
    Intern()->SetValue(Get<void*>(scratch));
  else
    Intern()->SetValue(scratch);
  SetFlags(wOld);
  if (gpfnFinConv != nullptr) gpfnFinConv(scratch, wType);
  return nRes;
}

// The class's text of width T, or the value cast in place to the dynamic string of that width.
template <typename T>
int CAny::nCastToStringT(const T** ppsz, const STOCAW* pOptions) {
  constexpr bool kWide = std::is_same_v<T, wchar_t>;
  auto get = [this](const T** pp) {
    if constexpr (kWide) return Intern()->nGetPCWSTR(pp);
    else return Intern()->nGetPCASTR(pp);
  };
  const T* p = nullptr;
  int nRes = 0;
  if (get(&p) != 0) {
    nRes = __nCastTo(kWide ? ZV_DSTRW : ZV_DSTRA, pOptions, 1);
    if (nRes <= 99) get(&p);
  }
  if (ppsz != nullptr) *ppsz = p;
  return nRes;
}

int CAny::__nCastToString(const wchar_t** ppsz, const STOCAW* pOptions) { return nCastToStringT(ppsz, pOptions); }
int CAny::__nCastToString(const char** ppsz, const STOCAW* pOptions) { return nCastToStringT(ppsz, pOptions); }

int CAny::__s_nCastTo(void* pDest, const wchar_t* psz, unsigned short wType, const STOCAW* pOptions) {
  if (gpfnConvDepExt == nullptr) return 105;
  alignas(8) unsigned char source[ZV_VALUE_SIZE] = {};
  memcpy(source, &psz, sizeof psz);
  return gpfnConvDepExt(source, ZV_PSTRW, pDest, wType, 1, pOptions);
}

template <typename T>
int CAny::nFillStringT(CXYString<T>& str, const STOCAW* pOptions) const {
  constexpr bool kWide = std::is_same_v<T, wchar_t>;
  constexpr unsigned short kCode = kWide ? ZV_DSTRW : ZV_DSTRA;
  if (m_wType == kCode) return Intern()->nFillBuffer(&str);
  const T* p = nullptr;
  const int nText = kWide ? Intern()->nGetPCWSTR(reinterpret_cast<const wchar_t**>(&p))
                          : Intern()->nGetPCASTR(reinterpret_cast<const char**>(&p));
  if (nText != 0) {
    if (gpfnConvDepExt == nullptr) return 105;
    alignas(8) unsigned char scratch[ZV_VALUE_SIZE] = {};
    const int nRes = gpfnConvDepExt(m_abyValue, wGetType(), scratch, kCode, 0, pOptions);
    if (nRes <= 99) {
      str = *reinterpret_cast<const CXYString<T>*>(scratch);
      reinterpret_cast<CXYString<T>*>(scratch)->ReleaseDynStr();
    }
    return nRes;
  }
  size_t n = 0;
  while (p != nullptr && p[n] != 0) ++n;
  if (n == 0) {
    str.ReleaseDynStr();
    return 0;
  }
  if (n > ZV_MAX_LENGTH / sizeof(T)) return 108;
  return str.nAffecte(p, static_cast<int>(n));
}

int CAny::__nFillString(CXYString<wchar_t>& str, const STOCAW* pOptions) const { return nFillStringT(str, pOptions); }
int CAny::__nFillString(CXYString<char>& str, const STOCAW* pOptions) const { return nFillStringT(str, pOptions); }

int CAny::nReinterpretBin(unsigned short wType) {
  if (wGetType() != ZV_BIN) return 104;
  CZVBIN held;
  held.Assign(reinterpret_cast<const CZVBIN*>(m_abyValue), -1);
  if (held.nGetSize() != 8) return 104;
  __SetType(wType, 0);
  memcpy(m_abyValue, held.pGetData(), 8);
  return 0;
}

int CAny::nCastFrom_BIN_DUREE_To_DUREE() { return nReinterpretBin(ZV_DUREE); }
int CAny::nCastFrom_BIN_DATEHEURE_To_DATEHEURE() { return nReinterpretBin(ZV_DATETIME); }

int CAny::nUnshare() {
  if (m_wType == ZV_DSTRW) {
    auto& s = *reinterpret_cast<CXYString<wchar_t>*>(m_abyValue);
    if (s.pGetData() != nullptr) return s.__nPrepareModification(s.nGetLength());
  } else if (m_wType == ZV_DSTRA) {
    auto& s = *reinterpret_cast<CXYString<char>*>(m_abyValue);
    if (s.pGetData() != nullptr) return s.__nPrepareModification(s.nGetLength());
  }
  return 0;
}
