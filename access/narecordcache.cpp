#include "access/narecordcache.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

namespace {

constexpr unsigned int kMapSize = 7;
constexpr int kMemoGrowStep = 100;
constexpr int kStateGrowStep = 100;

void* RowValue(int row) { return reinterpret_cast<void*>(static_cast<intptr_t>(row)); }
int RowOf(const void* value) { return static_cast<int>(reinterpret_cast<intptr_t>(value)); }

bool HasMemos(const CNARecordValue* v) {
  const CNARecordMemo* memo = v != nullptr ? v->pclGetTabMemoNoRef() : nullptr;
  return memo != nullptr && !memo->bEmpty();
}

bool Deleted(eNA_RECORDSTATE s) { return (s & NA_RECORDSTATE_DELETED) != 0; }

// Record-values serial forms of short rows: equal when their bytes are, each given back the
// zeros cut from it up to the longer one's length; else ordered as those bytes.
int CompareKeptForms(const void* a, const void* b) {
  uint32_t la, lb;
  uint64_t ra, rb;
  memcpy(&la, static_cast<const unsigned char*>(a) + 4, 4);
  memcpy(&lb, static_cast<const unsigned char*>(b) + 4, 4);
  memcpy(&ra, static_cast<const unsigned char*>(a) + 8, 8);
  memcpy(&rb, static_cast<const unsigned char*>(b) + 8, 8);
  const auto* pa = reinterpret_cast<const unsigned char*>(static_cast<uintptr_t>(ra));
  const auto* pb = reinterpret_cast<const unsigned char*>(static_cast<uintptr_t>(rb));
  if (la == lb) {
    const int c = pa == pb || la == 0 ? 0 : memcmp(pa, pb, la);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  const uint32_t common = la < lb ? la : lb;
  const int c = common > 0 ? memcmp(pa, pb, common) : 0;
  if (c != 0) return c < 0 ? -1 : 1;
  const unsigned char* rest = la > lb ? pa : pb;
  const uint32_t longer = la > lb ? la : lb;
  uint32_t k = common;
  for (uint64_t w; k + 8 <= longer; k += 8) {
    memcpy(&w, rest + k, 8);
    if (w != 0) return la > lb ? 1 : -1;
  }
  for (; k < longer; ++k)
    if (rest[k] != 0) return la > lb ? 1 : -1;
  return 0;
}

// Record-values serial forms of whole rows, which may be of several sizes: equal when their
// lengths and bytes are (the kind's own comparison reads the first form's length of both).
int CompareWholeForms(const void* a, const void* b) {
  uint32_t la, lb;
  memcpy(&la, static_cast<const unsigned char*>(a) + 4, 4);
  memcpy(&lb, static_cast<const unsigned char*>(b) + 4, 4);
  if (la != lb) return la < lb ? -1 : 1;
  return CNARecordId_RecordValues::g_nCompare_CNARecordId_RecordValues(a, b);
}

}  // namespace

// ================================================================ CNARecordCache

CNARecordCache::CNARecordCache()
    : m_tabRecord(kDefaultRowsPerBlock, kDefaultBytesPerBlock),
      m_tabMemo(kMemoGrowStep),
      m_tabState(kStateGrowStep),
      m_tabRecordId(kDefaultRowsPerBlock, kDefaultBytesPerBlock),
      m_clMap(kMapSize) {}

CNARecordCache::~CNARecordCache() {
  CNARecordCache::SupprimeTout();
  free(m_pbyScratch);
  if (m_pclTemplate != nullptr) m_pclTemplate->nRelease();
}

void CNARecordCache::SetGrowStep(int rows, int bytes) {
  const unsigned int b = bytes > 0 ? static_cast<unsigned int>(bytes) : 0;
  m_tabRecord.SetGrowStep(rows, b);
  m_tabRecordId.SetGrowStep(rows, b);
  if (rows > 0) m_tabMemo.SetGrowStep(rows);
}

void CNARecordCache::_TakeFirstValue(const CNARecordValue* v) {
  const CNARecordId* id = v->pclGetRecordIdNoRef();
  if (m_eIdType == NA_RECORDID_NONE && id != nullptr) {
    m_eIdType = id->eGetRecordIdType();
    id->SetHashTableFct_SerializedObject(&m_clMap);
    if (m_eIdType == NA_RECORDID_RECORDVALUES) m_clMap.SetCmp(m_bWhole ? CompareWholeForms : CompareKeptForms);
  }
  if (m_pclTemplate == nullptr) {
    m_pclTemplate = v->pclGetClone(NA_COPY_RECORD | NA_COPY_RECORDID);
    if (m_pclTemplate != nullptr) m_pclTemplate->AddRef();
  }
}

const CNARecordId* CNARecordCache::_pclRowId(const CNARecordValue* v, int row,
                                             CNARecordId_RecordValues* scratch) const {
  if (m_eIdType == NA_RECORDID_RECORDVALUES) {
    unsigned int size = 0;
    const unsigned char* bytes = m_tabRecord.pGetElement(row, &size);
    // A row without bytes has no identity of its own.
    if (bytes == nullptr) return nullptr;
    const CNARecordMemo* memo = row < m_tabMemo.nGetCount() ? m_tabMemo[row] : nullptr;
    *scratch = CNARecordId_RecordValues(bytes, size, memo);
    return scratch;
  }
  // A form of another kind would be read by this kind's comparison.
  const CNARecordId* id = v != nullptr ? v->pclGetRecordIdNoRef() : nullptr;
  return id != nullptr && id->eGetKind() == m_eIdType ? id : nullptr;
}

void CNARecordCache::_DropMemo(int i) {
  if (i >= m_tabMemo.nGetCount() || m_tabMemo[i] == nullptr) return;
  CNARecordMemo* memo = m_tabMemo[i];
  m_tabMemo[i] = nullptr;
  m_tabMemo._Release(memo);
}

BOOL CNARecordCache::_bCopyMemo(int i, const CNARecordMemo* memo) {
  while (m_tabMemo.nGetCount() <= i)
    if (m_tabMemo.Ajoute(nullptr) == nullptr) return FALSE;
  if (m_tabMemo[i] == nullptr) {
    CNARecordMemo* fresh = new (std::nothrow) CNARecordMemo();
    if (fresh == nullptr) return FALSE;
    fresh->AddRef();
    m_tabMemo[i] = fresh;
  }
  return m_tabMemo[i]->bCopyRecordMemo(memo);
}

int CNARecordCache::_nAjoute(const CNARecordValue* v) {
  if (v != nullptr) _Admit(v->pclGetNAKJRecord());
  const int row = nGetCount();
  // Only the first value, and values until one brings an identifier, have anything to give.
  if (v != nullptr && (m_pclTemplate == nullptr || m_eIdType == NA_RECORDID_NONE)) _TakeFirstValue(v);
  // A record-values identifier is made from the stored bytes alone: it can wait. The kind, once
  // set, stays, so rows still waiting are all of this kind.
  const bool deferred = m_eIdType == NA_RECORDID_RECORDVALUES;
  const eNA_RECORDSTATE state = v != nullptr ? v->eGetState() : NA_RECORDSTATE_DELETED;
  // Every list gets its slot before anything is written, so that none is left one short (a row
  // in state none needs none in the state list).
  const bool stated = state != NA_RECORDSTATE_NONE;
  if (stated) m_tabState.AgranditMemoire(row + 1 - m_tabState.nGetCount());
  if (!m_tabRecord.bMakeRoom() || (!deferred && !m_tabRecordId.bMakeRoom()) ||
      (stated && m_tabState.nGetCapacity() <= row))
    return -1;
  _StoreRow(row, v != nullptr ? v->pclGetNAKJRecord() : nullptr, 'a');
  if (HasMemos(v)) _bCopyMemo(row, v->pclGetTabMemoNoRef());
  if (!deferred) {
    CNARecordId_RecordValues scratch(nullptr, 0, nullptr);
    m_tabRecordId.bAjoute(v != nullptr ? _pclRowId(v, row, &scratch) : nullptr);
  }
  if (stated) _PutState(row, state);
  return row;
}

void CNARecordCache::_IndexPendingRows() const {
  for (; m_nIndexed < nGetCount(); ++m_nIndexed) {
    const int row = m_nIndexed;
    if (m_tabRecordId.nGetCount() == row) {
      if (!m_tabRecordId.bMakeRoom()) return;
      CNARecordId_RecordValues scratch(nullptr, 0, nullptr);
      m_tabRecordId.bAjoute(_pclRowId(nullptr, row, &scratch));
    }
    _AddToMap(row);
  }
}

void CNARecordCache::_Insere(const CNARecordValue* v, unsigned int at) {
  const int count = nGetCount();
  if (at > static_cast<unsigned int>(count)) return;
  if (v != nullptr) _Admit(v->pclGetNAKJRecord());
  _IndexRows();
  const int i = static_cast<int>(at);
  const bool memoShifts = m_tabMemo.nGetCount() > i;
  const eNA_RECORDSTATE state = v != nullptr ? v->eGetState() : NA_RECORDSTATE_DELETED;
  // Rows past the state list are in state none: the list moves only when it reaches row i, and
  // grows only for a state to keep.
  const bool stateShifts = m_tabState.nGetCount() > i;
  const int stateNeed = stateShifts ? m_tabState.nGetCount() + 1 : state != NA_RECORDSTATE_NONE ? i + 1 : 0;
  m_tabState.AgranditMemoire(stateNeed - m_tabState.nGetCount());
  if (memoShifts) m_tabMemo.AgranditMemoire(1);
  if (!m_tabRecord.bMakeRoom() || !m_tabRecordId.bMakeRoom() || m_tabState.nGetCapacity() < stateNeed ||
      (memoShifts && m_tabMemo.nGetCapacity() <= m_tabMemo.nGetCount()))
    return;
  // The rows from i on move up one, in the map as in the lists.
  _ShiftMap(i, 1);
  if (v != nullptr) _TakeFirstValue(v);
  _StoreRow(i, v != nullptr ? v->pclGetNAKJRecord() : nullptr, 'i');
  if (memoShifts) {
    m_tabMemo.Insere(nullptr, i);
    if (v != nullptr) _bCopyMemo(i, v->pclGetTabMemoNoRef());
  } else if (HasMemos(v)) {
    _bCopyMemo(i, v->pclGetTabMemoNoRef());
  }
  CNARecordId_RecordValues scratch(nullptr, 0, nullptr);
  m_tabRecordId.bInsere(v != nullptr ? _pclRowId(v, i, &scratch) : nullptr, i);
  if (stateShifts) {
    m_tabState.Insere(state, i);
    if (Deleted(state)) ++m_nDeleted;
  } else if (state != NA_RECORDSTATE_NONE) {
    _PutState(i, state);
  }
  _AddToMap(i);
  if (m_nIndexed >= i) ++m_nIndexed;
}

void CNARecordCache::Insere(const CNARecordValue* v, unsigned int i) {
  while (static_cast<unsigned int>(nGetCount()) < i) {
    const int before = nGetCount();
    nAjoute(nullptr);
    // A cache that takes no row this way (the position cache) takes none at i either.
    if (nGetCount() == before) return;
  }
  if (i == static_cast<unsigned int>(nGetCount()))
    nAjoute(v);
  else
    _Insere(v, i);
}

void CNARecordCache::Supprime(unsigned int at) {
  if (at >= static_cast<unsigned int>(nGetCount())) return;
  const int i = static_cast<int>(at);
  _RemoveFromMap(i);
  _ShiftMap(i + 1, -1);
  m_tabRecord.Supprime(i);
  m_tabRecordId.Supprime(i);
  if (m_nIndexed > i) --m_nIndexed;
  if (m_tabMemo.nGetCount() > i) m_tabMemo.SupprimeRef(i);
  if (m_tabState.nGetCount() > i) {
    if (Deleted(m_tabState[i])) --m_nDeleted;
    m_tabState.Supprime(i, 1);
  }
}

void CNARecordCache::SupprimeTout() {
  m_dwFlags &= ~kFetchComplete;
  m_clMap.DeleteAll(kMapSize);
  m_tabRecord.SupprimeTout();
  m_tabRecordId.SupprimeTout();
  m_tabMemo.SupprimeTout();
  m_tabState.SupprimeToutEtLibere();
  m_nDeleted = 0;
  m_nIndexed = 0;
  m_bRowSized = false;
  m_nRowSize = 0;
  if (m_bWhole && !m_bAlwaysWhole && m_eIdType == NA_RECORDID_RECORDVALUES) m_clMap.SetCmp(CompareKeptForms);
  m_bWhole = m_bAlwaysWhole;
}

void CNARecordCache::_StoreRow(int i, const CNAKJRecord* record, char how) {
  if (record == nullptr) {
    if (how == 'a') m_tabRecord.bAjoute(nullptr);
    if (how == 'i') m_tabRecord.bInsere(nullptr, i);
    return;
  }
  const CNAKeptRecord kept(record, m_bWhole || record->nGetTotalSize() != m_nRowSize);
  if (how == 'a')
    m_tabRecord.bAjoute(&kept);
  else if (how == 'i')
    m_tabRecord.bInsere(&kept, i);
  else
    m_tabRecord.bSetAt(i, &kept);
}

void CNARecordCache::_KeepWhole() {
  m_bWhole = true;
  auto* whole = static_cast<unsigned char*>(malloc(m_nRowSize > 0 ? m_nRowSize : 1));
  for (int i = 0; i < nGetCount(); ++i) {
    unsigned int size = 0;
    const unsigned char* bytes = m_tabRecord.pGetElement(i, &size);
    if (bytes == nullptr || size == m_nRowSize) continue;
    if (whole == nullptr) {
      m_tabRecord.SetEmpty(i);
      continue;
    }
    memcpy(whole, bytes, size);
    memset(whole + size, 0, m_nRowSize - size);
    const CNAKeptRecord all(whole, m_nRowSize);
    m_tabRecord.bSetAt(i, &all);
  }
  free(whole);
  // The identifiers of record-values rows named the short forms: those indexed so far are made
  // again, in row order, over the whole bytes; the rows still waiting will be over them anyway.
  if (m_eIdType != NA_RECORDID_RECORDVALUES) return;
  m_clMap.DeleteAll(kMapSize);
  m_clMap.SetCmp(CompareWholeForms);
  for (int row = 0; row < m_nIndexed && row < m_tabRecordId.nGetCount(); ++row) {
    CNARecordId_RecordValues scratch(nullptr, 0, nullptr);
    const CNARecordId* id = _pclRowId(nullptr, row, &scratch);
    if (id == nullptr || !m_tabRecordId.bSetAt(row, id)) m_tabRecordId.SetEmpty(row);
    _AddToMap(row);
  }
}

void CNARecordCache::Update(unsigned int at, const CNARecordValue* v) { _Update(at, v, false); }

void CNARecordCache::_Update(unsigned int at, const CNARecordValue* v, bool memosFollow) {
  if (at >= static_cast<unsigned int>(nGetCount())) return;
  const int i = static_cast<int>(at);
  if (v != nullptr) _Admit(v->pclGetNAKJRecord());
  _RemoveFromMap(i);
  if (v == nullptr) {
    m_tabRecord.SetEmpty(i);
    m_tabRecordId.SetEmpty(i);
    SetRecordState(i, NA_RECORDSTATE_DELETED);
    return;
  }
  _TakeFirstValue(v);
  const CNAKJRecord* record = v->pclGetNAKJRecord();
  if (record != nullptr)
    _StoreRow(i, record, 'u');
  else
    m_tabRecord.SetEmpty(i);
  if (HasMemos(v))
    _bCopyMemo(i, v->pclGetTabMemoNoRef());
  else if (memosFollow)
    _DropMemo(i);
  CNARecordId_RecordValues scratch(nullptr, 0, nullptr);
  const CNARecordId* id = _pclRowId(v, i, &scratch);
  if (id != nullptr)
    m_tabRecordId.bSetAt(i, id);
  else
    m_tabRecordId.SetEmpty(i);
  _AddToMap(i);
  SetRecordState(i, v->eGetState());
}

int CNARecordCache::nOnNotifyOperation(eNAQUERYTYPE type, CNARecordValue* newValue, CNARecordValue* oldValue,
                                       unsigned int, int atHead) {
  if (type == NA_QUERY_INSERT) {
    if (!atHead) return nAjoute(newValue);
    Insere(newValue, 0);
    return 0;
  }
  const int i = nGetRecordIndice(oldValue);
  if (i < 0) return -1;
  if (type == NA_QUERY_UPDATE)
    Update(static_cast<unsigned int>(i), newValue);
  else if (type == NA_QUERY_DELETE && !_bRecordDeleted(i))
    SetRecordState(i, NA_RECORDSTATE_DELETED);
  return i;
}

// ---------------------------------------------------------------- map

void CNARecordCache::_AddToMap(int i) const {
  const unsigned char* form = m_tabRecordId.pGetElement(i, nullptr);
  if (form != nullptr) m_clMap.bAddElement(const_cast<unsigned char*>(form), RowValue(i));
}

void CNARecordCache::_RemoveFromMap(int i) {
  _IndexRows();
  const unsigned char* mine = m_tabRecordId.pGetElement(i, nullptr);
  if (mine == nullptr) return;
  // Rows with equal forms share one key: take the key's entries out, newest first, until this
  // row's own comes out, then put the others back in their order.
  std::vector<std::pair<void*, void*>> others;
  for (;;) {
    void *value = nullptr, *stored = nullptr;
    m_clMap.bDeleteElement(mine, &value, &stored);
    if (stored == nullptr || stored == mine) break;
    others.emplace_back(stored, value);
  }
  for (auto it = others.rbegin(); it != others.rend(); ++it) m_clMap.bAddElement(it->first, it->second);
}

void CNARecordCache::_ShiftMap(int from, int delta) {
  _IndexRows();
  unsigned int cursor = 0;
  void* value = nullptr;
  while (m_clMap.bParseTable(&cursor, 0, &value, nullptr))
    if (RowOf(value) >= from) m_clMap.bParseSetElement(cursor, RowValue(RowOf(value) + delta), nullptr);
}

const unsigned char* CNARecordCache::_pSerializeKey(const CNARecordId* id) {
  if (id == nullptr || m_eIdType == NA_RECORDID_NONE || id->eGetKind() != m_eIdType) return nullptr;
  const unsigned int size = id->nGetSerializedSize();
  if (size > m_nScratchSize) {
    auto* grown = static_cast<unsigned char*>(realloc(m_pbyScratch, size));
    if (grown == nullptr) return nullptr;
    m_pbyScratch = grown;
    m_nScratchSize = size;
  }
  return id->Serialize(m_pbyScratch, size) ? m_pbyScratch : nullptr;
}

int CNARecordCache::nGetRecordIndice(const CNARecordId* id) {
  // Short rows are all of one size: a record of another is none of them.
  if (!m_bWhole && m_bRowSized && id != nullptr && id->eGetKind() == NA_RECORDID_RECORDVALUES &&
      static_cast<const CNARecordId_RecordValues*>(id)->nGetLength() != m_nRowSize)
    return -1;
  _IndexRows();
  const unsigned char* key = _pSerializeKey(id);
  void* value = nullptr;
  return key != nullptr && m_clMap.bGetElement(key, &value, nullptr) ? RowOf(value) : -1;
}

int CNARecordCache::nGetRecordIndice(const CNARecordValue* v) {
  return v != nullptr ? nGetRecordIndice(v->pclGetRecordIdNoRef()) : -1;
}

// ---------------------------------------------------------------- reads

CNAKJRecord* CNARecordCache::_pclTakeTemplate(CNARecordValue* v) const {
  if (m_pclTemplate == nullptr || !v->bCopyRecordValue(m_pclTemplate, NA_COPY_RECORD | NA_COPY_RECORDID)) return nullptr;
  return v->pclGetNAKJRecord();
}

BOOL CNARecordCache::_bGetRowId(CNARecordId* id, int i) const {
  return id->eGetKind() == m_eIdType && m_tabRecordId.bGetAt(i, id) ? TRUE : FALSE;
}

BOOL CNARecordCache::bGetAt(CNARecordValue* v, const CNARecordId* id) {
  const int i = nGetRecordIndice(id);
  return i >= 0 ? bGetAt(v, static_cast<unsigned int>(i)) : FALSE;
}

BOOL CNARecordCache::bEquals(int i, const CNARecordValue* v, int withMemos) {
  if (i < 0 || m_pclTemplate == nullptr || !bGetAt(m_pclTemplate, static_cast<unsigned int>(i))) return FALSE;
  return m_pclTemplate->bEquals(v, withMemos);
}

BOOL CNARecordCache::bEquals(int i, int j, int withMemos) {
  if (i < 0 || j < 0 || m_pclTemplate == nullptr || !bGetAt(m_pclTemplate, static_cast<unsigned int>(i)))
    return FALSE;
  CNARecordValue* first = m_pclTemplate->pclGetClone(NA_COPY_ALL);
  if (first == nullptr) return FALSE;
  first->AddRef();
  const BOOL equal = bGetAt(m_pclTemplate, static_cast<unsigned int>(j)) && m_pclTemplate->bEquals(first, withMemos);
  first->nRelease();
  return equal;
}

// ---------------------------------------------------------------- states and moves

eNA_RECORDSTATE CNARecordCache::eGetRecordState(int i) const {
  return i >= 0 && i < m_tabState.nGetCount() ? m_tabState[i] : NA_RECORDSTATE_NONE;
}

BOOL CNARecordCache::_bRecordDeleted(int i) const { return Deleted(eGetRecordState(i)) ? TRUE : FALSE; }

void CNARecordCache::SetRecordState(int i, eNA_RECORDSTATE s) {
  if (i < 0 || i >= nGetCount()) return;
  if (i >= m_tabState.nGetCount()) {
    if (s != NA_RECORDSTATE_NONE) _PutState(i, s);
    return;
  }
  m_nDeleted += (Deleted(s) ? 1 : 0) - (Deleted(m_tabState[i]) ? 1 : 0);
  m_tabState[i] = s;
}

void CNARecordCache::_PutState(int i, eNA_RECORDSTATE s) {
  const eNA_RECORDSTATE none = NA_RECORDSTATE_NONE;
  if (m_tabState.Etend(i, s, none) != nullptr && Deleted(s)) ++m_nDeleted;
}

int CNARecordCache::nSetRecordState(CNARecordId* id, eNA_RECORDSTATE s) {
  const int i = nGetRecordIndice(id);
  if (i >= 0) SetRecordState(i, s);
  return i;
}

void CNARecordCache::SetFetchComplete() {
  if (bIsActive()) m_dwFlags |= kFetchComplete;
}

long long CNARecordCache::_nGetPosition(long long start, eNA_PARSEDIRECTION d, long long n) const {
  const long long count = nGetCount();
  bool forward = true;
  switch (d) {
    case NA_PARSE_LAST:
      start = count;
      forward = false;
      break;
    case NA_PARSE_NEXT:
      break;
    case NA_PARSE_PREVIOUS:
      forward = false;
      break;
    default:
      start = -1;
      break;
  }
  if (m_nDeleted == 0) {
    const long long target = forward ? start + n : start - n;
    return target < 0 ? -1 : target;
  }
  if (n <= 0) return start < 0 ? -1 : start;
  long long i = start;
  if (forward) {
    for (long long counted = 0; counted < n;) {
      // Past the last row every position counts: the rest is a sum.
      if (i >= count - 1) return i + (n - counted);
      ++i;
      if (!_bRecordDeleted(static_cast<int>(i))) ++counted;
    }
    return i;
  }
  if (start < 0) return -1;
  for (long long counted = 0; counted < n;) {
    if (--i < 0) return -1;
    if (i >= count || !_bRecordDeleted(static_cast<int>(i))) ++counted;
  }
  return i;
}

// ================================================================ CNARecordCachePosition

// A released row is written over by the next save: kept whole, every row fits the place of any
// other, where short rows of growing lengths would each take new bytes until SupprimeTout.
CNARecordCachePosition::CNARecordCachePosition() : m_tabRef(kDefaultRowsPerBlock) { _AlwaysKeepWhole(); }

CNARecordCachePosition::~CNARecordCachePosition() = default;

void CNARecordCachePosition::SetGrowStep(int rows, int bytes) {
  if (rows > 0) m_tabRef.SetGrowStep(rows);
  CNARecordCache::SetGrowStep(rows, bytes);
}

int CNARecordCachePosition::nAjoute(const CNARecordValue*) { return -1; }

void CNARecordCachePosition::Supprime(unsigned int) {}

void CNARecordCachePosition::_Insere(const CNARecordValue*, unsigned int) {}

void CNARecordCachePosition::SupprimeTout() {
  m_tabRef.SupprimeToutEtLibere();
  m_dwFirstFree = kNoHint;
  CNARecordCache::SupprimeTout();
}

int CNARecordCachePosition::_nAjoute(const CNARecordValue* v) {
  m_tabRef.AgranditMemoire(1);
  if (m_tabRef.nGetCapacity() <= m_tabRef.nGetCount()) return -1;
  const int row = CNARecordCache::_nAjoute(v);
  if (row >= 0) m_tabRef.Ajoute(0);
  return row;
}

int CNARecordCachePosition::nKeepRecordSave(const CNARecordValue* v) {
  if (v == nullptr) return -1;
  const int cached = nGetRecordIndice(v);
  if (cached >= 0) {
    // Identifiers do not tell memos apart: the row found, or another held row of the same bytes,
    // must hold v's memos too, else v is kept in a row of its own.
    if (bEquals(cached, v, 1)) return cached;
    for (int i = 0; i < nGetCount(); ++i)
      if (i != cached && m_tabRef[i] > 0 && bEquals(i, v, 1)) return i;
  }
  const int reuse = _nGetFirstFreePos();
  if (reuse >= 0) {
    // The freed row's memos were its former save's: they go with it.
    _Update(static_cast<unsigned int>(reuse), v, true);
    return reuse;
  }
  return _nAjoute(v);
}

void CNARecordCachePosition::AddRefRecordSave(int i) {
  if (i >= 0 && i < m_tabRef.nGetCount()) ++m_tabRef[i];
}

int CNARecordCachePosition::nReleaseRecordSave(int i) {
  if (i < 0 || i >= m_tabRef.nGetCount() || m_tabRef[i] <= 0) return 0;
  if (--m_tabRef[i] > 0) return m_tabRef[i];
  if (static_cast<uint32_t>(i) < m_dwFirstFree) m_dwFirstFree = static_cast<uint32_t>(i);
  _RemoveFromMap(i);
  return 0;
}

int CNARecordCachePosition::_nGetFirstFreePos() {
  for (uint32_t k = m_dwFirstFree; k != kNoHint && k < static_cast<uint32_t>(m_tabRef.nGetCount()); ++k)
    if (m_tabRef[static_cast<int>(k)] == 0) {
      m_dwFirstFree = k;
      return static_cast<int>(k);
    }
  m_dwFirstFree = kNoHint;
  return -1;
}
