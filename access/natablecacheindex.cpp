#include "access/natablecacheindex.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "access/narecord.h"
#include "access/narecordcache.h"
#include "common/membtree.h"
#include "driver/naerror.h"
#include "sql/nacolumn.h"
#include "sql/naitemtype.h"
#include "sql/nastatement.h"
#include "values/any.h"
#include "values/any_operators.h"
#include "values/convertkey.h"

namespace {

// No folding: keys order by code unit.
constexpr unsigned short kKeyOptions = 0x2800;
// The length a binary item's key ends with.
constexpr unsigned int kLengthBytes = 2;

int CompareKeys(const void* a, const void* b, unsigned int size) { return memcmp(a, b, size); }

// Row numbers as numbers, so that equal keys keep row order (bytes of little-endian numbers
// would put row 256 before row 1).
int CompareRows(const void* a, const void* b, unsigned int) {
  int x, y;
  memcpy(&x, a, sizeof x);
  memcpy(&y, b, sizeof y);
  return x < y ? -1 : (x > y ? 1 : 0);
}

void NoMemory(CNAError* error) {
  if (error != nullptr) error->pclGetXError()->SetErrorNoMemory();
}

bool IsStateZero(const CNARecordCache* cache, int row) { return cache->eGetRecordState(row) == NA_RECORDSTATE_NONE; }

bool bOtherTextWidth(unsigned short a, unsigned short b) {
  return (g_bIsZVTextAnsi(a) && g_bIsZVTextWide(b)) || (g_bIsZVTextWide(a) && g_bIsZVTextAnsi(b));
}

// The key bytes the characters of value, a text of host type zv, take before the key's padding:
// a UTF-16 unit two, a narrow byte one. -1 for a value of another type, a date or a time.
long TextKeyBytes(const CAny& value, unsigned short zv) {
  if (!g_bIsZVText(zv) || zv == ZV_DATEA || zv == ZV_TIMEA || zv == ZV_DATEW || zv == ZV_TIMEW) return -1;
  CAny text(value);
  if (text.wGetType() != zv && (text.__nCastTo(zv, nullptr, 1) > 99 || text.wGetType() != zv)) return -1;
  void* data = nullptr;
  unsigned int size = 0;
  if (text.bIsNull() || text.Intern()->nGetUtilDataSize(&size) != 0) return -1;
  if (size == 0 || text.Intern()->nGetDataAdr(&data) != 0 || data == nullptr) return 0;
  if (!g_bIsZVTextWide(zv)) return static_cast<long>(size);
  long bytes = 0;
  const wchar_t* w = static_cast<const wchar_t*>(data);
  for (unsigned int i = 0; i < size / sizeof(wchar_t); ++i) bytes += static_cast<uint32_t>(w[i]) > 0xFFFF ? 4 : 2;
  return bytes;
}

}  // namespace

// ================================================================ CIndexItem

CIndexItem::CIndexItem(CNAError* error, CNAStatement* statement, CNARecordCache* cache, CNAColumn* column)
    : m_pclError(error), m_pclCache(cache), m_pclColumn(column), m_pclStatement(statement) {}

CIndexItem::~CIndexItem() {
  if (m_pclScratch != nullptr) m_pclScratch->nRelease();
}

CNARecordValue* CIndexItem::_pclScratch() {
  if (m_pclScratch == nullptr) {
    m_pclScratch = new (std::nothrow) CNARecordValue(m_pclError);
    if (m_pclScratch != nullptr) m_pclScratch->AddRef();
  }
  return m_pclScratch;
}

BOOL CIndexItem::_bGetRecordValue(CAny* a, int row) {
  CNARecordValue* v = _pclScratch();
  if (v == nullptr || row < 0 || !m_pclCache->bGetAt(v, static_cast<unsigned int>(row))) return FALSE;
  return v->bGetMemoValue(a, m_pclColumn->nGetMemoIndice());
}

