// The current record of a data access and its row values.
//
// CNARecord: the data access's columns (one per item of its description, in item order), its
// browse order, automatic-identifier and unique-key columns, composite unique keys, memo columns,
// and two row values: the current one the host reads and writes and the original one, the row as
// it was read. It holds a reference on each column in each of its lists, on its connection
// (given back through the driver), on its error object, on its record template and both values,
// and on the twin of its original (a statement's copy of the row, put off; see TakeOriginalTwin);
// it borrows its data access, which owns it.
//
// CNARecordValue: one row: a record buffer in the host's layout (counted), its memo values
// (CNARecordMemo, counted), its row identifier (counted) and a state word. Statements, row
// caches, saved positions and the table cache copy, share and compare them.
//
// CNARecordMemo: the memo values of one row, one entry per memo column of the record (an entry
// may be null: not held), and the server's own texts of the row's values that its record does not
// hold exactly (STServerText). A row value keeps no empty memo set.
//
// Failures: out of memory in a copy or clone raises the no-memory error on the value's (or the
// record's) error object and answers FALSE or null; the target keeps what it held before the part
// that failed. Everything here runs under the driver mutex; only the memo sets' and identifiers'
// counts are atomic.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "access/narecordid.h"
#include "common/interf.h"
#include "common/refarray.h"
#include "driver/nareadstamp.h"
#include "platform/qxunknown.h"
#include "platform/wintypes.h"
#include "sql/naconvertvariant.h"
#include "sql/nakjrecord.h"

class CAny;
class CColumnNullValueExcluded;
class CNAColumn;
class CNAConnectionDescription;
class CNADataAccess;
class CNADataSourceDescription;
class CNAError;
class CNAItemDescription;
class CNAKJRecord;
class CNARecordId;
class CSQLParserInfo;
class INADataSourceDescription;
class INAItemDescription;
template <typename T>
class CXYStringConcat;

// State word of a row value.
enum eNA_RECORDSTATE : int32_t {
  NA_RECORDSTATE_NONE = 0,
  NA_RECORDSTATE_DELETED = 128,
};

class CNARecordMemo : public CQXUnknown {
 public:
  // A value of the row that its record holds otherwise than the server does (a character the
  // host's page has no place for, a text cut to its item, a NUL ending a fixed text, fraction
  // digits the item drops): where the row must be named again, it is named by the server's text.
  // Lost: the server's text had lost the character already (a '?' from a page connection), so
  // nothing names the row exactly.
  struct STServerText {
    unsigned int nPhysical = 0;
    bool bLost = false;
    // How the text is written as a literal (an eNASERVERTEXT).
    uint8_t nKind = 0;
    std::string sText;
    bool operator==(const STServerText&) const = default;
  };

  // The entry of a row with a lost text holding every text the server sent for the row (each a
  // byte 0 for NULL or 1, a 32-bit length, the bytes): such a row is found again by them alone.
  static constexpr unsigned int kRowTexts = 0xFFFFFFFFu;

  CNARecordMemo() : m_tabValue(1) {}

  int nGetCount() const { return m_tabValue.nGetCount(); }
  // Neither a memo entry nor a server text.
  bool bEmpty() const { return m_tabValue.nGetCount() == 0 && m_tabServerText.empty(); }
  bool bHasServerTexts() const { return !m_tabServerText.empty(); }
  // The server's text of the item at physical, or null when the record holds it exactly.
  const STServerText* pGetServerText(unsigned int physical) const {
    for (const STServerText& t : m_tabServerText)
      if (t.nPhysical == physical) return &t;
    return nullptr;
  }
  // Keeps the server's text of the item at physical (replacing one kept). FALSE without memory.
  BOOL bSetServerText(unsigned int physical, const char* text, size_t length, bool lost, int kind);
  void ClearServerTexts() { m_tabServerText.clear(); }
  // Drops the server's text of the item at physical; true when one was kept.
  bool bForgetServerText(unsigned int physical);
  // Entry i (no reference); null past the count.
  CNAConvertVariant* pclGetAt(int i) const { return i >= 0 && i < nGetCount() ? m_tabValue[i] : nullptr; }
  // Entry i holds value with a reference (null entries appended up to i), the former released.
  BOOL bShareAt(int i, CNAConvertVariant* value);
  // An existing entry i copies value in place; otherwise a copy of value (none for null) becomes
  // entry i. FALSE when the copy fails.
  BOOL bCopyMemoValue(int i, const CNAConvertVariant* value);
  // Copies source's entries (none for null); entries of this set past them become NULL.
  BOOL bCopyRecordMemo(const CNARecordMemo* source);

