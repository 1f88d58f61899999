#include "values/any_types.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <cwchar>
#include <limits>
#include <new>
#include <type_traits>
#include <vector>

#include "common/str_buffer.h"
#include "common/str_number.h"
#include "common/utf.h"
#include "common/xystring.h"
#include "common/zvbin.h"
#include "platform/codepage.h"
#include "platform/iinfolocale.h"
#include "platform/information_dll.h"
#include "values/any.h"
#include "values/datetime.h"
#include "values/money.h"
#include "values/vmbind.h"

const unsigned char CAny_Intern::ChaineVide[16] = {};

CAny* CAny_Intern::Owner() const {
  return reinterpret_cast<CAny*>(reinterpret_cast<uintptr_t>(this) - CAny::kInternOffset);
}
uint16_t& CAny_Intern::Type() const { return Owner()->m_wType; }
unsigned char* CAny_Intern::Area() const { return Owner()->m_abyValue; }
void CAny_Intern::CopyFlags(CAny* pTarget) const { pTarget->SetFlags(Type()); }

void CAny_Intern::Duplique(CAny* pTarget) const { CopyFlags(pTarget); }
int CAny_Intern::nGetSize(unsigned int* pn) const { *pn = 0; return 102; }
int CAny_Intern::nGetAdr(void** pp) const { *pp = nullptr; return 102; }
int CAny_Intern::nFillBuffer(void*) const { return 102; }
int CAny_Intern::nGetDataSize(unsigned int* pn) const { *pn = 0; return 102; }
int CAny_Intern::nGetDataAdr(void** pp) const { *pp = nullptr; return 102; }
int CAny_Intern::nFillDataBuffer(void*) const { return 102; }
void CAny_Intern::SetValue(const void*) {}
int CAny_Intern::nGetPCASTR(const char** pp) const { *pp = nullptr; return 105; }
int CAny_Intern::nGetPCWSTR(const wchar_t** pp) const { *pp = nullptr; return 105; }
int CAny_Intern::nGetSTRLEN(unsigned int* pn) const { *pn = 0; return 105; }

namespace {

using ZVArea::Get;
using ZVArea::Put;

// The text pointer when the class's text has the asked width, else 105.
template <typename Want, typename T>
int nGiveText(const T* text, const Want** pp) {
  if constexpr (std::is_same_v<Want, T>) {
    *pp = text;
    return 0;
  } else {
    *pp = nullptr;
    return 105;
  }
}

// The length of a narrow text given as the untyped argument of the text setters (0 for none).
unsigned int nAnsiLength(const void* p) {
  return p != nullptr ? static_cast<unsigned int>(strlen(static_cast<const char*>(p))) : 0;
}

// Value, data and useful data are the N bytes of the value area.
template <unsigned short kCode, unsigned int N>
class CAnyFixed : public CAny_Intern {
 public:
  void Duplique(CAny* pTarget) const override {
    unsigned char copy[ZV_VALUE_SIZE];
    memcpy(copy, Area(), ZV_VALUE_SIZE);
    pTarget->__SetType(kCode, 0);
    pTarget->Intern()->SetValue(copy);
    CopyFlags(pTarget);
  }
  int nGetSize(unsigned int* pn) const override { *pn = N; return 0; }
  int nGetAdr(void** pp) const override { *pp = Area(); return 0; }
  int nFillBuffer(void* p) const override { memcpy(p, Area(), N); return 0; }
  int nGetDataSize(unsigned int* pn) const override { *pn = N; return 0; }
  int nGetDataAdr(void** pp) const override { *pp = Area(); return 0; }
  int nFillDataBuffer(void* p) const override { memcpy(p, Area(), N); return 0; }
  void SetValue(const void* p) override { memmove(Area(), p, N); }
  // Never reads past n: a shorter source is zero-filled to N bytes, then set as a whole value
  // (so that the host-object classes take their reference).
  void SetValue(const void* p, unsigned int n) override {
    if (p != nullptr && n >= N) {
      SetValue(p);
      return;
    }
    unsigned char whole[N] = {};
    if (p != nullptr && n > 0) memcpy(whole, p, n);
    SetValue(whole);
  }
};

using CAny_ZVBOOL = CAnyFixed<ZV_BOOL, 4>;

// Integers stepping by one: overflow when the value passes the range of Signed (its width).
template <unsigned short kCode, typename T, typename Signed>
class CAnyInteger final : public CAnyFixed<kCode, sizeof(T)> {
  using Base = CAnyFixed<kCode, sizeof(T)>;

 public:
  int bIsPositive() const override {
    if constexpr (std::is_signed_v<T>) return Get<T>(Base::Area()) >= 0;
    return 1;
  }
  int nIncremente() override { return nStep(+1); }
  int nDecremente() override { return nStep(-1); }

