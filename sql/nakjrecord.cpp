#include "sql/nakjrecord.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "common/utf.h"
#include "driver/inadatasourcedescription.h"
#include "sql/inaitemdescription.h"
#include "values/any.h"
#include "values/datetime.h"
#include "values/idecimal.h"

static_assert(sizeof(CDateTimeBase) == 8, "a date-time element is the value's 8 bytes");

namespace {

void PutU32(BYTE* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<BYTE>(v >> (8 * i));
}

uint32_t GetU32(const BYTE* p) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(p[i]) << (8 * i);
  return v;
}

// Precision and scale an item's decimal bytes are written at; false when the host has no form
// for them.
bool bDecimalForm(const INAItemDescription* item, int* precision, int* scale) {
  const int64_t s = item->nGetDecimalPart();
  const int64_t p = item->nGetIntegerPart() + s;
  if (s < 0 || p < s || p > IDecimal::kMaxPrecision) return false;
  *precision = static_cast<int>(p);
  *scale = static_cast<int>(s);
  return true;
}

unsigned int nDecimalFormSize(int precision) {
  return precision == 0 ? IDecimal::kFormSize : IDecimal::mg_PToN[precision];
}

}  // namespace

CNAKJRecord::~CNAKJRecord() { free(m_pbyBuffer); }

int CNAKJRecord::nRelease() {
  // The host gives a record back after every row it reads: that release saves nothing on the
  // stack, the last one's deletion is called.
  if (m_nRef > 1) return static_cast<int>(--m_nRef);
  if (m_nRef == 1) _DeleteLast();
  return 0;
}

void CNAKJRecord::_DeleteLast() {
  m_nRef = 0;
  delete this;
}

std::atomic<unsigned int> CNAKJRecord::s_nLayoutGenerator{0};

void CNAKJRecord::_Adopt(BYTE* buffer, unsigned int total, unsigned int count, unsigned int flagSize) {
  CNADriverMutex::s_Moved();
  m_nLayoutStamp = s_nLayoutGenerator.fetch_add(1, std::memory_order_relaxed) + 1;
  m_pbyBuffer = buffer;
  m_nTotalSize = total;
  m_nItemCount = count;
  m_nFlagSize = flagSize;
  m_pbyFlags = buffer;
  m_pbyValues = buffer + flagSize;
}

BOOL CNAKJRecord::bInit(INADataSourceDescription* desc, eINITTYPE init) {
  if (desc == nullptr) return FALSE;
  const int count = desc->nGetNumItemPhysicallyInFic();
  const int disk = desc->nGetDiskRecordSize();
  if (count < 0 || disk < 0) return FALSE;
  // A composite key laid out among the items pushes the later ones past the disk size: the
  // values area reaches the end of the last item that is no composite key.
  uint64_t values = static_cast<uint64_t>(disk);
  const int items = desc->nGetNumItems();
  for (int i = 0; i < items; ++i) {
    INAItemDescription* item = desc->piNAGetItem(static_cast<unsigned int>(i));
    if (item == nullptr) continue;
    if (!item->bIsComposedKey() && item->nGetOffset(0) >= 0)
      values = std::max<uint64_t>(values, static_cast<uint64_t>(item->nGetOffset(0)) + item->nGetTotalSize());
    item->nExternalRelease();
  }
  const uint32_t flagSize = (static_cast<uint32_t>(count) + 7) / 8;
  if (values > UINT32_MAX - flagSize - 1) return FALSE;
  const uint32_t total = flagSize + static_cast<uint32_t>(values);
  // Never a null buffer, so that a record of no bytes is still an initialised one.
  BYTE* buffer = static_cast<BYTE*>(calloc(std::max<uint32_t>(total, 1), 1));
  if (buffer == nullptr) return FALSE;
  free(m_pbyBuffer);
  _Adopt(buffer, total, static_cast<uint32_t>(count), flagSize);
  if (init != NA_INIT_DEFAULT) return TRUE;
  for (int i = 0; i < items; ++i) {
    INAItemDescription* item = desc->piNAGetItem(static_cast<unsigned int>(i));
    if (item == nullptr) continue;
    if (!item->bIsComposedKey()) _SetDefaults(item);
    item->nExternalRelease();
  }
  return TRUE;
}

