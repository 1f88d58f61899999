// Row identifiers: the identity of one row, by which a row cache finds the row again, a saved
// position returns to it and a statement goes back to it. Two kinds: the row's own record bytes
// (CNARecordId_RecordValues) and a server row-id value (CNARecordId_RowId). Each has a serial
// form that a row cache stores whole in its blocks and uses as the key of its identifier map; the
// map hashes a serial form by its first 32-bit word and compares it by the kind's function.
//
// Ownership: identifiers are counted (atomically: row values and caches share them); the release
// that reaches 0 deletes. A record-values identifier names bytes and a memo set that someone else
// keeps alive (a row value's buffer, or a row cache's copy); a row-id identifier holds one
// reference on its converter.
//
// Serial forms are written in native byte order at any offset (they sit unaligned in cache
// blocks); every word goes through memcpy:
// - record values, 24 bytes: u32 hash, u32 length, 64-bit record address, 64-bit memo address
//   (0 when none);
// - row id, n + 8 bytes: u32 hash, u32 n, then the n bytes of the value.
// Serialize and DeSerialize do nothing and answer FALSE for a buffer shorter than the form.
#pragma once

#include <cstdint>

#include "platform/qxunknown.h"
#include "platform/wintypes.h"

class CHashTableBounce;
class CNAConvertVariant;
class CNARecordMemo;
class CNARecordValue;
template <typename T>
class CXYString;

enum eNA_RECORDIDTYPE : int32_t {
  NA_RECORDID_NONE = 0,
  NA_RECORDID_RECORDVALUES = 1,
  NA_RECORDID_ROWID = 3,
};

class CNARecordId : public CQXUnknown {
 public:
  virtual eNA_RECORDIDTYPE eGetRecordIdType() const = 0;
  // The same kind without a virtual call, for the caches' reads.
  eNA_RECORDIDTYPE eGetKind() const { return m_eKind; }
  // A new identifier of this kind for value (not referenced); null without memory.
  virtual CNARecordId* pclGetClone(const CNARecordValue* value) const = 0;
  virtual BOOL bEqualRecordId(CNARecordId* other) = 0;
  virtual BOOL bCopy(const CNARecordValue* value, CNARecordId* other) = 0;
  virtual unsigned int nGetSerializedSize() const = 0;
  virtual BOOL Serialize(unsigned char* buffer, unsigned int size) const = 0;
  virtual BOOL DeSerialize(const unsigned char* buffer, unsigned int size) = 0;
  virtual uint32_t dwGetHashVal() const = 0;
  // out = prefix (none when null) followed by the identifier's text.
  virtual void RecordIdToString(CXYString<wchar_t>* out, const wchar_t* prefix, int flag) const = 0;
  // Installs the kind's comparison and the hash of serial forms in a row cache's map.
  virtual void SetHashTableFct_SerializedObject(CHashTableBounce* table) const = 0;

  // Row-table hooks (common/tsimpletable.h): the stored element is the serial form, written
  // whole and read back by DeSerialize.
  unsigned int _nGetDataSize() const { return nGetSerializedSize(); }
  void _Serialize(void* out) const { Serialize(static_cast<unsigned char*>(out), nGetSerializedSize()); }
  BOOL _Deserialize(const void* in, unsigned int size) {
    return DeSerialize(static_cast<const unsigned char*>(in), size);
  }

  // The hash of a serial form: its first 32-bit word.
  static unsigned int g_dwPtrHashVal(const void* serial);
  // Words of 4 bytes in native order summed while four remain, then the bytes left one by one;
  // wrapping. 0 for no bytes.
  static uint32_t g_dwHashBytes(const unsigned char* bytes, unsigned int length);

 protected:
  explicit CNARecordId(eNA_RECORDIDTYPE kind) : m_eKind(kind) {}

 private:
  eNA_RECORDIDTYPE m_eKind;
};

class CNARecordId_RecordValues final : public CNARecordId {
 public:
  static constexpr unsigned int kSerializedSize = 24;