 private:
  int nStep(int d) {
    const T v = Get<T>(Base::Area());
    using U = std::make_unsigned_t<T>;
    const T r = static_cast<T>(static_cast<U>(v) + static_cast<U>(d));
    Put<T>(Base::Area(), r);
    if constexpr (std::is_same_v<T, uint64_t>) return (static_cast<uint64_t>(r) >> 63) != 0;
    if constexpr (std::is_same_v<T, int64_t>) return 0;
    const Signed sv = static_cast<Signed>(v);
    if (d > 0) return sv == std::numeric_limits<Signed>::max();
    return sv == std::numeric_limits<Signed>::min();
  }
};

class CAny_ZVCY final : public CAnyFixed<ZV_CY, 10> {
 public:
  int bIsPositive() const override { return (Get<uint16_t>(Area() + 8) & 0x8000) == 0; }
  // Exact: one unit is 1,000,000 millionths added to the 80-bit integer.
  int nIncremente() override { return nStep(false); }
  int nDecremente() override { return nStep(true); }

 private:
  int nStep(bool bDown) {
    unsigned char* a = Area();
    const bool bWasNeg = (a[9] & 0x80) != 0;
    uint32_t carry = 0;
    uint64_t addend = 1000000;
    if (bDown) addend = ~addend + 1;  // two's complement of the step over 80 bits
    for (int i = 0; i < 10; ++i) {
      const uint32_t byte = i < 8 ? static_cast<uint32_t>((addend >> (8 * i)) & 0xFF) : (bDown ? 0xFFu : 0u);
      const uint32_t s = a[i] + byte + carry;
      a[i] = static_cast<unsigned char>(s);
      carry = s >> 8;
    }
    const bool bIsNeg = (a[9] & 0x80) != 0;
    return bDown ? (bWasNeg && !bIsNeg) : (!bWasNeg && bIsNeg);
  }
};

template <unsigned short kCode, typename T>
class CAnyReal final : public CAnyFixed<kCode, sizeof(T)> {
  using Base = CAnyFixed<kCode, sizeof(T)>;

 public:
  int bIsPositive() const override { return Get<T>(Base::Area()) >= 0; }
  int nIncremente() override { return nStep(1); }
  int nDecremente() override { return nStep(-1); }