  // The same object, or entry by entry equal (an entry past a set's count, or of a null set,
  // is absent; absent and NULL are equal).
  static BOOL g_bEqualsNARecordMemo(const CNARecordMemo* a, const CNARecordMemo* b);

 private:
  // Room up to index i; FALSE without memory.
  BOOL _bExtendTo(int i);

  CRefArray<CNAConvertVariant> m_tabValue;
  std::vector<STServerText> m_tabServerText;
};

// Parts of a row value to copy.
enum eCOPYFLAGS : int32_t {
  NA_COPY_RECORD = 1,
  NA_COPY_MEMO = 2,
  NA_COPY_RECORDID = 4,
  NA_COPY_ALL = -1,
};

class CNARecordValue : public CInterf {
 public:
  // Takes a count on error, or on a new one from the driver when none is given.
  explicit CNARecordValue(CNAError* error);
  // Releases the identifier, the memo set, the buffer and the error object, in that order.
  ~CNARecordValue() override;
  CNARecordValue(const CNARecordValue&) = delete;
  CNARecordValue& operator=(const CNARecordValue&) = delete;

  CNAKJRecord* pclGetNAKJRecord() const { return m_pclRecord; }
  CNARecordMemo* pclGetTabMemoNoRef() const { return m_pclMemo; }
  CNARecordId* pclGetRecordIdNoRef() const { return m_pclRecordId; }
  eNA_RECORDSTATE eGetState() const { return m_eState; }
  void SetState(eNA_RECORDSTATE state) { m_eState = state; }
  CNAError* pclGetErrorNoRef() const { return m_pclError; }

  // Takes a copy of record (without a buffer yet) or copies its bytes into the buffer held (the
  // same layout only).
  BOOL bCopyNAKJRecord(const CNAKJRecord* record);
  BOOL bCopyTabMemoValue(const CNARecordMemo* memo);
  // Copies id into the identifier held, or takes id's clone for this value.
  BOOL bCopyRecordID(CNARecordId* id);
  // The state word, then the parts asked for; the first part that fails ends it with FALSE. An
  // identifier is copied only from a source that has one.
  BOOL bCopyRecordValue(const CNARecordValue* source, int flags);
  // A new value (not referenced) on the same error object holding the parts asked for.
  CNARecordValue* pclGetClone(int flags) const;
  // Keeps id (null allowed) with a reference, the former released. TRUE.
  BOOL bShareRecordID(CNARecordId* id);
  // Keeps memo with a reference when it holds an entry; drops the set held. TRUE.
  BOOL bShareTabMemoValue(CNARecordMemo* memo);
  // Entry i holds value with a reference (the set made when missing). FALSE without memory.
  BOOL bShareMemoValue(int i, CNAConvertVariant* value);
  // Entry i holds a copy of value.
  BOOL bCopyMemoValue(int i, CNAConvertVariant* value);
  CNAConvertVariant* pclGetMemoValueNoRef(int i) const;
  // With a reference for the caller.
  CNAConvertVariant* pclGetMemoValue(int i) const;
  // out = entry i's value, or NULL without one.
  BOOL bGetMemoValue(CAny* out, int i) const;
  // out = the item's value, or NULL of the item's host type when it is not defined. TRUE.
  BOOL bGetItemValue(CAny* out, INAItemDescription* item) const;
  // Equal buffers, and with withMemos equal memo sets.
  BOOL bEquals(const CNARecordValue* other, int withMemos) const;
  // The server's text of the item at physical, kept when the buffer does not hold the row's
  // value exactly; null otherwise.
  const CNARecordMemo::STServerText* pGetServerText(unsigned int physical) const {
    return m_pclMemo != nullptr && m_pclMemo->bHasServerTexts() ? m_pclMemo->pGetServerText(physical) : nullptr;
  }
  bool bHasServerTexts() const { return m_pclMemo != nullptr && m_pclMemo->bHasServerTexts(); }
  // Keeps the server's text of the item at physical (the memo set made when missing). FALSE
  // without memory.
  BOOL bSetServerText(unsigned int physical, const char* text, size_t length, bool lost, int kind);
  // A new row's values come: the texts of the row before go (and the memo set with them when
  // nothing else is in it).
  void ClearServerTexts() {
    if (bHasServerTexts()) _ClearServerTexts();
  }
  // The item at physical was written: the server holds what the buffer holds, and the row's
  // texts taken whole (kRowTexts) no longer are the server's.
  [[gnu::noinline]] void ForgetWrittenServerText(unsigned int physical);