BOOL CIndexItem::_bGetItemValue(CAny* a, int row) {
  CNARecordValue* v = _pclScratch();
  if (v == nullptr || row < 0 || !m_pclCache->bGetAt(v, static_cast<unsigned int>(row))) return FALSE;
  return v->bGetItemValue(a, m_pclColumn->piGetItemNoRef());
}

BOOL CIndexItem::_bGetDataAdr(const unsigned char** data, unsigned int* size, const CAny* a) {
  *data = nullptr;
  *size = 0;
  if (a->bIsNull() || a->wGetType() == ZV_VIDE) return TRUE;
  void* p = nullptr;
  unsigned int n = 0;
  // The useful size: a text's terminator is no byte of its value, so "" is empty.
  if (a->Intern()->nGetUtilDataSize(&n) != 0 || a->Intern()->nGetDataAdr(&p) != 0) return FALSE;
  if (n > 0) {
    *data = static_cast<const unsigned char*>(p);
    *size = n;
  }
  return TRUE;
}

BOOL CIndexItem::_bCompareValues(int* cmp, int row, const unsigned char* key, unsigned int keySize, bool prefix) {
  CAny value;
  const unsigned char* data;
  unsigned int size;
  if (!_bGetRecordValue(&value, row) || !_bGetDataAdr(&data, &size, &value)) return FALSE;
  if (prefix && (keySize == 0 || (size >= keySize && memcmp(data, key, keySize) == 0))) {
    *cmp = 0;
    return TRUE;
  }
  if (size == 0 || keySize == 0) {
    *cmp = size == 0 ? (keySize == 0 ? 0 : -1) : 1;
    return TRUE;
  }
  int c = 0;
  if (g_bIsZVTextWide(value.wGetType())) {
    // A wide text by its characters: the bytes of its 4-byte units, least significant first, do
    // not order them.
    for (unsigned int at = 0; c == 0 && at + sizeof(uint32_t) <= size && at + sizeof(uint32_t) <= keySize;
         at += sizeof(uint32_t)) {
      uint32_t a, b;
      memcpy(&a, data + at, sizeof a);
      memcpy(&b, key + at, sizeof b);
      c = a < b ? -1 : a > b ? 1 : 0;
    }
  } else {
    c = memcmp(data, key, size < keySize ? size : keySize);
  }
  *cmp = c != 0 ? (c < 0 ? -1 : 1) : (size == keySize ? 0 : (size < keySize ? -1 : 1));
  return TRUE;
}

unsigned short CIndexItem::_eGetTypeZV() const { return m_pclColumn->eGetZVType(); }

const CAny* CIndexItem::_pclGetSearchValue() const {
  if (m_pclStatement == nullptr) return nullptr;
  const CAny* value = m_pclStatement->pclGetUserSearch()->pclGetValue();
  return value->wGetType() != ZV_VIDE ? value : nullptr;
}

// ================================================================ CIndexFixedSizeItem

CIndexFixedSizeItem::~CIndexFixedSizeItem() {
  delete m_pclTree;
  free(m_pbyKey);
}

void CIndexFixedSizeItem::_MakeKey(const CAny* value) {
  // Key types that write no byte must not leave the previous key behind.
  memset(m_pbyKey, 0, m_nKeySize);
  const unsigned int bytes = m_bKeyLength ? m_nKeySize - kLengthBytes : m_nKeySize;
  CConvertKey::nConvertKeyAndGetSize(const_cast<CAny*>(value), m_pbyKey, bytes, _eGetTypeZV(), kKeyOptions,
                                     m_pclColumn->nGetIntegerPart(), m_pclColumn->nGetDecimalPart());
  if (!m_bKeyLength) return;
  unsigned int length = 0;
  if (value->bIsNull() || value->Intern()->nGetDataSize(&length) >= 100) length = 0;
  length = std::min(length, 0xFFFFu);
  m_pbyKey[bytes] = static_cast<unsigned char>(length >> 8);
  m_pbyKey[bytes + 1] = static_cast<unsigned char>(length);
}