 private:
  int nStep(int d) {
    const T r = static_cast<T>(Get<T>(Base::Area()) + d);
    Put<T>(Base::Area(), r);
    if constexpr (std::is_same_v<T, float>) return !(r >= -3.4028235e38f && r <= 3.4028235e38f);
    return 0;
  }
};

// One character followed by a zero character.
class CAny_ZVCARA final : public CAnyFixed<ZV_CARA, 1> {
 public:
  int nGetPCASTR(const char** pp) const override { *pp = reinterpret_cast<const char*>(Area()); return 0; }
  int nGetSTRLEN(unsigned int* pn) const override { *pn = 1; return 0; }
  void SetValueFromUNICODE(const void* p) override { SetValueFromUNICODE_CP(1252, p); }
  void SetValueFromUNICODE(const void* p, unsigned int) override { SetValueFromUNICODE_CP(1252, p); }
  void SetValueFromUNICODE_CP(int cp, const void* p) override {
    char c = 0;
    WideCharToMultiByte(static_cast<unsigned int>(cp), 0, static_cast<const wchar_t*>(p), 1, &c, 1, nullptr,
                        nullptr);
    Area()[0] = static_cast<unsigned char>(c);
  }
  void SetValueFromUNICODE_CP(int cp, const void* p, unsigned int) override { SetValueFromUNICODE_CP(cp, p); }
};

class CAnyCarW final : public CAnyFixed<ZV_CARW, 4> {
 public:
  int nGetPCWSTR(const wchar_t** pp) const override {
    *pp = reinterpret_cast<const wchar_t*>(Area());
    return 0;
  }
  int nGetSTRLEN(unsigned int* pn) const override { *pn = 1; return 0; }
  void SetValueFromANSI(const void* p) override { SetValueFromANSI_CP(1252, p); }
  void SetValueFromANSI(const void* p, unsigned int) override { SetValueFromANSI_CP(1252, p); }
  void SetValueFromANSI_CP(int cp, const void* p) override {
    wchar_t w = 0;
    MultiByteToWideChar(static_cast<unsigned int>(cp), 0, static_cast<const char*>(p), 1, &w, 1);
    Put<wchar_t>(Area(), w);
  }
  void SetValueFromANSI_CP(int cp, const void* p, unsigned int) override { SetValueFromANSI_CP(cp, p); }
};

// Inline texts of at most L characters of T, a zero at index L.
template <unsigned short kCode, typename T, unsigned int L>
class CAnyInlineText final : public CAny_Intern {
 public:
  void Duplique(CAny* pTarget) const override {
    T copy[L + 1];
    memcpy(copy, Area(), sizeof copy);
    pTarget->__SetType(kCode, 0);
    pTarget->Intern()->SetValue(copy);
    CopyFlags(pTarget);
  }
  int nGetSize(unsigned int* pn) const override { *pn = L * sizeof(T); return 0; }
  int nGetAdr(void** pp) const override { *pp = Area(); return 0; }
  int nFillBuffer(void* p) const override { memcpy(p, Area(), L * sizeof(T)); return 0; }
  int nGetDataSize(unsigned int* pn) const override { *pn = (L + 1) * sizeof(T); return 0; }
  int nGetDataAdr(void** pp) const override { *pp = Area(); return 0; }
  int nFillDataBuffer(void* p) const override { memcpy(p, Area(), (nLen() + 1) * sizeof(T)); return 0; }
  // Times report their characters; dates their whole L characters. Exactly that is written.
  int nGetUtilDataSize(unsigned int* pn) const override { *pn = nUtil() * sizeof(T); return 0; }
  int nFillUtilDataBuffer(void* p) const override {
    T buf[L + 1] = {};
    memcpy(buf, Area(), nLen() * sizeof(T));
    memcpy(p, buf, nUtil() * sizeof(T));
    return 0;
  }
  void SetValue(const void* p) override {
    T buf[L + 1] = {};
    const T* s = static_cast<const T*>(p);
    for (unsigned int i = 0; s != nullptr && i < L && s[i] != 0; ++i) buf[i] = s[i];
    memcpy(Area(), buf, sizeof buf);
  }
  // At most n bytes: the characters they hold whole.
  void SetValue(const void* p, unsigned int n) override {
    T buf[L + 1] = {};
    const T* s = static_cast<const T*>(p);
    const unsigned int chars = std::min(n / static_cast<unsigned int>(sizeof(T)), L);
    for (unsigned int i = 0; s != nullptr && i < chars && s[i] != 0; ++i) buf[i] = s[i];
    memcpy(Area(), buf, sizeof buf);
  }
  int nGetPCASTR(const char** pp) const override { return nGiveText(reinterpret_cast<const T*>(Area()), pp); }
  int nGetPCWSTR(const wchar_t** pp) const override { return nGiveText(reinterpret_cast<const T*>(Area()), pp); }
  void SetValueFromANSI(const void* p) override {
    if constexpr (std::is_same_v<T, wchar_t>) {
      FromOther(p, static_cast<int>(nAnsiLength(p)));
    } else {
      SetValue(p);
    }
  }
  void SetValueFromANSI(const void* p, unsigned int n) override {
    if constexpr (std::is_same_v<T, wchar_t>) FromOther(p, static_cast<int>(n));
    else SetValue(p, n);
  }
  void SetValueFromUNICODE(const void* p) override {
    if constexpr (std::is_same_v<T, char>) {
      FromOther(p, p != nullptr ? static_cast<int>(wcslen(static_cast<const wchar_t*>(p))) : 0);
    } else {
      SetValue(p);
    }
  }

 private:
  unsigned int nLen() const {
    const T* s = reinterpret_cast<const T*>(Area());
    unsigned int n = 0;
    while (n < L && s[n] != 0) ++n;
    return n;
  }
  unsigned int nUtil() const { return kCode == ZV_DATEW || kCode == ZV_DATEA ? L : nLen(); }
  // Through code page 1252, which maps one unit to one: only the units that fit are given, so that
  // a longer text is cut rather than refused by the converter.
  void FromOther(const void* p, int n) {
    T buf[L + 1] = {};
    if (n > static_cast<int>(L + 1)) n = L + 1;
    if (p != nullptr && n > 0) {
      if constexpr (std::is_same_v<T, wchar_t>)
        MultiByteToWideChar(1252, 0, static_cast<const char*>(p), n, buf, L + 1);
      else
        WideCharToMultiByte(1252, 0, static_cast<const wchar_t*>(p), n, buf, L + 1, nullptr, nullptr);
    }
    buf[L] = 0;
    memcpy(Area(), buf, sizeof buf);
  }
};

// Shared host dynamic strings: the value area holds the data pointer, as a CXYString<T> does.
template <unsigned short kCode, typename T>
class CAnyDynStr : public CAny_Intern {
 public:
  ~CAnyDynStr() override { Str().ReleaseDynStr(); }
  void Duplique(CAny* pTarget) const override {
    void* p = Str().pGetData();
    pTarget->__SetType(kCode, 0);
    pTarget->Intern()->SetValue(&p);
    CopyFlags(pTarget);
  }
  int nGetSize(unsigned int* pn) const override { *pn = sizeof(void*); return 0; }
  int nGetAdr(void** pp) const override { *pp = Area(); return 0; }
  int nFillBuffer(void* p) const override {
    auto* other = static_cast<CXYString<T>*>(p);
    if (other != &Str()) *other = Str();
    return 0;
  }
  int nGetDataSize(unsigned int* pn) const override { *pn = nBytes() + sizeof(T); return 0; }
  int nGetDataAdr(void** pp) const override { *pp = const_cast<T*>(Str().pszGet()); return 0; }
  int nFillDataBuffer(void* p) const override { memcpy(p, Str().pszGet(), nBytes() + sizeof(T)); return 0; }
  int nGetUtilDataSize(unsigned int* pn) const override { *pn = nBytes(); return 0; }
  int nFillUtilDataBuffer(void* p) const override { memcpy(p, Str().pszGet(), nBytes()); return 0; }
  void SetValue(const void* p) override {
    const auto* other = static_cast<const CXYString<T>*>(p);
    if (other != &Str()) Str() = *other;
  }
  void SetValue(const void* p, unsigned int n) override {
    const T* s = static_cast<const T*>(p);
    if constexpr (std::is_same_v<T, char>) {
      if (n == 0xFFFFFFFFu) n = s != nullptr ? static_cast<unsigned int>(strlen(s)) : 0;
      if (n > ZV_MAX_LENGTH) return;
      Str().nAffecte(s, static_cast<int>(n));
    } else {
      Str().nAffecte(s, static_cast<int>(n / sizeof(wchar_t)));
    }
  }
  int nGetPCASTR(const char** pp) const override { return nGiveText(Str().pszGet(), pp); }
  int nGetPCWSTR(const wchar_t** pp) const override { return nGiveText(Str().pszGet(), pp); }
  int nGetSTRLEN(unsigned int* pn) const override { *pn = nBytes() / sizeof(T); return 0; }
  CXYString<T>& Str() const { return *reinterpret_cast<CXYString<T>*>(Area()); }