 private:
  friend class CNARecord;
  // bCopyRecordValue's body, in line where every row read is copied.
  BOOL _bCopyRecordValue(const CNARecordValue* source, int flags);
  // Whether _bCopyRecordValue of source, all parts, is only its state, its buffer's bytes and the
  // identifier's view of them: buffers of one layout, no memo set on either side, this value's
  // identifier of the record-values kind when source has one.
  [[gnu::always_inline]] bool _bPlainCopyFrom(const CNARecordValue* source) const {
    const CNAKJRecord* to = m_pclRecord;
    const CNAKJRecord* from = source->m_pclRecord;
    if (source == this || to == nullptr || from == nullptr || m_pclMemo != nullptr || source->m_pclMemo != nullptr ||
        to->nGetTotalSize() != from->nGetTotalSize() || to->nGetFlagFieldSize() != from->nGetFlagFieldSize())
      return false;
    return source->m_pclRecordId == nullptr ||
           (m_pclRecordId != nullptr && m_pclRecordId->eGetKind() == NA_RECORDID_RECORDVALUES);
  }
  void _NoMemory() const;
  // Makes the memo set when there is none; FALSE without memory.
  BOOL _bHaveMemo();
  void _ClearServerTexts();

  CNAError* m_pclError = nullptr;
  CNAKJRecord* m_pclRecord = nullptr;
  CNARecordMemo* m_pclMemo = nullptr;
  CNARecordId* m_pclRecordId = nullptr;
  eNA_RECORDSTATE m_eState = NA_RECORDSTATE_NONE;
};

class CNARecord : public CInterf {
 public:
  // An empty record: no column, no buffer. Takes a count on error; borrows access.
  CNARecord(CNAError* error, CNADataAccess* access);
  ~CNARecord() override;
  CNARecord(const CNARecord&) = delete;
  CNARecord& operator=(const CNARecord&) = delete;

  // ---- Virtual operations, in their slot order ----
  // The first column whose item name is name, case and accents ignored; null when none.
  virtual CNAColumn* pclGetColumnNoRef(const wchar_t* name) const;
  // Buffers from desc, then a column per item, the composite keys' components and the browse
  // order. A description without items raises user error 1 (its logical name). A column that
  // fails ends it with FALSE: the columns made stay, no composite key or order is built.
  virtual BOOL bInitRecord(INADataSourceDescription* desc, CNADataSourceDescription* imported,
                           CNAConnectionDescription* cnx);
  // The current value is marked deleted.
  virtual void SetDeleted();
  // The driver's column for item (not referenced); null when it makes none.
  virtual CNAColumn* _pclAllocColumn(CNAError* error, INAItemDescription* item);

