#include "common/zvbin.h"

#include <algorithm>
#include <cstring>

#include "values/any.h"

namespace {

int Sign(int c) { return c < 0 ? -1 : (c > 0 ? 1 : 0); }

const BYTE* Data(const CZVBIN* v) { return v != nullptr ? v->pGetData() : nullptr; }
int Size(const CZVBIN* v) { return v != nullptr ? v->nGetSize() : 0; }

}  // namespace

CZVBIN::CZVBIN(const void* bytes, int n) {
  if (bytes != nullptr) _nNew(n, bytes, n);
}

CZVBIN& CZVBIN::operator=(CZVBIN&& other) noexcept {
  if (this != &other) {
    Release();
    m_pData = other.m_pData;
    other.m_pData = nullptr;
  }
  return *this;
}

void CZVBIN::Attach(BYTE* pData) {
  if (pData == m_pData) {
    s_ReleaseStrMem(pData);
    return;
  }
  Release();
  m_pData = pData;
}

void CZVBIN::Take(CZVBIN& src) {
  if (&src == this) return;
  Release();
  m_pData = src.m_pData;
  src.m_pData = nullptr;
}

int CZVBIN::_nNew(int n, const void* src, int m, uint32_t dwOption) {
  if (n == 0) return 0;
  if (n < 0 || n > XYSTR_MAX_BYTES) return XYSTR_ERR_SIZE;
  void* p = nullptr;
  const int r = _nNewBlock(&p, n, src, std::clamp(m, 0, n), dwOption, false);
  if (r != 0) return r;
  Release();
  m_pData = static_cast<BYTE*>(p);
  return 0;
}

void CZVBIN::__FillDynBin(const void* src, int n, int pos) {
  if (src == nullptr || n < 0 || pos < 0 || m_pData == nullptr || s_bIsShared(m_pData)) return;
  if (static_cast<int64_t>(pos) + n > nGetCapacity()) return;
  memmove(m_pData + pos, src, static_cast<size_t>(n));
  _SetLength(m_pData, static_cast<uint32_t>(pos + n), false);
}

int CZVBIN::__nPrepareModification(int n, uint32_t dwOption) {
  return _nMakeWritable(Slot(), n, dwOption, false, false);
}

int CZVBIN::nSetSize(int n, uint32_t dwOption) {
  if (n < 0) return XYSTR_ERR_SIZE;
  const int r = m_pData == nullptr ? _nNew(n, nullptr, 0, dwOption) : __nPrepareModification(n, dwOption);
  if (r == 0 && m_pData != nullptr) _SetLength(m_pData, static_cast<uint32_t>(n), false);
  return r;
}

int CZVBIN::nSetMemorySize(int n, uint32_t dwOption) {
  if (m_pData == nullptr) return _nNew(n, nullptr, 0, dwOption);
  if (n < 0) return XYSTR_ERR_SIZE;
  // Growing a shared block in place would move it under its other holders: it is copied instead.
  return __nPrepareModification(std::max(n, nGetSize()), dwOption);
}

void CZVBIN::SetUtilSize(int n) {
  if (m_pData == nullptr || n < 0 || n > nGetCapacity()) return;
  if (s_bIsShared(m_pData) && __nPrepareModification(n) != 0) return;
  _SetLength(m_pData, static_cast<uint32_t>(n), false);
}

int CZVBIN::nAssignInit(const void* bytes, int n) {
  if (n == 0 || bytes == nullptr) {
    Release();
    return 0;
  }
  return _nNew(n, bytes, n);
}

int CZVBIN::nAssignInit(const STTabAny& tab) {
  if (tab.pTab == nullptr || tab.nCount < 1) {
    Release();
    return 0;
  }
  if (tab.nCount > XYSTR_MAX_BYTES) return XYSTR_ERR_SIZE;
  const int n = static_cast<int>(tab.nCount);
  unsigned char b = 0;
  for (int i = 0; i < n; ++i)
    if (tab.pTab[i].nGetBYTE(b) != 0) return XYSTR_ERR_NOT_BYTE;
  const int r = _nNew(n, nullptr, 0);
  if (r != 0) return r;
  for (int i = 0; i < n; ++i) tab.pTab[i].nGetBYTE(m_pData[i]);
  _SetLength(m_pData, static_cast<uint32_t>(n), false);
  return 0;
}