 private:
  unsigned int nBytes() const { return static_cast<unsigned int>(Str().nGetLength()) * sizeof(T); }
};

// The wide string converts narrow text (the terminator is not part of the text). The ANSI string
// keeps the root's forms like the binary: one argument is another string to share, n bytes a copy.
class CAnyDStrW final : public CAnyDynStr<ZV_DSTRW, wchar_t> {
 public:
  void SetValueFromANSI(const void* p) override { SetValueFromANSI_CP(nHostCodePage(), p); }
  void SetValueFromANSI(const void* p, unsigned int n) override { SetValueFromANSI_CP(nHostCodePage(), p, n); }
  void SetValueFromANSI_CP(int cp, const void* p) override { SetValueFromANSI_CP(cp, p, nAnsiLength(p)); }
  void SetValueFromANSI_CP(int cp, const void* p, unsigned int n) override {
    Str().__nConversion(static_cast<const char*>(p), static_cast<int>(n), 0, cp, 0, nullptr);
  }

 private:
  static int nHostCodePage() {
    return CInformationDLL::ms_piInfoLocale != nullptr ? CInformationDLL::ms_piInfoLocale->nGetCodePage() : 1252;
  }
};

class CAny_ZVBIN final : public CAny_Intern {
 public:
  ~CAny_ZVBIN() override { Bin().Release(); }
  void Duplique(CAny* pTarget) const override {
    void* p = Bin().pGetData();
    pTarget->__SetType(ZV_BIN, 0);
    pTarget->Intern()->SetValue(&p);
    CopyFlags(pTarget);
  }
  int nGetSize(unsigned int* pn) const override { *pn = sizeof(void*); return 0; }
  int nGetAdr(void** pp) const override { *pp = Area(); return 0; }
  int nFillBuffer(void* p) const override {
    auto* other = static_cast<CZVBIN*>(p);
    if (other != &Bin()) other->Assign(&Bin(), -1);
    return 0;
  }
  int nGetDataSize(unsigned int* pn) const override { *pn = static_cast<unsigned int>(Bin().nGetSize()); return 0; }
  int nGetDataAdr(void** pp) const override { *pp = Bin().pGetData(); return 0; }
  int nFillDataBuffer(void* p) const override {
    if (Bin().nGetSize() > 0) memcpy(p, Bin().pGetData(), static_cast<size_t>(Bin().nGetSize()));
    return 0;
  }
  void SetValue(const void* p) override {
    const auto* other = static_cast<const CZVBIN*>(p);
    if (other != &Bin()) Bin().Assign(other, -1);
  }
  void SetValue(const void* p, unsigned int n) override { Bin().nAssign(p, static_cast<int>(n), 0); }
  CZVBIN& Bin() const { return *reinterpret_cast<CZVBIN*>(Area()); }
};

// Owned plain texts.
template <unsigned short kCode, typename T>
class CAnyPlainText : public CAny_Intern {
 public:
  ~CAnyPlainText() override { __DeleteStr(); }
  void Duplique(CAny* pTarget) const override {
    const T* p = Text();
    pTarget->__SetType(kCode, 0);
    pTarget->Intern()->SetValue(p);
    CopyFlags(pTarget);
  }
  int nGetSize(unsigned int* pn) const override { *pn = sizeof(void*); return 0; }
  int nGetAdr(void** pp) const override { *pp = Area(); return 0; }
  int nFillBuffer(void* p) const override {
    const void* s = pszGet();
    memcpy(p, &s, sizeof s);
    return 0;
  }
  int nGetDataSize(unsigned int* pn) const override { *pn = (nLen() + 1) * sizeof(T); return 0; }
  int nGetDataAdr(void** pp) const override { *pp = const_cast<T*>(pszGet()); return 0; }
  int nFillDataBuffer(void* p) const override { memcpy(p, pszGet(), (nLen() + 1) * sizeof(T)); return 0; }
  int nGetUtilDataSize(unsigned int* pn) const override { *pn = nLen() * sizeof(T); return 0; }
  int nFillUtilDataBuffer(void* p) const override { memcpy(p, pszGet(), nLen() * sizeof(T)); return 0; }
  void SetValue(const void* p) override {
    // p may be this value's own text: copy before freeing.
    T* old = Text();
    SetText(nullptr);
    __CreateStr(static_cast<const T*>(p));
    Free(old);
  }
  void SetValue(const void* p, unsigned int n) override {
    T* old = Text();
    SetText(nullptr);
    __CreateStr(static_cast<const T*>(p), std::is_same_v<T, char> ? n : n / sizeof(T));
    Free(old);
  }
  // n counts characters here, for both widths (SetValue(p, n) counts bytes).
  void SetValueOption(const void* p, unsigned int n, unsigned int nOptions) override {
    T* old = Text();
    SetText(nullptr);
    if ((nOptions & 1) == 0) {
      __CreateStr(static_cast<const T*>(p), n);
    } else if (n <= ZV_MAX_LENGTH) {
      // A reserved buffer the caller fills: n + 1 characters, all zero but the copied ones.
      T* buf = static_cast<T*>(calloc(static_cast<size_t>(n) + 1, sizeof(T)));
      const T* s = static_cast<const T*>(p);
      for (unsigned int i = 0; buf != nullptr && s != nullptr && i < n && s[i] != 0; ++i) buf[i] = s[i];
      SetText(buf);
    }
    Free(old);
  }
  int nGetSTRLEN(unsigned int* pn) const override { *pn = nLen(); return 0; }