void CIndexFixedSizeItem::_MakeSearchKey(const CAny* search, bool last) {
  const bool prefix = (m_pclStatement->pclGetUserSearch()->dwGetFlags() & CNAUserSearch::kPrefix) != 0;
  CAny held;
  const CAny* value = m_pclColumn->bSoughtAsHeld(search, &held, prefix ? NA_SAMEVALUE_PREFIX : 0) ? &held : search;
  _MakeKey(value);
  if (!prefix || !last) return;
  // Every key that starts with the text lies at or below the text followed by the highest bytes.
  const long bytes = TextKeyBytes(*value, _eGetTypeZV());
  const unsigned int room = m_bKeyLength ? m_nKeySize - kLengthBytes : m_nKeySize;
  if (bytes >= 0 && static_cast<unsigned long>(bytes) < room)
    memset(m_pbyKey + bytes, 0xFF, room - static_cast<unsigned int>(bytes));
}

int CIndexFixedSizeItem::_nReadRow() const {
  const void* value = m_pclTree->pReadValue();
  if (value == nullptr) return -1;
  int row;
  memcpy(&row, value, sizeof row);
  return row;
}

BOOL CIndexFixedSizeItem::bInit() {
  m_pclTree = new (std::nothrow) CMemBTree();
  unsigned int size = CKJConvertKey::nCalculateKeySize(_eGetTypeZV(), m_pclColumn->nGetLogicalSize());
  m_bKeyLength = m_pclColumn->eNAGetItemType() == NA_IT_BINAIRE;
  if (m_bKeyLength) size += kLengthBytes;
  if (size > kMaxKeySize) size = kMaxKeySize;
  if (m_bKeyLength && size <= kLengthBytes) m_bKeyLength = false;
  m_pbyKey = size > 0 ? static_cast<unsigned char*>(malloc(size)) : nullptr;
  if (m_pclTree == nullptr || (size > 0 && m_pbyKey == nullptr)) {
    NoMemory(m_pclError);
    return FALSE;
  }
  m_nKeySize = size;
  if (!m_pclTree->bInit(m_nKeySize, sizeof(int), CompareKeys, CompareRows, 0)) return FALSE;
  for (int row = 0; row < m_pclCache->nGetCount(); ++row)
    if (IsStateZero(m_pclCache, row) && !bInsertRecord(row, nullptr)) return FALSE;
  return TRUE;
}

BOOL CIndexFixedSizeItem::_bMakeRowKey(int row, const CAny* value) {
  CAny own;
  if (value == nullptr) {
    if (!_bGetItemValue(&own, row)) return FALSE;
    value = &own;
  }
  _MakeKey(value);
  return TRUE;
}

BOOL CIndexFixedSizeItem::bInsertRecord(int row, CAny* value) {
  return m_pclTree != nullptr && _bMakeRowKey(row, value) && m_pclTree->bInsert(m_pbyKey, &row) ? TRUE : FALSE;
}

BOOL CIndexFixedSizeItem::bDeleteRecord(int row, CAny* value) {
  if (m_pclTree == nullptr || !_bMakeRowKey(row, value)) return FALSE;
  m_pclTree->bDelete(m_pbyKey, &row);
  return TRUE;
}

