// Row caches: the rows a statement has fetched (CNARecordCache), and the rows of saved
// positions and record saves of a data access (CNARecordCachePosition).
//
// A row is kept serialised: its record bytes in the row table and its identifier's serial form
// in the identifier table (CNABufferTable, blocks of 500 rows or 2 MiB, the sixth block onward
// twice as large), its memo set (CNARecordMemo, counted) in the memo list and its state word.
// Record bytes are kept short (CNAKeptRecord): up to the end of the last 4-byte word, counted
// from the record's start, that holds a non-zero byte; a read gives the zeros back. Only rows
// of the first row's record size are kept short; the first row of another size makes every row
// whole again (and indexes them anew) until SupprimeTout, so that a stored length always tells
// which size the row reads back into: the first row's (short rows), or its own (whole rows).
// The memo and state lists stop at their last row that has something to hold: rows past the
// memo list have no memo set, rows past the state list are in state none, so that rows fetched
// one after the other add nothing to either.
// The identifier map takes a serial form to its row index; its keys are the addresses of the
// serial forms inside the identifier blocks, which never move before SupprimeTout. For
// record-values identifiers (kind 1) the serial form names the row's bytes inside the row
// blocks, so two rows are the same row exactly when their record bytes are equal: while rows
// are kept short, the map compares forms as their bytes with the cut zeros given back (a short
// form and the whole record it came from are equal; their word sums, the map's hash, are equal
// as only zero words are cut), and a lookup over a record of another size finds nothing; once
// rows are whole, forms of other lengths are never equal.
//
// Rows appended are indexed later: a record-values row's identifier (made from its stored
// bytes alone) and every appended row's map entry wait until something needs them (a lookup,
// a change of another kind than an append, the identifier table asked for). Indexing then
// adds them in row order, so the tables and the map hold exactly what indexing each row as it
// came would have left: a browse read once from first to last pays for no index.
//
// Ownership: the cache owns its blocks, its memo sets (one reference each), its scratch buffer
// and a counted template value (a clone of the first value added: record buffer and
// identifier). It keeps no pointer to the values it is given.
//
// Rules every operation keeps:
// - Rows are never evicted; a deleted row (state bit 7) keeps its place and stays readable.
// - Lookups answer -1 and reads FALSE for rows outside the cache, empty entries and
//   identifiers of another kind than the first value's; nothing is raised here. A row that
//   cannot be stored for want of memory is kept empty, unreported.
// - Each row is in the map at most once, under its own serial form: removing or replacing a
//   row takes out its own entry, never that of another row with equal bytes.
// Everything here runs under the driver mutex.
#pragma once

#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "access/narecord.h"
#include "access/narecordid.h"
#include "common/hash_bounce.h"
#include "common/interf.h"
#include "common/refarray.h"
#include "common/tsimpletable.h"
#include "common/ttableau.h"
#include "driver/nahost.h"
#include "sql/nacommand.h"
#include "sql/nakjrecord.h"

// A CTSimpleTable whose blocks double once: when it holds exactly five blocks, the next and
// every later one get twice the rows and bytes. SupprimeTout goes back to the sizes it had
// before.
template <typename T>
class CNABufferTable : public CTSimpleTable<T> {
 public:
  using CTSimpleTable<T>::CTSimpleTable;

 protected:
  void _BeforeNewBlock() override {
    if (this->nGetBlockCount() != 5) return;
    this->m_nRowsPerBlock *= 2;
    this->m_nMaxBytes = this->m_nMaxBytes > 0x7FFFFFFFu ? 0xFFFFFFFFu : this->m_nMaxBytes * 2;
  }
};

// A record as a row table keeps it (common/tsimpletable.h hooks): its first kept bytes. The
// record is borrowed for the call that stores it.
class CNAKeptRecord {
 public:
  // Whole: all of its bytes; else those up to its last word holding a non-zero byte.
  CNAKeptRecord(const CNAKJRecord* record, bool whole)
      : m_pBytes(record->pbyGetNullValuesFlags()),
        m_nSize(record->nGetTotalSize()),
        m_nKept(whole ? m_nSize : s_nKeptSize(m_pBytes, m_nSize)) {}
  CNAKeptRecord(const unsigned char* bytes, unsigned int size) : m_pBytes(bytes), m_nSize(size), m_nKept(size) {}