  // value's record bytes, their total size and value's memo set.
  explicit CNARecordId_RecordValues(const CNARecordValue* value);
  CNARecordId_RecordValues(const unsigned char* bytes, unsigned int length, const CNARecordMemo* memo)
      : CNARecordId(NA_RECORDID_RECORDVALUES), m_pbyRecord(bytes), m_nLength(length), m_pclMemo(memo) {}

  eNA_RECORDIDTYPE eGetRecordIdType() const override { return NA_RECORDID_RECORDVALUES; }
  // Made from value, not from this identifier.
  CNARecordId* pclGetClone(const CNARecordValue* value) const override;
  // Same kind, length and bytes; the memo sets are not compared.
  BOOL bEqualRecordId(CNARecordId* other) override;
  // Takes value's bytes, size and memo set; other is not read. TRUE.
  BOOL bCopy(const CNARecordValue* value, CNARecordId* other) override;
  // bCopy of a value holding bytes, their size and memo set, in line for every row read.
  void TakeView(const unsigned char* bytes, unsigned int length, const CNARecordMemo* memo) {
    m_pbyRecord = bytes;
    m_nLength = length;
    m_pclMemo = memo;
  }
  unsigned int nGetSerializedSize() const override { return kSerializedSize; }
  BOOL Serialize(unsigned char* buffer, unsigned int size) const override;
  // Length and both addresses; the stored hash is not read.
  BOOL DeSerialize(const unsigned char* buffer, unsigned int size) override;
  uint32_t dwGetHashVal() const override { return g_dwHashBytes(m_pbyRecord, m_nLength); }
  // "record values (<length> bytes)".
  void RecordIdToString(CXYString<wchar_t>* out, const wchar_t* prefix, int flag) const override;
  void SetHashTableFct_SerializedObject(CHashTableBounce* table) const override;

  const unsigned char* pbyGetRecord() const { return m_pbyRecord; }
  unsigned int nGetLength() const { return m_nLength; }
  const CNARecordMemo* pclGetMemoNoRef() const { return m_pclMemo; }

  // a's length of bytes at a's record address against the bytes at b's, unsigned: -1, 0 or 1
  // (every row of one cache has one record size, so b's length is not read).
  static int g_nCompare_CNARecordId_RecordValues(const void* a, const void* b);

 private:
  const unsigned char* m_pbyRecord;
  uint32_t m_nLength;
  const CNARecordMemo* m_pclMemo;
};

class CNARecordId_RowId : public CNARecordId {
 public:
  // Takes a reference on value.
  explicit CNARecordId_RowId(CNAConvertVariant* value);
  ~CNARecordId_RowId() override;

  eNA_RECORDIDTYPE eGetRecordIdType() const override { return NA_RECORDID_ROWID; }
  // Over a copy of this identifier's converter; null when it cannot be made.
  CNARecordId* pclGetClone(const CNARecordValue* value) const override;
  // Both NULL counts as equal.
  BOOL bEqualRecordId(CNARecordId* other) override;
  // This converter copies other's.
  BOOL bCopy(const CNARecordValue* value, CNARecordId* other) override;
  unsigned int nGetSerializedSize() const override;
  BOOL Serialize(unsigned char* buffer, unsigned int size) const override;
  // The converter takes the n bytes as its value.
  BOOL DeSerialize(const unsigned char* buffer, unsigned int size) override;
  uint32_t dwGetHashVal() const override;
  void RecordIdToString(CXYString<wchar_t>* out, const wchar_t* prefix, int flag) const override;
  void SetHashTableFct_SerializedObject(CHashTableBounce* table) const override;

  CNAConvertVariant* pclGetValueNoRef() const { return m_pclValue; }

  // The value bytes over the shorter size, unsigned; equal spans put the shorter form first.
  static int g_nCompare_CNARecordId_RowId(const void* a, const void* b);

 private:
  CNAConvertVariant* m_pclValue;
};