  virtual void __CreateStr(const T* p) {
    if (p == nullptr || p[0] == 0) return SetText(nullptr);
    if constexpr (std::is_same_v<T, char>) SetText(STR_pszCreateA(p));
    else SetText(STR_pszCreateW_UNALIGNED(p));
  }
  virtual void __CreateStr(const T* p, unsigned int n) {
    if (p == nullptr || p[0] == 0 || n == 0) return SetText(nullptr);
    if constexpr (std::is_same_v<T, char>) SetText(STR_pszCreateA(n, p));
    else SetText(STR_pszCreateW_UNALIGNED(n, p));
  }
  virtual void __DeleteStr() {
    Free(Text());
    SetText(nullptr);
  }

 protected:
  T* Text() const { return Get<T*>(Area()); }
  void SetText(T* p) { Put<T*>(Area(), p); }
  const T* pszGet() const { return Text() != nullptr ? Text() : reinterpret_cast<const T*>(ChaineVide); }
  unsigned int nLen() const {
    if (Text() == nullptr) return 0;
    if constexpr (std::is_same_v<T, char>) return static_cast<unsigned int>(strlen(Text()));
    else return static_cast<unsigned int>(wcslen(Text()));
  }
  static void Free(T* p) {
    if (p == nullptr) return;
    if constexpr (std::is_same_v<T, char>) STR_DeleteA(p);
    else STR_DeleteW(p);
  }
};

class CAny_ZVPSTRA final : public CAnyPlainText<ZV_PSTRA, char> {
 public:
  int nGetPCASTR(const char** pp) const override { *pp = pszGet(); return 0; }
};

class CAnyPStrW final : public CAnyPlainText<ZV_PSTRW, wchar_t> {
 public:
  int nGetPCWSTR(const wchar_t** pp) const override { *pp = pszGet(); return 0; }
  void SetValueFromANSI(const void* p) override { SetValueFromANSI_CP(1252, p); }
  void SetValueFromANSI(const void* p, unsigned int n) override { SetValueFromANSI_CP(1252, p, n); }
  void SetValueFromANSI_CP(int cp, const void* p) override { SetValueFromANSI_CP(cp, p, nAnsiLength(p)); }
  void SetValueFromANSI_CP(int cp, const void* p, unsigned int n) override {
    wchar_t* old = Text();
    SetText(p != nullptr && n > 0
                ? pszCSTR2XSTR(static_cast<const char*>(p), static_cast<int>(n), static_cast<unsigned int>(cp))
                : nullptr);
    Free(old);
  }
};

class CAny_ZVDECIMAL final : public CAny_Intern {
 public:
  ~CAny_ZVDECIMAL() override {
    if (Dec() != nullptr && gpiVMFactory != nullptr) gpiVMFactory->Free(Dec());
    Put<IDecimal*>(Area(), nullptr);
  }
  void Duplique(CAny* pTarget) const override {
    IDecimal* p = Dec();
    pTarget->__SetType(ZV_DECIMAL, 0);
    pTarget->Intern()->SetValue(p);
    CopyFlags(pTarget);
  }
  int nGetSize(unsigned int* pn) const override { *pn = sizeof(void*); return 0; }
  int nGetAdr(void** pp) const override { *pp = Area(); return 0; }
  int nFillBuffer(void* p) const override { Put<IDecimal*>(static_cast<unsigned char*>(p), Dec()); return 0; }
  int nGetDataSize(unsigned int* pn) const override { *pn = IDecimal::kFormSize; return 0; }
  int nGetDataAdr(void** pp) const override { *pp = nullptr; return 105; }
  int nFillDataBuffer(void* p) const override {
    if (Dec() == nullptr) return 105;
    Dec()->WriteForm(p);
    return 0;
  }
  void SetValue(const void* p) override {
    if (Dec() != nullptr && p != nullptr && p != Dec()) Dec()->nCopy(static_cast<const IDecimal*>(p));
  }
  // An 18-byte form; a shorter one is zero-filled, never read past n.
  void SetValue(const void* p, unsigned int n) override {
    if (Dec() == nullptr || p == nullptr) return;
    unsigned char form[IDecimal::kFormSize] = {};
    memcpy(form, p, std::min(n, IDecimal::kFormSize));
    Dec()->nLoadForm(form);
  }
  int bIsPositive() const override { return Dec() == nullptr || !Dec()->bIsNegative(); }

