// The type objects of the variant value: one polymorphic class per host type code, embedded in
// every CAny (values/any.h) and swapped in place when the value changes type. The objects hold
// no fields: each one works on the type word and value area of the CAny that embeds it, and
// releases, by its destructor, what that value area owns (dynamic-string references, owned
// texts and arrays, decimal objects, host-object references).
//
// Results are the value layer's codes (values/any.h); increments answer the overflow boolean.
#pragma once

#include <cstdint>
#include <atomic>
#include <cstring>

class CAny;
struct STTabAny;

// Unaligned reads and writes of value-area fields.
namespace ZVArea {
template <typename T>
T Get(const unsigned char* p) {
  T v;
  memcpy(&v, p, sizeof(T));
  return v;
}
template <typename T>
void Put(unsigned char* p, T v) {
  memcpy(p, &v, sizeof(T));
}
}  // namespace ZVArea

// The host objects a value can refer to (their classes are the host's; only these operations are
// used): a table pointer followed by a 32-bit reference count (MEMOIMG, CONVOYEUR, POLICE,
// released by the object's third operation), or add-reference / release as the first two.
class IHostCounted {
 public:
  virtual void vSlot0() = 0;
  virtual void vSlot1() = 0;
  virtual void Release() = 0;
  std::atomic<int32_t> m_nRef;

 protected:
  ~IHostCounted() = default;
};
class IHostObject {
 public:
  virtual void AddRef() = 0;
  virtual void Release() = 0;

 protected:
  ~IHostObject() = default;
};

// The host object behind code 141: counted as IHostObject; the operation at position 49 of its
// table answers its processing interface, which the runtime hands on without using.
#define QX_HOST_SLOT(n) virtual void vReserved##n() {}
class IHostTraitement : public IHostObject {
 public:
  QX_HOST_SLOT(2) QX_HOST_SLOT(3) QX_HOST_SLOT(4) QX_HOST_SLOT(5) QX_HOST_SLOT(6) QX_HOST_SLOT(7)
  QX_HOST_SLOT(8) QX_HOST_SLOT(9) QX_HOST_SLOT(10) QX_HOST_SLOT(11) QX_HOST_SLOT(12) QX_HOST_SLOT(13)
  QX_HOST_SLOT(14) QX_HOST_SLOT(15) QX_HOST_SLOT(16) QX_HOST_SLOT(17) QX_HOST_SLOT(18) QX_HOST_SLOT(19)
  QX_HOST_SLOT(20) QX_HOST_SLOT(21) QX_HOST_SLOT(22) QX_HOST_SLOT(23) QX_HOST_SLOT(24) QX_HOST_SLOT(25)
  QX_HOST_SLOT(26) QX_HOST_SLOT(27) QX_HOST_SLOT(28) QX_HOST_SLOT(29) QX_HOST_SLOT(30) QX_HOST_SLOT(31)
  QX_HOST_SLOT(32) QX_HOST_SLOT(33) QX_HOST_SLOT(34) QX_HOST_SLOT(35) QX_HOST_SLOT(36) QX_HOST_SLOT(37)
  QX_HOST_SLOT(38) QX_HOST_SLOT(39) QX_HOST_SLOT(40) QX_HOST_SLOT(41) QX_HOST_SLOT(42) QX_HOST_SLOT(43)
  QX_HOST_SLOT(44) QX_HOST_SLOT(45) QX_HOST_SLOT(46) QX_HOST_SLOT(47) QX_HOST_SLOT(48)
  virtual void* piGetTraitement() = 0;

 protected:
  ~IHostTraitement() = default;
};
#undef QX_HOST_SLOT

class CAny_Intern {
 public:
  // 16 zero bytes: the content of a plain text value that has none.
  static const unsigned char ChaineVide[16];

  CAny_Intern() = default;
  CAny_Intern(const CAny_Intern&) = delete;
  CAny_Intern& operator=(const CAny_Intern&) = delete;
  virtual ~CAny_Intern() = default;