BOOL CIndexFixedSizeItem::bGetRecordPosition(eNA_PARSEDIRECTION d, int n, int* row, unsigned int* dupIndex) {
  *row = -1;
  if (dupIndex != nullptr) *dupIndex = 0;
  if (m_pclTree == nullptr || m_pclTree->nGetNumRecord() == 0) return TRUE;
  const CAny* search = _pclGetSearchValue();
  int move = 0;
  switch (d) {
    case NA_PARSE_FIRST:
      if (search != nullptr) {
        _MakeSearchKey(search, false);
        if (m_pclTree->pSearch(m_pbyKey, 0) == nullptr) return TRUE;
      } else {
        m_pclTree->GotoFirstRecord();
      }
      move = n - 1;
      break;
    case NA_PARSE_LAST:
      if (search != nullptr) {
        _MakeSearchKey(search, true);
        if (m_pclTree->pSearch(m_pbyKey, 2) == nullptr) return TRUE;
      } else {
        m_pclTree->MoveTo(m_pclTree->nGetNumRecord() - 1);
      }
      move = 1 - n;
      break;
    case NA_PARSE_NEXT:
      move = n;
      break;
    case NA_PARSE_PREVIOUS:
      move = -n;
      break;
    default:
      break;
  }
  int moved = 0;
  if (move != 0 && !m_pclTree->bAdvance(move, &moved, 0)) return TRUE;
  *row = _nReadRow();
  if (*row >= 0 && dupIndex != nullptr && m_pclTree->nNumDuplicates() > 1) *dupIndex = _nCountEqualBefore(*row);
  return TRUE;
}

unsigned int CIndexFixedSizeItem::_nCountEqualBefore(int row) {
  const std::vector<unsigned char> key(static_cast<const unsigned char*>(m_pclTree->pReadKey()),
                                       static_cast<const unsigned char*>(m_pclTree->pReadKey()) + m_nKeySize);
  const unsigned int most = static_cast<unsigned int>(m_pclTree->nNumDuplicates());
  unsigned int count = 0;
  int moved;
  while (count < most && m_pclTree->bAdvance(-1, &moved, 0)) {
    const int before = _nReadRow();
    if (before < 0 || !m_pclCache->bEquals(before, row, 1)) break;
    ++count;
  }
  m_pclTree->bFindRecord(key.data(), &row);
  return count;
}

int CIndexFixedSizeItem::nGetCurrentRecordId() { return m_pclTree != nullptr ? _nReadRow() : -1; }

int CIndexFixedSizeItem::nGetRecordNbr() { return m_pclTree != nullptr ? m_pclTree->nGetNumRecord() : 0; }

int CIndexFixedSizeItem::nGetPreviousRecordNbr() {
  int moved = 0;
  if (m_pclTree == nullptr || !m_pclTree->bAdvance(0, &moved, 4)) return 0;
  if (m_pclTree->pReadValue() == nullptr) return m_pclTree->nGetNumRecord();  // at the end
  if (!m_pclTree->bAdvance(-INT_MAX, &moved, 2)) return 0;
  int back;
  m_pclTree->bAdvance(-moved, &back, 0);
  return -moved;
}

BOOL CIndexFixedSizeItem::bSetCurrentPos(int pos, int dup, int* found) {
  *found = 0;
  if (m_pclTree == nullptr) return FALSE;
  CAny original;
  if (!m_pclColumn->bGetOriginalValue(&original, 0)) return FALSE;
  _MakeKey(&original);
  if (pos != -1) {
    *found = m_pclTree->bFindRecord(m_pbyKey, &pos);
    return TRUE;
  }
  if (m_pclTree->pSearch(m_pbyKey, 1) == nullptr) {
    m_pclTree->pSearch(m_pbyKey, 0);
    return TRUE;
  }
  *found = 1;
  const int dups = m_pclTree->nNumDuplicates();
  if (dups < 2) return TRUE;
  CNARecord* record = m_pclColumn->pclGetRecordNoRef();
  CNARecordValue* value = record != nullptr ? record->pclGetOriginalValueNoRef() : nullptr;
  int moved;
  bool equal = m_pclCache->bEquals(_nReadRow(), value, 1) != 0;
  for (int tried = 1; !equal && tried < dups && m_pclTree->bAdvance(1, &moved, 0); ++tried)
    equal = m_pclCache->bEquals(_nReadRow(), value, 1) != 0;
  if (!equal) {
    *found = 0;
    m_pclTree->pSearch(m_pbyKey, 1);
    return TRUE;
  }
  int start = _nReadRow();
  for (int k = 0; k < dup; ++k) {
    if (!m_pclTree->bAdvance(1, &moved, 0) || !m_pclCache->bEquals(_nReadRow(), value, 1)) {
      m_pclTree->bFindRecord(m_pbyKey, &start);
      *found = 0;
      break;
    }
  }
  return TRUE;
}