void CNAKJRecord::_SetDefaults(const INAItemDescription* item) {
  const CAny* value = item->pclGetDefaultValue();
  const bool bUse = value != nullptr && !item->bMemo() && !value->bIsNull() && value->wGetType() != ZV_VIDE;
  // Elements of no bytes all lie at one place: one is enough.
  const unsigned int dim = item->nGetItemSize() == 0 ? 1 : item->nGetDimension();
  unsigned int size = 0;
  for (unsigned int k = 0; k < dim && _pbyElement(item, static_cast<int>(k), &size) != nullptr; ++k) {
    if (bUse)
      SetItemValue(item, value, static_cast<int>(k));
    else
      SetItemValueDefined(item, FALSE, static_cast<int>(k));
  }
}

BYTE* CNAKJRecord::_pbyElement(const INAItemDescription* item, int index, unsigned int* size) const {
  *size = 0;
  if (item == nullptr || m_pbyBuffer == nullptr) return nullptr;
  const int64_t first = item->nGetOffset(0);
  if (first < 0) return nullptr;
  uint64_t offset = static_cast<uint64_t>(first);
  uint64_t n;
  if (index < 0) {
    n = item->nGetTotalSize();
  } else {
    if (static_cast<unsigned int>(index) >= item->nGetDimension()) return nullptr;
    n = item->nGetItemSize();
    offset += n * static_cast<unsigned int>(index);
  }
  if (offset + n > _nValuesSize()) return nullptr;
  *size = static_cast<unsigned int>(n);
  return m_pbyValues + offset;
}

BYTE* CNAKJRecord::pbyGetItemValue(const INAItemDescription* item, int index) {
  unsigned int size;
  return _pbyElement(item, index, &size);
}

const BYTE* CNAKJRecord::pbyGetItemValue(const INAItemDescription* item, int index) const {
  unsigned int size;
  return _pbyElement(item, index, &size);
}

int CNAKJRecord::_nBit(unsigned int physical) const {
  if (physical < m_nItemCount) return static_cast<int>(physical);
#ifndef NDEBUG
  fprintf(stderr, "qx200msql: physical index %u outside a record of %u items, ignored\n", physical, m_nItemCount);
#endif
  return -1;
}

void CNAKJRecord::_SetBit(int bit, BOOL defined) {
  const BYTE mask = static_cast<BYTE>(0x80u >> (bit % 8));
  if (defined)
    m_pbyFlags[bit / 8] |= mask;
  else
    m_pbyFlags[bit / 8] &= static_cast<BYTE>(~mask);
}

void CNAKJRecord::_SetDefined(const INAItemDescription* item, unsigned int physical, BOOL defined, int index) {
  unsigned int size;
  BYTE* p = _pbyElement(item, index, &size);
  if (p != nullptr) _MarkDefined(p, size, physical, item->bMemo() != FALSE, defined);
}

void CNAKJRecord::_MarkDefined(BYTE* element, unsigned int size, unsigned int physical, bool memo, BOOL defined) {
  const int bit = _nBit(physical);
  if (bit < 0) return;
  _SetBit(bit, defined);
  if (memo)
    memset(element, defined ? 0x00 : 0xFF, size);
  else if (!defined)
    memset(element, 0, size);
}

void STItemSlot::Read(const INAItemDescription* item) {
  nOffset = item->nGetDimension() > 0 ? item->nGetOffset(0) : -1;
  nSize = item->nGetItemSize();
  nPhysical = item->nGetPhysicalIndice();
  bMemo = item->bMemo() != FALSE;
  bComposedKey = item->bIsComposedKey() != FALSE;
  bRead = true;
}

void CNAKJRecord::_SetSlotDefined(const STItemSlot& slot, BOOL defined) {
  if (!_bSlotInside(slot)) return;
  _MarkDefined(m_pbyValues + slot.nOffset, slot.nSize, slot.nPhysical, slot.bMemo, defined);
}

