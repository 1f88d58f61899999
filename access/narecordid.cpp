#include "access/narecordid.h"

#include <cstring>
#include <cwchar>
#include <new>

#include "access/narecord.h"
#include "common/hash_bounce.h"
#include "common/xystring.h"
#include "sql/naconvertvariant.h"
#include "sql/nakjrecord.h"

namespace {

// Serial forms lie at any offset in a cache block: no word is read or written in place.
uint32_t ReadU32(const void* p) {
  uint32_t v;
  memcpy(&v, p, sizeof v);
  return v;
}
void WriteU32(void* p, uint32_t v) { memcpy(p, &v, sizeof v); }
uint64_t ReadU64(const void* p) {
  uint64_t v;
  memcpy(&v, p, sizeof v);
  return v;
}
void WriteU64(void* p, uint64_t v) { memcpy(p, &v, sizeof v); }

static_assert(sizeof(void*) <= sizeof(uint64_t), "an address fits its 64-bit field");

}  // namespace

unsigned int CNARecordId::g_dwPtrHashVal(const void* serial) { return serial != nullptr ? ReadU32(serial) : 0; }

uint32_t CNARecordId::g_dwHashBytes(const unsigned char* bytes, unsigned int length) {
  uint32_t sum = 0;
  if (bytes == nullptr) return 0;
  for (; length >= 4; length -= 4, bytes += 4) sum += ReadU32(bytes);
  for (; length > 0; --length, ++bytes) sum += *bytes;
  return sum;
}

// ================================================================ record values

CNARecordId_RecordValues::CNARecordId_RecordValues(const CNARecordValue* value)
    : CNARecordId(NA_RECORDID_RECORDVALUES), m_pbyRecord(nullptr), m_nLength(0), m_pclMemo(nullptr) {
  bCopy(value, nullptr);
}

CNARecordId* CNARecordId_RecordValues::pclGetClone(const CNARecordValue* value) const {
  return new (std::nothrow) CNARecordId_RecordValues(value);
}

BOOL CNARecordId_RecordValues::bCopy(const CNARecordValue* value, CNARecordId*) {
  const CNAKJRecord* record = value != nullptr ? value->pclGetNAKJRecord() : nullptr;
  m_pbyRecord = record != nullptr ? record->pbyGetNullValuesFlags() : nullptr;
  m_nLength = record != nullptr ? record->nGetTotalSize() : 0;
  m_pclMemo = value != nullptr ? value->pclGetTabMemoNoRef() : nullptr;
  return TRUE;
}

BOOL CNARecordId_RecordValues::bEqualRecordId(CNARecordId* other) {
  if (other == nullptr || other->eGetRecordIdType() != eGetRecordIdType()) return FALSE;
  const auto* o = static_cast<const CNARecordId_RecordValues*>(other);
  if (o->m_nLength != m_nLength) return FALSE;
  return m_nLength == 0 || memcmp(m_pbyRecord, o->m_pbyRecord, m_nLength) == 0 ? TRUE : FALSE;
}

BOOL CNARecordId_RecordValues::Serialize(unsigned char* buffer, unsigned int size) const {
  if (buffer == nullptr || size < kSerializedSize) return FALSE;
  WriteU32(buffer, dwGetHashVal());
  WriteU32(buffer + 4, m_nLength);
  WriteU64(buffer + 8, reinterpret_cast<uintptr_t>(m_pbyRecord));
  WriteU64(buffer + 16, reinterpret_cast<uintptr_t>(m_pclMemo));
  return TRUE;
}

BOOL CNARecordId_RecordValues::DeSerialize(const unsigned char* buffer, unsigned int size) {
  if (buffer == nullptr || size < kSerializedSize) return FALSE;
  m_nLength = ReadU32(buffer + 4);
  m_pbyRecord = reinterpret_cast<const unsigned char*>(static_cast<uintptr_t>(ReadU64(buffer + 8)));
  m_pclMemo = reinterpret_cast<const CNARecordMemo*>(static_cast<uintptr_t>(ReadU64(buffer + 16)));
  return TRUE;
}

void CNARecordId_RecordValues::RecordIdToString(CXYString<wchar_t>* out, const wchar_t* prefix, int) const {
  if (out == nullptr) return;
  wchar_t text[48];
  swprintf(text, sizeof text / sizeof text[0], L"record values (%d bytes)", static_cast<int>(m_nLength));
  out->Set(prefix != nullptr ? prefix : L"");
  out->Add(text);
}

void CNARecordId_RecordValues::SetHashTableFct_SerializedObject(CHashTableBounce* table) const {
  if (table == nullptr) return;
  table->SetCmp(g_nCompare_CNARecordId_RecordValues);
  table->SetHashVal(g_dwPtrHashVal);
}