// ================================================================ CIndexMemo

CIndexMemo::CIndexMemo(CNAError* error, CNAStatement* statement, CNARecordCache* cache, CNAColumn* column)
    : CIndexItem(error, statement, cache, column), m_tabRow(1) {}

CIndexMemo::~CIndexMemo() = default;

BOOL CIndexMemo::bInit() {
  for (int row = 0; row < m_pclCache->nGetCount(); ++row)
    if (IsStateZero(m_pclCache, row) && !bInsertRecord(row, nullptr)) return FALSE;
  return TRUE;
}

BOOL CIndexMemo::_bFind(int* found, int* pos, const unsigned char* key, unsigned int size, int modeA, int modeB,
                        bool prefix) {
  const int count = m_tabRow.nGetCount();
  int low = 0, high = count - 1, mid = -1, cmp = 0;
  *found = 0;
  while (low <= high) {
    mid = low + (high - low) / 2;
    if (!_bCompareValues(&cmp, m_tabRow[mid], key, size, prefix)) return FALSE;
    if (cmp > 0)
      high = mid - 1;
    else if (cmp < 0)
      low = mid + 1;
    else
      break;
  }
  if (low > high) {
    *pos = modeA ? (low >= count ? -1 : low) : high;
    return TRUE;
  }
  *found = 1;
  if (modeA && !modeB) {
    // The rows in [low, mid] are at most the key: the first equal one.
    int lo = low, hi = mid;
    while (lo < hi) {
      const int m = lo + (hi - lo) / 2;
      if (!_bCompareValues(&cmp, m_tabRow[m], key, size, prefix)) return FALSE;
      if (cmp < 0)
        lo = m + 1;
      else
        hi = m;
    }
    *pos = lo;
  } else {
    int lo = mid, hi = high;
    while (lo < hi) {
      const int m = lo + (hi - lo + 1) / 2;
      if (!_bCompareValues(&cmp, m_tabRow[m], key, size, prefix)) return FALSE;
      if (cmp > 0)
        hi = m - 1;
      else
        lo = m;
    }
    *pos = lo;
  }
  return TRUE;
}

BOOL CIndexMemo::bInsertRecord(int row, CAny*) {
  CAny value;
  const unsigned char* data;
  unsigned int size;
  if (!_bGetRecordValue(&value, row) || !_bGetDataAdr(&data, &size, &value)) return FALSE;
  int at;
  if (size == 0) {
    at = m_nEmptyEnd + 1;
  } else {
    int found, pos;
    if (!_bFind(&found, &pos, data, size, 1, 1)) return FALSE;
    at = found ? pos + 1 : (pos < 0 ? m_tabRow.nGetCount() : pos);
  }
  if (m_tabRow.Insere(row, at) == nullptr) return FALSE;
  if (size == 0) ++m_nEmptyEnd;
  if (m_nCurrent >= at) ++m_nCurrent;
  return TRUE;
}

BOOL CIndexMemo::bDeleteRecord(int row, CAny*) {
  int at = -1;
  for (int i = 0; i < m_tabRow.nGetCount() && at < 0; ++i)
    if (m_tabRow[i] == row) at = i;
  if (at < 0) return TRUE;
  m_tabRow.Supprime(at, 1);
  if (at <= m_nEmptyEnd) --m_nEmptyEnd;
  if (m_nCurrent > at)
    --m_nCurrent;
  else if (m_nCurrent == at)
    m_bCurrentDeleted = 1;
  return TRUE;
}