 private:
  IDecimal* Dec() const { return Get<IDecimal*>(Area()); }
};

// Borrowed bytes {pointer, count}: neither copied nor freed.
class CAny_ZVBUFFER final : public CAny_Intern {
 public:
  void Duplique(CAny* pTarget) const override {
    const void* p = Ptr();
    const uint32_t n = nCount();
    pTarget->__SetType(ZV_BUFFER, 0);
    pTarget->Intern()->SetValue(p, n);
    CopyFlags(pTarget);
  }
  int nGetSize(unsigned int* pn) const override { *pn = 2 * sizeof(void*); return 0; }
  int nGetAdr(void** pp) const override { *pp = Area(); return 0; }
  int nFillBuffer(void* p) const override { memcpy(p, Area(), 2 * sizeof(void*)); return 0; }
  int nGetDataSize(unsigned int* pn) const override { *pn = nCount(); return 0; }
  int nGetDataAdr(void** pp) const override { *pp = Ptr(); return 0; }
  int nFillDataBuffer(void* p) const override {
    if (nCount() > 0) memcpy(p, Ptr(), nCount());
    return 0;
  }
  void SetValue(const void* p) override { SetValue(p, 0); }
  void SetValue(const void* p, unsigned int n) override {
    Put<const void*>(Area(), p);
    Put<uint32_t>(Area() + 8, n);
  }

 private:
  void* Ptr() const { return Get<void*>(Area()); }
  uint32_t nCount() const { return Get<uint32_t>(Area() + 8); }
};

template <unsigned short kCode, bool kAddRefRelease>
class CAnyHostObject final : public CAnyFixed<kCode, sizeof(void*)> {
  using Base = CAnyFixed<kCode, sizeof(void*)>;

 public:
  ~CAnyHostObject() override {
    ReleaseObject();
    Put<void*>(Base::Area(), nullptr);
  }
  void Duplique(CAny* pTarget) const override {
    void* p = Obj();
    pTarget->__SetType(kCode, 0);
    pTarget->Intern()->SetValue(&p);
    if (!kAddRefRelease) Base::CopyFlags(pTarget);
    else pTarget->SetFlags(0);
  }
  void SetValue(const void* p) override {
    void* obj = Get<void*>(static_cast<const unsigned char*>(p));
    if (obj == Obj()) return;
    if constexpr (kAddRefRelease) {
      if (obj != nullptr) static_cast<IHostObject*>(obj)->AddRef();
    } else {
      if (obj != nullptr) static_cast<IHostCounted*>(obj)->m_nRef.fetch_add(1);
    }
    ReleaseObject();
    Put<void*>(Base::Area(), obj);
  }