  // ---- Columns ----
  // Makes, lists and initialises one column; vbInit's answer (the column stays listed when it
  // fails). FALSE when none is made.
  BOOL bAddColumn(INAItemDescription* item, CNAItemDescription* imported);
  // Releases every column of the column list, last first.
  void DeleteAllColumn();
  int nGetNbColumn() const { return m_tabColumn.nGetCount(); }
  // Moves with every column added or dropped: a reader that kept columns knows them stale.
  // Unique among records (one counter for all).
  unsigned int nGetColumnStamp() const { return m_nColumnStamp; }
  // Moves whenever any record's column stamp does: no record's columns changed while it stays.
  static unsigned int s_nColumnStampNow() { return CNAReadStamp::nNow(); }
  // Null outside 0..count-1.
  CNAColumn* pclGetColumnNoRef(int i) const { return i >= 0 && i < m_tabColumn.nGetCount() ? m_tabColumn[i] : nullptr; }
  // Table source: the column at the item's physical index when it is the item's (a composite key,
  // which has no physical place, by name). Query source: the column of the same
  // name in source and source table (its item name too, else the last such one), or of the same
  // item name when either lacks those. Null when none.
  CNAColumn* pclGetColumnNoRef(INAItemDescription* item) const;
  CNAColumn* pclGetNAColumnIdentityNoRef() const;
  CNAColumn* pclGetColumnIDAutoNoRef() const { return m_pclColumnIDAuto; }
  CNAColumn* pclGetUniqueKeyNoRef() const { return m_pclUniqueKey; }
  // A unique column whose value is defined: the unique key, else the first order column, else
  // the first unique column; null when none.
  CNAColumn* pclGetUniqueKeyNotNullNoRef() const;
  int nGetNbColumnOrder() const { return m_tabColumnOrder.nGetCount(); }
  CNAColumn* pclGetColumnOrderNoRef(int i) const;
  const CRefArray<CNAColumn>* pclGetTabColumnMemo() const { return &m_tabColumnMemo; }
  int nGetNbComposedKey() const { return m_tabComposedKey.nGetCount(); }
  CNAColumn* pclGetComposedKeyNoRef(int i) const;

  // ---- Buffers and values ----
  // The current value's buffer (borrowed).
  CNAKJRecord* pclGetNAKJRecord() const { return m_pclCurrent != nullptr ? m_pclCurrent->pclGetNAKJRecord() : nullptr; }
  // The original value and its buffer, the twin first given its copy (see below): whoever gets
  // them may change them.
  CNAKJRecord* pclGetOriginalNAKJRecord() const;
  CNAKJRecord* pclGetTemplateNoRef() const { return m_pclTemplate; }
  CNARecordValue* pclGetCurrentValueNoRef() const { return m_pclCurrent; }
  // The value whose server texts name the row that the current buffer's values stand for: the
  // current value, or the one set while its buffer is lent to the current value.
  const CNARecordValue* pclGetNamingValueNoRef() const { return m_pclNamedBy != nullptr ? m_pclNamedBy : m_pclCurrent; }
  void SetNamedBy(const CNARecordValue* value) { m_pclNamedBy = value; }
  CNARecordValue* pclGetOriginalValueNoRef() const {
    _EndOriginalTwin();
    return m_pclOriginal;
  }
  BOOL bOriginalSet() const { return m_bOriginalSet; }
  // The original value names no row read until the next copy into it.
  void ForgetOriginal() { m_bOriginalSet = 0; }
  BOOL bEquals(const CNARecordValue* value, int withMemos) const;
  BOOL bCopyToCurrentRecord(const CNARecordValue* value);
  BOOL bCopyOriginalRecordToCurrentRecord();
  // The twin, if any, gets its copy first.
  BOOL bCopyCurrentRecordToOriginalRecord();
  // The same copy in line when it is a plain one (CNARecordValue::_bPlainCopyFrom), every row of a
  // browse's; false, nothing done, otherwise.
  [[gnu::always_inline]] bool bCopyPlainCurrentToOriginal() {
    CNARecordValue* to = m_pclOriginal;
    const CNARecordValue* from = m_pclCurrent;
    if (to == nullptr || from == nullptr || !to->_bPlainCopyFrom(from)) return false;
    _EndOriginalTwin();
    _CopyPlain(to, from);
    return true;
  }
  // Whether that copy is a plain one of a current value in no state while value is the twin: the
  // copy may then be made with the twin kept (CopyPlainCurrentToTwinnedOriginal). Only the record
  // notes that the copy was found plain.
  [[gnu::always_inline]] bool bPlainCopyKeepsTwin(const CNARecordValue* value) const {
    if (value == nullptr || value != m_pclOriginalTwin) return false;
    const CNARecordValue* from = m_pclCurrent;
    // Found plain before, and no buffer, memo set or identifier of a value changed since: the
    // copy's parts are asked once, not at every row; only the current value's state is asked
    // (the values found are there till both are forgotten).
    const unsigned int now = CNAKJRecord::s_nLayoutsNow();
    if (m_nPlainCopyFound != 0 && m_nPlainCopyFound == now) return from->m_eState == NA_RECORDSTATE_NONE;
    if (from == nullptr || from->m_eState != NA_RECORDSTATE_NONE) return false;
    const CNARecordValue* to = m_pclOriginal;
    if (to == nullptr || !to->_bPlainCopyFrom(from)) return false;
    _NotePlainCopy(to, from);
    m_nPlainCopyFound = now;
    return true;
  }
  // The copy once bPlainCopyKeepsTwin held: the twin stays, standing now for the row copied (what
  // bDetachOriginalTwin, the copy and TakeOriginalTwin of the same value leave). _CopyPlain made
  // from the parts noted with the finding, which nothing changed since; the state copied is
  // none, the only one the finding lets through.
  [[gnu::always_inline]] void CopyPlainCurrentToTwinnedOriginal() {
    _CopyPlainParts(m_pclOriginal, m_stPlainCopy, NA_RECORDSTATE_NONE);
  }