int CZVBIN::nAssign(const void* bytes, int n, uint32_t dwOption) {
  if (n < 0 || n > XYSTR_MAX_BYTES) return XYSTR_ERR_SIZE;
  if (n == 0 || bytes == nullptr) {
    Release();
    return 0;
  }
  return _nReplaceAll(Slot(), bytes, n, dwOption, false);
}

void CZVBIN::Assign(const CZVBIN& src, int n) {
  BYTE* s = src.m_pData;
  const int length = src.nGetSize();
  if (n == 0 || length == 0) {
    Release();
    return;
  }
  if (n < 0 || n > length) {
    _Share(Slot(), s);
    return;
  }
  // A cut is a private copy (flags of the allocator): src keeps its block and flags.
  void* q = nullptr;
  const int r = _nNewBlock(&q, n, s, n, 0, false);
  Release();
  if (r == 0) m_pData = static_cast<BYTE*>(q);
}

void CZVBIN::Assign(const CZVBIN* src, int n) {
  if (src != nullptr) {
    Assign(*src, n);
  } else {
    Release();
  }
}

int CZVBIN::nConcat(const void* bytes, int n) {
  if (n == 0 || (bytes == nullptr && n > 0)) return 0;
  if (n < 0 || n > XYSTR_MAX_BYTES) return XYSTR_ERR_SIZE;
  if (m_pData == nullptr) return nAssign(bytes, n, 0);
  return _nAppend(Slot(), bytes, n, false, false);
}

int CZVBIN::nConcatInit(CZVBIN& a, const CZVBIN& b, int mode) {
  // Holding b keeps its bytes whatever happens to a and to this value (either may be b).
  const CZVBIN bHeld(b);
  if (a.bIsEmpty()) {
    Assign(bHeld, -1);
    return 0;
  }
  if ((mode & 1) != 0) {
    bool moved = false;
    if (&a != this) {
      if (s_bIsShared(a.m_pData)) {
        Assign(a, -1);
      } else {
        Take(a);
        moved = true;
      }
    }
    const int r = nConcat(bHeld.m_pData, bHeld.nGetSize());
    if (r != 0 && moved && m_pData != nullptr) a.Take(*this);
    return r;
  }
  if (bHeld.bIsEmpty()) {
    Assign(a, -1);
    return 0;
  }
  const int64_t la = a.nGetSize();
  const int64_t total = la + bHeld.nGetSize();
  if (total > XYSTR_MAX_BYTES) {
    Release();
    return XYSTR_ERR_SIZE;
  }
  void* q = nullptr;
  const int r = _nNewBlock(&q, total, a.m_pData, la, 0, false);
  if (r == 0) {
    memcpy(static_cast<BYTE*>(q) + la, bHeld.m_pData, static_cast<size_t>(total - la));
    Header(q)->dwFlags = bHeld.dwGetFlags() & XYSTR_FLAG_END_MARKER;
    _SetLength(q, static_cast<uint32_t>(total), false);
  }
  Release();
  m_pData = static_cast<BYTE*>(q);
  return r;
}

int CZVBIN::nConcatSeparateur(const CZVBIN* sep, const CZVBIN* b, int noLeadingSep) {
  // Held so that appending to this value cannot change them when they are this value.
  const CZVBIN bHeld = b != nullptr ? *b : CZVBIN();
  const CZVBIN sepHeld = sep != nullptr ? *sep : CZVBIN();
  bool withSep = true;
  if (bIsEmpty() && noLeadingSep != 0) {
    withSep = false;
  } else if (bTerminePar(this, &sepHeld)) {
    withSep = false;
  } else if (b != nullptr) {
    if (bHeld.bIsEmpty()) return 0;
    if (bCommencePar(&bHeld, &sepHeld)) withSep = false;
  }
  if (withSep) {
    // Room for both first, so that a failure cannot leave the separator alone appended.
    const int64_t total = static_cast<int64_t>(nGetSize()) + sepHeld.nGetSize() + bHeld.nGetSize();
    if (total > XYSTR_MAX_BYTES) return XYSTR_ERR_SIZE;
    const int r = __nPrepareModification(static_cast<int>(total));
    if (r != 0) return r;
    nConcat(sepHeld.m_pData, sepHeld.nGetSize());
  }
  return nConcat(bHeld.m_pData, bHeld.nGetSize());
}