BOOL CIndexMemo::bGetRecordPosition(eNA_PARSEDIRECTION d, int n, int* row, unsigned int* dupIndex) {
  *row = -1;
  if (dupIndex != nullptr) *dupIndex = 0;
  const int count = m_tabRow.nGetCount();
  if (count == 0) return TRUE;
  const CAny* search = _pclGetSearchValue();
  const unsigned char* key = nullptr;
  unsigned int size = 0;
  // The rows' texts are compared as bytes: a text sought in the other width is taken in theirs.
  CAny sameWidth;
  if (search != nullptr && bOtherTextWidth(search->wGetType(), _eGetTypeZV())) {
    sameWidth = *search;
    if (sameWidth.__nCastTo(_eGetTypeZV(), nullptr, 1) < 100) search = &sameWidth;
  }
  if (search != nullptr && (d == NA_PARSE_FIRST || d == NA_PARSE_LAST) && !_bGetDataAdr(&key, &size, search))
    return FALSE;
  long long pos;
  int found, place;
  switch (d) {
    case NA_PARSE_FIRST:
      if (search == nullptr) {
        pos = n - 1;
        break;
      }
      // The first row at or above the search value, as the fixed-size index starts.
      if (!_bFind(&found, &place, key, size, 1, 0)) return FALSE;
      if (place < 0) return TRUE;
      pos = static_cast<long long>(place) + n - 1;
      break;
    case NA_PARSE_LAST:
      if (search == nullptr) {
        pos = static_cast<long long>(count) - n;
        break;
      }
      // The last row that starts with it, for a starts-with.
      if (!_bFind(&found, &place, key, size, 0, 0,
                  (m_pclStatement->pclGetUserSearch()->dwGetFlags() & CNAUserSearch::kPrefix) != 0))
        return FALSE;
      if (place < 0) return TRUE;
      pos = static_cast<long long>(place) + 1 - n;
      break;
    case NA_PARSE_NEXT:
      pos = static_cast<long long>(m_nCurrent) + n;
      break;
    case NA_PARSE_PREVIOUS:
      pos = static_cast<long long>(m_nCurrent) - n;
      break;
    default:
      if (m_bCurrentDeleted) return TRUE;
      pos = m_nCurrent;
      break;
  }
  if (pos >= 0 && pos < count) {
    m_nCurrent = static_cast<int>(pos);
    m_bCurrentDeleted = 0;
    *row = m_tabRow[m_nCurrent];
  }
  return TRUE;
}

int CIndexMemo::nGetCurrentRecordId() {
  if (m_bCurrentDeleted || m_nCurrent < 0 || m_nCurrent >= m_tabRow.nGetCount()) return -1;
  return m_tabRow[m_nCurrent];
}

BOOL CIndexMemo::bSetCurrentPos(int pos, int, int* found) {
  *found = 0;
  if (pos == -1) {
    // The original row's memo value, as the upkeep reads it: the column's original value of a
    // memo is its record slot, not the memo.
    CNARecord* record = m_pclColumn->pclGetRecordNoRef();
    const CNARecordValue* value = record != nullptr ? record->pclGetOriginalValueNoRef() : nullptr;
    CAny original;
    const unsigned char* data;
    unsigned int size;
    int place;
    if (value == nullptr || !value->bGetMemoValue(&original, m_pclColumn->nGetMemoIndice()) ||
        !_bGetDataAdr(&data, &size, &original) || !_bFind(found, &place, data, size, 1, 1))
      return FALSE;
    m_nCurrent = place < 0 ? m_tabRow.nGetCount() : place;
    m_bCurrentDeleted = 0;
    return TRUE;
  }
  // pos is a row of the full cache: its entry, wherever its value put it.
  for (int i = 0; pos >= 0 && i < m_tabRow.nGetCount(); ++i)
    if (m_tabRow[i] == pos) {
      m_nCurrent = i;
      m_bCurrentDeleted = 0;
      *found = 1;
      return TRUE;
    }
  return FALSE;
}

// ================================================================ CNATableCacheIndex

