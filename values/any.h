// CAny: the host language's variant value (a type word, a 40-byte value area and the embedded
// type object of values/any_types.h that knows how to copy and release the area). The host reads
// arrays of CAny directly, so the layout is fixed (asserted below). A CAny owns what its value
// area refers to; destroying it releases that.
//
// Result codes: 0 success, 1-99 a warning of the host VM passed on, 102 no such representation,
// 103 NULL operand, 104 binary not reinterpretable, 105 form not offered, 108 too long, 115 does
// not fit a byte; other codes above 99 come from the host VM or allocator unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

#include "common/charset.h"
#include "values/any_types.h"

class CDateTime;
class CDuree;
template <typename T>
class CXYString;
struct STManipAUB;

// Host type codes.
enum : unsigned short {
  ZV_VIDE = 0, ZV_BOOL = 1, ZV_UI1 = 2, ZV_UI2 = 3, ZV_UI4 = 4, ZV_UI8 = 5, ZV_I1 = 6, ZV_I2 = 7, ZV_I4 = 8,
  ZV_I8 = 9, ZV_CY = 10, ZV_R4 = 11, ZV_R8 = 12, ZV_DECIMAL = 13, ZV_UIX = 14, ZV_I4BIS = 15, ZV_DSTRW = 16,
  ZV_CARA = 17, ZV_PSTRA = 18, ZV_DSTRA = 19, ZV_DATEW = 24, ZV_TIMEW = 25, ZV_DATETIME = 26, ZV_DUREE = 27,
  ZV_BIN = 28, ZV_BUFFER = 29, ZV_MEMOIMG = 30, ZV_CONVOYEUR = 50, ZV_POLICE = 65, ZV_CARW = 81,
  ZV_TABANY = 83, ZV_OBJET_BASE = 108, ZV_PSTRW = 110, ZV_DINO = 111, ZV_DATEA = 128, ZV_TIMEA = 129,
  ZV_TRAITEMENT = 141, ZV_OBJET_142 = 142, ZV_OBJET_143 = 143,
};
// Type word flags.
constexpr unsigned short ZV_FLAG_NULL = 0x100;
constexpr unsigned short ZV_FLAG_CARRIED = 0x400;
constexpr unsigned short ZV_FLAGS = ZV_FLAG_NULL | ZV_FLAG_CARRIED;
constexpr unsigned int ZV_VALUE_SIZE = 40;
constexpr unsigned int ZV_MAX_LENGTH = 0x7ffffeff;

// The value area of a TABANY: an owned array and its count (the VM reads the count at offset 8).
struct STTabAny {
  CAny* pTab;
  uint32_t nCount;
};

class CAny {
 public:
  CAny() { new (m_abyIntern) CAny_Intern(); }
  ~CAny() { Intern()->~CAny_Intern(); }
  // Copies share dynamic strings and binaries (see nUnshare), copy owned texts and arrays.
  CAny(const CAny& other) : CAny() { *this = other; }
  CAny& operator=(const CAny& other);
  // operator=, in line when other is a plain number of this value's own type (a key sought again
  // and again): the type object, which holds nothing, stays.
  CAny& AssignLike(const CAny& other);

  unsigned short wGetTypeWord() const { return m_wType; }
  unsigned short wGetType() const { return m_wType & 0xFF; }
  bool bIsNull() const { return (m_wType & ZV_FLAG_NULL) != 0; }
  void SetNull(bool bNull) { m_wType = bNull ? (m_wType | ZV_FLAG_NULL) : (m_wType & ~ZV_FLAG_NULL); }
  void SetFlags(unsigned short wFlags) { m_wType = (m_wType & ~ZV_FLAGS) | (wFlags & ZV_FLAGS); }
  unsigned char* pGetValueArea() { return m_abyValue; }
  const unsigned char* pGetValueArea() const { return m_abyValue; }
  CAny_Intern* Intern() { return std::launder(reinterpret_cast<CAny_Intern*>(m_abyIntern)); }
  const CAny_Intern* Intern() const { return std::launder(reinterpret_cast<const CAny_Intern*>(m_abyIntern)); }

  // Releases the value and installs the class of wType (flags cleared); nothing when the whole
  // type word already is wType. bNoInit: the value area is left for the caller to fill.
  void __SetType(unsigned short wType, int bNoInit);
  // Takes over a 40-byte value made by the host (this value then owns what it refers to).
  void __TransfertValeurInterne(unsigned short wType, const unsigned char* pValue);

  void SetBOOL(int b);
  void SetUI1(unsigned char v);
  void SetUI2(unsigned short v);
  void SetUI4(unsigned int v);
  void SetUI8(unsigned long long v);
  void SetI1(char v);
  void SetI2(short v);
  void SetI4(int v);
  void SetI8(long long v);
  void SetR4(float v);
  void SetR8(double v);
  void SetDATE(const wchar_t* p) { SetDATEW(p); }
  void SetDATEW(const wchar_t* p);
  void SetTIME(const wchar_t* p) { SetTIMEW(p); }
  void SetTIMEW(const wchar_t* p);
  void SetDATETIME(const CDateTime& dt);
  void SetDATETIME(CDateTime* pdt);
  void SetDUREE(CDuree* pd);
  void SetBIN(const unsigned char* p, unsigned int n);
  void SetDATEA(const char* p);
  int SetTIMEA(const char* p);
  // Keeps the type, sets n bytes of p through the class, clears the flags.
  void SetValueByte(const void* p, unsigned int n);
  // Makes this value a TABANY that takes over tab's array and count.
  void SetTabDirect(const STTabAny& tab);