BOOL CNAKJRecord::bSlotDefined(const STItemSlot& slot) const {
  const int bit = _nBit(slot.nPhysical);
  if (bit < 0) return FALSE;
  return (m_pbyFlags[bit / 8] & (0x80u >> (bit % 8))) != 0;
}

const BYTE* CNAKJRecord::pbySlotElement(const STItemSlot& slot) const {
  return _bSlotInside(slot) ? m_pbyValues + slot.nOffset : nullptr;
}

void CNAKJRecord::SetItemValueDefined(const INAItemDescription* item, BOOL defined, int index) {
  if (item != nullptr) _SetDefined(item, item->nGetPhysicalIndice(), defined, index);
}

void CNAKJRecord::SetTabItemValueDefined(const INAItemDescription* const* items, unsigned int count,
                                         const unsigned int* physical, const BOOL* defined) {
  if (items == nullptr || physical == nullptr || defined == nullptr) return;
  for (unsigned int i = 0; i < count; ++i)
    if (items[i] != nullptr) _SetDefined(items[i], physical[i], defined[i], 0);
}

bool CNAKJRecord::_bSetItemValue(const INAItemDescription* item, const void* bytes, unsigned int length, int index) {
  unsigned int size;
  BYTE* p = _pbyElement(item, index, &size);
  if (p == nullptr || _nBit(item->nGetPhysicalIndice()) < 0) return false;
  const BYTE* src = static_cast<const BYTE*>(bytes);
  unsigned int used = 0;
  switch (item->eNAGetItemType()) {
    case NA_IT_TEXTE:
    case NA_IT_DATE6:
    case NA_IT_DATE8:
    case NA_IT_HEURE:
      // The last byte stays 0; the text stops at its zero or at the length given.
      if (src != nullptr && size > 0) {
        used = static_cast<unsigned int>(strnlen(reinterpret_cast<const char*>(src), std::min(size - 1, length)));
        memmove(p, src, used);
      }
      break;
    case NA_IT_UNICODE:
    case NA_IT_MEMOUNICODE:
      // Wide characters of 4 bytes into UTF-16 units; a pair that does not fit is left out whole.
      if (src != nullptr && length >= sizeof(wchar_t) && size >= 2) {
        const unsigned int units = size / 2;
        const unsigned int chars = std::min(length / static_cast<unsigned int>(sizeof(wchar_t)), units);
        std::vector<wchar_t> wide(chars);
        memcpy(wide.data(), src, chars * sizeof(wchar_t));
        std::vector<unsigned short> utf16(units);
        used = 2 * static_cast<unsigned int>(WideCharToUTF16(wide.data(), static_cast<int>(chars), utf16.data(),
                                                             static_cast<int>(units)));
        memcpy(p, utf16.data(), used);
      }
      break;
    case NA_IT_BINAIRE:
      if (src != nullptr && length != 0 && size >= 2) {
        const unsigned int n = std::min({length, size - 2, 0xFFFFu});
        p[0] = static_cast<BYTE>(n);
        p[1] = static_cast<BYTE>(n >> 8);
        memmove(p + 2, src, n);
        used = n + 2;
      }
      break;
    default:
      if (src != nullptr && length != 0) {
        used = std::min(length, size);
        memmove(p, src, used);
      }
      break;
  }
  memset(p + used, 0, size - used);
  return true;
}

void CNAKJRecord::SetItemValue(const INAItemDescription* item, const void* bytes, unsigned int length, int index) {
  if (_bSetItemValue(item, bytes, length, index)) SetItemValueDefined(item, TRUE, index);
}

void CNAKJRecord::_StoreValue(const INAItemDescription* item, const CAny& value, int index) {
  if (item->eNAGetItemType() == NA_IT_DECIMAL) {
    IDecimal* dec = nullptr;
    value.Intern()->nFillBuffer(&dec);
    int precision, scale;
    BYTE form[IDecimal::kFormSize] = {};
    // A value with more digits than the item holds would be stored as the bound of its sign.
    if (dec != nullptr && bDecimalForm(item, &precision, &scale) && dec->nWrite(precision, scale, form) <= 99)
      SetItemValue(item, form, nDecimalFormSize(precision), index);
    else
      SetItemValueDefined(item, FALSE, index);
    return;
  }
  void* data = nullptr;
  unsigned int n = 0;
  if (value.Intern()->nGetDataAdr(&data) == 0 && value.Intern()->nGetUtilDataSize(&n) == 0)
    SetItemValue(item, data, n, index);
  else
    SetItemValueDefined(item, FALSE, index);
}

