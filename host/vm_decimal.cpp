#include "host/vm_decimal.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "host/vm_module.h"

namespace {

bool bValidShape(int nPrecision, int nScale) {
  return nPrecision >= 0 && nPrecision <= IDecimal::kMaxPrecision && nScale >= 0 &&
         nScale <= (nPrecision != 0 ? nPrecision : IDecimal::kMaxPrecision);
}

// The largest magnitude of p digits at scale s: 10^p - 1.
VMExact Bound(int nPrecision, int nScale, bool bNeg) {
  VMExact x;
  U256Sub(&x.mag, U256Pow10(nPrecision), U256From(1));
  x.nScale = nScale;
  x.bNeg = bNeg;
  return x;
}

}  // namespace

const void* CVMDecimal::pGetData() {
  nWrite(m_nPrecision, m_value.nScale, m_data);
  return m_data;
}

unsigned int CVMDecimal::nGetDataSize() { return m_nPrecision != 0 ? mg_PToN[m_nPrecision] : kFormSize; }

int CVMDecimal::nLoad(int nPrecision, int nScale, const void* pData) {
  if (pData == nullptr || !bValidShape(nPrecision, nScale)) return VM_ERR_ARGUMENT;
  if (nPrecision == 0) return nLoadForm(pData);
  const VMExact v = ExactFromTwos(static_cast<const unsigned char*>(pData), mg_PToN[nPrecision], nScale);
  if (U256Digits(v.mag) > nPrecision) return VM_ERR_OVERFLOW;
  m_value = v;
  m_nPrecision = nPrecision;
  return 0;
}

void CVMDecimal::WriteForm(void* pForm) const {
  auto* p = static_cast<unsigned char*>(pForm);
  p[0] = static_cast<unsigned char>(m_nPrecision);
  p[1] = static_cast<unsigned char>(m_value.nScale);
  ExactToTwos(m_value, p + 2, 16);  // 38 digits always fit 16 bytes
}

int CVMDecimal::nLoadForm(const void* pForm) {
  if (pForm == nullptr) return VM_ERR_ARGUMENT;
  const auto* p = static_cast<const unsigned char*>(pForm);
  const int precision = p[0], scale = p[1];
  if (!bValidShape(precision, scale)) return VM_ERR_ARGUMENT;
  const VMExact v = ExactFromTwos(p + 2, 16, scale);
  if (U256Digits(v.mag) > (precision != 0 ? precision : kMaxPrecision)) return VM_ERR_OVERFLOW;
  m_value = v;
  m_nPrecision = precision;
  return 0;
}

void CVMDecimal::WriteKey(void* pKey) const {
  // The value at scale 38 (below 10^76, within 255 bits), two's complement with the sign bit
  // flipped, most significant byte first.
  VMExact v = m_value;
  ExactRescale(&v, 38, nullptr);
  U256 word = v.mag;
  if (v.bNeg) {
    for (auto& w : word.w) w = ~w;
    U256Add(&word, word, U256From(1));
  }
  word.w[3] ^= uint64_t{1} << 63;
  auto* key = static_cast<unsigned char*>(pKey);
  for (int i = 0; i < 32; ++i) key[i] = static_cast<unsigned char>(word.w[3 - i / 8] >> (56 - 8 * (i % 8)));
}

int CVMDecimal::nCopy(const IDecimal* pOther) {
  if (pOther == nullptr) return VM_ERR_ARGUMENT;
  unsigned char form[kFormSize];
  pOther->WriteForm(form);
  return nLoadForm(form);
}

int CVMDecimal::nSetPrecisionScale(int nPrecision, int nScale) {
  if (!bValidShape(nPrecision, nScale)) return VM_ERR_ARGUMENT;
  bool lost = false;
  VMExact v = m_value;
  ExactRescale(&v, nScale, &lost);  // at most 76 digits: cannot overflow
  int rc = lost ? VM_WARN_ROUNDED : 0;
  const int limit = nPrecision != 0 ? nPrecision : kMaxPrecision;
  if (U256Digits(v.mag) > limit) {
    v = Bound(limit, nScale, v.bNeg);
    rc = VM_ERR_OVERFLOW;
  }
  m_value = v;
  m_nPrecision = nPrecision;
  return rc;
}

int CVMDecimal::nWrite(int nPrecision, int nScale, void* pData) const {
  if (pData == nullptr) return VM_ERR_ARGUMENT;
  CVMDecimal copy(*this);
  const int rc = copy.nSetPrecisionScale(nPrecision, nScale);
  if (rc > 99 && rc != VM_ERR_OVERFLOW) return rc;
  if (nPrecision == 0)
    copy.WriteForm(pData);
  else
    ExactToTwos(copy.m_value, static_cast<unsigned char*>(pData), mg_PToN[nPrecision]);
  return rc;
}

void CVMDecimal::GetPrecisionScale(int* pnPrecision, int* pnScale) const {
  if (pnPrecision) *pnPrecision = m_nPrecision;
  if (pnScale) *pnScale = m_value.nScale;
}

int CVMDecimal::nCompare(const IDecimal* pOther) const {
  return pOther == nullptr ? 1 : ExactCmp(m_value, ExactFromDecimal(pOther));
}

int CVMDecimal::nSetValue(const VMExact& value, int nPrecision) {
  if (!bValidShape(nPrecision, 0)) return VM_ERR_ARGUMENT;
  VMExact v = value;
  bool lost = false;
  // One rounding, to the decimals that the scale limit and the digits left by the integer part
  // allow (rounding first to 38 decimals, then to fewer, could round a value below a half up).
  const int limit = nPrecision != 0 ? nPrecision : kMaxPrecision;
  const int intDigits = U256Digits(v.mag) - v.nScale;
  int scale = std::min(v.nScale, limit);
  if (intDigits > 0) scale = std::min(scale, std::max(0, limit - intDigits));
  ExactRescale(&v, scale, &lost);
  if (!ExactFit(&v, limit, &lost)) return VM_ERR_OVERFLOW;  // a carry may still add a digit
  m_value = v;
  m_nPrecision = nPrecision;
  return lost ? VM_WARN_ROUNDED : 0;
}

void CVMDecimal::SetBound(bool bMin) { m_value = Bound(nLimit(), m_value.nScale, bMin); }

CVMDecimalFactory& CVMDecimalFactory::Instance() {
  // Constant-initialised and trivially destroyed: usable until the module is gone, and nothing is
  // left behind when it is unloaded.
  static CVMDecimalFactory factory;
  return factory;
}

IDecimal* CVMDecimalFactory::piCreate(int) {
  auto* p = new (std::nothrow) CVMDecimal();
  if (p != nullptr) ++m_nLive;
  return p;
}

void CVMDecimalFactory::Free(IDecimal* piDecimal) {
  if (piDecimal == nullptr) return;
  --m_nLive;
  delete static_cast<CVMDecimal*>(piDecimal);
}

VMExact ExactFromDecimal(const IDecimal* piDecimal) {
  unsigned char form[IDecimal::kFormSize];
  piDecimal->WriteForm(form);
  return ExactFromTwos(form + 2, 16, form[1]);
}