CNATableCacheIndex::CNATableCacheIndex(CNAError* error, CNAStatement* statement, CNARecordCache* cache,
                                       CNAColumn* column)
    : m_pclError(error), m_pclCache(cache), m_pclColumn(column), m_pclStatement(statement) {
  CNAError::s_Hold(m_pclError);
  if (m_pclCache != nullptr) m_pclCache->AddRef();
  if (m_pclColumn != nullptr) m_pclColumn->AddRef();
}

CNATableCacheIndex::~CNATableCacheIndex() {
  delete m_pclItem;
  if (m_pclCache != nullptr) m_pclCache->nRelease();
  if (m_pclColumn != nullptr) m_pclColumn->nRelease();
  CNAError::s_Drop(&m_pclError);
}

BOOL CNATableCacheIndex::bInit() {
  if (m_pclCache == nullptr || m_pclColumn == nullptr) return FALSE;
  delete m_pclItem;
  if (m_pclColumn->bIsMemo())
    m_pclItem = new (std::nothrow) CIndexMemo(m_pclError, m_pclStatement, m_pclCache, m_pclColumn);
  else
    m_pclItem = new (std::nothrow) CIndexFixedSizeItem(m_pclError, m_pclStatement, m_pclCache, m_pclColumn);
  if (m_pclItem == nullptr) {
    NoMemory(m_pclError);
    return FALSE;
  }
  if (m_pclItem->bInit()) return TRUE;
  // A half-built index answers nothing.
  delete m_pclItem;
  m_pclItem = nullptr;
  return FALSE;
}

BOOL CNATableCacheIndex::bGetRecordPosition(eNA_PARSEDIRECTION d, int n, int* row, unsigned int* dupIndex) {
  if (m_pclItem != nullptr) return m_pclItem->bGetRecordPosition(d, n, row, dupIndex);
  *row = -1;
  if (dupIndex != nullptr) *dupIndex = 0;
  return FALSE;
}

int CNATableCacheIndex::nGetCurrentRecordId() { return m_pclItem != nullptr ? m_pclItem->nGetCurrentRecordId() : -1; }

int CNATableCacheIndex::nGetRecordNbr() { return m_pclItem != nullptr ? m_pclItem->nGetRecordNbr() : 0; }

int CNATableCacheIndex::nGetPreviousRecordNbr() {
  return m_pclItem != nullptr ? m_pclItem->nGetPreviousRecordNbr() : 0;
}

BOOL CNATableCacheIndex::bSetCurrentPos(int pos, int dup, int* found) {
  if (m_pclItem == nullptr) {
    if (found != nullptr) *found = 0;
    return FALSE;
  }
  return m_pclItem->bSetCurrentPos(pos, dup, found);
}

void CNATableCacheIndex::OnNotifyOperation(eNAQUERYTYPE type, int row, unsigned int) {
  if (m_pclItem == nullptr || m_pclColumn == nullptr) return;
  const bool takesOut = type == NA_QUERY_UPDATE || type == NA_QUERY_DELETE;
  const bool putsIn = type == NA_QUERY_UPDATE || type == NA_QUERY_INSERT;
  if (!takesOut && !putsIn) return;
  CAny before, after;
  if (takesOut) {
    CNARecord* record = m_pclColumn->pclGetRecordNoRef();
    const CNARecordValue* original = record != nullptr ? record->pclGetOriginalValueNoRef() : nullptr;
    if (original == nullptr) return;
    const BOOL read = m_pclColumn->bIsMemo() ? original->bGetMemoValue(&before, m_pclColumn->nGetMemoIndice())
                                             : original->bGetItemValue(&before, m_pclColumn->piGetItemNoRef());
    if (!read) return;
  }
  if (putsIn) {
    if (!m_pclColumn->bGetCurrentValue(&after, 0)) return;
    int equal = 0;
    if (type == NA_QUERY_UPDATE && nEgalite(before, after, &equal, 0) < 100 && equal) return;
  }
  if (takesOut) m_pclItem->bDeleteRecord(row, &before);
  if (putsIn) m_pclItem->bInsertRecord(row, &after);
}