void CNAKJRecord::SetItemValue(const INAItemDescription* item, const CAny* value, int index) {
  if (item == nullptr) return;
  if (value == nullptr || value->bIsNull() || value->wGetType() == ZV_VIDE) {
    SetItemValueDefined(item, FALSE, index);
    return;
  }
  const eNA_ITEMTYPE type = item->eNAGetItemType();
  const unsigned short zv = ConverteItemToZVType(type);
  const unsigned short from = value->wGetType();
  if (type == NA_IT_HEURE && from == ZV_DATETIME) {
    CDateTimeBase dt;
    value->Intern()->nFillBuffer(&dt);
    char text[kTimeTextChars + 1];
    dt.nVersHeure(text, kTimeTextChars);
    SetItemValue(item, text, kTimeTextChars, index);
    return;
  }
  if (from == zv || ((type == NA_IT_DATE8 || type == NA_IT_HEURE) && g_bIsZVTextAnsi(from))) {
    _StoreValue(item, *value, index);
    return;
  }
  CAny copy(*value);
  int result = 0;
  if (zv == ZV_CARA && (from == ZV_DSTRW || from == ZV_PSTRW)) result = copy.__nCastTo(ZV_PSTRA, nullptr, 1);
  if (result <= 99) result = copy.__nCastTo(zv, nullptr, 1);
  // Bytes of another type would be read back as garbage: a value that does not convert is NULL.
  if (result > 99)
    SetItemValueDefined(item, FALSE, index);
  else
    _StoreValue(item, copy, index);
}

void CNAKJRecord::GetItemValue(CAny* out, const INAItemDescription* item, int index) const {
  if (out == nullptr || item == nullptr) return;
  const eNA_ITEMTYPE type = item->eNAGetItemType();
  const unsigned short zv = ConverteItemToZVType(type);
  unsigned int size;
  const BYTE* p = _pbyElement(item, index, &size);
  if (p == nullptr) {
    out->__SetType(zv, 0);
    out->SetNull(true);
    return;
  }
  switch (type) {
    case NA_IT_BINAIRE: {
      const unsigned int room = size >= 2 ? size - 2 : 0;
      const unsigned int n = size >= 2 ? std::min(room, static_cast<unsigned int>(p[0] | (p[1] << 8))) : 0;
      out->SetBIN(p + (size >= 2 ? 2 : 0), n);
      return;
    }
    case NA_IT_DECIMAL: {
      out->__SetType(ZV_DECIMAL, 0);
      IDecimal* dec = nullptr;
      out->Intern()->nFillBuffer(&dec);
      int precision, scale;
      if (dec != nullptr && bDecimalForm(item, &precision, &scale)) {
        BYTE form[IDecimal::kFormSize] = {};
        memcpy(form, p, std::min(size, nDecimalFormSize(precision)));
        dec->nLoad(precision, scale, form);
      }
      out->SetFlags(0);
      return;
    }
    case NA_IT_UNICODE:
    case NA_IT_MEMOUNICODE: {
      const int units = static_cast<int>(size / 2);
      std::vector<unsigned short> utf16(static_cast<size_t>(units));
      // An element under one unit holds no character (and the empty vector no storage).
      if (units > 0) memcpy(utf16.data(), p, static_cast<size_t>(units) * 2);
      CAny_ZVDSTRW::s_SetFromUTF16(out, utf16.data(), utf16nlen(utf16.data(), units));
      out->SetFlags(0);
      return;
    }
    default:
      break;
  }
  out->__SetType(zv, 0);
  // Short elements are copied on the stack.
  constexpr size_t kOnStack = 256;
  if (g_bIsZVTextAnsi(zv)) {
    const size_t n = strnlen(reinterpret_cast<const char*>(p), size);
    char small[kOnStack];
    std::vector<char> large(n < kOnStack ? 0 : n + 1, 0);
    char* text = n < kOnStack ? small : large.data();
    memcpy(text, p, n);
    text[n] = 0;
    out->Intern()->SetValue(text, static_cast<unsigned int>(n));
  } else if (g_bIsZVTextWide(zv)) {
    const size_t chars = size / sizeof(wchar_t);
    std::vector<wchar_t> text(chars + 1, 0);
    memcpy(text.data(), p, chars * sizeof(wchar_t));
    const size_t n = wcsnlen(text.data(), chars);
    out->Intern()->SetValue(text.data(), static_cast<unsigned int>(n * sizeof(wchar_t)));
  } else {
    // Fixed-size classes read their own width: the element is given zero-padded to a value area.
    BYTE small[kOnStack] = {};
    std::vector<BYTE> large(size <= kOnStack ? 0 : size, 0);
    BYTE* bytes = size <= kOnStack ? small : large.data();
    memcpy(bytes, p, size);
    out->Intern()->SetValue(bytes, size);
  }
  out->SetFlags(0);
}