int CNARecordId_RecordValues::g_nCompare_CNARecordId_RecordValues(const void* a, const void* b) {
  const auto* pa = static_cast<const unsigned char*>(a);
  const auto* pb = static_cast<const unsigned char*>(b);
  const uint32_t length = ReadU32(pa + 4);
  const void* ra = reinterpret_cast<const void*>(static_cast<uintptr_t>(ReadU64(pa + 8)));
  const void* rb = reinterpret_cast<const void*>(static_cast<uintptr_t>(ReadU64(pb + 8)));
  if (length == 0 || ra == rb) return 0;
  const int c = memcmp(ra, rb, length);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

// ================================================================ row id

CNARecordId_RowId::CNARecordId_RowId(CNAConvertVariant* value) : CNARecordId(NA_RECORDID_ROWID), m_pclValue(value) {
  if (m_pclValue != nullptr) m_pclValue->AddRef();
}

CNARecordId_RowId::~CNARecordId_RowId() {
  if (m_pclValue != nullptr) m_pclValue->nRelease();
}

CNARecordId* CNARecordId_RowId::pclGetClone(const CNARecordValue*) const {
  CNAConvertVariant* copy = m_pclValue != nullptr ? m_pclValue->pclGetCloneVariant() : nullptr;
  if (m_pclValue != nullptr && copy == nullptr) return nullptr;
  CNARecordId* clone = new (std::nothrow) CNARecordId_RowId(copy);
  if (clone == nullptr && copy != nullptr) {
    copy->AddRef();
    copy->nRelease();
  }
  return clone;
}

BOOL CNARecordId_RowId::bEqualRecordId(CNARecordId* other) {
  if (other == nullptr || other->eGetRecordIdType() != eGetRecordIdType()) return FALSE;
  return CNAVariant::g_bEqualsNAVariant(m_pclValue, static_cast<CNARecordId_RowId*>(other)->m_pclValue);
}

BOOL CNARecordId_RowId::bCopy(const CNARecordValue*, CNARecordId* other) {
  if (m_pclValue == nullptr || other == nullptr || other->eGetRecordIdType() != eGetRecordIdType()) return FALSE;
  return m_pclValue->bCopyVariant(static_cast<CNARecordId_RowId*>(other)->m_pclValue);
}

unsigned int CNARecordId_RowId::nGetSerializedSize() const {
  return (m_pclValue != nullptr ? m_pclValue->nGetSize() : 0) + 8;
}

uint32_t CNARecordId_RowId::dwGetHashVal() const { return m_pclValue != nullptr ? m_pclValue->nChecksum32() : 0; }

BOOL CNARecordId_RowId::Serialize(unsigned char* buffer, unsigned int size) const {
  const unsigned int n = m_pclValue != nullptr ? m_pclValue->nGetSize() : 0;
  if (buffer == nullptr || size < n + 8) return FALSE;
  WriteU32(buffer, dwGetHashVal());
  WriteU32(buffer + 4, n);
  const void* data = n > 0 ? m_pclValue->pGetData() : nullptr;
  if (data != nullptr) memcpy(buffer + 8, data, n);
  return TRUE;
}

BOOL CNARecordId_RowId::DeSerialize(const unsigned char* buffer, unsigned int size) {
  if (m_pclValue == nullptr || buffer == nullptr || size < 8) return FALSE;
  const uint32_t n = ReadU32(buffer + 4);
  if (n > size - 8) return FALSE;
  return m_pclValue->bSetValue(buffer + 8, n);
}

void CNARecordId_RowId::RecordIdToString(CXYString<wchar_t>* out, const wchar_t* prefix, int flag) const {
  if (out == nullptr) return;
  if (m_pclValue != nullptr)
    m_pclValue->GetString(out, prefix, flag);
  else
    out->Set(prefix != nullptr ? prefix : L"");
}

void CNARecordId_RowId::SetHashTableFct_SerializedObject(CHashTableBounce* table) const {
  if (table == nullptr) return;
  table->SetCmp(g_nCompare_CNARecordId_RowId);
  table->SetHashVal(g_dwPtrHashVal);
}

int CNARecordId_RowId::g_nCompare_CNARecordId_RowId(const void* a, const void* b) {
  const auto* pa = static_cast<const unsigned char*>(a);
  const auto* pb = static_cast<const unsigned char*>(b);
  const uint32_t na = ReadU32(pa + 4), nb = ReadU32(pb + 4);
  const int c = memcmp(pa + 8, pb + 8, na < nb ? na : nb);
  if (c != 0) return c < 0 ? -1 : 1;
  return na == nb ? 0 : (na < nb ? -1 : 1);
}