  // Makes pTarget a copy of this value (pTarget is typed, then filled).
  virtual void Duplique(CAny* pTarget) const;
  virtual int nGetSize(unsigned int* pn) const;
  virtual int nGetAdr(void** pp) const;
  virtual int nFillBuffer(void* p) const;
  virtual int nGetDataSize(unsigned int* pn) const;
  virtual int nGetDataAdr(void** pp) const;
  virtual int nFillDataBuffer(void* p) const;
  virtual void SetValue(const void* p);
  // n bytes of p (an array of values: n values). No class reads past them: the fixed-width ones
  // zero-fill what n does not give.
  virtual void SetValue(const void* p, unsigned int) { SetValue(p); }
  virtual int nGetPCASTR(const char** pp) const;
  virtual int nGetPCWSTR(const wchar_t** pp) const;
  virtual int nGetSTRLEN(unsigned int* pn) const;
  virtual int bIsPositive() const { return 1; }
  virtual int nGetUtilDataSize(unsigned int* pn) const { return nGetDataSize(pn); }
  virtual int nFillUtilDataBuffer(void* p) const { return nFillDataBuffer(p); }
  virtual int nIncremente() { return 105; }
  virtual int nDecremente() { return 105; }
  // Text setters. A class without a conversion of its own takes p as SetValue does: for the
  // dynamic strings and the binary, the one-argument forms share another value's string or
  // binary at p (never a plain text) and the counted forms copy n bytes.
  virtual void SetValueFromANSI(const void* p) { SetValue(p); }
  virtual void SetValueFromANSI(const void* p, unsigned int n) { SetValue(p, n); }
  virtual void SetValueFromUNICODE(const void* p) { SetValue(p); }
  virtual void SetValueFromUNICODE(const void* p, unsigned int n) { SetValue(p, n); }
  virtual void SetValueFromANSI_CP(int, const void* p) { SetValueFromANSI(p); }
  virtual void SetValueFromANSI_CP(int, const void* p, unsigned int n) { SetValueFromANSI(p, n); }
  virtual void SetValueFromUNICODE_CP(int, const void* p) { SetValueFromUNICODE(p); }
  virtual void SetValueFromUNICODE_CP(int, const void* p, unsigned int n) { SetValueFromUNICODE(p, n); }
  virtual void SetValueOption(const void* p, unsigned int n, unsigned int) { SetValue(p, n); }

  // Puts the type object of code wType (0 for a code without one) over pPlace; the value area is
  // not touched. Returns the code actually installed (15 becomes 8).
  static unsigned short s_wInstall(void* pPlace, unsigned short wType);

 protected:
  // The embedding value, its type word and value area.
  CAny* Owner() const;
  uint16_t& Type() const;
  unsigned char* Area() const;
  // Copies the flags 0x100 and 0x400 of this value onto pTarget.
  void CopyFlags(CAny* pTarget) const;
};

// Setters that make a whole value of one class's code (the type objects themselves are private to
// any_types.cpp). The UTF-16 setters widen n units, a valid surrogate pair becoming one character.
struct CAny_ZVTABANY {
  // The value takes over tab's array and count without copying.
  static void s_SetDirect(CAny* pValue, const STTabAny& tab);
};
struct CAny_ZVDSTRW {
  // Reuses the value's own buffer when it is a DSTRW (made private first); n < 1 empties the
  // text. Returns 0 or the allocator's code (the value then is an empty DSTRW).
  static int s_SetFromUTF16(CAny* pValue, const unsigned short* p, int n);
};
struct CAny_ZVPSTRW {
  // n < 1, or a text that cannot be allocated, leaves the value as it was.
  static void s_SetFromUTF16(CAny* pValue, const unsigned short* p, int n);
};
struct CAny_ZVCARW {
  // The first character of the text (0 for n < 1).
  static void s_SetFromUTF16(CAny* pValue, const unsigned short* p, int n);
};