  unsigned int _nGetDataSize() const { return m_nKept; }
  // Blocks are sized on whole records.
  unsigned int _nGetRoomSize() const { return m_nSize; }
  void _Serialize(void* out) const {
    if (m_nKept > 0) memcpy(out, m_pBytes, m_nKept);
  }

  // The bytes of size up to the end of the last 4-byte word (from bytes) holding a non-zero
  // one, size at most: a word sum over them is the sum over all.
  static unsigned int s_nKeptSize(const unsigned char* bytes, unsigned int size) {
    unsigned int end = size;
#if defined(__SSE2__)
    // 32 bytes a step: most of a row's tail is the zeros of its last text.
    const __m128i zero = _mm_setzero_si128();
    for (; end >= 32; end -= 32) {
      const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + end - 32));
      const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + end - 16));
      const unsigned int zeros =
          static_cast<unsigned int>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_or_si128(low, high), zero)));
      if (zeros == 0xFFFFu) continue;
      // Bit k: byte k of the 32 is not zero; the last such byte ends clz bits before end.
      const unsigned int set = ~(static_cast<unsigned int>(_mm_movemask_epi8(_mm_cmpeq_epi8(low, zero))) |
                                 static_cast<unsigned int>(_mm_movemask_epi8(_mm_cmpeq_epi8(high, zero))) << 16);
      return s_nRoundUp(end - static_cast<unsigned int>(__builtin_clz(set)), size);
    }
#endif
    for (; end >= 8; end -= 8) {
      uint64_t w;
      memcpy(&w, bytes + end - 8, 8);
      if (w != 0) {
        end -= static_cast<unsigned int>(__builtin_clzll(w)) / 8;
        break;
      }
    }
    if (end < 8)
      while (end > 0 && bytes[end - 1] == 0) --end;
    return s_nRoundUp(end, size);
  }

 private:
  // end up to a whole word, size at most.
  static unsigned int s_nRoundUp(unsigned int end, unsigned int size) {
    const unsigned int kept = (end + 3) & ~3u;
    return kept < size ? kept : size;
  }

  const unsigned char* m_pBytes;
  unsigned int m_nSize;
  unsigned int m_nKept;
};

class CNARecordCache : public CInterf {
 public:
  // Flags.
  static constexpr uint32_t kActive = 0x1;
  static constexpr uint32_t kFetchComplete = 0x8;
  static constexpr int kDefaultRowsPerBlock = 500;
  static constexpr unsigned int kDefaultBytesPerBlock = 0x200000;

  // Active, empty, blocks of 500 rows or 2 MiB.
  CNARecordCache();
  // Empties the cache (SupprimeTout), then frees the scratch buffer and the template.
  ~CNARecordCache() override;
  CNARecordCache(const CNARecordCache&) = delete;
  CNARecordCache& operator=(const CNARecordCache&) = delete;

  // ---- Virtual operations, in their slot order ----
  // Non-zero rows: rows per block and entry-list grow step of both tables, and the memo list's
  // grow step; non-zero bytes: bytes per block of both tables.
  virtual void SetGrowStep(int rows, int bytes);
  // _nAjoute(v): the new row's index, -1 when no row could be added. Inline below: a browse
  // appends every row it fetches.
  virtual int nAjoute(const CNARecordValue* v);
  // Removes row i (nothing for i past the end); the map's rows above i fall by one.
  virtual void Supprime(unsigned int i);
  // Clears fetch complete and empties everything (map, blocks, memo sets, states); the block
  // sizes go back to those of construction or SetGrowStep. The identifier kind and the
  // template stay.
  virtual void SupprimeTout();
  // Appends v as a new row (null v: an empty row in state 128); the first value fixes the
  // cache's identifier kind and makes the template.
  virtual int _nAjoute(const CNARecordValue* v);
  // The same, inserted at i (0 <= i <= count); the map's rows at or above i rise by one.
  virtual void _Insere(const CNARecordValue* v, unsigned int i);