  // Typed getters; a flag in the type word refuses like a wrong type.
  int nGetBYTE(unsigned char& b) const;
  int nGetINT(int* pn) const;
  int nGetINT_64(long long* pn) const;
  int nGetBitField_64(unsigned long long& n) const;
  int nGetREAL(double* pd) const;
  int nGetManipAUB(STManipAUB* p) const;
  // For a value whose whole type word is 141 holding an object: the object's processing interface
  // (IHostTraitement); null otherwise.
  void* piGetTraitement() const;

  // Wide text into an ANSI dynamic string (code page of pOptions, else the host's).
  int __nSetString(const wchar_t* p, int n, const STOCAW* pOptions);
  // Converts in place through the host VM; flags kept. 0 when already of that type.
  int __nCastTo(unsigned short wType, const STOCAW* pOptions, unsigned int nFlags);
  // The value's text, casting it in place to DSTRW (DSTRA) when its class has none.
  int __nCastToString(const wchar_t** ppsz, const STOCAW* pOptions);
  int __nCastToString(const char** ppsz, const STOCAW* pOptions);
  // Wide text (presented to the VM as PSTRW) converted into the caller's 40-byte area pDest of
  // type wType; the caller owns what pDest then refers to.
  static int __s_nCastTo(void* pDest, const wchar_t* psz, unsigned short wType, const STOCAW* pOptions);
  // The value as text in str: a DSTRW (DSTRA) value shares its buffer, a class with a text of that
  // width copies it, any other value goes through the VM.
  int __nFillString(CXYString<wchar_t>& str, const STOCAW* pOptions) const;
  int __nFillString(CXYString<char>& str, const STOCAW* pOptions) const;
  // 8-byte binary reinterpreted as a duration / date-time; 104 otherwise (value unchanged).
  int nCastFrom_BIN_DUREE_To_DUREE();
  int nCastFrom_BIN_DATEHEURE_To_DATEHEURE();
  // Makes a shared DSTRW or DSTRA buffer private before an in-place change.
  int nUnshare();

 private:
  friend class CAny_Intern;
  // Releases this value and takes other's bytes; other is left empty without release.
  void TakeOver(CAny& other);
  // A plain number as operator= leaves it: its type object, type and flags, its width's bytes
  // and zeros after them. Read whole before any is written: the source may live inside the
  // target's array.
  struct STPlainNumber {
    unsigned char intern[sizeof(void*)];
    uint16_t word;
    uint64_t bytes;
  };
  static STPlainNumber s_ReadPlainNumber(const CAny& other, unsigned int width);
  void _WritePlainNumber(const STPlainNumber& plain);
  int nReinterpretBin(unsigned short wType);
  template <typename T>
  int nFillStringT(CXYString<T>& str, const STOCAW* pOptions) const;
  template <typename T>
  int nCastToStringT(const T** ppsz, const STOCAW* pOptions);

  uint32_t m_dwReserved = 0;
  uint32_t m_dwPad = 0;
  alignas(8) unsigned char m_abyIntern[sizeof(void*)];
  uint16_t m_wType = 0;
  uint16_t m_awPad[3] = {};
  alignas(8) unsigned char m_abyValue[ZV_VALUE_SIZE] = {};

 public:
  static constexpr size_t kInternOffset = 8;
  static constexpr size_t kTypeOffset = 16;
  static constexpr size_t kValueOffset = 24;
};

// The width of the plain numbers (integers, reals, booleans): their type objects copy just those
// bytes and the flags, and hold nothing; 0 for every other type.
inline unsigned int nPlainNumberWidth(unsigned short wType) {
  switch (wType) {
    case ZV_UI1: case ZV_I1: return 1;
    case ZV_UI2: case ZV_I2: return 2;
    case ZV_BOOL: case ZV_UI4: case ZV_I4: case ZV_R4: case ZV_UIX: return 4;
    case ZV_UI8: case ZV_I8: case ZV_R8: return 8;
    default: return 0;
  }
}

inline CAny::STPlainNumber CAny::s_ReadPlainNumber(const CAny& other, unsigned int width) {
  static_assert(ZV_VALUE_SIZE >= 8);
  STPlainNumber plain;
  memcpy(plain.intern, other.m_abyIntern, sizeof plain.intern);
  // The width's bytes of the area's first eight (little-endian), in one word.
  memcpy(&plain.bytes, other.m_abyValue, sizeof plain.bytes);
  if (width < 8) plain.bytes &= (uint64_t{1} << (8 * width)) - 1;
  plain.word = static_cast<uint16_t>(other.wGetType() | (other.m_wType & ZV_FLAGS));
  return plain;
}

inline void CAny::_WritePlainNumber(const STPlainNumber& plain) {
  memcpy(static_cast<void*>(m_abyIntern), plain.intern, sizeof plain.intern);
  m_wType = plain.word;
  memset(m_abyValue, 0, ZV_VALUE_SIZE);
  memcpy(m_abyValue, &plain.bytes, sizeof plain.bytes);
}

inline CAny& CAny::AssignLike(const CAny& other) {
  const unsigned int width = other.wGetType() == wGetType() ? nPlainNumberWidth(wGetType()) : 0;
  if (width == 0 || &other == this) return *this = other;
  _WritePlainNumber(s_ReadPlainNumber(other, width));
  return *this;
}

static_assert(sizeof(CAny_Intern) == sizeof(void*), "the type object is only its table pointer");
static_assert(sizeof(CAny) == 64 && alignof(CAny) == 8, "arrays of CAny have a 64-byte stride");