 private:
  void* Obj() const { return Get<void*>(Base::Area()); }
  void ReleaseObject() {
    void* obj = Obj();
    if (obj == nullptr) return;
    if constexpr (kAddRefRelease) static_cast<IHostObject*>(obj)->Release();
    else static_cast<IHostCounted*>(obj)->Release();
  }
};

// Owned array of values {array, count}.
class CAnyTabAny final : public CAny_Intern {
 public:
  ~CAnyTabAny() override { Free(Tab()); }
  void Duplique(CAny* pTarget) const override {
    const STTabAny tab = Tab();
    pTarget->__SetType(ZV_TABANY, 0);
    pTarget->Intern()->SetValue(tab.pTab, tab.nCount);
    CopyFlags(pTarget);
  }
  int nGetSize(unsigned int* pn) const override { *pn = sizeof(STTabAny); return 0; }
  int nGetAdr(void** pp) const override { *pp = Area(); return 0; }
  int nFillBuffer(void* p) const override { memcpy(p, Area(), sizeof(STTabAny)); return 0; }
  int nGetDataSize(unsigned int* pn) const override { *pn = Tab().nCount; return 0; }
  int nGetDataAdr(void** pp) const override { *pp = Tab().pTab; return 0; }
  int nFillDataBuffer(void*) const override { return 105; }
  int nGetUtilDataSize(unsigned int* pn) const override { *pn = Tab().nCount; return 0; }
  int nFillUtilDataBuffer(void*) const override { return 105; }
  void SetValue(const void* p) override { SetValue(p, 1); }
  // The new array is built before the old one goes: the source may lie inside it.
  void SetValue(const void* p, unsigned int n) override {
    const auto* src = static_cast<const CAny*>(p);
    STTabAny tab{nullptr, 0};
    if (src != nullptr && n > 0) {
      tab.pTab = static_cast<CAny*>(malloc(sizeof(CAny) * n));
      if (tab.pTab == nullptr) throw std::bad_alloc();
      for (unsigned int i = 0; i < n; ++i) new (&tab.pTab[i]) CAny(src[i]);
      tab.nCount = n;
    }
    const STTabAny old = Tab();
    SetTab(tab);
    Free(old);
  }
  STTabAny Tab() const { return Get<STTabAny>(Area()); }
  void SetTab(const STTabAny& tab) { Put<STTabAny>(Area(), tab); }

 private:
  static void Free(const STTabAny& tab) {
    if (tab.pTab == nullptr) return;
    for (uint32_t i = 0; i < tab.nCount; ++i) tab.pTab[i].~CAny();
    free(tab.pTab);
  }
};

// The initial inline date and time texts.
template <typename T>
void InitDateTimeText(unsigned char* area, unsigned int L, bool bTime) {
  const wchar_t* init = bTime ? CDateTimeBase::ms_pcszValeurInitTime : CDateTimeBase::ms_pcszValeurInitDate;
  T* s = reinterpret_cast<T*>(area);
  unsigned int i = 0;
  for (; init != nullptr && i < L && init[i] != 0; ++i) s[i] = static_cast<T>(init[i]);
  if (bTime)
    for (; i < L; ++i) s[i] = static_cast<T>('0');
  for (; i <= L; ++i) s[i] = 0;
}

}  // namespace

unsigned short CAny_Intern::s_wInstall(void* pPlace, unsigned short wType) {
  switch (wType) {
    case ZV_BOOL: new (pPlace) CAny_ZVBOOL(); break;
    case ZV_UI1: new (pPlace) CAnyInteger<ZV_UI1, uint8_t, uint8_t>(); break;
    case ZV_UI2: new (pPlace) CAnyInteger<ZV_UI2, uint16_t, uint16_t>(); break;
    case ZV_UI4: new (pPlace) CAnyInteger<ZV_UI4, uint32_t, uint32_t>(); break;
    case ZV_UI8: new (pPlace) CAnyInteger<ZV_UI8, uint64_t, uint64_t>(); break;
    case ZV_I1: new (pPlace) CAnyInteger<ZV_I1, int8_t, int8_t>(); break;
    case ZV_I2: new (pPlace) CAnyInteger<ZV_I2, int16_t, int16_t>(); break;
    case ZV_I4BIS: wType = ZV_I4; [[fallthrough]];
    case ZV_I4: new (pPlace) CAnyInteger<ZV_I4, int32_t, int32_t>(); break;
    case ZV_I8: new (pPlace) CAnyInteger<ZV_I8, int64_t, int64_t>(); break;
    case ZV_CY: new (pPlace) CAny_ZVCY(); break;
    case ZV_R4: new (pPlace) CAnyReal<ZV_R4, float>(); break;
    case ZV_R8: new (pPlace) CAnyReal<ZV_R8, double>(); break;
    case ZV_DECIMAL: new (pPlace) CAny_ZVDECIMAL(); break;
    case ZV_UIX: new (pPlace) CAnyInteger<ZV_UIX, uint32_t, int32_t>(); break;
    case ZV_DSTRW: new (pPlace) CAnyDStrW(); break;
    case ZV_CARA: new (pPlace) CAny_ZVCARA(); break;
    case ZV_PSTRA: new (pPlace) CAny_ZVPSTRA(); break;
    case ZV_DSTRA: new (pPlace) CAnyDynStr<ZV_DSTRA, char>(); break;
    case ZV_DATEW: new (pPlace) CAnyInlineText<ZV_DATEW, wchar_t, 8>(); break;
    case ZV_TIMEW: new (pPlace) CAnyInlineText<ZV_TIMEW, wchar_t, 9>(); break;
    case ZV_DATETIME: new (pPlace) CAnyFixed<ZV_DATETIME, 8>(); break;
    case ZV_DUREE: new (pPlace) CAnyFixed<ZV_DUREE, 8>(); break;
    case ZV_BIN: new (pPlace) CAny_ZVBIN(); break;
    case ZV_BUFFER: new (pPlace) CAny_ZVBUFFER(); break;
    case ZV_MEMOIMG: new (pPlace) CAnyHostObject<ZV_MEMOIMG, false>(); break;
    case ZV_CONVOYEUR: new (pPlace) CAnyHostObject<ZV_CONVOYEUR, false>(); break;
    case ZV_POLICE: new (pPlace) CAnyHostObject<ZV_POLICE, false>(); break;
    case ZV_CARW: new (pPlace) CAnyCarW(); break;
    case ZV_TABANY: new (pPlace) CAnyTabAny(); break;
    case ZV_OBJET_BASE: case ZV_TRAITEMENT: case ZV_OBJET_142: case ZV_OBJET_143:
      new (pPlace) CAnyHostObject<ZV_OBJET_BASE, true>();
      break;
    case ZV_PSTRW: new (pPlace) CAnyPStrW(); break;
    case ZV_DINO: new (pPlace) CAnyHostObject<ZV_DINO, true>(); break;
    case ZV_DATEA: new (pPlace) CAnyInlineText<ZV_DATEA, char, 8>(); break;
    case ZV_TIMEA: new (pPlace) CAnyInlineText<ZV_TIMEA, char, 9>(); break;
    default: new (pPlace) CAny_Intern(); return 0;
  }
  return wType;
}