  // ---- Rows ----
  // Whether v would be appended as its bytes alone: a row after the first, of record-values
  // identifiers (made later from the bytes alone), in state none, without memos, of the rows'
  // record size.
  bool bAppendsPlain(const CNARecordValue* v) const;
  // Past the end, empty deleted rows are appended up to i first; i = count appends v.
  void Insere(const CNARecordValue* v, unsigned int i);
  // Row i replaces v's record bytes, identifier (not a record-values one: v's own refers to its
  // bytes) and memo set. A v without record buffer first takes the template's. FALSE for i
  // past the end, an empty row, stored bytes of another size than v's record, or an empty
  // identifier entry when one is needed.
  BOOL bGetAt(CNARecordValue* v, unsigned int i);
  BOOL bGetAt(CNARecordValue* v, const CNARecordId* id);
  // Row i takes v (null: an empty row in state 128). Bytes and serial form are written in place
  // when they fit their old place, else stored anew; a memo set with entries is copied into
  // the row's, none leaves the row's as it is; the state is v's.
  void Update(unsigned int i, const CNARecordValue* v);
  // After a write: 3 inserts newValue (at index 0 with atHead) and answers its index; 2
  // replaces the row of oldValue's identifier; 4 marks it deleted (128); any other type only
  // finds it. The row index, -1 when not found.
  int nOnNotifyOperation(eNAQUERYTYPE type, CNARecordValue* newValue, CNARecordValue* oldValue, unsigned int,
                         int atHead);

  // ---- Lookups ----
  int nGetRecordIndice(const CNARecordId* id);
  int nGetRecordIndice(const CNARecordValue* v);
  BOOL bRecordInCache(unsigned int i) const {
    return i < static_cast<unsigned int>(nGetCount()) && !m_tabRecord.bIsEmpty(static_cast<int>(i)) ? TRUE : FALSE;
  }
  BOOL bMemoInCache(int i) const {
    return i >= 0 && i < m_tabMemo.nGetCount() && m_tabMemo[i] != nullptr ? TRUE : FALSE;
  }
  // Row i read into the template and compared with v (bytes, and memo sets with withMemos).
  BOOL bEquals(int i, const CNARecordValue* v, int withMemos);
  BOOL bEquals(int i, int j, int withMemos);

  // ---- States ----
  eNA_RECORDSTATE eGetRecordState(int i) const;
  BOOL _bRecordDeleted(int i) const;
  // Keeps the deleted count.
  void SetRecordState(int i, eNA_RECORDSTATE s);
  int nSetRecordState(CNARecordId* id, eNA_RECORDSTATE s);

  // ---- Browsing ----
  BOOL bEndehors(int i) const { return i < 0 || i >= nGetCount() ? TRUE : FALSE; }
  // Whether row i must still come from the server.
  BOOL bMustFetch(int i) const {
    if (!bIsActive()) return TRUE;
    if (i < 0) return FALSE;
    if (i >= nGetCount()) return bIsFetchComplete() ? FALSE : TRUE;
    return m_tabRecord.bIsEmpty(i);
  }
  // Only on an active cache.
  void SetFetchComplete();
  // The row n moves from start in direction d (first and last start before the first row and
  // after the last), skipping deleted rows; positions past the end count as rows; -1 before
  // the first row.
  long long nGetPosition(long long start, eNA_PARSEDIRECTION d, long long n) const {
    // Next over rows none of which is deleted, what a browse asks row after row, is a sum.
    if (d == NA_PARSE_NEXT && m_nDeleted == 0) return start + n < 0 ? -1 : start + n;
    return _nGetPosition(start, d, n);
  }

  int nGetCount() const { return m_tabRecord.nGetCount(); }
  // Room for rows rows in all in the row table's entries, when the caller knows how many will
  // come (the rows of a stored result): the list is then not grown and copied on the way.
  void Reserve(int rows) { m_tabRecord.Reserve(rows); }
  // Every row indexed first.
  const CNABufferTable<CNARecordId>& GetRecordIdTable() const {
    _IndexRows();
    return m_tabRecordId;
  }
  int nGetDeletedCount() const { return m_nDeleted; }
  uint32_t dwGetFlags() const { return m_dwFlags; }
  BOOL bIsActive() const { return (m_dwFlags & kActive) != 0 ? TRUE : FALSE; }
  BOOL bIsFetchComplete() const { return (m_dwFlags & kFetchComplete) != 0 ? TRUE : FALSE; }
  void SetActive(BOOL active) { m_dwFlags = active ? (m_dwFlags | kActive) : (m_dwFlags & ~kActive); }
  eNA_RECORDIDTYPE eGetRecordIdType() const { return m_eIdType; }
  const CNABufferTable<CNAKeptRecord>& GetRecordTable() const { return m_tabRecord; }
  // Whether rows are kept short (no row of another size than the first's came yet).
  BOOL bKeepsShortRows() const { return m_bWhole ? FALSE : TRUE; }