int CZVBIN::nMilieu(CZVBIN* dst, int start, int n) const {
  if (dst == nullptr) return 0;
  const CZVBIN self(*this);
  dst->Release();
  const int length = self.nGetSize();
  if (start < 0 || start >= length || n == 0) return 0;
  if (n < 0 || n > length - start) n = length - start;
  return dst->nAssign(self.m_pData + start, n, 0);
}

CZVBIN CZVBIN::clMilieu(int start, int n) const {
  CZVBIN part;
  nMilieu(&part, start, n);
  return part;
}

void CZVBIN::Remplace(int start, int n, const CZVBIN& other) {
  const int length = nGetSize();
  if (start < 0 || start >= length) return;
  if (n < 0 || n > length - start) n = length - start;
  // Holding other's block makes this one shared when they are the same, so it is copied first.
  const CZVBIN held(other);
  const int added = held.nGetSize();
  const int64_t newLength = static_cast<int64_t>(length) - n + added;
  if (newLength > XYSTR_MAX_BYTES) return;
  if (__nPrepareModification(static_cast<int>(std::max<int64_t>(length, newLength))) != 0) return;
  memmove(m_pData + start + added, m_pData + start + n, static_cast<size_t>(length - start - n));
  if (added > 0) memcpy(m_pData + start, held.m_pData, static_cast<size_t>(added));
  _SetLength(m_pData, static_cast<uint32_t>(newLength), false);
}

int CZVBIN::nRepete(const CZVBIN& src, int count) {
  const CZVBIN held(src);
  Release();
  const int64_t length = held.nGetSize();
  const int64_t size = length * count;
  if (size == 0) return 0;
  if (size < 0 || size > XYSTR_MAX_BYTES) return XYSTR_ERR_SIZE;
  void* q = nullptr;
  const int r = _nNewBlock(&q, size, nullptr, 0, 0, false);
  if (r != 0) return r;
  for (int64_t i = 0; i < count; ++i) memcpy(static_cast<BYTE*>(q) + i * length, held.m_pData, length);
  _SetLength(q, static_cast<uint32_t>(size), false);
  m_pData = static_cast<BYTE*>(q);
  return 0;
}

int CZVBIN::nPos(const void* bytes, int n, int start) const {
  const int length = nGetSize();
  if (bytes == nullptr || n < 1 || start < 0 || static_cast<int64_t>(start) + n > length) return -1;
  const BYTE* b = static_cast<const BYTE*>(bytes);
  const BYTE* data = m_pData;
  const BYTE* hit = std::search(data + start, data + length, b, b + n);
  return hit == data + length ? -1 : static_cast<int>(hit - data);
}

BOOL CZVBIN::bCommencePar(const CZVBIN* a, const CZVBIN* b) {
  const int lb = Size(b);
  if (lb == 0) return TRUE;
  return lb <= Size(a) && memcmp(Data(a), Data(b), static_cast<size_t>(lb)) == 0;
}

BOOL CZVBIN::bTerminePar(const CZVBIN* a, const CZVBIN* b) {
  const int la = Size(a);
  const int lb = Size(b);
  if (lb == 0) return TRUE;
  return lb <= la && memcmp(Data(a) + la - lb, Data(b), static_cast<size_t>(lb)) == 0;
}

BOOL CZVBIN::bContient(const CZVBIN* a, const CZVBIN* b) {
  if (Size(b) == 0) return TRUE;
  return a != nullptr && a->nPos(Data(b), Size(b), 0) >= 0;
}

int CZVBIN::nCompare(const CZVBIN* a, const CZVBIN* b) {
  const int la = Size(a);
  const int lb = Size(b);
  const int common = std::min(la, lb);
  const int c = common > 0 ? memcmp(Data(a), Data(b), static_cast<size_t>(common)) : 0;
  if (c != 0) return Sign(c);
  return la < lb ? -1 : (la > lb ? 1 : 0);
}

int CZVBIN::nCompare(const CZVBIN* a, const CZVBIN* b, int n) {
  if (n < 0 || n > std::min(Size(a), Size(b))) return nCompare(a, b);
  return n > 0 ? Sign(memcmp(Data(a), Data(b), static_cast<size_t>(n))) : 0;
}