// The initial value of a code just installed (area already zeroed by the caller).
void InitValueArea(unsigned char* area, unsigned short wType) {
  switch (wType) {
    case ZV_DATEW: InitDateTimeText<wchar_t>(area, 8, false); break;
    case ZV_TIMEW: InitDateTimeText<wchar_t>(area, 9, true); break;
    case ZV_DATEA: InitDateTimeText<char>(area, 8, false); break;
    case ZV_TIMEA: InitDateTimeText<char>(area, 9, true); break;
    case ZV_DATETIME: {
      CDateTimeBase dt;
      dt.InitDate();
      memcpy(area, &dt, sizeof dt);
      break;
    }
    case ZV_DECIMAL: {
      IDecimal* p = gpiVMFactory != nullptr ? gpiVMFactory->piCreate(0) : nullptr;
      memcpy(area, &p, sizeof p);
      break;
    }
    default: break;
  }
}

void CAny_ZVTABANY::s_SetDirect(CAny* pValue, const STTabAny& tab) { pValue->SetTabDirect(tab); }

int CAny_ZVDSTRW::s_SetFromUTF16(CAny* pValue, const unsigned short* p, int n) {
  pValue->__SetType(ZV_DSTRW, 0);
  auto& str = *reinterpret_cast<CXYString<wchar_t>*>(pValue->pGetValueArea());
  if (p == nullptr || n < 1) {
    str.ReleaseDynStr();
    return 0;
  }
  if (n > XYSTR_MAX_BYTES / static_cast<int>(sizeof(wchar_t))) {
    str.ReleaseDynStr();
    return XYSTR_ERR_SIZE;
  }
  // Widened apart first: the assignment then reuses a privately held block, copies a shared one,
  // and copes with a source inside the block.
  std::vector<wchar_t> wide(static_cast<size_t>(n));
  const int r = str.nAffecte(wide.data(), UTF16ToWideChar(p, n, wide.data(), n));
  if (r != 0) str.ReleaseDynStr();
  return r;
}

void CAny_ZVPSTRW::s_SetFromUTF16(CAny* pValue, const unsigned short* p, int n) {
  if (p == nullptr || n < 1) return;
  wchar_t* text = STR_pszCreate(static_cast<unsigned int>(n));
  if (text == nullptr) return;
  text[UTF16ToWideChar(p, n, text, n)] = 0;
  pValue->__SetType(ZV_VIDE, 0);  // releases an owned text the value already had
  pValue->__SetType(ZV_PSTRW, 0);
  Put<wchar_t*>(pValue->pGetValueArea(), text);
}

void CAny_ZVCARW::s_SetFromUTF16(CAny* pValue, const unsigned short* p, int n) {
  wchar_t w[2] = {};
  if (p != nullptr && n > 0) UTF16ToWideChar(p, n < 2 ? n : 2, w, 1);
  pValue->__SetType(ZV_CARW, 0);
  Put<wchar_t>(pValue->pGetValueArea(), w[0]);
}