 protected:
  // Rows are kept whole from now on and after every SupprimeTout; before the first row only.
  void _AlwaysKeepWhole() { m_bWhole = m_bAlwaysWhole = true; }
  // Update; with memosFollow a v without memos leaves row i without memos too.
  void _Update(unsigned int i, const CNARecordValue* v, bool memosFollow);
  // Takes row i's own entry out of the map (every row indexed first).
  void _RemoveFromMap(int i);
  // Puts row i's serial form in the map under i.
  void _AddToMap(int i) const;
  // Adds delta to every row of the map at or above from (every row indexed first).
  void _ShiftMap(int from, int delta);
  // Rows not yet indexed get their deferred identifier and their map entry, in row order. A
  // deferred identifier that finds no room stops it there, to go on at the next call.
  void _IndexRows() const {
    if (m_nIndexed < nGetCount()) _IndexPendingRows();
  }

 private:
  long long _nGetPosition(long long start, eNA_PARSEDIRECTION d, long long n) const;
  // The first value's identifier kind, comparison and hash, and the template.
  void _TakeFirstValue(const CNARecordValue* v);
  // v takes the template's record buffer and identifier; its buffer, null when it cannot.
  CNAKJRecord* _pclTakeTemplate(CNARecordValue* v) const;
  // id, of another kind than record values, takes row i's serial form: only from a cache of
  // its kind.
  BOOL _bGetRowId(CNARecordId* id, int i) const;
  // The identifier of a row over its stored bytes (kind 1) or v's own; null when none is kept.
  const CNARecordId* _pclRowId(const CNARecordValue* v, int row, CNARecordId_RecordValues* scratch) const;
  // Row i's memo set copies v's (made when missing); FALSE without memory.
  BOOL _bCopyMemo(int i, const CNARecordMemo* memo);
  // Row i keeps no memo set.
  void _DropMemo(int i);
  // Row i, at or past the end of the state list, takes state s (the rows between in state
  // none); without memory the row stays in state none.
  void _PutState(int i, eNA_RECORDSTATE s);
  // Before record is stored: the first record fixes the rows' size; one of another size makes
  // every row whole first (_KeepWhole).
  void _Admit(const CNAKJRecord* record) {
    if (record == nullptr || m_bWhole) return;
    if (!m_bRowSized) {
      m_bRowSized = true;
      m_nRowSize = record->nGetTotalSize();
    } else if (record->nGetTotalSize() != m_nRowSize) {
      _KeepWhole();
    }
  }
  // Stores record for row i: appended ('a'), inserted at i ('i') or written over row i ('u');
  // a null record appends or inserts an empty row.
  void _StoreRow(int i, const CNAKJRecord* record, char how);
  // Every short row is stored whole again, the record-values rows indexed so far indexed anew
  // over their new bytes, and rows are kept whole from now on. A row that finds no memory to
  // be stored whole is left empty.
  void _KeepWhole();
  // record takes a stored row of size bytes: a short one only into a record of the rows' size,
  // the cut zeros given back; FALSE, record unchanged, for any other size.
  BOOL _bReadRow(CNAKJRecord* record, const unsigned char* bytes, unsigned int size) const {
    if (m_bWhole) return record->_Deserialize(bytes, size);
    // A short row's length is no record size: only the rows' size reads it.
    const unsigned int total = record->nGetTotalSize();
    if (total != m_nRowSize) return FALSE;
    if (size == total) return record->_Deserialize(bytes, size);
    unsigned char* to = record->pbyGetNullValuesFlags();
    if (size > total || to == nullptr) return FALSE;
    if (size > 0) memcpy(to, bytes, size);
    memset(to + size, 0, total - size);
    return TRUE;
  }
  // The map key of id: its serial form in the scratch buffer; null for another kind.
  const unsigned char* _pSerializeKey(const CNARecordId* id);
  void _IndexPendingRows() const;

  uint32_t m_dwFlags = kActive;
  CNABufferTable<CNAKeptRecord> m_tabRecord;
  // The first stored row's record size, and whether rows are kept whole (see the top).
  unsigned int m_nRowSize = 0;
  bool m_bRowSized = false;
  bool m_bWhole = false;
  // Rows are kept whole from the start (a cache whose rows are written over in place).
  bool m_bAlwaysWhole = false;
  CNARefArray<CNARecordMemo> m_tabMemo;
  CTTableau<eNA_RECORDSTATE> m_tabState;
  int m_nDeleted = 0;
  eNA_RECORDIDTYPE m_eIdType = NA_RECORDID_NONE;
  // Indexing fills these from the rows held: a const read may bring them up to date.
  mutable CNABufferTable<CNARecordId> m_tabRecordId;
  mutable CHashTableBounce m_clMap;
  // Rows below it have their identifier and their map entry.
  mutable int m_nIndexed = 0;
  unsigned char* m_pbyScratch = nullptr;
  unsigned int m_nScratchSize = 0;
  CNARecordValue* m_pclTemplate = nullptr;
};

