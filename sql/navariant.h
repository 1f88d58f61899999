// CNAVariant: the driver's counted holder of one host value (search values, filter bounds,
// parameter values, row identifiers). The value converter (sql/naconvertvariant.h) derives from
// it and keeps its value elsewhere than in the CAny: the operations that must reach the value
// wherever it lives go through the virtual slots (vbGetValue, vbIsEmpty, vpGetData, vnGetSize).
#pragma once

#include <cstdint>

#include "common/interf.h"
#include "platform/wintypes.h"
#include "sql/naitemtype.h"
#include "values/any.h"

class CNAConnectionDescription;
class CNAConvertVariant;
class CNAError;
class CTString;
struct CMoney;
class CDateTime;

class CNAVariant : public CInterf {
 public:
  CNAVariant() = default;
  CNAVariant(const CNAVariant&) = delete;
  CNAVariant& operator=(const CNAVariant&) = delete;
  ~CNAVariant() override = default;

  // Casts the held value in place; TRUE when the host's code is 99 or less. The int is not used.
  virtual BOOL vbChangeZVType(unsigned short type, int keepLength);
  virtual BOOL vbGetValue(CAny* out) const { return bGetValue(out); }
  virtual BOOL vbIsEmpty() const { return m_clValue.wGetType() == ZV_VIDE; }
  virtual const void* vpGetData() const { return pGetData(); }
  virtual unsigned int vnGetSize() const { return nGetSize(); }
  virtual CNAConnectionDescription* pclGetCnx() const { return nullptr; }

  // ---- Setting (setters clear the NULL and 0x400 flags; all answer TRUE) ----
  BOOL bSetValue(const CAny* value);
  // The bytes into the current type.
  BOOL bSetValue(const unsigned char* bytes, unsigned int length);
  BOOL bSetValue(bool v);
  BOOL bSetValue(unsigned char v);
  BOOL bSetValue(unsigned short v);
  BOOL bSetValue(unsigned int v);
  BOOL bSetValue(unsigned long long v);
  BOOL bSetValue(char v);
  BOOL bSetValue(short v);
  BOOL bSetValue(int v);
  BOOL bSetValue(long long v);
  BOOL bSetValue(const CMoney& v);
  BOOL bSetValue(float v);
  BOOL bSetValue(double v);

  // ---- Reading ----
  BOOL bGetValue(CAny* out) const;
  BOOL bGetValue(const CAny** out) const;
  const CAny* pclGetValue() const { return &m_clValue; }
  const void* pGetData() const;
  unsigned int nGetSize() const;
  unsigned int nGetUtilDataSize() const;

  // Clears the NULL flag only: the value held (or the bytes a converter is bound to) stays.
  void SetNotNull() { m_clValue.SetNull(false); }

  // A null source makes the value NULL of its current type.
  BOOL bCopyVariant(const CNAVariant* source);
  // A new value from the driver's factory holding a copy; null when there is none.
  CNAConvertVariant* pclGetCloneVariant() const;

  // ---- Comparison ----
  // Byte order when type words and sizes are equal, else the host's order (0 when it cannot say).
  int nCmp(const CNAVariant* other) const;
  // Two NULL or empty values are equal; a NULL on one side only is not.
  BOOL bEqualsNAVariant(const CAny* other) const;
  BOOL bEqualsNAVariant(const CNAVariant* other) const;
  static BOOL g_bEqualsNAVariant(const CNAConvertVariant* a, const CNAConvertVariant* b);

  BOOL bChangeItemType(eNA_ITEMTYPE type, int keepLength) {
    return vbChangeZVType(ConverteItemToZVType(type), keepLength);
  }
  eNA_ITEMTYPE eNAGetItemTypeValue() const { return ConvertZVTypeToeItem(m_clValue.wGetType()); }

  // Little-endian 32-bit words, then the 0-3 bytes left; wrapping, no seed.
  uint32_t nChecksum32() const;
  BOOL bIsEmptyString() const;
  // Also the ANSI date and time texts (128, 129) and the wide ones (24, 25).
  BOOL bIsEmptyStringEx() const;
  // NULL, empty, or a number of ZV 1-14 equal to 0.0.
  BOOL bIsNumeric0() const;
  BOOL bCouldBeNullOnKJ() const { return bIsEmptyStringEx() || bIsNumeric0(); }
  BOOL bGetDecimalInfo(int* precision, int* scale) const;

  void GetString(CXYString<wchar_t>* out, const wchar_t* format, int option) const;
  void GetString(CTString* out, const wchar_t* format, int option) const;

  // ---- Files ----
  BOOL bLoadFile(const wchar_t* path, CNAError* error, int binary) {
    return gbLoadFile(&m_clValue, path, error, binary);
  }
  BOOL bStoreFile(const wchar_t* path, CNAError* error) { return gbStoreFile(&m_clValue, path, error); }
  // The whole file as ANSI text (binary 0) or a binary, cut at the size measured when it grew
  // meanwhile. Error 15 naming the file, with the system message when there is one, when it does
  // not open, is no file to read (a directory), a read fails or it shrinks while read; the
  // no-memory error when its size cannot be held. On failure value is left as it was.
  static BOOL gbLoadFile(CAny* value, const wchar_t* path, CNAError* error, int binary);
  // The value's useful data bytes (a text without its terminator, a wide text as its 4-byte
  // characters) in one write to a created, truncated file.
  static BOOL gbStoreFile(const CAny* value, const wchar_t* path, CNAError* error);

 protected:
  // Type and fixed-width bytes in one go, flags cleared.
  void _SetFixed(unsigned short type, const void* bytes);

  CAny m_clValue;
};