  // ---- A statement's row as read, kept here until one of the two copies changes ----
  // A row read copies the row into the original value and into its statement's own value; the
  // second copy is put off: value becomes the twin, whose content is the original value's as it
  // stands, held here (one reference). The twin gets its copy before the original can change or
  // leave this record: every accessor of the original above, bCopyCurrentRecordToOriginalRecord,
  // the buffers' remaking, another twin taken. Readers of the twin's value ask EndOriginalTwin
  // first. The copy cannot fail: value must be of the original's layout, and neither may hold a
  // memo set or a row identifier other than the record-values kind (see bTwinFits).
  // held: the caller gives the reference it holds (from bDetachOriginalTwin), else one is taken.
  [[gnu::always_inline]] void TakeOriginalTwin(CNARecordValue* value, bool held) {
    if (value == m_pclOriginalTwin) {
      if (held) value->nRelease();
      return;
    }
    _EndOriginalTwin();
    if (!held) value->AddRef();
    m_pclOriginalTwin = value;
  }
  // Whether value may become the twin of a copy of source into the original value: the three of
  // one layout, no memo set among them, value and the original with identifiers of the
  // record-values kind. A twin keeps all of that but source's part (the original and the twin
  // change only after the twin got its copy).
  // In line: its caller's own checks of the same values fold into it.
  inline BOOL bTwinFits(const CNARecordValue* value, const CNARecordValue* source) const;
  // value stops being the twin without its copy (its owner gives it another content), its
  // reference handed to the caller; false, nothing done, when value is not the twin.
  bool bDetachOriginalTwin(CNARecordValue* value) {
    if (value == nullptr || value != m_pclOriginalTwin) return false;
    m_pclOriginalTwin = nullptr;
    return true;
  }
  // value stops being the twin without its copy, its reference released.
  void DropOriginalTwin(CNARecordValue* value) {
    if (bDetachOriginalTwin(value)) value->nRelease();
  }
  // value stops being the twin and gets its copy; nothing when value is not the twin.
  void EndOriginalTwin(CNARecordValue* value) {
    if (value != nullptr && value == m_pclOriginalTwin) _EndOriginalTwin();
  }
  CNARecordValue* pclGetOriginalTwinNoRef() const { return m_pclOriginalTwin; }
  // The original value as it stands, the twin left as it is: for comparisons by the twin's owner.
  const CNARecordValue* pclPeekOriginalValueNoRef() const { return m_pclOriginal; }
  // Copies record into the current buffer, then the converters' NULL flags follow it.
  BOOL bSetNAKJRecord(const CNAKJRecord* record);
  void OnNAKJRecordChanged();
  // v becomes the current value's memo entry of column (shared). TRUE for a column that is no
  // memo column.
  BOOL bShareCurrentRecordMemoValue(CNAColumn* column, CNAConvertVariant* value);
  // Makes the three buffers again from desc, then rebinds every column; the first FALSE ends it.
  BOOL bUpdateChangedTypeInCurrentRecord(INADataSourceDescription* desc);
  // TRUE when the first n (at least 2) columns of list, the last just added, complete a composite
  // unique key that cannot be NULL: not nullable on the server, or a component known not NULL
  // (by excluded when given, else by its value).
  BOOL bComposedKeyUniqueNotNullAdded(const CRefArray<CNAColumn>* list, int n, CColumnNullValueExcluded* excluded);
  // out = the row identifier, the defined bits and each column's value up to the first
  // composite key, one line each.
  void CurrentRecordToString(CXYStringConcat<wchar_t>* out) const;