class CNARecordCachePosition : public CNARecordCache {
 public:
  CNARecordCachePosition();
  ~CNARecordCachePosition() override;

  void SetGrowStep(int rows, int bytes) override;
  // Adds nothing: rows come through nKeepRecordSave. -1.
  int nAjoute(const CNARecordValue* v) override;
  void Supprime(unsigned int i) override;
  void SupprimeTout() override;
  // The base append with a count of 0.
  int _nAjoute(const CNARecordValue* v) override;
  void _Insere(const CNARecordValue* v, unsigned int i) override;

  // The row holding v: the row of v's identifier when it holds v's memos too (else another held
  // row equal to v, memos included); else the first free row (count 0) from the hint up,
  // overwritten with v (memos included: none when v has none); else v appended with count 0. No
  // reference is taken.
  int nKeepRecordSave(const CNARecordValue* v);
  void AddRefRecordSave(int i);
  // The count left. At 0 the row leaves the map (its place is reused by a later keep) and the
  // hint comes down to it. A row without reference stays at 0.
  int nReleaseRecordSave(int i);
  int nGetRefCount(int i) const { return i >= 0 && i < m_tabRef.nGetCount() ? m_tabRef[i] : 0; }
  // The first row with count 0 at or above the hint, which moves there; -1 (hint none) when
  // there is none.
  int _nGetFirstFreePos();

 private:
  static constexpr uint32_t kNoHint = 0xFFFFFFFFu;

  CTTableau<int> m_tabRef;
  uint32_t m_dwFirstFree = kNoHint;
};

inline bool CNARecordCache::bAppendsPlain(const CNARecordValue* v) const {
  if (v == nullptr || m_eIdType != NA_RECORDID_RECORDVALUES || m_pclTemplate == nullptr ||
      v->eGetState() != NA_RECORDSTATE_NONE ||
      (v->pclGetTabMemoNoRef() != nullptr && !v->pclGetTabMemoNoRef()->bEmpty()))
    return false;
  const CNAKJRecord* record = v->pclGetNAKJRecord();
  return record != nullptr && (m_bWhole || (m_bRowSized && record->nGetTotalSize() == m_nRowSize));
}

inline int CNARecordCache::nAjoute(const CNARecordValue* v) {
  // A plain row is only its bytes: they go to the end of the current block when it has room.
  // Anything else, or a block to start, goes the whole way.
  if (bAppendsPlain(v)) {
    const CNAKeptRecord kept(v->pclGetNAKJRecord(), m_bWhole);
    if (m_tabRecord.bAjouteInPlace(&kept)) return nGetCount() - 1;
  }
  return _nAjoute(v);
}

// Inline: every fetched row a browse re-reads comes through here.
inline BOOL CNARecordCache::bGetAt(CNARecordValue* v, unsigned int at) {
  if (v == nullptr || at >= static_cast<unsigned int>(nGetCount())) return FALSE;
  const int i = static_cast<int>(at);
  CNAKJRecord* record = v->pclGetNAKJRecord();
  if (record == nullptr && (record = _pclTakeTemplate(v)) == nullptr) return FALSE;
  // Bytes of another size are refused whole (_bReadRow), never copied over or past.
  unsigned int size = 0;
  const unsigned char* bytes = m_tabRecord.pGetElement(i, &size);
  if (bytes == nullptr || !_bReadRow(record, bytes, size)) return FALSE;
  // A record-values identifier names v's own bytes already.
  CNARecordId* id = v->pclGetRecordIdNoRef();
  if (id != nullptr && id->eGetKind() != NA_RECORDID_RECORDVALUES && !_bGetRowId(id, i)) return FALSE;
  const CNARecordMemo* memo = i < m_tabMemo.nGetCount() ? m_tabMemo[i] : nullptr;
  return memo == nullptr && v->pclGetTabMemoNoRef() == nullptr ? TRUE : v->bCopyTabMemoValue(memo);
}
