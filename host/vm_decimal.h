// The stand-in VM's decimal objects (IDecimal, values/idecimal.h) and their factory. The factory
// is one process-wide object; each decimal it makes is owned by whoever holds the pointer until
// it goes back through Free. Values hold at most 38 digits, scale 0-38.
#pragma once

#include <atomic>

#include "host/vm_number.h"
#include "values/idecimal.h"

class CVMDecimal final : public IDecimal {
 public:
  const void* pGetData() override;
  unsigned int nGetDataSize() override;
  int nLoad(int nPrecision, int nScale, const void* pData) override;
  void WriteForm(void* pForm) const override;
  int nLoadForm(const void* pForm) override;
  void WriteKey(void* pKey) const override;
  int nCopy(const IDecimal* pOther) override;
  int bIsNegative() const override { return m_value.bNeg ? 1 : 0; }
  int nSetPrecisionScale(int nPrecision, int nScale) override;
  int nWrite(int nPrecision, int nScale, void* pData) const override;
  void GetPrecisionScale(int* pnPrecision, int* pnScale) const override;
  void SetToMin() override { SetBound(true); }
  void SetToMax() override { SetBound(false); }
  int nCompare(const IDecimal* pOther) const override;

  // The VM's side: the value (its scale is the decimal's) and a new value of at most 38 digits
  // (decimals beyond are rounded: warning 1; more integer digits: 201, object unchanged).
  const VMExact& Value() const { return m_value; }
  int nSetValue(const VMExact& value, int nPrecision);

 private:
  void SetBound(bool bMin);
  int nLimit() const { return m_nPrecision != 0 ? m_nPrecision : kMaxPrecision; }

  VMExact m_value;
  int m_nPrecision = 0;
  unsigned char m_data[kFormSize] = {};
};

class CVMDecimalFactory final : public IDecimalFactory {
 public:
  static CVMDecimalFactory& Instance();
  IDecimal* piCreate(int nReserved) override;
  void Free(IDecimal* piDecimal) override;
  // Objects made and not yet freed.
  long nLive() const { return m_nLive.load(); }

 private:
  std::atomic<long> m_nLive{0};
};

// The value of any decimal object through its 18-byte form.
VMExact ExactFromDecimal(const IDecimal* piDecimal);