  // ---- Source ----
  // Rows read just before this one with the same bytes (kept by the statement that read it).
  int nGetEqualRows() const { return m_nEqualRows; }
  void SetEqualRows(int n) { m_nEqualRows = n; }
  CNAConnectionDescription* pclGetConnectionNoRef() const { return m_pclConnection; }
  CNADataAccess* pclGetDataAccessNoRef() const { return m_pclDataAccess; }
  CNAError* pclGetErrorNoRef() const { return m_pclError; }
  // The data access's logical name; "" without one.
  const wchar_t* pszGetTableName() const;
  CSQLParserInfo* pclGetSourceQueryNoRef() const;
  BOOL bSourceIsQuery() const;

 protected:
  // Replaces the connection (a reference taken, the former one given back).
  void _SetConnection(CNAConnectionDescription* cnx);
  BOOL _bAllocRecordsBuffer(INADataSourceDescription* desc);
  void _FreeRecordsBuffer();
  void _InitOrderBy();
  // Appends c (a composite key: its components) to the order while the connection's limit allows.
  void _AddColumnOrder(CNAColumn* c);
  void _SetOrderAlone(CNAColumn* c);
  void _NoMemory() const;

 private:
  // The twin, if any, gets its copy of the original and is released.
  void _EndOriginalTwin() const {
    if (m_pclOriginalTwin != nullptr) _GiveTwinItsCopy();
  }
  void _GiveTwinItsCopy() const;
  // What _CopyPlain of from into to reads besides the state: the original's bytes, the current's
  // (null: nothing to copy), their size, the original's identifier to point at them.
  struct STPlainCopy {
    BYTE* to = nullptr;
    const BYTE* from = nullptr;
    unsigned int total = 0;
    CNARecordId_RecordValues* id = nullptr;
  };
  [[gnu::always_inline]] static STPlainCopy s_stPlainCopyOf(const CNARecordValue* to, const CNARecordValue* from) {
    const CNAKJRecord* record = to->m_pclRecord;
    const unsigned int total = record->nGetTotalSize();
    return {record->pbyGetNullValuesFlags(),
            record != from->m_pclRecord && total > 0 ? from->m_pclRecord->pbyGetNullValuesFlags() : nullptr, total,
            static_cast<CNARecordId_RecordValues*>(from->m_pclRecordId != nullptr ? to->m_pclRecordId : nullptr)};
  }
  // Kept for the copies that follow while m_nPlainCopyFound stays current.
  [[gnu::always_inline]] void _NotePlainCopy(const CNARecordValue* to, const CNARecordValue* from) const {
    m_stPlainCopy = s_stPlainCopyOf(to, from);
  }
  // The copy from its parts, all read before the first store (the stores may alias the sizes).
  [[gnu::always_inline]] void _CopyPlainParts(CNARecordValue* to, const STPlainCopy& noted, eNA_RECORDSTATE state) {
    const STPlainCopy parts = noted;
    m_bOriginalSet = 1;
    to->m_eState = state;
    // The flags open the buffer: its bytes are the flags' on.
    if (parts.from != nullptr) s_CopyRecordBytes(parts.to, parts.from, parts.total);
    if (parts.id != nullptr) parts.id->TakeView(parts.to, parts.total, nullptr);
  }
  // memcpy of two distinct buffers, in line up to 128 bytes (a record of a few short columns):
  // blocks of 16 from both ends, overlapping in the middle (a record of one short key, past 64
  // bytes, takes one block more).
  [[gnu::always_inline]] static void s_CopyRecordBytes(BYTE* to, const BYTE* from, unsigned int n) {
    if (n < 16 || n > 128) {
      memcpy(to, from, n);
      return;
    }
    if (n > 64) {
      _CopyBlocks16<4>(to, from);
      if (n > 80)
        _CopyBlocks16<4>(to + n - 64, from + n - 64);
      else
        _CopyBlocks16<1>(to + n - 16, from + n - 16);
    } else if (n > 32) {
      _CopyBlocks16<2>(to, from);
      _CopyBlocks16<2>(to + n - 32, from + n - 32);
    } else {
      _CopyBlocks16<1>(to, from);
      _CopyBlocks16<1>(to + n - 16, from + n - 16);
    }
  }
  // One move of 16 bytes a block (a memcpy of more is a string move, one count a byte).
  template <unsigned int kBlocks>
  [[gnu::always_inline]] static void _CopyBlocks16(BYTE* to, const BYTE* from) {
    memcpy(to, from, 16);
    if constexpr (kBlocks > 1) _CopyBlocks16<kBlocks - 1>(to + 16, from + 16);
  }
  // from's state and bytes into to, their copy a plain one (CNARecordValue::_bPlainCopyFrom).
  [[gnu::always_inline]] void _CopyPlain(CNARecordValue* to, const CNARecordValue* from) {
    const STPlainCopy parts = s_stPlainCopyOf(to, from);
    _CopyPlainParts(to, parts, from->m_eState);
  }