void CNAKJRecord::GetItemValue(void* out, const INAItemDescription* item, int index) const {
  unsigned int size;
  const BYTE* p = _pbyElement(item, index, &size);
  if (p != nullptr && out != nullptr) memcpy(out, p, size);
}

void CNAKJRecord::SetValues(const void* bytes, unsigned int length) {
  if (m_pbyBuffer == nullptr) return;
  const unsigned int n = std::min(length, _nValuesSize());
  if (bytes != nullptr && n > 0) memmove(m_pbyValues, bytes, n);
  memset(m_pbyFlags, 0xFF, m_nFlagSize);
}

CNAKJRecord* CNAKJRecord::pclGetClone() const {
  CNAKJRecord* clone = new (std::nothrow) CNAKJRecord();
  if (clone == nullptr) return nullptr;
  BYTE* buffer = static_cast<BYTE*>(malloc(std::max<uint32_t>(m_nTotalSize, 1)));
  if (buffer == nullptr) {
    delete clone;
    return nullptr;
  }
  if (m_nTotalSize > 0) memcpy(buffer, m_pbyBuffer, m_nTotalSize);
  clone->_Adopt(buffer, m_nTotalSize, m_nItemCount, m_nFlagSize);
  return clone;
}

BOOL CNAKJRecord::bEquals(const CNAKJRecord* other) const {
  if (other == nullptr || other->m_nTotalSize != m_nTotalSize || other->m_nFlagSize != m_nFlagSize) return FALSE;
  return m_nTotalSize == 0 || memcmp(m_pbyBuffer, other->m_pbyBuffer, m_nTotalSize) == 0;
}

BOOL CNAKJRecord::Serialize(void* out, unsigned int size) const {
  if (out == nullptr || static_cast<uint64_t>(size) < static_cast<uint64_t>(m_nTotalSize) + kHeaderSize) return FALSE;
  BYTE* p = static_cast<BYTE*>(out);
  PutU32(p, m_nTotalSize);
  PutU32(p + 4, m_nItemCount);
  PutU32(p + 8, m_nFlagSize);
  if (m_nTotalSize > 0) memcpy(p + kHeaderSize, m_pbyBuffer, m_nTotalSize);
  return TRUE;
}

BOOL CNAKJRecord::Deserialize(const void* bytes, unsigned int size) {
  if (bytes == nullptr || size < kHeaderSize) return FALSE;
  const BYTE* p = static_cast<const BYTE*>(bytes);
  const uint32_t total = GetU32(p);
  const uint32_t count = GetU32(p + 4);
  const uint32_t flagSize = GetU32(p + 8);
  if (total > size - kHeaderSize || flagSize != (static_cast<uint64_t>(count) + 7) / 8 || total < flagSize)
    return FALSE;
  BYTE* buffer = static_cast<BYTE*>(realloc(m_pbyBuffer, std::max<uint32_t>(total, 1)));
  if (buffer == nullptr) return FALSE;
  if (total > 0) memcpy(buffer, p + kHeaderSize, total);
  _Adopt(buffer, total, count, flagSize);
  return TRUE;
}


