// The host VM's decimal objects and their factory, as the runtime calls them. The VM owns both:
// a DECIMAL value holds one object pointer, made and freed through the factory that the VM
// binding obtained (gpiVMFactory, values/vmbind.h). The virtual operations stand in the host's
// slot order: the reserved slots only hold positions, so nothing may be inserted, removed or
// reordered, and no slot is ever called through a reserved name.
//
// A decimal is a signed integer of at most 38 digits with a scale (digits after the point) and a
// precision (total digits; 0 = not set, read as 38). Its forms:
// - data form: mg_PToN[precision] bytes, the unscaled value as a little-endian two's-complement
//   integer; at precision 0 the 18-byte form;
// - 18-byte form: precision, scale, then the unscaled value as 16 little-endian bytes;
// - 32-byte key: its unsigned byte order is the order of the values, whatever their scales.
// Results are 0, 1-99 a warning (digits lost), above 99 an error (the VM's codes).
#pragma once

#include <cstdint>

class IDecimal {
 public:
  static constexpr int kMaxPrecision = 38;
  static constexpr unsigned int kFormSize = 18;
  static constexpr unsigned int kKeySize = 32;
  // Data-form size by precision: the smallest n with 2^(8n-1) >= 10^p (0 for p = 0).
  static constexpr unsigned char mg_PToN[kMaxPrecision + 1] = {0,  1,  1,  2,  2,  3,  3,  4,  4,  4,
                                                               5,  5,  6,  6,  6,  7,  7,  8,  8,  9,
                                                               9,  9,  10, 10, 11, 11, 11, 12, 12, 13,
                                                               13, 13, 14, 14, 15, 15, 16, 16, 16};

  // 0: the data form, in storage of the object's own, valid until the object next changes.
  virtual const void* pGetData() = 0;
  // 1: the data form's size in bytes.
  virtual unsigned int nGetDataSize() = 0;
  // 2: precision, scale and the data form of that precision.
  virtual int nLoad(int nPrecision, int nScale, const void* pData) = 0;
  virtual void vReserved3() {}
  virtual void vReserved4() {}
  // 5: the 18-byte form.
  virtual void WriteForm(void* pForm) const = 0;
  // 6: from an 18-byte form.
  virtual int nLoadForm(const void* pForm) = 0;
  // 7: the 32-byte key.
  virtual void WriteKey(void* pKey) const = 0;
  virtual void vReserved8() {}
  // 9: value, precision and scale of another decimal.
  virtual int nCopy(const IDecimal* pOther) = 0;
  virtual void vReserved10() {}
  virtual void vReserved11() {}
  virtual void vReserved12() {}
  virtual void vReserved13() {}
  virtual void vReserved14() {}
  virtual void vReserved15() {}
  virtual void vReserved16() {}
  virtual void vReserved17() {}
  virtual void vReserved18() {}
  virtual void vReserved19() {}
  virtual void vReserved20() {}
  virtual void vReserved21() {}
  virtual void vReserved22() {}
  // 23: non-zero when the value is below zero.
  virtual int bIsNegative() const = 0;
  // 24: rescales the value to nScale (halves rounded away from zero: warning 1 when digits go)
  // and sets the precision. A value with more than nPrecision digits becomes the bound of its
  // sign at that precision and the VM's overflow code is returned, so that the data form always
  // has the size of the precision asked for.
  virtual int nSetPrecisionScale(int nPrecision, int nScale) = 0;
  // 25: the data form at (nPrecision, nScale) written to pData, the object left as it is
  // (mg_PToN[nPrecision] bytes; the 18-byte form for 0). Rounding and bounds as operation 24.
  virtual int nWrite(int nPrecision, int nScale, void* pData) const = 0;
  // 26: precision (0 when not set) and scale.
  virtual void GetPrecisionScale(int* pnPrecision, int* pnScale) const = 0;
  // 27, 28: the smallest and the largest value of the current precision and scale.
  virtual void SetToMin() = 0;
  virtual void SetToMax() = 0;
  // 29: -1, 0 or 1 by value (scales may differ).
  virtual int nCompare(const IDecimal* pOther) const = 0;

 protected:
  ~IDecimal() = default;
};

class IDecimalFactory {
 public:
  // 0: a new decimal of value 0, precision 0, scale 0; null when out of memory.
  virtual IDecimal* piCreate(int nReserved) = 0;
  // 1: frees an object the factory made (null: nothing).
  virtual void Free(IDecimal* piDecimal) = 0;

 protected:
  ~IDecimalFactory() = default;
};

// pQueryProxy's id of the decimal factory.
constexpr int VM_PROXY_DECIMAL_FACTORY = 102;