  CNAError* m_pclError = nullptr;
  CNADataAccess* m_pclDataAccess;
  CNAConnectionDescription* m_pclConnection = nullptr;
  CRefArray<CNAColumn> m_tabColumn;
  unsigned int m_nColumnStamp = CNAReadStamp::nMove();
  CNAColumn* m_pclColumnIDAuto = nullptr;
  CNAColumn* m_pclUniqueKey = nullptr;
  CNAKJRecord* m_pclTemplate = nullptr;
  CNARecordValue* m_pclOriginal = nullptr;
  CNARecordValue* m_pclCurrent = nullptr;
  const CNARecordValue* m_pclNamedBy = nullptr;
  // A statement's value whose content is the original's (one reference); null for none.
  mutable CNARecordValue* m_pclOriginalTwin = nullptr;
  int32_t m_bOriginalSet = 0;
  int m_nEqualRows = 0;
  // CNAKJRecord::s_nLayoutsNow when the original and current values were last found to copy
  // plainly (bPlainCopyKeepsTwin); 0: not known. Forgotten with the values.
  mutable unsigned int m_nPlainCopyFound = 0;
  // _NotePlainCopy's parts, right while m_nPlainCopyFound is current.
  mutable STPlainCopy m_stPlainCopy;
  CRefArray<CNAColumn> m_tabColumnOrder;
  CRefArray<CNAColumn> m_tabColumnMemo;
  CRefArray<CNAColumn> m_tabComposedKey;
};

[[gnu::always_inline]] inline BOOL CNARecord::bTwinFits(const CNARecordValue* value, const CNARecordValue* source) const {
  if (value == nullptr || source == nullptr || m_pclOriginal == nullptr) return FALSE;
  const CNAKJRecord* to = value->pclGetNAKJRecord();
  const CNAKJRecord* from = source->pclGetNAKJRecord();
  const CNAKJRecord* original = m_pclOriginal->pclGetNAKJRecord();
  if (to == nullptr || from == nullptr || original == nullptr) return FALSE;
  auto sameLayout = [from](const CNAKJRecord* r) {
    return r->nGetTotalSize() == from->nGetTotalSize() && r->nGetFlagFieldSize() == from->nGetFlagFieldSize();
  };
  if (!sameLayout(to) || !sameLayout(original)) return FALSE;
  if (value->pclGetTabMemoNoRef() != nullptr || source->pclGetTabMemoNoRef() != nullptr ||
      m_pclOriginal->pclGetTabMemoNoRef() != nullptr)
    return FALSE;
  // An identifier of this kind points at its own value's bytes whatever it is copied from; the
  // source's plays no part.
  const CNARecordId* ids[] = {value->pclGetRecordIdNoRef(), m_pclOriginal->pclGetRecordIdNoRef()};
  for (const CNARecordId* id : ids)
    if (id == nullptr || id->eGetKind() != NA_RECORDID_RECORDVALUES) return FALSE;
  return TRUE;
}
